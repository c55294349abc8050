// A window that carries OpenGL without a display, for the tests and the
// benchmarks of the hardware path: SDL's offscreen driver (Mesa's software
// OpenGL), unless the environment chose a virtual X display ("x11").
#pragma once

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "platform/win32/window.h"

// Chooses the offscreen driver; call before the first window is made (a
// static object of the test program does it before main).
inline void UseOffscreenGLVideo() {
  const char* chosen = getenv("SDL_VIDEODRIVER");
  if (!chosen || std::strcmp(chosen, "x11") != 0) setenv("SDL_VIDEODRIVER", "offscreen", 1);
}

// VOX_HARDWARE set to a value (null: unset) for a scope, the former value
// back at its end. OpenGL drawn by the processor (Mesa's, here) offers no
// Direct3D device unless VOX_HARDWARE=1 asks for it, which also keeps the
// engine from falling back to software: the fixtures of tests of the device
// path hold a ScopedHardwareSetting("1").
class ScopedHardwareSetting {
 public:
  explicit ScopedHardwareSetting(const char* value) {
    if (const char* was = getenv("VOX_HARDWARE")) saved_ = was;
    Set(value);
  }
  ~ScopedHardwareSetting() { Set(saved_ ? saved_->c_str() : nullptr); }
  ScopedHardwareSetting(const ScopedHardwareSetting&) = delete;
  ScopedHardwareSetting& operator=(const ScopedHardwareSetting&) = delete;
  static void Set(const char* value) {
    if (value) setenv("VOX_HARDWARE", value, 1);
    else unsetenv("VOX_HARDWARE");
  }

 private:
  std::optional<std::string> saved_;
};

// A shown popup window of its own class, client area width x height at the
// origin; null when it cannot be made. The class is unregistered by
// CloseGLWindow.
inline HWND OpenGLWindow(const std::string& class_name, int width, int height) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = [](HWND window, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
    return DefWindowProcA(window, message, wparam, lparam);
  };
  wc.lpszClassName = class_name.c_str();
  if (!RegisterClassExA(&wc)) return nullptr;
  HWND window = CreateWindowExA(0, class_name.c_str(), "gl", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                                nullptr, nullptr);
  if (window) ShowWindow(window, SW_SHOW);
  return window;
}

inline void CloseGLWindow(HWND window, const std::string& class_name) {
  if (window) DestroyWindow(window);
  UnregisterClassA(class_name.c_str(), nullptr);
}
