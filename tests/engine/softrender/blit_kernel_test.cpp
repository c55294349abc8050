// Every generated kernel of the blit (pixel and run paths), the stretched
// blit and the rotated blit against the plain reference model, over small
// seeded random images, plus the worked examples of the blend rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "engine/softrender/blit.h"
#include "soft_reference.h"
#include "soft_test_util.h"

namespace {

using softref::Draw;
using softref::Frame;
using softref::Src;

constexpr int kSrcW = 9, kSrcH = 7, kDstW = 20, kDstH = 16;

// A source store of the layout, filled at random, with a few pixels equal to
// the colour key and alphas of 0 and 255 among the others.
void FillSource(TestImage& img, std::mt19937& rng, Src src, uint32_t* key) {
  PIXELSTORE* s = img.store();
  if (s->palette)
    for (int i = 0; i < 1024; i++) s->palette[i] = (uint8_t)rng();
  for (int y = 0; y < kSrcH; y++)
    for (int x = 0; x < kSrcW; x++) {
      uint32_t v = rng();
      if (src == softref::kDirectAlpha) {
        uint32_t a = rng() % 4 == 0 ? 0 : rng() % 3 == 0 ? 255 : rng() & 0xFF;
        v = s->format_code == 0 ? (v & 0xFFFF) | (a << 16) : (v & 0xFFFFFF) | (a << 24);
      }
      img.set(x, y, v);
    }
  *key = img.get(3, 2);
  for (int i = 0; i < 6; i++) img.set(rng() % kSrcW, rng() % kSrcH, *key);
  s->transparent_color = *key;
}

struct Geometry {
  int x, y;          // blit
  int32_t rect[4];   // stretch
  int cx, cy;        // rotate
  float angle, scale;
};

Geometry RandomGeometry(std::mt19937& rng, Frame frame) {
  Geometry g{};
  if (frame == softref::kBlitRun) {
    g.x = 2 + rng() % 8;
    g.y = 2 + rng() % 6;
  } else {
    g.x = -5 + (int)(rng() % 20);
    g.y = -5 + (int)(rng() % 16);
  }
  do {
    int w = 1 + rng() % 24, h = 1 + rng() % 20;
    int x = -6 + (int)(rng() % 20), y = -6 + (int)(rng() % 16);
    bool mx = rng() % 2, my = rng() % 3 == 0;
    g.rect[0] = mx ? x + w : x;
    g.rect[2] = mx ? x : x + w;
    g.rect[1] = my ? y + h : y;
    g.rect[3] = my ? y : y + h;
  } while (g.rect[2] - g.rect[0] == kSrcW && g.rect[3] - g.rect[1] == kSrcH);  // not handed to the blit
  static const float kAngles[] = {0.0f, 0.4f, 1.2f, 1.5707964f, -2.5f, 3.0f};
  static const float kScales[] = {1.0f, 0.6f, 1.7f, 2.0f};
  g.angle = kAngles[rng() % 6];
  g.scale = kScales[rng() % 4];
  g.cx = 3 + rng() % 14;
  g.cy = 3 + rng() % 10;
  return g;
}

void RunReal(Frame frame, TestImage& dst, TestImage& src, const MEMIMG* graph, int trans, const Geometry& g) {
  switch (frame) {
    case softref::kBlitPixel:
    case softref::kBlitRun:
      BlitToMEMIMG(&dst.view, &src.view, g.x, g.y, trans, graph);
      break;
    case softref::kStretch:
      StretchBlitToMEMIMG(&dst.view, &src.view, g.rect, trans, graph);
      break;
    case softref::kRotate:
      RotateBlitToMEMIMG(&dst.view, &src.view, g.cx, g.cy, g.angle, g.scale, trans, 0, graph);
      break;
  }
}

// The draw the reference performs after the parameter pre-tests, or false
// when nothing is drawn.
bool ReferenceDraw(Draw* r, int mode, int p, Src src) {
  if (!IsSoftBlendMode(mode)) return false;
  if (mode == 1 && p == 255) mode = 0;
  if ((mode == 1 || mode == 2) && p == 0) return false;
  if (mode == 3 && p == 0 && src != softref::kPalette) return false;
  r->mode = mode;
  return true;
}

class SoftKernelFrames : public testing::TestWithParam<int> {};

TEST_P(SoftKernelFrames, EveryKernelMatchesTheReferenceModel) {
  const int frame = GetParam();
  const uint32_t seed = 20261209 + frame;
  std::printf("software kernel differential test, frame %d, seed %u\n", frame, seed);
  std::mt19937 rng(seed);
  BuildSoftBlendTables();
  BuildBlendGraphRamp(60, 90);  // weights from 0 to 255 across the graph bytes
  const int modes[] = {0, 1, 2, 3, 4, 5, 7, 10, 11};
  const int params[] = {0, 64, 128, 254, 255};
  const uint32_t brights[] = {0xFFFFFF, 0xFE40C0};
  int compared = 0;
  for (int fmt = 0; fmt < 2; fmt++)
    for (int src = 0; src < 3; src++)
      for (int mode : modes)
        for (int p : params)
          for (uint32_t bright : brights)
            for (int graph = 0; graph < 2; graph++)
              for (int trans = 0; trans < 2; trans++) {
                Frame fr = (Frame)frame;
                if (fr == softref::kBlitRun && !trans) continue;
                SCOPED_TRACE(testing::Message() << "frame " << frame << " format " << fmt << " layout " << src
                                                << " mode " << mode << " p " << p << " bright " << std::hex
                                                << bright << std::dec << " graph " << graph << " trans " << trans);
                TestImage s(kSrcW, kSrcH, fmt, src == softref::kPalette, src == softref::kDirectAlpha, 0,
                            fr == softref::kBlitRun);
                TestImage a(kDstW, kDstH, fmt), b(kDstW, kDstH, fmt), gimg(kSrcW + 2, kSrcH + 1, 2);
                uint32_t key;
                FillSource(s, rng, (Src)src, &key);
                if (fr == softref::kBlitRun) BuildRunTable(s);
                for (int y = 0; y < kDstH; y++)
                  for (int x = 0; x < kDstW; x++) {
                    uint32_t v = rng();
                    a.set(x, y, v);
                    b.set(x, y, v);
                  }
                for (int y = 0; y < kSrcH + 1; y++)
                  for (int x = 0; x < kSrcW + 2; x++) gimg.set(x, y, rng() & 0xFF);
                Geometry g = RandomGeometry(rng, fr);
                SetDrawState(mode, p, bright, kDstW, kDstH);
                g_soft_draw.draw_area[0] = 1;
                g_soft_draw.draw_area[1] = 2;
                g_soft_draw.draw_area[2] = kDstW - 1;
                g_soft_draw.draw_area[3] = kDstH - 1;
                const MEMIMG* gv = graph ? &gimg.view : nullptr;
                RunReal(fr, a, s, gv, trans, g);

                Draw r{fr, fmt, (Src)src, mode, p, bright, graph != 0, trans != 0, key};
                if (ReferenceDraw(&r, mode, p, (Src)src)) {
                  if (fr == softref::kBlitPixel || fr == softref::kBlitRun)
                    softref::Blit(r, &b.view, &s.view, gv, g.x, g.y);
                  else if (fr == softref::kStretch)
                    softref::Stretch(r, &b.view, &s.view, gv, g.rect);
                  else
                    softref::Rotate(r, &b.view, &s.view, gv, g.cx, g.cy, g.angle, g.scale);
                }
                ASSERT_EQ(b.pixels(), a.pixels());
                compared++;
              }
  EXPECT_GT(compared, 1000);
}

// Blit pixel path, blit run path, stretched blit, rotated blit.
INSTANTIATE_TEST_SUITE_P(Frames, SoftKernelFrames, testing::Values(0, 1, 2, 3));

// ---- worked examples ----------------------------------------------------------

struct Example {
  const char* what;
  Frame frame;
  int fmt;
  Src src;
  int mode, p;
  uint32_t bright;
  int weight;  // blend-image weight, or -1 for none
  int trans;
  uint32_t source;  // pixel (alpha included) or palette entry
  uint32_t dest;
  uint32_t expected;
};

// Draws a single source pixel over a single destination pixel through the
// frame: the blit at (0, 0), the stretched blit mirrored into 1 x 1, the
// rotated blit unturned about the pixel.
uint32_t DrawExample(const Example& e) {
  TestImage src(1, 1, e.fmt, e.src == softref::kPalette, e.src == softref::kDirectAlpha);
  TestImage dst(1, 1, e.fmt), graph(1, 1, 2);
  if (e.src == softref::kPalette) {
    if (e.fmt == 0)
      StorePixel16(src.store()->palette + 2 * 7, e.source);
    else
      StorePixel32(src.store()->palette + 4 * 7, e.source);
    src.set(0, 0, 7);
    src.store()->transparent_color = 1;
  } else {
    src.set(0, 0, e.source);
    src.store()->transparent_color = ~e.source;
  }
  dst.set(0, 0, e.dest);
  graph.set(0, 0, 9);
  BlendGraphRamp[9] = (uint8_t)(e.weight < 0 ? 0 : e.weight);
  SetDrawState(e.mode, e.p, e.bright, 1, 1);
  const MEMIMG* gv = e.weight >= 0 ? &graph.view : nullptr;
  if (e.frame == softref::kBlitPixel) {
    BlitToMEMIMG(&dst.view, &src.view, 0, 0, e.trans, gv);
  } else if (e.frame == softref::kStretch) {
    int32_t rect[4] = {1, 0, 0, 1};  // mirrored, so not handed to the blit
    StretchBlitToMEMIMG(&dst.view, &src.view, rect, e.trans, gv);
  } else {
    RotateBlitToMEMIMG(&dst.view, &src.view, 0, 0, 0.0f, 1.0f, e.trans, 0, gv);
  }
  return dst.get(0, 0);
}

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr Frame kB = softref::kBlitPixel, kS = softref::kStretch, kR = softref::kRotate;
constexpr Src kPal = softref::kPalette, kDir = softref::kDirect, kAlp = softref::kDirectAlpha;

TEST(SoftKernels, WorkedExamples) {
  BuildSoftBlendTables();
  const Example examples[] = {
      // The blit's own arithmetic.
      {"alpha 64 through the 6-bit mix", kB, 0, kDir, 1, 64, kWhite, -1, 0, 0xF800, 0, 0x3800},
      {"alpha 64 tinted through the difference table", kB, 0, kDir, 1, 64, 0xFEFFFF, -1, 0, 0xF800, 0, 0x3800},
      {"average of white over black", kB, 0, kDir, 1, 128, kWhite, -1, 0, 0xFFFF, 0, 0x7BEF},
      {"average of 32-bit pixels clears byte 3", kB, 1, kDir, 1, 128, kWhite, -1, 0, 0xFF030303, 0xFF010101,
       0x00010101},
      {"unscaled add keeps red saturated", kB, 0, kDir, 2, 255, kWhite, -1, 0, 0xF800, 0xF800, 0xF800},
      {"unscaled add: blue carry sets green", kB, 0, kDir, 2, 255, kWhite, -1, 0, 0x0001, 0x001F, 0x003F},
      {"unscaled add without the guard OR", kB, 0, kDir, 2, 255, kWhite, -1, 0, 0x0020, 0x0000, 0x0000},
      {"scaled add keeps the guard OR", kB, 0, kDir, 2, 254, kWhite, -1, 0, 0x0000, 0x0020, 0x0020},
      {"subtract black from black", kB, 0, kDir, 3, 255, kWhite, -1, 0, 0x0000, 0x0000, 0x0800},
      {"subtract white from black", kB, 0, kDir, 3, 255, kWhite, -1, 0, 0xFFFF, 0x0000, 0x0000},
      {"32-bit unscaled add is bytewise", kB, 1, kDir, 2, 255, kWhite, -1, 0, 0x80808080, 0x90909090, 0xFFFFFFFF},
      {"multiply bytes", kB, 1, kDir, 4, 7, kWhite, -1, 0, 0x00808080, 0xAB808080, 0xAB404040},
      {"multiplied alpha at 255", kB, 1, kDir, 11, 255, kWhite, -1, 0, 0x00404040, 0x12808080, 0x12202020},
      {"add weighted 0 by the blend image", kB, 0, kDir, 2, 200, kWhite, 0, 0, 0xFFFF, 0x1234, 0x1234},
      {"blit copy ignores alpha without transparency", kB, 1, kAlp, 0, 0, kWhite, -1, 0, 0x00FFFFFF, 0xFF000000,
       0x00FFFFFF},
      {"blit copy with a blend image weighs the alpha", kB, 1, kAlp, 0, 0, kWhite, 255, 0, 0x80FFFFFF, 0,
       0x007F7F7F},
      {"stretched copy with a blend image weighs the alpha", kS, 1, kAlp, 0, 0, kWhite, 255, 0, 0x80FFFFFF, 0,
       0x007F7F7F},
      {"16-bit blit copy with a blend image weighs the alpha", kB, 0, kAlp, 0, 0, kWhite, 128, 0, 0x0080FFFF, 0,
       (7u << 11) | (15u << 5) | 7u},
      {"palette subtract at 0 still draws", kB, 0, kPal, 3, 0, kWhite, -1, 0, 0x1234, 0xFFFF, 0xFFDF},
      // Three byte weights times a byte difference do not fit 32 bits.
      {"blit alpha with weight and alpha", kB, 1, kAlp, 1, 254, kWhite, 255, 0, 0xFF000000, 0xFF, 3},
      {"stretched alpha with weight and alpha", kS, 1, kAlp, 1, 254, kWhite, 255, 0, 0xFF000000, 0xFF, 3},
      {"blit add with weight and alpha", kB, 1, kAlp, 2, 255, kWhite, 255, 0, 0xFF0000FF, 0, 252},
      {"blit multiply with weight and alpha", kB, 1, kAlp, 4, 0, kWhite, 255, 0, 0xFF0000FF, 0xFF, 252},
      // Copy (stretched and rotated blits).
      {"graph mix 255, 16-bit", kS, 0, kDir, 0, 0, kWhite, 255, 0, 0xF800, 0, 30u << 11},
      {"graph mix 255, 32-bit", kR, 1, kDir, 0, 0, kWhite, 255, 0, 0x000000FF, 0, 0xFE},
      {"graph-alpha mix 255 x 255", kS, 1, kAlp, 0, 0, kWhite, 255, 0, 0xFF0000FF, 0, 0xFD},
      {"graph mix moves down", kR, 1, kDir, 0, 0, kWhite, 64, 0, 100, 200, 175},
      {"tint red 128", kS, 0, kDir, 0, 0, 0x80FFFF, -1, 0, 0xF800, 0, 15u << 11},
      {"tint blue 254: 255 to 254", kR, 1, kDir, 0, 0, 0xFFFFFE, -1, 0, 0x000000FF, 0xAA000000, 0xAA0000FE},
      {"tint blue 254: 1 to 0", kS, 1, kDir, 0, 0, 0xFFFFFE, -1, 0, 0x00000001, 0xAA000000, 0xAA000000},
      {"tinted green is 6-bit", kS, 0, kDir, 0, 0, 0xFF80FF, -1, 0, 0x07E0, 0, 31u << 5},
      {"alpha 255 copies the whole pixel", kS, 1, kAlp, 0, 0, kWhite, -1, 1, 0xFF123456, 0x00ABCDEF, 0xFF123456},
      {"alpha 0 skipped", kR, 1, kAlp, 0, 0, kWhite, -1, 1, 0x00123456, 0x00ABCDEF, 0x00ABCDEF},
      {"alpha 255 without transparency falls short", kS, 1, kAlp, 0, 0, kWhite, -1, 0, 0xFF0000FF, 0, 0xFE},
      {"mode 1 at 255 is a copy", kR, 1, kDir, 1, 255, kWhite, -1, 0, 0x11223344, 0x55667788, 0x11223344},
      // Alpha.
      {"alpha 254 with weight 255", kS, 1, kDir, 1, 254, kWhite, 255, 0, 0xFF, 0, 252},
      {"alpha 255 with transparency", kR, 1, kAlp, 1, 254, kWhite, -1, 1, 0xFF0000FF, 0, 253},
      {"alpha 255 without transparency", kS, 1, kAlp, 1, 254, kWhite, -1, 0, 0xFF0000FF, 0, 252},
      {"16-bit alpha 255 with transparency", kR, 0, kAlp, 1, 254, kWhite, -1, 1, 0x00FF0000, 31u << 11, 1u << 11},
      {"16-bit alpha 255 without transparency", kS, 0, kAlp, 1, 254, kWhite, -1, 0, 0x00FF0000, 31u << 11, 0},
      {"16-bit cut toward d", kR, 0, kDir, 1, 128, kWhite, -1, 0, 0x0000, 31u << 11, 16u << 11},
      {"32-bit floor", kS, 1, kDir, 1, 128, kWhite, -1, 0, 0x00, 0xFF, 127},
      // Add.
      {"add weight 255, 16-bit", kS, 0, kDir, 2, 255, kWhite, 255, 0, 0xFFFF, 0, (30u << 11) | (62u << 5) | 30u},
      {"add weight 255, 32-bit", kR, 1, kDir, 2, 255, kWhite, 255, 0, 0xFF, 0, 253},
      {"add weight and alpha 255", kS, 1, kAlp, 2, 255, kWhite, 255, 0, 0xFF0000FF, 0, 252},
      {"16-bit add alpha 255 without transparency", kR, 0, kAlp, 2, 255, kWhite, -1, 0, 0x00FFF800, 0, 30u << 11},
      {"16-bit add alpha 255 with transparency", kS, 0, kAlp, 2, 255, kWhite, -1, 1, 0x00FFF800, 0, 31u << 11},
      {"16-bit tinted add weighs alpha first", kS, 0, kAlp, 2, 255, 0x808080, -1, 0, 0x00C8F800, 0x0000, 12u << 11},
      {"add alpha 0 clears byte 3", kR, 1, kAlp, 2, 100, kWhite, -1, 0, 0x00FFFFFF, 0xAA102030, 0x00102030},
      // Subtract.
      {"palette subtract at 0, 16-bit", kS, 0, kPal, 3, 0, kWhite, -1, 0, 0x1234, 0x0000, 0x0800},
      {"palette subtract at 0, 32-bit", kR, 1, kPal, 3, 0, kWhite, -1, 0, 0x1234, 0x12345678, 0x00355778},
      {"stretched bytewise subtract", kS, 1, kDir, 3, 255, kWhite, -1, 0, 0x10101010, 0x80808080, 0x70707070},
      {"stretched bytewise subtract keeps byte 3", kS, 1, kPal, 3, 255, kWhite, -1, 0, 0, 0xFFFFFFFF, 0xFFFFFFFF},
      {"rotated subtract uses guard bits", kR, 1, kDir, 3, 255, kWhite, -1, 0, 0x10101010, 0x80808080, 0x00717170},
      {"subtract alpha 0 without transparency", kS, 0, kAlp, 3, 128, kWhite, -1, 0, 0x0000FFFF, 0x0000, 0x0800},
      // Multiply.
      {"white on white, 16-bit", kS, 0, kDir, 4, 0, kWhite, -1, 0, 0xFFFF, 0xFFFF, 0xF7DE},
      {"white on white, 32-bit", kR, 1, kDir, 4, 128, kWhite, -1, 0, 0xFF, 0xFF, 254},
      {"one weight 255", kS, 0, kDir, 4, 255, kWhite, 255, 0, 0xFFFF, 0xFFFF, (29u << 11) | (61u << 5) | 29u},
      {"one weight 255, 32-bit", kR, 1, kDir, 4, 0, kWhite, 255, 0, 0xFF, 0xFF, 253},
      {"two weights 255", kS, 1, kAlp, 4, 0, kWhite, 255, 0, 0xFF0000FF, 0xFF, 252},
      {"weight 0 writes black", kR, 1, kDir, 4, 0, kWhite, 0, 0, 0xFFFFFF, 0xAAFFFFFF, 0xAA000000},
      {"alpha 255 with transparency", kS, 1, kAlp, 4, 0, kWhite, -1, 1, 0xFF0000FF, 0xFF, 254},
      {"alpha 255 without transparency", kR, 1, kAlp, 4, 0, kWhite, -1, 0, 0xFF0000FF, 0xFF, 253},
      {"alpha 0 without transparency", kS, 1, kAlp, 4, 0, kWhite, -1, 0, 0x00FFFFFF, 0xFFFFFF, 0},
      {"tinted red 128", kR, 0, kDir, 4, 0, 0x80FFFF, -1, 0, 0xF800, 0xF800, 14u << 11},
      // Inverted alpha.
      {"black inverts to white", kS, 0, kDir, 10, 255, kWhite, -1, 0, 0x0000, 0x1234, 0xFFFF},
      {"red inverts to cyan", kR, 0, kDir, 10, 255, kWhite, -1, 0, 0xF800, 0x0000, 0x07FF},
      {"32-bit stops one short", kS, 1, kDir, 10, 255, kWhite, -1, 0, 0x00, 0x00, 0xFEFEFE},
      {"32-bit white to black", kR, 1, kDir, 10, 255, kWhite, -1, 0, 0xFFFFFF, 0xFFFFFF, 0},
      {"weight 255", kS, 0, kDir, 10, 255, kWhite, 255, 0, 0x0000, 0x0000, (30u << 11) | (62u << 5) | 30u},
      {"weight and alpha 255", kR, 1, kAlp, 10, 255, kWhite, 255, 0, 0xFF000000, 0x00, 0xFCFCFC},
      {"inverted alpha 255 with transparency", kS, 1, kAlp, 10, 255, kWhite, -1, 1, 0xFF000000, 0, 0xFEFEFE},
      {"inverted alpha 255 without transparency", kR, 1, kAlp, 10, 255, kWhite, -1, 0, 0xFF000000, 0, 0xFDFDFD},
      {"inverted 16-bit alpha 255 without transparency", kS, 0, kAlp, 10, 255, kWhite, -1, 0, 0x00FF07FF, 0,
       (30u << 11)},
      {"inverted 32-bit cut toward floor", kR, 1, kDir, 10, 128, kWhite, -1, 0, 0xFFFFFF, 0xFFFFFF, 0x7F7F7F},
      {"tint scales the complement", kS, 0, kDir, 10, 255, 0x80FFFF, -1, 0, 0x07FF, 0, 15u << 11},
      {"inverted at 0 changes nothing", kR, 0, kDir, 10, 0, kWhite, -1, 0, 0x0000, 0x1234, 0x1234},
      // Multiplied alpha.
      {"green keeps five more bits", kS, 0, kAlp, 11, 255, kWhite, -1, 0, 0x00800000 | (7u << 5), 9u << 5, 5u << 5},
      {"tinted green does not", kR, 0, kAlp, 11, 255, 0xFFFFFE, -1, 0, 0x00800000 | (7u << 5), 9u << 5, 4u << 5},
      {"multiplied alpha reaches the product", kS, 0, kDir, 11, 255, kWhite, -1, 0, 0xFFFF, 0xFFFF, 0xF7DE},
      {"weight 255 lands one above", kR, 1, kDir, 11, 255, kWhite, 255, 0, 0x00, 0xFF, 1},
  };
  for (const auto& e : examples) EXPECT_EQ(e.expected, DrawExample(e)) << e.what;
}

}  // namespace
