// Colour packing of the screen formats and the texture format table.
#include <gtest/gtest.h>

#include "engine/graphics/graphics.h"
#include "platform/d3d9/d3d9.h"

namespace {

struct PackCase {
  int row;  // texture format row
  int r, g, b;
  uint32_t packed;
  int back_r, back_g, back_b;
};

TEST(ColourPacking, PacksAndUnpacks565And1555And8888) {
  const PackCase cases[] = {
      {0, 255, 255, 255, 0xFFFF, 255, 255, 255},       {0, 255, 0, 0, 0xF800, 255, 0, 0},
      {0, 0, 255, 0, 0x07E0, 0, 255, 0},               {0, 0, 0, 255, 0x001F, 0, 0, 255},
      {0, 8, 4, 8, 0x0821, 8, 4, 8},                   {0, 7, 3, 7, 0x0000, 0, 0, 0},
      // A1R5G5B5: the alpha bit is a channel, so packing leaves it clear.
      {4, 255, 255, 255, 0x7FFF, 255, 255, 255},       {4, 255, 0, 0, 0x7C00, 255, 0, 0},
      {4, 0, 0, 0, 0x0000, 0, 0, 0},                   {4, 0, 8, 0, 0x0020, 0, 8, 0},
      {1, 255, 255, 255, 0xFFFFFFFF, 255, 255, 255},  {1, 0x12, 0x34, 0x56, 0xFF123456, 0x12, 0x34, 0x56},
      {3, 0x12, 0x34, 0x56, 0x00123456, 0x12, 0x34, 0x56},
  };
  for (const PackCase& c : cases) {
    const PIXELFORMAT* f = TextureFormatRecord(c.row);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(PackColorForFormat(f, c.r, c.g, c.b), c.packed) << "row " << c.row << " " << c.r << "," << c.g << "," << c.b;
    int r, g, b;
    UnpackColorForFormat(f, c.packed, &r, &g, &b);
    EXPECT_EQ(r, c.back_r);
    EXPECT_EQ(g, c.back_g);
    EXPECT_EQ(b, c.back_b);
  }
  // X1R5G5B5: the bit no channel uses is packed as 1.
  PIXELFORMAT x1555;
  InitPixelFormatFromMasks(&x1555, 16, 0x7C00, 0x03E0, 0x001F, 0);
  EXPECT_EQ(PackColorForFormat(&x1555, 0, 0, 0), 0x8000u);
  EXPECT_EQ(PackColorForFormat(&x1555, 255, 0, 255), 0xFC1Fu);
  int r, g, b;
  UnpackColorForFormat(&x1555, 0xFC1F, &r, &g, &b);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 0);
  EXPECT_EQ(b, 255);
  // Components are clamped, never refused.
  EXPECT_EQ(PackColorForFormat(TextureFormatRecord(0), 400, -3, 255), 0xF81Fu);
}

TEST(ColourPacking, ScreenColourFollowsTheScreenFormat) {
  // Before graphics starts the screen format is that of the requested depth.
  EXPECT_EQ(RequestScreenMode(640, 480, 16, 60), 0);
  EXPECT_EQ(PackScreenColor(255, 255, 255), 0xFFFFu);
  int r, g, b;
  UnpackScreenColor(0xFFFF, &r, &g, &b);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 255);
  EXPECT_EQ(b, 255);
  EXPECT_EQ(RequestScreenMode(640, 480, 32, 60), 0);
  EXPECT_EQ(PackScreenColor(1, 2, 3) & 0xFFFFFF, 0x010203u);
}

TEST(TextureFormats, TableRowsHaveTheirLayouts) {
  struct Row {
    int index, bits;
    uint32_t red, alpha;
    int dxt;
  } rows[] = {{0, 16, 0xF800, 0, 0}, {1, 32, 0xFF0000, 0, 0},   {2, 16, 0x0F00, 0xF000, 0},
              {4, 16, 0x7C00, 0x8000, 0}, {6, 4, 0xFF0000, 0xFF000000, 1}, {10, 8, 0xFF0000, 0xFF000000, 5},
              {13, 32, 0xFF0000, 0xFF000000, 0}};
  for (const Row& r : rows) {
    const PIXELFORMAT* f = TextureFormatRecord(r.index);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->bits_per_pixel, r.bits) << r.index;
    EXPECT_EQ(f->red_mask, r.red) << r.index;
    EXPECT_EQ(f->alpha_mask, r.alpha) << r.index;
    EXPECT_EQ(f->dxt_kind, (uint32_t)r.dxt) << r.index;
  }
  EXPECT_EQ(TextureFormatRecord(14), nullptr);
  EXPECT_EQ(TextureFormatRecord(-1), nullptr);
}

TEST(TextureFormats, ChooserPicksTheRowFromTheCreationFlags) {
  struct Case {
    TextureFormatRequest request;  // alpha, draw target, compressed, alpha test, depth
    int row;
  } cases[] = {
      {{0, 0, 0, 0, 16}, 0}, {{0, 0, 0, 0, 32}, 1}, {{1, 0, 0, 0, 16}, 2},  {{1, 0, 0, 1, 32}, 3},
      {{0, 0, 0, 1, 16}, 4}, {{0, 0, 0, 1, 32}, 5}, {{0, 0, 1, 0, 16}, 6},  {{1, 1, 5, 1, 32}, 10},
      {{0, 1, 0, 0, 16}, 11}, {{0, 1, 0, 0, 32}, 12}, {{1, 1, 0, 0, 16}, 13}, {{0, 1, 0, 1, 16}, 13},
  };
  for (const Case& c : cases) EXPECT_EQ(ChooseTextureFormatIndex(&c.request), c.row) << c.row;
  EXPECT_EQ(ChooseTexturePixelFormat(0, 1, 0, 0), TextureFormatRecord(4));
  EXPECT_EQ(ChooseTexturePixelFormat(1, 0, 1, 0), TextureFormatRecord(3));
  TextureFormatRequest unknown{0, 0, 6, 0, 16};
  EXPECT_EQ(ChooseTextureFormat(&unknown), nullptr);
}

TEST(TextureFormats, DirectDrawDescriptionsConvertBothWays) {
  DDPIXELFORMAT dd;
  FillRgbDDPixelFormat(&dd, 16, 0xF800, 0x07E0, 0x001F, 0);
  EXPECT_EQ(dd.dwSize, 32u);
  EXPECT_EQ(dd.dwFlags, (DWORD)DDPF_RGB);
  PIXELFORMAT f;
  PixelFormatFromDDPixelFormat(&dd, &f);
  EXPECT_EQ(f.bytes_per_pixel, 2);
  EXPECT_EQ(f.red_width, 5);
  EXPECT_EQ(f.green_width, 6);
  EXPECT_EQ(f.blue_width, 5);
  EXPECT_EQ(f.alpha_width, 0);
  EXPECT_EQ(f.red_shift, 11);
  EXPECT_EQ(f.green_shift, 5);
  EXPECT_EQ(f.blue_shift, 0);
  EXPECT_EQ(f.spare_mask, 0u);
  FillRgbDDPixelFormat(&dd, 32, 0xFF0000, 0xFF00, 0xFF, 0);
  PixelFormatFromDDPixelFormat(&dd, &f);
  EXPECT_EQ(f.spare_mask, 0xFF000000u);
  EXPECT_EQ(f.spare_shift, 24);
  EXPECT_EQ(f.spare_width, 8);
}

}  // namespace
