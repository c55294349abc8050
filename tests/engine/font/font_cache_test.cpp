// The glyph cache: splitting, listing new characters once, round-robin
// eviction, spaces, cell contents by kind, edge stamps, and writes kept
// inside their cells.
#include <cstring>

#include "tests/engine/font/font_fixtures.h"

namespace {

using FontCacheTest = FontTest;

const FontGlyph* Cached(int handle, uint32_t code) {
  FONTRECORD* f = GetFontRecord(handle);
  return f->codes[code].cached ? f->codes[code].glyph : nullptr;
}

// Cell pixel of an 8-bit software sheet.
int Cell8(int handle, const FontGlyph* g, int x, int y) {
  FONTRECORD* f = GetFontRecord(handle);
  return f->soft_buffer[(size_t)(g->cell * f->cell_side + y) * f->soft_pitch + x];
}

TEST_F(FontCacheTest, SplitsByLeadBytesAndRasterisesEachNewCharacterOnce) {
  int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0);
  FontChar chars[16];
  int count = 0;
  fake_.renders = 0;
  // "Aあ" + "A" + a lead byte that takes the terminating zero.
  const char text[] = "A\x82\xA0" "A\x82";
  ASSERT_EQ(CacheStringGlyphs(h, text, -1, chars, &count), 0);
  ASSERT_EQ(count, 4);
  EXPECT_EQ(FontCharCode(chars[0]), 0x41u);
  EXPECT_EQ(FontCharCode(chars[1]), 0xA082u);
  EXPECT_EQ(FontCharCode(chars[2]), 0x41u);
  EXPECT_EQ(chars[3].bytes[0], 0x82);
  EXPECT_EQ(chars[3].bytes[1], 0);
  EXPECT_EQ(fake_.renders, 3);  // "A" once
  EXPECT_NE(Cached(h, 0x41), nullptr);
  EXPECT_NE(Cached(h, 0xA082), nullptr);
  fake_.renders = 0;
  ASSERT_EQ(CacheStringGlyphs(h, text, -1, nullptr, nullptr), 0);
  EXPECT_EQ(fake_.renders, 0);
  // A length in bytes cuts the string; one beyond its end is the whole.
  ASSERT_EQ(CacheStringGlyphs(h, "ABC", 2, nullptr, &count), 0);
  EXPECT_EQ(count, 2);
  ASSERT_EQ(CacheStringGlyphs(h, "ABC", 99, nullptr, &count), 0);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(CacheStringGlyphs(h + 1, "A", -1, nullptr, nullptr), -1);
}

TEST_F(FontCacheTest, FullCacheEvictsTheOldestCellFirst) {
  int h = CreateFontToHandle("ＭＳ 明朝", 200, 6, 0, -1, -1, 0);  // 20 cells
  FONTRECORD* f = GetFontRecord(h);
  ASSERT_EQ(f->cell_count, 20);
  std::string first20;
  for (int i = 0; i < 20; ++i) first20 += (char)('A' + i);
  ASSERT_EQ(CacheStringGlyphs(h, first20.c_str(), -1, nullptr, nullptr), 0);
  EXPECT_EQ(Cached(h, 'A')->cell, 0);
  ASSERT_EQ(CacheStringGlyphs(h, "u", -1, nullptr, nullptr), 0);
  EXPECT_EQ(Cached(h, 'A'), nullptr);
  EXPECT_EQ(Cached(h, 'u')->cell, 0);
  ASSERT_EQ(CacheStringGlyphs(h, "A", -1, nullptr, nullptr), 0);
  EXPECT_EQ(Cached(h, 'A')->cell, 1);
  EXPECT_EQ(Cached(h, 'B'), nullptr);
  // Entries and code slots point at each other.
  for (int i = 0; i < f->cell_count; ++i) {
    const FontGlyph& g = f->glyphs[i];
    ASSERT_EQ(g.cell, i);
    if (g.in_use) {
      EXPECT_EQ(g.code_slot->glyph, &g);
    }
  }
  EXPECT_EQ(f->glyphs[f->cell_count].cell, -1);
}

