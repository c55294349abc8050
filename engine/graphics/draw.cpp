// The drawing functions: every draw call runs one frame (started and
// empty-clip tests, handle checks, mask hooks) and hands its pixels to a
// driver: the driver of the graph's image data for graphs, the screen's
// driver for lines, boxes and vertex lists.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/graphics/graphics_internal.h"
#include "engine/softrender/blend.h"

namespace {

struct SavedClip {
  int32_t clip[4];
  float clip_f[4];
  int32_t empty;
};
SavedClip SaveClip() {
  SavedClip s;
  std::memcpy(s.clip, g_draw.clip, sizeof s.clip);
  std::memcpy(s.clip_f, g_draw.clip_f, sizeof s.clip_f);
  s.empty = g_draw.clip_empty;
  return s;
}
void RestoreClip(const SavedClip& s) {
  std::memcpy(g_draw.clip, s.clip, sizeof s.clip);
  std::memcpy(g_draw.clip_f, s.clip_f, sizeof s.clip_f);
  g_draw.clip_empty = s.empty;
  SyncSoftDrawState();
}
// Narrows the clip to rect within the saved one, for the length of one draw.
void NarrowClip(int x1, int y1, int x2, int y2) {
  int32_t r[4] = {x1, y1, x2, y2};
  int32_t saved[4] = {g_draw.clip[0], g_draw.clip[1], g_draw.clip[2], g_draw.clip[3]};
  IntersectClipRect(r, saved);
  StoreClip(r);
}

void NormalRect(int x1, int y1, int x2, int y2, int32_t* rect) {
  rect[0] = x1 < x2 ? x1 : x2;
  rect[1] = y1 < y2 ? y1 : y2;
  rect[2] = x1 < x2 ? x2 : x1;
  rect[3] = y1 < y2 ? y2 : y1;
}

// Steps 2 to 8 of the draw frame for a graph: 0 to go on, otherwise the
// call's result in *result.
struct GraphFrame {
  GraphRecord* record;
  int32_t rect[4];
  int masked;
};
bool BeginGraphFrame(int graph, int x1, int y1, int x2, int y2, GraphFrame* f, int* result) {
  *result = 0;
  if (g_draw.clip_empty) return false;
  f->record = GetGraphRecord(graph);
  if (!g_screen.started || !f->record || !f->record->image) {
    *result = -1;
    return false;
  }
  if (g_draw.crossfade_graph != -1) {
    GraphRecord* cross = GetGraphRecord(g_draw.crossfade_graph);
    if (!cross || cross->width < f->record->width || cross->height < f->record->height) {
      *result = -1;
      return false;
    }
  }
  WaitWhileInactive();
  NormalRect(x1, y1, x2, y2, f->rect);
  if (f->record->movie >= 0) GetGraphMovieSource().advance_movie_frame(f->record->movie);
  f->record = GetGraphRecord(graph);
  if (!f->record || !f->record->image) {
    *result = -1;
    return false;
  }
  f->masked = IsMaskScreenActive();
  if (f->masked) BeginMaskedPaint(f->rect[0], f->rect[1], f->rect[2], f->rect[3]);
  return true;
}
int EndFrame(const int32_t* rect, int masked, int result) {
  if (masked) EndMaskedPaint(rect[0], rect[1], rect[2], rect[3]);
  return result;
}

// The frame of lines, boxes and vertex lists: no handle.
bool BeginPlainFrame(int x1, int y1, int x2, int y2, int32_t* rect, int* masked, int* result) {
  *result = 0;
  if (g_draw.clip_empty) return false;
  if (!g_screen.started) {
    *result = -1;
    return false;
  }
  WaitWhileInactive();
  NormalRect(x1, y1, x2, y2, rect);
  *masked = IsMaskScreenActive();
  if (*masked) BeginMaskedPaint(rect[0], rect[1], rect[2], rect[3]);
  return true;
}

// One draw of a driver, between its two invert passes where it draws blend
// mode 3 in three.
template <class Draw>
int DriverDraw(const GraphicsDriver& d, const int32_t* rect, Draw draw) {
  if (!d.needs_subtract_passes()) return draw();
  d.invert_before_subtract(rect);
  int result = draw();
  d.invert_after_subtract(rect);
  return result;
}

// A graph call: the frame around the draw of the graph's driver.
template <class Draw>
int PaintWithGraph(int graph, int x1, int y1, int x2, int y2, Draw draw) {
  GraphFrame f;
  int result;
  if (!BeginGraphFrame(graph, x1, y1, x2, y2, &f, &result)) return result;
  const GraphicsDriver& d = ImageDriver(f.record->image);
  result = DriverDraw(d, f.rect, [&] { return draw(d, f.record); });
  return EndFrame(f.rect, f.masked, result);
}

// A line or box: the frame around the draw of the screen's driver.
template <class Draw>
int PaintPlain(int x1, int y1, int x2, int y2, Draw draw) {
  int32_t rect[4];
  int masked, result;
  if (!BeginPlainFrame(x1, y1, x2, y2, rect, &masked, &result)) return result;
  const GraphicsDriver& d = ScreenDriver();
  result = DriverDraw(d, rect, [&] { return draw(d); });
  return EndFrame(rect, masked, result);
}

}  // namespace

