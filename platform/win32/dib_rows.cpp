// A DIB's rectangle onto an SDL surface: the per-pixel conversion through
// channel tables, and the vector rows that give the same bytes at memory
// speed for the layouts the software screen uses (16- and 32-bit DIBs onto a
// 32-bit surface of 8-bit channels), unscaled or widened by 1.5 or 2.
#include "platform/win32/dib_rows.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/byte_order.h"

namespace vox_win32 {
namespace {

struct Channel {
  uint32_t mask;
  int shift, width;
  uint64_t max;
  bool contiguous;  // the mask is one run of bits
};

Channel ChannelOf(uint32_t mask) {
  int shift = BitFieldShift(mask), width = BitFieldWidth(mask);
  uint64_t max = (1ull << width) - 1;
  return Channel{mask, shift, width, max, (mask >> shift) == max};
}

// The channel scaled to 0..255, rounded to the nearest.
uint32_t Expand(uint32_t pixel, const Channel& c) {
  if (!c.max) return 0;
  return (uint32_t)((((pixel & c.mask) >> c.shift) * 255 + c.max / 2) / c.max);
}

// A channel's value (as the DIB holds it) to its bits in the surface's pixel
// format, through a table for channels of one run of up to 10 bits (any
// other mask is worked out pixel by pixel).
struct ChannelTable {
  ChannelTable(const Channel& c, int loss, int shift) : channel(c), loss(loss), shift(shift) {
    if (c.max >= 1024 || !c.contiguous) return;
    for (uint32_t v = 0; v <= c.max; v++) table[v] = (Expand(v << c.shift, c) >> loss) << shift;
    fast = table;
  }
  uint32_t bits(uint32_t pixel) const {
    return fast ? fast[(pixel & channel.mask) >> channel.shift] : (Expand(pixel, channel) >> loss) << shift;
  }
  Channel channel;
  int loss, shift;
  uint32_t table[1024];
  const uint32_t* fast = nullptr;
};

struct Tables {
  Tables(const uint32_t masks[3], const SDL_PixelFormat* f)
      : red(ChannelOf(masks[0]), f->Rloss, f->Rshift),
        green(ChannelOf(masks[1]), f->Gloss, f->Gshift),
        blue(ChannelOf(masks[2]), f->Bloss, f->Bshift),
        alpha(f->Amask) {}
  uint32_t pixel(uint32_t p) const { return red.bits(p) | green.bits(p) | blue.bits(p) | alpha; }
  ChannelTable red, green, blue;
  uint32_t alpha;
};

uint32_t ReadDibPixel(const uint8_t* in, int bpp) {
  return bpp == 16 ? ReadLe16(in) : bpp == 24 ? ReadLe24(in) : ReadLe32(in);
}

// ---- vector rows ------------------------------------------------------------
// Each channel of the fast layouts is 5, 6 or 8 bits wide; its value v
// rounded to 8 bits, (v * 255 + max / 2) / max, is (v * mul + add) >> 6 with
// mul, add = 527, 23 (5 bits), 259, 33 (6 bits) and 64, 0 (8 bits), exactly
// for every v.
struct VectorChannel {
  __m128i from, to;  // shift counts: the DIB's and the surface's
  __m128i max, mul, add;
};

bool MakeVectorChannel(const Channel& c, int loss, int to_shift, int bpp, VectorChannel* out) {
  static const int kMul[9] = {0, 0, 0, 0, 0, 527, 259, 0, 64}, kAdd[9] = {0, 0, 0, 0, 0, 23, 33, 0, 0};
  if (!c.contiguous || loss != 0 || c.width > 8 || !kMul[c.width]) return false;
  if (bpp == 16 ? (c.mask >> 16) != 0 : c.width != 8) return false;
  *out = VectorChannel{_mm_cvtsi32_si128(c.shift), _mm_cvtsi32_si128(to_shift), _mm_set1_epi16((short)c.max),
                       _mm_set1_epi16((short)kMul[c.width]), _mm_set1_epi16((short)kAdd[c.width])};
  return true;
}

struct VectorPlan {
  VectorChannel ch[3];
  __m128i alpha;
  __m128i keep;       // 32-bit DIB in the surface's own layout: the channel bits
  bool same_layout;   // ... and then the pixel is (p & keep) | alpha
};

// 16-bit DIB pixels, eight at a time, onto 32-bit surface pixels.
int ConvertRow16(const VectorPlan& v, const uint8_t* in, uint32_t* out, int n) {
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + (size_t)i * 2));
    __m128i lo = v.alpha, hi = v.alpha;
    for (const VectorChannel& c : v.ch) {
      const __m128i value = _mm_and_si128(_mm_srl_epi16(p, c.from), c.max);
      const __m128i byte = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(value, c.mul), c.add), 6);
      lo = _mm_or_si128(lo, _mm_sll_epi32(_mm_unpacklo_epi16(byte, _mm_setzero_si128()), c.to));
      hi = _mm_or_si128(hi, _mm_sll_epi32(_mm_unpackhi_epi16(byte, _mm_setzero_si128()), c.to));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 4), hi);
  }
  return i;
}

