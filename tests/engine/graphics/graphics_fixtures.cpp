#include "tests/engine/graphics/graphics_fixtures.h"

#include "engine/core/alloc.h"
#include "engine/core/engine_state.h"
#include "engine/core/engine_subsystem.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "engine/graphics/graphics_host.h"
#include "engine/softrender/memimg.h"

Rgba MemImgPixel(const MEMIMG* image, int x, int y) {
  const PIXELSTORE* s = image->store;
  int bpp = s->format->bytes_per_pixel;
  const uint8_t* p = image->pixels + (size_t)y * s->pitch + (size_t)x * bpp;
  uint32_t v = bpp == 2 ? LoadPixel16(p) : LoadPixel32(p);
  uint32_t r, g, b, a;
  DecodePixelColor(s->format, v, &r, &g, &b, &a);
  if (s->format->alpha_width == 0) a = 255;
  return {(int)r, (int)g, (int)b, (int)a};
}

Rgba ScreenPixel(int x, int y) { return MemImgPixel(GetScreenMemImage(), x, y); }

std::vector<uint8_t> ScreenRgb(int* width, int* height) {
  MEMIMG* screen = GetScreenMemImage();
  *width = screen->width;
  *height = screen->height;
  std::vector<uint8_t> out;
  out.reserve((size_t)screen->width * screen->height * 3);
  for (int y = 0; y < screen->height; y++)
    for (int x = 0; x < screen->width; x++) {
      Rgba c = MemImgPixel(screen, x, y);
      out.push_back((uint8_t)c.r);
      out.push_back((uint8_t)c.g);
      out.push_back((uint8_t)c.b);
    }
  return out;
}

void GraphicsTest::SetUp() {
  TempDirTest::SetUp();
  CopyStringBounded(g_engine.start_directory, dir().c_str(), sizeof g_engine.start_directory);
  g_engine.log_off = 0;
  StartLogFile();
  SetGraphicsHost(nullptr);
  ResetEngineSubsystems();
  blocks_before_ = TrackedBlockCount();
  Restart(640, 480, depth_);
}

void GraphicsTest::Restart(int width, int height, int depth) {
  EndGraphics();
  ASSERT_EQ(RequestScreenMode(width, height, depth, 60), 0);
  ASSERT_EQ(StartGraphics(), 0);
  SelectDrawScreen(DRAW_SCREEN_BACK);
}

void GraphicsTest::TearDown() {
  EndGraphics();
  SetGraphicsHost(nullptr);
  SetGraphMovieSource(nullptr);
  ResetEngineSubsystems();
  SetUseHardwareRenderer(1);
  SetHalfScreenDoubling(0);
  // Everything graphics allocated has been given back.
  EXPECT_EQ(TrackedBlockCount(), blocks_before_);
  g_engine.start_directory[0] = 0;
  TempDirTest::TearDown();
}
