// The vector rows behind fast_rows.h, written once for two instruction sets:
// fast_rows_sse2.cpp includes this file with VOX_FAST_ROWS_AVX2 0, and
// fast_rows_avx2.cpp, built for AVX2, with 1. Everything here has internal
// linkage and nothing calls an inline function of the other headers, so no
// function built for AVX2 can stand in for one of the generic code.
//
// Each row repeats, vector by vector, the arithmetic of SoftKernel::Blend for
// its kernel (kernel.h), on 16-bit lanes where the products fit and on 32-bit
// lanes for the packed add and subtract; every division is exact:
//   floor(v / 255) for v < 65536  is  (v * 0x8081) >> 23,
//   floor(v / 63)  for v <= 3969  is  (v * 33289) >> 21,
//   floor((d * 256 + (t - d) * f) / 256)  is  (d * (256 - f) + t * f) >> 8,
//   floor((d * 65536 + (t - d) * f) / 65536) with f < 65536 takes the high
//     half of (t - d) * f, rounded up where the difference is negative.
// Covered: direct-colour sources, with and without alpha, in modes Copy,
// Alpha, Add and Subtract, with and without a blend image, white or tinted,
// except where three factors would meet (Alpha with alpha and blend image,
// and the 32-bit Add and Subtract with both).
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <cstring>
#include <utility>

#include "engine/softrender/fast_rows.h"

namespace {

// The operations the rows use, on the vectors of the instruction set: the
// names differ only in their prefix and register width.
#if VOX_FAST_ROWS_AVX2
#define VOX_MM(op) _mm256_##op
#define VOX_SI(op) _mm256_##op##_si256
using IsaVector = __m256i;
#else
#define VOX_MM(op) _mm_##op
#define VOX_SI(op) _mm_##op##_si128
using IsaVector = __m128i;
#endif

struct Isa {
  using V = IsaVector;
  static constexpr int kBytes = sizeof(V);
  static constexpr uint32_t kAllBits = (uint32_t)(((uint64_t)1 << kBytes) - 1);
  static V Load(const void* p) { return VOX_SI(loadu)(static_cast<const V*>(p)); }
  static void Store(void* p, V v) { VOX_SI(storeu)(static_cast<V*>(p), v); }
  static V Zero() { return VOX_SI(setzero)(); }
  static V Ones() { return VOX_MM(set1_epi32)(-1); }
  static V Set8(uint32_t v) { return VOX_MM(set1_epi8)((char)v); }
  static V Set16(uint32_t v) { return VOX_MM(set1_epi16)((short)v); }
  static V Set32(uint32_t v) { return VOX_MM(set1_epi32)((int)v); }
  static V Set64(uint64_t v) { return VOX_MM(set1_epi64x)((long long)v); }
  static V And(V a, V b) { return VOX_SI(and)(a, b); }
  static V Or(V a, V b) { return VOX_SI(or)(a, b); }
  static V AndNot(V a, V b) { return VOX_SI(andnot)(a, b); }
  static V Add16(V a, V b) { return VOX_MM(add_epi16)(a, b); }
  static V Sub16(V a, V b) { return VOX_MM(sub_epi16)(a, b); }
  static V SubSat16(V a, V b) { return VOX_MM(subs_epu16)(a, b); }
  static V Mullo16(V a, V b) { return VOX_MM(mullo_epi16)(a, b); }
  static V Mulhi16(V a, V b) { return VOX_MM(mulhi_epu16)(a, b); }
  static V AddSat8(V a, V b) { return VOX_MM(adds_epu8)(a, b); }
  static V SubSat8(V a, V b) { return VOX_MM(subs_epu8)(a, b); }
  static V Add8(V a, V b) { return VOX_MM(add_epi8)(a, b); }
  static V Gt8(V a, V b) { return VOX_MM(cmpgt_epi8)(a, b); }  // signed
  static V Eq8(V a, V b) { return VOX_MM(cmpeq_epi8)(a, b); }
  static V MinU8(V a, V b) { return VOX_MM(min_epu8)(a, b); }
  static V MaxU8(V a, V b) { return VOX_MM(max_epu8)(a, b); }
  static V Add32(V a, V b) { return VOX_MM(add_epi32)(a, b); }
  static V Sub32(V a, V b) { return VOX_MM(sub_epi32)(a, b); }
  template <int n> static V Srl16(V a) { return VOX_MM(srli_epi16)(a, n); }
  template <int n> static V Sll16(V a) { return VOX_MM(slli_epi16)(a, n); }
  template <int n> static V Srl32(V a) { return VOX_MM(srli_epi32)(a, n); }
  template <int n> static V Sra32(V a) { return VOX_MM(srai_epi32)(a, n); }
  template <int n> static V Sll32(V a) { return VOX_MM(slli_epi32)(a, n); }
  static V Eq16(V a, V b) { return VOX_MM(cmpeq_epi16)(a, b); }
  static V Eq32(V a, V b) { return VOX_MM(cmpeq_epi32)(a, b); }
  static uint32_t Mask(V a) { return (uint32_t)VOX_MM(movemask_epi8)(a); }
  // Bytes to words and back (in the order of each 128-bit lane; Pack8 undoes Lo8 and Hi8).
  static V Lo8(V a) { return VOX_MM(unpacklo_epi8)(a, Zero()); }
  static V Hi8(V a) { return VOX_MM(unpackhi_epi8)(a, Zero()); }
  static V Pack8(V lo, V hi) { return VOX_MM(packus_epi16)(lo, hi); }
  // Words to 32-bit lanes and back (Pack16 undoes Lo16 and Hi16).
  static V Lo16(V a) { return VOX_MM(unpacklo_epi16)(a, Zero()); }
  static V Hi16(V a) { return VOX_MM(unpackhi_epi16)(a, Zero()); }
  static V Pack16(V lo, V hi) {
    return VOX_MM(packs_epi32)(VOX_MM(srai_epi32)(VOX_MM(slli_epi32)(lo, 16), 16),
                               VOX_MM(srai_epi32)(VOX_MM(slli_epi32)(hi, 16), 16));
  }
  // Word 3 of each group of four copied to all four.
  static V Splat3(V a) { return VOX_MM(shufflehi_epi16)(VOX_MM(shufflelo_epi16)(a, 0xFF), 0xFF); }
  // The odd word of each pair copied to the even one.
  static V SplatOdd(V a) { return VOX_MM(shufflehi_epi16)(VOX_MM(shufflelo_epi16)(a, 0xF5), 0xF5); }
#if VOX_FAST_ROWS_AVX2
  // The 32-bit lanes (each at most 0xFFFF) of two consecutive loads as words, in order.
  static V PackLoads(V a, V b) { return _mm256_permute4x64_epi64(Pack16(a, b), 0xD8); }
  // One byte per 32-bit pixel (8 bytes), or per 16-bit pixel (16 bytes), widened in order.
  static V BytesTo32(const uint8_t* p) {
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
  }
  static V BytesTo16(const uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  }
#else
  static V PackLoads(V a, V b) { return Pack16(a, b); }
  static V BytesTo32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128((int)v), Zero()), Zero());
  }
  static V BytesTo16(const uint8_t* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), Zero());
  }
