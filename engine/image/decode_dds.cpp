// DDS decoder: DXT1-5 images kept compressed, uncompressed images described
// by a Direct3D format number or by channel masks, and whole mip chains read
// into the one pixel buffer, largest level first.
#include <cstring>

#include "engine/image/image_internal.h"
#include "engine/image/image_load.h"

namespace {

constexpr int kMagicBytes = 4;
constexpr int kHeaderBytes = 124;
constexpr int kMaxLevels = 32;

// Header offsets (from the end of the magic).
constexpr int kFlags = 4, kHeight = 8, kWidth = 12, kPitch = 16, kMipCount = 24;
constexpr int kPfFlags = 76, kFourCC = 80, kRgbBits = 84, kRedMask = 88, kGreenMask = 92, kBlueMask = 96,
              kAlphaMask = 100, kCaps = 104;

constexpr uint32_t DDSD_PITCH = 0x8, DDSD_MIPMAPCOUNT = 0x20000;
constexpr uint32_t DDPF_ALPHAPIXELS = 0x1, DDPF_FOURCC = 0x4;
constexpr uint32_t DDSCAPS_COMPLEX = 0x8, DDSCAPS_MIPMAP = 0x400000;

struct D3dFormatRow {
  uint32_t code;
  int bits;
  uint32_t red, green, blue, alpha;
};

const D3dFormatRow kD3dFormats[] = {
    {20, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {21, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {22, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {23, 16, 0xF800, 0x07E0, 0x001F, 0},
    {24, 16, 0x7C00, 0x03E0, 0x001F, 0},
    {25, 16, 0x7C00, 0x03E0, 0x001F, 0x8000},
    {26, 16, 0x0F00, 0x00F0, 0x000F, 0xF000},
    {27, 8, 0xE0, 0x1C, 0x03, 0},
    {29, 16, 0xE0, 0x1C, 0x03, 0xFF00},
    {30, 16, 0x0F00, 0x00F0, 0x000F, 0},
    {31, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000},
    {32, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
    {33, 32, 0xFF, 0xFF00, 0xFF0000, 0},
    {35, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
    {0xFFFFFFFF, 0, 0, 0, 0, 0},
};

uint32_t FourCC(const char* s) { return ReadLe32(reinterpret_cast<const uint8_t*>(s)); }

int64_t Level(int64_t side, int level) {
  int64_t v = side >> level;
  return v < 1 ? 1 : v;
}

// Everything else reads a 1-byte pixel through the palette: an 8-bit mask
// format gets a palette that holds each value's colour.
void PaletteFromMasks(PIXELFORMAT* f) {
  PIXELFORMAT masks = *f;
  for (int i = 0; i < 256; ++i) {
    uint32_t r, g, b, a;
    DecodePixelColor(&masks, (uint32_t)i, &r, &g, &b, &a);
    f->palette[i] = PaletteEntry{(uint8_t)b, (uint8_t)g, (uint8_t)r, (uint8_t)a};
  }
  InitPalettedPixelFormat(f);
}

}  // namespace

int DecodeDdsImage(StreamRecord* stream, BASEIMAGE* image) {
  uint8_t file_header[kMagicBytes + kHeaderBytes];
  const int64_t file_size = ReadImageHeader(stream, file_header, sizeof(file_header), sizeof(file_header));
  if (file_size < 0 || std::memcmp(file_header, "DDS", 3) != 0) return -1;
  const uint8_t* h = file_header + kMagicBytes;
  const uint32_t flags = ReadLe32(h + kFlags);
  const uint32_t height = ReadLe32(h + kHeight), width = ReadLe32(h + kWidth);
  const uint32_t pf_flags = ReadLe32(h + kPfFlags), fourcc = ReadLe32(h + kFourCC);
  const uint32_t caps = ReadLe32(h + kCaps);
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return -1;

  PIXELFORMAT* f = &image->format;
  uint32_t dxt_kind = 0;
  const D3dFormatRow* row = nullptr;
  if (pf_flags == DDPF_FOURCC) {
    for (const D3dFormatRow* r = kD3dFormats; r->code != 0xFFFFFFFF; ++r)
      if (r->code == fourcc) row = r;
  }
  if (row) {
    InitPixelFormatFromMasks(f, row->bits, row->red, row->green, row->blue, row->alpha);
  } else if (pf_flags & DDPF_FOURCC) {
    std::memset(f, 0, sizeof(*f));
    const char* names[] = {"DXT1", "DXT2", "DXT3", "DXT4", "DXT5"};
    for (uint32_t k = 0; k < 5; ++k)
      if (fourcc == FourCC(names[k])) dxt_kind = k + 1;
    if (!dxt_kind) return -1;
    InitArgbPixelFormat(f);
  } else {
    // Mask formats, with or without the alpha-pixels flag.
    const uint32_t bits = ReadLe32(h + kRgbBits);
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return -1;
    InitPixelFormatFromMasks(f, (int)bits, ReadLe32(h + kRedMask), ReadLe32(h + kGreenMask),
                             ReadLe32(h + kBlueMask), (pf_flags & DDPF_ALPHAPIXELS) ? ReadLe32(h + kAlphaMask) : 0);
  }

  int levels = 0;
  if ((flags & DDSD_MIPMAPCOUNT) && (caps & DDSCAPS_COMPLEX) && (caps & DDSCAPS_MIPMAP)) {
    const uint32_t count = ReadLe32(h + kMipCount);
    levels = count > (uint32_t)kMaxLevels ? kMaxLevels : (int)count;
  }

  // Each level holds its own size's blocks or rows, as the files store them.
  uint64_t total = 0;
  int64_t pitch = 0;
  const int stored_levels = levels > 1 ? levels : 1;
  if (dxt_kind) {
    const int block = DxtBlockBytes(dxt_kind);
    for (int i = 0; i < stored_levels; ++i)
      total += (uint64_t)((Level(width, i) + 3) / 4) * (uint64_t)((Level(height, i) + 3) / 4) * (uint64_t)block;
    // The expanded image must be possible too.
    if (!CheckedImageBytes(width, height, 4, 1, nullptr)) return -1;
  } else {
    const int bytes = f->bytes_per_pixel;
    const int64_t packed_row = (int64_t)width * bytes;
    pitch = (flags & DDSD_PITCH) ? (int64_t)ReadLe32(h + kPitch) : packed_row;
    // A pitch field that cannot hold a row (0 included) is not trusted.
    if (pitch < packed_row) pitch = packed_row;
    if (pitch > 0x7FFFFFFF) return -1;
    total = (uint64_t)pitch * height;
    for (int i = 1; i < stored_levels; ++i) total += (uint64_t)(Level(width, i) * bytes) * (uint64_t)Level(height, i);
  }
  if (total == 0 || total > ImageByteLimit()) return -1;
  if ((uint64_t)(file_size - (int64_t)sizeof(file_header)) < total) return -1;
  TrackedBytes pixels = NewTrackedBytes((uint32_t)total);
  if (!pixels || !StreamReadExact(stream, pixels.get(), (size_t)total)) return -1;
  if (dxt_kind) {
    f->bits_per_pixel = dxt_kind == 1 ? 4 : 8;
    f->dxt_kind = dxt_kind;
  } else if (f->bytes_per_pixel == 1) {
    PaletteFromMasks(f);
  }
  image->mip_count = levels;
  return SetDecodedImage(image, width, height, pitch, pixels.release());
}
