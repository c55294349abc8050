// Each decoder on small files built here: BMP, raw BGRA, TGA, DDS, PNG and
// JPEG in their variants, and damaged files of each.
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>

#include "engine/core/alloc.h"
#include "engine/image/base_image.h"
#include "engine/image/image_load.h"
#include "tests/engine/image/image_fixtures.h"

namespace {

// Frees a decoded image at the end of a test.
struct Decoded {
  BASEIMAGE image{};
  ~Decoded() { DisposeBaseImage(&image); }
  BASEIMAGE* operator->() { return &image; }
  BASEIMAGE* get() { return &image; }
};

Bytes GreyRamp16() {
  Bytes p;
  for (int i = 0; i < 16; ++i) {
    p.push_back((uint8_t)(i * 16));
    p.push_back((uint8_t)(i * 16 + 1));
    p.push_back((uint8_t)(i * 16 + 2));
    p.push_back(0x55);  // reserved bytes are not kept
  }
  return p;
}

// ---- BMP ----

TEST(Bmp, EightBitBottomUpIsTurnedAndKeepsPalette) {
  Bytes palette = GreyRamp16();
  palette.resize(1024, 0);
  // 3 x 2, rows of 4 bytes, bottom row first.
  Bytes data = {1, 2, 3, 0, 4, 5, 6, 0};
  Decoded d;
  ASSERT_EQ(DecodeWith(DecodeBmpImage, MakeBmp(3, 2, 8, 0, palette, data), d.get()), 0);
  EXPECT_EQ(d->format.bytes_per_pixel, 1);
  EXPECT_EQ(d->pitch, 4);
  EXPECT_EQ(d->pixels[0], 4);  // top row is the file's last
  EXPECT_EQ(d->pixels[4], 1);
  EXPECT_EQ(d->format.palette[1].blue, 16);
  EXPECT_EQ(d->format.palette[1].red, 18);
  EXPECT_EQ(d->format.palette[1].alpha, 0);
}

TEST(Bmp, LongerInfoHeaderKeepsItsPaletteAfterIt) {
  // A 124-byte info header: the colour table starts after it.
  Bytes palette(1024, 0);
  palette[4 * 3 + 2] = 0xEE;  // entry 3 red
  Bytes file = MakeBmp(1, 1, 8, 0, palette, {3, 0, 0, 0});
  file.insert(file.begin() + 54, 84, 0);
  file[14] = 124;
  file[10] += 84;
  Decoded d;
  ASSERT_EQ(DecodeWith(DecodeBmpImage, file, d.get()), 0);
  EXPECT_EQ(Peek(d.get(), 0, 0), 0x00EE0000u);
}

TEST(Bmp, TopDownTwentyFourBitKeepsRowSize) {
  Bytes data = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
  Decoded d;
  ASSERT_EQ(DecodeWith(DecodeBmpImage, MakeBmp(2, -2, 24, 0, {}, data), d.get()), 0);
  EXPECT_EQ(d->format.bits_per_pixel, 24);
  EXPECT_EQ(d->pitch, 8);
  EXPECT_EQ(d->height, 2);
  EXPECT_EQ(Peek(d.get(), 1, 1), 0x000C0B0Au);
}

TEST(Bmp, FourBitOddWidthTakesHighNibbleLast) {
  Bytes data = {0x12, 0x30, 0, 0, 0x45, 0x60, 0, 0};  // 3 x 2, bottom-up
  Decoded d;
  ASSERT_EQ(DecodeWith(DecodeBmpImage, MakeBmp(3, 2, 4, 0, GreyRamp16(), data), d.get()), 0);
  EXPECT_EQ(d->pitch, 4);
  const uint8_t top[3] = {4, 5, 6}, bottom[3] = {1, 2, 3};
  for (int x = 0; x < 3; ++x) {
    EXPECT_EQ(d->pixels[x], top[x]);
    EXPECT_EQ(d->pixels[4 + x], bottom[x]);
  }
}

TEST(Bmp, Rle8RunsEscapesAndEarlyEnd) {
  // 6 x 3 bottom-up: row 2 (bottom) "run 3 of 7, absolute 1 2 3"; end of
  // line; delta (2, 0); run 1 of 9; end of bitmap before the last line.
  Bytes data = {3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 0, 1, 9, 0, 1};
  Bytes palette(1024, 0);
  Decoded d;
  ASSERT_EQ(DecodeWith(DecodeBmpImage, MakeBmp(6, 3, 8, 1, palette, data), d.get()), 0);
  ASSERT_EQ(d->pitch, 8);
  const uint8_t bottom[6] = {7, 7, 7, 1, 2, 3}, middle[6] = {0, 0, 9, 0, 0, 0};
  for (int x = 0; x < 6; ++x) {
    EXPECT_EQ(d->pixels[2 * 8 + x], bottom[x]) << x;
    EXPECT_EQ(d->pixels[1 * 8 + x], middle[x]) << x;
    EXPECT_EQ(d->pixels[x], 0) << x;  // never written
  }
}

TEST(Bmp, Rle4AlternatesNibbles) {
  // 7 x 1: a run of 3 from 0x12, an absolute run of 3 nibbles (two bytes),
  // a run of 1 from 0x77, end of bitmap.
  Bytes data = {3, 0x12, 0, 3, 0x34, 0x50, 1, 0x77, 0, 1};
  Decoded d;
  ASSERT_EQ(DecodeWith(DecodeBmpImage, MakeBmp(7, 1, 4, 2, GreyRamp16(), data), d.get()), 0);
  const uint8_t expect[7] = {1, 2, 1, 3, 4, 5, 7};
  for (int x = 0; x < 7; ++x) EXPECT_EQ(d->pixels[x], expect[x]) << x;
  EXPECT_EQ(d->format.palette[15].blue, 240);
}

TEST(Bmp, HostileRunLengthDataStaysInsideTheImage) {
  // Runs far past the row, deltas far outside, an absolute run past the data.
  Bytes data = {255, 1, 0, 2, 200, 200, 255, 2, 0, 0, 255, 3, 0, 250, 1, 2};
  Decoded d;
  ASSERT_EQ(DecodeWith(DecodeBmpImage, MakeBmp(4, 2, 8, 1, Bytes(1024, 0), data), d.get()), 0);
  EXPECT_EQ(d->pixels[4], 1);  // bottom row is row 1
}

TEST(Bmp, OtherLayoutsBecomeTwentyFourBits) {
  struct Case {
    const char* what;
    int bits;
    uint32_t compression;
    std::vector<uint32_t> masks;
    Bytes palette;
    Bytes data;  // 2 x 1
    uint32_t first, second;
  } cases[] = {
      {"1 bit", 1, 0, {}, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0}, {0x40, 0, 0, 0}, 0x000000, 0xFFFFFF},
      {"16 bit 5-5-5", 16, 0, {}, {}, {0x00, 0x7C, 0x1F, 0x00}, 0xF80000, 0x0000F8},
      {"16 bit fields 5-6-5", 16, 3, {0xF800, 0x07E0, 0x001F}, {}, {0xE0, 0x07, 0x00, 0xF8}, 0x00FC00, 0xF80000},
      {"32 bit loses alpha", 32, 0, {}, {}, {1, 2, 3, 0x80, 4, 5, 6, 0xFF}, 0x030201, 0x060504},
      {"32 bit fields", 32, 3, {0xFF, 0xFF00, 0xFF0000}, {}, {1, 2, 3, 0, 4, 5, 6, 0}, 0x010203, 0x040506},
  };
  for (const Case& c : cases) {
    Decoded d;
    ASSERT_EQ(DecodeWith(DecodeBmpImage, MakeBmp(2, 1, c.bits, c.compression, c.palette, c.data, c.masks), d.get()),
              0)
        << c.what;
    EXPECT_EQ(d->format.bits_per_pixel, 24) << c.what;
    EXPECT_EQ(d->format.alpha_width, 0) << c.what;
    EXPECT_EQ(Peek(d.get(), 0, 0), c.first) << c.what;
    EXPECT_EQ(Peek(d.get(), 1, 0), c.second) << c.what;
  }
}

