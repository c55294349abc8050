// Every textured span writer (pixel group x blend mode x blend graph x bright
// x alpha channel x transparent flag) against a plain per-pixel model of the
// blend rules, on small seeded random images and triangles. Which texel lands
// on which pixel is taken from a probe draw of texel numbers, so the model
// only has to know the pixel rules.
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>

#include "engine/softrender/triangle.h"
#include "tests/engine/softrender/primitive_test_image.h"
#include "tests/engine/softrender/triangle_walk.h"

namespace {

using namespace shapetest;

enum Group { kDirect16, kPalette16, kDirect32, kPalette32 };
const char* kGroupNames[] = {"direct16", "palette16", "direct32", "palette32"};
const int kModes[] = {0, 1, 2, 3, 4, 10, 11};

struct Variant {
  int group;
  int mode;
  bool graph, bright, alpha, trans;
};

int64_t ST(int64_t a, int64_t x) { return a * x / 255; }
int64_t SD(int64_t a, int64_t k) { return a * k / 255; }  // C division truncates toward zero

// Channels in the order red, green, blue.
void Split(bool wide, uint32_t v, int64_t ch[3]) {
  if (wide) {
    ch[0] = (v >> 16) & 255;
    ch[1] = (v >> 8) & 255;
    ch[2] = v & 255;
  } else {
    ch[0] = (v >> 11) & 31;
    ch[1] = (v >> 5) & 63;
    ch[2] = v & 31;
  }
}
uint32_t Join(bool wide, const int64_t ch[3]) {
  if (wide) return (uint32_t)((ch[0] << 16) | (ch[1] << 8) | ch[2]);
  return (uint32_t)((ch[0] << 11) | (ch[1] << 5) | ch[2]);
}

uint32_t PackedAdd(bool wide, uint32_t s, uint32_t d) {
  if (wide) {
    uint32_t t = (s & 0x00FEFEFF) + (d & 0x00FEFEFF);
    uint32_t m = t & 0x01010100;
    return (m - (m >> 8)) | t | ((d | s) & 0x00010100);
  }
  uint32_t t = (s & 0xF7DEF7DF) + (d & 0xF7DEF7DF);
  uint32_t m = t & 0x08210820;
  return ((m - (m >> 5)) | t | ((d | s) & 0x0820)) & 0xFFFF;
}
uint32_t PackedSubtract(bool wide, uint32_t s, uint32_t d) {
  if (wide) {
    uint32_t t = (d | 0x01010100) - (s & 0xFEFEFEFF);
    uint32_t m = t & 0x01010100;
    return (m - (m >> 8)) & t;
  }
  uint32_t t = (d | 0x08210820) - (s & 0xF7DEF7DF);
  uint32_t m = t & 0x08210820;
  return ((m - (m >> 5)) & t) & 0xFFFF;
}

// The model of one textured pixel. raw: the texel as stored (index, 16-bit
// word, 4-byte word); colour: its colour (palette entry for an index);
// alpha: its alpha; w: the ramp weight. False when the pixel is left alone.
bool ModelPixel(const Variant& vr, uint32_t p, uint32_t bright, uint32_t key, uint32_t raw, uint32_t colour,
                uint32_t alpha, uint32_t w, uint32_t d, uint32_t* out) {
  bool wide = vr.group == kDirect32 || vr.group == kPalette32;
  bool pal = vr.group == kPalette16 || vr.group == kPalette32;
  bool A = vr.alpha && !pal, G = vr.graph, T = vr.bright;
  int mode = vr.mode;
  const int64_t maxv[3] = {wide ? 255 : 31, wide ? 255 : 63, wide ? 255 : 31};
  const int bits[3] = {wide ? 8 : 5, wide ? 8 : 6, wide ? 8 : 5};
  const int64_t b[3] = {(bright >> 16) & 255, (bright >> 8) & 255, bright & 255};

  if (vr.trans && !A && raw == key) return false;
  bool useA = A;
  if (A && vr.trans) {
    if (alpha == 0 && mode != 4 && mode != 11) return false;
    if (alpha == 255) useA = false;
  }
  int64_t s[3], dc[3], r[3];
  Split(wide, colour, s);
  Split(wide, d, dc);
  uint32_t keep3 = wide ? (d & 0xFF000000u) : 0;

  if (mode == 2 || mode == 3) {
    int64_t add[3];
    for (int i = 0; i < 3; i++) {
      int64_t x = s[i];
      if (!wide) {
        int64_t y;
        if (!G && !useA) y = T ? ST(b[i], x) : x;
        else if (!G) y = T ? ST(b[i], (x * alpha) >> 8) : (x * alpha) >> 8;
        else if (!useA) y = ((T ? ST(b[i], x) : x) * w) >> 8;
        else y = ((T ? ST(b[i], x) : x) * w * alpha) >> 16;
        add[i] = ST(p, y);
      } else {
        int64_t xb = T ? ST(b[i], x) : x;
        if (!G && !useA) add[i] = ST(p, xb);
        else if (!G) add[i] = (xb * alpha * p) >> 16;
        else if (!useA) add[i] = (xb * w * p) >> 16;
        else add[i] = (xb * alpha * w * p) >> 24;
      }
    }
    uint32_t sv = Join(wide, add);
    *out = mode == 2 ? PackedAdd(wide, sv, d) : PackedSubtract(wide, sv, d);
    return true;
  }
  if (mode == 0) {
    if (!G && !useA) {
      if (!T) {
        *out = wide ? colour : (colour & 0xFFFF);
        return true;
      }
      for (int i = 0; i < 3; i++) r[i] = ST(b[i], s[i]);
      *out = Join(wide, r) | keep3;
      return true;
    }
    for (int i = 0; i < 3; i++) {
      int64_t sv = T ? ST(b[i], s[i]) : s[i];
      if (G && useA) r[i] = ((dc[i] << 16) + (sv - dc[i]) * w * alpha) >> 16;
      else r[i] = ((dc[i] << 8) + (sv - dc[i]) * (G ? w : alpha)) >> 8;
    }
    *out = Join(wide, r) | keep3;
    return true;
  }
  if (mode == 4) {
    for (int i = 0; i < 3; i++) {
      int64_t sv = T ? ST(b[i], s[i]) : s[i];
      int64_t f = 1, sh = bits[i];
      if (useA) f *= alpha, sh += 8;
      if (G) f *= w, sh += 8;
      r[i] = (sv * f * dc[i]) >> sh;
    }
    *out = Join(wide, r) | keep3;
    return true;
  }
  // Modes 1, 10 and 11: a target per channel, then the weights of mode 1.
  for (int i = 0; i < 3; i++) {
    int64_t sv = s[i];
    if (mode == 10) sv = maxv[i] - sv;
    if (T) sv = ST(b[i], sv);
    int64_t target = mode == 11 ? (sv * dc[i]) >> bits[i] : sv;
    if (!G && !useA) r[i] = wide ? ((dc[i] << 8) + (target - dc[i]) * p) >> 8 : dc[i] + SD(p, target - dc[i]);
    else if (G && useA) r[i] = ((dc[i] << 24) + (target - dc[i]) * w * alpha * p) >> 24;
    else r[i] = ((dc[i] << 16) + (target - dc[i]) * (G ? w : alpha) * p) >> 16;
  }
  if (mode == 11 && vr.group == kDirect16 && !G && !T && A && useA) {
    int64_t dg = d & 0x07E0;
    int64_t pg = ((int64_t)(colour & 0x07E0) * dg) >> 11;
    r[1] = ((((pg - dg) * alpha * p) + (dg << 16)) >> 16 & 0x07E0) >> 5;
  }
  *out = Join(wide, r) | keep3;
  return true;
}

// Whole-draw shortcuts of the blend parameter.
bool DrawsAnything(const Variant& vr, uint32_t p) {
  bool pal = vr.group == kPalette16 || vr.group == kPalette32;
  if ((vr.mode == 1 || vr.mode == 2) && p == 0) return false;
  if (vr.mode == 3 && p == 0 && !pal) return false;
  return true;
}

class TriangleReferenceTest : public ShapeDrawTest {};

TEST_F(TriangleReferenceTest, WalkAndTexturePositionsFollowTheStepByStepSetUp) {
  const uint32_t seed = ShapeTestSeed();
  std::printf("seed %u\n", seed);
  std::mt19937 rng(seed);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int kW = 24, kH = 20, kTexW = 9, kTexH = 8;
  ShapeImage tex(kTexW, kTexH, MEMIMG_X8R8G8B8);
  for (int y = 0; y < kTexH; y++)
    for (int x = 0; x < kTexW; x++) tex.set(x, y, (uint32_t)(y << 16 | x));
  int compared = 0;
  for (int round = 0; round < 400; round++) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
    TriangleVertex tri[3];
    for (auto& t : tri) t = {rnd(0, kW + 3), rnd(0, kH + 3), rnd(0, kTexW + 2), rnd(0, kTexH + 2)};
    if (round % 4 == 0) tri[1].y = tri[0].y;  // flat tops and bottoms
    if (round % 4 == 1) tri[2].y = tri[1].y;
    int x1 = rnd(0, 5), y1 = rnd(0, 5);
    SetArea(x1, y1, rnd(x1 + 1, kW), rnd(y1 + 1, kH));
    ShapeImage dst(kW, kH, MEMIMG_X8R8G8B8);
    dst.fill(0xFFFFFFFF);
    RasterTriangleToMEMIMG(dst.img(), tex.img(), tri, 0, nullptr, 0);
    std::vector<uint32_t> expect(kW * kH, 0xFFFFFFFF);
    StepByStepWalk(tri, g_soft_draw.draw_area, [&](int x, int y, uint32_t u, uint32_t v) {
      ASSERT_EQ(expect[y * kW + x], 0xFFFFFFFFu) << "the walk visits " << x << ", " << y << " twice";
      if (u < (uint32_t)kTexW << 18 && v < (uint32_t)kTexH << 18) expect[y * kW + x] = (v >> 18) << 16 | (u >> 18);
    });
    for (int y = 0; y < kH; y++)
      for (int x = 0; x < kW; x++) {
        ASSERT_EQ(dst.get(x, y), expect[y * kW + x]) << x << ", " << y;
        compared += expect[y * kW + x] != 0xFFFFFFFF;
      }
  }
  EXPECT_GT(compared, 1000);
}

