// The graphics module's rectangle clipper, kept in a file of its own so that
// a program that brings its own definition does not pull this one in.
#include "engine/softrender/blend.h"

int IntersectClipRect(int32_t* rect, const int32_t* clip) {
  if (rect[0] > rect[2]) rect[2] = rect[0];
  if (rect[1] > rect[3]) rect[3] = rect[1];
  static const int kOrder[4] = {3, 1, 2, 0};  // y2, y1, x2, x1
  for (int i : kOrder) {
    int lo = clip[i & 1], hi = clip[(i & 1) + 2];
    if (rect[i] > hi)
      rect[i] = hi;
    else if (rect[i] < lo)
      rect[i] = lo;
  }
  return 0;
}
