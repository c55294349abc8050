// The DirectDraw pixel-format record on its own: surfaces describe their
// layout with it, and code that only fills or reads such records (the
// software renderer's surface formats, the texture formats) needs nothing
// else of the Direct3D stand-in.
#pragma once

#include "platform/win32/win32.h"

#define DDPF_RGB 0x40u

// Pixel layout of a DirectDraw surface (32 bytes).
struct DDPIXELFORMAT {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwFourCC;
  DWORD dwRGBBitCount;
  DWORD dwRBitMask;
  DWORD dwGBitMask;
  DWORD dwBBitMask;
  DWORD dwRGBAlphaBitMask;
};
static_assert(sizeof(DDPIXELFORMAT) == 32, "DDPIXELFORMAT is 32 bytes");
