// Ovals: a circle walk over one quadrant in which one axis is slowed down by
// an accumulator (wide ovals slow v, tall ovals slow u). The outline mirrors
// each new point into the four quadrants; the fill draws one span per new
// row, each row once.
#include <algorithm>

#include "engine/softrender/blend.h"
#include "engine/softrender/circle.h"
#include "engine/softrender/circle_fill.h"
#include "engine/softrender/primitive_blend.h"

namespace {

// State of the quadrant walk, from (a, 0) until u reaches 0.
struct OvalWalk {
  int64_t a, b;   // radii
  int64_t k;      // step limit: a*a/b (wide) or b*b/a (tall)
  int64_t acc;    // accumulator A
  int64_t u, v;   // offsets of the current point from the centre
  int64_t d, e;   // decision values
  bool wide;
  bool moved;     // the last step changed the point
  bool new_row;   // the last step advanced v

  OvalWalk(int64_t ra, int64_t rb) : a(ra), b(rb), acc(0), u(ra), v(0), d(3 - 2 * ra), e(3 - 4 * ra) {
    wide = a >= b;
    k = wide ? (a * a) / b : (b * b) / a;
    moved = new_row = false;
  }

  // Runs of steps that change nothing but A, D and E (the slowed axis waiting
  // for its accumulator) are as long as a*a/(b*b); they are passed over in one
  // go, stopping one step before the step that moves or ends the run.
  void SkipIdleSteps() {
    int64_t n = 0;
    if (wide && d < 0) {
      int64_t dd = 4 * v + 2;
      n = std::min((k - acc + b - 1) / b, (-d + dd - 1) / dd) - 1;
      if (n > 0) {
        acc += n * b;
        d += n * dd;
        e += n * 4 * v;
      }
    } else if (!wide && d >= 0 && e >= 0) {
      int64_t dd = 4 * u, de = 4 * u - 2;
      n = std::min({(k - acc + a - 1) / a, d / dd + 1, e / de + 1}) - 1;
      if (n > 0) {
        acc += n * a;
        d -= n * dd;
        e -= n * de;
      }
    }
  }

  void Step() {
    SkipIdleSteps();
    moved = new_row = false;
    if (wide) {
      if (d < 0) {
        acc += b;
        if (acc >= k) {
          v++;
          acc -= k;
          moved = new_row = true;
        }
        d += 4 * v + 2;
        e += 4 * v;
      } else {
        moved = true;
        u--;
        if (e >= 0) {
          d -= 4 * u;
          e -= 4 * u - 2;
        } else {
          acc += b;
          if (acc >= k) {
            v++;
            acc -= k;
            new_row = true;
          }
          d += 4 * v - 4 * u + 2;
          e += 4 * v - 4 * u + 2;
        }
      }
    } else {
      if (d < 0) {
        moved = new_row = true;
        v++;
        d += 4 * v + 2;
        e += 4 * v;
      } else if (e >= 0) {
        acc += a;
        if (acc >= k) {
          acc -= k;
          u--;
          moved = true;
        }
        d -= 4 * u;
        e -= 4 * u - 2;
      } else {
        moved = new_row = true;
        acc += a;
        if (acc >= k) {
          acc -= k;
          u--;
        }
        v++;
        d += 4 * v - 4 * u + 2;
        e += 4 * v - 4 * u + 2;
      }
    }
  }
};

}  // namespace

void RasterOvalToMEMIMG(MEMIMG* dest, int32_t cx, int32_t cy, int32_t rx, int32_t ry, uint32_t colour, int32_t fill) {
  if (rx == 0 || ry == 0) return;
  int64_t a = rx < 0 ? -(int64_t)rx : rx, b = ry < 0 ? -(int64_t)ry : ry;
  // Larger radii would overflow the 32-bit steps that fix which pixels an
  // oval covers; nothing of them is drawn.
  if (a > kMaxOvalRadius || b > kMaxOvalRadius) return;
  // A palettised image has 1-byte pixels; the rules write 2 or 4.
  if (!IsSolidDestination(dest)) return;
  const int32_t* da = g_soft_draw.draw_area;
  InclusiveArea area{da[0], da[1], (int64_t)da[2] - 1, (int64_t)da[3] - 1};
  RowFlags flags(fill ? da[3] : 0);
  if (fill && !flags.ok()) return;
  const PIXELSTORE* st = dest->store;
  uint8_t* base = dest->pixels;
  int32_t pitch = st->pitch;
  DispatchSolidColour(dest, colour, [&]<int Fmt, int Mode>(const SolidColour& s) {
    OvalWalk w(a, b);
    if (!fill) {
      auto plot = [&](int64_t px, int64_t py) { PlotClipped<Fmt, Mode>(base, pitch, area, px, py, s); };
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
    auto span = [&](int64_t row, int64_t xl, int64_t xr) {
      FillRowSpan<Fmt, Mode>(base, pitch, area, flags, row, xl, xr, s);
    };
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
