// The loader: decoder table order, mirror and DIB results, the "_a" alpha
// image rule; and soft images, DIB form, DIB graphs, mirroring and pixel
// reads.
#include <gtest/gtest.h>
#include <png.h>

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/core/alloc.h"
#include "engine/core/log.h"
#include "engine/image/base_image.h"
#include "engine/image/image_load.h"
#include "engine/image/soft_image.h"
#include "tests/engine/image/image_fixtures.h"
#include "tests/support/temp_dir.h"

namespace {

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

Bytes SmallBmp() { return MakeBmp(2, 1, 24, 0, {}, {1, 2, 3, 4, 5, 6, 0, 0}); }
Bytes SmallTga() { return MakeTga(2, 2, 1, 24, 0x20, {}, 0, 0, {1, 2, 3, 4, 5, 6}); }
Bytes SmallDxt1() {
  DdsSpec s;
  s.fourcc = FourCCOf("DXT1");
  s.width = 8;
  s.height = 4;
  // Left block white, right block black.
  return MakeDds(s, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
}
Bytes SmallRaw() { return MakeRawBgra(0x08080808, 1, 1, {9, 8, 7, 6}); }

TEST(Loader, EveryFormatFindsItsDecoder) {
  struct Case {
    const char* what;
    Bytes bytes;
    int bits;
  } cases[] = {
      {"BMP", SmallBmp(), 24},
      {"JPEG", MakeJpeg(4, 4, 1, Bytes(16, 50)), 8},
      {"PNG", MakePng(1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, {{1, 2, 3, 4}}), 32},
      {"raw", SmallRaw(), 32},
      {"TGA", SmallTga(), 24},
      {"DDS", SmallDxt1(), 4},
  };
  for (const Case& c : cases) {
    BASEIMAGE img;
    ASSERT_EQ(LoadFromMemory(c.bytes, &img), 0) << c.what;
    EXPECT_EQ(img.format.bits_per_pixel, c.bits) << c.what;
    DisposeBaseImage(&img);
  }
  BASEIMAGE none;
  std::memset(&none, 0x5A, sizeof(none));
  EXPECT_EQ(LoadFromMemory(Bytes(300, 0x11), &none), -1);
  EXPECT_EQ(LoadFromMemory(Bytes(), &none), -1);
}

TEST(Loader, FailedLoadsLeaveNothingAllocated) {
  const int before = TrackedBlockCount();
  BASEIMAGE img;
  Bytes bmp = SmallBmp();
  bmp.resize(bmp.size() - 3);
  Bytes png = MakePng(4, 4, PNG_COLOR_TYPE_RGB, 8, std::vector<Bytes>(4, Bytes(12, 1)));
  png.resize(png.size() - 20);
  for (const Bytes& b : {bmp, png, Bytes(1000, 0xFF), Bytes(5, 'D')}) EXPECT_EQ(LoadFromMemory(b, &img), -1);
  EXPECT_EQ(TrackedBlockCount(), before);
}

TEST(Loader, MirrorExpandsCompressedImages) {
  BASEIMAGE kept, mirrored;
  ASSERT_EQ(LoadFromMemory(SmallDxt1(), &kept, 0), 0);
  EXPECT_EQ(kept.format.dxt_kind, 1u);
  ASSERT_EQ(LoadFromMemory(SmallDxt1(), &mirrored, 1), 0);
  EXPECT_EQ(mirrored.format.dxt_kind, 0u);
  EXPECT_EQ(mirrored.format.bits_per_pixel, 32);
  EXPECT_EQ(Peek(&mirrored, 0, 0), 0xFF000000u);  // black came from the right
  EXPECT_EQ(Peek(&mirrored, 7, 3), 0xFFFFFFFFu);
  DisposeBaseImage(&kept);
  DisposeBaseImage(&mirrored);

  BASEIMAGE bmp;
  ASSERT_EQ(LoadFromMemory(SmallBmp(), &bmp, 1), 0);
  EXPECT_EQ(Peek(&bmp, 0, 0), 0x00060504u);
  DisposeBaseImage(&bmp);
  // A paletted image is mirrored as well.
  BASEIMAGE pal;
  ASSERT_EQ(LoadFromMemory(MakePng(3, 1, PNG_COLOR_TYPE_PALETTE, 8, {{0, 1, 2}}, Bytes(9, 0)), &pal, 1), 0);
  EXPECT_EQ(pal.pixels[0], 2);
  EXPECT_EQ(pal.pixels[2], 0);
  DisposeBaseImage(&pal);
}

TEST(Loader, DibResult) {
  BITMAPINFO* info = nullptr;
  void* bits = nullptr;
  ASSERT_EQ(LoadImageToBaseImageOrDib(nullptr, SmallRaw().data(), 20, 1, 1, 0, nullptr, &info, &bits), 0);
  EXPECT_EQ(info->bmiHeader.biBitCount, 24);
  EXPECT_EQ(info->bmiHeader.biHeight, -1);
  const uint8_t* b = static_cast<const uint8_t*>(bits);
  EXPECT_EQ(b[0], 9);
  EXPECT_EQ(b[2], 7);
  TrackedFree(bits);
  TrackedFree(info);
}

// A mirrored picture handed out as DIB bits: every row's padding is zero. The
// blocks the loader is about to take are dirtied first, so padding left as
// the allocator gave it shows.
TEST(Loader, MirroredDibRowsHaveClearedPadding) {
  const int width = 101, height = 3;  // 303 bytes of pixels in rows of 304
  Bytes data;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) data.insert(data.end(), {(uint8_t)x, (uint8_t)y, 0x80});
    data.push_back(0);
  }
  Bytes bmp = MakeBmp(width, -height, 24, 0, {}, data);
  void* dirty[6];
  for (void*& p : dirty) {
    p = TrackedAlloc(304 * height, "", 0);
    std::memset(p, 0xAA, 304 * height);
  }
  for (void* p : dirty) TrackedFree(p);
  BITMAPINFO* info = nullptr;
  void* bits = nullptr;
  ASSERT_EQ(LoadImageToBaseImageOrDib(nullptr, bmp.data(), (int)bmp.size(), 1, 1, 1, nullptr, &info, &bits), 0);
  ASSERT_EQ(info->bmiHeader.biBitCount, 24);
  const uint8_t* b = static_cast<const uint8_t*>(bits);
  for (int y = 0; y < height; ++y) {
    EXPECT_EQ(b[304 * y + 303], 0) << "row " << y;
    EXPECT_EQ(b[304 * y], width - 1) << "row " << y;  // mirrored: the last column first
  }
  TrackedFree(bits);
  TrackedFree(info);
}