#endif
};
#undef VOX_MM
#undef VOX_SI

using V = Isa::V;

V Select(V mask, V a, V b) { return Isa::Or(Isa::And(mask, a), Isa::AndNot(mask, b)); }

// f(0), ..., f(N - 1), written out, so arrays indexed by the step stay in registers.
template <int N, class F>
void ForEachOf(F&& f) {
  [&]<int... J>(std::integer_sequence<int, J...>) { (f(J), ...); }(std::make_integer_sequence<int, N>());
}

// ---- exact channel arithmetic on words ---------------------------------------
V Div255(V v) { return Isa::Srl16<7>(Isa::Mulhi16(v, Isa::Set16(0x8081))); }
V Div63(V v) { return Isa::Srl16<5>(Isa::Mulhi16(v, Isa::Set16(33289))); }
// ScaleTable[m][c]: floor(c * m / 255).
V Scale(V c, V m) { return Div255(Isa::Mullo16(c, m)); }
// MixToward(d, t, f, 8), f <= 255.
V Move8(V d, V t, V f) {
  return Isa::Srl16<8>(Isa::Add16(Isa::Mullo16(d, Isa::Sub16(Isa::Set16(256), f)), Isa::Mullo16(t, f)));
}
// MixToward(d, t, f, 16), f < 65536.
V Move16(V d, V t, V f) {
  const V up = Isa::SubSat16(t, d), down = Isa::SubSat16(d, t);
  const V inexact = Isa::AndNot(Isa::Eq16(Isa::Mullo16(down, f), Isa::Zero()), Isa::Ones());  // -1 where a remainder is left
  return Isa::Sub16(Isa::Add16(d, Isa::Mulhi16(up, f)), Isa::Sub16(Isa::Mulhi16(down, f), inexact));
}
// ScaledDiffMove: d + p * (t - d) / 255 truncated toward zero.
V MoveDiff(V d, V t, V p) {
  return Isa::Sub16(Isa::Add16(d, Scale(Isa::SubSat16(t, d), p)), Scale(Isa::SubSat16(d, t), p));
}

