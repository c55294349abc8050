// Graph handles: creation, part graphs, deletion and the shared pixels,
// sizes, reload names and the copy of the draw screen into a graph.
#include <gtest/gtest.h>

#include "engine/core/handle.h"
#include "engine/graphics/graphics.h"
#include "engine/softrender/memimg.h"
#include "tests/engine/graphics/graphics_fixtures.h"

namespace {

class GraphTest : public GraphicsTest {};

const Rgba kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255}, kBlack{0, 0, 0, 255},
    kWhite{255, 255, 255, 255};

TEST_F(GraphTest, HandlesCarryTheGraphTagAndFailOnceTheirSlotIsReused) {
  int a = CreateBlankGraph(8, 8, 0);
  ASSERT_GE(a, 0);
  EXPECT_EQ((uint32_t)a & HANDLE_TAG_MASK, HANDLE_GRAPH);
  EXPECT_EQ(IsGraphHandleValid(a), 1);
  EXPECT_EQ(ReleaseGraph(a), 0);
  EXPECT_EQ(IsGraphHandleValid(a), 0);
  int b = CreateBlankGraph(8, 8, 0);
  EXPECT_EQ(b & 0xFFFF, a & 0xFFFF);  // same slot, new check number
  EXPECT_NE(a, b);
  EXPECT_EQ(ReleaseGraph(a), -1);
  EXPECT_EQ(PaintGraph(0, 0, a, 0), -1);
  int w = 0, h = 0;
  EXPECT_EQ(QueryGraphSize(a, &w, &h), -1);
  EXPECT_EQ(IsGraphHandleValid(-1), 0);
  EXPECT_EQ(IsGraphHandleValid(0x10000000), 0);
}

TEST_F(GraphTest, DeletingTheTopmostGraphLowersTheHighWaterPastEmptySlots) {
  int g[4];
  for (int& h : g) h = CreateBlankGraph(4, 4, 0);
  EXPECT_EQ(GraphHighWater(), 4);
  ReleaseGraph(g[1]);
  ReleaseGraph(g[2]);
  EXPECT_EQ(GraphHighWater(), 4);
  ReleaseGraph(g[3]);
  EXPECT_EQ(GraphHighWater(), 1);
  ReleaseGraph(g[0]);
  EXPECT_EQ(GraphHighWater(), 0);
  EXPECT_EQ(GraphLiveCount(), 0);
}

TEST_F(GraphTest, PartGraphsAreCutAtTheSourceEdgesAndRefuseEmptySizes) {
  int src = MakeGraph(10, 6, [](int x, int y) { return Rgba{x * 20, y * 40, 0, 255}; });
  struct Case {
    int x, y, w, h;
    int ok, want_w, want_h;
  } cases[] = {
      {2, 1, 4, 3, 1, 4, 3},  {6, 0, 100, 2, 1, 4, 2}, {0, 4, 3, 100, 1, 3, 2}, {10, 0, 1, 1, 0, 0, 0},
      {0, 6, 1, 1, 0, 0, 0},  {-1, 0, 1, 1, 0, 0, 0},  {1, 1, 0, 3, 0, 0, 0},   {1, 1, 3, -2, 0, 0, 0},
      {9, 5, 1, 1, 1, 1, 1},
  };
  for (const Case& c : cases) {
    int part = CreatePartGraph(c.x, c.y, c.w, c.h, src);
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " " << c.w << "x" << c.h);
    if (!c.ok) {
      EXPECT_EQ(part, -1);
      continue;
    }
    ASSERT_GE(part, 0);
    int w, h;
    ASSERT_EQ(QueryGraphSize(part, &w, &h), 0);
    EXPECT_EQ(w, c.want_w);
    EXPECT_EQ(h, c.want_h);
    // The part shows the source's pixels at its offset.
    EXPECT_EQ(MemImgPixel(GetGraphMemImage(part), 0, 0), (Rgba{c.x * 20, c.y * 40, 0, 255}));
    ReleaseGraph(part);
  }
  EXPECT_EQ(CreatePartGraph(0, 0, 1, 1, -1), -1);
}

