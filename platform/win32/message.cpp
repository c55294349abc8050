// The message queue and its pump: SDL events become window messages, posted
// messages wait beside them, and a window procedure receives them through
// DispatchMessageA. Timers run on SDL's timer thread and only post.
#include <algorithm>
#include <cstring>

#include "platform/win32/window_internal.h"

namespace vox_win32 {
namespace {

std::deque<MSG>& Queue() {
  static std::deque<MSG> queue;
  return queue;
}

// The SDL callback knows a timer only by its serial, so a timer killed while
// its callback runs leaves an event that matches nothing.
struct Timer {
  HWND window;
  uintptr_t id;
  TIMERPROC proc;
  SDL_TimerID sdl_id;
  uintptr_t serial;
};
uintptr_t g_next_timer_serial = 1;
std::vector<Timer>& Timers() {
  static std::vector<Timer> timers;
  return timers;
}

uint32_t TimerEventType() {
  static uint32_t type = SDL_RegisterEvents(1);
  return type;
}

// Names of one drop, handed to the window as the HDROP of WM_DROPFILES.
struct DropRecord {
  std::vector<std::string> names;  // code page 932
};
DropRecord* g_drop_in_progress = nullptr;

bool g_ime_open = true;

bool Matches(const MSG& m, HWND window, UINT low, UINT high) {
  if (window == HWND_THREAD_ONLY) {
    if (m.hwnd) return false;
  } else if (window && m.hwnd != window) {
    return false;
  }
  return (low == 0 && high == 0) || (m.message >= low && m.message <= high);
}

WindowObject* EventWindow(uint32_t sdl_id) {
  HWND w = sdl_id ? WindowFromSdlWindowId(sdl_id) : nullptr;
  if (w) return w;
  auto& all = LiveWindows();
  return all.empty() ? nullptr : all.front();
}

// Virtual-key code of an SDL key, 0 for keys the engine never looks at.
UINT VirtualKey(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return (UINT)('A' + (key - SDLK_a));
  if (key >= SDLK_0 && key <= SDLK_9) return (UINT)key;
  if (key >= SDLK_F1 && key <= SDLK_F12) return (UINT)(VK_F1 + (key - SDLK_F1));
  switch (key) {
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_END: return VK_END;
    case SDLK_HOME: return VK_HOME;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
  }
  return 0;
}

// Key messages carry the scan code in bits 16-23 as usual, and in bit 28 the
// Control key's state at the time of the press (TranslateMessage needs it;
// SDL's modifier state does not follow events posted by a program).
constexpr LPARAM kControlDownBit = (LPARAM)1 << 28;

LPARAM MouseLParam(WindowObject* w, int x, int y) {
  if (w->fullscreen && w->sdl) {
    int sw = 0, sh = 0;
    SDL_GetWindowSize(w->sdl, &sw, &sh);
    SurfaceMap map = MapClientToSurface(w, sw, sh);
    x = (int)((x - map.offset_x) / map.scale);
    y = (int)((y - map.offset_y) / map.scale);
  }
  return MAKELPARAM((int16_t)x, (int16_t)y);
}

WPARAM MouseKeys(uint32_t buttons) {
  WPARAM keys = 0;
  if (buttons & SDL_BUTTON_LMASK) keys |= 0x1;
  if (buttons & SDL_BUTTON_RMASK) keys |= 0x2;
  if (buttons & SDL_BUTTON_MMASK) keys |= 0x10;
  return keys;
}

void PostDrop(WindowObject* w, DropRecord* drop) {
  if (w && !drop->names.empty()) QueueMessage(w, WM_DROPFILES, (WPARAM)drop, 0);
  else delete drop;
}

void ConvertWindowEvent(const SDL_WindowEvent& e) {
  WindowObject* w = LiveWindow(WindowFromSdlWindowId(e.windowID));
  if (!w) return;
  switch (e.event) {
    case SDL_WINDOWEVENT_CLOSE:
      QueueMessage(w, WM_CLOSE, 0, 0);
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      QueueMessage(w, WM_ACTIVATEAPP, TRUE, 0);
      QueueMessage(w, WM_ACTIVATE, (WPARAM)(WA_ACTIVE | (w->minimized ? 0x10000 : 0)), 0);
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      QueueMessage(w, WM_ACTIVATE, WA_INACTIVE | (w->minimized ? 0x10000 : 0), 0);
      QueueMessage(w, WM_ACTIVATEAPP, FALSE, 0);
      break;
    case SDL_WINDOWEVENT_MINIMIZED:
      w->minimized = true;
      QueueMessage(w, WM_SIZE, SIZE_MINIMIZED, 0);
      break;
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_MAXIMIZED: {
      w->minimized = false;
      RECT c = ClientRectOnScreen(w);
      QueueMessage(w, WM_SIZE, e.event == SDL_WINDOWEVENT_MAXIMIZED ? SIZE_MAXIMIZED : SIZE_RESTORED,
                   MAKELPARAM(c.right - c.left, c.bottom - c.top));
      break;
    }
    case SDL_WINDOWEVENT_MOVED: {
      if (w->fullscreen) break;
      RECT c = ClientRectOnScreen(w);
      int dx = e.data1 - c.left, dy = e.data2 - c.top;
      if (dx == 0 && dy == 0) break;
      w->rect.left += dx, w->rect.right += dx, w->rect.top += dy, w->rect.bottom += dy;
      QueueMessage(w, WM_MOVE, 0, MAKELPARAM(e.data1, e.data2));
      break;
    }
    case SDL_WINDOWEVENT_SIZE_CHANGED: {
      if (w->fullscreen) break;
      RECT c = ClientRectOnScreen(w);
      if (e.data1 != c.right - c.left || e.data2 != c.bottom - c.top)
        QueueMessage(w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(e.data1, e.data2));
      break;
    }
    case SDL_WINDOWEVENT_EXPOSED:
      w->paint_pending = true;
      break;
  }
}

void ConvertEvent(const SDL_Event& e) {
  switch (e.type) {
    case SDL_QUIT:
      for (WindowObject* w : LiveWindows()) QueueMessage(w, WM_CLOSE, 0, 0);
      break;
    case SDL_WINDOWEVENT:
      ConvertWindowEvent(e.window);
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      WindowObject* w = EventWindow(e.key.windowID);
      UINT vk = VirtualKey(e.key.keysym.sym);
      if (!w || !vk) break;
      LPARAM lparam = 1 | ((LPARAM)(e.key.keysym.scancode & 0xFF) << 16);
      if (e.key.keysym.mod & KMOD_CTRL) lparam |= kControlDownBit;
      if (e.type == SDL_KEYUP) lparam |= (LPARAM)0xC0000000u;
      QueueMessage(w, e.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, vk, lparam);
      break;
    }
    case SDL_TEXTINPUT: {
      WindowObject* w = EventWindow(e.text.windowID);
      if (!w) break;
      // Code page 932 text arrives byte by byte, as a narrow window receives it.
      for (unsigned char c : ToCp932Lossy(e.text.text)) QueueMessage(w, WM_CHAR, c, 1);
      break;
    }
    case SDL_MOUSEMOTION: {
      WindowObject* w = EventWindow(e.motion.windowID);
      if (w) QueueMessage(w, WM_MOUSEMOVE, MouseKeys(e.motion.state), MouseLParam(w, e.motion.x, e.motion.y));
      break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      WindowObject* w = EventWindow(e.button.windowID);
      if (!w) break;
      bool down = e.type == SDL_MOUSEBUTTONDOWN;
      UINT message = 0;
      if (e.button.button == SDL_BUTTON_LEFT) message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
      if (e.button.button == SDL_BUTTON_RIGHT) message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
      if (e.button.button == SDL_BUTTON_MIDDLE) message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
      if (message) QueueMessage(w, message, MouseKeys(SDL_GetMouseState(nullptr, nullptr)),
                                MouseLParam(w, e.button.x, e.button.y));
      break;
    }
    case SDL_MOUSEWHEEL: {
      WindowObject* w = EventWindow(e.wheel.windowID);
      int notches = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
      if (w && notches) QueueMessage(w, WM_MOUSEWHEEL, (WPARAM)(uint32_t)((uint16_t)(int16_t)(notches * 120) << 16), 0);
      break;
    }
    case SDL_DROPBEGIN:
      delete g_drop_in_progress;
      g_drop_in_progress = new DropRecord;
      break;
    case SDL_DROPFILE: {
      std::string name = ToCp932Lossy(e.drop.file);
      SDL_free(e.drop.file);
      if (g_drop_in_progress) {
        g_drop_in_progress->names.push_back(name);
      } else {
        auto* drop = new DropRecord;
        drop->names.push_back(name);
        PostDrop(EventWindow(e.drop.windowID), drop);
      }
      break;
    }
    case SDL_DROPTEXT:
      SDL_free(e.drop.file);
      break;
    case SDL_DROPCOMPLETE:
      if (g_drop_in_progress) PostDrop(EventWindow(e.drop.windowID), g_drop_in_progress);
      g_drop_in_progress = nullptr;
      break;
    case SDL_DISPLAYEVENT: {
      HDC screen = GetDC(nullptr);
      WPARAM bits = (WPARAM)GetDeviceCaps(screen, BITSPIXEL);
      ReleaseDC(nullptr, screen);
      LPARAM size = MAKELPARAM(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
      for (WindowObject* w : LiveWindows()) QueueMessage(w, WM_DISPLAYCHANGE, bits, size);
      break;
    }
    default:
      if (e.type == TimerEventType()) {
        uintptr_t serial = (uintptr_t)e.user.data1;
        for (const Timer& t : Timers())
          if (t.serial == serial) QueueMessage(t.window, WM_TIMER, t.id, (LPARAM)t.proc);
      }
      break;
  }
}

void PumpSdlEvents() {
  if (!OnVideoThread()) return;
  SDL_Event e;
  while (SDL_PollEvent(&e)) ConvertEvent(e);
}

uint32_t TimerCallback(uint32_t interval, void* param) {
  SDL_Event e{};
  e.type = TimerEventType();
  e.user.data1 = param;
  SDL_PushEvent(&e);
  return interval;
}

}  // namespace

void QueueMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  Queue().push_back(MSG{window, message, wparam, lparam, SDL_WasInit(SDL_INIT_TIMER) ? SDL_GetTicks() : 0, {0, 0}});
}

