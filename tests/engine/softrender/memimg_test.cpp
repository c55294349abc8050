// Memory-image stores and views: layout, sharing and release, pixel-format
// records, fills, transfers and base-image writes with their run tables.
#include <gtest/gtest.h>

#include <vector>

#include "engine/core/alloc.h"
#include "engine/softrender/memimg.h"
#include "platform/d3d9/dd_pixel_format.h"
#include "soft_test_util.h"

namespace {

struct LayoutCase {
  int fmt, palette, alpha, width;
  int bpp, pitch, exponent, palette_flag, alpha_flag;
};

TEST(MemImg, StoreLayoutFollowsFormatAndFlags) {
  const LayoutCase cases[] = {
      {0, 0, 0, 10, 2, 32, 5, 0, 0},   // row 20 rounds to 32, a power of two
      {0, 0, 1, 10, 4, 48, -1, 0, 1},  // alpha makes R5G6B5 pixels 4 bytes
      {0, 0, 0, 2, 2, 16, -1, 0, 0},   // row 4 is its own power of two, the pitch is not
      {1, 1, 1, 10, 1, 16, 4, 1, 0},   // a palette clears the alpha flag
      {1, 0, 1, 3, 4, 16, 4, 0, 1},
      {2, 1, 1, 5, 1, 16, -1, 0, 0},   // single-channel formats take neither flag
      {3, 0, 0, 8, 2, 16, 4, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << c.fmt << " palette " << c.palette << " alpha " << c.alpha);
    TestImage img(c.width, 3, c.fmt, c.palette, c.alpha, 0, 1);
    PIXELSTORE* s = img.store();
    EXPECT_EQ(c.bpp, s->format->bytes_per_pixel);
    EXPECT_EQ(c.pitch, s->pitch);
    EXPECT_EQ(c.exponent, s->pitch_exponent);
    EXPECT_EQ(c.palette_flag, s->palette_flag);
    EXPECT_EQ(c.alpha_flag, s->alpha_flag);
    EXPECT_EQ(c.palette_flag != 0, s->palette != nullptr);
    EXPECT_EQ(c.alpha_flag != 0, s->premul_plane != nullptr);
    EXPECT_EQ(c.fmt != 2, s->run_table != nullptr);
    EXPECT_EQ(s->premul_plane, img.view.alpha_pixels);
    EXPECT_EQ(1, s->ref_count);
  }
}

TEST(MemImg, GivenPitchIsKeptAndNamesItsExponent) {
  MEMIMG a{}, b{};
  ASSERT_EQ(0, SetupMEMIMG(&a, 10, 2, 20, 0, 0, 0, 0, 0, nullptr));
  EXPECT_EQ(20, a.store->pitch);
  EXPECT_EQ(-1, a.store->pitch_exponent);
  ASSERT_EQ(0, SetupMEMIMG(&b, 10, 2, 32, 0, 0, 0, 0, 0, nullptr));
  EXPECT_EQ(5, b.store->pitch_exponent);
  ReleaseMEMIMG(&a);
  ReleaseMEMIMG(&b);
}

TEST(MemImg, SecondSetupFailsAndKeepsTheFirstStore) {
  TestImage img(4, 4, 1);
  PIXELSTORE* first = img.store();
  EXPECT_EQ(-1, SetupMEMIMG(&img.view, 8, 8, -1, 0, 0, 0, 0, 0, nullptr));
  EXPECT_EQ(first, img.store());
  EXPECT_EQ(4, img.view.width);
}

TEST(MemImg, RefusedSizesLeaveNothingAllocated) {
  int blocks = TrackedBlockCount();
  MEMIMG v{};
  EXPECT_EQ(-1, SetupMEMIMG(&v, 100000, 100000, -1, 0, 1, 0, 0, 1, nullptr));
  EXPECT_EQ(-1, SetupMEMIMG(&v, 0, 5, -1, 0, 1, 0, 0, 0, nullptr));
  EXPECT_EQ(-1, SetupMEMIMG(&v, 5, 5, -1, 0, 4, 0, 0, 0, nullptr));
  EXPECT_FALSE(IsMEMIMGValid(&v));
  EXPECT_EQ(blocks, TrackedBlockCount());
}

TEST(MemImg, ViewSharesStoreAndOutlivesItsSource) {
  int blocks = TrackedBlockCount();
  MEMIMG src{}, whole{}, part{}, inner{};
  ASSERT_EQ(0, SetupMEMIMG(&src, 8, 6, -1, 0, 1, 0, 0, 0, nullptr));
  CreateMEMIMGView(&whole, &src, 0, 0, 8, 6);
  CreateMEMIMGView(&part, &src, 2, 1, 4, 3);
  CreateMEMIMGView(&inner, &part, 1, 1, 2, 2);  // relative to the view it is cut from
  EXPECT_EQ(src.pixels, whole.pixels);
  EXPECT_EQ(src.pixels + 2 * 4 + 1 * src.store->pitch, part.pixels);
  EXPECT_EQ(src.pixels + 3 * 4 + 2 * src.store->pitch, inner.pixels);
  EXPECT_EQ(4, src.store->ref_count);

  ReleaseMEMIMG(&src);
  EXPECT_FALSE(IsMEMIMGValid(&src));
  EXPECT_EQ(nullptr, src.store);
  ReleaseMEMIMG(&src);  // a second release changes nothing
  ASSERT_TRUE(IsMEMIMGValid(&whole));
  StorePixel32(whole.pixels, 0x12345678);  // the store is still alive
  EXPECT_EQ(3, whole.store->ref_count);
  ReleaseMEMIMG(&whole);
  ReleaseMEMIMG(&part);
  EXPECT_GT(TrackedBlockCount(), blocks);
  ReleaseMEMIMG(&inner);
  EXPECT_EQ(blocks, TrackedBlockCount());
}

TEST(MemImg, ViewOutsideItsSourceIsNotMade) {
  TestImage src(8, 6, 0);
  const int rects[][4] = {{-1, 0, 2, 2}, {0, 0, 9, 1}, {7, 5, 2, 2}, {0, 0, -1, 2}};
  for (const auto& r : rects) {
    MEMIMG v{};
    CreateMEMIMGView(&v, &src.view, r[0], r[1], r[2], r[3]);
    EXPECT_FALSE(IsMEMIMGValid(&v));
  }
  EXPECT_EQ(1, src.store()->ref_count);
}

TEST(MemImg, UserMemoryIsNotFreed) {
  std::vector<uint8_t> memory(16 * 4);
  int blocks = TrackedBlockCount();
  MEMIMG v{};
  ASSERT_EQ(0, SetupMEMIMG(&v, 4, 4, 16, 0, 1, 0, 0, 0, memory.data()));
  EXPECT_EQ(memory.data(), v.pixels);
  EXPECT_EQ(1, v.store->user_memory);
  ReleaseMEMIMG(&v);
  EXPECT_EQ(blocks, TrackedBlockCount());
}

TEST(MemImg, PixelFormatRecordsAreShared) {
  const PIXELFORMAT* f = GetMEMIMGPixelFormat(0, 1, 0);
  ASSERT_NE(nullptr, f);
  EXPECT_EQ(f, GetMEMIMGPixelFormat(0, 1, 0));
  EXPECT_EQ(32, f->bits_per_pixel);
  EXPECT_EQ(0xF800u, f->red_mask);
  EXPECT_EQ(0x00FF0000u, f->alpha_mask);
  EXPECT_EQ(8, GetMEMIMGPixelFormat(1, 0, 1)->bits_per_pixel);
  EXPECT_EQ(0xFF000000u, GetMEMIMGPixelFormat(1, 1, 0)->alpha_mask);
  EXPECT_EQ(16, GetMEMIMGPixelFormat(0, 0, 0)->bits_per_pixel);
  EXPECT_EQ(1, GetMEMIMGPixelFormat(2, 0, 0)->bytes_per_pixel);
  EXPECT_EQ(0xFFFFu, GetMEMIMGPixelFormat(3, 0, 0)->green_mask);
  EXPECT_EQ(nullptr, GetMEMIMGPixelFormat(4, 0, 0));
  EXPECT_EQ(nullptr, GetMEMIMGPixelFormat(-1, 0, 0));
}

TEST(MemImg, SurfaceFormatsFollowThePixelFormatRows) {
  struct {
    int code, alpha, palette;
    DWORD bits, red, alpha_mask, flags;
  } rows[] = {
      {0, 0, 0, 16, 0xF800, 0, DDPF_RGB},          {0, 1, 0, 32, 0xF800, 0x00FF0000, DDPF_RGB},
      {1, 0, 1, 8, 0x00FF0000, 0, DDPF_RGB},       {1, 1, 0, 32, 0x00FF0000, 0xFF000000, DDPF_RGB},
      {2, 0, 0, 8, 0xFF, 0xFF, 0},                 {3, 0, 0, 16, 0xFFFF, 0xFFFF, 0},
  };
  for (auto& r : rows) {
    const DDPIXELFORMAT* d = GetMEMIMGSurfaceFormat(r.code, r.alpha, r.palette);
    ASSERT_NE(nullptr, d) << r.code;
    EXPECT_EQ(d, GetMEMIMGSurfaceFormat(r.code, r.alpha, r.palette));
    EXPECT_EQ(r.bits, d->dwRGBBitCount) << r.code << r.alpha << r.palette;
    EXPECT_EQ(r.red, d->dwRBitMask);
    EXPECT_EQ(r.alpha_mask, d->dwRGBAlphaBitMask);
    EXPECT_EQ(r.flags, d->dwFlags);
    EXPECT_EQ(r.flags ? 32u : 0u, d->dwSize);
  }
  EXPECT_EQ(nullptr, GetMEMIMGSurfaceFormat(4, 0, 0));
}

TEST(MemImg, ScreenAndDepthImages) {
  MEMIMG screen{}, depth{};
  SetSoftScreenBitDepth(16);
  ASSERT_EQ(0, CreateScreenFormatMEMIMG(&screen, 5, 5, -1));
  EXPECT_EQ(0, screen.store->format_code);
  SetSoftScreenBitDepth(32);
  ASSERT_EQ(0, CreateDepthMEMIMG(&depth, 5, 5));
  EXPECT_EQ(3, depth.store->format_code);
  EXPECT_EQ(nullptr, depth.store->run_table);
  ReleaseMEMIMG(&screen);
  ReleaseMEMIMG(&depth);
}

TEST(MemImgFill, FillsTheClippedRectangleOnly) {
  struct Case {
    int fmt;
    int32_t rect[4];
    bool whole;
    int x1, y1, x2, y2;
  };
  const Case cases[] = {
      {0, {0, 0, 0, 0}, true, 0, 0, 6, 4},      // null: the whole view
      {1, {-3, 1, 2, 9}, false, 0, 1, 2, 4},    // clipped to the view
      {2, {7, 0, 9, 4}, false, 0, 0, 0, 0},     // wholly outside: nothing
      {3, {4, 3, 1, 1}, false, 0, 0, 0, 0},     // reversed: empty
  };
  for (const auto& c : cases) {
    TestImage img(6, 4, c.fmt);
    for (int y = 0; y < 4; y++)
      for (int x = 0; x < 6; x++) img.set(x, y, 0);
    FillMEMIMGRect(&img.view, c.whole ? nullptr : c.rect, 0xA5A5A5A5);
    uint32_t full = img.bpp() == 1 ? 0xA5 : img.bpp() == 2 ? 0xA5A5 : 0xA5A5A5A5;
    for (int y = 0; y < 4; y++)
      for (int x = 0; x < 6; x++) {
        bool in = x >= c.x1 && x < c.x2 && y >= c.y1 && y < c.y2;
        EXPECT_EQ(in ? full : 0u, img.get(x, y)) << "format " << c.fmt << " at " << x << "," << y;
      }
  }
}

// Values whose bytes differ, over rows with and without a gap between them
// (a 16-bit row of 40 pixels fills its pitch exactly, one of 37 does not)
// and runs long and short: every pixel inside holds the value, every pixel
// outside and every padding byte is left alone.
TEST(MemImgFill, FillsLongRowsAndWholeBlocksWithAnyValue) {
  struct Case {
    int fmt, w, h;
    int32_t rect[4];
    uint32_t value;
  };
  const Case cases[] = {
      {0, 40, 30, {0, 0, 40, 30}, 0x1234},         {0, 37, 30, {0, 0, 37, 30}, 0x1234},
      {0, 40, 30, {3, 2, 39, 29}, 0xF81F},         {1, 16, 9, {0, 0, 16, 9}, 0x00ABCDEF},
      {1, 33, 9, {1, 1, 32, 8}, 0x00ABCDEF},       {1, 300, 4, {0, 0, 300, 4}, 0xFF102030},
      {2, 17, 5, {0, 0, 17, 5}, 0x7E},             {3, 24, 6, {0, 0, 24, 6}, 0xBEEF},
  };
  for (const auto& c : cases) {
    TestImage img(c.w, c.h, c.fmt);
    const size_t bytes = (size_t)img.store()->pitch * c.h;
    for (size_t i = 0; i < bytes; i++) img.view.pixels[i] = (uint8_t)(i * 13 + 1);
    std::vector<uint8_t> before(img.view.pixels, img.view.pixels + bytes);
    FillMEMIMGRect(&img.view, c.rect, c.value);
    std::vector<uint8_t> expected = before;
    const int bpp = img.bpp();
    for (int y = c.rect[1]; y < c.rect[3]; y++)
      for (int x = c.rect[0]; x < c.rect[2]; x++)
        std::memcpy(&expected[(size_t)y * img.store()->pitch + (size_t)x * bpp], &c.value, (size_t)bpp);
    EXPECT_EQ(std::memcmp(expected.data(), img.view.pixels, bytes), 0) << "format " << c.fmt << ", " << c.w << " wide";
  }
}

// A base image in exactly the store's own format, so the write copies pixels.
struct SourceImage {
  BASEIMAGE image{};
  std::vector<uint8_t> bytes;
  SourceImage(const PIXELFORMAT* format, int w, int h) {
    image.format = *format;
    image.width = w;
    image.height = h;
    image.pitch = w * format->bytes_per_pixel;
    bytes.assign((size_t)image.pitch * h, 0);
    image.pixels = bytes.data();
  }
  void set(int x, int y, uint32_t v) {
    std::memcpy(bytes.data() + (size_t)y * image.pitch + (size_t)x * image.format.bytes_per_pixel, &v,
                image.format.bytes_per_pixel);
  }
};

std::vector<uint8_t> RunCodes(const PIXELSTORE* s, size_t n) { return {s->run_table, s->run_table + n}; }

TEST(MemImgWrite, RunTablesOfWholeWrites) {
  {  // one opaque pixel
    TestImage img(1, 1, 0, 0, 0, 0, 1);
    SourceImage src(img.store()->format, 1, 1);
    src.set(0, 0, 0xF800);
    ASSERT_EQ(0, WriteBaseImageToMEMIMG(&src.image, nullptr, &img.view, 0, 0, 1, 1, 0, 0, 0));
    EXPECT_EQ(1, img.store()->run_table_valid);
    EXPECT_EQ((std::vector<uint8_t>{0x40, 0xC0}), RunCodes(img.store(), 2));
  }
  {  // a line of 130 transparent palette indices
    TestImage img(130, 1, 1, 1, 0, 5, 1);
    SourceImage src(img.store()->format, 130, 1);
    for (int x = 0; x < 130; x++) src.set(x, 0, 5);
    ASSERT_EQ(0, WriteBaseImageToMEMIMG(&src.image, nullptr, &img.view, 0, 0, 130, 1, 0, 0, 0));
    EXPECT_EQ((std::vector<uint8_t>{0x3F, 0x3F, 0x01, 0xC0}), RunCodes(img.store(), 4));
    EXPECT_EQ(6, img.store()->palette_count);  // largest index + 1
  }
  {  // an alpha line, and its premultiplied plane
    TestImage img(5, 1, 1, 0, 1, 0, 1);
    SourceImage src(img.store()->format, 5, 1);
    const uint32_t alphas[5] = {0, 0, 128, 200, 255};
    for (int x = 0; x < 5; x++) src.set(x, 0, (alphas[x] << 24) | 0x00FF8040);
    ASSERT_EQ(0, WriteBaseImageToMEMIMG(&src.image, nullptr, &img.view, 0, 0, 5, 1, 0, 0, 0));
    EXPECT_EQ((std::vector<uint8_t>{0x01, 0x81, 0x40, 0xC0}), RunCodes(img.store(), 4));
    EXPECT_EQ(1, img.store()->premul_valid);
    uint32_t pre = LoadPixel32(img.view.alpha_pixels + 2 * 4);
    EXPECT_EQ((0xFFu * 128 >> 8) << 16 | (0x80u * 128 >> 8) << 8 | (0x40u * 128 >> 8), pre & 0x00FFFFFF);
  }
}

TEST(MemImgWrite, PartialWritesInvalidateDerivedData) {
  TestImage img(4, 4, 0, 0, 1, 0, 1);
  SourceImage src(img.store()->format, 4, 4);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) src.set(x, y, 0x00FF0000u | 0x1234);
  ASSERT_EQ(0, WriteBaseImageToMEMIMG(&src.image, nullptr, &img.view, 0, 0, 4, 4, 0, 0, 0));
  EXPECT_EQ(1, img.store()->run_table_valid);
  EXPECT_EQ(1, img.store()->premul_valid);
  ASSERT_EQ(0, WriteBaseImageToMEMIMG(&src.image, nullptr, &img.view, 0, 0, 2, 2, 1, 1, 0));
  EXPECT_EQ(0, img.store()->run_table_valid);
  EXPECT_EQ(0, img.store()->premul_valid);

