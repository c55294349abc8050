// What each drawing path's rules predict for a scene of the comparison: the
// colours every pixel of a cell may show, painted draw by draw the way one
// path's rule paints them, and the check of a frame against them. The
// pieces of the rules the scenes share live here: the sources and their
// texels, each path's blend arithmetic, stretch sampling, bilinear
// filtering, triangle and quadrangle coverage, and lines.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/engine/graphics/gl/gl_fixture.h"

struct Cell {
  int x, y;
};

// ---- colours ----------------------------------------------------------------------------------

inline int Red(uint32_t c) { return (int)(c >> 16) & 255; }
inline int Green(uint32_t c) { return (int)(c >> 8) & 255; }
inline int Blue(uint32_t c) { return (int)c & 255; }
inline int Channel(uint32_t c, int k) { return (int)(c >> (8 * k)) & 255; }  // 0 blue, 1 green, 2 red
inline uint32_t Rgb(int r, int g, int b) { return (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b; }
inline uint32_t Rgb(const Rgba& c) { return Rgb(c.r, c.g, c.b); }
// f(k, a, b) for each channel of two colours.
template <class F>
uint32_t PerChannel(uint32_t a, uint32_t b, F&& f) {
  return Rgb(f(2, Red(a), Red(b)), f(1, Green(a), Green(b)), f(0, Blue(a), Blue(b)));
}

// Per channel (blue, green, red) in the screen's units: 8-bit values at 32
// bits; at 16 bits units of five bits for red and blue and six for green.
struct Tolerance {
  int t[3];
};
// The claim where both paths follow one rule: one unit per channel at 32
// bits; at 16 bits a graph's texture keeps five bits of green (its sixth
// holds the bit of alpha), the software image six, so green agrees within
// two units of six bits, red and blue within one of five.
constexpr Tolerance kClaim32{{1, 1, 1}}, kClaim16{{1, 2, 1}};
inline Tolerance Plus(Tolerance a, int more) { return Tolerance{{a.t[0] + more, a.t[1] + more, a.t[2] + more}}; }

struct Bounds {
  Tolerance at16 = kClaim16, at32 = kClaim32;
  const Tolerance& At(int depth) const { return depth == 16 ? at16 : at32; }
};
// The claim plus what a rule adds, in the screen's units at each depth.
inline Bounds ClaimPlus(int more16, int more32) { return Bounds{Plus(kClaim16, more16), Plus(kClaim32, more32)}; }

// ---- predictions -----------------------------------------------------------------------------

// The colours one pixel may show by a path's rule: one, or a few where the
// rule leaves the choice open (a sample point on a texel's edge, a pixel
// centre on an edge of a triangle, a level the frames cannot tell apart).
class Choices {
 public:
  static constexpr int kMax = 64;
  Choices() {}
  void Clear() { n_ = 0; }
  void Add(uint32_t c) {
    for (int i = 0; i < n_; i++)
      if (c_[i] == c) return;
    if (n_ < kMax) c_[n_++] = c;
    else overflow_ = true;
  }
  int size() const { return n_; }
  uint32_t operator[](int i) const { return c_[i]; }
  bool overflow() const { return overflow_; }

 private:
  uint32_t c_[kMax];  // the first n_ are in use
  int n_ = 0;
  bool overflow_ = false;
};

// What one path's rule lets each pixel of a cell show (cell coordinates).
class Prediction {
 public:
  explicit Prediction(int size) : size_(size), px_((size_t)size * size) {}
  int size() const { return size_; }
  bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < size_ && y < size_; }
  // Every pixel shows what the frame shows in the cell.
  void Start(const Frame& frame, Cell c);
  Choices& At(int x, int y) { return px_[(size_t)y * size_ + x]; }
  const Choices& At(int x, int y) const { return px_[(size_t)y * size_ + x]; }
  // A draw over pixel (x, y): draw(before, out) adds to out each colour the
  // draw may leave of a colour the pixel may have shown before.
  template <class F>
  void Paint(int x, int y, F&& draw) {
    if (!Inside(x, y)) return;
    Choices& pixel = At(x, y);
    uint32_t before[Choices::kMax];
    int n = pixel.size();
    for (int i = 0; i < n; i++) before[i] = pixel[i];
    pixel.Clear();
    for (int i = 0; i < n; i++) draw(before[i], pixel);
  }
  // One colour whatever the pixel showed.
  void Set(int x, int y, uint32_t c) {
    if (!Inside(x, y)) return;
    At(x, y).Clear();
    At(x, y).Add(c);
  }

 private:
  int size_;
  std::vector<Choices> px_;
};

