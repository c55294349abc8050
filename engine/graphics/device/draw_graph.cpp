// Direct3D drawing of graphs: each draw picks its device states (what is
// asked for; the render-state cache and the blend pipeline carry it out)
// and appends one textured quad per texture piece to the vertex batch.
// Quads are clipped on their vertices; texel centres meet pixel centres
// (positions less half a pixel).
#include <cmath>
#include <cstring>

#include "engine/graphics/device/device_internal.h"

namespace device {

namespace {

IDirect3DDevice9* Device() { return g_device.device; }

struct Corner {
  float x, y;  // screen
  float u, v;  // texture coordinates of the piece
  float gx, gy;  // graph pixels (for the crossfade graph's coordinates)
};

void PutFloat(uint8_t* at, float f) { std::memcpy(at, &f, 4); }
void PutWord(uint8_t* at, uint32_t w) { std::memcpy(at, &w, 4); }

// Appends the quad P0 P1 P2 (top-left, top-right, bottom-left) and P3, P2,
// P1, with the colour in vertices 0 and 3 (flat shading takes the first).
void AppendQuad(const Corner& p0, const Corner& p1, const Corner& p2, const Corner& p3, uint32_t colour) {
  BeginSceneOnce();
  const Corner* order[6] = {&p0, &p1, &p2, &p3, &p2, &p1};
  uint8_t* v = AppendVertices(6, D3DPT_TRIANGLELIST);
  int stride = kBatchStride[g_batch.format];
  float z = GetGraphDrawFloat();
  // The crossfade graph's texture coordinates of a point in graph pixels
  // start at the crossfade graph's place in its image.
  const GraphRecord* blend = g_batch.format == 2 ? GetGraphRecord(g_draw.crossfade_graph) : nullptr;
  float bx = blend ? (float)blend->x : 0.0f, by = blend ? (float)blend->y : 0.0f;
  for (int i = 0; i < 6; i++, v += stride) {
    const Corner& c = *order[i];
    PutFloat(v, c.x);
    PutFloat(v + 4, c.y);
    PutFloat(v + 8, z);
    if (i == 0 || i == 3) PutWord(v + 16, colour);
    if (g_batch.format == 1) {
      PutFloat(v + 20, c.u);
      PutFloat(v + 24, c.v);
    } else if (g_batch.format == 2) {
      PutFloat(v + 24, c.u);
      PutFloat(v + 28, c.v);
      PutFloat(v + 32, (bx + c.gx) * g_draw.crossfade_reciprocal[0]);
      PutFloat(v + 36, (by + c.gy) * g_draw.crossfade_reciprocal[1]);
    }
  }
}

// Clips one coordinate of an axis-aligned quad into [lo, hi], moving the
// texture and graph coordinates by the same ratio.
void ClipAxis(float* a, float* b, float* ua, float* ub, float* ga, float* gb, float lo, float hi) {
  float a0 = *a, b0 = *b, ua0 = *ua, ub0 = *ub, ga0 = *ga, gb0 = *gb;
  float span = b0 - a0;
  auto move = [&](float* p, float* u, float* g, float to) {
    if (span == 0) return;
    float t = (to - a0) / span;
    *u = ua0 + (ub0 - ua0) * t;
    *g = ga0 + (gb0 - ga0) * t;
    *p = to;
  };
  if (*a < lo) move(a, ua, ga, lo);
  if (*a > hi) move(a, ua, ga, hi);
  if (*b < lo) move(b, ub, gb, lo);
  if (*b > hi) move(b, ub, gb, hi);
}

// One axis-aligned piece from screen x1..x2, y1..y2 (either may be
// reversed for mirroring) over graph pixels and texture coordinates.
void AppendAxisQuad(float x1, float y1, float x2, float y2, float u1, float v1, float u2, float v2, float gx1,
                    float gy1, float gx2, float gy2, bool clip, uint32_t colour) {
  if (clip) {
    float left = g_draw.clip_f[0] - 0.5f, top = g_draw.clip_f[1] - 0.5f;
    float right = g_draw.clip_f[2] - 0.5f, bottom = g_draw.clip_f[3] - 0.5f;
    ClipAxis(&x1, &x2, &u1, &u2, &gx1, &gx2, left, right);
    ClipAxis(&y1, &y2, &v1, &v2, &gy1, &gy2, top, bottom);
    if (x1 == x2 || y1 == y2) return;
  }
  Corner p0{x1, y1, u1, v1, gx1, gy1}, p1{x2, y1, u2, v1, gx2, gy1};
  Corner p2{x1, y2, u1, v2, gx1, gy2}, p3{x2, y2, u2, v2, gx2, gy2};
  AppendQuad(p0, p1, p2, p3, colour);
}

IDirect3DTexture9* PieceTexture(const GraphRecord* g, const TexturePiece& piece) {
  return g->image->textures[piece.texture].texture;
}

uint32_t GraphFlags(int transparent, int option) {
  uint32_t flags = transparent ? (uint32_t)DRAW_TRANSPARENT : 0u;
  if (option && g_draw.filter_mode != 1) flags |= DRAW_STRETCH_OPTION;
  return flags;
}

// Where a rectangle lies against the clip: 1 inside, 0 partly, -1 outside.
int ClipClass(int x1, int y1, int x2, int y2) {
  const int32_t* c = g_draw.clip;
  if (x2 <= c[0] || y2 <= c[1] || x1 >= c[2] || y1 >= c[3]) return -1;
  if (x1 >= c[0] && y1 >= c[1] && x2 <= c[2] && y2 <= c[3]) return 1;
  return 0;
}

void Mix(const float* a, const float* b, float t, float* out) {
  out[0] = a[0] + (b[0] - a[0]) * t;
  out[1] = a[1] + (b[1] - a[1]) * t;
}

// One piece onto a quadrangle (corners TL, TR, BL, BR): one quad when it is
// a parallelogram, else an 8 x 8 grid of vertices so that the texture does
// not fold along a diagonal.
void DrawTexturedQuadGrid(const float* q, const TexturePiece& piece, uint32_t colour) {
  const float *tl = q, *tr = q + 2, *bl = q + 4, *br = q + 6;
  bool parallel = std::fabs((tr[0] - tl[0]) - (br[0] - bl[0])) < 1.0f &&
                  std::fabs((tr[1] - tl[1]) - (br[1] - bl[1])) < 1.0f &&
                  std::fabs((bl[0] - tl[0]) - (br[0] - tr[0])) < 1.0f &&
                  std::fabs((bl[1] - tl[1]) - (br[1] - tr[1])) < 1.0f;
  if (parallel || g_batch.format != 1) {
    Corner c0{tl[0], tl[1], piece.u1, piece.v1, piece.left, piece.top};
    Corner c1{tr[0], tr[1], piece.u2, piece.v1, piece.right, piece.top};
    Corner c2{bl[0], bl[1], piece.u1, piece.v2, piece.left, piece.bottom};
    Corner c3{br[0], br[1], piece.u2, piece.v2, piece.right, piece.bottom};
    AppendQuad(c0, c1, c2, c3, colour);
    return;
  }
  constexpr int N = 8;
  uint8_t grid[N * N][28];
  float z = GetGraphDrawFloat();
  for (int j = 0; j < N; j++) {
    float t = (float)j / (N - 1);
    float a[2], b[2];
    Mix(tl, bl, t, a);
    Mix(tr, br, t, b);
    for (int i = 0; i < N; i++) {
      float s = (float)i / (N - 1), p[2];
      Mix(a, b, s, p);
      uint8_t* v = grid[j * N + i];
      PutFloat(v, p[0]);
      PutFloat(v + 4, p[1]);
      PutFloat(v + 8, z);
      PutFloat(v + 12, 1.0f);
      PutWord(v + 16, colour);
      PutFloat(v + 20, piece.u1 + (piece.u2 - piece.u1) * s);
      PutFloat(v + 24, piece.v1 + (piece.v2 - piece.v1) * t);
    }
  }
  BeginSceneOnce();
  DrawVertexGrid(grid, N, N);
}

}  // namespace

bool NeedsSubtractPasses() { return g_draw.blend_mode == 3 && g_device.hardware && !g_device.blend_op; }

// ---- the draw-state set-up ------------------------------------------------------------------------

int PrepareTextureDrawState(const GraphImageData* image, IDirect3DTexture9* texture, uint32_t flags) {
  if (!Device()) return -1;
  if (flags & DRAW_LIGHTING) {
    SetLighting(1);
    ApplyLights();
    if (const D3DMATERIAL9* material = TakeChangedMaterial()) SetMaterialCached(material);
    SetDiffuseMaterialSource(1);
    SetSpecularMaterialSource(0);
  } else {
    SetLighting(0);
  }
  SetSpecularEnable((flags & DRAW_SPECULAR) ? 1 : 0);
  const int32_t* depth = GetDepthBlock((flags & DRAW_DEPTH_3D) ? 1 : 0);
  if (depth[0]) {
    SetZEnable(depth[0]);
    SetZWrite(depth[1]);
    SetZCompare((uint32_t)depth[2]);
    SetDepthBias((uint32_t)depth[3]);
  } else {
    SetZEnable(0);
  }
  SetFogEnableState((flags & DRAW_FOG) ? 1 : 0);
  if (!(flags & DRAW_KEEP_BLEND)) {
    int kind = 0;
    if (texture && image && (flags & DRAW_TRANSPARENT) && (image->alpha || image->transparency)) {
      if (g_draw.blend_mode == 0 || g_draw.blend_mode == 8) {
        // Bilinear filtering blends the colour key's edge through alpha;
        // otherwise the key is tested as a key (never shown as a colour).
        bool smooth = g_draw.filter_mode == 1 && !(flags & DRAW_STRETCH_OPTION);
        kind = smooth || image->alpha ? 1 : 2;
      } else {
        kind = image->alpha ? 1 : 2;
      }
    }
    bool white = g_draw.bright_r == 255 && g_draw.bright_g == 255 && g_draw.bright_b == 255;
    SetBrightnessInUse((flags & DRAW_FORCE_BRIGHTNESS) || !white ? 1 : 0);
    SetParameterInUse((flags & DRAW_FORCE_PARAMETER) || g_draw.blend_mode != 0 || g_draw.crossfade_graph != -1 ? 1 : 0);
    if (texture != g_rs.graph_texture || g_rs.force) {
      FlushVertexBatch();
      if ((texture == nullptr) != (g_rs.graph_texture == nullptr)) g_rs.blend_dirty = 1;
      g_rs.graph_texture = texture;
      g_rs.texture_changed = 1;
    }
    SetBlendState(g_draw.blend_mode, kind == 2 ? 1 : 0, kind == 1 ? 1 : 0);
    if (g_rs.blend_dirty || g_rs.texture_changed) ApplyBlendPipeline(nullptr, 0, 0);
  }
  SetShadeMode((flags & DRAW_GOURAUD) ? D3DSHADE_GOURAUD : D3DSHADE_FLAT);
  SetFilterMode(g_draw.filter_mode);
  SetMaxAnisotropy(1);
  SetCullMode(0);
  if (flags & DRAW_STAGE_ADDRESSING) {
    for (int s = 0; s < 8; s++) {
      SetTextureAddressU(g_draw.address_u[s], s);
      SetTextureAddressV(g_draw.address_v[s], s);
    }
  } else {
    for (int s = 0; s < 4; s++)
      if (g_rs.address_u[s] != D3DTADDRESS_CLAMP || g_rs.address_v[s] != D3DTADDRESS_CLAMP)
        SetTextureAddress(D3DTADDRESS_CLAMP, s);
  }
  return 0;
}

// ---- graphs ---------------------------------------------------------------------------------------

int DrawGraphQuadsAt(int x, int y, float fx, float fy, GraphRecord* g, int transparent, int option) {
  if (!Device()) return -1;
  int where = ClipClass(x, y, x + g->width, y + g->height);
  if (where < 0) return 0;
  float ox = fx - 0.5f, oy = fy - 0.5f;
  uint32_t flags = GraphFlags(transparent, option);
  for (int i = 0; i < g->piece_count; i++) {
    const TexturePiece& p = g->pieces[i];
    PrepareTextureDrawState(g->image, PieceTexture(g, p), flags);
    AppendAxisQuad(ox + p.left, oy + p.top, ox + p.right, oy + p.bottom, p.u1, p.v1, p.u2, p.v2, p.left, p.top,
                   p.right, p.bottom, where == 0, g_draw.vertex_colour);
  }
  return 0;
}

int DrawGraphQuadsStretched(int x1, int y1, int x2, int y2, float fx1, float fy1, float fx2, float fy2,
                            GraphRecord* g, int transparent, int option) {
  if (!Device()) return -1;
  if (x1 == x2 || y1 == y2) return -1;
  int where = ClipClass(x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1);
  if (where < 0) return 0;
  float sx = (fx2 - fx1) / (float)g->width, sy = (fy2 - fy1) / (float)g->height;
  float ox = fx1 - 0.5f, oy = fy1 - 0.5f;
  uint32_t flags = GraphFlags(transparent, option);
  for (int i = 0; i < g->piece_count; i++) {
    const TexturePiece& p = g->pieces[i];
    PrepareTextureDrawState(g->image, PieceTexture(g, p), flags);
    AppendAxisQuad(ox + p.left * sx, oy + p.top * sy, ox + p.right * sx, oy + p.bottom * sy, p.u1, p.v1, p.u2, p.v2,
                   p.left, p.top, p.right, p.bottom, where == 0, g_draw.vertex_colour);
  }
  return 0;
}

int DrawGraphQuadsFree(const float* corners, GraphRecord* g, int transparent) {
  if (!Device()) return -1;
  uint32_t flags = GraphFlags(transparent, 0);
  float q[8];
  std::memcpy(q, corners, sizeof q);
  if (g_draw.crossfade_graph != -1) {
    for (float& c : q) c = std::floor(c + 0.5f);
    bool axis = q[1] == q[3] && q[5] == q[7] && q[0] == q[4] && q[2] == q[6];
    if (axis)
      return DrawGraphQuadsStretched((int)q[0], (int)q[1], (int)q[6], (int)q[7], q[0], q[1], q[6], q[7], g,
                                     transparent, 1);
  }
  float w = (float)g->width, h = (float)g->height;
  for (int i = 0; i < g->piece_count; i++) {
    const TexturePiece& p = g->pieces[i];
    PrepareTextureDrawState(g->image, PieceTexture(g, p), flags);
    float pq[8];
    if (g->piece_count == 1) {
      std::memcpy(pq, q, sizeof pq);
    } else {
      const float px[4] = {p.left, p.right, p.left, p.right}, py[4] = {p.top, p.top, p.bottom, p.bottom};
      for (int k = 0; k < 4; k++) {
        float t = py[k] / h, s = px[k] / w, a[2], b[2];
        Mix(q, q + 4, t, a);
        Mix(q + 2, q + 6, t, b);
        Mix(a, b, s, pq + 2 * k);
      }
    }
    DrawTexturedQuadGrid(pq, p, g_draw.vertex_colour);
  }
  return 0;
}

// ---- untextured boxes and lines ---------------------------------------------------------------------

uint32_t PrimitiveVertexColour(uint32_t pixel) {
  int r = 0, g = 0, b = 0;
  UnpackScreenColor(pixel, &r, &g, &b);
  uint32_t c = g_draw.vertex_colour;
  uint32_t cr = ((c >> 16) & 255) * (uint32_t)r / 255, cg = ((c >> 8) & 255) * (uint32_t)g / 255,
           cb = (c & 255) * (uint32_t)b / 255;
  return (c & 0xFF000000u) | cr << 16 | cg << 8 | cb;
}

int DrawFilledBoxD3D(int x1, int y1, int x2, int y2, uint32_t colour) {
  if (!Device()) return -1;
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  int32_t r[4] = {x1, y1, x2, y2};
  const int32_t* c = g_draw.clip;
  r[0] = r[0] < c[0] ? c[0] : r[0];
  r[1] = r[1] < c[1] ? c[1] : r[1];
  r[2] = r[2] > c[2] ? c[2] : r[2];
  r[3] = r[3] > c[3] ? c[3] : r[3];
  if (r[0] >= r[2] || r[1] >= r[3]) return 0;
  BeginSceneOnce();
  PrepareTextureDrawState(nullptr, nullptr, 0);
  // Edges between pixel centres: the box covers exactly its pixels.
  float fx1 = (float)r[0] - 0.5f, fy1 = (float)r[1] - 0.5f, fx2 = (float)r[2] - 0.5f, fy2 = (float)r[3] - 0.5f;
  Corner p0{fx1, fy1, 0, 0, 0, 0}, p1{fx2, fy1, 0, 0, 0, 0}, p2{fx1, fy2, 0, 0, 0, 0}, p3{fx2, fy2, 0, 0, 0, 0};
  AppendQuad(p0, p1, p2, p3, PrimitiveVertexColour(colour));
  return 0;
}

int DrawThickLineQuad(int x1, int y1, int x2, int y2, uint32_t colour, int thickness) {
  if (!Device()) return -1;
  double dx = x2 - x1, dy = y2 - y1, len = std::sqrt(dx * dx + dy * dy);
  if (len == 0) return 0;
  float nx = (float)(-dy / len * thickness * 0.5), ny = (float)(dx / len * thickness * 0.5);
  BeginSceneOnce();
  PrepareTextureDrawState(nullptr, nullptr, 0);
  uint32_t c = (PrimitiveVertexColour(colour) & 0xFFFFFFu) | 0xFF000000u;
  // The quadrangle around the segment, as two triangles of the batch. Its
  // corners are where the end pixels' centres lie, so a line of thickness 3
  // covers the rows above and below its own (no texels to align here).
  float ax = (float)x1, ay = (float)y1, bx = (float)x2, by = (float)y2;
  Corner p0{ax + nx, ay + ny, 0, 0, 0, 0}, p1{bx + nx, by + ny, 0, 0, 0, 0};
  Corner p2{ax - nx, ay - ny, 0, 0, 0, 0}, p3{bx - nx, by - ny, 0, 0, 0, 0};
  AppendQuad(p0, p1, p2, p3, c);
  return 0;
}

// ---- the masked draw's way back ----------------------------------------------------------------------

int DrawMaskComposite(const int32_t* r, IDirect3DTexture9* screen, IDirect3DTexture9* mask, int width, int height,
                      int reverse) {
  if (!Device() || !screen || !mask || width <= 0 || height <= 0) return -1;
  if (r[0] >= r[2] || r[1] >= r[3]) return 0;
  PrepareTextureDrawState(nullptr, nullptr, DRAW_KEEP_BLEND);
  // The screen texture's colour, the mask's alpha; the alpha test keeps
  // the pixels the mask lets through. Texels are taken as they are.
  BlendStateDesc d{};
  d.alpha_test_enable = 1;
  d.alpha_ref = 128;
  d.alpha_func = D3DCMP_GREATEREQUAL;
  d.alpha_blend_enable = 0;
  d.texture_factor = 0xFFFFFFFFu;
  d.src_blend = D3DBLEND_ONE;
  d.dest_blend = D3DBLEND_ZERO;
  d.blend_op = D3DBLENDOP_ADD;
  d.stage_count = 2;
  uint16_t mask_alpha = (uint16_t)(D3DTA_TEXTURE | (reverse ? D3DTA_COMPLEMENT : 0));
  d.stages[0] = {(uintptr_t)screen, 0, {D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE,
                                         D3DTA_DIFFUSE, D3DTOP_SELECTARG1}};
  d.stages[1] = {(uintptr_t)mask, 0, {mask_alpha, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_CURRENT, D3DTA_CURRENT,
                                       D3DTOP_SELECTARG1}};
  ApplyBlendPipeline(&d, 0, 0);
  SetFilterMode(0);
  SetBatchFormat(1);
  float u1 = (float)r[0] / (float)width, v1 = (float)r[1] / (float)height;
  float u2 = (float)r[2] / (float)width, v2 = (float)r[3] / (float)height;
  float fx1 = (float)r[0] - 0.5f, fy1 = (float)r[1] - 0.5f, fx2 = (float)r[2] - 0.5f, fy2 = (float)r[3] - 0.5f;
  Corner p0{fx1, fy1, u1, v1, 0, 0}, p1{fx2, fy1, u2, v1, 0, 0}, p2{fx1, fy2, u1, v2, 0, 0}, p3{fx2, fy2, u2, v2, 0, 0};
  AppendQuad(p0, p1, p2, p3, 0xFFFFFFFFu);
  FlushVertexBatch();
  // The next draw chooses its own stages and filter again.
  g_rs.blend_dirty = 1;
  g_rs.texture_changed = 1;
  SetFilterMode(g_draw.filter_mode);
  return 0;
}

// ---- subtract on a device without blend operations -------------------------------------------------

static int InvertArea(const int32_t* rect, int then_mode) {
  int r, g, b, mode, param;
  GetPaintBrightness(&r, &g, &b);
  GetBlendMode(&mode, &param);
  (void)mode;
  SetPaintBrightness(255, 255, 255);
  SelectBlendMode(3, 255);
  DrawFilledBoxD3D(rect[0], rect[1], rect[2], rect[3], PackScreenColor(255, 255, 255));
  SetPaintBrightness(r, g, b);
  SelectBlendMode(then_mode, param);
  return 0;
}

int InvertAreaBeforeSubtract(const int32_t* rect) { return InvertArea(rect, 5); }
int InvertAreaAfterSubtract(const int32_t* rect) { return InvertArea(rect, 3); }

}  // namespace device
