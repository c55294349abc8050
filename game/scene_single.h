// Single play (scene 4): one field played from the combined keyboard and
// first pad, in endless, time trial or break trial: fade-in, count-in, play
// with pause, the goal or game-over animation, the high-score name entry and
// the after-game menu (play again or leave, each with or without saving the
// replay).
#pragma once

#include "game/field.h"
#include "game/hiscore.h"
#include "game/scene_match.h"

class Scene_Single : public Scene_Match {
 public:
  Scene_Single(const side_settings& settings, const char* background, const char* music);
  ~Scene_Single() override;
  void draw() override;
  void hand_over(SceneValues& values) const override;

  // The name entry's start: reads the table and decides the rank of the
  // field's score (-1 for none).
  void read_hiscores();
  // Puts the typed name with the field's results into the table at the rank
  // and rewrites the file.
  void write_hiscores();

  enum State { kGoal = kWon, kToppedOut = kLost, kNameEntry = 6, kMenu = 7, kFadeOut = 8 };
  static constexpr int kMenuRows = 4;

  int rank() const { return rank_; }
  Field* field() const { return field_at(0); }

 protected:
  // The base part of a derived scene, which fills the members itself; its
  // leaving state is the fade-out's number.
  Scene_Single() : Scene_Match(kFadeOut, kSceneSelectSingle) {}
  void draw_frame() override { draw(); }
  void result_shown() override;
  void after_match_step() override;

  int rank_ = -1;
  hiscore_table table_{};
  int name_input_ = -1;
  side_settings settings_;

 private:
  void name_entry_step();
};
