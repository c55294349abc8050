// Device set-up: the "d3d9" module and its DirectDraw object are needed on
// both paths; unless the software renderer was chosen, the Direct3D object,
// the device with its formats and the depth buffer are made, and when any
// of them fails the software renderer is used (changing the display mode
// itself in full screen).
#include <cstring>

#include "engine/core/log.h"
#include "engine/core/window.h"
#include "engine/graphics/device/device_internal.h"

namespace device {

DeviceObjects g_device{};

namespace {

D3DCAPS9 g_caps{};

HWND MainWindow() { return static_cast<HWND>(GetGraphicsHost().main_window()); }

struct Candidate {
  D3DFORMAT format;
  const char* name;
};

bool TextureOk(D3DFORMAT format, DWORD usage) {
  return g_device.direct3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, g_device.back_buffer_format, usage,
                                              D3DRTYPE_TEXTURE, format) == D3D_OK;
}

// The first candidate that passes, logged with the slot's line; 0 when none.
D3DFORMAT ChooseSlot(const Candidate* candidates, int count, DWORD usage, const char* line) {
  for (int i = 0; i < count; i++) {
    if (!TextureOk(candidates[i].format, usage)) continue;
    WriteLogFormat(line, candidates[i].name);
    return candidates[i].format;
  }
  return 0;
}

const char* SlotName(D3DFORMAT format, bool device_name) {
  switch (format) {
    case D3DFMT_R5G6B5: return device_name ? "D3DFMT_R5G6B5" : "D_D3DFMT_R5G6B5";
    case D3DFMT_X1R5G5B5: return "D_D3DFMT_X1R5G5B5";
    case D3DFMT_X8R8G8B8: return "D_D3DFMT_X8R8G8B8";
  }
  return "";
}

// Step 9 of device creation: every format slot from its candidate list.
int ChooseFormatSlots() {
  DeviceObjects& d = g_device;
  static const Candidate kDepth[] = {{D3DFMT_D16, "D3DFMT_D16"}, {D3DFMT_D24X8, "D3DFMT_D24X8"}, {D3DFMT_D32, "D3DFMT_D32"}};
  d.depth_format = 0;
  for (const Candidate& c : kDepth) {
    if (d.direct3d->CheckDepthStencilMatch(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, d.back_buffer_format,
                                           d.back_buffer_format, c.format) != D3D_OK)
      continue;
    WriteLogFormat("Ｚバッファのフォーマットは %s です", c.name);
    d.depth_format = c.format;
    break;
  }
  if (!d.depth_format) return WriteLogText("使用できる Zバッファフォーマットが見つかりませんでした\n");

  static const Candidate k16[] = {{D3DFMT_R5G6B5, "D_D3DFMT_R5G6B5"}, {D3DFMT_X1R5G5B5, "D_D3DFMT_X1R5G5B5"}};
  d.texture16 = ChooseSlot(k16, 2, 0, "16bit カラーフォーマットは %s です");
  if (!d.texture16) return WriteLogText("使用できる 16bit カラーフォーマットが見つかりませんでした\n");
  static const Candidate k32[] = {{D3DFMT_X8R8G8B8, "D_D3DFMT_X8R8G8B8"}};
  d.texture32 = ChooseSlot(k32, 1, 0, "32bit カラーフォーマットは %s です");
  if (!d.texture32) {
    d.texture32 = d.texture16;
    WriteLogFormat("32bit カラーフォーマットは %s です", SlotName(d.texture16, false));
  }
  static const Candidate kAlpha16[] = {{D3DFMT_A4R4G4B4, "D_D3DFMT_A4R4G4B4"}, {D3DFMT_A8R8G8B8, "D_D3DFMT_A8R8G8B8"}};
  d.alpha16 = ChooseSlot(kAlpha16, 2, 0, "アルファ付き 16bit カラーフォーマットは %s です");
  if (!d.alpha16) return WriteLogText("使用できるアルファ付き 16bit カラーフォーマットが見つかりませんでした\n");
  static const Candidate kAlpha32[] = {{D3DFMT_A8R8G8B8, "D_D3DFMT_A8R8G8B8"}, {D3DFMT_A4R4G4B4, "D_D3DFMT_A4R4G4B4"}};
  d.alpha32 = ChooseSlot(kAlpha32, 2, 0, "アルファ付き 32bit カラーフォーマットは %s です");
  if (!d.alpha32) return WriteLogText("使用できるアルファ付き 32bit カラーフォーマットが見つかりませんでした\n");
  static const Candidate kTest16[] = {{D3DFMT_A1R5G5B5, "D_D3DFMT_A1R5G5B5"},
                                      {D3DFMT_A8R8G8B8, "D_D3DFMT_A8R8G8B8"},
                                      {D3DFMT_A4R4G4B4, "D_D3DFMT_A4R4G4B4"}};
  d.alpha_test16 = ChooseSlot(kTest16, 3, 0, "アルファテスト用 16bit カラーフォーマットは %s です");
  if (!d.alpha_test16)
    return WriteLogText("使用できるアルファテスト用 16bit カラーフォーマットが見つかりませんでした\n");
  static const Candidate kTest32[] = {{D3DFMT_A8R8G8B8, "D_D3DFMT_A8R8G8B8"},
                                      {D3DFMT_A1R5G5B5, "D_D3DFMT_A1R5G5B5"},
                                      {D3DFMT_A4R4G4B4, "D_D3DFMT_A4R4G4B4"}};
  d.alpha_test32 = ChooseSlot(kTest32, 3, 0, "アルファテスト用 32bit カラーフォーマットは %s です");
  if (!d.alpha_test32)
    return WriteLogText("使用できるアルファテスト用 32bit カラーフォーマットが見つかりませんでした\n");

  static const char* const kDxtLines[5] = {"ＤＸＴ１テクスチャフォーマットは%s", "ＤＸＴ２テクスチャフォーマットは%s",
                                           "ＤＸＴ３テクスチャフォーマットは%s", "ＤＸＴ４テクスチャフォーマットは%s",
                                           "ＤＸＴ５テクスチャフォーマットは%s"};
  static const char* const kDxtNames[5] = {" D_D3DFMT_DXT1 です", " D_D3DFMT_DXT2 です", " D_D3DFMT_DXT3 です",
                                           " D_D3DFMT_DXT4 です", " D_D3DFMT_DXT5 です"};
  const D3DFORMAT dxt[5] = {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5};
  for (int i = 0; i < 5; i++) {
    if (TextureOk(dxt[i], 0)) {
      d.dxt[i] = dxt[i];
      WriteLogFormat(kDxtLines[i], kDxtNames[i]);
    } else {
      d.dxt[i] = i == 0 ? d.alpha_test16 : d.alpha32;
      WriteLogFormat(kDxtLines[i], "使えません");
    }
  }

  Candidate rt16[3];
  if (d.back_buffer_format == D3DFMT_R5G6B5) {
    rt16[0] = {D3DFMT_R5G6B5, "D3DFMT_R5G6B5"};
    rt16[1] = {D3DFMT_X1R5G5B5, "D3DFMT_R5G5B5"};
  } else {
    rt16[0] = {D3DFMT_X1R5G5B5, "D_D3DFMT_R5G5B5"};
    rt16[1] = {D3DFMT_R5G6B5, "D_D3DFMT_R5G6B5"};
  }
  rt16[2] = {D3DFMT_X8R8G8B8, "D_D3DFMT_X8R8G8B8"};
  d.render_target16 = ChooseSlot(rt16, 3, D3DUSAGE_RENDERTARGET, "描画用 16bit カラーフォーマットは %s です");
  if (!d.render_target16) WriteLogText("使用できる描画用 16bit カラーフォーマットがありませんでした\n");
  static const Candidate kRt32[] = {{D3DFMT_X8R8G8B8, "D_D3DFMT_X8R8G8B8"},
                                    {D3DFMT_R5G6B5, "D3DFMT_R5G6B5"},
                                    {D3DFMT_X1R5G5B5, "D3DFMT_R5G5B5"}};
  d.render_target32 = ChooseSlot(kRt32, 3, D3DUSAGE_RENDERTARGET, "描画用 32bit カラーフォーマットは %s です");
  if (!d.render_target32) WriteLogText("使用できる描画用 32bit カラーフォーマットがありませんでした\n");
  static const Candidate kAlphaRt[] = {{D3DFMT_A8R8G8B8, "D_D3DFMT_A8R8G8B8"}, {D3DFMT_A4R4G4B4, "D3DFMT_A4R4G4B4"}};
  d.alpha_render_target32 =
      ChooseSlot(kAlphaRt, 2, D3DUSAGE_RENDERTARGET, "描画用アルファ付き 32bit カラーフォーマットは %s です");
  if (!d.alpha_render_target32) WriteLogText("使用できる描画用 32bit カラーフォーマットがありませんでした\n");
  return 0;
}

}  // namespace

