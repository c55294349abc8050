// The match scenes' skeleton.
#include "game/scene_match.h"

#include "engine/core/random.h"
#include "game/after_match_menu.h"
#include "game/caches.h"

Scene_Match::~Scene_Match() { delete_fields(); }

void Scene_Match::set_fields(Field* left, Field* right) {
  fields_[0] = left;
  fields_[1] = right;
  if (left && right) link_opponents(left, right);
}

void Scene_Match::delete_fields() {
  for (Field*& field : fields_) {
    delete field;
    field = nullptr;
  }
}

int Scene_Match::match_winner(int left_result, int right_result) {
  if (left_result < kFieldGoal && right_result < kFieldGoal) return 0;
  return left_result == kFieldGoal || right_result == kFieldToppedOut ? 1 : 2;
}

bool Scene_Match::update() {
  const bool going = step();
  // What the fields' rules asked to be heard this frame.
  for (int i = 0; i < field_count(); ++i) play_field_sounds(&fields_[i]->sounds);
  return going;
}

bool Scene_Match::step() {
  draw_frame();
  switch (state_) {
    case kFadeIn:
      if (--timer_ <= 0) begin_count_in();
      break;
    case kCountIn:
      count_in_step();
      break;
    case kPlay: {
      int results[2] = {kFieldPlaying, kFieldPlaying};
      if (play_frame(results)) take_results(results);
      break;
    }
    case kPaused:
      pause_step();
      break;
    case kWon:
    case kLost:
      result_step();
      break;
    default:
      if (state_ != leaving_state_) {
        after_match_step();
      } else if (--timer_ <= 0) {
        requested_scene = leave_to_;
        return false;
      }
      break;
  }
  return true;
}

void Scene_Match::begin_count_in() {
  state_ = kCountIn;
  timer_ = kCountInFrames;
  count_in_began();
}

void Scene_Match::count_in_step() {
  count_in_frame();
  for (int i = 0; i < field_count(); ++i) fields_[i]->draw_countdown(timer_);
  if (timer_ % 60 == 0) play_se("sounds\\321.wav");
  if (--timer_ > 0) return;
  play_se("sounds\\levelup.wav");
  state_ = kPlay;
  play_music(music_);
  count_in_ended();
}

void Scene_Match::count_in_ended() {
  for (int i = 0; i < field_count(); ++i)
    if (fields_[i]->settings.module) fields_[i]->start_thinking();
}

bool Scene_Match::play_frame(int results[2]) {
  // Left first: the right field's garbage depends on the hold flag the left
  // one has just written.
  for (int i = 0; i < field_count(); ++i) results[i] = fields_[i]->update();
  return true;
}

void Scene_Match::take_results(const int results[2]) {
  if (results[0] == kFieldPaused || results[1] == kFieldPaused) state_ = kPaused;
  if (results[0] == kFieldStop || results[1] == kFieldStop) {
    leave();
    end_of_match();
  } else if (int winner = match_winner(results[0], results[1])) {
    begin_result(winner);
    end_of_match();
  }
}

void Scene_Match::end_of_match() {
  stop_music(music_);
  match_over();
}

void Scene_Match::pause_step() {
  // Every field looks at START, so either player resumes.
  bool resumed = false;
  for (int i = 0; i < field_count(); ++i) resumed = fields_[i]->check_pause() == kFieldPlaying || resumed;
  if (resumed) state_ = kPlay;
}

void Scene_Match::begin_result(int winner) {
  winner_ = winner;
  state_ = winner == 1 ? kWon : kLost;
  timer_ = kResultFrames;
}

void Scene_Match::draw_end_animations() {
  // The left field (or the player) won in kWon.
  for (int i = 0; i < field_count(); ++i) {
    if ((state_ == kWon) == (i == 0))
      fields_[i]->win_animation(timer_);
    else
      fields_[i]->lose_animation(timer_);
  }
}

void Scene_Match::result_step() {
  draw_end_animations();
  if (--timer_ == 0) result_shown();
}

void Scene_Match::leave() {
  state_ = leaving_state_;
  timer_ = kFadeFrames;
}

int Scene_Match::fade_brightness() const {
  if (state_ == kFadeIn) return (kFadeFrames - timer_) * 192 / kFadeFrames;
  if (state_ == leaving_state_) return timer_ * 192 / kFadeFrames;
  if (state_ == kPaused || state_ > kLost) return 192;
  return 255;
}

void Scene_Match::play_again(int seed) {
  cursor_ = -1;
  winner_ = 0;
  for (int i = 0; i < field_count(); ++i) fields_[i]->reset(seed);
  begin_count_in();
}

void Scene_Match::after_match_menu_step() {
  const int leaves = after_match_menu_choice(&cursor_, fields_, field_count());
  if (leaves < 0) return;
  if (leaves)
    leave();
  else
    play_again(GetRandomUpTo(16777216));
}
