// The window system as the engine calls it: window classes, one or more
// top-level windows with a window procedure, the message queue and its pump,
// timers, the cursor, the clipboard, the desktop and its display modes, and
// the present of a device-independent bitmap into a window. It stands on
// SDL2: the pump turns SDL events into the messages a window procedure
// expects. Windows are created, pumped and destroyed on one thread (SDL's
// video thread); PostMessageA may be called from any thread.
//
// Text crosses this boundary as code page 932; titles, clipboard text,
// dropped file names and typed characters are converted to and from UTF-8
// where they meet SDL.
#pragma once

#include <cstdint>

#include "platform/win32/dib.h"
#include "platform/win32/win32.h"

struct SDL_Window;

// ---- types -------------------------------------------------------------------
struct WindowObject;
typedef WindowObject* HWND;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef uint16_t ATOM;
typedef void* HICON;
typedef void* HCURSOR;
typedef void* HBRUSH;
typedef void* HMENU;
typedef void* HDROP;
typedef LRESULT (*WNDPROC)(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
typedef void (*TIMERPROC)(HWND window, UINT message, uintptr_t id, DWORD time);

struct RECT {
  LONG left, top, right, bottom;
};
struct POINT {
  LONG x, y;
};
struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};
struct WNDCLASSEXA {
  UINT cbSize;
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
  HICON hIconSm;
};
struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
};
struct DEVMODEA {
  DWORD dmBitsPerPel;
  DWORD dmPelsWidth;
  DWORD dmPelsHeight;
  DWORD dmDisplayFrequency;
  DWORD dmFields;
};

#define LOWORD(l) ((WORD)(((uintptr_t)(l)) & 0xFFFF))
#define HIWORD(l) ((WORD)((((uintptr_t)(l)) >> 16) & 0xFFFF))
#define MAKELPARAM(l, h) ((LPARAM)(uint32_t)(((uint32_t)(WORD)(l)) | (((uint32_t)(WORD)(h)) << 16)))

// ---- messages ---------------------------------------------------------------------
#define WM_CREATE 0x0001u
#define WM_DESTROY 0x0002u
#define WM_MOVE 0x0003u
#define WM_SIZE 0x0005u
#define WM_ACTIVATE 0x0006u
#define WM_PAINT 0x000Fu
#define WM_CLOSE 0x0010u
#define WM_QUIT 0x0012u
#define WM_ACTIVATEAPP 0x001Cu
#define WM_SETCURSOR 0x0020u
#define WM_DISPLAYCHANGE 0x007Eu
#define WM_NCHITTEST 0x0084u
#define WM_KEYDOWN 0x0100u
#define WM_KEYUP 0x0101u
#define WM_CHAR 0x0102u
#define WM_IME_STARTCOMPOSITION 0x010Du
#define WM_IME_ENDCOMPOSITION 0x010Eu
#define WM_IME_COMPOSITION 0x010Fu
#define WM_COMMAND 0x0111u
#define WM_SYSCOMMAND 0x0112u
#define WM_TIMER 0x0113u
#define WM_MOUSEMOVE 0x0200u
#define WM_LBUTTONDOWN 0x0201u
#define WM_LBUTTONUP 0x0202u
#define WM_RBUTTONDOWN 0x0204u
#define WM_RBUTTONUP 0x0205u
#define WM_MBUTTONDOWN 0x0207u
#define WM_MBUTTONUP 0x0208u
#define WM_MOUSEWHEEL 0x020Au
#define WM_SIZING 0x0214u
#define WM_MOVING 0x0216u
#define WM_DROPFILES 0x0233u
#define WM_IME_SETCONTEXT 0x0281u
#define WM_IME_NOTIFY 0x0282u
#define WM_USER 0x0400u

#define WA_INACTIVE 0
#define WA_ACTIVE 1
#define SIZE_RESTORED 0
#define SIZE_MINIMIZED 1
#define SIZE_MAXIMIZED 2
#define SC_SCREENSAVE 0xF140u
#define SC_MONITORPOWER 0xF170u