TEST_F(TriangleReferenceTest, EveryTexturedWriterMatchesThePixelModel) {
  const uint32_t seed = ShapeTestSeed();
  std::printf("seed %u\n", seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto rnd32 = [&] { return (uint32_t)rng(); };

  const int kW = 18, kH = 14, kTexW = 7, kTexH = 6;
  const uint32_t kParams[] = {0, 1, 77, 128, 254, 255};
  std::vector<Variant> variants;
  for (int group = 0; group < 4; group++)
    for (int mode : kModes)
      for (int bits = 0; bits < 16; bits++) {
        Variant v{group, mode, (bits & 8) != 0, (bits & 4) != 0, (bits & 2) != 0, (bits & 1) != 0};
        bool pal = group == kPalette16 || group == kPalette32;
        if (pal && v.alpha) continue;  // palettised groups never test the alpha flag
        variants.push_back(v);
      }
  ASSERT_EQ(variants.size(), 7u * 48u);

  for (const Variant& vr : variants) {
    for (uint32_t p : kParams) {
      SCOPED_TRACE(std::string(kGroupNames[vr.group]) + " mode " + std::to_string(vr.mode) + " graph " +
                   std::to_string(vr.graph) + " bright " + std::to_string(vr.bright) + " alpha " +
                   std::to_string(vr.alpha) + " trans " + std::to_string(vr.trans) + " p " + std::to_string(p));
      bool wide = vr.group == kDirect32 || vr.group == kPalette32;
      bool pal = vr.group == kPalette16 || vr.group == kPalette32;
      int fmt = wide ? MEMIMG_X8R8G8B8 : MEMIMG_R5G6B5;

      TriangleVertex tri[3];
      for (auto& t : tri) t = {rnd(-3, kW + 2), rnd(-3, kH + 2), rnd(-1, kTexW + 1), rnd(-1, kTexH + 1)};
      int ax1 = rnd(0, 4), ay1 = rnd(0, 4);
      SetArea(ax1, ay1, rnd(ax1 + 1, kW), rnd(ay1 + 1, kH));

      // Probe: which texel lands on which pixel.
      SetBlend(0, 255);
      g_soft_draw.draw_bright = SOFT_BRIGHT_WHITE;
      ShapeImage probe_tex(kTexW, kTexH, MEMIMG_X8R8G8B8);
      for (int y = 0; y < kTexH; y++)
        for (int x = 0; x < kTexW; x++) probe_tex.set(x, y, (uint32_t)(y << 16 | x));
      ShapeImage probe(kW, kH, MEMIMG_X8R8G8B8);
      probe.fill(0xFFFFFFFF);
      RasterTriangleToMEMIMG(probe.img(), &probe_tex.view, tri, 0, nullptr, 0);

      ShapeImage tex(kTexW, kTexH, fmt, pal, vr.alpha && !pal);
      for (int y = 0; y < kTexH; y++)
        for (int x = 0; x < kTexW; x++) {
          uint32_t v = rnd32();
          if (!pal && (vr.alpha || wide)) {
            // Alphas of 0 and 255 take their own paths.
            int pick = rnd(0, 3);
            uint32_t a = pick == 0 ? 0 : pick == 1 ? 255 : (v >> 24);
            v = wide ? (v & 0x00FFFFFF) | (a << 24) : (v & 0xFF00FFFF) | (a << 16);
          }
          tex.set(x, y, pal ? v & 0xFF : v);
        }
      if (pal)
        for (int i = 0; i < 256; i++) {
          if (wide)
            tex.set_palette32(i, rnd32());
          else
            tex.set_palette16(i, rnd32() & 0xFFFF);
        }
      tex.store.transparent_color = tex.get(rnd(0, kTexW - 1), rnd(0, kTexH - 1));
      ShapeImage graph(kTexW + rnd(0, 2), kTexH + rnd(0, 2), MEMIMG_GRAY8);
      for (auto& g : graph.pixels) g = (uint8_t)rnd32();
      for (int i = 0; i < 256; i++) BlendGraphRamp[i] = (uint8_t)(i % 5 == 0 ? 0 : i % 7 == 0 ? 255 : rnd32());
      uint32_t bright = vr.bright ? (rnd(0, 1) ? rnd32() & 0x00FFFFFE : 0x00FF80FF) : 0xA5FFFFFF;

      ShapeImage dst(kW, kH, fmt);
      for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++) dst.set(x, y, wide ? rnd32() : rnd32() & 0xFFFF);
      ShapeImage before(kW, kH, fmt);
      before.pixels = dst.pixels;

      SetBlend(vr.mode, (int)p);
      g_soft_draw.draw_bright = bright;
      RasterTriangleToMEMIMG(dst.img(), &tex.view, tri, vr.trans ? 1 : 0, vr.graph ? &graph.view : nullptr, 0);

      bool draws = DrawsAnything(vr, p);
      Variant model = vr;
      if (vr.mode == 1 && p == 255) model.mode = 0;
      int mismatches = 0;
      for (int y = 0; y < kH && mismatches < 3; y++)
        for (int x = 0; x < kW && mismatches < 3; x++) {
          uint32_t d = before.get(x, y), expect = d;
          uint32_t id = probe.get(x, y);
          if (draws && id != 0xFFFFFFFF) {
            int u = id & 0xFFFF, v = id >> 16;
            uint32_t raw = tex.get(u, v);
            uint32_t colour = raw, alpha = 255;
            if (pal) {
              colour = 0;
              std::memcpy(&colour, tex.palette.data() + raw * (wide ? 4 : 2), wide ? 4 : 2);
            } else if (vr.alpha) {
              alpha = wide ? raw >> 24 : (raw >> 16) & 255;
              if (!wide) colour = raw & 0xFFFF;
            }
            uint32_t w = BlendGraphRamp[graph.get(u, v)];
            uint32_t out;
            if (ModelPixel(model, p, bright, tex.store.transparent_color, raw, colour, alpha, w, d, &out)) expect = out;
          }
          uint32_t got = dst.get(x, y);
          if (got != expect) {
            ADD_FAILURE() << "pixel (" << x << ", " << y << "): got 0x" << std::hex << got << ", expected 0x" << expect
                          << " (was 0x" << d << ")";
            mismatches++;
          }
        }
      if (mismatches) return;
    }
  }
}

}  // namespace
