// Controls of the Direct3D stand-in for tests and benchmarks: counts of
// live objects and of what the devices did, failures to provoke, and
// scripted answers that stand in for another machine's.
#pragma once

#include "platform/d3d9/d3d9.h"

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
