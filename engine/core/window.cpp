// The main window: creation, destruction and its window procedure.
#include "engine/core/window.h"

#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/engine_state.h"
#include "engine/core/engine_subsystem.h"
#include "engine/core/log.h"
#include "engine/core/random.h"
#include "engine/core/util.h"

namespace {

const DWORD kWindowedStyles[MAX_STYLE_INDEX + 1] = {0x80CA0000, 0x80080000, 0x80080000, 0x80CA0000, 0x80080000,
                                                    0x80C80000, 0x80CA0000, 0x80CB0000, 0x81CB0000};
const DWORD kWindowedExStyles[MAX_STYLE_INDEX + 1] = {0x300, 0x300, 0x0, 0x80, 0x80, 0x100, 0x300, 0x300, 0x300};

void ScreenSize(int* width, int* height) { Subsystem(SubsystemId::Graphics).screen_size(width, height); }

// Window creation starts from a zeroed state, keeping what was set before
// start-up.
void ResetEngineStateForWindow() {
  EngineState kept = g_engine;
  memset(&g_engine, 0, sizeof g_engine);
  g_engine.initialised = kept.initialised;
  g_engine.starting = kept.starting;
  memcpy(g_engine.start_directory, kept.start_directory, sizeof g_engine.start_directory);
  g_engine.log_off = kept.log_off;
  g_engine.log_indent = kept.log_indent;
  g_engine.log_mid_line = kept.log_mid_line;
  g_engine.log_epoch = kept.log_epoch;
  g_engine.performance_frequency = kept.performance_frequency;
  g_engine.performance_counter_usable = kept.performance_counter_usable;
  g_engine.com_started = kept.com_started;
  g_engine.window_mode = kept.window_mode;
  g_engine.style_index = kept.style_index;
  g_engine.window_scale = kept.window_scale;
  memcpy(g_engine.title, kept.title, sizeof g_engine.title);
  g_engine.icon_id = kept.icon_id;
  g_engine.run_while_inactive = kept.run_while_inactive;
  g_engine.allow_double_start = kept.allow_double_start;
  g_engine.visible_style = kept.visible_style;
  memcpy(g_engine.class_name, kept.class_name, sizeof g_engine.class_name);
}

void StoreClientRect() {
  RECT client;
  GetClientRect(g_engine.window, &client);
  POINT origin{0, 0};
  ClientToScreen(g_engine.window, &origin);
  g_engine.client_rect = EngineRect{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
}

// The engine asks its own window to close (once).
void RequestEnd() {
  if (g_engine.end_requested) return;
  g_engine.end_requested = 1;
  PostMessageA(g_engine.window, WM_CLOSE, 0, 0);
}

void TimerTest() {
  WriteLogText("タイマーの精度を検査します\n");
  int pc = 0, mm = 0;
  LARGE_INTEGER last_counter{};
  QueryPerformanceCounter(&last_counter);
  DWORD last_time = timeGetTime(), start = last_time;
  while (timeGetTime() - start < 1000 && pc < 60 && mm < 60) {
    if (ProcessWindowMessages() != 0) break;
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    if (counter.QuadPart != last_counter.QuadPart) pc++, last_counter = counter;
    DWORD now = timeGetTime();
    if (now != last_time) mm++, last_time = now;
  }
  WriteLogFormat("精度結果 更新回数 マルチメディアタイマー：%d  パフォーマンスカウンター：%d", mm, pc);
  WriteLogText(" ");
  if (pc >= mm) {
    WriteLogFormat("パフォーマンスカウンターを使用します タイマー分解能 : %lf KHz ",
                   (double)g_engine.performance_frequency * 0.001);
  } else {
    WriteLogFormat("マルチメディアタイマーを使用します タイマー分解能 : %d.00 ms ", (int)g_engine.timer_period);
    g_engine.performance_counter_usable = 0;
  }
  WriteLogText(" ");
}

void HandleActivation(WPARAM wparam) {
  const EngineSubsystem& graphics = Subsystem(SubsystemId::Graphics);
  const EngineSubsystem& input = Subsystem(SubsystemId::Input);
  const EngineSubsystem& movies = Subsystem(SubsystemId::Movies);
  int active = LOWORD(wparam) != 0;
  int minimised = HIWORD(wparam) != 0;
  g_engine.active = active;
  if (g_engine.creating) return;
  if (active) {
    g_engine.inactive_since = 0;
    Subsystem(SubsystemId::TextInput).reapply_ime_state();
    if (g_engine.window_mode) {
      if (graphics.present_screen() == -1) graphics.restore_graphics_device();
    } else if (g_engine.initialised) {
      if (!minimised) graphics.restore_graphics_device();
      movies.resume_movies();
    } else if (!g_engine.run_while_inactive) {
      movies.resume_movies();
    }
    input.reacquire_input_devices();
  } else {
    bool hardware = graphics.is_hardware_rendering();
    bool directdraw = graphics.has_directdraw();
    if (!g_engine.window_mode && !hardware) {
      ChangeDisplaySettingsA(nullptr, 0);
      ShowWindow(g_engine.window, SW_MINIMIZE);
    } else if (!g_engine.window_mode && hardware && directdraw) {
      // The default reload of graphs counts as a restore handler: the engine
      // never lacks one, so losing the screen never ends the program.
      if (!graphics.has_restore_handler()) {
        WriteLogText("復元関数が登録されていないため終了します\n");
        RequestEnd();
      } else {
        movies.hold_movies();
      }
    } else {
      if (!g_engine.run_while_inactive) movies.hold_movies();
      input.reacquire_input_devices();
    }
  }
  input.apply_pad_rumble();
}

void HandleDisplayChange(WPARAM wparam, LPARAM lparam) {
  if (!g_engine.window_mode || g_engine.changing_mode) {
    g_engine.mode_change_done = 1;
    return;
  }
  const EngineSubsystem& graphics = Subsystem(SubsystemId::Graphics);
  int bits = (int)wparam, width = LOWORD(lparam), height = HIWORD(lparam);
  int sw, sh;
  ScreenSize(&sw, &sh);
  int old_bits = g_engine.desktop_bits;
  g_engine.desktop_bits = bits;
  if (width == sw && height == sh && graphics.requested_screen_depth() == bits) {
    g_engine.mode_change_done = 1;
    return;
  }
  bool handler = graphics.has_restore_handler();
  bool accepted = handler && bits != 24 && (bits == old_bits || bits != 8) && sw <= width && sh <= height;
  if (!accepted) {
    WriteLogText("復元関数が登録されていないためか画面が２４ビットカラーに変更されたため終了します\n");
    WriteLogText("またはスクリーンが小さすぎるためか色ビット数の違いが大きいためか終了します\n");
    RequestEnd();
    return;
  }
  const EngineSubsystem& movies = Subsystem(SubsystemId::Movies);
  movies.drop_movie_streams();
  movies.resume_movies();
  g_engine.mode_change_done = 1;
}

void HandlePaint(HWND window) {
  PAINTSTRUCT paint;
  BeginPaint(window, &paint);
  if (g_engine.window_mode) {
    g_engine.painting = 1;
    const EngineSubsystem& graphics = Subsystem(SubsystemId::Graphics);
    if (!g_engine.initialised) {
      FillRect(paint.hdc, &paint.rcPaint, GetStockBrush(BLACK_BRUSH));
    } else if (graphics.current_draw_screen() == -2) {
      int vsync = graphics.swap_vsync_wait(0);
      graphics.present_screen();
      graphics.swap_vsync_wait(vsync);
    }
    g_engine.painting = 0;
  }
  EndPaint(window, &paint);
}

void StoreDroppedFiles(HDROP drop) {
  UINT count = DragQueryFileA(drop, 0xFFFFFFFFu, nullptr, 0);
  for (UINT i = 0; i < count && g_engine.dropped_count < MAX_DROPPED_FILES; i++) {
    UINT length = DragQueryFileA(drop, i, nullptr, 0);
    char* name = (char*)VOX_ALLOC(length + 1);
    if (!name) break;
    DragQueryFileA(drop, i, name, length + 1);
    g_engine.dropped_files[g_engine.dropped_count++] = name;
  }
  DragFinish(drop);
}

void HideCursorIfSet() {
  if (g_engine.cursor_visible) return;
  SetCursor(nullptr);
  while (ShowCursor(FALSE) >= 0) {
  }
}

}  // namespace

int DesktopBitsPerPixel() {
  HDC screen = GetDC(nullptr);
  int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
  ReleaseDC(nullptr, screen);
  return bits;
}

DWORD WindowedStyle(int index) {
  if (index < 0 || index > MAX_STYLE_INDEX) index = 0;
  return kWindowedStyles[index] | (g_engine.visible_style ? WS_VISIBLE : 0);
}
DWORD WindowedExStyle(int index) { return kWindowedExStyles[index < 0 || index > MAX_STYLE_INDEX ? 0 : index]; }

void ScaledClientSize(int screen_width, int screen_height, double scale, int* width, int* height) {
  *width = (int)(screen_width * scale);
  *height = (int)(screen_height * scale);
}

RECT CentredWindowRect(int client_width, int client_height, DWORD style, DWORD ex_style, int desktop_width,
                       int desktop_height) {
  RECT r{0, 0, client_width, client_height};
  AdjustWindowRectEx(&r, style, FALSE, ex_style);
  int width = r.right - r.left, height = r.bottom - r.top;
  int x = (desktop_width - width) / 2, y = (desktop_height - height) / 2;
  return RECT{x, y, x + width, y + height};
}

int CreateMainWindow() {
  ResetEngineStateForWindow();
  g_engine.creating = 1;
  if (!g_engine.class_name[0])
    CopyStringBounded(g_engine.class_name, g_engine.title[0] ? g_engine.title : "D123987X", sizeof g_engine.class_name);
  g_engine.instance = GetModuleHandleA(nullptr);
  g_engine.window_thread = GetCurrentThreadId();

  MEMORYSTATUS memory{};
  memory.dwLength = sizeof memory;
  GlobalMemoryStatus(&memory);
  WriteLogFormat("メモリ総量:%.2fMB  空きメモリ領域:%.2fMB ", memory.dwTotalPhys * 9.536743e-7,
                 memory.dwAvailPhys * 9.536743e-7);
  char debug[64];
  FormatString(debug, sizeof debug, "%.2fMB\n", memory.dwAvailPhys * 9.536743e-7);
  OutputDebugStringA(debug);

  g_engine.desktop_width = GetSystemMetrics(SM_CXSCREEN);
  g_engine.desktop_height = GetSystemMetrics(SM_CYSCREEN);
  g_engine.desktop_bits = DesktopBitsPerPixel();

  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  g_engine.performance_frequency = frequency.QuadPart;
  g_engine.performance_counter_usable = frequency.QuadPart != 0;
  TIMECAPS caps{};
  if (timeGetDevCaps(&caps, sizeof caps) == TIMERR_NOERROR) g_engine.timer_period = caps.wPeriodMin;
  timeBeginPeriod(g_engine.timer_period);
  if (g_engine.performance_counter_usable) TimerTest();

  SeedRandom((uint32_t)GetMillisecondCount());
  SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 0, nullptr, SPIF_SENDWININICHANGE);

