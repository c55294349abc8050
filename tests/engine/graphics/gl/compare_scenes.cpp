// The comparison's scenes. Each draws into its cell only, after the draw
// state was reset (copy mode, white brightness, the whole screen as clip,
// no crossfade, nearest filtering).
#include "tests/engine/graphics/gl/compare_scenes.h"

#include <cmath>

#include "engine/font/font.h"
#include "engine/graphics/device/device_internal.h"
#include "tests/engine/graphics/gl/gl_fixture.h"

namespace {

// The three kinds of source, 32 x 32 with colour in both directions and odd
// values among them.
enum Source { kOpaque, kAlpha, kKeyed };
const char* const kSourceName[] = {"opaque", "alpha", "keyed"};

int MakeSource(Source kind, int size = 32) {
  int step = 128 / size;
  if (kind == kAlpha) {
    // Every weight from 0 at the left to 255 at the right.
    BASEIMAGE image = MakeImage(size, size, [&](int x, int y) {
      return Rgba{255 - y * step, 60 + x * step * 3 / 2, 250 - x * step, x * 255 / (size - 1)};
    });
    int graph = CreateGraphFromImage(&image, nullptr, 0, 0, 0);
    DisposeBaseImage(&image);
    return graph;
  }
  return MakeGraph(size, size, [&](int x, int y) {
    if (kind == kKeyed && ((x / 6) + (y / 6)) % 2 == 0) return Rgba{0, 0, 0, 255};
    return Rgba{x * step * 2 + y % 4 + 3, y * step * 2 + x % 3 + 2, ((x ^ y) * step * 2 + 7) & 255, 255};
  });
}

// A background with every level of each channel across the cell, so that a
// blend meets dark and light destinations.
void Background(Cell c, int size) {
  for (int i = 0; i < size; i += 4) {
    int k = i * 48 / size;  // 0 to 47
    PaintFilledBox(c.x, c.y + i, c.x + size, c.y + i + 4, PackScreenColor(255 - k * 4, 40 + k * 3, k * 5));
  }
}

// A crossfade graph: one byte a pixel, a ramp across and a step down.
int CrossfadeGraph(int size) {
  SetGraphCreateBlendImage(1);
  PIXELFORMAT grey;
  InitGreyPixelFormat(&grey);
  BASEIMAGE wipe{};
  MakeBaseImageOfFormat(size, size, &grey, &wipe);
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) wipe.pixels[(size_t)y * wipe.pitch + x] = (uint8_t)(y < size / 2 ? x * 255 / (size - 1) : (x * 37) & 255);
  int graph = CreateGraphFromImage(&wipe, nullptr, 0, 0, 0);
  DisposeBaseImage(&wipe);
  SetGraphCreateBlendImage(0);
  return graph;
}


}  // namespace

std::vector<CompareScene> SmallScenes() {
  std::vector<CompareScene> s;
  // Every blend mode at the edges and the middle of its parameter, with
  // every kind of source.
  for (int mode = 0; mode <= 13; mode++)
    for (int param : {0, 1, 127, 128, 254, 255})
      for (Source src : {kOpaque, kAlpha, kKeyed})
        s.push_back({"mode " + std::to_string(mode) + " param " + std::to_string(param) + " " + kSourceName[src],
                     [=](Cell c) {
                       Background(c, 48);
                       int g = MakeSource(src);
                       SelectBlendMode(mode, param);
                       PaintGraph(c.x + 8, c.y + 8, g, src != kOpaque);
                     }});
  // Draw brightness in the modes the brightness weighs differently.
  for (int mode : {0, 1, 2, 3, 4, 10, 11})
    for (Source src : {kOpaque, kAlpha, kKeyed})
      s.push_back({"brightness mode " + std::to_string(mode) + " " + kSourceName[src], [=](Cell c) {
                     Background(c, 48);
                     int g = MakeSource(src);
                     SelectBlendMode(mode, 160);
                     SetPaintBrightness(200, 100, 50);
                     PaintGraph(c.x + 8, c.y + 8, g, src != kOpaque);
                   }});
  // The crossfade: hard edges (range 0 and 1), a narrow and a wide ramp.
  for (int mode : {0, 1})
    for (int range : {0, 1, 64, 200})
      for (int param : {0, 128, 148, 255})  // 148: bytes equal to the border
        for (Source src : {kOpaque, kAlpha, kKeyed})
          s.push_back({"crossfade mode " + std::to_string(mode) + " range " + std::to_string(range) + " param " +
                           std::to_string(param) + " " + kSourceName[src],
                       [=](Cell c) {
                         Background(c, 48);
                         int g = MakeSource(src);
                         int blend = CrossfadeGraph(32);
                         SelectBlendMode(mode, mode ? 200 : 0);
                         ASSERT_EQ(SetCrossfadeGraph(blend, param, range), 0);
                         PaintGraph(c.x + 8, c.y + 8, g, src != kOpaque);
                         SetCrossfadeGraph(-1, 0, 0);
                       }});
  return s;
}

