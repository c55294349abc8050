// The mask screen on the device: the work screen is a render-target texture
// and the mask an alpha texture (255 where a byte lets drawing through),
// both covering the screen; the mask texture is filled from the buffer when
// the mask screen is made and whenever it is switched on, so a buffer
// written in between counts on both paths.
#include <cstring>

#include "engine/core/log.h"
#include "engine/graphics/device/device_internal.h"

namespace device {

namespace {

struct DeviceMask {
  IDirect3DTexture9* image_texture;   // the mask as alpha
  IDirect3DTexture9* screen_texture;  // the work screen
  IDirect3DSurface9* screen_surface;
  IDirect3DSurface9* real_surface;    // the real target while the hooks run
  int32_t texture_width, texture_height;
} g_mask{};

// The mask buffer into the mask texture: alpha 255 where a byte is not 0.
void FillMaskTexture() {
  const MaskScreenState& mask = MaskScreen();
  IDirect3DTexture9* t = g_mask.image_texture;
  D3DLOCKED_RECT locked;
  if (!t || !mask.buffer || t->LockRect(0, &locked, nullptr, 0) != D3D_OK) return;
  D3DSURFACE_DESC desc{};
  t->GetLevelDesc(0, &desc);
  int bytes = desc.Format == D3DFMT_A8 ? 1 : 4;
  for (int y = 0; y < g_mask.texture_height; y++) {
    uint8_t* row = static_cast<uint8_t*>(locked.pBits) + (size_t)y * locked.Pitch;
    std::memset(row, 0, (size_t)g_mask.texture_width * bytes);
    if (y >= mask.height) continue;
    const uint8_t* m = mask.buffer + (size_t)y * mask.width;
    for (int x = 0; x < mask.width; x++)
      if (m[x]) row[(size_t)x * bytes + bytes - 1] = 255;  // the alpha byte of A8R8G8B8 is the last
  }
  t->UnlockRect(0);
}

}  // namespace

// The device's mask image and mask screen textures.
void CreateMaskTextures(int w, int h) {
  IDirect3DDevice9* device = g_device.device;
  if (!device) return;
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

void ReleaseMaskTextures() {
  UnbindTexture(g_mask.image_texture);
  UnbindTexture(g_mask.screen_texture);
  ReleaseObject(g_mask.image_texture);
  ReleaseObject(g_mask.screen_surface);
  ReleaseObject(g_mask.screen_texture);
  g_mask.real_surface = nullptr;
}

void RetargetForMask() {
  if (!g_device.device) return;
  FlushVertexBatch();
  bool active = MaskScreen().active;
  if (active) FillMaskTexture();
  IDirect3DSurface9* target =
      active && g_mask.screen_surface ? g_mask.screen_surface : DrawScreenSurface(g_draw.draw_screen);
  if (target) SetRenderTargetSurface(target);
}

void CopyIntoMaskScreen(const int32_t* r) {
  if (!g_device.device || !g_mask.screen_surface) return;
  g_mask.real_surface = DrawScreenSurface(g_draw.draw_screen);
  if (!g_mask.real_surface) return;
  FlushVertexBatch();
  EndSceneIfOpen();
  RECT rect{r[0], r[1], r[2], r[3]};
  g_device.device->StretchRect(g_mask.real_surface, &rect, g_mask.screen_surface, &rect, D3DTEXF_NONE);
}

void CopyBackThroughMask(const int32_t* r) {
  if (!g_device.device || !g_mask.screen_surface || !g_mask.real_surface) return;
  SetRenderTargetSurface(g_mask.real_surface);
  DrawMaskComposite(r, g_mask.screen_texture, g_mask.image_texture, g_mask.texture_width, g_mask.texture_height,
                    MaskScreen().reverse);
  SetRenderTargetSurface(g_mask.screen_surface);
  g_mask.real_surface = nullptr;
}

}  // namespace device
