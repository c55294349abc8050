// Device-independent bitmaps as the window system, GDI and the engine all
// read them: the header records, the device context they are copied into,
// the row layout, the channel masks of each layout, and the shift and width
// of a bit-field mask. The one home of these rules.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/win32/win32.h"

#define BI_RGB 0u
#define BI_RLE8 1u
#define BI_RLE4 2u
#define BI_BITFIELDS 3u
#define DIB_RGB_COLORS 0u

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;  // negative: rows top-down
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

// The colour table (or the three bit-field masks) follows the header.
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

inline RGBQUAD* DibColorTable(BITMAPINFO* info) {
  return reinterpret_cast<RGBQUAD*>(reinterpret_cast<uint8_t*>(info) + sizeof(BITMAPINFOHEADER));
}
inline const RGBQUAD* DibColorTable(const BITMAPINFO* info) {
  return reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const uint8_t*>(info) + sizeof(BITMAPINFOHEADER));
}

// A device context: a window's client area (the window system's) or a
// memory context holding a DIB section (GDI's).
struct GdiDc;
typedef GdiDc* HDC;

namespace vox_win32 {

// Bytes from one DIB row to the next: the row's bits padded to whole 32-bit
// words. The glyph bitmaps of the font functions are laid out alike.
inline int64_t DibRowBytes(int64_t width, int bits_per_pixel) { return (width * bits_per_pixel + 31) / 32 * 4; }

// The red, green and blue masks of a DIB of 16, 24 or 32 bits: the bit
// fields after the header for BI_BITFIELDS, else the fixed layout of BI_RGB
// (5-5-5 at 16 bits, 8-8-8 above). False for any other layout.
inline bool DibChannelMasks(const BITMAPINFO* info, uint32_t masks[3]) {
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biCompression == BI_BITFIELDS && (h.biBitCount == 16 || h.biBitCount == 32)) {
    std::memcpy(masks, DibColorTable(info), 3 * sizeof(uint32_t));
    return true;
  }
  if (h.biCompression != BI_RGB || !(h.biBitCount == 16 || h.biBitCount == 24 || h.biBitCount == 32)) return false;
  if (h.biBitCount == 16) masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
  else masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
  return true;
}

// A channel of a bit-field mask: the position of its lowest set bit, and the
// number of consecutive set bits from there. Both 0 for an empty mask.
inline int BitFieldShift(uint32_t mask) { return mask ? __builtin_ctz(mask) : 0; }
inline int BitFieldWidth(uint32_t mask) {
  if (!mask) return 0;
  uint32_t run = mask >> BitFieldShift(mask);
  return run == 0xFFFFFFFFu ? 32 : __builtin_ctz(~run);
}

}  // namespace vox_win32
