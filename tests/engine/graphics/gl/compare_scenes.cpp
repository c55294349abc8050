// The small scenes: every blend mode at the edges and the middle of its
// parameter with every kind of source, the draw brightness, and the
// crossfade graph (grey, and made from a colour image). Each draws one
// graph at (8, 8) of its cell over the bands of 48 x 48; each draws
// after the draw state was reset (copy mode, white brightness, the whole
// screen as clip, no crossfade, nearest filtering).
#include "tests/engine/graphics/gl/compare_scenes.h"

#include <algorithm>

#include "engine/graphics/graphics.h"
#include "tests/support/png_file.h"

void DrawGround(Ground ground, Cell c) {
  if (ground == Ground::kPlain) {
    PaintFilledBox(c.x, c.y, c.x + 100, c.y + 100, PackScreenColor(30, 40, 60));
    return;
  }
  int size = ground == Ground::kBands48 ? 48 : 100;
  for (int i = 0; i < size; i += 4) {
    int k = i * 48 / size;  // 0 to 47
    PaintFilledBox(c.x, c.y + i, c.x + size, c.y + i + 4, PackScreenColor(255 - k * 4, 40 + k * 3, k * 5));
  }
}

namespace {

constexpr int kAt = 8;       // where the graph lands in its cell
constexpr int kSide = 32;    // the graph's size

struct Bright {
  int r = 255, g = 255, b = 255;
  bool White() const { return r == 255 && g == 255 && b == 255; }
};

// The texel's colour times the brightness, rounded down: the software's
// scale table on its units, the device's stage product of its texture's
// byte cut to the screen's units.
uint32_t Tint(const Rgba& t, Bright b, int depth) {
  if (b.White()) return InUnits(Rgb(t), depth);
  return InUnits(Rgb(soft::Scale(b.r, t.r), soft::Scale(b.g, t.g), soft::Scale(b.b, t.b)), depth);
}

// Paints what a rule makes of each texel of the graph at (8, 8), as the
// path reads its texels at the depth.
template <class F>
void PaintTexels(Prediction* p, Source src, bool device, int depth, F&& rule) {
  for (int y = 0; y < kSide; y++)
    for (int x = 0; x < kSide; x++) {
      Rgba t = device ? DeviceTexel(src, x, y, depth) : SoftTexel(src, x, y, depth);
      p->Paint(kAt + x, kAt + y, [&](uint32_t d, Choices& out) { out.Add(rule(d, t, x, y)); });
    }
}

Model Nothing() {
  return [](const SceneFrames&, Prediction*) {};
}

// ---- multiply and the device's own rows ---------------------------------------------------------

// The software multiply: each channel times the source's over 256; a graph's
// alpha weighs the source once more over 256 (alpha 0 leaves the pixel, 255
// is no weight). The parameter plays no part.
uint32_t SoftMultiply(uint32_t d, const Rgba& t, Source kind, Bright b, int depth) {
  if (kind != kOpaque && t.a == 0) return d;
  bool weighed = kind == kAlpha && t.a < 255;
  return PerChannel(d, Tint(t, b, depth),
                    [&](int, int dd, int s) { return weighed ? s * t.a * dd >> 16 : s * dd >> 8; });
}

// A row of the device's blend table: the stage gives the texel's colour
// times the brightness, and as alpha the parameter times the texel's alpha
// (the parameter alone for a graph drawn without the transparent flag); a
// keyed graph's alpha must pass 16; then the row's factors.
uint32_t DeviceRow(int mode, int param, uint32_t d, const Rgba& t, Source kind, Bright b, int depth) {
  uint32_t c = Tint(t, b, depth);
  int alpha = kind == kOpaque ? param : dev::Mul(t.a, param);
  if (kind == kKeyed && alpha <= 16) return d;
  switch (mode) {
    case 4:  // zero and source colour
      return PerChannel(d, c, [](int, int dd, int s) { return dd * s / 255; });
    case 5:
    case 12: {
      // Source alpha and one, added or taken away: the source term is the
      // colour times the alpha (a texel's alpha below 255 and the parameter
      // as two bytes of weight), cut to whole units, its lowest bit
      // cleared as the software kernels' guard bit.
      static const int kStep16[3] = {8, 4, 8};
      return PerChannel(d, c, [&](int k, int dd, int s) {
        int step = depth == 16 ? kStep16[k] : 1, units = s / step;
        // (a 16-bit target cuts the texel's weight before the parameter's)
        int term = kind != kAlpha || t.a == 255 ? units * alpha / 255
                   : depth == 16               ? units * t.a / 256 * param / 255
                                               : units * t.a * param / 65536;
        term &= ~1;
        return mode == 5 ? std::min(255 / step, dd / step + term) * step : std::max(0, dd / step - term) * step;
      });
    }
    case 6:
    case 7:  // blending off, an alpha channel blends by its alpha
      return kind == kAlpha ? dev::Weighted(d, c, alpha) : c;
    case 9:  // inverse destination colour and zero
      return PerChannel(d, c, [](int, int dd, int s) { return s * (255 - dd) / 255; });
  }
  return d;
}

const char* const kRowsOnly =
    "modes 5, 6, 7, 9 and 12 are rows of the device's blend table only (5 the add inside the three-pass subtract, 6 "
    "and 7 blending off, 9 the inverse destination colour, 12 the subtract row): the software renderer has no kernel "
    "for them and draws nothing; the device draws its row";
const char* const kMultiplyKeyed =
    "multiply of a colour-keyed graph: the device's alpha test (above 16) takes the texture's alpha times the blend "
    "parameter, so up to 16 the device draws nothing; the software multiply reads no parameter";
const char* const kMultiplyAlpha =
    "multiply of a graph with an alpha channel: the device's blend unit multiplies by the source colour (zero and "
    "source colour), which no alpha weighs, so every texel multiplies; the software multiply weighs the source by "
    "its alpha over 256 first (alpha 0 leaves the pixel), darkening towards black as the alpha falls";
const char* const kAddSubtract16 =
    "add and subtract at 16 bits: the device's 16-bit graph texture keeps five bits of green and weighs them by the "
    "parameter before its add, so the lost bit and each path's cut of the weighing part the two by up to three steps "
    "of green";
const char* const kMode11 =
    "mode 11 moves towards the product of source and destination by the parameter: the device mixes the texture "
    "towards white by the parameter in a texture stage and multiplies in the blend unit, the software kernel "
    "multiplies first and then moves by the parameter; the exact results lie within one unit, each path cuts twice "
    "(up to one unit each time, at other places), so the two part by up to two units (at 16 bits green by one more, "
    "the texture's lost bit)";

Expectation BlendExpectation(int mode, int param, Source src, Bright b) {
  Expectation e;
  switch (mode) {
    case 2:
    case 3:
      if (src != kAlpha && param > 0 && param < 255) {
        e.rule = kAddSubtract16;
        e.bound.at16.t[1] += 1;
      }
      break;
    case 4:
      if (src == kOpaque || (src == kKeyed && param > 16)) break;
      e.rule = src == kKeyed ? kMultiplyKeyed : kMultiplyAlpha;
      e.software = [=](const SceneFrames& f, Prediction* p) {
        PaintTexels(p, src, false, f.depth,
                    [&](uint32_t d, const Rgba& t, int, int) { return SoftMultiply(d, t, src, b, f.depth); });
      };
      e.device = [=](const SceneFrames& f, Prediction* p) {
        PaintTexels(p, src, true, f.depth,
                    [&](uint32_t d, const Rgba& t, int, int) { return DeviceRow(4, param, d, t, src, b, f.depth); });
      };
      break;
    case 5:
    case 6:
    case 7:
    case 9:
    case 12:
      e.rule = kRowsOnly;
      e.software = Nothing();
      e.device = [=](const SceneFrames& f, Prediction* p) {
        PaintTexels(p, src, true, f.depth,
                    [&](uint32_t d, const Rgba& t, int, int) { return DeviceRow(mode, param, d, t, src, b, f.depth); });
      };
      break;
    case 11:
      if (param == 0) break;  // both leave every pixel
      e.rule = kMode11;
      e.bound = ClaimPlus(1, 1);
      break;
  }
  return e;
}

// ---- the crossfade ----------------------------------------------------------------------------

struct Crossfade {
  int mode, range, param;  // blend mode (parameter 200 in mode 1), border range and parameter
};

// The software renderer weighs each pixel by its ramp, with the graph's
// alpha and, in mode 1, the parameter: the destination moves towards the
// texel by their product over 256 a weight.
uint32_t SoftCrossfade(uint32_t d, const Rgba& t, Source kind, int byte, Crossfade x) {
  if (kind != kOpaque && t.a == 0) return d;
  int64_t product = soft::Ramp(x.param, x.range, byte);
  int weights = 1;
  if (kind == kAlpha && t.a < 255) product *= t.a, weights++;
  if (x.mode == 1) product *= 200, weights++;
  return PerChannel(d, Rgb(t), [&](int, int dd, int s) { return soft::Move(dd, s, product, weights); });
}

// The device's stages: stage 0 takes the crossfade byte (plus or minus the
// texture factor's alpha in a soft band), the next scale it by the band's
// factor and weigh it by the graph's alpha and the vertex alpha (255 in
// copy mode, the parameter in mode 1), each cut to a byte. A hard edge
// draws the pixels whose alpha reaches the reference whole, blending off; a
// soft one blends by the alpha. A border parameter of 255 draws nothing.
uint32_t DeviceCrossfade(uint32_t d, const Rgba& t, Source kind, int byte, Crossfade x, int depth) {
  if (x.param == 255) return d;
  int p = x.param, r = x.range, scale = 1, a0 = byte;
  if (r > 1) {
    int t0, below, factor;
    if (r <= 64) {
      t0 = 1280 - p * 1280 / 255, below = 1024, scale = 4;
      factor = t0 < below ? 255 - t0 * 255 / 1024 : (t0 * 64 - 65536) / 256;
    } else if (r <= 128) {
      t0 = 768 - p * 768 / 255, below = 512, scale = 2;
      factor = t0 < below ? 255 - t0 * 255 / 512 : (t0 * 128 - 65536) / 256;
    } else {
      t0 = 512 - p * 512 / 255, below = 256, scale = 1;
      factor = t0 < below ? 255 - t0 * 255 / 256 : (t0 * 255 - 65280) / 256;
    }
    factor = std::clamp(factor, 0, 255);
    a0 = std::clamp(t0 < below ? byte - factor : byte + factor, 0, 255);
  }
  int vertex = x.mode == 1 ? 200 : 255;
  auto scaled = [scale](int a, int b) { return std::min(255, (int)((double)scale * a * b / 255.0 + 0.002)); };
  int alpha;
  if (kind == kOpaque) {
    alpha = scaled(vertex, a0);
  } else if (kind == kAlpha) {
    alpha = dev::Mul(vertex, dev::Mul(t.a, scaled(255, a0)));
  } else {
    alpha = dev::Mul(vertex, scaled(t.a, a0));
  }
  uint32_t c = InUnits(Rgb(t), depth);
  if (r <= 1) {
    int ref = p == 0 && kind != kOpaque ? 1 : p;
    return alpha >= ref ? c : d;
  }
  return dev::Weighted(d, c, alpha);
}

const char* const kHardCrossfade =
    "a hard-edged crossfade (range 0 or 1): the device's alpha test keeps the pixels whose crossfade byte, times the "
    "graph's alpha and the vertex alpha (the parameter in mode 1), reaches the border parameter (1 for keyed and "
    "alpha graphs at 0) and draws them whole, blending off; the software renderer weighs every pixel by its ramp (0 "
    "below the border, (256 - border) / 256 at it, at range 1 the next byte too, 255 above) times the graph's alpha "
    "and the parameter, each over 256";
const char* const kSoftCrossfade =
    "a soft crossfade: the device's stage adds the texture factor's alpha to the crossfade byte or takes it away and "
    "the next scales the sum by 4, 2 or 1 (ranges up to 64, up to 128, above) before the graph's alpha and the "
    "vertex alpha weigh it, then blends by it; the software ramp rises by 256 / (range + 1) a byte from its base and "
    "weighs with the graph's alpha and the parameter, each over 256";

// A crossfade graph of one byte a pixel, a ramp across and a step down;
// from a colour image its red is the byte, its green and blue other values.
enum FadeKind { kGreyFade, kColourFade, kPngFade };
const char* const kFadeName[] = {"crossfade", "colour crossfade", "png crossfade"};

uint32_t FadeColour(int x, int y) {
  int byte = CrossfadeByte(kSide, x, y);
  return Rgb(byte, 255 - byte, (x * 7 + y * 13) & 255);
}

int MakeCrossfadeGraph(FadeKind kind) {
  if (kind == kGreyFade) return MakeGreyCrossfadeGraph(kSide);
  SetGraphCreateBlendImage(1);
  int graph = -1;
  if (kind == kColourFade) {
    graph = MakeGraph(kSide, kSide, [](int x, int y) {
      uint32_t c = FadeColour(x, y);
      return Rgba{Red(c), Green(c), Blue(c), 255};
    });
  } else {
    std::vector<uint32_t> pixels((size_t)kSide * kSide);
    for (int y = 0; y < kSide; y++)
      for (int x = 0; x < kSide; x++) pixels[(size_t)y * kSide + x] = FadeColour(x, y);
    if (WriteRgbPng("fade.png", pixels, kSide, kSide)) graph = LoadGraphFromFile("fade.png");
  }
  SetGraphCreateBlendImage(0);
  return graph;
}

CompareScene CrossfadeScene(FadeKind fade, Crossfade x, Source src) {
  std::string name = std::string(kFadeName[fade]) + " mode " + std::to_string(x.mode) + " range " +
                     std::to_string(x.range) + " param " + std::to_string(x.param) + " " + kSourceName[src];
  Expectation e;
  e.rule = x.range <= 1 ? kHardCrossfade : kSoftCrossfade;
  e.software = [=](const SceneFrames& f, Prediction* p) {
    PaintTexels(p, src, false, f.depth, [&](uint32_t d, const Rgba& t, int tx, int ty) {
      return SoftCrossfade(d, t, src, CrossfadeByte(kSide, tx, ty), x);
    });
  };
  e.device = [=](const SceneFrames& f, Prediction* p) {
    PaintTexels(p, src, true, f.depth, [&](uint32_t d, const Rgba& t, int tx, int ty) {
      return DeviceCrossfade(d, t, src, CrossfadeByte(kSide, tx, ty), x, f.depth);
    });
  };
  return {name, Ground::kBands48,
          [=](Cell c) {
            int g = MakeSource(src);
            int blend = MakeCrossfadeGraph(fade);
            ASSERT_GE(blend, 0);
            SelectBlendMode(x.mode, x.mode ? 200 : 0);
            ASSERT_EQ(SetCrossfadeGraph(blend, x.param, x.range), 0);
            PaintGraph(c.x + kAt, c.y + kAt, g, src != kOpaque);
            SetCrossfadeGraph(-1, 0, 0);
          },
          e};
}

}  // namespace

