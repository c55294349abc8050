#include "tests/game/headless_engine.h"

#include <gtest/gtest.h>

#include "engine/core/engine_start.h"
#include "engine/core/log.h"
#include "engine/core/window.h"
#include "engine/graphics/graphics.h"
#include "engine/runtime/engine_runtime.h"

bool StartHeadlessEngine() {
  static const bool started = [] {
    InstallEngineServices();
    SetLogOutput(0);
    ChangeWindowMode(1);
    SetAllowDoubleStart(1);
    SetRunWhileInactive(1);
    RequestScreenMode(640, 480, 16, 60);
    if (InitEngine() != 0) return false;
    SelectDrawScreen(DRAW_SCREEN_BACK);
    // Ended with the test program's environments, before static objects the
    // engine's end still uses are destroyed.
    struct Ender : ::testing::Environment {
      void TearDown() override { EndEngine(); }
    };
    ::testing::AddGlobalTestEnvironment(new Ender);
    return true;
  }();
  return started;
}
