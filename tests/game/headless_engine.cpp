#include "tests/game/headless_engine.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/core/engine_start.h"
#include "engine/core/log.h"
#include "engine/core/window.h"
#include "engine/graphics/graphics.h"
#include "engine/runtime/engine_runtime.h"
#include "engine/softrender/memimg.h"
#include "game/test_script.h"

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

uint32_t ScreenPixel(int x, int y) {
  const MEMIMG* screen = GetScreenMemImage();
  if (!screen || x < 0 || y < 0 || x >= screen->width || y >= screen->height) return 0;
  const uint8_t* row = screen->pixels + (size_t)y * screen->store->pitch;
  const uint32_t p =
      screen->store->format->bytes_per_pixel == 2 ? ((const uint16_t*)row)[x] : ((const uint32_t*)row)[x];
  int r, g, b;
  UnpackScreenColor(p, &r, &g, &b);
  return (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b;
}

bool WriteScreenPng(const std::string& path) {
  const MEMIMG* screen = GetScreenMemImage();
  if (!screen) return false;
  std::vector<uint32_t> pixels((size_t)screen->width * screen->height);
  for (int y = 0; y < screen->height; ++y)
    for (int x = 0; x < screen->width; ++x) pixels[(size_t)y * screen->width + x] = ScreenPixel(x, y);
  return write_png_file(path.c_str(), pixels, screen->width, screen->height);
}
