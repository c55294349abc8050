// The mode menu.
#include "game/scene_select_mode.h"

#include "engine/graphics/graphics.h"
#include "game/buttons.h"
#include "game/caches.h"
#include "game/menu.h"
#include "game/settings.h"

namespace {

struct Row {
  const char* label;
  const char* description;
  int scene;
};
const Row kModeRows[Scene_SelectMode::kRows] = {
    {"エンドレス", "呆れるまで続きます。", kSceneSelectSingle},
    {"タイムトライアル", "時間を決めて死力を尽くします。", kSceneSelectSingle},
    {"ブレイクトライアル", "素早く一定量のブロックを壊します。", kSceneSelectSingle},
    {"フリーバトル", "そこら辺の相手に喧嘩を叩き売りします。", kSceneSelectDouble},
    {"ネットバトル", "どこの馬の骨とも知る遠くの人と戦います。", kSceneSelectNetworkMenu},
    {"メニューに戻る", "一人で遊んでいると寂しくなりますからね。", kSceneTitle},
};

}  // namespace

Scene_SelectMode::Scene_SelectMode(int state, int cursor) : state_(state), cursor_(wrap(cursor, 0, kRows)) {}

void Scene_SelectMode::hand_over(SceneValues& values) const { values.mode = cursor_; }

bool Scene_SelectMode::update() {
  draw();
  if (state_ <= 1 && timer_ == 0) {
    if (state_ == 1) play_music(kTitleMusic);
    state_ = 2;
  }
  if (state_ == 2) {
    move_cursor(&cursor_, kRows);
    if (is_pressed(C_Custom)) {
      play_se(kSoundConfirm);
      state_ = 3;
      timer_ = 45;
    }
    // Back is handled last: decide and back in one frame leave back.
    if (is_pressed(B_Custom)) {
      play_se(kSoundConfirm);
      state_ = 4;
      timer_ = 45;
    }
  } else if (state_ >= 3 && timer_ == 0) {
    requested_scene = state_ == 3 ? kModeRows[cursor_].scene : kSceneTitle;
    if (requested_scene != kSceneTitle) stop_music(kTitleMusic);
    return false;
  }
  --timer_;
  return true;
}

void Scene_SelectMode::draw() {
  SetPaintBrightness(192, 192, 192);
  draw_title_background();
  int shift = 0;
  if (state_ <= 1)
    shift = slide_in(timer_);
  else if (state_ >= 3)
    shift = slide_out(timer_);
  SetPaintBrightness(255, 255, 255);
  for (int row = 0; row < kRows; ++row) draw_text(200 + shift, 160 + 24 * row, kModeRows[row].label, kFontMenu);
  PaintGraph(176 + shift, 160 + 24 * cursor_, load_image(kCursorImage), 1);
  SelectBlendMode(0, 0);
  if (state_ == 2) draw_text(40, 440, kModeRows[cursor_].description, kFontSmall, 1, 0);
}
