// The per-pixel kernels of the blit, the stretched blit and the rotated blit.
// One template per (pixel format, source layout, blend mode, blend image)
// holds the arithmetic of every blend rule once; the per-draw choices (tint,
// transparency, the blit's own fast paths) are constants of the draw that the
// kernel branches on, so each frame's loop is generated from the template and
// chosen from a table once per draw.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "engine/softrender/blend.h"

enum class SoftSrc : int { Palette = 0, Direct = 1, DirectAlpha = 2 };

// Outcome of a source pixel's transparency test.
enum PixelClass : int {
  PIXEL_SKIP = 0,      // the destination stays as it is
  PIXEL_PLAIN = 1,     // drawn without an alpha weight
  PIXEL_WEIGHTED = 2,  // drawn weighted by the source alpha
};

// Constants of one draw, read by every kernel call.
struct KernelParams {
  int p;                      // blend parameter
  const uint32_t* scale_p;    // ScaleTable row of p
  const int32_t* diff_p;      // ScaledDiffTable row of p at its zero slot
  const uint32_t* bright[3];  // ScaleTable rows of the bright's blue, green, red
  bool tinted;                // the bright is not white
  bool transparency;          // colour key, or skipping alpha 0 and taking 255 as opaque
  uint32_t key;               // the value the raw source pixel is compared with
  const uint8_t* palette;     // the source store's palette (256 entries)
  bool ignore_alpha;          // blit, mode 0 at white bright without transparency or blend image: no alpha
  bool blit_rules;            // the blit's tint-before-alpha order and its plain multiplied alpha
  bool fast;                  // blit pixel path at white bright, no blend image, no source alpha
  bool raw_subtract;          // stretched blit, mode 3 at p = 255 under the same conditions
};

// Channel work for one format: split, tint, join.
template <int Fmt>
struct PixelOps {
  static constexpr int kDstBytes = Fmt == 0 ? 2 : 4;
  static uint32_t Load(const uint8_t* p) { return Fmt == 0 ? LoadPixel16(p) : LoadPixel32(p); }
  static void Store(uint8_t* p, uint32_t v) {
    if constexpr (Fmt == 0)
      StorePixel16(p, v);
    else
      StorePixel32(p, v);
  }
  // Writes the three channels; a 32-bit destination keeps its fourth byte.
  static void StoreChannels(uint8_t* p, uint32_t old, const uint32_t c[3]) {
    uint32_t v = JoinChannels<Fmt>(c[0], c[1], c[2]);
    if constexpr (Fmt == 1) v |= old & 0xFF000000;
    Store(p, v);
  }
};

template <int Fmt, SoftSrc S, int Mode, bool G>
struct SoftKernel {
  static constexpr int kFormat = Fmt;
  static constexpr SoftSrc kSrc = S;
  static constexpr int kMode = Mode;
  static constexpr bool kGraph = G;
  static constexpr int kSrcBytes = S == SoftSrc::Palette ? 1 : (Fmt == 0 && S == SoftSrc::Direct) ? 2 : 4;
  static constexpr int kDstBytes = PixelOps<Fmt>::kDstBytes;
  using Ops = PixelOps<Fmt>;
  using Ch = SoftChannels<Fmt>;

  struct Sample {
    uint32_t raw;    // what the colour key is compared with
    uint32_t color;  // 16-bit colour, or the whole 32-bit pixel or palette entry
    uint32_t alpha;
  };

  static Sample Fetch(const KernelParams& k, const uint8_t* s) {
    Sample x{};
    if constexpr (S == SoftSrc::Palette) {
      x.raw = *s;
      x.color = Fmt == 0 ? LoadPixel16(k.palette + 2 * x.raw) : LoadPixel32(k.palette + 4 * x.raw);
    } else if constexpr (S == SoftSrc::Direct) {
      x.raw = x.color = Fmt == 0 ? LoadPixel16(s) : LoadPixel32(s);
    } else {
      x.raw = LoadPixel32(s);
      x.color = Fmt == 0 ? (x.raw & 0xFFFF) : x.raw;
      x.alpha = Fmt == 0 ? (x.raw >> 16) & 0xFF : x.raw >> 24;
    }
    return x;
  }