  // A whole write into a view of part of the store describes only that part:
  // the store's table stays invalid.
  MEMIMG part{};
  CreateMEMIMGView(&part, &img.view, 1, 1, 2, 2);
  ASSERT_EQ(0, WriteBaseImageToMEMIMG(&src.image, nullptr, &part, 0, 0, 2, 2, 0, 0, 0));
  EXPECT_EQ(0, img.store()->run_table_valid);
  ReleaseMEMIMG(&part);

  // Rectangles outside either image are refused before anything is written.
  EXPECT_EQ(-1, WriteBaseImageToMEMIMG(&src.image, nullptr, &img.view, 2, 2, 4, 4, 0, 0, 0));
  EXPECT_EQ(-1, WriteBaseImageToMEMIMG(&src.image, nullptr, &img.view, 0, 0, 2, 2, 3, 0, 0));
}

TEST(MemImgWrite, PaletteIsConvertedIntoBothPalettes) {
  TestImage img(2, 1, 0, 1, 0, 0, 1);
  SourceImage src(img.store()->format, 2, 1);
  src.image.format.palette[3] = PaletteEntry{8, 128, 255, 0};  // blue, green, red
  src.set(0, 0, 3);
  src.set(1, 0, 1);
  ASSERT_EQ(0, WriteBaseImageToMEMIMG(&src.image, nullptr, &img.view, 0, 0, 2, 1, 0, 0, 0));
  uint32_t expected = (31u << 11) | (32u << 5) | 1u;
  EXPECT_EQ(expected, LoadPixel16(img.store()->palette + 6));
  EXPECT_EQ(expected, LoadPixel16(img.store()->palette2 + 6));
  EXPECT_EQ(4, img.store()->palette_count);
  EXPECT_EQ(3u, img.get(0, 0));
}

TEST(MemImgWrite, TransferConvertsBetweenFormats) {
  TestImage src(3, 2, 1), dst(4, 4, 0);
  src.set(1, 1, 0x00FF0000);
  src.set(2, 1, 0x0000FF00);
  int32_t rect[4] = {1, 1, 3, 2};
  EXPECT_GE(TransferMEMIMGRect(&dst.view, &src.view, rect, 2, 3), 0);
  EXPECT_EQ(0xF800u, dst.get(2, 3));
  EXPECT_EQ(0x07E0u, dst.get(3, 3));
  EXPECT_EQ(-1, TransferMEMIMGRect(&dst.view, &src.view, rect, 3, 3));  // would leave the destination
  int32_t outside[4] = {0, 0, 4, 1};
  EXPECT_EQ(-1, TransferMEMIMGRect(&dst.view, &src.view, outside, 0, 0));
}

}  // namespace
