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

#include <cstdint>

#include "platform/d3d9/dd_pixel_format.h"
#include "platform/win32/win32.h"
#include "platform/win32/window.h"

typedef int32_t HRESULT;
typedef uint32_t D3DCOLOR;

#define D3D_OK 0
#define DD_OK 0
#define S_OK ((HRESULT)0)
#define D3D_SDK_VERSION 32u
#define D3DADAPTER_DEFAULT 0u

#define MAKEFOURCC(a, b, c, d) \
  ((DWORD)(uint8_t)(a) | ((DWORD)(uint8_t)(b) << 8) | ((DWORD)(uint8_t)(c) << 16) | ((DWORD)(uint8_t)(d) << 24))

// ---- results -------------------------------------------------------------------
#define D3DERR_NOTAVAILABLE ((HRESULT)0x8876086Au)
#define D3DERR_INVALIDCALL ((HRESULT)0x8876086Cu)
#define D3DERR_NOTFOUND ((HRESULT)0x88760866u)
#define D3DERR_DEVICELOST ((HRESULT)0x88760868u)
#define D3DERR_OUTOFVIDEOMEMORY ((HRESULT)0x8876017Cu)
#define D3DERR_WRONGTEXTUREFORMAT ((HRESULT)0x88760818u)
#define E_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define E_FAIL ((HRESULT)0x80004005u)
#define DDERR_GENERIC ((HRESULT)0x80004005u)
#define DDERR_INVALIDPARAMS ((HRESULT)0x80070057u)
#define E_NOINTERFACE ((HRESULT)0x80004002u)
#define DDSCL_NORMAL 0x8u
#define DDWAITVB_BLOCKBEGIN 0x1u

// ---- enumerations -------------------------------------------------------------------
typedef uint32_t D3DFORMAT;
#define D3DFMT_UNKNOWN 0u
#define D3DFMT_R8G8B8 20u
#define D3DFMT_A8R8G8B8 21u
#define D3DFMT_X8R8G8B8 22u
#define D3DFMT_R5G6B5 23u
#define D3DFMT_X1R5G5B5 24u
#define D3DFMT_A1R5G5B5 25u
#define D3DFMT_A4R4G4B4 26u
#define D3DFMT_R3G3B2 27u
#define D3DFMT_A8 28u
#define D3DFMT_A8R3G3B2 29u
#define D3DFMT_X4R4G4B4 30u
#define D3DFMT_A2B10G10R10 31u
#define D3DFMT_A8B8G8R8 32u
#define D3DFMT_X8B8G8R8 33u
#define D3DFMT_G16R16 34u
#define D3DFMT_A2R10G10B10 35u
#define D3DFMT_D16_LOCKABLE 70u
#define D3DFMT_D32 71u
#define D3DFMT_D15S1 73u
#define D3DFMT_D24S8 75u
#define D3DFMT_D24X8 77u
#define D3DFMT_D24X4S4 79u
#define D3DFMT_D16 80u
#define D3DFMT_VERTEXDATA 100u
#define D3DFMT_INDEX16 101u
#define D3DFMT_INDEX32 102u
#define D3DFMT_DXT1 MAKEFOURCC('D', 'X', 'T', '1')
#define D3DFMT_DXT2 MAKEFOURCC('D', 'X', 'T', '2')
#define D3DFMT_DXT3 MAKEFOURCC('D', 'X', 'T', '3')
#define D3DFMT_DXT4 MAKEFOURCC('D', 'X', 'T', '4')
#define D3DFMT_DXT5 MAKEFOURCC('D', 'X', 'T', '5')
#define D3DFMT_YUY2 MAKEFOURCC('Y', 'U', 'Y', '2')
#define D3DFMT_UYVY MAKEFOURCC('U', 'Y', 'V', 'Y')
#define D3DFMT_YV12 MAKEFOURCC('Y', 'V', '1', '2')

typedef uint32_t D3DDEVTYPE;
#define D3DDEVTYPE_HAL 1u
#define D3DDEVTYPE_REF 2u

#define D3DCREATE_SOFTWARE_VERTEXPROCESSING 0x20u
#define D3DCREATE_HARDWARE_VERTEXPROCESSING 0x40u
#define D3DCREATE_MIXED_VERTEXPROCESSING 0x80u

