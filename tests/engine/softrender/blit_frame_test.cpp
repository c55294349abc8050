// Where the blits draw: clipping to the draw area, the stretched blit's
// column map and mirroring, the rotated blit's placement and its triangle
// route, and the inputs that must draw nothing rather than overrun memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "engine/softrender/blit.h"
#include "soft_test_util.h"

namespace {

// A 32-bit source whose pixel (x, y) is 0x00yyxx01 (never 0).
void FillNumbered(TestImage& img) {
  for (int y = 0; y < img.view.height; y++)
    for (int x = 0; x < img.view.width; x++) img.set(x, y, (uint32_t)(y << 16 | x << 8 | 1));
}
void Clear(TestImage& img) {
  for (int y = 0; y < img.view.height; y++)
    for (int x = 0; x < img.view.width; x++) img.set(x, y, 0);
}
int SrcX(uint32_t v) { return (v >> 8) & 0xFF; }
int SrcY(uint32_t v) { return (v >> 16) & 0xFF; }

class BlitFrames : public testing::Test {
 protected:
  void SetUp() override { SetDrawState(0, 255, SOFT_BRIGHT_WHITE, 64, 64); }
};

TEST_F(BlitFrames, BlitClipsToTheDrawAreaAndShiftsSourceAndBlendImage) {
  TestImage src(6, 4, 1), dst(16, 16, 1), graph(6, 4, 2);
  FillNumbered(src);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 6; x++) graph.set(x, y, x == 2 ? 200 : 0);
  BuildBlendGraphRamp(0, 0);
  for (int v = 0; v < 256; v++) BlendGraphRamp[v] = v == 200 ? 255 : 0;
  Clear(dst);
  g_soft_draw.draw_area[0] = 3;  // cuts two source columns on the left
  BlitToMEMIMG(&dst.view, &src.view, 1, 5, 0, nullptr);
  EXPECT_EQ(0u, dst.get(2, 5));
  EXPECT_EQ(2, SrcX(dst.get(3, 5)));
  EXPECT_EQ(3, SrcY(dst.get(6, 8)));
  // With the blend image only source column 2 (the first drawn) is weighted in.
  Clear(dst);
  g_soft_draw.blend_mode = SOFT_BLEND_ADD;
  BlitToMEMIMG(&dst.view, &src.view, 1, 5, 0, &graph.view);
  EXPECT_NE(0u, dst.get(3, 5) & 0xFFFFFF);
  EXPECT_EQ(0u, dst.get(4, 5) & 0xFFFFFF);
}

