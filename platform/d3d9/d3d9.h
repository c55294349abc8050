// The "d3d9" module as the engine's graphics uses it: the module is part of
// the program (there is no shared object to find), its one export is
// Direct3DCreate9, and beside it stands the DirectDraw object the engine
// keeps for vertical-blank waits. The Direct3D object and its device draw
// through OpenGL 3.3 core in the device window's own context: textures and
// render targets are GL textures and framebuffers, the fixed-function
// texture stages become generated shader programs, and what the object
// reports of formats and capabilities is what the GL context offers. Where
// the window cannot carry OpenGL (SDL's dummy video driver) the object
// answers as a machine without hardware acceleration: no device can be made.
//
// Declarations are written from what the engine calls; values are the ones
// callers compare against and store. Objects are reference counted (AddRef /
// Release); every resource holds its device until it is released.
// Main (video) thread only.
#pragma once

#include "platform/d3d9/d3d9_types.h"

// ---- objects -------------------------------------------------------------------------
class IUnknownObject {
 public:
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  virtual ~IUnknownObject() = default;
};

// The DirectDraw object: only what the engine calls of it.
class IDirectDraw7 : public IUnknownObject {
 public:
  virtual HRESULT Initialize(void* driver_guid) = 0;  // null: the default driver
  virtual HRESULT SetCooperativeLevel(void* window, DWORD flags) = 0;
  // Returns at once: the frame loop paces itself on the microsecond clock,
  // and a second, free-running blank here would only add jitter to it.
  virtual HRESULT WaitForVerticalBlank(DWORD flags, HANDLE event) = 0;
  virtual HRESULT GetVerticalBlankStatus(BOOL* in_blank) = 0;
};

class IDirect3DDevice9;

class IDirect3DResource9 : public IUnknownObject {
 public:
  virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;  // adds a reference
};

class IDirect3DSurface9 : public IDirect3DResource9 {
 public:
  virtual HRESULT GetDesc(D3DSURFACE_DESC* desc) = 0;
  // rect null: the whole surface. Render targets and depth surfaces cannot
  // be locked (the back buffer of a lockable swap chain can).
  virtual HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
  virtual HRESULT UnlockRect() = 0;
};

class IDirect3DTexture9 : public IDirect3DResource9 {
 public:
  virtual DWORD GetLevelCount() = 0;
  virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) = 0;
  // The level's surface shares the texture's reference count.
  virtual HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) = 0;
  virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
  virtual HRESULT UnlockRect(UINT level) = 0;
};

class IDirect3DVertexBuffer9 : public IDirect3DResource9 {
 public:
  virtual HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) = 0;
  virtual HRESULT Unlock() = 0;
};

class IDirect3DIndexBuffer9 : public IDirect3DResource9 {
 public:
  virtual HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) = 0;
  virtual HRESULT Unlock() = 0;
};

// Shader objects hold their byte code; OpenGL cannot run Direct3D byte code,
// so selecting one for drawing is refused (the engine draws with the
// fixed-function stages and only prepares these).
class IDirect3DVertexShader9 : public IDirect3DResource9 {};
class IDirect3DPixelShader9 : public IDirect3DResource9 {};
class IDirect3DVertexDeclaration9 : public IDirect3DResource9 {};

class IDirect3DSwapChain9 : public IUnknownObject {
 public:
  // Copies the source rectangle of the back buffer (null: all of it) onto
  // the destination rectangle of the window's client area (null: all of it),
  // then shows the window.
  virtual HRESULT Present(const RECT* source, const RECT* dest, HWND window, const void* dirty_region,
                          DWORD flags) = 0;
  virtual HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) = 0;
};

