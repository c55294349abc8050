// StretchBlitToMEMIMG: draws a whole memory image scaled into a rectangle,
// stepping through the source with 16.16 accumulators (kept in 64 bits so
// that large images and clip offsets cannot overflow), mirrored on an axis
// whose corners are given reversed.
#include <emmintrin.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/softrender/blit.h"
#include "engine/softrender/fast_rows.h"
#include "engine/softrender/kernel.h"

namespace {

struct StretchFrame {
  uint8_t* dst;
  int dst_pitch;
  int width, height;  // clipped
  const uint8_t* src;
  ptrdiff_t src_col_stride, src_row_stride;
  const uint8_t* graph;
  ptrdiff_t graph_col_stride, graph_row_stride;
  int64_t col_step, row_step;
  int64_t col_acc_start, row_acc;
  // Fast frame only.
  const ptrdiff_t* src_cols;    // byte offset of each target column's source pixel
  const ptrdiff_t* graph_cols;  // the same in the blend image
  int doubled;                  // columns show source pixels twice each: 1 from the first, 2 from the second
  bool pure;                    // the kernel writes the source pixel whatever the target held
  FastRowFn fast;
};

// The row walk: to the source row (and blend-image row) of the next target row.
template <bool G>
inline void NextSourceRow(const StretchFrame& f, int64_t& racc, const uint8_t*& srow, const uint8_t*& grow) {
  racc -= 65536;
  while (racc <= 0) {
    srow += f.src_row_stride;
    if constexpr (G) grow += f.graph_row_stride;
    racc += f.row_step;
  }
}

// Target column i (from the unclipped left edge) shows source column
// floor(i * 65536 / col_step); the accumulators walk that rule without a
// division and stop before stepping past the last pixel drawn.
template <class K>
struct StretchLoop {
  static void Run(const KernelParams& k, const StretchFrame& f) {
    uint8_t* drow = f.dst;
    const uint8_t* srow = f.src;
    const uint8_t* grow = f.graph;
    int64_t racc = f.row_acc;
    for (int y = 0;; y++) {
      int64_t acc = f.col_acc_start;
      const uint8_t* s = srow;
      const uint8_t* g = grow;
      uint8_t* d = drow;
      for (int x = 0;; x++) {
        K::Apply(k, d, s, g);
        if (x == f.width - 1) break;
        d += K::kDstBytes;
        acc -= 65536;
        while (acc <= 0) {
          s += f.src_col_stride;
          if constexpr (K::kGraph) g += f.graph_col_stride;
          acc += f.col_step;
        }
      }
      if (y == f.height - 1) break;
      drow += f.dst_pitch;
      NextSourceRow<K::kGraph>(f, racc, srow, grow);
    }
  }
};

constexpr auto kStretchLoops = MakeSoftLoopTable<StretchLoop>();

// A row of 4- or 2-byte pixels, each source pixel written twice (from the
// second target pixel on when `doubled` is 2, the first written once).
template <int Bytes>
void DoubleRow(uint8_t* d, const uint8_t* s, int width, int doubled) {
  int x = 0;
  if (doubled == 2) {
    std::memcpy(d, s, Bytes);
    s += Bytes;
    x = 1;
  }
  // Four source pixels make eight target pixels.
  for (; x + 8 <= width; x += 8, s += 4 * Bytes) {
    if constexpr (Bytes == 4) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + (size_t)x * 4), _mm_unpacklo_epi32(v, v));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + (size_t)x * 4 + 16), _mm_unpackhi_epi32(v, v));
    } else {
      const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + (size_t)x * 2), _mm_unpacklo_epi16(v, v));
    }
  }
  for (int i = 0; x < width; x++, i++) std::memcpy(d + (size_t)x * Bytes, s + (size_t)(i / 2) * Bytes, Bytes);
}