// ---- packed saturating add and subtract on 32-bit lanes (blend.h) -------------
V SatAdd32(V c, V d) {
  const V t = Isa::Add32(Isa::And(c, Isa::Set32(0x00FEFEFF)), Isa::And(d, Isa::Set32(0x00FEFEFF)));
  const V k = Isa::And(t, Isa::Set32(0x01010100));
  return Isa::Or(Isa::Or(t, Isa::Sub32(k, Isa::Srl32<8>(k))), Isa::And(Isa::Or(c, d), Isa::Set32(0x00010100)));
}
V SatSub32(V d, V c) {
  const V t = Isa::Sub32(Isa::Or(d, Isa::Set32(0x01010100)), Isa::And(c, Isa::Set32(0xFEFEFEFF)));
  const V m = Isa::And(t, Isa::Set32(0x01010100));
  return Isa::And(t, Isa::Sub32(m, Isa::Srl32<8>(m)));
}
// The 16-bit rules on 16-bit values held in 32-bit lanes.
V SatAdd16(V c, V d) {
  const V t = Isa::Add32(Isa::And(c, Isa::Set32(0xF7DF)), Isa::And(d, Isa::Set32(0xF7DF)));
  const V k = Isa::And(t, Isa::Set32(0x08210820));
  const V f = Isa::And(Isa::Sub32(k, Isa::Srl32<5>(k)), Isa::Set32(0xFFFF));
  return Isa::And(Isa::Or(Isa::Or(t, f), Isa::And(Isa::Or(c, d), Isa::Set32(0x0820))), Isa::Set32(0xFFFF));
}
V SatAdd16Fast(V s, V d) {
  const V t = Isa::Add32(Isa::And(s, Isa::Set32(0xF7DF)), Isa::And(d, Isa::Set32(0xF7DF)));
  const V k = Isa::And(t, Isa::Set32(0x08210820));
  return Isa::And(Isa::Or(t, Isa::Sub32(k, Isa::Srl32<5>(k))), Isa::Set32(0xFFFF));
}
V SatSub16(V d, V c) {
  const V t = Isa::Sub32(Isa::Or(d, Isa::Set32(0x08210820)), Isa::And(c, Isa::Set32(0xF7DEF7DF)));
  const V m = Isa::And(t, Isa::Set32(0x08210820));
  return Isa::And(Isa::And(t, Isa::Sub32(m, Isa::Srl32<5>(m))), Isa::Set32(0xFFFF));
}
// f on the 16-bit pixels of c and d widened to 32-bit lanes.
template <class F>
V On32(V c, V d, F f) {
  return Isa::Pack16(f(Isa::Lo16(c), Isa::Lo16(d)), f(Isa::Hi16(c), Isa::Hi16(d)));
}

// ---- pixels as words ------------------------------------------------------------
// 32-bit pixels: the four bytes of each pixel as four words, in two halves.
struct Quad {
  V lo, hi;
};
Quad Widen(V v) { return {Isa::Lo8(v), Isa::Hi8(v)}; }
V Narrow(Quad q) { return Isa::Pack8(q.lo, q.hi); }
template <class F>
Quad Each(Quad a, Quad b, F f) {
  return {f(a.lo, b.lo), f(a.hi, b.hi)};
}
template <class F>
Quad Each(Quad a, Quad b, Quad c, F f) {
  return {f(a.lo, b.lo, c.lo), f(a.hi, b.hi, c.hi)};
}
V KeepByte3(V r, V d) { return Select(Isa::Set32(0xFF000000), d, r); }

}  // namespace

// Whole-row loops over 32-bit pixels as they lie in memory.
#include "engine/softrender/fast_rows_whole32.h"

