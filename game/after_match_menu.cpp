// The after-match menu.
#include "game/after_match_menu.h"

#include "engine/graphics/graphics.h"
#include "game/buttons.h"
#include "game/caches.h"
#include "game/field_replay.h"
#include "game/menu.h"
#include "game/settings.h"

namespace {

const char* const kLabels[kAfterMatchRows] = {"このまま続ける", "リプレイを保存して続ける", "終了する",
                                              "リプレイを保存して終了する"};

}  // namespace

int after_match_menu_step(int* cursor) {
  if (is_pressed(C_Custom) || is_key_pressed(kKeyEnter)) {
    play_se(kSoundConfirm);
    return *cursor;
  }
  // Both are looked at in one frame, down first.
  if (is_repeated(kPadDown)) {
    play_se(kSoundMove);
    *cursor = wrap(*cursor, 1, kAfterMatchRows);
  }
  if (is_repeated(kPadUp)) {
    play_se(kSoundMove);
    *cursor = wrap(*cursor, -1, kAfterMatchRows);
  }
  return -1;
}

void draw_after_match_labels(int brightness) {
  SetPaintBrightness(brightness, brightness, brightness);
  for (int row = 0; row < kAfterMatchRows; ++row) draw_text(160, 128 + 32 * row, kLabels[row], kFontMenu);
}

int after_match_menu_choice(int* cursor, Field* const* fields, int count) {
  const int row = after_match_menu_step(cursor);
  if (row < 0) return -1;
  if (after_match_saves(row) && save_replay(fields, count) < 0) report_failed_save(failed_replay_file().c_str());
  return after_match_leaves(row) ? 1 : 0;
}

void draw_after_match_menu(int cursor, int brightness) {
  draw_after_match_labels(brightness);
  PaintGraph(128, 128 + 32 * cursor, load_image(kCursorImage), 1);
}