typedef uint32_t D3DPOOL;
#define D3DPOOL_DEFAULT 0u
#define D3DPOOL_MANAGED 1u
#define D3DPOOL_SYSTEMMEM 2u
#define D3DPOOL_SCRATCH 3u

#define D3DUSAGE_RENDERTARGET 0x1u
#define D3DUSAGE_DEPTHSTENCIL 0x2u
#define D3DUSAGE_WRITEONLY 0x8u
#define D3DUSAGE_DYNAMIC 0x200u

typedef uint32_t D3DRESOURCETYPE;
#define D3DRTYPE_SURFACE 1u
#define D3DRTYPE_TEXTURE 3u
#define D3DRTYPE_VERTEXBUFFER 6u
#define D3DRTYPE_INDEXBUFFER 7u

typedef uint32_t D3DMULTISAMPLE_TYPE;
#define D3DMULTISAMPLE_NONE 0u

typedef uint32_t D3DSWAPEFFECT;
#define D3DSWAPEFFECT_DISCARD 1u
#define D3DSWAPEFFECT_FLIP 2u
#define D3DSWAPEFFECT_COPY 3u

#define D3DPRESENT_INTERVAL_DEFAULT 0x0u
#define D3DPRESENT_INTERVAL_ONE 0x1u
#define D3DPRESENT_INTERVAL_IMMEDIATE 0x80000000u
#define D3DPRESENTFLAG_LOCKABLE_BACKBUFFER 0x1u

typedef uint32_t D3DBACKBUFFER_TYPE;
#define D3DBACKBUFFER_TYPE_MONO 0u

#define D3DCLEAR_TARGET 0x1u
#define D3DCLEAR_ZBUFFER 0x2u
#define D3DCLEAR_STENCIL 0x4u

#define D3DLOCK_NOSYSLOCK 0x800u
#define D3DLOCK_NOOVERWRITE 0x1000u
#define D3DLOCK_DISCARD 0x2000u
#define D3DLOCK_READONLY 0x10u

// Capability bits.
#define D3DPMISCCAPS_CULLNONE 0x10u
#define D3DPMISCCAPS_CULLCW 0x20u
#define D3DPMISCCAPS_CULLCCW 0x40u
#define D3DPMISCCAPS_BLENDOP 0x800u
#define D3DPTEXTURECAPS_POW2 0x2u
#define D3DPTEXTURECAPS_ALPHA 0x4u
#define D3DPTEXTURECAPS_SQUAREONLY 0x20u
#define D3DPTEXTURECAPS_MIPMAP 0x4000u
#define D3DPTFILTERCAPS_MINFPOINT 0x100u
#define D3DPTFILTERCAPS_MINFLINEAR 0x200u
#define D3DPTFILTERCAPS_MINFANISOTROPIC 0x400u
#define D3DPTFILTERCAPS_MIPFPOINT 0x10000u
#define D3DPTFILTERCAPS_MIPFLINEAR 0x20000u
#define D3DPTFILTERCAPS_MAGFPOINT 0x1000000u
#define D3DPTFILTERCAPS_MAGFLINEAR 0x2000000u
#define D3DPTFILTERCAPS_MAGFANISOTROPIC 0x4000000u

#define D3DVS_VERSION(major, minor) (0xFFFE0000u | ((major) << 8) | (minor))
#define D3DPS_VERSION(major, minor) (0xFFFF0000u | ((major) << 8) | (minor))