// 32-bit DIB pixels of 8-bit channels, four at a time.
int ConvertRow32(const VectorPlan& v, const uint8_t* in, uint32_t* out, int n) {
  int i = 0;
  if (v.same_layout) {
    for (; i + 4 <= n; i += 4) {
      const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + (size_t)i * 4));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_or_si128(_mm_and_si128(p, v.keep), v.alpha));
    }
    return i;
  }
  const __m128i byte = _mm_set1_epi32(0xFF);
  for (; i + 4 <= n; i += 4) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + (size_t)i * 4));
    __m128i r = v.alpha;
    for (const VectorChannel& c : v.ch) r = _mm_or_si128(r, _mm_sll_epi32(_mm_and_si128(_mm_srl_epi32(p, c.from), byte), c.to));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), r);
  }
  return i;
}

// How the surface columns take their source columns.
enum class Widen { Gather, None, ThreeHalves, Double };

Widen WidenOf(const int* columns, int n) {
  auto follows = [&](auto rule) {
    for (int i = 0; i < n; i++)
      if (columns[i] != columns[0] + rule(i)) return false;
    return true;
  };
  if (follows([](int i) { return i; })) return Widen::None;
  if (follows([](int i) { return 2 * i / 3; })) return Widen::ThreeHalves;
  if (follows([](int i) { return i / 2; })) return Widen::Double;
  return Widen::Gather;
}

// Converted source pixels onto the surface columns, as `columns` (relative
// to the first) says; the vector part for the regular widenings.
void WidenRow(Widen kind, const uint32_t* in, uint32_t* out, const int* columns, int n) {
  int i = 0;
  if (kind == Widen::ThreeHalves) {
    // Source pixels s0..s7 become s0 s0 s1 s2 | s2 s3 s4 s4 | s5 s6 s6 s7.
    for (int j = 0; i + 12 <= n; i += 12, j += 8) {
      const __m128 a = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + j)));
      const __m128 b = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + j + 4)));
      _mm_storeu_ps(reinterpret_cast<float*>(out + i), _mm_shuffle_ps(a, a, _MM_SHUFFLE(2, 1, 0, 0)));
      _mm_storeu_ps(reinterpret_cast<float*>(out + i + 4), _mm_shuffle_ps(a, b, _MM_SHUFFLE(0, 0, 3, 2)));
      _mm_storeu_ps(reinterpret_cast<float*>(out + i + 8), _mm_shuffle_ps(b, b, _MM_SHUFFLE(3, 2, 2, 1)));
    }
  } else if (kind == Widen::Double) {
    for (int j = 0; i + 8 <= n; i += 8, j += 4) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + j));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi32(a, a));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 4), _mm_unpackhi_epi32(a, a));
    }
  }
  for (; i < n; i++) out[i] = in[columns[i] - columns[0]];
}

}  // namespace