TEST(Bmp, DamagedFilesAreRefused) {
  Bytes good = MakeBmp(2, 2, 24, 0, {}, Bytes(16, 0));
  struct Case {
    const char* what;
    Bytes bytes;
  } cases[] = {
      {"wrong magic", [&] { Bytes b = good; b[0] = 'X'; return b; }()},
      {"truncated header", Bytes(good.begin(), good.begin() + 30)},
      {"truncated pixels", Bytes(good.begin(), good.end() - 1)},
      {"offset past the end", [&] { Bytes b = good; b[10] = 0xFF; b[11] = 0xFF; return b; }()},
      {"zero width", MakeBmp(0, 2, 24, 0, {}, Bytes(16, 0))},
      {"huge size", MakeBmp(0x7FFFFFFF, 0x7FFFFFFF, 24, 0, {}, Bytes(16, 0))},
      {"RLE8 with 4 bits", MakeBmp(2, 2, 4, 1, GreyRamp16(), Bytes(4, 0))},
      {"bad bit count", MakeBmp(2, 2, 7, 0, {}, Bytes(16, 0))},
      {"embedded PNG", MakeBmp(2, 2, 24, 5, {}, Bytes(16, 0))},
  };
  for (const Case& c : cases) {
    Decoded d;
    EXPECT_EQ(DecodeWith(DecodeBmpImage, c.bytes, d.get()), -1) << c.what;
    EXPECT_EQ(d->pixels, nullptr) << c.what;
  }
}

