// The draw state and the drawing functions: every draw call runs one frame
// (started and empty-clip tests, handle checks, mask hooks) and hands its
// pixels to the back end that the graph's image data or the engine's
// hardware flag selects.
#include <cmath>
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/graphics/d3d_internal.h"
#include "engine/graphics/graphics_math.h"
#include "engine/softrender/blend.h"
#include "engine/softrender/primitive.h"

DrawState g_draw{};

namespace {

// Device blend factors and operations by their platform numbers.
enum : int32_t {
  BLEND_ZERO = 1, BLEND_ONE = 2, BLEND_SRCCOLOR = 3, BLEND_SRCALPHA = 5, BLEND_INVSRCALPHA = 6,
  BLEND_INVDESTCOLOR = 10, BLENDOP_ADD = 1, BLENDOP_REVSUBTRACT = 3,
};

const BlendTableRow kBlendTable[14] = {
    {0, 0, 0, 0},
    {BLEND_SRCALPHA, BLEND_INVSRCALPHA, 0, BLENDOP_ADD},
    {BLEND_SRCALPHA, BLEND_ONE, 0, BLENDOP_ADD},
    {BLEND_SRCALPHA, BLEND_ONE, 0, BLENDOP_ADD},
    {BLEND_ZERO, BLEND_SRCCOLOR, 0, BLENDOP_ADD},
    {BLEND_SRCALPHA, BLEND_ONE, 0, BLENDOP_ADD},
    {0, 0, 0, 0},
    {0, 0, 0, 0},
    {BLEND_ZERO, BLEND_ONE, 0, BLENDOP_ADD},
    {BLEND_INVDESTCOLOR, BLEND_ZERO, 0, BLENDOP_ADD},
    {BLEND_SRCALPHA, BLEND_INVSRCALPHA, 2, BLENDOP_ADD},
    {BLEND_ZERO, BLEND_SRCCOLOR, 1, BLENDOP_ADD},
    {BLEND_SRCALPHA, BLEND_ONE, 0, BLENDOP_REVSUBTRACT},
    {0, BLEND_ZERO, 65535, BLENDOP_REVSUBTRACT},
};

int Clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

void StoreClip(const int32_t* rect) {
  for (int i = 0; i < 4; i++) {
    g_draw.clip[i] = rect[i];
    g_draw.clip_f[i] = (float)rect[i];
  }
  g_draw.clip_empty = (rect[0] == rect[2] || rect[1] == rect[3]) ? 1 : 0;
  SyncSoftDrawState();
}

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
  f->rect[0] = x1 < x2 ? x1 : x2;
  f->rect[1] = y1 < y2 ? y1 : y2;
  f->rect[2] = x1 < x2 ? x2 : x1;
  f->rect[3] = y1 < y2 ? y2 : y1;
  const GraphicsHost& host = GetGraphicsHost();
  if (f->record->movie >= 0 && host.advance_movie_frame) host.advance_movie_frame(f->record->movie);
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

// The device back end of one draw, between the two invert passes when the
// device cannot subtract in its blend unit.
template <class Draw>
int DeviceDraw(const int32_t* rect, Draw draw) {
  if (!NeedsSubtractPasses()) return draw();
  InvertAreaBeforeSubtract(rect);
  int result = draw();
  InvertAreaAfterSubtract(rect);
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
  rect[0] = x1 < x2 ? x1 : x2;
  rect[1] = y1 < y2 ? y1 : y2;
  rect[2] = x1 < x2 ? x2 : x1;
  rect[3] = y1 < y2 ? y2 : y1;
  *masked = IsMaskScreenActive();
  if (*masked) BeginMaskedPaint(rect[0], rect[1], rect[2], rect[3]);
  return true;
}

}  // namespace

const BlendTableRow* BlendTableRowFor(int mode) { return mode >= 0 && mode < 14 ? &kBlendTable[mode] : nullptr; }

void SyncSoftDrawState() {
  for (int i = 0; i < 4; i++) g_soft_draw.draw_area[i] = g_draw.clip[i];
  // Modes the software renderer does not know draw nothing; a mode beyond the
  // table is never handed on as an index.
  g_soft_draw.blend_mode = g_draw.blend_mode;
  g_soft_draw.blend_param = g_draw.blend_param;
  g_soft_draw.draw_bright = ((uint32_t)g_draw.bright_r << 16) | ((uint32_t)g_draw.bright_g << 8) | g_draw.bright_b;
  g_soft_draw.target = g_draw.soft_target;
  g_soft_draw.blend_graph = g_draw.crossfade_image;
}

