// The graphics host that shows engine graphics in one window (in window
// mode), with the fonts' record registered so that they live on its screen:
// for the tests and the benchmarks of engine graphics in a real window.
#pragma once

#include "engine/core/engine_subsystem.h"
#include "engine/font/font.h"
#include "engine/graphics/graphics_host.h"
#include "platform/win32/window.h"

namespace window_host {
inline HWND g_window = nullptr;
inline void* MainWindow() { return g_window; }
inline int WindowMode() { return 1; }
inline int PresentSoft(const SoftPresentFrame* frame) {
  return StretchDIBitsToWindow(g_window, 0, 0, frame->dst_width, frame->dst_height, frame->src_x, frame->src_y,
                               frame->src_width, frame->src_height, frame->pixels, frame->info) > 0
             ? 0
             : -1;
}
}  // namespace window_host

// Installs the host for the window; null removes it and the fonts' record.
inline void InstallWindowGraphicsHost(HWND window) {
  window_host::g_window = window;
  if (!window) {
    SetGraphicsHost(nullptr);
    ResetEngineSubsystems();
    return;
  }
  GraphicsHost host{};
  host.main_window = window_host::MainWindow;
  host.is_window_mode = window_host::WindowMode;
  host.present_soft_frame = window_host::PresentSoft;
  SetGraphicsHost(&host);
  ReplaceEngineSubsystem(kFontsSubsystem);
}
