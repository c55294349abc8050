// Window settings and queries: mode, style, scale, caption, icon, cursor,
// clipboard, and the geometry the window procedure keeps.
#include <cmath>
#include <cstring>

#include "engine/core/engine_state.h"
#include "engine/core/engine_subsystem.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "engine/core/window.h"

namespace {

// How long a window-mode switch waits for the display change it caused.
constexpr int kModeChangeWaitMs = 2000;

void ScreenSize(int* width, int* height) { Subsystem(SubsystemId::Graphics).screen_size(width, height); }

bool SameDisplayMode(const DEVMODEA& a, const DEVMODEA& b) {
  return a.dmPelsWidth == b.dmPelsWidth && a.dmPelsHeight == b.dmPelsHeight && a.dmBitsPerPel == b.dmBitsPerPel;
}

}  // namespace

double EffectiveWindowScale() {
  double scale = g_engine.window_scale;
  return scale > 0 && std::isfinite(scale) ? scale : 1.0;
}

int ChangeWindowMode(int mode) {
  WriteLogText("ChangeWindowMode実行 \n");
  mode = mode ? 1 : 0;
  if (g_engine.window_mode == mode) return 0;
  g_engine.visible_style = 1;
  g_engine.mode_change_done = 0;
  SetWindowModeFlag(mode);
  if (!g_engine.window) return 0;
  g_engine.changing_mode = 1;
  DEVMODEA before{}, after{};
  EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &before);
  ApplyWindowStyle();
  int result = Subsystem(SubsystemId::Graphics).reapply_screen_mode();
  // Only a switch that changed the display mode gets a display change to
  // wait for, and even that is waited for a bounded time.
  EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &after);
  if (SameDisplayMode(before, after)) g_engine.mode_change_done = 1;
  int start = GetMillisecondCount();
  while (!g_engine.mode_change_done && GetMillisecondCount() - start < kModeChangeWaitMs) {
    if (ProcessWindowMessages() != 0) break;
    if (!g_engine.mode_change_done) WaitForWindowEvent(1);
  }
  g_engine.changing_mode = 0;
  return result;
}

int SetWindowModeFlag(int mode) {
  g_engine.window_mode = mode ? 1 : 0;
  WriteLogText(mode ? "ウインドウモードフラグが立てられました\n" : "ウインドウモードフラグが倒されました\n");
  return 0;
}

int ApplyWindowStyle() {
  HWND window = g_engine.window;
  if (!window) return 0;
  int sw, sh;
  ScreenSize(&sw, &sh);
  if (!g_engine.window_mode) {
    WriteLogText("ウインドウスタイルをフルスクリーンモード用に変更します... ");
    SetWindowLongA(window, GWL_EXSTYLE, (LONG)FULLSCREEN_EX_STYLE);
    SetWindowLongA(window, GWL_STYLE, (LONG)FULLSCREEN_STYLE);
    g_engine.client_rect = EngineRect{0, 0, sw, sh};
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, sw, sh, SWP_NOREDRAW);
    SetCursorVisible(0);
    WriteLogText("完了\n");
  } else {
    WriteLogText("ウインドウスタイルをウインドウモード用に変更します... ");
    DWORD style = WindowedStyle(g_engine.style_index), ex_style = WindowedExStyle(g_engine.style_index);
    SetWindowLongA(window, GWL_EXSTYLE, (LONG)ex_style);
    SetWindowLongA(window, GWL_STYLE, (LONG)style);
    int cw, ch;
    ScaledClientSize(sw, sh, EffectiveWindowScale(), &cw, &ch);
    RECT r = CentredWindowRect(cw, ch, style, ex_style, g_engine.desktop_width, g_engine.desktop_height);
    SetWindowPos(window, HWND_NOTOPMOST, r.left, r.top, r.right - r.left, r.bottom - r.top, 0);
    SetWindowPos(window, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top, 0);
    RECT client;
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    g_engine.client_rect = EngineRect{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
    // Keep the caption on the desktop.
    if (origin.x < 0 || origin.y < 0) {
      int dx = origin.x < 0 ? -origin.x : 0, dy = origin.y < 0 ? -origin.y : 0;
      SetWindowPos(window, HWND_TOP, r.left + dx, r.top + dy, 0, 0, SWP_NOSIZE);
      g_engine.client_rect = EngineRect{origin.x + dx, origin.y + dy, origin.x + dx + client.right,
                                        origin.y + dy + client.bottom};
    }
    SetCursorVisible(-1);
    WriteLogText("完了\n");
  }
  SetActiveWindow(window);
  PostMessageA(window, WM_SETCURSOR, (WPARAM)window, 0);
  return 0;
}

