// Base images in DIB form, DIB graphs made through GDI, left-right mirroring
// in place and the reading of one pixel as 0xAARRGGBB.
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/log.h"
#include "engine/image/image_internal.h"
#include "engine/image/image_load.h"
#include "platform/win32/dib.h"

static void SetDibHeader(BITMAPINFOHEADER* h, int width, int height, int bits, uint32_t compression) {
  std::memset(h, 0, sizeof(*h));
  h->biSize = sizeof(BITMAPINFOHEADER);
  h->biWidth = width;
  h->biHeight = -(height < 0 ? -height : height);
  h->biPlanes = 1;
  h->biBitCount = (WORD)bits;
  h->biCompression = compression;
}

// Copies `row_bytes` of every row into a new buffer of `stride` per row.
static void* CopyRows(const BASEIMAGE* image, int64_t row_bytes, int64_t stride) {
  uint8_t* out = (uint8_t*)TrackedCalloc((uint32_t)(stride * image->height), "", 0);
  if (!out) return nullptr;
  CopyPixelRows(out, (ptrdiff_t)stride, image->pixels, image->pitch, (size_t)row_bytes, image->height);
  return out;
}

int BaseImageToDib(const BASEIMAGE* image, BITMAPINFO* info, void** bits_out, int force_copy, int force_24bit) {
  const PIXELFORMAT& f = image->format;
  // Blocks are no pixels: the loader expands them before it gets here.
  if (f.dxt_kind || !image->pixels) return -1;
  if (f.bits_per_pixel == 8 && !force_24bit) {
    SetDibHeader(&info->bmiHeader, image->width, image->height, 8, BI_RGB);
    std::memcpy(DibColorTable(info), f.palette, sizeof(f.palette));
    const int64_t stride = vox_win32::DibRowBytes(image->width, 8);
    if (force_copy == 1 || stride != image->pitch) {
      void* bits = CopyRows(image, image->width, stride);
      if (!bits) return -1;
      *bits_out = bits;
      return 1;
    }
    *bits_out = image->pixels;
    return 0;
  }
  SetDibHeader(&info->bmiHeader, image->width, image->height, 24, BI_RGB);
  const int64_t stride = vox_win32::DibRowBytes(image->width, 24);
  if (f.bits_per_pixel == 24 && f.red_mask == 0xFF0000 && f.green_mask == 0xFF00 && f.blue_mask == 0xFF &&
      force_copy != 1) {
    if (stride == image->pitch) {
      *bits_out = image->pixels;
      return 0;
    }
    void* bits = CopyRows(image, (int64_t)image->width * 3, stride);
    if (!bits) return -1;
    *bits_out = bits;
    return 1;
  }
  uint8_t* bits = (uint8_t*)TrackedCalloc((uint32_t)(stride * image->height), "", 0);
  if (!bits) return -1;
  PIXELFORMAT rgb24;
  std::memset(&rgb24, 0, sizeof(rgb24));
  InitRgb24PixelFormat(&rgb24);
  PixelRect rect{0, 0, image->width, image->height};
  ConvertPixelRect(bits, (int)stride, &rgb24, image->pixels, image->pitch, &image->format, nullptr, 0, nullptr, 0, 0,
                   &rect, 0, 0, 0, GetPixelDitherMode(), 0, 0, 0, 0);
  *bits_out = bits;
  return 1;
}

