// Colour formats, base images, DXT expansion and the pixel and rectangle
// operations.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/core/alloc.h"
#include "engine/image/base_image.h"
#include "tests/engine/image/image_fixtures.h"

namespace {

PIXELFORMAT FromMasks(int bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  PIXELFORMAT f{};
  InitPixelFormatFromMasks(&f, bits, r, g, b, a);
  return f;
}

TEST(PixelFormat, MasksGiveWidthsShiftsAndSpareBits) {
  struct Case {
    int bits;
    uint32_t r, g, b, a;
    int rw, gw, bw, aw, rs, gs, bs;
    uint32_t spare;
    int spare_shift, spare_width;
  } cases[] = {
      {16, 0xF800, 0x07E0, 0x001F, 0, 5, 6, 5, 0, 11, 5, 0, 0, 0, 0},
      {32, 0xFF0000, 0xFF00, 0xFF, 0, 8, 8, 8, 0, 16, 8, 0, 0xFF000000, 24, 8},
      {16, 0x7C00, 0x03E0, 0x001F, 0, 5, 5, 5, 0, 10, 5, 0, 0x8000, 15, 1},
      {16, 0x0F0F, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0xF0F0, 4, 4},
  };
  for (const Case& c : cases) {
    PIXELFORMAT f = FromMasks(c.bits, c.r, c.g, c.b, c.a);
    EXPECT_EQ(f.red_width, c.rw);
    EXPECT_EQ(f.green_width, c.gw);
    EXPECT_EQ(f.blue_width, c.bw);
    EXPECT_EQ(f.alpha_width, c.aw);
    EXPECT_EQ(f.red_shift, c.rs);
    EXPECT_EQ(f.green_shift, c.gs);
    EXPECT_EQ(f.blue_shift, c.bs);
    EXPECT_EQ(f.spare_mask, c.spare);
    EXPECT_EQ(f.spare_shift, c.spare_shift);
    EXPECT_EQ(f.spare_width, c.spare_width);
    EXPECT_EQ(f.bytes_per_pixel, c.bits / 8);
  }
}

TEST(PixelFormat, FixSpareMaskFollowsChannelWidths) {
  PIXELFORMAT f = FromMasks(16, 0x7C00, 0x03E0, 0x001F, 0);
  f.alpha_width = 1;
  f.alpha_mask = 0x8000;
  FixSparePixelMask(&f);
  EXPECT_EQ(f.spare_mask, 0u);
  f.alpha_width = 0;
  f.alpha_mask = 0;
  FixSparePixelMask(&f);
  EXPECT_EQ(f.spare_mask, 0x8000u);
}

TEST(PixelFormat, PackingKeepsTopBitsAndSetsSpareBits) {
  PIXELFORMAT argb{}, xrgb{};
  InitArgbPixelFormat(&argb);
  InitXrgbPixelFormat(&xrgb);
  PIXELFORMAT p565 = FromMasks(16, 0xF800, 0x07E0, 0x001F, 0);
  PIXELFORMAT p555 = FromMasks(16, 0x7C00, 0x03E0, 0x001F, 0);
  EXPECT_EQ(EncodePixelColor(&argb, 255, 255, 255, 128), 0x80FFFFFFu);
  EXPECT_EQ(EncodePixelColor(&xrgb, 255, 0, 0, 77), 0xFFFF0000u);
  EXPECT_EQ(EncodePixelColor(&p565, 255, 255, 255, 0), 0xFFFFu);
  EXPECT_EQ(EncodePixelColor(&p555, 0, 0, 0, 0), 0x8000u);
  EXPECT_EQ(EncodePixelColor(&p565, 0x107, 0, 0, 0), (0x07u >> 3) << 11);  // low 8 bits only
}

TEST(PixelFormat, UnpackingScalesAndTruncates) {
  PIXELFORMAT xrgb{};
  InitXrgbPixelFormat(&xrgb);
  PIXELFORMAT p565 = FromMasks(16, 0xF800, 0x07E0, 0x001F, 0);
  uint32_t r, g, b, a;
  DecodePixelColor(&xrgb, 0xFF123456, &r, &g, &b, &a);
  EXPECT_EQ(a, 0u);
  EXPECT_EQ(r, 0x12u);
  DecodePixelColor(&p565, 0xFFFF, &r, &g, &b, &a);
  EXPECT_EQ(r, 255u);
  EXPECT_EQ(g, 255u);
  EXPECT_EQ(b, 255u);
  DecodePixelColor(&p565, 1u << 11, &r, nullptr, nullptr, nullptr);
  EXPECT_EQ(r, 8u);  // 5-bit 1 gives 8
  PIXELFORMAT no_green = FromMasks(16, 0xF800, 0, 0x001F, 0);
  DecodePixelColor(&no_green, 0xFFFF, nullptr, &g, nullptr, nullptr);
  EXPECT_EQ(g, 0u);
}

TEST(PixelFormat, PalettedPackingTakesNearestLowestIndex) {
  PIXELFORMAT f{};
  InitPalettedPixelFormat(&f);
  for (auto& e : f.palette) e = PaletteEntry{9, 9, 9, 0};
  EXPECT_EQ(EncodePixelColor(&f, 1, 2, 3, 0), 0u);
  f.palette[3] = PaletteEntry{0, 0, 100, 0};
  f.palette[9] = PaletteEntry{0, 0, 120, 0};
  EXPECT_EQ(EncodePixelColor(&f, 110, 0, 0, 0), 3u);  // equally far from 3 and 9
  EXPECT_EQ(EncodePixelColor(&f, 119, 0, 0, 0), 9u);
}

TEST(BaseImage, PitchIsRoundedToFourBytes) {
  PIXELFORMAT rgb{}, grey{};
  InitRgb24PixelFormat(&rgb);
  InitGreyPixelFormat(&grey);
  BASEIMAGE a{}, b{};
  ASSERT_EQ(MakeBaseImageOfFormat(5, 2, &rgb, &a), 0);
  EXPECT_EQ(a.pitch, 16);
  ASSERT_EQ(MakeBaseImageOfFormat(3, 2, &grey, &b), 0);
  EXPECT_EQ(b.pitch, 4);
  EXPECT_EQ(b.format.palette[77].red, 77);
  DisposeBaseImage(&a);
  DisposeBaseImage(&b);
  BASEIMAGE zero{};
  EXPECT_EQ(DisposeBaseImage(&zero), 0);
  BASEIMAGE expect{};
  EXPECT_EQ(std::memcmp(&zero, &expect, sizeof(zero)), 0);
}

TEST(BaseImage, AbsurdSizeIsRefused) {
  BASEIMAGE img{};
  EXPECT_EQ(MakeArgbBaseImage(100000, 100000, &img), -1);
  EXPECT_EQ(img.pixels, nullptr);
  EXPECT_EQ(MakeArgbBaseImage(-1, 4, &img), -1);
}

// ---- DXT ----

BASEIMAGE DxtImage(int kind, int width, int height, const Bytes& blocks) {
  BASEIMAGE img{};
  InitArgbPixelFormat(&img.format);
  img.format.dxt_kind = (uint32_t)kind;
  img.format.bits_per_pixel = kind == 1 ? 4 : 8;
  img.width = width;
  img.height = height;
  img.pixels = (uint8_t*)TrackedAlloc((uint32_t)blocks.size());
  std::memcpy(img.pixels, blocks.data(), blocks.size());
  return img;
}

uint32_t Px(const BASEIMAGE& img, int x, int y) {
  uint32_t v;
  std::memcpy(&v, img.pixels + y * img.pitch + x * 4, 4);
  return v;
}

TEST(Dxt, Dxt1FourColourMode) {
  // c0 = white, c1 = black; indices 0,1,2,3 along the first row.
  Bytes block = {0xFF, 0xFF, 0x00, 0x00, 0xE4, 0, 0, 0};
  BASEIMAGE img = DxtImage(1, 4, 4, block);
  ASSERT_EQ(ExpandCompressedBaseImage(&img), 0);
  EXPECT_EQ(img.format.dxt_kind, 0u);
  EXPECT_EQ(img.pitch, 16);
  EXPECT_EQ(Px(img, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(Px(img, 1, 0), 0xFF000000u);
  EXPECT_EQ(Px(img, 2, 0), 0xFFAAAAAAu);
  EXPECT_EQ(Px(img, 3, 0), 0xFF555555u);
  EXPECT_EQ(Px(img, 0, 1), 0xFFFFFFFFu);
  DisposeBaseImage(&img);
}

TEST(Dxt, Dxt1ThreeColourModeHasTransparentBlack) {
  Bytes block = {0x1F, 0x00, 0x1F, 0x00, 0xE4, 0, 0, 0};  // c0 == c1 == blue
  BASEIMAGE img = DxtImage(1, 4, 4, block);
  ASSERT_EQ(ExpandCompressedBaseImage(&img), 0);
  EXPECT_EQ(Px(img, 0, 0), 0xFF0000FFu);
  EXPECT_EQ(Px(img, 1, 0), 0xFF0000FFu);
  EXPECT_EQ(Px(img, 2, 0), 0xFF0000FFu);
  EXPECT_EQ(Px(img, 3, 0), 0x00000000u);
  DisposeBaseImage(&img);
}

TEST(Dxt, Dxt5SixValueAlphaTable) {
  // a0 = 0, a1 = 255; pixel k of the first group takes index k.
  uint32_t bits = 0;
  for (int k = 0; k < 8; ++k) bits |= (uint32_t)k << (3 * k);
  Bytes block = {0, 255, (uint8_t)bits, (uint8_t)(bits >> 8), (uint8_t)(bits >> 16), 0, 0, 0,
                 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  Bytes two = block;
  two.insert(two.end(), block.begin(), block.end());
  BASEIMAGE img = DxtImage(5, 8, 4, two);  // an 8 x 4 DXT5 image is two blocks
  ASSERT_EQ(ExpandCompressedBaseImage(&img), 0);
  const uint32_t expect[8] = {0, 255, 51, 102, 153, 204, 0, 255};
  for (int k = 0; k < 8; ++k) EXPECT_EQ(Px(img, k % 4, k / 4) >> 24, expect[k]) << k;
  EXPECT_EQ(Px(img, 4, 0) >> 24, 0u);
  EXPECT_EQ(Px(img, 5, 0) >> 24, 255u);
  DisposeBaseImage(&img);
}

TEST(Dxt, Dxt5EightValueAlphaTable) {
  uint32_t bits = 0;
  for (int k = 0; k < 8; ++k) bits |= (uint32_t)k << (3 * k);
  Bytes block = {210, 0, (uint8_t)bits, (uint8_t)(bits >> 8), (uint8_t)(bits >> 16), 0, 0, 0,
                 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  BASEIMAGE img = DxtImage(5, 4, 4, block);
  ASSERT_EQ(ExpandCompressedBaseImage(&img), 0);
  const uint32_t expect[8] = {210, 0, 180, 150, 120, 90, 60, 30};
  for (int k = 0; k < 8; ++k) EXPECT_EQ(Px(img, k % 4, k / 4) >> 24, expect[k]) << k;
  DisposeBaseImage(&img);
}

TEST(Dxt, Dxt3ExplicitAlphaNibbles) {
  // Row 0: nibbles 15, 1, 0, 8; row 2 starts with 4.
  Bytes block = {0x1F, 0x80, 0, 0, 0x04, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  BASEIMAGE img = DxtImage(3, 4, 4, block);
  ASSERT_EQ(ExpandCompressedBaseImage(&img), 0);
  EXPECT_EQ(Px(img, 0, 0) >> 24, 255u);
  EXPECT_EQ(Px(img, 1, 0) >> 24, 17u);
  EXPECT_EQ(Px(img, 2, 0) >> 24, 0u);
  EXPECT_EQ(Px(img, 3, 0) >> 24, 136u);
  EXPECT_EQ(Px(img, 0, 2) >> 24, 68u);
  // Expanding again changes nothing.
  uint8_t* before = img.pixels;
  EXPECT_EQ(ExpandCompressedBaseImage(&img), 0);
  EXPECT_EQ(img.pixels, before);
  DisposeBaseImage(&img);
}

TEST(Dxt, PremultipliedKindsSurviveZeroAlpha) {
  // DXT2: colour white, alpha 0 for pixel 0 and 8 (136) for pixel 1.
  Bytes dxt2 = {0x80, 0, 0, 0, 0, 0, 0, 0, 0x10, 0x84, 0x10, 0x84, 0, 0, 0, 0};
  BASEIMAGE img = DxtImage(2, 4, 4, dxt2);
  ASSERT_EQ(ExpandCompressedBaseImage(&img), 0);
  EXPECT_EQ(Px(img, 0, 0), 0x00000000u);  // no alpha: no colour, no crash
  // 0x8410 expands to (131, 129, 131); divided by alpha 136 and scaled.
  EXPECT_EQ(Px(img, 1, 0), 0x88F5F1F5u);
  DisposeBaseImage(&img);
  // DXT4 with a colour above its alpha clamps at 255.
  Bytes dxt4 = {10, 10, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  img = DxtImage(4, 4, 4, dxt4);
  ASSERT_EQ(ExpandCompressedBaseImage(&img), 0);
  EXPECT_EQ(Px(img, 0, 0), 0x0AFFFFFFu);
  DisposeBaseImage(&img);
}

TEST(Dxt, ExpansionDropsTheMipCountAndCoversPartialBlocks) {
  Bytes block = {0xFF, 0xFF, 0x00, 0x00, 0, 0, 0, 0};
  BASEIMAGE img = DxtImage(1, 2, 2, block);
  img.mip_count = 3;
  ASSERT_EQ(ExpandCompressedBaseImage(&img), 0);
  EXPECT_EQ(img.mip_count, 0);
  EXPECT_EQ(img.pitch, 8);
  EXPECT_EQ(Px(img, 1, 1), 0xFFFFFFFFu);
  DisposeBaseImage(&img);
  BASEIMAGE plain{};
  InitArgbPixelFormat(&plain.format);
  EXPECT_EQ(ExpandCompressedBaseImage(&plain), 0);
}

// ---- pixel and rectangle operations ----

TEST(PixelOps, PutAndPeekAcrossFormats) {
  BASEIMAGE xrgb{};
  ASSERT_EQ(MakeXrgbBaseImage(4, 4, &xrgb), 0);
  EXPECT_EQ(PutBaseImagePixel(&xrgb, 1, 2, 10, 20, 30, 40), 0);
  EXPECT_EQ(Peek(&xrgb, 1, 2), 0x000A141Eu);  // no alpha channel: alpha 0
  EXPECT_EQ(PutBaseImagePixel(&xrgb, 4, 0, 1, 1, 1, 1), -1);
  EXPECT_EQ(PeekBaseImagePixel(&xrgb, 4, 0, nullptr, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(PeekBaseImagePixel(&xrgb, 0, -1, nullptr, nullptr, nullptr, nullptr), -1);
  DisposeBaseImage(&xrgb);

  PIXELFORMAT grey{};
  InitGreyPixelFormat(&grey);
  BASEIMAGE g{};
  ASSERT_EQ(MakeBaseImageOfFormat(2, 2, &grey, &g), 0);
  g.pixels[0] = 77;
  EXPECT_EQ(Peek(&g, 0, 0), 0x004D4D4Du);
  DisposeBaseImage(&g);

  PIXELFORMAT pal{};
  InitPalettedPixelFormat(&pal);
  for (int i = 0; i < 256; ++i) pal.palette[i] = PaletteEntry{(uint8_t)i, 0, (uint8_t)(255 - i), 0};
  BASEIMAGE p{};
  ASSERT_EQ(MakeBaseImageOfFormat(2, 1, &pal, &p), 0);
  PutBaseImagePixel(&p, 1, 0, 255, 0, 0, 255);
  EXPECT_EQ(p.pixels[1], 0);  // entry 0 is pure red
  DisposeBaseImage(&p);

  PIXELFORMAT rgb{};
  InitRgb24PixelFormat(&rgb);
  BASEIMAGE r{};
  ASSERT_EQ(MakeBaseImageOfFormat(3, 1, &rgb, &r), 0);
  PutBaseImagePixel(&r, 2, 0, 1, 2, 3, 0);
  EXPECT_EQ(Peek(&r, 2, 0), 0x00010203u);
  DisposeBaseImage(&r);
}

TEST(PixelOps, PeekExpandsCompressedImage) {
  Bytes block = {0xFF, 0xFF, 0x00, 0x00, 0, 0, 0, 0};
  BASEIMAGE img = DxtImage(1, 4, 4, block);
  EXPECT_EQ(Peek(&img, 3, 3), 0xFFFFFFFFu);
  EXPECT_EQ(img.format.dxt_kind, 0u);
  DisposeBaseImage(&img);
}

TEST(PixelOps, CopyClipsNegativeSource) {
  BASEIMAGE src{}, dst{};
  MakeArgbBaseImage(10, 10, &src);
  MakeArgbBaseImage(10, 10, &dst);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) PutBaseImagePixel(&src, x, y, x, y, 0, 255);
  std::memset(dst.pixels, 0, (size_t)dst.pitch * 10);
  EXPECT_EQ(CopyBaseImageRect(-3, 0, 10, 10, 0, 0, &src, &dst), 0);
  EXPECT_EQ(Peek(&dst, 2, 5), 0u);
  EXPECT_EQ(Peek(&dst, 3, 5), 0xFF000500u);  // source (0, 5) lands at (3, 5)
  EXPECT_EQ(Peek(&dst, 9, 9), 0xFF060900u);
  EXPECT_EQ(CopyBaseImageRect(0, 0, 5, 5, 20, 20, &src, &dst), 0);  // nothing left
  DisposeBaseImage(&src);
  DisposeBaseImage(&dst);
}

TEST(PixelOps, StretchNearestRepeatsPixels) {
  BASEIMAGE src{}, dst{};
  MakeArgbBaseImage(2, 2, &src);
  MakeArgbBaseImage(4, 4, &dst);
  PutBaseImagePixel(&src, 0, 0, 1, 0, 0, 255);
  PutBaseImagePixel(&src, 1, 0, 2, 0, 0, 255);
  PutBaseImagePixel(&src, 0, 1, 3, 0, 0, 255);
  PutBaseImagePixel(&src, 1, 1, 4, 0, 0, 255);
  ASSERT_EQ(StretchBaseImageRect(0, 0, 2, 2, &src, 0, 0, 4, 4, &dst, 0), 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ((Peek(&dst, x, y) >> 16) & 0xFF, 1u + x / 2 + 2 * (y / 2));
  EXPECT_EQ(StretchBaseImageRect(0, 0, 3, 2, &src, 0, 0, 4, 4, &dst, 0), -1);
  EXPECT_EQ(StretchBaseImageRect(1, 0, 1, 2, &src, 0, 0, 4, 4, &dst, 0), -1);
  DisposeBaseImage(&src);
  DisposeBaseImage(&dst);
}

TEST(PixelOps, StretchBilinearUsesEdgePixelAsNeighbour) {
  BASEIMAGE src{}, dst{};
  MakeArgbBaseImage(2, 2, &src);
  MakeArgbBaseImage(4, 4, &dst);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) PutBaseImagePixel(&src, x, y, 255, 255, 255, 255);
  ASSERT_EQ(StretchBaseImageRect(0, 0, 2, 2, &src, 0, 0, 4, 4, &dst, 1), 0);
  // Weights sum to just under 65536: a uniform 255 reads 254 everywhere,
  // the right and bottom edges included.
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(Peek(&dst, x, y), 0xFEFEFEFEu) << x << "," << y;
  // Same sizes: a plain copy whatever the sampling.
  BASEIMAGE same{};
  MakeArgbBaseImage(2, 2, &same);
  ASSERT_EQ(StretchBaseImageRect(0, 0, 2, 2, &src, 0, 0, 2, 2, &same, 1), 0);
  EXPECT_EQ(Peek(&same, 1, 1), 0xFFFFFFFFu);
  DisposeBaseImage(&same);
  DisposeBaseImage(&src);
  DisposeBaseImage(&dst);
}

TEST(PixelOps, ZeroRectClearsOnlyTheRectangle) {
  BASEIMAGE img{};
  MakeArgbBaseImage(4, 4, &img);
  std::memset(img.pixels, 0xFF, (size_t)img.pitch * 4);
  ZeroBaseImageRect(&img, 1, 1, 2, 2);
  EXPECT_EQ(Peek(&img, 1, 1), 0u);
  EXPECT_EQ(Peek(&img, 2, 2), 0u);
  EXPECT_EQ(Peek(&img, 3, 3), 0xFFFFFFFFu);
  EXPECT_EQ(Peek(&img, 0, 1), 0xFFFFFFFFu);
  DisposeBaseImage(&img);
}

}  // namespace
