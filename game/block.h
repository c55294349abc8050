// Blocks on the board and the falling pair. Both advance their motion and
// draw themselves in one update, as the field calls them once per frame; the
// rules read only their fields, so they run the same with or without a
// screen.
#pragma once

#include <cstdint>

inline constexpr int kBoardRows = 14;
inline constexpr int kBoardColumns = 6;
inline constexpr int kCellSize = 32;
inline constexpr int kBoardTop = 16;  // y of row 0
inline constexpr int kGarbageColour = 6;

// The y of a row's top edge.
constexpr int row_top(int row) { return kBoardTop + kCellSize * row; }

// Degrees to radians with pi taken as 3.1415926, shared by the pair's turn
// and the title's bobbing menu block.
double deg_to_rad(double degrees);

// The graph of "images\block%d.png" for a colour code (0-6), through the
// image cache.
int block_image(int colour);

class Block {
 public:
  Block(int x, int origin_x, int y, int colour);

  // One frame: the vanish count, the fall, then the drawing. Returns true.
  bool update();
  void draw() const;
  int column() const;
  int row() const;

  int32_t origin_x;
  double x;
  double y;
  int32_t chain = 0;
  int32_t colour;
  double vx = 0;
  double vy = 0;
  int32_t vanish = 0;
  uint8_t falling = 0;
};

class Active_Block {
 public:
  Active_Block(int colour_a, int colour_b, int origin_x);

  void reset(int colour_a, int colour_b);
  // One frame of the slide and turn animations, then the drawing.
  bool update();
  void draw() const;

  int row() const { return (y - kBoardTop) / kCellSize; }
  int top_row() const { return rotation == 0 ? row() - 1 : row(); }
  int bottom_row() const { return rotation == 2 ? row() + 1 : row(); }
  int left_column() const { return rotation == 1 ? column - 1 : column; }
  int right_column() const { return rotation == 3 ? column + 1 : column; }
  // The partner's cell by the rotation.
  int partner_row() const { return rotation == 0 ? row() - 1 : rotation == 2 ? row() + 1 : row(); }
  int partner_column() const { return rotation == 1 ? column - 1 : rotation == 3 ? column + 1 : column; }

  int32_t origin_x;
  int32_t colour_a = 0;
  int32_t colour_b = 0;
  int32_t x = 0;
  int32_t y = 0;
  int32_t column = 2;
  int32_t rotation = 0;  // where the partner is: 0 above, 1 left, 2 below, 3 right
  int32_t up = 0, left = 0, down = 0, right = 0;
  int32_t turn = 0;
};
