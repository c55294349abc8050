#include "tests/engine/graphics/gl/compare_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/graphics/graphics.h"
#include "engine/image/base_image.h"
#include "tests/engine/softrender/triangle_walk.h"

// ---- predictions -----------------------------------------------------------------------------

void Prediction::Start(const Frame& frame, Cell c) {
  for (int y = 0; y < size_; y++)
    for (int x = 0; x < size_; x++) {
      Choices& p = At(x, y);
      p.Clear();
      int fx = c.x + x, fy = c.y + y;
      p.Add(fx < 640 && fy < 480 ? frame[(size_t)fy * 640 + fx] : 0u);
    }
}

namespace {

const int kDrop16[3] = {3, 2, 3};

}  // namespace

int UnitDifference(uint32_t a, uint32_t b, int k, int depth) {
  int drop = depth == 16 ? kDrop16[k] : 0;
  return std::abs((Channel(a, k) >> drop) - (Channel(b, k) >> drop));
}

Verdict Check(const Frame& frame, Cell c, const Prediction& p, int depth, const Tolerance& tolerance) {
  Verdict v;
  for (int y = 0; y < p.size(); y++)
    for (int x = 0; x < p.size(); x++) {
      int fx = c.x + x, fy = c.y + y;
      if (fx >= 640 || fy >= 480) continue;
      uint32_t shown = frame[(size_t)fy * 640 + fx];
      const Choices& allowed = p.At(x, y);
      v.overflow |= allowed.overflow();
      int nearest = 1 << 20, within = 0;
      uint32_t nearest_colour = 0;
      for (int i = 0; i < allowed.size(); i++) {
        int worst = 0;
        bool ok = true;
        for (int k = 0; k < 3; k++) {
          int d = UnitDifference(shown, allowed[i], k, depth);
          worst = std::max(worst, d);
          ok &= d <= tolerance.t[k];
        }
        within |= ok;
        if (worst < nearest) nearest = worst, nearest_colour = allowed[i];
      }
      if (!within) v.beyond++;
      if (nearest > v.worst) v.worst = nearest, v.x = x, v.y = y, v.shown = shown, v.nearest = nearest_colour;
    }
  return v;
}

std::string Describe(const Verdict& v) {
  char text[160];
  snprintf(text, sizeof text, "worst %d at %d,%d: %06X where %06X was allowed%s", v.worst, v.x, v.y, v.shown, v.nearest,
           v.overflow ? " (too many choices)" : "");
  return text;
}

// ---- the sources ------------------------------------------------------------------------------

const char* const kSourceName[3] = {"opaque", "alpha", "keyed"};

bool IsKey(Source kind, int x, int y) { return kind == kKeyed && ((x / 6) + (y / 6)) % 2 == 0; }

Rgba SourceTexel(Source kind, int x, int y, int size) {
  int step = 128 / size;
  if (kind == kAlpha)  // every weight from 0 at the left to 255 at the right
    return Rgba{255 - y * step, 60 + x * step * 3 / 2, 250 - x * step, x * 255 / (size - 1)};
  if (IsKey(kind, x, y)) return Rgba{0, 0, 0, 0};
  return Rgba{x * step * 2 + y % 4 + 3, y * step * 2 + x % 3 + 2, ((x ^ y) * step * 2 + 7) & 255, 255};
}

int MakeSource(Source kind, int size) {
  if (kind == kAlpha) {
    BASEIMAGE image = MakeImage(size, size, [&](int x, int y) { return SourceTexel(kind, x, y, size); });
    int graph = CreateGraphFromImage(&image, nullptr, 0, 0, 0);
    DisposeBaseImage(&image);
    return graph;
  }
  return MakeGraph(size, size, [&](int x, int y) { return SourceTexel(kind, x, y, size); });
}

Rgba SoftTexel(Source kind, int x, int y, int depth) { return InUnits(SourceTexel(kind, x, y), depth); }

Rgba DeviceTexel(Source kind, int x, int y, int depth) {
  Rgba t = SourceTexel(kind, x, y);
  if (depth == 32 || kind == kAlpha) return t;
  auto five = [](int v) { return (v >> 3) << 3 | v >> 5; };
  return Rgba{five(t.r), five(t.g), five(t.b), t.a};
}

