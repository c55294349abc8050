// Device set-up and loss: the "d3d9" module and its DirectDraw object are
// needed on both paths; the Direct3D object is asked for a device, and when
// none can be made the engine draws with its software renderer (changing the
// display mode itself in full screen).
#include "engine/core/log.h"
#include "engine/graphics/graphics_internal.h"
#include "platform/d3d9/d3d9.h"

namespace {

const GraphicsHost& Host() { return GetGraphicsHost(); }
void* MainWindow() { return Host().main_window ? Host().main_window() : nullptr; }

}  // namespace

// ---- device loss -------------------------------------------------------------------------------------

int RestoreGraphicsDevice() {
  // With a device, the mask screen and the graph textures go first; the
  // software path keeps its images in memory.
  TerminateGraphicsDevice();
  if (Host().close_input_devices) Host().close_input_devices();
  SetupGraphicsDevice();
  // Input must work again after the switch back: open what was closed.
  if (Host().reopen_input_devices) Host().reopen_input_devices();
  if (Host().reopen_movies) Host().reopen_movies();
  return 0;
}

// ---- device set-up (software path) ---------------------------------------------------------------

DeviceObjects g_device{};

int CreateDirectDrawObject() {
  if (g_device.directdraw) {
    g_device.directdraw->Release();
    g_device.directdraw = nullptr;
  }
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
  if (g_device.direct3d) {
    g_device.direct3d->Release();
    g_device.direct3d = nullptr;
  }
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
  if (!g_device.direct3d) return -1;
  WriteLogText("IDirect3DDevice9 オブジェクトを取得します.... ");
  // The software vertex-processing attempt stands for both of the device
  // creations: a machine without acceleration refuses either.
  IDirect3DDevice9* device = nullptr;
  HRESULT hr = g_device.direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                               static_cast<HWND>(MainWindow()),
                                               D3DCREATE_SOFTWARE_VERTEXPROCESSING, nullptr, &device);
  if (hr != D3D_OK || !device) return WriteLogText("Direct3DDevice9 の作成に失敗しました\n");
  // A device this engine cannot drive yet is not taken.
  return WriteLogText("Direct3DDevice9 の作成に失敗しました\n");
}

int CreateZBuffer() { return g_device.device ? 0 : -1; }

int SetupGraphicsDevice() {
  g_device.d3d9_module = D3D9LoadLibrary("d3d9.dll");
  if (!g_device.d3d9_module) return WriteLogText("d3d9.dll の読み込みに失敗しました\n");
  if (CreateDirectDrawObject() < 0) {
    D3D9FreeLibrary(g_device.d3d9_module);
    g_device.d3d9_module = nullptr;
    return -1;
  }
  g_device.hardware = 0;
  if (!g_screen.software_only) {
    if (CreateDirect3DObject() == 0 && CreateDirect3DDevice() == 0 && CreateZBuffer() == 0) g_device.hardware = 1;
  }
  if (!g_device.hardware) {
    g_device.device = nullptr;
    if (g_device.direct3d) {
      g_device.direct3d->Release();
      g_device.direct3d = nullptr;
    }
  }
  if (g_device.hardware || IsWindowModeNow()) return 0;

  // The software renderer in full screen changes the display mode itself.
  WriteLogFormat("画面モードの変更処理を開始します %u x %u  %u bit ", (unsigned)g_screen.width,
                 (unsigned)g_screen.height, (unsigned)g_screen.depth);
  IndentLog();
  if (g_screen.depth != 16 && g_screen.depth != 32) {
    UnindentLog();
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
    if (ok && Host().apply_window_style) Host().apply_window_style();
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
  if (!g_device.hardware && g_device.d3d9_module) ChangeDisplayMode(nullptr, 0);
  g_device.device = nullptr;
  if (g_device.direct3d) {
    g_device.direct3d->Release();
    g_device.direct3d = nullptr;
  }
  if (g_device.directdraw) {
    g_device.directdraw->Release();
    g_device.directdraw = nullptr;
  }
  if (g_device.d3d9_module) {
    D3D9FreeLibrary(g_device.d3d9_module);
    g_device.d3d9_module = nullptr;
  }
  g_device.hardware = 0;
  FreeDisplayModeList();
  return 0;
}
