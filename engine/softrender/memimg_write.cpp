// Format-converting writes into memory images: a rectangle from another
// memory image, or a decoded base image, whose whole-store write also builds
// the premultiplied alpha plane and the transparency run table the blit uses.
#include "engine/softrender/memimg.h"

namespace {

bool RectInside(const PixelRect& r, int width, int height) {
  return r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom && r.right <= width &&
         r.bottom <= height;
}

// The converter trusts its rectangles: both must lie inside their images.
bool TransferFits(const PixelRect& r, int src_w, int src_h, int dst_x, int dst_y, int dst_w, int dst_h) {
  return RectInside(r, src_w, src_h) && dst_x >= 0 && dst_y >= 0 &&
         (int64_t)dst_x + (r.right - r.left) <= dst_w && (int64_t)dst_y + (r.bottom - r.top) <= dst_h;
}

void BuildPremultipliedPlane(const MEMIMG* view) {
  const PIXELSTORE* store = view->store;
  for (int y = 0; y < view->height; y++) {
    const uint8_t* s = view->pixels + (size_t)y * store->pitch;
    uint8_t* d = view->alpha_pixels + (size_t)y * store->pitch;
    for (int x = 0; x < view->width; x++, s += 4, d += 4) {
      uint32_t v = LoadPixel32(s), out;
      if (store->format_code == MEMIMG_R5G6B5) {
        uint32_t a = (v >> 16) & 0xFF;
        out = ((((v & 0xF800) * a) >> 8) & 0xF800) | ((((v & 0x07E0) * a) >> 8) & 0x07E0) |
              ((((v & 0x001F) * a) >> 8) & 0x001F) | (a << 16);
      } else {
        uint32_t a = v >> 24;
        out = a << 24;
        for (int i = 0; i < 24; i += 8) out |= ((((v >> i) & 0xFF) * a) >> 8) << i;
      }
      StorePixel32(d, out);
    }
  }
}

int PixelRunKindAt(const PIXELSTORE* store, const uint8_t* p) {
  if (store->palette_flag) return *p == store->transparent_color ? PIXEL_RUN_SKIP : PIXEL_RUN_OPAQUE;
  if (!store->alpha_flag) {
    uint32_t v = store->format_code == MEMIMG_R5G6B5 ? LoadPixel16(p) : LoadPixel32(p);
    return v == store->transparent_color ? PIXEL_RUN_SKIP : PIXEL_RUN_OPAQUE;
  }
  uint32_t a = p[store->format_code == MEMIMG_R5G6B5 ? 2 : 3];
  return a == 0 ? PIXEL_RUN_SKIP : a == 255 ? PIXEL_RUN_OPAQUE : PIXEL_RUN_TRANSLUCENT;
}

void BuildPixelRunTable(const MEMIMG* view) {
  const PIXELSTORE* store = view->store;
  int bpp = MEMIMGBytesPerPixel(store);
  uint8_t* out = store->run_table;
  for (int y = 0; y < view->height; y++) {
    const uint8_t* p = view->pixels + (size_t)y * store->pitch;
    int x = 0;
    while (x < view->width) {
      int kind = PixelRunKindAt(store, p + (size_t)x * bpp);
      int len = 1;
      while (x + len < view->width && len < PIXEL_RUN_MAX && PixelRunKindAt(store, p + (size_t)(x + len) * bpp) == kind)
        len++;
      *out++ = (uint8_t)((kind << 6) | (len - 1));
      x += len;
    }
    *out++ = PIXEL_RUN_END_CODE;
  }
}

}  // namespace

int TransferMEMIMGRect(MEMIMG* dst, const MEMIMG* src, const int32_t* src_rect, int dst_x, int dst_y) {
  if (!IsMEMIMGValid(dst) || !IsMEMIMGValid(src)) return -1;
  PixelRect r = src_rect ? PixelRect{src_rect[0], src_rect[1], src_rect[2], src_rect[3]}
                         : PixelRect{0, 0, src->width, src->height};
  if (!TransferFits(r, src->width, src->height, dst_x, dst_y, dst->width, dst->height)) return -1;
  return ConvertPixelRect(dst->pixels, dst->store->pitch, dst->store->format, src->pixels, src->store->pitch,
                          src->store->format, nullptr, 0, nullptr, dst_x, dst_y, &r, 0, 0, 0, 0, 0, 0, 0, 0);
}

int WriteBaseImageToMEMIMG(BASEIMAGE* image, BASEIMAGE* alpha_image, MEMIMG* view, int src_x, int src_y, int width,
                           int height, int dst_x, int dst_y, int conversion_option) {
  if (!image || !image->pixels || !IsMEMIMGValid(view)) return -1;
  PIXELSTORE* store = view->store;
  if (image->format.dxt_kind != 0 && ExpandCompressedBaseImage(image) < 0) return -1;
  if (alpha_image && (!alpha_image->pixels || alpha_image->width < image->width ||
                      alpha_image->height < image->height))
    return -1;
  if (alpha_image && alpha_image->format.dxt_kind != 0 && ExpandCompressedBaseImage(alpha_image) < 0) return -1;
  PixelRect r{src_x, src_y, (int32_t)((int64_t)src_x + width), (int32_t)((int64_t)src_y + height)};
  if (width < 0 || height < 0 || !TransferFits(r, image->width, image->height, dst_x, dst_y, view->width, view->height))
    return -1;

  if (store->format_code == MEMIMG_GRAY8 || store->format_code == MEMIMG_GRAY16) {
    ConvertPixelRect(view->pixels, store->pitch, store->format, image->pixels, image->pitch, &image->format, nullptr,
                     0, nullptr, dst_x, dst_y, &r, 0, 0, 0, 0, 1, 1, 0, 0);
  } else {
    int result = ConvertPixelRect(view->pixels, store->pitch, store->format, image->pixels, image->pitch,
                                  &image->format, alpha_image ? alpha_image->pixels : nullptr,
                                  alpha_image ? alpha_image->pitch : 0, alpha_image ? &alpha_image->format : nullptr,
                                  dst_x, dst_y, &r, 0, conversion_option, store->transparent_color, 0, 0, 0, 0, 0);
    if (result < 0) return result;
    if (!alpha_image && store->palette_flag) store->palette_count = result + 1;
  }

  if (store->palette_flag && store->palette) {
    const PaletteEntry* pal = image->format.palette;
    bool wide = store->format_code == MEMIMG_X8R8G8B8;
    for (int i = 0; i < 256; i++) {
      if (wide)
        StorePixel32(store->palette + 4 * i, ((uint32_t)pal[i].red << 16) | ((uint32_t)pal[i].green << 8) | pal[i].blue);
      else
        StorePixel16(store->palette + 2 * i, ((pal[i].red >> 3) << 11) | ((pal[i].green >> 2) << 5) | (pal[i].blue >> 3));
    }
    std::memcpy(store->palette2, store->palette, wide ? 1024 : 512);
  }

  store->premul_valid = 0;
  store->run_table_valid = 0;
  // The derived data describes whole lines of the store: a write into a view
  // that covers only part of it leaves both invalid.
  bool whole_store = view->pixels == store->pixel_memory && view->width == store->width &&
                     view->height == store->height;
  if (width != view->width || height != view->height || !whole_store || !store->run_table ||
      (store->format_code != MEMIMG_R5G6B5 && store->format_code != MEMIMG_X8R8G8B8))
    return 0;
  store->run_table_valid = 1;
  if (store->alpha_flag && store->premul_plane && view->alpha_pixels) {
    store->premul_valid = 1;
    BuildPremultipliedPlane(view);
  }
  BuildPixelRunTable(view);
  return 0;
}
