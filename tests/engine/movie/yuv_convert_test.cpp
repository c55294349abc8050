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

// The fixed-point path of 4:2:0 frames matches the integer formula everywhere.
TEST(YuvConvert, TheTablePathMatchesTheIntegerFormula) {
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
}

// 4:2:2 and 4:4:4 frames take the per-pixel path with chroma read at its
// plane's own scale: 4:2:2 halves the columns only, 4:4:4 neither.
TEST(YuvConvert, OtherLayoutsReadChromaAtTheirPlanesOwnScale) {
  BuildYuvToRgbTables();
  struct Case {
    const char* name;
    int uv_width, uv_height;  // of a 4 x 4 frame
  } cases[] = {{"4:2:2", 2, 4}, {"4:4:4", 4, 4}};
  for (const Case& c : cases) {
    uint8_t ys[16], us[16], vs[16];
    for (int i = 0; i < 16; i++) ys[i] = uint8_t(16 + 13 * i), us[i] = uint8_t(255 - 17 * i), vs[i] = uint8_t(9 + 15 * i);
    uint8_t out[4 * 16 * 4];
    ConvertYuvPlanesToXrgb({ys, us, vs, 4, 4, 4, c.uv_width, c.uv_height, c.uv_width}, out, 16);
    auto clamp = [](double x) { return int(x) < 0 ? 0 : int(x) > 255 ? 255 : int(x); };
    for (int y = 0; y < 4; y++)
      for (int x = 0; x < 4; x++) {
        const int chroma = y * c.uv_width + x * c.uv_width / 4;
        const double l = 1.164 * (ys[4 * y + x] - 16), u = us[chroma] - 128, v = vs[chroma] - 128;
        const uint8_t* px = out + 16 * y + 4 * x;
        EXPECT_EQ(px[0], clamp(l + 2.018 * u)) << c.name << " " << x << "," << y;
        EXPECT_EQ(px[1], clamp(l - 0.391 * u - 0.813 * v)) << c.name << " " << x << "," << y;
        EXPECT_EQ(px[2], clamp(l + 1.596 * v)) << c.name << " " << x << "," << y;
        EXPECT_EQ(px[3], 255);
      }
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
  // 4:2:2: each row keeps its own chroma in the packed layouts; YV12 cannot
  // hold it, and no layout holds 4:4:4.
  uint8_t u2[4] = {10, 11, 12, 13}, v2[4] = {20, 21, 22, 23};
  YuvPlanes p422{y, u2, v2, 4, 2, 4, 2, 2, 2};
  ASSERT_EQ(PackYuvPlanes(p422, MakeFourCC('Y', 'U', 'Y', '2'), packed, 8), 0);
  EXPECT_EQ(std::vector<uint8_t>(packed, packed + 16),
            (std::vector<uint8_t>{1, 10, 2, 20, 3, 11, 4, 21, 5, 12, 6, 22, 7, 13, 8, 23}));
  ASSERT_EQ(PackYuvPlanes(p422, MakeFourCC('U', 'Y', 'V', 'Y'), packed, 8), 0);
  EXPECT_EQ(std::vector<uint8_t>(packed + 8, packed + 16), (std::vector<uint8_t>{12, 5, 22, 6, 13, 7, 23, 8}));
  EXPECT_EQ(PackYuvPlanes(p422, MakeFourCC('Y', 'V', '1', '2'), packed, 8), -1);
  YuvPlanes full{y, y, y, 4, 2, 4, 4, 2, 4};
  for (uint32_t fourcc : {MakeFourCC('Y', 'V', '1', '2'), MakeFourCC('Y', 'U', 'Y', '2'), MakeFourCC('U', 'Y', 'V', 'Y')})
    EXPECT_EQ(PackYuvPlanes(full, fourcc, packed, 8), -1);
}

}  // namespace
