// DIB sections and device contexts of the GDI stand-in, and the pixel
// conversion GDI performs when it copies a DIB into a section.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/byte_order.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/font.h"

namespace {

constexpr int kKindSlots = 16;

struct DibSection {
  GdiObject object;  // first: a DibSection* is its HBITMAP
  BITMAPINFOHEADER header;
  RGBQUAD colors[256];  // colour table, or the three masks of bit fields
  uint8_t* bits;
  int width, height, stride;
};
// The header and its table read together as a BITMAPINFO.
static_assert(offsetof(DibSection, colors) == offsetof(DibSection, header) + sizeof(BITMAPINFOHEADER));

// Stock objects a new context holds until the program selects its own.
GdiObject g_stock[kKindSlots];

bool IsDibSection(HGDIOBJ object) { return object && object->kind == OBJ_BITMAP && object != &g_stock[OBJ_BITMAP]; }

using vox_win32::BitFieldShift;
using vox_win32::BitFieldWidth;
using vox_win32::DibRowBytes;

// One channel of a bit-field pixel as 8 bits (the top bits of a wider one).
uint32_t ToByte(uint32_t v, uint32_t mask) {
  if (!mask) return 0;
  int w = BitFieldWidth(mask);
  uint32_t c = (v & mask) >> BitFieldShift(mask);
  return w >= 8 ? c >> (w - 8) : c << (8 - w);
}
uint32_t FromByte(uint32_t c, uint32_t mask) {
  if (!mask) return 0;
  int w = BitFieldWidth(mask);
  uint32_t v = w <= 8 ? c >> (8 - w) : (uint32_t)((uint64_t)c * ((w >= 32 ? 0xFFFFFFFFull : (1ull << w) - 1)) / 255u);
  return (uint32_t)((uint64_t)v << BitFieldShift(mask)) & mask;
}

// A DIB as a grid of colours 0x00RRGGBB.
struct DibView {
  const uint8_t* bits;
  int width, height, bit_count, stride;
  bool top_down;
  uint32_t masks[3];
  const RGBQUAD* table;
  int table_size;

  bool Init(const BITMAPINFO* info, const void* data) {
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return false;
    bits = static_cast<const uint8_t*>(data);
    width = h.biWidth;
    height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    top_down = h.biHeight < 0;
    bit_count = h.biBitCount;
    stride = (int)DibRowBytes(width, bit_count);
    table = DibColorTable(info);
    table_size = bit_count <= 8 ? 1 << bit_count : 0;
    if (bit_count == 1 || bit_count == 4 || bit_count == 8) return h.biCompression == BI_RGB;
    return vox_win32::DibChannelMasks(info, masks);
  }
  const uint8_t* Row(int y) const { return bits + (int64_t)(top_down ? y : height - 1 - y) * stride; }
  uint32_t Get(int x, int y) const {
    const uint8_t* row = Row(y);
    switch (bit_count) {
      case 1: case 4: case 8: {
        int per_byte = 8 / bit_count;
        int shift = (per_byte - 1 - x % per_byte) * bit_count;
        int index = (row[x / per_byte] >> shift) & ((1 << bit_count) - 1);
        const RGBQUAD& q = table[index];
        return ((uint32_t)q.rgbRed << 16) | ((uint32_t)q.rgbGreen << 8) | q.rgbBlue;
      }
      case 24:
        return ReadLe24(row + x * 3);
      default: {
        const uint8_t* p = row + x * (bit_count / 8);
        uint32_t v = bit_count == 16 ? ReadLe16(p) : ReadLe32(p);
        return (ToByte(v, masks[0]) << 16) | (ToByte(v, masks[1]) << 8) | ToByte(v, masks[2]);
      }
    }
  }
};

int NearestIndex(const RGBQUAD* table, int size, uint32_t rgb) {
  int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  int best = 0;
  int best_d = 0x7FFFFFFF;
  for (int i = 0; i < size; ++i) {
    int dr = table[i].rgbRed - r, dg = table[i].rgbGreen - g, db = table[i].rgbBlue - b;
    int d = dr * dr + dg * dg + db * db;
    if (d < best_d) best_d = d, best = i;
  }
  return best;
}

void PutPixel(DibSection* s, int x, int y, uint32_t rgb) {
  uint8_t* row = s->bits + (int64_t)y * s->stride;
  const int bc = s->header.biBitCount;
  switch (bc) {
    case 1: case 4: case 8: {
      int per_byte = 8 / bc;
      int shift = (per_byte - 1 - x % per_byte) * bc;
      uint8_t mask = (uint8_t)(((1 << bc) - 1) << shift);
      uint8_t& byte = row[x / per_byte];
      byte = (uint8_t)((byte & ~mask) | ((NearestIndex(s->colors, 1 << bc, rgb) << shift) & mask));
      break;
    }
    case 24:
      WriteLe24(row + x * 3, rgb);
      break;
    default: {
      uint32_t masks[3];
      vox_win32::DibChannelMasks(reinterpret_cast<const BITMAPINFO*>(&s->header), masks);
      uint32_t v = FromByte((rgb >> 16) & 0xFF, masks[0]) | FromByte((rgb >> 8) & 0xFF, masks[1]) |
                   FromByte(rgb & 0xFF, masks[2]);
      uint8_t* p = row + x * (bc / 8);
      if (bc == 16) WriteLe16(p, (uint16_t)v);
      else WriteLe32(p, v);
      break;
    }
  }
}

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

struct GdiDc {
  HGDIOBJ selected[kKindSlots];
};

HDC CreateCompatibleDC(HDC) {
  GdiDc* dc = new (std::nothrow) GdiDc;
  if (!dc) return nullptr;
  for (int k = 0; k < kKindSlots; ++k) {
    g_stock[k].kind = k;
    dc->selected[k] = &g_stock[k];
  }
  return dc;
}

BOOL DeleteDC(HDC dc) {
  if (!dc) return FALSE;
  delete dc;
  return TRUE;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  if (!dc || !object || object->kind < 0 || object->kind >= kKindSlots) return nullptr;
  HGDIOBJ previous = dc->selected[object->kind];
  dc->selected[object->kind] = object;
  return previous;
}

BOOL DeleteObject(HGDIOBJ object) {
  if (!object) return FALSE;
  if (object->kind == OBJ_FONT) return DeleteGdiFont(object);
  if (IsDibSection(object)) {
    DibSection* s = reinterpret_cast<DibSection*>(object);
    std::free(s->bits);
    delete s;
  }
  return TRUE;
}

int GetObjectA(HGDIOBJ object, int size, LPVOID out) {
  if (!IsDibSection(object) || size < (int)sizeof(BITMAP) || !out) return 0;
  DibSection* s = reinterpret_cast<DibSection*>(object);
  BITMAP bm{0, s->width, s->height, s->stride, 1, s->header.biBitCount, s->bits};
  std::memcpy(out, &bm, sizeof(bm));
  return (int)sizeof(BITMAP);
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT, void** bits, HANDLE, DWORD) {
  if (bits) *bits = nullptr;
  if (!info) return nullptr;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  const int bc = h.biBitCount;
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return nullptr;
  if (bc != 1 && bc != 4 && bc != 8 && bc != 16 && bc != 24 && bc != 32) return nullptr;
  if (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && (bc == 16 || bc == 32))) return nullptr;
  const int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  const uint64_t stride = (uint64_t)DibRowBytes(h.biWidth, bc);
  const uint64_t size = stride * (uint64_t)height;
  if (size > 0x7FFFFFFF) return nullptr;
  DibSection* s = new (std::nothrow) DibSection();
  if (!s) return nullptr;
  s->bits = static_cast<uint8_t*>(std::calloc(1, (size_t)size));
  if (!s->bits) {
    delete s;
    return nullptr;
  }
  s->object.kind = OBJ_BITMAP;
  s->header = h;
  // Our sections are always kept top-down.
  s->header.biHeight = -height;
  s->width = h.biWidth;
  s->height = height;
  s->stride = (int)stride;
  if (bc <= 8)
    std::memcpy(s->colors, DibColorTable(info), sizeof(RGBQUAD) * (1u << bc));
  else if (h.biCompression == BI_BITFIELDS)
    std::memcpy(s->colors, DibColorTable(info), sizeof(uint32_t) * 3);
  if (bits) *bits = s->bits;
  return &s->object;
}

