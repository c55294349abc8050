#include "tools/assetgen/png_writer.h"

#include <jpeglib.h>
#include <png.h>

#include <cmath>
#include <cstdio>

#include "tools/assetgen/picture.h"

namespace {

// Ordered dither offsets in 1/16 of a step, so that a gradient that changes
// by less than one step across many pixels still changes smoothly.
constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

uint8_t Quantise(float v, int x, int y) {
  const double d = (kBayer[y & 3][x & 3] + 0.5) / 16.0;
  return (uint8_t)std::clamp((int)std::floor(v * 255.0 + d), 0, 255);
}

// 8-bit channels in R, G, B(, A) order. An opaque picture keeps no pixel
// that a 16-bit screen would read as the engine's colour key (black).
std::vector<uint8_t> Bytes(const RgbaImage& image, bool alpha) {
  const int channels = alpha ? 4 : 3;
  std::vector<uint8_t> out((size_t)image.width * image.height * channels);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const Rgba& c = image.at(x, y);
      uint8_t* p = &out[((size_t)y * image.width + x) * channels];
      if (alpha) {
        p[3] = Quantise(c.a, x, y);
        if (p[3] == 0) continue;  // fully clear pixels stay 0, 0, 0, 0
      }
      p[0] = Quantise(c.r, x, y);
      p[1] = Quantise(c.g, x, y);
      p[2] = Quantise(c.b, x, y);
      if (!alpha && p[0] < 8 && p[1] < 4 && p[2] < 8) p[2] = 8;
    }
  }
  return out;
}

}  // namespace

bool WritePalettePng(const std::string& path, const IndexedImage& image) {
  const size_t entries = image.palette.size();
  if (entries < 1 || entries > 256 || image.pixels.size() != (size_t)image.width * image.height) {
    std::fprintf(stderr, "assetgen: bad image for %s\n", path.c_str());
    return false;
  }
  std::vector<uint8_t> colourmap;
  for (const PaletteColour& c : image.palette) colourmap.insert(colourmap.end(), {c.r, c.g, c.b, c.a});
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = (png_uint_32)image.width;
  png.height = (png_uint_32)image.height;
  png.format = PNG_FORMAT_RGBA_COLORMAP;
  png.colormap_entries = (png_uint_32)entries;
  if (!png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), image.width, colourmap.data())) {
    std::fprintf(stderr, "assetgen: %s: %s\n", path.c_str(), png.message);
    png_image_free(&png);
    return false;
  }
  return true;
}

bool WriteColourPng(const std::string& path, const RgbaImage& image, bool alpha) {
  const std::vector<uint8_t> bytes = Bytes(image, alpha);
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = (png_uint_32)image.width;
  png.height = (png_uint_32)image.height;
  png.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  if (!png_image_write_to_file(&png, path.c_str(), 0, bytes.data(), 0, nullptr)) {
    std::fprintf(stderr, "assetgen: %s: %s\n", path.c_str(), png.message);
    png_image_free(&png);
    return false;
  }
  return true;
}

bool WriteJpeg(const std::string& path, const RgbaImage& image, int quality) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    return false;
  }
  std::vector<uint8_t> bytes = Bytes(image, false);
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = (JDIMENSION)image.width;
  cinfo.image_height = (JDIMENSION)image.height;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  // Full-resolution colour: the pictures have small coloured detail.
  cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 1;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = &bytes[(size_t)cinfo.next_scanline * image.width * 3];
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  const bool ok = !std::ferror(f);
  if (std::fclose(f) != 0 || !ok) {
    std::fprintf(stderr, "assetgen: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}