typedef uint32_t D3DRENDERSTATETYPE;
#define D3DRS_ZENABLE 7u
#define D3DRS_FILLMODE 8u
#define D3DRS_SHADEMODE 9u
#define D3DRS_ZWRITEENABLE 14u
#define D3DRS_ALPHATESTENABLE 15u
#define D3DRS_LASTPIXEL 16u
#define D3DRS_SRCBLEND 19u
#define D3DRS_DESTBLEND 20u
#define D3DRS_CULLMODE 22u
#define D3DRS_ZFUNC 23u
#define D3DRS_ALPHAREF 24u
#define D3DRS_ALPHAFUNC 25u
#define D3DRS_DITHERENABLE 26u
#define D3DRS_ALPHABLENDENABLE 27u
#define D3DRS_FOGENABLE 28u
#define D3DRS_SPECULARENABLE 29u
#define D3DRS_FOGCOLOR 34u
#define D3DRS_FOGTABLEMODE 35u
#define D3DRS_FOGSTART 36u
#define D3DRS_FOGEND 37u
#define D3DRS_FOGDENSITY 38u
#define D3DRS_TEXTUREFACTOR 60u
#define D3DRS_LIGHTING 137u
#define D3DRS_AMBIENT 139u
#define D3DRS_FOGVERTEXMODE 140u
#define D3DRS_COLORVERTEX 141u
#define D3DRS_LOCALVIEWER 142u
#define D3DRS_NORMALIZENORMALS 143u
#define D3DRS_DIFFUSEMATERIALSOURCE 145u
#define D3DRS_SPECULARMATERIALSOURCE 146u
#define D3DRS_AMBIENTMATERIALSOURCE 147u
#define D3DRS_EMISSIVEMATERIALSOURCE 148u
#define D3DRS_BLENDOP 171u
#define D3DRS_SCISSORTESTENABLE 174u
#define D3DRS_DEPTHBIAS 195u
#define D3DRS_COUNT 210u  // states kept by a device: 0 .. D3DRS_COUNT - 1

typedef uint32_t D3DSAMPLERSTATETYPE;
#define D3DSAMP_ADDRESSU 1u
#define D3DSAMP_ADDRESSV 2u
#define D3DSAMP_ADDRESSW 3u
#define D3DSAMP_BORDERCOLOR 4u
#define D3DSAMP_MAGFILTER 5u
#define D3DSAMP_MINFILTER 6u
#define D3DSAMP_MIPFILTER 7u
#define D3DSAMP_MIPMAPLODBIAS 8u
#define D3DSAMP_MAXMIPLEVEL 9u
#define D3DSAMP_MAXANISOTROPY 10u
#define D3DSAMP_COUNT 14u

typedef uint32_t D3DTEXTURESTAGESTATETYPE;
#define D3DTSS_COLOROP 1u
#define D3DTSS_COLORARG1 2u
#define D3DTSS_COLORARG2 3u
#define D3DTSS_ALPHAOP 4u
#define D3DTSS_ALPHAARG1 5u
#define D3DTSS_ALPHAARG2 6u
#define D3DTSS_TEXCOORDINDEX 11u
#define D3DTSS_TEXTURETRANSFORMFLAGS 24u
#define D3DTSS_COLORARG0 26u
#define D3DTSS_ALPHAARG0 27u
#define D3DTSS_RESULTARG 28u
#define D3DTSS_COUNT 33u

typedef uint32_t D3DTEXTUREOP;
#define D3DTOP_DISABLE 1u
#define D3DTOP_SELECTARG1 2u
#define D3DTOP_SELECTARG2 3u
#define D3DTOP_MODULATE 4u
#define D3DTOP_MODULATE2X 5u
#define D3DTOP_MODULATE4X 6u
#define D3DTOP_ADD 7u
#define D3DTOP_ADDSIGNED 8u
#define D3DTOP_ADDSIGNED2X 9u
#define D3DTOP_SUBTRACT 10u
#define D3DTOP_ADDSMOOTH 11u
#define D3DTOP_BLENDDIFFUSEALPHA 12u
#define D3DTOP_BLENDTEXTUREALPHA 13u
#define D3DTOP_BLENDFACTORALPHA 14u
#define D3DTOP_BLENDTEXTUREALPHAPM 15u
#define D3DTOP_BLENDCURRENTALPHA 16u
#define D3DTOP_PREMODULATE 17u
#define D3DTOP_MODULATEALPHA_ADDCOLOR 18u
#define D3DTOP_MODULATECOLOR_ADDALPHA 19u
#define D3DTOP_MODULATEINVALPHA_ADDCOLOR 20u
#define D3DTOP_MODULATEINVCOLOR_ADDALPHA 21u
#define D3DTOP_BUMPENVMAP 22u
#define D3DTOP_BUMPENVMAPLUMINANCE 23u
#define D3DTOP_DOTPRODUCT3 24u
#define D3DTOP_MULTIPLYADD 25u
#define D3DTOP_LERP 26u

#define D3DTA_SELECTMASK 0xFu
#define D3DTA_DIFFUSE 0x0u
#define D3DTA_CURRENT 0x1u
#define D3DTA_TEXTURE 0x2u
#define D3DTA_TFACTOR 0x3u
#define D3DTA_SPECULAR 0x4u
#define D3DTA_TEMP 0x5u
#define D3DTA_CONSTANT 0x6u
#define D3DTA_COMPLEMENT 0x10u
#define D3DTA_ALPHAREPLICATE 0x20u

