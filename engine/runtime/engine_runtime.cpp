// The engine's subsystems connected through the tables each of them offers.
#include "engine/runtime/engine_runtime.h"

#include <cstring>
#include <vector>

#include "engine/core/engine_start.h"
#include "engine/core/engine_state.h"
#include "engine/core/screen_log.h"
#include "engine/core/window.h"
#include "engine/font/font.h"
#include "engine/graphics/graphics.h"
#include "engine/graphics/graphics_host.h"
#include "engine/input/input.h"
#include "engine/image/soft_image.h"
#include "engine/sound/sound.h"
#if VOX_ENGINE_HAS_NET
#include "engine/net/net.h"
#endif
#if VOX_ENGINE_HAS_MOVIE
#include "engine/movie/movie.h"
#endif

namespace {

constexpr uintptr_t kFrontBufferTimer = 32767;

// ---- graphics as the core sees it
int DisplayMode(int index, int* width, int* height) {
  DisplayModeEntry e = GetDisplayModeEntry(index);
  *width = e.width;
  *height = e.height;
  return e.width < 0 ? -1 : 0;
}
int ClearRestoreHandler() { return SetGraphRestoreHandler(nullptr); }
int SwapVsyncWait(int on) {
  int before = GetVerticalSyncWait();
  SetVerticalSyncWait(on);
  return before;
}
// Graphs are always refilled, by the default reload when the program
// registered nothing, so the engine never has to end for want of a handler.
int AlwaysRestorable() { return 1; }
int HasDirectDraw() { return GetDirectDrawObject() != nullptr; }
int ReapplyScreenMode() { return ApplyScreenMode(-1, -1, -1, 1, -1); }

// ---- fonts for the on-screen log
int CreateLogFont(int size, int thickness) {
  return CreateFontToHandle(nullptr, size, thickness, (int)FONT_TYPE_EDGE, -1, -1, 0);
}
int MeasureLogText(const char* text, int length, int font) { return MeasureStringWidthByFont(text, length, font, 0); }
int DrawLogText(int x, int y, const char* text, uint32_t colour, int font, uint32_t edge) {
  return DrawTextWithFont(x, y, text, colour, font, edge, 0);
}

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

// ---- input
void SetInputFlag(int which, int on) {
  if (which == 0) on ? SetInputFlagA() : ClearInputFlagA();
  else on ? SetInputFlagB() : ClearInputFlagB();
}
void BringMainWindowToTop() { BringWindowToTop(GetMainWindow()); }
int ReadClipboard(char* buffer, int size) { return ReadClipboardText(buffer, size > 0 ? (size_t)size : 0); }
intptr_t DefaultProc(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  return DefWindowProcA(static_cast<HWND>(window), message, wparam, lparam);
}
void EnableWindowIme(void* window, int on) { WINNLSEnableIME(static_cast<HWND>(window), on ? TRUE : FALSE); }

#if VOX_ENGINE_HAS_NET
// ---- the socket module
int PumpNetwork() { return PumpNetWindowMessages(1); }
intptr_t SocketMessage(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  return DispatchSocketEvent(static_cast<HWND>(window), message, wparam, lparam);
}
#endif

#if VOX_ENGINE_HAS_MOVIE
// ---- movies as graphics sees them
void CloseMovie(int movie) { DisposeMovie(movie); }
void AdvanceMovie(int movie) { AdvanceMovieFrame(movie); }
void SetGraphMovieHook(int movie, GraphMovieFrameHook hook, intptr_t graph) { SetMovieFrameHook(movie, hook, graph); }
void ReopenMovies() {
  RemakeMovieSurfacesAll();
  ReopenDirectShowMoviesAll();
}
#endif

}  // namespace

