// The options screen (scene 9): window or full screen, normal or wide
// window, music and effect volume, the music storage mode, and the pad
// buttons that act as decide, back and pause. Every change takes effect at
// once and is written to the settings file as it is made.
#pragma once

#include "game/scene.h"

class Scene_Option : public Scene {
 public:
  Scene_Option() = default;
  bool update() override;
  void draw() override;

  void toggle_fullscreen();
  void toggle_widescreen();
  void change_bgm_volume(int step);
  void change_se_volume(int step);
  void change_sound_data_type(int step);
  // Takes the first pad button freshly pressed on device 0 for the row's
  // logical button (row 5 decide, 6 back, 7 pause), swapping with the other
  // logical button that held it; false when none was pressed. A pause
  // without a button does not take decide's or back's (the buzzer): that
  // would leave them with none.
  bool assign_button(int row);

  static constexpr int kRows = 9;
  int cursor() const { return cursor_; }
  int state() const { return state_; }

 private:
  int state_ = 0;  // 0 intro, 1 choosing, 2 leaving
  int timer_ = 45;
  int cursor_ = 0;
};

// The label of a pad button mask as the options screen shows it, naming the
// keyboard key the engine maps onto that button; null for a mask that is not
// one of the ten buttons.
const char* button_label(int mask);