  static int Classify(const KernelParams& k, const Sample& x) {
    if constexpr (S == SoftSrc::DirectAlpha) {
      if (k.ignore_alpha) return PIXEL_PLAIN;
      if (!k.transparency) return PIXEL_WEIGHTED;
      return x.alpha == 0 ? PIXEL_SKIP : x.alpha == 255 ? PIXEL_PLAIN : PIXEL_WEIGHTED;
    } else {
      return k.transparency && x.raw == k.key ? PIXEL_SKIP : PIXEL_PLAIN;
    }
  }

  static uint32_t Tint(const KernelParams& k, uint32_t c, int i) { return k.tinted ? k.bright[i][c] : c; }

  // Moves d toward v with the weights n (count) and w_prod, p always among them.
  static uint32_t MoveByParam(const KernelParams& k, uint32_t d, uint32_t v, int n, uint64_t w_prod) {
    if (n == 0) return Fmt == 0 ? ScaledDiffMove(k.diff_p, d, v) : MixToward(d, v, (uint64_t)k.p, 8);
    return MixToward(d, v, w_prod * (uint64_t)k.p, 8 * (n + 1));
  }

  // w: the blend-image weight (BlendGraphRamp of its byte) when G.
  static void Blend(const KernelParams& k, uint8_t* dp, const Sample& x, int cls, uint32_t w) {
    const bool use_a = S == SoftSrc::DirectAlpha && cls == PIXEL_WEIGHTED;
    const int n = (G ? 1 : 0) + (use_a ? 1 : 0);
    const uint64_t wp = (uint64_t)(G ? w : 1) * (use_a ? x.alpha : 1);
    const uint32_t s = x.color;

    if constexpr (Mode == SOFT_BLEND_COPY) {
      if (n == 0 && !k.tinted) {
        Ops::Store(dp, s);
        return;
      }
      uint32_t d = Ops::Load(dp), c[3];
      for (int i = 0; i < 3; i++) {
        uint32_t t = Tint(k, GetChannel<Fmt>(s, i), i);
        c[i] = n == 0 ? t : MixToward(GetChannel<Fmt>(d, i), t, wp, 8 * n);
      }
      Ops::StoreChannels(dp, d, c);
    } else if constexpr (Mode == SOFT_BLEND_ALPHA) {
      uint32_t d = Ops::Load(dp), c[3];
      if (n == 0 && k.fast) {
        if (k.p == 128) {
          // Halves with their lowest bits dropped; a 32-bit result has fourth byte 0.
          Ops::Store(dp, Fmt == 0 ? ((s >> 1) & 0x7BEF) + ((d >> 1) & 0x7BEF)
                                  : ((s >> 1) & 0x007F7F7F) + ((d >> 1) & 0x007F7F7F));
          return;
        }
        if constexpr (Fmt == 0) {
          const uint8_t(*plane)[64] = Mix64Table[k.p >> 2];
          for (int i = 0; i < 3; i++) c[i] = plane[GetChannel<0>(s, i)][GetChannel<0>(d, i)];
          Ops::StoreChannels(dp, d, c);
          return;
        }
      }
      for (int i = 0; i < 3; i++)
        c[i] = MoveByParam(k, GetChannel<Fmt>(d, i), Tint(k, GetChannel<Fmt>(s, i), i), n, wp);
      Ops::StoreChannels(dp, d, c);
    } else if constexpr (Mode == SOFT_BLEND_INVERTED_ALPHA) {
      uint32_t d = Ops::Load(dp), c[3];
      for (int i = 0; i < 3; i++) {
        uint32_t t = Tint(k, Ch::kMax[i] - GetChannel<Fmt>(s, i), i);
        c[i] = MoveByParam(k, GetChannel<Fmt>(d, i), t, n, wp);
      }
      Ops::StoreChannels(dp, d, c);
    } else if constexpr (Mode == SOFT_BLEND_MULTIPLIED_ALPHA) {
      uint32_t d = Ops::Load(dp), c[3];
      for (int i = 0; i < 3; i++) {
        uint32_t dc = GetChannel<Fmt>(d, i), sc = GetChannel<Fmt>(s, i);
        if (Fmt == 0 && S == SoftSrc::DirectAlpha && i == 1 && use_a && !G && !k.tinted && !k.blit_rules) {
          // The scaled blits keep five more bits of the green product here.
          uint32_t m = (sc * dc) >> 1;
          int64_t sum = ((int64_t)dc << 21) + ((int64_t)m - 32 * (int64_t)dc) * (int64_t)(x.alpha * k.p);
          c[i] = (uint32_t)(sum >> 21);
          continue;
        }
        uint32_t m = (Tint(k, sc, i) * dc) >> Ch::kBits[i];
        c[i] = MoveByParam(k, dc, m, n, wp);
      }
      Ops::StoreChannels(dp, d, c);
    } else if constexpr (Mode == SOFT_BLEND_ADD || Mode == SOFT_BLEND_SUBTRACT) {
      uint32_t d = Ops::Load(dp);
      if ((k.fast && k.p == 255) || (Mode == SOFT_BLEND_SUBTRACT && k.raw_subtract)) {
        // The unscaled source; 32-bit pixels go byte by byte, fourth byte included.
        uint32_t r;
        if constexpr (Mode == SOFT_BLEND_ADD)
          r = Fmt == 0 ? SaturatingAdd16Fast(s, d) : SaturatingAddBytes32(s, d);
        else
          r = Fmt == 0 ? SaturatingSubtract16(d, s) : SaturatingSubtractBytes32(d, s);
        Ops::Store(dp, r);
        return;
      }
      uint32_t x3[3];
      for (int i = 0; i < 3; i++) {
        uint32_t sc = GetChannel<Fmt>(s, i);
        if constexpr (Fmt == 0) {
          if (use_a && !G && k.tinted && !k.blit_rules)
            x3[i] = k.scale_p[k.bright[i][(sc * x.alpha) >> 8]];  // alpha before tint
          else
            x3[i] = k.scale_p[(uint32_t)(((uint64_t)Tint(k, sc, i) * wp) >> (8 * n))];
        } else {
          uint32_t t = Tint(k, sc, i);
          x3[i] = n == 0 ? k.scale_p[t] : (uint32_t)(((uint64_t)t * wp * (uint64_t)k.p) >> (8 * (n + 1)));
        }
      }
      uint32_t c = JoinChannels<Fmt>(x3[0], x3[1], x3[2]);
      uint32_t r;
      if constexpr (Mode == SOFT_BLEND_ADD)
        r = Fmt == 0 ? SaturatingAdd16(c, d) : SaturatingAdd32(c, d);
      else
        r = Fmt == 0 ? SaturatingSubtract16(d, c) : SaturatingSubtract32(d, c);
      Ops::Store(dp, r);
    } else if constexpr (Mode == SOFT_BLEND_MULTIPLY) {
      uint32_t d = Ops::Load(dp), c[3];
      for (int i = 0; i < 3; i++) {
        uint64_t prod = (uint64_t)Tint(k, GetChannel<Fmt>(s, i), i) * wp * GetChannel<Fmt>(d, i);
        c[i] = (uint32_t)(prod >> (Ch::kBits[i] + 8 * n));
      }
      Ops::StoreChannels(dp, d, c);
    }
  }

