// Strings: widths, exact glyph placement horizontal and vertical, clipping,
// brightness and blending on the software path, the pixel rules of each font
// kind, and the texture-cache path drawing the same pixels through graphs.
#include <algorithm>
#include <set>
#include <string>

#include "tests/engine/font/font_fixtures.h"

namespace {

using FontStringTest = FontTest;
using PixelSet = std::set<std::pair<int, int>>;

PixelSet Rect(int x1, int y1, int x2, int y2) {
  PixelSet s;
  for (int y = y1; y < y2; ++y)
    for (int x = x1; x < x2; ++x) s.insert({x, y});
  return s;
}
PixelSet Join(PixelSet a, const PixelSet& b) {
  a.insert(b.begin(), b.end());
  return a;
}

const uint32_t kWhite16 = 0xFFFF;

TEST_F(FontStringTest, WidthIsTheSumOfAdvancesAndGaps) {
  int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0);
  EXPECT_EQ(MeasureStringWidthByFont("", -1, h, 0), 0);
  EXPECT_EQ(MeasureStringWidthByFont(nullptr, -1, h, 0), 0);
  EXPECT_EQ(MeasureStringWidthByFont("AB", -1, h, 0), 12);
  SetFontCharGap(2, h);
  EXPECT_EQ(MeasureStringWidthByFont("AB", -1, h, 0), 6 + 6 + 2 * 2);
  EXPECT_EQ(MeasureStringWidthByFont("AB", 1, h, 0), 8);
  EXPECT_EQ(MeasureStringWidthByFont("A\x82\xA0 \x81\x40", -1, h, 0), (6 + 2) + (12 + 2) + (5 + 2) + (11 + 2));
  EXPECT_EQ(MeasureStringWidthByFont("AB", -1, h, 1), 16);  // vertical: the same extent
  std::string long_text(300, 'A');
  EXPECT_EQ(MeasureStringWidthByFont(long_text.c_str(), -1, h, 0), 300 * 8);
  int edged = CreateFontToHandle("ＭＳ 明朝", 16, 6, 1, -1, 1, 0);
  EXPECT_EQ(MeasureStringWidthByFont("AB", -1, edged, 0), 2 * (6 + 2));
  FreeFontHandle(h);
  EXPECT_EQ(MeasureStringWidthByFont("AB", -1, h, 0), -1);
}

TEST_F(FontStringTest, GlyphsLandOnTheirBoxesHorizontalAndVertical) {
  int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0);
  struct Case {
    int vertical;
    PixelSet want;
  } cases[] = {
      // "A" at pen 0 and "B" after the space at pen 6 + 5: box 4 x 6, one
      // pixel right of the pen, top = ascent 12 - 6.
      {0, Join(Rect(11, 26, 15, 32), Rect(22, 26, 26, 32))},
      // Turned clockwise: box pixel (i, j) at (10 + 16 - 6 - 1 - j, 20 + pen + 1 + i).
      {1, Join(Rect(14, 21, 20, 25), Rect(14, 32, 20, 36))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.vertical);
    ClearScreen(0);
    ASSERT_EQ(DrawTextWithFont(10, 20, "A B", kWhite16, h, 0, c.vertical), 0);  // the space draws nothing
    auto changed = Changed(0);
    EXPECT_EQ(PixelSet(changed.begin(), changed.end()), c.want);
  }
}

TEST_F(FontStringTest, GlyphsAreCutAtTheDrawArea) {
  int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0);
  struct Case {
    int vertical;
    int clip[4];
    PixelSet want;
  } cases[] = {
      {0, {12, 0, 640, 480}, Rect(12, 26, 15, 32)},
      {0, {0, 28, 13, 30}, Rect(11, 28, 13, 30)},
      {1, {16, 0, 640, 480}, Rect(16, 21, 20, 25)},
      {1, {0, 0, 640, 23}, Rect(14, 21, 20, 23)},
  };
  for (const Case& c : cases) {
    ClearScreen(0);
    SetPaintClipRect(c.clip[0], c.clip[1], c.clip[2], c.clip[3]);
    DrawTextWithFont(10, 20, "A", kWhite16, h, 0, c.vertical);
    auto changed = Changed(0);
    EXPECT_EQ(PixelSet(changed.begin(), changed.end()), c.want);
  }
  SetPaintClipRect(0, 0, 640, 480);
  // Wholly outside the screen: nothing, and no fault.
  ClearScreen(0);
  DrawTextWithFont(-100, -100, "AB", kWhite16, h, 0, 0);
  DrawTextWithFont(700, 500, "AB", kWhite16, h, 0, 1);
  EXPECT_TRUE(Changed(0).empty());
}