class IDirect3DDevice9 : public IUnknownObject {
 public:
  // ---- state
  virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
  virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) = 0;
  virtual HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE state, DWORD value) = 0;
  virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) = 0;
  virtual HRESULT SetTexture(DWORD stage, IDirect3DTexture9* texture) = 0;  // holds no reference, like the pipeline
  virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
  virtual HRESULT SetMaterial(const D3DMATERIAL9* material) = 0;
  virtual HRESULT SetLight(DWORD index, const D3DLIGHT9* light) = 0;
  virtual HRESULT LightEnable(DWORD index, BOOL enable) = 0;
  virtual HRESULT SetViewport(const D3DVIEWPORT9* viewport) = 0;
  virtual HRESULT GetViewport(D3DVIEWPORT9* viewport) = 0;
  virtual HRESULT SetScissorRect(const RECT* rect) = 0;
  virtual HRESULT SetFVF(DWORD fvf) = 0;
  virtual HRESULT SetVertexShader(IDirect3DVertexShader9* shader) = 0;
  virtual HRESULT SetPixelShader(IDirect3DPixelShader9* shader) = 0;
  virtual HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) = 0;
  virtual HRESULT SetVertexShaderConstantF(UINT start, const float* values, UINT vector4_count) = 0;
  virtual HRESULT SetVertexShaderConstantB(UINT start, const BOOL* values, UINT count) = 0;
  virtual HRESULT SetPixelShaderConstantF(UINT start, const float* values, UINT vector4_count) = 0;
  virtual HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) = 0;
  virtual HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) = 0;
  virtual HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) = 0;
  virtual HRESULT SetDialogBoxMode(BOOL on) = 0;
  // ---- frame and drawing
  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  // rects null (count 0): the viewport. Honours the scissor rectangle.
  virtual HRESULT Clear(DWORD count, const RECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) = 0;
  virtual HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitive_count, const void* vertices,
                                  UINT stride) = 0;
  virtual HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT min_index, UINT vertex_count,
                                         UINT primitive_count, const void* indices, D3DFORMAT index_format,
                                         const void* vertices, UINT stride) = 0;
  virtual HRESULT Present(const RECT* source, const RECT* dest, HWND window, const void* dirty_region) = 0;
  // ---- creation
  virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                IDirect3DTexture9** texture, HANDLE* shared) = 0;
  virtual HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multisample,
                                     DWORD quality, BOOL lockable, IDirect3DSurface9** surface, HANDLE* shared) = 0;
  virtual HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                              IDirect3DSurface9** surface, HANDLE* shared) = 0;
  virtual HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                            D3DMULTISAMPLE_TYPE multisample, DWORD quality, BOOL discard,
                                            IDirect3DSurface9** surface, HANDLE* shared) = 0;
  virtual HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                     IDirect3DVertexBuffer9** buffer, HANDLE* shared) = 0;
  virtual HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                    IDirect3DIndexBuffer9** buffer, HANDLE* shared) = 0;
  virtual HRESULT CreateVertexShader(const DWORD* code, IDirect3DVertexShader9** shader) = 0;
  virtual HRESULT CreatePixelShader(const DWORD* code, IDirect3DPixelShader9** shader) = 0;
  virtual HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                          IDirect3DVertexDeclaration9** declaration) = 0;
  // ---- copies
  virtual HRESULT StretchRect(IDirect3DSurface9* source, const RECT* source_rect, IDirect3DSurface9* dest,
                              const RECT* dest_rect, D3DTEXTUREFILTERTYPE filter) = 0;
  virtual HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR colour) = 0;
  // A system-memory surface into a texture level of the same format.
  virtual HRESULT UpdateSurface(IDirect3DSurface9* source, const RECT* source_rect, IDirect3DSurface9* dest,
                                const POINT* dest_point) = 0;
  // A render target read back into a system-memory surface of its size and format.
  virtual HRESULT GetRenderTargetData(IDirect3DSurface9* render_target, IDirect3DSurface9* dest) = 0;
  // ---- queries
  virtual HRESULT GetBackBuffer(UINT swap_chain, UINT index, D3DBACKBUFFER_TYPE type,
                                IDirect3DSurface9** surface) = 0;
  virtual HRESULT GetSwapChain(UINT index, IDirect3DSwapChain9** swap_chain) = 0;
  virtual HRESULT GetDeviceCaps(D3DCAPS9* caps) = 0;
};

// The Direct3D object.
class IDirect3D9 : public IUnknownObject {
 public:
  virtual UINT GetAdapterCount() = 0;
  virtual HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) = 0;
  virtual UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) = 0;
  virtual HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) = 0;
  virtual HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapter_format, DWORD usage,
                                    D3DRESOURCETYPE resource_type, D3DFORMAT format) = 0;
  virtual HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapter_format,
                                         D3DFORMAT render_target_format, D3DFORMAT depth_format) = 0;
  virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus_window, DWORD behaviour,
                               D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device_out) = 0;
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

// ---- hardware acceleration on or off ----------------------------------------------
// A device is offered where the window system offers OpenGL from a graphics
// device. OpenGL drawn by the processor (Mesa's llvmpipe, softpipe or
// swrast, as GL_RENDERER names them) is no graphics device: there the module
// answers as a machine without a display driver does, and offers none.
// The environment variable VOX_HARDWARE=0 takes the device away wherever it
// is (a program runs on its software path where OpenGL exists);
// VOX_HARDWARE=1 offers the device on any OpenGL, the processor's too (the
// tests of the device path run so).
// D3D9HardwareAllowed: 0 when VOX_HARDWARE=0, else 1.
int D3D9HardwareAllowed();
// VOX_HARDWARE=1: where there is a display (any video driver but SDL's
// dummy), the program wants the device and nothing else (a test that must
// run on OpenGL); the engine then refuses to start in software.
int D3D9HardwareRequired();
