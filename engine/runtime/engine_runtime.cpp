// The engine put together: the records of the subsystems this program links,
// registered with the core, and the table through which graphics reaches the
// window, the on-screen log, the fonts, input and the movies.
#include "engine/runtime/engine_runtime.h"

#include <cstring>
#include <vector>

#include "engine/core/engine_state.h"
#include "engine/core/engine_subsystem.h"
#include "engine/core/screen_log.h"
#include "engine/core/window.h"
#include "engine/font/font.h"
#include "engine/graphics/graphics.h"
#include "engine/graphics/graphics_host.h"
#include "engine/graphics/graphics_subsystem.h"
#include "engine/image/soft_image.h"
#include "engine/input/input.h"
#include "engine/movie/movie.h"
#include "engine/net/net.h"
#include "engine/sound/sound.h"

namespace {

constexpr uintptr_t kFrontBufferTimer = 32767;

// ---- the window as graphics sees it
int EngineStarted() { return g_engine.initialised; }
int StartUpInProgress() { return g_engine.starting; }
int WindowClosed() { return !g_engine.window || g_engine.destroyed; }
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
    for (int y = 0; y < height; y++)
      memcpy(&copy[row * y], static_cast<const uint8_t*>(frame->pixels) + (size_t)frame->pitch * y,
             (size_t)info.header.biWidth * bpp / 8);
    bits = copy.data();
  }
  int rows = StretchDIBitsToWindow(window, 0, 0, frame->dst_width, frame->dst_height, frame->src_x, frame->src_y,
                                   frame->src_width, frame->src_height, bits,
                                   reinterpret_cast<const BITMAPINFO*>(&info));
  return rows > 0 ? 0 : -1;
}

void FrontBufferTick(HWND, UINT, uintptr_t, DWORD) { FrontBufferTimerProc(); }
void SetFrontBufferTimer(int on) {
  HWND window = GetMainWindow();
  if (!window) return;
  if (on) SetTimer(window, kFrontBufferTimer, 32, FrontBufferTick);
  else KillTimer(window, kFrontBufferTimer);
}

int EnumDisplayMode(int index, DisplayModeInfo* out) {
  DEVMODEA mode;
  if (!EnumDisplaySettingsA(nullptr, (DWORD)index, &mode)) return 0;
  *out = DisplayModeInfo{(int32_t)mode.dmPelsWidth, (int32_t)mode.dmPelsHeight, (int32_t)mode.dmBitsPerPel,
                         (int32_t)mode.dmDisplayFrequency};
  return 1;
}

int ChangeDisplayMode(const DisplayModeInfo* mode, uint32_t flags) {
  if (!mode) return ChangeDisplaySettingsA(nullptr, 0) == 0 ? DISP_CHANGE_SUCCESSFUL : DISP_CHANGE_FAILED;
  DEVMODEA m{};
  m.dmPelsWidth = (DWORD)mode->width;
  m.dmPelsHeight = (DWORD)mode->height;
  m.dmBitsPerPel = (DWORD)mode->bits_per_pixel;
  m.dmDisplayFrequency = (DWORD)mode->refresh;
  m.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL | (mode->refresh ? DM_DISPLAYFREQUENCY : 0);
  return ChangeDisplaySettingsA(&m, flags) == 0 ? DISP_CHANGE_SUCCESSFUL : DISP_CHANGE_FAILED;
}

// ---- movies as graphics sees them
void CloseMovie(int movie) { DisposeMovie(movie); }
void AdvanceMovie(int movie) { AdvanceMovieFrame(movie); }
void SetGraphMovieHook(int movie, GraphMovieFrameHook hook, intptr_t graph) { SetMovieFrameHook(movie, hook, graph); }
void ReopenMovies() {
  RemakeMovieSurfacesAll();
  ReopenDirectShowMoviesAll();
}

// The subsystems this program links. The core runs their hooks in its own
// order, whatever the order here.
const EngineSubsystem* const kLinked[] = {
    &kGraphicsSubsystem, &kModelRuntimeSubsystem, &kFontsSubsystem, &kSoftImagesSubsystem,
    &kInputSubsystem,    &kTextInputSubsystem,    &kSoundSubsystem, &kMusicSubsystem,
    &kMoviesSubsystem,   &kSocketsSubsystem,
};

}  // namespace

void InstallEngineServices() {
  RegisterEngineSubsystems(kLinked, (int)std::size(kLinked));

  GraphicsHost g{};
  g.is_engine_started = EngineStarted;
  g.is_start_up_in_progress = StartUpInProgress;
  g.is_window_closed = WindowClosed;
  g.is_window_mode = IsWindowMode;
  g.window_scale = GetWindowScale;
  g.wait_while_inactive = WaitWhileWindowInactive;
  g.main_window = MainWindow;
  g.apply_window_style = ApplyWindowStyle;
  g.process_messages = ProcessWindowMessages;
  g.present_soft_frame = PresentSoftFrame;
  g.set_front_buffer_timer = SetFrontBufferTimer;
  g.enum_display_mode = EnumDisplayMode;
  g.change_display_mode = ChangeDisplayMode;
  g.screen_log_in_use = IsScreenLogUsed;
  g.draw_screen_log = DrawScreenLog;
  g.start_font_system = StartFontSystem;
  g.end_font_system = EndFontSystem;
  g.recreate_all_fonts = RecreateAllFonts;
  g.query_default_font = QueryDefaultFontSettings;
  g.set_default_font = SetDefaultFontSizeAndThickness;
  g.close_input_devices = CloseInputDevices;
  g.reopen_input_devices = ReopenInputDevices;
  g.open_movie = OpenMovie;
  g.close_movie = CloseMovie;
  g.advance_movie_frame = AdvanceMovie;
  g.set_movie_frame_hook = SetGraphMovieHook;
  g.movie_frame_image = RefreshMovieFrameImage;
  g.movie_frame_surface = RefreshMovieFrameSurface;
  g.drop_movie_surfaces = DropMovieSurfacesAll;
  g.reopen_movies = ReopenMovies;
  SetGraphicsHost(&g);
}
