// Graphics as the engine core sees it: started after sound and before text
// input, ended after the model runtime; the screen's size and modes for
// start-up and the window, its presentation and restore at window events,
// and its colours for the on-screen log.
#include "engine/graphics/graphics_subsystem.h"

#include "engine/core/engine_subsystem.h"
#include "engine/graphics/graphics.h"

namespace {

int DisplayMode(int index, int* width, int* height) {
  DisplayModeEntry e = GetDisplayModeEntry(index);
  *width = e.width;
  *height = e.height;
  return e.width < 0 ? -1 : 0;
}
int ClearRestoreHandler() { return SetGraphRestoreHandler(nullptr); }
int SwapVsyncWait(int on) {
  int before = GetVerticalSyncWait();
  SetVerticalSyncWait(on);
  return before;
}
// Graphs are always refilled, by the default reload when the program
// registered nothing, so the engine never has to end for want of a handler.
int AlwaysRestorable() { return 1; }
int HasDirectDraw() { return GetDirectDrawObject() != nullptr; }
int ReapplyScreenMode() { return ApplyScreenMode(-1, -1, -1, 1, -1); }

}  // namespace

constinit const EngineSubsystem kGraphicsSubsystem{
    .id = SubsystemId::Graphics,
    .start = StartGraphics,
    .end = EndGraphics,
    .screen_size = GetScreenSizeOrDefault,
    .requested_screen_depth = GetScreenBitDepth,
    .display_mode_count = GetDisplayModeCount,
    .display_mode = DisplayMode,
    .clear_restore_handler = ClearRestoreHandler,
    .swap_vsync_wait = SwapVsyncWait,
    .select_draw_screen = SelectDrawScreen,
    .current_draw_screen = CurrentDrawScreen,
    .present_screen = PresentScreen,
    .restore_graphics_device = RestoreGraphicsDevice,
    .has_restore_handler = AlwaysRestorable,
    .is_hardware_rendering = IsHardwareRendererInUse,
    .has_directdraw = HasDirectDraw,
    .reapply_screen_mode = ReapplyScreenMode,
    .pack_colour = PackScreenColor,
};

constinit const EngineSubsystem kModelRuntimeSubsystem{
    .id = SubsystemId::ModelRuntime,
    .start = StartModelRuntime,
    .end = EndModelRuntime,
};
