// Frames drawn by the software renderer and by the Direct3D back end over
// OpenGL, compared pixel by pixel. The scenes (compare_scenes.cpp,
// compare_shapes.cpp, compare_text.cpp) cover the whole public drawing
// interface, each in a cell of its own so that a difference names its
// scene. A scene whose two paths follow one rule is held to the claim: the
// two frames agree within one unit of the screen's format per channel (at
// 16 bits two of green). A scene whose paths follow different rules names
// them, and each frame is held to what its own path's rule predicts pixel
// by pixel, drawn over the frame of the backgrounds alone (or both frames
// to a bound the rules give).
//
// Where the paths share a rule the device draws the software kernels' own
// products and cuts (the stand-in's programs make the source terms, the
// wide targets keep the fractions the kernels drop): what is left is the
// kernels' guard bits and their dividing by 256 where a weight is a byte,
// one unit at most.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>

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

// Two whole frames held to each other.
Verdict CompareFrames(const Frame& a, const Frame& b, int depth, const Tolerance& t) {
  Verdict v;
  for (size_t i = 0; i < a.size(); i++) {
    int worst = 0;
    bool beyond = false;
    for (int k = 0; k < 3; k++) {
      int d = UnitDifference(a[i], b[i], k, depth);
      worst = std::max(worst, d);
      beyond |= d > t.t[k];
    }
    v.beyond += beyond;
    if (worst > v.worst) v.worst = worst, v.x = (int)(i % 640), v.y = (int)(i / 640), v.shown = a[i], v.nearest = b[i];
  }
  return v;
}

const Tolerance& ClaimAt(int depth) { return depth == 16 ? kClaim16 : kClaim32; }

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
// each scene's frames to its expectation; the models start from a frame of
// the scene's background alone in every cell (one for each background, on
// the software path). A report of every scene that differs or names a
// rule goes to the test output folder.
using DrawOnPath = std::function<Frame(bool hardware, int depth, const std::function<void()>& draw)>;

void CompareAll(const DrawOnPath& draw_on, const std::vector<CompareScene>& scenes, const Layout& layout,
                const std::string& title, std::string* report) {
  Prediction ps(layout.size), pd(layout.size);
  for (int depth : {32, 16}) {
    std::map<Ground, Frame> grounds;
    for (const CompareScene& scene : scenes)
      if (!grounds.count(scene.ground))
        grounds[scene.ground] = draw_on(false, depth, [&] {
          WipeDrawScreen();
          for (size_t i = 0; i < layout.Cells(); i++) DrawGround(scene.ground, layout.At(i));
        });
    for (size_t first = 0; first < scenes.size(); first += layout.Cells()) {
      size_t count = std::min(layout.Cells(), scenes.size() - first);
      auto draw = [&]() {
        WipeDrawScreen();
        for (size_t i = 0; i < count; i++) {
          Reset();
          DrawGround(scenes[first + i].ground, layout.At(i));
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
        const CompareScene& scene = scenes[first + i];
        const Expectation& e = scene.expect;
        Cell c = layout.At(i);
        const Frame& background = grounds[scene.ground];
        SceneFrames f{c, layout.size, depth, background, software, hardware};
        bool soft_model = (bool)e.software, device_model = (bool)e.device;
        // A path without a model is held to the other path's frame.
        if (soft_model) StartFromBackground(f, &ps), e.software(f, &ps);
        else ps.Start(hardware, c);
        if (device_model) StartFromBackground(f, &pd), e.device(f, &pd);
        else pd.Start(software, c);
        Verdict vs = Check(software, c, ps, depth, soft_model ? e.model.At(depth) : e.bound.At(depth));
        Verdict vd = soft_model || device_model
                         ? Check(hardware, c, pd, depth, device_model ? e.model.At(depth) : e.bound.At(depth))
                         : vs;
        const Tolerance &bound = e.bound.At(depth), &claim = ClaimAt(depth);
        bool wider = bound.t[0] != claim.t[0] || bound.t[1] != claim.t[1] || bound.t[2] != claim.t[2];
        std::string what = soft_model || device_model ? "models" : wider ? "bound" : "claim";
        if (vs.worst || vd.worst || !e.rule.empty()) {
          char line[256];
          snprintf(line, sizeof line, "%2d bits  %-44s %-6s software %3d beyond %4d  device %3d beyond %4d\n", depth,
                   scene.name.c_str(), what.c_str(), vs.worst, vs.beyond, vd.worst, vd.beyond);
          *report += line;
        }
        std::string why = e.rule.empty() ? "" : " (" + e.rule + ")";
        if (soft_model || device_model) {
          EXPECT_EQ(vs.beyond, 0) << depth << " bits, " << scene.name << ", the software renderer against its rule: "
                                  << Describe(vs) << why;
          EXPECT_EQ(vd.beyond, 0) << depth << " bits, " << scene.name << ", the device against its rule: "
                                  << Describe(vd) << why;
        } else {
          EXPECT_EQ(vs.beyond, 0) << depth << " bits, " << scene.name << ", the two paths (" << what
                                  << "): " << Describe(vs) << why;
        }
        EXPECT_FALSE(vs.overflow || vd.overflow) << depth << " bits, " << scene.name;
      }
    }
  }
}

TEST_F(GLGraphicsTest, BothPathsDrawTheWholeInterfaceByTheirRules) {
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
    Verdict d = CompareFrames(software, hardware, depth, ClaimAt(depth));
    EXPECT_EQ(d.beyond, 0) << depth << " bits, " << Describe(d);
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
  Verdict d = CompareFrames(three_passes, blend_unit, 32, Tolerance{{0, 0, 0}});
  EXPECT_EQ(d.beyond, 0) << Describe(d);
  EXPECT_NE(blend_unit[(size_t)30 * 640 + 30], blend_unit[(size_t)300 * 640 + 600]);  // the graph darkened
}

}  // namespace