MEMIMG* DrawScreenSoftImage() {
  if (GraphRecord* r = GetGraphRecord(g_draw.draw_screen))
    if (r->image && r->image->software) return &r->view;
  return &g_screen_image;
}

IDirect3DSurface9* DrawScreenDeviceSurface(int draw_screen) {
  if (GraphRecord* r = GetGraphRecord(draw_screen)) {
    const ImageTexture* t = FirstPieceTexture(r);
    return t ? t->surface : nullptr;
  }
  return g_device.sub_back_buffer ? g_device.sub_back_buffer : g_device.back_buffer;
}

void DrawScreenSize(int target, int* width, int* height) {
  if (QueryGraphSize(target, width, height) < 0) GetScreenSizeOrDefault(width, height);
}

// ---- drawing --------------------------------------------------------------------------------

int WipeDrawScreen() {
  if (!g_screen.started) return 0;
  if (g_device.hardware) {
    IDirect3DDevice9* device = g_device.device;
    if (!device) return 0;
    FlushVertexBatch();
    EndSceneIfOpen();
    if (IDirect3DSurface9* target = DrawScreenDeviceSurface(g_draw.draw_screen)) device->ColorFill(target, nullptr, 0);
    if (g_device.depth_buffer) device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    return 0;
  }
  MEMIMG* target = DrawScreenSoftImage();
  if (!IsMEMIMGValid(target)) return 0;
  // The background is black: nothing in the engine sets another colour.
  FillMEMIMGRect(target, nullptr, EncodePixelColor(target->store->format, 0, 0, 0, 0));
  return 0;
}

int PaintGraph(int x, int y, int graph, int transparent) {
  if (!EngineStarted()) return -1;
  GraphRecord* record = GetGraphRecord(graph);
  GraphFrame f;
  int result;
  if (!BeginGraphFrame(graph, x, y, x + (record ? record->width : 0), y + (record ? record->height : 0), &f, &result))
    return result;
  GraphRecord* r = f.record;
  result = r->image->software ? SoftPaintGraph(x, y, graph, transparent) : DeviceDraw(f.rect, [&] {
    return DrawGraphQuadsAt(x, y, (float)x, (float)y, r, transparent, 0);
  });
  return EndFrame(f.rect, f.masked, result);
}

int PaintGraphStretched(int x1, int y1, int x2, int y2, int graph, int transparent) {
  GraphFrame f;
  int result;
  if (!BeginGraphFrame(graph, x1, y1, x2, y2, &f, &result)) return result;
  GraphRecord* r = f.record;
  result = r->image->software ? SoftPaintGraphStretched(x1, y1, x2, y2, graph, transparent) : DeviceDraw(f.rect, [&] {
    return DrawGraphQuadsStretched(x1, y1, x2, y2, (float)x1, (float)y1, (float)x2, (float)y2, r, transparent, 0);
  });
  return EndFrame(f.rect, f.masked, result);
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
  GraphFrame f;
  int result;
  if (!BeginGraphFrame(graph, minx, miny, maxx, maxy, &f, &result)) return result;
  // The back ends take the corners as top-left, top-right, bottom-left, bottom-right.
  GraphRecord* r = f.record;
  const float corners[8] = {x1, y1, x2, y2, x4, y4, x3, y3};
  result = r->image->software ? SoftPaintGraphQuadF(x1, y1, x2, y2, x4, y4, x3, y3, graph, transparent)
                              : DeviceDraw(f.rect, [&] { return DrawGraphQuadsFree(corners, r, transparent); });
  return EndFrame(f.rect, f.masked, result);
}

