// A window that carries OpenGL without a display, for the tests and the
// benchmarks of the hardware path: SDL's offscreen driver (Mesa's software
// OpenGL), unless the environment chose a virtual X display ("x11").
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/win32/window.h"

// Chooses the offscreen driver; call before the first window is made (a
// static object of the test program does it before main).
inline void UseOffscreenGLVideo() {
  const char* chosen = getenv("SDL_VIDEODRIVER");
  if (!chosen || std::strcmp(chosen, "x11") != 0) setenv("SDL_VIDEODRIVER", "offscreen", 1);
}

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
