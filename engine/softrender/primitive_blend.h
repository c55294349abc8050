// Single-colour pixel rules of the software renderer's shape writers (flat
// triangles, pixel, box, line, circle, oval): the colour is prepared once per
// call (bright, blend-parameter scaling), then one rule per blend mode and
// format combines it with each destination pixel (the packed add and
// subtract of the scaled colour, or the blits' per-channel kernels). The
// dispatch turns the run-time format and mode into one template instance per
// combination, so the pixel loops carry no test of their own.
#pragma once

#include <cstdint>

#include "engine/softrender/blend.h"
#include "engine/softrender/fast_rows.h"
#include "engine/softrender/kernel.h"

// The colour of a single-colour draw, ready for the pixel rules.
struct SolidColour {
  static constexpr int kRowPixels = 64;
  uint32_t c;       // the colour after the bright (all 32 bits for format 1)
  uint32_t scaled;  // Add and Subtract: the colour's channels scaled by p
  KernelParams k;   // p and its table rows, for the blits' channel rules
  alignas(16) uint8_t row[kRowPixels * 4];  // the colour as a row of source pixels, for the fast rows
};

// A 16-bit colour is an R5G6B5 value: bits above 15 would index the tables
// out of their rows and spill into the neighbouring pixel of a packed store.
inline uint32_t MaskSolidColour(int format_code, uint32_t colour) {
  return format_code == MEMIMG_R5G6B5 ? (colour & 0xFFFF) : colour;
}

// Shift form of the draw bright (pixel, box, line, circle, oval): each
// channel times its bright byte, divided by 256; byte 3 of a 32-bit colour is
// kept. Applied only when the bright is not white.
template <int Fmt>
inline uint32_t ShiftBright(uint32_t c, uint32_t bright) {
  if (IsBrightWhite(bright)) return c;
  uint32_t ch[3];
  for (int i = 0; i < 3; i++) ch[i] = (GetChannel<Fmt>(c, i) * BrightByte(bright, i)) >> 8;
  return (c & ~SoftChannels<Fmt>::kColorMask) | JoinChannels<Fmt>(ch[0], ch[1], ch[2]);
}

// Table form (flat triangles): ScaleTable[bright byte][channel], always made.
template <int Fmt>
inline uint32_t TableBright(uint32_t c, uint32_t bright) {
  uint32_t ch[3];
  for (int i = 0; i < 3; i++) ch[i] = ScaleTable[BrightByte(bright, i)][GetChannel<Fmt>(c, i)];
  return (c & ~SoftChannels<Fmt>::kColorMask) | JoinChannels<Fmt>(ch[0], ch[1], ch[2]);
}

template <int Fmt>
inline SolidColour PrepareSolidColour(uint32_t c, uint32_t p) {
  SolidColour s{};
  s.c = c;
  const uint32_t* row = ScaleTable[p];
  s.scaled = JoinChannels<Fmt>(row[GetChannel<Fmt>(c, 0)], row[GetChannel<Fmt>(c, 1)], row[GetChannel<Fmt>(c, 2)]);
  s.k.p = (int)p;
  s.k.scale_p = row;
  s.k.diff_p = ScaledDiffRow((int)p);
  for (auto& b : s.k.bright) b = ScaleTable[255];  // the colour is tinted already
  for (int i = 0; i < SolidColour::kRowPixels; i++) {
    if constexpr (Fmt == 0)
      StorePixel16(s.row + 2 * i, c);
    else
      StorePixel32(s.row + 4 * i, c);
  }
  return s;
}

// One pixel of format Fmt (0: R5G6B5, 1: 32-bit) in blend mode Mode. Add and
// Subtract use the colour scaled once per call; the channel rules are the
// blits' kernel for an untinted opaque source pixel.
template <int Fmt, int Mode>
inline void BlendSolidPixel(uint8_t* px, const SolidColour& s) {
  if constexpr (Mode == SOFT_BLEND_COPY) {
    if constexpr (Fmt == 0)
      StorePixel16(px, s.c);
    else
      StorePixel32(px, s.c);
  } else if constexpr (Mode == SOFT_BLEND_ADD || Mode == SOFT_BLEND_SUBTRACT) {
    if constexpr (Fmt == 0) {
      uint32_t d = LoadPixel16(px);
      StorePixel16(px, Mode == SOFT_BLEND_ADD ? SaturatingAdd16(s.scaled, d) : SaturatingSubtract16(d, s.scaled));
    } else {
      uint32_t d = LoadPixel32(px);
      StorePixel32(px, Mode == SOFT_BLEND_ADD ? SaturatingAdd32(s.scaled, d) : SaturatingSubtract32(d, s.scaled));
    }
  } else {
    using Kern = SoftKernel<Fmt, SoftSrc::Direct, Mode, false>;
    Kern::Blend(s.k, px, typename Kern::Sample{s.c, s.c, 255}, PIXEL_PLAIN, 0);
  }
}

