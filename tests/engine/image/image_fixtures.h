// Small image files built in code for the decoder and loader tests: BMP,
// TGA, DDS and raw bytes written field by field, PNG and JPEG written with
// the libraries themselves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/image/base_image.h"
#include "engine/image/image_load.h"

using Bytes = std::vector<uint8_t>;

void PutLe16(Bytes& b, uint32_t v);
void PutLe32(Bytes& b, uint32_t v);

// A BMP with a 40-byte info header. `palette` holds 4-byte entries (blue,
// green, red, reserved); `masks` (three words) follow the header when set.
Bytes MakeBmp(int width, int height, int bit_count, uint32_t compression, const Bytes& palette, const Bytes& data,
              const std::vector<uint32_t>& masks = {});

// TGA header + optional colour map + data, optionally with the footer.
Bytes MakeTga(int type, int width, int height, int depth, int descriptor, const Bytes& colour_map, int map_first,
              int map_entry_bits, const Bytes& data, bool footer = false);

// Raw BGRA: the "BGRA" tag, the four channels' bit counts (a byte each),
// width, height, then the pixels.
Bytes MakeRawBgra(uint32_t channel_bits, int width, int height, const Bytes& data);

// DDS with the real header layout; pixel-format fields given directly.
struct DdsSpec {
  uint32_t width = 4, height = 4;
  uint32_t flags = 0x1007;
  uint32_t pitch = 0;
  uint32_t mip_count = 0;
  uint32_t pf_flags = 0x4;
  uint32_t fourcc = 0;
  uint32_t rgb_bits = 0;
  uint32_t masks[4] = {0, 0, 0, 0};
  uint32_t caps = 0x1000;
};
Bytes MakeDds(const DdsSpec& spec, const Bytes& data);
uint32_t FourCCOf(const char* s);

// PNG of the given colour type and bit depth; rows as libpng expects them.
Bytes MakePng(int width, int height, int colour_type, int bit_depth, const std::vector<Bytes>& rows,
              const Bytes& palette_rgb = {}, const Bytes& trns = {}, bool interlaced = false);
// JPEG of 1 or 3 components; `pixels` row by row (RGB or grey).
Bytes MakeJpeg(int width, int height, int components, const Bytes& pixels, bool progressive = false,
               int quality = 95);

// Runs one decoder over a memory block.
int DecodeWith(ImageDecoder decoder, const Bytes& bytes, BASEIMAGE* image);
// Loads through the whole decoder table from memory.
int LoadFromMemory(const Bytes& bytes, BASEIMAGE* image, int mirror = 0);

// A pixel of a decoded image as 0xAARRGGBB through PeekBaseImagePixel.
uint32_t Peek(BASEIMAGE* image, int x, int y);
