// Font handles: slots, check numbers, defaults, geometry, rebuild and reset.
#include <cstring>

#include "tests/engine/font/font_fixtures.h"

namespace {

using FontSystemTest = FontTest;

TEST_F(FontSystemTest, FortyFirstFontFailsAndAFreedSlotIsTakenAgainWithANewCheck) {
  std::vector<int> handles;
  for (int i = 1; i < FONT_HANDLE_SLOTS; ++i) {  // slot 0 holds the default font
    int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0);
    ASSERT_GE(h, 0) << i;
    EXPECT_EQ(h & 0xFFFF, i);
    EXPECT_EQ((uint32_t)h & 0x78000000u, 0x20000000u);
    handles.push_back(h);
  }
  EXPECT_EQ(CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0), -1);
  int freed = handles[4];
  ASSERT_EQ(FreeFontHandle(freed), 0);
  int again = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0);
  ASSERT_GE(again, 0);
  EXPECT_EQ(again & 0xFFFF, freed & 0xFFFF);
  EXPECT_NE(again, freed);
  // The stale handle is refused everywhere although its slot lives again.
  char face[FONT_FACE_BYTES];
  EXPECT_EQ(IsFontHandleLive(freed), 0);
  EXPECT_EQ(FreeFontHandle(freed), -1);
  EXPECT_EQ(ReadFontSize(freed), -1);
  EXPECT_EQ(QueryFontByHandle(face, nullptr, nullptr, freed), -1);
  EXPECT_EQ(SetFontCharGap(1, freed), -1);
  EXPECT_EQ(BindFontDeletedFlag(freed, nullptr), -1);
  EXPECT_EQ(ClearFontCache(freed), -1);
  EXPECT_EQ(MeasureStringWidthByFont("A", -1, freed, 0), -1);
  EXPECT_EQ(DrawTextWithFont(0, 0, "A", 0xFFFF, freed, 0, 0), -1);
}

TEST_F(FontSystemTest, CheckNumbersCountUpAndWrapAfter2047) {
  int first = CreateFontToHandle("", 16, 6, 0, -1, -1, 0);
  int second = CreateFontToHandle("", 16, 6, 0, -1, -1, 0);
  EXPECT_EQ(((second >> 16) & 0x7FF), ((first >> 16) & 0x7FF) + 1);
  SetFontCreationCounter(2046);
  int checks[3];
  for (int& c : checks) {
    int h = CreateFontToHandle("", 16, 6, 0, -1, -1, 0);
    ASSERT_GE(h, 0);
    c = (h >> 16) & 0x7FF;
    FreeFontHandle(h);
  }
  EXPECT_EQ(checks[0], 2046);
  EXPECT_EQ(checks[1], 2047);
  EXPECT_EQ(checks[2], 0);
  // A prescribed check number leaves the counter alone.
  int given = CreateFontToHandle("", 16, 6, 0, -1, -1, 0, 30, 77);
  EXPECT_EQ(given, (int)(0x20000000u | (77u << 16) | 30u));
  EXPECT_EQ((CreateFontToHandle("", 16, 6, 0, -1, -1, 0) >> 16) & 0x7FF, 1);
  EXPECT_EQ(CreateFontToHandle("", 16, 6, 0, -1, -1, 0, 30, 5), -1);  // slot in use
}

TEST_F(FontSystemTest, DefaultsAndFlags) {
  int edged = CreateFontToHandle("ＭＳ 明朝", -1, -1, 0, -1, 3, 0);
  FONTRECORD* f = GetFontRecord(edged);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->type, FONT_TYPE_EDGE);
  EXPECT_EQ(f->size, 16);
  EXPECT_EQ(f->thickness, 6);
  EXPECT_EQ(f->charset, 1);
  // An edge of 1 does not make a font edged by itself.
  int plain = CreateFontToHandle("ＭＳ 明朝", 14, 6, -1, -1, -1, 0);
  EXPECT_EQ(GetFontRecord(plain)->type, 0u);
  EXPECT_EQ(GetFontRecord(plain)->edge_size, 1);

  int unnamed = CreateFontToHandle(nullptr, 20, 7, 0, -1, -1, 0);
  char face[FONT_FACE_BYTES] = "x";
  int size = 0, thickness = 0;
  ASSERT_EQ(QueryFontByHandle(face, &size, &thickness, unnamed), 0);
  EXPECT_STREQ(face, "");
  EXPECT_EQ(size, 20);
  EXPECT_EQ(thickness, 7);
  EXPECT_EQ(fake_.opened.back(), std::string("ＭＳ ゴシック"));  // the fallback face
  ASSERT_EQ(QueryFontByHandle(face, nullptr, nullptr, edged), 0);
  EXPECT_STREQ(face, "ＭＳ 明朝");
}

