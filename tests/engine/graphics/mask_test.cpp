// Masks: the switch refuses to work without a mask buffer, and with one
// drawing reaches the screen only where the mask lets it.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/graphics/graphics.h"
#include "tests/engine/graphics/graphics_fixtures.h"

namespace {

class MaskTest : public GraphicsTest {};

TEST_F(MaskTest, NoMaskScreenMeansNoMasking) {
  EXPECT_EQ(EnableMaskScreen(1), -1);
  EXPECT_EQ(IsMaskScreenEnabled(), 0);
  EXPECT_EQ(IsMaskScreenActive(), 0);
  EXPECT_EQ(ReleaseMask(0x40000000), -1);
  // Changing the draw screen leaves the switch as it was, also on a refusal.
  EXPECT_EQ(SelectDrawScreen(4242), -1);
  EXPECT_EQ(IsMaskScreenEnabled(), 0);
}

TEST_F(MaskTest, DrawingReachesTheScreenOnlyThroughTheMask) {
  ASSERT_EQ(CreateMaskScreen(1), 0);
  uint8_t* mask = GetMaskBuffer();
  ASSERT_NE(mask, nullptr);
  for (int y = 0; y < 480; y++) std::memset(mask + y * 640, 0, 640);
  for (int y = 0; y < 480; y++) std::memset(mask + y * 640, 1, 320);  // left half lets drawing pass
  ASSERT_EQ(EnableMaskScreen(1), 0);
  EXPECT_EQ(IsMaskScreenActive(), 1);
  int g = SolidGraph(20, 4, Rgba{255, 255, 255, 255});
  PaintGraph(310, 10, g, 0);
  EXPECT_EQ(ScreenPixel(315, 11), (Rgba{255, 255, 255, 255}));
  EXPECT_EQ(ScreenPixel(325, 11), (Rgba{0, 0, 0, 255}));
  // Reversed, the other half passes.
  SetMaskReverse(1);
  PaintGraph(310, 20, g, 0);
  EXPECT_EQ(ScreenPixel(315, 21), (Rgba{0, 0, 0, 255}));
  EXPECT_EQ(ScreenPixel(325, 21), (Rgba{255, 255, 255, 255}));
  SetMaskReverse(0);
  // Selecting a draw screen keeps masking on.
  SelectDrawScreen(DRAW_SCREEN_BACK);
  EXPECT_EQ(IsMaskScreenEnabled(), 1);
  ReleaseMaskScreen();
  EXPECT_EQ(IsMaskScreenActive(), 0);
  PaintGraph(310, 30, g, 0);
  EXPECT_EQ(ScreenPixel(325, 31), (Rgba{255, 255, 255, 255}));
}

}  // namespace