  WriteLogText("ソフトの二重起動検査... ");
  if (FindWindowA(g_engine.class_name, nullptr)) {
    if (g_engine.allow_double_start) {
      WriteLogText("二重起動されていますが続行します\n");
    } else {
      WriteLogText("二重起動されています、ソフトを終了します\n");
      g_engine.quit = 1;
      g_engine.creating = 0;
      return -1;
    }
  } else {
    WriteLogText("二重起動はされていませんでした\n");
  }

  WNDCLASSEXA window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = MainWindowProc;
  window_class.hInstance = (HINSTANCE)g_engine.instance;
  window_class.hIcon = LoadIconA((HINSTANCE)g_engine.instance,
                                 MAKEINTRESOURCEA(g_engine.icon_id ? g_engine.icon_id : IDI_APPLICATION_ID));
  window_class.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(IDC_ARROW_ID));
  window_class.hbrBackground = GetStockBrush(NULL_BRUSH);
  window_class.lpszClassName = g_engine.class_name;
  WriteLogText("ウインドウクラスを登録します... ");
  if (!RegisterClassExA(&window_class)) {
    g_engine.quit = 1;
    g_engine.creating = 0;
    WriteLogText("ウインドウクラスの登録に失敗しました\n");
    return -1;
  }
  WriteLogText("登録に成功しました\n");
  if (!g_engine.title[0]) CopyStringBounded(g_engine.title, "QvLib", sizeof g_engine.title);

  int sw, sh;
  ScreenSize(&sw, &sh);
  HWND window;
  if (g_engine.window_mode) {
    WriteLogText("ウインドウモード起動用のウインドウを作成します\n");
    int cw, ch;
    ScaledClientSize(sw, sh, EffectiveWindowScale(), &cw, &ch);
    DWORD style = WindowedStyle(g_engine.style_index), ex_style = WindowedExStyle(g_engine.style_index);
    RECT r = CentredWindowRect(cw, ch, style, ex_style, g_engine.desktop_width, g_engine.desktop_height);
    window = CreateWindowExA(ex_style, g_engine.class_name, g_engine.title, style, r.left, r.top, r.right - r.left,
                             r.bottom - r.top, nullptr, nullptr, (HINSTANCE)g_engine.instance, nullptr);
  } else {
    WriteLogText("フルスクリーンモード用のウインドウを作成します\n");
    window = CreateWindowExA(FULLSCREEN_EX_STYLE, g_engine.class_name, g_engine.title, FULLSCREEN_STYLE, 0, 0, sw, sh,
                             nullptr, nullptr, (HINSTANCE)g_engine.instance, nullptr);
  }
  if (!window) {
    g_engine.quit = 1;
    g_engine.creating = 0;
    WriteLogText("ウインドウの作成に失敗しました\n");
    UnregisterClassA(g_engine.class_name, (HINSTANCE)g_engine.instance);
    return -1;
  }
  g_engine.window = window;
  WriteLogText("ウインドウの作成に成功しました\n");
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  g_engine.end_requested = 0;
  g_engine.destroyed = 0;
  g_engine.active = 1;
  if (!g_engine.window_mode) {
    WriteLogText("カーソルを不可視にしました\n");
    SetCursor(nullptr);
  }
  WriteLogText("ＩＭＥを無効にしました\n");
  WINNLSEnableIME(window, FALSE);
  if (g_engine.window_mode) StoreClientRect();
  g_engine.code_page_mode = GetOEMCP() == 949 ? 2 : 1;
  g_engine.cursor_visible = g_engine.window_mode ? 1 : 0;
  SetCursorVisible(-1);
  BringWindowToTop(window);
  int start = GetMillisecondCount();
  while (GetMillisecondCount() - start < 200) {
    if (ProcessWindowMessages() != 0) break;
    Sleep(1);
  }
  SetWindowPosition();
  g_engine.creating = 0;
  return 0;
}

