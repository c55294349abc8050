// Drawing functions against the real software renderer, at 16 and 32 bits:
// the screen image's pixels after plain, stretched, mirrored, partial and
// quadrangle draws, the blend modes and brightness the game uses, the clip
// rectangle, clearing, boxes and lines.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/graphics/graphics.h"
#include "engine/graphics/graphics_host.h"
#include "engine/softrender/memimg.h"
#include "tests/engine/graphics/graphics_fixtures.h"

namespace {

const Rgba kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255}, kBlack{0, 0, 0, 255},
    kWhite{255, 255, 255, 255}, kYellow{255, 255, 0, 255};

class DrawTest : public GraphicsTest, public testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    depth_ = GetParam();
    GraphicsTest::SetUp();
  }
  // The 16-bit blends work on 5- and 6-bit channels.
  int Tolerance() const { return depth_ == 16 ? 12 : 2; }
  void ExpectNear(Rgba got, Rgba want, const char* what) {
    int t = Tolerance();
    EXPECT_TRUE(std::abs(got.r - want.r) <= t && std::abs(got.g - want.g) <= t && std::abs(got.b - want.b) <= t)
        << what << ": got " << got.r << "," << got.g << "," << got.b << " want " << want.r << "," << want.g << ","
        << want.b;
  }
};

// Quadrants: red, green / blue, white.
int QuadrantGraph(int size) {
  return MakeGraph(size, size, [size](int x, int y) {
    bool right = x >= size / 2, bottom = y >= size / 2;
    return bottom ? (right ? kWhite : kBlue) : (right ? kGreen : kRed);
  });
}