// The same walk with its steps taken once: the column table gives every
// target column's source pixel, and each row is gathered into a buffer and
// drawn by the kernel's fast row (the generic kernel drawing what that
// leaves). Where the kernel writes the source pixel whatever the target held,
// a row that shows the same source row as the row above is a copy of it, and
// the source pixels are gathered straight into the target.
template <class K>
struct StretchTableLoop {
  static void Run(const KernelParams& k, const StretchFrame& f) {
    constexpr int kChunk = 256;
    alignas(16) uint8_t pixels[kChunk * K::kSrcBytes];
    uint8_t graph[kChunk];
    uint8_t* drow = f.dst;
    const uint8_t* srow = f.src;
    const uint8_t* grow = f.graph;
    const uint8_t* previous = nullptr;
    int64_t racc = f.row_acc;
    const size_t row_bytes = (size_t)f.width * K::kDstBytes;
    for (int y = 0;; y++) {
      if (f.pure && srow == previous) {
        std::memcpy(drow, drow - f.dst_pitch, row_bytes);
      } else if (f.pure && K::kSrc == SoftSrc::Direct && f.doubled) {
        DoubleRow<K::kSrcBytes>(drow, srow, f.width, f.doubled);
      } else if (f.pure && K::kSrc == SoftSrc::Direct) {
        for (int x = 0; x < f.width; x++)
          std::memcpy(drow + (size_t)x * K::kDstBytes, srow + f.src_cols[x], K::kSrcBytes);
      } else {
        for (int x0 = 0; x0 < f.width; x0 += kChunk) {
          const int n = std::min(kChunk, f.width - x0);
          for (int i = 0; i < n; i++) std::memcpy(pixels + i * K::kSrcBytes, srow + f.src_cols[x0 + i], K::kSrcBytes);
          if constexpr (K::kGraph)
            for (int i = 0; i < n; i++) graph[i] = grow[f.graph_cols[x0 + i]];
          uint8_t* d = drow + (size_t)x0 * K::kDstBytes;
          int i = f.fast ? f.fast(k, FAST_ROW_CLASSIFY, d, pixels, graph, n) : 0;
          for (; i < n; i++) K::Apply(k, d + (size_t)i * K::kDstBytes, pixels + i * K::kSrcBytes, graph + i);
        }
      }
      previous = srow;
      if (y == f.height - 1) break;
      drow += f.dst_pitch;
      NextSourceRow<K::kGraph>(f, racc, srow, grow);
    }
  }
};

constexpr auto kStretchTableLoops = MakeSoftLoopTable<StretchTableLoop>();

}  // namespace

