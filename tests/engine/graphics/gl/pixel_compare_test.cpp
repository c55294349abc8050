// The same frames drawn by the software renderer and by the Direct3D back
// end over OpenGL agree pixel by pixel, within one unit of the screen's
// format per channel: the blend modes the game draws with (copy and alpha,
// with and without a blend parameter) and add, subtract, multiply and
// inverted alpha, transparency by alpha channel and by colour key,
// brightness, the crossfade, draw-target graphs, the clip, the primitives
// and drawing through the mask screen. Each scene draws into a cell of its
// own, so a difference names its scene.
//
// The device draws the software kernels' own products and cuts (the
// stand-in's programs make the source terms, the wide targets keep the
// fractions the kernels drop): what is left is the kernels' guard bits and
// their dividing by 256 where a weight is a byte, one unit at most.
//
// At 16 bits a graph's texture keeps five bits of green (its sixth holds
// the bit of alpha), the software image six: green agrees within two units
// of six bits there, red and blue within one of five.
//
// A stretch by a factor that is not whole is left out: the device samples
// each pixel at its centre, the software stretcher steps from the pixel's
// top-left corner, so rows and columns near a texel's edge can take the
// neighbouring texel. So is a crossfade with a border range above 1: the
// device draws its ramp in three bands of fixed slopes (4, 2 and 1) where
// the software ramp rises by 256 / (range + 1).
#include <algorithm>
#include <cstdio>
#include <functional>

#include "engine/font/font.h"
#include "platform/d3d9/d3d9.h"
#include "tests/engine/graphics/gl/gl_fixture.h"

