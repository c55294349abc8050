// Triangle rasterizer: which pixels a triangle covers, what it refuses, how
// the texture is laid on, and the worked pixel values of each blend mode.
#include "engine/softrender/triangle.h"

#include <array>
#include <random>
#include <string>

#include "tests/engine/softrender/primitive_test_image.h"

namespace {

using namespace shapetest;

class TriangleTest : public ShapeDrawTest {
 protected:
  // '#' where the 32-bit image differs from `background`, '.' elsewhere.
  static std::string Coverage(ShapeImage& img, uint32_t background) {
    std::string s;
    for (int y = 0; y < img.view.height; y++) {
      for (int x = 0; x < img.view.width; x++) s += img.get(x, y) == background ? '.' : '#';
      s += '\n';
    }
    return s;
  }
  static void Flat(ShapeImage& img, TriangleVertex a, TriangleVertex b, TriangleVertex c, uint32_t colour) {
    TriangleVertex v[3] = {a, b, c};
    RasterTriangleToMEMIMG(img.img(), nullptr, v, 0, nullptr, (int32_t)colour);
  }
};

TEST_F(TriangleTest, CoversTopRowNotBottomRowAndBothSpanEnds) {
  struct Case {
    const char* name;
    TriangleVertex v[3];
    const char* expect;
  } cases[] = {
      {"flat top", {{0, 0, 0, 0}, {4, 0, 0, 0}, {0, 4, 0, 0}},
       "#####...\n####....\n###.....\n##......\n........\n"},
      {"flat bottom", {{2, 0, 0, 0}, {0, 4, 0, 0}, {4, 4, 0, 0}},
       "..#.....\n..##....\n.###....\n.####...\n........\n"},
      {"middle vertex right", {{0, 0, 0, 0}, {6, 2, 0, 0}, {2, 4, 0, 0}},
       "#.......\n.###....\n.######.\n..###...\n........\n"},
      {"middle vertex left", {{4, 0, 0, 0}, {0, 2, 0, 0}, {3, 4, 0, 0}},
       "....#...\n..###...\n#####...\n..##....\n........\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ShapeImage img(8, 5, MEMIMG_X8R8G8B8);
    SetArea(0, 0, 8, 5);
    Flat(img, c.v[0], c.v[1], c.v[2], 0x00FFFFFF);
    EXPECT_EQ(Coverage(img, 0), c.expect);
  }
}

TEST_F(TriangleTest, LowerRightEdgeStartsOneUnitRightOfTheMiddleVertex) {
  // The lower right edge runs from just right of (5.5, 2.5) to (6.5, 6.5):
  // two rows down it stands one unit short of column 6.
  ShapeImage img(8, 7, MEMIMG_X8R8G8B8);
  SetArea(0, 0, 8, 7);
  Flat(img, {0, 0, 0, 0}, {5, 2, 0, 0}, {6, 6, 0, 0}, 0x00FFFFFF);
  EXPECT_EQ(Coverage(img, 0), "#.......\n.###....\n..####..\n...###..\n....##..\n.....##.\n........\n");
}

TEST_F(TriangleTest, TriangleCrossingRowZeroDrawsEachRowOnce) {
  // Top at y = -3, middle at y = 2 on the left, bottom at y = 5: rows 0 to 4
  // are visible, every pixel is added to once.
  ShapeImage img(12, 8, MEMIMG_X8R8G8B8);
  SetArea(0, 0, 12, 8);
  SetBlend(SOFT_BLEND_ADD, 255);
  Flat(img, {6, -3, 0, 0}, {0, 2, 0, 0}, {9, 5, 0, 0}, 1);
  for (int y = 0; y < 8; y++) {
    int drawn = 0;
    for (int x = 0; x < 12; x++) {
      EXPECT_LE(img.get(x, y), 1u) << x << ", " << y;
      drawn += img.get(x, y) != 0;
    }
    if (y < 5)
      EXPECT_GT(drawn, 0) << "row " << y;
    else
      EXPECT_EQ(drawn, 0) << "row " << y;
  }
  // The same triangle moved down by 3 draws the same shape 3 rows lower.
  ShapeImage moved(12, 11, MEMIMG_X8R8G8B8);
  SetArea(0, 0, 12, 11);
  Flat(moved, {6, 0, 0, 0}, {0, 5, 0, 0}, {9, 8, 0, 0}, 1);
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 12; x++) EXPECT_EQ(img.get(x, y), moved.get(x, y + 3)) << x << ", " << y;
}

TEST_F(TriangleTest, DrawsNothingWhenRefusedOrDegenerate) {
  struct Case {
    const char* name;
    TriangleVertex v[3];
    int mode, param;
    int tex_format;  // -1: flat
    bool tex_paletted, dst_paletted, dst_alpha;
    int dst_format;
  } cases[] = {
      {"collinear", {{0, 0, 0, 0}, {2, 2, 0, 0}, {5, 5, 0, 0}}, 0, 255, -1, false, false, false, 1},
      {"one row", {{0, 3, 0, 0}, {2, 3, 0, 0}, {7, 3, 0, 0}}, 0, 255, -1, false, false, false, 1},
      {"mode 7", {{0, 0, 0, 0}, {7, 0, 0, 0}, {0, 7, 0, 0}}, 7, 255, -1, false, false, false, 1},
      {"mode -1", {{0, 0, 0, 0}, {7, 0, 0, 0}, {0, 7, 0, 0}}, -1, 255, -1, false, false, false, 1},
      {"alpha p 0", {{0, 0, 0, 0}, {7, 0, 0, 0}, {0, 7, 0, 0}}, 1, 0, -1, false, false, false, 1},
      {"add p 0", {{0, 0, 0, 0}, {7, 0, 0, 0}, {0, 7, 0, 0}}, 2, 0, 1, false, false, false, 1},
      {"flat p above 255", {{0, 0, 0, 0}, {7, 0, 0, 0}, {0, 7, 0, 0}}, 4, 256, -1, false, false, false, 1},
      {"textured p below 0", {{0, 0, 0, 0}, {7, 0, 4, 0}, {0, 7, 0, 4}}, 4, -1, 1, false, false, false, 1},
      {"subtract p 0 direct", {{0, 0, 0, 0}, {7, 0, 4, 0}, {0, 7, 0, 4}}, 3, 0, 1, false, false, false, 1},
      {"texture format 2", {{0, 0, 0, 0}, {7, 0, 4, 0}, {0, 7, 0, 4}}, 0, 255, 2, false, false, false, 2},
      {"format mismatch", {{0, 0, 0, 0}, {7, 0, 4, 0}, {0, 7, 0, 4}}, 0, 255, 0, false, false, false, 1},
      {"palettised destination", {{0, 0, 0, 0}, {7, 0, 0, 0}, {0, 7, 0, 0}}, 0, 255, -1, false, true, false, 1},
      {"destination with alpha", {{0, 0, 0, 0}, {7, 0, 0, 0}, {0, 7, 0, 0}}, 0, 255, -1, false, false, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ShapeImage dst(8, 8, c.dst_format, c.dst_paletted, c.dst_alpha);
    std::vector<uint8_t> before(dst.pixels.size(), 0x5A);
    dst.pixels = before;
    ShapeImage tex(4, 4, c.tex_format < 0 ? 1 : c.tex_format, c.tex_paletted);
    tex.fill(0x00123456);
    SetArea(0, 0, 8, 8);
    SetBlend(c.mode, c.param);
    RasterTriangleToMEMIMG(dst.img(), c.tex_format < 0 ? nullptr : tex.img(), c.v, 0, nullptr, 0x00FFFFFF);
    EXPECT_EQ(dst.pixels, before);
  }
}

// The back end's textured quadrangle: triangles 1-2-3 and 2-3-4.
void TexturedQuad(MEMIMG* dst, MEMIMG* tex, int x, int y, int w, int h, int trans = 0) {
  TriangleVertex a[3] = {{x, y, 0, 0}, {x + w, y, w, 0}, {x, y + h, 0, h}};
  TriangleVertex b[3] = {{x + w, y, w, 0}, {x, y + h, 0, h}, {x + w, y + h, w, h}};
  RasterTriangleToMEMIMG(dst, tex, a, trans, g_soft_draw.blend_graph, 0);
  RasterTriangleToMEMIMG(dst, tex, b, trans, g_soft_draw.blend_graph, 0);
}

TEST_F(TriangleTest, AxisAlignedQuadCopiesTheTexturePixelForPixel) {
  ShapeImage tex(5, 3, MEMIMG_R5G6B5);
  for (int y = 0; y < 3; y++)
    for (int x = 0; x < 5; x++) tex.set(x, y, 0x100 + y * 16 + x);
  ShapeImage dst(10, 8, MEMIMG_R5G6B5);
  SetArea(0, 0, 10, 8);
  TexturedQuad(dst.img(), tex.img(), 2, 3, 5, 3);
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 10; x++) {
      bool inside = x >= 2 && x < 7 && y >= 3 && y < 6;
      EXPECT_EQ(dst.get(x, y), inside ? tex.get(x - 2, y - 3) : 0u) << x << ", " << y;
    }
}

TEST_F(TriangleTest, QuadDrawsItsSharedDiagonalTwice) {
  // Inclusive spans on both triangles: the blend modes show the seam.
  ShapeImage tex(10, 10, MEMIMG_X8R8G8B8);
  tex.fill(1);
  ShapeImage dst(12, 12, MEMIMG_X8R8G8B8);
  SetArea(0, 0, 12, 12);
  SetBlend(SOFT_BLEND_ADD, 255);
  TexturedQuad(dst.img(), tex.img(), 1, 1, 10, 10);
  // Texel (i, j) lands on (1 + i, 1 + j); the diagonal i + j = 10 is shared.
  for (int y = 0; y < 12; y++)
    for (int x = 0; x < 12; x++) {
      int i = x - 1, j = y - 1;
      bool inside = i >= 0 && i < 10 && j >= 0 && j < 10;
      EXPECT_EQ(dst.get(x, y), !inside ? 0u : i + j == 10 ? 2u : 1u) << x << ", " << y;
    }
}

TEST_F(TriangleTest, ClippedSpansSampleTheTextureAtTheVisibleColumn) {
  const uint32_t seed = ShapeTestSeed();
  std::printf("seed %u\n", seed);
  std::mt19937 rng(seed);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  ShapeImage tex(9, 7, MEMIMG_X8R8G8B8);
  for (int y = 0; y < 7; y++)
    for (int x = 0; x < 9; x++) tex.set(x, y, (uint32_t)rng() | 1);
  for (int round = 0; round < 50; round++) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
    TriangleVertex v[3];
    for (auto& t : v) t = {rnd(-4, 20), rnd(-4, 16), rnd(-2, 10), rnd(-2, 8)};
    ShapeImage whole(16, 12, MEMIMG_X8R8G8B8), cut(16, 12, MEMIMG_X8R8G8B8);
    SetArea(0, 0, 16, 12);
    RasterTriangleToMEMIMG(whole.img(), tex.img(), v, 0, nullptr, 0);
    int x1 = rnd(0, 8), y1 = rnd(0, 6), x2 = rnd(x1 + 1, 16), y2 = rnd(y1 + 1, 12);
    SetArea(x1, y1, x2, y2);
    RasterTriangleToMEMIMG(cut.img(), tex.img(), v, 0, nullptr, 0);
    for (int y = 0; y < 12; y++)
      for (int x = 0; x < 16; x++) {
        bool inside = x >= x1 && x < x2 && y >= y1 && y < y2;
        ASSERT_EQ(cut.get(x, y), inside ? whole.get(x, y) : 0u) << x << ", " << y;
      }
  }
}

