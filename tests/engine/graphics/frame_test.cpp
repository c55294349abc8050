// A typical game frame drawn headless and written as a PNG into the build
// folder (test-output/frame.png) so that a reader can look at it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "engine/core/engine_subsystem.h"
#include "engine/font/font.h"
#include "engine/graphics/graphics.h"
#include "tests/engine/graphics/graphics_fixtures.h"

#ifndef VOX_TEST_OUTPUT_DIR
#define VOX_TEST_OUTPUT_DIR "test-output"
#endif

namespace {

class FrameTest : public GraphicsTest, public testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    depth_ = GetParam();
    GraphicsTest::SetUp();
  }
};

const Rgba kWhiteText{255, 255, 255, 255};

// A block: a coloured square with a light rim and a black (keyed) corner.
int BlockGraph(Rgba c) {
  return MakeGraph(32, 32, [c](int x, int y) {
    if ((x < 3 && y < 3)) return Rgba{0, 0, 0, 255};
    if (x < 2 || y < 2) return Rgba{255, 255, 255, 255};
    if (x > 29 || y > 29) return Rgba{c.r / 2, c.g / 2, c.b / 2, 255};
    return c;
  });
}

// True when some pixel of the rectangle has the colour.
bool AreaHas(int x1, int y1, int x2, int y2, Rgba colour) {
  for (int y = y1; y < y2; y++)
    for (int x = x1; x < x2; x++)
      if (ScreenPixel(x, y) == colour) return true;
  return false;
}

TEST_P(FrameTest, DrawsAGameFrameAndWritesItsPicture) {
  ReplaceEngineSubsystem(kFontsSubsystem);  // the fonts start with graphics
  Restart(640, 480, depth_);
  // The game's fonts: 明朝 faces with an edge, in its four sizes.
  int fonts[4];
  const int sizes[4] = {32, 24, 14, 16};
  for (int i = 0; i < 4; i++) {
    fonts[i] = CreateFontToHandle("ＭＳ 明朝", sizes[i], -1, 1, -1, -1, 0);
    ASSERT_GE(fonts[i], 0);
  }
  int background = MakeGraph(640, 480, [](int x, int y) { return Rgba{x * 60 / 640, 20 + y * 60 / 480, 90, 255}; });
  const Rgba colours[4] = {{230, 40, 40, 255}, {40, 200, 60, 255}, {50, 80, 230, 255}, {240, 220, 40, 255}};
  int blocks[4];
  for (int i = 0; i < 4; i++) blocks[i] = BlockGraph(colours[i]);
  int sheet = MakeGraph(64, 64, [](int x, int y) {
    double d = std::hypot(x - 31.5, y - 31.5);
    return d < 28 ? Rgba{255, (int)(255 - d * 8), 64, 255} : Rgba{0, 0, 0, 255};
  });
  int part = CreatePartGraph(16, 16, 32, 32, sheet);
  ASSERT_GE(part, 0);

  SelectDrawScreen(DRAW_SCREEN_BACK);
  WipeDrawScreen();
  SelectBlendMode(0, 0);
  PaintGraph(0, 0, background, 0);
  // The board: 6 x 14 blocks.
  for (int row = 0; row < 14; row++)
    for (int col = 0; col < 6; col++) PaintGraph(40 + col * 32, 16 + row * 32, blocks[(row * 7 + col * 3) % 4], 1);
  // A picture, stretched and mirrored, a part of it, and a quadrangle.
  PaintGraphStretched(300, 40, 460, 200, sheet, 1);
  PaintGraphStretched(620, 40, 470, 200, sheet, 1);
  PaintGraphPart(300, 220, 8, 8, 48, 48, sheet, 1);
  PaintGraphQuad(380, 220, 460, 240, 440, 300, 370, 290, blocks[2], 1);
  // Translucent panel and dimmed blocks.
  SelectBlendMode(1, 128);
  PaintFilledBox(300, 320, 620, 460, PackScreenColor(0, 0, 0));
  PaintGraph(320, 340, blocks[0], 1);
  SelectBlendMode(1, 64);
  PaintGraph(360, 340, blocks[1], 1);
  SelectBlendMode(0, 0);
  SetPaintBrightness(128, 128, 255);
  PaintGraph(400, 340, blocks[3], 1);
  SetPaintBrightness(255, 255, 255);
  PaintGraphMirrored(440, 340, part, 1);
  PaintBoxOutline(300, 320, 620, 460, PackScreenColor(255, 255, 255));
  PaintLine(300, 470, 620, 470, PackScreenColor(255, 255, 0));
  // Four lines of text, the last one translucent.
  uint32_t white = PackScreenColor(255, 255, 255), edge = PackScreenColor(0, 0, 64);
  DrawTextWithFont(440, 230, "れんさ 12", white, fonts[0], edge, 0);
  DrawTextWithFont(440, 270, "スコア 004560", white, fonts[1], edge, 0);
  DrawTextWithFont(320, 400, "つぎ：レベル 7", white, fonts[2], edge, 0);
  SelectBlendMode(1, 160);
  DrawTextWithFont(320, 424, "Voxaldrift", white, fonts[3], edge, 0);
  SelectBlendMode(0, 0);
  ASSERT_EQ(PresentScreen(), 0);
  EXPECT_TRUE(AreaHas(440, 230, 640, 262, kWhiteText));
  EXPECT_TRUE(AreaHas(320, 400, 620, 416, kWhiteText));

  // Spot checks of what the picture shows.
  EXPECT_EQ(ScreenPixel(40 + 16, 16 + 16), MemImgPixel(GetGraphMemImage(blocks[0]), 16, 16));
  // The keyed corner of a block shows the background.
  EXPECT_EQ(ScreenPixel(40, 16), MemImgPixel(GetGraphMemImage(background), 40, 16));
  Rgba panel = ScreenPixel(610, 450);
  EXPECT_LT(panel.b, 90);  // darkened by the translucent box

  int w, h;
  std::vector<uint8_t> rgb = ScreenRgb(&w, &h);
  std::string png = EncodePng(w, h, rgb, false);
  ASSERT_FALSE(png.empty());
  std::filesystem::create_directories(VOX_TEST_OUTPUT_DIR);
  std::string path = std::string(VOX_TEST_OUTPUT_DIR) + "/frame" + (depth_ == 16 ? "-16" : "") + ".png";
  std::ofstream(path, std::ios::binary).write(png.data(), (std::streamsize)png.size());
  std::printf("frame written to %s\n", path.c_str());
  // The written picture loads back as a graph of the screen's size.
  int back = LoadGraphFromFile(path.c_str());
  ASSERT_GE(back, 0);
  int bw, bh;
  QueryGraphSize(back, &bw, &bh);
  EXPECT_EQ(bw, 640);
  EXPECT_EQ(bh, 480);
}

INSTANTIATE_TEST_SUITE_P(Depths, FrameTest, testing::Values(16, 32),
                         [](const testing::TestParamInfo<int>& i) { return "Bits" + std::to_string(i.param); });

}  // namespace
