// The mode menu (scene 1): the three single-play modes, free battle, net
// battle and the way back to the title.
#pragma once

#include "game/scene.h"

class Scene_SelectMode : public Scene {
 public:
  // state: 0 intro with the title music playing, 1 intro that starts it.
  Scene_SelectMode(int state, int cursor);
  bool update() override;
  void draw() override;
  void hand_over(SceneValues& values) const override;

  static constexpr int kRows = 6;

 private:
  int state_;  // 0, 1 intros, 2 choosing, 3 leaving forward, 4 leaving back
  int timer_ = 45;
  int cursor_;
};
