// TGA decoder: colour-mapped and true-colour images, uncompressed or
// run-length encoded, 16, 24 or 32 bits, turned top-down and left-to-right.
#include <cstring>
#include <utility>

#include "engine/image/image_internal.h"
#include "engine/image/image_load.h"

namespace {

constexpr int kHeaderBytes = 18;
constexpr int kFooterBytes = 26;
constexpr int kMaxSide = 8192;

void SetTgaFormat(PIXELFORMAT* f, int depth) {
  if (depth == 16) {
    InitPixelFormatFromMasks(f, 16, 0x7C00, 0x03E0, 0x001F, 0);
  } else if (depth == 24) {
    InitRgb24PixelFormat(f);
  } else {
    InitArgbPixelFormat(f);
  }
}

// Run-length packets into `count` values of `bytes` bytes each; values that
// are colour-map indices are looked up in `map`. False when the data ends
// before the image is complete; packets past the last pixel are cut.
bool DecodeRle(const uint8_t* d, int64_t n, uint8_t* out, int64_t count, int bytes, const uint8_t* map) {
  const int value_bytes = map ? 1 : bytes;
  int64_t p = 0, done = 0;
  auto emit = [&](const uint8_t* value) {
    std::memcpy(out + done * bytes, map ? map + (int64_t)value[0] * bytes : value, (size_t)bytes);
    ++done;
  };
  while (done < count) {
    if (p >= n) return false;
    const int h = d[p++];
    const int run = (h & 0x7F) + 1;
    if (h & 0x80) {
      if (p + value_bytes > n) return false;
      for (int k = 0; k < run && done < count; ++k) emit(d + p);
      p += value_bytes;
    } else {
      if (p + (int64_t)run * value_bytes > n) return false;
      for (int k = 0; k < run && done < count; ++k) emit(d + p + (int64_t)k * value_bytes);
      p += (int64_t)run * value_bytes;
    }
  }
  return true;
}

}  // namespace

int DecodeTgaImage(StreamRecord* stream, BASEIMAGE* image) {
  uint8_t h[kHeaderBytes];
  const int64_t file_size = ReadImageHeader(stream, h, sizeof(h), kHeaderBytes);
  if (file_size < 0) return -1;
  bool footer = false;
  if (file_size >= kHeaderBytes + kFooterBytes) {
    uint8_t f[kFooterBytes];
    if (!StreamSeekTo(stream, file_size - kFooterBytes) || !StreamReadExact(stream, f, sizeof(f))) return -1;
    footer = std::memcmp(f + 8, "TRUEVISION-XFILE", 16) == 0 && ReadLe32(f) == 0;
  }
  const int id_length = h[0];
  const int type = h[2];
  const int first_entry = ReadLe16(h + 3), map_length = ReadLe16(h + 5), entry_bits = h[7];
  const int width = ReadLe16(h + 12), height = ReadLe16(h + 14);
  const int descriptor = h[17];
  if (type != 1 && type != 2 && type != 9 && type != 10) return -1;
  if (ReadLe16(h + 8) != 0 || ReadLe16(h + 10) != 0) return -1;
  if (width > kMaxSide || height > kMaxSide || width == 0 || height == 0) return -1;
  const bool mapped = type == 1 || type == 9;
  const int depth = mapped ? entry_bits : h[16];
  if (depth != 16 && depth != 24 && depth != 32) return -1;
  const int bytes = depth / 8;
  // The colour map holds 256 entries; a file whose map reaches past them is
  // refused.
  if (mapped && first_entry + map_length > 256) return -1;

  const int64_t pitch = (int64_t)width * bytes;
  const int64_t image_bytes = pitch * height;
  const int64_t data_end = footer ? file_size - kFooterBytes : file_size;
  int64_t pos = kHeaderBytes + id_length;

  TrackedBytes map, rle;
  if (mapped) {
    map = NewZeroedBytes(256 * bytes);
    if (!map) return -1;
    const int64_t map_bytes = (int64_t)map_length * bytes;
    if (pos + map_bytes > file_size || !StreamSeekTo(stream, pos) ||
        !StreamReadExact(stream, map.get() + (int64_t)first_entry * bytes, (size_t)map_bytes))
      return -1;
    pos += map_bytes;
  } else if (map_length) {
    pos += ((int64_t)map_length * entry_bits) / 8;
  }
  if (pos > file_size || !StreamSeekTo(stream, pos)) return -1;

  // The data must be able to fill the image before its memory is taken.
  const int64_t pixel_count = (int64_t)width * height;
  const int64_t min_data = type == 1    ? pixel_count
                           : type == 2  ? image_bytes
                                        : (pixel_count + 127) / 128 * (1 + (mapped ? 1 : bytes));
  if (pos + min_data > (type >= 9 ? data_end : file_size)) return -1;
  TrackedBytes pixels = NewTrackedBytes((uint32_t)image_bytes);
  if (!pixels) return -1;
  if (type == 1) {
    rle = NewTrackedBytes((uint32_t)pixel_count);
    if (!rle || !StreamReadExact(stream, rle.get(), (size_t)pixel_count)) return -1;
    for (int64_t i = 0; i < pixel_count; ++i)
      std::memcpy(pixels.get() + i * bytes, map.get() + (int64_t)rle.get()[i] * bytes, (size_t)bytes);
  } else if (type == 2) {
    if (!StreamReadExact(stream, pixels.get(), (size_t)image_bytes)) return -1;
  } else {
    const int64_t rle_bytes = data_end - pos;
    if (rle_bytes <= 0) return -1;
    rle = NewTrackedBytes((uint32_t)rle_bytes);
    if (!rle || !StreamReadExact(stream, rle.get(), (size_t)rle_bytes)) return -1;
    if (!DecodeRle(rle.get(), rle_bytes, pixels.get(), pixel_count, bytes, mapped ? map.get() : nullptr)) return -1;
  }

  const bool right_to_left = (descriptor & 0x10) != 0;
  const bool bottom_up = (descriptor & 0x20) == 0;
  if (right_to_left || bottom_up) {
    TrackedBytes turned = NewTrackedBytes((uint32_t)image_bytes);
    if (!turned) return -1;
    for (int y = 0; y < height; ++y) {
      const uint8_t* src = pixels.get() + (int64_t)y * pitch;
      uint8_t* dst = turned.get() + (int64_t)(bottom_up ? height - 1 - y : y) * pitch;
      if (!right_to_left) {
        std::memcpy(dst, src, (size_t)pitch);
      } else {
        for (int x = 0; x < width; ++x)
          std::memcpy(dst + (int64_t)(width - 1 - x) * bytes, src + (int64_t)x * bytes, (size_t)bytes);
      }
    }
    pixels = std::move(turned);
  }
  SetTgaFormat(&image->format, depth);
  return SetDecodedImage(image, width, height, pitch, pixels.release());
}
