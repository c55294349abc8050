// Replay of a battle (scene 7): both recorded fields played again, left then
// right in every pass, at 1, 2, 4, 8 or 16 passes per frame (Right doubles
// the speed, Left halves it), with pause, the winner's and the loser's
// animations, and the way back to the replay list. The fields need no
// plug-in: a computer side's moves are in the file as commands.
#pragma once

#include <string>

#include "game/field_replay.h"
#include "game/hud.h"
#include "game/scene_double.h"

class Scene_ReplayDouble : public Scene_Double {
 public:
  Scene_ReplayDouble(const std::string& path, const side_settings& settings, const char* background,
                     const char* music);
  ~Scene_ReplayDouble() override;

  enum ReplayState { kWait = kFadeIn, kLeaving = kFadeOut };
  int speed() const { return speed_; }

 protected:
  void draw_fields() override;
  bool play_frame(int results[2]) override;
  void result_shown() override { leave(); }

 private:
  int speed_ = 1;
  Speed_Count* speed_count_;
};
