// YUV to RGB against the studio-range formula, and the surface layouts.
#include <gtest/gtest.h>

#include "engine/movie/theora_stream.h"

namespace {

struct Pixel {
  int b, g, r, x;
};

Pixel Convert420(uint8_t y, uint8_t u, uint8_t v) {
  BuildYuvToRgbTables();
  uint8_t ys[4] = {y, y, y, y};
  uint8_t out[2 * 2 * 4];
  ConvertYuvPlanesToXrgb({ys, &u, &v, 2, 2, 2, 1, 1, 1}, out, 8);
  return {out[12], out[13], out[14], out[15]};
}

TEST(YuvConvert, TableEdgesClampAndTruncate) {
  struct Case {
    uint8_t y, u, v;
    Pixel expected;
  } cases[] = {
      {16, 128, 128, {0, 0, 0, 255}},
      {235, 128, 128, {254, 254, 254, 255}},  // 19070 x 219 / 16384, truncated
      {255, 128, 255, {255, 174, 255, 255}},  // red overflows and is clamped
      {0, 0, 128, {0, 31, 0, 255}},           // blue below zero is clamped
  };
  for (const Case& c : cases) {
    Pixel p = Convert420(c.y, c.u, c.v);
    EXPECT_EQ(p.b, c.expected.b) << int(c.y);
    EXPECT_EQ(p.g, c.expected.g) << int(c.y);
    EXPECT_EQ(p.r, c.expected.r) << int(c.y);
    EXPECT_EQ(p.x, 255);
  }
}

// The fixed-point path matches the integer formula everywhere, the other
// geometry the floating-point one.
TEST(YuvConvert, BothPathsMatchTheirReference) {
  BuildYuvToRgbTables();
  auto clamp = [](long v) { return int(v < 0 ? 0 : v > 255 ? 255 : v); };
  for (int y = 0; y < 256; y += 5)
    for (int u = 0; u < 256; u += 15)
      for (int v = 0; v < 256; v += 15) {
        Pixel p = Convert420(uint8_t(y), uint8_t(u), uint8_t(v));
        long l = 19070L * (y - 16);
        EXPECT_EQ(p.r, clamp((l + 26148L * (v - 128)) / 16384));
        EXPECT_EQ(p.g, clamp((l - 6406L * (u - 128) - 13320L * (v - 128)) / 16384));
        EXPECT_EQ(p.b, clamp((l + 33062L * (u - 128)) / 16384));
      }
  // 4:4:4 planes of 2 x 2: per pixel, chroma read at half position.
  uint8_t ys[4] = {16, 100, 200, 235}, us[4] = {0, 90, 160, 255}, vs[4] = {255, 60, 128, 0};
  uint8_t out[16];
  ConvertYuvPlanesToXrgb({ys, us, vs, 2, 2, 2, 2, 2, 2}, out, 8);
  for (int i = 0; i < 4; i++) {
    double l = 1.164 * (ys[i] - 16), cu = us[0] - 128, cv = vs[0] - 128;
    auto c = [](double x) { return int(x) < 0 ? 0 : int(x) > 255 ? 255 : int(x); };
    EXPECT_EQ(out[4 * i + 0], c(l + 2.018 * cu));
    EXPECT_EQ(out[4 * i + 1], c(l - 0.391 * cu - 0.813 * cv));
    EXPECT_EQ(out[4 * i + 2], c(l + 1.596 * cv));
    EXPECT_EQ(out[4 * i + 3], 255);
  }
}

TEST(YuvConvert, SurfaceLayoutsMoveBytesOnly) {
  uint8_t y[8] = {1, 2, 3, 4, 5, 6, 7, 8}, u[2] = {10, 11}, v[2] = {20, 21};
  YuvPlanes p{y, u, v, 4, 2, 4, 2, 1, 2};
  uint8_t yv12[4 * 2 + 2 * 2] = {};
  ASSERT_EQ(PackYuvPlanes(p, MakeFourCC('Y', 'V', '1', '2'), yv12, 4), 0);
  EXPECT_EQ(std::vector<uint8_t>(yv12, yv12 + 12), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 20, 21, 10, 11}));
  uint8_t packed[16];
  ASSERT_EQ(PackYuvPlanes(p, MakeFourCC('Y', 'U', 'Y', '2'), packed, 8), 0);
  EXPECT_EQ(std::vector<uint8_t>(packed, packed + 16),
            (std::vector<uint8_t>{1, 10, 2, 20, 3, 11, 4, 21, 5, 10, 6, 20, 7, 11, 8, 21}));
  ASSERT_EQ(PackYuvPlanes(p, MakeFourCC('U', 'Y', 'V', 'Y'), packed, 8), 0);
  EXPECT_EQ(std::vector<uint8_t>(packed, packed + 8), (std::vector<uint8_t>{10, 1, 20, 2, 11, 3, 21, 4}));
  YuvPlanes full{y, y, y, 4, 2, 4, 4, 2, 4};  // 4:4:4 has no surface layout
  EXPECT_EQ(PackYuvPlanes(full, MakeFourCC('Y', 'V', '1', '2'), packed, 8), -1);
}

}  // namespace
