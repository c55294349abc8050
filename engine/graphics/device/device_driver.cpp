// The device driver: the screen on the device (clearing, the present, the
// render target of each draw screen, the viewport of the clip), graph
// images as textures, the drawing calls through the vertex batch, the
// crossfade graph's texture, transforms, lights and fog as device state,
// and the record of operations the neutral code reaches them by.
#include <algorithm>

#include "engine/core/alloc.h"
#include "engine/graphics/device/device_internal.h"

namespace device {

namespace {

IDirect3DDevice9* Device() { return g_device.device; }

int Clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// ---- the screen ---------------------------------------------------------------------------------

int StartScreen() { return InitDeviceState(); }

int Clear() {
  IDirect3DDevice9* device = Device();
  if (!device) return 0;
  FlushVertexBatch();
  EndSceneIfOpen();
  if (IDirect3DSurface9* target = DrawScreenSurface(g_draw.draw_screen)) device->ColorFill(target, nullptr, 0);
  // The depth buffer is cleared only when a draw wrote depth into it since.
  if (g_device.depth_buffer && g_device.depth_written) {
    device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    g_device.depth_written = 0;
  }
  return 0;
}

int Present(const PresentArea* a) {
  IDirect3DDevice9* device = Device();
  if (!device) return -1;
  FlushVertexBatch();
  EndSceneIfOpen();
  if (g_device.sub_back_buffer) {
    RECT from{0, 0, a->width, a->height}, to{0, 0, a->width, a->height};
    if (a->doubled) from = RECT{0, 0, 320, 240};
    if (device->StretchRect(g_device.sub_back_buffer, &from, g_device.back_buffer, &to, D3DTEXF_NONE) != D3D_OK)
      return -1;
  }
  if (!g_device.swap_chain) return 0;
  HWND window = static_cast<HWND>(GetGraphicsHost().main_window());
  HRESULT hr;
  if (a->window_mode || a->doubled) {
    RECT from{0, 0, a->src_width, a->src_height};
    RECT to{0, 0, a->doubled ? 640 : a->dst_width, a->doubled ? 480 : a->dst_height};
    // Once the sub back buffer has brought the doubled picture to full size,
    // the whole back buffer is shown.
    if (a->doubled && g_device.sub_back_buffer) from = RECT{0, 0, 640, 480};
    hr = g_device.swap_chain->Present(&from, &to, window, nullptr, 0);
  } else {
    hr = g_device.swap_chain->Present(nullptr, nullptr, window, nullptr, 0);
  }
  return hr == D3D_OK ? 0 : -1;
}

void KeepFront() { CopyBackToSubBackBuffer(); }

void SelectTarget(int target) {
  if (!Device()) return;
  FlushVertexBatch();
  EndSceneIfOpen();
  g_rs.texture_changed = 1;
  if (IDirect3DSurface9* surface = DrawScreenSurface(target)) SetRenderTargetSurface(surface);
}

int SetClip(const int32_t* rect) {
  if (!Device()) return -1;
  D3DVIEWPORT9 vp{(DWORD)rect[0], (DWORD)rect[1], (DWORD)(rect[2] - rect[0]), (DWORD)(rect[3] - rect[1]), 0.0f, 1.0f};
  SetViewportCached(&vp);
  RECT scissor{rect[0], rect[1], rect[2], rect[3]};
  SetScissorCached(&scissor);
  SetClipViewport(rect[0], rect[1], rect[2], rect[3]);
  return 0;
}

void Flush(int end_scene) {
  if (!Device()) return;
  FlushVertexBatch();
  if (end_scene) EndSceneIfOpen();
}

const PIXELFORMAT* ScreenFormat() {
  return PixelFormatOfD3DFormat(g_screen.depth == 16 ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8);
}

// ---- graph images -----------------------------------------------------------------------------

int CreateImage(GraphImageData* data, const ImageRequest* request) {
  data->caller_byte = (uint8_t)request->caller_byte;
  return CreateImageData(data, data->width, data->height, request->alpha_channel, request->mip_levels,
                                 request->compressed_kind);
}

int AdoptImage(GraphImageData*) { return -1; }  // the device makes its own images only

void ReleaseImage(GraphImageData* data) {
  if (!data->textures) return;
  ReleaseGraphTextures(data);
  VOX_FREE(data->textures);
  data->textures = nullptr;
}

int Transfer(GraphImageData* data, BASEIMAGE* image, BASEIMAGE* alpha, const int32_t* src, int x, int y) {
  return TransferBaseImageToTexture(image, alpha, data, src, x, y);
}

int AttachGraph(GraphRecord* record) { return BuildTextureDrawInfo((int)record->handle); }

void DetachGraph(GraphRecord* record) {
  VOX_FREE(record->pieces);
  record->pieces = nullptr;
  record->piece_count = 0;
}

int FillGraph(GraphRecord* record, int r, int g, int b, int a) {
  IDirect3DDevice9* device = Device();
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

int ReadScreen(GraphRecord* record, const int32_t* r) {
  return CopyDrawScreenToGraph(r[0], r[1], r[2], r[3], (int)record->handle);
}

// A movie that decodes into a YUV surface of the device gives its picture
// from there, the device converting.
int MovieFrame(GraphRecord* record, MovieRecord* movie) {
  IDirect3DSurface9* surface = nullptr;
  int fresh = GetGraphMovieSource().movie_frame_surface(movie, &surface);
  return fresh == 0 || (fresh == 1 && UpdateGraphFromSurface((int)record->handle, surface) == 0) ? 1 : 0;
}

// ---- drawing ----------------------------------------------------------------------------------

int DrawGraph(GraphRecord* r, int x, int y, int transparent) {
  return DrawGraphQuadsAt(x, y, (float)x, (float)y, r, transparent, 0);
}

int DrawGraphStretched(GraphRecord* r, int x1, int y1, int x2, int y2, int transparent) {
  return DrawGraphQuadsStretched(x1, y1, x2, y2, (float)x1, (float)y1, (float)x2, (float)y2, r, transparent, 0);
}

int DrawGraphQuad(GraphRecord* r, const float* corners, int transparent) {
  return DrawGraphQuadsFree(corners, r, transparent);
}

// The caller's vertices as screen textured vertices, their colours scaled
// by the brightness and the blend parameter.
int DrawVertices(const PaintVertex* vertices, int count, int type, GraphRecord* record, int map_uv) {
  struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
  };
  ScreenVertex* list = (ScreenVertex*)VOX_ALLOC((uint32_t)(count * sizeof(ScreenVertex)));
  if (!list) return -1;
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
  int result = G_D3D_DrawVertexList2D(list, count, type, record ? (int)record->handle : -5, map_uv);
  VOX_FREE(list);
  return result;
}

int NeedsPasses() { return NeedsSubtractPasses() ? 1 : 0; }

// ---- draw state -------------------------------------------------------------------------------

// The crossfade graph's first texture goes to the blend stage (none for
// null), with the reciprocal of its size for the crossfade coordinates.
int SetCrossfade(GraphRecord* record, int param, int range) {
  if (!Device()) return -1;
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
  return 0;
}

void DropCrossfade() {
  if (!Device()) return;
  FlushVertexBatch();
  g_rs.blend_texture = nullptr;
  g_rs.blend_dirty = 1;
}

void SetFilter(int mode) {
  if (Device()) SetFilterMode(mode);
}

// ---- transforms, lights, fog ------------------------------------------------------------------

int SendTransform(int which, const MATRIX* m) {
  if (!Device()) return -1;
  const D3DMATRIX* d = reinterpret_cast<const D3DMATRIX*>(m);
  if (which == DRIVER_WORLD) SetWorldTransform(d);
  else if (which == DRIVER_VIEW) SetViewTransform(d);
  else SetProjectionTransform(d);
  return 0;
}

void SendLighting(int flag) {
  if (Device()) SetLighting(flag);
}
void SendFogMode(int mode) {
  if (Device()) SetFogModeState((uint32_t)mode);
}
void SendFogColour(uint32_t argb) {
  if (Device()) SetFogColorState(argb);
}
void SendFogRange(float start, float end) {
  if (Device()) SetFogRangeState(start, end);
}

}  // namespace

// ---- lights, transforms, buffers and blend words of the device -----------------------------------

int SetDeviceLight(int index, int enabled, const D3DLIGHT9* light) {
  if (!Device()) return 0;
  if (enabled == 1 && light) SetLightCached(index, light);
  return EnableLight(index, enabled);
}

void* CreateVertexBufferRaw(uint32_t length, uint32_t usage, uint32_t vertex_format, uint32_t pool) {
  IDirect3DVertexBuffer9* buffer = nullptr;
  if (!Device() || Device()->CreateVertexBuffer(length, usage, vertex_format, pool, &buffer, nullptr) != D3D_OK)
    return nullptr;
  return buffer;
}

void* CreateIndexBufferRaw(uint32_t length, uint32_t usage, uint32_t index_format, uint32_t pool) {
  IDirect3DIndexBuffer9* buffer = nullptr;
  if (!Device() || Device()->CreateIndexBuffer(length, usage, index_format, pool, &buffer, nullptr) != D3D_OK)
    return nullptr;
  return buffer;
}

int ApplyStageBlend(uint32_t source_blend, uint32_t dest_blend, uint32_t blend_op) {
  if (!Device()) return 0;
  FlushVertexBatch();
  BlendStateDesc d{};
  d.alpha_test_enable = g_rs.alpha_test_enable;
  d.alpha_ref = g_rs.alpha_ref;
  d.alpha_func = g_rs.alpha_func;
  d.alpha_blend_enable = 1;
  d.texture_factor = g_rs.texture_factor;
  d.src_blend = (int32_t)source_blend;
  d.dest_blend = (int32_t)dest_blend;
  d.blend_op = (int32_t)blend_op;
  d.stage_count = 0;
  ApplyBlendPipeline(&d, 1, 0);
  // The texture and blend state go to the device again at the next draw.
  g_rs.blend_dirty = 1;
  g_rs.texture_changed = 1;
  return 0;
}

IDirect3DSurface9* DrawScreenSurface(int draw_screen) {
  if (GraphRecord* r = GetGraphRecord(draw_screen)) {
    const ImageTexture* t = FirstPieceTexture(r);
    return t ? t->surface : nullptr;
  }
  return g_device.sub_back_buffer ? g_device.sub_back_buffer : g_device.back_buffer;
}

void CreateDriver(GraphicsDriver* d) {
  d->name = "device";
  d->start_screen = StartScreen;
  d->end_graphics = UnloadShaderPack;  // the shader pack outlived every device
  d->clear = Clear;
  d->present = Present;
  d->keep_front = KeepFront;
  d->select_target = SelectTarget;
  d->set_clip = SetClip;
  d->flush = Flush;
  d->screen_format = ScreenFormat;
  d->reload_own_textures = ReloadModelTextures;  // the 3-D model runtime's textures

  d->create_image = CreateImage;
  d->adopt_image = AdoptImage;
  d->release_image = ReleaseImage;
  d->attach_graph = AttachGraph;
  d->detach_graph = DetachGraph;
  NoOperation(&d->graph_view);        // textures have no memory image
  NoOperation(&d->crossfade_pixels);  // the crossfade is a texture stage here
  d->transfer = Transfer;
  d->fill_graph = FillGraph;
  d->read_screen = ReadScreen;
  d->movie_frame = MovieFrame;

  d->draw_graph = DrawGraph;
  d->draw_graph_stretched = DrawGraphStretched;
  d->draw_graph_quad = DrawGraphQuad;
  d->draw_line = G_D3D_DrawLine;
  d->draw_thick_line = DrawThickLineQuad;
  d->fill_box = DrawFilledBoxD3D;
  d->draw_box_outline = G_D3D_DrawBoxFrame;
  d->draw_vertices = DrawVertices;
  d->needs_subtract_passes = NeedsPasses;
  d->invert_before_subtract = InvertAreaBeforeSubtract;
  d->invert_after_subtract = InvertAreaAfterSubtract;

  d->set_crossfade = SetCrossfade;
  d->drop_crossfade = DropCrossfade;
  d->set_filter = SetFilter;

  d->create_mask = CreateMaskTextures;
  d->release_mask = ReleaseMaskTextures;
  d->enable_mask = RetargetForMask;
  d->begin_masked_paint = CopyIntoMaskScreen;
  d->end_masked_paint = CopyBackThroughMask;

  d->set_transform = SendTransform;
  d->set_lighting = SendLighting;
  d->set_light = SetDeviceLight;
  d->set_fog_mode = SendFogMode;
  d->set_fog_colour = SendFogColour;
  d->set_fog_range = SendFogRange;
}

}  // namespace device
