// Icons. A module's icon group resource holds a PNG picture (ELF has no icon
// format of its own); LoadIconA decodes it once and hands out the decoded
// picture as the icon, and windows show it through SDL. System icons stay
// the small ids they are named by, which stand for the desktop's own icon.
#include <png.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/window_internal.h"

namespace {

// The platform's largest icon is 256 pixels square.
constexpr png_uint_32 kMaxIconSide = 256;

struct Icon {
  int width, height;
  std::vector<uint32_t> rgba;  // bytes R, G, B, A per pixel, rows top down
};

std::mutex icons_lock;
// Icons keyed by their PNG bytes. Like the platform's shared icons they are
// never destroyed while the process runs, so a handle never dangles; the
// same picture (loaded again, or from a module loaded again) is the same
// icon, so loading never piles up copies.
std::map<std::string, std::unique_ptr<Icon>>& Icons() {
  static std::map<std::string, std::unique_ptr<Icon>> icons;
  return icons;
}

std::unique_ptr<Icon> DecodeIcon(const void* data, size_t size) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data, size)) return nullptr;
  std::unique_ptr<Icon> icon;
  if (image.width > 0 && image.height > 0 && image.width <= kMaxIconSide && image.height <= kMaxIconSide) {
    image.format = PNG_FORMAT_RGBA;
    icon = std::make_unique<Icon>(Icon{(int)image.width, (int)image.height, {}});
    icon->rgba.resize((size_t)image.width * image.height);
    if (!png_image_finish_read(&image, nullptr, icon->rgba.data(), 0, nullptr)) icon.reset();
  }
  png_image_free(&image);
  return icon;
}

const Icon* LoadedIcon(HICON handle) {
  if (IS_INTRESOURCE(handle)) return nullptr;
  std::lock_guard<std::mutex> hold(icons_lock);
  for (const auto& [bytes, icon] : Icons())
    if (icon.get() == handle) return icon.get();
  return nullptr;
}

}  // namespace

namespace vox_win32 {

void ShowWindowIcon(WindowObject* w, HICON icon) {
  const Icon* picture = LoadedIcon(icon);
  // A system icon leaves the window as it is: SDL cannot take a picture
  // back from a window, so one that was given one keeps showing it.
  if (!picture || !w->sdl || w->shown_icon == icon) return;
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(picture->rgba.data()),
                                                            picture->width, picture->height, 32,
                                                            picture->width * 4, SDL_PIXELFORMAT_RGBA32);
  if (!surface) return;
  // SDL keeps a copy of its own for as long as the window lives.
  SDL_SetWindowIcon(w->sdl, surface);
  SDL_FreeSurface(surface);
  w->shown_icon = icon;
}

}  // namespace vox_win32

using namespace vox_win32;

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  const HICON standard = (HICON)(uintptr_t)IDI_APPLICATION_ID;
  if (!instance) return IS_INTRESOURCE(name) ? (HICON)name : standard;
  HMODULE module = (HMODULE)instance;
  HRSRC found = name ? FindResourceA(module, name, RT_GROUP_ICON) : nullptr;
  const void* bytes = found ? LockResource(LoadResource(module, found)) : nullptr;
  const DWORD size = found ? SizeofResource(module, found) : 0;
  if (!bytes || size == 0) return standard;
  std::string key((const char*)bytes, size);
  {
    std::lock_guard<std::mutex> hold(icons_lock);
    auto known = Icons().find(key);
    if (known != Icons().end()) return known->second.get();
  }
  std::unique_ptr<Icon> icon = DecodeIcon(bytes, size);
  if (!icon) return standard;  // a picture that does not decode is no icon
  std::lock_guard<std::mutex> hold(icons_lock);
  auto& slot = Icons()[std::move(key)];
  if (!slot) slot = std::move(icon);  // another thread may have decoded it first
  return slot.get();
}

HICON GetShownWindowIcon(HWND window) {
  std::lock_guard<std::recursive_mutex> hold(WindowSystemLock());
  WindowObject* w = LiveWindow(window);
  return w ? w->shown_icon : nullptr;
}