struct AlphaPathCase {
  const char* path;
  const char* expect;
};

TEST(Loader, AlphaImagePathRule) {
  const AlphaPathCase cases[] = {
      {"bg\\title.png", "bg\\title_a.png"},
      {"bg\\title", "bg\\title_a"},
      {"pics\\a.b\\img", "pics\\a_a.b\\img"},
      {"x.tar.gz", "x.tar_a.gz"},
  };
  for (const AlphaPathCase& c : cases) {
    char out[MAX_PATH];
    ASSERT_EQ(MakeAlphaImagePath(c.path, out, sizeof(out)), 0);
    EXPECT_STREQ(out, c.expect);
  }
  std::string long_path(300, 'a');
  char out[MAX_PATH];
  EXPECT_EQ(MakeAlphaImagePath(long_path.c_str(), out, sizeof(out)), -1);
  std::string fits(MAX_PATH - 3, 'b');
  EXPECT_EQ(MakeAlphaImagePath(fits.c_str(), out, sizeof(out)), 0);
  EXPECT_EQ(std::strlen(out), (size_t)MAX_PATH - 1);
}

class LoaderFiles : public TempDirTest {};

TEST_F(LoaderFiles, MainAndAlphaImagesFromFiles) {
  WriteFile("title.bmp", Str(SmallBmp()));
  WriteFile("title_a.tga", Str(SmallTga()));
  WriteFile("plain.tga", Str(SmallTga()));
  WriteFile("broken.tga", Str(SmallTga()));
  WriteFile("broken_a.tga", "not an image");
  WriteFile("pair.tga", Str(SmallTga()));
  WriteFile("pair_a.tga", Str(SmallTga()));
  BASEIMAGE img, alpha;
  ASSERT_EQ(LoadImageAndAlphaImage("pair.tga", nullptr, 0, 0, nullptr, 0, 0, &img, &alpha, 0), 0);
  EXPECT_EQ(alpha.width, 2);
  DisposeBaseImage(&img);
  DisposeBaseImage(&alpha);
  // No alpha file: main image only.
  ASSERT_EQ(LoadImageAndAlphaImage("plain.tga", nullptr, 0, 0, nullptr, 0, 0, &img, &alpha, 0), 1);
  EXPECT_EQ(img.width, 2);
  DisposeBaseImage(&img);
  // A broken alpha file is no error of the main image.
  ASSERT_EQ(LoadImageAndAlphaImage("broken.tga", nullptr, 0, 0, nullptr, 0, 0, &img, &alpha, 0), 1);
  DisposeBaseImage(&img);
  EXPECT_EQ(LoadImageAndAlphaImage("missing.tga", nullptr, 0, 0, nullptr, 0, 0, &img, &alpha, 0), -1);
  // title.bmp has its alpha image under another extension only.
  ASSERT_EQ(LoadImageAndAlphaImage("title.bmp", nullptr, 0, 0, nullptr, 0, 0, &img, &alpha, 0), 1);
  DisposeBaseImage(&img);
}