typedef uint32_t D3DTEXTUREFILTERTYPE;
#define D3DTEXF_NONE 0u
#define D3DTEXF_POINT 1u
#define D3DTEXF_LINEAR 2u
#define D3DTEXF_ANISOTROPIC 3u

#define D3DTADDRESS_WRAP 1u
#define D3DTADDRESS_MIRROR 2u
#define D3DTADDRESS_CLAMP 3u
#define D3DTADDRESS_BORDER 4u
#define D3DTADDRESS_MIRRORONCE 5u

#define D3DBLEND_ZERO 1u
#define D3DBLEND_ONE 2u
#define D3DBLEND_SRCCOLOR 3u
#define D3DBLEND_INVSRCCOLOR 4u
#define D3DBLEND_SRCALPHA 5u
#define D3DBLEND_INVSRCALPHA 6u
#define D3DBLEND_DESTALPHA 7u
#define D3DBLEND_INVDESTALPHA 8u
#define D3DBLEND_DESTCOLOR 9u
#define D3DBLEND_INVDESTCOLOR 10u
#define D3DBLEND_SRCALPHASAT 11u

#define D3DBLENDOP_ADD 1u
#define D3DBLENDOP_SUBTRACT 2u
#define D3DBLENDOP_REVSUBTRACT 3u
#define D3DBLENDOP_MIN 4u
#define D3DBLENDOP_MAX 5u

typedef uint32_t D3DCMPFUNC;
#define D3DCMP_NEVER 1u
#define D3DCMP_LESS 2u
#define D3DCMP_EQUAL 3u
#define D3DCMP_LESSEQUAL 4u
#define D3DCMP_GREATER 5u
#define D3DCMP_NOTEQUAL 6u
#define D3DCMP_GREATEREQUAL 7u
#define D3DCMP_ALWAYS 8u

#define D3DCULL_NONE 1u
#define D3DCULL_CW 2u
#define D3DCULL_CCW 3u

typedef uint32_t D3DSHADEMODE;
#define D3DSHADE_FLAT 1u
#define D3DSHADE_GOURAUD 2u

typedef uint32_t D3DFOGMODE;
#define D3DFOG_NONE 0u
#define D3DFOG_EXP 1u
#define D3DFOG_EXP2 2u
#define D3DFOG_LINEAR 3u

#define D3DMCS_MATERIAL 0u
#define D3DMCS_COLOR1 1u
#define D3DMCS_COLOR2 2u

#define D3DZB_FALSE 0u
#define D3DZB_TRUE 1u

#define D3DTTFF_DISABLE 0u
#define D3DTTFF_COUNT1 1u
#define D3DTTFF_COUNT2 2u
#define D3DTTFF_COUNT3 3u
#define D3DTTFF_COUNT4 4u

typedef uint32_t D3DTRANSFORMSTATETYPE;
#define D3DTS_VIEW 2u
#define D3DTS_PROJECTION 3u
#define D3DTS_TEXTURE0 16u
#define D3DTS_WORLD 256u

typedef uint32_t D3DPRIMITIVETYPE;
#define D3DPT_POINTLIST 1u
#define D3DPT_LINELIST 2u
#define D3DPT_LINESTRIP 3u
#define D3DPT_TRIANGLELIST 4u
#define D3DPT_TRIANGLESTRIP 5u
#define D3DPT_TRIANGLEFAN 6u

// Flexible vertex formats.
#define D3DFVF_XYZ 0x2u
#define D3DFVF_XYZRHW 0x4u
#define D3DFVF_POSITION_MASK 0x400Eu
#define D3DFVF_NORMAL 0x10u
#define D3DFVF_PSIZE 0x20u
#define D3DFVF_DIFFUSE 0x40u
#define D3DFVF_SPECULAR 0x80u
#define D3DFVF_TEXCOUNT_MASK 0xF00u
#define D3DFVF_TEXCOUNT_SHIFT 8
#define D3DFVF_TEX1 0x100u
#define D3DFVF_TEX2 0x200u

