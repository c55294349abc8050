// Strings of any bytes measured and drawn with fonts of every kind, edge
// size and cell size, through glyphs whose boxes may be far larger than
// their cells, at any place, clip, blend mode and brightness, plain and
// scaled. Nothing may be written outside the cells or the screen.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/engine_subsystem.h"
#include "engine/core/log.h"
#include "engine/font/font.h"
#include "engine/graphics/graphics.h"
#include "platform/gdi/font.h"

namespace {

uint8_t g_glyph_scale = 1;  // per input: how far boxes may outgrow the em

class FuzzFace : public GdiFontFace {
 public:
  explicit FuzzFace(int height) : height_(height > 0 ? height : 16) {}
  void Metrics(TEXTMETRICA* out) const override {
    *out = TEXTMETRICA{};
    out->tmHeight = height_;
    out->tmAscent = height_ * 3 / 4;
    out->tmDescent = height_ - out->tmAscent;
    out->tmMaxCharWidth = height_;
  }
  bool Render(UINT code, bool grey, GdiGlyphImage* out) override {
    uint32_t h = code * 2654435761u;
    if ((h & 15) == 0) return false;  // a character the face lacks
    int limit = height_ * g_glyph_scale + 1;
    out->width = (int)((h >> 4) % (uint32_t)limit);
    out->height = (int)((h >> 12) % (uint32_t)limit);
    out->origin_x = (int)((h >> 20) % 9) - 4;
    out->origin_y = (int)((h >> 24) % (uint32_t)(height_ + 8)) - 4;
    out->advance = (int)((h >> 8) % (uint32_t)(height_ + 1));
    out->levels.resize((size_t)out->width * out->height);
    for (size_t i = 0; i < out->levels.size(); ++i) {
      uint32_t v = (uint32_t)(i * 40503u + h) >> 5;
      out->levels[i] = grey ? (uint8_t)(v % 17) : (uint8_t)((v & 1) ? 16 : 0);
    }
    return true;
  }

 private:
  int height_;
};

class FuzzSource : public GdiFontSource {
 public:
  GdiFontFace* Open(const GdiFontRequest& request) override { return new FuzzFace(request.height); }
};

FuzzSource g_source;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetLogOutput(0);
  SetGdiFontSource(&g_source);
  ReplaceEngineSubsystem(kFontsSubsystem);  // the fonts start with graphics
  RequestScreenMode(320, 240, 16, 60);
  if (StartGraphics() != 0) return -1;
  std::atexit([] { EndGraphics(); });  // fonts and their system fonts go with graphics
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 12) return 0;
  const int type = data[0] & 3;
  const int edge = data[1] % 7;
  const int font_size = 4 + data[2] % 61;
  g_glyph_scale = (uint8_t)(1 + data[3] % 3);
  const int vertical = data[4] & 1;
  const int x = (int8_t)data[5] * 3, y = (int8_t)data[6] * 2;
  const int clip[4] = {data[7] % 320, data[8] % 240, data[9] % 330, data[10] % 250};
  const int mode_pick = data[11] % 4;
  std::string text(reinterpret_cast<const char*>(data + 12), size - 12);
  text = text.c_str();  // up to the first zero byte

  int font = CreateFontToHandle("fuzz", font_size, 6, type, data[4] >> 7 ? 2 : 1, edge, data[4] & 2);
  if (font < 0) return 0;
  SetFontCharGap((int8_t)data[3] % 3, font);
  SetPaintClipRect(clip[0], clip[1], clip[2], clip[3]);
  static const int kModes[4][2] = {{0, 255}, {1, 255}, {1, 100}, {2, 200}};
  SelectBlendMode(kModes[mode_pick][0], kModes[mode_pick][1]);
  SetPaintBrightness(data[5], data[6], data[7]);
  MeasureStringWidthByFont(text.c_str(), -1, font, vertical);
  DrawTextWithFont(x, y, text.c_str(), PackScreenColor(data[8], data[9], data[10]), font, PackScreenColor(0, 0, 0),
                   vertical);
  DrawTextSoftwareScaled(x, y, 1.5, 0.5, text.c_str(), 0xFFFF, font, 0, vertical);
  FreeFontHandle(font);
  SelectBlendMode(0, 255);
  SetPaintBrightness(255, 255, 255);
  SetPaintClipRect(0, 0, 320, 240);
  return 0;
}
