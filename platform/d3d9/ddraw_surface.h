// System-memory DirectDraw surfaces, for the multimedia streams that decode
// movie pictures into them: the older DirectDraw interfaces of the engine's
// DirectDraw object (reached through QueryDirectDrawInterface, which stands
// in for the object's interface query), surface creation, and locking.
#pragma once

#include <cstdint>

#include "platform/d3d9/d3d9.h"
#include "platform/win32/com_object.h"
#include "platform/win32/window.h"


#define DDSD_CAPS 0x1u
#define DDSD_HEIGHT 0x2u
#define DDSD_WIDTH 0x4u
#define DDSD_PITCH 0x8u
#define DDSD_PIXELFORMAT 0x1000u
#define DDSCAPS_OFFSCREENPLAIN 0x40u
#define DDSCAPS_SYSTEMMEMORY 0x800u
#define DDLOCK_WAIT 0x1u
#define DDLOCK_READONLY 0x10u
#define DDERR_SURFACEBUSY ((HRESULT)0x887601AEu)
#define DDERR_NOTLOCKED ((HRESULT)0x887602A6u)
#define DDERR_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define DDERR_INVALIDPIXELFORMAT ((HRESULT)0x88760091u)

struct DDSCAPS {
  DWORD dwCaps;
};

// What a surface is, or is to be. Creation reads the fields its flags name;
// a lock and a description fill them all.
struct DDSURFACEDESC {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwHeight;
  DWORD dwWidth;
  LONG lPitch;
  void* lpSurface;
  DDPIXELFORMAT ddpfPixelFormat;
  DDSCAPS ddsCaps;
};
// The newer interfaces' description: the same fields.
struct DDSURFACEDESC2 : DDSURFACEDESC {};

class IDirectDrawUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;  // adds a reference
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  virtual ~IDirectDrawUnknown() = default;
};

class IDirectDrawSurface : public IDirectDrawUnknown {
 public:
  virtual HRESULT GetSurfaceDesc(DDSURFACEDESC* desc) = 0;
};
class IDirectDrawSurface4 : public IDirectDrawUnknown {
 public:
  // rect null: the whole surface. With DDLOCK_WAIT a lock held elsewhere is
  // waited for; without it the call answers DDERR_SURFACEBUSY.
  virtual HRESULT Lock(RECT* rect, DDSURFACEDESC2* desc, DWORD flags, HANDLE event) = 0;
  virtual HRESULT Unlock(RECT* rect) = 0;
  virtual HRESULT GetSurfaceDesc(DDSURFACEDESC2* desc) = 0;
};
class IDirectDrawSurface7 : public IDirectDrawUnknown {};

class IDirectDraw : public IDirectDrawUnknown {
 public:
  // Only system-memory off-screen plain surfaces of 16, 24 or 32 bits.
  virtual HRESULT CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** out, void* outer) = 0;
};
class IDirectDraw4 : public IDirectDrawUnknown {};

extern const IID IID_IDirectDraw;
extern const IID IID_IDirectDraw4;
extern const IID IID_IDirectDrawSurface;
extern const IID IID_IDirectDrawSurface4;
extern const IID IID_IDirectDrawSurface7;

// The interface query of the DirectDraw object: IID_IDirectDraw4 and
// IID_IDirectDraw give views of it (each with a reference of its own),
// anything else E_NOINTERFACE.
HRESULT QueryDirectDrawInterface(IDirectDraw7* object, REFIID iid, void** out);
int DirectDrawSurfaceCount();  // live surfaces