void DropQueuedMessages(HWND window) {
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  auto& q = Queue();
  for (const MSG& m : q)
    if (m.hwnd == window && m.message == WM_DROPFILES) delete (DropRecord*)m.wParam;
  q.erase(std::remove_if(q.begin(), q.end(), [&](const MSG& m) { return m.hwnd == window; }), q.end());
}

void KillWindowTimers(HWND window) {
  std::vector<uintptr_t> ids;
  {
    std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
    for (const Timer& t : Timers())
      if (t.window == window) ids.push_back(t.id);
  }
  for (uintptr_t id : ids) KillTimer(window, id);
}

}  // namespace vox_win32

using namespace vox_win32;

BOOL PeekMessageA(MSG* msg, HWND window, UINT filter_min, UINT filter_max, UINT remove) {
  if (!msg) return FALSE;
  PumpSdlEvents();
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  auto& q = Queue();
  for (auto it = q.begin(); it != q.end(); ++it) {
    if (!Matches(*it, window, filter_min, filter_max)) continue;
    *msg = *it;
    if (remove & PM_REMOVE) q.erase(it);
    return TRUE;
  }
  // A window that needs painting gets WM_PAINT once nothing else waits.
  if (window == HWND_THREAD_ONLY) return FALSE;
  for (WindowObject* w : LiveWindows()) {
    if (!w->paint_pending || !w->shown || (window && window != w)) continue;
    MSG paint{w, WM_PAINT, 0, 0, SDL_GetTicks(), {0, 0}};
    if (!Matches(paint, window, filter_min, filter_max)) continue;
    *msg = paint;
    if (remove & PM_REMOVE) w->paint_pending = false;
    return TRUE;
  }
  return FALSE;
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg || msg->message != WM_KEYDOWN) return FALSE;
  WPARAM ch = 0;
  WPARAM vk = msg->wParam;
  if ((msg->lParam & kControlDownBit) && vk >= 'A' && vk <= 'Z') ch = vk - 0x40;
  else if (vk == VK_BACK || vk == VK_TAB || vk == VK_RETURN || vk == VK_ESCAPE) ch = vk;
  if (!ch) return FALSE;
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  // The character follows its key at once, ahead of later input.
  Queue().push_front(MSG{msg->hwnd, WM_CHAR, ch, msg->lParam & 0x00FFFFFF, msg->time, msg->pt});
  return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    ((TIMERPROC)msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
    return 0;
  }
  WindowObject* w = LiveWindow(msg->hwnd);
  if (!w) {
    if (msg->message == WM_DROPFILES) delete (DropRecord*)msg->wParam;
    return 0;
  }
  if (msg->message == WM_PAINT) w->paint_pending = false;
  return w->proc(w, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  if (window && !LiveWindow(window)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  QueueMessage(window, message, wparam, lparam);
  return TRUE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  WindowObject* w = LiveWindow(window);
  return w ? w->proc(w, message, wparam, lparam) : 0;
}

void PostQuitMessage(int exit_code) { QueueMessage(nullptr, WM_QUIT, (WPARAM)exit_code, 0); }

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_DROPFILES:
      DragFinish((HDROP)wparam);
      return 0;
    case WM_IME_SETCONTEXT:
      g_ime_open = wparam != 0;
      return 0;
  }
  return 0;
}

