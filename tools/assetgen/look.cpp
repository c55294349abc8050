#include "tools/assetgen/look.h"

#include <algorithm>
#include <cmath>
#include <vector>

const Rgba kBlockColour[kBlockKinds] = {
    Rgb(232, 64, 82),    // red: heart
    Rgb(52, 118, 236),   // blue: diamond
    Rgb(56, 188, 84),    // green: leaf-shaped triangle
    Rgb(246, 196, 40),   // yellow: star
    Rgb(160, 86, 222),   // purple: moon
    Rgb(40, 196, 214),   // aqua: drop
    Rgb(132, 132, 144),  // garbage: stone
};
const Rgba kInk = Rgb(34, 34, 160);
const Rgba kPaper = Rgb(192, 192, 192);
const Rgba kNight = Rgb(22, 28, 64);

namespace {

std::vector<Point> Star(double cx, double cy, double r, double inner, int points, double turn_deg) {
  std::vector<Point> star;
  for (int i = 0; i < points * 2; ++i) {
    const double a = (turn_deg - 90.0 + 180.0 * i / points) * M_PI / 180.0;
    const double rr = i % 2 ? r * inner : r;
    star.push_back({cx + rr * std::cos(a), cy + rr * std::sin(a)});
  }
  return star;
}

std::vector<Point> Heart(double cx, double cy, double r) {
  std::vector<Point> heart;
  for (int i = 0; i < 48; ++i) {
    const double t = 2 * M_PI * i / 48;
    const double hx = 16 * std::pow(std::sin(t), 3);
    const double hy = 13 * std::cos(t) - 5 * std::cos(2 * t) - 2 * std::cos(3 * t) - std::cos(4 * t);
    heart.push_back({cx + hx * r / 16.5, cy - (hy + 2.5) * r / 16.5});
  }
  return heart;
}

std::vector<Point> Drop(double cx, double cy, double r) {
  std::vector<Point> drop = ArcPoints(cx, cy + 0.25 * r, 0.75 * r, 0.75 * r, -30, 210, 24);
  drop.push_back({cx, cy - 1.05 * r});
  return drop;
}

// The emblem of block colour `kind`, filled with `ink`, centred at (cx, cy).
void Emblem(Painter& p, int kind, double cx, double cy, double r, const Paint& ink) {
  switch (kind) {
    case 0:
      p.Polygon(Heart(cx, cy, r), ink);
      break;
    case 1:
      p.Polygon({{cx, cy - r}, {cx + 0.78 * r, cy}, {cx, cy + r}, {cx - 0.78 * r, cy}}, ink);
      break;
    case 2:
      p.Polygon({{cx, cy - r}, {cx + 0.95 * r, cy + 0.72 * r}, {cx - 0.95 * r, cy + 0.72 * r}}, ink);
      break;
    case 3:
      p.Polygon(Star(cx, cy + 0.08 * r, 1.05 * r, 0.45, 5, 0), ink);
      break;
    case 4: {  // a crescent: a disc less a disc beside it
      cx += 0.15 * r;
      std::vector<Point> moon = ArcPoints(cx, cy, r, r, 28.3, 283.8, 32);
      std::vector<Point> bite = ArcPoints(cx + 0.45 * r, cy - 0.2 * r, 0.8 * r, 0.8 * r, 254.6, 57.5, 24);
      moon.insert(moon.end(), bite.begin(), bite.end());
      p.Polygon(moon, ink);
      break;
    }
    case 5:
      p.Polygon(Drop(cx, cy, r), ink);
      break;
    default:
      break;
  }
}

void DrawGarbage(RgbaImage* image, double x, double y, double s) {
  Painter p(image);
  const Rgba base = kBlockColour[kGarbage];
  p.Rect(x, y, x + s, y + s, Darker(base, 0.62));
  p.RoundRect(x + 1, y + 1, x + s - 1, y + s - 1, s * 0.08,
              Paint::Linear({x, y}, {x + s, y + s}, {{0, Lighter(base, 0.25)}, {0.5, base}, {1, Darker(base, 0.22)}}));
  // Chips in the stone.
  Random random(7);
  for (int i = 0; i < 26; ++i) {
    const double px = x + random.Range(3, s - 3), py = y + random.Range(3, s - 3);
    const double r = random.Range(0.5, 1.4) * s / 32;
    p.Ellipse(px, py, r, r,
              random.Uniform() < 0.5 ? WithAlpha(Darker(base, 0.35), 0.6) : WithAlpha(Lighter(base, 0.3), 0.5));
  }
  // Bevel: lit from the top left.
  const double b = s * 0.09;
  p.Polygon({{x + 1, y + 1}, {x + s - 1, y + 1}, {x + s - 1 - b, y + 1 + b}, {x + 1 + b, y + 1 + b}},
            WithAlpha(Lighter(base, 0.5), 0.7));
  p.Polygon({{x + 1, y + 1}, {x + 1 + b, y + 1 + b}, {x + 1 + b, y + s - 1 - b}, {x + 1, y + s - 1}},
            WithAlpha(Lighter(base, 0.35), 0.6));
  p.Polygon({{x + 1, y + s - 1}, {x + 1 + b, y + s - 1 - b}, {x + s - 1 - b, y + s - 1 - b}, {x + s - 1, y + s - 1}},
            WithAlpha(Darker(base, 0.45), 0.7));
  p.Polygon({{x + s - 1, y + 1}, {x + s - 1, y + s - 1}, {x + s - 1 - b, y + s - 1 - b}, {x + s - 1 - b, y + 1 + b}},
            WithAlpha(Darker(base, 0.35), 0.6));
  // A crack and four bolts.
  const double k = s / 32;
  p.Polyline({{x + 9 * k, y + 4 * k},
              {x + 13 * k, y + 12 * k},
              {x + 11 * k, y + 17 * k},
              {x + 17 * k, y + 24 * k},
              {x + 16 * k, y + 29 * k}},
             1.3 * k, WithAlpha(Darker(base, 0.6), 0.85));
  p.Polyline({{x + 13 * k, y + 12 * k}, {x + 20 * k, y + 13 * k}, {x + 24 * k, y + 9 * k}}, 1.0 * k,
             WithAlpha(Darker(base, 0.6), 0.75));
  for (double bx : {6.0, 26.0})
    for (double by : {6.0, 26.0}) {
      p.Ellipse(x + bx * k + 0.5, y + by * k + 0.5, 2.2 * k, 2.2 * k, WithAlpha(Darker(base, 0.5), 0.8));
      p.Ellipse(x + bx * k, y + by * k, 2.0 * k, 2.0 * k,
                Paint::Radial({x + bx * k - 0.7 * k, y + by * k - 0.7 * k}, 2.4 * k,
                              {{0, Lighter(base, 0.6)}, {1, Darker(base, 0.2)}}));
    }
}

}  // namespace

