// Pixel, pixel list, filled box, line and line list: the colour is prepared
// once per call (shift form of the draw bright), then one loop per format and
// blend mode applies the single-colour pixel rule.
#include "engine/softrender/primitive.h"

#include <algorithm>

#include "engine/core/util.h"
#include "engine/softrender/blend.h"
#include "engine/softrender/primitive_blend.h"

void PlotPixelToMEMIMG(MEMIMG* dest, int32_t x, int32_t y, uint32_t colour) {
  if (!IsSolidDestination(dest)) return;
  const int32_t* area = g_soft_draw.draw_area;
  if (x < area[0] || x >= area[2] || y < area[1] || y >= area[3]) return;
  const PIXELSTORE* st = dest->store;
  uint8_t* px = dest->pixels + (int64_t)y * st->pitch + (int64_t)x * (st->format_code == MEMIMG_R5G6B5 ? 2 : 4);
  DispatchSolidColour(dest, colour,
                      [&]<int Fmt, int Mode>(const SolidColour& s) { BlendSolidPixel<Fmt, Mode>(px, s); });
}

void PlotPixelListToMEMIMG(MEMIMG* dest, const PointRecord* points, int32_t count) {
  // A palettised image has 1-byte pixels: the 2- or 4-byte stores below
  // would run past its rows.
  if (count <= 0 || !IsSolidDestination(dest)) return;
  const PIXELSTORE* st = dest->store;
  int32_t x1 = g_soft_draw.draw_area[0], y1 = g_soft_draw.draw_area[1];
  int32_t x2 = g_soft_draw.draw_area[2], y2 = g_soft_draw.draw_area[3];
  bool wide = st->format_code == MEMIMG_X8R8G8B8;
  for (int32_t i = 0; i < count; i++) {
    const PointRecord& r = points[i];
    if (r.x < x1 || r.x >= x2 || r.y < y1 || r.y >= y2) continue;
    uint8_t* px = dest->pixels + (int64_t)r.y * st->pitch + (int64_t)r.x * (wide ? 4 : 2);
    if (wide)
      StorePixel32(px, r.colour);
    else
      StorePixel16(px, r.colour);
  }
}

void PaintBoxToMEMIMG(MEMIMG* dest, const int32_t* rect, uint32_t colour) {
  if (!IsSolidDestination(dest)) return;
  int32_t r[4];
  if (!rect) {
    r[0] = 0;
    r[1] = 0;
    r[2] = dest->width;
    r[3] = dest->height;
  } else {
    r[0] = std::min(rect[0], rect[2]);
    r[2] = std::max(rect[0], rect[2]);
    r[1] = std::min(rect[1], rect[3]);
    r[3] = std::max(rect[1], rect[3]);
  }
  IntersectClipRect(r, g_soft_draw.draw_area);
  int64_t w = (int64_t)r[2] - r[0], h = (int64_t)r[3] - r[1];
  if (w <= 0 || h <= 0) return;
  const PIXELSTORE* st = dest->store;
  DispatchSolidColour(dest, colour, [&]<int Fmt, int Mode>(const SolidColour& s) {
    uint8_t* row = dest->pixels + (int64_t)r[1] * st->pitch + (int64_t)r[0] * (Fmt == 0 ? 2 : 4);
    for (int64_t y = 0; y < h; y++, row += st->pitch) BlendSolidSpan<Fmt, Mode>(row, w, s);
  });
}

