// Filled shapes on a picture: the primitives every picture of the generator
// is drawn from. Coordinates are in pixels (doubles, so a shape scales with
// its picture). A pixel takes a shape's ink at the share of its sample points
// that lie inside: palette pictures sample the pixel's centre alone (hard
// edges, one palette index per pixel); colour pictures and masks sample a
// grid inside the pixel, which smooths their edges.
#pragma once

#include <vector>

#include "tools/assetgen/picture.h"
#include "tools/assetgen/png_writer.h"

// Target: an IndexedImage, a RgbaImage or a Mask (each names its Ink, its
// samples per pixel side and how it takes ink at a coverage).
template <class Target>
class BasicCanvas {
 public:
  using Ink = typename Target::Ink;
  explicit BasicCanvas(Target* target) : target_(target) {}

  void Fill(const Ink& ink) { target_->Fill(ink); }
  void Rect(double x0, double y0, double x1, double y1, const Ink& ink);
  void RoundRect(double x0, double y0, double x1, double y1, double radius, const Ink& ink);
  void Ellipse(double cx, double cy, double rx, double ry, const Ink& ink);
  // An ellipse with an outline of `width` pixels in `outline`.
  void OutlinedEllipse(double cx, double cy, double rx, double ry, double width, const Ink& fill, const Ink& outline);
  void Polygon(const std::vector<Point>& points, const Ink& ink);
  void OutlinedPolygon(const std::vector<Point>& points, double width, const Ink& fill, const Ink& outline);
  // A stroke of round ends between two points.
  void Line(Point a, Point b, double width, const Ink& ink);
  // Round-joined strokes along the points.
  void Polyline(const std::vector<Point>& points, double width, const Ink& ink);
  // Restricts painting to rows y0 <= y < y1 until Unclip().
  void ClipRows(double y0, double y1) { clip_y0_ = y0, clip_y1_ = y1; }
  void Unclip() { clip_y0_ = -1e9, clip_y1_ = 1e9; }

 private:
  // Paints every pixel of the box whose sample points fall inside.
  template <class Inside>
  void Cover(double x0, double y0, double x1, double y1, const Ink& ink, Inside inside);
  Target* target_;
  double clip_y0_ = -1e9, clip_y1_ = 1e9;
};

using Canvas = BasicCanvas<IndexedImage>;
using Painter = BasicCanvas<RgbaImage>;
using MaskCanvas = BasicCanvas<Mask>;

// Points along an elliptic arc, angles in degrees (0 = right, 90 = down).
std::vector<Point> ArcPoints(double cx, double cy, double rx, double ry, double from_deg, double to_deg, int steps);
