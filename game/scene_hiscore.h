// The high-score screen (scene 8): one mode's table at a time, Up and Down
// turning the page, B back to the title.
#pragma once

#include "game/hiscore.h"
#include "game/scene.h"

class Scene_Hiscore : public Scene {
 public:
  Scene_Hiscore();
  bool update() override;
  void draw() override;

  int page() const { return page_; }

 private:
  int state_ = 0;  // 0 intro, 1 shown, 2 page change, 3 leaving
  int timer_ = 60;
  int page_ = 0;
  hiscore_table table_;
};
