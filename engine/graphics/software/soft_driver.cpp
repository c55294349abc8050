// The software driver: graph images as memory images, the drawing calls
// through the software back end (soft_draw.cpp), and the record of
// operations the neutral code reaches it by. What the software renderer
// does not have (vertex lists, device transforms, lights and fog, the
// three-pass subtract) it marks NoOperation, entry by entry.
#include <cmath>
#include <cstring>

#include "engine/core/log.h"
#include "engine/graphics/software/soft_internal.h"
#include "engine/softrender/blend.h"
#include "engine/softrender/primitive.h"

namespace software {
namespace {

int Clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// The memory image of image data whose size, alpha and colour-key argument
// are set: a crossfade graph weighs pixels by one channel; every other can be
// drawn into.
int AdoptImage(GraphImageData* data) {
  data->driver = SoftwareDriver();
  data->caller_byte = 0;
  data->mip_levels = 0;
  data->texture_count = 0;
  data->bits = (uint8_t)(g_draw.create_depth ? g_draw.create_depth : g_screen.depth);
  if (data->bits != 16 && data->bits != 32) data->bits = 32;
  bool wide = data->bits == 32;
  data->image = MEMIMG{};
  if (data->blend_image) {
    data->format_index = wide ? SOFT_FORMAT_32 : SOFT_FORMAT_16;
    if (SetupMEMIMG(&data->image, data->width, data->height, -1, 0, MEMIMG_GRAY8, 0, 0, 1, nullptr) < 0)
      return WriteLogText("ブレンド画像用メモリイメージの作成に失敗しました\n");
    FillMEMIMGRect(&data->image, nullptr, 0);
    return 0;
  }
  data->draw_target = 1;
  data->format_index = wide ? (data->alpha ? SOFT_FORMAT_32_ALPHA : SOFT_FORMAT_32)
                            : (data->alpha ? SOFT_FORMAT_16_ALPHA : SOFT_FORMAT_16);
  int code = wide ? MEMIMG_X8R8G8B8 : MEMIMG_R5G6B5;
  const PIXELFORMAT* format = GetMEMIMGPixelFormat(code, data->alpha, 0);
  // Black as the image's own pixels hold it (spare bits set, alpha 0).
  uint32_t black = EncodePixelColor(format, 0, 0, 0, 0);
  uint32_t key = data->colour_key_arg == 1 ? 65535u : black;
  if (SetupMEMIMG(&data->image, data->width, data->height, -1, key, code, 0, data->alpha, 1, nullptr) < 0)
    return WriteLogText("メモリイメージの作成に失敗しました\n");
  FillMEMIMGRect(&data->image, nullptr, black);
  return 0;
}

int CreateImage(GraphImageData* data, const ImageRequest* request) {
  data->alpha = request->alpha_channel ? 1 : 0;
  if (g_draw.create_draw_target) {
    // The software drawers draw nothing into an image with an alpha channel
    // (the blits, boxes and lines refuse one), so a draw target asked for
    // with alpha is made without it; its black is then the colour key, as
    // in any graph.
    data->alpha = 0;
    data->default_pool = 1;
  } else {
    data->transparency = g_draw.create_alpha_test ? 1 : 0;
    data->blend_image = g_draw.create_blend_image ? 1 : 0;
  }
  if (data->alpha || data->blend_image) data->transparency = 0;
  return AdoptImage(data);
}

void ReleaseImage(GraphImageData* data) { ReleaseMEMIMG(&data->image); }

int AttachGraph(GraphRecord* r) {
  if (IsMEMIMGValid(&r->view)) return 0;
  r->view = MEMIMG{};
  CreateMEMIMGView(&r->view, &r->image->image, r->x, r->y, r->width, r->height);
  return 0;
}

void DetachGraph(GraphRecord* r) { ReleaseMEMIMG(&r->view); }
MEMIMG* GraphView(GraphRecord* r) { return &r->view; }
// A crossfade graph weighs the drawn graph's pixels from its own first
// pixel on: a part graph from where it lies in its image, as on the device.
MEMIMG* CrossfadePixels(GraphRecord* record) { return &record->view; }

int Transfer(GraphImageData* data, BASEIMAGE* image, BASEIMAGE* alpha, const int32_t* s, int x, int y) {
  return WriteBaseImageToMEMIMG(image, alpha, &data->image, s[0], s[1], s[2] - s[0], s[3] - s[1], x, y, 0) < 0 ? -1
                                                                                                              : 0;
}

// A box in the screen's pixel value, drawn as a plain copy over the whole
// graph whatever the blend state and clip are.
int FillGraph(GraphRecord* record, int r, int g, int b, int a) {
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

int ReadScreen(GraphRecord* record, const int32_t* rect) {
  MEMIMG* source = DrawScreenImage();
  if (!IsMEMIMGValid(source)) return -1;
  return TransferMEMIMGRect(&record->view, source, rect, 0, 0) < 0 ? -1 : 0;
}

// ---- drawing ----------------------------------------------------------------------------------

int DrawGraph(GraphRecord* r, int x, int y, int transparent) { return SoftPaintGraph(x, y, (int)r->handle, transparent); }

int DrawGraphStretched(GraphRecord* r, int x1, int y1, int x2, int y2, int transparent) {
  return SoftPaintGraphStretched(x1, y1, x2, y2, (int)r->handle, transparent);
}

int DrawGraphQuad(GraphRecord* r, const float* c, int transparent) {
  return SoftPaintGraphQuadF(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], (int)r->handle, transparent);
}

// The quadrangle around the segment, its corners rounded to pixels.
int ThickLineQuad(int x1, int y1, int x2, int y2, uint32_t colour, int thickness) {
  double dx = x2 - x1, dy = y2 - y1, len = std::sqrt(dx * dx + dy * dy);
  double nx = -dy / len * thickness * 0.5, ny = dx / len * thickness * 0.5;
  auto r = [](double v) { return (int)std::lround(v); };
  return SoftPaintQuadFlat(r(x1 + nx), r(y1 + ny), r(x2 + nx), r(y2 + ny), r(x2 - nx), r(y2 - ny), r(x1 - nx),
                           r(y1 - ny), colour, 1);
}

// The software renderer weighs pixels by a single-channel blend image.
int SetCrossfade(GraphRecord* record, int, int) {
  if (!record) return 0;
  MEMIMG* pixels = ImageDriver(record->image).crossfade_pixels(record);
  return pixels && record->image->blend_image && IsMEMIMGValid(pixels) ? 0 : -1;
}

void SelectTarget(int) {
  g_draw.soft_target = DrawScreenImage();
  SyncSoftDrawState();
}

int SetClip(const int32_t*) { return 0; }
int SetTransform(int, const MATRIX*) { return -1; }  // nothing takes transforms here

}  // namespace

void CreateDriver(GraphicsDriver* d) {
  d->name = "software";
  d->start_screen = StartScreen;
  d->end_graphics = ReleaseScreen;
  d->clear = Clear;
  d->present = Present;
  NoOperation(&d->keep_front);
  d->select_target = SelectTarget;
  d->set_clip = SetClip;
  NoOperation(&d->flush);  // every draw reaches its image at once
  d->screen_format = ScreenFormat;
  NoOperation(&d->reload_own_textures);

  d->create_image = CreateImage;
  d->adopt_image = AdoptImage;
  d->release_image = ReleaseImage;
  d->attach_graph = AttachGraph;
  d->detach_graph = DetachGraph;
  d->graph_view = GraphView;
  d->crossfade_pixels = CrossfadePixels;
  d->transfer = Transfer;
  d->fill_graph = FillGraph;
  d->read_screen = ReadScreen;
  NoOperation(&d->movie_frame);  // the movie's frame image serves

  d->draw_graph = DrawGraph;
  d->draw_graph_stretched = DrawGraphStretched;
  d->draw_graph_quad = DrawGraphQuad;
  d->draw_line = SoftPaintLine;
  d->draw_thick_line = ThickLineQuad;
  d->fill_box = SoftPaintFilledBox;
  d->draw_box_outline = SoftPaintBoxOutline;
  NoOperation(&d->draw_vertices);  // vertex lists are drawn by the device only
  NoOperation(&d->needs_subtract_passes);  // the software renderer subtracts itself
  NoOperation(&d->invert_before_subtract);
  NoOperation(&d->invert_after_subtract);

  d->set_crossfade = SetCrossfade;
  NoOperation(&d->drop_crossfade);
  NoOperation(&d->set_filter);  // the software renderer does not filter

  d->create_mask = CreateMaskWork;
  d->release_mask = ReleaseMaskWork;
  d->enable_mask = RetargetForMask;
  d->begin_masked_paint = CopyIntoMaskWork;
  d->end_masked_paint = CopyBackThroughMask;

  d->set_transform = SetTransform;
  NoOperation(&d->set_lighting);
  NoOperation(&d->set_light);
  NoOperation(&d->set_fog_mode);
  NoOperation(&d->set_fog_colour);
  NoOperation(&d->set_fog_range);
}

}  // namespace software