TEST_F(GraphTest, SharedPixelsLiveUntilTheLastPartGraphIsDeleted) {
  int src = SolidGraph(8, 8, kGreen);
  int part = CreatePartGraph(2, 2, 4, 4, src);
  int part_of_part = CreatePartGraph(1, 1, 2, 2, part);
  ASSERT_GE(part_of_part, 0);
  ReleaseGraph(src);
  ReleaseGraph(part);
  // Still drawable: the pixels are shared, not owned by the first graph.
  EXPECT_EQ(PaintGraph(100, 100, part_of_part, 0), 0);
  EXPECT_EQ(ScreenPixel(100, 100), kGreen);
  EXPECT_EQ(ScreenPixel(102, 100), kBlack);
  ReleaseGraph(part_of_part);
  EXPECT_EQ(GraphLiveCount(), 0);
}

TEST_F(GraphTest, ReleaseWatchFlagIsSetWhenTheGraphGoes) {
  int g = CreateBlankGraph(4, 4, 0);
  int flag = 7;
  ASSERT_EQ(WatchGraphRelease(g, &flag), 0);
  EXPECT_EQ(flag, 0);
  ReleaseAllGraphs();
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(WatchGraphRelease(g, &flag), -1);
}

TEST_F(GraphTest, SizeQueriesKnowTheScreenCodesOnly) {
  int w = 0, h = 0;
  EXPECT_EQ(QueryGraphSize(DRAW_SCREEN_BACK, &w, &h), 0);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  EXPECT_EQ(QueryGraphSize(DRAW_SCREEN_FRONT, nullptr, &h), 0);
  EXPECT_EQ(QueryGraphSize(-3, &w, &h), -1);
  EXPECT_EQ(QueryGraphSize(-5, &w, &h), -1);
}

TEST_F(GraphTest, ReloadNamesAreSharedByPartsAndDroppedWithTheLastOne) {
  int g = CreateBlankGraph(4, 4, 0);
  ASSERT_EQ(StoreGraphFileName(g, "pic.png", -1), 0);
  std::string full = GetGraphReloadName(g);
  EXPECT_NE(full.find("pic.png"), std::string::npos);
  EXPECT_NE(full, "pic.png");  // resolved against the current folder
  int part = CreatePartGraph(1, 1, 2, 2, g);
  EXPECT_EQ(GetGraphReloadName(part), GetGraphReloadName(g));
  int other = CreateBlankGraph(4, 4, 0);
  EXPECT_EQ(StoreGraphFileName(other, nullptr, g), 0);
  EXPECT_EQ(GetGraphReloadName(other), GetGraphReloadName(g));
  EXPECT_EQ(StoreGraphFileName(other, nullptr, -1), 0);
  EXPECT_EQ(GetGraphReloadName(other), nullptr);
  EXPECT_EQ(StoreGraphFileName(other, nullptr, 12345), -1);
  ReleaseGraph(g);
  EXPECT_NE(GetGraphReloadName(part), nullptr);
}

