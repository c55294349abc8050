// OpenGL contexts on windows: made, made current, swapped and deleted on
// the video thread. The drawable is the SDL window's; a fullscreen popup
// shows its client area letterboxed into it, as the window surface does.
#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/window_internal.h"

using namespace vox_win32;

namespace {

WindowObject* GLWindow(HWND window) {
  WindowObject* w = LiveWindow(window);
  return w && w->gl_capable && OnVideoThread() ? w : nullptr;
}

// The shared objects loaded in the process, by file name, sorted.
std::vector<std::string> LoadedObjects() {
  std::vector<std::string> names;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* out) {
        if (info->dlpi_name && *info->dlpi_name) static_cast<std::vector<std::string>*>(out)->push_back(info->dlpi_name);
        return 0;
      },
      &names);
  std::sort(names.begin(), names.end());
  return names;
}

// SDL unloads the OpenGL library when the last OpenGL window closes; loaded
// again, the driver's dispatch no longer serves the functions fetched the
// first time, and the next context crashes on its first call. One extra
// reference, taken once, keeps the library for the life of the process.
void KeepGLLibraryLoaded() {
  static bool kept = false;
  if (kept) return;
  kept = SDL_GL_LoadLibrary(nullptr) == 0;
}

}  // namespace

namespace vox_win32 {

SDL_Window* CreateGLSdlWindow(const char* title, int x, int y, int width, int height, uint32_t flags) {
  // The first OpenGL window brings up the system's OpenGL: the GL library,
  // its vendor library and the driver with all it needs. The driver is not
  // made to be unloaded and loaded again in one process, yet closing the
  // display unloads it (SDL closes it when its video ends); so whatever the
  // window's making loaded is marked never to be unloaded.
  const std::vector<std::string> before = LoadedObjects();
  SDL_Window* window = SDL_CreateWindow(title, x, y, width, height, flags | SDL_WINDOW_OPENGL);
  if (window) KeepGLLibraryLoaded();
  for (const std::string& name : LoadedObjects())
    if (!std::binary_search(before.begin(), before.end(), name))
      dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
  return window;
}

bool OpenGLWindowsWanted() {
  const char* v = getenv("VOX_HARDWARE");
  return !(v && std::strcmp(v, "0") == 0);
}

}  // namespace vox_win32

BOOL IsWindowGLCapable(HWND window) {
  WindowObject* w = LiveWindow(window);
  return w && w->gl_capable ? TRUE : FALSE;
}

BOOL IsWindowSystemHeadless() {
  if (!EnsureVideo()) return TRUE;
  const char* driver = SDL_GetCurrentVideoDriver();
  return !driver || std::strcmp(driver, "dummy") == 0 ? TRUE : FALSE;
}

void* CreateWindowGLContext(HWND window) {
  WindowObject* w = GLWindow(window);
  if (!w) return nullptr;
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
  SDL_GLContext context = SDL_GL_CreateContext(w->sdl);
  if (context) SDL_GL_MakeCurrent(w->sdl, context);
  return context;
}

BOOL MakeWindowGLContextCurrent(HWND window, void* context) {
  WindowObject* w = GLWindow(window);
  if (!w || !context) return FALSE;
  if (SDL_GL_GetCurrentContext() == context && SDL_GL_GetCurrentWindow() == w->sdl) return TRUE;
  return SDL_GL_MakeCurrent(w->sdl, static_cast<SDL_GLContext>(context)) == 0 ? TRUE : FALSE;
}

void DeleteWindowGLContext(void* context) {
  if (!context) return;
  if (SDL_GL_GetCurrentContext() == context) SDL_GL_MakeCurrent(nullptr, nullptr);
  SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context));
}

void* GetWindowGLProcAddress(const char* name) { return name ? SDL_GL_GetProcAddress(name) : nullptr; }

BOOL GetWindowGLDrawableSize(HWND window, int* width, int* height) {
  WindowObject* w = GLWindow(window);
  if (!w) return FALSE;
  int dw = 0, dh = 0;
  SDL_GL_GetDrawableSize(w->sdl, &dw, &dh);
  if (width) *width = dw;
  if (height) *height = dh;
  return TRUE;
}

BOOL MapClientRectToGLDrawable(HWND window, const RECT* client, RECT* drawable) {
  WindowObject* w = GLWindow(window);
  if (!w || !client || !drawable) return FALSE;
  int dw = 0, dh = 0;
  SDL_GL_GetDrawableSize(w->sdl, &dw, &dh);
  SurfaceMap m = MapClientToSurface(w, dw, dh);
  if (!w->fullscreen) {
    // A high-density display has more drawable pixels than client pixels.
    RECT c = ClientRectOnScreen(w);
    int cw = std::max(1, (int)(c.right - c.left));
    m.scale = (double)dw / cw;
  }
  auto at = [&](LONG v, int offset) { return (LONG)(offset + (int)(v * m.scale + 0.5)); };
  *drawable = RECT{at(client->left, m.offset_x), at(client->top, m.offset_y), at(client->right, m.offset_x),
                   at(client->bottom, m.offset_y)};
  return TRUE;
}

BOOL SwapWindowGL(HWND window, int interval) {
  WindowObject* w = GLWindow(window);
  if (!w) return FALSE;
  SDL_GL_SetSwapInterval(interval ? 1 : 0);
  SDL_GL_SwapWindow(w->sdl);
  return TRUE;
}

void SetWindowPixelReader(HWND window, WindowPixelReader reader, void* context) {
  WindowObject* w = LiveWindow(window);
  if (!w) return;
  w->pixel_reader = reader;
  w->pixel_reader_context = reader ? context : nullptr;
}

BOOL ProbeWindowSystemGL(void (*probe)(void*), void* context) {
  if (!probe || !EnsureVideo() || !OnVideoThread()) return FALSE;
  SDL_Window* window = CreateGLSdlWindow("", 0, 0, 1, 1, SDL_WINDOW_HIDDEN);
  if (!window) return FALSE;
  SDL_GLContext before = SDL_GL_GetCurrentContext();
  SDL_Window* before_window = SDL_GL_GetCurrentWindow();
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GLContext gl = SDL_GL_CreateContext(window);
  BOOL ran = FALSE;
  if (gl && SDL_GL_MakeCurrent(window, gl) == 0) {
    probe(context);
    ran = TRUE;
  }
  if (gl) SDL_GL_DeleteContext(gl);
  SDL_DestroyWindow(window);
  if (before) SDL_GL_MakeCurrent(before_window, before);
  return ran;
}
