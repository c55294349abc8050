// What every match scene runs, once: the fade-in, the count-in, play with
// pause, the result with the winner's and the loser's end animations, the
// scene's own steps after a match (name entry, menus), and the fade-out to
// the scene it leaves for. Single play, free battle, both replays and the
// net battle derive from it; each supplies its one or two fields, its
// picture, and the steps that differ.
#pragma once

#include "game/field.h"
#include "game/scene.h"

class Scene_Match : public Scene {
 public:
  // Deletes the fields (each ends its running search first).
  ~Scene_Match() override;
  // The frame's picture, then the state's step; then the sounds the fields
  // asked for are played.
  bool update() override;

  // The states every match scene has, by their numbers; a scene's own
  // states after the result come next, its leaving state last.
  enum MatchState { kFadeIn = 0, kCountIn = 1, kPlay = 2, kPaused = 3, kWon = 4, kLost = 5 };
  static constexpr int kFadeFrames = 60;
  static constexpr int kCountInFrames = 180;
  static constexpr int kResultFrames = 240;

  // The winner when a frame of play ends with these field results (a single
  // field's partner reads as playing): 0 while it goes on, 1 the left side
  // (or the player reached the goal), 2 the right side (or the player
  // topped out). A field that reaches its goal wins, one that tops out
  // loses; when both end at once the left side wins unless only it topped
  // out.
  static int match_winner(int left_result, int right_result);

  int state() const { return state_; }
  int scripted_state() const override { return state_; }
  int timer() const { return timer_; }
  int cursor() const { return cursor_; }
  int winner() const { return winner_; }

 protected:
  // `leaving_state`: the number of the fade-out; `leave_to`: the scene it
  // asks for at its end.
  Scene_Match(int leaving_state, int leave_to) : leaving_state_(leaving_state), leave_to_(leave_to) {}
  // The fields of the match, owned from now on; two are linked as
  // opponents. The right one is null in a single play, both when a replay
  // could not be read.
  void set_fields(Field* left, Field* right);
  void delete_fields();
  Field* field_at(int side) const { return fields_[side]; }

  // ---- what a scene supplies ----------------------------------------------------
  // The frame's picture, drawn before the step.
  virtual void draw_frame() = 0;
  // Each time a count-in begins (after the fade-in, and before a match
  // played again).
  virtual void count_in_began() {}
  // Every frame of the count-in, before its step.
  virtual void count_in_frame() {}
  // In the count-in's last frame, once play has begun: the computer sides
  // start their first searches.
  virtual void count_in_ended();
  // One frame of play: the fields' results into results (left, right).
  // False when nothing was played that the skeleton should look at.
  virtual bool play_frame(int results[2]);
  // When a match is over on this machine (a side won, a replay was
  // stopped), after the music stopped.
  virtual void match_over() {}
  // One frame of the result: the end animations, and at their end
  // result_shown().
  virtual void result_step();
  // What follows the result: the scene's next state.
  virtual void result_shown() = 0;
  // One frame of a state of the scene's own (after the result, before
  // leaving).
  virtual void after_match_step() {}

  // ---- pieces the scenes use -------------------------------------------------------
  // The winner's and the loser's animations of this frame, the timer left
  // as it is.
  void draw_end_animations();
  // The draw brightness of the state: up to 192 over the fade-in, 192 while
  // paused and in the scene's own states after the result, down to 0 over
  // the fade-out, 255 otherwise.
  int fade_brightness() const;
  // The results of a frame of play: pause, a stop asked for, a winner.
  void take_results(const int results[2]);
  // The stop of the music and match_over().
  void end_of_match();
  // The result of a winner (1 or 2) begins.
  void begin_result(int winner);
  // The fade-out to the scene left for.
  void leave();
  // The fields reset with one seed (both draw the same pairs), and the
  // count-in.
  void play_again(int seed);
  // One frame of the after-match menu of single play and free battle:
  // a confirmed row saves the replay when it says so, then leaves or plays
  // again with a fresh seed.
  void after_match_menu_step();

  int timer_ = kFadeFrames;
  int cursor_ = -1;
  int winner_ = 0;
  int state_ = kFadeIn;
  char background_[kMediaNameSize] = {};
  char music_[kMediaNameSize] = {};

 private:
  bool step();
  void begin_count_in();
  void count_in_step();
  void pause_step();
  int field_count() const { return fields_[1] ? 2 : fields_[0] ? 1 : 0; }

  Field* fields_[2] = {};
  int leaving_state_;
  int leave_to_;
};
