// Small helpers for the kernel and window stand-in tests.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32/window.h"

// UTF-8 text written as u8"..." (the program's own literals are code page 932).
inline std::string U8(const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); }

// One white pixel stretched over the client rectangle (0, 0)-(width, height)
// through the software present; StretchDIBitsToWindow's result (1).
inline int StretchWhiteToWindow(HWND window, int width, int height) {
  struct {
    BITMAPINFOHEADER header;
    uint32_t masks[3];
  } info{};
  info.header = {sizeof(BITMAPINFOHEADER), 1, -1, 1, 32, BI_BITFIELDS, 0, 0, 0, 0, 0};
  info.masks[0] = 0xFF0000;
  info.masks[1] = 0x00FF00;
  info.masks[2] = 0x0000FF;
  const uint32_t white = 0xFFFFFF;
  return StretchDIBitsToWindow(window, 0, 0, width, height, 0, 0, 1, 1, &white, reinterpret_cast<BITMAPINFO*>(&info));
}