TEST_F(BlitFrames, NothingIsDrawnForRefusedInput) {
  TestImage src(4, 4, 1), dst(8, 8, 1), dst16(8, 8, 0), small_graph(3, 4, 2), pal_dst(8, 8, 1, 1);
  FillNumbered(src);
  const int32_t rect[4] = {0, 0, 8, 8};
  struct Case {
    const char* what;
    std::function<void()> draw;
  } cases[] = {
      {"wholly outside", [&] { BlitToMEMIMG(&dst.view, &src.view, 8, 0, 0, nullptr); }},
      {"mode 7", [&] { g_soft_draw.blend_mode = 7; BlitToMEMIMG(&dst.view, &src.view, 0, 0, 0, nullptr); }},
      {"alpha at 0", [&] { g_soft_draw.blend_mode = 1; g_soft_draw.blend_param = 0; BlitToMEMIMG(&dst.view, &src.view, 0, 0, 0, nullptr); }},
      {"32-bit onto 16-bit", [&] { BlitToMEMIMG(&dst16.view, &src.view, 0, 0, 0, nullptr); }},
      {"blend image smaller than the source", [&] { BlitToMEMIMG(&dst.view, &src.view, 0, 0, 0, &small_graph.view); }},
      {"stretch onto another format", [&] { StretchBlitToMEMIMG(&dst16.view, &src.view, rect, 0, nullptr); }},
      {"stretch onto a palette", [&] { StretchBlitToMEMIMG(&pal_dst.view, &src.view, rect, 0, nullptr); }},
      {"stretch with a small blend image", [&] { StretchBlitToMEMIMG(&dst.view, &src.view, rect, 0, &small_graph.view); }},
      {"stretch of zero width", [&] { int32_t r[4] = {3, 0, 3, 8}; StretchBlitToMEMIMG(&dst.view, &src.view, r, 0, nullptr); }},
      {"rotate onto another format", [&] { RotateBlitToMEMIMG(&dst16.view, &src.view, 4, 4, 0.5f, 1.0f, 0, 0, nullptr); }},
      {"rotate mirrored onto another format", [&] { RotateBlitToMEMIMG(&dst16.view, &src.view, 4, 4, 0.5f, 1.0f, 0, 1, nullptr); }},
      {"rotate at scale 0", [&] { RotateBlitToMEMIMG(&dst.view, &src.view, 4, 4, 0.5f, 0.0f, 0, 0, nullptr); }},
      {"rotate with a small blend image", [&] { RotateBlitToMEMIMG(&dst.view, &src.view, 4, 4, 0.0f, 1.0f, 0, 0, &small_graph.view); }},
  };
  for (auto& c : cases) {
    SetUp();
    Clear(dst);
    Clear(dst16);
    Clear(pal_dst);
    c.draw();
    for (uint32_t v : dst.pixels()) ASSERT_EQ(0u, v) << c.what;
    for (uint32_t v : dst16.pixels()) ASSERT_EQ(0u, v) << c.what;
    for (uint32_t v : pal_dst.pixels()) ASSERT_EQ(0u, v) << c.what;
  }
}

TEST_F(BlitFrames, RunPathOnlyForAWholeStoreView) {
  // A store whose run table is built; a view of its right half must not be
  // drawn through the table of the whole lines.
  TestImage whole(8, 2, 1, 0, 0, 0, 1), dst(8, 2, 1);
  BASEIMAGE image{};
  image.format = *whole.store()->format;
  image.width = 8;
  image.height = 2;
  image.pitch = 32;
  std::vector<uint32_t> px(16);
  for (int i = 0; i < 16; i++) px[i] = i % 8 < 4 ? 0 : 0x00FF0000u + i;  // key 0 on the left half
  image.pixels = (uint8_t*)px.data();
  ASSERT_EQ(0, WriteBaseImageToMEMIMG(&image, nullptr, &whole.view, 0, 0, 8, 2, 0, 0, 0));
  ASSERT_EQ(1, whole.store()->run_table_valid);
  MEMIMG right{};
  CreateMEMIMGView(&right, &whole.view, 4, 0, 4, 2);
  Clear(dst);
  BlitToMEMIMG(&dst.view, &right, 0, 0, 1, nullptr);
  for (int y = 0; y < 2; y++)
    for (int x = 0; x < 8; x++) EXPECT_EQ(x < 4 ? whole.get(x + 4, y) : 0u, dst.get(x, y)) << x << "," << y;
  ReleaseMEMIMG(&right);
  // The whole store goes through its table and gives the same pixels as the pixel path.
  Clear(dst);
  BlitToMEMIMG(&dst.view, &whole.view, 0, 0, 1, nullptr);
  std::vector<uint32_t> by_runs = dst.pixels();
  Clear(dst);
  BlitToMEMIMG(&dst.view, &whole.view, 0, 0, 2, nullptr);  // any other non-zero value tests each pixel
  EXPECT_EQ(by_runs, dst.pixels());
}

TEST_F(BlitFrames, PaletteIndicesBeyondTheLoadedEntriesReadTheStorePalette) {
  TestImage src(2, 1, 1, 1), dst(2, 1, 1);
  StorePixel32(src.store()->palette + 4 * 200, 0x00ABCDEF);
  src.store()->palette_count = 2;  // as if the image brought two entries
  src.set(0, 0, 200);
  src.set(1, 0, 1);
  BlitToMEMIMG(&dst.view, &src.view, 0, 0, 0, nullptr);
  EXPECT_EQ(0x00ABCDEFu, dst.get(0, 0));
  EXPECT_EQ(0u, dst.get(1, 0));  // a never-written entry is black
}