// ---- raw BGRA ----

TEST(RawBgra, EightAndSixteenBitChannels) {
  Bytes b8 = MakeRawBgra(0x08080808, 1, 1, {1, 2, 3, 4});
  Decoded d;
  ASSERT_EQ(DecodeWith(DecodeRawBgraImage, b8, d.get()), 0);
  EXPECT_EQ(Peek(d.get(), 0, 0), 0x04030201u);

  Bytes b16 = MakeRawBgra(0x10101010, 2, 1, {0xFF, 0x12, 0x80, 0x34, 0x00, 0x56, 0xFF, 0x78, 0, 1, 0, 2, 0, 3, 0, 4});
  Decoded e;
  ASSERT_EQ(DecodeWith(DecodeRawBgraImage, b16, e.get()), 0);
  EXPECT_EQ(e->pitch, 8);
  EXPECT_EQ(Peek(e.get(), 0, 0), 0x78563412u);  // high bytes only
  EXPECT_EQ(Peek(e.get(), 1, 0), 0x04030201u);

  Bytes shortened(b8.begin(), b8.end() - 1);
  Decoded f;
  EXPECT_EQ(DecodeWith(DecodeRawBgraImage, shortened, f.get()), -1);
  Bytes bad_code = b8;
  bad_code[4] = 9;
  EXPECT_EQ(DecodeWith(DecodeRawBgraImage, bad_code, f.get()), -1);
}

// ---- TGA ----

TEST(Tga, OrientationBitsTurnTheImage) {
  // 2 x 2 24-bit pixels stored 1, 2 / 3, 4 (blue byte = number).
  Bytes data = {1, 0, 0, 2, 0, 0, 3, 0, 0, 4, 0, 0};
  struct Case {
    int descriptor;
    uint8_t top_left, top_right, bottom_left;
  } cases[] = {{0x20, 1, 2, 3}, {0x00, 3, 4, 1}, {0x30, 2, 1, 4}, {0x10, 4, 3, 2}};
  for (const Case& c : cases) {
    Decoded d;
    ASSERT_EQ(DecodeWith(DecodeTgaImage, MakeTga(2, 2, 2, 24, c.descriptor, {}, 0, 0, data), d.get()), 0);
    EXPECT_EQ(d->pitch, 6);
    EXPECT_EQ(d->pixels[0], c.top_left) << c.descriptor;
    EXPECT_EQ(d->pixels[3], c.top_right) << c.descriptor;
    EXPECT_EQ(d->pixels[6], c.bottom_left) << c.descriptor;
  }
}

