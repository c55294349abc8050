// The screen: mode requests and changes, graphics start and end (the device
// set-up choosing the screen's driver), the present, the display-mode list,
// the front-buffer refresh, and the small screen queries.
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/engine_state.h"
#include "engine/core/engine_subsystem.h"
#include "engine/core/log.h"
#include "engine/core/screen_log.h"
#include "engine/core/window.h"
#include "engine/graphics/graphics_internal.h"
#include "engine/graphics/graphics_math.h"
#include "engine/softrender/blend.h"

ScreenMode g_screen{};

namespace {

const GraphicsHost& Host() { return GetGraphicsHost(); }

bool SameMode(const ScreenMode& a, int w, int h, int d, int r) {
  return a.width == w && a.height == h && a.depth == d && a.refresh == r;
}

void BuildDisplayModeList() {
  FreeDisplayModeList();
  auto enumerate = Host().enum_display_mode;
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

int EngineStarted() { return Host().is_engine_started(); }
void WaitWhileInactive() { Host().wait_while_inactive(); }
int IsWindowModeNow() { return Host().is_window_mode(); }
int ChangeDisplayMode(const DisplayModeInfo* mode, uint32_t flags) { return Host().change_display_mode(mode, flags); }

void FreeDisplayModeList() {
  VOX_FREE(g_screen.display_modes);
  g_screen.display_modes = nullptr;
  g_screen.display_mode_count = 0;
  g_screen.display_modes_built = 0;
}

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
  ScreenDriver().start_screen();
  ResetDrawState();
  BuildSoftBlendTables();
  BroadcastGraphicsEvent(GraphicsEvent::Started);
  return 0;
}

int EndGraphics() {
  BroadcastGraphicsEvent(GraphicsEvent::Ending);
  if (!g_screen.started) return 0;
  ReleaseAllGraphs();
  ReleaseMaskScreen();
  ReleaseAllMasks();
  DeleteAllLights();
  DeleteDefaultLight();
  EndModelRuntime();
  // Movies opened without a graph outlive graphics: none may keep a surface of the device.
  BroadcastGraphicsEvent(GraphicsEvent::DeviceReleasing);
  TerminateGraphicsDevice();
  ForEachGraphicsDriver([](const GraphicsDriver& d) { d.end_graphics(); });
  DestroyGraphTable();
  g_screen.started = 0;
  return 0;
}

int IsGraphicsStarted() { return g_screen.started; }

// ---- modes -------------------------------------------------------------------------------------

int RequestScreenMode(int width, int height, int depth, int refresh) {
  if (width == 0 || height == 0 || (depth != 8 && depth != 16 && depth != 32)) return -1;
  bool running = g_engine.starting || EngineStarted();
  if (!running) {
    g_screen.width = width;
    g_screen.height = height;
    g_screen.depth = depth;
    g_screen.refresh = refresh;
    return 0;
  }
  ScreenMode before = g_screen;
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
  bool running = g_engine.starting || EngineStarted();
  if (!running) return 0;
  WriteLogText("画面モード変更処理を開始します\n");
  IndentLog();
  // What a running screen carries across the change (the default font) is
  // kept by its owner from here to the end of the change.
  bool was_started = g_screen.started;
  if (was_started) BroadcastGraphicsEvent(GraphicsEvent::ScreenModeChanging);
  ScreenMode kept = g_screen;
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
  if (IsWindowModeNow()) ApplyWindowStyle();
  if (was_started) BroadcastGraphicsEvent(GraphicsEvent::ScreenModeChanged);
  UnindentLog();
  WriteLogText("画面モード変更処理は正常に終了しました\n");
  ProcessWindowMessages();
  return 0;
}

// ---- present --------------------------------------------------------------------------------------

int PresentScreen() {
  if (!EngineStarted() || !g_screen.started) return -1;
  if (Host().is_window_closed()) return -1;
  if (IsScreenLogUsed()) {
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
    DrawScreenLog();
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
    double scale = Host().window_scale();
    dst_w = (int)(width * scale);
    dst_h = (int)(height * scale);
  }
  PresentArea area{};
  area.width = width, area.height = height;
  area.src_width = src_w, area.src_height = src_h;
  area.dst_width = dst_w, area.dst_height = dst_h;
  area.window_mode = IsWindowModeNow();
  area.doubled = g_screen.doubling && width == 640 && height == 480;
  return ScreenDriver().present(&area);
}

int PresentScreenKeepFront(int ignored) {
  (void)ignored;
  if (!IsWindowModeNow()) ScreenDriver().keep_front();
  return PresentScreen();
}

void FrontBufferTimerProc() {
  SetFrontBufferTimer(0);
  if (g_draw.draw_screen != DRAW_SCREEN_FRONT) return;
  PresentScreenKeepFront();
  SetFrontBufferTimer(1);
}

// ---- settings and queries ---------------------------------------------------------------------------

int SetUseHardwareRenderer(int flag) {
  if (EngineStarted()) return -1;
  g_screen.software_only = flag ? 0 : 1;
  return 0;
}
int SetUseHardwareRendererEarly(int flag) { return SetUseHardwareRenderer(flag); }
int GetUseHardwareRenderer() { return g_screen.software_only ? 0 : 1; }

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

const PIXELFORMAT* GetScreenPixelFormat() { return ScreenDriver().screen_format(); }

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