TEST_F(TriangleTest, TexturePositionsOutsideTheTextureLeavePixelsAlone) {
  // u runs from -2 to 6 over a texture 4 wide: only columns 0..3 are drawn.
  ShapeImage tex(4, 1, MEMIMG_X8R8G8B8);
  tex.fill(0x00ABCDEF);
  ShapeImage dst(8, 1, MEMIMG_X8R8G8B8);
  SetArea(0, 0, 8, 1);
  TriangleVertex a[3] = {{0, 0, -2, 0}, {8, 0, 6, 0}, {0, 1, -2, 1}};
  RasterTriangleToMEMIMG(dst.img(), tex.img(), a, 0, nullptr, 0);
  for (int x = 0; x < 8; x++) EXPECT_EQ(dst.get(x, 0), x >= 2 && x < 6 ? 0x00ABCDEFu : 0u) << x;
}

TEST_F(TriangleTest, BlendGraphThatCannotCoverTheTextureDrawsNothing) {
  // As in the blits: the graph is read at every texel's position, so one
  // smaller than the texture (or not an 8-bit image) refuses the draw.
  ShapeImage tex(4, 4, MEMIMG_X8R8G8B8);
  tex.fill(0x00FFFFFF);
  ShapeImage narrow(2, 4, MEMIMG_GRAY8), short_(4, 3, MEMIMG_GRAY8), wide(4, 4, MEMIMG_R5G6B5), fits(5, 4, MEMIMG_GRAY8);
  for (ShapeImage* g : {&narrow, &short_, &wide, &fits}) std::fill(g->pixels.begin(), g->pixels.end(), 255);
  SetArea(0, 0, 4, 4);
  for (ShapeImage* g : {&narrow, &short_, &wide}) {
    ShapeImage dst(4, 4, MEMIMG_X8R8G8B8);
    g_soft_draw.blend_graph = g->img();
    TexturedQuad(dst.img(), tex.img(), 0, 0, 4, 4);
    EXPECT_EQ(dst.get(1, 1), 0u);
  }
  ShapeImage dst(4, 4, MEMIMG_X8R8G8B8);
  g_soft_draw.blend_graph = fits.img();
  TexturedQuad(dst.img(), tex.img(), 0, 0, 4, 4);
  EXPECT_EQ(dst.get(1, 1), 0x00FEFEFEu);
}

