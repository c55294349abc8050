// The whole engine on a display without a monitor: SDL's offscreen video
// driver (the dummy one where offscreen is not built into SDL), started once
// for the program and kept up, as the game keeps it; the engine is ended
// after every test.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/core/engine_start.h"
#include "tests/support/temp_dir.h"

class EngineDisplayTest : public TempDirTest {
 protected:
  static void SetUpTestSuite() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
      setenv("SDL_VIDEODRIVER", "dummy", 1);
      SDL_InitSubSystem(SDL_INIT_VIDEO);
    }
  }
  void TearDown() override {
    EndEngine();
    TempDirTest::TearDown();
  }
};
