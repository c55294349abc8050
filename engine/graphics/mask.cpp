// Masks: the mask handle table, the screen-sized mask buffer, its switch,
// and the two hooks around a draw call that let drawing reach the real
// target only where the mask allows it (non-zero bytes, or zero bytes when
// reversed). The work screen a draw goes into meanwhile, and the copy back
// through the mask, are the screen driver's.
#include <cstring>

#include "engine/core/alloc.h"
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

struct {
  MaskScreenState state;
  uint32_t buffer_size;
} g_mask{};

MaskRecord* LookupMask(int handle) {
  if (handle < 0 || ((uint32_t)handle & HANDLE_TAG_MASK) != HANDLE_MASK) return nullptr;
  int slot = handle & (int)HANDLE_SLOT_MASK;
  if (slot >= kMaskSlots || !g_masks[slot].in_use) return nullptr;
  if ((g_masks[slot].check << 16) != ((uint32_t)handle & HANDLE_CHECK_MASK)) return nullptr;
  return &g_masks[slot];
}

// The rectangle cut to the clip; false when nothing is left.
bool ClipToArea(int x1, int y1, int x2, int y2, int32_t* r) {
  r[0] = x1, r[1] = y1, r[2] = x2, r[3] = y2;
  IntersectClipRect(r, g_draw.clip);
  return r[0] < r[2] && r[1] < r[3];
}

}  // namespace

const MaskScreenState& MaskScreen() { return g_mask.state; }

int CreateMaskScreen(int flag) {
  if (!flag) return 0;
  MaskScreenState& m = g_mask.state;
  int w, h;
  GetScreenSizeOrDefault(&w, &h);
  if (!m.buffer) {
    g_mask.buffer_size = (uint32_t)w * (uint32_t)h;
    m.buffer = (uint8_t*)VOX_CALLOC(g_mask.buffer_size);
    if (!m.buffer) return -1;
    m.width = w;
    m.height = h;
  }
  ScreenDriver().create_mask(w, h);
  m.created = 1;
  m.active = m.created && m.enabled;
  return 0;
}

int ReleaseMaskScreenObjects() {
  VOX_FREE(g_mask.state.buffer);
  g_mask.state.buffer = nullptr;
  g_mask.buffer_size = 0;
  // After a restore either driver may hold a work screen.
  ForEachGraphicsDriver([](const GraphicsDriver& d) { d.release_mask(); });
  return 0;
}

int ReleaseMaskScreen() {
  MaskScreenState& m = g_mask.state;
  if (m.enabled && m.buffer) EnableMaskScreen(0);
  ReleaseMaskScreenObjects();
  m.created = 0;
  m.active = 0;
  return 0;
}

int RecreateMaskScreen() {
  CreateMaskScreen(g_mask.state.created);
  if (g_mask.state.enabled) EnableMaskScreen(1);
  return 0;
}

int EnableMaskScreen(int flag) {
  MaskScreenState& m = g_mask.state;
  if (!m.buffer) return -1;
  m.enabled = flag ? 1 : 0;
  m.active = m.enabled && m.created;
  ScreenDriver().enable_mask();
  return 0;
}

int IsMaskScreenEnabled() { return g_mask.state.enabled; }
int IsMaskScreenActive() { return g_mask.state.active; }
int SetMaskReverse(int flag) {
  g_mask.state.reverse = flag ? 1 : 0;
  return 0;
}
uint8_t* GetMaskBuffer() { return g_mask.state.buffer; }

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
  if (!g_mask.state.active || !ClipToArea(x1, y1, x2, y2, r)) return 0;
  ScreenDriver().begin_masked_paint(r);
  return 0;
}

int EndMaskedPaint(int x1, int y1, int x2, int y2) {
  int32_t r[4];
  if (!g_mask.state.active || !ClipToArea(x1, y1, x2, y2, r)) return 0;
  ScreenDriver().end_masked_paint(r);
  return 0;
}
