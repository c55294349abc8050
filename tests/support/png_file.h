// PNG files the tests make: pictures for the loaders to read, and pictures
// the tests leave for a reader to look at.
#pragma once

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// PNG bytes of 8-bit rows of RGBA pixels (4 bytes each) or RGB pixels (3
// bytes each); empty when libpng fails.
inline std::string EncodePng(int width, int height, const std::vector<uint8_t>& pixels, bool has_alpha) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return std::string();
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t length) {
        static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(data), length);
      },
      [](png_structp) {});
  png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8,
               has_alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t row = (size_t)width * (has_alpha ? 4 : 3);
  for (int y = 0; y < height; y++) png_write_row(png, const_cast<png_bytep>(pixels.data() + row * y));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// 0x00RRGGBB pixels written as an RGB PNG file.
inline bool WriteRgbPng(const std::string& path, const std::vector<uint32_t>& pixels, int width, int height) {
  std::vector<uint8_t> rgb;
  rgb.reserve((size_t)width * height * 3);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) {
      const uint32_t p = pixels[(size_t)y * width + x];
      rgb.push_back((uint8_t)(p >> 16));
      rgb.push_back((uint8_t)(p >> 8));
      rgb.push_back((uint8_t)p);
    }
  const std::string png = EncodePng(width, height, rgb, false);
  if (png.empty()) return false;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && written;
}