D3DFORMAT TextureFormatSlot(int index) {
  const DeviceObjects& d = g_device;
  switch (index) {
    case 0: return d.texture16;
    case 1: return d.texture32;
    case 2: return d.alpha16;
    case 3: return d.alpha32;
    case 4: return d.alpha_test16;
    case 5: return d.alpha_test32;
    case 6: case 7: case 8: case 9: case 10: return d.dxt[index - 6];
    case 11: return d.render_target16;
    case 12: return d.render_target32;
    case 13: return d.alpha_render_target32;
  }
  return 0;
}

D3DFORMAT ScreenRenderTargetFormat() { return g_device.screen_render_target; }
D3DFORMAT MaskAlphaFormat() {
  if (!g_device.direct3d) return 0;
  return TextureOk(D3DFMT_A8, 0) ? D3DFMT_A8 : g_device.alpha32;
}

}  // namespace device

// ---- the engine's entries of the device set-up -----------------------------------------------------

using namespace device;

int CreateDirectDrawObject() {
  ReleaseObject(g_device.directdraw);
  WriteLogText("DirectDraw オブジェクトの取得を行います....  ");
  IDirectDraw7* dd = nullptr;
  if (CreateDirectDraw7Object(&dd) != DD_OK || !dd) return WriteLogText("オブジェクトの取得に失敗しました\n");
  WriteLogText("成功\n");
  WriteLogText("引き続き初期化処理... ");
  if (dd->Initialize(nullptr) != DD_OK) {
    dd->Release();
    return WriteLogText("DirectDrawオブジェクトの初期化に失敗しました\n");
  }
  WriteLogText("初期化に成功しました\n");
  dd->SetCooperativeLevel(MainWindow(), DDSCL_NORMAL);
  g_device.directdraw = dd;
  return 0;
}