TEST_F(BlitFrames, StretchColumnMapMirroringAndClipping) {
  TestImage src(8, 6, 1), full(40, 30, 1), cut(40, 30, 1);
  FillNumbered(src);
  struct Case {
    int32_t rect[4];
  } cases[] = {{{0, 0, 4, 3}}, {{0, 0, 24, 18}}, {{20, 0, 3, 7}}, {{2, 25, 19, 4}}, {{0, 0, 8, 6}},
               {{8, 0, 0, 6}}, {{1, 1, 38, 29}}};
  for (auto& c : cases) {
    const int32_t* r = c.rect;
    SetUp();
    Clear(full);
    StretchBlitToMEMIMG(&full.view, &src.view, r, 0, nullptr);
    int left = std::min(r[0], r[2]), right = std::max(r[0], r[2]);
    int top = std::min(r[1], r[3]), bottom = std::max(r[1], r[3]);
    int64_t cstep = (int64_t)(right - left) * 65536 / 8, rstep = (int64_t)(bottom - top) * 65536 / 6;
    for (int y = 0; y < 30; y++)
      for (int x = 0; x < 40; x++) {
        uint32_t v = full.get(x, y);
        if (x < left || x >= right || y < top || y >= bottom) {
          ASSERT_EQ(0u, v) << x << "," << y;
          continue;
        }
        int sx = (int)((x - left) * 65536 / cstep), sy = (int)((y - top) * 65536 / rstep);
        if (r[2] < r[0]) sx = 7 - sx;
        if (r[3] < r[1]) sy = 5 - sy;
        ASSERT_EQ(sx, SrcX(v)) << x << "," << y;
        ASSERT_EQ(sy, SrcY(v)) << x << "," << y;
      }
    // A draw area that cuts the rectangle on the left and top shows the same pixels.
    Clear(cut);
    g_soft_draw.draw_area[0] = left + 3;
    g_soft_draw.draw_area[1] = top + 2;
    StretchBlitToMEMIMG(&cut.view, &src.view, r, 0, nullptr);
    for (int y = 0; y < 30; y++)
      for (int x = 0; x < 40; x++)
        ASSERT_EQ(x >= left + 3 && y >= top + 2 ? full.get(x, y) : 0u, cut.get(x, y)) << x << "," << y;
  }
}

TEST_F(BlitFrames, StretchMirroredBlendImageKeepsItsSourcePixels) {
  TestImage src(4, 1, 1), dst(4, 1, 1), graph(4, 1, 2);
  for (int x = 0; x < 4; x++) {
    src.set(x, 0, 0x000000FF);
    graph.set(x, 0, (uint8_t)x);
  }
  for (int v = 0; v < 256; v++) BlendGraphRamp[v] = (uint8_t)(v * 64);
  Clear(dst);
  const int32_t rect[4] = {4, 0, 0, 1};
  StretchBlitToMEMIMG(&dst.view, &src.view, rect, 0, &graph.view);
  for (int x = 0; x < 4; x++) EXPECT_EQ((uint32_t)(255 * (64 * (3 - x)) / 256), dst.get(x, 0)) << x;
}

TEST_F(BlitFrames, StretchKeepsLargeImagesInRange) {
  // 16.16 steps and clip offsets of tens of thousands of pixels.
  TestImage src(2, 1, 1), dst(16, 1, 1);
  src.set(0, 0, 0x111111);
  src.set(1, 0, 0x222222);
  Clear(dst);
  const int32_t rect[4] = {-50000, 0, 50000, 1};  // the left half of the source ends at x = 0
  g_soft_draw.draw_area[2] = 16;
  StretchBlitToMEMIMG(&dst.view, &src.view, rect, 0, nullptr);
  for (int x = 0; x < 16; x++) EXPECT_EQ(0x222222u, dst.get(x, 0)) << x;
  // A source more than 65536 times as wide as the rectangle has no step: nothing is drawn.
  MEMIMG wide{};
  ASSERT_EQ(0, SetupMEMIMG(&wide, 70000, 1, -1, 0, 1, 0, 0, 0, nullptr));
  Clear(dst);
  const int32_t one[4] = {1, 0, 0, 1};
  StretchBlitToMEMIMG(&dst.view, &wide, one, 0, nullptr);
  EXPECT_EQ(0u, dst.get(0, 0));
  ReleaseMEMIMG(&wide);
}

