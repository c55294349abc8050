// The software renderer's blits of a whole memory image onto another: at a
// position, stretched into a rectangle (mirrored where its corners are given
// reversed), and turned and scaled about a centre point. Each draws through
// the draw state (g_soft_draw) and reports nothing.
#pragma once

#include <cstdint>

#include "engine/softrender/memimg.h"

// Top-left corner of the source at (x, y). Any non-zero transparency turns on
// the colour key or the source alpha; only 1 lets the run table be used.
void BlitToMEMIMG(MEMIMG* dst, const MEMIMG* src, int x, int y, int transparency, const MEMIMG* blend_graph);

// rect: x1, y1, x2, y2 with x2 and y2 exclusive.
void StretchBlitToMEMIMG(MEMIMG* dst, const MEMIMG* src, const int32_t* rect, int transparency,
                         const MEMIMG* blend_graph);

// angle in radians (clockwise on the target), scale 1.0 = unscaled. A mirror
// flag draws the mirrored image through two textured triangles.
void RotateBlitToMEMIMG(MEMIMG* dst, const MEMIMG* src, int center_x, int center_y, float angle, float scale,
                        int transparency, int mirror, const MEMIMG* blend_graph);

// points: x, y of the source's top-left, top-right, bottom-left and
// bottom-right corners on the target.
void RotateBlitByTriangles(MEMIMG* dst, const MEMIMG* src, const int32_t* points, int transparency,
                           const MEMIMG* blend_graph);
