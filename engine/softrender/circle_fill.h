// What the filled circle and the filled oval share: the per-call table of row
// flags that makes every row of the shape drawn once, and the clipped span.
#pragma once

#include <algorithm>
#include <cstdint>

#include "engine/core/alloc.h"
#include "engine/softrender/primitive_blend.h"

// One byte per row 0 .. y2 - 1 of the draw target, zeroed, freed on every
// way out of the call.
class RowFlags {
 public:
  explicit RowFlags(int32_t rows) : rows_(rows > 0 ? rows : 0) {
    flags_ = rows_ > 0 ? (uint8_t*)TrackedCalloc((uint32_t)rows_, "", 0) : nullptr;
  }
  ~RowFlags() { TrackedFree(flags_); }
  RowFlags(const RowFlags&) = delete;
  RowFlags& operator=(const RowFlags&) = delete;
  bool ok() const { return flags_ != nullptr; }
  // True the first time a row is claimed.
  bool Claim(int64_t row) {
    if (row < 0 || row >= rows_ || flags_[row]) return false;
    flags_[row] = 1;
    return true;
  }

 private:
  int32_t rows_;
  uint8_t* flags_;
};

// Inclusive draw area, as the circle and oval walks use it.
struct InclusiveArea {
  int64_t x1, y1, x2, y2;
};

// Draws the span xl..xr of row y once per call: spans beside the area, rows
// outside it and rows already drawn are dropped; the span is cut to the area.
template <int Fmt, int Mode>
inline void FillRowSpan(uint8_t* base, int32_t pitch, const InclusiveArea& a, RowFlags& flags, int64_t y, int64_t xl,
                        int64_t xr, const SolidColour& s) {
  if (a.x1 > xr || xl > a.x2 || y < a.y1 || y > a.y2) return;
  xl = std::max(xl, a.x1);
  xr = std::min(xr, a.x2);
  if (xr < xl || !flags.Claim(y)) return;
  BlendSolidSpan<Fmt, Mode>(base + y * pitch + xl * (Fmt == 0 ? 2 : 4), xr - xl + 1, s);
}

// Plots one point of an outline when it lies in the area.
template <int Fmt, int Mode>
inline void PlotClipped(uint8_t* base, int32_t pitch, const InclusiveArea& a, int64_t x, int64_t y,
                        const SolidColour& s) {
  if (x < a.x1 || x > a.x2 || y < a.y1 || y > a.y2) return;
  BlendSolidPixel<Fmt, Mode>(base + y * pitch + x * (Fmt == 0 ? 2 : 4), s);
}
