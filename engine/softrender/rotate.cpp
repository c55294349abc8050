// RotateBlitToMEMIMG: draws a whole memory image turned and scaled about a
// centre point by scanning the target box of the turned image and mapping
// each pixel back into the source in 14.18 fixed point. Positions and steps
// are kept in 64 bits, so large images and far-off points cannot overflow,
// and rows are addressed through the pitch, so any height is drawn.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/core/util.h"
#include "engine/softrender/blit.h"
#include "engine/softrender/fast_rows.h"
#include "engine/softrender/kernel.h"

namespace {

constexpr int64_t kOne = 262144;  // one pixel in 14.18

// Truncation toward zero, saturated at +-2^61 (NaN gives the negative
// bound) so that the sums and steps below stay far from the 64-bit limits.
constexpr int64_t kFar = (int64_t)1 << 61;
int64_t TruncToInt64(float v) {
  if (!(v > -(float)kFar)) return -kFar;
  if (!(v < (float)kFar)) return kFar;
  return (int64_t)v;
}
// Steps beyond this (65536 source pixels per target pixel) draw nothing.
constexpr int64_t kMaxStep = (int64_t)1 << 34;

// Whole pixels of a 14.18 value, truncated toward zero.
int64_t ToPixels(int64_t v) { return v / kOne; }

struct RotateFrame {
  uint8_t* dst;
  int dst_pitch;
  int width, height;
  const uint8_t* src;
  int src_pitch;
  const uint8_t* graph;
  int graph_pitch;
  int64_t u, v;                  // source position of the box's top-left pixel
  int64_t col_du, col_dv;        // per target column
  int64_t row_du, row_dv;        // per target row
  uint64_t u_limit, v_limit;     // W and H in 14.18
  // Fast frame only.
  bool pure;                     // the kernel writes the source pixel whatever the target held
  FastRowFn fast;
  GatherFn gather;               // positions inside 2^32, or null
};

template <class K>
struct RotateLoop {
  static void Run(const KernelParams& k, const RotateFrame& f) {
    uint8_t* drow = f.dst;
    int64_t u0 = f.u, v0 = f.v;
    for (int y = 0; y < f.height; y++) {
      int64_t u = u0, v = v0;
      uint8_t* d = drow;
      for (int x = 0; x < f.width; x++, d += K::kDstBytes, u += f.col_du, v += f.col_dv) {
        // Negative positions read as huge unsigned values: outside.
        if ((uint64_t)u >= f.u_limit || (uint64_t)v >= f.v_limit) continue;
        ptrdiff_t sx = (ptrdiff_t)(u >> 18), sy = (ptrdiff_t)(v >> 18);
        const uint8_t* g = nullptr;
        if constexpr (K::kGraph) g = f.graph + sy * f.graph_pitch + sx;
        K::Apply(k, d, f.src + sy * f.src_pitch + sx * K::kSrcBytes, g);
      }
      u0 += f.row_du;
      v0 += f.row_dv;
      drow += f.dst_pitch;
    }
  }
};

constexpr auto kRotateLoops = MakeSoftLoopTable<RotateLoop>();

// floor(a / b) and ceil(a / b) for b != 0.
int64_t FloorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
int64_t CeilDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && ((a < 0) == (b < 0))) ? q + 1 : q;
}

// The columns x of 0 .. width - 1 at which p + x * step lies in 0 .. limit - 1,
// as first and last (first > last when there are none).
void ColumnsInside(int64_t p, int64_t step, int64_t limit, int64_t width, int64_t* first, int64_t* last) {
  int64_t lo = 0, hi = width - 1;
  if (step == 0) {
    if (p < 0 || p >= limit) hi = -1;
  } else if (step > 0) {
    lo = std::max(lo, CeilDiv(-p, step));
    hi = std::min(hi, FloorDiv(limit - 1 - p, step));
  } else {
    lo = std::max(lo, CeilDiv(limit - 1 - p, step));
    hi = std::min(hi, FloorDiv(-p, step));
  }
  *first = lo;
  *last = hi;
}