TEST_F(FontStringTest, BrightnessDimsTheTextOnBothPaths) {
  int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0);
  SetPaintBrightness(128, 128, 128);
  for (int blend : {0, 1}) {
    SCOPED_TRACE(blend);
    ClearScreen(0);
    SelectBlendMode(blend, 255);
    DrawTextWithFont(10, 20, "A", kWhite16, h, 0, 0);
    EXPECT_EQ(ScreenPixel(12, 28), PackScreenColor(128, 128, 128));
    EXPECT_EQ(ScreenPixel(10, 28), 0u);
  }
  // Through the work image (alpha below 255) the dimmed colour is blended.
  ClearScreen(0);
  SelectBlendMode(1, 254);
  DrawTextWithFont(10, 20, "A", kWhite16, h, 0, 0);
  int r, g, b;
  UnpackScreenColor(ScreenPixel(12, 28), &r, &g, &b);
  EXPECT_NEAR(r, 128, 10);
  EXPECT_EQ(ScreenPixel(10, 28), 0u);
}

TEST_F(FontStringTest, TextWhoseDimmedColourIsTheWorkKeyIsStillDrawn) {
  // White text under a black brightness is written as 0, the work image's
  // first key: the key must move off the colour actually written.
  int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 1, -1, 1, 0);
  ClearScreen(kWhite16);
  SetPaintBrightness(0, 0, 0);
  SelectBlendMode(1, 255 / 2);
  DrawTextWithFont(10, 20, "A", kWhite16, h, kWhite16, 0);
  int r, g, b;
  UnpackScreenColor(ScreenPixel(13, 29), &r, &g, &b);  // glyph body
  EXPECT_LT(r, 200);
  UnpackScreenColor(ScreenPixel(11, 29), &r, &g, &b);  // its edge
  EXPECT_LT(r, 200);
  EXPECT_EQ(ScreenPixel(9, 29), kWhite16);  // outside the edge
}

TEST_F(FontStringTest, EdgedTextBlendedShowsGlyphAndEdgeAndNoKey) {
  int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 1, -1, 1, 0);
  const uint32_t background = PackScreenColor(0, 0, 255);
  ClearScreen(background);
  SelectBlendMode(1, 128);
  DrawTextWithFont(10, 20, "A", PackScreenColor(255, 255, 255), h, PackScreenColor(255, 0, 0), 0);
  // Edged box: 6 x 8 at (10 + 0 + 1, 20 + 6 - ... ) with the glyph one pixel in.
  int r, g, b;
  UnpackScreenColor(ScreenPixel(13, 29), &r, &g, &b);
  EXPECT_NEAR(r, 128, 10);
  EXPECT_NEAR(g, 128, 10);
  EXPECT_NEAR(b, 255, 10);
  UnpackScreenColor(ScreenPixel(11, 29), &r, &g, &b);
  EXPECT_NEAR(r, 128, 10);
  EXPECT_NEAR(g, 0, 10);
  EXPECT_NEAR(b, 128, 10);
  // Corners of the edged box are empty cells: the background stays.
  EXPECT_EQ(ScreenPixel(11, 26), background);
  for (auto p : Changed(background)) {
    EXPECT_GE(p.first, 11);
    EXPECT_LT(p.first, 17);
    EXPECT_GE(p.second, 26);
    EXPECT_LT(p.second, 34);
  }
}

