// Replay of a battle.
#include "game/scene_replay_double.h"

#include "engine/graphics/graphics.h"
#include "game/buttons.h"
#include "game/caches.h"
#include "game/menu.h"

Scene_ReplayDouble::Scene_ReplayDouble(const std::string& path, const side_settings& settings,
                                       const char* background, const char* music)
    : Scene_Double(construct_base{}), speed_count_(new Speed_Count(&speed_, 272)) {
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
    left_ = fields[0];
    right_ = fields[1];
  } else {
    // Unreadable, damaged or not a battle: refused, back to the list.
    delete fields[0];
    play_se(kSoundRefuse);
    state_ = kLeaving;
  }
  timer_ = 60;
}

Scene_ReplayDouble::~Scene_ReplayDouble() { delete speed_count_; }

void Scene_ReplayDouble::draw_fields() {
  if (left_) Scene_Double::draw_fields();
  speed_count_->draw();
}

bool Scene_ReplayDouble::update() {
  draw_match();
  if (state_ == kPaused) PaintGraph(224, 200, load_image("images\\pause.png"), 1);
  switch (state_) {
    case kWait:
      if (--timer_ == 0) {
        state_ = kCountIn;
        timer_ = 180;
      }
      break;
    case kCountIn:
      count_in_step();
      break;
    case kMatch:
      play_step();
      break;
    case kPaused:
      pause_step();
      break;
    case kLeftWon:
    case kRightWon:
      end_animation_step(kLeaving, 60);
      break;
    default:
      if (--timer_ == 0) {
        requested_scene = kSceneSelectSingle;
        return false;
      }
      break;
  }
  return true;
}

void Scene_ReplayDouble::play_step() {
  int r0, r1;
  play_replay_frame(left_, right_, speed_, &r0, &r1);
  speed_ = replay_speed_after_keys(speed_);
  if (r0 == kFieldPaused || r1 == kFieldPaused) state_ = kPaused;
  if (r0 == kFieldStop || r1 == kFieldStop) {
    state_ = kLeaving;
    timer_ = 60;
    stop_music(music_);
  } else if (int winner = match_winner(r0, r1)) {
    begin_result(winner);
    stop_music(music_);
  }
}
