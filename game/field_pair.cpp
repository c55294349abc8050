// The falling pair's movement on the board: the cell tests, landing, slides,
// turns with their kicks, and gravity.
#include <algorithm>

#include "game/field.h"
#include "game/level_table.h"

bool Field::occupied(int row, int column) const {
  if (row < 0 || row >= kBoardRows || column < 0 || column >= kBoardColumns) return true;
  return board[row][column] != nullptr;
}

bool Field::cell_free(int row, int column) const { return !occupied(row, column); }

bool Field::pair_holds(int row, int column) const {
  return (row == pair.piece->row() && column == pair.piece->column) ||
         (row == pair.piece->partner_row() && column == pair.piece->partner_column());
}

bool Field::is_landed() const {
  int r = pair.piece->row();
  return pair.piece->bottom_row() == kBoardRows - 1 || occupied(pair.piece->bottom_row() + 1, pair.piece->column) ||
         occupied(r + 1, pair.piece->left_column()) || occupied(r + 1, pair.piece->right_column());
}

bool Field::piece_in_bounds() const {
  int bottom = pair.piece->bottom_row();
  return pair.piece->left_column() >= 0 && pair.piece->right_column() <= kBoardColumns - 1 && bottom >= 0 &&
         bottom <= kBoardRows - 1;
}

bool Field::slide(int dir) {
  Active_Block& p = *pair.piece;
  const int target = (dir < 0 ? p.left_column() : p.right_column()) + dir;
  int32_t& counter = dir < 0 ? p.left : p.right;
  if (counter > 0 || target < 0 || target >= kBoardColumns) return false;
  if (occupied(p.row(), target) || occupied(p.top_row(), target) || occupied(p.bottom_row(), target)) return false;
  // Between two rows the pair overlaps the row under it as well.
  if (!is_landed() && occupied(p.bottom_row() + 1, target)) return false;
  p.column += dir;
  counter = 4;
  sounds.report(kFieldSoundSlide);
  if (is_landed()) {
    if (pair.slide_resets >= 1) {
      --pair.slide_resets;
      pair.lock_timer = level_row()[kLockDelay];
    } else {
      pair.lock_timer = 0;
    }
  }
  return true;
}

bool Field::slide_left() { return slide(-1); }
bool Field::slide_right() { return slide(1); }

bool Field::rotate_ccw() {
  if (pair.piece->turn != 0) return false;
  int old = pair.piece->rotation;
  pair.piece->rotation = (old + 1) % 4;
  kick_rotation(old);
  pair.piece->turn = 4;
  sounds.report(kFieldSoundRotate);
  // In the air a counter-clockwise turn costs no reset.
  if (is_landed() && pair.rotate_resets >= 1) {
    --pair.rotate_resets;
    if (pair.lock_timer > 0) pair.lock_timer = level_row()[kLockDelay];
  }
  return true;
}

bool Field::rotate_cw() {
  if (pair.piece->turn != 0) return false;
  int old = pair.piece->rotation;
  pair.piece->rotation = (old + 3) % 4;
  kick_rotation(old);
  pair.piece->turn = -4;
  sounds.report(kFieldSoundRotate);
  if (pair.rotate_resets >= 1) {
    --pair.rotate_resets;
    if (pair.lock_timer > 0) pair.lock_timer = level_row()[kLockDelay];
  } else {
    pair.lock_timer = 0;
  }
  return true;
}

void Field::kick_rotation(int old) {
  Active_Block& p = *pair.piece;
  // The rules of a turn into above or below, read with rows and columns
  // swapped, are those of a turn into left or right: cells are taken as
  // (along, across), along the line from the axis to the partner.
  const bool vertical = p.rotation == 0 || p.rotation == 2;
  const int along = vertical ? p.row() : p.column, across = vertical ? p.column : p.row();
  const int along_last = vertical ? kBoardRows - 1 : kBoardColumns - 1;
  auto free_at = [&](int a, int b) { return vertical ? cell_free(a, b) : cell_free(b, a); };
  // A move of the pair by one cell, along or across; a row move is the
  // slide animation's alone (the pixel y follows it).
  auto move = [&](bool along_axis, int delta) {
    if (along_axis == vertical) {
      (delta < 0 ? p.up : p.down) = 4;
    } else {
      p.column += delta;
      (delta < 0 ? p.left : p.right) = 4;
    }
  };
  const int d = p.rotation == 0 || p.rotation == 1 ? -1 : 1;  // where the partner goes
  if (piece_in_bounds() && free_at(along + d, across)) return;
  // Push away from the partner.
  if ((d < 0 ? along < along_last : along > 0) && free_at(along - d, across)) {
    move(true, -d);
    return;
  }
  // Toward the side the partner came from; with no room there either, the
  // two blocks trade places.
  const int side = old == (vertical ? 1 : 0) ? -1 : 1;
  const bool fits = (d < 0 ? along > 0 : along < along_last) && free_at(along + d, across + side);
  move(false, side);
  if (!fits) p.rotation = (old + 2) % 4;
}

void Field::fall_step() {
  if (is_landed()) return;
  int speed = level_row()[kFallSpeed];
  if (held(kButtonDown)) speed = std::max(speed, 960);
  pair.fall_accumulator -= speed;
  while (pair.fall_accumulator < 1 && !is_landed()) {
    pair.fall_accumulator += 60;
    pair.piece->y += 1;
  }
}