TEST_F(FontStringTest, EdgedAntialiasMixFollowsTheFormula) {
  uint32_t a = 0;
  // g = 8, e = 15: alpha 8 x 16 + 7 x 15 = 233, weight 8 x 4096 / 233 = 140.
  uint32_t c = MixEdgedAntialiasPixel(8, 15, 0xFFFFFF, 0x000000, 32, &a);
  EXPECT_EQ(a, 233u);
  EXPECT_EQ(c, (139u << 16) | (139u << 8) | 139u);
  c = MixEdgedAntialiasPixel(8, 15, 0x000000, 0xFF0000, 32, &a);  // falling channel rounds down
  EXPECT_EQ(c >> 16, 255u + (uint32_t)(((0 - 255) * 140) >> 8));
  c = MixEdgedAntialiasPixel(8, 15, 0xFFFF, 0x0000, 16, &a);
  EXPECT_EQ(c, (16u << 11) | (34u << 5) | 16u);
  EXPECT_EQ(MixEdgedAntialiasPixel(0, 4, 0xFFFF, 0x1234, 16, &a), 0x1234u);
  EXPECT_EQ(a, 64u);
  EXPECT_EQ(MixEdgedAntialiasPixel(15, 4, 0xFFFF, 0x1234, 16, &a), 0xFFFFu);
  EXPECT_EQ(a, 255u);
}

TEST_F(FontStringTest, AntialiasedTextGoesThroughTheAlphaWorkImage) {
  fake_.glyphs[0x2D] = FakeGlyph{3, 1, 0, 6, 4, {1, 8, 16}};
  int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 2, -1, -1, 0);
  ClearScreen(0);
  DrawTextWithFont(10, 20, "-", kWhite16, h, 0, 0);
  int r0, g0, b0, r1, g1, b1, r2, g2, b2;
  UnpackScreenColor(ScreenPixel(10, 26), &r0, &g0, &b0);
  UnpackScreenColor(ScreenPixel(11, 26), &r1, &g1, &b1);
  UnpackScreenColor(ScreenPixel(12, 26), &r2, &g2, &b2);
  EXPECT_EQ(r0, 0);                 // level 1 is stored as 0: untouched
  EXPECT_NEAR(r1, 7 * 16, 16);      // alpha 7 x 16
  EXPECT_NEAR(r2, 15 * 16, 16);     // alpha 240
}

TEST_F(FontStringTest, EmptyTextAndBadHandles) {
  int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0);
  ClearScreen(0);
  EXPECT_EQ(DrawTextWithFont(0, 0, "", kWhite16, h, 0, 0), 0);
  EXPECT_EQ(DrawTextWithFont(0, 0, nullptr, kWhite16, h, 0, 0), 0);
  EXPECT_EQ(DrawTextWithFont(0, 0, "A", kWhite16, 0x20000000 | 39, 0, 0), -1);
  EXPECT_EQ(DrawTextWithFont(0, 0, "A", kWhite16, -1, 0, 0), -1);
  SetPaintClipRect(5, 5, 5, 100);  // an empty draw area draws nothing
  EXPECT_EQ(DrawTextWithFont(0, 0, "A", kWhite16, h, 0, 0), 0);
  EXPECT_TRUE(Changed(0).empty());
  SetPaintClipRect(0, 0, 640, 480);
  std::string long_text(300, 'A');
  EXPECT_EQ(DrawTextWithFont(0, 0, long_text.c_str(), kWhite16, h, 0, 0), 0);
  EXPECT_NE(ScreenPixel(106 * 6 + 1, 6), 0u);
}

