// Writes palette PNG files through libpng: the form every picture the
// generator makes is stored in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PaletteColour {
  uint8_t r, g, b, a;  // a < 255 puts the entry into the tRNS chunk
};

struct IndexedImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // one palette index per pixel, row-major
  std::vector<PaletteColour> palette;
};

// Writes `image` with the smallest of the bit depths 1, 2, 4 and 8 that holds
// its palette (entries with alpha below 255 go into the transparency chunk).
// Returns false with a message on standard error when it cannot be written.
bool WritePalettePng(const std::string& path, const IndexedImage& image);