namespace {

// R5G6B5 pixels: blue, green and red as words.
struct Rgb {
  V ch[3];
};
Rgb Split(V v) {
  return {{Isa::And(v, Isa::Set16(31)), Isa::And(Isa::Srl16<5>(v), Isa::Set16(63)), Isa::Srl16<11>(v)}};
}
V Join(const Rgb& c) { return Isa::Or(Isa::Or(c.ch[0], Isa::Sll16<5>(c.ch[1])), Isa::Sll16<11>(c.ch[2])); }
template <class F>
Rgb Each(const Rgb& a, const Rgb& b, F f) {
  return {{f(a.ch[0], b.ch[0], 0), f(a.ch[1], b.ch[1], 1), f(a.ch[2], b.ch[2], 2)}};
}

// ---- one row ------------------------------------------------------------------
enum Classes : int {
  kAllPlain = 0,     // no test, no alpha weight
  kKey = 1,          // colour key: skip where the raw pixel equals it
  kAlphaSplit = 2,   // alpha 0 skipped, 255 plain, others weighted
  kAllWeighted = 3,  // every pixel weighted by its alpha
};
enum Flavour : int {
  kPlainRule = 0,
  kAverage = 1,       // Alpha at p = 128 on the blit's pixel path
  kSixBitMix = 2,     // 16-bit Alpha on the blit's pixel path (Mix64Table)
  kUnscaled = 3,      // Add and Subtract of the source as it is
  kAlphaThenTint = 4, // 16-bit Add and Subtract, scaled blits: alpha before the tint
};

// Constants of a row, as vectors.
struct RowConsts {
  V key, p, q, q_rest;  // q = p >> 2 and 63 - q (six-bit mix)
  V bright_quad;        // 32-bit pixels: blue, green, red bright and 255 for byte 3
  V bright[3];          // 16-bit pixels: per channel
};
RowConsts MakeConsts(const KernelParams& k, int fmt) {
  RowConsts c;
  c.key = fmt == 1 ? Isa::Set32(k.key) : Isa::Set16(k.key);
  c.p = Isa::Set16((uint32_t)k.p);
  c.q = Isa::Set16((uint32_t)(k.p >> 2));
  c.q_rest = Isa::Set16(63u - (uint32_t)(k.p >> 2));
  uint32_t b[3];
  for (int i = 0; i < 3; i++) b[i] = k.bright[i][255];  // the bright byte itself
  c.bright_quad = Isa::Set64((uint64_t)b[0] | (uint64_t)b[1] << 16 | (uint64_t)b[2] << 32 | (uint64_t)255 << 48);
  for (int i = 0; i < 3; i++) c.bright[i] = Isa::Set16(b[i]);
  return c;
}

template <int Fmt, SoftSrc S, int Mode, bool G, int Cls, bool Tinted, int Fl>
struct Row {
  static constexpr int kPixels = Fmt == 1 ? Isa::kBytes / 4 : Isa::kBytes / 2;
  static constexpr int kSrcBytes = S == SoftSrc::Direct && Fmt == 0 ? 2 : 4;
  static constexpr int kDstBytes = Fmt == 1 ? 4 : 2;
  static constexpr bool kSplitOrWeighted = Cls == kAlphaSplit || Cls == kAllWeighted;
  // The plain result is the source pixel itself.
  static constexpr bool kPlainIsSource = Mode == SOFT_BLEND_COPY && !G && !Tinted;