std::vector<CompareScene> SmallScenes() {
  std::vector<CompareScene> s;
  const Ground background = Ground::kBands48;
  for (int mode = 0; mode <= 13; mode++)
    for (int param : {0, 1, 127, 128, 254, 255})
      for (Source src : {kOpaque, kAlpha, kKeyed})
        s.push_back({"mode " + std::to_string(mode) + " param " + std::to_string(param) + " " + kSourceName[src],
                     background,
                     [=](Cell c) {
                       int g = MakeSource(src);
                       SelectBlendMode(mode, param);
                       PaintGraph(c.x + kAt, c.y + kAt, g, src != kOpaque);
                     },
                     BlendExpectation(mode, param, src, Bright{})});
  // Draw brightness in the modes the brightness weighs differently.
  for (int mode : {0, 1, 2, 3, 4, 10, 11})
    for (Source src : {kOpaque, kAlpha, kKeyed})
      s.push_back({"brightness mode " + std::to_string(mode) + " " + kSourceName[src], background,
                   [=](Cell c) {
                     int g = MakeSource(src);
                     SelectBlendMode(mode, 160);
                     SetPaintBrightness(200, 100, 50);
                     PaintGraph(c.x + kAt, c.y + kAt, g, src != kOpaque);
                   },
                   BlendExpectation(mode, 160, src, Bright{200, 100, 50})});
  // The crossfade: hard edges (range 0 and 1), a narrow and a wide ramp.
  for (int mode : {0, 1})
    for (int range : {0, 1, 64, 200})
      for (int param : {0, 128, 148, 255})  // 148: bytes equal to the border
        for (Source src : {kOpaque, kAlpha, kKeyed}) s.push_back(CrossfadeScene(kGreyFade, {mode, range, param}, src));
  // A crossfade graph made from a colour image or an RGB file weighs by its red.
  for (FadeKind fade : {kColourFade, kPngFade}) {
    s.push_back(CrossfadeScene(fade, {0, 0, 128}, kOpaque));
    s.push_back(CrossfadeScene(fade, {1, 64, 148}, kAlpha));
    s.push_back(CrossfadeScene(fade, {0, 200, 148}, kKeyed));
  }
  return s;
}