// The same scan, a row at a time: the source pixels of a row lie inside the
// source along one stretch of it (both coordinates move linearly), which is
// worked out once; they are gathered into a buffer and drawn by the kernel's
// fast row (the generic kernel drawing what that leaves), or copied straight
// into the target where the kernel writes the source pixel whatever the
// target held.
template <class K>
struct RotateRunLoop {
  static void Run(const KernelParams& k, const RotateFrame& f) {
    constexpr int kChunk = 256;
    uint8_t pixels[kChunk * K::kSrcBytes];
    uint8_t graph[kChunk];
    uint8_t* drow = f.dst;
    int64_t u0 = f.u, v0 = f.v;
    for (int y = 0; y < f.height; y++, u0 += f.row_du, v0 += f.row_dv, drow += f.dst_pitch) {
      int64_t a_u, b_u, a_v, b_v;
      ColumnsInside(u0, f.col_du, (int64_t)f.u_limit, f.width, &a_u, &b_u);
      ColumnsInside(v0, f.col_dv, (int64_t)f.v_limit, f.width, &a_v, &b_v);
      const int64_t first = std::max(a_u, a_v), last = std::min(b_u, b_v);
      if (first > last) continue;
      int64_t u = u0 + first * f.col_du, v = v0 + first * f.col_dv;
      // Gathers pixels i .. n - 1 of a stretch from (u, v) on, where a wide
      // gather has not.
      auto gather = [&](uint8_t* out, int n) {
        int i = 0;
        if (f.gather) {
          i = f.gather(f.src, f.src_pitch, (uint32_t)u, (uint32_t)v, (uint32_t)f.col_du, (uint32_t)f.col_dv, n, out);
          u += i * f.col_du;
          v += i * f.col_dv;
        }
        for (; i < n; i++, u += f.col_du, v += f.col_dv)
          std::memcpy(out + i * K::kSrcBytes,
                      f.src + (ptrdiff_t)(v >> 18) * f.src_pitch + (ptrdiff_t)(u >> 18) * K::kSrcBytes, K::kSrcBytes);
      };
      if (f.pure && K::kSrc == SoftSrc::Direct) {
        gather(drow + (ptrdiff_t)first * K::kDstBytes, (int)(last + 1 - first));
        continue;
      }
      for (int64_t x0 = first; x0 <= last; x0 += kChunk) {
        const int n = (int)std::min<int64_t>(kChunk, last + 1 - x0);
        if constexpr (K::kGraph) {
          int64_t gu = u, gv = v;
          for (int i = 0; i < n; i++, gu += f.col_du, gv += f.col_dv)
            graph[i] = f.graph[(ptrdiff_t)(gv >> 18) * f.graph_pitch + (ptrdiff_t)(gu >> 18)];
        }
        gather(pixels, n);
        uint8_t* d = drow + (ptrdiff_t)x0 * K::kDstBytes;
        int i = f.fast ? f.fast(k, FAST_ROW_CLASSIFY, d, pixels, graph, n) : 0;
        for (; i < n; i++) K::Apply(k, d + (ptrdiff_t)i * K::kDstBytes, pixels + i * K::kSrcBytes, graph + i);
      }
    }
  }
};

constexpr auto kRotateRunLoops = MakeSoftLoopTable<RotateRunLoop>();

}  // namespace