namespace {

struct Cell {
  int x, y;
};

// A 64 x 64 picture with colour in both directions, odd values among them.
int Pattern() {
  return MakeGraph(64, 64, [](int x, int y) {
    return Rgba{x * 4 + y % 4, y * 4 + x % 3, ((x ^ y) * 4 + x % 2) & 255, 255};
  });
}

// White (fading to yellow down the rows) through an alpha ramp from 0 at the
// left to 255 at the right: every weight at the full height of a channel,
// where a weight's error shows most.
int AlphaRamp() {
  BASEIMAGE image = MakeImage(64, 64, [](int x, int y) { return Rgba{255, 255 - y, 255 - 3 * y, x * 255 / 63}; });
  int graph = CreateGraphFromImage(&image, nullptr, 0, 0, 0);
  DisposeBaseImage(&image);
  return graph;
}

// 48 x 48 with an alpha channel running from 0 at the left to 255 at the right.
int AlphaGraph() {
  BASEIMAGE image = MakeImage(48, 48, [](int x, int y) { return Rgba{250, 120 + y, 40, x * 255 / 47}; });
  int graph = CreateGraphFromImage(&image, nullptr, 0, 0, 0);
  DisposeBaseImage(&image);
  return graph;
}

// 48 x 48 with black holes: the colour key shows the background through them.
int KeyedGraph() {
  return MakeGraph(48, 48, [](int x, int y) {
    bool hole = ((x / 8) + (y / 8)) % 2 == 0;
    return hole ? Rgba{0, 0, 0, 255} : Rgba{40 + x * 3, 200, 90 + y * 2, 255};
  });
}

struct Scene {
  std::string name;
  std::function<void(Cell)> draw;
};

// The largest difference of two frames inside a rectangle, per channel in
// units of the screen's format (8-bit values at 32 bits; at 16 bits units of
// five bits for red and blue, six for green), and where it is.
struct Difference {
  int worst[3] = {};  // blue, green, red
  int beyond = 0;     // pixels differing by more than the tolerance
  int x = -1, y = -1;
  uint32_t software = 0, hardware = 0;
};

Difference Compare(const Frame& software, const Frame& hardware, int x0, int y0, int x1, int y1, int depth,
                   const int tolerance[3]) {
  static const int kDrop16[3] = {3, 2, 3};
  Difference d;
  for (int y = y0; y < y1; y++)
    for (int x = x0; x < x1; x++) {
      uint32_t a = software[(size_t)y * 640 + x], b = hardware[(size_t)y * 640 + x];
      bool beyond = false;
      for (int k = 0; k < 3; k++) {
        int drop = depth == 16 ? kDrop16[k] : 0;
        int step = std::abs((int)(((a >> (8 * k)) & 255) >> drop) - (int)(((b >> (8 * k)) & 255) >> drop));
        if (step > tolerance[k]) beyond = true;
        if (step > d.worst[k]) d.worst[k] = step, d.x = x, d.y = y, d.software = a, d.hardware = b;
      }
      if (beyond) d.beyond++;
    }
  return d;
}

std::string Describe(const Difference& d, int x0, int y0) {
  char text[128];
  snprintf(text, sizeof text, " (worst blue %d, green %d, red %d; at %d,%d: %06X against %06X)", d.worst[0],
           d.worst[1], d.worst[2], d.x - x0, d.y - y0, d.software, d.hardware);
  return text;
}

// The tolerance of a frame of the depth, blue, green, red (see the top).
const int* Tolerance(int depth) {
  static const int k32[3] = {1, 1, 1}, k16[3] = {1, 2, 1};
  return depth == 16 ? k16 : k32;
}

void Reset() {
  SelectBlendMode(0, 0);
  SetPaintBrightness(255, 255, 255);
  SetPaintClipRect(0, 0, 640, 480);
  SetCrossfadeGraph(-1, 0, 0);
}

std::vector<Scene> Scenes() {
  auto back = [](Cell c) { PaintFilledBox(c.x, c.y, c.x + 96, c.y + 96, PackScreenColor(110, 120, 130)); };
  std::vector<Scene> s;
  s.push_back({"plain copy", [](Cell c) { PaintGraph(c.x + 10, c.y + 10, Pattern(), 0); }});
  s.push_back({"alpha blend 128", [back](Cell c) {
                 back(c);
                 SelectBlendMode(1, 128);
                 PaintGraph(c.x + 10, c.y + 10, Pattern(), 0);
               }});
  s.push_back({"alpha blend 77 with brightness", [back](Cell c) {
                 back(c);
                 SelectBlendMode(1, 77);
                 SetPaintBrightness(200, 100, 50);
                 PaintGraph(c.x + 10, c.y + 10, Pattern(), 0);
               }});
  s.push_back({"brightness", [](Cell c) {
                 SetPaintBrightness(255, 128, 30);
                 PaintGraph(c.x + 10, c.y + 10, Pattern(), 1);
               }});
  s.push_back({"alpha channel", [back](Cell c) {
                 back(c);
                 PaintGraph(c.x + 10, c.y + 10, AlphaGraph(), 1);
               }});
  s.push_back({"alpha channel blended 160", [back](Cell c) {
                 back(c);
                 SelectBlendMode(1, 160);
                 PaintGraph(c.x + 10, c.y + 10, AlphaGraph(), 1);
               }});
  auto black = [](Cell c) { PaintFilledBox(c.x, c.y, c.x + 96, c.y + 96, PackScreenColor(0, 0, 0)); };
  for (int p : {160, 77})
    s.push_back({"alpha ramp blended " + std::to_string(p), [black, p](Cell c) {
                   black(c);
                   SelectBlendMode(1, p);
                   PaintGraph(c.x + 10, c.y + 10, AlphaRamp(), 1);
                 }});
  for (int mode : {2, 3})
    for (int p : {255, 130})
      s.push_back({std::string(mode == 2 ? "alpha ramp added " : "alpha ramp subtracted ") + std::to_string(p),
                   [back, mode, p](Cell c) {
                     back(c);
                     SelectBlendMode(mode, p);
                     PaintGraph(c.x + 10, c.y + 10, AlphaRamp(), 1);
                   }});
  // At 255 the software adds and subtracts whole pixels (pairs of them at
  // 16 bits, from either column).
  for (int mode : {2, 3})
    s.push_back({mode == 2 ? "add 255" : "subtract 255", [back, mode](Cell c) {
                   back(c);
                   SelectBlendMode(mode, 255);
                   PaintGraph(c.x + 10, c.y + 10, Pattern(), 0);
                   PaintGraph(c.x + 11, c.y + 75, Pattern(), 0);
                 }});
  for (int mode : {2, 3})
    s.push_back({mode == 2 ? "add with brightness" : "subtract with brightness", [back, mode](Cell c) {
                   back(c);
                   SelectBlendMode(mode, mode == 2 ? 150 : 190);
                   SetPaintBrightness(200, 100, 50);
                   PaintGraph(c.x + 10, c.y + 10, Pattern(), 0);
                 }});
  s.push_back({"inverted alpha", [back](Cell c) {
                 back(c);
                 SelectBlendMode(10, 140);
                 PaintGraph(c.x + 10, c.y + 10, Pattern(), 0);
               }});
  s.push_back({"colour key", [back](Cell c) {
                 back(c);
                 PaintGraph(c.x + 10, c.y + 10, KeyedGraph(), 1);
               }});
  s.push_back({"colour key blended 200", [back](Cell c) {
                 back(c);
                 SelectBlendMode(1, 200);
                 PaintGraph(c.x + 10, c.y + 10, KeyedGraph(), 1);
               }});
  s.push_back({"add", [back](Cell c) {
                 back(c);
                 SelectBlendMode(2, 128);
                 PaintGraph(c.x + 10, c.y + 10, Pattern(), 0);
               }});
  s.push_back({"subtract", [back](Cell c) {
                 back(c);
                 SelectBlendMode(3, 200);
                 PaintGraph(c.x + 10, c.y + 10, Pattern(), 0);
               }});
  s.push_back({"multiply", [back](Cell c) {
                 back(c);
                 SelectBlendMode(4, 255);
                 PaintGraph(c.x + 10, c.y + 10, Pattern(), 0);
               }});
  s.push_back({"stretched twice and mirrored", [](Cell c) {
                 int g = MakeGraph(32, 32, [](int x, int y) { return Rgba{x * 8, 255 - y * 8, (x * y) & 255, 255}; });
                 PaintGraphStretched(c.x, c.y, c.x + 64, c.y + 64, g, 0);
                 PaintGraphMirrored(c.x + 64, c.y + 64, g, 0);
                 PaintGraphStretched(c.x + 64, c.y, c.x + 32, c.y + 64, g, 0);
               }});
  s.push_back({"part and clip", [](Cell c) {
                 int g = Pattern();
                 PaintGraphPart(c.x + 4, c.y + 4, 10, 20, 30, 25, g, 0);
                 SetPaintClipRect(c.x + 40, c.y + 40, c.x + 90, c.y + 90);
                 PaintGraph(c.x + 20, c.y + 30, g, 0);
               }});
  s.push_back({"draw-target graph", [](Cell c) {
                 SetGraphCreateDrawTarget(1);
                 int target = CreateBlankGraph(64, 64, 0);
                 SetGraphCreateDrawTarget(0);
                 SelectDrawScreen(target);
                 PaintFilledBox(0, 0, 64, 64, PackScreenColor(200, 40, 40));
                 PaintGraph(16, 16, KeyedGraph(), 1);
                 SelectDrawScreen(DRAW_SCREEN_BACK);
                 PaintGraph(c.x + 10, c.y + 10, target, 0);
               }});
  s.push_back({"crossfade wipe", [back](Cell c) {
                 back(c);
                 // A crossfade graph is a grey picture of one byte a pixel.
                 SetGraphCreateBlendImage(1);
                 PIXELFORMAT grey;
                 InitGreyPixelFormat(&grey);
                 BASEIMAGE wipe{};
                 MakeBaseImageOfFormat(64, 64, &grey, &wipe);
                 for (int y = 0; y < 64; y++)
                   for (int x = 0; x < 64; x++) wipe.pixels[(size_t)y * wipe.pitch + x] = x < 32 ? 0 : 255;
                 int blend = CreateGraphFromImage(&wipe, nullptr, 0, 0, 0);
                 DisposeBaseImage(&wipe);
                 SetGraphCreateBlendImage(0);
                 SelectBlendMode(1, 255);
                 ASSERT_EQ(SetCrossfadeGraph(blend, 128, 0), 0);
                 PaintGraph(c.x + 10, c.y + 10, Pattern(), 0);
                 SetCrossfadeGraph(-1, 0, 0);
               }});
  s.push_back({"filled boxes", [](Cell c) {
                 PaintFilledBox(c.x + 5, c.y + 5, c.x + 50, c.y + 40, PackScreenColor(250, 200, 0));
                 SelectBlendMode(1, 100);
                 PaintFilledBox(c.x + 30, c.y + 20, c.x + 90, c.y + 80, PackScreenColor(0, 100, 250));
               }});
  s.push_back({"box outlines", [](Cell c) {
                 PaintBoxOutline(c.x + 5, c.y + 5, c.x + 60, c.y + 50, PackScreenColor(255, 255, 255));
                 PaintBoxOutline(c.x + 40, c.y + 30, c.x + 90, c.y + 90, PackScreenColor(255, 0, 255));
               }});
  s.push_back({"lines", [](Cell c) {
                 uint32_t white = PackScreenColor(255, 255, 255);
                 PaintLine(c.x + 5, c.y + 5, c.x + 90, c.y + 5, white);
                 PaintLine(c.x + 5, c.y + 10, c.x + 5, c.y + 90, white);
                 PaintLine(c.x + 90, c.y + 20, c.x + 20, c.y + 20, white);
                 PaintLine(c.x + 30, c.y + 90, c.x + 30, c.y + 30, white);
               }});
  // Drawing through the mask screen: a graph, a blended box and a line
  // reach the screen only where the mask's bytes let them (stripes and a
  // square hole here), and the reverse where they do not.
  for (int reverse = 0; reverse < 2; reverse++)
    s.push_back({reverse ? "mask reversed" : "mask", [back, reverse](Cell c) {
                   back(c);
                   ASSERT_EQ(CreateMaskScreen(1), 0);
                   uint8_t* mask = GetMaskBuffer();
                   ASSERT_NE(mask, nullptr);
                   for (int y = c.y; y < c.y + 96; y++)
                     for (int x = c.x; x < c.x + 96; x++) {
                       bool hole = x >= c.x + 40 && x < c.x + 60 && y >= c.y + 40 && y < c.y + 60;
                       mask[(size_t)y * 640 + x] = ((x - c.x) / 6 % 2 == 0) && !hole ? 1 : 0;
                     }
                   SetMaskReverse(reverse);
                   ASSERT_EQ(EnableMaskScreen(1), 0);
                   PaintGraph(c.x + 10, c.y + 10, Pattern(), 0);
                   SelectBlendMode(1, 128);
                   PaintFilledBox(c.x + 30, c.y + 30, c.x + 90, c.y + 90, PackScreenColor(250, 250, 0));
                   SelectBlendMode(0, 0);
                   PaintLine(c.x + 2, c.y + 80, c.x + 94, c.y + 80, PackScreenColor(255, 255, 255));
                   EnableMaskScreen(0);
                   SetMaskReverse(0);
                   ReleaseMaskScreen();
                 }});
  s.push_back({"screen copied into a graph", [](Cell c) {
                 PaintGraph(c.x, c.y, Pattern(), 0);
                 int copy = CreateBlankGraph(32, 32, 0);
                 GetDrawScreenGraph(c.x + 8, c.y + 8, c.x + 40, c.y + 40, copy);
                 PaintGraph(c.x + 60, c.y + 60, copy, 0);
               }});
  return s;
}

TEST_F(GLGraphicsTest, BothBackEndsDrawTheSameFrames) {
  std::vector<Scene> scenes = Scenes();
  constexpr size_t kCells = 24;  // 6 x 4 cells of 106 pixels a frame
  auto cell_of = [](size_t i) { return Cell{(int)(i % 6) * 106 + 2, (int)(i / 6) * 106 + 2}; };
  for (int depth : {32, 16}) {
    for (size_t first = 0; first < scenes.size(); first += kCells) {
      size_t count = std::min(kCells, scenes.size() - first);
      auto draw = [&]() {
        WipeDrawScreen();
        for (size_t i = 0; i < count; i++) {
          Reset();
          scenes[first + i].draw(cell_of(i));
        }
        Reset();
      };
      Frame software = DrawOn(false, depth, draw), hardware = DrawOn(true, depth, draw);
      std::string page = std::to_string(depth) + "-" + std::to_string(first / kCells);
      SaveFrame("compare-software-" + page, software);
      SaveFrame("compare-hardware-" + page, hardware);
      for (size_t i = 0; i < count; i++) {
        Cell c = cell_of(i);
        Difference d = Compare(software, hardware, c.x, c.y, std::min(c.x + 104, kWidth), std::min(c.y + 104, kHeight),
                               depth, Tolerance(depth));
        const std::string& name = scenes[first + i].name;
        EXPECT_EQ(d.beyond, 0) << depth << " bits, " << name << Describe(d, c.x, c.y);
        // The mask let the graph through where it should, on both paths.
        if (name == "mask" || name == "mask reversed") {
          const uint32_t background = software[(size_t)(c.y + 2) * kWidth + c.x + 2];
          size_t open = (size_t)(c.y + 20) * kWidth + c.x + 13, shut = (size_t)(c.y + 20) * kWidth + c.x + 10;
          bool reversed = name == "mask reversed";
          for (const Frame* f : {&software, &hardware}) {
            EXPECT_EQ((*f)[open] == background, reversed) << name;
            EXPECT_EQ((*f)[shut] == background, !reversed) << name;
          }
        }
      }
    }
  }
}

// A whole frame as the game draws one: a full-screen background (two
// textures wide on the device), a board of colour-keyed blocks, sprites cut
// by the screen's edges, a stretched picture, a translucent panel and text.
TEST_F(GLGraphicsTest, BothBackEndsDrawAWholeGameFrame) {
  auto draw = []() {
    WipeDrawScreen();
    int background =
        MakeGraph(640, 480, [](int x, int y) { return Rgba{x * 255 / 639, y * 255 / 479, (x + y) & 255, 255}; });
    int blocks[3];
    for (int i = 0; i < 3; i++)
      blocks[i] = MakeGraph(32, 32, [i](int x, int y) {
        if (x < 3 && y < 3) return Rgba{0, 0, 0, 255};  // keyed corner
        return x < 2 || y < 2 ? Rgba{255, 255, 255, 255} : Rgba{60 + i * 80, 200 - i * 60, 40 + x * 4, 255};
      });
    int picture = Pattern();
    PaintGraph(0, 0, background, 0);
    for (int row = 0; row < 14; row++)
      for (int col = 0; col < 6; col++) PaintGraph(40 + col * 32, 16 + row * 32, blocks[(row + col) % 3], 1);
    PaintGraph(-10, 200, picture, 0);   // cut by the left edge
    PaintGraph(600, 450, picture, 0);   // cut by the right and bottom edges
    PaintGraph(300, -20, blocks[1], 1);  // cut by the top edge
    PaintGraphStretched(300, 40, 556, 296, picture, 0);  // four times (see the note at the top)
    SelectBlendMode(1, 128);
    PaintFilledBox(300, 320, 620, 460, PackScreenColor(0, 0, 0));
    SelectBlendMode(0, 0);
    int font = CreateFontToHandle("ＭＳ ゴシック", 24, 4, 0, -1, -1, 0);
    DrawTextWithFont(320, 400, "スコア 004560", PackScreenColor(255, 255, 255), font, 0, 0);
    FreeFontHandle(font);
  };
  for (int depth : {32, 16}) {
    Frame software = DrawOn(false, depth, draw), hardware = DrawOn(true, depth, draw);
    SaveFrame("game-frame-software-" + std::to_string(depth), software);
    SaveFrame("game-frame-hardware-" + std::to_string(depth), hardware);
    Difference d = Compare(software, hardware, 0, 0, kWidth, kHeight, depth, Tolerance(depth));
    EXPECT_EQ(d.beyond, 0) << depth << " bits" << Describe(d, 0, 0);
  }
}

}  // namespace

