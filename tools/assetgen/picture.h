// Colour pictures and coverage masks: the surfaces the game's pictures are
// composed on, in straight (not premultiplied) floating-point RGBA, and the
// paints that fill them (a colour, or a linear or radial gradient).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

struct Point {
  double x, y;
};

struct Rgba {
  float r = 0, g = 0, b = 0, a = 0;
};

// 0..255 channels, as colours are written down.
constexpr Rgba Rgb(int r, int g, int b, double a = 1.0) {
  return {(float)(r / 255.0), (float)(g / 255.0), (float)(b / 255.0), (float)a};
}
Rgba Mix(Rgba a, Rgba b, double t);
Rgba Lighter(Rgba c, double t);  // toward white
Rgba Darker(Rgba c, double t);   // toward black
Rgba WithAlpha(Rgba c, double a);
Rgba Grey(Rgba c);  // the colour's own lightness, without hue

// What a shape is filled with: one colour, or colour stops along the line
// from `from` to `to` (linear) or outward from `from` to a radius (radial).
class Paint {
 public:
  Paint(Rgba colour) : stops_{{0.0, colour}} {}  // NOLINT: a colour is a paint
  static Paint Linear(Point from, Point to, std::initializer_list<std::pair<double, Rgba>> stops);
  static Paint Radial(Point centre, double radius, std::initializer_list<std::pair<double, Rgba>> stops);
  Rgba At(double x, double y) const;

 private:
  enum class Kind { kSolid, kLinear, kRadial };
  Paint(Kind kind, Point from, Point to, double radius, std::initializer_list<std::pair<double, Rgba>> stops);
  Kind kind_ = Kind::kSolid;
  std::vector<std::pair<double, Rgba>> stops_;
  Point from_{}, to_{};
  double radius_ = 1;
};

// Coverage 0..1 per pixel: the shape of text, a glow or a shadow before it
// is painted.
struct Mask {
  using Ink = float;  // the opacity a canvas paints with
  static constexpr int kSamples = 4;
  Mask() = default;
  Mask(int w, int h) : width(w), height(h), a((size_t)w * h, 0.0f) {}
  float At(int x, int y) const { return x < 0 || y < 0 || x >= width || y >= height ? 0.0f : a[(size_t)y * width + x]; }
  void Put(int x, int y, float ink, double coverage);
  void Fill(float ink);
  int width = 0, height = 0;
  std::vector<float> a;
};

struct RgbaImage {
  using Ink = Paint;
  static constexpr int kSamples = 4;
  RgbaImage() = default;
  RgbaImage(int w, int h, Rgba fill = {}) : width(w), height(h), pixels((size_t)w * h, fill) {}
  Rgba& at(int x, int y) { return pixels[(size_t)y * width + x]; }
  const Rgba& at(int x, int y) const { return pixels[(size_t)y * width + x]; }
  // Lays `ink` over the pixel at `coverage` of its opacity.
  void Put(int x, int y, const Paint& ink, double coverage);
  void Fill(const Paint& ink);
  int width = 0, height = 0;
  std::vector<Rgba> pixels;
};

void Over(Rgba* dst, Rgba src);  // src over dst

// Lays `src` over `dst` with its top-left corner at (x, y).
void Composite(RgbaImage* dst, const RgbaImage& src, int x, int y, double opacity = 1.0);
// Paints `paint` through `mask`, the mask's top-left corner at (x, y).
void PaintMask(RgbaImage* dst, const Mask& mask, int x, int y, const Paint& paint);
// Three box blurs of the given radius: close to a Gaussian.
Mask Blur(const Mask& mask, int radius);
// The mask grown by `margin` pixels on every side (for a blur to spread into).
Mask Pad(const Mask& mask, int margin);
// The image's opacity as a mask.
Mask AlphaOf(const RgbaImage& image);
// Multiplies the image's opacity by the mask, placed at (x, y).
void ClipTo(RgbaImage* image, const Mask& mask, int x, int y);
// Every colour channel through a function of the lightness (for greying out).
void Desaturate(RgbaImage* image, double amount, double dim);

// A repeatable pseudo-random sequence (the pictures and sounds must come out
// the same on every build).
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t Next();
  double Uniform() { return (Next() >> 11) * (1.0 / 9007199254740992.0); }  // [0, 1)
  double Range(double lo, double hi) { return lo + (hi - lo) * Uniform(); }

 private:
  uint64_t state_;
};
