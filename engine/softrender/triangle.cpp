// Triangle rasterizer: set-up in 14.18 fixed point, the row walk with span
// clipping, and the span writers of every pixel group, blend mode and
// variant (blend graph, bright, alpha channel, transparent colour), produced
// from one template per pixel rule.
#include "engine/softrender/triangle.h"

#include <algorithm>

#include "engine/core/util.h"
#include "engine/softrender/blend.h"
#include "engine/softrender/primitive_blend.h"

namespace {

constexpr int kFrac = 18;
constexpr int64_t kOne = int64_t{1} << kFrac;

// One part of a triangle edge: start position (14.18), x step per row and
// number of rows. Positions are held in 64 bits so that no extent of the
// allowed vertex range can wrap.
struct EdgePart {
  int64_t x;
  int64_t y;
  int64_t step;
  int64_t rows;
};
struct Edge {
  EdgePart part[2];  // 0 upper, 1 lower
  int current;
};

inline EdgePart MakePart(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  EdgePart e;
  e.x = x0;
  e.y = y0;
  e.rows = (y1 - y0) >> kFrac;
  e.step = e.rows > 0 ? (x1 - x0) / e.rows : 0;  // integer division, truncated toward zero
  return e;
}

struct DrawArea {
  int64_t x1, y1, x2, y2;
};

// Walks the rows from the top vertex's row to the row above the bottom
// vertex's and hands each clipped span to span(y, first column, count).
// Whole parts of a 14.18 value are taken by flooring, so rows and columns
// left of or above 0 fall where they lie and no row is drawn twice. Rows
// above the draw area are passed over in one step; the walk stops at the
// area's bottom, since the row only grows.
template <class Span>
void WalkTriangle(Edge left, Edge right, const DrawArea& area, Span&& span) {
  const EdgePart* lp = &left.part[left.current];
  const EdgePart* rp = &right.part[right.current];
  int64_t lx = lp->x, ls = lp->step, lc = lp->rows;
  int64_t rx = rp->x, rs = rp->step, rc = rp->rows;
  int64_t y = lp->y >> kFrac;
  for (;;) {
    if (y >= area.y2) return;
    if (y < area.y1) {
      int64_t k = std::min({area.y1 - y, lc, rc});
      lx += ls * k;
      rx += rs * k;
      y += k;
      lc -= k;
      rc -= k;
    } else {
      int64_t xl = lx >> kFrac, xr = rx >> kFrac;
      int64_t count = xr - xl + 1;
      if (xl < area.x1) {
        count -= area.x1 - xl;
        xl = area.x1;
      }
      if (xl < area.x2 && count > 0) span(y, xl, std::min(count, area.x2 - xl));
      lx += ls;
      rx += rs;
      y++;
      lc--;
      rc--;
    }
    if (lc == 0) {
      if (left.current == 1) return;
      left.current = 1;
      lp = &left.part[1];
      lx = lp->x;
      ls = lp->step;
      lc = lp->rows;
      y = lp->y >> kFrac;
    }
    if (rc == 0) {
      if (right.current == 1) return;
      right.current = 1;
      rp = &right.part[1];
      rx = rp->x;
      rs = rp->step;
      rc = rp->rows;
    }
  }
}

// Everything a textured span writer needs, taken once per draw.
struct TexContext {
  uint8_t* dst;
  int32_t dst_pitch;
  const uint8_t* tex;
  int32_t tex_pitch;
  uint32_t tex_w, tex_h;  // 14.18 bounds, compared unsigned
  const uint8_t* graph;
  int32_t graph_pitch;
  uint32_t graph_w, graph_h;  // whole texels
  uint32_t key;
  const uint8_t* palette;
  uint32_t p;
  const uint32_t* st_p;                 // ScaleTable row of p
  const int32_t* diff;                  // ScaledDiffRow(p)
  const uint32_t* st_bright[3];         // ScaleTable rows of the bright's blue, green, red
  int64_t ref_col, ref_row;
  uint32_t ref_u, ref_v;
  uint32_t su, tu, sv, tv;
};

// Pixel groups of the textured path.
enum TexGroup { kDirect16, kPalette16, kDirect32, kPalette32 };

template <int Group>
constexpr int kGroupFmt = (Group == kDirect16 || Group == kPalette16) ? 0 : 1;
template <int Group>
constexpr bool kGroupPal = Group == kPalette16 || Group == kPalette32;

// Colour, per-channel values and factors of one textured pixel, combined with
// the destination pixel d by blend mode Mode. s holds the texel's channels
// (bright-scaled in the bright variant, complemented first in mode 10);
// use_a tells whether the alpha factor applies to this texel.
template <int Fmt, int Mode, bool G, bool T, bool A>
inline uint32_t TexturedRule(const TexContext& c, uint32_t colour, uint32_t d, const uint32_t raw[3], uint32_t a,
                             uint32_t w, bool use_a) {
  using Ch = SoftChannels<Fmt>;
  uint32_t out[3];
  if constexpr (Mode == SOFT_BLEND_ADD || Mode == SOFT_BLEND_SUBTRACT) {
    uint32_t add[3];
    for (int i = 0; i < 3; i++) {
      uint32_t x = raw[i];
      uint32_t y;
      if constexpr (Fmt == 0) {
        // 16-bit: the weights act on the field, then p through the table;
        // without a blend graph the alpha comes before the bright.
        if constexpr (!G) {
          y = use_a ? (x * a) >> 8 : x;
          if constexpr (T) y = c.st_bright[i][y];
        } else {
          uint32_t xb = T ? c.st_bright[i][x] : x;
          y = use_a ? (xb * w * a) >> 16 : (xb * w) >> 8;
        }
        add[i] = c.st_p[y];
      } else {
        uint32_t xb = T ? c.st_bright[i][x] : x;
        if (!G && !use_a)
          add[i] = c.st_p[xb];
        else if (G && use_a)
          add[i] = (uint32_t)(((uint64_t)xb * a * w * c.p) >> 24);
        else
          add[i] = (xb * (G ? w : a) * c.p) >> 16;
      }
    }
    uint32_t s = JoinChannels<Fmt>(add[0], add[1], add[2]);
    if constexpr (Fmt == 0)
      return Mode == SOFT_BLEND_ADD ? SaturatingAdd16(s, d) : SaturatingSubtract16(d, s);
    else
      return Mode == SOFT_BLEND_ADD ? SaturatingAdd32(s, d) : SaturatingSubtract32(d, s);
  } else {
    for (int i = 0; i < 3; i++) {
      uint32_t sc = raw[i];
      if constexpr (Mode == SOFT_BLEND_INVERTED_ALPHA) sc = Ch::kMax[i] - sc;
      if constexpr (T) sc = c.st_bright[i][sc];
      uint32_t dc = GetChannel<Fmt>(d, i);
      if constexpr (Mode == SOFT_BLEND_MULTIPLY) {
        uint64_t f = 1;
        int shift = Ch::kBits[i];
        if (use_a) f *= a, shift += 8;
        if (G) f *= w, shift += 8;
        out[i] = (uint32_t)(((uint64_t)sc * f * dc) >> shift);
        continue;
      }
      if constexpr (Mode == SOFT_BLEND_COPY) {
        if (G && use_a)
          out[i] = MixToward(dc, sc, (uint64_t)w * a, 16);
        else
          out[i] = MixToward(dc, sc, G ? w : a, 8);
        continue;
      }
      // Alpha, InvertedAlpha and MultipliedAlpha: weights of mode 1.
      uint32_t target = sc;
      if constexpr (Mode == SOFT_BLEND_MULTIPLIED_ALPHA) {
        target = (sc * dc) >> Ch::kBits[i];
        // 16-bit direct, white bright, no graph, alpha factor: the green
        // product keeps five more bits at the field's position.
        if (Fmt == 0 && i == 1 && !G && !T && A && use_a) {
          int64_t dg = d & 0x07E0;
          int64_t pg = ((int64_t)(colour & 0x07E0) * dg) >> 11;
          out[i] = (uint32_t)(((((pg - dg) * a * c.p) + (dg << 16)) >> 16) & 0x07E0) >> 5;
          continue;
        }
      }
      if (!G && !use_a)
        out[i] = Fmt == 0 ? ScaledDiffMove(c.diff, dc, target) : MixToward(dc, target, c.p, 8);
      else if (G && use_a)
        out[i] = MixToward(dc, target, (uint64_t)w * a * c.p, 24);
      else
        out[i] = MixToward(dc, target, (uint64_t)(G ? w : a) * c.p, 16);
    }
    uint32_t v = JoinChannels<Fmt>(out[0], out[1], out[2]);
    return Fmt == 0 ? v : (d & 0xFF000000u) | v;
  }
}

// One span of a textured member: group, blend mode and the four variants
// are template arguments, so each combination is a loop of its own.
template <int Group, int Mode, bool G, bool T, bool A, bool K>
void TexturedSpan(const TexContext& c, int64_t y, int64_t x, int64_t count) {
  constexpr int Fmt = kGroupFmt<Group>;
  constexpr bool Pal = kGroupPal<Group>;
  constexpr int kDstBytes = Fmt == 0 ? 2 : 4;
  constexpr int kTexel = Pal ? 1 : (Fmt == 1 || A) ? 4 : 2;
  uint8_t* px = c.dst + y * c.dst_pitch + x * kDstBytes;
  uint32_t dx = (uint32_t)(x - c.ref_col), dy = (uint32_t)(y - c.ref_row);
  uint32_t u = c.ref_u + dx * c.su + dy * c.tu;
  uint32_t v = c.ref_v + dx * c.sv + dy * c.tv;
  for (int64_t n = 0; n < count; n++, px += kDstBytes, u += c.su, v += c.sv) {
    if (u >= c.tex_w || v >= c.tex_h) continue;
    uint32_t col = u >> kFrac, row = v >> kFrac;
    const uint8_t* tp = c.tex + (int64_t)row * c.tex_pitch + col * kTexel;
    uint32_t w = 255;
    if constexpr (G) {
      if (col >= c.graph_w || row >= c.graph_h) continue;  // never read outside the blend graph
      w = BlendGraphRamp[c.graph[(int64_t)row * c.graph_pitch + col]];
    }
    uint32_t raw, colour, a = 255;
    if constexpr (Pal) {
      raw = *tp;
      colour = Fmt == 0 ? LoadPixel16(c.palette + raw * 2) : LoadPixel32(c.palette + raw * 4);
    } else if constexpr (Fmt == 0) {
      if constexpr (A) {
        uint32_t t = LoadPixel32(tp);
        raw = t;
        colour = t & 0xFFFF;
        a = (t >> 16) & 0xFF;
      } else {
        raw = colour = LoadPixel16(tp);
      }
    } else {
      raw = colour = LoadPixel32(tp);
      a = raw >> 24;
    }
    if constexpr (K && !A) {
      if (raw == c.key) continue;
    }
    bool use_a = A;
    if constexpr (A && K) {
      // Multiply draws an alpha-0 texel (it blackens); MultipliedAlpha's
      // weight 0 leaves the pixel as it was; the others leave it out.
      if (a == 0 && Mode != SOFT_BLEND_MULTIPLY && Mode != SOFT_BLEND_MULTIPLIED_ALPHA) continue;
      if (a == 255) use_a = false;
    }
    if constexpr (Mode == SOFT_BLEND_COPY && !T) {
      if (!G && !use_a) {
        // The plain copy stores the whole texel (or palette entry).
        if constexpr (Fmt == 0)
          StorePixel16(px, colour);
        else
          StorePixel32(px, colour);
        continue;
      }
    }
    uint32_t d = Fmt == 0 ? LoadPixel16(px) : LoadPixel32(px);
    uint32_t ch[3] = {GetChannel<Fmt>(colour, 0), GetChannel<Fmt>(colour, 1), GetChannel<Fmt>(colour, 2)};
    uint32_t result;
    if (Mode == SOFT_BLEND_COPY && !G && !use_a) {
      // Bright copy: the scaled channels; a 32-bit pixel keeps its byte 3.
      uint32_t v3 = JoinChannels<Fmt>(c.st_bright[0][ch[0]], c.st_bright[1][ch[1]], c.st_bright[2][ch[2]]);
      result = Fmt == 0 ? v3 : (d & 0xFF000000u) | v3;
    } else {
      result = TexturedRule<Fmt, Mode, G, T, A>(c, colour, d, ch, a, w, use_a);
    }
    if constexpr (Fmt == 0)
      StorePixel16(px, result);
    else
      StorePixel32(px, result);
  }
}

template <int Group, int Mode, bool G, bool T, bool A, bool K>
void RunTextured(const TexContext& c, const Edge& l, const Edge& r, const DrawArea& area) {
  WalkTriangle(l, r, area,
               [&](int64_t y, int64_t x, int64_t n) { TexturedSpan<Group, Mode, G, T, A, K>(c, y, x, n); });
}

// Variant choice, made once per draw in the order blend graph, bright, alpha
// channel (direct groups only), transparent flag.
template <int Group, int Mode>
void DispatchVariants(const TexContext& c, const Edge& l, const Edge& r, const DrawArea& area, bool g, bool t,
                      bool a, bool k) {
  auto pick = [&]<bool G, bool T, bool A>() {
    if (k)
      RunTextured<Group, Mode, G, T, A, true>(c, l, r, area);
    else
      RunTextured<Group, Mode, G, T, A, false>(c, l, r, area);
  };
  auto pick_a = [&]<bool G, bool T>() {
    if constexpr (kGroupPal<Group>) {
      pick.template operator()<G, T, false>();
    } else {
      if (a)
        pick.template operator()<G, T, true>();
      else
        pick.template operator()<G, T, false>();
    }
  };
  auto pick_t = [&]<bool G>() {
    if (t)
      pick_a.template operator()<G, true>();
    else
      pick_a.template operator()<G, false>();
  };
  if (g)
    pick_t.template operator()<true>();
  else
    pick_t.template operator()<false>();
}

template <int Group>
void DispatchTexturedMode(const TexContext& c, const Edge& l, const Edge& r, const DrawArea& area, int32_t mode,
                          bool g, bool t, bool a, bool k) {
  uint32_t p = c.p;
  switch ((uint32_t)mode) {
    case SOFT_BLEND_COPY:
      return DispatchVariants<Group, SOFT_BLEND_COPY>(c, l, r, area, g, t, a, k);
    case SOFT_BLEND_ALPHA:
      if (p == 255) return DispatchVariants<Group, SOFT_BLEND_COPY>(c, l, r, area, g, t, a, k);
      if (p == 0) return;
      return DispatchVariants<Group, SOFT_BLEND_ALPHA>(c, l, r, area, g, t, a, k);
    case SOFT_BLEND_ADD:
      if (p == 0) return;
      return DispatchVariants<Group, SOFT_BLEND_ADD>(c, l, r, area, g, t, a, k);
    case SOFT_BLEND_SUBTRACT:
      // The palettised groups subtract a zero source at p = 0, which still
      // changes the guard bits of the packed subtraction.
      if (p == 0 && !kGroupPal<Group>) return;
      return DispatchVariants<Group, SOFT_BLEND_SUBTRACT>(c, l, r, area, g, t, a, k);
    case SOFT_BLEND_MULTIPLY:
      return DispatchVariants<Group, SOFT_BLEND_MULTIPLY>(c, l, r, area, g, t, a, k);
    case SOFT_BLEND_INVERTED_ALPHA:
      return DispatchVariants<Group, SOFT_BLEND_INVERTED_ALPHA>(c, l, r, area, g, t, a, k);
    case SOFT_BLEND_MULTIPLIED_ALPHA:
      return DispatchVariants<Group, SOFT_BLEND_MULTIPLIED_ALPHA>(c, l, r, area, g, t, a, k);
    default:
      return;
  }
}

void DrawFlat(MEMIMG* dest, const Edge& l, const Edge& r, const DrawArea& area, uint32_t colour) {
  const PIXELSTORE* st = dest->store;
  int fmt = st->format_code;
  uint32_t bright = g_soft_draw.draw_bright;
  uint32_t p = (uint32_t)g_soft_draw.blend_param & 0xFF;
  colour = MaskSolidColour(fmt, colour);
  uint8_t* base = dest->pixels;
  int32_t pitch = st->pitch;
  DispatchSolid(fmt, g_soft_draw.blend_mode, p, [&]<int Fmt, int Mode>() {
    SolidColour s = PrepareSolidColour<Fmt>(TableBright<Fmt>(colour, bright), p);
    constexpr int kBytes = Fmt == 0 ? 2 : 4;
    WalkTriangle(l, r, area, [&](int64_t y, int64_t x, int64_t n) {
      BlendSolidSpan<Fmt, Mode>(base + y * pitch + x * kBytes, n, s);
    });
  });
}

}  // namespace

