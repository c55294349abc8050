// Expansion of DXT1-5 block-compressed base images into A8R8G8B8 pixels.
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/image/base_image.h"
#include "engine/image/image_internal.h"

namespace {

struct Rgba {
  uint8_t b, g, r, a;
};

Rgba Expand565(uint16_t c) {
  return Rgba{(uint8_t)((c & 0x1F) * 255 / 31), (uint8_t)(((c >> 5) & 0x3F) * 255 / 63),
              (uint8_t)(((c >> 11) & 0x1F) * 255 / 31), 255};
}

void DecodeColourBlock(const uint8_t* block, bool allow_three_colour, Rgba out[16]) {
  uint16_t c0 = ReadLe16(block), c1 = ReadLe16(block + 2);
  uint32_t indices = ReadLe32(block + 4);
  Rgba e[4];
  e[0] = Expand565(c0);
  e[1] = Expand565(c1);
  if (!allow_three_colour || c0 > c1) {
    e[2] = Rgba{(uint8_t)((2 * e[0].b + e[1].b) / 3), (uint8_t)((2 * e[0].g + e[1].g) / 3),
                (uint8_t)((2 * e[0].r + e[1].r) / 3), 255};
    e[3] = Rgba{(uint8_t)((e[0].b + 2 * e[1].b) / 3), (uint8_t)((e[0].g + 2 * e[1].g) / 3),
                (uint8_t)((e[0].r + 2 * e[1].r) / 3), 255};
  } else {
    e[2] = Rgba{(uint8_t)((e[0].b + e[1].b) / 2), (uint8_t)((e[0].g + e[1].g) / 2), (uint8_t)((e[0].r + e[1].r) / 2),
                255};
    e[3] = Rgba{0, 0, 0, 0};
  }
  for (int i = 0; i < 16; ++i) out[i] = e[(indices >> (2 * i)) & 3];
}

void DecodeExplicitAlpha(const uint8_t* block, Rgba out[16]) {
  for (int half = 0; half < 2; ++half) {
    uint32_t word = ReadLe32(block + 4 * half);
    for (int i = 0; i < 8; ++i) out[half * 8 + i].a = (uint8_t)(((word >> (4 * i)) & 0xF) * 17);
  }
}

void DecodeInterpolatedAlpha(const uint8_t* block, Rgba out[16]) {
  int a0 = block[0], a1 = block[1];
  int table[8] = {a0, a1};
  if (a0 > a1) {
    for (int i = 1; i <= 6; ++i) table[i + 1] = ((7 - i) * a0 + i * a1) / 7;
  } else {
    for (int i = 1; i <= 4; ++i) table[i + 1] = ((5 - i) * a0 + i * a1) / 5;
    table[6] = 0;
    table[7] = 255;
  }
  for (int half = 0; half < 2; ++half) {
    const uint8_t* g = block + 2 + 3 * half;
    uint32_t bits = ReadLe24(g);
    for (int i = 0; i < 8; ++i) out[half * 8 + i].a = (uint8_t)table[(bits >> (3 * i)) & 7];
  }
}

// Premultiplied colour back to straight colour. A transparent pixel has no
// recoverable colour and becomes black; a channel above its alpha is clamped.
void Unpremultiply(Rgba px[16]) {
  for (int i = 0; i < 16; ++i) {
    Rgba& p = px[i];
    if (p.a == 0) {
      p.r = p.g = p.b = 0;
      continue;
    }
    auto div = [&](uint8_t c) { unsigned v = c * 255u / p.a; return (uint8_t)(v > 255 ? 255 : v); };
    p.r = div(p.r);
    p.g = div(p.g);
    p.b = div(p.b);
  }
}

}  // namespace

int DxtBlockBytes(uint32_t kind) { return kind == 1 ? 8 : 16; }

int ExpandCompressedBaseImage(BASEIMAGE* image) {
  uint32_t kind = image->format.dxt_kind;
  if (kind == 0) return 0;
  if (kind > 5 || !image->pixels) return -1;
  int width = image->width, height = image->height;
  int64_t row = 0;
  uint64_t bytes = CheckedImageBytes(width, height, 4, 1, &row);
  if (!bytes) return -1;
  // Zeroed so that pixels no block covers are defined.
  uint8_t* out = (uint8_t*)TrackedCalloc((uint32_t)bytes, "", 0);
  if (!out) return -1;
  // Partial blocks at the right and bottom edges are stored like whole ones
  // and clipped to the image while they are written.
  int blocks_x = (width + 3) / 4, blocks_y = (height + 3) / 4;
  int block_bytes = DxtBlockBytes(kind);
  const uint8_t* src = image->pixels;
  Rgba px[16];
  for (int by = 0; by < blocks_y; ++by) {
    for (int bx = 0; bx < blocks_x; ++bx, src += block_bytes) {
      if (kind == 1) {
        DecodeColourBlock(src, true, px);
      } else {
        DecodeColourBlock(src + 8, false, px);
        if (kind <= 3)
          DecodeExplicitAlpha(src, px);
        else
          DecodeInterpolatedAlpha(src, px);
        if (kind == 2 || kind == 4) Unpremultiply(px);
      }
      for (int y = 0; y < 4 && by * 4 + y < height; ++y) {
        for (int x = 0; x < 4 && bx * 4 + x < width; ++x) {
          std::memcpy(out + (int64_t)(by * 4 + y) * row + (int64_t)(bx * 4 + x) * 4, &px[y * 4 + x], 4);
        }
      }
    }
  }
  TrackedFree(image->pixels);
  image->pixels = out;
  InitArgbPixelFormat(&image->format);
  image->pitch = (int32_t)row;
  // The mip levels lived in the old memory; the new memory holds one level.
  image->mip_count = 0;
  return 0;
}
