// The texture colour formats: the fourteen-row table, the rule that picks a
// row from a graph's creation flags, and the conversions to and from the
// DirectDraw pixel-format description.
#include <cstring>

#include "engine/graphics/graphics.h"
#include "platform/d3d9/d3d9.h"

namespace {

struct FormatTable {
  PIXELFORMAT rows[TEXTURE_FORMAT_COUNT];
  FormatTable() {
    static const uint32_t kMasks[TEXTURE_FORMAT_COUNT][5] = {
        {16, 0xF800, 0x07E0, 0x001F, 0},
        {32, 0xFF0000, 0xFF00, 0xFF, 0},
        {16, 0x0F00, 0x00F0, 0x000F, 0xF000},
        {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
        {16, 0x7C00, 0x03E0, 0x001F, 0x8000},
        {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
        {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
        {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
        {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
        {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
        {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
        {16, 0xF800, 0x07E0, 0x001F, 0},
        {32, 0xFF0000, 0xFF00, 0xFF, 0},
        {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    };
    for (int i = 0; i < TEXTURE_FORMAT_COUNT; i++) {
      const uint32_t* m = kMasks[i];
      InitPixelFormatFromMasks(&rows[i], (int)m[0], m[1], m[2], m[3], m[4]);
    }
    for (int kind = 1; kind <= 5; kind++) {
      rows[5 + kind].bits_per_pixel = kind == 1 ? 4 : 8;
      rows[5 + kind].dxt_kind = (uint32_t)kind;
    }
  }
};

const FormatTable& Table() {
  static const FormatTable table;
  return table;
}

}  // namespace

const PIXELFORMAT* TextureFormatRecord(int index) {
  if (index < 0 || index >= TEXTURE_FORMAT_COUNT) return nullptr;
  return &Table().rows[index];
}

int ChooseTextureFormatIndex(const TextureFormatRequest* request) {
  int d = request->bit_depth == 16 ? 0 : 1;
  if (request->compressed_kind >= 1 && request->compressed_kind <= 5) return 5 + request->compressed_kind;
  if (request->draw_target) return !request->alpha_channel && !request->alpha_test ? 11 + d : 13;
  if (request->alpha_channel) return 2 + d;
  if (request->alpha_test) return 4 + d;
  return d;
}

const PIXELFORMAT* ChooseTextureFormat(const TextureFormatRequest* request) {
  // A compressed kind the table does not know has no row to give.
  if (request->compressed_kind > 5) return nullptr;
  return TextureFormatRecord(ChooseTextureFormatIndex(request));
}

const PIXELFORMAT* ChooseTexturePixelFormat(int alpha, int alpha_test, int bits32, int draw_target) {
  TextureFormatRequest r{};
  r.alpha_channel = alpha ? 1 : 0;
  r.alpha_test = alpha_test ? 1 : 0;
  r.draw_target = draw_target ? 1 : 0;
  r.bit_depth = bits32 ? 32 : 16;
  return ChooseTextureFormat(&r);
}

int PixelFormatFromDDPixelFormat(const DDPIXELFORMAT* dd, PIXELFORMAT* out) {
  std::memset(out, 0, sizeof *out);
  return InitPixelFormatFromMasks(out, (int)dd->dwRGBBitCount, dd->dwRBitMask, dd->dwGBitMask, dd->dwBBitMask,
                                  dd->dwRGBAlphaBitMask);
}

int FillRgbDDPixelFormat(DDPIXELFORMAT* out, int bits, uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha) {
  std::memset(out, 0, sizeof *out);
  out->dwSize = 32;
  out->dwFlags = DDPF_RGB;
  out->dwRGBBitCount = (DWORD)bits;
  out->dwRBitMask = red;
  out->dwGBitMask = green;
  out->dwBBitMask = blue;
  out->dwRGBAlphaBitMask = alpha;
  return 0;
}
