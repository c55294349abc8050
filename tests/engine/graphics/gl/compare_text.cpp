// The large scenes of text and of draw-target graphs. A glyph's levels are
// not known to the test: the models read them back from the software
// frame, by the software renderer's rule, and predict the device's pixels
// from the same levels by the device's rule.
#include <algorithm>
#include <cmath>
#include <memory>

#include "engine/font/font.h"
#include "engine/font/font_internal.h"
#include "engine/graphics/graphics.h"
#include "tests/engine/graphics/gl/compare_scenes.h"

namespace {

// ---- text -----------------------------------------------------------------------------------

// The strings keep a space between their glyphs, so that no glyph's edge
// reaches its neighbour's pixels.
const char* const kLines[2] = {"V o 落", "物 d r"};
const int kLineY[2] = {10, 50};
const uint32_t kTextColour[2] = {0xFAE65A, 0x5AE6FA}, kEdgeColour[2] = {0xC81414, 0x1414C8};
constexpr int kSplit = 44;            // the first line lies above, the second below
constexpr int kTop = 4, kBottom = 92;  // the rows the text may reach

struct TextKind {
  bool antialias, edged;
  int edge;  // the edge stamp's size
  int mode;  // 0 copy, 1 alpha at 128
};

uint32_t Move(uint32_t d, uint32_t s, int64_t product, int weights) {
  return PerChannel(d, s, [&](int, int a, int b) { return soft::Move(a, b, product, weights); });
}

// The software renderer's pixel of a glyph level g (0 to 15; 0 leaves the
// pixel) with an edge level e, written into the work image (a plain font's
// glyph and edge opaque, an antialiased glyph with alpha g x 16, an edged
// one mixed with its edge) and blitted by its alpha (over 256) and, in mode
// 1, the parameter.
uint32_t SoftGlyph(uint32_t d, int g, int e, uint32_t c, uint32_t edge, const TextKind& kind) {
  if (g == 0 && e == 0) return d;
  const int mode = kind.mode;
  int alpha;
  uint32_t colour;
  if (!kind.antialias) {
    colour = g ? c : edge;
    return mode ? Move(d, colour, 128, 1) : colour;
  }
  if (!kind.edged) {
    alpha = g * 16, colour = c;
  } else if (g == 0) {
    alpha = e * 16, colour = edge;
  } else if (g == 15) {
    alpha = 255, colour = c;
  } else {
    alpha = g * 16 + (15 - g) * e;
    int t = g * 4096 / alpha;
    colour = PerChannel(c, edge, [t](int, int tc, int ec) { return ec + (int)std::floor((tc - ec) * t / 256.0); });
  }
  if (alpha == 255) return mode ? Move(d, colour, 128, 1) : colour;
  return mode ? Move(d, colour, (int64_t)alpha * 128, 2) : Move(d, colour, alpha, 1);
}

// The device's layers: the edge graph's level and then the glyph's, each a
// nibble of alpha read as v x 17, weighed by the parameter in mode 1.
uint32_t DeviceGlyph(uint32_t d, int g, int e, uint32_t c, uint32_t edge, int mode) {
  auto layer = [mode](uint32_t under, uint32_t colour, int level) {
    if (level == 0) return under;
    int alpha = level * 17;
    return dev::Weighted(under, colour, mode ? dev::Mul(alpha, 128) : alpha);
  };
  return layer(layer(d, edge, e), c, g);
}

// What the software frame shows at each pixel, read back as levels: the
// glyph's and the edge's (the edge of a plain edged font is 15 or 0, its
// glyph 15 or 0), with every pair the frame cannot tell apart.
struct Levels {
  std::vector<std::pair<int, int>> fits;  // (glyph, edge) within the tolerance, nearest first; the nearest when none is
};

struct TextReading {
  Cell cell{-1, -1};
  int depth = 0;
  std::vector<Levels> px;  // kBottom - kTop rows of 100
};

bool Near(uint32_t a, uint32_t b, const Tolerance& t, int depth) {
  for (int k = 0; k < 3; k++)
    if (UnitDifference(a, b, k, depth) > t.t[k]) return false;
  return true;
}

int Distance(uint32_t a, uint32_t b, int depth) {
  int sum = 0;
  for (int k = 0; k < 3; k++) sum += UnitDifference(a, b, k, depth);
  return sum;
}

const TextReading& ReadLevels(const SceneFrames& f, const TextKind& kind, const Tolerance& tolerance,
                              TextReading* cache) {
  if (cache->cell.x == f.cell.x && cache->cell.y == f.cell.y && cache->depth == f.depth) return *cache;
  cache->cell = f.cell, cache->depth = f.depth;
  cache->px.assign((size_t)(kBottom - kTop) * 100, {});
  for (int y = kTop; y < kBottom; y++)
    for (int x = 0; x < 100; x++) {
      int line = y < kSplit ? 0 : 1;
      uint32_t c = InUnits(kTextColour[line], f.depth), edge = InUnits(kEdgeColour[line], f.depth);
      uint32_t d = f.Under(x, y), shown = f.At(f.software, x, y);
      Levels& out = cache->px[(size_t)(y - kTop) * 100 + x];
      std::vector<std::pair<int, std::pair<int, int>>> fits;  // distance, levels
      int best = 1 << 20;
      std::pair<int, int> nearest{0, 0};
      auto consider = [&](int g, int e) {
        uint32_t v = SoftGlyph(d, g, e, c, edge, kind);
        int dist = Distance(v, shown, f.depth);
        if (Near(v, shown, tolerance, f.depth)) fits.push_back({dist, {g, e}});
        if (dist < best) best = dist, nearest = {g, e};
      };
      bool untouched = UnitDifference(d, shown, 0, f.depth) == 0 && UnitDifference(d, shown, 1, f.depth) == 0 &&
                       UnitDifference(d, shown, 2, f.depth) == 0;
      if (untouched) {
        consider(0, 0);  // what a level could leave there is the background within a unit
      } else if (!kind.antialias) {
        consider(0, 0), consider(15, 0);
        if (kind.edged) consider(0, 15);
      } else {
        for (int g = 0; g < 16; g++)
          for (int e = 0; e < (kind.edged && g < 15 ? 16 : 1); e++) consider(g, e);
      }
      // The few nearest: levels further off show other colours.
      std::stable_sort(fits.begin(), fits.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
      for (size_t i = 0; i < fits.size() && i < 4; i++) out.fits.push_back(fits[i].second);
      if (out.fits.empty()) out.fits.push_back(nearest);
    }
  return *cache;
}

// The device's edge graph at a pixel: every inked pixel whose edge stamp
// covers it combines its level towards full, (256 - (16 - p) x (16 - L)) /
// 16, in the glyph's raster order; levels are the glyph's level + 1, taken
// at the lowest (or highest) the frame allows. A plain edged font's edge is
// full wherever a glyph pixel's stamp covers it.
int DeviceEdgeLevel(const TextReading& r, const TextKind& kind, int x, int y, bool highest) {
  int p = 0;
  for (int dy = -kind.edge; dy <= kind.edge; dy++)
    for (int dx = -kind.edge; dx <= kind.edge; dx++) {
      int nx = x + dx, ny = y + dy;
      if (!FontEdgeStampCovers(kind.edge, dx, dy) || nx < 0 || nx >= 100 || ny < kTop || ny >= kBottom) continue;
      int g = highest ? 0 : 15;
      for (const auto& fit : r.px[(size_t)(ny - kTop) * 100 + nx].fits)
        g = highest ? std::max(g, fit.first) : std::min(g, fit.first);
      if (g == 0) continue;  // a level of 0 or 1 adds nothing
      if (!kind.antialias) return 15;
      p = (256 - (16 - p) * (16 - (g + 1))) / 16;
    }
  return p > 0 ? p - 1 : 0;
}

const char* const kAntialiasRule =
    "antialiased text: the software glyph writer gives a grey level v (0 to 15) the alpha v x 16, so a full level "
    "still lets a sixteenth of the background through; the device's 16-bit cache texture keeps v in four bits of "
    "alpha, which read as v x 17";
const char* const kEdgedAntialiasRule =
    "antialiased edged text: the software cache gives an edge pixel the largest glyph level around it and mixes "
    "glyph and edge into one pixel (alpha g x 16 + (15 - g) x e); the device's edge graph combines every glyph level "
    "around it towards full ((256 - (16 - edge) x (16 - glyph)) / 16) and is drawn under the glyph as a layer of its "
    "own; the levels read as for antialiased text";
const char* const kEdgedBlendRule =
    "edged text blended (mode 1): the device draws the edge layer and then the glyph layer, each weighed by the "
    "parameter, and the edge layer lies under the glyph's own pixels wherever another glyph pixel's edge reaches "
    "them, so it shows through a translucent glyph; the software renderer puts glyph over edge in its work image and "
    "blends that once";

Expectation TextExpectation(const TextKind& kind) {
  Expectation e;
  if (!kind.antialias && (!kind.edged || kind.mode == 0)) return e;
  e.rule = kind.antialias ? (kind.edged ? kEdgedAntialiasRule : kAntialiasRule) : kEdgedBlendRule;
  if (kind.antialias && kind.edged && kind.mode == 1) e.rule += std::string("; ") + kEdgedBlendRule;
  // At 16 bits the software renderer mixes glyph and edge into one colour of
  // five and six bits before it blends, so the levels read back from its
  // frame are known within a step: one unit more for the device.
  if (kind.antialias && kind.edged) e.model.at16 = Plus(kClaim16, 1);
  auto reading = std::make_shared<TextReading>();
  Tolerance at32 = e.model.at32, at16 = e.model.at16;
  auto predict = [kind, reading, at16, at32](const SceneFrames& f, Prediction* p, bool device) {
    const TextReading& r = ReadLevels(f, kind, f.depth == 16 ? at16 : at32, reading.get());
    for (int y = kTop; y < kBottom; y++)
      for (int x = 0; x < 100; x++) {
        int line = y < kSplit ? 0 : 1;
        uint32_t c = InUnits(kTextColour[line], f.depth), edge = InUnits(kEdgeColour[line], f.depth);
        uint32_t d = f.Under(x, y);
        const Levels& levels = r.px[(size_t)(y - kTop) * 100 + x];
        Choices& out = p->At(x, y);
        out.Clear();
        if (!device) {
          for (const auto& [g, le] : levels.fits) out.Add(SoftGlyph(d, g, le, c, edge, kind));
          continue;
        }
        // The device's edge combines the levels around the pixel, which the
        // frame gives within a range, and is at least the largest of them,
        // the software renderer's edge level.
        int low = 0, high = 0;
        if (kind.edged) low = DeviceEdgeLevel(r, kind, x, y, false), high = DeviceEdgeLevel(r, kind, x, y, true);
        for (const auto& [g, le] : levels.fits)
          for (int level = std::max(low, le); level <= std::max(high, le); level++)
            out.Add(DeviceGlyph(d, g, kind.edged ? level : 0, c, edge, kind.mode));
      }
  };
  e.software = [predict](const SceneFrames& f, Prediction* p) { predict(f, p, false); };
  e.device = [predict](const SceneFrames& f, Prediction* p) { predict(f, p, true); };
  return e;
}

// ---- draw targets ---------------------------------------------------------------------------

// A draw-target graph of 48 x 48 drawn into (a box, a keyed and an alpha
// graph, text) and then onto the screen: copied at (2, 2), with the
// transparent flag at (52, 2), blended at (2, 52), and its upper part at
// (52, 56).
constexpr int kTarget = 48;
struct TargetDraw {
  int x, y, rows, mode;
};
const TargetDraw kTargetDraws[3] = {{52, 2, 48, 0}, {2, 52, 48, 1}, {52, 56, 20, 0}};

void DrawTargetScene(Cell c, int alpha) {
  SetGraphCreateDrawTarget(1);
  SetGraphCreateAlphaChannel(alpha);
  int target = CreateBlankGraph(kTarget, kTarget, 0);
  SetGraphCreateAlphaChannel(0);
  SetGraphCreateDrawTarget(0);
  ASSERT_GE(target, 0);
  ASSERT_EQ(SelectDrawScreen(target), 0);
  PaintFilledBox(4, 4, 44, 30, PackScreenColor(200, 40, 40));
  PaintGraph(8, 8, MakeSource(kKeyed), 1);
  PaintGraph(16, 16, MakeSource(kAlpha), 1);
  int font = CreateFontToHandle("ＭＳ ゴシック", 16, 4, 0, -1, -1, 0);
  DrawTextWithFont(2, 30, "Vx", PackScreenColor(255, 255, 255), font, 0, 0);
  FreeFontHandle(font);
  SelectDrawScreen(DRAW_SCREEN_BACK);
  PaintGraph(c.x + 2, c.y + 2, target, 0);
  for (const TargetDraw& t : kTargetDraws) {
    SelectBlendMode(t.mode, 128);
    PaintGraphPart(c.x + t.x, c.y + t.y, 0, 0, kTarget, t.rows, target, 1);
  }
  SelectBlendMode(0, 0);
}

// The device's alpha of the target with an alpha channel: 0 where nothing
// was drawn, 255 under the box, the keyed graph's texels and the text
// (white), and where the alpha graph was drawn a x a + (1 - a) x the alpha
// under it, over 255 as the blend unit weighs alpha.
int TargetAlpha(bool white, int u, int v) {
  int a = 0;
  if (u >= 4 && u < 44 && v >= 4 && v < 30) a = 255;
  if (u >= 8 && u < 40 && v >= 8 && v < 40 && !IsKey(kKeyed, u - 8, v - 8)) a = 255;
  if (u >= 16 && v >= 16) {
    int t = SourceTexel(kAlpha, u - 16, v - 16).a;
    a = (t * t + (255 - t) * a) / 255;
  }
  if (white) a = 255;
  return a;
}

const char* const kTargetRule =
    "a draw-target graph on the device is a render-target texture without the colour key's alpha, so drawn with the "
    "transparent flag its black shows; the software renderer keys black out of every graph";
const char* const kAlphaTargetRule =
    "a draw-target graph with an alpha channel: the software renderer draws only into images without alpha, so it "
    "makes such a target without alpha and keys its black out; the device's target keeps alpha, and its blend unit "
    "weighs the alpha a draw writes as it weighs colour (a translucent draw leaves a x a + (1 - a) x the alpha "
    "under it), so the target shows through where translucent graphs were drawn into it";

Expectation TargetExpectation(int alpha) {
  Expectation e;
  e.rule = alpha ? kAlphaTargetRule : kTargetRule;
  // The target's texels as the copy at (2, 2) shows them; the device's copy
  // is held to the software renderer's.
  auto model = [alpha](const SceneFrames& f, Prediction* p, bool device) {
    auto texel = [&](int u, int v) { return InUnits(f.At(f.software, 2 + u, 2 + v), f.depth); };
    for (int v = 0; v < kTarget; v++)
      for (int u = 0; u < kTarget; u++) p->Set(2 + u, 2 + v, texel(u, v));
    for (const TargetDraw& t : kTargetDraws)
      for (int v = 0; v < t.rows; v++)
        for (int u = 0; u < kTarget; u++) {
          uint32_t s = texel(u, v);
          p->Paint(t.x + u, t.y + v, [&](uint32_t d, Choices& out) {
            int weight = !device ? (s == 0 ? 0 : 255) : alpha ? TargetAlpha(s == InUnits(0xFFFFFFu, f.depth), u, v) : 255;
            if (t.mode) weight = device ? dev::Mul(weight, 128) : weight ? 128 : 0;
            out.Add(dev::Weighted(d, s, weight));
          });
        }
  };
  e.software = [model](const SceneFrames& f, Prediction* p) { model(f, p, false); };
  e.device = [model](const SceneFrames& f, Prediction* p) { model(f, p, true); };
  return e;
}

}  // namespace

void AddTextScenes(std::vector<CompareScene>& s) {
  // An edge size above 1 makes a font edged by itself; the game's fonts are
  // edged with the default size (1).
  struct Style {
    const char* name;
    int type, edge_size;
  };
  const Style styles[] = {{"plain", 0, -1},
                          {"edged", (int)FONT_TYPE_EDGE, -1},
                          {"wide-edged", (int)FONT_TYPE_EDGE, 2},
                          {"antialiased", (int)FONT_TYPE_ANTIALIAS, -1},
                          {"antialiased edged", (int)(FONT_TYPE_ANTIALIAS | FONT_TYPE_EDGE), -1},
                          {"antialiased wide-edged", (int)(FONT_TYPE_ANTIALIAS | FONT_TYPE_EDGE), 2}};
  for (const Style& style : styles)
    for (int thickness : {4, 9})
      for (int mode : {0, 1}) {
        TextKind kind{(style.type & FONT_TYPE_ANTIALIAS) != 0, (style.type & FONT_TYPE_EDGE) != 0,
                      style.edge_size > 1 ? style.edge_size : 1, mode};
        s.push_back({std::string("text ") + style.name + (thickness > 6 ? " bold" : "") + " mode " + std::to_string(mode),
                     Ground::kBands100,
                     [=](Cell c) {
                       int font = CreateFontToHandle("ＭＳ ゴシック", 20, thickness, style.type, -1, style.edge_size, 0);
                       ASSERT_GE(font, 0);
                       SelectBlendMode(mode, 128);
                       for (int line = 0; line < 2; line++) {
                         uint32_t t = kTextColour[line], e = kEdgeColour[line];
                         DrawTextWithFont(c.x + 2, c.y + kLineY[line], kLines[line],
                                          PackScreenColor(Red(t), Green(t), Blue(t)), font,
                                          PackScreenColor(Red(e), Green(e), Blue(e)), 0);
                       }
                       SelectBlendMode(0, 0);
                       FreeFontHandle(font);
                     },
                     TextExpectation(kind)});
      }
}

void AddDrawTargetScenes(std::vector<CompareScene>& s) {
  for (int alpha : {0, 1})
    s.push_back({alpha ? "draw target with alpha" : "draw target", Ground::kBands100,
                 [alpha](Cell c) { DrawTargetScene(c, alpha); }, TargetExpectation(alpha)});
}
