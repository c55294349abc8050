// The cursor: ShowCursor's display count and SetCursor's shape decide
// together whether SDL shows it.
#include "platform/win32/window_internal.h"

namespace {
int g_display_count = 0;
HCURSOR g_cursor = (HCURSOR)(uintptr_t)IDC_ARROW_ID;
}  // namespace

namespace vox_win32 {
void ApplyCursor() {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
  SDL_ShowCursor(g_display_count >= 0 && g_cursor ? SDL_ENABLE : SDL_DISABLE);
}
}  // namespace vox_win32

using namespace vox_win32;

HCURSOR SetCursor(HCURSOR cursor) {
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  HCURSOR before = g_cursor;
  g_cursor = cursor;
  ApplyCursor();
  return before;
}

int ShowCursor(BOOL show) {
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  g_display_count += show ? 1 : -1;
  ApplyCursor();
  return g_display_count;
}

BOOL GetCursorPos(POINT* point) {
  if (!point || !SDL_WasInit(SDL_INIT_VIDEO)) return FALSE;
  int x = 0, y = 0;
  SDL_GetGlobalMouseState(&x, &y);
  point->x = x;
  point->y = y;
  return TRUE;
}