// PeekMessageA
#define PM_NOREMOVE 0x0u
#define PM_REMOVE 0x1u
// The window argument of PeekMessageA that asks for thread messages only.
#define HWND_THREAD_ONLY ((HWND)(intptr_t)-1)

// ---- virtual keys the pump reports ---------------------------------------------------
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_F1 0x70

// ---- styles ---------------------------------------------------------------------------
#define WS_POPUP 0x80000000u
#define WS_VISIBLE 0x10000000u
#define WS_CAPTION 0x00C00000u
#define WS_BORDER 0x00800000u
#define WS_DLGFRAME 0x00400000u
#define WS_SYSMENU 0x00080000u
#define WS_THICKFRAME 0x00040000u
#define WS_MINIMIZEBOX 0x00020000u
#define WS_MAXIMIZEBOX 0x00010000u
#define WS_EX_TOPMOST 0x00000008u
#define WS_EX_WINDOWEDGE 0x00000100u
#define WS_EX_CLIENTEDGE 0x00000200u
#define CS_VREDRAW 0x0001u
#define CS_HREDRAW 0x0002u
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GCL_HICON (-14)
#define CW_USEDEFAULT ((int)0x80000000)

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_MINIMIZE 6
#define SW_SHOW 5
#define SW_RESTORE 9

#define HWND_TOP ((HWND)(intptr_t)0)
#define HWND_TOPMOST ((HWND)(intptr_t)-1)
#define HWND_NOTOPMOST ((HWND)(intptr_t)-2)
#define SWP_NOSIZE 0x0001u
#define SWP_NOMOVE 0x0002u
#define SWP_NOZORDER 0x0004u
#define SWP_NOREDRAW 0x0008u
#define SWP_NOACTIVATE 0x0010u
#define SWP_SHOWWINDOW 0x0040u

// Frame sizes AdjustWindowRectEx adds (the desktop's window manager draws
// its own frame; these keep window and client rectangles consistent).
#define VOX_FRAME_BORDER 3
#define VOX_FRAME_CAPTION 23
#define VOX_FRAME_CLIENT_EDGE 2

// ---- resources, system metrics, display ------------------------------------------------
#define IDI_APPLICATION_ID 32512
// An icon group resource: here a PNG picture of at most 256 x 256 pixels.
#define RT_GROUP_ICON MAKEINTRESOURCEA(14)
#define IDC_ARROW_ID 32512
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define BITSPIXEL 12
#define PLANES 14
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define CF_TEXT 1u
#define SPI_SETSCREENSAVEACTIVE 0x0011u
#define SPI_GETFOREGROUNDLOCKTIMEOUT 0x2000u
#define SPI_SETFOREGROUNDLOCKTIMEOUT 0x2001u
#define SPIF_SENDWININICHANGE 0x2u
#define ENUM_CURRENT_SETTINGS ((DWORD)-1)
#define DM_BITSPERPEL 0x00040000u
#define DM_PELSWIDTH 0x00080000u
#define DM_PELSHEIGHT 0x00100000u
#define DM_DISPLAYFREQUENCY 0x00400000u
// ChangeDisplaySettingsA flags; its results are 0 (done) and -1 (failed).
#define CDS_FULLSCREEN_FLAG 0x4u

