// Triangle rasterizer: set-up in 14.18 fixed point, the row walk with span
// clipping, and the span writers: flat spans through the single-colour rules,
// textured spans (texture stepping, texel fetch, transparency tests) through
// the blits' per-pixel kernels, one loop per pixel group, blend mode, blend
// graph and transparent flag.
#include "engine/softrender/triangle.h"

#include <algorithm>
#include <cstring>

#include "engine/core/util.h"
#include "engine/softrender/blend.h"
#include "engine/softrender/fast_rows.h"
#include "engine/softrender/kernel.h"
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

// Everything a textured span writer needs, taken once per draw. The pixel
// arithmetic is the blits' kernel (the same rules with the same weights);
// the rasterizer adds the texture stepping and its own transparency tests.
struct TexContext {
  KernelParams k;
  uint8_t* dst;
  int32_t dst_pitch;
  const uint8_t* tex;
  int32_t tex_pitch;
  uint32_t tex_w, tex_h;  // 14.18 bounds, compared unsigned
  const uint8_t* graph;  // at least as large as the texture
  int32_t graph_pitch;
  int64_t ref_col, ref_row;
  uint32_t ref_u, ref_v;
  uint32_t su, tu, sv, tv;
  FastRowFn fast;   // the kernel's fast row, or null
  GatherFn gather;  // a wide gather of texels, or null
};

// Whether a texel is drawn, and whether its alpha weighs it.
template <class Kern, bool K>
int TexelClass(const TexContext& c, const typename Kern::Sample& texel) {
  if constexpr (Kern::kSrc == SoftSrc::DirectAlpha) {
    // The transparent flag turns alpha 0 into a skip (Multiply draws it
    // and blackens the pixel; MultipliedAlpha's zero weight keeps it) and
    // alpha 255 into an unweighted texel; without it every texel is weighted.
    if (!K) return PIXEL_WEIGHTED;
    if (texel.alpha == 255) return PIXEL_PLAIN;
    if (texel.alpha == 0 && Kern::kMode != SOFT_BLEND_MULTIPLY && Kern::kMode != SOFT_BLEND_MULTIPLIED_ALPHA)
      return PIXEL_SKIP;
    return PIXEL_WEIGHTED;
  } else {
    return K && texel.raw == c.k.key ? PIXEL_SKIP : PIXEL_PLAIN;
  }
}

// One span of a textured member: pixel format, texel layout, blend mode,
// blend graph and transparent flag are template arguments, so each
// combination is a loop of its own (the bright is a constant of the draw).
template <class Kern, bool K>
void TexturedSpan(const TexContext& c, int64_t y, int64_t x, int64_t count) {
  uint8_t* px = c.dst + y * c.dst_pitch + x * Kern::kDstBytes;
  uint32_t dx = (uint32_t)(x - c.ref_col), dy = (uint32_t)(y - c.ref_row);
  uint32_t u = c.ref_u + dx * c.su + dy * c.tu;
  uint32_t v = c.ref_v + dx * c.sv + dy * c.tv;
  for (int64_t n = 0; n < count; n++, px += Kern::kDstBytes, u += c.su, v += c.sv) {
    if (u >= c.tex_w || v >= c.tex_h) continue;
    uint32_t col = u >> kFrac, row = v >> kFrac;
    uint32_t w = 0;
    if constexpr (Kern::kGraph) w = BlendGraphRamp[c.graph[(int64_t)row * c.graph_pitch + col]];
    auto texel = Kern::Fetch(c.k, c.tex + (int64_t)row * c.tex_pitch + col * Kern::kSrcBytes);
    const int cls = TexelClass<Kern, K>(c, texel);
    if (cls != PIXEL_SKIP) Kern::Blend(c.k, px, texel, cls, w);
  }
}

// How many positions p, p + step, ... (modulo 2^32, step read as signed)
// lie below limit without wrapping, for p below limit.
int64_t StepsInside(uint32_t p, uint32_t step, uint32_t limit) {
  const int64_t s = (int32_t)step;
  if (s > 0) return ((int64_t)limit - 1 - p) / s + 1;
  if (s < 0) return (int64_t)p / -s + 1;
  return INT64_MAX;
}

