// Engine start-up and shutdown and the three public entry points.
#include "engine/core/engine_start.h"

#include "engine/core/engine_lock.h"
#include "engine/core/engine_state.h"
#include "engine/core/engine_subsystem.h"
#include "engine/core/file.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "engine/core/window.h"

namespace {

int Start(SubsystemId id) { return Subsystem(id).start(); }
int End(SubsystemId id) { return Subsystem(id).end(); }

// Shutdown, in order, up to the pump that lets the window go; the archives
// and the allocator's report come after the start folder is back.
constexpr SubsystemId kEndOrder[] = {SubsystemId::ScreenLog,    SubsystemId::Sockets,  SubsystemId::Music,
                                     SubsystemId::ModelRuntime, SubsystemId::Graphics, SubsystemId::Input,
                                     SubsystemId::Sound,        SubsystemId::Window,   SubsystemId::Com,
                                     SubsystemId::SoftImages,   SubsystemId::Log};

// The fatal path of the log: take everything down before the process ends.
void ShutdownForAbort() {
  if (g_engine.initialised || g_engine.starting) TeardownEngine();
}

}  // namespace

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
  if (g_engine.initialised) return 0;
  const EngineSubsystem& graphics = Subsystem(SubsystemId::Graphics);
  g_engine.starting = 1;
  SetLogAbortHooks(ShutdownForAbort, nullptr);

  // A fullscreen size the display cannot show starts the engine windowed.
  if (!g_engine.window_mode) {
    int width = 640, height = 480;
    graphics.screen_size(&width, &height);
    int count = graphics.display_mode_count();
    bool found = false;
    for (int i = 0; i < count && !found; i++) {
      int w = 0, h = 0;
      if (graphics.display_mode(i, &w, &h) == 0 && w == width && h == height) found = true;
    }
    if (!found) ChangeWindowMode(1);
  }
  Start(SubsystemId::Movies);  // the YUV tables
  Start(SubsystemId::Archives);
  Start(SubsystemId::FileLayer);
  char directory[FILE_DIR_BUFFER] = "";
  if (FsGetDir(directory) == 0) CopyStringBounded(g_engine.start_directory, directory, sizeof g_engine.start_directory);
  Start(SubsystemId::Log);

  int desktop_bits = Subsystem(SubsystemId::Window).desktop_bits_per_pixel();
  int requested_depth = graphics.requested_screen_depth();
  if ((desktop_bits == 24 && g_engine.window_mode) || requested_depth == 24) {
    WriteLogText("ＱＶライブラリは２４ビットカラーモードに対応していません\n");
    g_engine.starting = 0;
    return -1;
  }

  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  g_engine.performance_frequency = frequency.QuadPart;
  g_engine.performance_counter_usable = frequency.QuadPart != 0;
  Start(SubsystemId::Environment);
  Start(SubsystemId::Streams);
  graphics.clear_restore_handler();
  Start(SubsystemId::Com);

  if (Start(SubsystemId::Window) == -1 || Start(SubsystemId::Input) == -1) {
    TeardownEngine();
    g_engine.starting = 0;
    return -1;
  }
  Start(SubsystemId::Sound);  // the engine runs on without sound
  if (Start(SubsystemId::Graphics) < 0) {
    TeardownEngine();
    g_engine.starting = 0;
    return -1;
  }
  Start(SubsystemId::TextInput);
  g_engine.initialised = 1;
  graphics.swap_vsync_wait(1);
  if (!g_engine.window_mode) Subsystem(SubsystemId::Window).force_foreground();
  Start(SubsystemId::ScreenLog);
  graphics.select_draw_screen(-2);
  graphics.select_draw_screen(-4);
  Start(SubsystemId::ModelRuntime);
  g_engine.starting = 0;
  return 0;
}

// ---- shutdown -------------------------------------------------------------------------------

int EndEngineCore() {
  if (!g_engine.initialised) return 0;
  return TeardownEngine();
}

int TeardownEngine() {
  g_engine.ending = 1;
  for (SubsystemId id : kEndOrder) End(id);
  g_engine.initialised = 0;
  // Let the window's last messages through until it is gone.
  while (g_engine.window && !g_engine.quit && !g_engine.destroyed && ProcessWindowMessages() == 0) {
  }
  if (g_engine.start_directory[0]) FsSetDir(g_engine.start_directory);
  End(SubsystemId::Archives);
  End(SubsystemId::Allocator);
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