  // ---- 32-bit pixels
  static V Plain32(const RowConsts& c, V s, V d, Quad tw, [[maybe_unused]] Quad ww) {
    const Quad dw = Widen(d);
    if constexpr (Mode == SOFT_BLEND_COPY) {
      if constexpr (G) return KeepByte3(Narrow(Each(dw, tw, ww, Move8)), d);
      if constexpr (Tinted) return KeepByte3(Narrow(tw), d);
      return s;
    } else if constexpr (Mode == SOFT_BLEND_ALPHA) {
      if constexpr (G)
        return KeepByte3(Narrow(Each(dw, tw, ww, [&](V dd, V t, V w) { return Move16(dd, t, Isa::Mullo16(w, c.p)); })), d);
      if constexpr (Fl == kAverage)
        return Isa::Add32(Isa::And(Isa::Srl32<1>(s), Isa::Set32(0x007F7F7F)),
                          Isa::And(Isa::Srl32<1>(d), Isa::Set32(0x007F7F7F)));
      return KeepByte3(Narrow(Each(dw, tw, [&](V dd, V t) { return Move8(dd, t, c.p); })), d);
    } else {
      if constexpr (Fl == kUnscaled) return Mode == SOFT_BLEND_ADD ? Isa::AddSat8(s, d) : Isa::SubSat8(d, s);
      Quad x;
      if constexpr (G)
        x = Each(tw, ww, [&](V t, V w) { return Isa::Mulhi16(t, Isa::Mullo16(w, c.p)); });
      else
        x = {Scale(tw.lo, c.p), Scale(tw.hi, c.p)};
      const V cc = Isa::And(Narrow(x), Isa::Set32(0x00FFFFFF));
      return Mode == SOFT_BLEND_ADD ? SatAdd32(cc, d) : SatSub32(d, cc);
    }
  }
  static V Weighted32(const RowConsts& c, V d, Quad sw, Quad tw, [[maybe_unused]] Quad ww) {
    const Quad dw = Widen(d);
    const Quad aw = {Isa::Splat3(sw.lo), Isa::Splat3(sw.hi)};
    if constexpr (Mode == SOFT_BLEND_COPY) {
      if constexpr (G)
        return KeepByte3(Narrow(Each(dw, tw, Each(ww, aw, Isa::Mullo16), Move16)), d);
      return KeepByte3(Narrow(Each(dw, tw, aw, Move8)), d);
    } else if constexpr (Mode == SOFT_BLEND_ALPHA) {
      return KeepByte3(Narrow(Each(dw, tw, aw, [&](V dd, V t, V a) { return Move16(dd, t, Isa::Mullo16(a, c.p)); })), d);
    } else {
      const Quad x = Each(tw, aw, [&](V t, V a) { return Isa::Mulhi16(t, Isa::Mullo16(a, c.p)); });
      const V cc = Isa::And(Narrow(x), Isa::Set32(0x00FFFFFF));
      return Mode == SOFT_BLEND_ADD ? SatAdd32(cc, d) : SatSub32(d, cc);
    }
  }
  // Which pixels of a vector are skipped (the key, or alpha 0) and which are
  // weighted (alpha neither 0 nor 255). False when the vector is finished:
  // every pixel skipped, or every one an opaque copy of the source.
  static bool Sort(uint8_t* dp, V s, V skip, V opaque, V* weighted) {
    if constexpr (Cls == kKey)
      if (Isa::Mask(skip) == Isa::kAllBits) return false;
    if constexpr (Cls == kAlphaSplit) {
      // One test on the way of a vector with a weighted pixel; the others
      // are told apart only when none is weighted.
      if (Isa::Mask(Isa::Or(skip, opaque)) == Isa::kAllBits) {
        if (Isa::Mask(skip) == Isa::kAllBits) return false;
        if constexpr (kPlainIsSource) {
          if (Isa::Mask(opaque) == Isa::kAllBits) {
            Isa::Store(dp, s);
            return false;
          }
        }
      }
      *weighted = Isa::AndNot(Isa::Or(skip, opaque), Isa::Ones());
    } else if constexpr (Cls == kAllWeighted) {
      *weighted = Isa::Ones();
    }
    return true;
  }
  // Stores the weighted or the plain result of each pixel, or keeps the
  // target's where the pixel is skipped.
  template <class Weighted, class Plain>
  static void Finish(uint8_t* dp, V d, V skip, V weighted, Weighted weighted_result, Plain plain_result) {
    V r;
    if constexpr (Cls == kAllWeighted)
      r = weighted_result();
    else if constexpr (Cls == kAlphaSplit)
      r = Isa::Mask(weighted) ? Select(weighted, weighted_result(), plain_result()) : plain_result();
    else
      r = plain_result();
    if constexpr (Cls == kKey || Cls == kAlphaSplit) r = Select(skip, d, r);
    Isa::Store(dp, r);
  }