uint32_t SceneFrames::Under(int x, int y) const { return InUnits(At(background, x, y), depth); }

void StartFromBackground(const SceneFrames& f, Prediction* p) {
  for (int y = 0; y < p->size() && f.cell.y + y < 480; y++)
    for (int x = 0; x < p->size() && f.cell.x + x < 640; x++) p->Set(x, y, f.Under(x, y));
}

int CrossfadeByte(int size, int x, int y) { return y < size / 2 ? x * 255 / (size - 1) : (x * 37) & 255; }

int MakeGreyCrossfadeGraph(int size) {
  SetGraphCreateBlendImage(1);
  PIXELFORMAT grey;
  InitGreyPixelFormat(&grey);
  BASEIMAGE wipe{};
  MakeBaseImageOfFormat(size, size, &grey, &wipe);
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) wipe.pixels[(size_t)y * wipe.pitch + x] = (uint8_t)CrossfadeByte(size, x, y);
  int graph = CreateGraphFromImage(&wipe, nullptr, 0, 0, 0);
  DisposeBaseImage(&wipe);
  SetGraphCreateBlendImage(0);
  return graph;
}

// ---- arithmetic ---------------------------------------------------------------------------------

namespace soft {

int Ramp(int param, int range, int value) {
  int step = 65536 / (range + 1);
  int base = 256 - ((step + 256) * param) / 256;
  return std::clamp(value * 256 / (range + 1) + base, 0, 255);
}

}  // namespace soft

// ---- sampling ------------------------------------------------------------------------------------

int SoftStretchTexel(int i, int span, int source, bool mirrored) {
  uint32_t step = (uint32_t)((uint64_t)span * 65536 / (uint64_t)source);
  int t = (int)((int64_t)i * 65536 / step);
  return mirrored ? source - 1 - t : t;
}

double DeviceStretchPoint(int i, int span, int source, bool mirrored) {
  double u = (i + 0.5) * source / span;
  return mirrored ? source - u : u;
}

int TexelsAt(double point, int source, double margin, int out[2]) {
  int n = 0;
  int lo = (int)std::floor(point - margin), hi = (int)std::floor(point + margin);
  for (int t = lo; t <= hi && n < 2; t++)
    if (t >= 0 && t < source) out[n++] = t;
  return n;
}

Rgba Bilinear(Source kind, double u, double v, int depth) {
  const int size = 32;
  double p = u - 0.5, q = v - 0.5;
  int i0 = (int)std::floor(p), j0 = (int)std::floor(q);
  double fx = p - i0, fy = q - j0;
  auto clampi = [size](int i) { return std::clamp(i, 0, size - 1); };
  double sum[4] = {};
  for (int dj = 0; dj < 2; dj++)
    for (int di = 0; di < 2; di++) {
      double w = (di ? fx : 1 - fx) * (dj ? fy : 1 - fy);
      Rgba t = DeviceTexel(kind, clampi(i0 + di), clampi(j0 + dj), depth);
      sum[0] += w * t.r, sum[1] += w * t.g, sum[2] += w * t.b, sum[3] += w * t.a;
    }
  auto byte = [](double x) { return std::clamp((int)std::floor(x + 0.5), 0, 255); };
  return InUnits(Rgba{byte(sum[0]), byte(sum[1]), byte(sum[2]), byte(sum[3])}, depth);
}

// ---- coverage ------------------------------------------------------------------------------------

void SoftTriangle::Walk(const std::function<void(int, int, uint32_t, uint32_t)>& f) const {
  const TriangleVertex corners[3] = {{x[0], y[0], u[0], v[0]}, {x[1], y[1], u[1], v[1]}, {x[2], y[2], u[2], v[2]}};
  const int32_t screen[4] = {0, 0, 640, 480};
  StepByStepWalk(corners, screen, [&](int px, int py, uint32_t pu, uint32_t pv) { f(px, py, pu, pv); });
}

void SoftTriangle::ForEachPixel(const std::function<void(int, int)>& f) const {
  Walk([&](int px, int py, uint32_t, uint32_t) { f(px, py); });
}