// How far a frame's cell is from a prediction: the pixels that show no
// colour the prediction allows within the tolerance, and the worst of them
// (its difference to the nearest colour allowed, in the screen's units).
struct Verdict {
  int beyond = 0, worst = 0;
  int x = -1, y = -1;
  uint32_t shown = 0, nearest = 0;
  bool overflow = false;
};
Verdict Check(const Frame& frame, Cell c, const Prediction& p, int depth, const Tolerance& tolerance);
// The difference of two colours in one channel, in the screen's units.
int UnitDifference(uint32_t a, uint32_t b, int k, int depth);
std::string Describe(const Verdict& v);

// The frames a scene's check sees: the cell, the depth, the frame of the
// backgrounds alone and the two paths' frames.
struct SceneFrames {
  Cell cell;
  int size, depth;
  const Frame& background;
  const Frame& software;
  const Frame& device;
  uint32_t At(const Frame& f, int x, int y) const { return f[(size_t)(cell.y + y) * 640 + cell.x + x]; }
  uint32_t Under(int x, int y) const;  // the background, in the screen's units
};
using Model = std::function<void(const SceneFrames&, Prediction*)>;
// A model's start: every pixel shows the background, in the screen's units.
void StartFromBackground(const SceneFrames& f, Prediction* p);

// ---- units ------------------------------------------------------------------------------------

// A colour as both paths reckon with it at the depth: at 16 bits whole units
// of five bits (six for green), each kept as a byte that is a multiple of
// the unit (as the device's wide targets keep it), so that byte arithmetic
// on them and the units the check compares give the kernels' own results
// on five- and six-bit fields.
inline uint32_t InUnits(uint32_t c, int depth) { return depth == 16 ? c & 0xF8FCF8u : c; }
inline Rgba InUnits(const Rgba& c, int depth) {
  uint32_t u = InUnits(Rgb(c), depth);
  return Rgba{Red(u), Green(u), Blue(u), c.a};
}

// ---- the sources ------------------------------------------------------------------------------

// The three kinds of source graph, size x size with colour in both
// directions and odd values among them.
enum Source { kOpaque, kAlpha, kKeyed };
extern const char* const kSourceName[3];
// A texel of a source (alpha 0 for the keyed squares, which are black).
Rgba SourceTexel(Source kind, int x, int y, int size = 32);
// A texel as each path reads it at the depth: the software renderer's
// image in the screen's units; the device's texture (a graph with alpha is
// a 32-bit texture at either depth, one without a 16-bit texture of five
// bits a channel, its green widened to eight bits by repeating its bits),
// before a stage cuts it to the screen's units.
Rgba SoftTexel(Source kind, int x, int y, int depth);
Rgba DeviceTexel(Source kind, int x, int y, int depth);
bool IsKey(Source kind, int x, int y);
int MakeSource(Source kind, int size = 32);

// The crossfade byte of a size x size crossfade graph: a ramp across the
// upper half, a step pattern in the lower; and the graph, one byte a pixel.
int CrossfadeByte(int size, int x, int y);
int MakeGreyCrossfadeGraph(int size);

// ---- the software renderer's arithmetic (bytes) --------------------------------------------------

namespace soft {
inline int Scale(int b, int x) { return b * x / 255; }  // the scale table
// d moved towards s by the product of `weights` weights of 0..255, each
// over 256, rounded down; no weight is the source itself.
inline int Move(int d, int s, int64_t product, int weights) {
  if (weights == 0) return s;
  int shift = 8 * weights;
  return (int)((((int64_t)d << shift) + (int64_t)(s - d) * product) >> shift);
}
// The crossfade ramp of a border parameter and range.
int Ramp(int param, int range, int value);
}  // namespace soft

