#include "tests/engine/image/image_fixtures.h"

#include <cstdio>
#include <cstring>
// clang-format off
#include <jpeglib.h>
// clang-format on
#include <png.h>

void PutLe16(Bytes& b, uint32_t v) {
  b.push_back((uint8_t)v);
  b.push_back((uint8_t)(v >> 8));
}
void PutLe32(Bytes& b, uint32_t v) {
  PutLe16(b, v & 0xFFFF);
  PutLe16(b, v >> 16);
}

Bytes MakeBmp(int width, int height, int bit_count, uint32_t compression, const Bytes& palette, const Bytes& data,
              const std::vector<uint32_t>& masks) {
  Bytes b;
  const uint32_t offset = 14 + 40 + (uint32_t)palette.size() + 4 * (uint32_t)masks.size();
  b.push_back('B');
  b.push_back('M');
  PutLe32(b, offset + (uint32_t)data.size());
  PutLe32(b, 0);
  PutLe32(b, offset);
  PutLe32(b, 40);
  PutLe32(b, (uint32_t)width);
  PutLe32(b, (uint32_t)height);
  PutLe16(b, 1);
  PutLe16(b, (uint32_t)bit_count);
  PutLe32(b, compression);
  PutLe32(b, (uint32_t)data.size());
  PutLe32(b, 2835);
  PutLe32(b, 2835);
  PutLe32(b, (uint32_t)palette.size() / 4);
  PutLe32(b, 0);
  for (uint32_t m : masks) PutLe32(b, m);
  b.insert(b.end(), palette.begin(), palette.end());
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

Bytes MakeRawBgra(uint32_t channel_bits, int width, int height, const Bytes& data) {
  Bytes b = {'B', 'G', 'R', 'A'};
  PutLe32(b, channel_bits);
  PutLe32(b, (uint32_t)width);
  PutLe32(b, (uint32_t)height);
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

Bytes MakeTga(int type, int width, int height, int depth, int descriptor, const Bytes& colour_map, int map_first,
              int map_entry_bits, const Bytes& data, bool footer) {
  Bytes b;
  b.push_back(0);  // no ID field
  b.push_back(colour_map.empty() ? 0 : 1);
  b.push_back((uint8_t)type);
  const int entry_bytes = map_entry_bits ? map_entry_bits / 8 : 1;
  PutLe16(b, (uint32_t)map_first);
  PutLe16(b, (uint32_t)(colour_map.size() / entry_bytes));
  b.push_back((uint8_t)map_entry_bits);
  PutLe16(b, 0);
  PutLe16(b, 0);
  PutLe16(b, (uint32_t)width);
  PutLe16(b, (uint32_t)height);
  b.push_back((uint8_t)depth);
  b.push_back((uint8_t)descriptor);
  b.insert(b.end(), colour_map.begin(), colour_map.end());
  b.insert(b.end(), data.begin(), data.end());
  if (footer) {
    PutLe32(b, 0);
    PutLe32(b, 0);
    const char sig[] = "TRUEVISION-XFILE.";
    b.insert(b.end(), sig, sig + 18);
  }
  return b;
}

uint32_t FourCCOf(const char* s) {
  return (uint32_t)(uint8_t)s[0] | ((uint32_t)(uint8_t)s[1] << 8) | ((uint32_t)(uint8_t)s[2] << 16) |
         ((uint32_t)(uint8_t)s[3] << 24);
}

Bytes MakeDds(const DdsSpec& s, const Bytes& data) {
  Bytes b = {'D', 'D', 'S', ' '};
  PutLe32(b, 124);
  PutLe32(b, s.flags);
  PutLe32(b, s.height);
  PutLe32(b, s.width);
  PutLe32(b, s.pitch);
  PutLe32(b, 0);  // depth
  PutLe32(b, s.mip_count);
  for (int i = 0; i < 11; ++i) PutLe32(b, 0);
  PutLe32(b, 32);  // pixel-format size, at header offset 72
  PutLe32(b, s.pf_flags);
  PutLe32(b, s.fourcc);
  PutLe32(b, s.rgb_bits);
  for (uint32_t m : s.masks) PutLe32(b, m);
  PutLe32(b, s.caps);
  for (int i = 0; i < 4; ++i) PutLe32(b, 0);
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

static void PngWrite(png_structp png, png_bytep data, png_size_t length) {
  Bytes* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
static void PngFlush(png_structp) {}

Bytes MakePng(int width, int height, int colour_type, int bit_depth, const std::vector<Bytes>& rows,
              const Bytes& palette_rgb, const Bytes& trns, bool interlaced) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, PngWrite, PngFlush);
  png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, bit_depth, colour_type,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!palette_rgb.empty())
    png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(palette_rgb.data()), (int)palette_rgb.size() / 3);
  if (!trns.empty()) {
    if (colour_type == PNG_COLOR_TYPE_PALETTE) {
      png_set_tRNS(png, info, trns.data(), (int)trns.size(), nullptr);
    } else {
      png_color_16 key{};
      key.gray = trns[0];
      key.red = trns[0];
      key.green = trns.size() > 1 ? trns[1] : 0;
      key.blue = trns.size() > 2 ? trns[2] : 0;
      png_set_tRNS(png, info, nullptr, 0, &key);
    }
  }
  png_write_info(png, info);
  std::vector<png_bytep> pointers;
  for (const Bytes& r : rows) pointers.push_back(const_cast<png_bytep>(r.data()));
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes MakeJpeg(int width, int height, int components, const Bytes& pixels, bool progressive, int quality) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = (JDIMENSION)width;
  c.image_height = (JDIMENSION)height;
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  if (progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + (size_t)c.next_scanline * width * components);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  Bytes out(mem, mem + size);
  jpeg_destroy_compress(&c);
  free(mem);
  return out;
}

int DecodeWith(ImageDecoder decoder, const Bytes& bytes, BASEIMAGE* image) {
  StreamData stream;
  std::memset(image, 0, sizeof(*image));
  if (OpenMemStream(&stream, bytes.data(), (uint32_t)bytes.size()) != 0) return -2;
  int result = decoder(&stream, image);
  stream.ops.close(stream.data);
  return result;
}

int LoadFromMemory(const Bytes& bytes, BASEIMAGE* image, int mirror) {
  std::memset(image, 0, sizeof(*image));
  return ImportBaseImage(nullptr, bytes.data(), (int)bytes.size(), 1, image, mirror);
}

uint32_t Peek(BASEIMAGE* image, int x, int y) {
  uint32_t r = 0, g = 0, b = 0, a = 0;
  if (PeekBaseImagePixel(image, x, y, &r, &g, &b, &a) != 0) return 0xDEADBEEF;
  return (a << 24) | (r << 16) | (g << 8) | b;
}