int StretchDIBits(HDC dc, int x_dest, int y_dest, int dest_width, int dest_height, int x_src, int y_src,
                  int src_width, int src_height, const void* bits, const BITMAPINFO* info, UINT, DWORD) {
  if (!dc || !bits || !info || !IsDibSection(dc->selected[OBJ_BITMAP])) return 0;
  DibSection* target = reinterpret_cast<DibSection*>(dc->selected[OBJ_BITMAP]);
  DibView view;
  if (!view.Init(info, bits) || dest_width == 0 || dest_height == 0 || src_width == 0 || src_height == 0) return 0;
  const int64_t dw = dest_width < 0 ? -(int64_t)dest_width : dest_width;
  const int64_t dh = dest_height < 0 ? -(int64_t)dest_height : dest_height;
  for (int64_t j = 0; j < dh; ++j) {
    const int64_t ty = dest_height > 0 ? y_dest + j : y_dest - 1 - j;
    const int64_t sy = y_src + FloorDiv(j * src_height, dh);
    if (ty < 0 || ty >= target->height || sy < 0 || sy >= view.height) continue;
    for (int64_t i = 0; i < dw; ++i) {
      const int64_t tx = dest_width > 0 ? x_dest + i : x_dest - 1 - i;
      const int64_t sx = x_src + FloorDiv(i * src_width, dw);
      if (tx < 0 || tx >= target->width || sx < 0 || sx >= view.width) continue;
      PutPixel(target, (int)tx, (int)ty, view.Get((int)sx, (int)sy));
    }
  }
  return (int)dh;
}

int SetDIBitsToDevice(HDC dc, int x_dest, int y_dest, DWORD width, DWORD height, int x_src, int y_src, UINT,
                      UINT lines, const void* bits, const BITMAPINFO* info, UINT usage) {
  if (height > lines) height = lines;
  if (width > 0x7FFFFFFF || height > 0x7FFFFFFF) return 0;
  return StretchDIBits(dc, x_dest, y_dest, (int)width, (int)height, x_src, y_src, (int)width, (int)height, bits,
                       info, usage, SRCCOPY);
}
