#include "tools/assetgen/canvas.h"

#include <algorithm>
#include <cmath>

template <class Target>
template <class Inside>
void BasicCanvas<Target>::Cover(double x0, double y0, double x1, double y1, const Ink& ink, Inside inside) {
  constexpr int n = Target::kSamples;
  const int ya = std::max(0, (int)std::floor(y0)), yb = std::min(target_->height - 1, (int)std::ceil(y1));
  const int xa = std::max(0, (int)std::floor(x0)), xb = std::min(target_->width - 1, (int)std::ceil(x1));
  for (int y = ya; y <= yb; ++y) {
    if (y + 0.5 < clip_y0_ || y + 0.5 >= clip_y1_) continue;
    for (int x = xa; x <= xb; ++x) {
      if constexpr (n == 1) {
        if (inside(x + 0.5, y + 0.5)) target_->Put(x, y, ink, 1.0);
      } else {
        // Inside or outside at the centre and near all four corners: the
        // pixel is taken as wholly so, without the full sample grid.
        const bool centre = inside(x + 0.5, y + 0.5);
        const double e = 0.5 / n;
        if (inside(x + e, y + e) == centre && inside(x + 1 - e, y + e) == centre &&
            inside(x + e, y + 1 - e) == centre && inside(x + 1 - e, y + 1 - e) == centre) {
          if (centre) target_->Put(x, y, ink, 1.0);
          continue;
        }
        int hits = 0;
        for (int j = 0; j < n; ++j)
          for (int i = 0; i < n; ++i) hits += inside(x + (i + 0.5) / n, y + (j + 0.5) / n);
        if (hits) target_->Put(x, y, ink, hits / double(n * n));
      }
    }
  }
}

template <class Target>
void BasicCanvas<Target>::Rect(double x0, double y0, double x1, double y1, const Ink& ink) {
  Cover(x0, y0, x1, y1, ink, [&](double px, double py) { return px >= x0 && px < x1 && py >= y0 && py < y1; });
}

template <class Target>
void BasicCanvas<Target>::RoundRect(double x0, double y0, double x1, double y1, double radius, const Ink& ink) {
  radius = std::min({radius, (x1 - x0) / 2, (y1 - y0) / 2});
  Cover(x0, y0, x1, y1, ink, [&](double px, double py) {
    if (px < x0 || px >= x1 || py < y0 || py >= y1) return false;
    const double dx = std::max({x0 + radius - px, px - (x1 - radius), 0.0});
    const double dy = std::max({y0 + radius - py, py - (y1 - radius), 0.0});
    return dx * dx + dy * dy <= radius * radius;
  });
}

template <class Target>
void BasicCanvas<Target>::Ellipse(double cx, double cy, double rx, double ry, const Ink& ink) {
  if (rx <= 0 || ry <= 0) return;
  Cover(cx - rx, cy - ry, cx + rx, cy + ry, ink, [&](double px, double py) {
    const double dx = (px - cx) / rx, dy = (py - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
  });
}

template <class Target>
void BasicCanvas<Target>::OutlinedEllipse(double cx, double cy, double rx, double ry, double width, const Ink& fill,
                                          const Ink& outline) {
  Ellipse(cx, cy, rx + width, ry + width, outline);
  Ellipse(cx, cy, rx, ry, fill);
}

template <class Target>
void BasicCanvas<Target>::Polygon(const std::vector<Point>& points, const Ink& ink) {
  if (points.size() < 3) return;
  double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
  for (const Point& p : points) {
    x0 = std::min(x0, p.x), y0 = std::min(y0, p.y);
    x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
  }
  Cover(x0, y0, x1, y1, ink, [&](double px, double py) {
    bool inside = false;  // even-odd rule
    for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
      const Point& a = points[i];
      const Point& b = points[j];
      if ((a.y > py) != (b.y > py) && px < (b.x - a.x) * (py - a.y) / (b.y - a.y) + a.x) inside = !inside;
    }
    return inside;
  });
}

template <class Target>
void BasicCanvas<Target>::OutlinedPolygon(const std::vector<Point>& points, double width, const Ink& fill,
                                          const Ink& outline) {
  for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) Line(points[j], points[i], width * 2, outline);
  Polygon(points, fill);
}

template <class Target>
void BasicCanvas<Target>::Line(Point a, Point b, double width, const Ink& ink) {
  const double r = width / 2;
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double length2 = dx * dx + dy * dy;
  Cover(std::min(a.x, b.x) - r, std::min(a.y, b.y) - r, std::max(a.x, b.x) + r, std::max(a.y, b.y) + r, ink,
        [&](double x, double y) {
          const double px = x - a.x, py = y - a.y;
          const double t = std::clamp(length2 > 0 ? (px * dx + py * dy) / length2 : 0, 0.0, 1.0);
          const double ex = px - t * dx, ey = py - t * dy;
          return ex * ex + ey * ey <= r * r;
        });
}

template <class Target>
void BasicCanvas<Target>::Polyline(const std::vector<Point>& points, double width, const Ink& ink) {
  if (points.size() < 2) return;
  double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
  for (const Point& p : points) {
    x0 = std::min(x0, p.x), y0 = std::min(y0, p.y);
    x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
  }
  const double r = width / 2;
  // One shape, so that the joints are not painted twice.
  Cover(x0 - r, y0 - r, x1 + r, y1 + r, ink, [&](double x, double y) {
    for (size_t i = 1; i < points.size(); ++i) {
      const Point a = points[i - 1], b = points[i];
      const double dx = b.x - a.x, dy = b.y - a.y, length2 = dx * dx + dy * dy;
      const double px = x - a.x, py = y - a.y;
      const double t = std::clamp(length2 > 0 ? (px * dx + py * dy) / length2 : 0, 0.0, 1.0);
      const double ex = px - t * dx, ey = py - t * dy;
      if (ex * ex + ey * ey <= r * r) return true;
    }
    return false;
  });
}

template class BasicCanvas<IndexedImage>;
template class BasicCanvas<RgbaImage>;
template class BasicCanvas<Mask>;

std::vector<Point> ArcPoints(double cx, double cy, double rx, double ry, double from_deg, double to_deg, int steps) {
  std::vector<Point> points;
  for (int i = 0; i <= steps; ++i) {
    const double a = (from_deg + (to_deg - from_deg) * i / steps) * M_PI / 180.0;
    points.push_back({cx + rx * std::cos(a), cy + ry * std::sin(a)});
  }
  return points;
}
