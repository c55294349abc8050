// Filled shapes on a palette image: the few primitives the character
// pictures are drawn from. Coordinates are in pixels (doubles, so a shape
// scales with its picture); a pixel is painted when its centre lies inside.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "tools/assetgen/png_writer.h"

struct Point {
  double x, y;
};

class Canvas {
 public:
  Canvas(IndexedImage* image) : image_(image) {}

  void Fill(uint8_t index);
  void Rect(double x0, double y0, double x1, double y1, uint8_t index);
  void Ellipse(double cx, double cy, double rx, double ry, uint8_t index);
  // An ellipse with an outline of `width` pixels in `outline`.
  void OutlinedEllipse(double cx, double cy, double rx, double ry, double width, uint8_t fill, uint8_t outline);
  void Polygon(const std::vector<Point>& points, uint8_t index);
  void OutlinedPolygon(const std::vector<Point>& points, double width, uint8_t fill, uint8_t outline);
  // A stroke of round ends between two points.
  void Line(Point a, Point b, double width, uint8_t index);
  // Restricts painting to rows y0 <= y < y1 until Unclip().
  void ClipRows(double y0, double y1) { clip_y0_ = y0, clip_y1_ = y1; }
  void Unclip() { clip_y0_ = -1e9, clip_y1_ = 1e9; }

 private:
  void Plot(int x, int y, uint8_t index);
  IndexedImage* image_;
  double clip_y0_ = -1e9, clip_y1_ = 1e9;
};