TEST(Tga, FormatsFollowTheDepth) {
  Decoded d16, d32;
  ASSERT_EQ(DecodeWith(DecodeTgaImage, MakeTga(2, 1, 1, 16, 0x20, {}, 0, 0, {0xFF, 0xFF}), d16.get()), 0);
  EXPECT_EQ(d16->format.alpha_width, 0);  // the top bit is spare, not alpha
  EXPECT_EQ(d16->format.spare_mask, 0x8000u);
  EXPECT_EQ(Peek(d16.get(), 0, 0), 0x00FFFFFFu);
  ASSERT_EQ(DecodeWith(DecodeTgaImage, MakeTga(2, 1, 1, 32, 0x20, {}, 0, 0, {1, 2, 3, 4}), d32.get()), 0);
  EXPECT_EQ(Peek(d32.get(), 0, 0), 0x04030201u);
}

TEST(Tga, ColourMappedBecomesTrueColour) {
  Bytes map = {10, 20, 30, 40, 50, 60};  // entries 5 and 6, 24 bits
  Decoded d;
  ASSERT_EQ(DecodeWith(DecodeTgaImage, MakeTga(1, 3, 1, 8, 0x20, map, 5, 24, {5, 6, 0}), d.get()), 0);
  EXPECT_EQ(d->format.bits_per_pixel, 24);
  EXPECT_EQ(Peek(d.get(), 0, 0), 0x001E140Au);
  EXPECT_EQ(Peek(d.get(), 1, 0), 0x003C3228u);
  EXPECT_EQ(Peek(d.get(), 2, 0), 0u);  // entries not stored are black
}

TEST(Tga, RunLengthPacketsCrossRowsAndStopAtTheEnd) {
  // 3 x 2 32-bit, top-down: a run of 4, then a raw packet of 3 (one too many).
  Bytes data = {0x83, 1, 1, 1, 1, 0x02, 2, 2, 2, 2, 3, 3, 3, 3, 9, 9, 9, 9};
  for (bool footer : {false, true}) {
    Decoded d;
    ASSERT_EQ(DecodeWith(DecodeTgaImage, MakeTga(10, 3, 2, 32, 0x20, {}, 0, 0, data, footer), d.get()), 0);
    EXPECT_EQ(Peek(d.get(), 0, 1), 0x01010101u);  // the run crossed into row 1
    EXPECT_EQ(Peek(d.get(), 1, 1), 0x02020202u);
    EXPECT_EQ(Peek(d.get(), 2, 1), 0x03030303u);
  }
  // Colour-mapped run length.
  Decoded m;
  ASSERT_EQ(DecodeWith(DecodeTgaImage, MakeTga(9, 2, 1, 8, 0x20, {1, 2, 3}, 0, 24, {0x81, 0}), m.get()), 0);
  EXPECT_EQ(Peek(m.get(), 1, 0), 0x00030201u);
}

