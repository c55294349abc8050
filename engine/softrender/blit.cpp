// BlitToMEMIMG: draws a whole memory image at a position of another through
// the draw state (draw area, blend mode and parameter, bright, blend image,
// colour key or source alpha), either pixel by pixel or, for an unclipped
// whole-store source, through the store's transparency run table.
#include "engine/softrender/blit.h"

#include <cstring>

#include "engine/softrender/fast_rows.h"
#include "engine/softrender/kernel.h"

namespace {

struct BlitFrame {
  uint8_t* dst;
  const uint8_t* src;
  const uint8_t* graph;
  int dst_pitch, src_pitch, graph_pitch;
  int width, height;
  const uint8_t* runs;      // run path: the store's run table
  const uint8_t* runs_end;
  FastRowFn fast;           // the kernel's fast row, or null
};

// Each row starts with the fast row where there is one; the generic kernel
// draws what it leaves.
template <class K>
struct BlitPixelLoop {
  static void Run(const KernelParams& k, const BlitFrame& f) {
    for (int y = 0; y < f.height; y++) {
      uint8_t* d = f.dst + (ptrdiff_t)y * f.dst_pitch;
      const uint8_t* s = f.src + (ptrdiff_t)y * f.src_pitch;
      const uint8_t* g = K::kGraph ? f.graph + (ptrdiff_t)y * f.graph_pitch : nullptr;
      int x = 0;
      if (f.fast) {
        x = f.fast(k, FAST_ROW_CLASSIFY, d, s, g, f.width);
        d += (ptrdiff_t)x * K::kDstBytes;
        s += (ptrdiff_t)x * K::kSrcBytes;
        if constexpr (K::kGraph) g += x;
      }
      for (; x < f.width; x++) {
        K::Apply(k, d, s, g);
        d += K::kDstBytes;
        s += K::kSrcBytes;
        if constexpr (K::kGraph) g++;
      }
    }
  }
};

// Runs of up to 64 pixels: skip, opaque (no key test, no alpha weight),
// translucent (alpha weight). A damaged table cannot take a line past its
// width or the reader past the table.
template <class K>
struct BlitRunLoop {
  static void Run(const KernelParams& k, const BlitFrame& f) {
    const uint8_t* code = f.runs;
    for (int y = 0; y < f.height; y++) {
      uint8_t* d = f.dst + (ptrdiff_t)y * f.dst_pitch;
      const uint8_t* s = f.src + (ptrdiff_t)y * f.src_pitch;
      const uint8_t* g = K::kGraph ? f.graph + (ptrdiff_t)y * f.graph_pitch : nullptr;
      int x = 0;
      while (code < f.runs_end) {
        uint8_t c = *code++;
        int kind = c >> 6;
        if (kind == PIXEL_RUN_END) break;
        int len = (c & 0x3F) + 1;
        if (len > f.width - x) len = f.width - x;
        if (kind != PIXEL_RUN_SKIP) {
          int cls = kind == PIXEL_RUN_TRANSLUCENT ? PIXEL_WEIGHTED : PIXEL_PLAIN;
          int i = 0;
          if (f.fast)
            i = f.fast(k, cls == PIXEL_WEIGHTED ? FAST_ROW_ALL_WEIGHTED : FAST_ROW_ALL_PLAIN, d, s, g, len);
          for (; i < len; i++) {
            auto sample = K::Fetch(k, s + i * K::kSrcBytes);
            K::Blend(k, d + i * K::kDstBytes, sample, cls, K::kGraph ? BlendGraphRamp[g[i]] : 0);
          }
        }
        x += len;
        d += len * K::kDstBytes;
        s += len * K::kSrcBytes;
        if constexpr (K::kGraph) g += len;
      }
    }
  }
};

// The unscaled 16-bit add and subtract take two neighbouring drawn pixels as
// one 32-bit word; the carry between them is part of the result.
template <class K>
struct BlitPairLoop {
  static void Run(const KernelParams& k, const BlitFrame& f) {
    for (int y = 0; y < f.height; y++) {
      uint8_t* d = f.dst + (ptrdiff_t)y * f.dst_pitch;
      const uint8_t* s = f.src + (ptrdiff_t)y * f.src_pitch;
      int x = 0;
      for (; x + 1 < f.width; x += 2, d += 4, s += 2 * K::kSrcBytes) {
        auto s0 = K::Fetch(k, s), s1 = K::Fetch(k, s + K::kSrcBytes);
        bool draw0 = K::Classify(k, s0) != PIXEL_SKIP, draw1 = K::Classify(k, s1) != PIXEL_SKIP;
        if (draw0 && draw1) {
          uint32_t sw = s0.color | (s1.color << 16);
          uint32_t dw = LoadPixel32(d);
          StorePixel32(d, K::kMode == SOFT_BLEND_ADD ? SaturatingAdd16Pair(sw, dw) : SaturatingSubtract16Pair(dw, sw));
        } else {
          if (draw0) K::Blend(k, d, s0, PIXEL_PLAIN, 0);
          if (draw1) K::Blend(k, d + 2, s1, PIXEL_PLAIN, 0);
        }
      }
      if (x < f.width) K::Apply(k, d, s, nullptr);
    }
  }
};

constexpr auto kPixelLoops = MakeSoftLoopTable<BlitPixelLoop>();
constexpr auto kRunLoops = MakeSoftLoopTable<BlitRunLoop>();

template <SoftSrc S, int Mode>
using PairLoop16 = BlitPairLoop<SoftKernel<0, S, Mode, false>>;

void (*PickPairLoop(SoftSrc src, int mode))(const KernelParams&, const BlitFrame&) {
  bool add = mode == SOFT_BLEND_ADD;
  if (src == SoftSrc::Palette)
    return add ? &PairLoop16<SoftSrc::Palette, SOFT_BLEND_ADD>::Run : &PairLoop16<SoftSrc::Palette, SOFT_BLEND_SUBTRACT>::Run;
  return add ? &PairLoop16<SoftSrc::Direct, SOFT_BLEND_ADD>::Run : &PairLoop16<SoftSrc::Direct, SOFT_BLEND_SUBTRACT>::Run;
}

}  // namespace