typedef uint32_t D3DLIGHTTYPE;
#define D3DLIGHT_POINT 1u
#define D3DLIGHT_SPOT 2u
#define D3DLIGHT_DIRECTIONAL 3u

// Vertex declarations.
#define D3DDECLTYPE_FLOAT1 0u
#define D3DDECLTYPE_FLOAT2 1u
#define D3DDECLTYPE_FLOAT3 2u
#define D3DDECLTYPE_FLOAT4 3u
#define D3DDECLTYPE_D3DCOLOR 4u
#define D3DDECLTYPE_UBYTE4 5u
#define D3DDECLTYPE_UNUSED 17u
#define D3DDECLMETHOD_DEFAULT 0u
#define D3DDECLUSAGE_POSITION 0u
#define D3DDECLUSAGE_BLENDWEIGHT 1u
#define D3DDECLUSAGE_BLENDINDICES 2u
#define D3DDECLUSAGE_NORMAL 3u
#define D3DDECLUSAGE_TEXCOORD 5u
#define D3DDECLUSAGE_COLOR 10u

// ---- records ------------------------------------------------------------------------
struct D3DDISPLAYMODE {
  UINT Width;
  UINT Height;
  UINT RefreshRate;
  D3DFORMAT Format;
};

struct D3DCAPS9 {
  D3DDEVTYPE DeviceType;
  UINT AdapterOrdinal;
  DWORD PrimitiveMiscCaps;
  DWORD TextureCaps;
  DWORD TextureFilterCaps;
  DWORD MaxTextureWidth;
  DWORD MaxTextureHeight;
  DWORD MaxAnisotropy;
  DWORD MaxTextureBlendStages;
  DWORD MaxSimultaneousTextures;
  DWORD MaxActiveLights;
  DWORD MaxPrimitiveCount;
  DWORD MaxVertexIndex;
  DWORD MaxStreams;
  DWORD VertexShaderVersion;
  DWORD MaxVertexShaderConst;
  DWORD PixelShaderVersion;
};

struct D3DPRESENT_PARAMETERS {
  UINT BackBufferWidth;
  UINT BackBufferHeight;
  D3DFORMAT BackBufferFormat;
  UINT BackBufferCount;
  D3DMULTISAMPLE_TYPE MultiSampleType;
  DWORD MultiSampleQuality;
  D3DSWAPEFFECT SwapEffect;
  HWND hDeviceWindow;
  BOOL Windowed;
  BOOL EnableAutoDepthStencil;
  D3DFORMAT AutoDepthStencilFormat;
  DWORD Flags;
  UINT FullScreen_RefreshRateInHz;
  UINT PresentationInterval;
};

struct D3DSURFACE_DESC {
  D3DFORMAT Format;
  D3DRESOURCETYPE Type;
  DWORD Usage;
  D3DPOOL Pool;
  D3DMULTISAMPLE_TYPE MultiSampleType;
  DWORD MultiSampleQuality;
  UINT Width;
  UINT Height;
};

struct D3DLOCKED_RECT {
  int32_t Pitch;
  void* pBits;
};

struct D3DVIEWPORT9 {
  DWORD X;
  DWORD Y;
  DWORD Width;
  DWORD Height;
  float MinZ;
  float MaxZ;
};

// A 4 x 4 row-major matrix of row vectors (translation in the fourth row).
struct D3DMATRIX {
  float m[4][4];
};

// A light: colours as r, g, b, a; position and direction as x, y, z.
struct D3DLIGHT9 {
  D3DLIGHTTYPE Type;
  float Diffuse[4], Specular[4], Ambient[4];
  float Position[3], Direction[3];
  float Range, Falloff, Attenuation0, Attenuation1, Attenuation2, Theta, Phi;
};

// A material: colours as r, g, b, a.
struct D3DMATERIAL9 {
  float Diffuse[4], Ambient[4], Specular[4], Emissive[4];
  float Power;
};

struct D3DVERTEXELEMENT9 {
  uint16_t Stream;
  uint16_t Offset;
  uint8_t Type;
  uint8_t Method;
  uint8_t Usage;
  uint8_t UsageIndex;
};
#define D3DDECL_END() {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0}


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