// A span is the blits' kernel over an opaque source row of the colour, so a
// long one is drawn by that kernel's fast row where there is one.
template <int Fmt, int Mode>
inline void BlendSolidSpan(uint8_t* px, int64_t count, const SolidColour& s) {
  constexpr int kBytes = Fmt == 0 ? 2 : 4;
  if (count >= 16) {
    if (FastRowFn fast = FindFastRow(SoftLoopIndex(Fmt, SoftSrc::Direct, SoftModeIndex(Mode), false))) {
      while (count >= 16) {
        const int n = (int)(count < SolidColour::kRowPixels ? count : SolidColour::kRowPixels);
        const int done = fast(s.k, FAST_ROW_ALL_PLAIN, px, s.row, nullptr, n);
        if (done == 0) break;
        px += (ptrdiff_t)done * kBytes;
        count -= done;
      }
    }
  }
  for (int64_t i = 0; i < count; i++, px += kBytes) BlendSolidPixel<Fmt, Mode>(px, s);
}

// Calls fn.template operator()<Fmt, Mode>() for the destination's format code
// and the blend mode, after the single-colour shortcuts: Alpha at p = 255 is
// Copy; Alpha, Add and Subtract at p = 0 draw nothing. Returns false, without
// calling, when nothing is to be drawn (other format codes, modes without a
// rule, the p = 0 shortcuts, and, as in the blits, a parameter outside
// 0..255, which the draw state never holds).
template <class Fn>
inline bool DispatchSolid(int format_code, int32_t mode, int32_t p, Fn&& fn) {
  if (format_code != MEMIMG_R5G6B5 && format_code != MEMIMG_X8R8G8B8) return false;
  if (p < 0 || p > 255) return false;
  if ((mode == SOFT_BLEND_ALPHA || mode == SOFT_BLEND_ADD || mode == SOFT_BLEND_SUBTRACT) && p == 0) return false;
  if (mode == SOFT_BLEND_ALPHA && p == 255) mode = SOFT_BLEND_COPY;
  auto by_format = [&]<int Mode>() {
    if (format_code == MEMIMG_R5G6B5)
      fn.template operator()<0, Mode>();
    else
      fn.template operator()<1, Mode>();
  };
  switch ((uint32_t)mode) {
    case SOFT_BLEND_COPY: by_format.template operator()<SOFT_BLEND_COPY>(); return true;
    case SOFT_BLEND_ALPHA: by_format.template operator()<SOFT_BLEND_ALPHA>(); return true;
    case SOFT_BLEND_ADD: by_format.template operator()<SOFT_BLEND_ADD>(); return true;
    case SOFT_BLEND_SUBTRACT: by_format.template operator()<SOFT_BLEND_SUBTRACT>(); return true;
    case SOFT_BLEND_MULTIPLY: by_format.template operator()<SOFT_BLEND_MULTIPLY>(); return true;
    case SOFT_BLEND_INVERTED_ALPHA: by_format.template operator()<SOFT_BLEND_INVERTED_ALPHA>(); return true;
    case SOFT_BLEND_MULTIPLIED_ALPHA: by_format.template operator()<SOFT_BLEND_MULTIPLIED_ALPHA>(); return true;
    default: return false;
  }
}

// The dispatch of a single-colour draw into dest with the draw state's
// blend mode and parameter: fn.template operator()<Fmt, Mode>(s) with the
// colour prepared once, in the shift form of the draw bright.
template <class Fn>
inline bool DispatchSolidColour(const MEMIMG* dest, uint32_t colour, Fn&& fn) {
  const int fmt = dest->store->format_code;
  const int32_t p = g_soft_draw.blend_param;
  colour = MaskSolidColour(fmt, colour);
  return DispatchSolid(fmt, g_soft_draw.blend_mode, p, [&]<int Fmt, int Mode>() {
    const SolidColour s = PrepareSolidColour<Fmt>(ShiftBright<Fmt>(colour, g_soft_draw.draw_bright), (uint32_t)p);
    fn.template operator()<Fmt, Mode>(s);
  });
}

// The destinations the shape writers draw on: not palettised (1-byte
// pixels), no alpha flag, format 0 or 1.
inline bool IsSolidDestination(const MEMIMG* dest) {
  const PIXELSTORE* st = dest->store;
  return st->palette_flag != 1 && st->alpha_flag != 1 &&
         (st->format_code == MEMIMG_R5G6B5 || st->format_code == MEMIMG_X8R8G8B8);
}
