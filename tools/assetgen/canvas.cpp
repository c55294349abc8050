#include "tools/assetgen/canvas.h"

#include <algorithm>
#include <cmath>

void Canvas::Plot(int x, int y, uint8_t index) {
  if (x < 0 || y < 0 || x >= image_->width || y >= image_->height) return;
  if (y + 0.5 < clip_y0_ || y + 0.5 >= clip_y1_) return;
  image_->pixels[(size_t)y * image_->width + x] = index;
}

void Canvas::Fill(uint8_t index) { std::fill(image_->pixels.begin(), image_->pixels.end(), index); }

void Canvas::Rect(double x0, double y0, double x1, double y1, uint8_t index) {
  for (int y = (int)std::floor(y0); y < (int)std::ceil(y1); ++y)
    for (int x = (int)std::floor(x0); x < (int)std::ceil(x1); ++x)
      if (x + 0.5 >= x0 && x + 0.5 < x1 && y + 0.5 >= y0 && y + 0.5 < y1) Plot(x, y, index);
}

void Canvas::Ellipse(double cx, double cy, double rx, double ry, uint8_t index) {
  if (rx <= 0 || ry <= 0) return;
  for (int y = (int)std::floor(cy - ry); y <= (int)std::ceil(cy + ry); ++y) {
    for (int x = (int)std::floor(cx - rx); x <= (int)std::ceil(cx + rx); ++x) {
      const double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
      if (dx * dx + dy * dy <= 1.0) Plot(x, y, index);
    }
  }
}

void Canvas::OutlinedEllipse(double cx, double cy, double rx, double ry, double width, uint8_t fill,
                             uint8_t outline) {
  Ellipse(cx, cy, rx + width, ry + width, outline);
  Ellipse(cx, cy, rx, ry, fill);
}

void Canvas::Polygon(const std::vector<Point>& points, uint8_t index) {
  if (points.size() < 3) return;
  double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
  for (const Point& p : points) {
    x0 = std::min(x0, p.x), y0 = std::min(y0, p.y);
    x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
  }
  for (int y = (int)std::floor(y0); y <= (int)std::ceil(y1); ++y) {
    for (int x = (int)std::floor(x0); x <= (int)std::ceil(x1); ++x) {
      const double px = x + 0.5, py = y + 0.5;
      bool inside = false;  // even-odd rule
      for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
        const Point& a = points[i];
        const Point& b = points[j];
        if ((a.y > py) != (b.y > py) && px < (b.x - a.x) * (py - a.y) / (b.y - a.y) + a.x) inside = !inside;
      }
      if (inside) Plot(x, y, index);
    }
  }
}

void Canvas::OutlinedPolygon(const std::vector<Point>& points, double width, uint8_t fill, uint8_t outline) {
  for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) Line(points[j], points[i], width * 2, outline);
  Polygon(points, fill);
}

void Canvas::Line(Point a, Point b, double width, uint8_t index) {
  const double r = width / 2;
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double length2 = dx * dx + dy * dy;
  for (int y = (int)std::floor(std::min(a.y, b.y) - r); y <= (int)std::ceil(std::max(a.y, b.y) + r); ++y) {
    for (int x = (int)std::floor(std::min(a.x, b.x) - r); x <= (int)std::ceil(std::max(a.x, b.x) + r); ++x) {
      const double px = x + 0.5 - a.x, py = y + 0.5 - a.y;
      double t = length2 > 0 ? (px * dx + py * dy) / length2 : 0;
      t = std::clamp(t, 0.0, 1.0);
      const double ex = px - t * dx, ey = py - t * dy;
      if (ex * ex + ey * ey <= r * r) Plot(x, y, index);
    }
  }
}