// Clearing empties every code slot that a cached character set, also after
// evictions wrapped round the cells, and leaves the entries numbered; the
// characters are rasterised again on their next use.
TEST_F(FontCacheTest, ClearingForgetsEveryCachedCharacter) {
  int h = CreateFontToHandle("ＭＳ 明朝", 200, 6, 0, -1, -1, 0);  // 20 cells
  FONTRECORD* f = GetFontRecord(h);
  ASSERT_EQ(f->cell_count, 20);
  std::string text = "\x82\xA0\x88\x9F";  // two two-byte characters, then 18 letters
  for (int i = 0; i < 18; ++i) text += (char)('A' + i);
  ASSERT_EQ(CacheStringGlyphs(h, text.c_str(), -1, nullptr, nullptr), 0);
  ASSERT_EQ(CacheStringGlyphs(h, "STUVWXY", -1, nullptr, nullptr), 0);  // evicts the first seven
  ASSERT_NE(Cached(h, 'Y'), nullptr);
  ASSERT_EQ(Cached(h, 0xA082), nullptr);
  ASSERT_NE(Cached(h, 'R'), nullptr);
  ASSERT_EQ(ClearFontCache(h), 0);
  for (uint32_t code = 0; code < FONT_CODE_SLOTS; ++code) {
    ASSERT_EQ(f->codes[code].cached, 0u) << code;
    ASSERT_EQ(f->codes[code].glyph, nullptr) << code;
  }
  for (int i = 0; i < f->cell_count; ++i) {
    EXPECT_EQ(f->glyphs[i].in_use, 0);
    EXPECT_EQ(f->glyphs[i].cell, i);
  }
  EXPECT_EQ(f->glyphs[f->cell_count].cell, -1);
  EXPECT_EQ(f->next_cell, 0);
  ASSERT_EQ(CacheStringGlyphs(h, "Y\x82\xA0", -1, nullptr, nullptr), 0);
  EXPECT_EQ(Cached(h, 'Y')->cell, 0);
  EXPECT_EQ(Cached(h, 0xA082)->cell, 1);
}

TEST_F(FontCacheTest, MoreDistinctCharactersThanCellsStillMeasureAndDraw) {
  int h = CreateFontToHandle("ＭＳ 明朝", 200, 6, 0, -1, -1, 0);  // 20 cells
  std::string text;
  for (int i = 0; i < 30; ++i) text += (char)('A' + i);
  EXPECT_EQ(MeasureStringWidthByFont(text.c_str(), -1, h, 0), 30 * 6);
  ClearScreen(0);
  EXPECT_EQ(DrawTextWithFont(0, 0, text.c_str(), PackScreenColor(255, 255, 255), h, 0, 0), 0);
  // The last glyph (the 30th) is on the screen: box 4 x 6 at x = 29 * 6 + 1.
  EXPECT_NE(ScreenPixel(29 * 6 + 1, 150 - 6), 0u);
}

TEST_F(FontCacheTest, SpacesHaveAnAdvanceOnly) {
  int plain = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0);
  int edged = CreateFontToHandle("ＭＳ 明朝", 16, 6, 1, -1, 2, 0);
  for (int h : {plain, edged}) {
    int pad = h == edged ? 4 : 0;
    ASSERT_EQ(CacheStringGlyphs(h, " \x81\x40", -1, nullptr, nullptr), 0);
    const FontGlyph* space = Cached(h, 0x20);
    const FontGlyph* wide = Cached(h, 0x4081);
    ASSERT_TRUE(space && wide);
    EXPECT_EQ(space->width, pad);
    EXPECT_EQ(space->height, pad);
    EXPECT_EQ(space->advance, 5 + pad);
    EXPECT_EQ(wide->advance, 11 + pad);
  }
}

TEST_F(FontCacheTest, EdgeStampsHaveTheirShapes) {
  auto shape = [](int e) {
    std::string s;
    for (int dy = -e; dy <= e; ++dy) {
      for (int dx = -e; dx <= e; ++dx) s += FontEdgeStampCovers(e, dx, dy) ? '#' : '.';
      s += '/';
    }
    return s;
  };
  EXPECT_EQ(shape(1), ".#./#.#/.#./");
  EXPECT_EQ(shape(2), ".###./#####/#####/#####/.###./");
  EXPECT_EQ(shape(3), "...#.../.#####./.#####./#######/.#####./.#####./...#.../");
  EXPECT_EQ(shape(4), "..#####../.#######./#########/#########/#########/#########/#########/.#######./..#####../");
  for (int dy = -5; dy <= 5; ++dy)
    for (int dx = -5; dx <= 5; ++dx) EXPECT_TRUE(FontEdgeStampCovers(5, dx, dy));
}

TEST_F(FontCacheTest, EdgedCellsMarkGlyphAndEdge) {
  fake_.glyphs[0x2E] = FakeGlyph{1, 1, 0, 6, 3, {16}};  // "." : one pixel
  for (int e : {1, 2}) {
    SCOPED_TRACE(e);
    int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 1, -1, e, 0);
    ASSERT_EQ(CacheStringGlyphs(h, ".", -1, nullptr, nullptr), 0);
    const FontGlyph* g = Cached(h, 0x2E);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->width, 1 + 2 * e);
    EXPECT_EQ(g->advance, 3 + 2 * e);
    for (int y = 0; y < 2 * e + 1; ++y)
      for (int x = 0; x < 2 * e + 1; ++x) {
        int want = (x == e && y == e) ? 1 : FontEdgeStampCovers(e, x - e, y - e) ? 2 : 0;
        EXPECT_EQ(Cell8(h, g, x, y), want) << x << "," << y;
      }
    FreeFontHandle(h);
  }
}

