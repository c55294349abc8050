// Small memory images built by hand for the shape writers' tests, and a
// fixture that puts the draw state and the blend tables in a known state.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/softrender/blend.h"
#include "engine/softrender/memimg.h"

// Kept in a namespace of its own: other tests of this program have image
// helpers of their own.
namespace shapetest {

// A view over a store of its own; pixels and palette live in vectors.
struct ShapeImage {
  PIXELSTORE store{};
  MEMIMG view{};
  std::vector<uint8_t> pixels;
  std::vector<uint8_t> palette;

  // format 0 or 1 (or 2, 3); palette: 1-byte indices; alpha: 4-byte pixels.
  ShapeImage(int width, int height, int format, bool paletted = false, bool alpha = false, int extra_pitch = 0) {
    int bytes = paletted ? 1 : (alpha && format == MEMIMG_R5G6B5) ? 4 : kMemImgBytesPerPixel[format];
    store.ref_count = 1;
    store.width = width;
    store.height = height;
    store.pitch = width * bytes + extra_pitch;
    store.pitch_exponent = -1;
    store.format_code = format;
    store.palette_flag = paletted ? 1 : 0;
    store.alpha_flag = alpha ? 1 : 0;
    pixels.assign((size_t)store.pitch * height, 0);
    store.pixel_memory = pixels.data();
    if (paletted) {
      palette.assign(2048, 0);
      store.palette = palette.data();
      store.palette2 = palette.data() + 1024;
    }
    view.magic = MEMIMG_MAGIC;
    view.width = width;
    view.height = height;
    view.pixels = pixels.data();
    view.store = &store;
  }
  ShapeImage(const ShapeImage&) = delete;
  ShapeImage& operator=(const ShapeImage&) = delete;

  MEMIMG* img() { return &view; }
  int BytesPerPixel() const {
    if (store.palette_flag) return 1;
    if (store.alpha_flag && store.format_code == MEMIMG_R5G6B5) return 4;
    return kMemImgBytesPerPixel[store.format_code];
  }
  uint8_t* at(int x, int y) { return pixels.data() + (size_t)y * store.pitch + (size_t)x * BytesPerPixel(); }
  uint32_t get(int x, int y) {
    uint32_t v = 0;
    std::memcpy(&v, at(x, y), BytesPerPixel());
    return v;
  }
  void set(int x, int y, uint32_t v) { std::memcpy(at(x, y), &v, BytesPerPixel()); }
  void fill(uint32_t v) {
    for (int y = 0; y < view.height; y++)
      for (int x = 0; x < view.width; x++) set(x, y, v);
  }
  void set_palette16(int i, uint32_t v) { std::memcpy(palette.data() + i * 2, &v, 2); }
  void set_palette32(int i, uint32_t v) { std::memcpy(palette.data() + i * 4, &v, 4); }
};

// The seed of a random test: fixed, so that runs repeat, unless VOX_TEST_SEED
// names another. Printed by the caller.
inline uint32_t ShapeTestSeed() {
  const char* env = std::getenv("VOX_TEST_SEED");
  return env ? (uint32_t)std::strtoul(env, nullptr, 10) : 20261209u;
}

inline uint32_t Rgb565(uint32_t r, uint32_t g, uint32_t b) { return (r << 11) | (g << 5) | b; }
inline uint32_t R565(uint32_t v) { return (v >> 11) & 31; }
inline uint32_t G565(uint32_t v) { return (v >> 5) & 63; }
inline uint32_t B565(uint32_t v) { return v & 31; }

// Blend tables built, identity ramp, a draw area covering (0, 0, w, h),
// Copy at p = 255, white bright, no blend graph.
class ShapeDrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static bool built = false;
    if (!built) {
      BuildSoftBlendTables();
      built = true;
    }
    std::memcpy(saved_ramp_, BlendGraphRamp, sizeof saved_ramp_);
    for (int i = 0; i < 256; i++) BlendGraphRamp[i] = (uint8_t)i;
    saved_ = g_soft_draw;
    SetArea(0, 0, 64, 64);
    g_soft_draw.blend_mode = SOFT_BLEND_COPY;
    g_soft_draw.blend_param = 255;
    g_soft_draw.draw_bright = SOFT_BRIGHT_WHITE;
    g_soft_draw.blend_graph = nullptr;
  }
  void TearDown() override {
    g_soft_draw = saved_;
    std::memcpy(BlendGraphRamp, saved_ramp_, sizeof saved_ramp_);
  }
  static void SetArea(int x1, int y1, int x2, int y2) {
    g_soft_draw.draw_area[0] = x1;
    g_soft_draw.draw_area[1] = y1;
    g_soft_draw.draw_area[2] = x2;
    g_soft_draw.draw_area[3] = y2;
  }
  static void SetBlend(int mode, int param) {
    g_soft_draw.blend_mode = mode;
    g_soft_draw.blend_param = param;
  }

 private:
  SoftDrawState saved_;
  uint8_t saved_ramp_[256];
};

}  // namespace shapetest
