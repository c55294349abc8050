// Masks: the mask handle table, the screen-sized mask buffer with its work
// screen, and the two hooks around a draw call that let drawing reach the
// real target only where the mask allows it (non-zero bytes, or zero bytes
// when reversed).
//
// On the device the work screen is a render-target texture and the mask an
// alpha texture (255 where a byte lets drawing through), both covering the
// screen; the mask texture is filled from the buffer when the mask screen
// is made and whenever it is switched on, so a buffer written in between
// counts on both paths.
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/log.h"
#include "engine/graphics/d3d_internal.h"
#include "engine/softrender/blend.h"

namespace {

constexpr int kMaskSlots = 512;

struct MaskRecord {
  uint32_t check;
  uint8_t* data;
  int32_t width, height;
  uint32_t in_use;
};

MaskRecord g_masks[kMaskSlots];

struct MaskScreen {
  uint8_t* buffer;
  uint32_t buffer_size;
  int32_t width, height;
  int32_t reverse;
  MEMIMG work;
  int32_t created, enabled, active;
  // Direct3D path
  IDirect3DTexture9* image_texture;   // the mask as alpha
  IDirect3DTexture9* screen_texture;  // the work screen
  IDirect3DSurface9* screen_surface;
  IDirect3DSurface9* real_surface;    // the real target while the hooks run
  int32_t texture_width, texture_height;
} g_mask{};

MaskRecord* LookupMask(int handle) {
  if (handle < 0 || ((uint32_t)handle & HANDLE_TAG_MASK) != HANDLE_MASK) return nullptr;
  int slot = handle & (int)HANDLE_SLOT_MASK;
  if (slot >= kMaskSlots || !g_masks[slot].in_use) return nullptr;
  if ((g_masks[slot].check << 16) != ((uint32_t)handle & HANDLE_CHECK_MASK)) return nullptr;
  return &g_masks[slot];
}

// The real target of the current draw screen.
MEMIMG* RealTarget() { return DrawScreenSoftImage(); }

// The mask buffer into the mask texture: alpha 255 where a byte is not 0.
void FillMaskTexture() {
  IDirect3DTexture9* t = g_mask.image_texture;
  D3DLOCKED_RECT locked;
  if (!t || !g_mask.buffer || t->LockRect(0, &locked, nullptr, 0) != D3D_OK) return;
  D3DSURFACE_DESC desc{};
  t->GetLevelDesc(0, &desc);
  int bytes = desc.Format == D3DFMT_A8 ? 1 : 4;
  for (int y = 0; y < g_mask.texture_height; y++) {
    uint8_t* row = static_cast<uint8_t*>(locked.pBits) + (size_t)y * locked.Pitch;
    std::memset(row, 0, (size_t)g_mask.texture_width * bytes);
    if (y >= g_mask.height) continue;
    const uint8_t* m = g_mask.buffer + (size_t)y * g_mask.width;
    for (int x = 0; x < g_mask.width; x++)
      if (m[x]) row[(size_t)x * bytes + bytes - 1] = 255;  // the alpha byte of A8R8G8B8 is the last
  }
  t->UnlockRect(0);
}

void ReleaseMaskDeviceObjects() {
  UnbindTexture(g_mask.image_texture);
  UnbindTexture(g_mask.screen_texture);
  ReleaseObject(g_mask.image_texture);
  ReleaseObject(g_mask.screen_surface);
  ReleaseObject(g_mask.screen_texture);
  g_mask.real_surface = nullptr;
}

// The device's mask image and mask screen textures.
void CreateMaskDeviceObjects(int w, int h) {
  IDirect3DDevice9* device = g_device.device;
  D3DFORMAT colour = ScreenRenderTargetFormat();
  if (!colour) AbortWithLog("マスク描画用カラーバッファで使用できるテクスチャフォーマットがありませんでした");
  D3DFORMAT alpha = MaskAlphaFormat();
  if (!alpha) AbortWithLog("マスク描画用アルファチャンネルバッファで使用できるテクスチャフォーマットがありませんでした");
  g_mask.texture_width = PowerOfTwoAtLeast(w);
  g_mask.texture_height = PowerOfTwoAtLeast(h);
  UINT tw = (UINT)g_mask.texture_width, th = (UINT)g_mask.texture_height;
  if (!g_mask.image_texture) {
    if (device->CreateTexture(tw, th, 1, 0, alpha, D3DPOOL_MANAGED, &g_mask.image_texture, nullptr) != D3D_OK)
      AbortWithLog("マスク用イメージテクスチャの作成に失敗しました");
    FillMaskTexture();
  }
  if (!g_mask.screen_texture) {
    if (device->CreateTexture(tw, th, 1, D3DUSAGE_RENDERTARGET, colour, D3DPOOL_DEFAULT, &g_mask.screen_texture,
                              nullptr) != D3D_OK)
      AbortWithLog("マスク用スクリーンテクスチャの作成に失敗しました");
    g_mask.screen_texture->GetSurfaceLevel(0, &g_mask.screen_surface);
  }
}

bool ClipToArea(int x1, int y1, int x2, int y2, int32_t* r) {
  r[0] = x1, r[1] = y1, r[2] = x2, r[3] = y2;
  IntersectClipRect(r, g_draw.clip);
  return r[0] < r[2] && r[1] < r[3];
}

}  // namespace