  static void Step32(const RowConsts& c, uint8_t* dp, const uint8_t* sp, const uint8_t* weights) {
    const V s = Isa::Load(sp);
    V skip = Isa::Zero(), opaque = Isa::Zero(), weighted = Isa::Zero();
    if constexpr (Cls == kKey) {
      skip = Isa::Eq32(s, c.key);
    } else if constexpr (Cls == kAlphaSplit) {
      const V a = Isa::And(s, Isa::Set32(0xFF000000));
      skip = Isa::Eq32(a, Isa::Zero());
      opaque = Isa::Eq32(a, Isa::Set32(0xFF000000));
    }
    if (!Sort(dp, s, skip, opaque, &weighted)) return;
    const V d = Isa::Load(dp);
    const Quad sw = Widen(s);
    Quad tw = sw;
    if constexpr (Tinted) tw = {Scale(sw.lo, c.bright_quad), Scale(sw.hi, c.bright_quad)};
    Quad ww{};
    if constexpr (G) {
      const Quad w = Widen(Isa::Sll32<24>(Isa::BytesTo32(weights)));
      ww = {Isa::Splat3(w.lo), Isa::Splat3(w.hi)};
    }
    Finish(
        dp, d, skip, weighted, [&] { return Weighted32(c, d, sw, tw, ww); }, [&] { return Plain32(c, s, d, tw, ww); });
  }

  // ---- 16-bit pixels
  static V Plain16(const RowConsts& c, V s, V d, const Rgb& ts, [[maybe_unused]] V w) {
    const Rgb ds = Split(d);
    if constexpr (Mode == SOFT_BLEND_COPY) {
      if constexpr (G) return Join(Each(ds, ts, [&](V dd, V t, int) { return Move8(dd, t, w); }));
      if constexpr (Tinted) return Join(ts);
      return s;
    } else if constexpr (Mode == SOFT_BLEND_ALPHA) {
      if constexpr (G) {
        const V f = Isa::Mullo16(w, c.p);
        return Join(Each(ds, ts, [&](V dd, V t, int) { return Move16(dd, t, f); }));
      }
      if constexpr (Fl == kAverage)
        return Isa::Add16(Isa::And(Isa::Srl16<1>(s), Isa::Set16(0x7BEF)), Isa::And(Isa::Srl16<1>(d), Isa::Set16(0x7BEF)));
      if constexpr (Fl == kSixBitMix)
        return Join(Each(ds, ts, [&](V dd, V t, int) {
          return Div63(Isa::Add16(Isa::Mullo16(t, c.q), Isa::Mullo16(dd, c.q_rest)));
        }));
      return Join(Each(ds, ts, [&](V dd, V t, int) { return MoveDiff(dd, t, c.p); }));
    } else {
      if constexpr (Fl == kUnscaled) {
        if constexpr (Mode == SOFT_BLEND_ADD) return On32(s, d, SatAdd16Fast);
        return On32(d, s, SatSub16);
      }
      Rgb x;
      for (int i = 0; i < 3; i++) {
        if constexpr (G)
          x.ch[i] = Scale(Isa::Srl16<8>(Isa::Mullo16(ts.ch[i], w)), c.p);
        else
          x.ch[i] = Scale(ts.ch[i], c.p);
      }
      const V cc = Join(x);
      if constexpr (Mode == SOFT_BLEND_ADD) return On32(cc, d, SatAdd16);
      return On32(d, cc, SatSub16);
    }
  }
  static V Weighted16(const RowConsts& c, V d, [[maybe_unused]] const Rgb& ss, const Rgb& ts, [[maybe_unused]] V w, V a) {
    const Rgb ds = Split(d);
    if constexpr (Mode == SOFT_BLEND_COPY) {
      if constexpr (G) {
        const V f = Isa::Mullo16(w, a);
        return Join(Each(ds, ts, [&](V dd, V t, int) { return Move16(dd, t, f); }));
      }
      return Join(Each(ds, ts, [&](V dd, V t, int) { return Move8(dd, t, a); }));
    } else if constexpr (Mode == SOFT_BLEND_ALPHA) {
      const V f = Isa::Mullo16(a, c.p);
      return Join(Each(ds, ts, [&](V dd, V t, int) { return Move16(dd, t, f); }));
    } else {
      Rgb x;
      for (int i = 0; i < 3; i++) {
        if constexpr (G)
          x.ch[i] = Scale(Isa::Mulhi16(ts.ch[i], Isa::Mullo16(w, a)), c.p);
        else if constexpr (Fl == kAlphaThenTint)
          x.ch[i] = Scale(Scale(Isa::Srl16<8>(Isa::Mullo16(ss.ch[i], a)), c.bright[i]), c.p);
        else
          x.ch[i] = Scale(Isa::Srl16<8>(Isa::Mullo16(ts.ch[i], a)), c.p);
      }
      const V cc = Join(x);
      if constexpr (Mode == SOFT_BLEND_ADD) return On32(cc, d, SatAdd16);
      return On32(d, cc, SatSub16);
    }
  }
  static void Step16(const RowConsts& c, uint8_t* dp, const uint8_t* sp, const uint8_t* weights) {
    V s, a = Isa::Zero();
    if constexpr (S == SoftSrc::Direct) {
      s = Isa::Load(sp);
    } else {
      const V s0 = Isa::Load(sp), s1 = Isa::Load(sp + Isa::kBytes);
      s = Isa::PackLoads(Isa::And(s0, Isa::Set32(0xFFFF)), Isa::And(s1, Isa::Set32(0xFFFF)));
      a = Isa::PackLoads(Isa::And(Isa::Srl32<16>(s0), Isa::Set32(0xFF)), Isa::And(Isa::Srl32<16>(s1), Isa::Set32(0xFF)));
    }
    V skip = Isa::Zero(), opaque = Isa::Zero(), weighted = Isa::Zero();
    if constexpr (Cls == kKey) {
      skip = Isa::Eq16(s, c.key);
    } else if constexpr (Cls == kAlphaSplit) {
      skip = Isa::Eq16(a, Isa::Zero());
      opaque = Isa::Eq16(a, Isa::Set16(255));
    }
    if (!Sort(dp, s, skip, opaque, &weighted)) return;
    const V d = Isa::Load(dp);
    const Rgb ss = Split(s);
    Rgb ts = ss;
    if constexpr (Tinted)
      for (int i = 0; i < 3; i++) ts.ch[i] = Scale(ss.ch[i], c.bright[i]);
    V w = Isa::Zero();
    if constexpr (G) w = Isa::BytesTo16(weights);
    Finish(
        dp, d, skip, weighted, [&] { return Weighted16(c, d, ss, ts, w, a); }, [&] { return Plain16(c, s, d, ts, w); });
  }

