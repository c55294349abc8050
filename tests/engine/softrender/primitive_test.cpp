// Pixel, pixel list, filled box, line and line list: clipping, the worked
// pixel values of the single-colour rules, and destinations they refuse.
#include "engine/softrender/primitive.h"

#include "engine/softrender/circle.h"
#include "engine/softrender/triangle.h"

#include <array>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <utility>

#include "tests/engine/softrender/primitive_test_image.h"

namespace {

using namespace shapetest;
using Points = std::map<std::pair<int, int>, uint32_t>;

// Every pixel that differs from 0, with its value.
Points Drawn(ShapeImage& img) {
  Points out;
  for (int y = 0; y < img.view.height; y++)
    for (int x = 0; x < img.view.width; x++)
      if (img.get(x, y) != 0) out[{x, y}] = img.get(x, y);
  return out;
}

class PrimitiveTest : public ShapeDrawTest {};

TEST_F(PrimitiveTest, PixelIsClippedToTheHalfOpenDrawArea) {
  ShapeImage img(8, 8, MEMIMG_R5G6B5);
  SetArea(2, 3, 6, 7);
  for (auto [x, y] : {std::pair{2, 3}, {6, 3}, {2, 7}, {5, 6}, {1, 3}, {2, 2}}) PlotPixelToMEMIMG(img.img(), x, y, 0x1111);
  EXPECT_EQ(Drawn(img), (Points{{{2, 3}, 0x1111}, {{5, 6}, 0x1111}}));
}

TEST_F(PrimitiveTest, PixelTakesTheBrightAsAShiftAndTheModeShortcuts) {
  ShapeImage img(4, 1, MEMIMG_R5G6B5);
  g_soft_draw.draw_bright = 0xFFFFFE;
  PlotPixelToMEMIMG(img.img(), 0, 0, Rgb565(31, 0, 0));
  EXPECT_EQ(R565(img.get(0, 0)), 30u);
  g_soft_draw.draw_bright = 0xFFFFFF;
  PlotPixelToMEMIMG(img.img(), 1, 0, Rgb565(31, 0, 0));
  EXPECT_EQ(R565(img.get(1, 0)), 31u);

  img.fill(0x1234);
  SetBlend(SOFT_BLEND_ALPHA, 0);
  PlotPixelToMEMIMG(img.img(), 2, 0, 0xFFFF);
  EXPECT_EQ(img.get(2, 0), 0x1234u);
  SetBlend(SOFT_BLEND_ALPHA, 255);
  PlotPixelToMEMIMG(img.img(), 2, 0, 0xFFFF);
  EXPECT_EQ(img.get(2, 0), 0xFFFFu);
  // Bits above 15 of a 16-bit colour are not part of it.
  SetBlend(SOFT_BLEND_ADD, 255);
  img.fill(0);
  PlotPixelToMEMIMG(img.img(), 3, 0, 0xFFFF0001);
  EXPECT_EQ(img.get(3, 0), 1u);
}

TEST_F(PrimitiveTest, PixelListStoresRawColoursInOrder) {
  ShapeImage img(8, 8, MEMIMG_X8R8G8B8);
  SetArea(0, 0, 6, 6);
  SetBlend(SOFT_BLEND_ADD, 255);
  g_soft_draw.draw_bright = 0;
  PointRecord pts[] = {{1, 1, 0xAA000001, 7}, {1, 1, 0xBB000002, 7}, {6, 1, 5, 0}, {5, 5, 9, 0}, {-1, 2, 5, 0}};
  PlotPixelListToMEMIMG(img.img(), pts, 5);
  EXPECT_EQ(Drawn(img), (Points{{{1, 1}, 0xBB000002}, {{5, 5}, 9}}));
  ShapeImage none(8, 8, MEMIMG_X8R8G8B8);
  PlotPixelListToMEMIMG(none.img(), pts, 0);
  PlotPixelListToMEMIMG(none.img(), pts, -3);
  EXPECT_TRUE(Drawn(none).empty());
}

TEST_F(PrimitiveTest, WritersLeavePalettisedAndAlphaDestinationsAlone) {
  // A palettised image has one byte a pixel: a 2- or 4-byte store at its last
  // pixel would run past it.
  for (bool paletted : {true, false}) {
    ShapeImage img(4, 4, MEMIMG_X8R8G8B8, paletted, !paletted);
    std::vector<uint8_t> before(img.pixels.size(), 0x33);
    img.pixels = before;
    SetArea(0, 0, 4, 4);
    PointRecord pt{3, 3, 0xFFFFFFFF, 0};
    LineRecord ln{0, 3, 4, 3, 0xFFFFFFFF, 255};
    PlotPixelToMEMIMG(img.img(), 3, 3, 0xFFFFFFFF);
    PlotPixelListToMEMIMG(img.img(), &pt, 1);
    PaintBoxToMEMIMG(img.img(), nullptr, 0xFFFFFFFF);
    StrokeLineToMEMIMG(img.img(), 0, 3, 4, 3, 0xFFFFFFFF);
    StrokeLineListToMEMIMG(img.img(), &ln, 1);
    EXPECT_EQ(img.pixels, before) << (paletted ? "palettised" : "alpha");
  }
}

TEST_F(PrimitiveTest, BoxGeometry) {
  struct Case {
    const char* name;
    bool null_rect;
    int32_t rect[4];
    int32_t area[4];
    int expect[4];  // filled x1, y1, x2, y2 (empty when x1 == x2)
  } cases[] = {
      {"ordered", false, {10, 10, 20, 20}, {0, 0, 32, 32}, {10, 10, 20, 20}},
      {"reversed", false, {20, 20, 10, 10}, {0, 0, 32, 32}, {10, 10, 20, 20}},
      {"one pixel", false, {0, 0, 1, 1}, {0, 0, 32, 32}, {0, 0, 1, 1}},
      {"zero width", false, {5, 5, 5, 9}, {0, 0, 32, 32}, {0, 0, 0, 0}},
      {"zero height", false, {5, 9, 8, 9}, {0, 0, 32, 32}, {0, 0, 0, 0}},
      {"outside", false, {40, 2, 50, 6}, {0, 0, 32, 32}, {0, 0, 0, 0}},
      {"partly outside", false, {-5, 28, 7, 40}, {0, 0, 32, 32}, {0, 28, 7, 32}},
      {"whole image in the area", true, {0, 0, 0, 0}, {3, 4, 30, 31}, {3, 4, 30, 31}},
      {"odd width", false, {1, 1, 6, 3}, {0, 0, 32, 32}, {1, 1, 6, 3}},
  };
  for (const Case& c : cases) {
    for (int fmt : {MEMIMG_R5G6B5, MEMIMG_X8R8G8B8}) {
      SCOPED_TRACE(std::string(c.name) + (fmt ? " 32-bit" : " 16-bit"));
      ShapeImage img(32, 32, fmt);
      SetArea(c.area[0], c.area[1], c.area[2], c.area[3]);
      int32_t rect[4] = {c.rect[0], c.rect[1], c.rect[2], c.rect[3]};
      PaintBoxToMEMIMG(img.img(), c.null_rect ? nullptr : rect, 0x5555);
      EXPECT_EQ(rect[0], c.rect[0]);  // the caller's rectangle is not changed
      EXPECT_EQ(rect[2], c.rect[2]);
      for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++) {
          bool in = x >= c.expect[0] && x < c.expect[2] && y >= c.expect[1] && y < c.expect[3];
          ASSERT_EQ(img.get(x, y), in ? 0x5555u : 0u) << x << ", " << y;
        }
    }
  }
}

