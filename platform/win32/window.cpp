// Window classes and top-level windows over SDL2 windows. The window
// rectangle (frame included, as AdjustWindowRectEx computes it) is the
// authority; the SDL window is placed at the client origin with the client
// size. A popup without a caption that is topmost is shown as a
// desktop-sized fullscreen window and the client area letterboxed into it;
// where no window manager would show it so, the window is sized to the
// display itself.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>

#include "platform/win32/cp932.h"
#include "platform/win32/window_internal.h"

namespace vox_win32 {
namespace {

struct WindowClass {
  WNDPROC proc;
  HICON icon;
};

std::map<std::string, WindowClass>& Classes() {
  static std::map<std::string, WindowClass> classes;
  return classes;
}

std::atomic<DWORD> g_video_thread{0};
DWORD g_foreground_timeout = 200000;
HWND g_foreground = nullptr;

// A per-user lock file named after the window class: a running program holds
// it while its window exists, so a second program finds the first.
std::string InstanceLockPath(const std::string& class_name) {
  uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : class_name) hash = (hash ^ c) * 1099511628211ull;
  const char* dir = getenv("XDG_RUNTIME_DIR");
  char name[64];
  snprintf(name, sizeof name, "/vox-window-%u-%016llx.lock", (unsigned)getuid(), (unsigned long long)hash);
  return std::string(dir && *dir ? dir : "/tmp") + name;
}

bool IsFullscreenStyle(DWORD style, DWORD ex_style) {
  return (style & WS_POPUP) && !(style & WS_CAPTION) && (ex_style & WS_EX_TOPMOST);
}

// Text converted whole, or, when that fails, character by character
// (`length` gives each character's bytes): what does not convert becomes "?".
template <class Length>
std::string ConvertMarkingFailures(const char* text, bool (*convert)(std::string_view, std::string*),
                                   Length length) {
  std::string out;
  if (!text || convert(text, &out)) return out;
  out.clear();
  std::string_view view(text);
  for (size_t i = 0; i < view.size();) {
    size_t n = length(view, i);
    std::string piece;
    out += convert(view.substr(i, n), &piece) ? piece : std::string("?");
    i += n;
  }
  return out;
}

// Bytes of the UTF-8 character at text[i], by its first byte; a stray byte
// counts as one.
size_t Utf8CharLength(std::string_view text, size_t i) {
  unsigned char c = (unsigned char)text[i];
  size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  return std::min(n, text.size() - i);
}

}  // namespace

std::recursive_mutex& WindowSystemLock() {
  static std::recursive_mutex lock;
  return lock;
}

bool EnsureVideo() {
  // The software present writes the window's own pixels; no renderer (and
  // no GL library) is brought up behind the window for it.
  SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
  if (!SDL_WasInit(SDL_INIT_VIDEO) || !SDL_WasInit(SDL_INIT_TIMER)) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0) return false;
  }
  // The first thread to use the window system is the one SDL's video runs on.
  DWORD none = 0;
  g_video_thread.compare_exchange_strong(none, GetCurrentThreadId());
  return true;
}

bool OnVideoThread() { return g_video_thread != 0 && g_video_thread == GetCurrentThreadId(); }

std::vector<WindowObject*>& LiveWindows() {
  static std::vector<WindowObject*> windows;
  return windows;
}

WindowObject* LiveWindow(HWND window) {
  if (!window) return nullptr;
  auto& all = LiveWindows();
  return std::find(all.begin(), all.end(), window) != all.end() ? window : nullptr;
}

RECT ClientRectOnScreen(const WindowObject* w) {
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, w->style, FALSE, w->ex_style);
  return RECT{w->rect.left - frame.left, w->rect.top - frame.top, w->rect.right - frame.right,
              w->rect.bottom - frame.bottom};
}

SurfaceMap MapClientToSurface(const WindowObject* w, int surface_w, int surface_h) {
  RECT c = ClientRectOnScreen(w);
  int cw = c.right - c.left, ch = c.bottom - c.top;
  if (!w->fullscreen || cw <= 0 || ch <= 0) return SurfaceMap{1.0, 0, 0};
  double scale = std::min((double)surface_w / cw, (double)surface_h / ch);
  return SurfaceMap{scale, (int)((surface_w - cw * scale) / 2), (int)((surface_h - ch * scale) / 2)};
}

