// Small helpers for the software renderer tests: images held by RAII
// wrappers, draw-state set-up and pixel access.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/softrender/blend.h"
#include "engine/softrender/memimg.h"

struct TestImage {
  MEMIMG view{};
  TestImage() = default;
  TestImage(int w, int h, int fmt, int palette = 0, int alpha = 0, uint32_t key = 0, int work_tables = 0) {
    EXPECT_EQ(0, SetupMEMIMG(&view, w, h, -1, key, fmt, palette, alpha, work_tables, nullptr));
  }
  ~TestImage() { ReleaseMEMIMG(&view); }
  TestImage(const TestImage&) = delete;
  TestImage& operator=(const TestImage&) = delete;
  MEMIMG* operator&() { return &view; }
  PIXELSTORE* store() { return view.store; }
  int bpp() const { return view.store->format->bytes_per_pixel; }
  uint8_t* at(int x, int y) { return view.pixels + (size_t)y * view.store->pitch + (size_t)x * bpp(); }
  uint32_t get(int x, int y) {
    switch (bpp()) {
      case 1: return *at(x, y);
      case 2: return LoadPixel16(at(x, y));
      default: return LoadPixel32(at(x, y));
    }
  }
  void set(int x, int y, uint32_t v) {
    switch (bpp()) {
      case 1: *at(x, y) = (uint8_t)v; break;
      case 2: StorePixel16(at(x, y), v); break;
      default: StorePixel32(at(x, y), v); break;
    }
  }
  std::vector<uint32_t> pixels() {
    std::vector<uint32_t> out;
    for (int y = 0; y < view.height; y++)
      for (int x = 0; x < view.width; x++) out.push_back(get(x, y));
    return out;
  }
};

// Builds the run table of a whole-store image from its own pixels with a
// whole-image write (the palette is kept through it).
inline void BuildRunTable(TestImage& img) {
  const int w = img.view.width, h = img.view.height;
  BASEIMAGE image{};
  image.format = *img.store()->format;
  image.width = w;
  image.height = h;
  image.pitch = img.store()->pitch;
  std::vector<uint8_t> copy(img.view.pixels, img.view.pixels + (size_t)image.pitch * h);
  image.pixels = copy.data();
  if (img.store()->palette)
    for (int i = 0; i < 256; i++) {
      uint32_t e = img.store()->format_code == 0 ? LoadPixel16(img.store()->palette + 2 * i)
                                                 : LoadPixel32(img.store()->palette + 4 * i);
      uint32_t r = img.store()->format_code == 0 ? ((e >> 11) & 31) << 3 : (e >> 16) & 0xFF;
      uint32_t g = img.store()->format_code == 0 ? ((e >> 5) & 63) << 2 : (e >> 8) & 0xFF;
      uint32_t b = img.store()->format_code == 0 ? (e & 31) << 3 : e & 0xFF;
      image.format.palette[i] = PaletteEntry{(uint8_t)b, (uint8_t)g, (uint8_t)r, 0};
    }
  ASSERT_EQ(0, WriteBaseImageToMEMIMG(&image, nullptr, &img.view, 0, 0, w, h, 0, 0, 0));
  ASSERT_EQ(1, img.store()->run_table_valid);
}

// Draw state for a test: area = the whole of a w x h target.
inline void SetDrawState(int mode, int p, uint32_t bright, int w, int h) {
  static bool tables = (BuildSoftBlendTables(), true);
  (void)tables;
  g_soft_draw.blend_mode = mode;
  g_soft_draw.blend_param = p;
  g_soft_draw.draw_bright = bright;
  g_soft_draw.draw_area[0] = 0;
  g_soft_draw.draw_area[1] = 0;
  g_soft_draw.draw_area[2] = w;
  g_soft_draw.draw_area[3] = h;
}
