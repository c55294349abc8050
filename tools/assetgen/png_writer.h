// Writes the generator's pictures: palette PNG files (the opponents'
// pictures), colour PNG files with or without opacity, and JPEG files,
// through libpng and libjpeg.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

struct RgbaImage;

struct PaletteColour {
  uint8_t r, g, b, a;  // a < 255 puts the entry into the tRNS chunk
};

struct IndexedImage {
  using Ink = uint8_t;  // a palette index
  static constexpr int kSamples = 1;
  void Put(int x, int y, uint8_t ink, double) { pixels[(size_t)y * width + x] = ink; }
  void Fill(uint8_t ink) { std::fill(pixels.begin(), pixels.end(), ink); }
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // one palette index per pixel, row-major
  std::vector<PaletteColour> palette;
};

// Writes `image` with the smallest of the bit depths 1, 2, 4 and 8 that holds
// its palette (entries with alpha below 255 go into the transparency chunk).
// Every writer returns false with a message on standard error when it cannot
// write the file.
bool WritePalettePng(const std::string& path, const IndexedImage& image);
// 8 bits per channel, with the opacity channel only when `alpha`. The colours
// are dithered to 8 bits (a repeatable pattern), so smooth gradients keep no
// visible steps.
bool WriteColourPng(const std::string& path, const RgbaImage& image, bool alpha);
// Opaque; quality 0..100.
bool WriteJpeg(const std::string& path, const RgbaImage& image, int quality);
