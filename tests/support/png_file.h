// Pictures the tests leave for a reader to look at: 0x00RRGGBB pixels
// written as an RGB PNG file.
#pragma once

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

inline bool WriteRgbPng(const std::string& path, const std::vector<uint32_t>& pixels, int width, int height) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<uint8_t> row((size_t)width * 3);
  bool ok = png && info;
  if (ok && setjmp(png_jmpbuf(png))) ok = false;
  if (ok) {
    png_init_io(png, file);
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; y++) {
      for (int x = 0; x < width; x++) {
        const uint32_t p = pixels[(size_t)y * width + x];
        row[x * 3] = (uint8_t)(p >> 16);
        row[x * 3 + 1] = (uint8_t)(p >> 8);
        row[x * 3 + 2] = (uint8_t)p;
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
  }
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0 && ok;
}