namespace {

// A line after clipping: the start point lies in the draw area, the end point
// at most one step outside it; the end point itself is not drawn.
struct ClippedLine {
  int64_t x1, y1, x2, y2;
};

inline int64_t Trunc(double v) { return DoubleToIntTrunc(v); }

// Clips the line's end points to the draw area in double precision. False
// when nothing is to be drawn. Only the line's bounding box is tested against
// the area: a line that passes beside a corner is clamped onto the corner
// pixels nearest to it, and the final clamps keep the start inside the area
// and the end one step outside it, so no pixel beyond the area is written.
bool ClipLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const int32_t* area, ClippedLine* out) {
  int64_t L = area[0], T = area[1], R = area[2], B = area[3];
  if (std::max(x1, x2) < L || std::max(y1, y2) < T || std::min(x1, x2) >= R || std::min(y1, y2) >= B) return false;
  double kx = y1 == y2 ? 0.0 : (double)((int64_t)x2 - x1) / (double)((int64_t)y2 - y1);
  double ky = x1 == x2 ? 0.0 : (double)((int64_t)y2 - y1) / (double)((int64_t)x2 - x1);
  double cx = (double)x1 - (double)y1 * kx;
  double cy = (double)y1 - (double)x1 * ky;
  int64_t sx = x1, sy = y1, ex = x2, ey = y2;
  if (x1 < L) {
    sx = L;
    sy = Trunc((double)L * ky + cy);
  } else if (x1 >= R) {
    sx = R - 1;
    sy = Trunc((double)(R - 1) * ky + cy);
  }
  if (x2 < L) {
    ex = L - 1;
    ey = Trunc((double)(L - 1) * ky + cy);
  } else if (x2 >= R) {
    ex = R;
    ey = Trunc((double)R * ky + cy);
  }
  if (sy < T) {
    sy = T;
    sx = Trunc((double)T * kx + cx);
  } else if (sy >= B) {
    sy = B - 1;
    sx = Trunc((double)(B - 1) * kx + cx);
  }
  if (ey < T) {
    ey = T - 1;
    ex = Trunc((double)(T - 1) * kx + cx);
  } else if (ey >= B) {
    ey = B;
    ex = Trunc((double)B * kx + cx);
  }
  sx = std::clamp(sx, L, R - 1);
  sy = std::clamp(sy, T, B - 1);
  if (ex < L) ex = L - 1;
  else if (ex >= R) ex = R;
  if (ey < T) ey = T - 1;
  else if (ey >= B) ey = B;
  if (ex == sx && ey == sy) return false;
  *out = {sx, sy, ex, ey};
  return true;
}

}  // namespace

void StrokeLineToMEMIMG(MEMIMG* dest, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  if (!IsSolidDestination(dest)) return;
  ClippedLine ln;
  if (!ClipLine(x1, y1, x2, y2, g_soft_draw.draw_area, &ln)) return;
  const PIXELSTORE* st = dest->store;
  DispatchSolidColour(dest, colour, [&]<int Fmt, int Mode>(const SolidColour& s) {
    constexpr int kBytes = Fmt == 0 ? 2 : 4;
    int64_t dx = ln.x2 - ln.x1, dy = ln.y2 - ln.y1;
    int64_t ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    int64_t step_x = (dx < 0 ? -1 : 1) * kBytes, step_y = (dy < 0 ? -1 : 1) * (int64_t)st->pitch;
    uint8_t* px = dest->pixels + ln.y1 * st->pitch + ln.x1 * kBytes;
    int64_t e = 0;
    if (ax < ay) {
      for (int64_t i = 0; i < ay; i++) {
        e += ax;
        BlendSolidPixel<Fmt, Mode>(px, s);
        px += step_y;
        if (e >= ay) {
          e -= ay;
          px += step_x;
        }
      }
    } else {
      for (int64_t i = 0; i < ax; i++) {
        BlendSolidPixel<Fmt, Mode>(px, s);
        px += step_x;
        e += ay;
        if (e >= ax) {
          e -= ax;
          px += step_y;
        }
      }
    }
  });
}

void StrokeLineListToMEMIMG(MEMIMG* dest, const LineRecord* lines, int32_t count) {
  for (int32_t i = 0; i < count; i++)
    StrokeLineToMEMIMG(dest, lines[i].x1, lines[i].y1, lines[i].x2, lines[i].y2, lines[i].colour);
}