namespace {

void AddGraphShapes(std::vector<CompareScene>& s) {
  struct Shape {
    const char* name;
    std::function<void(Cell, int, int)> draw;  // cell, graph, transparent
  };
  const double turn = 0.5235987755982988;  // 30 degrees
  const Shape shapes[] = {
      {"stretched twice", [](Cell c, int g, int t) { PaintGraphStretched(c.x + 8, c.y + 8, c.x + 72, c.y + 72, g, t); }},
      {"stretched by 1.5 and 2.3",
       [](Cell c, int g, int t) { PaintGraphStretched(c.x + 4, c.y + 4, c.x + 52, c.y + 78, g, t); }},
      {"shrunk", [](Cell c, int g, int t) { PaintGraphStretched(c.x + 8, c.y + 8, c.x + 29, c.y + 19, g, t); }},
      {"mirrored", [](Cell c, int g, int t) {
         PaintGraphMirrored(c.x + 4, c.y + 4, g, t);
         PaintGraphStretched(c.x + 90, c.y + 90, c.x + 42, c.y + 42, g, t);
       }},
      {"part", [](Cell c, int g, int t) {
         PaintGraphPart(c.x + 4, c.y + 4, 5, 7, 20, 18, g, t);
         PaintGraphPartStretched(c.x + 30, c.y + 30, c.x + 90, c.y + 70, 4, 4, 20, 20, g, t);
       }},
      {"rotated", [turn](Cell c, int g, int t) {
         float cx = c.x + 50.0f, cy = c.y + 50.0f, co = (float)std::cos(turn), si = (float)std::sin(turn);
         float p[4][2];
         const float corner[4][2] = {{-16, -16}, {16, -16}, {16, 16}, {-16, 16}};
         for (int i = 0; i < 4; i++) {
           p[i][0] = cx + (corner[i][0] * co - corner[i][1] * si) * 1.4f;
           p[i][1] = cy + (corner[i][0] * si + corner[i][1] * co) * 1.4f;
         }
         PaintGraphQuad(p[0][0], p[0][1], p[1][0], p[1][1], p[2][0], p[2][1], p[3][0], p[3][1], g, t);
       }},
      {"quad-mapped", [](Cell c, int g, int t) {
         PaintGraphQuad(c.x + 20, c.y + 6, c.x + 80, c.y + 10, c.x + 96, c.y + 90, c.x + 4, c.y + 80, g, t);
       }},
  };
  for (const Shape& shape : shapes)
    for (int filter : {0, 1})
      for (Source src : {kOpaque, kAlpha, kKeyed})
        s.push_back({std::string(shape.name) + " filter " + std::to_string(filter) + " " + kSourceName[src],
                     [=](Cell c) {
                       Background(c, 100);
                       int g = MakeSource(src);
                       SetPaintFilterMode(filter);
                       shape.draw(c, g, src != kOpaque);
                       SetPaintFilterMode(0);
                     }});
}

// Shapes of the primitive family that no public function reaches draw
// through each path's own member.
void Circle(int x, int y, int r, uint32_t colour, int fill) {
  if (IsHardwareRendererInUse()) device::DrawCircle(x, y, r, colour, fill);
  else SoftPaintCircle(x, y, r, colour, fill);
}
void Oval(int x, int y, int rx, int ry, uint32_t colour, int fill) {
  if (IsHardwareRendererInUse()) device::DrawOval(x, y, rx, ry, colour, fill);
  else SoftPaintOval(x, y, rx, ry, colour, fill);
}
void Triangle(int x1, int y1, int x2, int y2, int x3, int y3, uint32_t colour, int fill) {
  if (IsHardwareRendererInUse()) device::DrawTriangle(x1, y1, x2, y2, x3, y3, colour, fill);
  else SoftPaintTriangleFlat(x1, y1, x2, y2, x3, y3, colour, fill);
}

void AddPrimitives(std::vector<CompareScene>& s) {
  auto white = [] { return PackScreenColor(255, 255, 255); };
  auto gold = [] { return PackScreenColor(250, 200, 40); };
  const std::pair<const char*, std::function<void(Cell)>> shapes[] = {
      {"straight lines", [=](Cell c) {
         PaintLine(c.x + 5, c.y + 5, c.x + 90, c.y + 5, white());
         PaintLine(c.x + 5, c.y + 10, c.x + 5, c.y + 90, white());
         PaintLine(c.x + 90, c.y + 20, c.x + 20, c.y + 20, gold());
         PaintLine(c.x + 30, c.y + 90, c.x + 30, c.y + 30, gold());
       }},
      {"diagonal lines", [=](Cell c) {
         PaintLine(c.x + 5, c.y + 5, c.x + 90, c.y + 90, white());
         PaintLine(c.x + 90, c.y + 10, c.x + 10, c.y + 40, gold());
         PaintLine(c.x + 20, c.y + 95, c.x + 30, c.y + 10, white());
       }},
      {"zero sizes", [=](Cell c) {
         PaintLine(c.x + 10, c.y + 10, c.x + 10, c.y + 10, white());
         PaintFilledBox(c.x + 20, c.y + 20, c.x + 20, c.y + 40, white());
         PaintFilledBox(c.x + 30, c.y + 20, c.x + 50, c.y + 20, white());
         PaintBoxOutline(c.x + 60, c.y + 60, c.x + 60, c.y + 60, white());
         PaintBoxOutline(c.x + 70, c.y + 70, c.x + 71, c.y + 71, gold());
       }},
      {"thick line 2", [=](Cell c) { PaintLine(c.x + 5, c.y + 10, c.x + 90, c.y + 60, white(), 2); }},
      {"thick line 3", [=](Cell c) {
         PaintLine(c.x + 5, c.y + 10, c.x + 90, c.y + 60, white(), 3);
         PaintLine(c.x + 10, c.y + 80, c.x + 90, c.y + 80, gold(), 3);
       }},
      {"thick line 5", [=](Cell c) {
         PaintLine(c.x + 5, c.y + 10, c.x + 90, c.y + 60, white(), 5);
         PaintLine(c.x + 20, c.y + 30, c.x + 20, c.y + 95, gold(), 5);
       }},
      {"filled boxes", [=](Cell c) {
         PaintFilledBox(c.x + 5, c.y + 5, c.x + 50, c.y + 40, gold());
         PaintRectangle(c.x + 60, c.y + 40, c.x + 10, c.y + 60, white(), 1);
         SelectBlendMode(1, 100);
         PaintFilledBox(c.x + 30, c.y + 20, c.x + 90, c.y + 80, PackScreenColor(0, 100, 250));
       }},
      {"box outlines", [=](Cell c) {
         PaintBoxOutline(c.x + 5, c.y + 5, c.x + 60, c.y + 50, white());
         PaintRectangle(c.x + 40, c.y + 30, c.x + 90, c.y + 90, gold(), 0);
       }},
      {"box outline reversed", [=](Cell c) {
         PaintBoxOutline(c.x + 60, c.y + 50, c.x + 5, c.y + 5, white());
         PaintBoxOutline(c.x + 90, c.y + 90, c.x + 70, c.y + 60, gold());
       }},
      {"blended lines and outlines", [=](Cell c) {
         SelectBlendMode(1, 128);
         PaintLine(c.x + 5, c.y + 5, c.x + 90, c.y + 5, gold());
         PaintBoxOutline(c.x + 10, c.y + 10, c.x + 80, c.y + 80, white());
         SelectBlendMode(2, 200);
         PaintLine(c.x + 5, c.y + 50, c.x + 95, c.y + 50, gold());
       }},
      {"circles", [=](Cell c) {
         Circle(c.x + 25, c.y + 25, 18, white(), 0);
         Circle(c.x + 70, c.y + 30, 15, gold(), 1);
         Circle(c.x + 50, c.y + 80, 0, white(), 0);
       }},
      {"ovals", [=](Cell c) {
         Oval(c.x + 30, c.y + 30, 25, 12, white(), 0);
         Oval(c.x + 60, c.y + 70, 30, 18, gold(), 1);
         Oval(c.x + 85, c.y + 25, 8, 20, gold(), 0);
         Oval(c.x + 12, c.y + 70, 6, 20, white(), 1);
       }},
      // A filled oval whose walk ends on a new row.
      {"oval tips", [=](Cell c) {
         Oval(c.x + 20, c.y + 20, 5, 1, white(), 1);
         Oval(c.x + 60, c.y + 60, 20, 10, gold(), 1);
       }},
      {"triangles", [=](Cell c) {
         Triangle(c.x + 5, c.y + 5, c.x + 90, c.y + 20, c.x + 30, c.y + 60, white(), 0);
         Triangle(c.x + 40, c.y + 60, c.x + 95, c.y + 95, c.x + 10, c.y + 90, gold(), 1);
       }},
  };
  for (const auto& shape : shapes)
    s.push_back({shape.first, [draw = shape.second](Cell c) {
                   PaintFilledBox(c.x, c.y, c.x + 100, c.y + 100, PackScreenColor(30, 40, 60));
                   draw(c);
                 }});
}

void AddText(std::vector<CompareScene>& s) {
  // An edge size above 1 makes a font edged by itself; the game's fonts are
  // edged with the default size (1).
  struct Style {
    const char* name;
    int type, edge_size;
  };
  const Style styles[] = {{"plain", 0, -1},
                          {"edged", (int)FONT_TYPE_EDGE, -1},
                          {"wide-edged", (int)FONT_TYPE_EDGE, 2},
                          {"antialiased", (int)FONT_TYPE_ANTIALIAS, -1},
                          {"antialiased edged", (int)(FONT_TYPE_ANTIALIAS | FONT_TYPE_EDGE), -1},
                          {"antialiased wide-edged", (int)(FONT_TYPE_ANTIALIAS | FONT_TYPE_EDGE), 2}};
  for (const Style& style : styles)
    for (int thickness : {4, 9})
      for (int mode : {0, 1})
        s.push_back({std::string("text ") + style.name + (thickness > 6 ? " bold" : "") + " mode " +
                         std::to_string(mode),
                     [=](Cell c) {
                       Background(c, 100);
                       int font = CreateFontToHandle("ＭＳ ゴシック", 20, thickness, style.type, -1, style.edge_size, 0);
                       ASSERT_GE(font, 0);
                       SelectBlendMode(mode, 128);
                       DrawTextWithFont(c.x + 2, c.y + 10, "Vox落ち", PackScreenColor(250, 230, 90), font,
                                        PackScreenColor(200, 20, 20), 0);
                       DrawTextWithFont(c.x + 2, c.y + 50, "物drift", PackScreenColor(90, 230, 250), font,
                                        PackScreenColor(20, 20, 200), 0);
                       SelectBlendMode(0, 0);
                       FreeFontHandle(font);
                     }});
}

// A draw-target graph drawn into (a box, a keyed and an alpha graph, text)
// and then drawn onto the screen five times.
void AddDrawTargets(std::vector<CompareScene>& s) {
  for (int alpha : {0, 1})
    s.push_back({alpha ? "draw target with alpha" : "draw target", [=](Cell c) {
                   Background(c, 100);
                   SetGraphCreateDrawTarget(1);
                   SetGraphCreateAlphaChannel(alpha);
                   int target = CreateBlankGraph(48, 48, 0);
                   SetGraphCreateAlphaChannel(0);
                   SetGraphCreateDrawTarget(0);
                   ASSERT_GE(target, 0);
                   ASSERT_EQ(SelectDrawScreen(target), 0);
                   PaintFilledBox(4, 4, 44, 30, PackScreenColor(200, 40, 40));
                   PaintGraph(8, 8, MakeSource(kKeyed), 1);
                   PaintGraph(16, 16, MakeSource(kAlpha), 1);
                   int font = CreateFontToHandle("ＭＳ ゴシック", 16, 4, 0, -1, -1, 0);
                   DrawTextWithFont(2, 30, "Vx", PackScreenColor(255, 255, 255), font, 0, 0);
                   FreeFontHandle(font);
                   SelectDrawScreen(DRAW_SCREEN_BACK);
                   PaintGraph(c.x + 2, c.y + 2, target, 0);
                   PaintGraph(c.x + 52, c.y + 2, target, 1);
                   SelectBlendMode(1, 128);
                   PaintGraph(c.x + 2, c.y + 52, target, 1);
                   SelectBlendMode(0, 0);
                   PaintGraphStretched(c.x + 52, c.y + 52, c.x + 100, c.y + 76, target, 1);
                   PaintGraphPart(c.x + 52, c.y + 78, 0, 0, 48, 20, target, 1);
                 }});
}

// The crossfade graph follows the drawn graph's pixels where the clip cuts
// the graph and where it is stretched or mirrored; a part graph as the
// crossfade graph weighs by the part.
void AddCrossfadeShapes(std::vector<CompareScene>& s) {
  s.push_back({"crossfade by a part graph", [](Cell c) {
                 Background(c, 100);
                 int g = MakeSource(kOpaque), part = CreatePartGraph(20, 24, 32, 32, CrossfadeGraph(64));
                 ASSERT_EQ(SetCrossfadeGraph(part, 128, 0), 0);
                 PaintGraph(c.x + 10, c.y + 10, g, 0);
                 ASSERT_EQ(SetCrossfadeGraph(part, 60, 0), 0);
                 PaintGraph(c.x + 50, c.y + 50, g, 0);
               }});
  s.push_back({"crossfade clipped, stretched and mirrored", [](Cell c) {
                 Background(c, 100);
                 int g = MakeSource(kOpaque), blend = CrossfadeGraph(32);
                 ASSERT_EQ(SetCrossfadeGraph(blend, 128, 0), 0);
                 SetPaintClipRect(c.x + 10, c.y + 10, c.x + 100, c.y + 100);
                 PaintGraph(c.x + 2, c.y + 2, g, 0);
                 PaintGraphStretched(c.x + 72, c.y + 2, c.x + 40, c.y + 34, g, 0);
                 PaintGraphStretched(c.x + 40, c.y + 40, c.x + 104, c.y + 104, g, 0);
               }});
}

void AddClipAndMask(std::vector<CompareScene>& s) {
  s.push_back({"clip", [](Cell c) {
                 Background(c, 100);
                 SetPaintClipRect(c.x + 20, c.y + 15, c.x + 70, c.y + 85);
                 PaintGraph(c.x + 5, c.y + 5, MakeSource(kAlpha), 1);
                 PaintGraphStretched(c.x + 40, c.y + 5, c.x + 104, c.y + 69, MakeSource(kOpaque), 0);
                 PaintFilledBox(c.x, c.y + 70, c.x + 100, c.y + 80, PackScreenColor(0, 250, 0));
                 PaintLine(c.x, c.y + 90, c.x + 100, c.y + 60, PackScreenColor(255, 255, 255));
                 PaintBoxOutline(c.x + 10, c.y + 10, c.x + 90, c.y + 95, PackScreenColor(255, 0, 255));
               }});
  for (int reverse = 0; reverse < 2; reverse++)
    s.push_back({reverse ? "mask reversed" : "mask", [reverse](Cell c) {
                   Background(c, 100);
                   ASSERT_EQ(CreateMaskScreen(1), 0);
                   uint8_t* mask = GetMaskBuffer();
                   ASSERT_NE(mask, nullptr);
                   for (int y = c.y; y < c.y + 100; y++)
                     for (int x = c.x; x < c.x + 100; x++) {
                       bool hole = x >= c.x + 40 && x < c.x + 60 && y >= c.y + 40 && y < c.y + 60;
                       mask[(size_t)y * 640 + x] = ((x - c.x) / 6 % 2 == 0) && !hole ? 1 : 0;
                     }
                   SetMaskReverse(reverse);
                   ASSERT_EQ(EnableMaskScreen(1), 0);
                   PaintGraphStretched(c.x + 10, c.y + 10, c.x + 74, c.y + 74, MakeSource(kOpaque), 0);
                   SelectBlendMode(1, 128);
                   PaintFilledBox(c.x + 30, c.y + 30, c.x + 90, c.y + 90, PackScreenColor(250, 250, 0));
                   SelectBlendMode(0, 0);
                   PaintLine(c.x + 2, c.y + 80, c.x + 94, c.y + 80, PackScreenColor(255, 255, 255));
                   EnableMaskScreen(0);
                   SetMaskReverse(0);
                   ReleaseMaskScreen();
                 }});
  s.push_back({"screen copied into a graph", [](Cell c) {
                 Background(c, 100);
                 PaintGraph(c.x, c.y, MakeSource(kOpaque), 0);
                 int copy = CreateBlankGraph(32, 32, 0);
                 GetDrawScreenGraph(c.x + 8, c.y + 8, c.x + 40, c.y + 40, copy);
                 PaintGraph(c.x + 60, c.y + 60, copy, 0);
               }});
}

}  // namespace

std::vector<CompareScene> LargeScenes() {
  std::vector<CompareScene> s;
  AddGraphShapes(s);
  AddPrimitives(s);
  AddText(s);
  AddCrossfadeShapes(s);
  AddDrawTargets(s);
  AddClipAndMask(s);
  return s;
}