void WaitForWindowEvent(DWORD milliseconds) {
  {
    std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
    if (!Queue().empty()) return;
  }
  if (OnVideoThread()) SDL_WaitEventTimeout(nullptr, (int)milliseconds);
  else Sleep(milliseconds);
}

uintptr_t SetTimer(HWND window, uintptr_t id, UINT milliseconds, TIMERPROC proc) {
  if (!EnsureVideo() || (window && !LiveWindow(window))) return 0;
  KillTimer(window, id);
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  uintptr_t serial = g_next_timer_serial++;
  SDL_TimerID sdl_id = SDL_AddTimer(std::max<UINT>(milliseconds, 1), TimerCallback, (void*)serial);
  if (!sdl_id) return 0;
  Timers().push_back(Timer{window, id, proc, sdl_id, serial});
  return id ? id : 1;
}

BOOL KillTimer(HWND window, uintptr_t id) {
  SDL_TimerID sdl_id = 0;
  {
    std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
    auto& timers = Timers();
    auto it = std::find_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.window == window && t.id == id; });
    if (it == timers.end()) return FALSE;
    sdl_id = it->sdl_id;
    timers.erase(it);
    auto& q = Queue();
    q.erase(std::remove_if(q.begin(), q.end(),
                           [&](const MSG& m) { return m.hwnd == window && m.message == WM_TIMER && m.wParam == id; }),
            q.end());
  }
  SDL_RemoveTimer(sdl_id);
  return TRUE;
}

UINT DragQueryFileA(HDROP drop, UINT index, LPSTR buffer, UINT size) {
  auto* record = static_cast<DropRecord*>(drop);
  if (!record) return 0;
  if (index == 0xFFFFFFFFu) return (UINT)record->names.size();
  if (index >= record->names.size()) return 0;
  const std::string& name = record->names[index];
  if (!buffer) return (UINT)name.size();
  if (size == 0) return 0;
  size_t n = std::min<size_t>(name.size(), size - 1);
  memcpy(buffer, name.data(), n);
  buffer[n] = 0;
  return (UINT)n;
}

void DragFinish(HDROP drop) { delete static_cast<DropRecord*>(drop); }