TEST_F(BlitFrames, RotatePlacement) {
  TestImage even(4, 2, 1), odd(3, 3, 1), dst(16, 16, 1);
  FillNumbered(even);
  FillNumbered(odd);
  Clear(dst);
  RotateBlitToMEMIMG(&dst.view, &even.view, 8, 8, 0.0f, 1.0f, 0, 0, nullptr);
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      bool in = x >= 6 && x < 10 && y >= 7 && y < 9;
      uint32_t v = dst.get(x, y);
      ASSERT_EQ(in, v != 0) << x << "," << y;
      if (in) {
        ASSERT_EQ((uint32_t)((y - 7) << 16 | (x - 6) << 8 | 1), v);
      }
    }
  Clear(dst);
  RotateBlitToMEMIMG(&dst.view, &odd.view, 8, 8, 0.0f, 1.0f, 0, 0, nullptr);
  EXPECT_EQ(1, SrcX(dst.get(8, 8)));  // column (W - 1) / 2 lands on the centre
  EXPECT_EQ(1, SrcY(dst.get(8, 8)));
  // A quarter turn: the source's top-left corner goes to the top-right.
  Clear(dst);
  RotateBlitToMEMIMG(&dst.view, &even.view, 8, 8, 1.5707964f, 1.0f, 0, 0, nullptr);
  int min_x = 99, max_x = -1, min_y = 99;
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++)
      if (dst.get(x, y)) min_x = std::min(min_x, x), max_x = std::max(max_x, x), min_y = std::min(min_y, y);
  EXPECT_EQ(1, max_x - min_x);  // 2 columns wide, 4 rows high
  uint32_t corner = dst.get(max_x, min_y);
  EXPECT_EQ(0, SrcX(corner));
  EXPECT_EQ(0, SrcY(corner));
  // Scale 2: every source pixel as a 2 x 2 block.
  Clear(dst);
  RotateBlitToMEMIMG(&dst.view, &even.view, 8, 8, 0.0f, 2.0f, 0, 0, nullptr);
  for (int y = 6; y < 10; y++)
    for (int x = 4; x < 12; x++) {
      uint32_t v = dst.get(x, y);
      ASSERT_EQ((x - 4) / 2, SrcX(v)) << x << "," << y;
      ASSERT_EQ((y - 6) / 2, SrcY(v)) << x << "," << y;
    }
  EXPECT_EQ(0u, dst.get(3, 7));
  EXPECT_EQ(0u, dst.get(12, 7));
}

TEST_F(BlitFrames, RotateDrawsSourcesTallerThanAnyFixedRowTable) {
  TestImage src(1, 5000, 0), dst(3, 40, 0);
  for (int y = 0; y < 5000; y++) src.set(0, y, (uint32_t)(y & 0xFFFF) | 1);
  Clear(dst);
  RotateBlitToMEMIMG(&dst.view, &src.view, 1, 20 - 4500 + 2500, 0.0f, 1.0f, 0, 0, nullptr);
  // Target row y shows source row y - (cy - 2500).
  for (int y = 0; y < 40; y++) EXPECT_EQ((uint32_t)((y + 4480) & 0xFFFF) | 1, dst.get(1, y)) << y;
}

