// The software drawing back end: shapes the arguments of each draw call for
// the memory-image renderer, which clips, blends and tints by the draw state.
// The software driver draws through these.
#include <cmath>

#include "engine/graphics/graphics_internal.h"
#include "engine/softrender/blend.h"
#include "engine/softrender/blit.h"
#include "engine/softrender/circle.h"
#include "engine/softrender/primitive.h"
#include "engine/softrender/triangle.h"

namespace {

MEMIMG* Target() { return g_draw.soft_target; }

// The graph's memory image, when its image data is one.
MEMIMG* GraphView(int graph) {
  GraphRecord* r = GetGraphRecord(graph);
  MEMIMG* view = r && r->image ? ImageDriver(r->image).graph_view(r) : nullptr;
  return IsMEMIMGValid(view) ? view : nullptr;
}

bool Ready() {
  SyncSoftDrawState();
  return IsMEMIMGValid(Target());
}

}  // namespace

int SoftStrokeLineList(const LineRecord* lines, int count) {
  if (!Ready()) return 0;
  StrokeLineListToMEMIMG(Target(), lines, count);
  return 0;
}

int SoftPlotPixelList(const PointRecord* points, int count) {
  if (!Ready()) return 0;
  PlotPixelListToMEMIMG(Target(), points, count);
  return 0;
}

int SoftPaintTriangle(const TriangleVertex* vertices, int graph, int transparent, uint32_t colour) {
  MEMIMG* view = nullptr;
  if (graph != -1) {
    view = GraphView(graph);
    if (!view) return -1;
  }
  if (!Ready()) return 0;
  RasterTriangleToMEMIMG(Target(), view, vertices, transparent, g_draw.crossfade_image, (int32_t)colour);
  return 0;
}

int SoftPaintGraph(int x, int y, int graph, int transparent) {
  MEMIMG* view = GraphView(graph);
  if (!view) return -1;
  if (!Ready()) return 0;
  BlitToMEMIMG(Target(), view, x, y, transparent, g_draw.crossfade_image);
  return 0;
}

int SoftPaintGraphStretched(int x1, int y1, int x2, int y2, int graph, int transparent) {
  MEMIMG* view = GraphView(graph);
  if (!view) return -1;
  if (!Ready()) return 0;
  int32_t rect[4] = {x1, y1, x2, y2};
  StretchBlitToMEMIMG(Target(), view, rect, transparent, g_draw.crossfade_image);
  return 0;
}

int SoftPaintGraphRotated(float cx, float cy, double first, double second, int graph, int transparent,
                          int triangle_flag) {
  MEMIMG* view = GraphView(graph);
  if (!view) return -1;
  if (!Ready()) return 0;
  RotateBlitToMEMIMG(Target(), view, (int)cx, (int)cy, (float)second, (float)first, transparent, triangle_flag,
                     g_draw.crossfade_image);
  return 0;
}

int SoftPaintGraphQuad(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, int graph, int transparent) {
  MEMIMG* view = GraphView(graph);
  if (!view) return -1;
  if (!Ready()) return 0;
  int w = view->width, h = view->height;
  TriangleVertex first[3] = {{x1, y1, 0, 0}, {x2, y2, w, 0}, {x3, y3, 0, h}};
  TriangleVertex second[3] = {{x2, y2, w, 0}, {x3, y3, 0, h}, {x4, y4, w, h}};
  RasterTriangleToMEMIMG(Target(), view, first, transparent, g_draw.crossfade_image, 0);
  RasterTriangleToMEMIMG(Target(), view, second, transparent, g_draw.crossfade_image, 0);
  return 0;
}

int SoftPaintGraphQuadF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graph,
                        int transparent) {
  return SoftPaintGraphQuad((int)x1, (int)y1, (int)x2, (int)y2, (int)x3, (int)y3, (int)x4, (int)y4, graph,
                            transparent);
}

int SoftPaintFilledBox(int x1, int y1, int x2, int y2, uint32_t colour) {
  if (!Ready()) return 0;
  int32_t rect[4] = {x1, y1, x2, y2};
  PaintBoxToMEMIMG(Target(), rect, colour);
  return 0;
}

int SoftPaintLine(int x1, int y1, int x2, int y2, uint32_t colour) {
  if (!Ready()) return 0;
  StrokeLineToMEMIMG(Target(), x1, y1, x2, y2, colour);
  return 0;
}

int SoftPaintBoxOutline(int x1, int y1, int x2, int y2, uint32_t colour) {
  // Corners in either order give one outline, x1 to x2 - 1 and y1 to y2 - 1.
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  uint32_t p = (uint32_t)g_draw.blend_param;
  LineRecord lines[4] = {{x1, y1, x2 - 1, y1, colour, p},
                         {x2 - 1, y1, x2 - 1, y2 - 1, colour, p},
                         {x2 - 1, y2 - 1, x1, y2 - 1, colour, p},
                         {x1, y2 - 1, x1, y1, colour, p}};
  return SoftStrokeLineList(lines, 4);
}

