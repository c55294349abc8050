// Frames drawn by the software renderer and by the Direct3D back end over
// OpenGL, compared pixel by pixel. The scenes (compare_scenes.cpp) cover the
// whole public drawing interface, each in a cell of its own so that a
// difference names its scene; every scene agrees within one unit of the
// screen's format per channel, or else its difference is named in
// compare_allowances.inc with the rule that causes it and bounded by what
// it measures today.
//
// Where the paths share a rule the device draws the software kernels' own
// products and cuts (the stand-in's programs make the source terms, the
// wide targets keep the fractions the kernels drop): what is left is the
// kernels' guard bits and their dividing by 256 where a weight is a byte,
// one unit at most.
//
// At 16 bits a graph's texture keeps five bits of green (its sixth holds
// the bit of alpha), the software image six: green agrees within two units
// of six bits there, red and blue within one of five.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>

#include <fnmatch.h>

#include "engine/font/font.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_control.h"
#include "tests/engine/graphics/gl/compare_scenes.h"
#include "tests/engine/graphics/gl/gl_fixture.h"

namespace {

// A 64 x 64 picture with colour in both directions, odd values among them.
int Pattern() {
  return MakeGraph(64, 64, [](int x, int y) {
    return Rgba{x * 4 + y % 4, y * 4 + x % 3, ((x ^ y) * 4 + x % 2) & 255, 255};
  });
}

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

// A difference the two paths are allowed, with the rule that makes it: the
// scenes whose names match the pattern (fnmatch), at one depth or both (0),
// and the bound measured today, per channel in the screen's units and in
// pixels beyond the tolerance, so that any growth fails.
struct Allowance {
  const char* pattern;
  int depth;
  int worst, beyond;
  const char* rule;
};

#include "tests/engine/graphics/gl/compare_allowances.inc"

const Allowance* AllowanceFor(const std::string& name, int depth) {
  for (const Allowance& a : kAllowances)
    if ((a.depth == 0 || a.depth == depth) && fnmatch(a.pattern, name.c_str(), 0) == 0) return &a;
  return nullptr;
}

struct Layout {
  int size, columns, rows;
  Cell At(size_t i) const { return Cell{(int)(i % columns) * size, (int)(i / columns) * size}; }
  size_t Cells() const { return (size_t)columns * rows; }
};

void Reset() {
  SelectBlendMode(0, 0);
  SetPaintBrightness(255, 255, 255);
  SetPaintClipRect(0, 0, 640, 480);
  SetCrossfadeGraph(-1, 0, 0);
  SetPaintFilterMode(0);
}

// Draws every scene on both paths at both depths, page by page, and holds
// each scene to the tolerance or to its allowance. A report of every scene
// that differs goes to the test output folder.
using DrawOnPath = std::function<Frame(bool hardware, int depth, const std::function<void()>& draw)>;

void CompareAll(const DrawOnPath& draw_on, const std::vector<CompareScene>& scenes, const Layout& layout,
                const std::string& title, std::string* report) {
  for (int depth : {32, 16}) {
    for (size_t first = 0; first < scenes.size(); first += layout.Cells()) {
      size_t count = std::min(layout.Cells(), scenes.size() - first);
      auto draw = [&]() {
        WipeDrawScreen();
        for (size_t i = 0; i < count; i++) {
          Reset();
          scenes[first + i].draw(layout.At(i));
          ReleaseAllGraphs();
        }
        Reset();
      };
      Frame software = draw_on(false, depth, draw), hardware = draw_on(true, depth, draw);
      std::string page = title + "-" + std::to_string(depth) + "-" + std::to_string(first / layout.Cells());
      SaveFrame("compare-software-" + page, software);
      SaveFrame("compare-hardware-" + page, hardware);
      for (size_t i = 0; i < count; i++) {
        Cell c = layout.At(i);
        Difference d = Compare(software, hardware, c.x, c.y, std::min(c.x + layout.size, 640),
                               std::min(c.y + layout.size, 480), depth, Tolerance(depth));
        const std::string& name = scenes[first + i].name;
        int worst = std::max({d.worst[0], d.worst[1], d.worst[2]});
        const Allowance* allowed = AllowanceFor(name, depth);
        if (d.beyond || allowed) {
          char line[256];
          snprintf(line, sizeof line, "%2d bits  %-44s worst %3d  beyond %5d%s\n", depth, name.c_str(), worst,
                   d.beyond, allowed ? "  (allowed)" : "");
          *report += line;
        }
        if (!allowed) {
          EXPECT_EQ(d.beyond, 0) << depth << " bits, " << name << Describe(d, c.x, c.y);
        } else {
          EXPECT_LE(worst, allowed->worst) << depth << " bits, " << name << " (" << allowed->rule << ")"
                                           << Describe(d, c.x, c.y);
          EXPECT_LE(d.beyond, allowed->beyond) << depth << " bits, " << name << " (" << allowed->rule << ")";
        }
      }
    }
  }
}

TEST_F(GLGraphicsTest, BothPathsDrawTheWholeInterfaceAlike) {
  std::string report;
  DrawOnPath draw_on = [this](bool hardware, int depth, const std::function<void()>& draw) {
    return DrawOn(hardware, depth, draw);
  };
  CompareAll(draw_on, SmallScenes(), Layout{52, 12, 9}, "small", &report);
  CompareAll(draw_on, LargeScenes(), Layout{104, 6, 4}, "large", &report);
  std::filesystem::create_directories(VOX_TEST_OUTPUT_DIR);
  FILE* f = fopen((std::string(VOX_TEST_OUTPUT_DIR) + "/compare-report.txt").c_str(), "w");
  if (f) {
    fputs(report.c_str(), f);
    fclose(f);
  }
}

// The clip cuts lines and a box outline on the device to the pixels it draws
// without the clip. The software renderer cuts a line's end points at the
// clip's edges (truncated) and walks it again from there, so where a cut
// falls between pixels the line can move by one; it never moves further.
TEST_F(GLGraphicsTest, TheClipCutsLinesWhereEachPathDrawsThem) {
  auto draw = [](bool clip) {
    return [clip] {
      WipeDrawScreen();
      if (clip) SetPaintClipRect(20, 15, 70, 85);
      PaintLine(0, 90, 100, 60, PackScreenColor(255, 255, 255));
      PaintLine(75, 0, 10, 100, PackScreenColor(255, 255, 255));
      PaintLine(0, 20, 100, 70, PackScreenColor(255, 255, 255));
      PaintBoxOutline(10, 10, 90, 95, PackScreenColor(255, 0, 255));
    };
  };
  auto lit = [](const Frame& f, int x, int y) { return f[(size_t)y * kWidth + x] != 0u; };
  for (bool hardware : {false, true}) {
    Frame whole = DrawOn(hardware, 32, draw(false)), cut = DrawOn(hardware, 32, draw(true));
    int moved = 0, far = 0;
    for (int y = 0; y < 110; y++)
      for (int x = 0; x < 110; x++) {
        bool inside = x >= 20 && x < 70 && y >= 15 && y < 85;
        if (!inside) {
          far += lit(cut, x, y);
          continue;
        }
        if (cut[(size_t)y * kWidth + x] == whole[(size_t)y * kWidth + x]) continue;
        moved++;
        bool near = false;
        for (int dy = -1; dy <= 1; dy++)
          for (int dx = -1; dx <= 1; dx++) near |= lit(cut, x, y) ? lit(whole, x + dx, y + dy) : lit(cut, x + dx, y + dy);
        far += !near;
      }
    EXPECT_EQ(far, 0) << (hardware ? "device" : "software renderer");
    if (hardware) {
      EXPECT_EQ(moved, 0);
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