TEST_F(TriangleTest, FarVerticesDrawOnlyInsideTheArea) {
  ShapeImage dst(16, 16, MEMIMG_R5G6B5);
  SetArea(2, 2, 14, 14);
  const int32_t big = 1 << 30;
  Flat(dst, {-big, -big, 0, 0}, {big, -3, 0, 0}, {5, big, 0, 0}, 0xFFFF);
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      bool inside = x >= 2 && x < 14 && y >= 2 && y < 14;
      if (!inside) {
        EXPECT_EQ(dst.get(x, y), 0u) << x << ", " << y;
      }
    }
  EXPECT_EQ(dst.get(5, 5), 0xFFFFu);

  // The whole 32-bit range, textured: the gradients round to nothing useful
  // but nothing outside the area or the texture is touched.
  const int32_t lo = -2147483647 - 1, hi = 2147483647;
  ShapeImage tex(3, 3, MEMIMG_R5G6B5);
  tex.fill(0x0F0F);
  for (auto corners : {std::array<TriangleVertex, 3>{{{lo, lo, 0, 0}, {hi, lo, 3, 0}, {lo, hi, 0, 3}}},
                       std::array<TriangleVertex, 3>{{{lo, 5, lo, hi}, {hi, 6, hi, lo}, {3, hi, 1, 1}}}}) {
    ShapeImage img(16, 16, MEMIMG_R5G6B5);
    RasterTriangleToMEMIMG(img.img(), tex.img(), corners.data(), 0, nullptr, 0);
    for (int y = 0; y < 16; y++)
      for (int x = 0; x < 16; x++) {
        bool inside = x >= 2 && x < 14 && y >= 2 && y < 14;
        uint32_t v = img.get(x, y);
        EXPECT_TRUE(v == 0 || (inside && v == 0x0F0F)) << x << ", " << y;
      }
  }
}

