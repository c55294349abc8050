// The screen: mode requests and changes, graphics start and end, the
// software present, the display-mode list, the vertical-blank wait, the
// front-buffer refresh, and the small screen queries.
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "engine/graphics/d3d_internal.h"
#include "engine/graphics/graphics_math.h"
#include "engine/softrender/blend.h"
#include "platform/d3d9/d3d9.h"

ScreenState g_screen{};
MEMIMG g_screen_image{};
MEMIMG g_screen_work[2]{};

namespace {

GraphicsHost g_host{};

int g_vblank_min_interval = -1;
int g_last_vblank_time = 0;

// A headless display offers the game's own mode in both depths.
int HeadlessDisplayMode(int index, DisplayModeInfo* out) {
  static const DisplayModeInfo kModes[] = {{640, 480, 16, 60}, {640, 480, 32, 60}};
  if (index < 0 || index >= 2) return 0;
  *out = kModes[index];
  return 1;
}

bool SameMode(const ScreenState& a, int w, int h, int d, int r) {
  return a.width == w && a.height == h && a.depth == d && a.refresh == r;
}

void BuildDisplayModeList() {
  FreeDisplayModeList();
  auto enumerate = g_host.enum_display_mode ? g_host.enum_display_mode : HeadlessDisplayMode;
  DisplayModeInfo mode;
  int count = 0;
  for (int i = 0; enumerate(i, &mode); i++)
    if (mode.bits_per_pixel >= 16) count++;
  if (count > 0) g_screen.display_modes = (DisplayModeEntry*)VOX_ALLOC((uint32_t)(count * sizeof(DisplayModeEntry)));
  if (!g_screen.display_modes) count = 0;
  // The list may change between the two walks: never store more than the
  // first walk counted.
  int stored = 0;
  for (int i = 0; stored < count && enumerate(i, &mode); i++)
    if (mode.bits_per_pixel >= 16)
      g_screen.display_modes[stored++] = {mode.width, mode.height, mode.bits_per_pixel, mode.refresh};
  g_screen.display_mode_count = stored;
  g_screen.display_modes_built = 1;
}

}  // namespace

void SetGraphicsHost(const GraphicsHost* host) { g_host = host ? *host : GraphicsHost{}; }
const GraphicsHost& GetGraphicsHost() { return g_host; }

int EngineStarted() { return g_host.is_engine_started ? g_host.is_engine_started() : g_screen.started; }
void WaitWhileInactive() {
  if (g_host.wait_while_inactive) g_host.wait_while_inactive();
}
int IsWindowModeNow() { return g_host.is_window_mode ? g_host.is_window_mode() : 1; }
int ChangeDisplayMode(const DisplayModeInfo* mode, uint32_t flags) {
  return g_host.change_display_mode ? g_host.change_display_mode(mode, flags) : DISP_CHANGE_SUCCESSFUL;
}

void FreeDisplayModeList() {
  VOX_FREE(g_screen.display_modes);
  g_screen.display_modes = nullptr;
  g_screen.display_mode_count = 0;
  g_screen.display_modes_built = 0;
}

// ---- primary memory images -------------------------------------------------------------------

int CreatePrimaryMemImage() {
  int code = g_screen.depth == 16 ? MEMIMG_R5G6B5 : MEMIMG_X8R8G8B8;
  if (CreateScreenFormatMEMIMG(&g_screen_image, g_screen.width, g_screen.height, code) < 0)
    AbortWithLog("プライマリサーフェス用の MEMIMG の作成に失敗しました\n");
  g_screen_work[0] = MEMIMG{};
  g_screen_work[1] = MEMIMG{};
  if (SetupMEMIMG(&g_screen_work[0], g_screen.width, g_screen.height, -1, 0, code, 0, 0, 0, nullptr) < 0 ||
      SetupMEMIMG(&g_screen_work[1], g_screen.width, g_screen.height, -1, 0, code, 0, 1, 0, nullptr) < 0)
    AbortWithLog("プライマリサーフェス用の MEMIMG の作成に失敗しました\n");
  FillMEMIMGRect(&g_screen_image, nullptr, EncodePixelColor(g_screen_image.store->format, 0, 0, 0, 0));
  g_draw.soft_target = &g_screen_image;
  return 0;
}

int ReleasePrimaryMemImages() {
  ReleaseMEMIMG(&g_screen_image);
  ReleaseMEMIMG(&g_screen_work[0]);
  ReleaseMEMIMG(&g_screen_work[1]);
  return 0;
}

MEMIMG* GetScreenMemImage() { return IsMEMIMGValid(&g_screen_image) ? &g_screen_image : nullptr; }