// An 8-bit picture with a two-colour table, too small to hold the 256
// entries a whole table has: it loads alike from memory and from a file.
// A table shorter than its own count of used colours is refused alike.
TEST_F(LoaderFiles, ShortColourTablesGiveOneAnswerFromMemoryAndFromFiles) {
  const Bytes two = {0, 0, 255, 0, 0, 255, 0, 0};  // red, green (blue, green, red, 0)
  const Bytes pixels = {0, 1, 0, 0, 1, 0, 0, 0};       // 2 x 2, rows padded to 4
  const Bytes small = MakeBmp(2, 2, 8, 0, two, pixels);
  Bytes cut = MakeBmp(1, 1, 8, 0, Bytes(16 * 4, 0x40), {});  // claims 16 colours
  cut.resize(14 + 40 + 3 * 4);
  WriteFile("small.bmp", Str(small));
  WriteFile("cut.bmp", Str(cut));
  BASEIMAGE from_memory, from_file;
  ASSERT_EQ(LoadFromMemory(small, &from_memory), 0);
  ASSERT_EQ(ImportBaseImage("small.bmp", nullptr, 0, 0, &from_file, 0), 0);
  for (BASEIMAGE* img : {&from_memory, &from_file}) {
    EXPECT_EQ(Peek(img, 0, 0) & 0xFFFFFF, 0x00FF00u);  // bottom-up: the second row first
    EXPECT_EQ(Peek(img, 1, 0) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(Peek(img, 0, 1) & 0xFFFFFF, 0xFF0000u);
  }
  DisposeBaseImage(&from_memory);
  DisposeBaseImage(&from_file);
  EXPECT_EQ(LoadFromMemory(cut, &from_memory), -1);
  EXPECT_EQ(ImportBaseImage("cut.bmp", nullptr, 0, 0, &from_file, 0), -1);
}

TEST_F(LoaderFiles, AlphaImageInAFolder) {
  ASSERT_EQ(mkdir(Path("bg").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(Path("a.b").c_str(), 0755), 0);
  WriteFile("bg/title.tga", Str(SmallTga()));
  WriteFile("bg/title_a.tga", Str(SmallTga()));
  WriteFile("a.b/img", Str(SmallTga()));
  WriteFile("a.b/img_a", Str(SmallTga()));
  BASEIMAGE img, alpha;
  ASSERT_EQ(LoadImageAndAlphaImage("bg\\title.tga", nullptr, 0, 0, nullptr, 0, 0, &img, &alpha, 1), 0);
  EXPECT_EQ(Peek(&alpha, 0, 0), 0x00060504u);  // mirrored like the main image
  DisposeBaseImage(&img);
  DisposeBaseImage(&alpha);
  // The last dot is in the folder name: the alpha image is looked for in
  // "a_a.b", which does not exist.
  ASSERT_EQ(LoadImageAndAlphaImage("a.b\\img", nullptr, 0, 0, nullptr, 0, 0, &img, &alpha, 0), 1);
  DisposeBaseImage(&img);
}

TEST_F(LoaderFiles, AlphaImageFromMemory) {
  Bytes main = SmallBmp(), alpha_bytes = SmallTga();
  BASEIMAGE img, alpha;
  ASSERT_EQ(LoadImageAndAlphaImage(nullptr, main.data(), (int)main.size(), 1, alpha_bytes.data(),
                                   (int)alpha_bytes.size(), 1, &img, &alpha, 0),
            0);
  DisposeBaseImage(&img);
  DisposeBaseImage(&alpha);
  const int before = TrackedBlockCount();
  // Alpha memory flag 1 without a block: no second load.
  ASSERT_EQ(LoadImageAndAlphaImage(nullptr, main.data(), (int)main.size(), 1, nullptr, 0, 1, &img, &alpha, 0), 1);
  DisposeBaseImage(&img);
  ASSERT_EQ(LoadImageAndAlphaImage(nullptr, main.data(), (int)main.size(), 1, nullptr, 0, 7, &img, &alpha, 0), 1);
  DisposeBaseImage(&img);
  EXPECT_EQ(TrackedBlockCount(), before);
}

TEST_F(LoaderFiles, LoadFileAsDibMakesABitmap) {
  WriteFile("shape.bmp", Str(SmallBmp()));
  HBITMAP bitmap = LoadImageFileAsDib("shape.bmp", 1, nullptr);
  ASSERT_NE(bitmap, nullptr);
  BITMAP bm{};
  ASSERT_EQ(GetObjectA(bitmap, sizeof(bm), &bm), (int)sizeof(bm));
  EXPECT_EQ(bm.bmWidth, 2);
  EXPECT_EQ(bm.bmBitsPixel, 24);
  const uint8_t* px = static_cast<const uint8_t*>(bm.bmBits);
  EXPECT_EQ(px[0], 4);  // mirrored by the copy
  EXPECT_EQ(px[3], 1);
  DeleteObject(bitmap);
  EXPECT_EQ(LoadImageFileAsDib("missing.bmp", 0, nullptr), nullptr);
}

// ---- DIB form and DIB graphs ----

BITMAPINFO* NewInfo() { return (BITMAPINFO*)TrackedCalloc(sizeof(BITMAPINFOHEADER) + 256 * 4 + 4); }

TEST(Dib, HandOverOrCopy) {
  PIXELFORMAT rgb{};
  InitRgb24PixelFormat(&rgb);
  BITMAPINFO* info = NewInfo();
  void* bits = nullptr;
  BASEIMAGE w3{}, w4{};
  MakeBaseImageOfFormat(3, 2, &rgb, &w3);
  w3.pitch = 9;  // as a JPEG decoder leaves it
  MakeBaseImageOfFormat(4, 2, &rgb, &w4);
  EXPECT_EQ(BaseImageToDib(&w3, info, &bits, 0, 0), 1);
  EXPECT_NE(bits, w3.pixels);
  TrackedFree(bits);
  EXPECT_EQ(BaseImageToDib(&w4, info, &bits, 0, 0), 0);
  EXPECT_EQ(bits, w4.pixels);
  EXPECT_EQ(BaseImageToDib(&w4, info, &bits, 1, 0), 1);
  TrackedFree(bits);

  BASEIMAGE argb{};
  MakeArgbBaseImage(1, 1, &argb);
  std::memcpy(argb.pixels, "\x01\x02\x03\x80", 4);
  EXPECT_EQ(BaseImageToDib(&argb, info, &bits, 0, 0), 1);
  EXPECT_EQ(info->bmiHeader.biBitCount, 24);
  EXPECT_EQ(std::memcmp(bits, "\x01\x02\x03", 3), 0);
  TrackedFree(bits);

  PIXELFORMAT grey{};
  InitGreyPixelFormat(&grey);
  BASEIMAGE g{};
  MakeBaseImageOfFormat(4, 1, &grey, &g);
  EXPECT_EQ(BaseImageToDib(&g, info, &bits, 0, 0), 0);
  EXPECT_EQ(info->bmiHeader.biBitCount, 8);
  EXPECT_EQ(DibColorTable(info)[9].rgbGreen, 9);
  EXPECT_EQ(BaseImageToDib(&g, info, &bits, 0, 1), 1);
  EXPECT_EQ(info->bmiHeader.biBitCount, 24);
  TrackedFree(bits);
  for (BASEIMAGE* i : {&w3, &w4, &argb, &g}) DisposeBaseImage(i);
  TrackedFree(info);
}

TEST(Dib, CreateDIBGraphWithWantedFormats) {
  BITMAPINFO* info = NewInfo();
  info->bmiHeader.biSize = 40;
  info->bmiHeader.biWidth = 2;
  info->bmiHeader.biHeight = -1;
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = 24;
  const uint8_t bits[8] = {0xFF, 0, 0, 0, 0, 0xFF, 0, 0};  // blue, red
  // 16-bit wish: bit fields with the wanted masks.
  PIXELFORMAT want565{};
  InitPixelFormatFromMasks(&want565, 16, 0xF800, 0x07E0, 0x001F, 0);
  HBITMAP b16 = CreateDIBGraph(info, bits, 0, &want565);
  ASSERT_NE(b16, nullptr);
  BITMAP bm{};
  GetObjectA(b16, sizeof(bm), &bm);
  EXPECT_EQ(bm.bmBitsPixel, 16);
  const uint16_t* p16 = static_cast<const uint16_t*>(bm.bmBits);
  EXPECT_EQ(p16[0], 0x001Fu);
  EXPECT_EQ(p16[1], 0xF800u);
  DeleteObject(b16);
  // 32-bit wish for a 24-bit picture: 24 bits, and the wish is rewritten.
  PIXELFORMAT want32{};
  InitXrgbPixelFormat(&want32);
  HBITMAP b24 = CreateDIBGraph(info, bits, 1, &want32);
  ASSERT_NE(b24, nullptr);
  EXPECT_EQ(want32.bits_per_pixel, 24);
  GetObjectA(b24, sizeof(bm), &bm);
  EXPECT_EQ(bm.bmBitsPixel, 24);
  EXPECT_EQ(static_cast<const uint8_t*>(bm.bmBits)[2], 0xFF);  // mirrored: red first
  DeleteObject(b24);
  info->bmiHeader.biWidth = 0;
  EXPECT_EQ(CreateDIBGraph(info, bits, 0, nullptr), nullptr);
  TrackedFree(info);
}

TEST(Dib, EightBitPictureKeepsItsColours) {
  BITMAPINFO* info = NewInfo();
  info->bmiHeader.biSize = 40;
  info->bmiHeader.biWidth = 3;
  info->bmiHeader.biHeight = 1;  // bottom-up source
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = 8;
  DibColorTable(info)[5] = RGBQUAD{1, 2, 3, 0};
  DibColorTable(info)[6] = RGBQUAD{0x40, 0x80, 0xF8, 0};
  const uint8_t bits[4] = {5, 6, 6, 0};
  HBITMAP bitmap = CreateDIBGraph(info, bits, 1, nullptr);
  ASSERT_NE(bitmap, nullptr);
  BITMAP bm{};
  GetObjectA(bitmap, sizeof(bm), &bm);
  EXPECT_EQ(bm.bmBitsPixel, 8);
  const uint8_t* px = static_cast<const uint8_t*>(bm.bmBits);
  EXPECT_EQ(px[0], 6);  // mirrored
  EXPECT_EQ(px[2], 5);
  EXPECT_EQ(DibColorTable(info)[6].rgbRed, 0xF8);
  DeleteObject(bitmap);
  // The same picture into a 16-bit wish goes through GDI's conversion.
  PIXELFORMAT want{};
  InitPixelFormatFromMasks(&want, 16, 0x7C00, 0x03E0, 0x001F, 0);
  bitmap = CreateDIBGraph(info, bits, 0, &want);
  ASSERT_NE(bitmap, nullptr);
  GetObjectA(bitmap, sizeof(bm), &bm);
  EXPECT_EQ(bm.bmBitsPixel, 16);
  EXPECT_EQ(static_cast<const uint16_t*>(bm.bmBits)[1], 0x7E08);
  DeleteObject(bitmap);
  TrackedFree(info);
}

// ---- mirroring and pixel reads ----

TEST(Mirror, SwapsColumnsKeepingTheMiddle) {
  PIXELFORMAT rgb{};
  InitRgb24PixelFormat(&rgb);
  BASEIMAGE img{};
  MakeBaseImageOfFormat(5, 1, &rgb, &img);
  for (int x = 0; x < 5; ++x) PutBaseImagePixel(&img, x, 0, x, 0, 0, 0);
  ASSERT_EQ(MirrorBaseImage(&img), 0);
  for (int x = 0; x < 5; ++x) EXPECT_EQ(Peek(&img, x, 0) >> 16, (uint32_t)(4 - x));
  DisposeBaseImage(&img);
  BASEIMAGE one{};
  MakeArgbBaseImage(1, 2, &one);
  std::memset(one.pixels, 7, 8);
  EXPECT_EQ(MirrorBaseImage(&one), 0);
  EXPECT_EQ(one.pixels[0], 7);
  DisposeBaseImage(&one);
  BASEIMAGE empty{};
  EXPECT_EQ(MirrorBaseImage(&empty), -1);
}

TEST(ReadPixel, ShiftsChannelsWithoutFillingLowBits) {
  PIXELFORMAT x555{};
  InitPixelFormatFromMasks(&x555, 16, 0x7C00, 0x03E0, 0x001F, 0);
  BASEIMAGE img{};
  MakeBaseImageOfFormat(1, 1, &x555, &img);
  img.pixels[0] = img.pixels[1] = 0xFF;
  EXPECT_EQ(ReadBaseImagePixelArgb(&img, 0, 0), 0x00F8F8F8u);
  DisposeBaseImage(&img);
  // The last pixel of an unpadded 3-byte image is read without going past it.
  PIXELFORMAT rgb{};
  InitRgb24PixelFormat(&rgb);
  BASEIMAGE tight{};
  tight.format = rgb;
  tight.width = 3;
  tight.height = 1;
  tight.pitch = 9;
  tight.pixels = (uint8_t*)TrackedAlloc(9);
  std::memcpy(tight.pixels, "\1\2\3\4\5\6\7\x08\x09", 9);
  EXPECT_EQ(ReadBaseImagePixelArgb(&tight, 2, 0), 0x00090807u);
  DisposeBaseImage(&tight);
  PIXELFORMAT pal{};
  InitPalettedPixelFormat(&pal);
  pal.palette[3] = PaletteEntry{1, 2, 3, 99};
  BASEIMAGE p{};
  MakeBaseImageOfFormat(1, 1, &pal, &p);
  p.pixels[0] = 3;
  EXPECT_EQ(ReadBaseImagePixelArgb(&p, 0, 0), 0x00030201u);
  DisposeBaseImage(&p);
  BASEIMAGE none{};
  EXPECT_EQ(ReadBaseImagePixelArgb(&none, 0, 0), 0u);
}

// ---- soft images ----

struct AbortSeen {};
void ThrowOnExit(int) { throw AbortSeen{}; }

class SoftImages : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    SetLogAbortHooks(nullptr, ThrowOnExit);
    DeleteAllSoftImages();
  }
  void TearDown() override {
    DeleteAllSoftImages();
    SetLogAbortHooks(nullptr, nullptr);
    TempDirTest::TearDown();
  }
};