  // One destination pixel from one source pixel (and its blend-image byte).
  static inline void Apply(const KernelParams& k, uint8_t* dp, const uint8_t* sp, const uint8_t* gp) {
    Sample x = Fetch(k, sp);
    int cls = Classify(k, x);
    if (cls != PIXEL_SKIP) Blend(k, dp, x, cls, G ? BlendGraphRamp[*gp] : 0);
  }
};

// ---- kernel choice ------------------------------------------------------------
constexpr int kSoftModes[7] = {SOFT_BLEND_COPY,     SOFT_BLEND_ALPHA,          SOFT_BLEND_ADD,
                               SOFT_BLEND_SUBTRACT, SOFT_BLEND_MULTIPLY,       SOFT_BLEND_INVERTED_ALPHA,
                               SOFT_BLEND_MULTIPLIED_ALPHA};
inline int SoftModeIndex(int mode) {
  for (int i = 0; i < 7; i++)
    if (kSoftModes[i] == mode) return i;
  return -1;
}

// The kernels are kept in tables indexed by
// ((format * 3 + layout) * 7 + mode index) * 2 + blend image.
constexpr int kSoftLoopCount = 2 * 3 * 7 * 2;
template <size_t I>
using SoftKernelAt = SoftKernel<(int)(I / 42), (SoftSrc)((I / 14) % 3), kSoftModes[(I / 2) % 7], (I % 2) != 0>;