// ---- start and end ----------------------------------------------------------------------------

int StartGraphics() {
  if (g_screen.started) return 0;
  DestroyGraphTable();
  CreateGraphTable();
  if (g_screen.width == 0) g_screen.width = 640;
  if (g_screen.height == 0) g_screen.height = 480;
  if (g_screen.depth == 0) g_screen.depth = 16;
  if (SetupGraphicsDevice() < 0) {
    EndGraphics();
    // A set-up that failed after loading the module (a refused display mode)
    // must not keep it or its DirectDraw object.
    TerminateGraphicsDevice();
    return -1;
  }
  g_screen.started = 1;
  if (!g_device.hardware) {
    SetSoftScreenBitDepth(g_screen.depth == 16 ? 16 : 32);
    CreatePrimaryMemImage();
  } else {
    InitDeviceState();
  }
  ResetDrawState();
  BuildSoftBlendTables();
  if (g_host.start_font_system) g_host.start_font_system();
  return 0;
}

int EndGraphics() {
  if (g_host.end_font_system) g_host.end_font_system();
  if (!g_screen.started) return 0;
  ReleaseAllGraphs();
  ReleaseMaskScreen();
  ReleaseAllMasks();
  DeleteAllLights();
  DeleteDefaultLight();
  EndModelSystem();
  // Movies opened without a graph outlive graphics: none may keep a surface of the device.
  if (g_host.drop_movie_surfaces) g_host.drop_movie_surfaces();
  TerminateGraphicsDevice();
  UnloadShaderPack();
  g_draw.soft_target = nullptr;
  g_draw.crossfade_image = nullptr;
  SyncSoftDrawState();
  ReleasePrimaryMemImages();
  DestroyGraphTable();
  g_screen.started = 0;
  return 0;
}

int IsGraphicsStarted() { return g_screen.started; }

// ---- modes -------------------------------------------------------------------------------------

int RequestScreenMode(int width, int height, int depth, int refresh) {
  if (width == 0 || height == 0 || (depth != 8 && depth != 16 && depth != 32)) return -1;
  bool running = (g_host.is_start_up_in_progress && g_host.is_start_up_in_progress()) || EngineStarted();
  if (!running) {
    g_screen.width = width;
    g_screen.height = height;
    g_screen.depth = depth;
    g_screen.refresh = refresh;
    return 0;
  }
  ScreenState before = g_screen;
  ApplyScreenMode(width, height, depth, 0, refresh);
  if (SameMode(g_screen, width, height, depth, refresh)) return 0;
  if (SameMode(g_screen, before.width, before.height, before.depth, before.refresh)) return -1;
  if (SameMode(g_screen, 640, 480, 16, 0)) return -2;
  return -1;
}

int ApplyScreenMode(int width, int height, int depth, int force, int refresh) {
  if (width == -1) width = g_screen.width;
  if (height == -1) height = g_screen.height;
  if (depth == -1) depth = g_screen.depth;
  if (refresh == -1) refresh = g_screen.refresh;
  if (!force && SameMode(g_screen, width, height, depth, refresh)) return 0;
  bool running = (g_host.is_start_up_in_progress && g_host.is_start_up_in_progress()) || EngineStarted();
  if (!running) return 0;
  WriteLogText("画面モード変更処理を開始します\n");
  IndentLog();
  char face[256] = "";
  int font_size = -1, font_thickness = -1;
  bool font_noted = g_screen.started && g_host.query_default_font &&
                    g_host.query_default_font(face, sizeof face, &font_size, &font_thickness) >= 0;
  ScreenState kept = g_screen;
  if (g_screen.started) EndGraphics();
  g_screen.width = width;
  g_screen.height = height;
  g_screen.depth = depth;
  g_screen.refresh = refresh;
  if (StartGraphics() < 0) {
    bool ok = false;
    if (width == 320 && height == 240) {
      g_screen.width = 640;
      g_screen.height = 480;
      g_screen.doubling = 1;
      ok = StartGraphics() == 0;
    }
    if (!ok) {
      g_screen.width = kept.width;
      g_screen.height = kept.height;
      g_screen.depth = kept.depth;
      g_screen.refresh = kept.refresh;
      g_screen.doubling = kept.doubling;
      ok = StartGraphics() == 0;
    }
    if (!ok) {
      g_screen.width = 640;
      g_screen.height = 480;
      g_screen.depth = 16;
      g_screen.refresh = 0;
      g_screen.doubling = 0;
      ok = StartGraphics() == 0;
    }
    if (!ok) AbortWithLog("予期せぬ画面モード変更不能現象が起きました2\n");
  }
  if (IsWindowModeNow() && g_host.apply_window_style) g_host.apply_window_style();
  if (font_noted && g_host.set_default_font) g_host.set_default_font(face, font_size, font_thickness);
  UnindentLog();
  WriteLogText("画面モード変更処理は正常に終了しました\n");
  if (g_host.process_messages) g_host.process_messages();
  return 0;
}

