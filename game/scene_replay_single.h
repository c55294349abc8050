// Replay of a single play (scene 6): the recorded field played again at 1,
// 2, 4, 8 or 16 field updates per frame (Right doubles the speed, Left
// halves it), with pause, the end animation, and the way back to the replay
// list.
#pragma once

#include <string>

#include "game/field_replay.h"
#include "game/hud.h"
#include "game/scene_single.h"

class Scene_ReplaySingle : public Scene_Single {
 public:
  Scene_ReplaySingle(const std::string& path, const side_settings& settings, const char* background,
                     const char* music);
  ~Scene_ReplaySingle() override;
  void draw() override;

  enum ReplayState { kWait = kFadeIn, kLeaving = kFadeOut };
  int speed() const { return speed_; }

 protected:
  bool play_frame(int results[2]) override;
  void result_shown() override { leave(); }

 private:
  int speed_ = 1;
  Speed_Count* speed_count_;
};
