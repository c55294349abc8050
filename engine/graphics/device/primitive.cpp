// Direct3D primitives: box outlines, lines and pixels through the vertex
// batch; triangles, quadrangles, circles, ovals and lists drawn by
// themselves from small fixed buffers; vertex lists the caller fills; the
// graph map and the rotated tiling of a rectangle.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/core/log.h"
#include "engine/graphics/device/device_internal.h"
#include "engine/softrender/circle.h"
#include "engine/softrender/oval_walk.h"

namespace device {

namespace {

IDirect3DDevice9* Device() { return g_device.device; }

struct ColourVertex {
  float x, y, z, rhw;
  uint32_t colour;
};

ColourVertex At(float x, float y, uint32_t colour) { return ColourVertex{x, y, GetGraphDrawFloat(), 1.0f, colour}; }

// The vertex format of ColourVertex: position with rhw, diffuse colour.
void UseColourVertexFormat() { UseVertexFormat(Device(), 0x44); }

// A primitive drawn by itself: the batch goes first, then the untextured
// state and the screen colour format.
bool BeginOwnDraw() {
  if (FlushVertexBatch() < 0) return false;
  BeginSceneOnce();
  PrepareTextureDrawState(nullptr, nullptr, 0);
  UseColourVertexFormat();
  return true;
}

void DrawOwn(int type, const ColourVertex* v, int n) {
  if (n <= 0) return;
  UseColourVertexFormat();
  NoteDepthWrites();
  Device()->DrawPrimitiveUP((D3DPRIMITIVETYPE)type, (UINT)PrimitiveCount(type, n), v, sizeof(ColourVertex));
}

// Appends n untextured vertices of one type to the batch.
void AppendColour(const ColourVertex* v, int n, int type) {
  BeginSceneOnce();
  PrepareTextureDrawState(nullptr, nullptr, 0);
  uint8_t* at = AppendVertices(n, type);
  for (int i = 0; i < n; i++, at += kBatchStride[0]) std::memcpy(at, &v[i], sizeof(ColourVertex));
}

void Band(std::vector<ColourVertex>* out, int x1, int y1, int x2, int y2, uint32_t c) {
  float l = (float)x1 - 0.5f, t = (float)y1 - 0.5f, r = (float)x2 - 0.5f, b = (float)y2 - 0.5f;
  ColourVertex p0 = At(l, t, c), p1 = At(r, t, c), p2 = At(l, b, c), p3 = At(r, b, c);
  out->insert(out->end(), {p0, p1, p2, p3, p2, p1});
}

uint32_t WidenedColour(uint32_t pixel, int alpha) {
  int r = 0, g = 0, b = 0;
  UnpackScreenColor(pixel, &r, &g, &b);
  alpha = alpha < 0 ? 0 : alpha > 255 ? 255 : alpha;
  return (uint32_t)alpha << 24 | (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b;
}

// The octant walk shared by circles and ovals: emit(px, py) for outline
// points, row(py, half) for fill spans.
struct Shape {
  std::vector<ColourVertex>* points;
  uint32_t colour;
  int32_t area[4];
  std::vector<uint8_t> rows;
  std::vector<ColourVertex> spans;
  void Point(int px, int py) {
    // The point is kept when it lies in the draw area (its right and bottom
    // edges exclusive, as everywhere else).
    if (px < area[0] || px >= area[2] || py < area[1] || py >= area[3]) return;
    points->push_back(At((float)px, (float)py, colour));
    if (points->size() == 40) {
      DrawOwn(D3DPT_POINTLIST, points->data(), 40);
      points->clear();
    }
  }
  void Row(int cx, int py, int half) {
    if (py < area[1] || py >= area[3] || rows[(size_t)py]) return;
    int left = cx - half, right = cx + half;
    if (right < area[0] || left >= area[2]) return;
    if (left < area[0]) left = area[0];
    if (right > area[2] - 1) right = area[2] - 1;
    rows[(size_t)py] = 1;
    spans.push_back(At((float)left, (float)py, colour));
    spans.push_back(At((float)right + 1, (float)py, colour));
    if (spans.size() == 20) {
      DrawOwn(D3DPT_LINELIST, spans.data(), 20);
      spans.clear();
    }
  }
  void Finish() {
    if (!points->empty()) DrawOwn(D3DPT_POINTLIST, points->data(), (int)points->size());
    if (!spans.empty()) DrawOwn(D3DPT_LINELIST, spans.data(), (int)spans.size());
  }
};

bool StartShape(Shape* s, std::vector<ColourVertex>* points, uint32_t colour, bool fill, const char* who) {
  s->points = points;
  s->colour = PrimitiveVertexColour(colour);
  std::memcpy(s->area, g_draw.clip, sizeof s->area);
  if (fill) {
    s->rows.assign((size_t)(s->area[3] > 0 ? s->area[3] : 0) + 1, 0);
    if (s->rows.empty()) AbortWithLog(who);
  }
  return true;
}

// A list draw of a vertex format the caller fills: the graph's state (or the
// untextured one), the format, and the draw.
int DrawList(const void* vertices, int count, const uint16_t* indices, int index_count, int type, int graph,
             uint32_t fvf, int stride, uint32_t flags) {
  if (!Device()) return -1;
  if (!vertices || count <= 0) return 0;
  GraphRecord* r = nullptr;
  if (graph != -1 && graph != -5) {
    r = GetGraphRecord(graph);
    if (!r || !r->image) return -1;
  }
  FlushVertexBatch();
  BeginSceneOnce();
  const ImageTexture* t = FirstPieceTexture(r);
  PrepareTextureDrawState(r ? r->image : nullptr, t ? t->texture : nullptr, flags);
  UseVertexFormat(Device(), fvf);
  NoteDepthWrites();
  if (indices)
    Device()->DrawIndexedPrimitiveUP((D3DPRIMITIVETYPE)type, 0, (UINT)count, (UINT)PrimitiveCount(type, index_count),
                                     indices, D3DFMT_INDEX16, vertices, (UINT)stride);
  else
    Device()->DrawPrimitiveUP((D3DPRIMITIVETYPE)type, (UINT)PrimitiveCount(type, count), vertices, (UINT)stride);
  return 0;
}

}  // namespace

int G_D3D_DrawBoxFrame(int x1, int y1, int x2, int y2, uint32_t colour) {
  if (!Device()) return -1;
  // Corners in either order give one outline, x1 to x2 - 1 and y1 to y2 - 1.
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  uint32_t c = PrimitiveVertexColour(colour);
  std::vector<ColourVertex> v;
  Band(&v, x1, y1, x2, y1 + 1, c);
  Band(&v, x2 - 1, y1 + 1, x2, y2, c);
  Band(&v, x1, y1 + 1, x1 + 1, y2, c);
  Band(&v, x1 + 1, y2 - 1, x2 - 1, y2, c);
  AppendColour(v.data(), 24, D3DPT_TRIANGLELIST);
  return 0;
}

int G_D3D_DrawLine(int x1, int y1, int x2, int y2, uint32_t colour) {
  if (!Device()) return -1;
  uint32_t c = PrimitiveVertexColour(colour);
  float ex = (float)x2, ey = (float)y2;
  if (x1 == x2 && y1 != y2) ey += y2 > y1 ? -0.1f : 0.1f;
  if (y1 == y2 && x1 != x2) ex += x2 > x1 ? -0.1f : 0.1f;
  ColourVertex v[2] = {At((float)x1, (float)y1, c), At(ex, ey, c)};
  AppendColour(v, 2, D3DPT_LINELIST);
  return 0;
}

int G_D3D_DrawPixel(int x, int y, uint32_t colour) {
  if (!Device()) return -1;
  uint32_t c = g_draw.vertex_colour == 0xFFFFFFFFu ? WidenedColour(colour, 255) : PrimitiveVertexColour(colour);
  ColourVertex v = At((float)x, (float)y, c);
  AppendColour(&v, 1, D3DPT_POINTLIST);
  return 0;
}

int G_D3D_DrawTriangle(int x1, int y1, int x2, int y2, int x3, int y3, uint32_t colour, int fill) {
  if (!Device() || !BeginOwnDraw()) return -1;
  if ((y3 - y1) * (x2 - x1) - (y2 - y1) * (x3 - x1) <= 0) {
    std::swap(x2, x3);
    std::swap(y2, y3);
  }
  uint32_t c = PrimitiveVertexColour(colour);
  ColourVertex v[4] = {At((float)x1, (float)y1, c), At((float)x2, (float)y2, c), At((float)x3, (float)y3, c),
                       At((float)x1, (float)y1, c)};
  if (fill) DrawOwn(D3DPT_TRIANGLELIST, v, 3);
  else DrawOwn(D3DPT_LINESTRIP, v, 4);
  return 0;
}

int G_D3D_DrawQuad(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, uint32_t colour, int fill) {
  if (!Device() || !BeginOwnDraw()) return -1;
  uint32_t c = PrimitiveVertexColour(colour);
  if (!fill) {
    ColourVertex v[5] = {At((float)x1, (float)y1, c), At((float)x2, (float)y2, c), At((float)x3, (float)y3, c),
                         At((float)x4, (float)y4, c), At((float)x1, (float)y1, c)};
    DrawOwn(D3DPT_LINESTRIP, v, 5);
    return 0;
  }
  long p = (long)(y4 - y1) * (x2 - x1) - (long)(y2 - y1) * (x4 - x1);
  long q = (long)(x4 - x3) * (y2 - y3) - (long)(y4 - y3) * (x2 - x3);
  if ((p <= 0 && q <= 0) || ((p < 0) != (q < 0) && p < 0)) {
    std::swap(x2, x4);
    std::swap(y2, y4);
  }
  ColourVertex v[4] = {At((float)x1, (float)y1, c), At((float)x2, (float)y2, c), At((float)x4, (float)y4, c),
                       At((float)x3, (float)y3, c)};
  DrawOwn(D3DPT_TRIANGLESTRIP, v, 4);
  return 0;
}

int G_D3D_DrawCircle(int x, int y, int r, uint32_t colour, int fill) {
  if (!Device() || !BeginOwnDraw()) return -1;
  std::vector<ColourVertex> points;
  Shape s;
  StartShape(&s, &points, colour, fill != 0, "メモリの確保に失敗しました in G_D3D_DrawCircle");
  if (r < 0) r = -r;
  int u = 0, w = r, d = 3 - 2 * r;
  if (fill) {
    // The rows at the radius are drawn now only when the walk steps inward
    // at once; otherwise later, with their widest span.
    s.Row(x, y, r);
    if (d >= 0) {
      s.Row(x, y + r, 0);
      s.Row(x, y - r, 0);
    }
  } else {
    s.Point(x - r, y);
    s.Point(x + r, y);
    s.Point(x, y + r);
    s.Point(x, y - r);
  }
  if (d >= 0) {
    w--;
    d -= 4 * w;
  }
  d += 6;
  for (u = 1; u <= w; u++) {
    if (fill) {
      s.Row(x, y + u, w);
      s.Row(x, y - u, w);
      if (d >= 0) {
        s.Row(x, y + w, u);
        s.Row(x, y - w, u);
      }
    } else {
      s.Point(x + w, y + u), s.Point(x - w, y + u), s.Point(x + w, y - u), s.Point(x - w, y - u);
      s.Point(x + u, y + w), s.Point(x - u, y + w), s.Point(x + u, y - w), s.Point(x - u, y - w);
    }
    if (d >= 0) {
      w--;
      d -= 4 * w;
    }
    d += 4 * (u + 1) + 2;
  }
  s.Finish();
  return 0;
}

int G_D3D_DrawOval(int x, int y, int rx, int ry, uint32_t colour, int fill) {
  if (!Device()) return -1;
  if (rx == 0 || ry == 0) return -1;
  if (!BeginOwnDraw()) return -1;
  int64_t a = std::abs((int64_t)rx), b = std::abs((int64_t)ry);
  // The software renderer draws nothing of radii whose steps overflow.
  if (a > kMaxOvalRadius || b > kMaxOvalRadius) return 0;
  std::vector<ColourVertex> points;
  Shape s;
  StartShape(&s, &points, colour, fill != 0, "メモリの確保に失敗しました in G_D3D_DrawCircle");
  // The software renderer's quadrant walk: the outline mirrors every point
  // that moved into the four quadrants, the fill draws each new row with the
  // half-width it takes first, its widest.
  OvalWalk w(a, b);
  auto mirrored = [&](int u, int v) {
    if (fill) {
      s.Row(x, y + v, u);
      s.Row(x, y - v, u);
    } else {
      s.Point(x - u, y + v), s.Point(x + u, y + v), s.Point(x - u, y - v), s.Point(x + u, y - v);
    }
  };
  if (fill) s.Row(x, y, (int)w.u);
  else s.Point(x - (int)w.u, y), s.Point(x + (int)w.u, y);
  w.Step();
  while (w.u > 0) {
    if (fill ? w.new_row : w.moved) mirrored((int)w.u, (int)w.v);
    w.Step();
  }
  // Both tips: the software fill leaves out the lower one when the walk
  // ends on a new row.
  if (fill) mirrored(0, (int)w.v);
  else s.Point(x, y - (int)w.v), s.Point(x, y + (int)w.v);
  s.Finish();
  return 0;
}

namespace {

// Draws a list of `count` entries by itself, put(entry, vertices) writing
// each entry's vertices, in draws of up to 1000 vertices.
template <class Entry, class Put>
int DrawOwnList(int type, const Entry* list, int count, Put put) {
  if (!Device() || !BeginOwnDraw()) return -1;
  static ColourVertex buffer[1000];
  int n = 0;
  for (int i = 0; i < count; i++) {
    n += put(list[i], buffer + n);
    if (n == 1000) {
      DrawOwn(type, buffer, n);
      n = 0;
    }
  }
  DrawOwn(type, buffer, n);
  return 0;
}

}  // namespace

int G_D3D_DrawPixelList(const PixelListEntry* list, int count) {
  return DrawOwnList(D3DPT_POINTLIST, list, count, [](const PixelListEntry& e, ColourVertex* v) {
    v[0] = At((float)e.x, (float)e.y, WidenedColour(e.colour, e.alpha));
    return 1;
  });
}

int G_D3D_DrawLineList(const LineListEntry* list, int count) {
  return DrawOwnList(D3DPT_LINELIST, list, count, [](const LineListEntry& e, ColourVertex* v) {
    uint32_t c = WidenedColour(e.colour, e.alpha);
    v[0] = At((float)e.x1, (float)e.y1, c);
    v[1] = At((float)e.x2, (float)e.y2, c);
    return 2;
  });
}

int G_D3D_DrawVertexList2D(const void* vertices, int count, int type, int graph, int map_uv) {
  if (!Device()) return -1;
  if (!vertices || count <= 0) return 0;
  std::vector<uint8_t> copy;
  GraphRecord* r = graph != -1 && graph != -5 ? GetGraphRecord(graph) : nullptr;
  if (map_uv == 1 && r && IsDeviceImage(r->image) && r->piece_count == 1) {
    // The coordinates of the whole graph, mapped into its piece of the texture.
    const TexturePiece& p = r->pieces[0];
    copy.assign(static_cast<const uint8_t*>(vertices), static_cast<const uint8_t*>(vertices) + (size_t)count * 28);
    for (int i = 0; i < count; i++) {
      float uv[2];
      std::memcpy(uv, &copy[(size_t)i * 28 + 20], 8);
      uv[0] = p.u1 + uv[0] * (p.u2 - p.u1);
      uv[1] = p.v1 + uv[1] * (p.v2 - p.v1);
      std::memcpy(&copy[(size_t)i * 28 + 20], uv, 8);
    }
    vertices = copy.data();
  }
  return DrawList(vertices, count, nullptr, 0, type, graph, 0x144, 28, DRAW_TRANSPARENT);
}

int G_D3D_DrawIndexedList2D(const void* vertices, int count, const uint16_t* indices, int index_count, int type,
                            int graph) {
  return DrawList(vertices, count, indices, index_count, type, graph, 0x144, 28, DRAW_TRANSPARENT);
}

int G_D3D_DrawVertexList3D(const void* vertices, int count, int type, int graph) {
  return DrawList(vertices, count, nullptr, 0, type, graph, 0x142, 24, DRAW_TRANSPARENT | DRAW_DEPTH_3D);
}

int G_D3D_DrawIndexedList3D(const void* vertices, int count, const uint16_t* indices, int index_count, int type,
                            int graph) {
  return DrawList(vertices, count, indices, index_count, type, graph, 0x142, 24, DRAW_TRANSPARENT | DRAW_DEPTH_3D);
}

int G_D3D_DrawLitVertexList(const void* vertices, int count, int type, int graph) {
  return DrawList(vertices, count, nullptr, 0, type, graph, 0x2D2, 48,
                  DRAW_TRANSPARENT | DRAW_DEPTH_3D | DRAW_LIGHTING | DRAW_GOURAUD);
}

int G_D3D_DrawIndexedLitList(const void* vertices, int count, const uint16_t* indices, int index_count, int type,
                             int graph) {
  return DrawList(vertices, count, indices, index_count, type, graph, 0x2D2, 48,
                  DRAW_TRANSPARENT | DRAW_DEPTH_3D | DRAW_LIGHTING | DRAW_GOURAUD);
}

int G_D3D_DrawGraphMap(int x, int y, int columns, int rows, const int* map, int map_pitch, const int* graphs,
                       int transparent) {
  if (!Device()) return -1;
  GraphRecord* first = GetGraphRecord(graphs[0]);
  if (!first) return -1;
  int w = first->width, h = first->height;
  for (int j = 0; j < rows; j++)
    for (int i = 0; i < columns; i++) {
      int index = map[(size_t)j * map_pitch + i];
      if (index == -1) continue;
      GraphRecord* g = GetGraphRecord(graphs[index]);
      if (!g || !g->image) return -1;
      int px = x + i * w, py = y + j * h;
      DrawGraphQuadsAt(px, py, (float)px, (float)py, g, transparent, 0);
    }
  return 0;
}

int G_D3D_FillRectTiled(int x1, int y1, int x2, int y2, int scroll_x, int scroll_y, double scale, double angle,
                        int graph, int transparent) {
  GraphRecord* g = GetGraphRecord(graph);
  if (!g) return -1;
  float s = (float)scale;
  double count_scale = scale > 0 ? scale : 0.0001;
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  int w = g->width, h = g->height;
  scroll_x %= w;
  scroll_y %= h;
  float a = (float)angle, ca = std::cos(a), sa = std::sin(a);
  float ca2 = std::cos(a + 1.5707963f), sa2 = std::sin(a + 1.5707963f);
  float ux = w * ca * s, uy = h * sa * s, vx = w * ca2 * s, vy = h * sa2 * s;
  int dw = x2 - x1, dh = y2 - y1;
  int n = (int)(std::sqrt((double)dw * dw + (double)dh * dh) / ((w < h ? w : h) * count_scale) + 2.0);
  if (n % 2 == 0) n++;
  int32_t saved[4];
  GetPaintClipRect(saved);
  SetPaintClipRect(x1, y1, x2, y2);
  float cx = x1 + dw * 0.5f, cy = y1 + dh * 0.5f;
  float a0 = (-scroll_x - w * n / 2) * s, b0 = (-scroll_y - h * n / 2) * s;
  float row_x = a0 * ca - b0 * sa + cx, row_y = a0 * sa + b0 * ca + cy;
  for (int j = 0; j < n; j++) {
    float px = row_x, py = row_y;
    for (int i = 0; i < n; i++) {
      float q[8] = {px, py, px + ux, py + uy, px + vx, py + vy, px + ux + vx, py + uy + vy};
      DrawGraphQuadsFree(q, g, transparent);
      px += ux, py += uy;
    }
    row_x += vx, row_y += vy;
  }
  SetPaintClipRect(saved[0], saved[1], saved[2], saved[3]);
  return 0;
}

}  // namespace device
