// Loads the OpenGL functions through the window layer.
#include "platform/d3d9/gl_api.h"

#include "platform/win32/window.h"

namespace vox_d3d9 {

GLFunctions gl;

bool LoadGLFunctions() {
  static bool loaded = false;
  if (loaded) return true;
  bool all = true;
#define VOX_GL_LOAD(type, name)                                                   \
  gl.name = reinterpret_cast<type>(GetWindowGLProcAddress("gl" #name));        \
  if (!gl.name) all = false;
  VOX_GL_FUNCTIONS(VOX_GL_LOAD)
#undef VOX_GL_LOAD
  loaded = all;
  return all;
}

}  // namespace vox_d3d9
