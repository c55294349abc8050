// Circles and ovals of the software renderer, outlined or filled, in one
// colour through the draw state's blend mode, blend parameter and draw
// bright, clipped to the draw area.
#pragma once

#include <cstdint>

struct MEMIMG;

// fill 0 draws the one-pixel outline of a midpoint circle, any other value
// the filled disc (each row once). A negative radius draws the outline's four
// axis points only, and no disc.
void RasterCircleToMEMIMG(MEMIMG* dest, int32_t cx, int32_t cy, int32_t r, uint32_t colour, int32_t fill);

// Axis-aligned oval of radii |rx| and |ry|; a radius of 0, or one above
// kMaxOvalRadius, draws nothing. The filled oval leaves out its lowest tip row
// when its walk ends on a new row.
constexpr int32_t kMaxOvalRadius = 46340;  // the largest whose square fits 31 bits
void RasterOvalToMEMIMG(MEMIMG* dest, int32_t cx, int32_t cy, int32_t rx, int32_t ry, uint32_t colour, int32_t fill);
