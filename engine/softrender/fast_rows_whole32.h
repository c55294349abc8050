// Part of fast_rows_impl.h, included in its middle for each instruction set
// (it uses that file's Isa, V, Select and ForEachOf): the rows over 32-bit
// pixels that run without widening them, 16 pixels a step: the untinted copy
// of a source with alpha, and the unscaled add and subtract.
#pragma once

namespace {

// The untinted copy of a source with alpha: byte by byte MixToward(d, s, a, 8),
// (d * (256 - a) + s * a) >> 8, taken as d + floor((s - d) * a / 256). That
// floor lies in -255..254 and is the second byte of (s - d) * a in two's
// complement, so the low 16 bits of the product hold it exactly; added to d
// byte by byte, with the carry out of each byte dropped, it gives the result,
// which lies in 0..255. Blue and red (the even bytes) and green and byte 3
// (the odd bytes) each fill the words of one vector, so no pixel is widened;
// byte 3 gets nothing added, which keeps the target's, and a pixel of alpha 0
// gives the target unchanged.
V MixByAlpha32(V s, V d) {
  const V even = Isa::Set16(0x00FF);
  const V s_ga = Isa::Srl16<8>(s);     // green and alpha as words
  const V a = Isa::SplatOdd(s_ga);     // alpha in both words of its pixel
  const V br = Isa::Mullo16(Isa::Sub16(Isa::And(s, even), Isa::And(d, even)), a);
  const V ga = Isa::Mullo16(Isa::Sub16(s_ga, Isa::Srl16<8>(d)), a);
  return Isa::Add8(d, Isa::Or(Isa::Srl16<8>(br), Isa::And(ga, Isa::Set32(0x0000FF00))));
}
// The alpha bytes that are 0 or 255 as all ones, every other byte 0: a + 0x81
// is below -126 as a signed byte exactly for those two alphas, and the
// colour bytes are compared with -128, which nothing is below.
V EdgeAlphas32(V s) { return Isa::Gt8(Isa::Set32(0x82808080u), Isa::Add8(s, Isa::Set32(0x81000000u))); }

// The untinted copy of a source with alpha, 16 pixels a step. Under the
// transparency rule one test tells whether any of the 16 alphas is 0 or
// 255: the smallest alpha 0, or the largest 255. Where none is (the common
// case of a soft edge) all are mixed without a further test; otherwise each
// vector is skipped when all its alphas are 0, copied when all are 255, and
// else mixed with its opaque pixels taken from the source.
template <bool Split>
int RunMixByAlpha32(uint8_t* dst, const uint8_t* src, int n) {
  constexpr int kPixels = Isa::kBytes / 4, kStep = 16, kVectors = kStep / kPixels;
  constexpr uint32_t kAlphaBits = Isa::kAllBits / 15 * 8;  // the alpha byte of every pixel
  auto one = [](uint8_t* dp, V s) {
    if constexpr (Split) {
      const V edge = EdgeAlphas32(s);
      const uint32_t edges = Isa::Mask(edge), opaque = Isa::Mask(s) & edges;
      if (edges == kAlphaBits && opaque == 0) return;
      if (opaque == kAlphaBits) return Isa::Store(dp, s);
      const V r = MixByAlpha32(s, Isa::Load(dp));
      return Isa::Store(dp, opaque ? Select(Isa::Sra32<31>(Isa::And(s, edge)), s, r) : r);
    }
    Isa::Store(dp, MixByAlpha32(s, Isa::Load(dp)));
  };
  int i = 0;
  for (; i + kStep <= n; i += kStep) {
    uint8_t* dp = dst + (size_t)i * 4;
    V s[kVectors];
    ForEachOf<kVectors>([&](int j) { s[j] = Isa::Load(src + (size_t)i * 4 + j * Isa::kBytes); });
    if constexpr (Split) {
      V lo = s[0], hi = s[0];
      ForEachOf<kVectors - 1>([&](int j) {
        lo = Isa::MinU8(lo, s[j + 1]);
        hi = Isa::MaxU8(hi, s[j + 1]);
      });
      // 0 where the smallest alpha is 0 or the largest 255 (which wraps to 0).
      const V edge = Isa::MinU8(lo, Isa::Add8(hi, Isa::Set8(1)));
      if (Isa::Mask(Isa::Eq8(edge, Isa::Zero())) & kAlphaBits) {
        ForEachOf<kVectors>([&](int j) { one(dp + j * Isa::kBytes, s[j]); });
        continue;
      }
    }
    ForEachOf<kVectors>(
        [&](int j) { Isa::Store(dp + j * Isa::kBytes, MixByAlpha32(s[j], Isa::Load(dp + j * Isa::kBytes))); });
  }
  for (; i + kPixels <= n; i += kPixels) one(dst + (size_t)i * 4, Isa::Load(src + (size_t)i * 4));
  return i;
}

// The unscaled add or subtract of 32-bit pixels, byte by byte with
// saturation, where no pixel is skipped: one cache line of each row a step,
// with the AVX2 rows asking for the lines 512 bytes ahead, since whole frames
// of these come from beyond the core's own caches.
template <int Mode>
int RunUnscaled32(uint8_t* dst, const uint8_t* src, int n) {
  constexpr int kPixels = Isa::kBytes / 4, kStep = 16, kAhead = 512;
  auto result = [](V s, V d) { return Mode == SOFT_BLEND_ADD ? Isa::AddSat8(s, d) : Isa::SubSat8(d, s); };
  int i = 0;
  for (; i + kStep <= n; i += kStep) {
    uint8_t* dp = dst + (size_t)i * 4;
    const uint8_t* sp = src + (size_t)i * 4;
    if constexpr (Isa::kBytes == 32) {  // measured: a gain with AVX2, a loss at the SSE2 level
      _mm_prefetch(reinterpret_cast<const char*>(sp + kAhead), _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(dp + kAhead), _MM_HINT_T0);
    }
    // Every load ahead of the stores: the compiler cannot tell that the
    // rows lie apart, so it would keep each load behind the store before it.
    V s[kStep / kPixels], d[kStep / kPixels];
    ForEachOf<kStep / kPixels>([&](int j) {
      s[j] = Isa::Load(sp + j * Isa::kBytes);
      d[j] = Isa::Load(dp + j * Isa::kBytes);
    });
    ForEachOf<kStep / kPixels>([&](int j) { Isa::Store(dp + j * Isa::kBytes, result(s[j], d[j])); });
  }
  for (; i + kPixels <= n; i += kPixels)
    Isa::Store(dst + (size_t)i * 4, result(Isa::Load(src + (size_t)i * 4), Isa::Load(dst + (size_t)i * 4)));
  return i;
}

}  // namespace