void InstallEngineServices() {
  EngineServices s = DefaultEngineServices();
  s.requested_screen_size = GetScreenSizeOrDefault;
  s.requested_screen_depth = GetScreenBitDepth;
  s.display_mode_count = GetDisplayModeCount;
  s.display_mode = DisplayMode;
  s.clear_restore_handler = ClearRestoreHandler;
  s.start_sound = StartSoundSystem;
  s.end_sound = EndSoundSystem;
  s.start_graphics = StartGraphics;
  s.end_graphics = EndGraphics;
  s.start_model_runtime = StartModelRuntime;
  s.end_model_runtime = EndModelRuntime;
  s.set_vsync_wait = SetVerticalSyncWait;
  s.select_draw_screen = SelectDrawScreen;
  s.end_soft_images = EndSoftImages;
  s.end_music = EndFileMusic;
  s.music_notify = HandleMciNotify;
  s.refill_stream_sounds = RefillAllSoundStreams;
  s.poll_music = PollMusicPlayback;
  s.screen_size = GetScreenSizeOrDefault;
  s.current_draw_screen = CurrentDrawScreen;
  s.present_screen = PresentScreen;
  s.set_vsync_wait_flag = SwapVsyncWait;
  s.restore_graphics_device = RestoreGraphicsDevice;
  s.has_restore_handler = AlwaysRestorable;
  s.is_hardware_rendering = IsHardwareRendererInUse;
  s.has_directdraw = HasDirectDraw;
  s.reapply_screen_mode = ReapplyScreenMode;
  s.create_log_font = CreateLogFont;
  s.delete_log_font = FreeFontHandle;
  s.watch_log_font = BindFontDeletedFlag;
  s.measure_text = MeasureLogText;
  s.draw_edged_text = DrawLogText;
  s.pack_colour = PackScreenColor;
  s.open_input = OpenInputDevices;
  s.close_input = CloseInputDevices;
  s.start_text_input = StartTextInputSystem;
  s.delete_all_text_inputs = FreeAllTextInputs;
  s.update_text_input = UpdateTextInput;
  s.tick_pad_rumble = TickPadRumble;
  s.queue_char = QueueCharMessage;
  s.queue_edit_key = QueueEditKeyMessage;
  s.log_mouse_click = LogMouseClick;
  s.reacquire_input_devices = ReacquireInputDevices;
  s.apply_pad_rumble = ApplyPadRumble;
  s.reapply_ime_state = ReapplyImeState;
  s.ime_message = ProcessImeMessage;
  s.set_input_flag = SetInputFlag;
#if VOX_ENGINE_HAS_NET
  s.end_network = EndNetworkModule;
  s.pump_network = PumpNetwork;
  s.socket_message = SocketMessage;
#endif
#if VOX_ENGINE_HAS_MOVIE
  s.build_movie_tables = BuildYuvToRgbTables;
  s.resume_movies = ResumeMoviesAll;
  s.hold_movies = HoldMoviesAll;
  s.drop_movie_streams = DropDirectShowObjectsAll;
  s.blit_movie_surfaces = BlitMovieSurfacesAll;
#endif
  SetEngineServices(&s);

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
#if VOX_ENGINE_HAS_MOVIE
  g.open_movie = OpenMovie;
  g.close_movie = CloseMovie;
  g.advance_movie_frame = AdvanceMovie;
  g.set_movie_frame_hook = SetGraphMovieHook;
  g.movie_frame_image = RefreshMovieFrameImage;
  g.movie_frame_surface = RefreshMovieFrameSurface;
  g.drop_movie_surfaces = DropMovieSurfacesAll;
  g.reopen_movies = ReopenMovies;
#endif
  SetGraphicsHost(&g);

  InputHost in{};
  in.wait_while_inactive = WaitWhileWindowInactive;
  in.is_end_requested = IsEndRequested;
  in.is_app_active = IsAppActive;
  in.process_messages = ProcessWindowMessages;
  in.main_window = MainWindow;
  in.bring_window_to_top = BringMainWindowToTop;
  in.read_clipboard_text = ReadClipboard;
  in.write_clipboard_text = WriteClipboardText;
  in.default_window_proc = DefaultProc;
  in.enable_window_ime = EnableWindowIme;
  SetInputHost(&in);
  SetSoundMessageStep(ProcessWindowMessages);
}
