// StretchBlitToMEMIMG: draws a whole memory image scaled into a rectangle,
// stepping through the source with 16.16 accumulators (kept in 64 bits so
// that large images and clip offsets cannot overflow), mirrored on an axis
// whose corners are given reversed.
#include "engine/softrender/blit.h"
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
};

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
      racc -= 65536;
      while (racc <= 0) {
        srow += f.src_row_stride;
        if constexpr (K::kGraph) grow += f.graph_row_stride;
        racc += f.row_step;
      }
    }
  }
};

constexpr auto kStretchLoops = MakeSoftLoopTable<StretchLoop>();

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
  kStretchLoops[SoftLoopIndex(ss->format_code, kind, SoftModeIndex(mode), blend_graph != nullptr)](k, f);
}
