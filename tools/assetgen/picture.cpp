#include "tools/assetgen/picture.h"

#include <algorithm>
#include <cmath>

Rgba Mix(Rgba a, Rgba b, double t) {
  const float u = (float)t;
  return {a.r + (b.r - a.r) * u, a.g + (b.g - a.g) * u, a.b + (b.b - a.b) * u, a.a + (b.a - a.a) * u};
}
Rgba Lighter(Rgba c, double t) { return Mix(c, {1, 1, 1, c.a}, t); }
Rgba Darker(Rgba c, double t) { return Mix(c, {0, 0, 0, c.a}, t); }
Rgba WithAlpha(Rgba c, double a) { return {c.r, c.g, c.b, (float)a}; }
Rgba Grey(Rgba c) {
  const float l = 0.30f * c.r + 0.59f * c.g + 0.11f * c.b;
  return {l, l, l, c.a};
}

Paint::Paint(Kind kind, Point from, Point to, double radius, std::initializer_list<std::pair<double, Rgba>> stops)
    : kind_(kind), stops_(stops), from_(from), to_(to), radius_(radius) {}

Paint Paint::Linear(Point from, Point to, std::initializer_list<std::pair<double, Rgba>> stops) {
  return Paint(Kind::kLinear, from, to, 1, stops);
}

Paint Paint::Radial(Point centre, double radius, std::initializer_list<std::pair<double, Rgba>> stops) {
  return Paint(Kind::kRadial, centre, centre, radius, stops);
}

Rgba Paint::At(double x, double y) const {
  if (kind_ == Kind::kSolid || stops_.size() == 1) return stops_.front().second;
  double t;
  if (kind_ == Kind::kLinear) {
    const double dx = to_.x - from_.x, dy = to_.y - from_.y;
    const double length2 = dx * dx + dy * dy;
    t = length2 > 0 ? ((x - from_.x) * dx + (y - from_.y) * dy) / length2 : 0;
  } else {
    t = std::hypot(x - from_.x, y - from_.y) / radius_;
  }
  if (t <= stops_.front().first) return stops_.front().second;
  for (size_t i = 1; i < stops_.size(); ++i) {
    if (t <= stops_[i].first) {
      const double span = stops_[i].first - stops_[i - 1].first;
      return Mix(stops_[i - 1].second, stops_[i].second, span > 0 ? (t - stops_[i - 1].first) / span : 1);
    }
  }
  return stops_.back().second;
}

void Mask::Put(int x, int y, float ink, double coverage) {
  float& d = a[(size_t)y * width + x];
  const float s = ink * (float)coverage;
  d = s + d * (1 - s);
}

void Mask::Fill(float ink) { std::fill(a.begin(), a.end(), ink); }

void Over(Rgba* dst, Rgba src) {
  if (src.a <= 0) return;
  const float out_a = src.a + dst->a * (1 - src.a);
  if (out_a <= 0) {
    *dst = {};
    return;
  }
  const float keep = dst->a * (1 - src.a);
  dst->r = (src.r * src.a + dst->r * keep) / out_a;
  dst->g = (src.g * src.a + dst->g * keep) / out_a;
  dst->b = (src.b * src.a + dst->b * keep) / out_a;
  dst->a = out_a;
}

void RgbaImage::Put(int x, int y, const Paint& ink, double coverage) {
  Rgba c = ink.At(x + 0.5, y + 0.5);
  c.a *= (float)coverage;
  Over(&at(x, y), c);
}

void RgbaImage::Fill(const Paint& ink) {
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) at(x, y) = ink.At(x + 0.5, y + 0.5);
}

void Composite(RgbaImage* dst, const RgbaImage& src, int x, int y, double opacity) {
  for (int sy = 0; sy < src.height; ++sy) {
    const int dy = y + sy;
    if (dy < 0 || dy >= dst->height) continue;
    for (int sx = 0; sx < src.width; ++sx) {
      const int dx = x + sx;
      if (dx < 0 || dx >= dst->width) continue;
      Rgba c = src.at(sx, sy);
      c.a *= (float)opacity;
      Over(&dst->at(dx, dy), c);
    }
  }
}

void PaintMask(RgbaImage* dst, const Mask& mask, int x, int y, const Paint& paint) {
  for (int my = 0; my < mask.height; ++my) {
    const int dy = y + my;
    if (dy < 0 || dy >= dst->height) continue;
    for (int mx = 0; mx < mask.width; ++mx) {
      const int dx = x + mx;
      const float m = mask.a[(size_t)my * mask.width + mx];
      if (dx < 0 || dx >= dst->width || m <= 0) continue;
      dst->Put(dx, dy, paint, std::min(1.0f, m));
    }
  }
}

namespace {

// One box blur along rows (step 1) or columns (step width).
void BoxPass(const std::vector<float>& in, std::vector<float>* out, int count, int lines, int step, int line_step,
             int radius) {
  const float scale = 1.0f / (2 * radius + 1);
  for (int line = 0; line < lines; ++line) {
    const size_t base = (size_t)line * line_step;
    auto get = [&](int i) { return i < 0 || i >= count ? 0.0f : in[base + (size_t)i * step]; };
    float sum = 0;
    for (int i = -radius; i <= radius; ++i) sum += get(i);
    for (int i = 0; i < count; ++i) {
      (*out)[base + (size_t)i * step] = sum * scale;
      sum += get(i + radius + 1) - get(i - radius);
    }
  }
}

}  // namespace

Mask Blur(const Mask& mask, int radius) {
  Mask out = mask;
  if (radius <= 0) return out;
  std::vector<float> work(out.a.size());
  for (int pass = 0; pass < 3; ++pass) {
    BoxPass(out.a, &work, out.width, out.height, 1, out.width, radius);
    BoxPass(work, &out.a, out.height, out.width, out.width, 1, radius);
  }
  return out;
}

Mask Pad(const Mask& mask, int margin) {
  Mask out(mask.width + 2 * margin, mask.height + 2 * margin);
  for (int y = 0; y < mask.height; ++y)
    for (int x = 0; x < mask.width; ++x)
      out.a[(size_t)(y + margin) * out.width + x + margin] = mask.a[(size_t)y * mask.width + x];
  return out;
}

Mask AlphaOf(const RgbaImage& image) {
  Mask m(image.width, image.height);
  for (size_t i = 0; i < m.a.size(); ++i) m.a[i] = image.pixels[i].a;
  return m;
}

void ClipTo(RgbaImage* image, const Mask& mask, int x, int y) {
  for (int iy = 0; iy < image->height; ++iy)
    for (int ix = 0; ix < image->width; ++ix) image->at(ix, iy).a *= std::min(1.0f, mask.At(ix - x, iy - y));
}

void Desaturate(RgbaImage* image, double amount, double dim) {
  for (Rgba& c : image->pixels) {
    const Rgba g = Grey(c);
    c = Darker(Mix(c, g, amount), dim);
  }
}

uint64_t Random::Next() {
  // splitmix64
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}
