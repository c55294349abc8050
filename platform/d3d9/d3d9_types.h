// The values and records of the "d3d9" module's interface: results,
// enumerations, formats, capabilities and the records its calls fill.
// platform/d3d9/d3d9.h declares the objects that use them.
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
