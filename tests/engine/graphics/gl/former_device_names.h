// The device's primitives under the names compare_scenes.cpp still calls
// them by. The header is forced into that file alone (CMakeLists.txt beside
// it) until the file calls G_D3D_DrawCircle, G_D3D_DrawOval and
// G_D3D_DrawTriangle itself; then this header and its line there go.
#pragma once

#include "engine/graphics/device/device_internal.h"

namespace device {

inline int DrawCircle(int x, int y, int r, uint32_t colour, int fill) { return G_D3D_DrawCircle(x, y, r, colour, fill); }
inline int DrawOval(int x, int y, int rx, int ry, uint32_t colour, int fill) {
  return G_D3D_DrawOval(x, y, rx, ry, colour, fill);
}
inline int DrawTriangle(int x1, int y1, int x2, int y2, int x3, int y3, uint32_t colour, int fill) {
  return G_D3D_DrawTriangle(x1, y1, x2, y2, x3, y3, colour, fill);
}

}  // namespace device