// A table of Loop<Kernel>::Run for every kernel.
template <template <class> class Loop, size_t... I>
constexpr auto MakeSoftLoopTable(std::index_sequence<I...>) {
  return std::array{&Loop<SoftKernelAt<I>>::Run...};
}
template <template <class> class Loop>
constexpr auto MakeSoftLoopTable() {
  return MakeSoftLoopTable<Loop>(std::make_index_sequence<kSoftLoopCount>());
}
inline int SoftLoopIndex(int fmt, SoftSrc src, int mode_index, bool graph) {
  return ((fmt * 3 + (int)src) * 7 + mode_index) * 2 + (graph ? 1 : 0);
}

// The source layout of a store, or -1 when the blits do not draw it.
inline int SoftSourceLayout(const PIXELSTORE* store) {
  if (store->format_code != MEMIMG_R5G6B5 && store->format_code != MEMIMG_X8R8G8B8) return -1;
  if (store->palette_flag == 1) return (int)SoftSrc::Palette;
  return store->alpha_flag == 1 ? (int)SoftSrc::DirectAlpha : (int)SoftSrc::Direct;
}

// Effective blend mode of a draw after the parameter pre-tests, or -1 when
// the draw writes nothing (mode 1 at p = 0, mode 2 at p = 0, mode 3 at p = 0
// for a direct-colour source, and every mode the renderer does not draw).
inline int SoftEffectiveMode(int mode, int p, SoftSrc src) {
  if (!IsSoftBlendMode(mode)) return -1;
  if (mode == SOFT_BLEND_ALPHA) return p == 255 ? SOFT_BLEND_COPY : p == 0 ? -1 : mode;
  if (mode == SOFT_BLEND_ADD && p == 0) return -1;
  if (mode == SOFT_BLEND_SUBTRACT && p == 0 && src != SoftSrc::Palette) return -1;
  return mode;
}

// Fills the draw constants common to every frame from the draw state.
inline void InitKernelParams(KernelParams* k, const PIXELSTORE* src, int p, uint32_t bright, int transparency) {
  *k = KernelParams{};
  k->p = p;
  k->scale_p = ScaleTable[p];
  k->diff_p = ScaledDiffRow(p);
  for (int i = 0; i < 3; i++) k->bright[i] = ScaleTable[BrightByte(bright, i)];
  k->tinted = !IsBrightWhite(bright);
  k->transparency = transparency != 0;
  k->key = src->transparent_color;
  k->palette = src->palette;
}

// A blend image the blits can sample for every source pixel: a valid
// single-channel view at least as large as the source.
inline bool IsBlendGraphUsable(const MEMIMG* graph, const MEMIMG* src) {
  return IsMEMIMGValid(graph) && graph->store->format_code == MEMIMG_GRAY8 && graph->width >= src->width &&
         graph->height >= src->height;
}

// What a blit draws with, resolved from its source and the draw state.
struct SoftDrawSetup {
  SoftSrc kind;
  int mode;  // the effective mode
  int p;     // the blend parameter
};

// False when the draw writes nothing: a source the blits do not draw, a mode
// that writes nothing at this parameter, a parameter outside 0..255, or a
// blend image that cannot serve this source.
inline bool ResolveSoftDraw(const MEMIMG* src, const MEMIMG* blend_graph, SoftDrawSetup* out) {
  int layout = SoftSourceLayout(src->store);
  if (layout < 0) return false;
  out->kind = (SoftSrc)layout;
  out->p = g_soft_draw.blend_param;
  out->mode = SoftEffectiveMode(g_soft_draw.blend_mode, out->p, out->kind);
  if (out->mode < 0 || out->p < 0 || out->p > 255) return false;
  return !blend_graph || IsBlendGraphUsable(blend_graph, src);
}

// A target the blits can write for this source: same format, no palette, no alpha.
inline bool IsSoftTargetUsable(const MEMIMG* dst, const MEMIMG* src) {
  return IsMEMIMGValid(dst) && IsMEMIMGValid(src) && dst->store->format_code == src->store->format_code &&
         dst->store->palette_flag != 1 && dst->store->alpha_flag != 1;
}