int CreateDirect3DObject() {
  ReleaseObject(g_device.direct3d);
  WriteLogText("IDirect3D9 オブジェクトを取得します.... ");
  auto create = reinterpret_cast<Direct3DCreate9Function>(D3D9GetProcAddress(g_device.d3d9_module, "Direct3DCreate9"));
  if (!create) return WriteLogText("Direct3DCreate9 APIのアドレス取得に失敗しました\n");
  IDirect3D9* d3d = create(D3D_SDK_VERSION);
  if (!d3d) return WriteLogText("IDirect3D9 オブジェクトの取得に失敗しました\n");
  WriteLogText("成功\n");
  g_device.direct3d = d3d;
  return 0;
}

int CreateDirect3DDevice() {
  DeviceObjects& d = g_device;
  if (!d.direct3d) return -1;
  ReleaseObject(d.back_buffer);
  ReleaseObject(d.swap_chain);
  ReleaseObject(d.device);
  WriteLogText("IDirect3DDevice9 オブジェクトを取得します.... ");
  D3DPRESENT_PARAMETERS p{};
  p.BackBufferWidth = (UINT)g_screen.width;
  p.BackBufferHeight = (UINT)g_screen.height;
  p.BackBufferCount = 1;
  p.MultiSampleType = D3DMULTISAMPLE_NONE;
  p.MultiSampleQuality = 0;
  p.hDeviceWindow = MainWindow();
  p.EnableAutoDepthStencil = FALSE;
  p.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
  p.PresentationInterval = g_screen.vsync_off ? D3DPRESENT_INTERVAL_IMMEDIATE : D3DPRESENT_INTERVAL_ONE;
  if (IsWindowModeNow()) {
    D3DDISPLAYMODE desktop{};
    d.direct3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop);
    p.BackBufferFormat = desktop.Format;
    p.Windowed = TRUE;
    p.SwapEffect = D3DSWAPEFFECT_COPY;
    if (desktop.Format == D3DFMT_X8R8G8B8) g_screen.depth = 32;
    if (desktop.Format == D3DFMT_R5G6B5 || desktop.Format == D3DFMT_X1R5G5B5 || desktop.Format == D3DFMT_A1R5G5B5)
      g_screen.depth = 16;
  } else {
    if (g_screen.depth == 16)
      p.BackBufferFormat = d.direct3d->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_R5G6B5) ? D3DFMT_R5G6B5
                                                                                                : D3DFMT_X1R5G5B5;
    else if (g_screen.depth == 32)
      p.BackBufferFormat = D3DFMT_X8R8G8B8;
    else
      return WriteLogText("非対応のバックバッファービット深度が指定されました\n");
    p.Windowed = FALSE;
    p.FullScreen_RefreshRateInHz = (UINT)g_screen.refresh;
    p.SwapEffect = g_screen.doubling ? D3DSWAPEFFECT_COPY : D3DSWAPEFFECT_DISCARD;
  }
  D3DCAPS9 adapter{};
  d.direct3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &adapter);
  d.shader_capable =
      (adapter.VertexShaderVersion & 0xFFFF) >= 0x200 && (adapter.PixelShaderVersion & 0xFFFF) >= 0x200 ? 1 : 0;
  D3DPRESENT_PARAMETERS first = p;
  IDirect3DDevice9* device = nullptr;
  DWORD behaviour = d.shader_capable ? D3DCREATE_MIXED_VERTEXPROCESSING : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
  if (d.direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, MainWindow(), behaviour, &first, &device) == D3D_OK) {
    WriteLogText("ハードウエア頂点演算を使用します\n");
  } else {
    d.shader_capable = 0;
    D3DPRESENT_PARAMETERS second = p;
    if (d.direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, MainWindow(), D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &second, &device) != D3D_OK)
      return WriteLogText("Direct3DDevice9 の作成に失敗しました\n");
    WriteLogText("ソフトウエア頂点演算を使用します\n");
  }
  d.device = device;
  // The selections a new device starts without.
  g_rs.last_fvf = 0;
  device->SetRenderState(D3DRS_ZENABLE, TRUE);
  for (int i = 0; i < 3; i++) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    device->Present(nullptr, nullptr, MainWindow(), nullptr);
  }
  device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &d.back_buffer);
  device->GetSwapChain(0, &d.swap_chain);
  WriteLogText("成功\n");
  device->GetDeviceCaps(&g_caps);
  d.vertex_shader_20 = d.shader_capable && (g_caps.VertexShaderVersion & 0xFFFF) >= 0x200;
  d.pixel_shader_20 = d.shader_capable && (g_caps.PixelShaderVersion & 0xFFFF) >= 0x200;
  d.blend_op = (g_caps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP) ? 1 : 0;
  uint32_t w = g_caps.MaxTextureWidth ? g_caps.MaxTextureWidth : 256;
  uint32_t h = g_caps.MaxTextureHeight ? g_caps.MaxTextureHeight : 256;
  d.max_texture_size = w < h ? w : h;
  d.texture_caps = g_caps.TextureCaps;
  g_rs.diffuse_source = g_rs.specular_source = 255;

  D3DSURFACE_DESC desc{};
  if (d.back_buffer) d.back_buffer->GetDesc(&desc);
  d.back_buffer_format = desc.Format;
  if (desc.Format == D3DFMT_X8R8G8B8) WriteLogFormat("画面のフォーマットは %s です", "D3DFMT_X8R8G8B8");
  else if (desc.Format == D3DFMT_R5G6B5) WriteLogFormat("画面のフォーマットは %s です", "D3DFMT_R5G6B5");
  else if (desc.Format == D3DFMT_X1R5G5B5) WriteLogFormat("画面のフォーマットは %s です", "D3DFMT_X1R5G5B5");
  else WriteLogFormat("バックバッファが対応していないフォーマット %d です", (int)desc.Format);

  if (ChooseFormatSlots() < 0) return -1;
  d.screen_render_target = g_screen.depth == 32 ? d.render_target32 : d.render_target16;
  d.screen_alpha_test = g_screen.depth == 32 ? d.alpha_test32 : d.alpha_test16;
  return 0;
}