TEST_F(PrimitiveTest, BoxModeValues) {
  struct Case {
    const char* name;
    int fmt, mode, param;
    uint32_t bright, colour, dest, expect;
  } cases[] = {
      {"alpha 16 p 128", 0, 1, 128, 0xFFFFFF, Rgb565(31, 0, 0), 0, Rgb565(15, 0, 0)},
      {"alpha 32 p 128", 1, 1, 128, 0xFFFFFF, 0x000000FF, 0xAB000000, 0xAB00007F},
      {"alpha p 255 is a copy", 1, 1, 255, 0xFFFFFF, 0x12345678, 0xAB000000, 0x12345678},
      {"alpha p 0 draws nothing", 0, 1, 0, 0xFFFFFF, 0xFFFF, 0x1234, 0x1234},
      {"copy writes byte 3", 1, 0, 7, 0xFFFFFF, 0x7F000001, 0xAB000000, 0x7F000001},
      {"add sets byte 3 from the red carry", 1, 2, 255, 0xFFFFFF, 0x00800000, 0xAB800000, 0x01FF0000},
      {"add without carry clears byte 3", 1, 2, 255, 0xFFFFFF, 0x00000001, 0xAB000001, 0x00000002},
      {"add 16 blue saturates into green", 0, 2, 255, 0xFFFFFF, 0x001F, 0x001F, 0x003F},
      {"add p 0 draws nothing", 0, 2, 0, 0xFFFFFF, 0xFFFF, 0x1234, 0x1234},
      {"subtract clears byte 3", 1, 3, 255, 0xFFFFFF, 0x00000001, 0xAB000003, 0x00010102},
      {"subtract 16 black from white", 0, 3, 255, 0xFFFFFF, 0, 0xFFFF, 0xFFDF},
      {"multiply ignores p", 0, 4, 0, 0xFFFFFF, 0xFFFF, 0xFFFF, Rgb565(30, 62, 30)},
      {"multiply keeps byte 3", 1, 4, 0, 0xFFFFFF, 0xFFFFFFFF, 0xABFFFFFF, 0xABFEFEFE},
      {"inverted 16 p 255 is the complement", 0, 10, 255, 0xFFFFFF, 0x1234, 0xBEEF, 0xEDCB},
      {"inverted 32 p 255 black over black", 1, 10, 255, 0xFFFFFF, 0, 0xAB000000, 0xABFEFEFE},
      {"multiplied alpha p 255", 0, 11, 255, 0xFFFFFF, 0xFFFF, 0xFFFF, Rgb565(30, 62, 30)},
      {"multiplied alpha p 0", 1, 11, 0, 0xFFFFFF, 0, 0xAB123456, 0xAB123456},
      {"bright 254 lowers every full channel", 0, 0, 255, 0xFFFFFE, 0xFFFF, 0, Rgb565(30, 62, 30)},
      {"mode 7 draws nothing", 0, 7, 255, 0xFFFFFF, 0xFFFF, 0x1234, 0x1234},
      {"p outside 0..255 draws nothing", 0, 4, 256, 0xFFFFFF, 0, 0x1234, 0x1234},
      {"mode -1 draws nothing", 0, -1, 255, 0xFFFFFF, 0xFFFF, 0x1234, 0x1234},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ShapeImage img(3, 2, c.fmt);
    img.fill(c.dest);
    SetArea(0, 0, 3, 2);
    SetBlend(c.mode, c.param);
    g_soft_draw.draw_bright = c.bright;
    int32_t rect[4] = {0, 0, 3, 2};
    PaintBoxToMEMIMG(img.img(), rect, c.colour);
    for (int y = 0; y < 2; y++)
      for (int x = 0; x < 3; x++) EXPECT_EQ(img.get(x, y), c.expect) << std::hex << img.get(x, y);
  }
}

