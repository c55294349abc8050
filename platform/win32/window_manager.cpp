// Whether the desktop's window manager shows a window full screen when SDL
// asks it to. On X11, SDL's desktop fullscreen is a request to a window
// manager of the desktop standard; without one nothing changes on the screen,
// while SDL takes the window for desktop-sized from then on.
#include <SDL_syswm.h>
#include <dlfcn.h>

#include "platform/win32/window_internal.h"

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xatom.h>
#endif

namespace vox_win32 {

bool WindowManagerShowsFullscreen(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return true;
  // SDL's X11 video has the X library loaded; the three calls made here are
  // looked up in it rather than linked.
  static void* x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
  static auto intern = x11 ? reinterpret_cast<decltype(&XInternAtom)>(dlsym(x11, "XInternAtom")) : nullptr;
  static auto property =
      x11 ? reinterpret_cast<decltype(&XGetWindowProperty)>(dlsym(x11, "XGetWindowProperty")) : nullptr;
  static auto release = x11 ? reinterpret_cast<decltype(&XFree)>(dlsym(x11, "XFree")) : nullptr;
  if (!intern || !property || !release) return true;
  Display* display = info.info.x11.display;
  // A window manager of the standard names its check window on the root.
  const Atom check = intern(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const Window root = RootWindow(display, DefaultScreen(display));
  const bool found = property(display, root, check, 0, 1, False, XA_WINDOW, &type, &format, &count, &after, &data) ==
                         Success &&
                     type == XA_WINDOW && count == 1;
  if (data) release(data);
  return found;
#else
  (void)window;
  return true;
#endif
}

}  // namespace vox_win32