TEST(Tga, DamagedFilesAreRefused) {
  Bytes data(12, 0);
  struct Case {
    const char* what;
    Bytes bytes;
  } cases[] = {
      {"grey type", MakeTga(3, 2, 2, 24, 0x20, {}, 0, 0, data)},
      {"origin", [&] { Bytes b = MakeTga(2, 2, 2, 24, 0x20, {}, 0, 0, data); b[8] = 1; return b; }()},
      {"side over 8192", MakeTga(2, 8193, 1, 24, 0x20, {}, 0, 0, data)},
      {"depth 8 true colour", MakeTga(2, 2, 2, 8, 0x20, {}, 0, 0, data)},
      {"truncated pixels", MakeTga(2, 2, 2, 24, 0x20, {}, 0, 0, Bytes(11, 0))},
      {"colour map past 256", MakeTga(1, 2, 1, 8, 0x20, Bytes(30, 0), 250, 24, {0, 0})},
      {"run-length data ends early", MakeTga(10, 4, 4, 24, 0x20, {}, 0, 0, {0x83, 1, 2, 3})},
      {"large image, tiny file", MakeTga(2, 8192, 8192, 32, 0x20, {}, 0, 0, data)},
      {"header only", Bytes(10, 0)},
  };
  for (const Case& c : cases) {
    Decoded d;
    EXPECT_EQ(DecodeWith(DecodeTgaImage, c.bytes, d.get()), -1) << c.what;
  }
}

// ---- DDS ----

TEST(Dds, CompressedImageStaysCompressed) {
  DdsSpec s;
  s.width = 8;
  s.height = 4;
  s.fourcc = FourCCOf("DXT5");
  Bytes blocks(32, 0);
  Decoded d;
  ASSERT_EQ(DecodeWith(DecodeDdsImage, MakeDds(s, blocks), d.get()), 0);
  EXPECT_EQ(d->format.dxt_kind, 5u);
  EXPECT_EQ(d->format.bits_per_pixel, 8);
  EXPECT_EQ(d->pitch, 0);
  EXPECT_EQ(d->mip_count, 0);
}

TEST(Dds, MipChainIsReadWhole) {
  DdsSpec s;
  s.width = s.height = 64;
  s.fourcc = FourCCOf("DXT1");
  s.flags |= 0x20000;
  s.mip_count = 7;
  s.caps = 0x401008;
  const size_t total = 2048 + 512 + 128 + 32 + 8 + 8 + 8;
  Decoded d;
  ASSERT_EQ(DecodeWith(DecodeDdsImage, MakeDds(s, Bytes(total, 0)), d.get()), 0);
  EXPECT_EQ(d->mip_count, 7);
  EXPECT_EQ(d->format.bits_per_pixel, 4);
  Decoded short_chain;
  EXPECT_EQ(DecodeWith(DecodeDdsImage, MakeDds(s, Bytes(total - 1, 0)), short_chain.get()), -1);
  // Count flag without the complex and mip-map caps: one level.
  s.caps = 0x1000;
  Decoded one;
  ASSERT_EQ(DecodeWith(DecodeDdsImage, MakeDds(s, Bytes(2048, 0)), one.get()), 0);
  EXPECT_EQ(one->mip_count, 0);
}

TEST(Dds, Direct3DFormatNumbers) {
  DdsSpec s;
  s.width = 2;
  s.height = 1;
  s.fourcc = 23;  // R5G6B5, no pitch flag and a bit count of 0
  Decoded d;
  ASSERT_EQ(DecodeWith(DecodeDdsImage, MakeDds(s, {0x00, 0xF8, 0xE0, 0x07}), d.get()), 0);
  EXPECT_EQ(d->pitch, 4);
  EXPECT_EQ(Peek(d.get(), 0, 0), 0x00FF0000u);
  EXPECT_EQ(Peek(d.get(), 1, 0), 0x0000FF00u);
  s.pf_flags = 0x44;  // a format number needs the FourCC flag alone
  Decoded refused;
  EXPECT_EQ(DecodeWith(DecodeDdsImage, MakeDds(s, Bytes(4, 0)), refused.get()), -1);
  // An 8-bit format number reads through a palette built from its masks.
  s.pf_flags = 0x4;
  s.fourcc = 27;  // R3G3B2
  Decoded small;
  ASSERT_EQ(DecodeWith(DecodeDdsImage, MakeDds(s, {0xE0, 0x03}), small.get()), 0);
  EXPECT_EQ(Peek(small.get(), 0, 0), 0x00FF0000u);
  EXPECT_EQ(Peek(small.get(), 1, 0), 0x000000FFu);
}

