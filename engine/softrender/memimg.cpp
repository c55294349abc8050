// Memory-image views and their reference-counted pixel stores: set-up,
// sub-views, release, the shared pixel-format records and the raw fill.
#include "engine/softrender/memimg.h"

#include <algorithm>
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/image/base_image.h"
#include "engine/softrender/blend.h"
#include "platform/d3d9/dd_pixel_format.h"

namespace {

int g_screen_bit_depth = 32;

int StoreBytesPerPixel(int format_code, int palette_flag, int alpha_flag) {
  if (palette_flag) return 1;
  if (format_code == MEMIMG_R5G6B5 && alpha_flag) return 4;
  return kMemImgBytesPerPixel[format_code];
}

void FreeStore(PIXELSTORE* store) {
  VOX_FREE(store->pixel_block);
  VOX_FREE(store->premul_block);
  VOX_FREE(store->run_table);
  VOX_FREE(store->palette);
  store->pixel_memory = store->premul_plane = store->run_table = store->pixel_block = store->premul_block = nullptr;
  store->palette = store->palette2 = nullptr;
  VOX_FREE(store);
}

// `bytes` starting on a 64-byte cache line inside a block kept in *block:
// rows whose pitch is a multiple of 64 then never have a vector load or
// store straddle two lines.
uint8_t* AllocateOnCacheLine(uint32_t bytes, uint8_t** block) {
  *block = (uint8_t*)VOX_ALLOC(bytes + 63);
  return *block ? (uint8_t*)(((uintptr_t)*block + 63) & ~(uintptr_t)63) : nullptr;
}

PIXELFORMAT MakeSingleChannelFormat(int bits, uint32_t mask) {
  PIXELFORMAT f = {};
  f.bits_per_pixel = (uint16_t)bits;
  f.bytes_per_pixel = (uint16_t)(bits / 8);
  f.red_width = f.green_width = f.blue_width = f.alpha_width = (uint8_t)bits;
  f.red_mask = f.green_mask = f.blue_mask = f.alpha_mask = mask;
  return f;
}

// The row of a format table (colour rows by code, alpha and palette flag,
// then the two single-channel rows) for a format code; null for others.
template <class Table>
auto PickFormatRow(const Table& t, int format_code, int alpha_flag, int palette_flag) -> decltype(&t.gray8) {
  switch (format_code) {
    case MEMIMG_R5G6B5:
    case MEMIMG_X8R8G8B8:
      return &t.colour[format_code][alpha_flag ? 1 : 0][palette_flag ? 1 : 0];
    case MEMIMG_GRAY8:
      return &t.gray8;
    case MEMIMG_GRAY16:
      return &t.gray16;
    default:
      return nullptr;
  }
}

// `bytes` of pixels of `bpp` bytes, all `value`: a few stored one by one,
// then copies that double what is done, each from the start.
void FillPixelRun(uint8_t* p, size_t bytes, uint32_t value, int bpp) {
  const bool one_byte = bpp == 1 || (bpp == 2 ? (value & 0xFF) == ((value >> 8) & 0xFF)
                                              : value == (value & 0xFF) * 0x01010101u);
  if (one_byte) {
    std::memset(p, (int)(value & 0xFF), bytes);
    return;
  }
  size_t done = 0;
  for (; done < bytes && done < 64; done += bpp) {
    if (bpp == 2)
      StorePixel16(p + done, value);
    else
      StorePixel32(p + done, value);
  }
  while (done < bytes) {
    const size_t n = std::min(done, bytes - done);
    std::memcpy(p + done, p, n);
    done += n;
  }
}

}  // namespace

void SetSoftScreenBitDepth(int bits) { g_screen_bit_depth = bits; }
int GetSoftScreenBitDepth() { return g_screen_bit_depth; }