int SetWindowStyleIndex(int index) {
  if (index < 0 || index > MAX_STYLE_INDEX) return -1;
  g_engine.style_index = index;
  if (g_engine.window && g_engine.window_mode) {
    ApplyWindowStyle();
    UpdateWindow(g_engine.window);
  }
  return 0;
}

int SetWindowScale(double scale) {
  g_engine.window_scale = scale > 0 && std::isfinite(scale) ? scale : 1.0;
  if (g_engine.window && g_engine.window_mode) ApplyWindowStyle();
  return 0;
}

double GetWindowScale() { return g_engine.window_mode ? EffectiveWindowScale() : 1.0; }

int SetWindowTitle(const char* title) {
  if (!title) title = "";
  if (g_engine.window) SetWindowTextA(g_engine.window, title);
  CopyStringBounded(g_engine.title, title, sizeof g_engine.title);
  return 0;
}

int SetWindowIconResource(int id) {
  g_engine.icon_id = id;
  if (g_engine.window)
    SetClassLongA(g_engine.window, GCL_HICON,
                  (uintptr_t)LoadIconA((HINSTANCE)g_engine.instance, MAKEINTRESOURCEA(id ? id : IDI_APPLICATION_ID)));
  return 0;
}

int SetRunWhileInactive(int flag) {
  g_engine.run_while_inactive = flag;
  return 0;
}

int SetAllowDoubleStart(int flag) {
  g_engine.allow_double_start = flag;
  return 0;
}

int GetQuitFlag() { return g_engine.quit; }
HWND GetMainWindow() { return g_engine.window; }
int IsWindowMode() { return g_engine.window_mode; }
int IsAppActive() { return g_engine.active; }
int IsEndRequested() { return g_engine.end_requested; }
int GetCursorShowSetting() { return g_engine.cursor_visible; }

int GetDesktopMode(int* width, int* height, int* bits) {
  int w = g_engine.desktop_width, h = g_engine.desktop_height, b = g_engine.desktop_bits;
  if (!g_engine.window) {
    w = GetSystemMetrics(SM_CXSCREEN);
    h = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    b = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);
  }
  if (width) *width = w;
  if (height) *height = h;
  if (bits) *bits = b;
  return 0;
}

int GetClientScreenRect(RECT* rect) {
  if (rect) *rect = RECT{g_engine.client_rect.left, g_engine.client_rect.top, g_engine.client_rect.right,
                         g_engine.client_rect.bottom};
  return 0;
}

int GetMouseDrawPos(int* x, int* y) {
  POINT p{0, 0};
  GetCursorPos(&p);
  if (g_engine.window) {
    ScreenToClient(g_engine.window, &p);
  } else {
    p.x -= g_engine.client_rect.left;
    p.y -= g_engine.client_rect.top;
  }
  double scale = GetWindowScale();
  if (x) *x = (int)(p.x / scale);
  if (y) *y = (int)(p.y / scale);
  return 0;
}

int SetCursorVisible(int visible) {
  if (visible != -1) g_engine.cursor_visible = visible;
  if (g_engine.cursor_visible == 1) {
    while (ShowCursor(TRUE) < 0) {
    }
    SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(IDC_ARROW_ID)));
  } else {
    while (ShowCursor(FALSE) >= 0) {
    }
  }
  if (g_engine.window) PostMessageA(g_engine.window, WM_SETCURSOR, (WPARAM)g_engine.window, 0);
  return 0;
}