TEST(Dds, MaskFormatsReadTheRealPixelFormatRecord) {
  DdsSpec s;
  s.width = 1;
  s.height = 1;
  s.flags |= 0x8;
  s.pitch = 4;
  s.pf_flags = 0x41;  // RGB with alpha
  s.rgb_bits = 32;
  s.masks[0] = 0xFF0000;
  s.masks[1] = 0xFF00;
  s.masks[2] = 0xFF;
  s.masks[3] = 0xFF000000;
  Decoded d;
  ASSERT_EQ(DecodeWith(DecodeDdsImage, MakeDds(s, {1, 2, 3, 4}), d.get()), 0);
  EXPECT_EQ(Peek(d.get(), 0, 0), 0x04030201u);
  s.pf_flags = 0x40;  // RGB without alpha: the alpha mask is not used
  Decoded x;
  ASSERT_EQ(DecodeWith(DecodeDdsImage, MakeDds(s, {1, 2, 3, 4}), x.get()), 0);
  EXPECT_EQ(Peek(x.get(), 0, 0), 0x00030201u);
}

TEST(Dds, ZeroPitchAndOddMagicByte) {
  DdsSpec s;
  s.width = 2;
  s.height = 2;
  s.flags |= 0x8;
  s.pitch = 0;  // not a usable row size
  s.fourcc = 21;
  Bytes file = MakeDds(s, Bytes(16, 7));
  file[3] = '!';
  Decoded d;
  ASSERT_EQ(DecodeWith(DecodeDdsImage, file, d.get()), 0);
  EXPECT_EQ(d->pitch, 8);
}

TEST(Dds, DamagedFilesAreRefused) {
  DdsSpec s;
  s.fourcc = FourCCOf("DXT1");
  DdsSpec huge = s;
  huge.width = huge.height = 0x40000000;
  DdsSpec odd = s;
  odd.fourcc = FourCCOf("ATI2");
  DdsSpec many = s;
  many.flags |= 0x20000;
  many.caps = 0x401008;
  many.mip_count = 0xFFFFFFFF;
  struct Case {
    const char* what;
    Bytes bytes;
  } cases[] = {
      {"wrong magic", [&] { Bytes b = MakeDds(s, Bytes(8, 0)); b[0] = 'X'; return b; }()},
      {"short header", [&] { Bytes b = MakeDds(s, {}); b.resize(60); return b; }()},
      {"short data", MakeDds(s, Bytes(7, 0))},
      {"huge size", MakeDds(huge, Bytes(8, 0))},
      {"unknown FourCC", MakeDds(odd, Bytes(16, 0))},
      {"absurd mip count", MakeDds(many, Bytes(8, 0))},
  };
  for (const Case& c : cases) {
    Decoded d;
    EXPECT_EQ(DecodeWith(DecodeDdsImage, c.bytes, d.get()), -1) << c.what;
  }
}

// ---- PNG ----

std::vector<Bytes> Rows(int height, const Bytes& row) { return std::vector<Bytes>((size_t)height, row); }

