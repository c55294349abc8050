// The Direct3D object: the desktop's mode, the adapter's modes, what the GL
// context offers as capabilities and formats, and device creation.
#include <cctype>
#include <cstring>
#include <string>

#include "platform/d3d9/d3d9_internal.h"

namespace vox_d3d9 {

namespace {

// OpenGL drawn by the processor, by the renderer's name.
bool IsSoftwareRenderer(std::string renderer) {
  for (char& c : renderer) c = (char)std::tolower((unsigned char)c);
  for (const char* name : {"llvmpipe", "softpipe", "swrast", "software rasterizer"})
    if (renderer.find(name) != std::string::npos) return true;
  return false;
}

// Whether the adapter is a graphics device: OpenGL from one, or any OpenGL
// when VOX_HARDWARE=1 asks for it; never when VOX_HARDWARE=0.
bool HardwareThere() {
  int setting = HardwareSetting();
  if (setting == 0 || !ProbeGLCaps().available) return false;
  if (setting == 1) return true;
  const D3D9CapabilityScript* script = Script();
  std::string renderer = ProbeGLCaps().renderer;
  if (script && script->gl_renderer[0])
    renderer.assign(script->gl_renderer, strnlen(script->gl_renderer, sizeof script->gl_renderer));
  return !IsSoftwareRenderer(renderer);
}

bool Offered(const std::vector<D3DFORMAT>& list, D3DFORMAT format) {
  for (D3DFORMAT f : list)
    if (f == format) return true;
  return false;
}

bool IsDepthFormat(D3DFORMAT format) {
  const FormatInfo* f = FindFormat(format);
  return f && f->depth;
}

int BitsOf(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: return 16;
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A8R8G8B8: return 32;
  }
  return 0;
}

}  // namespace

HRESULT Direct3D::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) {
  if (adapter != D3DADAPTER_DEFAULT || !mode) return D3DERR_INVALIDCALL;
  HDC screen = GetDC(nullptr);
  int bits = ::GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  mode->Width = (UINT)GetSystemMetrics(SM_CXSCREEN);
  mode->Height = (UINT)GetSystemMetrics(SM_CYSCREEN);
  mode->RefreshRate = 60;
  mode->Format = bits == 16 ? D3DFMT_R5G6B5 : bits == 32 ? D3DFMT_X8R8G8B8 : D3DFMT_R8G8B8;
  if (Script() && Script()->desktop_format) mode->Format = Script()->desktop_format;
  return D3D_OK;
}

UINT Direct3D::GetAdapterModeCount(UINT adapter, D3DFORMAT format) {
  if (adapter != D3DADAPTER_DEFAULT) return 0;
  const D3D9CapabilityScript* script = Script();
  if (script && format == D3DFMT_R5G6B5) {
    if (script->no_r5g6b5_modes) return 0;
    if (script->r5g6b5_mode_count) return script->r5g6b5_mode_count;
  }
  int bits = BitsOf(format);
  if (!bits) return 0;
  UINT count = 0;
  DEVMODEA mode;
  for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); i++)
    if ((int)mode.dmBitsPerPel == bits) count++;
  return count;
}

HRESULT Direct3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) {
  if (adapter != D3DADAPTER_DEFAULT || !caps) return D3DERR_INVALIDCALL;
  if (type != D3DDEVTYPE_HAL || !HardwareThere()) return D3DERR_NOTAVAILABLE;
  FillCaps(caps);
  return D3D_OK;
}