void DrawDibToSurface(SDL_Surface* surface, const DibPlacement& place, const uint8_t* bits, size_t stride,
                      int height, bool top_down, int bpp, const uint32_t masks[3], bool per_pixel) {
  const SDL_Rect& to = place.to;
  const SDL_Rect& visible = place.visible;
  if (visible.w <= 0 || visible.h <= 0) return;
  const SDL_PixelFormat* f = surface->format;
  const int out_bytes = f->BytesPerPixel;
  // Every frame of the software screen comes through here: the source
  // column of each surface column and each channel value's bits in the
  // surface's format are worked out once per call, not once per pixel.
  std::vector<int> column_list((size_t)visible.w);
  int* columns = column_list.data();
  for (int x = visible.x; x < visible.x + visible.w; x++)
    columns[x - visible.x] = place.x_src + (int)((int64_t)(x - to.x) * place.src_width / to.w);
  const Tables tables(masks, f);
  auto source_row = [&](int y) {
    int sy = place.y_src + (int)((int64_t)(y - to.y) * place.src_height / to.h);
    return std::pair<int, const uint8_t*>(sy, bits + stride * (size_t)(top_down ? sy : height - 1 - sy));
  };
  auto surface_row = [&](int y) {
    return static_cast<uint8_t*>(surface->pixels) + (size_t)y * surface->pitch + (size_t)visible.x * out_bytes;
  };

  VectorPlan plan;
  bool vector = !per_pixel && out_bytes == 4 && (bpp == 16 || bpp == 32);
  const int to_shift[3] = {f->Rshift, f->Gshift, f->Bshift}, loss[3] = {f->Rloss, f->Gloss, f->Bloss};
  for (int c = 0; c < 3 && vector; c++)
    vector = MakeVectorChannel(ChannelOf(masks[c]), loss[c], to_shift[c], bpp, &plan.ch[c]);

  if (!vector) {
    const size_t out_copy = (size_t)std::min(out_bytes, 4);
    for (int y = visible.y; y < visible.y + visible.h; y++) {
      const uint8_t* row = source_row(y).second;
      uint8_t* out = surface_row(y);
      for (int i = 0; i < visible.w; i++, out += out_bytes) {
        uint32_t packed = tables.pixel(ReadDibPixel(row + columns[i] * (bpp / 8), bpp));
        memcpy(out, &packed, out_copy);
      }
    }
    return;
  }

  plan.alpha = _mm_set1_epi32((int)f->Amask);
  plan.keep = _mm_set1_epi32((int)(masks[0] | masks[1] | masks[2]));
  plan.same_layout = bpp == 32 && masks[0] == f->Rmask && masks[1] == f->Gmask && masks[2] == f->Bmask;
  const Widen widen = WidenOf(columns, visible.w);
  const int first = columns[0], span = columns[visible.w - 1] - first + 1;
  std::vector<uint32_t> converted(widen == Widen::None ? 0 : (size_t)span);
  int last_sy = -1;
  const uint8_t* last_out = nullptr;
  for (int y = visible.y; y < visible.y + visible.h; y++) {
    auto [sy, row] = source_row(y);
    uint8_t* out = surface_row(y);
    if (sy == last_sy) {
      // The same source row as the surface row above: the same bytes.
      std::memcpy(out, last_out, (size_t)visible.w * 4);
      continue;
    }
    uint32_t* line = widen == Widen::None ? reinterpret_cast<uint32_t*>(out) : converted.data();
    const uint8_t* in = row + (size_t)first * (bpp / 8);
    // The surface's rows are 4-byte aligned; the row buffer is a vector.
    int done = bpp == 16 ? ConvertRow16(plan, in, line, span) : ConvertRow32(plan, in, line, span);
    for (int i = done; i < span; i++) {
      uint32_t packed = tables.pixel(ReadDibPixel(in + (size_t)i * (bpp / 8), bpp));
      std::memcpy(line + i, &packed, 4);
    }
    if (widen != Widen::None) WidenRow(widen, line, reinterpret_cast<uint32_t*>(out), columns, visible.w);
    last_sy = sy;
    last_out = out;
  }
}

}  // namespace vox_win32
