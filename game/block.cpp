#include "game/block.h"

#include <cmath>
#include <cstdio>

#include "engine/graphics/graphics.h"
#include "game/caches.h"

double deg_to_rad(double degrees) { return degrees * 3.1415926 * (1.0 / 180); }

int block_image(int colour) {
  // Both fields draw up to 84 blocks a frame: the handles are kept here and
  // asked for again only when the image cache was emptied.
  static int handles[kGarbageColour + 1];
  static uint32_t generation = 0;
  if (colour < 0 || colour > kGarbageColour) return -1;
  if (generation != image_cache_generation()) {
    generation = image_cache_generation();
    for (int c = 0; c <= kGarbageColour; ++c) {
      char name[32];
      std::snprintf(name, sizeof name, "images\\block%d.png", c);
      handles[c] = load_image(name);
    }
  }
  return handles[colour];
}

Block::Block(int x_, int origin, int y_, int colour_) : origin_x(origin), x(x_), y(y_), colour(colour_) {}

bool Block::update() {
  if (vanish > 0) vanish += 1;
  if (falling) {
    vy += 0.5;
    if (vy > 128.0) vy = 128.0;
    x += vx;
    y += vy;
  } else {
    vx = vy = 0;
  }
  draw();
  return true;
}

void Block::draw() const {
  if (vanish >= 21) return;
  // The edges cross near count 13; the stretched drawing takes its corners
  // in either order, so the image widens again, mirrored.
  PaintGraphStretched((int)(x + vanish * 16 / 20.0), (int)y, (int)(x + (20 - vanish) * 32 / 20.0), (int)(y + 32),
                      block_image(colour), 0);
}

int Block::column() const { return (int)((x - origin_x) / kCellSize); }
int Block::row() const { return (int)((y - kBoardTop) / kCellSize); }

Active_Block::Active_Block(int a, int b, int origin) : origin_x(origin) { reset(a, b); }

void Active_Block::reset(int a, int b) {
  colour_a = a;
  colour_b = b;
  x = origin_x + 2 * kCellSize;
  y = kBoardTop + kCellSize;
  column = 2;
  rotation = 0;
  up = left = down = right = turn = 0;
}

bool Active_Block::update() {
  if (up > 0) --up, y -= 8;
  if (left > 0) --left, x -= 8;
  if (down > 0) --down, y += 8;
  if (right > 0) --right, x += 8;
  if (turn > 0)
    --turn;
  else if (turn < 0)
    ++turn;
  draw();
  return true;
}

void Active_Block::draw() const {
  PaintGraphStretched(x, y, x + kCellSize, y + kCellSize, block_image(colour_a), 0);
  // A clockwise turn into rotation 0 ends at 360 degrees, not 0.
  int k = (turn < 0 && rotation == 0) ? 16 - turn : rotation * 4 - turn;
  double angle = deg_to_rad(k * 22.5);
  double s = std::sin(angle), c = std::cos(angle);
  int px = (int)(x - 32 * s), py = (int)(y - 32 * c);
  PaintGraphStretched(px, py, (int)(x - 32 * s + 32), (int)(y - 32 * c + 32), block_image(colour_b), 0);
}
