// System-memory surfaces and the older interfaces of the DirectDraw object.
#include "platform/d3d9/ddraw_surface.h"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>

const IID IID_IDirectDraw = {0x7d0c1a01, 0x5e2b, 0x4c11, {0x9a, 0x10, 0x61, 0x72, 0x64, 0x64, 0x77, 0x01}};
const IID IID_IDirectDraw4 = {0x7d0c1a04, 0x5e2b, 0x4c11, {0x9a, 0x10, 0x61, 0x72, 0x64, 0x64, 0x77, 0x04}};
const IID IID_IDirectDrawSurface = {0x7d0c1b01, 0x5e2b, 0x4c11, {0x9a, 0x10, 0x73, 0x75, 0x72, 0x66, 0x61, 0x01}};
const IID IID_IDirectDrawSurface4 = {0x7d0c1b04, 0x5e2b, 0x4c11, {0x9a, 0x10, 0x73, 0x75, 0x72, 0x66, 0x61, 0x04}};
const IID IID_IDirectDrawSurface7 = {0x7d0c1b07, 0x5e2b, 0x4c11, {0x9a, 0x10, 0x73, 0x75, 0x72, 0x66, 0x61, 0x07}};

namespace {

std::atomic<int> g_surfaces{0};

// One surface seen through its three interfaces; one reference count.
class SystemSurface final : public ComObject<IDirectDrawSurface, IDirectDrawSurface4, IDirectDrawSurface7> {
 public:
  SystemSurface(const DDSURFACEDESC& desc, uint8_t* pixels) : desc_(desc), pixels_(pixels) { g_surfaces++; }

  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (!out) return DDERR_INVALIDPARAMS;
    *out = FindView(iid, {{IID_IDirectDrawSurface, static_cast<IDirectDrawSurface*>(this)},
                          {IID_IDirectDrawSurface4, static_cast<IDirectDrawSurface4*>(this)},
                          {IID_IDirectDrawSurface7, static_cast<IDirectDrawSurface7*>(this)}});
    return *out ? DD_OK : E_NOINTERFACE;
  }
  HRESULT GetSurfaceDesc(DDSURFACEDESC* desc) override {
    if (!desc) return DDERR_INVALIDPARAMS;
    Describe(desc, nullptr);
    return DD_OK;
  }
  HRESULT GetSurfaceDesc(DDSURFACEDESC2* desc) override { return GetSurfaceDesc(static_cast<DDSURFACEDESC*>(desc)); }
  HRESULT Lock(RECT* rect, DDSURFACEDESC2* desc, DWORD flags, HANDLE) override {
    if (!desc) return DDERR_INVALIDPARAMS;
    if (rect && (rect->left < 0 || rect->top < 0 || rect->right > (LONG)desc_.dwWidth ||
                 rect->bottom > (LONG)desc_.dwHeight || rect->left >= rect->right || rect->top >= rect->bottom))
      return DDERR_INVALIDPARAMS;
    std::unique_lock<std::mutex> lock(mutex_);
    if (locked_ && !(flags & DDLOCK_WAIT)) return DDERR_SURFACEBUSY;
    unlocked_.wait(lock, [this] { return !locked_; });
    locked_ = true;
    Describe(desc, rect);
    return DD_OK;
  }
  HRESULT Unlock(RECT*) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!locked_) return DDERR_NOTLOCKED;
    locked_ = false;
    unlocked_.notify_one();
    return DD_OK;
  }

 private:
  ~SystemSurface() override {
    std::free(pixels_);
    g_surfaces--;
  }
  void Describe(DDSURFACEDESC* out, const RECT* rect) const {
    DWORD size = out->dwSize;
    *out = desc_;
    out->dwSize = size;
    out->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
    const size_t bpp = desc_.ddpfPixelFormat.dwRGBBitCount / 8;
    out->lpSurface = rect ? pixels_ + (size_t)rect->top * desc_.lPitch + rect->left * bpp : pixels_;
  }

  DDSURFACEDESC desc_;
  uint8_t* pixels_;
  std::mutex mutex_;
  std::condition_variable unlocked_;
  bool locked_ = false;
};

// The older interfaces of one DirectDraw object, each view counted on its own.
class DirectDrawView final : public ComObject<IDirectDraw, IDirectDraw4> {
 public:
  explicit DirectDrawView(IDirectDraw7* object) : object_(object) {}
  HRESULT QueryInterface(REFIID iid, void** out) override { return QueryDirectDrawInterface(object_, iid, out); }
  HRESULT CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** out, void* outer) override {
    if (!desc || !out || outer) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    const DWORD needed = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    if ((desc->dwFlags & needed) != needed || !(desc->ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY) ||
        !(desc->ddsCaps.dwCaps & DDSCAPS_OFFSCREENPLAIN))
      return DDERR_INVALIDPARAMS;
    const DWORD bits = desc->ddpfPixelFormat.dwRGBBitCount;
    if (!(desc->ddpfPixelFormat.dwFlags & DDPF_RGB) || (bits != 16 && bits != 24 && bits != 32))
      return DDERR_INVALIDPIXELFORMAT;
    if (desc->dwWidth == 0 || desc->dwHeight == 0 || desc->dwWidth > 16384 || desc->dwHeight > 16384)
      return DDERR_INVALIDPARAMS;
    DDSURFACEDESC made = *desc;
    made.lPitch = LONG((desc->dwWidth * (bits / 8) + 3) & ~3u);
    auto* pixels = static_cast<uint8_t*>(std::calloc((size_t)made.lPitch * desc->dwHeight, 1));
    if (!pixels) return DDERR_OUTOFMEMORY;
    *out = new SystemSurface(made, pixels);
    return DD_OK;
  }

 private:
  ~DirectDrawView() override = default;
  IDirectDraw7* object_;
};

}  // namespace

HRESULT QueryDirectDrawInterface(IDirectDraw7* object, REFIID iid, void** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (!object) return DDERR_INVALIDPARAMS;
  if (iid == IID_IDirectDraw) *out = static_cast<IDirectDraw*>(new DirectDrawView(object));
  else if (iid == IID_IDirectDraw4) *out = static_cast<IDirectDraw4*>(new DirectDrawView(object));
  else return E_NOINTERFACE;
  return DD_OK;
}

int DirectDrawSurfaceCount() { return g_surfaces.load(); }