void RasterTriangleToMEMIMG(MEMIMG* dest, const MEMIMG* texture, const TriangleVertex* vertices, int32_t trans_flag,
                            const MEMIMG* blend_graph, int32_t colour) {
  const PIXELSTORE* dst_store = dest->store;
  if (texture && texture->store->format_code != dst_store->format_code) return;
  if (dst_store->palette_flag == 1 || dst_store->alpha_flag == 1) return;

  int64_t X[3], Y[3];
  for (int i = 0; i < 3; i++) {
    X[i] = (int64_t)vertices[i].x * kOne + kOne / 2;  // pixel centres
    Y[i] = (int64_t)vertices[i].y * kOne + kOne / 2;
  }
  // Two independent exchange sorts; equal values keep the earlier vertex first.
  int bx[3] = {0, 1, 2}, by[3] = {0, 1, 2};
  for (int i = 0; i < 2; i++)
    for (int j = i + 1; j < 3; j++) {
      if (X[bx[i]] > X[bx[j]]) std::swap(bx[i], bx[j]);
      if (Y[by[i]] > Y[by[j]]) std::swap(by[i], by[j]);
    }
  const TriangleVertex& v0 = vertices[bx[0]];
  const TriangleVertex& v1 = vertices[bx[1]];
  const TriangleVertex& v2 = vertices[bx[2]];
  int64_t xd1 = (int64_t)v1.x - v0.x, yd1 = (int64_t)v1.y - v0.y;
  int64_t ud1 = (int64_t)v1.u - v0.u, vd1 = (int64_t)v1.v - v0.v;
  int64_t xd2 = (int64_t)v2.x - v0.x, yd2 = (int64_t)v2.y - v0.y;
  int64_t ud2 = (int64_t)v2.u - v0.u, vd2 = (int64_t)v2.v - v0.v;
  int64_t det = xd2 * yd1 - xd1 * yd2;
  if (det == 0) return;

  // Edges. T, M, B: top, middle, bottom.
  int t = by[0], m = by[1], b = by[2];
  Edge left{}, right{};
  if (Y[t] == Y[m]) {
    left.current = right.current = 1;
    if (X[t] > X[m]) {
      left.part[1] = MakePart(X[m], Y[m], X[b], Y[b]);
      right.part[1] = MakePart(X[t], Y[t], X[b], Y[b]);
    } else {
      left.part[1] = MakePart(X[t], Y[t], X[b], Y[b]);
      right.part[1] = MakePart(X[m], Y[m], X[b], Y[b]);
    }
  } else if (Y[b] == Y[m]) {
    left.current = right.current = 1;
    if (X[m] > X[b]) {
      left.part[1] = MakePart(X[t], Y[t], X[b], Y[b]);
      right.part[1] = MakePart(X[t], Y[t], X[m], Y[m]);
    } else {
      left.part[1] = MakePart(X[t], Y[t], X[m], Y[m]);
      right.part[1] = MakePart(X[t], Y[t], X[b], Y[b]);
    }
  } else {
    const double kUnit = 1.0 / 262144.0;
    double sm = (double)(X[m] - X[t]) / ((double)(Y[m] - Y[t]) * kUnit);
    double sb = (double)(X[b] - X[t]) / ((double)(Y[b] - Y[t]) * kUnit);
    if (sm >= sb) {
      left.current = 1;
      left.part[1] = MakePart(X[t], Y[t], X[b], Y[b]);
      right.current = 0;
      right.part[0] = MakePart(X[t], Y[t], X[m], Y[m]);
      right.part[1] = MakePart(X[m] + 1, Y[m], X[b], Y[b]);  // one unit right of the middle vertex
    } else {
      left.current = 0;
      left.part[0] = MakePart(X[t], Y[t], X[m], Y[m]);
      left.part[1] = MakePart(X[m], Y[m], X[b], Y[b]);
      right.current = 1;
      right.part[1] = MakePart(X[t], Y[t], X[b], Y[b]);
    }
  }
  for (const Edge* e : {&left, &right})
    for (int i = e->current; i < 2; i++)
      if (e->part[i].rows <= 0) return;

  const int32_t* da = g_soft_draw.draw_area;
  DrawArea area{da[0], da[1], da[2], da[3]};
  if (area.x1 >= area.x2 || area.y1 >= area.y2) return;

  if (!texture) {
    DrawFlat(dest, left, right, area, (uint32_t)colour);
    return;
  }

  const PIXELSTORE* tex_store = texture->store;
  int group;
  switch (tex_store->format_code) {
    case MEMIMG_R5G6B5: group = tex_store->palette_flag == 1 ? kPalette16 : kDirect16; break;
    case MEMIMG_X8R8G8B8: group = tex_store->palette_flag == 1 ? kPalette32 : kDirect32; break;
    default: return;
  }
  if ((group == kPalette16 || group == kPalette32) && !tex_store->palette) return;

  TexContext c{};
  c.dst = dest->pixels;
  c.dst_pitch = dst_store->pitch;
  c.tex = texture->pixels;
  c.tex_pitch = tex_store->pitch;
  c.tex_w = (uint32_t)texture->width << kFrac;
  c.tex_h = (uint32_t)texture->height << kFrac;
  c.key = tex_store->transparent_color;
  c.palette = tex_store->palette;
  if (blend_graph) {
    c.graph = blend_graph->pixels;
    c.graph_pitch = blend_graph->store->pitch;
    c.graph_w = (uint32_t)std::max(blend_graph->width, 0);
    c.graph_h = (uint32_t)std::max(blend_graph->height, 0);
  }
  c.p = (uint32_t)g_soft_draw.blend_param & 0xFF;
  c.st_p = ScaleTable[c.p];
  c.diff = ScaledDiffRow((int)c.p);
  uint32_t bright = g_soft_draw.draw_bright;
  for (int i = 0; i < 3; i++) c.st_bright[i] = ScaleTable[BrightByte(bright, i)];
  // Texture gradients: whole-unit products, then the scaled quotient in
  // double precision, truncated toward zero.
  double dd = (double)det;
  c.su = (uint32_t)DoubleToIntTrunc((double)(ud2 * yd1 - ud1 * yd2) * 262144.0 / dd);
  c.tu = (uint32_t)DoubleToIntTrunc((double)(ud1 * xd2 - ud2 * xd1) * 262144.0 / dd);
  c.sv = (uint32_t)DoubleToIntTrunc((double)(vd2 * yd1 - vd1 * yd2) * 262144.0 / dd);
  c.tv = (uint32_t)DoubleToIntTrunc((double)(vd1 * xd2 - vd2 * xd1) * 262144.0 / dd);
  c.ref_col = v0.x;
  c.ref_row = v0.y;
  c.ref_u = (uint32_t)v0.u << kFrac;
  c.ref_v = (uint32_t)v0.v << kFrac;

  bool g = blend_graph != nullptr;
  bool tinted = !IsBrightWhite(bright);
  bool a = tex_store->alpha_flag == 1;
  bool k = trans_flag != 0;
  int32_t mode = g_soft_draw.blend_mode;
  switch (group) {
    case kDirect16: DispatchTexturedMode<kDirect16>(c, left, right, area, mode, g, tinted, a, k); break;
    case kPalette16: DispatchTexturedMode<kPalette16>(c, left, right, area, mode, g, tinted, a, k); break;
    case kDirect32: DispatchTexturedMode<kDirect32>(c, left, right, area, mode, g, tinted, a, k); break;
    case kPalette32: DispatchTexturedMode<kPalette32>(c, left, right, area, mode, g, tinted, a, k); break;
  }
}