TEST_P(DrawTest, PlainDrawPutsEveryPixelInPlaceAndNothingElse) {
  int g = MakeGraph(3, 2, [](int x, int y) { return Rgba{x == 0 ? 255 : 0, x == 1 ? 255 : 0, y ? 255 : 0, 255}; });
  ASSERT_EQ(PaintGraph(5, 7, g, 0), 0);
  for (int y = 0; y < 2; y++)
    for (int x = 0; x < 3; x++)
      EXPECT_EQ(ScreenPixel(5 + x, 7 + y), (Rgba{x == 0 ? 255 : 0, x == 1 ? 255 : 0, y ? 255 : 0, 255}));
  EXPECT_EQ(ScreenPixel(4, 7), kBlack);
  EXPECT_EQ(ScreenPixel(8, 7), kBlack);
  EXPECT_EQ(ScreenPixel(5, 9), kBlack);
  // Partly off the screen: the visible part is drawn.
  EXPECT_EQ(PaintGraph(638, 479, g, 0), 0);
  EXPECT_EQ(ScreenPixel(638, 479), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ(ScreenPixel(639, 479), (Rgba{0, 255, 0, 255}));
}

TEST_P(DrawTest, StretchedDrawsScaleAndReversedCornersMirror) {
  int g = QuadrantGraph(2);
  ASSERT_EQ(PaintGraphStretched(10, 10, 14, 14, g, 0), 0);
  EXPECT_EQ(ScreenPixel(10, 10), kRed);
  EXPECT_EQ(ScreenPixel(11, 11), kRed);
  EXPECT_EQ(ScreenPixel(13, 10), kGreen);
  EXPECT_EQ(ScreenPixel(10, 13), kBlue);
  EXPECT_EQ(ScreenPixel(13, 13), kWhite);
  EXPECT_EQ(ScreenPixel(14, 14), kBlack);

  ASSERT_EQ(PaintGraphStretched(24, 20, 20, 24, g, 0), 0);  // left-right
  EXPECT_EQ(ScreenPixel(20, 20), kGreen);
  EXPECT_EQ(ScreenPixel(23, 20), kRed);
  EXPECT_EQ(ScreenPixel(20, 23), kWhite);
  ASSERT_EQ(PaintGraphStretched(30, 34, 34, 30, g, 0), 0);  // top-bottom
  EXPECT_EQ(ScreenPixel(30, 30), kBlue);
  EXPECT_EQ(ScreenPixel(33, 33), kGreen);
}

TEST_P(DrawTest, MirroredDrawSwapsLeftAndRight) {
  int g = MakeGraph(3, 1, [](int x, int) { return x == 0 ? kRed : x == 1 ? kGreen : kBlue; });
  ASSERT_EQ(PaintGraphMirrored(40, 40, g, 0), 0);
  EXPECT_EQ(ScreenPixel(40, 40), kBlue);
  EXPECT_EQ(ScreenPixel(41, 40), kGreen);
  EXPECT_EQ(ScreenPixel(42, 40), kRed);
  EXPECT_EQ(ScreenPixel(43, 40), kBlack);
  EXPECT_EQ(ScreenPixel(39, 40), kBlack);
}

TEST_P(DrawTest, PartialDrawShowsOnlyThePartAndKeepsTheClip) {
  int g = MakeGraph(4, 4, [](int x, int y) { return Rgba{x * 64, y * 64, 0, 255}; });
  SetPaintClipRect(0, 0, 600, 400);
  int before[4];
  float before_f[4];
  GetPaintClipRect(before);
  GetPaintClipRectF(before_f);
  ASSERT_EQ(PaintGraphPart(50, 60, 1, 2, 2, 2, g, 0), 0);
  for (int y = 0; y < 2; y++)
    for (int x = 0; x < 2; x++) EXPECT_EQ(ScreenPixel(50 + x, 60 + y), MemImgPixel(GetGraphMemImage(g), 1 + x, 2 + y));
  EXPECT_EQ(ScreenPixel(49, 60), kBlack);
  EXPECT_EQ(ScreenPixel(52, 60), kBlack);
  EXPECT_EQ(ScreenPixel(50, 59), kBlack);
  EXPECT_EQ(ScreenPixel(50, 62), kBlack);
  // Mirrored: the part is read right to left.
  ASSERT_EQ(PaintGraphPart(80, 60, 1, 0, 2, 1, g, 0, 1), 0);
  EXPECT_EQ(ScreenPixel(80, 60), MemImgPixel(GetGraphMemImage(g), 2, 0));
  EXPECT_EQ(ScreenPixel(81, 60), MemImgPixel(GetGraphMemImage(g), 1, 0));
  EXPECT_EQ(ScreenPixel(82, 60), kBlack);
  // A part outside the clip draws nothing and still leaves the clip alone.
  EXPECT_EQ(PaintGraphPart(610, 410, 0, 0, 4, 4, g, 0), 0);
  EXPECT_EQ(ScreenPixel(610, 410), kBlack);
  int after[4];
  float after_f[4];
  GetPaintClipRect(after);
  GetPaintClipRectF(after_f);
  for (int i = 0; i < 4; i++) {
    EXPECT_EQ(after[i], before[i]);
    EXPECT_EQ(after_f[i], before_f[i]);
  }
  EXPECT_EQ(IsPaintClipEmpty(), 0);
}

TEST_P(DrawTest, PartialStretchedDrawScalesThePart) {
  int g = QuadrantGraph(4);
  // The bottom-right quadrant (white) stretched onto 6 x 6.
  ASSERT_EQ(PaintGraphPartStretched(100, 100, 106, 106, 2, 2, 2, 2, g, 0), 0);
  EXPECT_EQ(ScreenPixel(100, 100), kWhite);
  EXPECT_EQ(ScreenPixel(105, 105), kWhite);
  EXPECT_EQ(ScreenPixel(99, 100), kBlack);
  EXPECT_EQ(ScreenPixel(106, 105), kBlack);
}

TEST_P(DrawTest, QuadDrawMapsCornersClockwise) {
  int g = MakeGraph(8, 8, [](int x, int) { return x < 4 ? kRed : kBlue; });
  ASSERT_EQ(PaintGraphQuad(20, 20, 36, 20, 36, 36, 20, 36, g, 0), 0);
  EXPECT_EQ(ScreenPixel(22, 28), kRed);
  EXPECT_EQ(ScreenPixel(34, 28), kBlue);
  EXPECT_EQ(ScreenPixel(40, 28), kBlack);
  // The same quadrangle given from its top-right corner shows the picture mirrored.
  ASSERT_EQ(PaintGraphQuad(76, 20, 60, 20, 60, 36, 76, 36, g, 0), 0);
  EXPECT_EQ(ScreenPixel(62, 28), kBlue);
  EXPECT_EQ(ScreenPixel(74, 28), kRed);
  // Upside down: top-left corner given at the bottom.
  int h = MakeGraph(8, 8, [](int, int y) { return y < 4 ? kGreen : kYellow; });
  ASSERT_EQ(PaintGraphQuad(100, 116, 116, 116, 116, 100, 100, 100, h, 0), 0);
  EXPECT_EQ(ScreenPixel(108, 102), kYellow);
  EXPECT_EQ(ScreenPixel(108, 114), kGreen);
}

TEST_P(DrawTest, TransparentDrawsLeaveTheColourKeyOut) {
  PaintFilledBox(0, 0, 20, 20, PackScreenColor(0, 0, 255));
  int g = MakeGraph(2, 1, [](int x, int) { return x ? kRed : kBlack; });
  ASSERT_EQ(PaintGraph(5, 5, g, 1), 0);
  EXPECT_EQ(ScreenPixel(5, 5), kBlue);
  EXPECT_EQ(ScreenPixel(6, 5), kRed);
  ASSERT_EQ(PaintGraph(5, 6, g, 0), 0);
  EXPECT_EQ(ScreenPixel(5, 6), kBlack);
}

TEST_P(DrawTest, AlphaBlendMixesByTheParameter) {
  PaintFilledBox(0, 0, 100, 100, PackScreenColor(0, 0, 255));
  int g = SolidGraph(10, 10, kWhite);
  ASSERT_EQ(SelectBlendMode(1, 128), 0);
  ASSERT_EQ(PaintGraph(10, 10, g, 0), 0);
  ExpectNear(ScreenPixel(15, 15), Rgba{128, 128, 255, 255}, "alpha 128 over blue");
  SelectBlendMode(1, 255);
  PaintGraph(30, 30, g, 0);
  EXPECT_EQ(ScreenPixel(35, 35), kWhite);
  SelectBlendMode(1, 0);
  PaintGraph(50, 50, g, 0);
  EXPECT_EQ(ScreenPixel(55, 55), kBlue);
  SelectBlendMode(0, 0);
  PaintGraph(70, 70, g, 0);
  EXPECT_EQ(ScreenPixel(75, 75), kWhite);
}

TEST_P(DrawTest, BrightnessTintsEveryDrawnPixel) {
  int g = SolidGraph(4, 4, kWhite);
  ASSERT_EQ(SetPaintBrightness(255, 128, 0), 0);
  PaintGraph(0, 0, g, 0);
  ExpectNear(ScreenPixel(1, 1), Rgba{255, 128, 0, 255}, "tinted copy");
  SelectBlendMode(1, 128);
  PaintGraph(10, 0, g, 0);
  ExpectNear(ScreenPixel(11, 1), Rgba{128, 64, 0, 255}, "tinted alpha over black");
  int r, gg, b;
  SetPaintBrightness(300, -4, 77);
  GetPaintBrightness(&r, &gg, &b);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(gg, 0);
  EXPECT_EQ(b, 77);
  EXPECT_EQ(GetVertexColour(), 0x80FF004Du);
}

TEST_P(DrawTest, BlendParametersAreClampedAndModesBeyondTheTableDrawNothing) {
  int mode, param;
  SelectBlendMode(1, 300);
  GetBlendMode(&mode, &param);
  EXPECT_EQ(param, 255);
  SelectBlendMode(1, -5);
  GetBlendMode(&mode, &param);
  EXPECT_EQ(param, 0);
  int g = SolidGraph(4, 4, kWhite);
  for (int bad : {14, 99, -1, 1 << 30}) {
    SelectBlendMode(bad, 128);
    GetBlendMode(&mode, nullptr);
    EXPECT_EQ(mode, bad);  // kept as asked
    EXPECT_EQ(BlendTableRowFor(bad), nullptr);
    EXPECT_EQ(PaintGraph(200, 200, g, 0), 0);
    EXPECT_EQ(PaintFilledBox(200, 200, 210, 210, PackScreenColor(255, 0, 0)), 0);
    EXPECT_EQ(ScreenPixel(201, 201), kBlack) << bad;
  }
  ASSERT_NE(BlendTableRowFor(13), nullptr);
  EXPECT_EQ(BlendTableRowFor(13)->variant, 65535);
}

TEST_P(DrawTest, ClipRectangleIsNormalisedClampedAndHonoured) {
  struct Case {
    int in[4];
    int out[4];
    int empty;
  } cases[] = {
      {{100, 50, 20, 10}, {20, 10, 100, 50}, 0},   {{-10, -20, 700, 500}, {0, 0, 640, 480}, 0},
      {{30, 30, 30, 90}, {30, 30, 30, 90}, 1},     {{700, 10, 800, 20}, {640, 10, 640, 20}, 1},
      {{0, 0, 640, 480}, {0, 0, 640, 480}, 0},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(SetPaintClipRect(c.in[0], c.in[1], c.in[2], c.in[3]), 0);
    int got[4];
    float got_f[4];
    GetPaintClipRect(got);
    GetPaintClipRectF(got_f);
    for (int i = 0; i < 4; i++) {
      EXPECT_EQ(got[i], c.out[i]) << c.in[0] << "," << c.in[1] << " #" << i;
      EXPECT_EQ(got_f[i], (float)c.out[i]);
    }
    EXPECT_EQ(IsPaintClipEmpty(), c.empty);
  }
  int g = SolidGraph(40, 40, kWhite);
  SetPaintClipRect(10, 10, 20, 20);
  PaintGraph(0, 0, g, 0);
  EXPECT_EQ(ScreenPixel(10, 10), kWhite);
  EXPECT_EQ(ScreenPixel(19, 19), kWhite);
  EXPECT_EQ(ScreenPixel(9, 10), kBlack);
  EXPECT_EQ(ScreenPixel(20, 19), kBlack);
  // An empty clip makes every draw a no-op that succeeds, even with a bad handle.
  SetPaintClipRect(50, 0, 50, 480);
  EXPECT_EQ(PaintGraph(50, 50, g, 0), 0);
  EXPECT_EQ(PaintGraph(50, 50, 12345, 0), 0);
  EXPECT_EQ(PaintGraphStretched(0, 0, 100, 100, g, 0), 0);
  EXPECT_EQ(PaintFilledBox(0, 0, 100, 100, PackScreenColor(255, 0, 0)), 0);
  EXPECT_EQ(ScreenPixel(50, 50), kBlack);
}

TEST_P(DrawTest, SelectingATargetOfAnotherSizeResetsTheClip) {
  SetPaintClipRect(5, 5, 50, 50);
  int target = CreateBlankGraph(32, 16, 0);
  SelectDrawScreen(target);
  int clip[4];
  GetPaintClipRect(clip);
  EXPECT_EQ(clip[0], 0);
  EXPECT_EQ(clip[2], 32);
  EXPECT_EQ(clip[3], 16);
  SetPaintClipRect(1, 2, 3, 4);
  int same = CreateBlankGraph(32, 16, 0);
  SelectDrawScreen(same);  // same size: the clip stays
  GetPaintClipRect(clip);
  EXPECT_EQ(clip[1], 2);
  EXPECT_EQ(clip[3], 4);
}

TEST_P(DrawTest, WipeFillsTheWholeDrawScreenWithBlack) {
  uint32_t green = PackScreenColor(0, 255, 0);
  ASSERT_EQ(PaintFilledBox(0, 0, 640, 480, green), 0);
  SetPaintClipRect(0, 0, 10, 10);  // wiping ignores the clip
  ASSERT_EQ(WipeDrawScreen(), 0);
  EXPECT_EQ(ScreenPixel(0, 0), kBlack);
  EXPECT_EQ(ScreenPixel(639, 479), kBlack);
  int target = CreateBlankGraph(4, 4, 0);
  SelectDrawScreen(target);
  SetPaintClipRect(0, 0, 4, 4);
  PaintFilledBox(0, 0, 4, 4, green);
  ASSERT_EQ(MemImgPixel(GetGraphMemImage(target), 3, 3), kGreen);
  WipeDrawScreen();
  EXPECT_EQ(MemImgPixel(GetGraphMemImage(target), 3, 3), kBlack);
}

TEST_P(DrawTest, BoxesAndLinesUseScreenPixelValues) {
  uint32_t red = PackScreenColor(255, 0, 0);
  ASSERT_EQ(PaintFilledBox(10, 10, 13, 12, red), 0);
  EXPECT_EQ(ScreenPixel(10, 10), kRed);
  EXPECT_EQ(ScreenPixel(12, 11), kRed);
  EXPECT_EQ(ScreenPixel(13, 11), kBlack);
  EXPECT_EQ(ScreenPixel(12, 12), kBlack);
  ASSERT_EQ(PaintBoxOutline(20, 20, 25, 24, red), 0);
  EXPECT_EQ(ScreenPixel(20, 20), kRed);
  EXPECT_EQ(ScreenPixel(24, 23), kRed);
  EXPECT_EQ(ScreenPixel(22, 22), kBlack);
  EXPECT_EQ(ScreenPixel(25, 20), kBlack);
  ASSERT_EQ(PaintLine(30, 30, 35, 30, red), 0);
  EXPECT_EQ(ScreenPixel(30, 30), kRed);
  EXPECT_EQ(ScreenPixel(34, 30), kRed);
  ASSERT_EQ(PaintRectangle(40, 40, 42, 42, red, 1), 0);
  EXPECT_EQ(ScreenPixel(41, 41), kRed);
  ASSERT_EQ(PaintLine(50, 50, 60, 50, red, 4), 0);
  EXPECT_EQ(ScreenPixel(55, 50), kRed);
}

TEST_P(DrawTest, FillGraphSolidFillsTheWholeGraphWhateverTheState) {
  int g = CreateBlankGraph(4, 4, 0);
  SelectBlendMode(1, 10);
  SetPaintClipRect(0, 0, 1, 1);
  ASSERT_EQ(FillGraphSolid(g, 0, 0, 255, 255), 0);
  EXPECT_EQ(MemImgPixel(GetGraphMemImage(g), 3, 3), kBlue);
  EXPECT_EQ(FillGraphSolid(777, 0, 0, 0, 0), -1);
  int mode, param;
  GetBlendMode(&mode, &param);
  EXPECT_EQ(mode, 1);
  EXPECT_EQ(param, 10);
}

TEST_P(DrawTest, CrossfadeNeedsABlendImageAndVertexListsDrawNothingInSoftware) {
  int g = SolidGraph(4, 4, kWhite);
  EXPECT_EQ(SetCrossfadeGraph(g, 10, 10), -1);
  EXPECT_EQ(SetCrossfadeGraph(9999, 10, 10), -1);
  EXPECT_EQ(SetCrossfadeGraph(-1, 0, 0), 0);
  PaintVertex v[3] = {{0, 0, 0, 0, 255, 255, 255, 255}, {10, 0, 1, 0, 255, 255, 255, 255},
                      {0, 10, 0, 1, 255, 255, 255, 255}};
  EXPECT_EQ(PaintVertices(v, 3, 4, g, 0, 0), 0);
  EXPECT_EQ(PaintVertices(v, 3, 4, -5, 0, 0), 0);
  EXPECT_EQ(ScreenPixel(2, 2), kBlack);
}

INSTANTIATE_TEST_SUITE_P(Depths, DrawTest, testing::Values(16, 32),
                         [](const testing::TestParamInfo<int>& i) { return "Bits" + std::to_string(i.param); });

}  // namespace
