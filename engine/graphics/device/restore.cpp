// Device loss and restore: the device is never reset in place but thrown
// away and made again, its cached state pushed to the new one and every
// graph refilled; the core hands each step to the subsystems that react to
// it (engine/core/engine_subsystem.h). A set-up that falls back to software
// leaves no graph without an image.
#include "engine/core/engine_subsystem.h"
#include "engine/core/log.h"
#include "engine/graphics/device/device_internal.h"

namespace device {

namespace {

// The set-up left the software driver in use: its screen is made, and every
// device image becomes a memory image (empty until the restore handler
// refills it).
void FallBackToSoftware() {
  WriteLogText("ソフトウエアレンダリングに切り替えてグラフィックを復帰します\n");
  ScreenDriver().start_screen();
  ForEachGraph([](int, GraphRecord& r) { ConvertImageToSoftware(r.image); });
  // Each graph takes its view of the new memory image.
  ForEachGraph([](int, GraphRecord& r) {
    if (r.image) ImageDriver(r.image).attach_graph(&r);
  });
  RecreateMaskScreen();
  SelectDrawScreen(g_draw.draw_screen);
  SyncSoftDrawState();
}

// The set-up made a device where the software renderer drew: the device's
// screen state is made and every memory image becomes a device image with
// its pixels, so that the graphs draw onto the screen that is shown.
void MoveGraphsToTheDevice() {
  WriteLogText("ハードウエアレンダリングに切り替えてグラフィックを復帰します\n");
  ScreenDriver().start_screen();
  ForEachGraph([](int, GraphRecord& r) { ConvertImageToDevice(r.image); });
  // The crossfade graph is bound again as a texture.
  int crossfade = g_draw.crossfade_graph;
  if (crossfade != -1) {
    g_draw.crossfade_graph = -1;
    g_draw.crossfade_image = nullptr;
    if (SetCrossfadeGraph(crossfade, g_draw.crossfade_param, g_draw.crossfade_range) < 0)
      SetCrossfadeGraph(-1, 0, 0);
  }
}

}  // namespace

}  // namespace device

using namespace device;

int RestoreGraphicsDevice() {
  BroadcastGraphicsEvent(GraphicsEvent::DeviceReleasing);
  bool was_software = !g_device.hardware;
  if (g_device.hardware) {
    ReleaseMaskScreenObjects();
    ReleaseAllGraphTextures();
  }
  TerminateGraphicsDevice();
  BroadcastGraphicsEvent(GraphicsEvent::DeviceLost);
  SetupGraphicsDevice();
  // Input must work again after the switch back: what went with the device comes back.
  BroadcastGraphicsEvent(GraphicsEvent::DeviceRemade);
  if (!g_device.hardware) {
    FallBackToSoftware();
    RunGraphRestoreHandler();
  } else {
    if (was_software) MoveGraphsToTheDevice();
    RecreateAllGraphTextures();
    RecreateMaskScreen();
    TransformState kept = *GetTransformState();
    SelectDrawScreen(g_draw.draw_screen);
    ApplyDefaultRenderStates();
    for (int i = 0; i < 2; i++) {
      WipeDrawScreen();
      PresentScreen();
    }
    RunGraphRestoreHandler();
    ReapplyRenderStates();
    RestoreAllModelBuffers();
    MarkLightsForResend();
    SetWorldMatrix(&GetTransformState()->world);
    SetViewMatrix(&kept.view);
    SetProjectionMatrix(&kept.projection);
    SetViewportMatrix(&kept.viewport);
  }
  BroadcastGraphicsEvent(GraphicsEvent::DeviceRestored);
  return 0;
}