int FillGraphSolid(int graph, int r, int g, int b, int a) {
  GraphRecord* record = GetGraphRecord(graph);
  if (!g_screen.started || !record || !record->image) return -1;
  if (record->image->hardware) {
    IDirect3DDevice9* device = g_device.device;
    if (!device) return -1;
    if (!record->image->draw_target) return 0;
    FlushVertexBatch();
    EndSceneIfOpen();
    D3DCOLOR c = (uint32_t)Clamp255(a) << 24 | (uint32_t)Clamp255(r) << 16 | (uint32_t)Clamp255(g) << 8 |
                 (uint32_t)Clamp255(b);
    for (int i = 0; i < record->piece_count; i++) {
      const TexturePiece& p = record->pieces[i];
      RECT area{p.tex_x, p.tex_y, p.tex_x + p.width, p.tex_y + p.height};
      device->ColorFill(record->image->textures[p.texture].surface, &area, c);
    }
    return 0;
  }
  // A box in the screen's pixel value, drawn as a plain copy over the whole
  // graph whatever the blend state and clip are.
  DrawState keep = g_draw;
  g_draw.soft_target = &record->view;
  g_draw.blend_mode = 0;
  g_draw.blend_param = 255;
  g_draw.bright_r = g_draw.bright_g = g_draw.bright_b = 255;
  g_draw.crossfade_image = nullptr;
  int32_t whole[4] = {0, 0, record->width, record->height};
  std::memcpy(g_draw.clip, whole, sizeof whole);
  SyncSoftDrawState();
  const PIXELFORMAT* format = record->view.store->format;
  if (record->view.store->alpha_flag) {
    // The box drawer leaves images with an alpha channel alone; fill them raw.
    FillMEMIMGRect(&record->view, nullptr, EncodePixelColor(format, Clamp255(r), Clamp255(g), Clamp255(b), Clamp255(a)));
  } else {
    PaintBoxToMEMIMG(&record->view, whole, PackColorForFormat(format, r, g, b));
  }
  g_draw = keep;
  SyncSoftDrawState();
  return 0;
}

int PaintLine(int x1, int y1, int x2, int y2, uint32_t colour, int thickness) {
  if (thickness >= 2) return DrawThickLine(x1, y1, x2, y2, colour, thickness);
  int32_t rect[4];
  int masked, result;
  int l = x1 < x2 ? x1 : x2, r = x1 < x2 ? x2 : x1, t = y1 < y2 ? y1 : y2, b = y1 < y2 ? y2 : y1;
  if (!BeginPlainFrame(l, t, r + 1, b + 1, rect, &masked, &result)) return result;
  result = g_device.hardware ? DeviceDraw(rect, [&] { return G_D3D_DrawLine(x1, y1, x2, y2, colour); })
                             : SoftPaintLine(x1, y1, x2, y2, colour);
  return EndFrame(rect, masked, result);
}

int DrawThickLine(int x1, int y1, int x2, int y2, uint32_t colour, int thickness) {
  if (!g_screen.started) return -1;
  if (g_draw.clip_empty) return 0;
  double dx = x2 - x1, dy = y2 - y1, len = std::sqrt(dx * dx + dy * dy);
  if (len == 0) return 0;  // no direction, no normal
  double nx = -dy / len * thickness * 0.5, ny = dx / len * thickness * 0.5;
  auto r = [](double v) { return (int)std::lround(v); };
  if (g_device.hardware) return DrawThickLineD3D(x1, y1, x2, y2, colour, thickness);
  return SoftPaintQuadFlat(r(x1 + nx), r(y1 + ny), r(x2 + nx), r(y2 + ny), r(x2 - nx), r(y2 - ny), r(x1 - nx),
                           r(y1 - ny), colour, 1);
}

int PaintRectangle(int x1, int y1, int x2, int y2, uint32_t colour, int fill) {
  return fill == 1 ? PaintFilledBox(x1, y1, x2, y2, colour) : PaintBoxOutline(x1, y1, x2, y2, colour);
}

int PaintFilledBox(int x1, int y1, int x2, int y2, uint32_t colour) {
  int32_t rect[4];
  int masked, result;
  if (!BeginPlainFrame(x1, y1, x2, y2, rect, &masked, &result)) return result;
  result = g_device.hardware ? DeviceDraw(rect, [&] { return DrawFilledBoxD3D(x1, y1, x2, y2, colour); })
                             : SoftPaintFilledBox(x1, y1, x2, y2, colour);
  return EndFrame(rect, masked, result);
}

int PaintBoxOutline(int x1, int y1, int x2, int y2, uint32_t colour) {
  int32_t rect[4];
  int masked, result;
  if (!BeginPlainFrame(x1, y1, x2, y2, rect, &masked, &result)) return result;
  result = g_device.hardware ? DeviceDraw(rect, [&] { return G_D3D_DrawBoxFrame(x1, y1, x2, y2, colour); })
                             : SoftPaintBoxOutline(x1, y1, x2, y2, colour);
  return EndFrame(rect, masked, result);
}

