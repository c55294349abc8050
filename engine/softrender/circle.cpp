// Midpoint circle: the outline plots the eight mirrored points of each step
// (the four axis points once, the 45-degree pixels twice, as the walk gives
// them); the disc draws the spans between mirrored points, each row once.
#include "engine/softrender/circle.h"

#include "engine/softrender/blend.h"
#include "engine/softrender/circle_fill.h"
#include "engine/softrender/primitive_blend.h"

void RasterCircleToMEMIMG(MEMIMG* dest, int32_t cx, int32_t cy, int32_t r, uint32_t colour, int32_t fill) {
  // A negative radius makes spans whose ends are swapped: no disc.
  if (fill && r < 0) return;
  // The walk takes a step per pixel of radius: a circle wholly beside the
  // area is not walked at all.
  const InclusiveArea area = ShapeArea();
  int64_t reach = r < 0 ? -(int64_t)r : r;
  if ((int64_t)cx + reach < area.x1 || (int64_t)cx - reach > area.x2 || (int64_t)cy + reach < area.y1 ||
      (int64_t)cy - reach > area.y2)
    return;
  DrawSolidShape(dest, colour, fill, [&](const auto& pen) {
    // The walk in 64 bits: 4x and 4y cannot overflow for any radius.
    int64_t x = 0, y = r, e = 3 - 2 * (int64_t)r;
    auto advance = [&] {
      if (e >= 0) {
        y--;
        e -= 4 * y;
      }
      x++;
      e += 4 * x + 2;
    };
    if (!fill) {
      auto plot = [&](int64_t px, int64_t py) { pen.Plot(px, py); };
      plot(cx - y, cy + x);
      plot(cx + y, cy + x);
      plot(cx + x, cy + y);
      plot(cx - x, cy - y);
      advance();
      while (y >= x) {
        plot(cx - y, cy + x);
        plot(cx + y, cy + x);
        plot(cx - y, cy - x);
        plot(cx + y, cy - x);
        plot(cx - x, cy + y);
        plot(cx + x, cy + y);
        plot(cx - x, cy - y);
        plot(cx + x, cy - y);
        advance();
      }
      return;
    }
    auto span = [&](int64_t row, int64_t xl, int64_t xr) { pen.Span(row, xl, xr); };
    // The rows at distance x take the half-width y; a row at distance y is
    // drawn by the last step that has this y, whose x is the widest.
    span(cy, cx - y, cx + y);
    if (e >= 0) {
      span(cy + y, cx - x, cx + x);
      span(cy - y, cx - x, cx + x);
    }
    advance();
    while (y >= x) {
      span(cy + x, cx - y, cx + y);
      span(cy - x, cx - y, cx + y);
      if (e >= 0) {
        span(cy + y, cx - x, cx + x);
        span(cy - y, cx - x, cx + x);
      }
      advance();
    }
  });
}
