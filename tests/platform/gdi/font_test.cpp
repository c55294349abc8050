// The GDI font stand-in on the installed Japanese fonts: face mapping, GDI's
// meaning of the height, metrics, and the two bitmap forms of a glyph.
#include "platform/gdi/font.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const MAT2 kIdentity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};

// A memory context with a font selected, released at the end of the test.
struct FontDc {
  HDC dc = nullptr;
  HFONT font = nullptr;
  HGDIOBJ old = nullptr;
  FontDc(const char* face, int height, int weight, int italic = 0) {
    dc = CreateCompatibleDC(nullptr);
    font = CreateFontA(height, 0, 0, 0, weight, italic, 0, 0, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH, face);
    if (dc && font) old = SelectObject(dc, font);
  }
  ~FontDc() {
    if (old) SelectObject(dc, old);
    if (font) DeleteObject(font);
    if (dc) DeleteDC(dc);
  }
};

UINT CodeOf(const char* ch) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(ch);
  return s[1] ? (UINT)(s[0] << 8 | s[1]) : s[0];
}

bool HaveIpaFonts() { return MapGdiFaceName("ＭＳ 明朝") == "IPAMincho"; }

TEST(GdiFontFaces, ProgramFaceNamesMapOntoTheIpaFamilies) {
  EXPECT_EQ(MapGdiFaceName("ＭＳ 明朝"), "IPAMincho");
  EXPECT_EQ(MapGdiFaceName("ＭＳ Ｐ明朝"), "IPAPMincho");
  EXPECT_EQ(MapGdiFaceName("ＭＳ ゴシック"), "IPAGothic");
  EXPECT_EQ(MapGdiFaceName("ＭＳ Ｐゴシック"), "IPAPGothic");
  EXPECT_EQ(MapGdiFaceName("DejaVu Sans"), "DejaVu Sans");
  EXPECT_EQ(MapGdiFaceName(""), "");
  EXPECT_EQ(MapGdiFaceName(nullptr), "");
}

TEST(GdiFontMetrics, PositiveHeightIsTheCellAndNegativeTheCharacter) {
  FontDc cell("ＭＳ 明朝", 32, FW_NORMAL);
  ASSERT_NE(cell.font, nullptr);
  TEXTMETRICA tm{};
  ASSERT_TRUE(GetTextMetricsA(cell.dc, &tm));
  EXPECT_EQ(tm.tmHeight, 32);
  EXPECT_EQ(tm.tmAscent + tm.tmDescent, 32);
  EXPECT_GT(tm.tmAscent, tm.tmDescent);
  EXPECT_GE(tm.tmMaxCharWidth, 24);
  EXPECT_LE(tm.tmMaxCharWidth, 48);
  EXPECT_GT(tm.tmAveCharWidth, 0);

  FontDc em("ＭＳ 明朝", -32, FW_NORMAL);
  TEXTMETRICA tm2{};
  ASSERT_TRUE(GetTextMetricsA(em.dc, &tm2));
  EXPECT_GE(tm2.tmHeight, 32);  // the em plus the leading above it
  EXPECT_EQ(tm2.tmHeight - tm2.tmInternalLeading, 32);
}

TEST(GdiFontMetrics, NoFontSelectedFails) {
  HDC dc = CreateCompatibleDC(nullptr);
  TEXTMETRICA tm{};
  GLYPHMETRICS gm{};
  EXPECT_FALSE(GetTextMetricsA(dc, &tm));
  EXPECT_EQ(GetGlyphOutlineA(dc, 'A', GGO_BITMAP, &gm, 0, nullptr, &kIdentity), GDI_ERROR);
  DeleteDC(dc);
}

// Counts set pixels of a 1-bit glyph fetched the way the engine fetches it:
// size first, then the bits into a buffer of that size.
int InkOfBitmap(HDC dc, UINT code, UINT format, GLYPHMETRICS* gm) {
  DWORD size = GetGlyphOutlineA(dc, code, format, gm, 0, nullptr, &kIdentity);
  EXPECT_NE(size, GDI_ERROR);
  EXPECT_GT(size, 0u);
  std::vector<uint8_t> bits(size);
  EXPECT_EQ(GetGlyphOutlineA(dc, code, format, gm, size, bits.data(), &kIdentity), size);
  DWORD pitch = size / gm->gmBlackBoxY;
  EXPECT_EQ(pitch % 4, 0u);
  int ink = 0;
  for (UINT y = 0; y < gm->gmBlackBoxY; ++y)
    for (UINT x = 0; x < gm->gmBlackBoxX; ++x) {
      uint8_t v = bits[y * pitch + (format == GGO_BITMAP ? x / 8 : x)];
      if (format == GGO_BITMAP) {
        ink += (v >> (7 - x % 8)) & 1;
      } else {
        EXPECT_LE(v, 16);
        ink += v != 0;
      }
    }
  return ink;
}

