// Device-independent bitmaps as the window system and GDI both read them:
// the header records and the device context they are copied into.
#pragma once

#include <cstdint>

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
