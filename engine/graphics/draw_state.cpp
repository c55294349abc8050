// The draw state: blend mode, brightness and the packed vertex colour, the
// crossfade graph, the filter, the draw screen and its clip rectangle, the
// screen's colour packing, the graph-creation settings and the restore
// handler. What a driver must hear of a change it hears through its record.
#include <cstring>
#include <utility>

#include "engine/core/engine_subsystem.h"
#include "engine/graphics/graphics_internal.h"
#include "engine/graphics/graphics_math.h"
#include "engine/softrender/blend.h"

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

}  // namespace

const BlendTableRow* BlendTableRowFor(int mode) { return mode >= 0 && mode < 14 ? &kBlendTable[mode] : nullptr; }

void StoreClip(const int32_t* rect) {
  for (int i = 0; i < 4; i++) {
    g_draw.clip[i] = rect[i];
    g_draw.clip_f[i] = (float)rect[i];
  }
  g_draw.clip_empty = (rect[0] == rect[2] || rect[1] == rect[3]) ? 1 : 0;
  SyncSoftDrawState();
}

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

void DrawScreenSize(int target, int* width, int* height) {
  if (QueryGraphSize(target, width, height) < 0) GetScreenSizeOrDefault(width, height);
}

// ---- blend mode, brightness and the packed colour ---------------------------------------------

// The alpha is the blend parameter in every mode but copy. In copy mode the
// parameter weighs nothing, with a crossfade graph or without one: the
// crossfade stages multiply the crossfade byte by this alpha, so a
// parameter left at 0 would hide the whole graph.
void RebuildPackedVertexColour() {
  uint32_t alpha = g_draw.blend_mode != 0 ? (uint32_t)g_draw.blend_param : 255u;
  g_draw.vertex_colour = (alpha << 24) | ((uint32_t)g_draw.bright_r << 16) | ((uint32_t)g_draw.bright_g << 8) |
                         g_draw.bright_b;
}

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

int SetPaintBrightnessPacked(uint32_t rgb) {
  uint8_t r = (uint8_t)(rgb >> 16), g = (uint8_t)(rgb >> 8), b = (uint8_t)rgb;
  if (r == g_draw.bright_r && g == g_draw.bright_g && b == g_draw.bright_b) return 0;
  g_draw.bright_r = r, g_draw.bright_g = g, g_draw.bright_b = b;
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

// ---- crossfade and filter -----------------------------------------------------------------------

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
  if (ScreenDriver().set_crossfade(record, param, range) < 0) return -1;
  g_draw.crossfade_graph = graph;
  g_draw.crossfade_param = param;
  g_draw.crossfade_range = range;
  g_draw.crossfade_image = record ? ImageDriver(record->image).crossfade_pixels(record) : nullptr;
  BuildBlendGraphRamp(g_draw.crossfade_param, g_draw.crossfade_range);
  SyncSoftDrawState();
  return 0;
}

int SetPaintFilterMode(int mode) {
  if (mode == g_draw.filter_mode) return 0;
  g_draw.filter_mode = mode;
  ScreenDriver().set_filter(mode);
  return 0;
}
int GetPaintFilterMode() { return g_draw.filter_mode; }

// ---- draw screen and clip -------------------------------------------------------------------------

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
  g_draw.draw_screen = target;
  ScreenDriver().select_target(target);
  SetFrontBufferTimer(target == DRAW_SCREEN_FRONT ? 1 : 0);
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
  if (g_draw.clip_empty) return 0;
  return ScreenDriver().set_clip(rect);
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

// ---- colours ------------------------------------------------------------------------------------

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

// ---- graph-creation settings and the restore handler ------------------------------------------------

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
  ScreenDriver().reload_own_textures();
  BroadcastGraphicsEvent(GraphicsEvent::GraphsRefilled);
  return 0;
}