void StretchBlitToMEMIMG(MEMIMG* dst, const MEMIMG* src, const int32_t* rect, int transparency,
                         const MEMIMG* blend_graph) {
  int dir_x = rect[2] >= rect[0] ? 1 : -1, dir_y = rect[3] >= rect[1] ? 1 : -1;
  int32_t left = dir_x > 0 ? rect[0] : rect[2], right = dir_x > 0 ? rect[2] : rect[0];
  int32_t top = dir_y > 0 ? rect[1] : rect[3], bottom = dir_y > 0 ? rect[3] : rect[1];
  int64_t width = (int64_t)right - left, height = (int64_t)bottom - top;
  if (width == 0 || height == 0) return;
  // A target of another format, or with a palette or alpha, would take pixels
  // of the wrong size; it is refused like the blit and the rotated blit do.
  if (!IsSoftTargetUsable(dst, src)) return;
  if (width == src->width && height == src->height && dir_x > 0 && dir_y > 0) {
    BlitToMEMIMG(dst, src, left, top, transparency, blend_graph);
    return;
  }
  const PIXELSTORE* ss = src->store;
  if (src->width <= 0 || src->height <= 0) return;
  SoftDrawSetup setup;
  if (!ResolveSoftDraw(src, blend_graph, &setup)) return;
  const SoftSrc kind = setup.kind;
  const int p = setup.p, mode = setup.mode;
  const SoftDrawState& ds = g_soft_draw;

  int64_t col_step = width * 65536 / src->width, row_step = height * 65536 / src->height;
  // A source more than 65536 times as large as the rectangle has no step.
  if (col_step == 0 || row_step == 0) return;

  int32_t clipped[4] = {left, top, right, bottom};
  IntersectClipRect(clipped, ds.draw_area);
  const int32_t bounds[4] = {0, 0, dst->width, dst->height};
  IntersectClipRect(clipped, bounds);
  int cw = clipped[2] - clipped[0], ch = clipped[3] - clipped[1];
  if (cw <= 0 || ch <= 0) return;
  int64_t cut_x = ((int64_t)clipped[0] - left) * 65536, cut_y = ((int64_t)clipped[1] - top) * 65536;
  int64_t start_col = cut_x / col_step, start_row = cut_y / row_step;

  StretchFrame f{};
  f.col_step = col_step;
  f.row_step = row_step;
  f.col_acc_start = col_step - cut_x % col_step;
  f.row_acc = row_step - cut_y % row_step;
  f.width = cw;
  f.height = ch;
  int64_t col = dir_x > 0 ? start_col : src->width - 1 - start_col;
  int64_t row = dir_y > 0 ? start_row : src->height - 1 - start_row;
  int sbpp = MEMIMGBytesPerPixel(ss);
  f.src = src->pixels + col * sbpp + row * ss->pitch;
  f.src_col_stride = dir_x * sbpp;
  f.src_row_stride = (ptrdiff_t)dir_y * ss->pitch;
  if (blend_graph) {
    int gp = blend_graph->store->pitch;
    f.graph = blend_graph->pixels + col + row * gp;
    f.graph_col_stride = dir_x;
    f.graph_row_stride = (ptrdiff_t)dir_y * gp;
  }
  int dbpp = MEMIMGBytesPerPixel(dst->store);
  f.dst_pitch = dst->store->pitch;
  f.dst = dst->pixels + (ptrdiff_t)clipped[0] * dbpp + (ptrdiff_t)clipped[1] * f.dst_pitch;

  KernelParams k;
  InitKernelParams(&k, ss, p, ds.draw_bright, transparency);
  bool plain = !blend_graph && !k.tinted && kind != SoftSrc::DirectAlpha;
  k.raw_subtract = mode == SOFT_BLEND_SUBTRACT && p == 255 && plain;
  // The plain 16-bit copy compares the pixel with the key's low 16 bits only.
  if (mode == SOFT_BLEND_COPY && plain && kind == SoftSrc::Direct && ss->format_code == MEMIMG_R5G6B5)
    k.key &= 0xFFFF;
  const int index = SoftLoopIndex(ss->format_code, kind, SoftModeIndex(mode), blend_graph != nullptr);
  if (SoftSimdLevel() == SoftSimd::Generic) {
    kStretchLoops[index](k, f);
    return;
  }
  // The column walk, once: target column x shows the source pixel `steps`
  // columns from the first.
  std::vector<ptrdiff_t> src_cols((size_t)cw), graph_cols(blend_graph ? (size_t)cw : 0);
  int64_t acc = f.col_acc_start, steps = 0;
  for (int x = 0; x < cw; x++) {
    src_cols[(size_t)x] = (ptrdiff_t)steps * f.src_col_stride;
    if (blend_graph) graph_cols[(size_t)x] = (ptrdiff_t)steps * f.graph_col_stride;
    acc -= 65536;
    while (acc <= 0) {
      steps++;
      acc += col_step;
    }
  }
  f.src_cols = src_cols.data();
  f.graph_cols = graph_cols.data();
  // Each source pixel twice, left to right: a doubling, from the first or
  // the second target column.
  for (int first = 1; first <= 2 && cw >= 2; first++) {
    bool doubled = dir_x > 0;
    for (int x = 0; x < cw && doubled; x++)
      doubled = src_cols[(size_t)x] == (ptrdiff_t)((x + (first == 2 ? 1 : 0)) / 2) * sbpp;
    if (doubled) {
      f.doubled = first;
      break;
    }
  }
  f.pure = mode == SOFT_BLEND_COPY && !blend_graph && !k.tinted && !k.transparency && kind != SoftSrc::DirectAlpha;
  f.fast = FindFastRow(index);
  kStretchTableLoops[index](k, f);
}