void SyncSdlWindow(WindowObject* w) {
  if (!w->sdl) return;
  bool fullscreen = IsFullscreenStyle(w->style, w->ex_style);
  if (fullscreen != w->fullscreen) {
    w->fullscreen = fullscreen;
    SDL_SetWindowBordered(w->sdl, (w->style & WS_CAPTION) ? SDL_TRUE : SDL_FALSE);
    if (fullscreen && !WindowManagerShowsFullscreen(w->sdl)) {
      // Nothing would show the window full screen: it covers the display
      // itself, borderless, and letterboxes its client area as a
      // fullscreen window does.
      w->fullscreen_by_size = true;
      SDL_Rect display{0, 0, 640, 480};
      SDL_GetDisplayBounds(std::max(0, SDL_GetWindowDisplayIndex(w->sdl)), &display);
      SDL_SetWindowPosition(w->sdl, display.x, display.y);
      SDL_SetWindowSize(w->sdl, display.w, display.h);
    } else if (!w->fullscreen_by_size) {
      SDL_SetWindowFullscreen(w->sdl, fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    }
    if (!fullscreen) w->fullscreen_by_size = false;
  }
  if (!fullscreen) {
    RECT c = ClientRectOnScreen(w);
    int cw = std::max(1, (int)(c.right - c.left)), ch = std::max(1, (int)(c.bottom - c.top));
    int sw = 0, sh = 0;
    SDL_GetWindowSize(w->sdl, &sw, &sh);
    if (sw != cw || sh != ch) SDL_SetWindowSize(w->sdl, cw, ch);
    SDL_SetWindowPosition(w->sdl, c.left, c.top);
  }
  SDL_SetWindowAlwaysOnTop(w->sdl, (w->ex_style & WS_EX_TOPMOST) ? SDL_TRUE : SDL_FALSE);
}

std::string ToUtf8(const char* cp932) { return ConvertMarkingFailures(cp932, Cp932ToUtf8, Cp932CharLength); }

std::string ToCp932Lossy(const char* utf8) { return ConvertMarkingFailures(utf8, Utf8ToCp932, Utf8CharLength); }

}  // namespace vox_win32

using namespace vox_win32;

ATOM RegisterClassExA(const WNDCLASSEXA* window_class) {
  if (!window_class || !window_class->lpszClassName || !window_class->lpfnWndProc ||
      window_class->cbSize != sizeof(WNDCLASSEXA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!EnsureVideo()) return 0;
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  auto& classes = Classes();
  if (classes.count(window_class->lpszClassName)) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return 0;
  }
  classes[window_class->lpszClassName] = WindowClass{window_class->lpfnWndProc, window_class->hIcon};
  return (ATOM)(classes.size() & 0xFFFF ? classes.size() & 0xFFFF : 1);
}

BOOL UnregisterClassA(LPCSTR class_name, HINSTANCE) {
  if (!class_name) return FALSE;
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  for (WindowObject* w : LiveWindows())
    if (w->class_name == class_name) return FALSE;
  return Classes().erase(class_name) ? TRUE : FALSE;
}

