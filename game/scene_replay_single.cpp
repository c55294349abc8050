// Replay of a single play.
#include "game/scene_replay_single.h"

#include "engine/graphics/graphics.h"
#include "game/buttons.h"
#include "game/caches.h"
#include "game/menu.h"

Scene_ReplaySingle::Scene_ReplaySingle(const std::string& path, const side_settings& settings,
                                       const char* background, const char* music)
    : speed_count_(new Speed_Count(&speed_, 0)) {
  settings_ = settings;
  copy_media_name(background_, background);
  copy_media_name(music_, music);
  side_settings sides[2] = {settings, settings};
  sides[0].chara_image = load_image("images\\noimage.png");
  const int origins[2] = {160, 420};
  Field_Replay* fields[2] = {};
  int made = open_replay_fields(path.c_str(), sides, origins, fields);
  if (made == 2) delete fields[1];
  set_fields(fields[0], nullptr);
  if (!fields[0]) {
    // Unreadable or damaged: refused, back to the list.
    play_se(kSoundRefuse);
    leave();
  }
}

Scene_ReplaySingle::~Scene_ReplaySingle() { delete speed_count_; }

bool Scene_ReplaySingle::play_frame(int results[2]) {
  play_replay_frame(field(), nullptr, speed_, &results[0], &results[1]);
  speed_ = replay_speed_after_keys(speed_);
  return true;
}

void Scene_ReplaySingle::draw() {
  SetPaintBrightness(255, 255, 255);
  SelectBlendMode(0, 0);
  draw_fullscreen(background_);
  if (field()) field()->draw();
  speed_count_->draw();
  if (state_ == kPaused) PaintGraph(224, 200, load_image("images\\pause.png"), 1);
}