TEST(GdiGlyphOutline, GameFontsDrawJapaneseAndLatinWithSaneBoxes) {
  if (!HaveIpaFonts()) GTEST_SKIP() << "IPA fonts are not installed";
  const int sizes[4] = {32, 24, 14, 16};
  const int weights[4] = {800, 700, 600, 600};
  const char* chars[] = {"ひ", "と", "り", "で", "遊", "ぶ", "V", "o", "x", "a", "l", "d", "r", "i", "f", "t"};
  for (int f = 0; f < 4; ++f) {
    FontDc font("ＭＳ 明朝", sizes[f], weights[f]);
    ASSERT_NE(font.font, nullptr);
    TEXTMETRICA tm{};
    ASSERT_TRUE(GetTextMetricsA(font.dc, &tm));
    for (const char* ch : chars) {
      for (UINT format : {GGO_BITMAP, GGO_GRAY4_BITMAP}) {
        SCOPED_TRACE(std::to_string(sizes[f]) + " " + std::to_string(CodeOf(ch)) + " " + std::to_string(format));
        GLYPHMETRICS gm{};
        int ink = InkOfBitmap(font.dc, CodeOf(ch), format, &gm);
        EXPECT_GT(ink, 0);
        EXPECT_GT(gm.gmCellIncX, 0);
        EXPECT_LE(gm.gmCellIncX, tm.tmMaxCharWidth);
        EXPECT_LE((int)gm.gmBlackBoxY, tm.tmHeight + 1);
        EXPECT_LE(gm.gmptGlyphOrigin.y, tm.tmAscent + 1);
        EXPECT_GE(gm.gmptGlyphOrigin.y - (int)gm.gmBlackBoxY, -tm.tmDescent - 1);
        if (CodeOf(ch) > 0xFF) {
          EXPECT_GE(gm.gmCellIncX, sizes[f] / 2);
        }
      }
    }
  }
}

TEST(GdiGlyphOutline, BlankAndMissingCharactersStillGiveMetrics) {
  if (!HaveIpaFonts()) GTEST_SKIP() << "IPA fonts are not installed";
  FontDc font("ＭＳ 明朝", 16, FW_NORMAL);
  struct Case {
    UINT code;
    bool wide;
  } cases[] = {{0x20, false}, {0x8140, true}, {0x01, false}, {0x85A0, true}};  // 0x85A0: unassigned
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    GLYPHMETRICS gm{};
    DWORD size = GetGlyphOutlineA(font.dc, c.code, GGO_BITMAP, &gm, 0, nullptr, &kIdentity);
    ASSERT_NE(size, GDI_ERROR);
    EXPECT_EQ(gm.gmBlackBoxX, 1u);
    EXPECT_EQ(gm.gmBlackBoxY, 1u);
    EXPECT_GT(gm.gmCellIncX, 0);
    if (c.wide) {
      EXPECT_GT(gm.gmCellIncX, 10);
    }
    std::vector<uint8_t> bits(size, 0xFF);
    EXPECT_EQ(GetGlyphOutlineA(font.dc, c.code, GGO_GRAY4_BITMAP, &gm, 4, bits.data(), &kIdentity), 4u);
    EXPECT_EQ(bits[0], 0);
  }
}

TEST(GdiGlyphOutline, RefusesWhatGdiRefuses) {
  if (!HaveIpaFonts()) GTEST_SKIP() << "IPA fonts are not installed";
  FontDc font("ＭＳ 明朝", 16, FW_NORMAL);
  GLYPHMETRICS gm{};
  MAT2 turned = {{0, 0}, {0, 1}, {0, -1}, {0, 0}};
  EXPECT_EQ(GetGlyphOutlineA(font.dc, 'A', GGO_BITMAP, &gm, 0, nullptr, nullptr), GDI_ERROR);
  EXPECT_EQ(GetGlyphOutlineA(font.dc, 'A', GGO_BITMAP, &gm, 0, nullptr, &turned), GDI_ERROR);
  EXPECT_EQ(GetGlyphOutlineA(font.dc, 'A', 2, &gm, 0, nullptr, &kIdentity), GDI_ERROR);
  DWORD size = GetGlyphOutlineA(font.dc, 'A', GGO_BITMAP, &gm, 0, nullptr, &kIdentity);
  std::vector<uint8_t> bits(size);
  EXPECT_EQ(GetGlyphOutlineA(font.dc, 'A', GGO_BITMAP, &gm, size - 1, bits.data(), &kIdentity), GDI_ERROR);
  EXPECT_EQ(GetGlyphOutlineA(font.dc, 'A', GGO_METRICS, &gm, 0, nullptr, &kIdentity), 0u);
  EXPECT_GT(gm.gmCellIncX, 0);
}

TEST(GdiGlyphOutline, BoldWidensAndItalicLeans) {
  if (!HaveIpaFonts()) GTEST_SKIP() << "IPA fonts are not installed";
  FontDc plain("ＭＳ 明朝", 24, FW_NORMAL);
  FontDc bold("ＭＳ 明朝", 24, 800);
  FontDc italic("ＭＳ 明朝", 24, FW_NORMAL, 1);
  GLYPHMETRICS gp{}, gb{}, gi{};
  int ink_plain = InkOfBitmap(plain.dc, 'l', GGO_BITMAP, &gp);
  int ink_bold = InkOfBitmap(bold.dc, 'l', GGO_BITMAP, &gb);
  InkOfBitmap(italic.dc, 'l', GGO_BITMAP, &gi);
  EXPECT_GT(ink_bold, ink_plain);
  EXPECT_EQ(gb.gmCellIncX, gp.gmCellIncX + 1);
  EXPECT_GT(gi.gmBlackBoxX, gp.gmBlackBoxX);
}

TEST(GdiFontObjects, DeleteObjectFreesAFontAndLeavesTheStockOne) {
  HDC dc = CreateCompatibleDC(nullptr);
  HFONT font = CreateFontA(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "");
  ASSERT_NE(font, nullptr);
  HGDIOBJ stock = SelectObject(dc, font);
  EXPECT_EQ(SelectedGdiFont(dc), font);
  SelectObject(dc, stock);
  EXPECT_EQ(SelectedGdiFont(dc), nullptr);
  EXPECT_TRUE(DeleteObject(font));
  EXPECT_TRUE(DeleteObject(stock));
  DeleteDC(dc);
}

}  // namespace