namespace {

// Subtract on a device without blend operations runs as three passes:
// invert the destination, add, invert back. It shows what a device that
// subtracts in its blend unit shows, for graphs, boxes, lines and text.
TEST_F(GLGraphicsTest, SubtractInThreePassesMatchesTheBlendUnit) {
  auto draw = []() {
    WipeDrawScreen();
    PaintFilledBox(0, 0, 640, 480, PackScreenColor(200, 180, 160));
    SelectBlendMode(3, 200);
    PaintGraph(20, 20, Pattern(), 0);
    PaintFilledBox(120, 20, 200, 100, PackScreenColor(90, 40, 10));
    PaintLine(20, 120, 300, 140, PackScreenColor(120, 120, 0));
    int font = CreateFontToHandle("ＭＳ ゴシック", 24, 4, 0, -1, -1, 0);
    DrawTextWithFont(20, 200, "Voxaldrift", PackScreenColor(150, 150, 150), font, 0, 0);
    FreeFontHandle(font);
    SelectBlendMode(0, 0);
  };
  D3D9CapabilityScript script{};
  script.no_blend_op = TRUE;
  Frame three_passes = DrawOn(true, 32, draw, script), blend_unit = DrawOn(true, 32, draw);
  const int exact[3] = {0, 0, 0};
  Difference d = Compare(three_passes, blend_unit, 0, 0, kWidth, kHeight, 32, exact);
  EXPECT_EQ(d.beyond, 0) << Describe(d, 0, 0);
  EXPECT_NE(blend_unit[(size_t)30 * 640 + 30], blend_unit[(size_t)300 * 640 + 600]);  // the graph darkened
}

}  // namespace