// ---- present --------------------------------------------------------------------------------------

int PresentScreen() {
  if (!EngineStarted() || !g_screen.started) return -1;
  if (g_host.is_window_closed && g_host.is_window_closed()) return -1;
  if (g_host.screen_log_in_use && g_host.screen_log_in_use() && g_host.draw_screen_log) {
    int32_t clip[4];
    GetPaintClipRect(clip);
    int mode, param, r, g, b;
    GetBlendMode(&mode, &param);
    GetPaintBrightness(&r, &g, &b);
    int w, h;
    GetScreenSizeOrDefault(&w, &h);
    SetPaintClipRect(0, 0, w, h);
    SelectBlendMode(0, 0);
    SetPaintBrightness(255, 255, 255);
    g_host.draw_screen_log();
    SetPaintClipRect(clip[0], clip[1], clip[2], clip[3]);
    SelectBlendMode(mode, param);
    SetPaintBrightness(r, g, b);
  }
  int width, height;
  GetScreenSizeOrDefault(&width, &height);
  int src_w = width, src_h = height;
  if (g_screen.doubling && width == 640 && height == 480) src_w = 320, src_h = 240;
  int dst_w = src_w, dst_h = src_h;
  if (IsWindowModeNow()) {
    double scale = g_host.window_scale ? g_host.window_scale() : 1.0;
    dst_w = (int)(width * scale);
    dst_h = (int)(height * scale);
  }
  if (g_device.hardware) {
    IDirect3DDevice9* device = g_device.device;
    if (!device) return -1;
    FlushVertexBatch();
    EndSceneIfOpen();
    bool doubled = g_screen.doubling && width == 640 && height == 480;
    if (g_device.sub_back_buffer) {
      RECT from{0, 0, width, height}, to{0, 0, width, height};
      if (doubled) from = RECT{0, 0, 320, 240};
      if (device->StretchRect(g_device.sub_back_buffer, &from, g_device.back_buffer, &to, D3DTEXF_NONE) != D3D_OK)
        return -1;
    }
    if (!g_device.swap_chain) return 0;
    HWND window = static_cast<HWND>(g_host.main_window ? g_host.main_window() : nullptr);
    HRESULT hr;
    if (IsWindowModeNow() || doubled) {
      RECT from{0, 0, src_w, src_h}, to{0, 0, doubled ? 640 : dst_w, doubled ? 480 : dst_h};
      // Once the sub back buffer has brought the doubled picture to full size,
      // the whole back buffer is shown.
      if (doubled && g_device.sub_back_buffer) from = RECT{0, 0, 640, 480};
      hr = g_device.swap_chain->Present(&from, &to, window, nullptr, 0);
    } else {
      hr = g_device.swap_chain->Present(nullptr, nullptr, window, nullptr, 0);
    }
    return hr == D3D_OK ? 0 : -1;
  }
  if (!IsMEMIMGValid(&g_screen_image)) return 0;
  if (!g_screen.vsync_off) WaitVerticalBlank();
  struct {
    BITMAPINFOHEADER header;
    uint32_t masks[3];
  } info{};
  const PIXELFORMAT* f = g_screen_image.store->format;
  info.header.biSize = 40;
  info.header.biWidth = width;
  info.header.biHeight = -height;
  info.header.biPlanes = 1;
  info.header.biBitCount = f->bits_per_pixel;
  info.header.biCompression = BI_BITFIELDS;
  info.masks[0] = f->red_mask;
  info.masks[1] = f->green_mask;
  info.masks[2] = f->blue_mask;
  if (!g_host.present_soft_frame) return 0;
  SoftPresentFrame frame{};
  frame.info = reinterpret_cast<const BITMAPINFO*>(&info);
  frame.pixels = g_screen_image.pixels;
  frame.pitch = g_screen_image.store->pitch;
  frame.src_x = 0;
  frame.src_y = 0;
  frame.src_width = src_w;
  frame.src_height = src_h;
  if (g_screen.doubling && width == 640 && height == 480) {
    frame.dst_width = 640;
    frame.dst_height = 480;
  } else {
    frame.dst_width = dst_w;
    frame.dst_height = dst_h;
  }
  g_host.present_soft_frame(&frame);
  return 0;
}

