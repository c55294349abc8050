#include "tests/engine/font/font_fixtures.h"

#include "engine/core/engine_subsystem.h"
#include "engine/core/log.h"

namespace {

class FakeFace : public GdiFontFace {
 public:
  FakeFace(FakeFontSource* source, int height) : source_(source), height_(height) {}
  void Metrics(TEXTMETRICA* out) const override {
    *out = TEXTMETRICA{};
    out->tmHeight = height_;
    out->tmAscent = height_ * 3 / 4;
    out->tmDescent = height_ - out->tmAscent;
    out->tmMaxCharWidth = source_->max_width ? source_->max_width : height_;
    out->tmAveCharWidth = height_ / 2;
  }
  bool Render(UINT code, bool, GdiGlyphImage* out) override {
    source_->renders++;
    if (code == 0x20 || code == 0x8140) {
      out->width = out->height = 0;
      out->advance = code == 0x20 ? 5 : 11;
      return true;
    }
    FakeGlyph g;
    auto it = source_->glyphs.find(code);
    if (it != source_->glyphs.end()) {
      g = it->second;
    } else if (code > 0xFF) {
      g = FakeGlyph{10, 10, 0, height_ * 3 / 4, 12, {}};
    } else {
      g = FakeGlyph{4, 6, 1, 6, 6, {}};
    }
    out->width = g.width;
    out->height = g.height;
    out->origin_x = g.origin_x;
    out->origin_y = g.origin_y;
    out->advance = g.advance;
    out->levels = g.levels;
    if (out->levels.empty()) out->levels.assign((size_t)g.width * g.height, 16);
    return true;
  }

 private:
  FakeFontSource* source_;
  int height_;
};

}  // namespace

GdiFontFace* FakeFontSource::Open(const GdiFontRequest& request) {
  opened.push_back(request.face);
  return new FakeFace(this, request.height);
}

void FontTest::StartEngineGraphics(int depth) {
  SetLogOutput(0);
  previous_source_ = SetGdiFontSource(system_fonts_ ? nullptr : &fake_);
  SetGraphicsHost(nullptr);
  ReplaceEngineSubsystem(kFontsSubsystem);
  RequestScreenMode(640, 480, depth, 60);
  ASSERT_EQ(StartGraphics(), 0);
  ASSERT_NE(GetScreenMemImage(), nullptr);
  ASSERT_GE(FetchDefaultFont(), 0);
}

void FontTest::StopEngineGraphics() {
  EndGraphics();
  SetGraphicsHost(nullptr);
  ResetEngineSubsystems();
  SetFontTextureCacheOverride(-1);
  SetGdiFontSource(previous_source_ == SystemGdiFontSource() ? nullptr : previous_source_);
}

uint32_t FontTest::ScreenPixel(int x, int y) const {
  const MEMIMG* s = GetScreenMemImage();
  const uint8_t* p = s->pixels + (size_t)y * s->store->pitch + (size_t)x * s->store->format->bytes_per_pixel;
  return s->store->format->bytes_per_pixel == 2 ? LoadPixel16(p) : LoadPixel32(p);
}

void FontTest::ClearScreen(uint32_t value) { FillMEMIMGRect(GetScreenMemImage(), nullptr, value); }

std::vector<std::pair<int, int>> FontTest::Changed(uint32_t background) const {
  std::vector<std::pair<int, int>> out;
  const MEMIMG* s = GetScreenMemImage();
  for (int y = 0; y < s->height; ++y)
    for (int x = 0; x < s->width; ++x)
      if (ScreenPixel(x, y) != background) out.emplace_back(x, y);
  return out;
}
