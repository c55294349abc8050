// Ovals: a circle walk over one quadrant in which one axis is slowed down by
// an accumulator (wide ovals slow v, tall ovals slow u). The outline mirrors
// each new point into the four quadrants; the fill draws one span per new
// row, each row once.
#include "engine/softrender/blend.h"
#include "engine/softrender/circle.h"
#include "engine/softrender/circle_fill.h"
#include "engine/softrender/oval_walk.h"
#include "engine/softrender/primitive_blend.h"

void RasterOvalToMEMIMG(MEMIMG* dest, int32_t cx, int32_t cy, int32_t rx, int32_t ry, uint32_t colour, int32_t fill) {
  if (rx == 0 || ry == 0) return;
  int64_t a = rx < 0 ? -(int64_t)rx : rx, b = ry < 0 ? -(int64_t)ry : ry;
  // Larger radii would overflow the 32-bit steps that fix which pixels an
  // oval covers; nothing of them is drawn.
  if (a > kMaxOvalRadius || b > kMaxOvalRadius) return;
  DrawSolidShape(dest, colour, fill, [&](const auto& pen) {
    OvalWalk w(a, b);
    if (!fill) {
      auto plot = [&](int64_t px, int64_t py) { pen.Plot(px, py); };
      // Before v first advances the +v and -v points coincide, so a wide
      // oval blends its centre-row pixels twice.
      plot(cx - w.u, cy + w.v);
      plot(cx + w.u, cy + w.v);
      w.Step();
      while (w.u > 0) {
        if (w.moved) {
          plot(cx - w.u, cy + w.v);
          plot(cx + w.u, cy + w.v);
          plot(cx - w.u, cy - w.v);
          plot(cx + w.u, cy - w.v);
        }
        w.Step();
      }
      plot(cx, cy - w.v);
      plot(cx, cy + w.v);
      return;
    }
    auto span = [&](int64_t row, int64_t xl, int64_t xr) { pen.Span(row, xl, xr); };
    span(cy, cx - w.u, cx + w.u);
    w.Step();
    while (w.u > 0) {
      if (w.new_row) {
        span(cy + w.v, cx - w.u, cx + w.u);
        span(cy - w.v, cx - w.u, cx + w.u);
      }
      w.Step();
    }
    // Only the upper tip: the lower one ends a row short when the last step
    // advanced v, a shape callers have always drawn.
    span(cy - w.v, cx, cx);
  });
}
