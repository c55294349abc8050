// What circles and ovals share: the draw area as an inclusive rectangle, the
// per-call table of row flags that makes every row of a filled shape drawn
// once, the clipped point and span, and the opening that sets them up.
#pragma once

#include <algorithm>
#include <cstdint>

#include "engine/core/alloc.h"
#include "engine/softrender/blend.h"
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

// The draw area of the current draw state, inclusive.
inline InclusiveArea ShapeArea() {
  const int32_t* da = g_soft_draw.draw_area;
  return InclusiveArea{da[0], da[1], (int64_t)da[2] - 1, (int64_t)da[3] - 1};
}

// A shape's pen in one pixel format and blend mode: plots clipped points of
// an outline and draws clipped spans of a fill, each row once.
template <int Fmt, int Mode>
struct ShapePen {
  uint8_t* base;
  int32_t pitch;
  const InclusiveArea& area;
  RowFlags& flags;
  const SolidColour& s;
  void Plot(int64_t x, int64_t y) const { PlotClipped<Fmt, Mode>(base, pitch, area, x, y, s); }
  void Span(int64_t y, int64_t xl, int64_t xr) const { FillRowSpan<Fmt, Mode>(base, pitch, area, flags, y, xl, xr, s); }
};

// The opening every circle and oval shares: draws nothing on a palettised
// target (its 1-byte pixels take no solid colour) or when a fill's row flags
// cannot be had; otherwise calls walk(pen) once with the pen of the target's
// format and the draw state's mode.
template <class Walk>
void DrawSolidShape(MEMIMG* dest, uint32_t colour, bool fill, Walk&& walk) {
  if (!IsSolidDestination(dest)) return;
  const InclusiveArea area = ShapeArea();
  RowFlags flags(fill ? g_soft_draw.draw_area[3] : 0);
  if (fill && !flags.ok()) return;
  uint8_t* base = dest->pixels;
  const int32_t pitch = dest->store->pitch;
  DispatchSolidColour(dest, colour, [&]<int Fmt, int Mode>(const SolidColour& s) {
    walk(ShapePen<Fmt, Mode>{base, pitch, area, flags, s});
  });
}