int CreateMaskScreen(int flag) {
  if (!flag) return 0;
  int w, h;
  GetScreenSizeOrDefault(&w, &h);
  if (!g_mask.buffer) {
    g_mask.buffer_size = (uint32_t)w * (uint32_t)h;
    g_mask.buffer = (uint8_t*)VOX_CALLOC(g_mask.buffer_size);
    if (!g_mask.buffer) return -1;
    g_mask.width = w;
    g_mask.height = h;
  }
  if (g_device.device) {
    CreateMaskDeviceObjects(w, h);
  } else if (!IsMEMIMGValid(&g_mask.work)) {
    g_mask.work = MEMIMG{};
    if (CreateScreenFormatMEMIMG(&g_mask.work, w, h, g_screen.depth == 16 ? MEMIMG_R5G6B5 : MEMIMG_X8R8G8B8) < 0)
      AbortWithLog("マスク用 MEMIMG の作成に失敗しました");
  }
  g_mask.created = 1;
  g_mask.active = g_mask.created && g_mask.enabled;
  return 0;
}

int ReleaseMaskScreenObjects() {
  VOX_FREE(g_mask.buffer);
  g_mask.buffer = nullptr;
  g_mask.buffer_size = 0;
  ReleaseMEMIMG(&g_mask.work);
  ReleaseMaskDeviceObjects();
  return 0;
}

int ReleaseMaskScreen() {
  if (g_mask.enabled && g_mask.buffer) EnableMaskScreen(0);
  ReleaseMaskScreenObjects();
  g_mask.created = 0;
  g_mask.active = 0;
  if (g_draw.soft_target == &g_mask.work) g_draw.soft_target = DrawScreenSoftImage();
  return 0;
}

int RecreateMaskScreen() {
  CreateMaskScreen(g_mask.created);
  if (g_mask.enabled) EnableMaskScreen(1);
  return 0;
}

int EnableMaskScreen(int flag) {
  if (!g_mask.buffer) return -1;
  g_mask.enabled = flag ? 1 : 0;
  g_mask.active = g_mask.enabled && g_mask.created;
  if (g_device.device) {
    FlushVertexBatch();
    if (g_mask.active) FillMaskTexture();
    IDirect3DSurface9* target =
        g_mask.active && g_mask.screen_surface ? g_mask.screen_surface : DrawScreenDeviceSurface(g_draw.draw_screen);
    if (target) SetRenderTargetSurface(target);
    return 0;
  }
  g_draw.soft_target = g_mask.active && IsMEMIMGValid(&g_mask.work) ? &g_mask.work : DrawScreenSoftImage();
  SyncSoftDrawState();
  return 0;
}