const PIXELFORMAT* GetMEMIMGPixelFormat(int format_code, int alpha_flag, int palette_flag) {
  struct Table {
    PIXELFORMAT colour[2][2][2];  // code, alpha, palette
    PIXELFORMAT gray8, gray16;
    Table() {
      static const uint32_t kMasks[2][4] = {{0xF800, 0x07E0, 0x001F, 0x00FF0000},
                                            {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}};
      for (int code = 0; code < 2; code++)
        for (int alpha = 0; alpha < 2; alpha++)
          for (int pal = 0; pal < 2; pal++) {
            int bits = pal ? 8 : (code == 0 && !alpha) ? 16 : 32;
            const uint32_t* m = kMasks[code];
            InitPixelFormatFromMasks(&colour[code][alpha][pal], bits, m[0], m[1], m[2], alpha ? m[3] : 0);
          }
      gray8 = MakeSingleChannelFormat(8, 0xFF);
      gray16 = MakeSingleChannelFormat(16, 0xFFFF);
    }
  };
  static const Table table;
  return PickFormatRow(table, format_code, alpha_flag, palette_flag);
}

// The same rows as DirectDraw pixel-format records, for surfaces that share
// a memory image's layout; the single-channel rows carry only their bit
// count and masks.
const DDPIXELFORMAT* GetMEMIMGSurfaceFormat(int format_code, int alpha_flag, int palette_flag) {
  struct Table {
    DDPIXELFORMAT colour[2][2][2];
    DDPIXELFORMAT gray8, gray16;
    static DDPIXELFORMAT From(const PIXELFORMAT* f, bool rgb) {
      DDPIXELFORMAT d = {};
      if (rgb) {
        d.dwSize = sizeof(DDPIXELFORMAT);
        d.dwFlags = DDPF_RGB;
      }
      d.dwRGBBitCount = f->bits_per_pixel;
      d.dwRBitMask = f->red_mask;
      d.dwGBitMask = f->green_mask;
      d.dwBBitMask = f->blue_mask;
      d.dwRGBAlphaBitMask = f->alpha_mask;
      return d;
    }
    Table() {
      for (int code = 0; code < 2; code++)
        for (int alpha = 0; alpha < 2; alpha++)
          for (int pal = 0; pal < 2; pal++) colour[code][alpha][pal] = From(GetMEMIMGPixelFormat(code, alpha, pal), true);
      gray8 = From(GetMEMIMGPixelFormat(MEMIMG_GRAY8, 0, 0), false);
      gray16 = From(GetMEMIMGPixelFormat(MEMIMG_GRAY16, 0, 0), false);
    }
  };
  static const Table table;
  return PickFormatRow(table, format_code, alpha_flag, palette_flag);
}

int SetupMEMIMG(MEMIMG* view, int width, int height, int pitch, uint32_t transparent_color, int format_code,
                int palette_flag, int alpha_flag, int make_work_tables, void* user_pixels) {
  if (view->magic == MEMIMG_MAGIC) return -1;
  if (format_code < 0 || format_code > 3 || width <= 0 || height <= 0) return -1;
  if (palette_flag) alpha_flag = 0;
  if (format_code >= MEMIMG_GRAY8) palette_flag = alpha_flag = 0;
  palette_flag = palette_flag ? 1 : 0;
  alpha_flag = alpha_flag ? 1 : 0;

  int bpp = StoreBytesPerPixel(format_code, palette_flag, alpha_flag);
  int64_t row = (int64_t)width * bpp;
  int64_t real_pitch = pitch == -1 ? (row + 15) & ~(int64_t)15 : pitch;
  if (real_pitch < row || real_pitch * height > (int64_t)MAX_IMAGE_BYTES ||
      (int64_t)(width + 5) * height > (int64_t)MAX_IMAGE_BYTES)
    return -1;
  uint32_t bytes = (uint32_t)(real_pitch * height);

  PIXELSTORE* store = (PIXELSTORE*)VOX_CALLOC(sizeof(PIXELSTORE));
  if (!store) return -1;
  store->ref_count = 1;
  store->width = width;
  store->height = height;
  store->transparent_color = transparent_color;
  store->format_code = format_code;
  store->palette_flag = palette_flag;
  store->alpha_flag = alpha_flag;
  store->pitch = (int32_t)real_pitch;
  int64_t unrounded = pitch == -1 ? row : pitch;
  int64_t p2 = 1;
  int exponent = 0;
  while (p2 < unrounded) p2 <<= 1, exponent++;
  store->pitch_exponent = p2 == real_pitch ? exponent : -1;
  store->format = GetMEMIMGPixelFormat(format_code, alpha_flag, palette_flag);

  bool ok = true;
  if (palette_flag) {
    // Zero-filled, so indices beyond the entries a base image brought read black.
    store->palette = (uint8_t*)VOX_CALLOC(2048);
    store->palette2 = store->palette ? store->palette + 1024 : nullptr;
    ok = store->palette != nullptr;
  }
  if (ok) {
    if (user_pixels) {
      store->pixel_memory = (uint8_t*)user_pixels;
      store->user_memory = 1;
    } else {
      store->pixel_memory = AllocateOnCacheLine(bytes, &store->pixel_block);
      ok = store->pixel_memory != nullptr;
    }
  }
  if (ok && make_work_tables) {
    if (alpha_flag) {
      store->premul_plane = AllocateOnCacheLine(bytes, &store->premul_block);
      ok = store->premul_plane != nullptr;
    }
    if (ok && format_code != MEMIMG_GRAY8) {
      store->run_table = (uint8_t*)VOX_ALLOC((uint32_t)((width + 5) * height));
      ok = store->run_table != nullptr;
    }
  }
  if (!ok) {
    FreeStore(store);
    return -1;
  }
  view->store = store;
  view->magic = MEMIMG_MAGIC;
  view->width = width;
  view->height = height;
  view->pixels = store->pixel_memory;
  view->alpha_pixels = store->premul_plane;
  return 0;
}