int SoftPaintTriangleFlat(int x1, int y1, int x2, int y2, int x3, int y3, uint32_t colour, int fill) {
  if (fill == 1) {
    TriangleVertex v[3] = {{x1, y1, 0, 0}, {x2, y2, 0, 0}, {x3, y3, 0, 0}};
    return SoftPaintTriangle(v, -1, 0, colour);
  }
  uint32_t p = (uint32_t)g_draw.blend_param;
  LineRecord lines[3] = {{x1, y1, x2, y2, colour, p}, {x2, y2, x3, y3, colour, p}, {x3, y3, x1, y1, colour, p}};
  return SoftStrokeLineList(lines, 3);
}

int SoftPaintQuadFlat(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, uint32_t colour, int fill) {
  if (fill == 1) {
    SoftPaintTriangleFlat(x1, y1, x2, y2, x4, y4, colour, 1);
    SoftPaintTriangleFlat(x3, y3, x4, y4, x2, y2, colour, 1);
    return 0;
  }
  uint32_t p = (uint32_t)g_draw.blend_param;
  LineRecord lines[4] = {{x1, y1, x2, y2, colour, p},
                         {x2, y2, x3, y3, colour, p},
                         {x3, y3, x4, y4, colour, p},
                         {x4, y4, x1, y1, colour, p}};
  return SoftStrokeLineList(lines, 4);
}

int SoftPaintCircle(int x, int y, int radius, uint32_t colour, int fill) {
  if (!Ready()) return 0;
  RasterCircleToMEMIMG(Target(), x, y, radius, colour, fill);
  return 0;
}

int SoftPaintOval(int x, int y, int rx, int ry, uint32_t colour, int fill) {
  if (!Ready()) return 0;
  RasterOvalToMEMIMG(Target(), x, y, rx, ry, colour, fill);
  return 0;
}

int SoftPlotPixel(int x, int y, uint32_t colour) {
  if (!Ready()) return 0;
  PlotPixelToMEMIMG(Target(), x, y, colour);
  return 0;
}

int SoftPaintGraphMap(int x, int y, int columns, int rows, const uint32_t* map, int map_pitch, int ignored,
                      const int* graphs, int transparent) {
  (void)ignored;
  if (!map || !graphs) return -1;
  GraphRecord* first = GetGraphRecord(graphs[0]);
  if (!first) return -1;
  int tile_w = first->width, tile_h = first->height;
  for (int row = 0; row < rows; row++) {
    const uint32_t* line = map + (ptrdiff_t)row * map_pitch;
    for (int col = 0; col < columns; col++) {
      if (line[col] == 0xFFFFFFFFu) continue;
      int graph = graphs[line[col]];
      if (!GetGraphRecord(graph)) return -1;
      SoftPaintGraph(x + col * tile_w, y + row * tile_h, graph, transparent);
    }
  }
  return 0;
}

int SoftPaintGraphTiledRotated(int x1, int y1, int x2, int y2, int scroll_x, int scroll_y, double zoom, double angle,
                               int graph, int transparent) {
  GraphRecord* record = GetGraphRecord(graph);
  if (!record || record->width <= 0 || record->height <= 0) return -1;
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (zoom <= 0) zoom = 0.0001;
  int gw = record->width, gh = record->height;
  int ox = scroll_x % gw, oy = scroll_y % gh;
  double s = std::sin(angle), c = std::cos(angle);
  double s90 = std::sin(angle + M_PI / 2), c90 = std::cos(angle + M_PI / 2);
  double step_x[2] = {gw * c * zoom, gw * s * zoom};
  double step_y[2] = {gh * c90 * zoom, gh * s90 * zoom};
  double w = x2 - x1, h = y2 - y1, d = std::sqrt(w * w + h * h);
  int n = (int)(d / ((gw < gh ? gw : gh) * zoom) + 2);
  if (n % 2 == 0) n++;
  // The grid's first corner: the rectangle's centre less half the grid, in
  // the grid's own rotated axes.
  double half_x = (n * gw / 2.0 + ox) * zoom, half_y = (n * gh / 2.0 + oy) * zoom;
  double cx = (x1 + x2) / 2.0, cy = (y1 + y2) / 2.0;
  double start_x = cx - (half_x * c + half_y * c90), start_y = cy - (half_x * s + half_y * s90);
  int32_t saved[4] = {g_draw.clip[0], g_draw.clip[1], g_draw.clip[2], g_draw.clip[3]};
  int32_t narrowed[4] = {x1, y1, x2, y2};
  IntersectClipRect(narrowed, saved);
  for (int i = 0; i < 4; i++) g_draw.clip[i] = narrowed[i];
  for (int row = 0; row < n; row++) {
    for (int col = 0; col < n; col++) {
      double px = start_x + col * step_x[0] + row * step_y[0];
      double py = start_y + col * step_x[1] + row * step_y[1];
      if (angle == 0 && zoom == 1) {
        SoftPaintGraph((int)px, (int)py, graph, transparent);
      } else if (angle == 0) {
        SoftPaintGraphStretched((int)px, (int)py, (int)(px + step_x[0]), (int)(py + step_y[1]), graph, transparent);
      } else {
        SoftPaintGraphQuad((int)px, (int)py, (int)(px + step_x[0]), (int)(py + step_x[1]), (int)(px + step_y[0]),
                           (int)(py + step_y[1]), (int)(px + step_x[0] + step_y[0]),
                           (int)(py + step_x[1] + step_y[1]), graph, transparent);
      }
    }
  }
  for (int i = 0; i < 4; i++) g_draw.clip[i] = saved[i];
  SyncSoftDrawState();
  return 0;
}
