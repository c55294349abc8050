// The fast rows built for AVX2 (this file alone is compiled with -mavx2; it
// is called only where the environment check found AVX2).
#define VOX_FAST_ROWS_AVX2 1
#include "engine/softrender/fast_rows_impl.h"

FastRowFn FastRowAvx2(int index) { return kFastRows[index]; }

namespace {

int GatherPixels(const uint8_t* src, int32_t pitch, uint32_t u, uint32_t v, uint32_t du, uint32_t dv, int n,
                 uint8_t* out) {
  const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  __m256i uu = _mm256_add_epi32(_mm256_set1_epi32((int)u), _mm256_mullo_epi32(lane, _mm256_set1_epi32((int)du)));
  __m256i vv = _mm256_add_epi32(_mm256_set1_epi32((int)v), _mm256_mullo_epi32(lane, _mm256_set1_epi32((int)dv)));
  const __m256i step_u = _mm256_set1_epi32((int)(du * 8)), step_v = _mm256_set1_epi32((int)(dv * 8));
  const __m256i row_bytes = _mm256_set1_epi32(pitch);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i offset = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_srli_epi32(vv, 18), row_bytes),
                                            _mm256_slli_epi32(_mm256_srli_epi32(uu, 18), 2));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + (size_t)i * 4),
                        _mm256_i32gather_epi32(reinterpret_cast<const int*>(src), offset, 1));
    uu = _mm256_add_epi32(uu, step_u);
    vv = _mm256_add_epi32(vv, step_v);
  }
  return i;
}

// 2-byte pixels: each is read from the aligned 4-byte word that holds it
// (such a word never reaches into another page) and shifted into place.
int GatherPixels16(const uint8_t* src, int32_t pitch, uint32_t u, uint32_t v, uint32_t du, uint32_t dv, int n,
                   uint8_t* out) {
  if (((uintptr_t)src | (uint32_t)pitch) & 1) return 0;  // a pixel could straddle two words
  const int misaligned = (int)((uintptr_t)src & 3);
  const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  __m256i uu = _mm256_add_epi32(_mm256_set1_epi32((int)u), _mm256_mullo_epi32(lane, _mm256_set1_epi32((int)du)));
  __m256i vv = _mm256_add_epi32(_mm256_set1_epi32((int)v), _mm256_mullo_epi32(lane, _mm256_set1_epi32((int)dv)));
  const __m256i step_u = _mm256_set1_epi32((int)(du * 8)), step_v = _mm256_set1_epi32((int)(dv * 8));
  const __m256i row_bytes = _mm256_set1_epi32(pitch), skew = _mm256_set1_epi32(misaligned);
  auto eight = [&]() {
    const __m256i at = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_mullo_epi32(_mm256_srli_epi32(vv, 18), row_bytes), _mm256_slli_epi32(_mm256_srli_epi32(uu, 18), 1)),
        skew);
    const __m256i word = _mm256_sub_epi32(_mm256_andnot_si256(_mm256_set1_epi32(3), at), skew);
    const __m256i shift = _mm256_slli_epi32(_mm256_and_si256(at, _mm256_set1_epi32(2)), 3);
    const __m256i px = _mm256_i32gather_epi32(reinterpret_cast<const int*>(src), word, 1);
    uu = _mm256_add_epi32(uu, step_u);
    vv = _mm256_add_epi32(vv, step_v);
    return _mm256_and_si256(_mm256_srlv_epi32(px, shift), _mm256_set1_epi32(0xFFFF));
  };
  int i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m256i a = eight(), b = eight();
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + (size_t)i * 2),
                        _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xD8));
  }
  return i;
}

}  // namespace

GatherFn GatherAvx2(int bytes) { return bytes == 4 ? &GatherPixels : bytes == 2 ? &GatherPixels16 : nullptr; }
