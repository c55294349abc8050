// Engine graphics in a real window with OpenGL (SDL's offscreen driver):
// started on the hardware or the software path, frames presented and read
// back from the window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/graphics/graphics.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_control.h"
#include "platform/win32/window.h"
#include "tests/engine/graphics/graphics_fixtures.h"
#include "tests/support/gl_window.h"

using Frame = std::vector<uint32_t>;  // 0x00RRGGBB, 640 x 480

class GLGraphicsTest : public TempDirTest {
 protected:
  static constexpr int kWidth = 640, kHeight = 480;
  void SetUp() override;
  void TearDown() override;
  // Ends graphics if started and starts it again on one path.
  void Start(bool hardware, int depth = 32);
  // Presents the back buffer and reads what the window shows.
  Frame Shown();
  // Starts graphics on one path at the depth, draws and reads what is
  // shown. The device takes the script's answers, its desktop of the depth
  // (a device in a window takes the desktop's depth); the script goes after.
  Frame DrawOn(bool hardware, int depth, const std::function<void()>& draw, D3D9CapabilityScript script = {});
  std::string Log() const { return ReadFile("Log.txt"); }
  ScopedHardwareSetting device_path_{"1"};  // the device on Mesa's OpenGL too
  HWND window_ = nullptr;
  int blocks_before_ = 0;
  std::string class_name_;
};

// Writes a frame as a PNG into the test output folder (for a reader to look at).
void SaveFrame(const std::string& name, const Frame& frame);