Cover DeviceCover(const double* xs, const double* ys, int n, double px, double py, double margin) {
  double area = 0;
  for (int i = 0; i < n; i++) {
    int j = (i + 1) % n;
    area += xs[i] * ys[j] - xs[j] * ys[i];
  }
  if (area == 0) return kOut;
  double sign = area > 0 ? 1 : -1, nearest = 1e9;
  for (int i = 0; i < n; i++) {
    int j = (i + 1) % n;
    double ex = xs[j] - xs[i], ey = ys[j] - ys[i], len = std::hypot(ex, ey);
    if (len == 0) continue;
    double d = sign * (ex * (py - ys[i]) - ey * (px - xs[i])) / len;
    nearest = std::min(nearest, d);
  }
  return nearest > margin ? kIn : nearest < -margin ? kOut : kEdge;
}

// ---- lines ---------------------------------------------------------------------------------------

void SoftLinePixels(int x1, int y1, int x2, int y2, const std::function<void(int, int)>& f) {
  int dx = x2 - x1, dy = y2 - y1, ax = std::abs(dx), ay = std::abs(dy);
  int sx = dx >= 0 ? 1 : -1, sy = dy >= 0 ? 1 : -1;
  if (ax == 0 && ay == 0) return;
  if (ax < ay)
    for (int k = 0; k < ay; k++) f(x1 + sx * (k * ax / ay), y1 + sy * k);
  else
    for (int k = 0; k < ax; k++) f(x1 + sx * k, y1 + sy * (k * ay / ax));
}

void SoftClippedLinePixels(int x1, int y1, int x2, int y2, const int* clip, const std::function<void(int, int)>& f) {
  const int L = clip[0], T = clip[1], R = clip[2], B = clip[3];
  if (std::max(x1, x2) < L || std::max(y1, y2) < T || std::min(x1, x2) >= R || std::min(y1, y2) >= B) return;
  double kx = y1 != y2 ? (double)(x2 - x1) / (y2 - y1) : 0, ky = x1 != x2 ? (double)(y2 - y1) / (x2 - x1) : 0;
  double cx = x1 - y1 * kx, cy = y1 - x1 * ky;
  auto at = [](double v) { return (int)v; };
  int ax = x1, ay = y1, bx = x2, by = y2;
  if (x1 < L) ax = L, ay = at(L * ky + cy);
  else if (x1 >= R) ax = R - 1, ay = at((R - 1) * ky + cy);
  if (x2 < L) bx = L - 1, by = at((L - 1) * ky + cy);
  else if (x2 >= R) bx = R, by = at(R * ky + cy);
  if (ay < T) ay = T, ax = at(T * kx + cx);
  else if (ay >= B) ay = B - 1, ax = at((B - 1) * kx + cx);
  if (by < T) by = T - 1, bx = at((T - 1) * kx + cx);
  else if (by >= B) by = B, bx = at(B * kx + cx);
  ax = std::clamp(ax, L, R - 1), ay = std::clamp(ay, T, B - 1);
  bx = bx < L ? L - 1 : bx >= R ? R : bx;
  by = by < T ? T - 1 : by >= B ? B : by;
  SoftLinePixels(ax, ay, bx, by, f);
}

void DeviceLinePixels(int x1, int y1, int x2, int y2, const std::function<void(int, int, Cover)>& f) {
  int dx = x2 - x1, dy = y2 - y1, ax = std::abs(dx), ay = std::abs(dy);
  int sx = dx >= 0 ? 1 : -1, sy = dy >= 0 ? 1 : -1;
  if (ax == 0 && ay == 0) return;
  bool x_major = ax >= ay;
  int n = x_major ? ax : ay;
  for (int k = 0; k < n; k++) {
    // The minor coordinate at the k-th major step, in halves: odd where the
    // line passes half-way between two pixels.
    int64_t twice = x_major ? 2 * (int64_t)k * ay : 2 * (int64_t)k * ax;
    int64_t num = twice + n, q = num / (2 * n), r = num % (2 * n);
    int minor = (int)q;
    if (x_major) {
      f(x1 + sx * k, y1 + sy * minor, r == 0 ? kEdge : kIn);
      if (r == 0) f(x1 + sx * k, y1 + sy * (minor - 1), kEdge);
    } else {
      f(x1 + sx * minor, y1 + sy * k, r == 0 ? kEdge : kIn);
      if (r == 0) f(x1 + sx * (minor - 1), y1 + sy * k, kEdge);
    }
  }
}