TEST_F(BlitFrames, MirroredRotationGoesThroughTriangles) {
  TestImage src(4, 2, 1), plain(16, 16, 1), mirrored(16, 16, 1);
  FillNumbered(src);
  Clear(plain);
  Clear(mirrored);
  RotateBlitToMEMIMG(&plain.view, &src.view, 8, 8, 0.0f, 1.0f, 0, 0, nullptr);
  RotateBlitToMEMIMG(&mirrored.view, &src.view, 8, 8, 0.0f, 1.0f, 0, 1, nullptr);
  // Each drawn row of the mirrored image holds the source row right to left.
  int rows = 0;
  for (int y = 0; y < 16; y++) {
    std::vector<int> cols;
    for (int x = 0; x < 16; x++)
      if (mirrored.get(x, y)) cols.push_back(SrcX(mirrored.get(x, y)));
    if (cols.empty()) continue;
    rows++;
    for (size_t i = 1; i < cols.size(); i++) EXPECT_LE(cols[i], cols[i - 1]) << "row " << y;
    EXPECT_EQ(3, cols.front());
    EXPECT_EQ(0, cols.back());
  }
  EXPECT_GE(rows, 2);
}

TEST_F(BlitFrames, TrianglesPlaceTheUnturnedImage) {
  TestImage src(4, 3, 1), dst(12, 12, 1);
  FillNumbered(src);
  Clear(dst);
  const int32_t points[8] = {2, 3, 6, 3, 2, 6, 6, 6};
  RotateBlitByTriangles(&dst.view, &src.view, points, 0, nullptr);
  for (int y = 3; y < 6; y++)
    for (int x = 2; x < 6; x++) {
      uint32_t v = dst.get(x, y);
      EXPECT_EQ(x - 2, SrcX(v)) << x << "," << y;
      EXPECT_EQ(y - 3, SrcY(v)) << x << "," << y;
    }
  EXPECT_EQ(0u, dst.get(1, 4));
  EXPECT_EQ(0u, dst.get(4, 2));
  // Far from the draw area the rasterizer is not reached at all.
  Clear(dst);
  g_soft_draw.draw_area[0] = 20;
  g_soft_draw.draw_area[2] = 30;
  RotateBlitByTriangles(&dst.view, &src.view, points, 0, nullptr);
  for (uint32_t v : dst.pixels()) EXPECT_EQ(0u, v);
}

TEST_F(BlitFrames, StretchedPlainCopyComparesTheKeysLow16Bits) {
  TestImage src(2, 1, 0), dst(4, 2, 0);
  src.set(0, 0, 0x1234);
  src.set(1, 0, 0x5678);
  src.store()->transparent_color = 0x10000 | 0x1234;
  const int32_t rect[4] = {2, 0, 0, 1};  // mirrored: the stretching path
  Clear(dst);
  StretchBlitToMEMIMG(&dst.view, &src.view, rect, 1, nullptr);
  EXPECT_EQ(0x5678u, dst.get(0, 0));
  EXPECT_EQ(0u, dst.get(1, 0));  // skipped
  Clear(dst);
  g_soft_draw.draw_bright = 0xFFFFFE;  // tinted: the whole key, which never matches
  StretchBlitToMEMIMG(&dst.view, &src.view, rect, 1, nullptr);
  EXPECT_NE(0u, dst.get(1, 0));
  Clear(dst);
  g_soft_draw.draw_bright = SOFT_BRIGHT_WHITE;
  RotateBlitToMEMIMG(&dst.view, &src.view, 1, 0, 0.0f, 1.0f, 1, 0, nullptr);
  EXPECT_EQ(0x1234u, dst.get(0, 0));
  EXPECT_EQ(0x5678u, dst.get(1, 0));
}