void RotateBlitToMEMIMG(MEMIMG* dst, const MEMIMG* src, int center_x, int center_y, float angle, float scale,
                        int transparency, int mirror, const MEMIMG* blend_graph) {
  if (!IsSoftTargetUsable(dst, src)) return;
  const int64_t W = src->width, H = src->height;

  float sin_f, cos_f;
  SinCosFloat(-angle, &sin_f, &cos_f);
  const int64_t sn = TruncToInt64(sin_f * 262144.0f), cn = TruncToInt64(cos_f * 262144.0f);
  SinCosFloat(angle, &sin_f, &cos_f);
  const int64_t sa = TruncToInt64(sin_f * 262144.0f), ca = TruncToInt64(cos_f * 262144.0f);

  const float half_w = (float)W * scale * 0.5f, half_h = (float)H * scale * 0.5f;
  const float a = (float)ca * half_w, b = (float)sa * half_w, c = (float)ca * half_h, d = (float)sa * half_h;
  const int64_t cx = (int64_t)center_x * kOne, cy = (int64_t)center_y * kOne;
  // Top-left, bottom-left, bottom-right, top-right of the source.
  const int64_t corner_x[4] = {TruncToInt64(d - a) + cx, TruncToInt64(-(a + d)) + cx, TruncToInt64(a - d) + cx,
                               TruncToInt64(a + d) + cx};
  const int64_t corner_y[4] = {TruncToInt64(-(b + c)) + cy, TruncToInt64(c - b) + cy, TruncToInt64(b + c) + cy,
                               TruncToInt64(b - c) + cy};

  if (mirror) {
    // Left and right exchanged: top-right, top-left, bottom-right, bottom-left.
    static const int kOrder[4] = {3, 0, 2, 1};
    int32_t points[8];
    for (int i = 0; i < 4; i++) {
      int64_t px = ToPixels(corner_x[kOrder[i]]), py = ToPixels(corner_y[kOrder[i]]);
      points[2 * i] = (int32_t)std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, px));
      points[2 * i + 1] = (int32_t)std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, py));
    }
    RotateBlitByTriangles(dst, src, points, transparency, blend_graph);
    return;
  }

  const PIXELSTORE* ss = src->store;
  SoftDrawSetup setup;
  if (!ResolveSoftDraw(src, blend_graph, &setup)) return;
  const SoftSrc kind = setup.kind;
  const int p = setup.p, mode = setup.mode;
  const SoftDrawState& ds = g_soft_draw;
  // A turned image of no height (a scale of 0, or a scale that is no number).
  if (corner_y[0] == corner_y[1] && corner_y[1] == corner_y[2] && corner_y[2] == corner_y[3]) return;
  if (!(scale == scale) || scale == 0.0f) return;

  int64_t min_x = corner_x[0], max_x = corner_x[0], min_y = corner_y[0], max_y = corner_y[0];
  for (int i = 1; i < 4; i++) {
    min_x = std::min(min_x, corner_x[i]);
    max_x = std::max(max_x, corner_x[i]);
    min_y = std::min(min_y, corner_y[i]);
    max_y = std::max(max_y, corner_y[i]);
  }
  auto clamp32 = [](int64_t v) { return (int32_t)std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, v)); };
  int32_t box[4] = {clamp32(ToPixels(min_x) - 2), clamp32(ToPixels(min_y) - 2), clamp32(ToPixels(max_x) + 4),
                    clamp32(ToPixels(max_y) + 4)};
  IntersectClipRect(box, ds.draw_area);
  const int32_t bounds[4] = {0, 0, dst->width, dst->height};
  IntersectClipRect(box, bounds);
  int bw = box[2] - box[0], bh = box[3] - box[1];
  if (bw <= 0 || bh <= 0) return;

  // The source position of a target pixel, sampled at its integer corner.
  auto source_at = [&](int64_t x, int64_t y, int64_t* u, int64_t* v) {
    int64_t px = x - center_x, py = y - center_y;
    *u = TruncToInt64((float)(cn * px - sn * py) / scale) + (W / 2) * kOne;
    *v = TruncToInt64((float)(sn * px + cn * py) / scale) + (H / 2) * kOne;
  };
  RotateFrame f{};
  int64_t u_bottom, v_bottom;
  source_at(box[0], box[1], &f.u, &f.v);
  source_at(box[0], box[3], &u_bottom, &v_bottom);
  f.row_du = (u_bottom - f.u) / bh;
  f.row_dv = (v_bottom - f.v) / bh;
  f.col_du = TruncToInt64((float)ca / scale);
  f.col_dv = TruncToInt64((float)sn / scale);
  for (int64_t step : {f.row_du, f.row_dv, f.col_du, f.col_dv})
    if (step > kMaxStep || step < -kMaxStep) return;
  f.u_limit = (uint64_t)(W * kOne);
  f.v_limit = (uint64_t)(H * kOne);
  f.width = bw;
  f.height = bh;
  f.src = src->pixels;
  f.src_pitch = ss->pitch;
  if (blend_graph) {
    f.graph = blend_graph->pixels;
    f.graph_pitch = blend_graph->store->pitch;
  }
  f.dst_pitch = dst->store->pitch;
  f.dst = dst->pixels + (ptrdiff_t)box[0] * MEMIMGBytesPerPixel(dst->store) + (ptrdiff_t)box[1] * f.dst_pitch;

  KernelParams k;
  InitKernelParams(&k, ss, p, ds.draw_bright, transparency);
  const int index = SoftLoopIndex(ss->format_code, kind, SoftModeIndex(mode), blend_graph != nullptr);
  f.fast = FindFastRow(index);
  if (!f.fast) {
    kRotateLoops[index](k, f);
    return;
  }
  f.pure = mode == SOFT_BLEND_COPY && !blend_graph && !k.tinted && !k.transparency && kind == SoftSrc::Direct;
  // A wide gather takes positions in 32 bits.
  if (f.u_limit <= ((uint64_t)1 << 32) && f.v_limit <= ((uint64_t)1 << 32)) f.gather = FindGather(MEMIMGBytesPerPixel(ss));
  kRotateRunLoops[index](k, f);
}