int CreateScreenFormatMEMIMG(MEMIMG* view, int width, int height, int format_code) {
  *view = MEMIMG{};
  if (format_code == -1) format_code = GetSoftScreenBitDepth() == 16 ? MEMIMG_R5G6B5 : MEMIMG_X8R8G8B8;
  return SetupMEMIMG(view, width, height, -1, 0, format_code, 0, 0, 0, nullptr);
}

int CreateDepthMEMIMG(MEMIMG* view, int width, int height) {
  *view = MEMIMG{};
  return SetupMEMIMG(view, width, height, -1, 0, MEMIMG_GRAY16, 0, 0, 0, nullptr);
}

void CreateMEMIMGView(MEMIMG* view, const MEMIMG* source, int x, int y, int width, int height) {
  if (view->magic == MEMIMG_MAGIC || !IsMEMIMGValid(source)) return;
  if (x < 0 || y < 0 || width < 0 || height < 0 || (int64_t)x + width > source->width ||
      (int64_t)y + height > source->height)
    return;
  PIXELSTORE* store = source->store;
  size_t offset = (size_t)x * MEMIMGBytesPerPixel(store) + (size_t)y * store->pitch;
  view->magic = MEMIMG_MAGIC;
  view->width = width;
  view->height = height;
  view->pixels = source->pixels + offset;
  view->alpha_pixels = store->premul_plane && source->alpha_pixels ? source->alpha_pixels + offset : nullptr;
  view->store = store;
  store->ref_count++;
}

bool IsMEMIMGValid(const MEMIMG* view) { return view && view->magic == MEMIMG_MAGIC && view->store != nullptr; }

void ReleaseMEMIMG(MEMIMG* view) {
  if (view->magic != MEMIMG_MAGIC) return;
  PIXELSTORE* store = view->store;
  if (store && --store->ref_count == 0) FreeStore(store);
  view->store = nullptr;
  view->magic = 0;
}

void FillMEMIMGRect(MEMIMG* view, const int32_t* rect, uint32_t value) {
  if (!IsMEMIMGValid(view)) return;
  int32_t r[4] = {0, 0, view->width, view->height};
  if (rect) {
    int32_t clip[4] = {0, 0, view->width, view->height};
    for (int i = 0; i < 4; i++) r[i] = rect[i];
    IntersectClipRect(r, clip);
  }
  const int w = r[2] - r[0], h = r[3] - r[1];
  if (w <= 0 || h <= 0) return;
  const PIXELSTORE* store = view->store;
  const int bpp = MEMIMGBytesPerPixel(store);
  const size_t row_bytes = (size_t)w * bpp;
  uint8_t* first = view->pixels + (size_t)r[1] * store->pitch + (size_t)r[0] * bpp;
  // Rows without a gap between them are filled as one long row; otherwise
  // the first row is filled and copied to the others.
  const bool block = (size_t)store->pitch == row_bytes;
  FillPixelRun(first, block ? row_bytes * (size_t)h : row_bytes, value, bpp);
  if (!block) CopyPixelRows(first + store->pitch, store->pitch, first, 0, row_bytes, h - 1);
}
