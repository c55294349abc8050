// The engine's main window: creation and destruction, its window procedure,
// the message step, and the window settings and queries. Main thread only,
// except where noted.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32/window.h"

// ---- main window and message processing
int CreateMainWindow();   // 0, or -1 with quit set
int DestroyMainWindow();  // 0
LRESULT MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// One message step: 0, or -1 once quit is set.
int ProcessWindowMessages();
// Returns once the window is active again (or closing).
void WaitWhileWindowInactive();
// Windowed styles of the style table row (WS_VISIBLE added once set).
DWORD WindowedStyle(int index);
DWORD WindowedExStyle(int index);
constexpr DWORD FULLSCREEN_STYLE = WS_POPUP;
constexpr DWORD FULLSCREEN_EX_STYLE = WS_EX_TOPMOST;
constexpr int MAX_STYLE_INDEX = 8;

// Client size for the screen size and scale, each truncated toward zero.
void ScaledClientSize(int screen_width, int screen_height, double scale, int* width, int* height);
// The window rectangle (frame included) that centres a client area of the
// given size on the desktop.
RECT CentredWindowRect(int client_width, int client_height, DWORD style, DWORD ex_style, int desktop_width,
                       int desktop_height);
// The client size that keeps the screen's aspect ratio while an edge or
// corner is dragged: edge is the side being dragged (WMSZ_* numbering,
// 1 left ... 8 bottom-right); rect is replaced.
void KeepAspectWhileSizing(int edge, RECT* rect, int frame_width, int frame_height, int screen_width,
                           int screen_height);

// ---- window settings and queries
int ChangeWindowMode(int mode);
int SetWindowModeFlag(int mode);
int ApplyWindowStyle();
int SetWindowStyleIndex(int index);
int SetWindowScale(double scale);
double GetWindowScale();
int SetWindowTitle(const char* title);
int SetWindowIconResource(int id);
int SetRunWhileInactive(int flag);
int SetAllowDoubleStart(int flag);
int GetQuitFlag();
HWND GetMainWindow();
int IsWindowMode();
int IsAppActive();
int IsEndRequested();
int GetCursorShowSetting();
int GetDesktopMode(int* width, int* height, int* bits);
// The desktop's bits per pixel as the display reports them.
int DesktopBitsPerPixel();
int GetClientScreenRect(RECT* rect);
int GetMouseDrawPos(int* x, int* y);
int SetCursorVisible(int visible);  // -1 re-applies the setting
int SetWindowPosition();
int UpdateClientOrigin(LPARAM packed_origin);
// Clipboard text (code page 932). With a null buffer: the size the text
// needs, its NUL included; else copies at most `size` bytes, NUL included,
// never splitting a two-byte character, and returns 0. -1 without text.
int ReadClipboardText(char* buffer, size_t size);
int WriteClipboardText(const char* text);
// The scale the message step reads (not greater than 0, or not a number: 1.0).
double EffectiveWindowScale();
