// Shared state of the window-system stand-in (window*, message*, clipboard*,
// display*, cursor*, gdi_present*). Everything here is guarded by
// WindowSystemLock(); SDL calls are made on the video thread only.
#pragma once

#include <SDL.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/window.h"

constexpr uint32_t kWindowMagic = 0x57494E44u;

struct WindowObject {
  uint32_t magic = kWindowMagic;
  std::string class_name;
  WNDPROC proc = nullptr;
  SDL_Window* sdl = nullptr;
  uint32_t sdl_id = 0;
  DWORD style = 0;
  DWORD ex_style = 0;
  RECT rect{};  // window rectangle in screen coordinates, frame included
  std::string title;  // code page 932
  bool shown = false;
  bool minimized = false;
  bool fullscreen = false;  // shown as a desktop-sized popup
  bool fullscreen_by_size = false;  // made desktop-sized here, no window manager doing it
  bool paint_pending = false;
  bool destroying = false;
  DWORD thread = 0;
  int instance_lock = -1;  // file descriptor holding the class's instance lock
  bool gl_capable = false;  // made with SDL_WINDOW_OPENGL
  WindowPixelReader pixel_reader = nullptr;  // the window shows OpenGL output
  void* pixel_reader_context = nullptr;
  HICON shown_icon = nullptr;  // the loaded icon SDL shows for the window
};

namespace vox_win32 {

std::recursive_mutex& WindowSystemLock();
// Starts SDL's video and timer subsystems on first use; false when SDL
// cannot start them. The calling thread becomes the video thread.
bool EnsureVideo();
// An SDL window able to carry an OpenGL context (flags plus
// SDL_WINDOW_OPENGL), or null where the video driver offers no OpenGL. The
// OpenGL library, its driver and every library their loading brought in
// stay loaded for the life of the process from then on.
SDL_Window* CreateGLSdlWindow(const char* title, int x, int y, int width, int height, uint32_t flags);
// False where the program runs as on a machine without hardware
// acceleration (VOX_HARDWARE=0, as the Direct3D stand-in reads it): no
// OpenGL context will be asked for, and windows are made without OpenGL,
// which spares the start-up the loading of the OpenGL driver.
bool OpenGLWindowsWanted();
bool OnVideoThread();
// The live window behind a handle, or null.
WindowObject* LiveWindow(HWND window);
std::vector<WindowObject*>& LiveWindows();
// Client rectangle in screen coordinates from the window rectangle.
RECT ClientRectOnScreen(const WindowObject* w);
// Where the logical client area lies on the SDL window's surface: scale and
// offset (a fullscreen popup is letterboxed into the desktop).
struct SurfaceMap {
  double scale;
  int offset_x, offset_y;
};
SurfaceMap MapClientToSurface(const WindowObject* w, int surface_w, int surface_h);
// Puts the SDL window where the window rectangle and style say.
void SyncSdlWindow(WindowObject* w);
// Whether the desktop shows a window full screen when SDL asks for it: false
// on an X11 desktop without a window manager of the desktop standard.
bool WindowManagerShowsFullscreen(SDL_Window* window);

// Queue
void QueueMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void DropQueuedMessages(HWND window);
void KillWindowTimers(HWND window);
// Cursor shown or hidden as SetCursor and ShowCursor last decided.
void ApplyCursor();

// Gives the SDL window the icon's picture (video thread only); a system
// icon changes nothing.
void ShowWindowIcon(WindowObject* w, HICON icon);

// Conversions where text meets SDL.
std::string ToUtf8(const char* cp932);
std::string ToCp932Lossy(const char* utf8);

}  // namespace vox_win32
