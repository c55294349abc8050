// Colour formats and base images: the record that says how a pixel's bits map
// to red, green, blue and alpha, the decoded-image record built on it, and
// the operations that pack, unpack, expand, read, write and convert pixels.
#pragma once

#include <cstddef>
#include <cstdint>

// One palette entry of a 1-byte format, stored blue, green, red, alpha: read
// as a little-endian 32-bit word it is an X8R8G8B8 value.
struct PaletteEntry {
  uint8_t blue;
  uint8_t green;
  uint8_t red;
  uint8_t alpha;
};

struct PIXELFORMAT {
  uint16_t bits_per_pixel;   // 8, 16, 24, 32; 4 (DXT1) or 8 (DXT2-5) for blocks
  uint16_t bytes_per_pixel;  // 1, 2, 3, 4 (4 for a block-compressed image)
  uint8_t red_width, green_width, blue_width, alpha_width;  // 0 = channel absent
  uint8_t red_shift, green_shift, blue_shift, alpha_shift;
  uint32_t red_mask, green_mask, blue_mask, alpha_mask;
  uint32_t spare_mask;  // bits no channel covers; packing sets them to 1
  PaletteEntry palette[256];
  uint8_t spare_shift, spare_width;  // lowest run of spare bits (never read)
  uint32_t dxt_kind;  // 0 ordinary pixels, 1-5: the memory holds DXT1-5 blocks
};

struct BASEIMAGE {
  PIXELFORMAT format;
  int32_t width;
  int32_t height;
  int32_t pitch;    // bytes from one row to the next (0 for block images)
  uint8_t* pixels;  // tracking allocator; owned by the holder of the record
  int32_t mip_count;  // 0, or the number of levels stored one after another
};

// A rectangle of pixels; right and bottom are exclusive.
struct PixelRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

// Largest pixel memory any decoder or creation accepts for one image, so a
// hostile size field cannot ask for an absurd allocation.
constexpr uint64_t MAX_IMAGE_BYTES = 256u * 1024u * 1024u;

// ---- colour formats ---------------------------------------------------------
int InitPalettedPixelFormat(PIXELFORMAT* format);  // palette left to the caller
int InitGreyPixelFormat(PIXELFORMAT* format);      // palette i = (i, i, i, 0)
int InitXrgbPixelFormat(PIXELFORMAT* format);      // X8R8G8B8
int InitArgbPixelFormat(PIXELFORMAT* format);      // A8R8G8B8
int InitRgb24PixelFormat(PIXELFORMAT* format);     // R8G8B8
int InitPixelFormatFromMasks(PIXELFORMAT* format, int bits_per_pixel, uint32_t red_mask, uint32_t green_mask,
                             uint32_t blue_mask, uint32_t alpha_mask);
int FixSparePixelMask(PIXELFORMAT* format);
// Channel values 0..255. A 1-byte format answers the nearest palette index.
uint32_t EncodePixelColor(const PIXELFORMAT* format, uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha);
// Out pointers may be null. Alpha (and any absent channel) unpacks as 0.
int DecodePixelColor(const PIXELFORMAT* format, uint32_t value, uint32_t* red, uint32_t* green, uint32_t* blue,
                     uint32_t* alpha);

// ---- base images ------------------------------------------------------------
// Pixel memory is not cleared; -1 when it cannot be allocated (the record
// then keeps its format and sizes with a null pixel pointer).
int MakeArgbBaseImage(int width, int height, BASEIMAGE* image);
int MakeXrgbBaseImage(int width, int height, BASEIMAGE* image);
int MakeBaseImageOfFormat(int width, int height, const PIXELFORMAT* format, BASEIMAGE* image);
int DisposeBaseImage(BASEIMAGE* image);  // frees the pixels and zeroes the record
int DisposeLoadedImage(BASEIMAGE* image);
int GetPixelDitherMode();  // always 0

// Turns a DXT1-5 image into A8R8G8B8 in place; 0, or -1 when out of memory.
int ExpandCompressedBaseImage(BASEIMAGE* image);

// ---- pixel and rectangle operations -----------------------------------------
int ZeroBaseImageRect(BASEIMAGE* image, int x, int y, int width, int height);
int PutBaseImagePixel(BASEIMAGE* image, int x, int y, uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha);
int PeekBaseImagePixel(BASEIMAGE* image, int x, int y, uint32_t* red, uint32_t* green, uint32_t* blue,
                       uint32_t* alpha);
int CopyBaseImageRect(int src_x, int src_y, int width, int height, int dst_x, int dst_y, BASEIMAGE* src,
                      BASEIMAGE* dst);
// sampling 1 = bilinear, anything else nearest pixel.
int StretchBaseImageRect(int src_x1, int src_y1, int src_x2, int src_y2, BASEIMAGE* src, int dst_x1, int dst_y1,
                         int dst_x2, int dst_y2, BASEIMAGE* dst, int sampling);

// ---- conversion -------------------------------------------------------------
// Copies `rows` rows of `row_bytes` from src to dst, each advancing by its
// pitch: one copy of the whole block where both images' rows follow each
// other without a gap (a row-by-row copy of rows whose addresses agree modulo
// 4096 takes the C library's slow path), else row by row.
void CopyPixelRows(uint8_t* dst, ptrdiff_t dst_pitch, const uint8_t* src, ptrdiff_t src_pitch, size_t row_bytes,
                   int rows);
// Moves src_rect of the source to (dst_x, dst_y) of the destination,
// converting between the two formats. The alpha image (optional) has the
// source's size and gives alpha through its red channel. Both rectangles must
// lie inside their buffers. -1 for an empty rectangle; the paletted copy
// returns the largest index copied, every other path 0.
int ConvertPixelRect(uint8_t* dst, int dst_pitch, const PIXELFORMAT* dst_format, const uint8_t* src, int src_pitch,
                     const PIXELFORMAT* src_format, const uint8_t* alpha, int alpha_pitch,
                     const PIXELFORMAT* alpha_format, int dst_x, int dst_y, const PixelRect* src_rect, int mirror,
                     int key_to_alpha, uint32_t key_color, int dither, int alpha_only, int alpha_from_red,
                     int key_skip, int palette_remap);
// One mip step of a 16- or 32-bit image: -1 when a size is odd and not 1.
int ReducePixelsBox(const PIXELFORMAT* format, uint8_t* dst, int dst_pitch, const uint8_t* src, int src_pitch,
                    int dst_x, int dst_y, int src_x, int src_y, int src_width, int src_height);