int DestroyMainWindow() {
  if (!g_engine.window) return 0;
  SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 1, nullptr, SPIF_SENDWININICHANGE);
  WINNLSEnableIME(g_engine.window, TRUE);
  while (ShowCursor(TRUE) < 0) {
  }
  SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(IDC_ARROW_ID)));
  RequestEnd();
  while (!g_engine.destroyed && ProcessWindowMessages() == 0) {
  }
  // A window that lost its queue (quit was already posted) is taken down here.
  if (!g_engine.destroyed && IsWindow(g_engine.window)) DestroyWindow(g_engine.window);
  // The quit this window posted must not end the next window's first step.
  MSG leftover;
  while (PeekMessageA(&leftover, HWND_THREAD_ONLY, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  UnregisterClassA(g_engine.class_name, (HINSTANCE)g_engine.instance);
  Subsystem(SubsystemId::TextInput).delete_all_text_inputs();
  for (int i = 0; i < g_engine.dropped_count; i++) {
    VOX_FREE(g_engine.dropped_files[i]);
    g_engine.dropped_files[i] = nullptr;
  }
  g_engine.dropped_count = 0;
  timeEndPeriod(g_engine.timer_period);
  g_engine.window = nullptr;
  return 0;
}

LRESULT MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const EngineSubsystem& input = Subsystem(SubsystemId::Input);
  switch (message) {
    case WM_CREATE:
      return 0;
    case WM_DESTROY:
      WriteLogText("ウインドウが破棄されようとしています\n");
      g_engine.destroyed = 1;
      PostQuitMessage(0);
      g_engine.quit = 1;
      WriteLogText("ソフトを終了する準備が整いました\n");
      return 0;
    case WM_CLOSE:
      WriteLogText("ウインドウを閉じようとしています\n");
      DestroyWindow(window);
      if (g_engine.ending == 0) g_engine.ending = 4;
      return 0;
    case WM_MOVE:
      if (g_engine.window_mode && !g_engine.changing_mode) UpdateClientOrigin(lparam);
      return 0;
    case WM_SIZE:
      if (wparam != SIZE_MAXIMIZED) SetWindowPosition();
      return 0;
    case WM_SIZING:
      if (g_engine.window_mode && lparam) {
        RECT window_rect, client;
        GetWindowRect(window, &window_rect);
        GetClientRect(window, &client);
        int sw, sh;
        ScreenSize(&sw, &sh);
        KeepAspectWhileSizing((int)wparam, (RECT*)lparam, (window_rect.right - window_rect.left) - client.right,
                              (window_rect.bottom - window_rect.top) - client.bottom, sw, sh);
      }
      return TRUE;
    case WM_MOVING:
      if (!g_engine.window_mode && lparam) GetWindowRect(window, (RECT*)lparam);
      return TRUE;
    case WM_ACTIVATEAPP:
      if (wparam != 0) break;
      [[fallthrough]];
    case WM_ACTIVATE:
      HandleActivation(wparam);
      return 0;
    case WM_DISPLAYCHANGE:
      HandleDisplayChange(wparam, lparam);
      return 0;
    case WM_PAINT:
      HandlePaint(window);
      return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP: {
      int button = message == WM_LBUTTONDOWN ? 1 : message == WM_RBUTTONDOWN ? 2 : message == WM_MBUTTONDOWN ? 4 : 0;
      if (button) {
        // The message's own client position, in screen pixels.
        double scale = GetWindowScale();
        input.log_mouse_click(button, (int)((int16_t)LOWORD(lparam) / scale), (int)((int16_t)HIWORD(lparam) / scale));
      }
      HideCursorIfSet();
      return 0;
    }
    case WM_SETCURSOR:
      HideCursorIfSet();
      return TRUE;
    case WM_MOUSEWHEEL:
      g_engine.wheel += (int16_t)HIWORD(wparam) > 0 ? 1 : -1;
      return 0;
    case WM_KEYDOWN:
      input.queue_edit_key(wparam);
      return 0;
    case WM_CHAR:
      input.queue_char(wparam);
      return 0;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == SC_SCREENSAVE || (wparam & 0xFFF0) == SC_MONITORPOWER) return 1;
      break;
    case WM_IME_SETCONTEXT:
    case WM_IME_NOTIFY:
    case WM_IME_STARTCOMPOSITION:
    case WM_IME_ENDCOMPOSITION:
    case WM_IME_COMPOSITION:
      return Subsystem(SubsystemId::TextInput).message(window, message, wparam, lparam);
    case WM_DROPFILES:
      StoreDroppedFiles((HDROP)wparam);
      return 0;
    case 0x046F:
    case 0x0470:
      input.set_input_flag(message == 0x046F ? 0 : 1, wparam == 1);
      return 0;
    case 0x03B9:  // MM_MCINOTIFY
      Subsystem(SubsystemId::Music).message(window, message, wparam, lparam);
      return 0;
    case 0x0505:
      return Subsystem(SubsystemId::Sockets).message(window, message, wparam, lparam);
  }
  return DefWindowProcA(window, message, wparam, lparam);
}