TEST_F(FontSystemTest, CellGeometryFollowsTheMetrics) {
  struct Case {
    int size, max_width, type, edge;
    int cell_side, line_height, cells, depth;
  } cases[] = {
      {16, 0, 0, 1, 24, 16, 327680 / (24 * 24), 1},   // 16 + 2 rounded up to 24
      {16, 0, 1, 1, 24, 18, 327680 / (24 * 24), 8},   // edged: + 2 each
      {15, 3, 0, 1, 16, 16, 327680 / (16 * 16), 1},   // odd height rounds to 16; the line wins
      {32, 0, 2, 1, 40, 32, 327680 / (40 * 40), 8},   // anti-aliased cells are bytes
      {200, 0, 0, 1, 208, 200, 20, 1},               // at least 20 cells
      {4, 1, 0, 1, 8, 4, 2024, 1},                   // at most 2024
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    fake_.max_width = c.max_width;
    int h = CreateFontToHandle("ＭＳ 明朝", c.size, 6, c.type, -1, c.edge, 0);
    FONTRECORD* f = GetFontRecord(h);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->cell_side, c.cell_side);
    EXPECT_EQ(f->line_height, c.line_height);
    EXPECT_EQ(f->cell_count, c.cells);
    EXPECT_EQ(f->soft_depth, c.depth);
    EXPECT_EQ(f->texture_cache, 0);
    EXPECT_EQ(f->sheet_height, c.cells * c.cell_side);
    FreeFontHandle(h);
  }
}

TEST_F(FontSystemTest, TextureSheetGrowsUntilTenCellsFit) {
  SetFontTextureCacheOverride(1);
  int small = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0);
  FONTRECORD* f = GetFontRecord(small);
  ASSERT_EQ(f->texture_cache, 1);
  EXPECT_EQ(f->sheet_width, 512);
  EXPECT_EQ(f->cell_count, (512 / 24) * (512 / 24));
  EXPECT_GE(f->cache_graph, 0);
  int big = CreateFontToHandle("ＭＳ 明朝", 200, 6, 1, -1, 2, 0);  // cell 208
  f = GetFontRecord(big);
  ASSERT_EQ(f->texture_cache, 1);
  EXPECT_EQ(f->sheet_width, 1024);
  EXPECT_EQ(f->sheet_height, 1024);
  EXPECT_EQ(f->cell_count, 16);
  EXPECT_GE(f->edge_graph, 0);
  int w = 0, h = 0;
  QueryGraphSize(f->cache_graph, &w, &h);
  EXPECT_EQ(w, 2048);  // glyphs left, edges right
}

TEST_F(FontSystemTest, RecreateKeepsHandlesAndGapsAndResetKeepsOnlyTheDefault) {
  int a = CreateFontToHandle("ＭＳ 明朝", 24, 7, 1, -1, -1, 0);
  int b = CreateFontToHandle("ＭＳ 明朝", 14, 6, 0, -1, -1, 0);
  SetFontCharGap(3, b);
  int flag = -1;
  BindFontDeletedFlag(a, &flag);
  EXPECT_EQ(flag, 0);
  ASSERT_EQ(RecreateAllFonts(), 0);
  EXPECT_EQ(IsFontHandleLive(a), 1);
  EXPECT_EQ(IsFontHandleLive(b), 1);
  EXPECT_EQ(GetFontRecord(b)->char_gap, 3);
  EXPECT_EQ(GetFontRecord(a)->type, FONT_TYPE_EDGE);
  EXPECT_EQ(MeasureStringWidthByFont("AB", -1, b, 0), 6 + 3 + 6 + 3);

  int old_default = FetchDefaultFont();
  BindFontDeletedFlag(a, &flag);
  ASSERT_EQ(ResetFontHandles(), 0);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(IsFontHandleLive(a), 0);
  EXPECT_EQ(IsFontHandleLive(b), 0);
  EXPECT_EQ(IsFontHandleLive(old_default), 0);
  EXPECT_EQ(IsFontHandleLive(FetchDefaultFont()), 1);
}

TEST_F(FontSystemTest, DefaultFontIsMadeAgainOnlyWhenItsSettingsChange) {
  int before = FetchDefaultFont();
  SetDefaultFontSizeAndThickness(nullptr, -1, -1);
  EXPECT_EQ(FetchDefaultFont(), before);
  EXPECT_EQ(ReadFontSize(before), 16);
  SetDefaultFontSizeAndThickness(nullptr, 24, 8);
  EXPECT_NE(FetchDefaultFont(), before);
  EXPECT_EQ(IsFontHandleLive(before), 0);
  EXPECT_EQ(ReadFontSize(FetchDefaultFont()), 24);
  // Width without a handle measures with the default font.
  EXPECT_EQ(MeasureStringWidth("AB", -1, 0), 12);
}

