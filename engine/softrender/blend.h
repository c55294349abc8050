// Per-pixel blend arithmetic of the software renderer: the global lookup
// tables that stand in for every division by 255, the draw state that every
// software drawer reads, channel split and join at the channels' own widths,
// and the packed saturating add and subtract with their carry-guard masks.
// All arithmetic here is exact to the bit; no drawer divides per pixel.
#pragma once

#include <cstdint>

#include "engine/softrender/memimg.h"

// ---- blend modes and draw state ----------------------------------------------
enum SoftBlendMode : int32_t {
  SOFT_BLEND_COPY = 0,
  SOFT_BLEND_ALPHA = 1,
  SOFT_BLEND_ADD = 2,
  SOFT_BLEND_SUBTRACT = 3,
  SOFT_BLEND_MULTIPLY = 4,
  SOFT_BLEND_INVERTED_ALPHA = 10,
  SOFT_BLEND_MULTIPLIED_ALPHA = 11,
};
inline bool IsSoftBlendMode(int mode) { return (mode >= 0 && mode <= 4) || mode == 10 || mode == 11; }

// What the software drawers read of the graphics module's draw state, once at
// the start of every call. The graphics module keeps it current (its setters
// clamp the parameter and the bright bytes to 0..255).
struct SoftDrawState {
  int32_t draw_area[4];   // x1, y1, x2, y2; right and bottom exclusive
  int32_t blend_mode;     // SoftBlendMode; any other value draws nothing
  int32_t blend_param;    // 0..255
  uint32_t draw_bright;   // 0x00RRGGBB (blue in the lowest byte); the top byte is ignored
  MEMIMG* target;         // software draw target
  MEMIMG* blend_graph;    // format-2 blend image, or null
};
extern SoftDrawState g_soft_draw;

constexpr uint32_t SOFT_BRIGHT_WHITE = 0x00FFFFFF;
inline bool IsBrightWhite(uint32_t bright) { return (bright & 0x00FFFFFF) == SOFT_BRIGHT_WHITE; }
// Bright byte of channel i (0 blue, 1 green, 2 red).
inline uint32_t BrightByte(uint32_t bright, int i) { return (bright >> (8 * i)) & 0xFF; }

// The graphics module's rectangle clipper: a reversed extent collapses
// (x2 = x1, y2 = y1), then y2, y1, x2, x1 are clamped in that order into the
// clip rectangle. Always 0.
int IntersectClipRect(int32_t* rect, const int32_t* clip);

// ---- lookup tables -------------------------------------------------------------
// ScaleTable[b][a] = a * b / 255 truncated.
extern uint32_t ScaleTable[256][256];
// ScaledDiffTable[a][255 + d] = a * d / 255 truncated toward zero, d -255..255;
// use ScaledDiffRow(a)[d]. The last slot of a row is never written.
extern int32_t ScaledDiffTable[256][512];
// Mix64Table[i][j][k] = (i * j + (63 - i) * k) / 63 truncated.
extern uint8_t Mix64Table[64][64][64];
// Weight 0..255 of each blend-image byte.
extern uint8_t BlendGraphRamp[256];

int BuildSoftBlendTables();                       // always 0
void BuildBlendGraphRamp(int border_param, int border_range);  // both 0..255

inline const int32_t* ScaledDiffRow(int p) { return &ScaledDiffTable[p][255]; }

// ---- channels ------------------------------------------------------------------
// Channel i: 0 blue, 1 green, 2 red. Format 0 is R5G6B5, format 1 bytes.
template <int Fmt>
struct SoftChannels;
template <>
struct SoftChannels<0> {
  static constexpr int kShift[3] = {0, 5, 11};
  static constexpr int kBits[3] = {5, 6, 5};
  static constexpr uint32_t kMax[3] = {31, 63, 31};
  static constexpr uint32_t kColorMask = 0xFFFF;
};
template <>
struct SoftChannels<1> {
  static constexpr int kShift[3] = {0, 8, 16};
  static constexpr int kBits[3] = {8, 8, 8};
  static constexpr uint32_t kMax[3] = {255, 255, 255};
  static constexpr uint32_t kColorMask = 0x00FFFFFF;
};

template <int Fmt>
inline uint32_t GetChannel(uint32_t pixel, int i) {
  return (pixel >> SoftChannels<Fmt>::kShift[i]) & SoftChannels<Fmt>::kMax[i];
}
// Packs three channel values (each within its width) into the colour bits.
template <int Fmt>
inline uint32_t JoinChannels(uint32_t b, uint32_t g, uint32_t r) {
  return b | (g << SoftChannels<Fmt>::kShift[1]) | (r << SoftChannels<Fmt>::kShift[2]);
}

