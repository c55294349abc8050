// The game's four fonts on the installed Japanese fonts: Japanese and Latin
// text measure and draw with sane sizes. The drawn sample is written to
// <build>/test-output/text.png for a reader to look at.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "tests/engine/font/font_fixtures.h"
#include "tests/support/png_file.h"

namespace {

class FontIpaTest : public FontTest {
 protected:
  void SetUp() override {
    system_fonts_ = true;
    FontTest::SetUp();
  }
};

bool HaveIpaFonts() { return MapGdiFaceName("ＭＳ 明朝") == "IPAMincho"; }

// <build>/test-output, from the test program's own path
// (<build>/tests/engine/image/test_engine_image).
std::string OutputFolder() {
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "";
  std::string path(exe, (size_t)n);
  for (int i = 0; i < 4; ++i) path = path.substr(0, path.rfind('/'));
  path += "/test-output";
  mkdir(path.c_str(), 0755);
  return path;
}

bool WriteScreenPng(const std::string& file) {
  const MEMIMG* s = GetScreenMemImage();
  std::vector<uint32_t> pixels((size_t)s->width * s->height);
  for (int y = 0; y < s->height; ++y) {
    for (int x = 0; x < s->width; ++x) {
      int r, g, b;
      UnpackScreenColor(LoadPixel16(s->pixels + (size_t)y * s->store->pitch + (size_t)x * 2), &r, &g, &b);
      pixels[(size_t)y * s->width + x] = (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b;
    }
  }
  return WriteRgbPng(file, pixels, s->width, s->height);
}

TEST_F(FontIpaTest, GameFontsDrawJapaneseAndLatinText) {
  if (!HaveIpaFonts()) GTEST_SKIP() << "IPA fonts are not installed";
  const uint32_t background = PackScreenColor(40, 60, 110);
  ClearScreen(background);
  struct GameFont {
    int size, thickness;
  } fonts[] = {{32, 8}, {24, 7}, {14, 6}, {16, 6}};
  const char* japanese = "ひとりで遊ぶ";
  const char* latin = "Voxaldrift";
  int y = 10;
  for (const GameFont& gf : fonts) {
    SCOPED_TRACE(gf.size);
    int h = CreateFontToHandle("ＭＳ 明朝", gf.size, gf.thickness, FONT_TYPE_EDGE, -1, -1, 0);
    ASSERT_GE(h, 0);
    FONTRECORD* f = GetFontRecord(h);
    EXPECT_EQ(f->line_height, gf.size + 2);
    int jw = MeasureStringWidthByFont(japanese, -1, h, 0);
    int lw = MeasureStringWidthByFont(latin, -1, h, 0);
    // Six full-width characters of about one em each, edges included.
    EXPECT_GE(jw, 6 * (gf.size * 3 / 4));
    EXPECT_LE(jw, 6 * (gf.size + 4));
    EXPECT_GE(lw, 10 * gf.size / 4);
    EXPECT_LE(lw, 10 * (gf.size + 2));
    for (const char* text : {japanese, latin}) {
      int x = text == japanese ? 10 : 330;
      ASSERT_EQ(DrawTextWithFont(x, y, text, PackScreenColor(255, 255, 255), h, PackScreenColor(0, 0, 0), 0), 0);
      // Ink of the body and of the edge, all within the line.
      int body = 0, edge = 0, outside = 0;
      for (auto p : Changed(background)) {
        if (p.first < x || p.first >= x + (text == japanese ? jw : lw) + 2) continue;
        uint32_t v = ScreenPixel(p.first, p.second);
        if (p.second < y || p.second >= y + f->line_height) {
          if (p.second >= y - 2 && p.second < y + f->line_height + 2) ++outside;
          continue;
        }
        if (v == PackScreenColor(255, 255, 255)) ++body;
        if (v == 0) ++edge;
      }
      EXPECT_GT(body, gf.size * 3) << text;
      EXPECT_GT(edge, body / 2) << text;
      EXPECT_EQ(outside, 0) << text;
    }
    y += f->line_height + 8;
  }
  // Vertical and anti-aliased text for the picture.
  int aa = CreateFontToHandle("ＭＳ ゴシック", 24, 6, FONT_TYPE_ANTIALIAS | FONT_TYPE_EDGE, -1, 2, 0);
  ASSERT_GE(aa, 0);
  DrawTextWithFont(10, 300, "アンチエイリアス：落ちものパズル", PackScreenColor(255, 230, 120), aa,
                   PackScreenColor(90, 20, 0), 0);
  int vertical = CreateFontToHandle("ＭＳ 明朝", 24, 7, FONT_TYPE_EDGE, -1, -1, 0);
  DrawTextWithFont(580, 200, "縦書き表示", PackScreenColor(255, 255, 255), vertical, PackScreenColor(0, 0, 0), 1);
  std::string folder = OutputFolder();
  if (!folder.empty()) {
    EXPECT_TRUE(WriteScreenPng(folder + "/text.png"));
    std::printf("text sample: %s/text.png\n", folder.c_str());
  }
}

TEST_F(FontIpaTest, DefaultFontMeasuresWithTheFallbackFace) {
  if (!HaveIpaFonts()) GTEST_SKIP() << "IPA fonts are not installed";
  int w = MeasureStringWidth("ひとりで遊ぶ", -1, 0);
  EXPECT_GE(w, 6 * 12);
  EXPECT_LE(w, 6 * 20);
  EXPECT_EQ(MeasureStringWidth("ひとりで遊ぶ", 4, 0) * 3, w);  // two of six equal-width characters
}

}  // namespace