// ---- window classes and windows ------------------------------------------------------
ATOM RegisterClassExA(const WNDCLASSEXA* window_class);
BOOL UnregisterClassA(LPCSTR class_name, HINSTANCE instance);
// WM_CREATE reaches the procedure before this returns.
HWND CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR title, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
// Sends WM_DESTROY to the procedure, then removes the window.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// In this process, or (through a lock named after the class) in another
// running program; the latter answers a window handle that only compares
// unequal to null.
HWND FindWindowA(LPCSTR class_name, LPCSTR title);
BOOL ShowWindow(HWND window, int command);
BOOL UpdateWindow(HWND window);  // a pending WM_PAINT is sent at once
BOOL BringWindowToTop(HWND window);
BOOL SetForegroundWindow(HWND window);
HWND GetForegroundWindow();
HWND SetActiveWindow(HWND window);
BOOL IsIconic(HWND window);
BOOL SetWindowPos(HWND window, HWND insert_after, int x, int y, int width, int height, UINT flags);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD ex_style);
LONG SetWindowLongA(HWND window, int index, LONG value);  // GWL_STYLE, GWL_EXSTYLE
LONG GetWindowLongA(HWND window, int index);
uintptr_t SetClassLongA(HWND window, int index, uintptr_t value);  // GCL_HICON
BOOL SetWindowTextA(HWND window, LPCSTR text);
BOOL GetClientRect(HWND window, RECT* rect);
BOOL GetWindowRect(HWND window, RECT* rect);
BOOL ClientToScreen(HWND window, POINT* point);
BOOL ScreenToClient(HWND window, POINT* point);
DWORD GetWindowThreadProcessId(HWND window, DWORD* process_id);
BOOL AttachThreadInput(DWORD attach, DWORD to, BOOL on);
// A null instance names a system icon: the id stands for it (a name that is
// no id: IDI_APPLICATION). Otherwise the module's icon group resource
// `name`, decoded, or the IDI_APPLICATION id when the module has none or it
// does not decode. Loaded icons live as long as the process, and the same
// picture gives the same handle. A window shows its class's loaded icon
// from its creation on, and the one SetClassLongA(GCL_HICON) gives later.
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
BOOL WINNLSEnableIME(HWND window, BOOL enable);
BOOL SystemParametersInfoA(UINT action, UINT param, LPVOID value, UINT flags);
// The SDL window behind a window handle, for the graphics and input layers.
SDL_Window* GetSdlWindow(HWND window);
HWND WindowFromSdlWindowId(uint32_t id);

// ---- messages --------------------------------------------------------------------------
// Moves waiting SDL events into the queue as messages (window thread only),
// then looks for a message: window null = any window or thread message,
// HWND_THREAD_ONLY = thread messages only, else that window's.
BOOL PeekMessageA(MSG* msg, HWND window, UINT filter_min, UINT filter_max, UINT remove);
BOOL TranslateMessage(const MSG* msg);  // key-down of a control key queues WM_CHAR
LRESULT DispatchMessageA(const MSG* msg);
BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);  // any thread
LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void PostQuitMessage(int exit_code);
// Waits up to `milliseconds` for an SDL event or a posted message.
void WaitForWindowEvent(DWORD milliseconds);

// ---- painting ----------------------------------------------------------------------
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
HBRUSH GetStockBrush(int index);  // BLACK_BRUSH, NULL_BRUSH
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
// The StretchDIBits of a window's device context: copies the source rectangle
// of a 16- or 32-bit bit-field DIB (or 24/32-bit BI_RGB) into the destination
// rectangle of the client area, stretched by nearest pixel, and shows it.
// Returns the number of source rows used, 0 on failure.
int StretchDIBitsToWindow(HWND window, int x_dest, int y_dest, int dest_width, int dest_height, int x_src,
                          int y_src, int src_width, int src_height, const void* bits, const BITMAPINFO* info);
// Reads the client area as shown: 32-bit 0x00RRGGBB pixels, `pitch` bytes a
// row. 0, or -1 when the window shows nothing yet or the size differs.
int ReadWindowPixels(HWND window, uint32_t* pixels, int width, int height, int pitch);