// One textured pixel: a one-texel texture over the pixel (0, 0).
struct PixelCase {
  const char* name;
  int format;
  bool paletted, alpha;
  int mode, param;
  uint32_t bright;
  int graph;  // blend-graph byte (identity ramp), -1 none
  int trans;
  uint32_t key;
  uint32_t texel;  // raw texel (an index when paletted; palette entry 5 = palette_entry)
  uint32_t palette_entry;
  uint32_t dest;
  uint32_t expect;
};

const uint32_t kWhite = SOFT_BRIGHT_WHITE;

class TexturedPixelTest : public TriangleTest, public ::testing::WithParamInterface<PixelCase> {};

TEST_P(TexturedPixelTest, GivesTheWorkedValue) {
  const PixelCase& c = GetParam();
  ShapeImage tex(1, 1, c.format, c.paletted, c.alpha);
  tex.set(0, 0, c.texel);
  if (c.paletted) {
    for (int i = 0; i < 256; i++) {
      if (c.format == MEMIMG_R5G6B5)
        tex.set_palette16(i, c.palette_entry);
      else
        tex.set_palette32(i, c.palette_entry);
    }
  }
  tex.store.transparent_color = c.key;
  ShapeImage graph(1, 1, MEMIMG_GRAY8);
  graph.pixels[0] = (uint8_t)(c.graph < 0 ? 0 : c.graph);
  ShapeImage dst(2, 1, c.format);
  dst.set(0, 0, c.dest);
  dst.set(1, 0, c.dest);
  SetArea(0, 0, 2, 1);
  SetBlend(c.mode, c.param);
  g_soft_draw.draw_bright = c.bright;
  TriangleVertex v[3] = {{0, 0, 0, 0}, {1, 0, 1, 0}, {0, 1, 0, 1}};
  RasterTriangleToMEMIMG(dst.img(), tex.img(), v, c.trans, c.graph < 0 ? nullptr : graph.img(), 0);
  EXPECT_EQ(dst.get(0, 0), c.expect) << std::hex << "got 0x" << dst.get(0, 0) << " expected 0x" << c.expect;
  EXPECT_EQ(dst.get(1, 0), c.dest) << "the texel's right neighbour is outside the texture";
}

