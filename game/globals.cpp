// The font and colour tables.
#include "game/globals.h"

#include "engine/graphics/graphics.h"
#include "engine/font/font.h"

int font_table[kFontCount] = {-1, -1, -1, -1};
uint32_t colour_table[kColourCount];

namespace {

struct FontSpec {
  int size;
  int thickness;
};
constexpr FontSpec kFonts[kFontCount] = {{32, 8}, {24, 7}, {14, 6}, {16, 6}};
constexpr int kColours[kColourCount][3] = {{34, 34, 34}, {250, 250, 250}, {34, 34, 160}, {192, 192, 192}};

}  // namespace

bool create_fonts() {
  for (int i = 0; i < kFontCount; ++i)
    font_table[i] = CreateFontToHandle("ＭＳ 明朝", kFonts[i].size, kFonts[i].thickness, 1, -1, -1, 0, -1, -1);
  return true;
}

bool create_colors() {
  for (int i = 0; i < kColourCount; ++i)
    colour_table[i] = PackScreenColor(kColours[i][0], kColours[i][1], kColours[i][2]);
  return true;
}
