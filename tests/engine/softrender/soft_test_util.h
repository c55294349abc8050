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
