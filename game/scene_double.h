// Free battle (scene 5): a left and a right field, each the other's
// opponent, either side a person or a computer opponent (the plug-in the
// character screen handed over in that side's settings). Fade-in, count-in,
// the match with pause, the win and lose animations, and the after-match
// menu: play again with a fresh seed, or leave to the battle settings, each
// with or without saving the replay. The battle replay and the net battle
// derive from it.
#pragma once

#include "game/field.h"
#include "game/scene.h"

class Scene_Double : public Scene {
 public:
  Scene_Double(const side_settings& left, const side_settings& right, const char* background, const char* music);
  // Releases what the members still hold, in this order: the left and the
  // right field (each ends its running search first), then the plug-in of
  // each computer side. A derived scene that ends its own fields or modules
  // clears these members in its destructor, and nothing is released twice.
  ~Scene_Double() override;
  bool update() override;
  // The after-match menu while it is shown.
  void draw() override;
  void hand_over(SceneValues& values) const override;

  enum State { kFadeIn, kCountIn, kMatch, kPaused, kLeftWon, kRightWon, kMenu, kFadeOut };

  // The winner when a match frame ends with these field results: 0 while it
  // goes on, 1 the left side, 2 the right side. A field that reaches its goal
  // wins, one that tops out loses; when both end at once the left side wins
  // unless only it topped out.
  static int match_winner(int left_result, int right_result);
  // The input devices of two sides at one machine: the keyboard with the
  // first pad and the second pad when there are two pads or the right side
  // is a computer, else the keyboard alone and the first pad.
  static void choose_devices(int pads, bool right_is_computer, int devices[2]);

  int state() const { return state_; }
  int timer() const { return timer_; }
  int cursor() const { return cursor_; }
  int winner() const { return winner_; }
  Field* left() const { return left_; }
  Field* right() const { return right_; }

 protected:
  // The base part of a derived scene's constructor: members at their
  // defaults, no fields and no plug-ins; the derived scene fills them.
  struct construct_base {};
  explicit Scene_Double(construct_base) {}
  // The draw brightness of the state's fade: up to 192 over the 60 frames of
  // the fade-in, 192 while paused and in the menu, down to 0 over the
  // fade-out, 255 otherwise.
  void set_fade_bright() const;
  // The fields of the picture; a derived scene with fields of its own kind
  // draws them itself.
  virtual void draw_fields();
  // The background, the fields and, once a side has won, the result words.
  void draw_match();
  // "勝利！" and "敗北！！" over the winner's and the loser's well.
  void draw_result_words() const;
  // One frame of both fields' count-in; in its last frame the match state
  // and the music begin, and it returns true.
  bool count_in_step();
  // One frame of the pause: START on the combined device resumes.
  void pause_step();
  // The winner's and the loser's animations begin (1 the left side won, 2
  // the right).
  void begin_result(int winner);
  // One frame of the winner's and the loser's animations (the winner by the
  // state); at their end the state `next` with `next_timer` frames.
  void end_animation_step(int next, int next_timer);
  // The animations' frame alone, the timer left as it is.
  void draw_end_animations();

  int timer_ = 60;
  int cursor_ = -1;
  int winner_ = 0;
  Field* left_ = nullptr;
  Field* right_ = nullptr;
  int state_ = kFadeIn;
  char background_[kMediaNameSize] = {};
  char music_[kMediaNameSize] = {};
  side_settings left_settings_;
  side_settings right_settings_;

 private:
  void menu_step();
};