int WipeDrawScreen() {
  if (!g_screen.started) return 0;
  return ScreenDriver().clear();
}

int PaintGraph(int x, int y, int graph, int transparent) {
  if (!EngineStarted()) return -1;
  GraphRecord* record = GetGraphRecord(graph);
  int w = record ? record->width : 0, h = record ? record->height : 0;
  return PaintWithGraph(graph, x, y, x + w, y + h, [&](const GraphicsDriver& d, GraphRecord* r) {
    return d.draw_graph(r, x, y, transparent);
  });
}

int PaintGraphStretched(int x1, int y1, int x2, int y2, int graph, int transparent) {
  return PaintWithGraph(graph, x1, y1, x2, y2, [&](const GraphicsDriver& d, GraphRecord* r) {
    return d.draw_graph_stretched(r, x1, y1, x2, y2, transparent);
  });
}

int PaintGraphMirrored(int x, int y, int graph, int transparent) {
  GraphRecord* record = GetGraphRecord(graph);
  if (!record) return g_draw.clip_empty ? 0 : -1;
  return PaintGraphStretched(x + record->width, y, x, y + record->height, graph, transparent);
}

int PaintGraphPart(int x, int y, int src_x, int src_y, int width, int height, int graph, int transparent,
                   int mirror) {
  if (g_draw.clip_empty) return 0;
  GraphRecord* record = GetGraphRecord(graph);
  if (!record) return -1;
  int graph_width = record->width;
  SavedClip saved = SaveClip();
  NarrowClip(x, y, x + width, y + height);
  int result = mirror ? PaintGraphMirrored(x + width - graph_width + src_x, y - src_y, graph, transparent)
                      : PaintGraph(x - src_x, y - src_y, graph, transparent);
  RestoreClip(saved);
  return result;
}

int PaintGraphPartStretched(int x1, int y1, int x2, int y2, int src_x, int src_y, int width, int height, int graph,
                            int transparent) {
  if (g_draw.clip_empty) return 0;
  GraphRecord* record = GetGraphRecord(graph);
  if (!record) return -1;
  if (width <= 0 || height <= 0) return 0;  // no source pixels: nothing to scale
  bool mirror_x = x1 > x2, mirror_y = y1 > y2;
  int left = mirror_x ? x2 : x1, right = mirror_x ? x1 : x2;
  int top = mirror_y ? y2 : y1, bottom = mirror_y ? y1 : y2;
  double sx = (double)(right - left) / width, sy = (double)(bottom - top) / height;
  int gx1, gx2, gy1, gy2;
  if (!mirror_x) {
    gx1 = left - (int)(src_x * sx);
    gx2 = left + (int)((record->width - src_x) * sx);
  } else {
    gx1 = right + (int)(src_x * sx);
    gx2 = right - (int)((record->width - src_x) * sx);
  }
  if (!mirror_y) {
    gy1 = top - (int)(src_y * sy);
    gy2 = top + (int)((record->height - src_y) * sy);
  } else {
    gy1 = bottom + (int)(src_y * sy);
    gy2 = bottom - (int)((record->height - src_y) * sy);
  }
  SavedClip saved = SaveClip();
  NarrowClip(left, top, right, bottom);
  int result = PaintGraphStretched(gx1, gy1, gx2, gy2, graph, transparent);
  RestoreClip(saved);
  return result;
}

int PaintGraphQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graph,
                   int transparent) {
  int xs[4] = {(int)x1, (int)x2, (int)x3, (int)x4}, ys[4] = {(int)y1, (int)y2, (int)y3, (int)y4};
  int minx = xs[0], maxx = xs[0], miny = ys[0], maxy = ys[0];
  for (int i = 1; i < 4; i++) {
    minx = xs[i] < minx ? xs[i] : minx;
    maxx = xs[i] > maxx ? xs[i] : maxx;
    miny = ys[i] < miny ? ys[i] : miny;
    maxy = ys[i] > maxy ? ys[i] : maxy;
  }
  // The drivers take the corners as top-left, top-right, bottom-left, bottom-right.
  const float corners[8] = {x1, y1, x2, y2, x4, y4, x3, y3};
  return PaintWithGraph(graph, minx, miny, maxx, maxy, [&](const GraphicsDriver& d, GraphRecord* r) {
    return d.draw_graph_quad(r, corners, transparent);
  });
}

int FillGraphSolid(int graph, int r, int g, int b, int a) {
  GraphRecord* record = GetGraphRecord(graph);
  if (!g_screen.started || !record || !record->image) return -1;
  return ImageDriver(record->image).fill_graph(record, r, g, b, a);
}

int PaintLine(int x1, int y1, int x2, int y2, uint32_t colour, int thickness) {
  if (thickness >= 2) return DrawThickLine(x1, y1, x2, y2, colour, thickness);
  int l = x1 < x2 ? x1 : x2, r = x1 < x2 ? x2 : x1, t = y1 < y2 ? y1 : y2, b = y1 < y2 ? y2 : y1;
  return PaintPlain(l, t, r + 1, b + 1, [&](const GraphicsDriver& d) { return d.draw_line(x1, y1, x2, y2, colour); });
}

int DrawThickLine(int x1, int y1, int x2, int y2, uint32_t colour, int thickness) {
  if (!g_screen.started) return -1;
  if (g_draw.clip_empty) return 0;
  if (x1 == x2 && y1 == y2) return 0;  // no direction, no normal
  return ScreenDriver().draw_thick_line(x1, y1, x2, y2, colour, thickness);
}

int PaintRectangle(int x1, int y1, int x2, int y2, uint32_t colour, int fill) {
  return fill == 1 ? PaintFilledBox(x1, y1, x2, y2, colour) : PaintBoxOutline(x1, y1, x2, y2, colour);
}

int PaintFilledBox(int x1, int y1, int x2, int y2, uint32_t colour) {
  return PaintPlain(x1, y1, x2, y2, [&](const GraphicsDriver& d) { return d.fill_box(x1, y1, x2, y2, colour); });
}

int PaintBoxOutline(int x1, int y1, int x2, int y2, uint32_t colour) {
  return PaintPlain(x1, y1, x2, y2,
                    [&](const GraphicsDriver& d) { return d.draw_box_outline(x1, y1, x2, y2, colour); });
}

int PaintVertices(const PaintVertex* vertices, int count, int primitive_type, int graph, int transparent,
                  int map_uv) {
  (void)transparent;
  if (g_draw.clip_empty) return 0;
  if (!g_screen.started || !vertices || count <= 0) return -1;
  GraphRecord* record = graph != -5 ? GetGraphRecord(graph) : nullptr;
  if (graph != -5 && (!record || !record->image)) return -1;
  float minx = vertices[0].x, maxx = minx, miny = vertices[0].y, maxy = miny;
  for (int i = 1; i < count; i++) {
    minx = std::min(minx, vertices[i].x), maxx = std::max(maxx, vertices[i].x);
    miny = std::min(miny, vertices[i].y), maxy = std::max(maxy, vertices[i].y);
  }
  int32_t rect[4];
  int masked, result;
  if (!BeginPlainFrame((int)minx - 1, (int)miny - 1, (int)maxx + 1, (int)maxy + 1, rect, &masked, &result))
    return result;
  const GraphicsDriver& d = record ? ImageDriver(record->image) : ScreenDriver();
  result = DriverDraw(d, rect, [&] { return d.draw_vertices(vertices, count, primitive_type, record, map_uv); });
  return EndFrame(rect, masked, result);
}