int PaintVertices(const PaintVertex* vertices, int count, int primitive_type, int graph, int transparent,
                  int map_uv) {
  if (g_draw.clip_empty) return 0;
  if (!g_screen.started || !vertices || count <= 0) return -1;
  GraphRecord* record = graph != -5 ? GetGraphRecord(graph) : nullptr;
  if (graph != -5 && !record) return -1;
  // Vertex lists are drawn by the device only; the software back end draws
  // nothing for them.
  bool device = record ? record->image && record->image->hardware : g_device.hardware != 0;
  if (!device) return 0;
  float minx = vertices[0].x, maxx = minx, miny = vertices[0].y, maxy = miny;
  for (int i = 1; i < count; i++) {
    minx = std::min(minx, vertices[i].x), maxx = std::max(maxx, vertices[i].x);
    miny = std::min(miny, vertices[i].y), maxy = std::max(maxy, vertices[i].y);
  }
  int32_t rect[4];
  int masked, result;
  if (!BeginPlainFrame((int)minx - 1, (int)miny - 1, (int)maxx + 1, (int)maxy + 1, rect, &masked, &result))
    return result;
  struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
  };
  ScreenVertex* list = (ScreenVertex*)VOX_ALLOC((uint32_t)(count * sizeof(ScreenVertex)));
  if (!list) return EndFrame(rect, masked, -1);
  bool scale = g_draw.bright_r != 255 || g_draw.bright_g != 255 || g_draw.bright_b != 255 ||
               (g_draw.blend_mode != 0 && g_draw.blend_param < 255);
  for (int i = 0; i < count; i++) {
    const PaintVertex& in = vertices[i];
    uint32_t b = in.b, g = in.g, r = in.r, a = in.a;
    if (scale) {
      b = b * g_draw.bright_b / 255, g = g * g_draw.bright_g / 255, r = r * g_draw.bright_r / 255;
      if (g_draw.blend_mode != 0) a = a * (uint32_t)g_draw.blend_param / 255;
    }
    list[i] = ScreenVertex{in.x, in.y, 0.0f, 1.0f, a << 24 | r << 16 | g << 8 | b, in.u, in.v};
  }
  (void)transparent;
  result = DeviceDraw(rect, [&] {
    return G_D3D_DrawVertexList2D(list, count, primitive_type, record ? graph : -5, map_uv);
  });
  VOX_FREE(list);
  return EndFrame(rect, masked, result);
}

// ---- state ---------------------------------------------------------------------------------

int SelectBlendMode(int mode, int param) {
  if (mode == g_draw.blend_mode && param == g_draw.blend_param) return 0;
  WaitWhileInactive();
  g_draw.blend_mode = mode;
  g_draw.blend_param = Clamp255(param);
  RebuildPackedVertexColour();
  SyncSoftDrawState();
  return 0;
}

int GetBlendMode(int* mode, int* param) {
  if (mode) *mode = g_draw.blend_mode;
  if (param) *param = g_draw.blend_param;
  return 0;
}

int SetPaintBrightness(int r, int g, int b) {
  r = Clamp255(r), g = Clamp255(g), b = Clamp255(b);
  if (r == g_draw.bright_r && g == g_draw.bright_g && b == g_draw.bright_b) return 0;
  g_draw.bright_r = (uint8_t)r;
  g_draw.bright_g = (uint8_t)g;
  g_draw.bright_b = (uint8_t)b;
  RebuildPackedVertexColour();
  SyncSoftDrawState();
  return 0;
}

int GetPaintBrightness(int* r, int* g, int* b) {
  if (r) *r = g_draw.bright_r;
  if (g) *g = g_draw.bright_g;
  if (b) *b = g_draw.bright_b;
  return 0;
}

uint32_t GetVertexColour() { return g_draw.vertex_colour; }