// Live objects of the Direct3D side (Direct3D objects, devices and their
// resources), for leak checks in tests.
int Direct3DLiveObjectCount();
// What the devices did since the process started, for tests and benchmarks
// that look for waste (a frame's share is the difference of two readings).
struct D3D9DrawCounts {
  long calls;           // DrawPrimitiveUP and DrawIndexedPrimitiveUP that reached the device
  long vertices;        // the vertices they drew
  long state_calls;     // calls that set a state: render, sampler and stage states, textures,
                        // transforms, material, lights, viewport, scissor, vertex format,
                        // render target and depth surface
  long state_changes;   // those among them that changed the state's value
  long uploads;         // copies of pixels from the processor's memory into a texture
  long upload_bytes;
  long read_backs;      // copies of pixels from a render target into the processor's memory
  long read_back_bytes;
  long full_screen_passes;  // clears, fills and copies over an area of the back buffer's size or
                            // more: the present's passes, a wipe of the back buffer
  long depth_clears;        // Clear calls that name the depth buffer (done or found needless)
};
D3D9DrawCounts D3D9GetDrawCounts();

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

// ---- failures that tests can provoke ---------------------------------------------
enum D3D9Failure : uint32_t {
  D3D9_FAIL_NONE = 0,
  D3D9_FAIL_LOAD_MODULE = 1u << 0,        // the module cannot be loaded
  D3D9_FAIL_CREATE_DIRECTDRAW = 1u << 1,  // the component cannot be created
  D3D9_FAIL_INIT_DIRECTDRAW = 1u << 2,    // Initialize fails
  D3D9_FAIL_CREATE_DIRECT3D = 1u << 3,    // Direct3DCreate9 answers null
  D3D9_FAIL_DEVICE_MIXED = 1u << 4,       // CreateDevice with mixed vertex processing fails
  D3D9_FAIL_DEVICE_ALL = 1u << 5,         // every CreateDevice fails
  D3D9_FAIL_DEPTH_SURFACE = 1u << 6,      // CreateDepthStencilSurface fails
  D3D9_FAIL_RENDER_TARGET = 1u << 7,      // CreateRenderTarget fails
  D3D9_FAIL_TEXTURE = 1u << 8,            // CreateTexture fails
  D3D9_FAIL_SYSTEM_SURFACE = 1u << 9,     // CreateOffscreenPlainSurface fails
  D3D9_FAIL_PRESENT = 1u << 10,           // Present answers D3DERR_DEVICELOST
  D3D9_FAIL_SHADER = 1u << 11,            // CreateVertexShader and CreatePixelShader fail
};
void D3D9SetFailures(uint32_t failures);

// ---- scripted answers for tests ---------------------------------------------------
// Narrows what the Direct3D object reports, so that the engine's set-up
// decisions can be tried against other machines: a format offered by the
// GL context is still refused when the script lists it, and the script's
// numbers replace the reported ones where they are not 0.
struct D3D9CapabilityScript {
  D3DFORMAT desktop_format;       // 0: the desktop's own (X8R8G8B8 or R5G6B5 by its depth)
  UINT r5g6b5_mode_count;         // GetAdapterModeCount(R5G6B5); 0: the real count
  BOOL no_r5g6b5_modes;           // GetAdapterModeCount(R5G6B5) answers 0
  DWORD vertex_shader_version;    // 0: the real answer
  DWORD pixel_shader_version;
  DWORD max_texture_width, max_texture_height;  // 0: the real answer; ~0u: report 0
  BOOL no_blend_op;               // PrimitiveMiscCaps without D3DPMISCCAPS_BLENDOP
  BOOL square_only;               // TextureCaps with D3DPTEXTURECAPS_SQUAREONLY
  D3DFORMAT refused_textures[16];       // CheckDeviceFormat, usage 0 (0 ends the list)
  D3DFORMAT refused_render_targets[16];  // CheckDeviceFormat, D3DUSAGE_RENDERTARGET
  D3DFORMAT refused_depths[8];          // CheckDepthStencilMatch
  // Video formats refused as off-screen plain surfaces (CheckDeviceFormat
  // with D3DRTYPE_SURFACE and CreateOffscreenPlainSurface alike).
  D3DFORMAT refused_video_surfaces[4];
  // The GL_RENDERER judged in place of the context's own ("": its own), to
  // try the decision whether OpenGL is a graphics device.
  char gl_renderer[64];
};
// Null removes the script. The script is copied.
void D3D9SetCapabilityScript(const D3D9CapabilityScript* script);
