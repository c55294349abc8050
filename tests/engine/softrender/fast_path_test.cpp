// The fast paths against the generic kernels: every blit frame (pixel path,
// run path, stretched, rotated, textured triangles) over seeded random
// images, and the single-colour spans (boxes, flat triangles, filled circles), in every blend mode, format, source layout, bright, blend image and
// transparency, at every parameter that picks a rule of its own, drawn once
// at the generic level and once at each vector level the machine has; the
// bytes must be equal.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "engine/core/engine_state.h"
#include "engine/softrender/blit.h"
#include "engine/softrender/circle.h"
#include "engine/softrender/fast_rows.h"
#include "engine/softrender/primitive.h"
#include "engine/softrender/triangle.h"
#include "soft_test_util.h"
#include "tests/engine/softrender/primitive_test_image.h"

namespace {

// Sizes that leave tails after every vector width and clip at every edge.
constexpr int kSrcW = 45, kSrcH = 13, kDstW = 70, kDstH = 34;

enum Frame { kBlitPixel, kBlitRun, kStretch, kRotate, kTriangles, kSolid, kFrames };
const char* const kFrameNames[] = {"blit", "run table", "stretch", "rotate", "triangles", "single colour"};

// Random pixels with runs: alphas of 0 and 255 in stretches (so whole vectors
// are skipped or copied) between random ones, and runs of the colour key.
// A 16-bit key sometimes has a bit above 16 set: only the stretched blit's
// plain copy compares its low half.
void FillSource(TestImage& img, std::mt19937& rng, int layout) {
  PIXELSTORE* s = img.store();
  const int fmt = s->format_code;
  if (s->palette)
    for (int i = 0; i < 1024; i++) s->palette[i] = (uint8_t)rng();
  uint32_t key = rng();
  if (layout == (int)SoftSrc::Palette) key &= 0xFF;
  if (layout == (int)SoftSrc::Direct && fmt == 0) key = (key & 0xFFFF) | (rng() % 4 == 0 ? 0x10000 : 0);
  int run = 0;
  uint32_t pick = 0;
  for (int y = 0; y < kSrcH; y++)
    for (int x = 0; x < kSrcW; x++) {
      if (run == 0) {
        run = 1 + (int)(rng() % 20);
        pick = rng() % 4;  // 0: alpha 0 or the key, 1: alpha 255, else random
      }
      run--;
      uint32_t v = rng();
      if (layout == (int)SoftSrc::DirectAlpha) {
        const uint32_t a = pick == 0 ? 0 : pick == 1 ? 255 : (uint32_t)(rng() & 0xFF);
        v = fmt == 0 ? (v & 0xFFFF) | (a << 16) : (v & 0xFFFFFF) | (a << 24);
      } else if (pick == 0) {
        v = key;
      }
      img.set(x, y, v);
    }
  s->transparent_color = key;
}

struct Draw {
  Frame frame;
  int32_t rect[4];  // stretch target
  int x, y;         // blit position, rotation centre
  float angle, scale;
  TriangleVertex tri[3];
  uint32_t colour;
  int32_t box[4];
};

Draw RandomDraw(std::mt19937& rng, Frame frame) {
  Draw d{};
  d.frame = frame;
  d.x = frame == kBlitRun ? 3 + (int)(rng() % 20) : -12 + (int)(rng() % 60);
  d.y = frame == kBlitRun ? 3 + (int)(rng() % 15) : -6 + (int)(rng() % 30);
  // Stretches of every kind: 2x, other whole factors, shrinks, mirrored.
  static const int kScales[][2] = {{2, 1}, {3, 1}, {1, 1}, {3, 2}, {2, 3}, {1, 2}};
  const int* sc = kScales[rng() % 2 ? 0 : rng() % 6];  // twice as large half the time
  int w = kSrcW * sc[0] / sc[1] + (rng() % 3 == 0 ? (int)(rng() % 3) : 0), h = kSrcH * sc[0] / sc[1];
  if (w == kSrcW && h == kSrcH) w++;  // not handed to the blit
  const int x = -10 + (int)(rng() % 30), y = -5 + (int)(rng() % 20);
  const bool mx = rng() % 4 == 0, my = rng() % 4 == 0;
  d.rect[0] = mx ? x + w : x;
  d.rect[2] = mx ? x : x + w;
  d.rect[1] = my ? y + h : y;
  d.rect[3] = my ? y : y + h;
  static const float kAngles[] = {0.0f, 0.3f, 1.1f, 1.5707964f, -2.4f, 3.1f};
  static const float kScaleF[] = {1.0f, 0.7f, 1.6f, 2.0f};
  d.angle = kAngles[rng() % 6];
  d.scale = kScaleF[rng() % 4];
  for (auto& v : d.tri) {
    v.x = -10 + (int)(rng() % 90);
    v.y = -8 + (int)(rng() % 50);
    v.u = -4 + (int)(rng() % (kSrcW + 8));
    v.v = -2 + (int)(rng() % (kSrcH + 4));
  }
  d.colour = rng();
  for (int i = 0; i < 4; i++) d.box[i] = -5 + (int)(rng() % (i % 2 ? kDstH + 10 : kDstW + 10));
  return d;
}

void DrawOnce(const Draw& d, TestImage& dst, TestImage& src, const MEMIMG* graph, int trans) {
  switch (d.frame) {
    case kBlitPixel:
    case kBlitRun: BlitToMEMIMG(&dst.view, &src.view, d.x, d.y, trans, graph); break;
    case kStretch: StretchBlitToMEMIMG(&dst.view, &src.view, d.rect, trans, graph); break;
    case kRotate: RotateBlitToMEMIMG(&dst.view, &src.view, d.x, d.y, d.angle, d.scale, trans, 0, graph); break;
    case kTriangles: RasterTriangleToMEMIMG(&dst.view, &src.view, d.tri, trans, graph, 0); break;
    case kSolid: {
      const uint32_t colour = dst.store()->format_code == 0 ? d.colour & 0xFFFF : d.colour;
      PaintBoxToMEMIMG(&dst.view, d.box, colour);
      RasterTriangleToMEMIMG(&dst.view, nullptr, d.tri, 0, nullptr, (int32_t)colour);
      RasterCircleToMEMIMG(&dst.view, d.x + 20, d.y + 10, 4 + d.box[0] % 20, colour, 1);
      break;
    }
    default: break;
  }
}

// The vector levels this machine can run.
std::vector<SoftSimd> MachineLevels() {
  std::vector<SoftSimd> levels = {SoftSimd::Sse2};
  if (ProcessorHasAvx2()) levels.push_back(SoftSimd::Avx2);
  return levels;
}

class FastPaths : public testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    saved_avx2_ = g_environment.avx2;
    g_environment.avx2 = ProcessorHasAvx2();
  }
  void TearDown() override {
    g_environment.avx2 = saved_avx2_;
    SetSoftSimdLimit(SoftSimd::Avx2);
  }
  int saved_avx2_ = 0;
};

