// RotateBlitByTriangles: draws a whole memory image into a quadrilateral as
// two textured triangles that share the diagonal from the source's top-right
// to its bottom-left corner.
#include <algorithm>

#include "engine/softrender/blend.h"
#include "engine/softrender/blit.h"
#include "engine/softrender/triangle.h"

void RotateBlitByTriangles(MEMIMG* dst, const MEMIMG* src, const int32_t* points, int transparency,
                           const MEMIMG* blend_graph) {
  if (!IsMEMIMGValid(src)) return;
  int32_t pt[8];
  std::copy(points, points + 8, pt);
  int32_t min_x = pt[0], max_x = pt[0], min_y = pt[1], max_y = pt[1];
  for (int i = 1; i < 4; i++) {
    min_x = std::min(min_x, pt[2 * i]);
    max_x = std::max(max_x, pt[2 * i]);
    min_y = std::min(min_y, pt[2 * i + 1]);
    max_y = std::max(max_y, pt[2 * i + 1]);
  }
  // Only a test: a quadrilateral whose padded box misses the draw area is
  // not handed to the rasterizer.
  auto clamp32 = [](int64_t v) { return (int32_t)std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, v)); };
  int32_t box[4] = {clamp32((int64_t)min_x - 2), clamp32((int64_t)min_y - 2), clamp32((int64_t)max_x + 4),
                    clamp32((int64_t)max_y + 4)};
  IntersectClipRect(box, g_soft_draw.draw_area);
  if (box[2] - box[0] == 0 || box[3] - box[1] == 0) return;

  const int32_t w = src->width, h = src->height;
  const TriangleVertex corner[4] = {
      {pt[0], pt[1], 0, 0}, {pt[2], pt[3], w, 0}, {pt[4], pt[5], 0, h}, {pt[6], pt[7], w, h}};
  const TriangleVertex first[3] = {corner[0], corner[1], corner[2]};
  const TriangleVertex second[3] = {corner[1], corner[2], corner[3]};
  RasterTriangleToMEMIMG(dst, src, first, transparency, blend_graph, 0);
  RasterTriangleToMEMIMG(dst, src, second, transparency, blend_graph, 0);
}
