#include "game/hud.h"

#include <cstdio>

#include "engine/graphics/graphics.h"
#include "engine/font/font.h"
#include "game/block.h"
#include "game/caches.h"
#include "game/globals.h"

namespace {

// Captions in font 1, values in font 2; all in colour 2 edged with colour 3.
void caption(int x, int y, const char* text) {
  DrawTextWithFont(x, y, text, colour_table[2], font_table[1], colour_table[3], 0);
}
void value(int x, int y, const char* text) {
  DrawTextWithFont(x, y, text, colour_table[2], font_table[2], colour_table[3], 0);
}

}  // namespace

void Next_Block::draw() const {
  caption(x_ + 20, 36, "NEXT");
  for (int pair = 0; pair < 2; ++pair) {
    int top = pair == 0 ? 76 : 148;
    PaintGraphStretched(x_ + 32, top, x_ + 64, top + 32, block_image(queue_[pair][1]), 0);
    PaintGraphStretched(x_ + 32, top + 32, x_ + 64, top + 64, block_image(queue_[pair][0]), 0);
  }
}

int Yokoku_Count::layout(int pending, int icons[6], int* bar_blocks) {
  int v = pending / 120;
  int count = 0;
  auto add = [&](int icon, int blocks) {
    icons[count++] = icon;
    v -= blocks;
    if (count == 6) v %= 30;
  };
  while (count < 6 && v >= 720) add(3, 720);
  if (count < 6 && v >= 360) add(2, 360);
  if (count < 6 && v >= 180) add(1, 180);
  while (count < 6 && v >= 30) add(0, 30);
  *bar_blocks = v;
  return count;
}

void Yokoku_Count::draw() const {
  int icons[6], bar;
  int count = layout(*pending_, icons, &bar);
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "images\\yokoku%d.png", icons[i]);
    PaintGraphStretched(x_ + 32 * i, 8, x_ + 32 * i + 32, 40, load_image(name), 1);
  }
  PaintGraph(x_ + 4, 44, load_image("images\\ばーふれーむ.png"), 1);
  if (bar > 0) PaintGraphPart(x_ + 6, 46, 0, 0, bar * 6, 8, load_image("images\\ばー.png"), 1);
}

std::string Break_Count::text(int cleared, int target) {
  char s[32];
  if (target < 1)
    std::snprintf(s, sizeof s, "%04d/----", cleared % 10000);
  else
    std::snprintf(s, sizeof s, "%04d/%04d", cleared % 10000, target);
  return s;
}

void Break_Count::draw() const {
  caption(x_ + 8, 212, "消去数");
  value(x_ + 4, 244, text(*cleared_, target_).c_str());
}

void Level_Count::draw() const {
  caption(x_ + 8, 268, "レベル");
  char s[16];
  std::snprintf(s, sizeof s, "%d", *level_ + 1);
  value(x_ + 32, 292, s);
}

void Score_Count::draw() const {
  caption(x_ + 8, 324, "スコア");
  char s[16];
  std::snprintf(s, sizeof s, "%08d", *score_);
  value(x_ + 4, 360, s);
}

std::string Time_Count::text(int t) {
  char s[32];
  std::snprintf(s, sizeof s, "%02d:%02d:%02d", t / 3600, (t / 60) % 60, (t % 60) * 5 / 3);
  return s;
}

void Time_Count::draw() const {
  caption(x_ + 8, 392, "タイム");
  value(x_ + 4, 424, text(*time_).c_str());
}

void Speed_Count::draw() const {
  char s[32];
  std::snprintf(s, sizeof s, "Speed ×%1d", *speed_);
  value(x_ + 4, 12, s);
}

bool Chein_Count::update() {
  // A label the settling pass does not delete counts on below 0, where it
  // is faded out; the count stops short of wrapping.
  if (timer > INT32_MIN) --timer;
  draw();
  return true;
}

void Chein_Count::draw() const {
  // Measuring text without a screen would make the default font anew every
  // time, and nothing can be drawn anyway.
  if (!IsGraphicsStarted()) return;
  // From 0 down the blend parameter is 0 and the label leaves no mark; the
  // square of a count far below 0 would overflow.
  if (timer <= 0) return;
  int t = timer;
  SelectBlendMode(1, (900 - (30 - t) * (30 - t)) * 255 / 900);
  char s[16];
  std::snprintf(s, sizeof s, "×%d", chain);
  int width = MeasureStringWidth(s, -1, 0);
  // The edge is white: the packing of (-1, -1, -1) the label was made with
  // sets every bit of a screen colour.
  DrawTextWithFont(x - width / 2, y + t * t / 30 - 30, s, colour_table[0], font_table[1], PackScreenColor(255, 255, 255),
                   0);
  SelectBlendMode(0, 0);
}
