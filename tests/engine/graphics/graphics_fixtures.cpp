#include "tests/engine/graphics/graphics_fixtures.h"

#include <png.h>

#include "engine/core/alloc.h"
#include "engine/core/engine_state.h"
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

namespace {
void PngWrite(png_structp png, png_bytep data, png_size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}
void PngFlush(png_structp) {}
}  // namespace

std::string EncodePng(int width, int height, const std::vector<uint8_t>& pixels, bool has_alpha) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return std::string();
  }
  png_set_write_fn(png, &out, PngWrite, PngFlush);
  png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8,
               has_alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  size_t row = (size_t)width * (has_alpha ? 4 : 3);
  for (int y = 0; y < height; y++) png_write_row(png, const_cast<png_bytep>(pixels.data() + row * y));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

void GraphicsTest::SetUp() {
  TempDirTest::SetUp();
  CopyStringBounded(g_engine.start_directory, dir().c_str(), sizeof g_engine.start_directory);
  g_engine.log_off = 0;
  StartLogFile();
  SetGraphicsHost(nullptr);
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
  SetUseHardwareRenderer(1);
  SetHalfScreenDoubling(0);
  // Everything graphics allocated has been given back.
  EXPECT_EQ(TrackedBlockCount(), blocks_before_);
  g_engine.start_directory[0] = 0;
  TempDirTest::TearDown();
}