TEST_F(FontCacheTest, EdgedAntialiasedEdgeTakesTheLargestLevelAround) {
  // Two glyph pixels of levels 9 and 12 with one pixel between them.
  fake_.glyphs[0x2D] = FakeGlyph{3, 1, 0, 6, 4, {9, 0, 12}};
  int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 3, -1, 1, 0);
  ASSERT_EQ(CacheStringGlyphs(h, "-", -1, nullptr, nullptr), 0);
  const FontGlyph* g = Cached(h, 0x2D);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(Cell8(h, g, 1, 1), 8);                // glyph level 9 - 1, no edge over it
  EXPECT_EQ(Cell8(h, g, 2, 1), 11 << 4);          // between: 12 - 1
  EXPECT_EQ(Cell8(h, g, 3, 1), 11 | (0 << 4));   // glyph 12 - 1
  EXPECT_EQ(Cell8(h, g, 0, 1), 8 << 4);           // left of the 9
}

TEST_F(FontCacheTest, AntialiasedCellsHoldLevelMinusOne) {
  fake_.glyphs[0x2D] = FakeGlyph{4, 1, 0, 6, 4, {0, 1, 8, 16}};
  int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 2, -1, -1, 0);
  ASSERT_EQ(CacheStringGlyphs(h, "-", -1, nullptr, nullptr), 0);
  const FontGlyph* g = Cached(h, 0x2D);
  EXPECT_EQ(Cell8(h, g, 0, 0), 0);
  EXPECT_EQ(Cell8(h, g, 1, 0), 0);
  EXPECT_EQ(Cell8(h, g, 2, 0), 7);
  EXPECT_EQ(Cell8(h, g, 3, 0), 15);
}

TEST_F(FontCacheTest, GlyphLargerThanItsCellIsCutAtTheCell) {
  // A box far beyond the 24-pixel cell, in the last cell of the sheet:
  // nothing may land outside the sheet or in the cell before.
  fake_.glyphs['W'] = FakeGlyph{60, 60, -3, 12, 40, {}};
  for (int type : {0, 1, 2, 3}) {
    SCOPED_TRACE(type);
    int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, type, -1, 2, 0);
    FONTRECORD* f = GetFontRecord(h);
    f->next_cell = f->cell_count - 1;
    ASSERT_EQ(CacheStringGlyphs(h, "W", -1, nullptr, nullptr), 0);
    const FontGlyph* g = Cached(h, 'W');
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->cell, f->cell_count - 1);
    EXPECT_LE(g->width, f->cell_side);
    EXPECT_LE(g->height, f->cell_side);
    const uint8_t* before = f->soft_buffer + (size_t)(g->cell - 1) * f->cell_side * f->soft_pitch;
    for (int i = 0; i < f->cell_side * f->soft_pitch; ++i) ASSERT_EQ(before[i], 0);
    ClearScreen(0);
    DrawTextWithFont(0, 0, "W", PackScreenColor(255, 255, 255), h, PackScreenColor(255, 0, 0), 0);
    DrawTextWithFont(100, 100, "W", PackScreenColor(255, 255, 255), h, PackScreenColor(255, 0, 0), 1);
    FreeFontHandle(h);
  }
}

TEST_F(FontCacheTest, TextureCacheCellsAreWhiteWithAlpha) {
  SetFontTextureCacheOverride(1);
  fake_.glyphs[0x2D] = FakeGlyph{3, 1, 0, 6, 4, {0, 8, 16}};
  int plain = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0);
  int aa = CreateFontToHandle("ＭＳ 明朝", 16, 6, 2, -1, -1, 0);
  for (int h : {plain, aa}) {
    FONTRECORD* f = GetFontRecord(h);
    ASSERT_EQ(f->texture_cache, 1);
    ASSERT_EQ(CacheStringGlyphs(h, "-", -1, nullptr, nullptr), 0);
    const FontGlyph* g = Cached(h, 0x2D);
    const PIXELFORMAT& pf = f->cache_image.format;
    auto pixel = [&](int x) {
      uint16_t v;
      std::memcpy(&v, f->cache_image.pixels + (size_t)FontCellY(f, g->cell) * f->cache_image.pitch +
                          (size_t)(FontCellX(f, g->cell) + x) * 2, 2);
      return (uint32_t)v;
    };
    uint32_t rgb = pf.red_mask | pf.green_mask | pf.blue_mask;
    EXPECT_EQ(pixel(0), rgb);
    EXPECT_EQ(pixel(2), rgb | pf.alpha_mask);
    if (h == aa) {
      EXPECT_EQ(pixel(1) & rgb, rgb);
      uint32_t a = (pixel(1) & pf.alpha_mask) >> pf.alpha_shift;
      EXPECT_GT(a, 0u);
      EXPECT_LT(a, (pf.alpha_mask >> pf.alpha_shift));
    }
  }
}

}  // namespace