  static int Run(const KernelParams& k, uint8_t* dst, const uint8_t* src, const uint8_t* graph, int n) {
    if constexpr (kPlainIsSource && Cls == kAllPlain && (Fmt == 1 || S == SoftSrc::Direct)) {
      // The whole source pixel, as it is: a copy of the row.
      std::memcpy(dst, src, (size_t)n * kDstBytes);
      return n;
    }
    if constexpr (kPlainIsSource && Fmt == 1 && S == SoftSrc::DirectAlpha && kSplitOrWeighted)
      return RunMixByAlpha32<Cls == kAlphaSplit>(dst, src, n);
    if constexpr (Fl == kUnscaled && Fmt == 1 && Cls == kAllPlain) return RunUnscaled32<Mode>(dst, src, n);
    const RowConsts c = MakeConsts(k, Fmt);
    uint8_t weights[kPixels];
    int i = 0;
    for (; i + kPixels <= n; i += kPixels) {
      if constexpr (G)
        for (int j = 0; j < kPixels; j++) weights[j] = BlendGraphRamp[graph[i + j]];
      if constexpr (Fmt == 1)
        Step32(c, dst + (size_t)i * kDstBytes, src + (size_t)i * kSrcBytes, weights);
      else
        Step16(c, dst + (size_t)i * kDstBytes, src + (size_t)i * kSrcBytes, weights);
    }
    return i;
  }
};

// ---- choosing the row for a draw ------------------------------------------------
template <int Fmt, SoftSrc S, int Mode, bool G>
constexpr bool kCovered =
    S != SoftSrc::Palette &&
    (Mode == SOFT_BLEND_COPY || Mode == SOFT_BLEND_ALPHA || Mode == SOFT_BLEND_ADD || Mode == SOFT_BLEND_SUBTRACT) &&
    !(Mode == SOFT_BLEND_ALPHA && S == SoftSrc::DirectAlpha && G) &&
    !((Mode == SOFT_BLEND_ADD || Mode == SOFT_BLEND_SUBTRACT) && Fmt == 1 && S == SoftSrc::DirectAlpha && G);

template <int Fmt, SoftSrc S, int Mode, bool G>
int FastRow(const KernelParams& k, FastRowRule rule, uint8_t* dst, const uint8_t* src, const uint8_t* graph, int n) {
  int cls;
  if constexpr (S == SoftSrc::Direct) {
    // Without alpha a weighted pixel is drawn as a plain one.
    cls = rule == FAST_ROW_CLASSIFY && k.transparency ? kKey : kAllPlain;
    // A 16-bit pixel never equals a key beyond 16 bits.
    if (Fmt == 0 && cls == kKey && k.key > 0xFFFF) cls = kAllPlain;
  } else if (rule == FAST_ROW_ALL_PLAIN) {
    cls = kAllPlain;
  } else if (rule == FAST_ROW_ALL_WEIGHTED) {
    cls = kAllWeighted;
  } else {
    cls = k.ignore_alpha ? kAllPlain : !k.transparency ? kAllWeighted : kAlphaSplit;
  }
  int fl = kPlainRule;
  if constexpr (Mode == SOFT_BLEND_ALPHA) {
    if (k.fast) fl = k.p == 128 ? kAverage : Fmt == 0 ? kSixBitMix : kPlainRule;
  } else if constexpr (Mode == SOFT_BLEND_ADD || Mode == SOFT_BLEND_SUBTRACT) {
    if ((k.fast && k.p == 255) || (Mode == SOFT_BLEND_SUBTRACT && k.raw_subtract))
      fl = kUnscaled;
    else if (Fmt == 0 && S == SoftSrc::DirectAlpha && !G && k.tinted && !k.blit_rules)
      fl = kAlphaThenTint;
  }
  auto with = [&]<int C, bool T>() -> int {
    switch (fl) {
      case kAverage:
        if constexpr (Mode == SOFT_BLEND_ALPHA && !G && !T) return Row<Fmt, S, Mode, G, C, T, kAverage>::Run(k, dst, src, graph, n);
        break;
      case kSixBitMix:
        if constexpr (Mode == SOFT_BLEND_ALPHA && Fmt == 0 && !G && !T)
          return Row<Fmt, S, Mode, G, C, T, kSixBitMix>::Run(k, dst, src, graph, n);
        break;
      case kUnscaled:
        if constexpr ((Mode == SOFT_BLEND_ADD || Mode == SOFT_BLEND_SUBTRACT) && !G && !T)
          return Row<Fmt, S, Mode, G, C, T, kUnscaled>::Run(k, dst, src, graph, n);
        break;
      case kAlphaThenTint:
        if constexpr ((Mode == SOFT_BLEND_ADD || Mode == SOFT_BLEND_SUBTRACT) && Fmt == 0 && S == SoftSrc::DirectAlpha &&
                      !G && T)
          return Row<Fmt, S, Mode, G, C, T, kAlphaThenTint>::Run(k, dst, src, graph, n);
        break;
      default:
        return Row<Fmt, S, Mode, G, C, T, kPlainRule>::Run(k, dst, src, graph, n);
    }
    return 0;  // a flavour that does not arise with these constants
  };
  auto tinted = [&]<int C>() -> int {
    return k.tinted ? with.template operator()<C, true>() : with.template operator()<C, false>();
  };
  if constexpr (S == SoftSrc::Direct) {
    return cls == kKey ? tinted.template operator()<kKey>() : tinted.template operator()<kAllPlain>();
  } else {
    switch (cls) {
      case kAllPlain: return tinted.template operator()<kAllPlain>();
      case kAllWeighted: return tinted.template operator()<kAllWeighted>();
      default: return tinted.template operator()<kAlphaSplit>();
    }
  }
}

// The fast row of the kernel at table index I (kernel.h), or null.
template <size_t I>
constexpr FastRowFn FastRowAt() {
  using K = SoftKernelAt<I>;
  if constexpr (kCovered<K::kFormat, K::kSrc, K::kMode, K::kGraph>)
    return &FastRow<K::kFormat, K::kSrc, K::kMode, K::kGraph>;
  else
    return nullptr;
}
template <size_t... I>
constexpr auto MakeFastRowTable(std::index_sequence<I...>) {
  return std::array<FastRowFn, sizeof...(I)>{FastRowAt<I>()...};
}
constexpr auto kFastRows = MakeFastRowTable(std::make_index_sequence<kSoftLoopCount>());

}  // namespace