TEST_F(GraphTest, DrawScreenCopyNeedsARectangleOfTheGraphsSize) {
  int src = MakeGraph(4, 4, [](int x, int y) { return (x + y) % 2 ? kRed : kBlue; });
  PaintGraph(10, 20, src, 0);
  int dst = CreateBlankGraph(4, 4, 0);
  struct Case {
    int x1, y1, x2, y2, result;
  } cases[] = {{10, 20, 14, 24, 0}, {10, 20, 15, 24, -1}, {10, 20, 14, 23, -1}, {-1, 20, 3, 24, -1},
               {14, 24, 10, 20, -1}, {637, 0, 641, 4, -1}, {636, 476, 640, 480, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(GetDrawScreenGraph(c.x1, c.y1, c.x2, c.y2, dst), c.result) << c.x1 << "," << c.y1;
  EXPECT_EQ(GetDrawScreenGraph(10, 20, 14, 24, dst), 0);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) EXPECT_EQ(MemImgPixel(GetGraphMemImage(dst), x, y), (x + y) % 2 ? kRed : kBlue);
  EXPECT_EQ(GetDrawScreenGraph(10, 20, 14, 24, 999), -1);
}

TEST_F(GraphTest, GraphsCanBeDrawScreensAndDeletingOneGivesTheScreenBack) {
  int target = CreateBlankGraph(16, 16, 0);
  ASSERT_EQ(SelectDrawScreen(target), 0);
  int clip[4];
  GetPaintClipRect(clip);
  EXPECT_EQ(clip[2], 16);
  EXPECT_EQ(clip[3], 16);
  int dot = SolidGraph(2, 2, kWhite);
  PaintGraph(3, 4, dot, 0);
  EXPECT_EQ(MemImgPixel(GetGraphMemImage(target), 3, 4), kWhite);
  EXPECT_EQ(ScreenPixel(3, 4), kBlack);
  ReleaseGraph(target);
  EXPECT_EQ(CurrentDrawScreen(), DRAW_SCREEN_BACK);
  PaintGraph(3, 4, dot, 0);
  EXPECT_EQ(ScreenPixel(3, 4), kWhite);
  EXPECT_EQ(SelectDrawScreen(123), -1);
  // -3 is drawn like the back buffer, over the whole screen.
  int small = CreateBlankGraph(8, 8, 0);
  SelectDrawScreen(small);
  EXPECT_EQ(SelectDrawScreen(-3), 0);
  GetPaintClipRect(clip);
  EXPECT_EQ(clip[2], 640);
  EXPECT_EQ(clip[3], 480);
  PaintGraph(100, 100, dot, 0);
  EXPECT_EQ(ScreenPixel(101, 101), kWhite);
}

TEST_F(GraphTest, BlankGraphsOfNoSizeAreRefused) {
  EXPECT_EQ(CreateBlankGraph(0, 4, 0), -1);
  EXPECT_EQ(CreateBlankGraph(4, -1, 0), -1);
  EXPECT_EQ(GraphLiveCount(), 0);
}

}  // namespace

namespace {

class BlankGraphTest : public GraphicsTest {};

TEST_F(BlankGraphTest, BlankGraphsStartBlackAndKeyedOrClear) {
  PaintFilledBox(0, 0, 20, 20, PackScreenColor(0, 0, 255));
  int opaque = CreateBlankGraph(4, 4, 0);
  PaintGraph(0, 0, opaque, 1);
  EXPECT_EQ(ScreenPixel(1, 1), (Rgba{0, 0, 255, 255}));  // black is the colour key
  PaintGraph(8, 0, opaque, 0);
  EXPECT_EQ(ScreenPixel(9, 1), (Rgba{0, 0, 0, 255}));
  SetGraphCreateAlphaChannel(1);
  int clear = CreateBlankGraph(4, 4, 0);
  SetGraphCreateAlphaChannel(0);
  EXPECT_EQ(MemImgPixel(GetGraphMemImage(clear), 0, 0).a, 0);
  PaintGraph(0, 8, clear, 1);
  EXPECT_EQ(ScreenPixel(1, 9), (Rgba{0, 0, 255, 255}));
}

// The software drawers draw nothing into an image with an alpha channel, so
// a draw target asked for with one is made without it: what is drawn into
// it stays, and where nothing was drawn its black is the colour key.
TEST_F(BlankGraphTest, ADrawTargetAskedForWithAlphaTakesWhatIsDrawnIntoIt) {
  int green = SolidGraph(2, 8, {0, 255, 0, 255});
  SetGraphCreateDrawTarget(1);
  SetGraphCreateAlphaChannel(1);
  int target = CreateBlankGraph(8, 8, 0);
  SetGraphCreateAlphaChannel(0);
  SetGraphCreateDrawTarget(0);
  ASSERT_EQ(SelectDrawScreen(target), 0);
  PaintFilledBox(0, 0, 4, 8, PackScreenColor(255, 0, 0));
  PaintGraph(4, 0, green, 0);
  SelectDrawScreen(DRAW_SCREEN_BACK);
  PaintFilledBox(0, 0, 20, 20, PackScreenColor(0, 0, 255));
  PaintGraph(0, 0, target, 1);
  EXPECT_EQ(ScreenPixel(1, 1), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ(ScreenPixel(5, 1), (Rgba{0, 255, 0, 255}));
  EXPECT_EQ(ScreenPixel(7, 1), (Rgba{0, 0, 255, 255}));
}

}  // namespace