int SetWindowPosition() {
  HWND window = g_engine.window;
  if (!window || !g_engine.window_mode) return 0;
  int sw, sh, cw, ch;
  ScreenSize(&sw, &sh);
  ScaledClientSize(sw, sh, EffectiveWindowScale(), &cw, &ch);
  RECT now, frame{0, 0, cw, ch};
  GetWindowRect(window, &now);
  AdjustWindowRectEx(&frame, (DWORD)GetWindowLongA(window, GWL_STYLE), FALSE,
                     (DWORD)GetWindowLongA(window, GWL_EXSTYLE));
  MoveWindow(window, now.left, now.top, frame.right - frame.left, frame.bottom - frame.top, TRUE);
  if (!g_engine.visible_style) {
    g_engine.visible_style = 1;
    ApplyWindowStyle();
  }
  return 0;
}

int UpdateClientOrigin(LPARAM packed_origin) {
  int x = (int16_t)LOWORD(packed_origin), y = (int16_t)HIWORD(packed_origin);
  RECT client{0, 0, 0, 0};
  if (g_engine.window) GetClientRect(g_engine.window, &client);
  g_engine.client_rect = EngineRect{x, y, x + client.right, y + client.bottom};
  return 0;
}

void KeepAspectWhileSizing(int edge, RECT* rect, int frame_width, int frame_height, int screen_width,
                           int screen_height) {
  if (!rect || screen_width <= 0 || screen_height <= 0) return;
  int cw = (rect->right - rect->left) - frame_width;
  int ch = (rect->bottom - rect->top) - frame_height;
  if (cw < 1) cw = 1;
  if (ch < 1) ch = 1;
  bool horizontal = edge == 1 || edge == 2;
  bool vertical = edge == 3 || edge == 6;
  // A corner follows the side that moved more, compared without rounding.
  bool by_width = horizontal || (!vertical && (int64_t)cw * screen_height > (int64_t)ch * screen_width);
  if (by_width) {
    ch = (int)((int64_t)cw * screen_height / screen_width);
    rect->bottom = rect->top + ch + frame_height;
  } else {
    cw = (int)((int64_t)ch * screen_width / screen_height);
    rect->right = rect->left + cw + frame_width;
  }
  g_engine.window_scale = (double)cw / screen_width;
}

int ReadClipboardText(char* buffer, size_t size) {
  if (!OpenClipboard(nullptr)) return -1;
  HANDLE data = GetClipboardData(CF_TEXT);
  const char* text = data ? static_cast<const char*>(GlobalLock(data)) : nullptr;
  if (!text) {
    CloseClipboard();
    return -1;
  }
  size_t length = strnlen(text, GlobalSize(data));
  int result = 0;
  if (!buffer) {
    result = (int)(length + 1);
  } else if (size > 0) {
    size_t n = length < size - 1 ? length : size - 1;
    // Never end on the first half of a two-byte character.
    size_t i = 0;
    while (i < n) {
      size_t step = vox_win32::Cp932CharLength(std::string_view(text, length), i);
      if (i + step > n) break;
      i += step;
    }
    memcpy(buffer, text, i);
    buffer[i] = 0;
  }
  GlobalUnlock(data);
  CloseClipboard();
  return result;
}

int WriteClipboardText(const char* text) {
  if (!text) return -1;
  size_t length = strlen(text);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, length + 1);
  if (!block) return -1;
  memcpy(GlobalLock(block), text, length + 1);
  GlobalUnlock(block);
  if (!OpenClipboard(g_engine.window)) {
    GlobalFree(block);
    return -1;
  }
  EmptyClipboard();
  bool ok = SetClipboardData(CF_TEXT, block) != nullptr;
  if (!ok) GlobalFree(block);
  CloseClipboard();
  return ok ? 0 : -1;
}