TEST_P(FastPaths, DrawTheSameBytesAsTheGenericKernels) {
  const Frame frame = (Frame)GetParam();
  const uint32_t seed = shapetest::ShapeTestSeed() + (uint32_t)frame;
  std::printf("fast paths against the generic kernels: %s, seed %u\n", kFrameNames[frame], seed);
  std::mt19937 rng(seed);
  BuildSoftBlendTables();
  BuildBlendGraphRamp(60, 90);  // weights from 0 to 255 across the graph bytes
  const int modes[] = {0, 1, 2, 3, 4, 10, 11};
  const int params[] = {0, 1, 64, 128, 200, 254, 255};
  const uint32_t brights[] = {0xFFFFFF, 0xFE40C0};
  const std::vector<SoftSimd> levels = MachineLevels();
  int compared = 0;
  for (int fmt = 0; fmt < 2; fmt++)
    for (int layout = 0; layout < 3; layout++)
      for (int mode : modes)
        for (int p : params)
          for (uint32_t bright : brights)
            for (int graph = 0; graph < 2; graph++)
              for (int trans = 0; trans < 2; trans++) {
                if (frame == kBlitRun && !trans) continue;
                if (frame == kSolid && (layout != 0 || graph || trans)) continue;  // a colour, not an image
                SCOPED_TRACE(testing::Message() << kFrameNames[frame] << ", format " << fmt << ", layout " << layout
                                                << ", mode " << mode << ", p " << p << ", bright " << std::hex
                                                << bright << std::dec << ", blend image " << graph
                                                << ", transparency " << trans);
                TestImage s(kSrcW, kSrcH, fmt, layout == (int)SoftSrc::Palette,
                            layout == (int)SoftSrc::DirectAlpha, 0, frame == kBlitRun);
                FillSource(s, rng, layout);
                if (frame == kBlitRun) BuildRunTable(s);
                TestImage g(kSrcW + 3, kSrcH + 2, MEMIMG_GRAY8);
                for (int y = 0; y < kSrcH + 2; y++)
                  for (int x = 0; x < kSrcW + 3; x++) g.set(x, y, rng() & 0xFF);
                TestImage expected(kDstW, kDstH, fmt);
                for (int y = 0; y < kDstH; y++)
                  for (int x = 0; x < kDstW; x++) expected.set(x, y, rng());
                const std::vector<uint32_t> before = expected.pixels();
                const Draw d = RandomDraw(rng, frame);
                SetDrawState(mode, p, bright, kDstW, kDstH);
                g_soft_draw.draw_area[0] = 2;
                g_soft_draw.draw_area[1] = 1;
                g_soft_draw.draw_area[2] = kDstW - 3;
                g_soft_draw.draw_area[3] = kDstH - 2;
                const MEMIMG* gv = graph ? &g.view : nullptr;
                SetSoftSimdLimit(SoftSimd::Generic);
                DrawOnce(d, expected, s, gv, trans);
                for (SoftSimd level : levels) {
                  TestImage actual(kDstW, kDstH, fmt);
                  for (int y = 0; y < kDstH; y++)
                    for (int x = 0; x < kDstW; x++) actual.set(x, y, before[(size_t)y * kDstW + x]);
                  SetSoftSimdLimit(level);
                  DrawOnce(d, actual, s, gv, trans);
                  ASSERT_EQ(expected.pixels(), actual.pixels()) << "level " << (int)level;
                  compared++;
                }
              }
  EXPECT_GT(compared, frame == kSolid ? 150 : 1000);
}

