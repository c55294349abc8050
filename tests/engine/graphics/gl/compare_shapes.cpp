// The large scenes of graph shapes (stretched, shrunk, mirrored, in part,
// rotated, onto a free quadrangle, with each filter and kind of source),
// the primitives, the clip and the mask. Coordinates in the models are the
// cell's, except where a path's rule works on the screen's own numbers.
#include <algorithm>
#include <cmath>

#include "engine/font/font.h"
#include "engine/graphics/device/device_internal.h"
#include "tests/engine/graphics/gl/compare_scenes.h"

namespace {

constexpr int kSide = 32;  // the sources' size
// How close a sample point may come to a texel's edge before either texel
// may show (the device's interpolation is single precision).
constexpr double kTexelMargin = 1.0 / 64;

// What the device draws of the graph at a sample point (in texels) over d:
// the texel the point lies in (either of two on an edge) or, filtered, the
// four around it blended; a keyed or alpha graph blends by the filtered
// alpha (under the filter the key is alpha).
void DeviceSample(double u, double v, Source src, int filter, int depth, uint32_t d, Choices& out) {
  if (filter == 1) {
    Rgba t = Bilinear(src, u, v, depth);
    out.Add(src == kOpaque ? Rgb(t) : dev::Weighted(d, Rgb(t), t.a));
    return;
  }
  int us[2], vs[2];
  int nu = TexelsAt(u, kSide, kTexelMargin, us), nv = TexelsAt(v, kSide, kTexelMargin, vs);
  if (!nu || !nv) return out.Add(d);
  for (int i = 0; i < nu; i++)
    for (int j = 0; j < nv; j++) out.Add(CopyTexel(d, InUnits(DeviceTexel(src, us[i], vs[j], depth), depth), src));
}

// ---- stretches --------------------------------------------------------------------------------

struct Rect {
  int x1, y1, x2, y2;  // cell coordinates; a stretch's corners as drawn (reversed mirrors)
};
constexpr Rect kNoClip{0, 0, 104, 104};

// A stretch of the whole graph onto a rectangle, within a clip: each pixel
// takes the texel the path's sampling rule gives its column and row.
void StretchModel(Prediction* p, Rect s, Rect clip, Source src, int filter, bool device, int depth) {
  int left = std::min(s.x1, s.x2), right = std::max(s.x1, s.x2), top = std::min(s.y1, s.y2),
      bottom = std::max(s.y1, s.y2);
  int w = right - left, h = bottom - top;
  for (int y = std::max(top, clip.y1); y < std::min(bottom, clip.y2); y++)
    for (int x = std::max(left, clip.x1); x < std::min(right, clip.x2); x++) {
      int i = x - left, j = y - top;
      if (device) {
        double u = DeviceStretchPoint(i, w, kSide, s.x1 > s.x2), v = DeviceStretchPoint(j, h, kSide, s.y1 > s.y2);
        p->Paint(x, y, [&](uint32_t d, Choices& out) { DeviceSample(u, v, src, filter, depth, d, out); });
      } else {
        Rgba t = SoftTexel(src, SoftStretchTexel(i, w, kSide, s.x1 > s.x2), SoftStretchTexel(j, h, kSide, s.y1 > s.y2),
                           depth);
        p->Paint(x, y, [&](uint32_t d, Choices& out) { out.Add(CopyTexel(d, t, src)); });
      }
    }
}

// ---- quadrangles -------------------------------------------------------------------------------

// The corners of the rotated scene, as drawn: top-left, top-right,
// bottom-right, bottom-left (screen pixels).
void RotatedCorners(Cell c, float p[4][2]) {
  const double turn = 0.5235987755982988;  // 30 degrees
  float cx = c.x + 50.0f, cy = c.y + 50.0f, co = (float)std::cos(turn), si = (float)std::sin(turn);
  const float corner[4][2] = {{-16, -16}, {16, -16}, {16, 16}, {-16, 16}};
  for (int i = 0; i < 4; i++) {
    p[i][0] = cx + (corner[i][0] * co - corner[i][1] * si) * 1.4f;
    p[i][1] = cy + (corner[i][0] * si + corner[i][1] * co) * 1.4f;
  }
}

void QuadMappedCorners(Cell c, float p[4][2]) {
  const float q[4][2] = {{20, 6}, {80, 10}, {96, 90}, {4, 80}};
  for (int i = 0; i < 4; i++) p[i][0] = (float)c.x + q[i][0], p[i][1] = (float)c.y + q[i][1];
}

// The software renderer's free quadrangle: the corners cut to whole pixels,
// two textured triangles (top-left, top-right, bottom-left) and (top-right,
// bottom-left, bottom-right), the second drawn over their shared diagonal.
void SoftQuadModel(Prediction* p, Cell c, const float q[4][2], Source src, int depth) {
  int x[4], y[4];
  for (int i = 0; i < 4; i++) x[i] = (int)q[i][0], y[i] = (int)q[i][1];
  const int tl = 0, tr = 1, br = 2, bl = 3;
  SoftTriangle tris[2] = {{{x[tl], x[tr], x[bl]}, {y[tl], y[tr], y[bl]}, {0, kSide, 0}, {0, 0, kSide}},
                          {{x[tr], x[bl], x[br]}, {y[tr], y[bl], y[br]}, {kSide, 0, kSide}, {0, kSide, kSide}}};
  for (const SoftTriangle& t : tris)
    t.Walk([&](int px, int py, uint32_t u, uint32_t v) {
      if (u >= (uint32_t)kSide << 18 || v >= (uint32_t)kSide << 18) return;
      Rgba texel = SoftTexel(src, (int)(u >> 18), (int)(v >> 18), depth);
      p->Paint(px - c.x, py - c.y, [&](uint32_t d, Choices& out) { out.Add(CopyTexel(d, texel, src)); });
    });
}

struct MappedTriangle {
  double x[3], y[3], s[3], t[3];
};

// The device's free quadrangle: one quad when it is a parallelogram (within
// a pixel), else an 8 x 8 grid of vertices whose cells are cut from their
// top-left to their bottom-right corner; each triangle maps the texture
// affinely, sampled at the pixel centres (whole numbers).
void DeviceQuadModel(Prediction* p, Cell c, const float q[4][2], Source src, int filter, int depth) {
  const float *tl = q[0], *tr = q[1], *br = q[2], *bl = q[3];
  bool parallel = std::fabs((tr[0] - tl[0]) - (br[0] - bl[0])) < 1.0f &&
                  std::fabs((tr[1] - tl[1]) - (br[1] - bl[1])) < 1.0f &&
                  std::fabs((bl[0] - tl[0]) - (br[0] - tr[0])) < 1.0f &&
                  std::fabs((bl[1] - tl[1]) - (br[1] - tr[1])) < 1.0f;
  std::vector<MappedTriangle> tris;
  if (parallel) {
    tris.push_back({{tl[0], tr[0], bl[0]}, {tl[1], tr[1], bl[1]}, {0, 1, 0}, {0, 0, 1}});
    tris.push_back({{br[0], bl[0], tr[0]}, {br[1], bl[1], tr[1]}, {1, 0, 1}, {1, 1, 0}});
  } else {
    constexpr int N = 8;
    float gx[N][N], gy[N][N];
    for (int j = 0; j < N; j++) {
      float t = (float)j / (N - 1);
      float a[2] = {tl[0] + (bl[0] - tl[0]) * t, tl[1] + (bl[1] - tl[1]) * t};
      float b[2] = {tr[0] + (br[0] - tr[0]) * t, tr[1] + (br[1] - tr[1]) * t};
      for (int i = 0; i < N; i++) {
        float s = (float)i / (N - 1);
        gx[j][i] = a[0] + (b[0] - a[0]) * s, gy[j][i] = a[1] + (b[1] - a[1]) * s;
      }
    }
    auto st = [](int k) { return (double)(float)((float)k / (N - 1)); };
    for (int j = 0; j + 1 < N; j++)
      for (int i = 0; i + 1 < N; i++) {
        tris.push_back({{gx[j + 1][i], gx[j][i], gx[j + 1][i + 1]}, {gy[j + 1][i], gy[j][i], gy[j + 1][i + 1]},
                        {st(i), st(i), st(i + 1)}, {st(j + 1), st(j), st(j + 1)}});
        tris.push_back({{gx[j][i], gx[j + 1][i + 1], gx[j][i + 1]}, {gy[j][i], gy[j + 1][i + 1], gy[j][i + 1]},
                        {st(i), st(i + 1), st(i + 1)}, {st(j), st(j + 1), st(j)}});
      }
  }
  double ox[4] = {tl[0], tr[0], br[0], bl[0]}, oy[4] = {tl[1], tr[1], br[1], bl[1]};
  for (int y = 0; y < p->size(); y++)
    for (int x = 0; x < p->size(); x++) {
      double px = c.x + x, py = c.y + y;
      Cover outer = DeviceCover(ox, oy, 4, px, py);
      if (outer == kOut) continue;
      double points[8][2];
      int n = 0;
      for (const MappedTriangle& t : tris) {
        if (px < std::min({t.x[0], t.x[1], t.x[2]}) - 1 || px > std::max({t.x[0], t.x[1], t.x[2]}) + 1 ||
            py < std::min({t.y[0], t.y[1], t.y[2]}) - 1 || py > std::max({t.y[0], t.y[1], t.y[2]}) + 1)
          continue;
        if (DeviceCover(t.x, t.y, 3, px, py) == kOut || n == 8) continue;
        double det = (t.x[1] - t.x[0]) * (t.y[2] - t.y[0]) - (t.x[2] - t.x[0]) * (t.y[1] - t.y[0]);
        double b1 = ((px - t.x[0]) * (t.y[2] - t.y[0]) - (t.x[2] - t.x[0]) * (py - t.y[0])) / det;
        double b2 = ((t.x[1] - t.x[0]) * (py - t.y[0]) - (px - t.x[0]) * (t.y[1] - t.y[0])) / det;
        double s = t.s[0] + (t.s[1] - t.s[0]) * b1 + (t.s[2] - t.s[0]) * b2;
        double tt = t.t[0] + (t.t[1] - t.t[0]) * b1 + (t.t[2] - t.t[0]) * b2;
        points[n][0] = s * kSide, points[n][1] = tt * kSide, n++;
      }
      p->Paint(x, y, [&](uint32_t d, Choices& out) {
        if (outer == kEdge || n == 0) out.Add(d);
        for (int k = 0; k < n; k++) DeviceSample(points[k][0], points[k][1], src, filter, depth, d, out);
      });
    }
}

// ---- the graph shapes ---------------------------------------------------------------------------

const char* const kStretchRule =
    "a stretch by a factor that is not whole: the device samples each pixel at its centre, (i + 0.5) x source / "
    "span texels across; the software stretcher steps from the pixel's left (top) edge in 16.16, floor(i x 65536 / "
    "step), so rows and columns near a texel's edge take the neighbour";
const char* const kFilterRule =
    "the bilinear filter: the device blends the four texels around each pixel's centre (a keyed graph by its "
    "filtered key as alpha); the software renderer has no filter and draws its nearest texel as without one";
const char* const kQuadRule =
    "a free quadrangle: the device maps the texture affinely from float corners at pixel centres (an 8 x 8 grid of "
    "vertices where it is no parallelogram); the software renderer cuts the corners to whole pixels and draws two "
    "triangles, (top-left, top-right, bottom-left) and (top-right, bottom-left, bottom-right), each filling its rows "
    "from the left edge's whole column to the right edge's, the second over the shared diagonal";

struct Shape {
  const char* name;
  std::function<void(Cell, int, int)> draw;  // cell, graph, transparent (a quadrangle's from its corners)
  // The stretches it draws (none for the quadrangles), each with its clip;
  // a quadrangle's corners otherwise.
  std::vector<std::pair<Rect, Rect>> stretches;
  void (*corners)(Cell, float[4][2]);
  bool whole;  // every stretch by a whole factor
};

std::vector<Shape> GraphShapes() {
  return {
      {"stretched twice",
       [](Cell c, int g, int t) { PaintGraphStretched(c.x + 8, c.y + 8, c.x + 72, c.y + 72, g, t); },
       {{{8, 8, 72, 72}, kNoClip}}, nullptr, true},
      {"stretched by 1.5 and 2.3",
       [](Cell c, int g, int t) { PaintGraphStretched(c.x + 4, c.y + 4, c.x + 52, c.y + 78, g, t); },
       {{{4, 4, 52, 78}, kNoClip}}, nullptr, false},
      {"shrunk", [](Cell c, int g, int t) { PaintGraphStretched(c.x + 8, c.y + 8, c.x + 29, c.y + 19, g, t); },
       {{{8, 8, 29, 19}, kNoClip}}, nullptr, false},
      {"mirrored",
       [](Cell c, int g, int t) {
         PaintGraphMirrored(c.x + 4, c.y + 4, g, t);
         PaintGraphStretched(c.x + 90, c.y + 90, c.x + 42, c.y + 42, g, t);
       },
       {{{36, 4, 4, 36}, kNoClip}, {{90, 90, 42, 42}, kNoClip}}, nullptr, false},
      // The part (20 x 18 from 5, 7) unscaled, and 20 x 20 from 4, 4 onto 60
      // x 40: the whole graph three times as wide and twice as high, cut.
      {"part",
       [](Cell c, int g, int t) {
         PaintGraphPart(c.x + 4, c.y + 4, 5, 7, 20, 18, g, t);
         PaintGraphPartStretched(c.x + 30, c.y + 30, c.x + 90, c.y + 70, 4, 4, 20, 20, g, t);
       },
       {{{-1, -3, 31, 29}, {4, 4, 24, 22}}, {{18, 22, 114, 86}, {30, 30, 90, 70}}}, nullptr, true},
      {"rotated", nullptr, {}, RotatedCorners, false},
      {"quad-mapped", nullptr, {}, QuadMappedCorners, false},
  };
}

Expectation ShapeExpectation(const Shape& shape, int filter, Source src) {
  Expectation e;
  if (shape.whole && filter == 0) return e;  // whole stretches sample alike
  e.rule = shape.corners ? kQuadRule : filter ? kFilterRule : kStretchRule;
  if (shape.corners && filter) e.rule += std::string("; ") + kFilterRule;
  auto model = [shape, filter, src](bool device) -> Model {
    return [shape, filter, src, device](const SceneFrames& f, Prediction* p) {
      if (shape.corners) {
        float q[4][2];
        shape.corners(f.cell, q);
        if (device) DeviceQuadModel(p, f.cell, q, src, filter, f.depth);
        else SoftQuadModel(p, f.cell, q, src, f.depth);
        return;
      }
      for (const auto& [s, clip] : shape.stretches) StretchModel(p, s, clip, src, filter, device, f.depth);
    };
  };
  e.software = model(false);
  e.device = model(true);
  // A keyed graph blends by its filtered alpha, whose rounding moves the
  // blend by a unit more.
  if (filter && src == kKeyed) e.model = ClaimPlus(1, 1);
  return e;
}

void AddGraphShapes(std::vector<CompareScene>& s) {
  for (const Shape& shape : GraphShapes())
    for (int filter : {0, 1})
      for (Source src : {kOpaque, kAlpha, kKeyed})
        s.push_back({std::string(shape.name) + " filter " + std::to_string(filter) + " " + kSourceName[src],
                     Ground::kBands100,
                     [=, draw = shape.draw, corners = shape.corners](Cell c) {
                       int g = MakeSource(src), t = src != kOpaque;
                       SetPaintFilterMode(filter);
                       if (corners) {
                         float p[4][2];
                         corners(c, p);
                         PaintGraphQuad(p[0][0], p[0][1], p[1][0], p[1][1], p[2][0], p[2][1], p[3][0], p[3][1], g, t);
                       } else {
                         draw(c, g, t);
                       }
                       SetPaintFilterMode(0);
                     },
                     ShapeExpectation(shape, filter, src)});
}

// ---- primitives -----------------------------------------------------------------------------------

// Shapes of the primitive family that no public function reaches draw
// through each path's own member.
void Circle(int x, int y, int r, uint32_t colour, int fill) {
  if (IsHardwareRendererInUse()) device::G_D3D_DrawCircle(x, y, r, colour, fill);
  else SoftPaintCircle(x, y, r, colour, fill);
}
void Oval(int x, int y, int rx, int ry, uint32_t colour, int fill) {
  if (IsHardwareRendererInUse()) device::G_D3D_DrawOval(x, y, rx, ry, colour, fill);
  else SoftPaintOval(x, y, rx, ry, colour, fill);
}
void Triangle(int x1, int y1, int x2, int y2, int x3, int y3, uint32_t colour, int fill) {
  if (IsHardwareRendererInUse()) device::G_D3D_DrawTriangle(x1, y1, x2, y2, x3, y3, colour, fill);
  else SoftPaintTriangleFlat(x1, y1, x2, y2, x3, y3, colour, fill);
}

constexpr uint32_t kWhite = 0xFFFFFF, kGold = 0xFAC828;
uint32_t Pack(uint32_t c) { return PackScreenColor(Red(c), Green(c), Blue(c)); }

// A one-pixel line as each path walks it, in a flat colour (in the screen's units).
void LineModel(Prediction* p, int x1, int y1, int x2, int y2, uint32_t colour, bool device) {
  if (device)
    DeviceLinePixels(x1, y1, x2, y2, [&](int x, int y, Cover cover) {
      p->Paint(x, y, [&](uint32_t d, Choices& out) {
        out.Add(colour);
        if (cover == kEdge) out.Add(d);
      });
    });
  else
    SoftLinePixels(x1, y1, x2, y2, [&](int x, int y) { p->Set(x, y, colour); });
}

// The device's flat polygon: the pixels whose centres lie inside.
void DevicePolygonModel(Prediction* p, const double* xs, const double* ys, int n, uint32_t colour) {
  for (int y = 0; y < p->size(); y++)
    for (int x = 0; x < p->size(); x++) {
      Cover cover = DeviceCover(xs, ys, n, x, y);
      if (cover == kOut) continue;
      p->Paint(x, y, [&](uint32_t d, Choices& out) {
        out.Add(colour);
        if (cover == kEdge) out.Add(d);
      });
    }
}

// A thick line on each path in a flat colour, blended by a parameter (255:
// copy): the device's quadrangle of float corners, its alpha always 255;
// the software renderer's corners rounded to whole pixels, filled as two
// flat triangles (1, 2, 4) and (3, 4, 2), each blended.
void ThickLineModel(Prediction* p, int x1, int y1, int x2, int y2, uint32_t colour, int thickness, int param,
                    bool device, int depth) {
  colour = InUnits(colour, depth);
  double dx = x2 - x1, dy = y2 - y1, len = std::sqrt(dx * dx + dy * dy);
  if (device) {
    float nx = (float)(-dy / len * thickness * 0.5), ny = (float)(dx / len * thickness * 0.5);
    double xs[4] = {(float)x1 + nx, (float)x2 + nx, (float)x2 - nx, (float)x1 - nx};
    double ys[4] = {(float)y1 + ny, (float)y2 + ny, (float)y2 - ny, (float)y1 - ny};
    DevicePolygonModel(p, xs, ys, 4, colour);
    return;
  }
  double nx = -dy / len * thickness * 0.5, ny = dx / len * thickness * 0.5;
  auto r = [](double v) { return (int)std::lround(v); };
  int cx[4] = {r(x1 + nx), r(x2 + nx), r(x2 - nx), r(x1 - nx)}, cy[4] = {r(y1 + ny), r(y2 + ny), r(y2 - ny), r(y1 - ny)};
  const int order[2][3] = {{0, 1, 3}, {2, 3, 1}};
  for (const auto& o : order) {
    SoftTriangle t{{cx[o[0]], cx[o[1]], cx[o[2]]}, {cy[o[0]], cy[o[1]], cy[o[2]]}};
    t.ForEachPixel([&](int x, int y) {
      p->Paint(x, y, [&](uint32_t d, Choices& out) {
        out.Add(param == 255 ? colour : PerChannel(d, colour, [&](int, int a, int b) { return soft::Move(a, b, param, 1); }));
      });
    });
  }
}

const char* const kLineRule =
    "lines: the software line steps from its first end with an error term that starts at 0, so its minor coordinate "
    "is start + floor(k x minor / major); the device's line takes the pixel nearest to it at each step (OpenGL's "
    "diamond rule); both leave their last end out";
const char* const kThickRule =
    "a thick line: on the device a quadrangle of float corners (the ends plus and minus half the thickness across the "
    "line) covering the pixels whose centres lie inside; in the software renderer its corners rounded to whole pixels "
    "and filled as two flat triangles";
const char* const kTranslucentThickRule =
    "a translucent thick line: the device draws its quadrangle with alpha 255, so it is opaque whatever the "
    "parameter; the software renderer blends each of its two triangles by the parameter, and the diagonal they "
    "share twice";
const char* const kTriangleRule =
    "triangles: a software triangle fills each row from its left edge's whole column to its right edge's, top row in, "
    "bottom row out; the device's the pixels whose centres lie inside; their outlines are lines, each path's own";
const char* const kZeroBoxRule =
    "a box outline of 1 x 1: the device's top band covers its pixel; the software renderer's four lines have no "
    "length and draw none";
const char* const kOvalTipRule =
    "a filled oval whose walk ends on a new row: the software renderer draws its upper tip only, the device both";

// Both paths alike but for one pixel, which the device draws in its colour
// and the software renderer leaves.
Expectation OnePixelApart(const char* rule, int x, int y, uint32_t device) {
  Expectation e;
  e.rule = rule;
  e.software = [=](const SceneFrames& f, Prediction* p) {
    p->Start(f.device, f.cell);
    p->Set(x, y, f.Under(x, y));
  };
  e.device = [=](const SceneFrames& f, Prediction* p) {
    p->Start(f.software, f.cell);
    p->Set(x, y, InUnits(device, f.depth));
  };
  return e;
}

// Each path held to what its own rule draws: model(prediction, device, depth).
Expectation Models(const char* rule, std::function<void(Prediction*, bool, int)> model) {
  Expectation e;
  e.rule = rule;
  e.software = [model](const SceneFrames& f, Prediction* p) { model(p, false, f.depth); };
  e.device = [model](const SceneFrames& f, Prediction* p) { model(p, true, f.depth); };
  return e;
}

void AddPrimitives(std::vector<CompareScene>& s) {
  const uint32_t white = kWhite, gold = kGold;
  auto add = [&](const char* name, std::function<void(Cell)> draw, Expectation e = {}) {
    s.push_back({name, Ground::kPlain, std::move(draw), std::move(e)});
  };
  add("straight lines", [=](Cell c) {
    PaintLine(c.x + 5, c.y + 5, c.x + 90, c.y + 5, Pack(white));
    PaintLine(c.x + 5, c.y + 10, c.x + 5, c.y + 90, Pack(white));
    PaintLine(c.x + 90, c.y + 20, c.x + 20, c.y + 20, Pack(gold));
    PaintLine(c.x + 30, c.y + 90, c.x + 30, c.y + 30, Pack(gold));
  });
  const int diagonals[3][4] = {{5, 5, 90, 90}, {90, 10, 10, 40}, {20, 95, 30, 10}};
  const uint32_t diagonal_colours[3] = {white, gold, white};
  add("diagonal lines",
      [=](Cell c) {
        for (int i = 0; i < 3; i++)
          PaintLine(c.x + diagonals[i][0], c.y + diagonals[i][1], c.x + diagonals[i][2], c.y + diagonals[i][3],
                    Pack(diagonal_colours[i]));
      },
      Models(kLineRule, [=](Prediction* p, bool device, int depth) {
        for (int i = 0; i < 3; i++)
          LineModel(p, diagonals[i][0], diagonals[i][1], diagonals[i][2], diagonals[i][3],
                    InUnits(diagonal_colours[i], depth), device);
      }));
  add("zero sizes",
      [=](Cell c) {
        PaintLine(c.x + 10, c.y + 10, c.x + 10, c.y + 10, Pack(white));
        PaintFilledBox(c.x + 20, c.y + 20, c.x + 20, c.y + 40, Pack(white));
        PaintFilledBox(c.x + 30, c.y + 20, c.x + 50, c.y + 20, Pack(white));
        PaintBoxOutline(c.x + 60, c.y + 60, c.x + 60, c.y + 60, Pack(white));
        PaintBoxOutline(c.x + 70, c.y + 70, c.x + 71, c.y + 71, Pack(gold));
      },
      OnePixelApart(kZeroBoxRule, 70, 70, gold));
  struct Thick {
    int x1, y1, x2, y2;
    uint32_t colour;
  };
  const std::pair<int, std::vector<Thick>> thick[] = {
      {2, {{5, 10, 90, 60, white}}},
      {3, {{5, 10, 90, 60, white}, {10, 80, 90, 80, gold}}},
      {5, {{5, 10, 90, 60, white}, {20, 30, 20, 95, gold}}},
  };
  for (const auto& [thickness, lines] : thick)
    s.push_back({"thick line " + std::to_string(thickness), Ground::kPlain,
                 [thickness, lines](Cell c) {
                   for (const Thick& l : lines)
                     PaintLine(c.x + l.x1, c.y + l.y1, c.x + l.x2, c.y + l.y2, Pack(l.colour), thickness);
                 },
                 Models(kThickRule, [thickness, lines](Prediction* p, bool device, int depth) {
                   for (const Thick& l : lines)
                     ThickLineModel(p, l.x1, l.y1, l.x2, l.y2, l.colour, thickness, 255, device, depth);
                 })});
  add("translucent thick line",
      [=](Cell c) {
        SelectBlendMode(1, 128);
        PaintLine(c.x + 5, c.y + 10, c.x + 90, c.y + 60, Pack(white), 4);
        PaintLine(c.x + 20, c.y + 30, c.x + 20, c.y + 95, Pack(gold), 3);
      },
      Models(kTranslucentThickRule, [=](Prediction* p, bool device, int depth) {
        ThickLineModel(p, 5, 10, 90, 60, white, 4, 128, device, depth);
        ThickLineModel(p, 20, 30, 20, 95, gold, 3, 128, device, depth);
      }));
  add("filled boxes", [=](Cell c) {
    PaintFilledBox(c.x + 5, c.y + 5, c.x + 50, c.y + 40, Pack(gold));
    PaintRectangle(c.x + 60, c.y + 40, c.x + 10, c.y + 60, Pack(white), 1);
    SelectBlendMode(1, 100);
    PaintFilledBox(c.x + 30, c.y + 20, c.x + 90, c.y + 80, PackScreenColor(0, 100, 250));
  });
  add("box outlines", [=](Cell c) {
    PaintBoxOutline(c.x + 5, c.y + 5, c.x + 60, c.y + 50, Pack(white));
    PaintRectangle(c.x + 40, c.y + 30, c.x + 90, c.y + 90, Pack(gold), 0);
  });
  add("box outline reversed", [=](Cell c) {
    PaintBoxOutline(c.x + 60, c.y + 50, c.x + 5, c.y + 5, Pack(white));
    PaintBoxOutline(c.x + 90, c.y + 90, c.x + 70, c.y + 60, Pack(gold));
  });
  add("blended lines and outlines", [=](Cell c) {
    SelectBlendMode(1, 128);
    PaintLine(c.x + 5, c.y + 5, c.x + 90, c.y + 5, Pack(gold));
    PaintBoxOutline(c.x + 10, c.y + 10, c.x + 80, c.y + 80, Pack(white));
    SelectBlendMode(2, 200);
    PaintLine(c.x + 5, c.y + 50, c.x + 95, c.y + 50, Pack(gold));
  });
  add("circles", [=](Cell c) {
    Circle(c.x + 25, c.y + 25, 18, Pack(white), 0);
    Circle(c.x + 70, c.y + 30, 15, Pack(gold), 1);
    Circle(c.x + 50, c.y + 80, 0, Pack(white), 0);
  });
  add("ovals", [=](Cell c) {
    Oval(c.x + 30, c.y + 30, 25, 12, Pack(white), 0);
    Oval(c.x + 60, c.y + 70, 30, 18, Pack(gold), 1);
    Oval(c.x + 85, c.y + 25, 8, 20, Pack(gold), 0);
    Oval(c.x + 12, c.y + 70, 6, 20, Pack(white), 1);
  });
  // A filled oval whose walk ends on a new row: 5 x 1 ends below its centre.
  add("oval tips",
      [=](Cell c) {
        Oval(c.x + 20, c.y + 20, 5, 1, Pack(white), 1);
        Oval(c.x + 60, c.y + 60, 20, 10, Pack(gold), 1);
      },
      OnePixelApart(kOvalTipRule, 20, 21, white));
  const int outline[6] = {5, 5, 90, 20, 30, 60}, filled[6] = {40, 60, 95, 95, 10, 90};
  add("triangles",
      [=](Cell c) {
        Triangle(c.x + outline[0], c.y + outline[1], c.x + outline[2], c.y + outline[3], c.x + outline[4],
                 c.y + outline[5], Pack(white), 0);
        Triangle(c.x + filled[0], c.y + filled[1], c.x + filled[2], c.y + filled[3], c.x + filled[4], c.y + filled[5],
                 Pack(gold), 1);
      },
      Models(kTriangleRule, [=](Prediction* p, bool device, int depth) {
        int v[6];
        std::copy(outline, outline + 6, v);
        // The device turns the corners into one winding first.
        if (device && (v[5] - v[1]) * (v[2] - v[0]) - (v[3] - v[1]) * (v[4] - v[0]) <= 0) {
          std::swap(v[2], v[4]);
          std::swap(v[3], v[5]);
        }
        for (int i = 0; i < 3; i++) {
          int j = (i + 1) % 3;
          LineModel(p, v[2 * i], v[2 * i + 1], v[2 * j], v[2 * j + 1], InUnits(white, depth), device);
        }
        if (device) {
          double xs[3] = {(double)filled[0], (double)filled[2], (double)filled[4]};
          double ys[3] = {(double)filled[1], (double)filled[3], (double)filled[5]};
          DevicePolygonModel(p, xs, ys, 3, InUnits(gold, depth));
        } else {
          SoftTriangle t{{filled[0], filled[2], filled[4]}, {filled[1], filled[3], filled[5]}};
          t.ForEachPixel([&](int x, int y) { p->Set(x, y, InUnits(gold, depth)); });
        }
      }));
}

// ---- the clip and the mask ---------------------------------------------------------------------

const char* const kClippedLineRule =
    "a clipped line: the software renderer moves the line's ends onto the clip's edges (in double precision, "
    "truncated) and walks it again from there, so it may move by a pixel; the device draws the whole line and the "
    "clip cuts it pixel by pixel";

void AddClipAndMask(std::vector<CompareScene>& s) {
  auto background = Ground::kBands100;
  s.push_back({"clip", background, [](Cell c) {
                 SetPaintClipRect(c.x + 20, c.y + 15, c.x + 70, c.y + 85);
                 PaintGraph(c.x + 5, c.y + 5, MakeSource(kAlpha), 1);
                 PaintGraphStretched(c.x + 40, c.y + 5, c.x + 104, c.y + 69, MakeSource(kOpaque), 0);
                 PaintFilledBox(c.x, c.y + 70, c.x + 100, c.y + 80, PackScreenColor(0, 250, 0));
                 PaintBoxOutline(c.x + 10, c.y + 10, c.x + 90, c.y + 95, PackScreenColor(255, 0, 255));
               },
               {}});
  const int clip[4] = {20, 15, 70, 85};
  const int lines[2][4] = {{0, 90, 100, 60}, {75, 0, 10, 100}};
  Expectation e;
  e.rule = kClippedLineRule;
  // The software renderer cuts on the screen's own numbers.
  e.software = [=](const SceneFrames& f, Prediction* p) {
    const Cell c = f.cell;
    const int at[4] = {c.x + clip[0], c.y + clip[1], c.x + clip[2], c.y + clip[3]};
    for (const auto& l : lines)
      SoftClippedLinePixels(c.x + l[0], c.y + l[1], c.x + l[2], c.y + l[3], at,
                            [&](int x, int y) { p->Set(x - c.x, y - c.y, InUnits(kWhite, f.depth)); });
  };
  e.device = [=](const SceneFrames& f, Prediction* p) {
    Prediction whole(p->size());
    for (int y = 0; y < whole.size(); y++)
      for (int x = 0; x < whole.size(); x++) whole.Set(x, y, f.Under(x, y));
    for (const auto& l : lines) LineModel(&whole, l[0], l[1], l[2], l[3], InUnits(kWhite, f.depth), true);
    for (int y = clip[1]; y < clip[3]; y++)
      for (int x = clip[0]; x < clip[2]; x++) {
        const Choices& line = whole.At(x, y);
        p->At(x, y).Clear();
        for (int k = 0; k < line.size(); k++) p->At(x, y).Add(line[k]);
      }
  };
  s.push_back({"clipped line", Ground::kPlain,
               [=](Cell c) {
                 SetPaintClipRect(c.x + clip[0], c.y + clip[1], c.x + clip[2], c.y + clip[3]);
                 for (const auto& l : lines) PaintLine(c.x + l[0], c.y + l[1], c.x + l[2], c.y + l[3], Pack(kWhite));
               },
               e});
  for (int reverse = 0; reverse < 2; reverse++)
    s.push_back({reverse ? "mask reversed" : "mask", background, [reverse](Cell c) {
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
                 },
                 {}});
  s.push_back({"screen copied into a graph", background, [](Cell c) {
                 PaintGraph(c.x, c.y, MakeSource(kOpaque), 0);
                 int copy = CreateBlankGraph(32, 32, 0);
                 GetDrawScreenGraph(c.x + 8, c.y + 8, c.x + 40, c.y + 40, copy);
                 PaintGraph(c.x + 60, c.y + 60, copy, 0);
               },
               {}});
}

// The crossfade graph follows the drawn graph's pixels where the clip cuts
// the graph and where it is stretched or mirrored; a part graph as the
// crossfade graph weighs by the part.
void AddCrossfadeShapes(std::vector<CompareScene>& s) {
  auto background = Ground::kBands100;
  s.push_back({"crossfade by a part graph", background, [](Cell c) {
                 int g = MakeSource(kOpaque), part = CreatePartGraph(20, 24, 32, 32, MakeGreyCrossfadeGraph(64));
                 ASSERT_EQ(SetCrossfadeGraph(part, 128, 0), 0);
                 PaintGraph(c.x + 10, c.y + 10, g, 0);
                 ASSERT_EQ(SetCrossfadeGraph(part, 60, 0), 0);
                 PaintGraph(c.x + 50, c.y + 50, g, 0);
               },
               {}});
  s.push_back({"crossfade clipped, stretched and mirrored", background, [](Cell c) {
                 int g = MakeSource(kOpaque), blend = MakeGreyCrossfadeGraph(32);
                 ASSERT_EQ(SetCrossfadeGraph(blend, 128, 0), 0);
                 SetPaintClipRect(c.x + 10, c.y + 10, c.x + 100, c.y + 100);
                 PaintGraph(c.x + 2, c.y + 2, g, 0);
                 PaintGraphStretched(c.x + 72, c.y + 2, c.x + 40, c.y + 34, g, 0);
                 PaintGraphStretched(c.x + 40, c.y + 40, c.x + 104, c.y + 104, g, 0);
               },
               {}});
}

}  // namespace

std::vector<CompareScene> LargeScenes() {
  std::vector<CompareScene> s;
  AddGraphShapes(s);
  AddPrimitives(s);
  AddTextScenes(s);
  AddCrossfadeShapes(s);
  AddDrawTargetScenes(s);
  AddClipAndMask(s);
  return s;
}
