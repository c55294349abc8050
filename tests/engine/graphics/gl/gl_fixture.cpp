#include "tests/engine/graphics/gl/gl_fixture.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "engine/core/alloc.h"
#include "engine/core/engine_state.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "engine/font/font.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_control.h"
#include "tests/engine/graphics/gl/window_host.h"
#include "tests/support/gl_window.h"
#include "tests/support/png_file.h"

#ifndef VOX_TEST_OUTPUT_DIR
#define VOX_TEST_OUTPUT_DIR "test-output"
#endif

namespace {

struct OffscreenVideo {
  OffscreenVideo() { UseOffscreenGLVideo(); }
} g_offscreen_video;

}  // namespace

void SaveFrame(const std::string& name, const Frame& frame) {
  std::filesystem::create_directories(VOX_TEST_OUTPUT_DIR);
  WriteRgbPng(std::string(VOX_TEST_OUTPUT_DIR) + "/" + name + ".png", frame, 640, 480);
}

void GLGraphicsTest::SetUp() {
  TempDirTest::SetUp();
  CopyStringBounded(g_engine.start_directory, dir().c_str(), sizeof g_engine.start_directory);
  g_engine.log_off = 0;
  StartLogFile();
  class_name_ = std::string("VoxGLGraphics-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  window_ = OpenGLWindow(class_name_, kWidth, kHeight);
  ASSERT_NE(window_, nullptr);
  ASSERT_TRUE(IsWindowGLCapable(window_)) << "these tests need SDL's offscreen driver with OpenGL";
  InstallWindowGraphicsHost(window_);
  blocks_before_ = TrackedBlockCount();
}

void GLGraphicsTest::Start(bool hardware, int depth) {
  EndGraphics();
  SetUseHardwareRenderer(hardware ? 1 : 0);
  ASSERT_EQ(RequestScreenMode(kWidth, kHeight, depth, 60), 0);
  ASSERT_EQ(StartGraphics(), 0);
  ASSERT_EQ(IsHardwareRendererInUse(), hardware ? 1 : 0);
  SelectDrawScreen(DRAW_SCREEN_BACK);
}

Frame GLGraphicsTest::Shown() {
  Frame frame((size_t)kWidth * kHeight, 0);
  EXPECT_EQ(PresentScreen(), 0);
  EXPECT_EQ(ReadWindowPixels(window_, frame.data(), kWidth, kHeight, kWidth * 4), 0);
  return frame;
}

Frame GLGraphicsTest::DrawOn(bool hardware, int depth, const std::function<void()>& draw, D3D9CapabilityScript script) {
  if (hardware) {
    script.desktop_format = depth == 16 ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8;
    D3D9SetCapabilityScript(&script);
  }
  Start(hardware, depth);
  draw();
  Frame frame = Shown();
  D3D9SetCapabilityScript(nullptr);
  return frame;
}

void GLGraphicsTest::TearDown() {
  EndGraphics();
  InstallWindowGraphicsHost(nullptr);
  SetGraphMovieSource(nullptr);
  SetUseHardwareRenderer(1);
  D3D9SetFailures(0);
  D3D9SetCapabilityScript(nullptr);
  EXPECT_EQ(TrackedBlockCount(), blocks_before_);
  EXPECT_EQ(Direct3DLiveObjectCount(), 0);
  CloseGLWindow(window_, class_name_);
  g_engine.start_directory[0] = 0;
  TempDirTest::TearDown();
}
