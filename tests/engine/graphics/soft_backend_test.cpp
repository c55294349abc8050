// The software back end's own shapes: thick lines, flat triangles and
// quadrangles, tile maps and the tiled fill, on the real renderer.
#include <gtest/gtest.h>

#include "engine/graphics/graphics.h"
#include "engine/softrender/primitive.h"
#include "engine/softrender/triangle.h"
#include "tests/engine/graphics/graphics_fixtures.h"

namespace {

class SoftBackendTest : public GraphicsTest {};

const Rgba kBlack{0, 0, 0, 255}, kRed{255, 0, 0, 255};

TEST_F(SoftBackendTest, ThickLinesAreQuadranglesAroundTheSegment) {
  uint32_t red = PackScreenColor(255, 0, 0);
  ASSERT_EQ(PaintLine(10, 10, 30, 10, red, 4), 0);
  EXPECT_EQ(ScreenPixel(20, 8), kRed);
  EXPECT_EQ(ScreenPixel(20, 11), kRed);
  EXPECT_EQ(ScreenPixel(20, 6), kBlack);
  EXPECT_EQ(ScreenPixel(20, 13), kBlack);
  EXPECT_EQ(ScreenPixel(35, 10), kBlack);
  EXPECT_EQ(PaintLine(50, 50, 50, 50, red, 3), 0);  // no direction: nothing
  EXPECT_EQ(ScreenPixel(50, 50), kBlack);
}

TEST_F(SoftBackendTest, FlatShapesFillOrOutline) {
  uint32_t red = PackScreenColor(255, 0, 0);
  ASSERT_EQ(SoftPaintTriangleFlat(100, 100, 140, 100, 100, 140, red, 1), 0);
  EXPECT_EQ(ScreenPixel(105, 105), kRed);
  EXPECT_EQ(ScreenPixel(138, 138), kBlack);
  ASSERT_EQ(SoftPaintTriangleFlat(200, 100, 240, 100, 200, 140, red, 0), 0);
  EXPECT_EQ(ScreenPixel(220, 100), kRed);
  EXPECT_EQ(ScreenPixel(205, 105), kBlack);  // outline only
  ASSERT_EQ(SoftPaintQuadFlat(300, 100, 340, 100, 340, 140, 300, 140, red, 1), 0);
  EXPECT_EQ(ScreenPixel(320, 120), kRed);
  EXPECT_EQ(ScreenPixel(302, 138), kRed);
  EXPECT_EQ(ScreenPixel(338, 102), kRed);
  int g = SolidGraph(8, 8, Rgba{0, 255, 0, 255});
  TriangleVertex v[3] = {{400, 100, 0, 0}, {440, 100, 8, 0}, {400, 140, 0, 8}};
  ASSERT_EQ(SoftPaintTriangle(v, g, 0, 0), 0);
  EXPECT_EQ(ScreenPixel(405, 105), (Rgba{0, 255, 0, 255}));
  EXPECT_EQ(SoftPaintTriangle(v, 4242, 0, 0), -1);
  LineRecord lines[1] = {{0, 200, 10, 200, red, 0}};
  SoftStrokeLineList(lines, 1);
  EXPECT_EQ(ScreenPixel(5, 200), kRed);
  PointRecord points[2] = {{0, 210, red, 0}, {3, 210, red, 0}};
  SoftPlotPixelList(points, 2);
  EXPECT_EQ(ScreenPixel(3, 210), kRed);
  EXPECT_EQ(ScreenPixel(2, 210), kBlack);
}

TEST_F(SoftBackendTest, TileMapsDrawEveryEntryButTheEmptyOne) {
  int tiles[2] = {SolidGraph(4, 4, kRed), SolidGraph(4, 4, Rgba{0, 0, 255, 255})};
  const uint32_t map[6] = {0, 1, 0xFFFFFFFFu, 1, 0, 0};
  ASSERT_EQ(SoftPaintGraphMap(100, 300, 3, 2, map, 3, 0, tiles, 0), 0);
  EXPECT_EQ(ScreenPixel(101, 301), kRed);
  EXPECT_EQ(ScreenPixel(105, 301), (Rgba{0, 0, 255, 255}));
  EXPECT_EQ(ScreenPixel(109, 301), kBlack);
  EXPECT_EQ(ScreenPixel(101, 305), (Rgba{0, 0, 255, 255}));
  int bad[1] = {777};
  EXPECT_EQ(SoftPaintGraphMap(0, 0, 1, 1, map, 1, 0, bad, 0), -1);
}

TEST_F(SoftBackendTest, TiledFillCoversOnlyItsRectangleFromTheCentredGrid) {
  int g = MakeGraph(4, 4, [](int x, int y) { return Rgba{x * 60, y * 60, 100, 255}; });
  int clip_before[4];
  GetPaintClipRect(clip_before);
  ASSERT_EQ(SoftPaintGraphTiledRotated(100, 100, 140, 120, 0, 0, 1.0, 0.0, g, 0), 0);
  // 13 tiles a side (an odd count) centred on (120, 110): the grid starts at (94, 84).
  for (auto [x, y] : {std::pair{100, 100}, {139, 119}, {117, 103}})
    EXPECT_EQ(ScreenPixel(x, y), (Rgba{((x - 94) % 4) * 60, ((y - 84) % 4) * 60, 100, 255})) << x << "," << y;
  EXPECT_EQ(ScreenPixel(99, 100), kBlack);
  EXPECT_EQ(ScreenPixel(140, 110), kBlack);
  EXPECT_EQ(ScreenPixel(120, 120), kBlack);
  int clip_after[4];
  GetPaintClipRect(clip_after);
  for (int i = 0; i < 4; i++) EXPECT_EQ(clip_after[i], clip_before[i]);
  // Scrolled by one pixel the pattern moves one pixel left.
  ASSERT_EQ(SoftPaintGraphTiledRotated(200, 100, 240, 120, 1, 0, 1.0, 0.0, g, 0), 0);
  EXPECT_EQ(ScreenPixel(200, 100), (Rgba{((200 - 193) % 4) * 60, ((100 - 84) % 4) * 60, 100, 255}));
  // Turned and zoomed fills still stay inside.
  ASSERT_EQ(SoftPaintGraphTiledRotated(300, 300, 340, 340, 0, 0, 2.0, 0.5, g, 0), 0);
  EXPECT_NE(ScreenPixel(320, 320), kBlack);
  EXPECT_EQ(ScreenPixel(299, 320), kBlack);
  EXPECT_EQ(ScreenPixel(340, 320), kBlack);
}

}  // namespace