int IsMaskScreenEnabled() { return g_mask.enabled; }
int IsMaskScreenActive() { return g_mask.active; }
int SetMaskReverse(int flag) {
  g_mask.reverse = flag ? 1 : 0;
  return 0;
}
uint8_t* GetMaskBuffer() { return g_mask.buffer; }

int ReleaseMask(int mask) {
  MaskRecord* r = LookupMask(mask);
  if (!r) return -1;
  VOX_FREE(r->data);
  *r = MaskRecord{};
  return 0;
}

int ReleaseAllMasks() {
  for (int i = 0; i < kMaskSlots; i++)
    if (g_masks[i].in_use) ReleaseMask((int)(HANDLE_MASK | (g_masks[i].check << 16) | (uint32_t)i));
  return 0;
}

int BeginMaskedPaint(int x1, int y1, int x2, int y2) {
  int32_t r[4];
  if (!g_mask.active || !ClipToArea(x1, y1, x2, y2, r)) return 0;
  if (g_device.device) {
    if (!g_mask.screen_surface) return 0;
    g_mask.real_surface = DrawScreenDeviceSurface(g_draw.draw_screen);
    if (!g_mask.real_surface) return 0;
    FlushVertexBatch();
    EndSceneIfOpen();
    RECT rect{r[0], r[1], r[2], r[3]};
    g_device.device->StretchRect(g_mask.real_surface, &rect, g_mask.screen_surface, &rect, D3DTEXF_NONE);
    return 0;
  }
  MEMIMG* real = RealTarget();
  if (!IsMEMIMGValid(real) || !IsMEMIMGValid(&g_mask.work)) return 0;
  TransferMEMIMGRect(&g_mask.work, real, r, r[0], r[1]);
  return 0;
}

int EndMaskedPaint(int x1, int y1, int x2, int y2) {
  int32_t r[4];
  if (!g_mask.active || !ClipToArea(x1, y1, x2, y2, r)) return 0;
  if (g_device.device) {
    if (!g_mask.screen_surface || !g_mask.real_surface) return 0;
    SetRenderTargetSurface(g_mask.real_surface);
    DrawMaskComposite(r, g_mask.screen_texture, g_mask.image_texture, g_mask.texture_width, g_mask.texture_height,
                      g_mask.reverse);
    SetRenderTargetSurface(g_mask.screen_surface);
    g_mask.real_surface = nullptr;
    return 0;
  }
  MEMIMG* real = RealTarget();
  if (!IsMEMIMGValid(real) || !IsMEMIMGValid(&g_mask.work) || !g_mask.buffer) return 0;
  // The mask covers the screen; a smaller draw target uses its top-left part.
  if (r[2] > real->width) r[2] = real->width;
  if (r[3] > real->height) r[3] = real->height;
  if (r[2] > g_mask.width) r[2] = g_mask.width;
  if (r[3] > g_mask.height) r[3] = g_mask.height;
  int bpp = MEMIMGBytesPerPixel(real->store);
  if (bpp != MEMIMGBytesPerPixel(g_mask.work.store)) return 0;
  for (int y = r[1]; y < r[3]; y++) {
    const uint8_t* m = g_mask.buffer + (size_t)y * g_mask.width;
    const uint8_t* s = g_mask.work.pixels + (size_t)y * g_mask.work.store->pitch;
    uint8_t* d = real->pixels + (size_t)y * real->store->pitch;
    for (int x = r[0]; x < r[2]; x++)
      if ((m[x] != 0) != (g_mask.reverse != 0)) std::memcpy(d + (size_t)x * bpp, s + (size_t)x * bpp, bpp);
  }
  return 0;
}
