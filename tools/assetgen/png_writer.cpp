#include "tools/assetgen/png_writer.h"

#include <png.h>

#include <cstdio>

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