void DrawBlock(RgbaImage* image, double x, double y, double s, int kind) {
  if (kind == kGarbage) {
    DrawGarbage(image, x, y, s);
    return;
  }
  Painter p(image);
  const Rgba base = kBlockColour[kind];
  const double cx = x + s / 2, cy = y + s / 2;
  p.Rect(x, y, x + s, y + s, Darker(base, 0.6));
  p.RoundRect(
      x + 1, y + 1, x + s - 1, y + s - 1, s * 0.18,
      Paint::Linear({x, y + 1}, {x, y + s - 1},
                    {{0, Lighter(base, 0.45)}, {0.42, base}, {0.85, Darker(base, 0.18)}, {1, Darker(base, 0.32)}}));
  // Light from below through the jelly.
  p.Ellipse(cx, y + s * 0.86, s * 0.34, s * 0.1, WithAlpha(Lighter(base, 0.55), 0.35));
  // The emblem, pressed into the block.
  const double r = s * 0.27;
  Emblem(p, kind, cx + s * 0.03, cy + s * 0.05, r, WithAlpha(Darker(base, 0.45), 0.75));
  Emblem(p, kind, cx, cy + s * 0.02, r,
         Paint::Linear({cx, cy - r}, {cx, cy + r}, {{0, Lighter(base, 0.85)}, {1, Lighter(base, 0.45)}}));
  // Gloss over the upper half, and a spark in the corner.
  p.RoundRect(x + s * 0.12, y + s * 0.08, x + s * 0.88, y + s * 0.46, s * 0.14,
              Paint::Linear({x, y + s * 0.08}, {x, y + s * 0.46},
                            {{0, Rgb(255, 255, 255, 0.62)}, {1, Rgb(255, 255, 255, 0.08)}}));
  p.Ellipse(x + s * 0.24, y + s * 0.2, s * 0.07, s * 0.05, Rgb(255, 255, 255, 0.9));
}

