// GDI as the engine calls it for device-independent bitmaps: memory device
// contexts, DIB sections and the two copies into them (plain and stretched),
// with GDI's format conversion between any two DIB layouts. A DIB section is
// a record of our own holding its header, colour table and pixel bits.
#pragma once

#include <cstdint>

#include "platform/win32/dib.h"
#include "platform/win32/win32.h"

#define SRCCOPY 0x00CC0020u
#define OBJ_BITMAP 7
#define OBJ_FONT 6

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
};

// Every GDI object starts with its kind (OBJ_BITMAP, OBJ_FONT, ...).
struct GdiObject {
  int kind;
};
typedef GdiObject* HGDIOBJ;
typedef GdiObject* HBITMAP;

HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
// Selects an object of its kind into the context; returns the object of that
// kind selected before (the context's default one at first).
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
int GetObjectA(HGDIOBJ object, int size, LPVOID out);  // BITMAP for a DIB section

// 1, 4, 8, 16, 24 or 32 bits; BI_RGB, or BI_BITFIELDS for 16 and 32 bits.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset);

// Source coordinates count from the top row of the picture whatever its row
// order. Return the number of rows copied, 0 on failure.
int SetDIBitsToDevice(HDC dc, int x_dest, int y_dest, DWORD width, DWORD height, int x_src, int y_src,
                      UINT start_scan, UINT lines, const void* bits, const BITMAPINFO* info, UINT usage);
// A negative source or destination extent mirrors that axis.
int StretchDIBits(HDC dc, int x_dest, int y_dest, int dest_width, int dest_height, int x_src, int y_src,
                  int src_width, int src_height, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop);