TEST_F(SoftImages, HandlesAndStaleChecks) {
  int a = NewSoftImageHandle();
  EXPECT_EQ((uint32_t)a & 0x78000000u, 0x70000000u);
  SoftImage* rec = GetSoftImageRecord(a);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->image.pixels, nullptr);
  ASSERT_EQ(MakeArgbBaseImage(4, 4, &rec->image), 0);
  EXPECT_EQ(FreeSoftImageHandle(a), 0);  // frees the pixels too
  EXPECT_EQ(FreeSoftImageHandle(a), -1);
  int b = NewSoftImageHandle();
  EXPECT_EQ(b & 0xFFFF, a & 0xFFFF);  // the slot is reused ...
  EXPECT_EQ(GetSoftImageRecord(a), nullptr);  // ... with a new check number
  EXPECT_EQ(FreeSoftImageHandle(-5), -1);
  EXPECT_EQ(FreeSoftImageHandle(0x20000000), -1);
}

TEST_F(SoftImages, FullTableIsFatalAndReusesTheLowestSlot) {
  std::vector<int> handles;
  for (int i = 0; i < MAX_SOFT_IMAGES; ++i) handles.push_back(NewSoftImageHandle());
  EXPECT_THROW(NewSoftImageHandle(), AbortSeen);
  FreeSoftImageHandle(handles[5]);
  FreeSoftImageHandle(handles[2]);
  int again = NewSoftImageHandle();
  EXPECT_EQ(again & 0xFFFF, 2);
  DeleteAllSoftImages();
  EXPECT_EQ(GetSoftImageRecord(again), nullptr);
}

}  // namespace
