// The "d3d9" module as the engine's graphics start-up uses it: the module is
// part of the program (there is no shared object to find), its one export is
// Direct3DCreate9, and beside it stands the DirectDraw object the engine
// keeps for vertical-blank waits. The Direct3D object answers as a machine
// without hardware acceleration does: it exists, but no device can be made,
// so the engine takes its software renderer.
#pragma once

#include <cstdint>

#include "platform/d3d9/dd_pixel_format.h"
#include "platform/win32/win32.h"

typedef int32_t HRESULT;

#define D3D_OK 0
#define DD_OK 0
#define D3D_SDK_VERSION 32u
#define D3DADAPTER_DEFAULT 0u
#define D3DDEVTYPE_HAL 1u
#define D3DCREATE_SOFTWARE_VERTEXPROCESSING 0x20u
#define D3DCREATE_MIXED_VERTEXPROCESSING 0x80u
#define D3DERR_NOTAVAILABLE ((HRESULT)0x8876086Au)
#define D3DERR_INVALIDCALL ((HRESULT)0x8876086Cu)
#define DDERR_GENERIC ((HRESULT)0x80004005u)
#define DDERR_INVALIDPARAMS ((HRESULT)0x80070057u)
#define E_NOINTERFACE ((HRESULT)0x80004002u)
#define DDSCL_NORMAL 0x8u
#define DDWAITVB_BLOCKBEGIN 0x1u

// The DirectDraw object: only what the engine calls of it.
class IDirectDraw7 {
 public:
  virtual HRESULT Initialize(void* driver_guid) = 0;  // null: the default driver
  virtual HRESULT SetCooperativeLevel(void* window, DWORD flags) = 0;
  // Returns at once: the frame loop paces itself on the microsecond clock,
  // and a second, free-running blank here would only add jitter to it.
  virtual HRESULT WaitForVerticalBlank(DWORD flags, HANDLE event) = 0;
  virtual HRESULT GetVerticalBlankStatus(BOOL* in_blank) = 0;
  virtual uint32_t Release() = 0;

 protected:
  virtual ~IDirectDraw7() = default;
};

struct D3DPRESENT_PARAMETERS;
class IDirect3DDevice9;

// The Direct3D object. Device creation fails with D3DERR_NOTAVAILABLE.
class IDirect3D9 {
 public:
  virtual HRESULT CreateDevice(UINT adapter, UINT device_type, void* focus_window, DWORD behaviour,
                               D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device_out) = 0;
  virtual uint32_t Release() = 0;

 protected:
  virtual ~IDirect3D9() = default;
};

typedef IDirect3D9* (*Direct3DCreate9Function)(UINT sdk_version);

// ---- the module ----------------------------------------------------------------
// "d3d9.dll" (any case, with or without the ".dll") loads; any other name
// fails. Each load takes a reference that D3D9FreeLibrary drops.
HMODULE D3D9LoadLibrary(LPCSTR name);
// "Direct3DCreate9", as a Direct3DCreate9Function; null for any other name.
FARPROC D3D9GetProcAddress(HMODULE module, LPCSTR name);
BOOL D3D9FreeLibrary(HMODULE module);
int D3D9ModuleReferenceCount();

IDirect3D9* Direct3DCreate9(UINT sdk_version);  // null for another version

// The creation that the platform reaches through its component registry
// with the DirectDraw 7 class and interface.
HRESULT CreateDirectDraw7Object(IDirectDraw7** out);
int DirectDrawObjectCount();  // live DirectDraw objects

// ---- failures that tests can provoke ---------------------------------------------
enum D3D9Failure : uint32_t {
  D3D9_FAIL_NONE = 0,
  D3D9_FAIL_LOAD_MODULE = 1u << 0,      // the module cannot be loaded
  D3D9_FAIL_CREATE_DIRECTDRAW = 1u << 1,  // the component cannot be created
  D3D9_FAIL_INIT_DIRECTDRAW = 1u << 2,  // Initialize fails
  D3D9_FAIL_CREATE_DIRECT3D = 1u << 3,  // Direct3DCreate9 answers null
};
void D3D9SetFailures(uint32_t failures);