TEST_F(PrimitiveTest, BoxMasksA16BitColourToItsPixel) {
  // An odd-width copy: the colour's upper half must not reach the neighbour.
  ShapeImage img(4, 1, MEMIMG_R5G6B5);
  SetArea(0, 0, 4, 1);
  int32_t rect[4] = {0, 0, 3, 1};
  PaintBoxToMEMIMG(img.img(), rect, 0xBEEF1234);
  EXPECT_EQ(img.get(0, 0), 0x1234u);
  EXPECT_EQ(img.get(2, 0), 0x1234u);
  EXPECT_EQ(img.get(3, 0), 0u);
}

TEST_F(PrimitiveTest, EverySingleColourWriterAppliesTheSameRule) {
  // One pixel through the box, the pixel, a line, a disc of radius 0, the
  // filled oval's top tip and a flat triangle: with a white bright all of
  // them combine the colour with the pixel by the same rule.
  const uint32_t seed = ShapeTestSeed();
  std::printf("seed %u\n", seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  for (int fmt : {MEMIMG_R5G6B5, MEMIMG_X8R8G8B8})
    for (int mode : {0, 1, 2, 3, 4, 10, 11, 5, -1})
      for (int p : {0, 1, 128, 254, 255}) {
        SCOPED_TRACE("format " + std::to_string(fmt) + " mode " + std::to_string(mode) + " p " + std::to_string(p));
        uint32_t mask = fmt == MEMIMG_R5G6B5 ? 0xFFFF : 0xFFFFFFFF;
        uint32_t d = (uint32_t)rng() & mask, c = (uint32_t)rng() & mask;
        SetBlend(mode, p);
        ShapeImage box(4, 4, fmt);
        box.fill(d);
        SetArea(1, 1, 2, 2);
        PaintBoxToMEMIMG(box.img(), nullptr, c);
        uint32_t expect = box.get(1, 1);
        auto check = [&](const char* name, auto draw) {
          ShapeImage img(4, 4, fmt);
          img.fill(d);
          SetArea(0, 0, 4, 4);
          draw(img.img());
          EXPECT_EQ(img.get(1, 1), expect) << name;
        };
        check("pixel", [&](MEMIMG* m) { PlotPixelToMEMIMG(m, 1, 1, c); });
        check("line", [&](MEMIMG* m) { StrokeLineToMEMIMG(m, 1, 1, 2, 1, c); });
        check("disc", [&](MEMIMG* m) { RasterCircleToMEMIMG(m, 1, 1, 0, c, 1); });
        check("oval", [&](MEMIMG* m) { RasterOvalToMEMIMG(m, 1, 2, 1, 1, c, 1); });
        check("triangle", [&](MEMIMG* m) {
          TriangleVertex v[3] = {{1, 1, 0, 0}, {2, 1, 0, 0}, {1, 2, 0, 0}};
          RasterTriangleToMEMIMG(m, nullptr, v, 0, nullptr, (int32_t)c);
        });
      }
}

class LineTest : public ShapeDrawTest {
 protected:
  // Each drawn pixel with how often it was drawn.
  Points Line(int x1, int y1, int x2, int y2) {
    ShapeImage img(100, 100, MEMIMG_X8R8G8B8);
    SetArea(0, 0, 100, 100);
    SetBlend(SOFT_BLEND_ADD, 255);
    StrokeLineToMEMIMG(img.img(), x1, y1, x2, y2, 1);
    return Drawn(img);
  }
};

Points Once(std::initializer_list<std::pair<int, int>> pts) {
  Points out;
  for (auto p : pts) out[p] = 1;
  return out;
}

TEST_F(LineTest, WalksFromTheFirstPointAndLeavesTheSecond) {
  EXPECT_EQ(Line(0, 0, 5, 2), Once({{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 1}}));
  EXPECT_EQ(Line(5, 2, 0, 0), Once({{5, 2}, {4, 2}, {3, 2}, {2, 1}, {1, 1}}));
  EXPECT_EQ(Line(0, 0, 4, 4), Once({{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
  EXPECT_EQ(Line(2, 0, 3, 5), Once({{2, 0}, {2, 1}, {2, 2}, {2, 3}, {2, 4}}));
  EXPECT_TRUE(Line(7, 7, 7, 7).empty());
}

TEST_F(LineTest, IsClippedToTheDrawArea) {
  Points row, col;
  for (int x = 0; x < 100; x++) row[{x, 5}] = 1;
  for (int y = 0; y < 100; y++) col[{50, y}] = 1;
  EXPECT_EQ(Line(-10, 5, 200, 5), row);
  EXPECT_EQ(Line(200, 5, -10, 5), row);
  EXPECT_EQ(Line(50, -20, 50, 300), col);
  // Crossing the corner region: only the pixels inside.
  EXPECT_EQ(Line(-3, 4, 4, -3), Once({{0, 1}, {1, 0}}));
}

TEST_F(LineTest, ALineBesideTheAreaIsClampedOntoItsCorner) {
  // Only the bounding box is tested: the line itself passes the corner by,
  // and its clipped ends are clamped onto the corner pixel.
  EXPECT_EQ(Line(-100, 50, 50, -100), Once({{0, 0}}));
  EXPECT_EQ(Line(160, 60, 60, 160), Once({{99, 99}}));
  EXPECT_EQ(Line(-5, 3, 3, -5), Once({{0, 0}}));
  EXPECT_FALSE(Line(130, 60, 60, 130).empty());  // this one crosses near (95, 95)
}

TEST_F(LineTest, ExtremeEndPointsStayInsideTheArea) {
  const int32_t lo = -2147483647 - 1, hi = 2147483647;
  Points row;
  for (int x = 0; x < 100; x++) row[{x, 5}] = 1;
  EXPECT_EQ(Line(lo, 5, hi, 5), row);
  for (auto [x1, y1, x2, y2] : {std::array{0, lo, 1, hi}, {lo, lo, hi, hi}, {hi, 3, lo, 90}, {40, hi, 41, lo}}) {
    Points drawn = Line(x1, y1, x2, y2);  // 100 x 100 image, area the whole of it
    for (auto& [pt, n] : drawn) EXPECT_EQ(n, 1u) << pt.first << ", " << pt.second;
  }
}

TEST_F(LineTest, AShallowLineEnteringThroughTheTopEdgeIsDrawn) {
  // It crosses row 10 at x = 8 as a straight line, but its pixels stay on
  // row 10 all the way to x = 28.
  ShapeImage img(40, 40, MEMIMG_X8R8G8B8);
  SetArea(10, 10, 30, 30);
  StrokeLineToMEMIMG(img.img(), 8, 10, 29, 9, 1);
  Points row;
  for (int x = 10; x <= 28; x++) row[{x, 10}] = 1;
  EXPECT_EQ(Drawn(img), row);
}

TEST_F(LineTest, DrawsWhenItsPixelsMeetTheAreaAndNeverOutsideIt) {
  const uint32_t seed = ShapeTestSeed();
  std::printf("seed %u\n", seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  const int L = 10, T = 12, R = 30, B = 28;
  ShapeImage img(40, 40, MEMIMG_X8R8G8B8);
  SetArea(L, T, R, B);
  for (int i = 0; i < 3000; i++) {
    int x1 = (int)(rng() % 60) - 10, y1 = (int)(rng() % 60) - 10, x2 = (int)(rng() % 60) - 10, y2 = (int)(rng() % 60) - 10;
    // The unclipped walk, pixel by pixel.
    int dx = x2 - x1, dy = y2 - y1, ax = std::abs(dx), ay = std::abs(dy), n = std::max(ax, ay), inside = 0;
    for (int k = 0; k < n; k++) {
      int x = ax >= ay ? x1 + (dx < 0 ? -k : k) : x1 + (dx < 0 ? -1 : 1) * (k * ax / ay);
      int y = ax >= ay ? y1 + (dy < 0 ? -1 : 1) * (k * ay / ax) : y1 + (dy < 0 ? -k : k);
      inside += x >= L && x < R && y >= T && y < B;
    }
    img.fill(0);
    StrokeLineToMEMIMG(img.img(), x1, y1, x2, y2, 1);
    Points drawn = Drawn(img);
    // A line with pixels in the area is drawn; one whose box misses the area
    // is not. One whose box meets the area but whose pixels pass beside it
    // may leave the clamped corner pixels.
    bool box_meets = std::max(x1, x2) >= L && std::max(y1, y2) >= T && std::min(x1, x2) < R && std::min(y1, y2) < B;
    if (inside > 0) {
      ASSERT_FALSE(drawn.empty()) << x1 << ", " << y1 << " -> " << x2 << ", " << y2;
    }
    if (!box_meets) {
      ASSERT_TRUE(drawn.empty()) << x1 << ", " << y1 << " -> " << x2 << ", " << y2;
    }
    for (auto& [pt, k] : drawn)
      ASSERT_TRUE(pt.first >= L && pt.first < R && pt.second >= T && pt.second < B) << x1 << ", " << y1 << " -> " << x2 << ", " << y2;
  }
}

TEST_F(LineTest, BoxOutlineFromFourRecordsDrawsEachPixelOnce) {
  ShapeImage img(32, 32, MEMIMG_X8R8G8B8);
  SetArea(0, 0, 32, 32);
  SetBlend(SOFT_BLEND_ADD, 255);
  LineRecord rec[4] = {{10, 10, 19, 10, 1, 0}, {19, 10, 19, 14, 1, 0}, {19, 14, 10, 14, 1, 0}, {10, 14, 10, 10, 1, 99}};
  StrokeLineListToMEMIMG(img.img(), rec, 4);
  Points drawn = Drawn(img);
  EXPECT_EQ(drawn.size(), 26u);
  for (auto& [pt, n] : drawn) EXPECT_EQ(n, 1u) << pt.first << ", " << pt.second;
  ShapeImage none(32, 32, MEMIMG_X8R8G8B8);
  StrokeLineListToMEMIMG(none.img(), rec, 0);
  StrokeLineListToMEMIMG(none.img(), rec, -1);
  EXPECT_TRUE(Drawn(none).empty());
}

TEST_F(LineTest, ColourAndModes) {
  ShapeImage img(8, 4, MEMIMG_R5G6B5);
  SetArea(0, 0, 8, 4);
  g_soft_draw.draw_bright = 0xFFFFFE;
  StrokeLineToMEMIMG(img.img(), 0, 0, 8, 0, 0xFFFF);
  EXPECT_EQ(img.get(3, 0), Rgb565(30, 62, 30));
  g_soft_draw.draw_bright = 0xFFFFFF;
  img.fill(0x1234);
  for (int mode : {10, 11}) {
    SetBlend(mode, 0);
    StrokeLineToMEMIMG(img.img(), 0, 1, 8, 1, 0xFFFF);
  }
  SetBlend(SOFT_BLEND_ALPHA, 0);
  StrokeLineToMEMIMG(img.img(), 0, 1, 8, 1, 0xFFFF);
  EXPECT_EQ(img.get(4, 1), 0x1234u);
  SetBlend(SOFT_BLEND_ALPHA, 255);
  StrokeLineToMEMIMG(img.img(), 0, 2, 8, 2, 0x0F0F);
  EXPECT_EQ(img.get(4, 2), 0x0F0Fu);
  SetBlend(SOFT_BLEND_ADD, 255);
  img.fill(0);
  StrokeLineToMEMIMG(img.img(), 0, 3, 8, 3, 0x70000001);
  EXPECT_EQ(img.get(7, 3), 1u);
}

}  // namespace
