// The window graphics shows its screen in: the headless defaults, the
// engine's main window and the front-buffer refresh timer on it; and the
// defaults of the movie source, those of a program without movies.
#include "engine/graphics/graphics_host.h"

#include <cstring>
#include <vector>

#include "engine/core/engine_state.h"
#include "engine/core/engine_subsystem.h"
#include "engine/core/window.h"
#include "engine/graphics/graphics_internal.h"
#include "engine/image/base_image.h"

namespace {

using namespace hook_defaults;

// ---- headless: no window

int GraphicsRunning() { return g_screen.started; }
int HeadlessWindowMode() { return 1; }
double UnitScale() { return 1.0; }
void* NoWindow() { return nullptr; }
// The display offers the game's own mode in both depths.
int HeadlessDisplayMode(int index, DisplayModeInfo* out) {
  static const DisplayModeInfo kModes[] = {{640, 480, 16, 60}, {640, 480, 32, 60}};
  if (index < 0 || index >= 2) return 0;
  *out = kModes[index];
  return 1;
}
int TakesEveryMode(const DisplayModeInfo*, uint32_t) { return DISP_CHANGE_SUCCESSFUL; }

constexpr GraphicsHost Filled(GraphicsHost h) {
  Fill(h.is_engine_started, GraphicsRunning);
  Fill(h.is_window_closed, kZero);
  Fill(h.is_window_mode, HeadlessWindowMode);
  Fill(h.window_scale, UnitScale);
  Fill(h.wait_while_inactive, kNothing);
  Fill(h.main_window, NoWindow);
  Fill(h.present_soft_frame, kZero);
  Fill(h.enum_display_mode, HeadlessDisplayMode);
  Fill(h.change_display_mode, TakesEveryMode);
  return h;
}
static_assert(sizeof(GraphicsHost) == 9 * sizeof(void*), "an entry without a headless default");

constinit GraphicsHost g_host = Filled(GraphicsHost{});

// ---- the engine's main window

int EngineInitialised() { return g_engine.initialised; }
int MainWindowClosed() { return !g_engine.window || g_engine.destroyed; }
void* MainWindow() { return GetMainWindow(); }

// One software frame into the client area. The DIB's rows are `pitch` bytes
// apart; a DIB row is its width rounded up to four bytes, so a pitch that is
// not such a width is copied into one first.
int PresentSoftFrame(const SoftPresentFrame* frame) {
  HWND window = GetMainWindow();
  if (!window || !frame->info) return -1;
  struct {
    BITMAPINFOHEADER header;
    uint32_t masks[3];
  } info;
  memcpy(&info, frame->info, sizeof info);
  int bpp = info.header.biBitCount;
  int height = info.header.biHeight < 0 ? -info.header.biHeight : info.header.biHeight;
  const void* bits = frame->pixels;
  std::vector<uint8_t> copy;
  if (frame->pitch > 0 && frame->pitch % 4 == 0 && (frame->pitch * 8) % bpp == 0) {
    info.header.biWidth = frame->pitch * 8 / bpp;
  } else {
    size_t row = (size_t)vox_win32::DibRowBytes(info.header.biWidth, bpp);
    copy.resize(row * height);
    CopyPixelRows(copy.data(), (ptrdiff_t)row, static_cast<const uint8_t*>(frame->pixels), frame->pitch,
                  (size_t)info.header.biWidth * bpp / 8, height);
    bits = copy.data();
  }
  int rows = StretchDIBitsToWindow(window, 0, 0, frame->dst_width, frame->dst_height, frame->src_x, frame->src_y,
                                   frame->src_width, frame->src_height, bits,
                                   reinterpret_cast<const BITMAPINFO*>(&info));
  return rows > 0 ? 0 : -1;
}

int EnumWindowSystemMode(int index, DisplayModeInfo* out) {
  DEVMODEA mode;
  if (!EnumDisplaySettingsA(nullptr, (DWORD)index, &mode)) return 0;
  *out = DisplayModeInfo{(int32_t)mode.dmPelsWidth, (int32_t)mode.dmPelsHeight, (int32_t)mode.dmBitsPerPel,
                         (int32_t)mode.dmDisplayFrequency};
  return 1;
}

int ChangeWindowSystemMode(const DisplayModeInfo* mode, uint32_t flags) {
  if (!mode) return ChangeDisplaySettingsA(nullptr, 0) == 0 ? DISP_CHANGE_SUCCESSFUL : DISP_CHANGE_FAILED;
  DEVMODEA m{};
  m.dmPelsWidth = (DWORD)mode->width;
  m.dmPelsHeight = (DWORD)mode->height;
  m.dmBitsPerPel = (DWORD)mode->bits_per_pixel;
  m.dmDisplayFrequency = (DWORD)mode->refresh;
  m.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL | (mode->refresh ? DM_DISPLAYFREQUENCY : 0);
  return ChangeDisplaySettingsA(&m, flags) == 0 ? DISP_CHANGE_SUCCESSFUL : DISP_CHANGE_FAILED;
}

constexpr uintptr_t kFrontBufferTimer = 32767;
void FrontBufferTick(HWND, UINT, uintptr_t, DWORD) { FrontBufferTimerProc(); }

// ---- movies: none

int NoMovie(const char*, int*, int*, int) { return -1; }
BASEIMAGE* NoFrameImage(MovieRecord*) { return nullptr; }
int NoFrameSurface(MovieRecord*, IDirect3DSurface9**) { return -1; }

constexpr GraphMovieSource Filled(GraphMovieSource m) {
  Fill(m.open_movie, NoMovie);
  Fill(m.close_movie, kZero);
  Fill(m.advance_movie_frame, kZero);
  Fill(m.set_movie_frame_hook, kZero);
  Fill(m.movie_frame_image, NoFrameImage);
  Fill(m.movie_frame_surface, NoFrameSurface);
  return m;
}
static_assert(sizeof(GraphMovieSource) == 6 * sizeof(void*), "an entry without a default");

constinit GraphMovieSource g_movies = Filled(GraphMovieSource{});

}  // namespace

constinit const GraphicsHost kMainWindowGraphicsHost{
    .is_engine_started = EngineInitialised,
    .is_window_closed = MainWindowClosed,
    .is_window_mode = IsWindowMode,
    .window_scale = GetWindowScale,
    .wait_while_inactive = WaitWhileWindowInactive,
    .main_window = MainWindow,
    .present_soft_frame = PresentSoftFrame,
    .enum_display_mode = EnumWindowSystemMode,
    .change_display_mode = ChangeWindowSystemMode,
};

void SetGraphicsHost(const GraphicsHost* host) { g_host = Filled(host ? *host : GraphicsHost{}); }
const GraphicsHost& GetGraphicsHost() { return g_host; }

// The engine's main window keeps the timer, whatever window the host shows.
void SetFrontBufferTimer(int on) {
  HWND window = GetMainWindow();
  if (!window) return;
  if (on) SetTimer(window, kFrontBufferTimer, 32, FrontBufferTick);
  else KillTimer(window, kFrontBufferTimer);
}

void SetGraphMovieSource(const GraphMovieSource* source) { g_movies = Filled(source ? *source : GraphMovieSource{}); }
const GraphMovieSource& GetGraphMovieSource() { return g_movies; }
