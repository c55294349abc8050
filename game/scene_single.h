// Single play (scene 4): one field played from the combined keyboard and
// first pad, in endless, time trial or break trial: fade-in, count-in, play
// with pause, the goal or game-over animation, the high-score name entry and
// the after-game menu (play again or leave, each with or without saving the
// replay).
#pragma once

#include "game/field.h"
#include "game/hiscore.h"
#include "game/scene.h"

class Scene_Single : public Scene {
 public:
  Scene_Single(const side_settings& settings, const char* background, const char* music);
  ~Scene_Single() override;
  bool update() override;
  void draw() override;
  void hand_over(SceneValues& values) const override;

  // The name entry's start: reads the table and decides the rank of the
  // field's score (-1 for none).
  void read_hiscores();
  // Puts the typed name with the field's results into the table at the rank
  // and rewrites the file.
  void write_hiscores();

  enum State { kFadeIn, kCountIn, kPlay, kPaused, kGoal, kToppedOut, kNameEntry, kMenu, kFadeOut };
  static constexpr int kMenuRows = 4;

  int state() const { return state_; }
  int timer() const { return timer_; }
  int cursor() const { return cursor_; }
  int rank() const { return rank_; }
  Field* field() const { return field_; }

 protected:
  // The bare base part of a derived scene, which fills the members itself.
  Scene_Single() = default;
  // Brightness of the scene's fades by its state.
  static int fade_brightness(int state, int timer);
  // One frame of the count-in on the field: the digits, a tick each second,
  // and at its end the start sound, play and the music.
  void count_in_step(Field* field);
  // One frame of the goal or game-over animation (by the state); at its end
  // the state `next` with the timer `next_timer`.
  void end_animation_step(Field* field, int next, int next_timer);

  int timer_ = 60;
  int cursor_ = -1;
  int rank_ = -1;
  hiscore_table table_{};
  int name_input_ = -1;
  Field* field_ = nullptr;
  int state_ = kFadeIn;
  char background_[kMediaNameSize] = {};
  char music_[kMediaNameSize] = {};
  side_settings settings_;

 private:
  void name_entry_step();
  void menu_step();
};
