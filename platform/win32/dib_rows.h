// The pixel work of showing a DIB in a window: a rectangle of a 16-, 24- or
// 32-bit DIB, stretched (nearest) onto a rectangle of an SDL surface and
// converted to the surface's format. The fast path (a straight copy where
// the layouts match, vector conversion and vector 1.5x and 2x widening
// otherwise, a repeated row copied from the one before) gives the same bytes
// as the per-pixel conversion, which stays as the reference and serves the
// layouts the fast path does not read.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "platform/win32/dib.h"

namespace vox_win32 {

// Where the DIB goes: its source rectangle, the surface rectangle it is
// stretched onto, and the part of that rectangle inside the surface.
struct DibPlacement {
  int x_src, y_src, src_width, src_height;
  SDL_Rect to, visible;
};

// Writes the visible part. `bits` holds rows of `stride` bytes, top-down when
// `top_down`, else bottom-up, `height` rows in all; `masks` are the DIB's red,
// green and blue masks and `bpp` is 16, 24 or 32. The caller has checked the
// source rectangle against the DIB and `visible` against the surface.
void DrawDibToSurface(SDL_Surface* surface, const DibPlacement& place, const uint8_t* bits, size_t stride,
                      int height, bool top_down, int bpp, const uint32_t masks[3], bool per_pixel = false);

}  // namespace vox_win32
