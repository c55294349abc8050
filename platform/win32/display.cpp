// The desktop and its display modes. A fullscreen mode change is emulated:
// the desktop keeps its own mode (fullscreen windows are desktop-sized and
// letterbox their client area), while the metrics, the device capabilities
// and WM_DISPLAYCHANGE report the mode the program asked for, as they would
// after a real change.
#include <algorithm>

#include "platform/win32/window_internal.h"

namespace {

VoxDesktopOverride g_override{};
bool g_has_override = false;
bool g_mode_changed = false;  // a program's mode is in force
DEVMODEA g_current{};

DEVMODEA MakeMode(int width, int height, int bits, int refresh) {
  DEVMODEA m{};
  m.dmPelsWidth = (DWORD)width;
  m.dmPelsHeight = (DWORD)height;
  m.dmBitsPerPel = (DWORD)bits;
  m.dmDisplayFrequency = (DWORD)refresh;
  m.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
  return m;
}

// SDL reports an X11 desktop of depth 24 as 24 bits per pixel although each
// pixel takes four bytes; programs expect the latter (32).
int BitsOf(uint32_t format) { return SDL_BYTESPERPIXEL(format) * 8; }

DEVMODEA DesktopMode() {
  if (g_has_override) return MakeMode(g_override.width, g_override.height, g_override.bits_per_pixel, 60);
  SDL_DisplayMode mode{};
  if (!vox_win32::EnsureVideo() || SDL_GetDesktopDisplayMode(0, &mode) != 0) return MakeMode(0, 0, 0, 0);
  return MakeMode(mode.w, mode.h, BitsOf(mode.format), mode.refresh_rate);
}

DEVMODEA CurrentMode() { return g_mode_changed ? g_current : DesktopMode(); }

std::vector<DEVMODEA> ModeList() {
  std::vector<DEVMODEA> list;
  auto add = [&](const DEVMODEA& m) {
    for (const DEVMODEA& e : list)
      if (e.dmPelsWidth == m.dmPelsWidth && e.dmPelsHeight == m.dmPelsHeight && e.dmBitsPerPel == m.dmBitsPerPel &&
          e.dmDisplayFrequency == m.dmDisplayFrequency)
        return;
    list.push_back(m);
  };
  if (g_has_override) {
    add(DesktopMode());
  } else if (vox_win32::EnsureVideo()) {
    int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; i++) {
      SDL_DisplayMode mode{};
      if (SDL_GetDisplayMode(0, i, &mode) == 0) add(MakeMode(mode.w, mode.h, BitsOf(mode.format), mode.refresh_rate));
    }
  }
  // Any desktop shows a 640 x 480 picture in either depth (letterboxed).
  std::vector<DEVMODEA> extra;
  for (int bits : {16, 32}) {
    bool found = std::any_of(list.begin(), list.end(), [&](const DEVMODEA& e) {
      return e.dmPelsWidth == 640 && e.dmPelsHeight == 480 && (int)e.dmBitsPerPel == bits;
    });
    if (!found) extra.push_back(MakeMode(640, 480, bits, 60));
  }
  for (const DEVMODEA& m : extra) add(m);
  return list;
}

void AnnounceMode(const DEVMODEA& m) {
  for (WindowObject* w : vox_win32::LiveWindows())
    vox_win32::QueueMessage(w, WM_DISPLAYCHANGE, m.dmBitsPerPel, MAKELPARAM(m.dmPelsWidth, m.dmPelsHeight));
}

bool SameMode(const DEVMODEA& a, const DEVMODEA& b) {
  return a.dmPelsWidth == b.dmPelsWidth && a.dmPelsHeight == b.dmPelsHeight && a.dmBitsPerPel == b.dmBitsPerPel;
}

GdiDc* ScreenDc() {
  static int screen_dc_token;
  return reinterpret_cast<GdiDc*>(&screen_dc_token);
}

}  // namespace

using namespace vox_win32;

void SetDesktopOverrideForTesting(const VoxDesktopOverride* desktop) {
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  g_has_override = desktop != nullptr;
  if (desktop) g_override = *desktop;
  g_mode_changed = false;
}

int GetSystemMetrics(int index) {
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  DEVMODEA m = CurrentMode();
  if (index == SM_CXSCREEN) return (int)m.dmPelsWidth;
  if (index == SM_CYSCREEN) return (int)m.dmPelsHeight;
  return 0;
}

HDC GetDC(HWND window) {
  if (window) return LiveWindow(window) ? reinterpret_cast<HDC>(window) : nullptr;
  return ScreenDc();
}

int ReleaseDC(HWND, HDC dc) { return dc ? 1 : 0; }

int GetDeviceCaps(HDC dc, int index) {
  if (!dc) return 0;
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  if (index == BITSPIXEL) return (int)CurrentMode().dmBitsPerPel;
  if (index == PLANES) return 1;
  return 0;
}

BOOL EnumDisplaySettingsA(LPCSTR, DWORD index, DEVMODEA* mode) {
  if (!mode) return FALSE;
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  if (index == ENUM_CURRENT_SETTINGS) {
    *mode = CurrentMode();
    return TRUE;
  }
  std::vector<DEVMODEA> list = ModeList();
  if (index >= list.size()) return FALSE;
  *mode = list[index];
  return TRUE;
}

LONG ChangeDisplaySettingsA(DEVMODEA* mode, DWORD) {
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  DEVMODEA before = CurrentMode();
  if (!mode) {
    g_mode_changed = false;
  } else {
    std::vector<DEVMODEA> list = ModeList();
    bool known = std::any_of(list.begin(), list.end(), [&](const DEVMODEA& e) {
      return e.dmPelsWidth == mode->dmPelsWidth && e.dmPelsHeight == mode->dmPelsHeight &&
             (!(mode->dmFields & DM_BITSPERPEL) || e.dmBitsPerPel == mode->dmBitsPerPel);
    });
    if (!known) return -1;
    g_current = MakeMode((int)mode->dmPelsWidth, (int)mode->dmPelsHeight,
                         (int)((mode->dmFields & DM_BITSPERPEL) ? mode->dmBitsPerPel : before.dmBitsPerPel),
                         (int)mode->dmDisplayFrequency);
    g_mode_changed = true;
  }
  DEVMODEA after = CurrentMode();
  if (!SameMode(before, after)) AnnounceMode(after);
  return 0;
}