HBITMAP CreateDIBGraph(const BITMAPINFO* info, const void* bits, int mirror_flag, PIXELFORMAT* wanted_format) {
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return nullptr;
  const BITMAPINFOHEADER& src = info->bmiHeader;
  const int width = src.biWidth;
  const int height = src.biHeight < 0 ? -src.biHeight : src.biHeight;
  int bits_out = 24;
  uint32_t compression = BI_RGB;
  uint32_t masks[3] = {0, 0, 0};
  bool copy_table = false;
  if (!wanted_format) {
    if (src.biBitCount == 8) {
      bits_out = 8;
      compression = src.biCompression;
      copy_table = true;
    }
  } else if (wanted_format->bits_per_pixel == 16 || (wanted_format->bits_per_pixel > 24 && src.biBitCount != 24)) {
    bits_out = wanted_format->bits_per_pixel;
    compression = BI_BITFIELDS;
    masks[0] = wanted_format->red_mask;
    masks[1] = wanted_format->green_mask;
    masks[2] = wanted_format->blue_mask;
  } else if (wanted_format->bits_per_pixel == 32 && src.biBitCount == 24) {
    std::memset(wanted_format, 0, sizeof(*wanted_format));
    InitRgb24PixelFormat(wanted_format);
  } else if (wanted_format->bits_per_pixel == 8) {
    // An 8-bit wish gets the picture's own colours when it has them, else
    // a grey ramp.
    bits_out = 8;
    copy_table = true;
  }
  const uint32_t table_bytes = compression == BI_BITFIELDS ? 12 : bits_out <= 8 ? 4u << bits_out : 0;
  BITMAPINFO* header = (BITMAPINFO*)TrackedCalloc(sizeof(BITMAPINFOHEADER) + table_bytes, "", 0);
  if (!header) {
    DeleteDC(dc);
    WriteLogText("メモリの確保に失敗しました in CreateDIBGraph \n");
    return nullptr;
  }
  SetDibHeader(&header->bmiHeader, width, height, bits_out, compression);
  if (compression == BI_BITFIELDS) {
    std::memcpy(DibColorTable(header), masks, sizeof(masks));
  } else if (copy_table) {
    RGBQUAD* table = DibColorTable(header);
    if (src.biBitCount == 8) {
      std::memcpy(table, DibColorTable(info), 256 * sizeof(RGBQUAD));
    } else {
      for (int i = 0; i < 256; ++i) table[i] = RGBQUAD{(BYTE)i, (BYTE)i, (BYTE)i, 0};
    }
  }
  void* section_bits = nullptr;
  HBITMAP section = CreateDIBSection(dc, header, DIB_RGB_COLORS, &section_bits, nullptr, 0);
  TrackedFree(header);
  if (!section) {
    DeleteDC(dc);
    WriteLogText("ＤＩＢの作成に失敗しました3\n");
    return nullptr;
  }
  if (!section_bits) {
    DeleteObject(section);
    DeleteDC(dc);
    WriteLogText("ＤＩＢの作成に失敗しました2\n");
    return nullptr;
  }
  HGDIOBJ old = SelectObject(dc, section);
  if (!mirror_flag) {
    SetDIBitsToDevice(dc, 0, 0, (DWORD)width, (DWORD)height, 0, 0, 0, (UINT)height, bits, info, DIB_RGB_COLORS);
  } else {
    // Only left and right swap: the rows keep their order.
    StretchDIBits(dc, 0, 0, width, height, width - 1, 0, -width, height, bits, info, DIB_RGB_COLORS, SRCCOPY);
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  return section;
}

int MirrorBaseImage(BASEIMAGE* image) {
  if (image->width == 0 || image->height == 0) return -1;
  if (image->format.dxt_kind && ExpandCompressedBaseImage(image) < 0) return -1;
  const int bytes = image->format.bytes_per_pixel;
  if (bytes < 1 || bytes > 4 || !image->pixels) return 0;
  for (int y = 0; y < image->height; ++y) {
    uint8_t* row = image->pixels + (int64_t)y * image->pitch;
    for (int i = 0; i < image->width / 2; ++i) {
      uint8_t* a = row + (int64_t)i * bytes;
      uint8_t* b = row + (int64_t)(image->width - 1 - i) * bytes;
      uint8_t t[4];
      std::memcpy(t, a, bytes);
      std::memcpy(a, b, bytes);
      std::memcpy(b, t, bytes);
    }
  }
  return 0;
}

uint32_t ReadBaseImagePixelArgb(const BASEIMAGE* image, int x, int y) {
  if (!image->pixels || image->format.dxt_kind) return 0;
  if ((uint32_t)x >= (uint32_t)image->width || (uint32_t)y >= (uint32_t)image->height) return 0;
  const PIXELFORMAT& f = image->format;
  const uint8_t* p = image->pixels + (int64_t)y * image->pitch + (int64_t)x * f.bytes_per_pixel;
  if (f.bytes_per_pixel == 1) {
    const PaletteEntry& e = f.palette[*p];
    return ((uint32_t)e.red << 16) | ((uint32_t)e.green << 8) | e.blue;
  }
  const uint32_t v = LoadPixel(p, f.bytes_per_pixel);
  auto channel = [&](uint32_t mask, int shift, int width) -> uint32_t {
    if (!width) return 0;
    uint32_t c = (v & mask) >> shift;
    return width <= 8 ? c << (8 - width) : c >> (width - 8);
  };
  return (channel(f.alpha_mask, f.alpha_shift, f.alpha_width) << 24) |
         (channel(f.red_mask, f.red_shift, f.red_width) << 16) |
         (channel(f.green_mask, f.green_shift, f.green_width) << 8) | channel(f.blue_mask, f.blue_shift, f.blue_width);
}