int PresentScreenKeepFront(int ignored) {
  (void)ignored;
  if (g_device.hardware && !IsWindowModeNow()) CopyBackToSubBackBuffer();
  return PresentScreen();
}

void FrontBufferTimerProc() {
  if (g_host.set_front_buffer_timer) g_host.set_front_buffer_timer(0);
  if (g_draw.draw_screen != DRAW_SCREEN_FRONT) return;
  PresentScreenKeepFront();
  if (g_host.set_front_buffer_timer) g_host.set_front_buffer_timer(1);
}

int SetVerticalBlankMinInterval(int milliseconds) {
  g_vblank_min_interval = milliseconds;
  return 0;
}

int WaitVerticalBlank() {
  IDirectDraw7* dd = g_device.directdraw;
  if (g_vblank_min_interval >= 0 && GetMillisecondCount() - g_last_vblank_time < g_vblank_min_interval) {
    while (GetMillisecondCount() - g_last_vblank_time < g_vblank_min_interval) Sleep(1);
    if (dd) dd->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
  } else {
    Sleep(0);
    BOOL in_blank = TRUE;
    if (dd && dd->GetVerticalBlankStatus(&in_blank) == DD_OK && !in_blank)
      dd->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
  }
  g_last_vblank_time = GetMillisecondCount();
  return 0;
}

// ---- settings and queries ---------------------------------------------------------------------------

int SetUseHardwareRenderer(int flag) {
  if (EngineStarted()) return -1;
  g_screen.software_only = flag ? 0 : 1;
  return 0;
}
int SetUseHardwareRendererEarly(int flag) { return SetUseHardwareRenderer(flag); }
int GetUseHardwareRenderer() { return g_screen.software_only ? 0 : 1; }
int IsHardwareRendererInUse() { return g_device.hardware; }

int GetScreenModeInfo(int* width, int* height, int* depth) {
  if (width) *width = g_screen.width;
  if (height) *height = g_screen.height;
  if (depth) *depth = g_screen.depth;
  return 0;
}

int GetScreenSizeOrDefault(int* width, int* height) {
  bool unset = g_screen.width == 0 || g_screen.height == 0;
  if (width) *width = unset ? 640 : g_screen.width;
  if (height) *height = unset ? 480 : g_screen.height;
  return 0;
}

int GetScreenBitDepth() { return g_screen.depth; }
int IsFullScreenMode() { return IsWindowModeNow() ? 0 : 1; }

int SetVerticalSyncWait(int flag) {
  g_screen.vsync_off = flag ? 0 : 1;
  return 0;
}
int GetVerticalSyncWait() { return g_screen.vsync_off ? 0 : 1; }
int SetHalfScreenDoubling(int flag) {
  g_screen.doubling = flag ? 1 : 0;
  return 0;
}
int GetHalfScreenDoubling() { return g_screen.doubling; }

int GetDisplayModeCount() {
  if (!g_screen.display_modes_built) BuildDisplayModeList();
  return g_screen.display_mode_count;
}

DisplayModeEntry GetDisplayModeEntry(int index) {
  if (!g_screen.display_modes_built) BuildDisplayModeList();
  if (index < 0 || index >= g_screen.display_mode_count) return {-1, -1, -1, -1};
  return g_screen.display_modes[index];
}

const PIXELFORMAT* GetScreenPixelFormat() {
  if (g_device.hardware) return PixelFormatOfD3DFormat(g_screen.depth == 16 ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8);
  if (IsMEMIMGValid(&g_screen_image)) return g_screen_image.store->format;
  // Before the screen image exists: the format it will have.
  return GetMEMIMGPixelFormat(g_screen.depth == 16 || g_screen.depth == 0 ? MEMIMG_R5G6B5 : MEMIMG_X8R8G8B8, 0, 0);
}

IDirectDraw7* GetDirectDrawObject() { return g_device.directdraw; }

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

IDirect3DDevice9* GetGraphicsDevice() { return g_device.device; }

int64_t ReadGraphicsTick64() { return 0; }

void* ZeroBlitRecord(void* record) {
  if (record) std::memset(record, 0, 380);
  return record;
}

int GetDialogModeStub() { return 0; }
int QueryForceSoftwareStub() { return 0; }
int RefreshAfterInactiveStub() { return 0; }
int ApplyInitOptionStub(int option) {
  (void)option;
  return 0;
}
void* GetOverlayTargetStub() { return nullptr; }
int QueryDirectDrawModeStub() { return 0; }
int QueryOverlaySupportStub() { return 0; }
