// Colour formats (standard ones, derivation from masks, packing and
// unpacking of one colour) and the creation and release of base images.
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/image/base_image.h"
#include "engine/image/image_internal.h"
#include "platform/win32/dib.h"

static uint64_t g_image_byte_limit = MAX_IMAGE_BYTES;

uint64_t ImageByteLimit() { return g_image_byte_limit; }
void SetImageByteLimit(uint64_t bytes) { g_image_byte_limit = bytes ? bytes : MAX_IMAGE_BYTES; }

uint64_t CheckedImageBytes(int64_t width, int64_t height, int64_t bytes_per_pixel, int align, int64_t* row_out) {
  if (width <= 0 || height <= 0 || bytes_per_pixel <= 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return 0;
  uint64_t row = (uint64_t)width * (uint64_t)bytes_per_pixel;
  if (align > 1) row = (row + (uint64_t)align - 1) / (uint64_t)align * (uint64_t)align;
  if (row > ImageByteLimit()) return 0;
  uint64_t total = row * (uint64_t)height;
  if (total > ImageByteLimit()) return 0;
  if (row_out) *row_out = (int64_t)row;
  return total;
}

static void SetRgb888(PIXELFORMAT* f, int bits, int bytes) {
  f->bits_per_pixel = (uint16_t)bits;
  f->bytes_per_pixel = (uint16_t)bytes;
  f->red_width = f->green_width = f->blue_width = 8;
  f->alpha_width = 0;
  f->red_shift = 16;
  f->green_shift = 8;
  f->blue_shift = 0;
  f->alpha_shift = 0;
  f->red_mask = 0xFF0000;
  f->green_mask = 0xFF00;
  f->blue_mask = 0xFF;
  f->alpha_mask = 0;
  f->dxt_kind = 0;
}

int InitPalettedPixelFormat(PIXELFORMAT* format) {
  SetRgb888(format, 8, 1);
  format->spare_mask = 0xFF000000;
  return 0;
}

int InitGreyPixelFormat(PIXELFORMAT* format) {
  InitPalettedPixelFormat(format);
  for (int i = 0; i < 256; ++i) format->palette[i] = PaletteEntry{(uint8_t)i, (uint8_t)i, (uint8_t)i, 0};
  return 0;
}

int InitXrgbPixelFormat(PIXELFORMAT* format) {
  SetRgb888(format, 32, 4);
  format->spare_mask = 0xFF000000;
  format->spare_shift = 24;
  format->spare_width = 8;
  return 0;
}

int InitArgbPixelFormat(PIXELFORMAT* format) {
  SetRgb888(format, 32, 4);
  format->alpha_width = 8;
  format->alpha_shift = 24;
  format->alpha_mask = 0xFF000000;
  format->spare_mask = 0;
  return 0;
}

int InitRgb24PixelFormat(PIXELFORMAT* format) {
  SetRgb888(format, 24, 3);
  format->spare_mask = 0;
  return 0;
}

static void DeriveChannel(uint32_t mask, uint8_t* width, uint8_t* shift) {
  *width = (uint8_t)vox_win32::BitFieldWidth(mask);
  *shift = (uint8_t)vox_win32::BitFieldShift(mask);
}

static uint32_t DepthMask(int bits) { return bits >= 32 ? 0xFFFFFFFFu : bits <= 0 ? 0u : ((1u << bits) - 1u); }

int InitPixelFormatFromMasks(PIXELFORMAT* format, int bits_per_pixel, uint32_t red_mask, uint32_t green_mask,
                             uint32_t blue_mask, uint32_t alpha_mask) {
  format->dxt_kind = 0;
  format->bits_per_pixel = (uint16_t)bits_per_pixel;
  format->bytes_per_pixel = (uint16_t)(bits_per_pixel / 8);
  format->red_mask = red_mask;
  format->green_mask = green_mask;
  format->blue_mask = blue_mask;
  format->alpha_mask = alpha_mask;
  format->spare_mask = DepthMask(bits_per_pixel) & ~(red_mask | green_mask | blue_mask | alpha_mask);
  DeriveChannel(red_mask, &format->red_width, &format->red_shift);
  DeriveChannel(green_mask, &format->green_width, &format->green_shift);
  DeriveChannel(blue_mask, &format->blue_width, &format->blue_shift);
  DeriveChannel(alpha_mask, &format->alpha_width, &format->alpha_shift);
  DeriveChannel(format->spare_mask, &format->spare_width, &format->spare_shift);
  return 0;
}

int FixSparePixelMask(PIXELFORMAT* format) {
  int sum = format->red_width + format->green_width + format->blue_width + format->alpha_width;
  if (sum == format->bits_per_pixel)
    format->spare_mask = 0;
  else
    format->spare_mask = DepthMask(format->bits_per_pixel) &
                         ~(format->red_mask | format->green_mask | format->blue_mask | format->alpha_mask);
  return 0;
}

// An 8-bit value into a channel of `width` bits: the top bits for widths up
// to 8; a wider channel gets the value scaled to its full range.
static uint32_t PackChannel(uint32_t v, int width, int shift) {
  if (!width) return 0;
  v &= 0xFF;
  uint32_t c = width <= 8 ? v >> (8 - width) : (uint32_t)((uint64_t)v * ChannelMax(width) / 255u);
  return (uint32_t)((uint64_t)c << shift);
}

uint32_t EncodePixelColor(const PIXELFORMAT* f, uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha) {
  if (f->bytes_per_pixel == 1) {
    uint32_t best = 0;
    int64_t best_distance = INT64_MAX;
    int r = (int)(red & 0xFF), g = (int)(green & 0xFF), b = (int)(blue & 0xFF);
    for (int i = 0; i < 256; ++i) {
      int dr = f->palette[i].red - r, dg = f->palette[i].green - g, db = f->palette[i].blue - b;
      int64_t d = (int64_t)dr * dr + (int64_t)dg * dg + (int64_t)db * db;
      if (d < best_distance) {
        best_distance = d;
        best = (uint32_t)i;
      }
    }
    return best;
  }
  return PackChannel(red, f->red_width, f->red_shift) + PackChannel(green, f->green_width, f->green_shift) +
         PackChannel(blue, f->blue_width, f->blue_shift) + PackChannel(alpha, f->alpha_width, f->alpha_shift) +
         f->spare_mask;
}

static uint32_t UnpackChannel(uint32_t value, uint32_t mask, int shift, int width) {
  if (!width) return 0;
  return (uint32_t)((uint64_t)((value & mask) >> shift) * 255u / ChannelMax(width));
}

int DecodePixelColor(const PIXELFORMAT* f, uint32_t value, uint32_t* red, uint32_t* green, uint32_t* blue,
                     uint32_t* alpha) {
  if (red) *red = UnpackChannel(value, f->red_mask, f->red_shift, f->red_width);
  if (green) *green = UnpackChannel(value, f->green_mask, f->green_shift, f->green_width);
  if (blue) *blue = UnpackChannel(value, f->blue_mask, f->blue_shift, f->blue_width);
  if (alpha) *alpha = UnpackChannel(value, f->alpha_mask, f->alpha_shift, f->alpha_width);
  return 0;
}

int MakeBaseImageOfFormat(int width, int height, const PIXELFORMAT* format, BASEIMAGE* image) {
  if (format != &image->format) image->format = *format;
  image->width = width;
  image->height = height;
  image->pitch = (int32_t)(((int64_t)image->format.bytes_per_pixel * width + 3) / 4 * 4);
  image->pixels = nullptr;
  image->mip_count = 0;
  // Negative or absurd sizes are refused like a failed allocation.
  if (width < 0 || height < 0) return -1;
  uint64_t bytes = (uint64_t)(uint32_t)image->pitch * (uint64_t)height;
  if (bytes > ImageByteLimit()) return -1;
  image->pixels = (uint8_t*)TrackedAlloc((uint32_t)(bytes ? bytes : 1), "", 0);
  return image->pixels ? 0 : -1;
}

int MakeArgbBaseImage(int width, int height, BASEIMAGE* image) {
  InitArgbPixelFormat(&image->format);
  return MakeBaseImageOfFormat(width, height, &image->format, image);
}

int MakeXrgbBaseImage(int width, int height, BASEIMAGE* image) {
  InitXrgbPixelFormat(&image->format);
  return MakeBaseImageOfFormat(width, height, &image->format, image);
}

int DisposeBaseImage(BASEIMAGE* image) {
  if (image->pixels) TrackedFree(image->pixels);
  std::memset(image, 0, sizeof(*image));
  return 0;
}

int DisposeLoadedImage(BASEIMAGE* image) { return DisposeBaseImage(image); }

int GetPixelDitherMode() { return 0; }