int CreateZBuffer() {
  DeviceObjects& d = g_device;
  if (!d.device) return -1;
  ReleaseObject(d.depth_buffer);
  WriteLogText("Ｚバッファを作成します.... ");
  uint32_t w = (uint32_t)PowerOfTwoAtLeast(g_screen.width), h = (uint32_t)PowerOfTwoAtLeast(g_screen.height);
  d.depth_width = w;
  d.depth_height = h;
  if (d.device->CreateDepthStencilSurface(w, h, d.depth_format, D3DMULTISAMPLE_NONE, 0, TRUE, &d.depth_buffer,
                                          nullptr) != D3D_OK)
    return WriteLogText("Ｚバッファの作成に失敗しました\n");
  d.device->SetDepthStencilSurface(d.depth_buffer);
  d.device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  d.depth_written = 0;
  WriteLogText("成功\n");
  return 0;
}

int SetupGraphicsDevice() {
  g_device.d3d9_module = D3D9LoadLibrary("d3d9.dll");
  if (!g_device.d3d9_module) return WriteLogText("d3d9.dll の読み込みに失敗しました\n");
  if (CreateDirectDrawObject() < 0) {
    D3D9FreeLibrary(g_device.d3d9_module);
    g_device.d3d9_module = nullptr;
    return -1;
  }
  g_device.hardware = 0;
  // The device takes the desktop's depth in a window; without a device the
  // software renderer keeps the depth the program asked for.
  int requested_depth = g_screen.depth;
  if (!g_screen.software_only) {
    if (CreateDirect3DObject() == 0 && CreateDirect3DDevice() == 0 && CreateZBuffer() == 0) {
      g_device.hardware = 1;
      InitProgrammableShaders();
      if (ProgrammableShadersInUse()) CreateVertexDeclarations();
      StartModelSystem();
    }
  }
  // The choice is made: the screen's driver from now on.
  UseScreenDriver(g_device.hardware ? DeviceDriver() : SoftwareDriver());
  if (!g_device.hardware) {
    g_screen.depth = requested_depth;
    ReleaseObject(g_device.depth_buffer);
    ReleaseObject(g_device.back_buffer);
    ReleaseObject(g_device.swap_chain);
    ReleaseObject(g_device.device);
    ReleaseObject(g_device.direct3d);
    if (!g_screen.software_only && D3D9HardwareRequired()) {
      // Asked to run on the device only (VOX_HARDWARE=1): no software.
      return WriteLogText("ハードウエアアクセラレーションが使えません(VOX_HARDWARE=1)\n");
    }
  }
  if (g_device.hardware || IsWindowModeNow()) return 0;

  // The software renderer in full screen changes the display mode itself.
  WriteLogFormat("画面モードの変更処理を開始します %u x %u  %u bit ", (unsigned)g_screen.width,
                 (unsigned)g_screen.height, (unsigned)g_screen.depth);
  IndentLog();
  if (g_screen.depth != 16 && g_screen.depth != 32) {
    UnindentLog();  // the indent raised above must not outlive the refusal
    return -1;
  }
  WriteLogText("画面解像度を変更します... ");
  DisplayModeInfo mode{g_screen.width, g_screen.height, g_screen.depth, g_screen.refresh};
  bool ok = ChangeDisplayMode(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
  if (!ok) {
    g_screen.refresh = 0;
    mode.refresh = 0;
    ok = ChangeDisplayMode(&mode, 0) == DISP_CHANGE_SUCCESSFUL;
  }
  if (!ok && g_screen.width == 320 && g_screen.height == 240) {
    g_screen.width = 640;
    g_screen.height = 480;
    g_screen.doubling = 1;
    mode.width = 640;
    mode.height = 480;
    ok = ChangeDisplayMode(&mode, 0) == DISP_CHANGE_SUCCESSFUL;
    if (ok) ApplyWindowStyle();
  }
  if (!ok) {
    WriteLogText("画面モードの変更に失敗しました\n");
    UnindentLog();
    return -1;
  }
  WriteLogText("成功しました\n");
  UnindentLog();
  return 0;
}

int TerminateGraphicsDevice() {
  ReleaseAllModelBuffers();
  ReleaseVertexDeclarations();
  ReleaseShaderObjects();
  if (!g_device.hardware && g_device.d3d9_module) ChangeDisplayMode(nullptr, 0);
  // Nothing may stay bound to a device that goes.
  if (g_device.device) {
    FlushVertexBatch();
    EndSceneIfOpen();
    for (int s = 0; s < 8; s++) g_device.device->SetTexture((DWORD)s, nullptr);
  }
  g_rs.graph_texture = g_rs.blend_texture = nullptr;
  for (StageRecord& st : g_rs.stages) st.texture = nullptr;
  g_rs.render_target = nullptr;
  ReleaseObject(g_device.depth_buffer);
  ReleaseObject(g_device.sub_back_buffer);
  ReleaseObject(g_device.back_buffer);
  ReleaseObject(g_device.swap_chain);
  ReleaseObject(g_device.device);
  ReleaseObject(g_device.direct3d);
  ReleaseObject(g_device.directdraw);
  if (g_device.d3d9_module) {
    D3D9FreeLibrary(g_device.d3d9_module);
    g_device.d3d9_module = nullptr;
  }
  g_device.hardware = 0;
  UseScreenDriver(SoftwareDriver());
  FreeDisplayModeList();
  return 0;
}

// ---- public queries of the device ----------------------------------------------------------------

int IsHardwareRendererInUse() { return g_device.hardware; }
IDirectDraw7* GetDirectDrawObject() { return g_device.directdraw; }
IDirect3DDevice9* GetGraphicsDevice() { return g_device.device; }

int SetDeviceDialogMode(int flag) {
  IDirect3DDevice9* device = g_device.device;
  if (!device) return 0;
  device->SetDialogBoxMode(FALSE);
  if (flag == 1) device->SetDialogBoxMode(TRUE);
  return 0;
}

int EndSceneSetDialogMode(int flag) {
  IDirect3DDevice9* device = g_device.device;
  if (!device) return 0;
  EndSceneIfOpen();
  device->SetDialogBoxMode(flag ? TRUE : FALSE);
  return 0;
}