TEST_F(FontSystemTest, LeadBytesByCharset) {
  struct Case {
    unsigned char byte;
    int charset;
    int lead;
  } cases[] = {{0x80, 1, 0}, {0x81, 1, 1}, {0x9F, 1, 1}, {0xA0, 1, 0}, {0xDF, 1, 0}, {0xE0, 1, 1},
               {0xFC, 1, 1}, {0xFD, 1, 0}, {0x41, 1, 0}, {0x80, 2, 1}, {0xA0, 2, 1}, {0x7F, 2, 0},
               {0x81, 0, 1}};
  for (const Case& c : cases) {
    char b = (char)c.byte;
    EXPECT_EQ(IsLeadByte(&b, c.charset), c.lead) << (int)c.byte << " " << c.charset;
  }
}

TEST_F(FontSystemTest, EndingGraphicsDeletesEveryFont) {
  int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0);
  int flag = 0;
  BindFontDeletedFlag(h, &flag);
  EndGraphics();
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(IsFontHandleLive(h), 0);
  EXPECT_EQ(IsFontHandleLive(FetchDefaultFont()), 0);
}

TEST_F(FontSystemTest, NoFontOnceTheWindowIsClosing) {
  GraphicsHost host = GetGraphicsHost();
  host.is_window_closed = [] { return 1; };
  SetGraphicsHost(&host);
  EXPECT_EQ(CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0), -1);
  host.is_window_closed = nullptr;
  SetGraphicsHost(&host);
  EXPECT_GE(CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, -1, -1, 0), 0);
}

TEST_F(FontSystemTest, KoreanCharsetSplitsAtEveryHighByte) {
  int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, 2, -1, 0);
  FontChar chars[8];
  int count = 0;
  ASSERT_EQ(CacheStringGlyphs(h, "\xA0\xA1" "A\xB0\x41", -1, chars, &count), 0);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(FontCharCode(chars[0]), 0xA1A0u);
  EXPECT_EQ(FontCharCode(chars[2]), 0x41B0u);
  int sjis = CreateFontToHandle("ＭＳ 明朝", 16, 6, 0, 1, -1, 0);
  ASSERT_EQ(CacheStringGlyphs(sjis, "\xA0\xA1" "A\xB0\x41", -1, chars, &count), 0);
  EXPECT_EQ(count, 5);  // half-width katakana are single bytes
}

TEST_F(FontSystemTest, DefaultFontSettingsCrossAScreenModeChange) {
  char face[8] = "x";
  int size = 0, thickness = 0;
  ASSERT_EQ(QueryDefaultFontSettings(face, sizeof face, &size, &thickness), 0);
  EXPECT_STREQ(face, "");
  EXPECT_EQ(size, 16);
  EXPECT_EQ(thickness, 6);
  SetDefaultFontSizeAndThickness(face, 20, 7);
  ASSERT_EQ(QueryDefaultFontSettings(face, sizeof face, &size, &thickness), 0);
  EXPECT_EQ(size, 20);
  FreeFontHandle(FetchDefaultFont());
  EXPECT_EQ(QueryDefaultFontSettings(face, sizeof face, &size, &thickness), -1);
}

TEST_F(FontSystemTest, EndingTheFontSystemDeletesEveryFontAndCreatesNone) {
  int mine = CreateFontToHandle("ＭＳ 明朝", 20, 6, 0, -1, -1, 0);
  int default_font = FetchDefaultFont();
  ASSERT_GE(mine, 0);
  ASSERT_GE(default_font, 0);
  const size_t opened = fake_.opened.size();
  EXPECT_EQ(EndFontSystem(), 0);
  EXPECT_EQ(fake_.opened.size(), opened);
  EXPECT_EQ(IsFontHandleLive(mine), 0);
  EXPECT_EQ(IsFontHandleLive(default_font), 0);
  EXPECT_EQ(FetchDefaultFont(), -1);
  ASSERT_EQ(StartFontSystem(), 0);  // as the graphics end expects to find it
}

class FontSystem8BitTest : public FontTest {
 protected:
  void SetUp() override { StartEngineGraphics(8); }
};

TEST_F(FontSystem8BitTest, AntialiasingIsOffOnAnEightBitScreen) {
  ASSERT_EQ(GetScreenBitDepth(), 8);
  int h = CreateFontToHandle("ＭＳ 明朝", 16, 6, 3, -1, -1, 0);
  ASSERT_GE(h, 0);
  EXPECT_EQ(GetFontRecord(h)->type, FONT_TYPE_EDGE);
}

}  // namespace