HRESULT Direct3D::CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT, DWORD usage,
                                    D3DRESOURCETYPE resource_type, D3DFORMAT format) {
  if (adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
  if (type != D3DDEVTYPE_HAL || !HardwareThere()) return D3DERR_NOTAVAILABLE;
  if (resource_type != D3DRTYPE_TEXTURE && resource_type != D3DRTYPE_SURFACE) return D3DERR_NOTAVAILABLE;
  const GLCaps& caps = ProbeGLCaps();
  const D3D9CapabilityScript* script = Script();
  if (usage & D3DUSAGE_DEPTHSTENCIL) {
    if (!IsDepthFormat(format)) return D3DERR_NOTAVAILABLE;
    if (script && ScriptRefuses(script->refused_depths, 8, format)) return D3DERR_NOTAVAILABLE;
    return D3D_OK;
  }
  if (usage & D3DUSAGE_RENDERTARGET) {
    if (!Offered(caps.render_targets, format)) return D3DERR_NOTAVAILABLE;
    if (script && ScriptRefuses(script->refused_render_targets, 16, format)) return D3DERR_NOTAVAILABLE;
    return D3D_OK;
  }
  // Video formats exist as off-screen plain surfaces only, which the copy
  // into a target converts to RGB.
  const FormatInfo* f = FindFormat(format);
  if (f && IsVideoFormat(f)) {
    if (resource_type != D3DRTYPE_SURFACE || usage) return D3DERR_NOTAVAILABLE;
    if (script && ScriptRefuses(script->refused_video_surfaces, 4, format)) return D3DERR_NOTAVAILABLE;
    return D3D_OK;
  }
  if (!Offered(caps.textures, format)) return D3DERR_NOTAVAILABLE;
  if (script && ScriptRefuses(script->refused_textures, 16, format)) return D3DERR_NOTAVAILABLE;
  return D3D_OK;
}

HRESULT Direct3D::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT, D3DFORMAT render_target_format,
                                         D3DFORMAT depth_format) {
  if (adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
  if (type != D3DDEVTYPE_HAL || !HardwareThere()) return D3DERR_NOTAVAILABLE;
  // Any depth buffer goes with any colour target on GL.
  if (!IsDepthFormat(depth_format) || !FindFormat(render_target_format)) return D3DERR_NOTAVAILABLE;
  if (Script() && ScriptRefuses(Script()->refused_depths, 8, depth_format)) return D3DERR_NOTAVAILABLE;
  return D3D_OK;
}

HRESULT Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus_window, DWORD behaviour,
                               D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device_out) {
  if (device_out) *device_out = nullptr;
  if (adapter != D3DADAPTER_DEFAULT || !parameters || !device_out) return D3DERR_INVALIDCALL;
  if (type != D3DDEVTYPE_HAL || !HardwareThere()) return D3DERR_NOTAVAILABLE;
  if (Fails(D3D9_FAIL_DEVICE_ALL)) return D3DERR_NOTAVAILABLE;
  if ((behaviour & D3DCREATE_MIXED_VERTEXPROCESSING) && Fails(D3D9_FAIL_DEVICE_MIXED)) return D3DERR_NOTAVAILABLE;
  HWND window = parameters->hDeviceWindow ? parameters->hDeviceWindow : focus_window;
  if (!window || !IsWindowGLCapable(window)) return D3DERR_NOTAVAILABLE;
  if (parameters->BackBufferCount > 1 || parameters->MultiSampleType != D3DMULTISAMPLE_NONE)
    return D3DERR_INVALIDCALL;
  D3DPRESENT_PARAMETERS p = *parameters;
  if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0) {
    RECT client{};
    GetClientRect(window, &client);
    if (p.BackBufferWidth == 0) p.BackBufferWidth = (UINT)client.right;
    if (p.BackBufferHeight == 0) p.BackBufferHeight = (UINT)client.bottom;
  }
  if (p.BackBufferFormat == D3DFMT_UNKNOWN) {
    D3DDISPLAYMODE desktop;
    GetAdapterDisplayMode(adapter, &desktop);
    p.BackBufferFormat = desktop.Format;
  }
  if (!Offered(ProbeGLCaps().render_targets, p.BackBufferFormat)) return D3DERR_NOTAVAILABLE;
  p.BackBufferCount = 1;
  *parameters = p;
  Device* device = new Device(this, window, p);
  if (!device->Create()) {
    device->Release();
    return D3DERR_NOTAVAILABLE;
  }
  *device_out = device;
  return D3D_OK;
}

}  // namespace vox_d3d9