TEST_F(FontStringTest, TextureCacheDrawsTheSamePixelsThroughGraphs) {
  int soft = CreateFontToHandle("ＭＳ 明朝", 16, 6, 1, -1, 1, 0);
  SetFontTextureCacheOverride(1);
  int tex = CreateFontToHandle("ＭＳ 明朝", 16, 6, 1, -1, 1, 0);
  ASSERT_EQ(GetFontRecord(tex)->texture_cache, 1);
  const uint32_t white = PackScreenColor(255, 255, 255), red = PackScreenColor(255, 0, 0);
  ClearScreen(0);
  DrawTextWithFont(30, 40, "AB\x82\xA0", white, soft, red, 0);
  auto want = Changed(0);
  std::vector<uint32_t> want_pixels;
  for (auto p : want) want_pixels.push_back(ScreenPixel(p.first, p.second));
  ASSERT_FALSE(want.empty());
  ClearScreen(0);
  DrawTextWithFont(30, 40, "AB\x82\xA0", white, tex, red, 0);
  auto got = Changed(0);
  EXPECT_EQ(got, want);
  std::vector<uint32_t> got_pixels;
  for (auto p : got) got_pixels.push_back(ScreenPixel(p.first, p.second));
  EXPECT_EQ(got_pixels, want_pixels);
  // Vertical text turns the whole sheet onto each glyph's box (corners
  // given half a pixel up and left, for a device's pixel centres); the draw
  // area keeps it there, with one pixel of slack left and right.
  ClearScreen(0);
  DrawTextWithFont(30, 40, "A", white, tex, red, 1);
  auto turned = Changed(0);
  ASSERT_FALSE(turned.empty());
  for (auto p : turned) {
    EXPECT_GE(p.first, 33);
    EXPECT_LT(p.first, 43);
    EXPECT_GE(p.second, 41);
    EXPECT_LT(p.second, 47);
  }
  EXPECT_EQ(ScreenPixel(37, 43), white);  // inside the turned body
  EXPECT_EQ(ScreenPixel(41, 43), red);    // its edge on the right
  // Deleting every graph loses the cache graph; the next string builds it anew.
  ReleaseAllGraphs();
  EXPECT_EQ(GetFontRecord(tex)->graph_lost, 1);
  ClearScreen(0);
  DrawTextWithFont(30, 40, "A", white, tex, red, 0);
  EXPECT_EQ(GetFontRecord(tex)->graph_lost, 0);
  EXPECT_EQ(ScreenPixel(33, 48), white);
}

TEST_F(FontStringTest, MaskedTextRightOfTheDrawAreaReturnsAtOnce) {
  int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0);
  ASSERT_EQ(CreateMaskScreen(1), 0);
  ASSERT_EQ(EnableMaskScreen(1), 0);
  ASSERT_EQ(IsMaskScreenActive(), 1);
  SetPaintClipRect(0, 0, 100, 480);
  ClearScreen(0);
  EXPECT_EQ(DrawTextWithFont(100, 10, "AB", kWhite16, h, 0, 0), 0);
  EXPECT_EQ(DrawTextWithFont(150, 10, "AB", kWhite16, h, 0, 1), 0);
  EXPECT_TRUE(Changed(0).empty());
  EXPECT_EQ(DrawTextWithFont(10, 10, "AB", kWhite16, h, 0, 0), 0);  // inside: through the mask steps
  EnableMaskScreen(0);
  ReleaseMaskScreen();
}

TEST_F(FontStringTest, ScaledTextStretchesOnBothPaths) {
  SetFontTextureCacheOverride(1);
  int tex = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0);
  SetFontTextureCacheOverride(0);
  int soft = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0);
  // Texture cache: the box of "A" (origin 1, top 6, 4 x 6) doubled from (10, 20).
  ClearScreen(0);
  EXPECT_EQ(DrawTextTextureCacheScaled(10, 20, 2.0, 2.0, "A", kWhite16, tex, 0, 0), 0);
  auto changed = Changed(0);
  EXPECT_EQ(PixelSet(changed.begin(), changed.end()), Rect(12, 32, 20, 44));
  // Software: drawn unscaled into the work image, then stretched.
  ClearScreen(0);
  EXPECT_EQ(DrawTextSoftwareScaled(10, 20, 2.0, 2.0, "A", kWhite16, soft, 0, 0), 0);
  changed = Changed(0);
  EXPECT_EQ(changed.size(), 4u * 4 * 6);
  EXPECT_EQ(ScreenPixel(13, 33), kWhite16);
  EXPECT_EQ(ScreenPixel(11, 33), 0u);
}

class FontString32Test : public FontTest {
 protected:
  void SetUp() override { StartEngineGraphics(32); }
};

TEST_F(FontString32Test, EdgedAntialiasedOn32BitScreenWritesArgb) {
  fake_.glyphs[0x2D] = FakeGlyph{1, 1, 0, 6, 4, {16}};
  int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 3, -1, 1, 0);
  ClearScreen(0);
  DrawTextWithFont(10, 20, "-", 0xFFFFFF, h, 0xFF0000, 0);
  // The glyph pixel (level 16: g = 15) is the text colour; its left
  // neighbour is edge only (e = 15): red at alpha 240 over black.
  EXPECT_EQ(ScreenPixel(11, 27) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_NEAR((int)((ScreenPixel(10, 27) >> 16) & 0xFF), 240, 2);
  EXPECT_EQ(ScreenPixel(10, 27) & 0xFFFF, 0u);
}

}  // namespace
