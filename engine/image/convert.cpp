// ConvertPixelRect: moves a rectangle of pixels between any two colour
// formats, with mirror, alpha image, colour key to alpha, alpha from red and
// alpha only; common format pairs take fast paths of their own. Also the box
// reduction of one mip-map step.
#include <cstring>

#include "engine/image/base_image.h"
#include "engine/image/image_internal.h"

namespace {

bool Masks(const PIXELFORMAT* f, uint32_t r, uint32_t g, uint32_t b) {
  return f->red_mask == r && f->green_mask == g && f->blue_mask == b;
}
bool Is888(const PIXELFORMAT* f) { return Masks(f, 0xFF0000, 0xFF00, 0xFF); }
bool Is565(const PIXELFORMAT* f) { return Masks(f, 0xF800, 0x07E0, 0x001F); }
bool Is555(const PIXELFORMAT* f) { return Masks(f, 0x7C00, 0x03E0, 0x001F); }

struct Rect {
  const uint8_t* src;
  int src_pitch;
  uint8_t* dst;
  int dst_pitch;
  int src_x, src_y, dst_x, dst_y, width, height;
  int src_bytes, dst_bytes;
  bool mirror;

  const uint8_t* SrcRow(int y) const { return src + (int64_t)(src_y + y) * src_pitch + (int64_t)src_x * src_bytes; }
  // Destination pixel for source column x of row y; a mirrored row is
  // written from its right end.
  uint8_t* DstPixel(int x, int y) const {
    int dx = mirror ? dst_x + width - 1 - x : dst_x + x;
    return dst + (int64_t)(dst_y + y) * dst_pitch + (int64_t)dx * dst_bytes;
  }
  template <class Fn>  // fn(source pixel pointer, destination pixel pointer)
  void Each(Fn&& fn) const {
    for (int y = 0; y < height; ++y) {
      const uint8_t* s = SrcRow(y);
      for (int x = 0; x < width; ++x, s += src_bytes) fn(s, DstPixel(x, y));
    }
  }
};

// The fast paths: one per-pixel rule each, for exactly the masks named.
// They keep the top bits of each channel and fill the low bits with zeros.
bool RunFastPath(const Rect& r, const PIXELFORMAT* sf, const PIXELFORMAT* df, bool key, uint32_t key_color,
                 bool alpha_supplied) {
  const int sb = sf->bits_per_pixel, db = df->bits_per_pixel;
  const bool d_alpha = df->alpha_width != 0;
  const bool s_alpha = sf->alpha_width != 0;
  const PaletteEntry* pal = sf->palette;
  auto to565 = [](uint32_t red, uint32_t green, uint32_t blue) {
    return (uint32_t)(((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3));
  };
  auto to555 = [](uint32_t red, uint32_t green, uint32_t blue) {
    return (uint32_t)(((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3));
  };
  // A 5-6-5 pixel with its channels shifted up to X8R8G8B8, or with its
  // green cut to 5 bits.
  auto widen565 = [](uint32_t v) {
    return ((v & 0x1F) << 3) | ((((v >> 5) & 0x3F) << 2) << 8) | (((v >> 11) << 3) << 16);
  };
  auto narrow565 = [](uint32_t v) { return ((v >> 11) << 10) | (((v >> 6) & 0x1F) << 5) | (v & 0x1F); };
  if (sb == 8) {
    if (!key && db == 16 && Is565(df) && !d_alpha) {
      r.Each([&](const uint8_t* s, uint8_t* d) { const PaletteEntry& e = pal[*s]; StorePixel(d, 2, to565(e.red, e.green, e.blue)); });
      return true;
    }
    if (!key && db == 16 && Is555(df) && !d_alpha) {
      r.Each([&](const uint8_t* s, uint8_t* d) { const PaletteEntry& e = pal[*s]; StorePixel(d, 2, to555(e.red, e.green, e.blue) | 0x8000); });
      return true;
    }
    if (!key && db == 32 && Is888(df) && !d_alpha) {
      r.Each([&](const uint8_t* s, uint8_t* d) { StorePixel(d, 4, PaletteWord(pal[*s]) | 0xFF000000u); });
      return true;
    }
    if (key && db == 16 && Is555(df) && df->alpha_mask == 0x8000) {
      r.Each([&](const uint8_t* s, uint8_t* d) {
        const PaletteEntry& e = pal[*s];
        StorePixel(d, 2, to555(e.red, e.green, e.blue) | (PaletteWord(e) == key_color ? 0 : 0x8000));
      });
      return true;
    }
    if (key && db == 32 && Is888(df) && df->alpha_mask == 0xFF000000u) {
      r.Each([&](const uint8_t* s, uint8_t* d) {
        uint32_t w = PaletteWord(pal[*s]);
        StorePixel(d, 4, w == key_color ? w : (w | 0xFF000000u));
      });
      return true;
    }
    return false;
  }
  if (sb == 24 && Is888(sf)) {
    const uint32_t key24 = key_color & 0xFFFFFF;
    if (!key && db == 16 && Is565(df) && !d_alpha) {
      r.Each([&](const uint8_t* s, uint8_t* d) { StorePixel(d, 2, to565(s[2], s[1], s[0])); });
      return true;
    }
    if (!key && db == 16 && Is555(df) && !d_alpha) {
      r.Each([&](const uint8_t* s, uint8_t* d) { StorePixel(d, 2, to555(s[2], s[1], s[0]) | 0x8000); });
      return true;
    }
    if (!key && db == 32 && Is888(df)) {
      r.Each([&](const uint8_t* s, uint8_t* d) { d[0] = s[0]; d[1] = s[1]; d[2] = s[2]; d[3] = 0xFF; });
      return true;
    }
    if (key && db == 16 && Is555(df) && df->alpha_mask == 0x8000) {
      r.Each([&](const uint8_t* s, uint8_t* d) {
        StorePixel(d, 2, to555(s[2], s[1], s[0]) | (LoadPixel(s, 3) == key24 ? 0 : 0x8000));
      });
      return true;
    }
    if (key && db == 32 && Is888(df) && df->alpha_mask == 0xFF000000u) {
      r.Each([&](const uint8_t* s, uint8_t* d) {
        uint32_t v = LoadPixel(s, 3);
        StorePixel(d, 4, v == key24 ? v : (v | 0xFF000000u));
      });
      return true;
    }
    return false;
  }
  if (sb == 32 && Is888(sf) && !s_alpha && !alpha_supplied) {
    if (!key && db == 16 && Is565(df) && !d_alpha) {
      r.Each([&](const uint8_t* s, uint8_t* d) { StorePixel(d, 2, to565(s[2], s[1], s[0])); });
      return true;
    }
    return false;
  }
  if (sb == 16 && Is565(sf) && !s_alpha) {
    if (key && db == 16 && Is555(df) && df->alpha_mask == 0x8000) {
      const uint32_t key555 = to555((key_color >> 16) & 0xFF, (key_color >> 8) & 0xFF, key_color & 0xFF);
      r.Each([&](const uint8_t* s, uint8_t* d) {
        const uint32_t v = narrow565(ReadLe16(s));
        StorePixel(d, 2, v | (v == key555 ? 0 : 0x8000));
      });
      return true;
    }
    if (key || alpha_supplied) return false;
    if (db == 24 && Is888(df)) {
      r.Each([&](const uint8_t* s, uint8_t* d) { StorePixel(d, 3, widen565(ReadLe16(s))); });
      return true;
    }
    if (db == 32 && Is888(df) && !d_alpha) {
      r.Each([&](const uint8_t* s, uint8_t* d) { StorePixel(d, 4, widen565(ReadLe16(s))); });
      return true;
    }
    if (db == 16 && Is555(df) && !d_alpha) {
      r.Each([&](const uint8_t* s, uint8_t* d) { StorePixel(d, 2, narrow565(ReadLe16(s))); });
      return true;
    }
    return false;
  }
  if (sb == 16 && Is555(sf) && !s_alpha && !key && !alpha_supplied) {
    if (db == 16 && Is565(df) && !d_alpha) {
      r.Each([&](const uint8_t* s, uint8_t* d) {
        uint32_t v = ReadLe16(s);
        uint32_t green = (v >> 5) & 0x1F;
        StorePixel(d, 2, (((v >> 10) & 0x1F) << 11) | (((green << 1) | (green & 1)) << 5) | (v & 0x1F));
      });
      return true;
    }
  }
  return false;
}

// A one-byte format whose channel fields describe its palette entries; a
// single-channel format's fields lie inside the byte instead.
bool IsPalettedFormat(const PIXELFORMAT* f) {
  return f->bytes_per_pixel == 1 && (f->red_mask | f->green_mask | f->blue_mask | f->alpha_mask) > 0xFF;
}

// Raw value of a source pixel: the pixel itself, or the palette entry of a
// 1-byte pixel.
uint32_t SourceValue(const PIXELFORMAT* f, const uint8_t* p) {
  return f->bytes_per_pixel == 1 ? PaletteWord(f->palette[*p]) : LoadPixel(p, f->bytes_per_pixel);
}

struct ChannelMap {
  uint32_t mask;
  int shift, width;
};

}  // namespace

void CopyPixelRows(uint8_t* dst, ptrdiff_t dst_pitch, const uint8_t* src, ptrdiff_t src_pitch, size_t row_bytes,
                   int rows) {
  if (rows <= 0 || !row_bytes) return;
  if (dst_pitch == (ptrdiff_t)row_bytes && src_pitch == (ptrdiff_t)row_bytes) {
    std::memcpy(dst, src, row_bytes * (size_t)rows);
    return;
  }
  for (int y = 0; y < rows; ++y) std::memcpy(dst + y * dst_pitch, src + y * src_pitch, row_bytes);
}

int ConvertPixelRect(uint8_t* dst, int dst_pitch, const PIXELFORMAT* dst_format, const uint8_t* src, int src_pitch,
                     const PIXELFORMAT* src_format, const uint8_t* alpha, int alpha_pitch,
                     const PIXELFORMAT* alpha_format, int dst_x, int dst_y, const PixelRect* src_rect, int mirror,
                     int key_to_alpha, uint32_t key_color, int dither, int alpha_only, int alpha_from_red,
                     int key_skip, int palette_remap) {
  (void)key_skip;  // every pixel is written
  const PIXELFORMAT* sf = src_format;
  const PIXELFORMAT* df = dst_format;
  const bool s_alpha = sf->alpha_width != 0;
  const bool d_alpha = df->alpha_width != 0;
  if (!alpha_format) alpha = nullptr;
  const bool alpha_supplied = d_alpha && (alpha != nullptr || s_alpha);
  const bool use_alpha_image = d_alpha && alpha != nullptr && !s_alpha;
  bool key = key_to_alpha && !alpha_supplied && d_alpha && !alpha_from_red;

  const int width = src_rect->right - src_rect->left;
  const int height = src_rect->bottom - src_rect->top;
  if (width <= 0 || height <= 0) return -1;

  Rect r{src, src_pitch, dst, dst_pitch, src_rect->left, src_rect->top, dst_x, dst_y, width, height,
         sf->bytes_per_pixel, df->bytes_per_pixel, mirror == 1};
  const int sb = sf->bits_per_pixel, db = df->bits_per_pixel;

  // Between two paletted images: nearest destination index per pixel.
  if (palette_remap && sf->bytes_per_pixel == 1 && df->bytes_per_pixel == 1 &&
      std::memcmp(sf->palette, df->palette, sizeof(sf->palette)) != 0) {
    r.Each([&](const uint8_t* s, uint8_t* d) {
      const PaletteEntry& e = sf->palette[*s];
      *d = (uint8_t)EncodePixelColor(df, e.red, e.green, e.blue, 0);
    });
    return 0;
  }
  // Into a paletted image: nearest index of each unpacked colour. A
  // single-channel store is one byte a pixel too, but its byte is the value
  // itself (all its channel masks cover the byte), not an index into a
  // palette; it takes the general path.
  if (db == 8 && IsPalettedFormat(df) && (sb == 16 || sb == 24 || sb == 32)) {
    r.Each([&](const uint8_t* s, uint8_t* d) {
      uint32_t cr, cg, cb, ca;
      DecodePixelColor(sf, LoadPixel(s, sf->bytes_per_pixel), &cr, &cg, &cb, &ca);
      *d = (uint8_t)EncodePixelColor(df, cr, cg, cb, ca);
    });
    return 0;
  }
  if (db == 8 && sb == 8 && !alpha_only) {
    int largest = 0;
    r.Each([&](const uint8_t* s, uint8_t* d) {
      *d = *s;
      if (*s > largest) largest = *s;
    });
    return largest;
  }
  if (db == 8 && sf->bytes_per_pixel != 1 && sb != 16 && sb != 24 && sb != 32) return 0;

  const bool same_masks = sb == db && Masks(sf, df->red_mask, df->green_mask, df->blue_mask);
  if (!key && !use_alpha_image && !alpha_only && !alpha_from_red && same_masks && sf->alpha_mask == df->alpha_mask) {
    if (!r.mirror) {
      CopyPixelRows(r.DstPixel(0, 0), dst_pitch, r.SrcRow(0), src_pitch, (size_t)width * r.src_bytes, height);
      return 0;
    }
    for (int y = 0; y < height; ++y) {
      const uint8_t* s = r.SrcRow(y);
      for (int x = 0; x < width; ++x, s += r.src_bytes) std::memcpy(r.DstPixel(x, y), s, (size_t)r.src_bytes);
    }
    return 0;
  }
  if (d_alpha && key && !alpha_only && !alpha_from_red && same_masks) {
    const int bytes = df->bytes_per_pixel;
    const uint32_t key_value = EncodePixelColor(df, (key_color >> 16) & 0xFF, (key_color >> 8) & 0xFF, key_color & 0xFF, 255);
    const uint32_t non_colour = ~(df->red_mask | df->green_mask | df->blue_mask);
    r.Each([&](const uint8_t* s, uint8_t* d) {
      uint32_t v = LoadPixel(s, bytes);
      bool is_key = bytes == 4 ? (v | non_colour) == key_value : v == key_value;
      StorePixel(d, bytes, is_key ? (v & ~df->alpha_mask) : (v | df->alpha_mask));
    });
    return 0;
  }
  if (!dither && !alpha_only && !alpha_from_red && !mirror && !alpha &&
      RunFastPath(r, sf, df, key, key_color, alpha_supplied))
    return 0;

  // General path, pixel by pixel.
  const ChannelMap s_ch[4] = {{sf->red_mask, sf->red_shift, sf->red_width},
                              {sf->green_mask, sf->green_shift, sf->green_width},
                              {sf->blue_mask, sf->blue_shift, sf->blue_width},
                              {sf->alpha_mask, sf->alpha_shift, sf->alpha_width}};
  const ChannelMap d_ch[4] = {{df->red_mask, df->red_shift, df->red_width},
                              {df->green_mask, df->green_shift, df->green_width},
                              {df->blue_mask, df->blue_shift, df->blue_width},
                              {df->alpha_mask, df->alpha_shift, df->alpha_width}};
  const uint32_t full_alpha = ChannelMax(df->alpha_width);
  uint32_t key_raw[3] = {0, 0, 0};
  if (key) {
    uint32_t kr = (key_color >> 16) & 0xFF, kg = (key_color >> 8) & 0xFF, kb = key_color & 0xFF;
    if (sf->bytes_per_pixel == 1) {
      // A paletted source compares its entries' colours with the key.
      key_raw[0] = kr, key_raw[1] = kg, key_raw[2] = kb;
    } else {
      uint32_t kv = EncodePixelColor(sf, kr, kg, kb, 0);
      for (int c = 0; c < 3; ++c) key_raw[c] = (kv & s_ch[c].mask) >> s_ch[c].shift;
    }
  }
  const PIXELFORMAT* af = alpha_format;
  for (int y = 0; y < height; ++y) {
    const uint8_t* s = r.SrcRow(y);
    const uint8_t* a = use_alpha_image ? alpha + (int64_t)(src_rect->top + y) * alpha_pitch +
                                             (int64_t)src_rect->left * af->bytes_per_pixel
                                       : nullptr;
    for (int x = 0; x < width; ++x, s += r.src_bytes) {
      uint32_t v = SourceValue(sf, s);
      uint32_t raw[4], out[4];
      for (int c = 0; c < 4; ++c) raw[c] = (uint32_t)((v & s_ch[c].mask) >> s_ch[c].shift);
      for (int c = 0; c < 3; ++c) out[c] = ScaleChannel(raw[c], s_ch[c].width, d_ch[c].width);
      if (key) {
        out[3] = (raw[0] == key_raw[0] && raw[1] == key_raw[1] && raw[2] == key_raw[2]) ? 0 : full_alpha;
      } else if (use_alpha_image) {
        uint32_t av = SourceValue(af, a + (int64_t)x * af->bytes_per_pixel);
        out[3] = ScaleChannel((av & af->red_mask) >> af->red_shift, af->red_width, df->alpha_width);
      } else if (!s_alpha) {
        out[3] = full_alpha;
      } else if (!d_alpha) {
        out[3] = 0;
      } else {
        out[3] = ScaleChannel(raw[3], s_ch[3].width, d_ch[3].width);
      }
      if (alpha_from_red) {
        // A red channel wider than the alpha field keeps its top bits.
        out[3] = sf->red_width > df->alpha_width ? raw[0] >> (sf->red_width - df->alpha_width) : raw[0];
      }
      if (alpha_only) out[0] = out[1] = out[2] = 0;
      uint32_t packed = 0;
      for (int c = 0; c < 4; ++c) packed |= (uint32_t)(((uint64_t)out[c] << d_ch[c].shift)) & d_ch[c].mask;
      if (db == 16 || db == 32) packed |= df->spare_mask;
      StorePixel(r.DstPixel(x, y), db == 8 ? 1 : df->bytes_per_pixel, packed);
    }
  }
  return 0;
}

int ReducePixelsBox(const PIXELFORMAT* format, uint8_t* dst, int dst_pitch, const uint8_t* src, int src_pitch,
                    int dst_x, int dst_y, int src_x, int src_y, int src_width, int src_height) {
  if ((src_width != 1 && (src_width & 1)) || (src_height != 1 && (src_height & 1))) return -1;
  const int bytes = format->bits_per_pixel == 16 ? 2 : format->bits_per_pixel == 32 ? 4 : 0;
  if (!bytes) return 0;
  const ChannelMap ch[4] = {{format->red_mask, format->red_shift, format->red_width},
                            {format->green_mask, format->green_shift, format->green_width},
                            {format->blue_mask, format->blue_shift, format->blue_width},
                            {format->alpha_mask, format->alpha_shift, format->alpha_width}};
  if (src_width == 1 && src_height == 1) {
    std::memcpy(dst + (int64_t)dst_y * dst_pitch + (int64_t)dst_x * bytes,
                src + (int64_t)src_y * src_pitch + (int64_t)src_x * bytes, (size_t)bytes);
    return 0;
  }
  const int step_x = src_width > 1 ? 2 : 1, step_y = src_height > 1 ? 2 : 1;
  const int out_w = src_width / step_x, out_h = src_height / step_y;
  const int count_shift = (step_x == 2) + (step_y == 2);
  auto at = [&](int x, int y) {
    return LoadPixel(src + (int64_t)(src_y + y) * src_pitch + (int64_t)(src_x + x) * bytes, bytes);
  };
  for (int j = 0; j < out_h; ++j) {
    for (int i = 0; i < out_w; ++i) {
      uint32_t samples[4];
      int n = 0;
      for (int dy = 0; dy < step_y; ++dy)
        for (int dx = 0; dx < step_x; ++dx) samples[n++] = at(i * step_x + dx, j * step_y + dy);
      uint32_t value = 0;
      for (const ChannelMap& c : ch) {
        if (!c.mask) continue;
        uint64_t sum = 0;
        for (int k = 0; k < n; ++k) sum += (samples[k] & c.mask) >> c.shift;
        value |= (uint32_t)((sum >> count_shift) << c.shift) & c.mask;
      }
      StorePixel(dst + (int64_t)(dst_y + j) * dst_pitch + (int64_t)(dst_x + i) * bytes, bytes, value);
    }
  }
  return 0;
}