HWND CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR title, DWORD style, int x, int y, int width,
                     int height, HWND, HMENU, HINSTANCE, LPVOID) {
  if (!class_name || !EnsureVideo() || !OnVideoThread()) return nullptr;
  WindowObject* w;
  HICON class_icon;
  {
    std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
    auto found = Classes().find(class_name);
    if (found == Classes().end()) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    w = new WindowObject;
    w->class_name = class_name;
    w->proc = found->second.proc;
    class_icon = found->second.icon;
  }
  w->style = style;
  w->ex_style = ex_style;
  w->title = title ? title : "";
  if (x == CW_USEDEFAULT) x = 0;
  if (y == CW_USEDEFAULT) y = 0;
  w->rect = RECT{x, y, x + std::max(0, width), y + std::max(0, height)};
  w->thread = GetCurrentThreadId();
  RECT c = ClientRectOnScreen(w);
  uint32_t flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI;
  std::string utf8_title = ToUtf8(w->title.c_str());
  int cw = std::max(1, (int)(c.right - c.left)), ch = std::max(1, (int)(c.bottom - c.top));
  // Able to carry an OpenGL context where the video driver offers OpenGL
  // and the program may use it; a driver without it (dummy) makes the plain
  // window.
  if (OpenGLWindowsWanted()) w->sdl = CreateGLSdlWindow(utf8_title.c_str(), c.left, c.top, cw, ch, flags);
  w->gl_capable = w->sdl != nullptr;
  if (!w->sdl) w->sdl = SDL_CreateWindow(utf8_title.c_str(), c.left, c.top, cw, ch, flags);
  if (!w->sdl) {
    delete w;
    return nullptr;
  }
  w->sdl_id = SDL_GetWindowID(w->sdl);
  ShowWindowIcon(w, class_icon);
  std::string lock_path = InstanceLockPath(w->class_name);
  w->instance_lock = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (w->instance_lock >= 0 && flock(w->instance_lock, LOCK_EX | LOCK_NB) != 0) {
    close(w->instance_lock);  // another program holds it: this one was allowed to start anyway
    w->instance_lock = -1;
  }
  {
    std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
    LiveWindows().push_back(w);
  }
  SyncSdlWindow(w);
  if (w->proc(w, WM_CREATE, 0, 0) == -1) {
    DestroyWindow(w);
    return nullptr;
  }
  if (style & WS_VISIBLE) ShowWindow(w, SW_SHOW);
  return w;
}

BOOL DestroyWindow(HWND window) {
  WindowObject* w = LiveWindow(window);
  if (!w || w->destroying || !OnVideoThread()) return FALSE;
  w->destroying = true;
  w->proc(w, WM_DESTROY, 0, 0);
  KillWindowTimers(w);
  {
    std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
    auto& all = LiveWindows();
    all.erase(std::remove(all.begin(), all.end(), w), all.end());
    DropQueuedMessages(w);
    if (g_foreground == w) g_foreground = nullptr;
  }
  SDL_DestroyWindow(w->sdl);
  if (w->instance_lock >= 0) close(w->instance_lock);
  w->magic = 0;
  delete w;
  return TRUE;
}

BOOL IsWindow(HWND window) {
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  return LiveWindow(window) ? TRUE : FALSE;
}