// The same span, a stretch of texels inside the texture at a time: they are
// gathered into a buffer and drawn by the kernel's fast row (which classifies
// them as the span does), the generic kernel drawing what that leaves.
template <class Kern, bool K>
void GatheredTexturedSpan(const TexContext& c, int64_t y, int64_t x, int64_t count) {
  constexpr int kChunk = 256;
  uint8_t texels[kChunk * Kern::kSrcBytes];
  uint8_t graph[kChunk];
  uint8_t* px = c.dst + y * c.dst_pitch + x * Kern::kDstBytes;
  uint32_t dx = (uint32_t)(x - c.ref_col), dy = (uint32_t)(y - c.ref_row);
  uint32_t u = c.ref_u + dx * c.su + dy * c.tu;
  uint32_t v = c.ref_v + dx * c.sv + dy * c.tv;
  for (int64_t at = 0; at < count;) {
    for (; at < count && (u >= c.tex_w || v >= c.tex_h); at++) u += c.su, v += c.sv;
    if (at == count) break;
    // From a texel inside, the coordinates stay inside for as many steps as
    // they take to reach the texture's edge without wrapping; the scan above
    // looks at the texel after that again.
    const uint32_t u0 = u, v0 = v;
    const int64_t start = at;
    const int n = (int)std::min({(int64_t)kChunk, count - at, StepsInside(u, c.su, c.tex_w), StepsInside(v, c.sv, c.tex_h)});
    at += n;
    u += (uint32_t)n * c.su;
    v += (uint32_t)n * c.sv;
    int i = c.gather ? c.gather(c.tex, c.tex_pitch, u0, v0, c.su, c.sv, n, texels) : 0;
    uint32_t gu = u0 + (uint32_t)i * c.su, gv = v0 + (uint32_t)i * c.sv;
    for (; i < n; i++, gu += c.su, gv += c.sv)
      std::memcpy(texels + i * Kern::kSrcBytes,
                  c.tex + (int64_t)(gv >> kFrac) * c.tex_pitch + (gu >> kFrac) * Kern::kSrcBytes, Kern::kSrcBytes);
    if constexpr (Kern::kGraph) {
      gu = u0, gv = v0;
      for (int j = 0; j < n; j++, gu += c.su, gv += c.sv)
        graph[j] = c.graph[(int64_t)(gv >> kFrac) * c.graph_pitch + (gu >> kFrac)];
    }
    uint8_t* d = px + start * Kern::kDstBytes;
    i = c.fast(c.k, FAST_ROW_CLASSIFY, d, texels, graph, n);
    for (; i < n; i++) {
      auto texel = Kern::Fetch(c.k, texels + i * Kern::kSrcBytes);
      const int cls = TexelClass<Kern, K>(c, texel);
      if (cls != PIXEL_SKIP)
        Kern::Blend(c.k, d + i * Kern::kDstBytes, texel, cls, Kern::kGraph ? BlendGraphRamp[graph[i]] : 0);
    }
  }
}

template <int Fmt, SoftSrc Src, int Mode>
void RunTextured(const TexContext& c, const Edge& l, const Edge& r, const DrawArea& area, bool g, bool k) {
  auto run = [&]<bool G, bool K>() {
    using Kern = SoftKernel<Fmt, Src, Mode, G>;
    TexContext fc = c;
    fc.fast = FindFastRow(SoftLoopIndex(Fmt, Src, SoftModeIndex(Mode), G));
    if (fc.fast) {
      fc.gather = FindGather(Kern::kSrcBytes);
      WalkTriangle(l, r, area, [&](int64_t y, int64_t x, int64_t n) { GatheredTexturedSpan<Kern, K>(fc, y, x, n); });
      return;
    }
    WalkTriangle(l, r, area, [&](int64_t y, int64_t x, int64_t n) { TexturedSpan<Kern, K>(c, y, x, n); });
  };
  if (g)
    k ? run.template operator()<true, true>() : run.template operator()<true, false>();
  else
    k ? run.template operator()<false, true>() : run.template operator()<false, false>();
}

template <int Fmt, SoftSrc Src>
void DispatchTexturedMode(const TexContext& c, const Edge& l, const Edge& r, const DrawArea& area, int32_t mode,
                          bool g, bool k) {
  // Alpha at p = 255 draws as Copy; p = 0 draws nothing in Alpha and Add, and
  // in Subtract from a direct texture (a palettised one still subtracts a
  // zero source, which changes the guard bits).
  switch (SoftEffectiveMode(mode, c.k.p, Src)) {
    case SOFT_BLEND_COPY: return RunTextured<Fmt, Src, SOFT_BLEND_COPY>(c, l, r, area, g, k);
    case SOFT_BLEND_ALPHA: return RunTextured<Fmt, Src, SOFT_BLEND_ALPHA>(c, l, r, area, g, k);
    case SOFT_BLEND_ADD: return RunTextured<Fmt, Src, SOFT_BLEND_ADD>(c, l, r, area, g, k);
    case SOFT_BLEND_SUBTRACT: return RunTextured<Fmt, Src, SOFT_BLEND_SUBTRACT>(c, l, r, area, g, k);
    case SOFT_BLEND_MULTIPLY: return RunTextured<Fmt, Src, SOFT_BLEND_MULTIPLY>(c, l, r, area, g, k);
    case SOFT_BLEND_INVERTED_ALPHA: return RunTextured<Fmt, Src, SOFT_BLEND_INVERTED_ALPHA>(c, l, r, area, g, k);
    case SOFT_BLEND_MULTIPLIED_ALPHA:
      return RunTextured<Fmt, Src, SOFT_BLEND_MULTIPLIED_ALPHA>(c, l, r, area, g, k);
    default: return;
  }
}

