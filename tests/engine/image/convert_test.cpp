// ConvertPixelRect: the fast paths, the general path and the options, as a
// table of one-pixel conversions; and the box reduction.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/image/base_image.h"

namespace {

enum Fmt { PAL, P565, P555, A1555, RGB24, XRGB, ARGB, A4444, GRAY8 };

PIXELFORMAT Make(Fmt f) {
  PIXELFORMAT p{};
  switch (f) {
    case PAL:
      InitPalettedPixelFormat(&p);
      p.palette[1] = PaletteEntry{0x30, 0x20, 0x10, 0};  // (16, 32, 48)
      p.palette[2] = PaletteEntry{0xFF, 0x00, 0xFF, 0};  // magenta
      break;
    case P565: InitPixelFormatFromMasks(&p, 16, 0xF800, 0x07E0, 0x001F, 0); break;
    case P555: InitPixelFormatFromMasks(&p, 16, 0x7C00, 0x03E0, 0x001F, 0); break;
    case A1555: InitPixelFormatFromMasks(&p, 16, 0x7C00, 0x03E0, 0x001F, 0x8000); break;
    case RGB24: InitRgb24PixelFormat(&p); break;
    case XRGB: InitXrgbPixelFormat(&p); break;
    case ARGB: InitArgbPixelFormat(&p); break;
    case A4444: InitPixelFormatFromMasks(&p, 16, 0x0F00, 0x00F0, 0x000F, 0xF000); break;
    case GRAY8:  // a single-channel store: every channel is the byte, no palette
      p.bits_per_pixel = 8, p.bytes_per_pixel = 1;
      p.red_width = p.green_width = p.blue_width = p.alpha_width = 8;
      p.red_mask = p.green_mask = p.blue_mask = p.alpha_mask = 0xFF;
      break;
  }
  return p;
}

struct Options {
  int key = 0;
  uint32_t key_color = 0;
  int alpha_only = 0;
  int alpha_from_red = 0;
  int mirror = 0;
};

uint32_t ConvertOne(Fmt from, uint32_t value, Fmt to, Options o = {}) {
  PIXELFORMAT sf = Make(from), df = Make(to);
  uint8_t src[4] = {0}, dst[4] = {0};
  std::memcpy(src, &value, 4);
  PixelRect rect{0, 0, 1, 1};
  EXPECT_GE(ConvertPixelRect(dst, 4, &df, src, 4, &sf, nullptr, 0, nullptr, 0, 0, &rect, o.mirror, o.key,
                             o.key_color, 0, o.alpha_only, o.alpha_from_red, 0, 0),
            0);
  uint32_t out = 0;
  std::memcpy(&out, dst, df.bytes_per_pixel);
  return out;
}

TEST(ConvertPixelRect, OnePixelTable) {
  struct Case {
    const char* what;
    Fmt from;
    uint32_t value;
    Fmt to;
    Options options;
    uint32_t expect;
  } cases[] = {
      {"565 white to X8R8G8B8 (fast path)", P565, 0xFFFF, XRGB, {}, 0x00F8FCF8},
      {"565 white to A8R8G8B8 (general path)", P565, 0xFFFF, ARGB, {}, 0xFFFFFFFF},
      {"24-bit (10,20,30) to 565", RGB24, 0x0A141E, P565, {}, 0x08A3},
      {"24-bit to 555 sets bit 15", RGB24, 0xFFFFFF, P555, {}, 0xFFFF},
      {"24-bit to X8R8G8B8", RGB24, 0x123456, XRGB, {}, 0xFF123456},
      {"paletted to 565", PAL, 1, P565, {}, (2u << 11) | (8u << 5) | 6u},
      {"paletted to 555", PAL, 1, P555, {}, 0x8000u | (2u << 10) | (4u << 5) | 6u},
      {"paletted to X8R8G8B8", PAL, 1, XRGB, {}, 0xFF102030},
      {"paletted key to A8R8G8B8", PAL, 2, ARGB, {1, 0xFF00FF}, 0x00FF00FF},
      {"paletted non-key to A8R8G8B8", PAL, 1, ARGB, {1, 0xFF00FF}, 0xFF102030},
      {"paletted key to A1R5G5B5", PAL, 2, A1555, {1, 0xFF00FF}, 0x7C1F},
      {"24-bit key to A8R8G8B8", RGB24, 0xFF00FF, ARGB, {1, 0xFF00FF}, 0x00FF00FF},
      {"24-bit key to A1R5G5B5", RGB24, 0xFF00FF, A1555, {1, 0xFF00FF}, 0x7C1F},
      {"X8R8G8B8 to 565", XRGB, 0xFF0A141E, P565, {}, 0x08A3},
      {"565 key to A1R5G5B5", P565, 0xF81F, A1555, {1, 0xFF00FF}, 0x7C1F},
      {"565 non-key to A1R5G5B5", P565, 0xFFFF, A1555, {1, 0xFF00FF}, 0xFFFF},
      {"565 to 24-bit", P565, 0xFFFF, RGB24, {}, 0xF8FCF8},
      {"565 to 555 drops the low green bit", P565, 0xFFFF, P555, {}, 0x7FFF},
      {"555 to 565 widens green", P555, 0x03E0, P565, {}, 0x07E0},
      {"X8R8G8B8 key within one layout", XRGB, 0x00FF00FF, ARGB, {1, 0xFF00FF}, 0x00FF00FF},
      {"X8R8G8B8 non-key within one layout", XRGB, 0x00FF00FE, ARGB, {1, 0xFF00FF}, 0xFFFF00FE},
      {"source without alpha gets full alpha", P555, 0x7FFF, A4444, {}, 0xFFFF},
      {"alpha from red", XRGB, 0x00800000, ARGB, {0, 0, 0, 1}, 0x80800000},
      {"alpha from a wider red keeps its top bits", XRGB, 0x00F00000, A4444, {0, 0, 0, 1}, 0xFF00},
      {"alpha only", ARGB, 0x80FFFFFF, A4444, {0, 0, 1}, 0x8000},
      {"alpha without destination alpha", ARGB, 0x80102030, XRGB, {}, 0xFF102030},
      {"general path narrows by truncation", ARGB, 0x80F0E0D0, A4444, {}, 0x8FED},
      // A single-channel store is no palette: it takes the source's red.
      {"X8R8G8B8 into a single channel", XRGB, 0x00C04020, GRAY8, {0, 0, 1, 1}, 0xC0},
      {"A8R8G8B8 into a single channel", ARGB, 0x10C04020, GRAY8, {0, 0, 1, 1}, 0xC0},
      {"24-bit into a single channel", RGB24, 0x7F0000, GRAY8, {0, 0, 1, 1}, 0x7F},
      {"565 into a single channel keeps red raw", P565, 0xF800, GRAY8, {0, 0, 1, 1}, 31},
      {"paletted into a single channel", PAL, 1, GRAY8, {0, 0, 1, 1}, 0x10},
  };
  for (const Case& c : cases) EXPECT_EQ(ConvertOne(c.from, c.value, c.to, c.options), c.expect) << c.what;
}

TEST(ConvertPixelRect, ZeroWidthChannelConvertsToZero) {
  PIXELFORMAT no_green{}, argb = Make(ARGB);
  InitPixelFormatFromMasks(&no_green, 16, 0xF800, 0, 0x001F, 0);
  uint16_t src = 0xFFFF;
  uint32_t dst = 0;
  PixelRect rect{0, 0, 1, 1};
  ConvertPixelRect((uint8_t*)&dst, 4, &argb, (uint8_t*)&src, 2, &no_green, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0,
                   0, 0, 0, 0, 0);
  EXPECT_EQ(dst, 0xFFFF00FFu);
}

TEST(ConvertPixelRect, EmptyRectangleWritesNothing) {
  PIXELFORMAT f = Make(ARGB);
  uint32_t src = 1, dst = 7;
  PixelRect rect{0, 0, 0, 1};
  EXPECT_EQ(ConvertPixelRect((uint8_t*)&dst, 4, &f, (uint8_t*)&src, 4, &f, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0,
                             0, 0, 0, 0, 0),
            -1);
  EXPECT_EQ(dst, 7u);
}

TEST(ConvertPixelRect, MirrorReversesRowsInEveryPath) {
  for (Fmt f : {XRGB, PAL, RGB24}) {
    PIXELFORMAT sf = Make(f);
    PIXELFORMAT df = Make(f == RGB24 ? ARGB : f);
    const int sb = sf.bytes_per_pixel, db = df.bytes_per_pixel;
    std::vector<uint8_t> src(3 * sb), dst(3 * db);
    for (int i = 0; i < 3; ++i) src[i * sb] = (uint8_t)(i + 1);
    PixelRect rect{0, 0, 3, 1};
    ConvertPixelRect(dst.data(), 3 * db, &df, src.data(), 3 * sb, &sf, nullptr, 0, nullptr, 0, 0, &rect, 1, 0, 0, 0, 0,
                     0, 0, 0);
    EXPECT_EQ(dst[0], 3) << f;
    EXPECT_EQ(dst[db], 2) << f;
    EXPECT_EQ(dst[2 * db], 1) << f;
  }
}

TEST(ConvertPixelRect, PalettedCopyReturnsLargestIndexAndRemapsDifferentPalettes) {
  PIXELFORMAT a = Make(PAL), b = Make(PAL);
  uint8_t src[3] = {2, 9, 1}, dst[3] = {0};
  PixelRect rect{0, 0, 3, 1};
  EXPECT_EQ(ConvertPixelRect(dst, 4, &b, src, 4, &a, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, 0, 0, 0, 0, 1), 9);
  EXPECT_EQ(dst[1], 9);
  // Different palettes: nearest destination index.
  std::memset(b.palette, 0, sizeof(b.palette));
  b.palette[7] = PaletteEntry{0xFF, 0x00, 0xFF, 0};
  EXPECT_EQ(ConvertPixelRect(dst, 4, &b, src, 4, &a, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, 0, 0, 0, 0, 1), 0);
  EXPECT_EQ(dst[0], 7);
  EXPECT_EQ(dst[1], 0);
}

TEST(ConvertPixelRect, AlphaImageGivesAlphaThroughItsRedChannel) {
  PIXELFORMAT src_f = Make(RGB24), dst_f = Make(ARGB), alpha_f{};
  InitGreyPixelFormat(&alpha_f);
  uint8_t src[6] = {1, 2, 3, 4, 5, 6};
  uint8_t alpha[2] = {0x40, 0xC0};
  uint32_t dst[2] = {0, 0};
  PixelRect rect{0, 0, 2, 1};
  ConvertPixelRect((uint8_t*)dst, 8, &dst_f, src, 6, &src_f, alpha, 2, &alpha_f, 0, 0, &rect, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(dst[0], 0x40030201u);
  EXPECT_EQ(dst[1], 0xC0060504u);
}

TEST(ConvertPixelRect, IntoPalettedTakesNearestEntry) {
  PIXELFORMAT src_f = Make(RGB24), dst_f = Make(PAL);
  uint8_t src[3] = {0xF0, 0x10, 0xF0};  // near magenta
  uint8_t dst[1] = {0};
  PixelRect rect{0, 0, 1, 1};
  ConvertPixelRect(dst, 4, &dst_f, src, 4, &src_f, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(dst[0], 2);
}

TEST(ReducePixelsBox, AveragesPerChannel) {
  PIXELFORMAT f = Make(ARGB);
  uint32_t row[4] = {0x00000000, 0x02020202, 0x04040404, 0x07070707};
  uint32_t out[2] = {0, 0};
  ASSERT_EQ(ReducePixelsBox(&f, (uint8_t*)out, 8, (const uint8_t*)row, 16, 0, 0, 0, 0, 4, 1), 0);
  EXPECT_EQ(out[0], 0x01010101u);
  EXPECT_EQ(out[1], 0x05050505u);
  uint32_t square[4] = {0x10, 0x20, 0x30, 0x41};
  uint32_t one = 0;
  ASSERT_EQ(ReducePixelsBox(&f, (uint8_t*)&one, 4, (const uint8_t*)square, 8, 0, 0, 0, 0, 2, 2), 0);
  EXPECT_EQ(one, 0x28u);
  EXPECT_EQ(ReducePixelsBox(&f, (uint8_t*)out, 8, (const uint8_t*)row, 16, 0, 0, 0, 0, 3, 2), -1);
  PIXELFORMAT p565 = Make(P565);
  uint16_t col[2] = {0xF800, 0x0800};
  uint16_t o16 = 0;
  ASSERT_EQ(ReducePixelsBox(&p565, (uint8_t*)&o16, 2, (const uint8_t*)col, 2, 0, 0, 0, 0, 1, 2), 0);
  EXPECT_EQ(o16, 0x8000u);
}

}  // namespace

// Rows copied between images whose rows do or do not follow each other
// without a gap: the bytes of each row arrive, the gaps are left alone.
TEST(CopyPixelRows, CopiesEveryRowWhetherThePitchesLeaveGapsOrNot) {
  struct Case {
    int dst_pitch, src_pitch, row_bytes, rows;
  } cases[] = {{1280, 1280, 1280, 48}, {1296, 1280, 1280, 48}, {1280, 1296, 1280, 48}, {20, 20, 18, 5}, {8, 8, 8, 0}};
  for (const Case& c : cases) {
    std::vector<uint8_t> src((size_t)c.src_pitch * (c.rows + 1)), dst((size_t)c.dst_pitch * (c.rows + 1), 0xEE);
    for (size_t i = 0; i < src.size(); i++) src[i] = (uint8_t)(i * 7 + 3);
    CopyPixelRows(dst.data(), c.dst_pitch, src.data(), c.src_pitch, (size_t)c.row_bytes, c.rows);
    for (int y = 0; y <= c.rows; y++)
      for (int x = 0; x < c.dst_pitch; x++) {
        const uint8_t want = y < c.rows && x < c.row_bytes ? src[(size_t)y * c.src_pitch + x] : 0xEE;
        ASSERT_EQ(dst[(size_t)y * c.dst_pitch + x], want) << c.dst_pitch << "/" << c.src_pitch << " row " << y;
      }
  }
}