// ---- weighted moves --------------------------------------------------------------
// d + floor((v - d) * n / 2^shift) for n < 2^shift: the exact value of
// floor((v * n + d * (2^shift - n)) / 2^shift), with 64-bit intermediates so
// that three byte weights times a byte difference cannot overflow.
inline uint32_t MixToward(uint32_t d, uint32_t v, uint64_t n, int shift) {
  int64_t sum = ((int64_t)d << shift) + ((int64_t)v - (int64_t)d) * (int64_t)n;
  return (uint32_t)(sum >> shift);
}
// d + p * (v - d) / 255 truncated toward zero, through the table row of p.
inline uint32_t ScaledDiffMove(const int32_t* row, uint32_t d, uint32_t v) {
  return (uint32_t)((int32_t)d + row[(int32_t)v - (int32_t)d]);
}

// ---- packed saturating add and subtract -----------------------------------------
// 16-bit R5G6B5. The lowest bits of red and green are the guard bits: the sum
// keeps the OR of both operands there (plus the carry from below).
inline uint32_t SaturatingAdd16(uint32_t c, uint32_t d) {
  uint32_t t = (c & 0xF7DF) + (d & 0xF7DF);
  uint32_t k = t & 0x08210820;
  uint32_t f = (k - (k >> 5)) & 0xFFFF;
  return (t | f | ((c | d) & 0x0820)) & 0xFFFF;
}
// The unscaled single-pixel add of the blit's fast path: no OR of the guard bits.
inline uint32_t SaturatingAdd16Fast(uint32_t s, uint32_t d) {
  uint32_t t = (s & 0xF7DF) + (d & 0xF7DF);
  uint32_t k = t & 0x08210820;
  return (t | (k - (k >> 5))) & 0xFFFF;
}
// Two neighbouring R5G6B5 pixels as one word (first pixel in the low half).
inline uint32_t SaturatingAdd16Pair(uint32_t s, uint32_t d) {
  uint64_t wide = (uint64_t)(s & 0xF7DEF7DF) + (d & 0xF7DEF7DF);
  uint32_t sum = (uint32_t)wide;
  uint32_t k = (uint32_t)(wide >> 32);
  uint32_t c = sum & 0x08210820;
  return sum | (c - ((c >> 5) | (k << 27)));
}
// Byte 3 of the result is the red carry (0 or 1).
inline uint32_t SaturatingAdd32(uint32_t c, uint32_t d) {
  uint32_t t = (c & 0x00FEFEFF) + (d & 0x00FEFEFF);
  uint32_t k = t & 0x01010100;
  return t | (k - (k >> 8)) | ((c | d) & 0x00010100);
}
// Each of the four bytes min(255, s + d), as the packed-byte instructions give.
inline uint32_t SaturatingAddBytes32(uint32_t s, uint32_t d) {
  uint32_t r = 0;
  for (int i = 0; i < 32; i += 8) {
    uint32_t v = ((s >> i) & 0xFF) + ((d >> i) & 0xFF);
    r |= (v > 255 ? 255 : v) << i;
  }
  return r;
}
inline uint32_t SaturatingSubtract16(uint32_t d, uint32_t c) {
  uint32_t t = (d | 0x08210820) - (c & 0xF7DEF7DF);
  uint32_t m = t & 0x08210820;
  return (t & (m - (m >> 5))) & 0xFFFF;
}
inline uint32_t SaturatingSubtract16Pair(uint32_t d, uint32_t s) {
  uint32_t a = d | 0x08210820;
  uint32_t b = s & 0xF7DEF7DF;
  uint32_t diff = a - b;
  uint32_t m = diff & 0x08210820;
  return diff & ((m - (m >> 5)) | (a < b ? 0 : 0xF8000000u));
}
// Byte 3 of the result is 0.
inline uint32_t SaturatingSubtract32(uint32_t d, uint32_t c) {
  uint32_t t = (d | 0x01010100) - (c & 0xFEFEFEFF);
  uint32_t m = t & 0x01010100;
  return t & (m - (m >> 8));
}
// Each of the four bytes max(0, d - s), as the packed-byte instructions give.
inline uint32_t SaturatingSubtractBytes32(uint32_t d, uint32_t s) {
  uint32_t r = 0;
  for (int i = 0; i < 32; i += 8) {
    uint32_t a = (d >> i) & 0xFF, b = (s >> i) & 0xFF;
    r |= (a > b ? a - b : 0) << i;
  }
  return r;
}
