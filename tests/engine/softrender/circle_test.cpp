// Circles and ovals: the points each outline plots (and how often), the rows
// and half-widths of the fills, clipping, and what draws nothing.
#include "engine/softrender/circle.h"

#include <map>
#include <utility>

#include "engine/core/alloc.h"
#include "tests/engine/softrender/primitive_test_image.h"

namespace {

using namespace shapetest;
// Offsets from the centre, with how often each pixel was drawn.
using Counts = std::map<std::pair<int, int>, int>;

constexpr int kSize = 96, kC = 48;

class CircleTest : public ShapeDrawTest {
 protected:
  void SetUp() override {
    ShapeDrawTest::SetUp();
    SetArea(0, 0, kSize, kSize);
    SetBlend(SOFT_BLEND_ADD, 255);  // colour 1 counts the draws in the blue byte
  }
  static Counts Read(ShapeImage& img) {
    Counts out;
    for (int y = 0; y < kSize; y++)
      for (int x = 0; x < kSize; x++)
        if (img.get(x, y)) out[{x - kC, y - kC}] = (int)img.get(x, y);
    return out;
  }
  static Counts Circle(int r, bool fill) {
    ShapeImage img(kSize, kSize, MEMIMG_X8R8G8B8);
    RasterCircleToMEMIMG(img.img(), kC, kC, r, 1, fill);
    return Read(img);
  }
  static Counts Oval(int rx, int ry, bool fill) {
    ShapeImage img(kSize, kSize, MEMIMG_X8R8G8B8);
    RasterOvalToMEMIMG(img.img(), kC, kC, rx, ry, 1, fill);
    return Read(img);
  }
  static int Total(const Counts& c) {
    int n = 0;
    for (auto& [p, k] : c) n += k;
    return n;
  }
  // Half-width of each row from -r to r of a fill drawn once per pixel and
  // symmetric about the centre column; -1 for an empty row.
  static std::vector<int> HalfWidths(const Counts& c, int r) {
    std::vector<int> out;
    for (int dy = -r; dy <= r; dy++) {
      int lo = 1000, hi = -1000;
      for (auto& [p, k] : c) {
        EXPECT_EQ(k, 1) << "pixel " << p.first << ", " << p.second << " drawn more than once";
        if (p.second == dy) lo = std::min(lo, p.first), hi = std::max(hi, p.first);
      }
      if (hi < lo) {
        out.push_back(-1);
        continue;
      }
      EXPECT_EQ(lo, -hi) << "row " << dy;
      for (int x = lo; x <= hi; x++) EXPECT_TRUE(c.count({x, dy})) << "gap at " << x << ", " << dy;
      out.push_back(hi);
    }
    return out;
  }
};

TEST_F(CircleTest, OutlinePlotsTheMidpointPoints) {
  EXPECT_EQ(Circle(0, false), (Counts{{{0, 0}, 4}}));
  EXPECT_EQ(Circle(1, false), (Counts{{{-1, 0}, 1}, {{1, 0}, 1}, {{0, -1}, 1}, {{0, 1}, 1}}));
  Counts r2 = Circle(2, false);
  EXPECT_EQ(r2.size(), 12u);
  EXPECT_EQ(Total(r2), 12);
  for (auto p : {std::pair{2, 0}, {0, 2}, {2, 1}, {1, 2}, {-2, -1}, {-1, -2}}) EXPECT_TRUE(r2.count(p));
  Counts r3 = Circle(3, false);
  EXPECT_EQ(r3.size(), 16u);
  EXPECT_EQ(Total(r3), 20);
  for (auto p : {std::pair{2, 2}, {-2, 2}, {2, -2}, {-2, -2}}) EXPECT_EQ(r3[p], 2);
  Counts r10 = Circle(10, false);
  EXPECT_EQ(r10.size(), 56u);
  EXPECT_EQ(Total(r10), 60);
  for (auto p : {std::pair{7, 7}, {-7, 7}, {7, -7}, {-7, -7}}) EXPECT_EQ(r10[p], 2);
}

TEST_F(CircleTest, DiscDrawsEachRowOnceWithTheOutlinesWidth) {
  auto symmetric = [](std::vector<int> half) {
    std::vector<int> out(half.rbegin(), half.rend() - 1);
    out.insert(out.end(), half.begin(), half.end());
    return out;
  };
  EXPECT_EQ(HalfWidths(Circle(0, true), 0), std::vector<int>{0});
  EXPECT_EQ(HalfWidths(Circle(1, true), 1), symmetric({1, 0}));
  EXPECT_EQ(HalfWidths(Circle(2, true), 2), symmetric({2, 2, 1}));
  EXPECT_EQ(HalfWidths(Circle(3, true), 3), symmetric({3, 3, 2, 1}));
  EXPECT_EQ(HalfWidths(Circle(5, true), 5), symmetric({5, 5, 5, 4, 3, 2}));
  EXPECT_EQ(HalfWidths(Circle(10, true), 10), symmetric({10, 10, 10, 10, 9, 9, 8, 7, 6, 5, 3}));
  for (int r = 0; r <= 40; r++) {
    Counts disc = Circle(r, true), ring = Circle(r, false);
    HalfWidths(disc, r);
    for (auto& [p, k] : ring) EXPECT_TRUE(disc.count(p)) << "r " << r << " outline point outside the disc";
  }
}

TEST_F(CircleTest, ClipsPointsAndSpansToTheArea) {
  for (bool fill : {false, true}) {
    Counts whole = Circle(20, fill);
    ShapeImage img(kSize, kSize, MEMIMG_X8R8G8B8);
    SetArea(kC - 7, kC - 30, kC + 12, kC + 5);
    RasterCircleToMEMIMG(img.img(), kC, kC, 20, 1, fill);
    Counts cut = Read(img);
    Counts expect;
    for (auto& [p, k] : whole)
      if (p.first >= -7 && p.first < 12 && p.second >= -30 && p.second < 5) expect[p] = k;
    EXPECT_EQ(cut, expect) << (fill ? "disc" : "outline");
  }
}

TEST_F(CircleTest, NegativeRadius) {
  // The outline plots its first step's four points; there is no disc.
  EXPECT_EQ(Circle(-3, false), (Counts{{{3, 0}, 1}, {{-3, 0}, 1}, {{0, -3}, 1}, {{0, 3}, 1}}));
  EXPECT_TRUE(Circle(-3, true).empty());
}

TEST_F(CircleTest, ColourModesAndRefusals) {
  for (bool fill : {false, true}) {
    SCOPED_TRACE(fill ? "disc" : "outline");
    ShapeImage copy(kSize, kSize, MEMIMG_X8R8G8B8), alpha(kSize, kSize, MEMIMG_X8R8G8B8);
    SetBlend(SOFT_BLEND_COPY, 0);
    RasterCircleToMEMIMG(copy.img(), kC, kC, 9, 0x7F123456, fill);
    SetBlend(SOFT_BLEND_ALPHA, 255);
    RasterCircleToMEMIMG(alpha.img(), kC, kC, 9, 0x7F123456, fill);
    EXPECT_EQ(copy.pixels, alpha.pixels);
    EXPECT_EQ(copy.get(kC + 9, kC), 0x7F123456u);

    struct Refused {
      int mode, param, format;
      bool paletted;
    } refused[] = {{1, 0, 1, false}, {2, 0, 1, false}, {3, 0, 0, false}, {7, 255, 1, false},
                   {-1, 255, 1, false}, {12, 255, 0, false}, {0, 255, 2, false}, {0, 255, 0, true}};
    for (const Refused& r : refused) {
      ShapeImage img(kSize, kSize, r.format, r.paletted);
      std::vector<uint8_t> before(img.pixels.size(), 0x21);
      img.pixels = before;
      SetBlend(r.mode, r.param);
      RasterCircleToMEMIMG(img.img(), kC, kC, 9, 0xFFFF, fill);
      RasterOvalToMEMIMG(img.img(), kC, kC, 9, 4, 0xFFFF, fill);
      EXPECT_EQ(img.pixels, before) << "mode " << r.mode << " p " << r.param << " format " << r.format;
    }
  }
  // The shift form of the bright; a 16-bit colour is masked to its pixel.
  ShapeImage img(kSize, kSize, MEMIMG_R5G6B5);
  SetBlend(SOFT_BLEND_COPY, 255);
  g_soft_draw.draw_bright = 0xFF80FF;
  RasterCircleToMEMIMG(img.img(), kC, kC, 0, Rgb565(31, 0, 0), 0);
  EXPECT_EQ(img.get(kC, kC), Rgb565(30, 0, 0));
  g_soft_draw.draw_bright = 0xFFFFFF;
  SetBlend(SOFT_BLEND_ADD, 255);
  img.fill(0);
  RasterOvalToMEMIMG(img.img(), kC, kC, 3, 3, 0x00010001, 1);
  EXPECT_EQ(img.get(kC, kC), 1u);
}

TEST_F(CircleTest, FillsReleaseTheirRowFlagsOnEveryWayOut) {
  ShapeImage img(kSize, kSize, MEMIMG_X8R8G8B8);
  int before = TrackedBlockCount();
  for (auto [mode, p] : {std::pair{0, 255}, {1, 0}, {2, 0}, {3, 0}, {7, 255}, {-1, 255}, {11, 0}}) {
    SetBlend(mode, p);
    RasterCircleToMEMIMG(img.img(), kC, kC, 9, 1, 1);
    RasterOvalToMEMIMG(img.img(), kC, kC, 9, 5, 1, 1);
    EXPECT_EQ(TrackedBlockCount(), before) << "mode " << mode << " p " << p;
  }
}

TEST_F(CircleTest, OvalOutlinePlots) {
  EXPECT_EQ(Oval(1, 1, false), (Counts{{{-1, 0}, 1}, {{1, 0}, 1}, {{0, -1}, 1}, {{0, 1}, 1}}));
  EXPECT_EQ(Oval(2, 1, false), (Counts{{{-2, 0}, 1}, {{2, 0}, 1}, {{-1, 0}, 2}, {{1, 0}, 2}, {{0, -1}, 1}, {{0, 1}, 1}}));
  Counts expect12;
  for (auto p : {std::pair{-1, 0}, {1, 0}, {-1, 1}, {1, 1}, {-1, -1}, {1, -1}, {-1, 2}, {1, 2}, {-1, -2}, {1, -2},
                 {0, -2}, {0, 2}})
    expect12[p] = 1;
  EXPECT_EQ(Oval(1, 2, false), expect12);
  Counts r52 = Oval(5, 2, false);
  EXPECT_EQ(Total(r52), 24);
  EXPECT_EQ((r52[{4, 0}]), 2);
  EXPECT_EQ((r52[{-4, 0}]), 2);
  Counts r33 = Oval(3, 3, false);
  EXPECT_EQ(r33.size(), 16u);
  EXPECT_EQ(Total(r33), 16);
  // Radius 1 vertically: the row without its centre, the inner pixels twice.
  Counts r71 = Oval(7, 1, false);
  for (int x = -7; x <= 7; x++) EXPECT_EQ((r71[{x, 0}]), x == 0 ? 0 : (x == 7 || x == -7) ? 1 : 2) << x;
}

TEST_F(CircleTest, OvalReach) {
  struct Case {
    int rx, ry, reach;
  } cases[] = {{1, 10, 14}, {2, 10, 12}, {4, 10, 11}, {5, 10, 10}, {20, 10, 10}, {40, 3, 3}};
  for (const Case& c : cases) {
    Counts o = Oval(c.rx, c.ry, false);
    int top = 0, right = 0;
    for (auto& [p, k] : o) {
      top = std::max(top, std::abs(p.second));
      right = std::max(right, std::abs(p.first));
      if (c.ry > c.rx) {
        EXPECT_EQ(k, 1) << "a tall oval plots each pixel once";
      }
    }
    EXPECT_EQ(top, c.reach) << c.rx << " x " << c.ry;
    EXPECT_EQ(right, c.rx) << c.rx << " x " << c.ry;
  }
  // Tall reaches beyond the quick image: check them on a bigger one.
  ShapeImage big(200, 420, MEMIMG_X8R8G8B8);
  SetArea(0, 0, 200, 420);
  for (auto [rx, reach] : {std::pair{96, 200}, {95, 201}}) {
    big.fill(0);
    RasterOvalToMEMIMG(big.img(), 100, 210, rx, 200, 1, 0);
    int top = 0;
    for (int y = 0; y < 420; y++)
      for (int x = 0; x < 200; x++)
        if (big.get(x, y)) top = std::max(top, std::abs(y - 210));
    EXPECT_EQ(top, reach) << rx;
  }
}

TEST_F(CircleTest, OvalWithEqualRadiiIsTheCircle) {
  for (int r = 1; r <= 30; r++) {
    Counts o = Oval(r, r, false), c = Circle(r, false);
    EXPECT_EQ(o.size(), c.size()) << r;
    for (auto& [p, k] : o) {
      EXPECT_EQ(k, 1) << r;
      EXPECT_TRUE(c.count(p)) << r;
    }
  }
}

TEST_F(CircleTest, OvalRadii) {
  EXPECT_TRUE(Oval(0, 7, false).empty());
  EXPECT_TRUE(Oval(7, 0, true).empty());
  EXPECT_EQ(Oval(-7, 7, false), Oval(7, 7, false));
  EXPECT_EQ(Oval(-9, -4, true), Oval(9, 4, true));
  // Radii whose square leaves 31 bits draw nothing; the largest that fits
  // still draws (here the part crossing the area).
  EXPECT_TRUE(Oval(kMaxOvalRadius + 1, 10, false).empty());
  EXPECT_TRUE(Oval(10, 2147483647, true).empty());
  EXPECT_TRUE(Oval(-2147483647 - 1, 5, true).empty());
  ShapeImage img(kSize, kSize, MEMIMG_X8R8G8B8);
  RasterOvalToMEMIMG(img.img(), kC - kMaxOvalRadius + 2, kC, kMaxOvalRadius, 40, 1, 1);
  EXPECT_EQ(img.get(kC, kC), 1u);
  EXPECT_EQ(img.get(kC + 3, kC), 0u);
}

TEST_F(CircleTest, FilledOvalRows) {
  auto widths = [&](int rx, int ry, int rows) { return HalfWidths(Oval(rx, ry, true), rows); };
  EXPECT_EQ(widths(3, 3, 3), (std::vector<int>{1, 2, 3, 3, 3, 2, 1}));
  EXPECT_EQ(widths(1, 1, 1), (std::vector<int>{0, 1, -1}));  // no lower tip
  EXPECT_EQ(widths(2, 1, 1), (std::vector<int>{0, 2, -1}));
  EXPECT_EQ(widths(5, 1, 1), (std::vector<int>{0, 5, -1}));
  EXPECT_EQ(widths(1, 2, 2), (std::vector<int>(5, 1)));
  EXPECT_EQ(widths(1, 5, 6), (std::vector<int>(13, 1)));
  EXPECT_EQ(widths(20, 10, 10),
            (std::vector<int>{5, 9, 12, 14, 16, 17, 18, 19, 20, 20, 20, 20, 20, 19, 18, 17, 16, 14, 12, 9, 5}));
  std::vector<int> tall = {3, 4, 5, 6, 7, 7, 8, 8, 8, 9, 9, 9};
  tall.insert(tall.end(), 17, 10);
  tall.insert(tall.end(), {9, 9, 9, 8, 8, 8, 7, 7, 6, 5, 4, 3});
  EXPECT_EQ(widths(10, 20, 20), tall);
  EXPECT_EQ(Total(Oval(20, 10, true)), 661);
  EXPECT_EQ(Total(Oval(10, 20, true)), 713);
  EXPECT_EQ(Total(Oval(3, 3, true)), 37);
  // Every pixel once, for many shapes.
  for (int rx = 1; rx <= 24; rx += 3)
    for (int ry = 1; ry <= 24; ry += 2) HalfWidths(Oval(rx, ry, true), 40);
}

TEST_F(CircleTest, FilledOvalIsClipped) {
  Counts whole = Oval(30, 12, true);
  ShapeImage img(kSize, kSize, MEMIMG_X8R8G8B8);
  SetArea(kC + 29, kC - 4, kC + 40, kC + 3);  // reaches only the rightmost column
  RasterOvalToMEMIMG(img.img(), kC, kC, 30, 12, 1, 1);
  Counts cut = Read(img), expect;
  for (auto& [p, k] : whole)
    if (p.first >= 29 && p.second >= -4 && p.second < 3) expect[p] = k;
  EXPECT_FALSE(expect.empty());
  EXPECT_EQ(cut, expect);
}

}  // namespace
