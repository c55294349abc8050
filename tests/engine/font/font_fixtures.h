// Fonts under test: the engine's graphics started headless on the software
// path with the fonts' record registered, and a glyph source of hand-made
// glyphs with exact boxes and advances, so layouts can be checked to the
// pixel.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/font/font.h"
#include "engine/font/font_internal.h"
#include "engine/graphics/graphics.h"
#include "engine/graphics/graphics_host.h"
#include "engine/softrender/memimg.h"
#include "platform/gdi/font.h"

// A glyph of the fake face: a box filled with one level (or a pattern).
struct FakeGlyph {
  int width, height, origin_x, origin_y, advance;
  std::vector<uint8_t> levels;  // width x height; empty: every pixel 16
};

class FakeFontSource : public GdiFontSource {
 public:
  // Metrics for a requested height h: ascent 3h/4, max width `max_width`
  // (0: h). One-byte characters default to a 4 x 6 box, advance 6, sitting
  // on the baseline one pixel right of the pen; two-byte ones to 10 x 10,
  // advance 12. Blank characters have no glyph.
  int max_width = 0;
  std::map<UINT, FakeGlyph> glyphs;
  std::vector<std::string> opened;  // face names asked for
  int renders = 0;                  // Render calls

  GdiFontFace* Open(const GdiFontRequest& request) override;
};

class FontTest : public ::testing::Test {
 protected:
  void SetUp() override { StartEngineGraphics(16); }
  void TearDown() override { StopEngineGraphics(); }

  void StartEngineGraphics(int depth);
  void StopEngineGraphics();

  // Pixel (x, y) of the software screen.
  uint32_t ScreenPixel(int x, int y) const;
  void ClearScreen(uint32_t value);
  // Pixels of the screen that differ from `background`, as "x,y" keys.
  std::vector<std::pair<int, int>> Changed(uint32_t background) const;

  bool system_fonts_ = false;  // the installed fonts instead of the fake
  FakeFontSource fake_;
  GdiFontSource* previous_source_ = nullptr;
};
