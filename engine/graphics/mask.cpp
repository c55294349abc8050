// Masks: the mask handle table, the screen-sized mask buffer with its work
// screen, and the two hooks around a draw call that let drawing reach the
// real target only where the mask allows it (non-zero bytes, or zero bytes
// when reversed).
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/log.h"
#include "engine/graphics/graphics_internal.h"
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
  if (!IsMEMIMGValid(&g_mask.work)) {
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
  MEMIMG* real = RealTarget();
  if (!IsMEMIMGValid(real) || !IsMEMIMGValid(&g_mask.work)) return 0;
  TransferMEMIMGRect(&g_mask.work, real, r, r[0], r[1]);
  return 0;
}

int EndMaskedPaint(int x1, int y1, int x2, int y2) {
  int32_t r[4];
  if (!g_mask.active || !ClipToArea(x1, y1, x2, y2, r)) return 0;
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