TEST(Png, ColourTypesGiveTheirFormats) {
  struct Case {
    const char* what;
    int colour_type, bit_depth;
    Bytes row;  // one row of a 2-pixel-wide image
    Bytes palette, trns;
    int bits_per_pixel;
    uint32_t first, second;
  } cases[] = {
      {"1-bit grey", PNG_COLOR_TYPE_GRAY, 1, {0x40}, {}, {}, 8, 0x000000, 0xFFFFFF},
      {"4-bit grey", PNG_COLOR_TYPE_GRAY, 4, {0x0F}, {}, {}, 8, 0x000000, 0xFFFFFF},
      {"8-bit grey", PNG_COLOR_TYPE_GRAY, 8, {7, 200}, {}, {}, 8, 0x070707, 0xC8C8C8},
      {"16-bit RGB", PNG_COLOR_TYPE_RGB, 16, {0x12, 0, 0x34, 0, 0x56, 0, 0xFF, 0xFF, 0, 0, 0, 0}, {}, {}, 24,
       0x123456, 0xFF0000},
      {"RGB", PNG_COLOR_TYPE_RGB, 8, {1, 2, 3, 4, 5, 6}, {}, {}, 24, 0x010203, 0x040506},
      {"RGBA", PNG_COLOR_TYPE_RGB_ALPHA, 8, {1, 2, 3, 4, 5, 6, 7, 8}, {}, {}, 32, 0x04010203, 0x08050607},
      {"grey with alpha", PNG_COLOR_TYPE_GRAY_ALPHA, 8, {9, 128, 10, 0}, {}, {}, 16, 0x090909, 0x0A0A0A},
      {"grey with tRNS", PNG_COLOR_TYPE_GRAY, 8, {9, 10}, {}, {10}, 16, 0x090909, 0x0A0A0A},
      {"palette", PNG_COLOR_TYPE_PALETTE, 8, {1, 0}, {1, 2, 3, 4, 5, 6}, {}, 8, 0x040506, 0x010203},
      {"2-bit palette", PNG_COLOR_TYPE_PALETTE, 2, {0x40}, {1, 2, 3, 4, 5, 6}, {}, 8, 0x040506, 0x010203},
      {"palette with tRNS", PNG_COLOR_TYPE_PALETTE, 8, {1, 0}, {1, 2, 3, 4, 5, 6}, {0x80}, 32, 0xFF040506,
       0x80010203},
  };
  for (const Case& c : cases) {
    Bytes file = MakePng(2, 3, c.colour_type, c.bit_depth, Rows(3, c.row), c.palette, c.trns);
    ASSERT_FALSE(file.empty()) << c.what;
    Decoded d;
    ASSERT_EQ(DecodeWith(DecodePngImage, file, d.get()), 0) << c.what;
    EXPECT_EQ(d->format.bits_per_pixel, c.bits_per_pixel) << c.what;
    EXPECT_EQ(d->width, 2);
    EXPECT_EQ(d->height, 3);
    EXPECT_EQ(Peek(d.get(), 0, 2), c.first) << c.what;
    EXPECT_EQ(Peek(d.get(), 1, 2), c.second) << c.what;
  }
}

TEST(Png, RgbIsStoredBlueFirstAndPaletteHas256Entries) {
  Decoded rgb;
  ASSERT_EQ(DecodeWith(DecodePngImage, MakePng(1, 1, PNG_COLOR_TYPE_RGB, 8, {{1, 2, 3}}), rgb.get()), 0);
  EXPECT_EQ(rgb->pixels[0], 3);
  EXPECT_EQ(rgb->pixels[2], 1);
  Decoded pal;
  ASSERT_EQ(DecodeWith(DecodePngImage, MakePng(1, 1, PNG_COLOR_TYPE_PALETTE, 8, {{0}}, {9, 9, 9}), pal.get()), 0);
  EXPECT_EQ(pal->format.palette[0].red, 9);
  EXPECT_EQ(pal->format.palette[255].red, 0);
}

TEST(Png, InterlacedImageIsUndone) {
  std::vector<Bytes> rows;
  for (int y = 0; y < 9; ++y) {
    Bytes r;
    for (int x = 0; x < 9; ++x) r.insert(r.end(), {(uint8_t)x, (uint8_t)y, (uint8_t)(x * y)});
    rows.push_back(r);
  }
  Decoded d;
  ASSERT_EQ(DecodeWith(DecodePngImage, MakePng(9, 9, PNG_COLOR_TYPE_RGB, 8, rows, {}, {}, true), d.get()), 0);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) ASSERT_EQ(Peek(d.get(), x, y), (uint32_t)((x << 16) | (y << 8) | (x * y)));
}