// ---- the device's arithmetic (bytes) -------------------------------------------------------------

namespace dev {
// A stage's product of two bytes, cut as the stage cuts it.
inline int Mul(int a, int b) { return (int)((double)a * b / 255.0 + 0.002); }
// The blend unit's weighted blend: the weight over 256 (255 whole).
inline int Weighted(int d, int s, int w) { return w >= 255 ? s : (int)((s * w + d * (256 - w)) / 256); }
inline uint32_t Weighted(uint32_t d, uint32_t s, int w) {
  return PerChannel(d, s, [w](int, int a, int b) { return Weighted(a, b, w); });
}
}  // namespace dev

// A texel drawn in copy mode with the transparent flag, on either path: the
// key is left out (the software's key test, the device's alpha test), alpha
// 0 leaves the destination, 255 is the texel, and any other alpha moves
// towards the texel by alpha / 256 (the software kernels' shift, the
// device's weighted blend).
inline uint32_t CopyTexel(uint32_t d, const Rgba& t, Source kind) {
  if (kind == kOpaque) return Rgb(t);
  return dev::Weighted(d, Rgb(t), t.a);
}

// ---- sampling ------------------------------------------------------------------------------------

// The source column (or row) a software stretch of `source` texels onto
// `span` pixels draws at pixel i of its rectangle, counted from the
// rectangle's left (top): floor(i x 65536 / step) from the 16.16 step, from
// the far side when mirrored.
int SoftStretchTexel(int i, int span, int source, bool mirrored);
// Where the device samples pixel i of a stretch: its centre, (i + 0.5) /
// span of the way across, in texels.
double DeviceStretchPoint(int i, int span, int source, bool mirrored);
// The texels a sample point may take: its own, and the neighbour when the
// point lies within `margin` of their common edge.
int TexelsAt(double point, int source, double margin, int out[2]);

// The device's texels filtered bilinearly at a point in texels (clamped at
// the edges): colour and alpha rounded to bytes, the colour then cut to the
// screen's units.
Rgba Bilinear(Source kind, double u, double v, int depth);

// ---- coverage ------------------------------------------------------------------------------------

// Whether a pixel is covered: 0 no, 1 yes, 2 either (on an edge).
enum Cover { kOut = 0, kIn = 1, kEdge = 2 };

// The software triangle of whole-pixel corners (their centres in 14.18):
// rows from the top corner's row to the one above the bottom corner's, each
// from its left edge's whole column to its right edge's, the edges stepped
// by rows as the rasterizer steps them.
struct SoftTriangle {
  int x[3], y[3];
  int u[3] = {0, 0, 0}, v[3] = {0, 0, 0};  // texture positions in texels
  // Calls f(x, y, u, v) for every pixel the triangle covers, row by row,
  // with the texture position (14.18) the rasterizer takes there.
  void Walk(const std::function<void(int, int, uint32_t, uint32_t)>& f) const;
  // Calls f(x, y) for every pixel the triangle covers, row by row.
  void ForEachPixel(const std::function<void(int, int)>& f) const;
};

// A device polygon: pixels whose centres (whole numbers) lie inside, the
// ones within `margin` of an edge either. Corners in screen pixels.
Cover DeviceCover(const double* xs, const double* ys, int n, double px, double py, double margin = 1.0 / 64);

// The pixels of a one-pixel line: the software walk from its first end (its
// minor coordinate start + floor(k x minor / major)), and the device's
// nearest pixel to the line at each column or row (either of two where the
// line passes half-way), its last end left out on both.
void SoftLinePixels(int x1, int y1, int x2, int y2, const std::function<void(int, int)>& f);
// The software line cut to a clip (x1, y1, x2, y2, right and bottom
// exclusive): its ends moved onto the clip's edges in double precision and
// truncated, then walked from the first.
void SoftClippedLinePixels(int x1, int y1, int x2, int y2, const int* clip, const std::function<void(int, int)>& f);
void DeviceLinePixels(int x1, int y1, int x2, int y2, const std::function<void(int, int, Cover)>& f);