constexpr uint32_t A16(uint32_t a, uint32_t c) { return (a << 16) | c; }
constexpr uint32_t C565(uint32_t r, uint32_t g, uint32_t b) { return (r << 11) | (g << 5) | b; }

INSTANTIATE_TEST_SUITE_P(
    Vectors, TexturedPixelTest,
    ::testing::Values(
        // Copy
        PixelCase{"copy alpha 255 with trans flag copies the alpha byte", 1, false, true, 0, 255, kWhite, -1, 1, 0,
                  0xFF102030, 0, 0, 0xFF102030},
        PixelCase{"copy alpha 255 without trans flag moves 255/256", 1, false, true, 0, 255, kWhite, -1, 0, 0,
                  0xFFFFFFFF, 0, 0, 0x00FEFEFE},
        PixelCase{"copy alpha 0 without trans flag still writes", 1, false, true, 0, 255, kWhite, -1, 0, 0,
                  0x00FFFFFF, 0, 0xAA123456, 0xAA123456},
        PixelCase{"bright copy keeps the destination's top byte", 1, false, false, 0, 255, 0xFFFFFE, -1, 0, 0,
                  0x77112233, 0, 0xAA000000, 0xAA112232},
        PixelCase{"plain copy writes the texel's top byte", 1, false, false, 0, 255, kWhite, -1, 0, 0, 0x77112233, 0,
                  0xAA000000, 0x77112233},
        PixelCase{"ramp weight 0 keeps the pixel", 1, false, false, 0, 255, kWhite, 0, 0, 0, 0x00FFFFFF, 0,
                  0x00123456, 0x00123456},
        PixelCase{"palette key is the index", 0, true, false, 0, 255, kWhite, -1, 1, 5, 5, 0x1234, 0x4321, 0x4321},
        PixelCase{"palette entry is stored", 0, true, false, 0, 255, kWhite, -1, 1, 5, 6, 0x1234, 0x4321, 0x1234},
        PixelCase{"32-bit key compares the top byte", 1, false, false, 0, 255, kWhite, -1, 1, 0x00FF0000, 0x01FF0000,
                  0, 0, 0x01FF0000},
        PixelCase{"32-bit key equal skips", 1, false, false, 0, 255, kWhite, -1, 1, 0x01FF0000, 0x01FF0000, 0, 0, 0},
        // Alpha
        PixelCase{"alpha graph 128 p 254", 1, false, false, 1, 254, kWhite, 128, 0, 0, 0x00C8C8C8, 0, 0x00646464,
                  0x00959595},
        PixelCase{"alpha p 255 takes the copy graph rule", 1, false, false, 1, 255, kWhite, 128, 0, 0, 0x00C8C8C8, 0,
                  0x00646464, 0x00969696},
        PixelCase{"alpha 16-bit a 255 with trans flag", 0, false, true, 1, 64, kWhite, -1, 1, 0, A16(255, C565(4, 0, 0)),
                  0, 0, C565(1, 0, 0)},
        PixelCase{"alpha 16-bit a 255 without trans flag", 0, false, true, 1, 64, kWhite, -1, 0, 0,
                  A16(255, C565(4, 0, 0)), 0, 0, 0},
        PixelCase{"alpha table rule rounds toward zero", 0, false, false, 1, 64, kWhite, -1, 0, 0, 0, 0, C565(1, 0, 0),
                  C565(1, 0, 0)},
        PixelCase{"alpha bright scales the field", 0, false, false, 1, 128, 0x80FFFF, -1, 0, 0, C565(31, 0, 0), 0, 0,
                  C565(7, 0, 0)},
        // Add
        PixelCase{"add blue 20 + 20 saturates and sets green bit 0", 0, false, false, 2, 255, kWhite, -1, 0, 0,
                  C565(0, 0, 20), 0, C565(0, 0, 20), C565(0, 1, 31)},
        PixelCase{"add green 1 + 1 stays 1", 0, false, false, 2, 255, kWhite, -1, 0, 0, C565(0, 1, 0), 0,
                  C565(0, 1, 0), C565(0, 1, 0)},
        PixelCase{"add green 2 + 2", 0, false, false, 2, 255, kWhite, -1, 0, 0, C565(0, 2, 0), 0, C565(0, 2, 0),
                  C565(0, 4, 0)},
        PixelCase{"add 32-bit red overflow sets the top byte", 1, false, false, 2, 255, kWhite, -1, 0, 0, 0x00C80000, 0,
                  0x00640000, 0x01FF0000},
        PixelCase{"add 32-bit black clears the top byte", 1, false, false, 2, 255, kWhite, -1, 0, 0, 0, 0, 0xAA123456,
                  0x00123456},
        PixelCase{"add 32-bit alpha 255 without trans flag", 1, false, true, 2, 255, kWhite, -1, 0, 0, 0xFF0000FF, 0, 0,
                  0x000000FD},
        PixelCase{"add 32-bit alpha 255 with trans flag", 1, false, true, 2, 255, kWhite, -1, 1, 0, 0xFF0000FF, 0, 0,
                  0x000000FF},
        // Subtract
        PixelCase{"subtract 16-bit fields", 0, false, false, 3, 255, kWhite, -1, 0, 0, C565(1, 2, 1), 0,
                  C565(16, 32, 16), C565(17, 30, 15)},
        PixelCase{"subtract white from white", 0, false, false, 3, 255, kWhite, -1, 0, 0, 0xFFFF, 0, 0xFFFF, 0x0800},
        PixelCase{"subtract black from white", 0, false, false, 3, 255, kWhite, -1, 0, 0, 0, 0, 0xFFFF, 0xFFDF},
        PixelCase{"subtract black from black follows the rule", 0, false, false, 3, 255, kWhite, -1, 0, 0, 0, 0, 0,
                  0x0800},
        PixelCase{"subtract 32-bit white from white", 1, false, false, 3, 255, kWhite, -1, 0, 0, 0x00FFFFFF, 0,
                  0xABFFFFFF, 0x00010100},
        PixelCase{"subtract 32-bit 1 from 128", 1, false, false, 3, 255, kWhite, -1, 0, 0, 0x00010101, 0, 0x00808080,
                  0x0081817F},
        PixelCase{"subtract palettised at p 0 still runs", 0, true, false, 3, 0, kWhite, -1, 0, 0, 7, 0xFFFF, 0x1234,
                  0x1A14},
        // Multiply
        PixelCase{"multiply white over white", 0, false, false, 4, 0, kWhite, -1, 0, 0, 0xFFFF, 0, 0xFFFF,
                  C565(30, 62, 30)},
        PixelCase{"multiply bright 128", 0, false, false, 4, 99, 0x808080, -1, 0, 0, 0xFFFF, 0, 0xFFFF,
                  C565(14, 30, 14)},
        PixelCase{"multiply 32-bit keeps the top byte", 1, false, false, 4, 255, kWhite, -1, 0, 0, 0xFFFFFFFF, 0,
                  0x12FFFFFF, 0x12FEFEFE},
        PixelCase{"multiply alpha 255 with trans flag", 0, false, true, 4, 255, kWhite, -1, 1, 0, A16(255, 0xFFFF), 0,
                  0xFFFF, C565(30, 62, 30)},
        PixelCase{"multiply alpha 255 without trans flag", 0, false, true, 4, 255, kWhite, -1, 0, 0, A16(255, 0xFFFF),
                  0, 0xFFFF, C565(29, 61, 29)},
        PixelCase{"multiply alpha 0 blackens", 0, false, true, 4, 255, kWhite, -1, 1, 0, A16(0, 0xFFFF), 0, 0xFFFF, 0},
        PixelCase{"multiply graph 255", 1, false, false, 4, 255, kWhite, 255, 0, 0, 0xFFFFFF, 0, 0xFFFFFF, 0xFDFDFD},
        // InvertedAlpha
        PixelCase{"inverted p 255 black turns white", 0, false, false, 10, 255, kWhite, -1, 0, 0, 0, 0, 0x1234, 0xFFFF},
        PixelCase{"inverted 32-bit black over black", 1, false, false, 10, 255, kWhite, -1, 0, 0, 0, 0, 0, 0x00FEFEFE},
        PixelCase{"inverted p 128 black over black", 0, false, false, 10, 128, kWhite, -1, 0, 0, 0, 0, 0,
                  C565(15, 31, 15)},
        PixelCase{"inverted p 128 white over white", 0, false, false, 10, 128, kWhite, -1, 0, 0, 0xFFFF, 0, 0xFFFF,
                  C565(16, 32, 16)},
        PixelCase{"inverted p 1 white over white 32-bit", 1, false, false, 10, 1, kWhite, -1, 0, 0, 0xFFFFFF, 0,
                  0xFFFFFF, 0xFEFEFE},
        PixelCase{"inverted bright 0 blends toward black", 0, false, false, 10, 255, 0, -1, 0, 0, 0, 0, 0xFFFF, 0},
        PixelCase{"inverted alpha 255 without trans flag", 0, false, true, 10, 255, kWhite, -1, 0, 0, A16(255, 0), 0, 0,
                  C565(30, 62, 30)},
        // MultipliedAlpha
        PixelCase{"multiplied alpha keeps five more green bits", 0, false, true, 11, 200, kWhite, -1, 0, 0,
                  A16(128, C565(0, 1, 0)), 0, C565(0, 18, 0), C565(0, 11, 0)},
        PixelCase{"multiplied alpha p 255 gives the product", 1, false, false, 11, 255, kWhite, -1, 0, 0, 0xFFFFFF, 0,
                  0x55FFFFFF, 0x55FEFEFE},
        PixelCase{"multiplied alpha 0 keeps the pixel", 1, false, true, 11, 255, kWhite, -1, 1, 0, 0x00000000, 0,
                  0x55FFFFFF, 0x55FFFFFF}),
    [](const ::testing::TestParamInfo<PixelCase>& info) {
      std::string n;
      for (const char* p = info.param.name; *p; p++) n += isalnum((unsigned char)*p) ? *p : '_';
      return n;
    });

