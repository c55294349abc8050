// Replay of a battle.
#include "game/scene_replay_double.h"

#include "game/caches.h"
#include "game/menu.h"

Scene_ReplayDouble::Scene_ReplayDouble(const std::string& path, const side_settings& settings,
                                       const char* background, const char* music)
    : Scene_Double(construct_base{}, kSceneSelectSingle), speed_count_(new Speed_Count(&speed_, 272)) {
  left_settings_ = right_settings_ = settings;
  // A replay owns no plug-in.
  left_settings_.module = right_settings_.module = nullptr;
  copy_media_name(background_, background);
  copy_media_name(music_, music);
  side_settings sides[2] = {settings, settings};
  sides[0].chara_image = sides[1].chara_image = load_image("images\\noimage.png");
  const int origins[2] = {24, 420};
  Field_Replay* fields[2] = {};
  if (open_replay_fields(path.c_str(), sides, origins, fields) == 2) {
    set_fields(fields[0], fields[1]);
  } else {
    // Unreadable, damaged or not a battle: refused, back to the list.
    delete fields[0];
    play_se(kSoundRefuse);
    leave();
  }
}

Scene_ReplayDouble::~Scene_ReplayDouble() { delete speed_count_; }

void Scene_ReplayDouble::draw_fields() {
  Scene_Double::draw_fields();
  speed_count_->draw();
}

bool Scene_ReplayDouble::play_frame(int results[2]) {
  play_replay_frame(left(), right(), speed_, &results[0], &results[1]);
  speed_ = replay_speed_after_keys(speed_);
  return true;
}