int SetCrossfadeGraph(int graph, int param, int range) {
  if (graph == g_draw.crossfade_graph && param == g_draw.crossfade_param && range == g_draw.crossfade_range) return 0;
  GraphRecord* record = nullptr;
  if (graph != -1) {
    record = GetGraphRecord(graph);
    if (!record || !record->image) return -1;
  }
  WaitWhileInactive();
  param = Clamp255(param);
  range = Clamp255(range);
  if (g_device.hardware) {
    if (!g_device.device) return -1;
    IDirect3DTexture9* texture = nullptr;
    if (record) {
      const ImageTexture* t = FirstPieceTexture(record);
      if (!t) return -1;
      texture = t->texture;
      g_draw.crossfade_reciprocal[0] = 1.0f / (float)t->width;
      g_draw.crossfade_reciprocal[1] = 1.0f / (float)t->height;
    }
    if (texture != g_rs.blend_texture || param != g_draw.crossfade_param || range != g_draw.crossfade_range) {
      FlushVertexBatch();
      g_rs.blend_texture = texture;
      g_rs.blend_dirty = 1;
    }
  } else if (record) {
    // The software renderer weighs pixels by a single-channel blend image.
    if (!record->image->software || !record->image->blend_image || !IsMEMIMGValid(&record->image->image)) return -1;
  }
  g_draw.crossfade_graph = graph;
  g_draw.crossfade_param = param;
  g_draw.crossfade_range = range;
  g_draw.crossfade_image = record && record->image->software ? &record->image->image : nullptr;
  BuildBlendGraphRamp(g_draw.crossfade_param, g_draw.crossfade_range);
  RebuildPackedVertexColour();
  SyncSoftDrawState();
  return 0;
}

int SetPaintFilterMode(int mode) {
  if (mode == g_draw.filter_mode) return 0;
  g_draw.filter_mode = mode;
  if (g_device.device) SetFilterMode(mode);
  return 0;
}
int GetPaintFilterMode() { return g_draw.filter_mode; }

int SelectDrawScreen(int target) {
  if (!g_screen.started) return -1;
  WaitWhileInactive();
  GraphRecord* record = GetGraphRecord(target);
  if (record && (!record->image || !record->image->draw_target)) return -1;
  int mask_was_enabled = IsMaskScreenEnabled();
  if (mask_was_enabled) EnableMaskScreen(0);
  bool screen_code = target == DRAW_SCREEN_FRONT || target == DRAW_SCREEN_BACK || target == DRAW_SCREEN_BACK_ALT ||
                     target == DRAW_SCREEN_BACK_SUB;
  if (!screen_code && !record) {
    if (mask_was_enabled) EnableMaskScreen(1);
    return -1;
  }
  int old_width = g_draw.target_width, old_height = g_draw.target_height;
  if (g_device.device) {
    FlushVertexBatch();
    EndSceneIfOpen();
    g_rs.texture_changed = 1;
    if (IDirect3DSurface9* surface = DrawScreenDeviceSurface(target)) SetRenderTargetSurface(surface);
  }
  g_draw.draw_screen = target;
  g_draw.soft_target = DrawScreenSoftImage();
  SyncSoftDrawState();
  const GraphicsHost& host = GetGraphicsHost();
  if (host.set_front_buffer_timer) host.set_front_buffer_timer(target == DRAW_SCREEN_FRONT ? 1 : 0);
  int w, h;
  DrawScreenSize(target, &w, &h);
  g_draw.target_width = w;
  g_draw.target_height = h;
  int clipped = w == old_width && h == old_height
                    ? SetPaintClipRect(g_draw.clip_requested[0], g_draw.clip_requested[1], g_draw.clip_requested[2],
                                       g_draw.clip_requested[3])
                    : SetPaintClipRect(0, 0, w, h);
  if (clipped < 0) {
    // The clip setter knows no size for -3 and -5: they show the whole screen.
    int32_t whole[4] = {0, 0, w, h};
    StoreClip(whole);
  }
  ResetScreenCamera(w, h);
  if (mask_was_enabled) EnableMaskScreen(1);
  return 0;
}

int CurrentDrawScreen() { return g_draw.draw_screen; }

