// The engine end to end: start in a window, draw a frame with a graph and
// text, present it, compare the window's pixels with the screen image, type
// a key, end, and leave a screenshot in <build>/test-output/window.png.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/core/engine_start.h"
#include "engine/core/engine_state.h"
#include "engine/core/log.h"
#include "engine/core/screen_log.h"
#include "engine/core/window.h"
#include "engine/font/font.h"
#include "engine/graphics/graphics.h"
#include "engine/input/input.h"
#include "engine/runtime/engine_runtime.h"
#include "engine/softrender/memimg.h"
#include "tests/engine/e2e/e2e_fixture.h"
#include "tests/support/key_press.h"
#include "tests/support/png_file.h"

#ifndef VOX_TEST_OUTPUT_DIR
#define VOX_TEST_OUTPUT_DIR "test-output"
#endif

namespace {

// The screen image's pixel as 0x00RRGGBB, each channel widened to 8 bits as
// the window system widens it.
uint32_t ScreenPixel(const MEMIMG* screen, int x, int y) {
  const PIXELFORMAT* f = screen->store->format;
  const uint8_t* row = screen->pixels + (size_t)screen->store->pitch * y;
  uint32_t p = 0;
  if (f->bits_per_pixel == 16) p = *reinterpret_cast<const uint16_t*>(row + x * 2);
  else p = *reinterpret_cast<const uint32_t*>(row + x * 4);
  auto widen = [p](uint32_t mask) -> uint32_t {
    if (!mask) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) shift++;
    uint32_t max = mask >> shift;
    return (((p & mask) >> shift) * 255 + max / 2) / max;
  };
  return (widen(f->red_mask) << 16) | (widen(f->green_mask) << 8) | widen(f->blue_mask);
}

using EngineEndToEndTest = EngineDisplayTest;

TEST_F(EngineEndToEndTest, StartsDrawsPresentsTypesAndEnds) {
  InstallEngineServices();
  SetLogOutput(1);
  ChangeWindowMode(1);
  SetAllowDoubleStart(1);
  SetRunWhileInactive(1);
  // The window is compared with the software screen image; the OpenGL path
  // has its own end-to-end test (tests/engine/graphics/gl).
  SetUseHardwareRenderer(0);
  ASSERT_EQ(RequestScreenMode(640, 480, 16, 60), 0);
  SetWindowTitle("Voxaldrift ウインドウ");
  ASSERT_EQ(InitEngine(), 0);
  HWND window = GetMainWindow();
  ASSERT_NE(window, nullptr);
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);

  // A frame: a background, a graph and a line of text.
  SelectDrawScreen(DRAW_SCREEN_BACK);
  WipeDrawScreen();
  PaintFilledBox(0, 0, 640, 480, PackScreenColor(20, 40, 90));
  int graph = CreateBlankGraph(96, 64, 0);
  ASSERT_GE(graph, 0);
  FillGraphSolid(graph, 230, 60, 30, 255);
  EXPECT_EQ(PaintGraph(200, 150, graph, 0), 0);
  PaintGraphStretched(400, 300, 600, 340, graph, 0);
  int font = CreateFontToHandle(nullptr, 24, 4, -1, -1, -1, 0);
  ASSERT_GE(font, 0);
  const char* text = "Voxaldrift テスト";
  ASSERT_EQ(DrawTextWithFont(24, 24, text, PackScreenColor(255, 255, 255), font, 0, 0), 0);
  const int text_width = MeasureStringWidthByFont(text, -1, font, 0);
  ASSERT_GT(text_width, 100);
  ASSERT_EQ(PresentScreen(), 0);

  // What the window shows is the screen image.
  std::vector<uint32_t> shown(640 * 480);
  ASSERT_EQ(ReadWindowPixels(window, shown.data(), 640, 480, 640 * 4), 0);
  const MEMIMG* screen = GetScreenMemImage();
  ASSERT_NE(screen, nullptr);
  int differing = 0;
  for (int y = 0; y < 480; y++)
    for (int x = 0; x < 640; x++)
      if (shown[(size_t)y * 640 + x] != ScreenPixel(screen, x, y)) differing++;
  EXPECT_EQ(differing, 0);
  EXPECT_EQ(shown[(size_t)180 * 640 + 240] & 0xF0F0F0, 0xE03010u & 0xF0F0F0);  // inside the graph
  EXPECT_EQ(shown[5], ScreenPixel(screen, 5, 0));
  // The text's strokes are white on the background, within its line and
  // across its whole width: both ends of the line have some.
  auto white_in = [&](int x1, int x2) {
    int n = 0;
    for (int y = 24; y < 24 + 24; y++)
      for (int x = x1; x < x2; x++) n += shown[(size_t)y * 640 + x] == 0xFFFFFFu;
    return n;
  };
  EXPECT_GT(white_in(24, 24 + text_width / 2), 50);
  EXPECT_GT(white_in(24 + text_width / 2, 24 + text_width), 50);
  EXPECT_EQ(white_in(24 + text_width + 2, 640), 0);

  // The on-screen log appears over the next frame once something is printed.
  EXPECT_EQ(IsScreenLogUsed(), 0);
  PrintScreenLog("frame %d", 2);
  ASSERT_EQ(PresentScreen(), 0);
  ASSERT_EQ(ReadWindowPixels(window, shown.data(), 640, 480, 640 * 4), 0);
  int log_pixels = 0;
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 80; x++)
      if (shown[(size_t)y * 640 + x] == 0xFFFFFFu) log_pixels++;
  EXPECT_GT(log_pixels, 10);

  std::filesystem::create_directories(VOX_TEST_OUTPUT_DIR);
  EXPECT_TRUE(WriteRgbPng(std::string(VOX_TEST_OUTPUT_DIR) + "/window.png", shown, 640, 480));

  // A key pressed in the window reaches the keyboard state.
  PushKeyDown(GetSdlWindow(window), SDL_SCANCODE_Z, SDLK_z);
  EXPECT_EQ(ProcessEngineMessages(), 0);
  EXPECT_EQ(IsKeyDown(0x2C), 1);  // Z by position

  EXPECT_EQ(EndEngine(), 0);
  EXPECT_EQ(GetMainWindow(), nullptr);
  EXPECT_EQ(g_engine.initialised, 0);
  EXPECT_EQ(IsGraphicsStarted(), 0);
}

TEST_F(EngineEndToEndTest, ClosingTheWindowEndsTheFrameLoop) {
  InstallEngineServices();
  ChangeWindowMode(1);
  SetAllowDoubleStart(1);
  ASSERT_EQ(InitEngine(), 0);
  int frames = 0;
  while (ProcessEngineMessages() == 0 && frames < 1000) {
    SelectDrawScreen(DRAW_SCREEN_BACK);
    WipeDrawScreen();
    PresentScreen();
    if (++frames == 3) PostMessageA(GetMainWindow(), WM_CLOSE, 0, 0);
  }
  EXPECT_EQ(frames, 3);
  EXPECT_EQ(GetQuitFlag(), 1);
  EXPECT_EQ(EndEngine(), 0);
}

}  // namespace