std::string FrameName(const testing::TestParamInfo<int>& info) {
  static const char* const kNames[] = {"Blit", "RunTable", "Stretch", "Rotate", "Triangles", "SingleColour"};
  return kNames[info.param];
}
INSTANTIATE_TEST_SUITE_P(Frames, FastPaths, testing::Range(0, (int)kFrames), FrameName);

// The alpha copy of 32-bit pixels works on wrapped 16-bit products; checked
// here against the rule itself, (d * (256 - a) + s * a) >> 8 per colour
// byte with byte 3 kept, for every source byte, target byte and alpha, at
// each level, under both classifications: with transparency alpha 0 keeps
// the target and 255 copies the whole source pixel; without it every alpha
// weights. A last row mixes runs of 0, 255 and other alphas, so vectors of
// each kind and of mixed kinds meet in one step.
TEST(FastAlphaCopy32, FollowsTheRuleForEverySourceTargetAndAlpha) {
  const int index = SoftLoopIndex(1, SoftSrc::DirectAlpha, SoftModeIndex(SOFT_BLEND_COPY), false);
  constexpr int kPairs = 65536, kPixels = (kPairs / 3 + 32) / 32 * 32;  // three (s, d) pairs a pixel
  std::vector<uint8_t> src((size_t)kPixels * 4), before((size_t)kPixels * 4), dst;
  for (int q = 0; q < kPixels * 3; q++) {
    const int px = q / 3, c = q % 3, pair = q % kPairs;
    src[(size_t)px * 4 + c] = (uint8_t)pair;
    before[(size_t)px * 4 + c] = (uint8_t)(pair >> 8);
    before[(size_t)px * 4 + 3] = (uint8_t)(px * 37);
  }
  const int saved_avx2 = g_environment.avx2;
  g_environment.avx2 = ProcessorHasAvx2();
  for (SoftSimd level : MachineLevels()) {
    SetSoftSimdLimit(level);
    const FastRowFn row = FindFastRow(index);
    ASSERT_NE(row, nullptr);
    for (bool split : {true, false})
      for (int a = 0; a <= 256; a++) {  // 256: the row of mixed alphas
        auto alpha_of = [a](int px) { return a < 256 ? a : (px / 11) % 4 == 0 ? 0 : (px / 11) % 4 == 1 ? 255 : (px * 37) & 0xFF; };
        for (int px = 0; px < kPixels; px++) src[(size_t)px * 4 + 3] = (uint8_t)alpha_of(px);
        dst = before;
        KernelParams k{};
        k.p = 255;
        k.transparency = split;
        ASSERT_EQ(kPixels, row(k, split ? FAST_ROW_CLASSIFY : FAST_ROW_ALL_WEIGHTED, dst.data(), src.data(), nullptr, kPixels));
        int wrong = 0, first = -1;
        for (int px = 0; px < kPixels; px++) {
          const int al = alpha_of(px);
          for (int c = 0; c < 4; c++) {
            const size_t at = (size_t)px * 4 + c;
            uint8_t want = before[at];
            if (split && al == 255) want = src[at];
            else if (c < 3 && !(split && al == 0)) want = (uint8_t)((before[at] * (256 - al) + src[at] * al) >> 8);
            if (dst[at] != want && wrong++ == 0) first = (int)at;
          }
        }
        ASSERT_EQ(wrong, 0) << "level " << (int)level << ", transparency " << split << ", alpha " << a
                            << ": first at byte " << first << ", source " << (int)src[first] << ", target "
                            << (int)before[first] << ", result " << (int)dst[first];
      }
  }
  SetSoftSimdLimit(SoftSimd::Avx2);
  g_environment.avx2 = saved_avx2;
}

// The switch: at the generic level no fast row is handed out; at a vector
// level the covered kernels have one and the others do not.
TEST(FastPathTable, TheGenericLevelHandsOutNoFastRow) {
  const int saved = g_environment.avx2;
  const int alpha_copy = SoftLoopIndex(1, SoftSrc::DirectAlpha, SoftModeIndex(SOFT_BLEND_COPY), false);
  const int palette_copy = SoftLoopIndex(1, SoftSrc::Palette, SoftModeIndex(SOFT_BLEND_COPY), false);
  SetSoftSimdLimit(SoftSimd::Generic);
  EXPECT_EQ(SoftSimdLevel(), SoftSimd::Generic);
  EXPECT_EQ(FindFastRow(alpha_copy), nullptr);
  SetSoftSimdLimit(SoftSimd::Sse2);
  EXPECT_NE(FindFastRow(alpha_copy), nullptr);
  EXPECT_EQ(FindFastRow(palette_copy), nullptr);
  g_environment.avx2 = 0;
  SetSoftSimdLimit(SoftSimd::Avx2);
  EXPECT_EQ(SoftSimdLevel(), SoftSimd::Sse2);  // never above what the machine has
  g_environment.avx2 = saved;
}

}  // namespace