// ---- OpenGL on a window ----------------------------------------------------------
// Windows are made able to carry an OpenGL context whenever SDL's video
// driver offers OpenGL (not so with the dummy driver). Contexts are OpenGL
// 3.3 core, made and used on the video thread.
BOOL IsWindowGLCapable(HWND window);
// TRUE under SDL's dummy video driver, whose windows show nothing anywhere.
BOOL IsWindowSystemHeadless();
// A new context on the window, current on return; null when the window or
// the driver cannot carry one.
void* CreateWindowGLContext(HWND window);
BOOL MakeWindowGLContextCurrent(HWND window, void* context);
void DeleteWindowGLContext(void* context);
void* GetWindowGLProcAddress(const char* name);
// Size of the window's drawable in pixels.
BOOL GetWindowGLDrawableSize(HWND window, int* width, int* height);
// Where a rectangle of the client area lies on the drawable, top-left origin
// (a fullscreen popup shows its client area letterboxed).
BOOL MapClientRectToGLDrawable(HWND window, const RECT* client, RECT* drawable);
// Shows what was drawn into the drawable; interval 0 does not wait for the
// vertical blank, 1 does.
BOOL SwapWindowGL(HWND window, int interval);
// Once a window shows OpenGL output, ReadWindowPixels asks `reader` for the
// drawable's pixels (same contract as ReadWindowPixels); null goes back to
// the window surface.
// Runs `probe` with an OpenGL 3.3 core context current on a hidden window of
// its own (for asking the context what it offers before any window carries
// one), then drops both. FALSE when the video driver offers no OpenGL.
BOOL ProbeWindowSystemGL(void (*probe)(void* context), void* context);
typedef int (*WindowPixelReader)(void* context, uint32_t* pixels, int width, int height, int pitch);
void SetWindowPixelReader(HWND window, WindowPixelReader reader, void* context);

// ---- timers ---------------------------------------------------------------------------
uintptr_t SetTimer(HWND window, uintptr_t id, UINT milliseconds, TIMERPROC proc);
BOOL KillTimer(HWND window, uintptr_t id);

// ---- cursor -----------------------------------------------------------------------------
HCURSOR SetCursor(HCURSOR cursor);
int ShowCursor(BOOL show);  // the display count after the change
BOOL GetCursorPos(POINT* point);

// ---- clipboard (CF_TEXT only) --------------------------------------------------------
BOOL OpenClipboard(HWND owner);
BOOL CloseClipboard();
BOOL EmptyClipboard();
// A GlobalAlloc block of code page 932 text the clipboard keeps until it is
// emptied or closed; null without text.
HANDLE GetClipboardData(UINT format);
// Takes ownership of a GlobalAlloc block of code page 932 text.
HANDLE SetClipboardData(UINT format, HANDLE data);

// ---- desktop and display modes ---------------------------------------------------------
int GetSystemMetrics(int index);
HDC GetDC(HWND window);  // null: the screen
int ReleaseDC(HWND window, HDC dc);
// BITSPIXEL: bytes per pixel x 8 (a 24-bit-deep desktop reads as 32); PLANES: 1.
int GetDeviceCaps(HDC dc, int index);
// Index from 0; the list always holds 640 x 480 in 16 and 32 bits.
BOOL EnumDisplaySettingsA(LPCSTR device, DWORD index, DEVMODEA* mode);
// Null restores the desktop's own mode.
LONG ChangeDisplaySettingsA(DEVMODEA* mode, DWORD flags);

// ---- dropped files ----------------------------------------------------------------------
// index 0xFFFFFFFF: the count. A null buffer: the name's length without the NUL.
UINT DragQueryFileA(HDROP drop, UINT index, LPSTR buffer, UINT size);
void DragFinish(HDROP drop);

// ---- for tests: the desktop the display functions report (null: SDL's) ----
struct VoxDesktopOverride {
  int width, height, bits_per_pixel;
};
void SetDesktopOverrideForTesting(const VoxDesktopOverride* desktop);
// ---- for tests: the loaded icon the window's SDL window was given (null
// while it shows the desktop's default) ----
HICON GetShownWindowIcon(HWND window);
