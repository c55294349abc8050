// Free battle (scene 5): a left and a right field, each the other's
// opponent, either side a person or a computer opponent (the plug-in the
// character screen handed over in that side's settings). Fade-in, count-in,
// the match with pause, the win and lose animations, and the after-match
// menu: play again with a fresh seed, or leave to the battle settings, each
// with or without saving the replay. The battle replay and the net battle
// derive from it.
#pragma once

#include "game/field.h"
#include "game/scene_match.h"

class Scene_Double : public Scene_Match {
 public:
  Scene_Double(const side_settings& left, const side_settings& right, const char* background, const char* music);
  // Releases what the scene holds, in this order: the left and the right
  // field (each ends its running search first), then the plug-in of each
  // computer side (a derived scene's sides have none).
  ~Scene_Double() override;
  // The after-match menu while it is shown.
  void draw() override;
  void hand_over(SceneValues& values) const override;

  enum State { kMatch = kPlay, kLeftWon = kWon, kRightWon = kLost, kMenu = 6, kFadeOut = 7 };

  // The input devices of two sides at one machine: the keyboard with the
  // first pad and the second pad when there are two pads or the right side
  // is a computer, else the keyboard alone and the first pad.
  static void choose_devices(int pads, bool right_is_computer, int devices[2]);

  Field* left() const { return field_at(0); }
  Field* right() const { return field_at(1); }

 protected:
  // The base part of a derived scene's constructor: members at their
  // defaults, no fields and no plug-ins; the derived scene fills them.
  struct construct_base {};
  explicit Scene_Double(construct_base, int leave_to) : Scene_Match(kFadeOut, leave_to) {}
  // The background, the fields and, once a side has won, the result words;
  // the menu; the pause picture.
  void draw_frame() override;
  // The fields of the picture; a derived scene with more beside them draws
  // it here.
  virtual void draw_fields();
  // "勝利！" and "敗北！！" over the winner's and the loser's well.
  void draw_result_words() const;
  void result_shown() override;
  void after_match_step() override;

  side_settings left_settings_;
  side_settings right_settings_;
};
