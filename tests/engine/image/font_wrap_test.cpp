// Wrapped drawing: text and boxes continue at the left edge one line step
// lower, selections draw over their back colour, and an area without width
// draws nothing instead of wrapping for ever.
#include "tests/engine/image/font_fixtures.h"

namespace {

using FontWrapTest = FontTest;

const uint32_t kWhite = 0xFFFF;

TEST_F(FontWrapTest, TextRunningPastTheRightEdgeGoesOnAtTheLeftOfTheNextLine) {
  int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0);
  ClearScreen(0);
  SetPaintClipRect(0, 0, 20, 100);
  // "ABCD" is 24 wide: 10 pixels fit from x = 10; the line below starts at
  // 0 - 10, so C (pen 12) and D (pen 18) show there.
  ASSERT_EQ(DrawWrappedString(10, 10, 20, "ABCD", kWhite, 0, h, 0, 0, 0, -1, -1), 0);
  EXPECT_EQ(ScreenPixel(12, 18), kWhite);  // A
  EXPECT_EQ(ScreenPixel(18, 18), kWhite);  // B, cut at 20
  EXPECT_EQ(ScreenPixel(4, 38), kWhite);   // C, next line
  EXPECT_EQ(ScreenPixel(10, 38), kWhite);  // D
  EXPECT_EQ(ScreenPixel(15, 38), 0u);
  for (auto p : Changed(0)) EXPECT_LT(p.first, 20);
  // A start beyond the right edge wraps down first: x 45 -> 5, two lines lower.
  ClearScreen(0);
  DrawWrappedString(45, 10, 20, "A", kWhite, 0, h, 0, 0, 0, -1, -1);
  EXPECT_EQ(ScreenPixel(7, 58), kWhite);
}

TEST_F(FontWrapTest, AnAreaWithoutWidthDrawsNothingAndReturns) {
  int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0);
  ClearScreen(0);
  SetPaintClipRect(5, 0, 5, 100);
  EXPECT_EQ(DrawWrappedString(50, 10, 20, "ABCD", kWhite, 0, h, 0, 0, 0, -1, -1), 0);
  EXPECT_EQ(DrawWrappedString(50, 10, 20, "ABCD", kWhite, 0, h, 0, 0, 0, 0, 2), 0);
  EXPECT_EQ(FillWrappedBox(50, 10, 80, 20, 20, kWhite, 1), 0);
  EXPECT_EQ(DrawWrappedString(50, 10, 0, "ABCD", kWhite, 0, -1, 0, 0, 0, -1, -1), 0);
  EXPECT_TRUE(Changed(0).empty());
  // A line step of 0 with a real area still ends.
  SetPaintClipRect(0, 0, 8, 100);
  EXPECT_EQ(DrawWrappedString(0, 0, 0, "ABCDEFGH", kWhite, 0, h, 0, 0, 0, -1, -1), 0);
  EXPECT_EQ(DrawWrappedString(0, 0, 0, "ABCDEFGH", kWhite, 0, h, 0, 0, 0, 2, 5), 0);
}

TEST_F(FontWrapTest, SelectedCharactersDrawOverTheirBackColour) {
  int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0);
  const uint32_t red = PackScreenColor(255, 0, 0), green = PackScreenColor(0, 255, 0);
  ClearScreen(0);
  ASSERT_EQ(DrawWrappedString(10, 10, 20, "A\x82\xA0" "B", kWhite, 0, h, green, 0, red, 3, 1), 0);
  EXPECT_EQ(ScreenPixel(12, 18), kWhite);  // A: before the selection
  EXPECT_EQ(ScreenPixel(16, 22), red);     // the wide character's box below its glyph
  EXPECT_EQ(ScreenPixel(20, 15), green);   // and its glyph
  EXPECT_EQ(ScreenPixel(30, 18), kWhite);  // B: offset 3, past the selection
  EXPECT_EQ(ScreenPixel(29, 10), 0u);
}

TEST_F(FontWrapTest, BoxesWrapLikeText) {
  ClearScreen(0);
  SetPaintClipRect(0, 0, 20, 100);
  ASSERT_EQ(FillWrappedBox(10, 10, 34, 14, 20, kWhite, 1), 0);
  EXPECT_EQ(ScreenPixel(15, 12), kWhite);
  EXPECT_EQ(ScreenPixel(13, 32), kWhite);
  EXPECT_EQ(ScreenPixel(14, 32), 0u);
}

}  // namespace
