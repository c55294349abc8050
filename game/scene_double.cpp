// Free battle.
#include "game/scene_double.h"

#include "engine/core/random.h"
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
    : left_settings_(left), right_settings_(right) {
  copy_media_name(background_, background);
  copy_media_name(music_, music);
  int devices[2];
  choose_devices(CountPads(), right.module != nullptr, devices);
  left_ = new Field(left, kLeftOrigin, devices[0]);
  right_ = new Field(right, kRightOrigin, devices[1]);
  link_opponents(left_, right_);
}

Scene_Double::~Scene_Double() {
  // A plug-in goes only after its field has ended the search running in it.
  delete left_;
  delete right_;
  release_opponent_module(left_settings_.module);
  release_opponent_module(right_settings_.module);
}

void Scene_Double::hand_over(SceneValues& values) const {
  values.sides[0] = left_settings_;
  values.sides[1] = right_settings_;
  copy_media_name(values.background, background_);
  copy_media_name(values.music, music_);
}

int Scene_Double::match_winner(int left_result, int right_result) {
  if (left_result < kFieldGoal && right_result < kFieldGoal) return 0;
  return left_result == kFieldGoal || right_result == kFieldToppedOut ? 1 : 2;
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

void Scene_Double::set_fade_bright() const {
  int b = 255;
  if (state_ == kFadeIn)
    b = (60 - timer_) * 192 / 60;
  else if (state_ == kPaused || state_ == kMenu)
    b = 192;
  else if (state_ == kFadeOut)
    b = timer_ * 192 / 60;
  SetPaintBrightness(b, b, b);
}

void Scene_Double::draw_fields() {
  left_->draw();
  right_->draw();
}

void Scene_Double::draw_result_words() const {
  if (winner_ == 0) return;
  draw_text_centred(96, 240, winner_ == 1 ? "勝利！" : "敗北！！", kFontLarge);
  draw_text_centred(500, 240, winner_ == 2 ? "勝利！" : "敗北！！", kFontLarge);
}

void Scene_Double::draw_match() {
  set_fade_bright();
  SelectBlendMode(0, 0);
  draw_fullscreen(background_);
  draw_fields();
  if (state_ >= kLeftWon) draw_result_words();
}

bool Scene_Double::count_in_step() {
  left_->draw_countdown(timer_);
  right_->draw_countdown(timer_);
  if (timer_ % 60 == 0) play_se("sounds\\321.wav");
  if (--timer_ > 0) return false;
  play_se("sounds\\levelup.wav");
  state_ = kMatch;
  play_music(music_);
  return true;
}

void Scene_Double::pause_step() {
  const int c0 = left_->check_pause();
  const int c1 = right_->check_pause();
  if (c0 == kFieldPlaying || c1 == kFieldPlaying) state_ = kMatch;
}

void Scene_Double::begin_result(int winner) {
  winner_ = winner;
  state_ = winner == 1 ? kLeftWon : kRightWon;
  timer_ = 240;
}

void Scene_Double::draw_end_animations() {
  if (state_ == kLeftWon) {
    left_->win_animation(timer_);
    right_->lose_animation(timer_);
  } else {
    left_->lose_animation(timer_);
    right_->win_animation(timer_);
  }
}

void Scene_Double::end_animation_step(int next, int next_timer) {
  draw_end_animations();
  if (--timer_ == 0) {
    state_ = next;
    timer_ = next_timer;
  }
}

void Scene_Double::draw() {
  if (cursor_ < 0) return;
  draw_after_match_menu(cursor_, state_ == kMenu ? 255 : timer_ * 192 / 60);
}

bool Scene_Double::update() {
  draw_match();
  draw();
  switch (state_) {
    case kFadeIn:
      if (--timer_ == 0) {
        state_ = kCountIn;
        timer_ = 180;
      }
      break;
    case kCountIn:
      if (count_in_step()) {
        if (left_settings_.module) left_->start_thinking();
        if (right_settings_.module) right_->start_thinking();
      }
      break;
    case kMatch: {
      // Both fields every frame, left first: the right one's garbage depends
      // on the hold flag the left one has just written.
      const int r0 = left_->update();
      const int r1 = right_->update();
      if (r0 == kFieldPaused || r1 == kFieldPaused) state_ = kPaused;
      if (int winner = match_winner(r0, r1)) {
        begin_result(winner);
        stop_music(music_);
      }
      break;
    }
    case kPaused:
      pause_step();
      SetPaintBrightness(192, 192, 192);
      PaintGraph(224, 200, load_image("images\\pause.png"), 1);
      SetPaintBrightness(255, 255, 255);
      break;
    case kLeftWon:
    case kRightWon:
      end_animation_step(kMenu, 60);
      if (state_ == kMenu) cursor_ = 0;
      break;
    case kMenu:
      menu_step();
      break;
    case kFadeOut:
      if (--timer_ == 0) {
        requested_scene = kSceneSelectDouble;
        return false;
      }
      break;
  }
  return true;
}

void Scene_Double::menu_step() {
  Field* fields[2] = {left_, right_};
  const int leaves = after_match_menu_choice(&cursor_, fields, 2);
  if (leaves < 0) return;
  if (leaves) {
    state_ = kFadeOut;
    timer_ = 60;
    return;
  }
  // Both fields draw the same pairs again; the computer sides start their
  // searches at the end of the count-in.
  cursor_ = -1;
  const int seed = GetRandomUpTo(16777216);
  left_->reset(seed);
  right_->reset(seed);
  state_ = kCountIn;
  timer_ = 180;
}