int SetPaintClipRect(int x1, int y1, int x2, int y2) {
  g_draw.clip_requested[0] = x1;
  g_draw.clip_requested[1] = y1;
  g_draw.clip_requested[2] = x2;
  g_draw.clip_requested[3] = y2;
  int w, h;
  if (QueryGraphSize(g_draw.draw_screen, &w, &h) < 0) return -1;
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  auto clamp = [](int v, int hi) { return v < 0 ? 0 : v > hi ? hi : v; };
  int32_t rect[4] = {clamp(x1, w), clamp(y1, h), clamp(x2, w), clamp(y2, h)};
  StoreClip(rect);
  if (g_draw.clip_empty || !g_device.hardware) return 0;
  if (!g_device.device) return -1;
  D3DVIEWPORT9 vp{(DWORD)rect[0], (DWORD)rect[1], (DWORD)(rect[2] - rect[0]), (DWORD)(rect[3] - rect[1]), 0.0f, 1.0f};
  SetViewportCached(&vp);
  RECT scissor{rect[0], rect[1], rect[2], rect[3]};
  SetScissorCached(&scissor);
  SetClipViewport(rect[0], rect[1], rect[2], rect[3]);
  return 0;
}

int GetPaintClipRect(int* rect4) {
  if (rect4) std::memcpy(rect4, g_draw.clip, sizeof g_draw.clip);
  return 0;
}
int GetPaintClipRectF(float* rect4) {
  if (rect4) std::memcpy(rect4, g_draw.clip_f, sizeof g_draw.clip_f);
  return 0;
}
int IsPaintClipEmpty() { return g_draw.clip_empty; }

uint32_t PackColorForFormat(const PIXELFORMAT* f, int r, int g, int b) {
  if (!f) return 0;
  r = Clamp255(r), g = Clamp255(g), b = Clamp255(b);
  return ((uint32_t)(r >> (8 - f->red_width)) << f->red_shift) +
         ((uint32_t)(g >> (8 - f->green_width)) << f->green_shift) +
         ((uint32_t)(b >> (8 - f->blue_width)) << f->blue_shift) + f->spare_mask;
}

int UnpackColorForFormat(const PIXELFORMAT* f, uint32_t pixel, int* r, int* g, int* b) {
  auto channel = [&](uint32_t mask, int shift, int width) {
    return width ? (int)(((pixel & mask) >> shift) * 255u / ((1u << width) - 1)) : 0;
  };
  if (!f) return -1;
  if (r) *r = channel(f->red_mask, f->red_shift, f->red_width);
  if (g) *g = channel(f->green_mask, f->green_shift, f->green_width);
  if (b) *b = channel(f->blue_mask, f->blue_shift, f->blue_width);
  return 0;
}

uint32_t PackScreenColor(int r, int g, int b) { return PackColorForFormat(GetScreenPixelFormat(), r, g, b); }

int UnpackScreenColor(uint32_t pixel, int* r, int* g, int* b) {
  UnpackColorForFormat(GetScreenPixelFormat(), pixel, r, g, b);
  return 0;
}

int SetGraphCreateBitDepth(int depth) {
  g_draw.create_depth = depth;
  return 0;
}
int GetGraphCreateBitDepth() { return g_draw.create_depth; }
int SetGraphCreateAlphaChannel(int flag) {
  g_draw.create_alpha = flag;
  return 0;
}
int GetGraphCreateAlphaChannel() { return g_draw.create_alpha; }
int SetGraphCreateAlphaTest(int flag) {
  g_draw.create_alpha_test = flag;
  return 0;
}
int GetGraphCreateAlphaTest() { return g_draw.create_alpha_test; }
int SetGraphCreateDrawTarget(int flag) {
  g_draw.create_draw_target = flag;
  return 0;
}
int GetGraphCreateDrawTarget() { return g_draw.create_draw_target; }
int SetGraphCreateBlendImage(int flag) {
  g_draw.create_blend_image = flag;
  return 0;
}
int GetGraphCreateBlendImage() { return g_draw.create_blend_image; }
int SetGraphCreateDefaultPool(int flag) {
  g_draw.create_default_pool = flag;
  return 0;
}
int GetGraphCreateDefaultPool() { return g_draw.create_default_pool; }

int SetGraphRestoreHandler(GraphRestoreHandler handler) {
  g_draw.restore_handler = handler;
  return 0;
}
int HasGraphRestoreHandler() { return g_draw.restore_handler ? 1 : 0; }

int RunGraphRestoreHandler() {
  if (g_draw.restore_handler)
    g_draw.restore_handler();
  else
    RestoreAllGraphs();
  const GraphicsHost& host = GetGraphicsHost();
  if (host.recreate_all_fonts) host.recreate_all_fonts();
  return 0;
}
