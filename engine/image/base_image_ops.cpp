// Pixel and rectangle operations on base images: clear, put and peek one
// pixel, copy a rectangle between any two formats, stretched copy.
#include <algorithm>
#include <cstring>

#include "engine/image/base_image.h"
#include "engine/image/image_internal.h"

int ZeroBaseImageRect(BASEIMAGE* image, int x, int y, int width, int height) {
  // Block-compressed memory has no rows to clear.
  if (image->format.dxt_kind || !image->pixels || width <= 0) return 0;
  const int bytes = image->format.bytes_per_pixel;
  const size_t row_bytes = (size_t)width * bytes;
  uint8_t* first = image->pixels + (int64_t)y * image->pitch + (int64_t)x * bytes;
  if (height > 0 && (int64_t)row_bytes == image->pitch) {
    std::memset(first, 0, row_bytes * (size_t)height);  // rows without a gap: one block
    return 0;
  }
  for (int row = 0; row < height; ++row) std::memset(first + (int64_t)row * image->pitch, 0, row_bytes);
  return 0;
}

static bool Inside(const BASEIMAGE* image, int x, int y) {
  return (uint32_t)x < (uint32_t)image->width && (uint32_t)y < (uint32_t)image->height;
}

int PutBaseImagePixel(BASEIMAGE* image, int x, int y, uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha) {
  if (image->format.dxt_kind && ExpandCompressedBaseImage(image) < 0) return -1;
  if (!Inside(image, x, y) || !image->pixels) return -1;
  const int bytes = image->format.bytes_per_pixel;
  StorePixel(image->pixels + (int64_t)y * image->pitch + (int64_t)x * bytes, bytes,
             EncodePixelColor(&image->format, red, green, blue, alpha));
  return 0;
}

int PeekBaseImagePixel(BASEIMAGE* image, int x, int y, uint32_t* red, uint32_t* green, uint32_t* blue,
                       uint32_t* alpha) {
  if (image->format.dxt_kind && ExpandCompressedBaseImage(image) < 0) return -1;
  if (!Inside(image, x, y) || !image->pixels) return -1;
  const int bytes = image->format.bytes_per_pixel;
  const uint8_t* p = image->pixels + (int64_t)y * image->pitch + (int64_t)x * bytes;
  if (bytes == 1) {
    const PaletteEntry& e = image->format.palette[*p];
    if (red) *red = e.red;
    if (green) *green = e.green;
    if (blue) *blue = e.blue;
    if (alpha) *alpha = e.alpha;
    return 0;
  }
  return DecodePixelColor(&image->format, LoadPixel(p, bytes), red, green, blue, alpha);
}

int CopyBaseImageRect(int src_x, int src_y, int width, int height, int dst_x, int dst_y, BASEIMAGE* src,
                      BASEIMAGE* dst) {
  if (src->format.dxt_kind && ExpandCompressedBaseImage(src) < 0) return -1;
  if (dst->format.dxt_kind && ExpandCompressedBaseImage(dst) < 0) return -1;
  if (src_x < 0) { width += src_x; dst_x -= src_x; src_x = 0; }
  if (src_y < 0) { height += src_y; dst_y -= src_y; src_y = 0; }
  if (dst_x < 0) { width += dst_x; src_x -= dst_x; dst_x = 0; }
  if (dst_y < 0) { height += dst_y; src_y -= dst_y; dst_y = 0; }
  width = std::min(width, dst->width - dst_x);
  height = std::min(height, dst->height - dst_y);
  width = std::min(width, src->width - src_x);
  height = std::min(height, src->height - src_y);
  if (width <= 0 || height <= 0 || !src->pixels || !dst->pixels) return 0;
  PixelRect rect{src_x, src_y, src_x + width, src_y + height};
  ConvertPixelRect(dst->pixels, dst->pitch, &dst->format, src->pixels, src->pitch, &src->format, nullptr, 0,
                   nullptr, dst_x, dst_y, &rect, 0, 0, 0, 0, 0, 0, 0, 1);
  return 0;
}

static bool RectInside(const BASEIMAGE* image, int x1, int y1, int x2, int y2) {
  return x2 > x1 && y2 > y1 && x1 >= 0 && y1 >= 0 && x1 < image->width && y1 < image->height && x2 >= 1 &&
         y2 >= 1 && x2 <= image->width && y2 <= image->height;
}

int StretchBaseImageRect(int src_x1, int src_y1, int src_x2, int src_y2, BASEIMAGE* src, int dst_x1, int dst_y1,
                         int dst_x2, int dst_y2, BASEIMAGE* dst, int sampling) {
  if (!RectInside(src, src_x1, src_y1, src_x2, src_y2) || !RectInside(dst, dst_x1, dst_y1, dst_x2, dst_y2))
    return -1;
  const int sw = src_x2 - src_x1, sh = src_y2 - src_y1, dw = dst_x2 - dst_x1, dh = dst_y2 - dst_y1;
  if (sw == dw && sh == dh) return CopyBaseImageRect(src_x1, src_y1, sw, sh, dst_x1, dst_y1, src, dst);
  if (src->format.dxt_kind && ExpandCompressedBaseImage(src) < 0) return -1;
  if (dst->format.dxt_kind && ExpandCompressedBaseImage(dst) < 0) return -1;
  const uint32_t step_x = (uint32_t)(((uint64_t)sw << 16) / (uint32_t)dw);
  const uint32_t step_y = (uint32_t)(((uint64_t)sh << 16) / (uint32_t)dh);
  uint32_t pos_y = (uint32_t)src_y1 << 16;
  for (int y = 0; y < dh; ++y, pos_y += step_y) {
    uint32_t pos_x = (uint32_t)src_x1 << 16;
    for (int x = 0; x < dw; ++x, pos_x += step_x) {
      const int sx = (int)(pos_x >> 16), sy = (int)(pos_y >> 16);
      uint32_t c[4] = {0, 0, 0, 0};
      if (sampling != 1) {
        PeekBaseImagePixel(src, sx, sy, &c[0], &c[1], &c[2], &c[3]);
      } else {
        const uint32_t fx = pos_x & 0xFFFF, fy = pos_y & 0xFFFF;
        // A neighbour past the right or bottom edge repeats the edge pixel.
        const int nx = std::min(sx + 1, src->width - 1), ny = std::min(sy + 1, src->height - 1);
        const int px[4] = {sx, nx, sx, nx}, py[4] = {sy, sy, ny, ny};
        const uint32_t weight[4] = {(uint32_t)(((uint64_t)(65535 - fx) * (65535 - fy)) >> 16),
                                    (uint32_t)(((uint64_t)fx * (65535 - fy)) >> 16),
                                    (uint32_t)(((uint64_t)(65535 - fx) * fy) >> 16),
                                    (uint32_t)(((uint64_t)fx * fy) >> 16)};
        uint64_t sum[4] = {0, 0, 0, 0};
        for (int k = 0; k < 4; ++k) {
          uint32_t v[4] = {0, 0, 0, 0};
          PeekBaseImagePixel(src, px[k], py[k], &v[0], &v[1], &v[2], &v[3]);
          for (int ch = 0; ch < 4; ++ch) sum[ch] += (uint64_t)v[ch] * weight[k];
        }
        for (int ch = 0; ch < 4; ++ch) c[ch] = (uint32_t)(sum[ch] >> 16);
      }
      PutBaseImagePixel(dst, dst_x1 + x, dst_y1 + y, c[0], c[1], c[2], c[3]);
    }
  }
  return 0;
}