void DrawCube(RgbaImage* image, double cx, double cy, double size, Rgba colour, double opacity) {
  const double w = size * 0.866, h = size * 0.5;
  const int x0 = (int)std::floor(cx - w) - 2, y0 = (int)std::floor(cy - h) - 2;
  RgbaImage layer((int)std::ceil(2 * w) + 5, (int)std::ceil(2 * h + size) + 5);
  const double lx = cx - x0, ly = cy - y0;
  Painter p(&layer);
  const Point top{lx, ly - h}, right{lx + w, ly}, bottom{lx, ly + h}, left{lx - w, ly};
  const Point down{0, size};
  auto add = [](Point a, Point b) { return Point{a.x + b.x, a.y + b.y}; };
  p.Polygon({left, bottom, add(bottom, down), add(left, down)},
            Paint::Linear(left, add(left, down), {{0, colour}, {1, Darker(colour, 0.12)}}));
  p.Polygon({bottom, right, add(right, down), add(bottom, down)},
            Paint::Linear(right, add(right, down), {{0, Darker(colour, 0.28)}, {1, Darker(colour, 0.4)}}));
  p.Polygon({top, right, bottom, left},
            Paint::Linear(top, bottom, {{0, Lighter(colour, 0.5)}, {1, Lighter(colour, 0.3)}}));
  const double edge = std::max(0.8, size * 0.05);
  p.Polyline({left, top, right}, edge, WithAlpha(Lighter(colour, 0.8), 0.8));
  p.Polyline({left, bottom, right}, edge, WithAlpha(Lighter(colour, 0.6), 0.55));
  p.Line(bottom, add(bottom, down), edge, WithAlpha(Lighter(colour, 0.35), 0.5));
  Composite(image, layer, x0, y0, opacity);
}

void DrawPanel(RgbaImage* image, double x0, double y0, double x1, double y1, double radius, Rgba fill, Rgba rim) {
  Painter p(image);
  p.RoundRect(x0, y0, x1, y1, radius, rim);
  p.RoundRect(x0 + 2, y0 + 2, x1 - 2, y1 - 2, radius - 2,
              Paint::Linear({x0, y0}, {x0, y1}, {{0, Lighter(fill, 0.12)}, {1, Darker(fill, 0.1)}}));
}

bool DrawLogo(RgbaImage* image, double cx, double baseline, double size) {
  TextStyle style{Face::kPGothic, size, size * 0.07, size * 0.02};
  const LabelLook look{
      .fill = Paint::Linear(
          {0, baseline - size * 0.78}, {0, baseline},
          {{0, Rgb(170, 246, 255)}, {0.45, Rgb(64, 172, 250)}, {0.55, Rgb(40, 120, 236)}, {1, Rgb(108, 72, 216)}}),
      .outline = size * 0.055,
      .outline_paint = Rgb(255, 255, 255),
      .outline2 = size * 0.06,
      .outline2_paint = Rgb(26, 30, 84),
      .shadow = Rgb(10, 14, 48, 0.55),
      .shadow_dx = size * 0.04,
      .shadow_dy = size * 0.07,
      .shadow_blur = (int)std::lround(size * 0.05),
      .shine = 0.35};
  return DrawLabel(image, "Voxaldrift", style, look, cx, baseline, Align::kCentre) > 0;
}

void AddGrain(RgbaImage* image, double amount, uint64_t seed) {
  Random random(seed);
  for (Rgba& c : image->pixels) {
    const float n = (float)random.Range(-amount, amount);
    c.r = std::clamp(c.r + n, 0.0f, 1.0f);
    c.g = std::clamp(c.g + n, 0.0f, 1.0f);
    c.b = std::clamp(c.b + n, 0.0f, 1.0f);
  }
}
