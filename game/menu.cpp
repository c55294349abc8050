// Shared look and moves of the menu screens.
#include "game/menu.h"

#include <cstdio>

#include "engine/graphics/graphics.h"
#include "engine/font/font.h"
#include "game/buttons.h"
#include "game/caches.h"
#include "game/game_files.h"
#include "game/globals.h"

void draw_text(int x, int y, const char* text, int font, int colour, int edge) {
  DrawTextWithFont(x, y, text, colour_table[colour], font_table[font], colour_table[edge], 0);
}

void draw_text_centred(int centre_x, int y, const char* text, int font, int colour, int edge) {
  // Centred by the width in the font it is drawn with, so larger and smaller
  // fonts sit on the same centre.
  int width = MeasureStringWidthByFont(text, -1, font_table[font], 0);
  draw_text(centre_x - (width > 0 ? width : 0) / 2, y, text, font, colour, edge);
}

void draw_text_right(int right_x, int y, const char* text, int font, int colour, int edge) {
  int width = MeasureStringWidthByFont(text, -1, font_table[font], 0);
  draw_text(right_x - (width > 0 ? width : 0), y, text, font, colour, edge);
}

int slide_in(int timer) {
  SelectBlendMode(1, (30 - timer) * 255 / 30);
  return timer * timer / 15;
}

int slide_out(int timer) {
  SelectBlendMode(1, (timer - 15) * 255 / 30);
  return 60 - (timer - 15) * (timer - 15) / 15;
}

int wrap(int value, int step, int count) {
  if (count <= 0) return 0;
  return ((value + step) % count + count) % count;
}

bool move_cursor(int* cursor, int count) {
  int step = is_repeated(kPadDown) ? 1 : is_repeated(kPadUp) ? -1 : 0;
  if (!step) return false;
  *cursor = wrap(*cursor, step, count);
  play_se(kSoundMove);
  return true;
}

void draw_fullscreen(const char* image) { PaintGraphStretched(0, 0, 640, 480, load_image(image), 0); }

void draw_title_background() {
  SelectBlendMode(0, 0);
  draw_fullscreen(kTitleImage);
}

void report_failed_save(const char* file) {
  const std::string reason = save_error_text();
  std::fprintf(stderr, "voxaldrift: could not save \"%s\": %s\n", file, reason.c_str());
  play_se(kSoundRefuse);
}