void BlitToMEMIMG(MEMIMG* dst, const MEMIMG* src, int x, int y, int transparency, const MEMIMG* blend_graph) {
  if (!IsSoftTargetUsable(dst, src)) return;
  const PIXELSTORE* ss = src->store;
  SoftDrawSetup setup;
  if (!ResolveSoftDraw(src, blend_graph, &setup)) return;
  const SoftSrc kind = setup.kind;
  const int p = setup.p, mode = setup.mode;
  const SoftDrawState& ds = g_soft_draw;

  auto clamp32 = [](int64_t v) { return (int32_t)(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v); };
  int32_t rect[4] = {x, y, clamp32((int64_t)x + src->width), clamp32((int64_t)y + src->height)};
  IntersectClipRect(rect, ds.draw_area);
  // The draw area is the graphics module's to keep inside the target; a
  // stale one must still not let the blit write outside it.
  const int32_t bounds[4] = {0, 0, dst->width, dst->height};
  IntersectClipRect(rect, bounds);
  int w = rect[2] - rect[0], h = rect[3] - rect[1];
  if (w <= 0 || h <= 0) return;
  int off_x = (int)((int64_t)rect[0] - x), off_y = (int)((int64_t)rect[1] - y);

  int sbpp = MEMIMGBytesPerPixel(ss), dbpp = MEMIMGBytesPerPixel(dst->store);
  BlitFrame f{};
  f.dst = dst->pixels + (ptrdiff_t)rect[0] * dbpp + (ptrdiff_t)rect[1] * dst->store->pitch;
  f.src = src->pixels + (ptrdiff_t)off_x * sbpp + (ptrdiff_t)off_y * ss->pitch;
  f.dst_pitch = dst->store->pitch;
  f.src_pitch = ss->pitch;
  f.width = w;
  f.height = h;
  if (blend_graph) {
    f.graph_pitch = blend_graph->store->pitch;
    f.graph = blend_graph->pixels + off_x + (ptrdiff_t)off_y * f.graph_pitch;
  }

  KernelParams k;
  InitKernelParams(&k, ss, p, ds.draw_bright, transparency);
  bool white = !k.tinted;
  k.blit_rules = true;
  // A plain copy of the colour: with a blend image the weight and the source
  // alpha both apply, as in the stretched blit.
  k.ignore_alpha = mode == SOFT_BLEND_COPY && white && !k.transparency && !blend_graph;

  // The run table describes the whole lines of the store it was built from,
  // so only an unclipped view of the whole store may use it.
  bool whole_store = src->pixels == ss->pixel_memory && src->width == ss->width && src->height == ss->height;
  bool run_path = transparency == 1 && ss->run_table_valid == 1 && ss->run_table && whole_store &&
                  w == src->width && h == src->height;
  int index = SoftLoopIndex(ss->format_code, kind, SoftModeIndex(mode), blend_graph != nullptr);
  f.fast = FindFastRow(index);
  // Rows that follow each other without a gap, in the target, the source and
  // the blend image alike, are drawn as one long row: no pixel's result
  // depends on its row, and the fast rows run on without a stop per row. The
  // 16-bit pair loop joins pixels two by two, so its rows must be even.
  const bool pairs = ss->format_code == MEMIMG_R5G6B5 && (mode == SOFT_BLEND_ADD || mode == SOFT_BLEND_SUBTRACT);
  const bool gapless = f.dst_pitch == w * dbpp && f.src_pitch == w * sbpp && (!blend_graph || f.graph_pitch == w) &&
                       (!pairs || w % 2 == 0) && (int64_t)w * h <= INT32_MAX;
  if (run_path) {
    f.runs = ss->run_table;
    f.runs_end = ss->run_table + (size_t)(ss->width + 5) * ss->height;
    kRunLoops[index](k, f);
    return;
  }
  // A plain copy of pixels of the destination's own size is a row copy.
  if (mode == SOFT_BLEND_COPY && white && !blend_graph && !k.transparency && sbpp == dbpp) {
    CopyPixelRows(f.dst, f.dst_pitch, f.src, f.src_pitch, (size_t)w * dbpp, h);
    return;
  }
  if (gapless) {
    f.width = w * h;
    f.height = 1;
  }
  k.fast = white && !blend_graph && kind != SoftSrc::DirectAlpha;
  if (k.fast && p == 255 && ss->format_code == MEMIMG_R5G6B5 &&
      (mode == SOFT_BLEND_ADD || mode == SOFT_BLEND_SUBTRACT)) {
    PickPairLoop(kind, mode)(k, f);
    return;
  }
  kPixelLoops[index](k, f);
}
