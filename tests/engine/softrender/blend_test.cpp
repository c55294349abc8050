// Blend tables, the blend-image ramp, the rectangle clipper and the packed
// saturating add and subtract, against values worked out by hand.
#include <gtest/gtest.h>

#include "engine/softrender/blend.h"

namespace {

class BlendTables : public testing::Test {
 protected:
  static void SetUpTestSuite() { EXPECT_EQ(0, BuildSoftBlendTables()); }
};

TEST_F(BlendTables, SpotValues) {
  for (int d = -255; d <= 255; d++) {
    EXPECT_EQ(d, ScaledDiffRow(255)[d]);
    EXPECT_EQ(0, ScaledDiffRow(0)[d]);
  }
  EXPECT_EQ(-1, ScaledDiffRow(100)[-3]);  // toward zero, not -2
  EXPECT_EQ(1, ScaledDiffRow(100)[3]);
  for (int a = 0; a < 256; a++) {
    EXPECT_EQ((uint32_t)a, ScaleTable[255][a]);
    EXPECT_EQ((uint32_t)a, ScaleTable[a][255]);
  }
  EXPECT_EQ(50u, ScaleTable[100][128]);
  for (int j = 0; j < 64; j++)
    for (int k = 0; k < 64; k++) {
      EXPECT_EQ(j, Mix64Table[63][j][k]);
      EXPECT_EQ(k, Mix64Table[0][j][k]);
    }
  EXPECT_EQ(7, Mix64Table[16][31][0]);
}

TEST_F(BlendTables, BlendGraphRamp) {
  for (int r : {0, 1, 100, 255}) {
    BuildBlendGraphRamp(0, r);
    for (int v = 0; v < 256; v++) EXPECT_EQ(255, BlendGraphRamp[v]) << "range " << r;
  }
  BuildBlendGraphRamp(255, 0);
  EXPECT_EQ(0, BlendGraphRamp[0]);
  EXPECT_EQ(1, BlendGraphRamp[255]);
  BuildBlendGraphRamp(128, 255);  // a soft border rises by one per step
  EXPECT_EQ(BlendGraphRamp[100] + 1, BlendGraphRamp[101]);
}

TEST(SoftClip, CollapsesThenClamps) {
  const int32_t area[4] = {10, 20, 110, 220};
  struct Case {
    int32_t in[4], out[4];
  } cases[] = {
      {{0, 0, 50, 50}, {10, 20, 50, 50}},
      {{200, 30, 300, 40}, {110, 30, 110, 40}},  // wholly right: zero width
      {{60, 80, 40, 70}, {60, 80, 60, 80}},      // reversed: collapsed, not swapped
      {{-5, 300, 500, 400}, {10, 220, 110, 220}},
  };
  for (auto& c : cases) {
    int32_t r[4] = {c.in[0], c.in[1], c.in[2], c.in[3]};
    EXPECT_EQ(0, IntersectClipRect(r, area));
    for (int i = 0; i < 4; i++) EXPECT_EQ(c.out[i], r[i]) << i;
  }
}

struct PackedCase {
  uint32_t (*op)(uint32_t, uint32_t);
  uint32_t first, second, expected;
  const char* what;
};

TEST(PackedBlend, HandWorkedVectors) {
  const PackedCase cases[] = {
      {SaturatingAdd16, 0x001F, 0x0001, 0x003F, "add16 blue carry sets green's lowest bit"},
      {SaturatingAdd16, 0x0841, 0x0841, 0x0882, "add16 low bits"},
      {SaturatingAdd16, 0xFFFF, 0x1234, 0xFFFF, "add16 white"},
      {SaturatingAdd16, 0x0000, 0xABCD, 0xABCD, "add16 zero"},
      {SaturatingAdd16Fast, 0xF800, 0xF800, 0xF800, "fast add16 red saturates"},
      {SaturatingAdd16Fast, 0x0001, 0x001F, 0x003F, "fast add16 single pixel"},
      {SaturatingAdd32, 0x000000FF, 0x00000001, 0x000001FF, "add32 blue carry"},
      {SaturatingAdd32, 0x00808080, 0x00808080, 0x01FFFFFF, "add32 red carry in byte 3"},
      {SaturatingAdd32, 0x00000000, 0xAB123456, 0x00123456, "add32 zero clears byte 3"},
      {SaturatingAddBytes32, 0x80FF1020, 0x90012030, 0xFFFF3050, "bytewise add"},
      {SaturatingSubtract16, 0x1234, 0x1234, 0x0800, "sub16 of itself"},
      {SaturatingSubtract16, 0xFFFF, 0xFFFF, 0x0800, "sub16 white of white"},
      {SaturatingSubtract16, 0x001F, 0x0001, 0x081E, "sub16 blue"},
      {SaturatingSubtract16, 0x07E0, 0x0020, 0x0FC0, "sub16 green guard"},
      {SaturatingSubtract16, 0x0841, 0x0000, 0x0841, "sub16 zero"},
      {SaturatingSubtract16, 0x8410, 0x4208, 0x4A08, "sub16 mixed"},
      {SaturatingSubtract16, 0x0000, 0x0000, 0x0800, "sub16 black"},
      {SaturatingSubtract16, 0x0000, 0xFFFF, 0x0000, "sub16 clamps"},
      {SaturatingSubtract16, 0xFFFF, 0x0000, 0xFFDF, "sub16 of nothing"},
      {SaturatingSubtract32, 0xFFFFFFFF, 0x00000000, 0x00FFFFFF, "sub32 of nothing"},
      {SaturatingSubtract32, 0x00000100, 0x00000001, 0x00010000, "sub32 blue borrow"},
      {SaturatingSubtract32, 0x00808080, 0x00808080, 0x00010100, "sub32 of itself"},
      {SaturatingSubtract32, 0x80808080, 0x10101010, 0x00717170, "sub32 mixed"},
      {SaturatingSubtract32, 0x12345678, 0x00000000, 0x00355778, "sub32 of zero"},
      {SaturatingSubtract32, 0x00000000, 0x00000000, 0x00010100, "sub32 black"},
      {SaturatingSubtractBytes32, 0x80808080, 0x10101010, 0x70707070, "bytewise sub"},
      {SaturatingSubtractBytes32, 0xFFFFFFFF, 0x00000000, 0xFFFFFFFF, "bytewise sub keeps byte 3"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, c.op(c.first, c.second)) << c.what;
}

TEST(PackedBlend, PairsCarryFromTheLowPixelIntoTheHigh) {
  // Red of the low pixel overflows into the high pixel's blue field...
  EXPECT_EQ(0x0001F800u, SaturatingAdd16Pair(0x0000F800, 0x0000F800));
  // ...whose own lowest bit is left out of the sum, as are the guard bits.
  EXPECT_EQ(0u, SaturatingAdd16Pair(0x00010000, 0));
  EXPECT_EQ(0x00420041u, SaturatingAdd16Pair(0x08420841, 0));
  // The high pixel's blue takes the low pixel's red guard bit.
  EXPECT_EQ(0x4A094A08u, SaturatingSubtract16Pair(0x84108410, 0x42084208));
}

}  // namespace
