// Free battle.
#include "game/scene_double.h"

#include "engine/graphics/graphics.h"
#include "engine/input/input.h"
#include "game/after_match_menu.h"
#include "game/caches.h"
#include "game/menu.h"

namespace {

constexpr int kLeftOrigin = 24;
constexpr int kRightOrigin = 420;

}  // namespace

Scene_Double::Scene_Double(const side_settings& left, const side_settings& right, const char* background,
                           const char* music)
    : Scene_Match(kFadeOut, kSceneSelectDouble), left_settings_(left), right_settings_(right) {
  copy_media_name(background_, background);
  copy_media_name(music_, music);
  int devices[2];
  choose_devices(CountPads(), right.module != nullptr, devices);
  set_fields(new Field(left, kLeftOrigin, devices[0]), new Field(right, kRightOrigin, devices[1]));
}

Scene_Double::~Scene_Double() {
  // A plug-in goes only after its field has ended the search running in it.
  delete_fields();
  release_opponent_module(left_settings_.module);
  release_opponent_module(right_settings_.module);
}

void Scene_Double::hand_over(SceneValues& values) const {
  values.sides[0] = left_settings_;
  values.sides[1] = right_settings_;
  copy_media_name(values.background, background_);
  copy_media_name(values.music, music_);
}

void Scene_Double::choose_devices(int pads, bool right_is_computer, int devices[2]) {
  if (pads >= 2 || right_is_computer) {
    devices[0] = 0;
    devices[1] = 3;
  } else {
    devices[0] = 1;
    devices[1] = 2;
  }
}

void Scene_Double::draw_fields() {
  for (Field* field : {left(), right()})
    if (field) field->draw();
}

void Scene_Double::draw_result_words() const {
  if (winner_ == 0) return;
  draw_text_centred(96, 240, winner_ == 1 ? "勝利！" : "敗北！！", kFontLarge);
  draw_text_centred(500, 240, winner_ == 2 ? "勝利！" : "敗北！！", kFontLarge);
}

void Scene_Double::draw_frame() {
  const int b = fade_brightness();
  SetPaintBrightness(b, b, b);
  SelectBlendMode(0, 0);
  draw_fullscreen(background_);
  draw_fields();
  if (state_ >= kLeftWon) draw_result_words();
  draw();
  if (state_ == kPaused) {
    SetPaintBrightness(192, 192, 192);
    PaintGraph(224, 200, load_image("images\\pause.png"), 1);
    SetPaintBrightness(255, 255, 255);
  }
}

void Scene_Double::draw() {
  if (cursor_ < 0) return;
  draw_after_match_menu(cursor_, state_ == kMenu ? 255 : timer_ * 192 / 60);
}

void Scene_Double::result_shown() {
  state_ = kMenu;
  timer_ = 60;
  cursor_ = 0;
}

void Scene_Double::after_match_step() {
  if (state_ == kMenu) after_match_menu_step();
}
