// Loading graphs from PNG files and memory, with and without their "_a"
// alpha images, reloads, and the refill of graphs from their files.
#include <gtest/gtest.h>

#include "engine/core/log.h"
#include "engine/graphics/graphics.h"
#include "engine/softrender/memimg.h"
#include "tests/engine/graphics/graphics_fixtures.h"

namespace {

class LoadTest : public GraphicsTest {
 protected:
  // A 4 x 2 picture: red, green, blue, black across; the second row white.
  std::string Picture() {
    std::vector<uint8_t> rgb;
    const uint8_t row0[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0};
    rgb.insert(rgb.end(), row0, row0 + 12);
    rgb.insert(rgb.end(), 12, 255);
    return EncodePng(4, 2, rgb, false);
  }
  // Alpha image of the picture: the left half opaque, the right half clear.
  std::string AlphaPicture() {
    std::vector<uint8_t> rgb;
    for (int y = 0; y < 2; y++)
      for (int x = 0; x < 4; x++) rgb.insert(rgb.end(), 3, x < 2 ? 255 : 0);
    return EncodePng(4, 2, rgb, false);
  }
  int CountOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
  }
};

TEST_F(LoadTest, APngWithoutAlphaImageLoadsOpaqueAndKeepsItsFileName) {
  WriteFile("pic.png", Picture());
  int g = LoadGraphFromFile("pic.png");
  ASSERT_GE(g, 0);
  int w, h;
  QueryGraphSize(g, &w, &h);
  EXPECT_EQ(w, 4);
  EXPECT_EQ(h, 2);
  MEMIMG* view = GetGraphMemImage(g);
  EXPECT_EQ(view->store->alpha_flag, 0);
  EXPECT_EQ(MemImgPixel(view, 0, 0), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ(MemImgPixel(view, 2, 0), (Rgba{0, 0, 255, 255}));
  EXPECT_EQ(MemImgPixel(view, 3, 1), (Rgba{255, 255, 255, 255}));
  ASSERT_NE(GetGraphReloadName(g), nullptr);
  EXPECT_NE(std::string(GetGraphReloadName(g)).find("pic.png"), std::string::npos);
  // Drawn with the transparency flag, the black pixel is the colour key.
  PaintFilledBox(0, 0, 10, 10, PackScreenColor(0, 255, 0));
  PaintGraph(0, 0, g, 1);
  EXPECT_EQ(ScreenPixel(3, 0), (Rgba{0, 255, 0, 255}));
  EXPECT_EQ(ScreenPixel(2, 0), (Rgba{0, 0, 255, 255}));
  // Loading the same file twice makes two graphs with two name records.
  int again = LoadGraphFromFile("pic.png");
  EXPECT_NE(GetGraphReloadName(again), GetGraphReloadName(g));
}

TEST_F(LoadTest, AnAlphaImageBesideThePictureGivesTheGraphAnAlphaChannel) {
  WriteFile("pic.png", Picture());
  WriteFile("pic_a.png", AlphaPicture());
  int g = LoadGraphFromFile("pic.png");
  ASSERT_GE(g, 0);
  MEMIMG* view = GetGraphMemImage(g);
  EXPECT_EQ(view->store->alpha_flag, 1);
  EXPECT_EQ(MemImgPixel(view, 0, 0).a, 255);
  EXPECT_EQ(MemImgPixel(view, 3, 0).a, 0);
  PaintFilledBox(0, 0, 10, 10, PackScreenColor(0, 255, 0));
  PaintGraph(0, 0, g, 1);
  EXPECT_EQ(ScreenPixel(0, 0), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ(ScreenPixel(2, 0), (Rgba{0, 255, 0, 255}));  // clear: the box shows
  EXPECT_EQ(ScreenPixel(3, 1), (Rgba{0, 255, 0, 255}));
}

TEST_F(LoadTest, APngWithItsOwnAlphaKeepsIt) {
  std::vector<uint8_t> rgba = {255, 255, 255, 255, 255, 255, 255, 0};
  WriteFile("half.png", EncodePng(2, 1, rgba, true));
  int g = LoadGraphFromFile("half.png");
  ASSERT_GE(g, 0);
  EXPECT_EQ(GetGraphMemImage(g)->store->alpha_flag, 1);
  EXPECT_EQ(MemImgPixel(GetGraphMemImage(g), 1, 0).a, 0);
}

TEST_F(LoadTest, AMissingFileFailsWithOneLogLineNamingIt) {
  EXPECT_EQ(LoadGraphFromFile("nothing_here.png"), -1);
  std::string log = ReadFile("Log.txt");
  EXPECT_EQ(CountOf(log, "nothing_here.png"), 1) << log;
  EXPECT_EQ(CountOf(log, "グラフィックファイル nothing_here.png がありません"), 1);
  EXPECT_EQ(GraphLiveCount(), 0);
  // A file that is no picture (and no movie either).
  WriteFile("junk.png", "not a picture at all");
  EXPECT_EQ(LoadGraphFromFile("junk.png"), -1);
  EXPECT_EQ(CountOf(ReadFile("Log.txt"), "右記のグラフィックファイルのロードに失敗しました：junk.png"), 1);
  EXPECT_EQ(GraphLiveCount(), 0);
}

TEST_F(LoadTest, MemoryImagesLoadMirroredAndRefuseAlphaOfAnotherSize) {
  std::string png = Picture(), alpha = AlphaPicture();
  int g = LoadGraphFromMemory(png.data(), (int)png.size(), nullptr, 0, 0, 1);
  ASSERT_GE(g, 0);
  EXPECT_EQ(MemImgPixel(GetGraphMemImage(g), 3, 0), (Rgba{255, 0, 0, 255}));  // mirrored
  int ga = LoadGraphFromMemory(png.data(), (int)png.size(), alpha.data(), (int)alpha.size(), 0, 0);
  ASSERT_GE(ga, 0);
  EXPECT_EQ(GetGraphMemImage(ga)->store->alpha_flag, 1);
  std::vector<uint8_t> small(3 * 2 * 2, 255);
  std::string wrong = EncodePng(2, 2, small, false);
  EXPECT_EQ(LoadGraphFromMemory(png.data(), (int)png.size(), wrong.data(), (int)wrong.size(), 0, 0), -1);
  EXPECT_EQ(LoadGraphFromMemory("junk", 4, nullptr, 0, 0, 0), -1);
  EXPECT_EQ(GraphLiveCount(), 2);
}

TEST_F(LoadTest, ReloadsNeedTheGraphsOwnSize) {
  std::string png = Picture();
  int same = CreateBlankGraph(4, 2, 0);
  EXPECT_EQ(ReloadGraphFromMemory(png.data(), (int)png.size(), same, nullptr, 0, 0, 0), 0);
  EXPECT_EQ(MemImgPixel(GetGraphMemImage(same), 1, 0), (Rgba{0, 255, 0, 255}));
  int other = CreateBlankGraph(5, 2, 0);
  EXPECT_EQ(ReloadGraphFromMemory(png.data(), (int)png.size(), other, nullptr, 0, 0, 0), -1);
  EXPECT_EQ(ReloadGraphFromMemory(png.data(), (int)png.size(), 4242, nullptr, 0, 0, 0), -1);
}

TEST_F(LoadTest, PartGraphsOfAFileAreRefilledFromIt) {
  WriteFile("pic.png", Picture());
  int g = LoadGraphFromFile("pic.png");
  int part = CreatePartGraph(1, 0, 2, 2, g);
  FillGraphSolid(g, 0, 0, 0, 255);
  EXPECT_EQ(MemImgPixel(GetGraphMemImage(part), 0, 0), (Rgba{0, 0, 0, 255}));
  ASSERT_EQ(RestoreAllGraphs(), 0);
  EXPECT_EQ(MemImgPixel(GetGraphMemImage(g), 0, 0), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ(MemImgPixel(GetGraphMemImage(part), 0, 0), (Rgba{0, 255, 0, 255}));
  EXPECT_NE(ReadFile("Log.txt").find("グラフィックを復帰します"), std::string::npos);
}

TEST_F(LoadTest, TransfersAreCutToTheGraph) {
  BASEIMAGE image = MakeImage(8, 8, [](int x, int y) { return Rgba{x * 30, y * 30, 0, 255}; });
  image.format.alpha_width = 0;
  int g = CreateBlankGraph(4, 4, 0);
  int32_t rect[4] = {2, 2, 8, 8};
  EXPECT_EQ(TransferImageToGraph(nullptr, &image, nullptr, rect, 1, 1, g, 0), 0);
  EXPECT_EQ(MemImgPixel(GetGraphMemImage(g), 1, 1).r, 60);
  EXPECT_EQ(MemImgPixel(GetGraphMemImage(g), 3, 3).r, 120);
  int32_t outside[4] = {2, 2, 4, 4};
  EXPECT_EQ(TransferImageToGraph(nullptr, &image, nullptr, outside, 10, 10, g, 0), -1);
  DisposeBaseImage(&image);
}

}  // namespace