HWND FindWindowA(LPCSTR class_name, LPCSTR title) {
  if (!class_name) return nullptr;
  {
    std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
    bool own_class = false;
    for (WindowObject* w : LiveWindows()) {
      if (w->class_name != class_name) continue;
      if (!title || w->title == title) return w;
      own_class = true;
    }
    if (own_class) return nullptr;  // the lock file is this program's own
  }
  int fd = open(InstanceLockPath(class_name).c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return nullptr;
  bool held_elsewhere = flock(fd, LOCK_EX | LOCK_NB) != 0;
  close(fd);  // closing drops the lock if this call took it
  static WindowObject foreign;  // stands for another program's window
  foreign.magic = 0;
  return held_elsewhere ? &foreign : nullptr;
}

BOOL ShowWindow(HWND window, int command) {
  WindowObject* w = LiveWindow(window);
  if (!w) return FALSE;
  BOOL was_shown = w->shown;
  switch (command) {
    case SW_HIDE:
      SDL_HideWindow(w->sdl);
      w->shown = false;
      break;
    case SW_MINIMIZE:
      SDL_MinimizeWindow(w->sdl);
      w->minimized = true;
      break;
    case SW_RESTORE:
      SDL_RestoreWindow(w->sdl);
      w->minimized = false;
      [[fallthrough]];
    default:
      if (!w->shown) {
        SDL_ShowWindow(w->sdl);
        w->shown = true;
        w->paint_pending = true;
      }
      break;
  }
  return was_shown;
}

BOOL UpdateWindow(HWND window) {
  WindowObject* w = LiveWindow(window);
  if (!w) return FALSE;
  if (w->paint_pending && w->shown) {
    w->paint_pending = false;
    w->proc(w, WM_PAINT, 0, 0);
  }
  return TRUE;
}

BOOL BringWindowToTop(HWND window) {
  WindowObject* w = LiveWindow(window);
  if (!w) return FALSE;
  SDL_RaiseWindow(w->sdl);
  return TRUE;
}

BOOL SetForegroundWindow(HWND window) {
  WindowObject* w = LiveWindow(window);
  if (!w) return FALSE;
  SDL_RaiseWindow(w->sdl);
  g_foreground = w;
  return TRUE;
}

HWND GetForegroundWindow() { return LiveWindow(g_foreground); }

HWND SetActiveWindow(HWND window) {
  HWND before = GetForegroundWindow();
  if (LiveWindow(window)) g_foreground = window;
  return before;
}

BOOL IsIconic(HWND window) {
  WindowObject* w = LiveWindow(window);
  return w && w->minimized ? TRUE : FALSE;
}

BOOL SetWindowPos(HWND window, HWND insert_after, int x, int y, int width, int height, UINT flags) {
  WindowObject* w = LiveWindow(window);
  if (!w) return FALSE;
  if (insert_after == HWND_TOPMOST) w->ex_style |= WS_EX_TOPMOST;
  if (insert_after == HWND_NOTOPMOST) w->ex_style &= ~WS_EX_TOPMOST;
  RECT before = w->rect;
  if (!(flags & SWP_NOMOVE)) {
    w->rect.right += x - w->rect.left;
    w->rect.bottom += y - w->rect.top;
    w->rect.left = x;
    w->rect.top = y;
  }
  if (!(flags & SWP_NOSIZE)) {
    w->rect.right = w->rect.left + std::max(0, width);
    w->rect.bottom = w->rect.top + std::max(0, height);
  }
  SyncSdlWindow(w);
  if (flags & SWP_SHOWWINDOW) ShowWindow(w, SW_SHOW);
  RECT c = ClientRectOnScreen(w);
  if (before.left != w->rect.left || before.top != w->rect.top)
    w->proc(w, WM_MOVE, 0, MAKELPARAM(c.left, c.top));
  if (before.right - before.left != w->rect.right - w->rect.left ||
      before.bottom - before.top != w->rect.bottom - w->rect.top)
    w->proc(w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(c.right - c.left, c.bottom - c.top));
  if (!(flags & SWP_NOREDRAW)) w->paint_pending = true;
  return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL, DWORD ex_style) {
  if (!rect) return FALSE;
  int side = 0, top = 0;
  if (style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME)) side = top = VOX_FRAME_BORDER;
  if ((style & WS_CAPTION) == WS_CAPTION) top += VOX_FRAME_CAPTION;
  if (ex_style & WS_EX_CLIENTEDGE) side += VOX_FRAME_CLIENT_EDGE, top += VOX_FRAME_CLIENT_EDGE;
  rect->left -= side;
  rect->right += side;
  rect->top -= top;
  rect->bottom += side;
  return TRUE;
}

LONG SetWindowLongA(HWND window, int index, LONG value) {
  WindowObject* w = LiveWindow(window);
  if (!w) return 0;
  DWORD* field = index == GWL_STYLE ? &w->style : index == GWL_EXSTYLE ? &w->ex_style : nullptr;
  if (!field) return 0;
  LONG before = (LONG)*field;
  // The client area keeps its place and size; the frame follows the style.
  RECT client = ClientRectOnScreen(w);
  *field = (DWORD)value;
  w->rect = client;
  AdjustWindowRectEx(&w->rect, w->style, FALSE, w->ex_style);
  return before;
}

LONG GetWindowLongA(HWND window, int index) {
  WindowObject* w = LiveWindow(window);
  if (!w) return 0;
  return (LONG)(index == GWL_STYLE ? w->style : index == GWL_EXSTYLE ? w->ex_style : 0);
}