TEST_F(TriangleTest, FlatColourTakesTheBrightAsATable) {
  struct Case {
    int format;
    uint32_t bright, colour, expect;
  } cases[] = {
      {0, 0x80FFFF, 0xF800, 15u << 11},
      {1, 0x00FFFF, 0x00FF0000, 0},
      {1, 0xFFFF00, 0x00FF0000, 0x00FF0000},
      {1, 0x808080, 0x7FFFFFFF, 0x7F808080},  // Copy writes byte 3 even when tinted
      {0, kWhite, 0x1F0000 | 0x001F, 0x001F},  // bits above 15 are not a colour
  };
  for (const Case& c : cases) {
    ShapeImage dst(4, 4, c.format);
    SetArea(0, 0, 4, 4);
    g_soft_draw.draw_bright = c.bright;
    Flat(dst, {0, 0, 0, 0}, {3, 0, 0, 0}, {0, 3, 0, 0}, c.colour);
    EXPECT_EQ(dst.get(0, 0), c.expect) << std::hex << c.colour << " bright " << c.bright;
  }
}

TEST_F(TriangleTest, FlatModesFollowTheSingleColourRules) {
  ShapeImage a(4, 4, MEMIMG_R5G6B5), b(4, 4, MEMIMG_R5G6B5);
  SetArea(0, 0, 4, 4);
  a.fill(0x1234);
  b.fill(0x1234);
  SetBlend(SOFT_BLEND_ALPHA, 255);
  Flat(a, {0, 0, 0, 0}, {3, 0, 0, 0}, {0, 3, 0, 0}, 0xBEEF);
  SetBlend(SOFT_BLEND_COPY, 0);
  Flat(b, {0, 0, 0, 0}, {3, 0, 0, 0}, {0, 3, 0, 0}, 0xBEEF);
  EXPECT_EQ(a.pixels, b.pixels);

  // The transparent flag and a blend graph change nothing on a flat triangle.
  ShapeImage graph(1, 1, MEMIMG_GRAY8);
  ShapeImage c(4, 4, MEMIMG_R5G6B5);
  c.fill(0x1234);
  TriangleVertex v[3] = {{0, 0, 0, 0}, {3, 0, 0, 0}, {0, 3, 0, 0}};
  RasterTriangleToMEMIMG(c.img(), nullptr, v, 1, graph.img(), 0xBEEF);
  EXPECT_EQ(c.pixels, b.pixels);

  // Bright black in mode 10: the flat colour is darkened first, then
  // complemented, so the pixel goes white.
  ShapeImage d(4, 4, MEMIMG_R5G6B5);
  SetBlend(SOFT_BLEND_INVERTED_ALPHA, 255);
  g_soft_draw.draw_bright = 0;
  Flat(d, {0, 0, 0, 0}, {3, 0, 0, 0}, {0, 3, 0, 0}, 0x1234);
  EXPECT_EQ(d.get(0, 0), 0xFFFFu);
}

}  // namespace
