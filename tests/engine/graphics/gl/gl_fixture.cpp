#include "tests/engine/graphics/gl/gl_fixture.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/core/alloc.h"
#include "engine/core/engine_state.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "engine/font/font.h"
#include "engine/graphics/graphics_host.h"
#include "platform/d3d9/d3d9.h"

#ifndef VOX_TEST_OUTPUT_DIR
#define VOX_TEST_OUTPUT_DIR "test-output"
#endif

namespace {

// OpenGL without a display: SDL's offscreen driver (a virtual X display,
// chosen by the environment, serves as well).
struct OffscreenVideo {
  OffscreenVideo() {
    const char* chosen = getenv("SDL_VIDEODRIVER");
    if (!chosen || std::strcmp(chosen, "x11") != 0) setenv("SDL_VIDEODRIVER", "offscreen", 1);
  }
} g_offscreen_video;

HWND g_window = nullptr;

LRESULT Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcA(window, message, wparam, lparam);
}

void* MainWindow() { return g_window; }
int WindowMode() { return 1; }

int PresentSoft(const SoftPresentFrame* frame) {
  return StretchDIBitsToWindow(g_window, 0, 0, frame->dst_width, frame->dst_height, frame->src_x, frame->src_y,
                               frame->src_width, frame->src_height, frame->pixels, frame->info) > 0
             ? 0
             : -1;
}

}  // namespace

void SaveFrame(const std::string& name, const Frame& frame) {
  std::vector<uint8_t> rgb;
  rgb.reserve(frame.size() * 3);
  for (uint32_t p : frame) {
    rgb.push_back((uint8_t)(p >> 16));
    rgb.push_back((uint8_t)(p >> 8));
    rgb.push_back((uint8_t)p);
  }
  std::filesystem::create_directories(VOX_TEST_OUTPUT_DIR);
  std::ofstream(std::string(VOX_TEST_OUTPUT_DIR) + "/" + name + ".png", std::ios::binary)
      << EncodePng(640, 480, rgb, false);
}

void GLGraphicsTest::SetUp() {
  TempDirTest::SetUp();
  CopyStringBounded(g_engine.start_directory, dir().c_str(), sizeof g_engine.start_directory);
  g_engine.log_off = 0;
  StartLogFile();
  class_name_ = std::string("VoxGLGraphics-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Proc;
  wc.lpszClassName = class_name_.c_str();
  ASSERT_NE(RegisterClassExA(&wc), 0);
  window_ = g_window = CreateWindowExA(0, class_name_.c_str(), "gl", WS_POPUP, 0, 0, kWidth, kHeight, nullptr,
                                       nullptr, nullptr, nullptr);
  ASSERT_NE(window_, nullptr);
  ASSERT_TRUE(IsWindowGLCapable(window_)) << "these tests need SDL's offscreen driver with OpenGL";
  ShowWindow(window_, SW_SHOW);
  GraphicsHost host{};
  host.main_window = MainWindow;
  host.is_window_mode = WindowMode;
  host.present_soft_frame = PresentSoft;
  host.start_font_system = StartFontSystem;
  host.end_font_system = EndFontSystem;
  host.recreate_all_fonts = RecreateAllFonts;
  SetGraphicsHost(&host);
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

void GLGraphicsTest::TearDown() {
  EndGraphics();
  SetGraphicsHost(nullptr);
  SetUseHardwareRenderer(1);
  D3D9SetFailures(0);
  D3D9SetCapabilityScript(nullptr);
  EXPECT_EQ(TrackedBlockCount(), blocks_before_);
  EXPECT_EQ(Direct3DLiveObjectCount(), 0);
  if (window_) DestroyWindow(window_);
  g_window = nullptr;
  UnregisterClassA(class_name_.c_str(), nullptr);
  g_engine.start_directory[0] = 0;
  TempDirTest::TearDown();
}