uintptr_t SetClassLongA(HWND window, int index, uintptr_t value) {
  WindowObject* w = LiveWindow(window);
  if (!w || index != GCL_HICON) return 0;
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  auto found = Classes().find(w->class_name);
  if (found == Classes().end()) return 0;
  uintptr_t before = (uintptr_t)found->second.icon;
  found->second.icon = (HICON)value;
  // Every window of the class shows the new icon, as on the platform.
  if (OnVideoThread())
    for (WindowObject* other : LiveWindows())
      if (other->class_name == w->class_name) ShowWindowIcon(other, (HICON)value);
  return before;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  WindowObject* w = LiveWindow(window);
  if (!w) return FALSE;
  w->title = text ? text : "";
  SDL_SetWindowTitle(w->sdl, ToUtf8(w->title.c_str()).c_str());
  return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect) {
  WindowObject* w = LiveWindow(window);
  if (!w || !rect) return FALSE;
  RECT c = ClientRectOnScreen(w);
  *rect = RECT{0, 0, c.right - c.left, c.bottom - c.top};
  return TRUE;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
  WindowObject* w = LiveWindow(window);
  if (!w || !rect) return FALSE;
  *rect = w->rect;
  return TRUE;
}

BOOL ClientToScreen(HWND window, POINT* point) {
  WindowObject* w = LiveWindow(window);
  if (!w || !point) return FALSE;
  RECT c = ClientRectOnScreen(w);
  point->x += c.left;
  point->y += c.top;
  return TRUE;
}

BOOL ScreenToClient(HWND window, POINT* point) {
  WindowObject* w = LiveWindow(window);
  if (!w || !point) return FALSE;
  if (w->fullscreen && w->sdl) {
    // The desktop-sized window shows the client area letterboxed.
    int x = 0, y = 0, sw = 0, sh = 0;
    SDL_GetWindowPosition(w->sdl, &x, &y);
    SDL_GetWindowSize(w->sdl, &sw, &sh);
    SurfaceMap map = MapClientToSurface(w, sw, sh);
    point->x = (LONG)((point->x - x - map.offset_x) / map.scale);
    point->y = (LONG)((point->y - y - map.offset_y) / map.scale);
    return TRUE;
  }
  RECT c = ClientRectOnScreen(w);
  point->x -= c.left;
  point->y -= c.top;
  return TRUE;
}

DWORD GetWindowThreadProcessId(HWND window, DWORD* process_id) {
  WindowObject* w = LiveWindow(window);
  if (process_id) *process_id = (DWORD)getpid();
  return w ? w->thread : 0;
}

BOOL AttachThreadInput(DWORD, DWORD, BOOL) { return TRUE; }

HCURSOR LoadCursorA(HINSTANCE, LPCSTR name) {
  return (HCURSOR)(uintptr_t)(IS_INTRESOURCE(name) ? (uintptr_t)name : IDC_ARROW_ID);
}

BOOL WINNLSEnableIME(HWND window, BOOL) {
  // Typed text keeps arriving as characters either way; composition is the
  // text-input system's business.
  return LiveWindow(window) ? TRUE : FALSE;
}

BOOL SystemParametersInfoA(UINT action, UINT param, LPVOID value, UINT) {
  switch (action) {
    case SPI_SETSCREENSAVEACTIVE:
      if (!EnsureVideo()) return FALSE;
      if (param) SDL_EnableScreenSaver();
      else SDL_DisableScreenSaver();
      return TRUE;
    case SPI_GETFOREGROUNDLOCKTIMEOUT:
      if (value) *(DWORD*)value = g_foreground_timeout;
      return TRUE;
    case SPI_SETFOREGROUNDLOCKTIMEOUT:
      g_foreground_timeout = (DWORD)(uintptr_t)value;
      return TRUE;
  }
  return FALSE;
}

SDL_Window* GetSdlWindow(HWND window) {
  WindowObject* w = LiveWindow(window);
  return w ? w->sdl : nullptr;
}

HWND WindowFromSdlWindowId(uint32_t id) {
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  for (WindowObject* w : LiveWindows())
    if (w->sdl_id == id) return w;
  return nullptr;
}