void DrawFlat(MEMIMG* dest, const Edge& l, const Edge& r, const DrawArea& area, uint32_t colour) {
  const PIXELSTORE* st = dest->store;
  int fmt = st->format_code;
  uint32_t bright = g_soft_draw.draw_bright;
  int32_t p = g_soft_draw.blend_param;
  colour = MaskSolidColour(fmt, colour);
  uint8_t* base = dest->pixels;
  int32_t pitch = st->pitch;
  DispatchSolid(fmt, g_soft_draw.blend_mode, p, [&]<int Fmt, int Mode>() {
    SolidColour s = PrepareSolidColour<Fmt>(TableBright<Fmt>(colour, bright), (uint32_t)p);
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
  // Vertices far outside the 14.18 range are drawn as they lie: products of
  // their differences need more than 64 bits.
  using Wide = __int128;
  Wide det = (Wide)xd2 * yd1 - (Wide)xd1 * yd2;
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
  int layout = SoftSourceLayout(tex_store);  // palettised groups never look at the alpha flag
  if (layout < 0) return;
  if (layout == (int)SoftSrc::Palette && !tex_store->palette) return;
  // The blits' rules for what they cannot sample: a blend graph must be an
  // 8-bit image at least as large as the texture, the parameter in 0..255.
  if (blend_graph && !IsBlendGraphUsable(blend_graph, texture)) return;
  int32_t p = g_soft_draw.blend_param;
  if (p < 0 || p > 255) return;

  TexContext c{};
  InitKernelParams(&c.k, tex_store, (int)p, g_soft_draw.draw_bright, trans_flag);
  c.dst = dest->pixels;
  c.dst_pitch = dst_store->pitch;
  c.tex = texture->pixels;
  c.tex_pitch = tex_store->pitch;
  c.tex_w = (uint32_t)texture->width << kFrac;
  c.tex_h = (uint32_t)texture->height << kFrac;
  if (blend_graph) {
    c.graph = blend_graph->pixels;
    c.graph_pitch = blend_graph->store->pitch;
  }
  // Texture gradients: whole-unit products, then the scaled quotient in
  // double precision, truncated toward zero.
  double dd = (double)det;
  c.su = (uint32_t)DoubleToIntTrunc((double)((Wide)ud2 * yd1 - (Wide)ud1 * yd2) * 262144.0 / dd);
  c.tu = (uint32_t)DoubleToIntTrunc((double)((Wide)ud1 * xd2 - (Wide)ud2 * xd1) * 262144.0 / dd);
  c.sv = (uint32_t)DoubleToIntTrunc((double)((Wide)vd2 * yd1 - (Wide)vd1 * yd2) * 262144.0 / dd);
  c.tv = (uint32_t)DoubleToIntTrunc((double)((Wide)vd1 * xd2 - (Wide)vd2 * xd1) * 262144.0 / dd);
  c.ref_col = v0.x;
  c.ref_row = v0.y;
  c.ref_u = (uint32_t)v0.u << kFrac;
  c.ref_v = (uint32_t)v0.v << kFrac;

  bool g = blend_graph != nullptr, k = trans_flag != 0;
  int32_t mode = g_soft_draw.blend_mode;
  bool wide = tex_store->format_code == MEMIMG_X8R8G8B8;
  switch ((SoftSrc)layout) {
    case SoftSrc::Palette:
      return wide ? DispatchTexturedMode<1, SoftSrc::Palette>(c, left, right, area, mode, g, k)
                  : DispatchTexturedMode<0, SoftSrc::Palette>(c, left, right, area, mode, g, k);
    case SoftSrc::Direct:
      return wide ? DispatchTexturedMode<1, SoftSrc::Direct>(c, left, right, area, mode, g, k)
                  : DispatchTexturedMode<0, SoftSrc::Direct>(c, left, right, area, mode, g, k);
    case SoftSrc::DirectAlpha:
      return wide ? DispatchTexturedMode<1, SoftSrc::DirectAlpha>(c, left, right, area, mode, g, k)
                  : DispatchTexturedMode<0, SoftSrc::DirectAlpha>(c, left, right, area, mode, g, k);
  }
}
