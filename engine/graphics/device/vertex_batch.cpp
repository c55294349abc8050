// The vertex batch and the scene guards: every hardware draw appends
// screen-space vertices to one pending batch, drawn with one call when a
// state changes or the batch fills; one scene stays open while drawing; the
// render-target switch with its viewport; the sub back buffer that keeps the
// front image in full screen; device formats as pixel-format records.
#include <cstring>

#include "engine/core/log.h"
#include "engine/graphics/device/device_internal.h"

namespace device {

BatchState g_batch{};

namespace {

alignas(16) uint8_t g_buffers[3][65536];

bool g_override_set = false;
BlendStateDesc g_override{};
int g_override_words_off = 0;

IDirect3DDevice9* Device() { return g_device.device; }

void DrawPending() {
  int prims = PrimitiveCount(g_batch.type, g_batch.count);
  UseVertexFormat(Device(), kBatchFvf[g_batch.format]);
  NoteDepthWrites();
  Device()->DrawPrimitiveUP((D3DPRIMITIVETYPE)g_batch.type, (UINT)prims, g_batch.buffers[g_batch.format],
                            (UINT)kBatchStride[g_batch.format]);
}

void Rewind() {
  g_batch.count = 0;
  g_batch.write = g_batch.buffers[g_batch.format];
}

int QuitFlag() { return GetGraphicsHost().is_window_closed() ? 1 : 0; }

}  // namespace

int PrimitiveCount(int type, int n) {
  switch (type) {
    case D3DPT_POINTLIST: return n;
    case D3DPT_LINELIST: return n / 2;
    case D3DPT_LINESTRIP: return n - 1;
    case D3DPT_TRIANGLELIST: return n / 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return n - 2;
  }
  return 0;
}

void ResetVertexBatch() {
  for (int f = 0; f < 3; f++) {
    g_batch.buffers[f] = g_buffers[f];
    float zero = 0.0f, one = 1.0f;
    for (int i = 0; i < kBatchCapacity[f]; i++) {
      uint8_t* v = g_buffers[f] + (size_t)i * kBatchStride[f];
      std::memcpy(v + 8, &zero, 4);
      std::memcpy(v + 12, &one, 4);
      if (f == 2) std::memset(v + 20, 0xFF, 4);  // the specular word is white with full alpha
    }
  }
  g_batch.format = 1;
  g_batch.type = D3DPT_TRIANGLELIST;
  g_batch.scene_open = 0;
  g_batch.skip = 0;
  Rewind();
}

void SetBatchFormat(int format) {
  if (format == g_batch.format || format < 0 || format > 2) return;
  FlushVertexBatch();
  g_batch.format = format;
  Rewind();
}

int FlushVertexBatch() {
  if (!Device()) return -1;
  if (g_batch.count > 0 && !QuitFlag()) {
    BeginSceneOnce();
    if (!g_batch.skip) DrawPending();
  }
  Rewind();
  return 0;
}

uint8_t* AppendVertices(int n, int type) {
  if (!g_batch.buffers[0]) ResetVertexBatch();
  if (g_batch.count > 0 && (g_batch.type != type || g_batch.count + n >= kBatchCapacity[g_batch.format])) {
    // The skip flag holds here too: a blend set-up that shows nothing
    // draws nothing, however many vertices it was given.
    if (!g_batch.skip) DrawPending();
    Rewind();
  }
  g_batch.type = type;
  uint8_t* at = g_batch.write;
  g_batch.write += (size_t)n * kBatchStride[g_batch.format];
  g_batch.count += n;
  return at;
}

void BeginSceneOnce() {
  if (!g_device.direct3d || g_batch.scene_open || !Device()) return;
  Device()->BeginScene();
  g_batch.scene_open = 1;
}

void EndSceneIfOpen() {
  if (!g_device.direct3d || !g_batch.scene_open) return;
  if (Device()) Device()->EndScene();
  g_batch.scene_open = 0;
}

int SetViewportToRect(int x1, int y1, int x2, int y2) {
  D3DVIEWPORT9 vp{(DWORD)x1, (DWORD)y1, (DWORD)(x2 - x1), (DWORD)(y2 - y1), 0.0f, 1.0f};
  return SetViewportCached(&vp);
}

int SetRenderTargetSurface(IDirect3DSurface9* surface) {
  if (!Device()) return -1;
  if (surface == g_rs.render_target && !g_rs.force) return 0;
  FlushVertexBatch();
  Device()->SetRenderTarget(0, surface);
  g_rs.render_target = surface;
  D3DSURFACE_DESC desc{};
  surface->GetDesc(&desc);
  // The device gave the new target its own viewport: the cache follows.
  g_rs.viewport = D3DVIEWPORT9{0, 0, desc.Width, desc.Height, 0.0f, 1.0f};
  int force = g_rs.force;
  g_rs.force = 1;
  SetViewportToRect(0, 0, (int)desc.Width, (int)desc.Height);
  g_rs.force = force;
  return 0;
}

int CreateSubBackBuffer() {
  if (!Device()) return -1;
  if (g_device.sub_back_buffer) {
    g_device.sub_back_buffer->Release();
    g_device.sub_back_buffer = nullptr;
  }
  D3DSURFACE_DESC desc{};
  if (g_device.back_buffer) g_device.back_buffer->GetDesc(&desc);
  if (Device()->CreateRenderTarget((UINT)g_screen.width, (UINT)g_screen.height, g_device.back_buffer_format,
                                   desc.MultiSampleType, desc.MultiSampleQuality, FALSE, &g_device.sub_back_buffer,
                                   nullptr) != D3D_OK) {
    g_device.sub_back_buffer = nullptr;
    return WriteLogText("サブバックバッファの作成に失敗しました\n");
  }
  return 0;
}

int CopyBackToSubBackBuffer() {
  if (g_device.sub_back_buffer) return 0;
  if (!Device()) return -1;
  FlushVertexBatch();
  EndSceneIfOpen();
  if (CreateSubBackBuffer() < 0) return -1;
  Device()->StretchRect(g_device.back_buffer, nullptr, g_device.sub_back_buffer, nullptr, D3DTEXF_NONE);
  g_rs.force = 1;
  SetRenderTargetSurface(g_device.sub_back_buffer);
  g_rs.force = 0;
  return 0;
}

const PIXELFORMAT* PixelFormatOfD3DFormat(D3DFORMAT format) {
  struct Row {
    D3DFORMAT format;
    uint32_t bits, red, green, blue, alpha;
  };
  static const Row kRows[14] = {
      {D3DFMT_R8G8B8, 24, 0xFF0000, 0xFF00, 0xFF, 0},
      {D3DFMT_A8R8G8B8, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
      {D3DFMT_X8R8G8B8, 32, 0xFF0000, 0xFF00, 0xFF, 0},
      {D3DFMT_R5G6B5, 16, 0xF800, 0x7E0, 0x1F, 0},
      {D3DFMT_X1R5G5B5, 16, 0x7C00, 0x3E0, 0x1F, 0},
      {D3DFMT_A1R5G5B5, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
      {D3DFMT_A4R4G4B4, 16, 0xF00, 0xF0, 0xF, 0xF000},
      {D3DFMT_R3G3B2, 8, 0xE0, 0x1C, 0x3, 0},
      {D3DFMT_A8R3G3B2, 16, 0xE0, 0x1C, 0x3, 0xFF00},
      {D3DFMT_X4R4G4B4, 16, 0xF00, 0xF0, 0xF, 0},
      {D3DFMT_A2B10G10R10, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000},
      {D3DFMT_A8B8G8R8, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
      {D3DFMT_X8B8G8R8, 32, 0xFF, 0xFF00, 0xFF0000, 0},
      {D3DFMT_A2R10G10B10, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
  };
  static PIXELFORMAT records[14];
  static bool built = false;
  if (!built) {
    for (int i = 0; i < 14; i++)
      InitPixelFormatFromMasks(&records[i], (int)kRows[i].bits, kRows[i].red, kRows[i].green, kRows[i].blue,
                               kRows[i].alpha);
    built = true;
  }
  for (int i = 0; i < 14; i++)
    if (kRows[i].format == format) return &records[i];
  return nullptr;
}

int SetDrawStateOverride(const BlendStateDesc* desc, int colour_words_off) {
  FlushVertexBatch();
  if (!desc) {
    g_override_set = false;
    return 0;
  }
  g_override = *desc;
  g_override_words_off = colour_words_off;
  g_override_set = true;
  g_rs.blend_dirty = 1;
  ApplyBlendPipeline(nullptr, 0, 0);
  return 0;
}

const BlendStateDesc* DrawStateOverride(int* colour_words_off) {
  if (!g_override_set) return nullptr;
  if (colour_words_off) *colour_words_off = g_override_words_off;
  return &g_override;
}

VECTOR* TransformVector3x3(VECTOR* out, const VECTOR* v, const MATRIX* m) {
  VECTOR t{v->x * m->m[0][0] + v->y * m->m[1][0] + v->z * m->m[2][0],
           v->x * m->m[0][1] + v->y * m->m[1][1] + v->z * m->m[2][1],
           v->x * m->m[0][2] + v->y * m->m[1][2] + v->z * m->m[2][2]};
  *out = t;
  return out;
}

VECTOR* TransformPoint4x3(VECTOR* out, const VECTOR* v, const MATRIX* m) {
  VECTOR t{v->x * m->m[0][0] + v->y * m->m[1][0] + v->z * m->m[2][0] + m->m[3][0],
           v->x * m->m[0][1] + v->y * m->m[1][1] + v->z * m->m[2][1] + m->m[3][1],
           v->x * m->m[0][2] + v->y * m->m[1][2] + v->z * m->m[2][2] + m->m[3][2]};
  *out = t;
  return out;
}

}  // namespace device
