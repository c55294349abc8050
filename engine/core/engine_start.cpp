// Engine start-up and shutdown and the three public entry points.
#include "engine/core/engine_start.h"

#include "engine/core/alloc.h"
#include "engine/core/archive.h"
#include "engine/core/engine_lock.h"
#include "engine/core/engine_state.h"
#include "engine/core/file.h"
#include "engine/core/log.h"
#include "engine/core/screen_log.h"
#include "engine/core/stream.h"
#include "engine/core/util.h"
#include "engine/core/window.h"

namespace {

int InstallDefaultFileLayer() { return SetFileLayer(nullptr); }
int FillStreamTables() {
  InitStreamTables();
  return 0;
}
// The window system's own display-mode list, until graphics offers its own.
int WindowSystemModeCount() {
  DEVMODEA mode;
  int count = 0;
  while (EnumDisplaySettingsA(nullptr, (DWORD)count, &mode)) count++;
  return count;
}
int WindowSystemMode(int index, int* width, int* height) {
  DEVMODEA mode;
  if (!EnumDisplaySettingsA(nullptr, (DWORD)index, &mode)) return -1;
  *width = (int)mode.dmPelsWidth;
  *height = (int)mode.dmPelsHeight;
  return 0;
}
int ForceMainWindowForeground() { return ForceForeground(g_engine.window, 1); }

EngineServices& Services() {
  static EngineServices services = DefaultEngineServices();
  return services;
}

// An entry left null is a service this program does not have.
int Call(int (*step)()) { return step ? step() : 0; }

// The fatal path of the log: take everything down before the process ends.
void ShutdownForAbort() {
  if (g_engine.initialised || g_engine.starting) TeardownEngine();
}

}  // namespace

EngineServices DefaultEngineServices() {
  EngineServices s{};
  s.display_mode_count = WindowSystemModeCount;
  s.display_mode = WindowSystemMode;
  s.init_archive_table = InitArchiveTable;
  s.install_file_layer = InstallDefaultFileLayer;
  s.start_log = StartLogFile;
  s.desktop_bits_per_pixel = DesktopBitsPerPixel;
  s.check_environment = CheckEnvironment;
  s.fill_stream_tables = FillStreamTables;
  s.start_com = StartComLibrary;
  s.create_main_window = CreateMainWindow;
  s.force_foreground = ForceMainWindowForeground;
  s.start_screen_log = StartScreenLog;
  s.end_screen_log = EndScreenLog;
  s.destroy_main_window = DestroyMainWindow;
  s.end_com = EndComLibrary;
  s.end_log = EndLogFile;
  s.close_unused_archives = EndArchiveTable;
  s.dump_tracked_blocks = DumpTrackedBlocks;
  return s;
}

void SetEngineServices(const EngineServices* services) { Services() = services ? *services : DefaultEngineServices(); }
const EngineServices& GetEngineServices() { return Services(); }

// ---- public entry points ----------------------------------------------------------------

int InitEngine() {
  if (g_engine.initialised) return 0;
  EnterEngineLock();
  int result = InitEngineCore();
  LeaveEngineLock();
  return result;
}

int EndEngine() {
  if (!g_engine.initialised) return 0;
  EnterEngineLock();
  int result = EndEngineCore();
  LeaveEngineLock();
  return result;
}

int ProcessEngineMessages() {
  EnterEngineLock();
  int result = ProcessWindowMessages();
  LeaveEngineLock();
  return result;
}

// ---- start-up -------------------------------------------------------------------------------

