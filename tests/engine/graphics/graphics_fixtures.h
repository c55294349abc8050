// Engine graphics started headless over the software renderer (no other
// subsystem registered), in a temporary folder that holds the engine log, with helpers that make graphs
// from pixel lists and read the screen image back; PNG files come from
// tests/support/png_file.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/graphics/graphics.h"
#include "engine/image/base_image.h"
#include "tests/support/png_file.h"
#include "tests/support/temp_dir.h"

struct Rgba {
  int r, g, b, a;
  bool operator==(const Rgba& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

// An A8R8G8B8 base image of w x h filled by fn(x, y).
template <class Fn>
BASEIMAGE MakeImage(int w, int h, Fn fn) {
  BASEIMAGE image{};
  MakeArgbBaseImage(w, h, &image);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      Rgba c = fn(x, y);
      PutBaseImagePixel(&image, x, y, c.r, c.g, c.b, c.a);
    }
  return image;
}

// Colour of a pixel of a memory image (alpha 255 when it has none).
Rgba MemImgPixel(const MEMIMG* image, int x, int y);
Rgba ScreenPixel(int x, int y);
// The screen image as tightly packed RGB rows.
std::vector<uint8_t> ScreenRgb(int* width, int* height);

class GraphicsTest : public TempDirTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Ends graphics if started, sets the mode and starts again.
  void Restart(int width, int height, int depth);
  int depth_ = 32;
  int blocks_before_ = 0;
};

// A graph of w x h with pixels fn(x, y) (opaque image, no alpha channel).
template <class Fn>
int MakeGraph(int w, int h, Fn fn) {
  BASEIMAGE image = MakeImage(w, h, [&](int x, int y) {
    Rgba c = fn(x, y);
    c.a = 255;
    return c;
  });
  image.format.alpha_width = 0;  // drawn as an opaque picture
  BASEIMAGE xrgb{};
  MakeXrgbBaseImage(w, h, &xrgb);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      Rgba c = fn(x, y);
      PutBaseImagePixel(&xrgb, x, y, c.r, c.g, c.b, 255);
    }
  DisposeBaseImage(&image);
  int graph = CreateGraphFromImage(&xrgb, nullptr, 0, 0, 0);
  DisposeBaseImage(&xrgb);
  return graph;
}

inline int SolidGraph(int w, int h, Rgba c) {
  return MakeGraph(w, h, [&](int, int) { return c; });
}
