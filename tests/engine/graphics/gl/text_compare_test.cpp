// Text on both back ends. A texture-cache font draws its glyphs through
// graphs: software graphs on one path, textures on the other, and the
// horizontal text agrees pixel for pixel. Vertical text turns the whole
// cache sheet onto each glyph's box with its corners half a pixel up and
// left, so that on the device texel centres meet pixel centres: there it
// lands exactly where the software cache writes it.
#include <algorithm>
#include <cstdio>

#include "engine/font/font.h"
#include "engine/font/font_internal.h"
#include "tests/engine/graphics/gl/gl_fixture.h"

namespace {

struct TextScene {
  const char* name;
  int type, vertical;
  int x, y, w, h;  // where it lands
  int mode, param;
  int bright_g;
  int tolerance = 1;  // 2 where a glyph's alpha meets a blend parameter
};

void DrawTexts(const std::vector<TextScene>& scenes) {
  WipeDrawScreen();
  PaintFilledBox(0, 0, 640, 480, PackScreenColor(40, 60, 90));
  for (const TextScene& s : scenes) {
    int font = CreateFontToHandle("ＭＳ ゴシック", 24, 4, s.type, -1, 2, 0);
    ASSERT_GE(font, 0);
    SelectBlendMode(s.mode, s.param);
    SetPaintBrightness(255, s.bright_g, 255);
    DrawTextWithFont(s.x, s.y, "Voxaldrift 落ち物", PackScreenColor(250, 230, 90), font,
                     PackScreenColor(200, 20, 20), s.vertical);
    SelectBlendMode(0, 0);
    SetPaintBrightness(255, 255, 255);
    FreeFontHandle(font);
  }
}

// Pixels of the scenes' areas that differ by more than one step.
void ExpectSame(const Frame& software, const Frame& hardware, const std::vector<TextScene>& scenes) {
  for (const TextScene& s : scenes) {
    int differing = 0, worst = 0, wx = 0, wy = 0;
    for (int y = s.y - 4; y < s.y + s.h; y++)
      for (int x = s.x - 4; x < s.x + s.w; x++) {
        uint32_t a = software[(size_t)y * 640 + x], b = hardware[(size_t)y * 640 + x];
        int d = 0;
        for (int k = 0; k < 24; k += 8) d = std::max(d, std::abs((int)((a >> k) & 255) - (int)((b >> k) & 255)));
        if (d > s.tolerance) differing++;
        if (d > worst) worst = d, wx = x, wy = y;
      }
    EXPECT_EQ(differing, 0) << s.name << " (worst " << worst << " at " << wx << "," << wy << ")";
  }
}

TEST_F(GLGraphicsTest, TextureCacheTextIsTheSameOnBothBackEnds) {
  const std::vector<TextScene> scenes = {
      {"plain", 0, 0, 10, 10, 300, 40, 0, 0, 255},
      {"edged, blended", FONT_TYPE_EDGE, 0, 10, 60, 300, 40, 1, 180, 255},
      {"antialiased, dimmed", FONT_TYPE_ANTIALIAS, 0, 10, 110, 300, 40, 0, 0, 200},
      {"antialiased and edged, blended", FONT_TYPE_ANTIALIAS | FONT_TYPE_EDGE, 0, 10, 160, 300, 40, 1, 120, 255, 2},
  };
  // Software graphs hold the texture cache on the software path.
  SetFontTextureCacheOverride(1);
  Start(false);
  DrawTexts(scenes);
  Frame software = Shown();
  SetFontTextureCacheOverride(-1);
  Start(true);
  DrawTexts(scenes);
  Frame hardware = Shown();
  ExpectSame(software, hardware, scenes);
}

TEST_F(GLGraphicsTest, VerticalCachedTextLandsOnItsGlyphBoxes) {
  const std::vector<TextScene> scenes = {
      {"plain vertical", 0, 1, 400, 10, 40, 300, 0, 0, 255},
      {"edged vertical", FONT_TYPE_EDGE, 1, 460, 10, 40, 300, 0, 0, 255},
  };
  Start(false);  // the software cache writes each glyph where its box is
  DrawTexts(scenes);
  Frame software = Shown();
  Start(true);
  int probe = CreateFontToHandle("ＭＳ ゴシック", 24, 4, 0, -1, 2, 0);
  EXPECT_EQ(GetFontRecord(probe)->texture_cache, 1);
  FreeFontHandle(probe);
  DrawTexts(scenes);
  Frame hardware = Shown();
  SaveFrame("vertical-text-hardware", hardware);
  ExpectSame(software, hardware, scenes);
}

}  // namespace