int InitEngineCore() {
  const EngineServices& s = Services();
  if (g_engine.initialised) return 0;
  g_engine.starting = 1;
  SetLogAbortHooks(ShutdownForAbort, nullptr);

  // A fullscreen size the display cannot show starts the engine windowed.
  if (!g_engine.window_mode) {
    int width = 640, height = 480;
    if (s.requested_screen_size) s.requested_screen_size(&width, &height);
    int count = s.display_mode_count ? s.display_mode_count() : 0;
    bool found = false;
    for (int i = 0; i < count && !found; i++) {
      int w = 0, h = 0;
      if (s.display_mode(i, &w, &h) == 0 && w == width && h == height) found = true;
    }
    if (!found) ChangeWindowMode(1);
  }
  Call(s.build_movie_tables);
  Call(s.init_archive_table);
  Call(s.install_file_layer);
  char directory[FILE_DIR_BUFFER] = "";
  if (FsGetDir(directory) == 0) CopyStringBounded(g_engine.start_directory, directory, sizeof g_engine.start_directory);
  Call(s.start_log);

  int desktop_bits = s.desktop_bits_per_pixel ? s.desktop_bits_per_pixel() : 32;
  int requested_depth = s.requested_screen_depth ? s.requested_screen_depth() : 16;
  if ((desktop_bits == 24 && g_engine.window_mode) || requested_depth == 24) {
    WriteLogText("ＱＶライブラリは２４ビットカラーモードに対応していません\n");
    g_engine.starting = 0;
    return -1;
  }

  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  g_engine.performance_frequency = frequency.QuadPart;
  g_engine.performance_counter_usable = frequency.QuadPart != 0;
  Call(s.check_environment);
  Call(s.fill_stream_tables);
  Call(s.clear_restore_handler);
  Call(s.start_com);

  if (Call(s.create_main_window) == -1 || Call(s.open_input) == -1) {
    TeardownEngine();
    g_engine.starting = 0;
    return -1;
  }
  Call(s.start_sound);  // the engine runs on without sound
  if (Call(s.start_graphics) < 0) {
    TeardownEngine();
    g_engine.starting = 0;
    return -1;
  }
  Call(s.start_text_input);
  g_engine.initialised = 1;
  if (s.set_vsync_wait) s.set_vsync_wait(1);
  if (!g_engine.window_mode) Call(s.force_foreground);
  Call(s.start_screen_log);
  if (s.select_draw_screen) {
    s.select_draw_screen(-2);
    s.select_draw_screen(-4);
  }
  Call(s.start_model_runtime);
  g_engine.starting = 0;
  return 0;
}

// ---- shutdown -------------------------------------------------------------------------------

int EndEngineCore() {
  if (!g_engine.initialised) return 0;
  return TeardownEngine();
}

int TeardownEngine() {
  const EngineServices& s = Services();
  g_engine.ending = 1;
  Call(s.end_screen_log);
  Call(s.end_network);
  Call(s.end_music);
  Call(s.end_model_runtime);
  Call(s.end_graphics);
  Call(s.close_input);
  Call(s.end_sound);
  Call(s.destroy_main_window);
  Call(s.end_com);
  Call(s.end_soft_images);
  Call(s.end_log);
  g_engine.initialised = 0;
  // Let the window's last messages through until it is gone.
  while (g_engine.window && !g_engine.quit && !g_engine.destroyed && ProcessWindowMessages() == 0) {
  }
  if (g_engine.start_directory[0]) FsSetDir(g_engine.start_directory);
  Call(s.close_unused_archives);
  Call(s.dump_tracked_blocks);
  return 0;
}

// ---- COM and the foreground ---------------------------------------------------------------

int StartComLibrary() {
  if (g_engine.com_started) return -1;
  WriteLogText("ＣＯＭの初期化... ");
  WriteLogText("成功しました\n");
  g_engine.com_started = 1;
  return 0;
}

int EndComLibrary() {
  if (!g_engine.com_started) return -1;
  WriteLogText("ＣＯＭを終了... 完了\n");
  g_engine.com_started = 0;
  return 0;
}

int ForceForeground(WindowObject* window, int topmost) {
  if (!window) return -1;
  HWND foreground = GetForegroundWindow();
  DWORD own_thread = GetWindowThreadProcessId(window, nullptr);
  DWORD other_thread = foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0;
  if (other_thread) AttachThreadInput(own_thread, other_thread, TRUE);
  DWORD timeout = 0;
  SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
  SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
  SetForegroundWindow(window);
  SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, (LPVOID)(uintptr_t)timeout, 0);
  if (other_thread) AttachThreadInput(own_thread, other_thread, FALSE);
  if (topmost == 1)
    SetWindowPos(g_engine.window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOREDRAW);
  return 0;
}
