// The software driver's screen: the screen image and its two work images,
// clearing, the present through the window layer with its vertical-blank
// wait, the screen's pixel format, and the mask screen's work image with the
// two hooks that copy through the mask.
#include <cstring>

#include "engine/core/log.h"
#include "engine/core/util.h"
#include "engine/graphics/software/soft_internal.h"
#include "engine/graphics/text_target.h"
#include "engine/softrender/blend.h"
#include "platform/d3d9/d3d9.h"

namespace software {

MEMIMG g_screen_image{};
MEMIMG g_screen_work[2]{};

namespace {

int g_vblank_min_interval = -1;
int g_last_vblank_time = 0;

MEMIMG g_mask_work{};

int ScreenCode() { return g_screen.depth == 16 ? MEMIMG_R5G6B5 : MEMIMG_X8R8G8B8; }

}  // namespace

int CreatePrimaryMemImage() {
  int code = ScreenCode();
  if (CreateScreenFormatMEMIMG(&g_screen_image, g_screen.width, g_screen.height, code) < 0)
    AbortWithLog("プライマリサーフェス用の MEMIMG の作成に失敗しました\n");
  g_screen_work[0] = MEMIMG{};
  g_screen_work[1] = MEMIMG{};
  if (SetupMEMIMG(&g_screen_work[0], g_screen.width, g_screen.height, -1, 0, code, 0, 0, 0, nullptr) < 0 ||
      SetupMEMIMG(&g_screen_work[1], g_screen.width, g_screen.height, -1, 0, code, 0, 1, 0, nullptr) < 0)
    AbortWithLog("プライマリサーフェス用の MEMIMG の作成に失敗しました\n");
  FillMEMIMGRect(&g_screen_image, nullptr, EncodePixelColor(g_screen_image.store->format, 0, 0, 0, 0));
  g_draw.soft_target = &g_screen_image;
  return 0;
}

int ReleasePrimaryMemImages() {
  ReleaseMEMIMG(&g_screen_image);
  ReleaseMEMIMG(&g_screen_work[0]);
  ReleaseMEMIMG(&g_screen_work[1]);
  return 0;
}

MEMIMG* DrawScreenImage() {
  if (GraphRecord* r = GetGraphRecord(g_draw.draw_screen))
    if (MEMIMG* view = ImageDriver(r->image).graph_view(r)) return view;
  return &g_screen_image;
}

// ---- the screen ------------------------------------------------------------------------------

int StartScreen() {
  SetSoftScreenBitDepth(g_screen.depth == 16 ? 16 : 32);
  // A restore that fell back to this driver finds the screen image made already.
  if (!IsMEMIMGValid(&g_screen_image)) CreatePrimaryMemImage();
  return 0;
}

void ReleaseScreen() {
  g_draw.soft_target = nullptr;
  g_draw.crossfade_image = nullptr;
  SyncSoftDrawState();
  ReleasePrimaryMemImages();
}

int Clear() {
  MEMIMG* target = DrawScreenImage();
  if (!IsMEMIMGValid(target)) return 0;
  // The background is black: nothing in the engine sets another colour.
  FillMEMIMGRect(target, nullptr, EncodePixelColor(target->store->format, 0, 0, 0, 0));
  return 0;
}

int Present(const PresentArea* area) {
  if (!IsMEMIMGValid(&g_screen_image)) return 0;
  if (!g_screen.vsync_off) WaitVerticalBlank();
  struct {
    BITMAPINFOHEADER header;
    uint32_t masks[3];
  } info{};
  const PIXELFORMAT* f = g_screen_image.store->format;
  info.header.biSize = 40;
  info.header.biWidth = area->width;
  info.header.biHeight = -area->height;
  info.header.biPlanes = 1;
  info.header.biBitCount = f->bits_per_pixel;
  info.header.biCompression = BI_BITFIELDS;
  info.masks[0] = f->red_mask;
  info.masks[1] = f->green_mask;
  info.masks[2] = f->blue_mask;
  SoftPresentFrame frame{};
  frame.info = reinterpret_cast<const BITMAPINFO*>(&info);
  frame.pixels = g_screen_image.pixels;
  frame.pitch = g_screen_image.store->pitch;
  frame.src_x = 0;
  frame.src_y = 0;
  frame.src_width = area->src_width;
  frame.src_height = area->src_height;
  frame.dst_width = area->doubled ? 640 : area->dst_width;
  frame.dst_height = area->doubled ? 480 : area->dst_height;
  GetGraphicsHost().present_soft_frame(&frame);
  return 0;
}

const PIXELFORMAT* ScreenFormat() {
  if (IsMEMIMGValid(&g_screen_image)) return g_screen_image.store->format;
  // Before the screen image exists: the format it will have.
  return GetMEMIMGPixelFormat(g_screen.depth == 16 || g_screen.depth == 0 ? MEMIMG_R5G6B5 : MEMIMG_X8R8G8B8, 0, 0);
}

// ---- the mask screen ---------------------------------------------------------------------------

void CreateMaskWork(int width, int height) {
  if (IsMEMIMGValid(&g_mask_work)) return;
  g_mask_work = MEMIMG{};
  if (CreateScreenFormatMEMIMG(&g_mask_work, width, height, ScreenCode()) < 0)
    AbortWithLog("マスク用 MEMIMG の作成に失敗しました");
}

void ReleaseMaskWork() {
  ReleaseMEMIMG(&g_mask_work);
  if (g_draw.soft_target == &g_mask_work) g_draw.soft_target = DrawScreenImage();
}

void RetargetForMask() {
  g_draw.soft_target = MaskScreen().active && IsMEMIMGValid(&g_mask_work) ? &g_mask_work : DrawScreenImage();
  SyncSoftDrawState();
}

void CopyIntoMaskWork(const int32_t* r) {
  MEMIMG* real = DrawScreenImage();
  if (!IsMEMIMGValid(real) || !IsMEMIMGValid(&g_mask_work)) return;
  TransferMEMIMGRect(&g_mask_work, real, r, r[0], r[1]);
}

void CopyBackThroughMask(const int32_t* rect) {
  const MaskScreenState& mask = MaskScreen();
  MEMIMG* real = DrawScreenImage();
  if (!IsMEMIMGValid(real) || !IsMEMIMGValid(&g_mask_work) || !mask.buffer) return;
  // The mask covers the screen; a smaller draw target uses its top-left part.
  int32_t r[4] = {rect[0], rect[1], rect[2], rect[3]};
  if (r[2] > real->width) r[2] = real->width;
  if (r[3] > real->height) r[3] = real->height;
  if (r[2] > mask.width) r[2] = mask.width;
  if (r[3] > mask.height) r[3] = mask.height;
  int bpp = MEMIMGBytesPerPixel(real->store);
  if (bpp != MEMIMGBytesPerPixel(g_mask_work.store)) return;
  for (int y = r[1]; y < r[3]; y++) {
    const uint8_t* m = mask.buffer + (size_t)y * mask.width;
    const uint8_t* s = g_mask_work.pixels + (size_t)y * g_mask_work.store->pitch;
    uint8_t* d = real->pixels + (size_t)y * real->store->pitch;
    for (int x = r[0]; x < r[2]; x++)
      if ((m[x] != 0) != (mask.reverse != 0)) std::memcpy(d + (size_t)x * bpp, s + (size_t)x * bpp, bpp);
  }
}

}  // namespace software

// ---- public entries of the software screen ------------------------------------------------------

MEMIMG* GetScreenMemImage() {
  return IsMEMIMGValid(&software::g_screen_image) ? &software::g_screen_image : nullptr;
}

MEMIMG* GetSoftDrawTarget() { return g_draw.soft_target; }

MEMIMG* GetTextWorkImage(int with_alpha) {
  MEMIMG* work = &software::g_screen_work[with_alpha ? 1 : 0];
  return IsMEMIMGValid(work) ? work : nullptr;
}

int SetVerticalBlankMinInterval(int milliseconds) {
  software::g_vblank_min_interval = milliseconds;
  return 0;
}

int WaitVerticalBlank() {
  IDirectDraw7* dd = GetDirectDrawObject();
  int& last = software::g_last_vblank_time;
  int interval = software::g_vblank_min_interval;
  if (interval >= 0 && GetMillisecondCount() - last < interval) {
    while (GetMillisecondCount() - last < interval) Sleep(1);
    if (dd) dd->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
  } else {
    Sleep(0);
    BOOL in_blank = TRUE;
    if (dd && dd->GetVerticalBlankStatus(&in_blank) == DD_OK && !in_blank)
      dd->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
  }
  last = GetMillisecondCount();
  return 0;
}