TEST(Png, DamagedFilesAreRefused) {
  Bytes good = MakePng(4, 4, PNG_COLOR_TYPE_RGB, 8, Rows(4, Bytes(12, 5)));
  Bytes huge = good;
  huge[16] = 0x7F;  // width 0x7F000004: the header's CRC no longer matches either
  Bytes bad_crc = good;
  bad_crc[40] ^= 0xFF;
  struct Case {
    const char* what;
    Bytes bytes;
  } cases[] = {
      {"not a PNG", Bytes(64, 'x')},
      {"truncated", Bytes(good.begin(), good.begin() + good.size() / 2)},
      {"huge width", huge},
      {"corrupt data", bad_crc},
      {"empty", {}},
  };
  for (const Case& c : cases) {
    Decoded d;
    EXPECT_EQ(DecodeWith(DecodePngImage, c.bytes, d.get()), -1) << c.what;
    EXPECT_EQ(d->pixels, nullptr);
  }
}

// ---- JPEG ----

Bytes Gradient(int width, int height, int components) {
  Bytes p;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < components; ++c) p.push_back((uint8_t)(c == 0 ? x * 8 : c == 1 ? y * 8 : 128));
  return p;
}

TEST(Jpeg, ColourAndGreyImages) {
  Decoded colour;
  ASSERT_EQ(DecodeWith(DecodeJpegImage, MakeJpeg(17, 9, 3, Gradient(17, 9, 3)), colour.get()), 0);
  EXPECT_EQ(colour->format.bits_per_pixel, 24);
  EXPECT_EQ(colour->pitch, 51);  // odd width: rows not padded
  uint32_t px = Peek(colour.get(), 16, 8);
  EXPECT_NEAR((px >> 16) & 0xFF, 128, 12);
  EXPECT_NEAR((px >> 8) & 0xFF, 64, 12);
  EXPECT_NEAR(px & 0xFF, 128, 12);
  Decoded grey;
  ASSERT_EQ(DecodeWith(DecodeJpegImage, MakeJpeg(8, 8, 1, Bytes(64, 77)), grey.get()), 0);
  EXPECT_EQ(grey->format.bytes_per_pixel, 1);
  EXPECT_EQ(grey->format.palette[200].green, 200);
  EXPECT_NEAR((int)grey->pixels[9], 77, 2);
}

TEST(Jpeg, ProgressiveImage) {
  Decoded d;
  ASSERT_EQ(DecodeWith(DecodeJpegImage, MakeJpeg(32, 16, 3, Gradient(32, 16, 3), true), d.get()), 0);
  EXPECT_EQ(d->width, 32);
  EXPECT_NEAR((Peek(d.get(), 31, 0) >> 16) & 0xFF, 248, 12);
}

TEST(Jpeg, TruncatedScanStillGivesAFullImage) {
  Bytes file = MakeJpeg(64, 64, 3, Gradient(64, 64, 3));
  file.resize(file.size() * 2 / 3);
  Decoded d;
  ASSERT_EQ(DecodeWith(DecodeJpegImage, file, d.get()), 0);
  EXPECT_EQ(d->width, 64);
  EXPECT_EQ(d->height, 64);
}

TEST(Jpeg, DamagedFilesAreRefused) {
  Bytes good = MakeJpeg(8, 8, 3, Gradient(8, 8, 3));
  Bytes huge = good;
  // Height and width of the frame header: 0xFFFF x 0xFFFF.
  for (size_t i = 0; i + 9 < huge.size(); ++i) {
    if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
      huge[i + 5] = huge[i + 6] = huge[i + 7] = huge[i + 8] = 0xFF;
      break;
    }
  }
  struct Case {
    const char* what;
    Bytes bytes;
  } cases[] = {
      {"empty", {}},
      {"not a JPEG", Bytes(100, 'x')},
      {"header only", Bytes(good.begin(), good.begin() + 20)},
  };
  for (const Case& c : cases) {
    Decoded d;
    EXPECT_EQ(DecodeWith(DecodeJpegImage, c.bytes, d.get()), -1) << c.what;
  }
  Decoded d;
  int result = DecodeWith(DecodeJpegImage, huge, d.get());
  EXPECT_EQ(result, -1);
}

}  // namespace
