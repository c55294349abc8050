// Triangle rasterizer of the software renderer: fills one triangle of a
// memory image, in a flat colour or textured from a second memory image
// (optionally weighted by a blend graph), through the draw state's blend
// mode, blend parameter, draw bright and draw area.
#pragma once

#include <cstdint>

struct MEMIMG;

// One corner: x, y in destination pixels, u, v in whole texels.
struct TriangleVertex {
  int32_t x;
  int32_t y;
  int32_t u;
  int32_t v;
};

// texture null draws a flat triangle in `colour` (a pixel value of the
// destination's format); otherwise the texture must have the destination's
// format code. A non-zero trans_flag leaves out texels of the transparent
// colour (alpha 0 for textures with an alpha channel). blend_graph, when not
// null, is an 8-bit image read at each texel's position; one smaller than the
// texture refuses the draw, as in the blits. Rows are drawn from
// the top vertex's row to the row above the bottom vertex's; each span
// includes both its end columns. Nothing is reported: what cannot be drawn is
// left untouched.
void RasterTriangleToMEMIMG(MEMIMG* dest, const MEMIMG* texture, const TriangleVertex* vertices, int32_t trans_flag,
                            const MEMIMG* blend_graph, int32_t colour);