TEST_F(BlitFrames, FarAwayRotationsDrawNothingAndStayInRange) {
  TestImage src(300, 200, 1), dst(32, 32, 1);
  FillNumbered(src);
  Clear(dst);
  RotateBlitToMEMIMG(&dst.view, &src.view, 100000, -90000, 0.7f, 3.0f, 0, 0, nullptr);
  RotateBlitToMEMIMG(&dst.view, &src.view, 0, 0, 0.7f, 1e-12f, 0, 0, nullptr);
  for (uint32_t v : dst.pixels()) EXPECT_EQ(0u, v);
  // A centre far outside with an image large enough to reach the target.
  RotateBlitToMEMIMG(&dst.view, &src.view, 16 + 8000, 16, 0.0f, 60.0f, 0, 0, nullptr);
  int drawn = 0;
  for (uint32_t v : dst.pixels()) drawn += v != 0;
  EXPECT_EQ(32 * 32, drawn);
  // 8000 target pixels left of the centre at scale 60: source column 150 - 8000 / 60.
  EXPECT_EQ(150 - 8000 / 60 - 1, SrcX(dst.get(16, 16)));
}

}  // namespace

namespace {

// An image whose rows lie `gap` bytes apart beyond their pixels, filled
// with seeded random bytes.
struct PitchedImage {
  MEMIMG view{};
  PitchedImage(int w, int h, int fmt, int alpha, int gap, std::mt19937& rng) {
    const int bpp = fmt == 2 ? 1 : fmt == 1 || alpha ? 4 : 2;
    EXPECT_EQ(0, SetupMEMIMG(&view, w, h, w * bpp + gap, 0x1234, fmt, 0, alpha, 0, nullptr));
    for (int y = 0; y < h; y++)
      for (int i = 0; i < w * bpp; i++) view.pixels[(size_t)y * view.store->pitch + i] = (uint8_t)rng();
  }
  ~PitchedImage() { ReleaseMEMIMG(&view); }
  uint8_t* row(int y) const { return view.pixels + (size_t)y * view.store->pitch; }
};

// A blit between images whose rows follow each other without a gap is drawn
// as one long row; it must give what the same blit gives row by row between
// images with gaps, in every mode, format and option (odd widths too, where
// the 16-bit add and subtract must not pair a row's last pixel with the next
// row's first).
TEST(BlitGaplessRows, DrawTheSameBytesAsRowsWithGaps) {
  BuildSoftBlendTables();
  BuildBlendGraphRamp(0, 0);
  const int modes[] = {SOFT_BLEND_COPY, SOFT_BLEND_ALPHA, SOFT_BLEND_ADD, SOFT_BLEND_SUBTRACT, SOFT_BLEND_MULTIPLY,
                       SOFT_BLEND_INVERTED_ALPHA, SOFT_BLEND_MULTIPLIED_ALPHA};
  std::mt19937 rng(20261210);
  for (int fmt : {0, 1})
    for (int alpha : {0, 1})
      for (int width : {7, 16, 37})
        for (int mode : modes)
          for (int p : {255, 128, 77})
            for (uint32_t bright : {SOFT_BRIGHT_WHITE, 0x00C08040u})
              for (int transparency : {0, 1})
                for (bool graph : {false, true}) {
                  const int h = 5;
                  const uint32_t seed = (uint32_t)rng();
                  std::mt19937 a(seed), b(seed);
                  PitchedImage src0(width, h, fmt, alpha, 0, a), dst0(width, h, fmt, 0, 0, a), g0(width, h, 2, 0, 0, a);
                  PitchedImage src1(width, h, fmt, alpha, 12, b), dst1(width, h, fmt, 0, 20, b), g1(width, h, 2, 0, 8, b);
                  SetDrawState(mode, p, bright, width, h);
                  BlitToMEMIMG(&dst0.view, &src0.view, 0, 0, transparency, graph ? &g0.view : nullptr);
                  BlitToMEMIMG(&dst1.view, &src1.view, 0, 0, transparency, graph ? &g1.view : nullptr);
                  const int row_bytes = width * (fmt == 1 ? 4 : 2);
                  for (int y = 0; y < h; y++)
                    ASSERT_EQ(0, std::memcmp(dst0.row(y), dst1.row(y), (size_t)row_bytes))
                        << "format " << fmt << " alpha " << alpha << " width " << width << " mode " << mode << " p "
                        << p << " bright " << bright << " transparency " << transparency << " graph " << graph
                        << " row " << y;
                }
}

}  // namespace
