// The single-play settings and the replay list.
#include "game/scene_select_single.h"

#include <algorithm>
#include <cstdio>

#include "engine/core/random.h"
#include "engine/graphics/graphics.h"
#include "game/buttons.h"
#include "game/caches.h"
#include "game/game_files.h"
#include "game/menu.h"
#include "game/replay.h"
#include "game/settings.h"

namespace {

// The value column, ending a little before the screen's right edge.
constexpr int kValueX = 240;
constexpr int kValueEnd = 640 - 8;

}  // namespace

Scene_SelectSingle::Scene_SelectSingle(int mode, int state, const side_settings& settings, const char* background,
                                       const char* music)
    : state_(state), timer_(state == 0 ? 45 : 60), mode_(mode), settings_(settings) {
  copy_media_name(background_, background);
  copy_media_name(music_, music);
  settings_.mode = mode;
  level_ = std::min(settings_.level_target % 32, 30);
  for (int i = 0; i < 8; ++i)
    if (kTargets[i] == settings_.level_target / 32 * 10) target_ = i;
  preview_ = load_image(kTitleImage);
  if (mode == 3) {
    rows_ = {kRowReplay, kRowBackground, kRowMusic, kRowPlay};
    replays_ = list_folder("replay", {".vrs"});
  } else if (mode == 2) {
    rows_ = {kRowLevel, kRowTarget, kRowBackground, kRowMusic, kRowPlay};
  } else {
    rows_ = {kRowLevel, kRowBackground, kRowMusic, kRowPlay};
  }
  media_.list_media();
  media_.restore_media(background_, music_);
  if (media_.background_choice >= 0) preview_ = load_image(background_);
}

std::string Scene_SelectSingle::replay_path() const {
  if (replays_.empty()) return {};
  return "replay\\" + replays_[replay_choice_];
}

void Scene_SelectSingle::hand_over(SceneValues& values) const {
  values.mode = mode_;
  values.sides[0] = settings_;
  copy_media_name(values.background, background_);
  copy_media_name(values.music, music_);
  values.replay_path = replay_path();
}

int Scene_SelectSingle::replay_field_count() const {
  std::string path = replay_path();
  std::vector<uint8_t> bytes;
  if (path.empty() || !read_replay_file(path.c_str(), &bytes)) return -1;
  return bytes[4];
}

void Scene_SelectSingle::refuse_replay() {
  play_se(kSoundRefuse);
  replays_ = list_folder("replay", {".vrs"});
  replay_choice_ = 0;
}

bool Scene_SelectSingle::update() {
  switch (state_) {
    case 0:
    case 1:
    case 2:
      if (--timer_ == 0) {
        if (state_ != 2) play_music(kMenuMusic);
        state_ = 3;
      }
      break;
    case 3:
      if (move_cursor(&cursor_, (int)rows_.size())) break;
      if (is_pressed(B_Custom)) {
        play_se(kSoundMove);
        state_ = 4;
        timer_ = 45;
        break;
      }
      change_row(rows_[cursor_]);
      break;
    default:
      if (timer_ == 0) {
        if (state_ == 4) {
          stop_menu_music(load_bgm(music_));
          requested_scene = mode_ == 3 ? kSceneTitle : kSceneSelectMode;
        } else if (state_ == 5) {
          requested_scene = kSceneSelectChara;
        } else {
          int count = replay_field_count();
          if (count < 0) {
            // Gone since it was chosen: back to the list.
            refuse_replay();
            play_music(kMenuMusic);
            state_ = 3;
            break;
          }
          requested_scene = count == 2 ? kSceneReplayDouble : kSceneReplaySingle;
        }
        return false;
      }
      --timer_;
      break;
  }
  draw();
  return true;
}

void Scene_SelectSingle::change_row(Row row) {
  int step = is_repeated(kPadRight) ? 1 : is_repeated(kPadLeft) ? -1 : 0;
  switch (row) {
    case kRowLevel:
      if (!step) return;
      level_ = wrap(level_, step, 31);
      break;
    case kRowTarget:
      if (!step) return;
      target_ = wrap(target_, step, 8);
      break;
    case kRowReplay:
      if (!step || replays_.empty()) return;
      replay_choice_ = wrap(replay_choice_, step, (int)replays_.size());
      break;
    case kRowBackground:
      if (!step || !media_.step_background(step, background_)) return;
      preview_ = load_image(background_);
      break;
    case kRowMusic:
      if (!step || !media_.step_music(step, music_)) return;
      stop_menu_music(music_preview_);
      music_preview_ = preview_music(music_);
      break;
    case kRowPlay:
      if (is_pressed(C_Custom)) play();
      return;
  }
  play_se(kSoundMove);
}

void Scene_SelectSingle::play() {
  if (mode_ == 3 && replay_field_count() < 0) {
    refuse_replay();
    return;
  }
  play_se(kSoundConfirm);
  if (mode_ == 3) {
    stop_menu_music(music_preview_);
    state_ = 6;
    timer_ = 60;
  } else {
    state_ = 5;
    timer_ = 45;
  }
  settings_.colours = level_ / 8 + 3;
  settings_.level_target = kTargets[target_] / 10 * 32 + level_;
  settings_.seed = GetRandomUpTo(16777216);
  settings_.com_level = -1;
}

void Scene_SelectSingle::draw() {
  int back = 192;
  if (state_ == 1)
    back = (30 - timer_) * 192 / 30;
  else if (state_ == 6)
    back = timer_ * 192 / 60;
  SetPaintBrightness(back, back, back);
  SelectBlendMode(0, 0);
  PaintGraphStretched(0, 0, 640, 480, preview_, 0);
  int shift = 0, bright = 255;
  if (state_ == 0 || state_ == 2)
    shift = slide_in(timer_);
  else if (state_ == 4 || state_ == 5)
    shift = slide_out(timer_);
  else if (state_ == 1)
    bright = (30 - timer_) * 255 / 30;
  else if (state_ == 6)
    bright = timer_ * 255 / 60;
  int cursor_bright = state_ >= 5 ? bright / 2 : bright;
  SetPaintBrightness(cursor_bright, cursor_bright, cursor_bright);
  PaintGraph(shift + 96, 100 + 32 * cursor_, load_image(kCursorImage), 1);
  SetPaintBrightness(bright, bright, bright);
  for (int i = 0; i < (int)rows_.size(); ++i) draw_row(i, shift);
  SelectBlendMode(0, 0);
  SetPaintBrightness(255, 255, 255);
}

void Scene_SelectSingle::draw_row(int index, int shift) {
  static const char* const kLabels[] = {"レベル", "目標", "リプレイ", "背景", "音楽", "この設定でプレイする"};
  Row row = rows_[index];
  int y = 96 + 32 * index;
  draw_text(shift + 120, y, kLabels[row], kFontMenu);
  char number[16] = "";
  std::string value;
  switch (row) {
    case kRowLevel:
      std::snprintf(number, sizeof number, "%02d", level_ + 1);
      value = number;
      break;
    case kRowTarget:
      std::snprintf(number, sizeof number, "%04d", kTargets[target_]);
      value = number;
      break;
    case kRowReplay:
      if (!replays_.empty()) value = shown_name(replays_[replay_choice_].c_str());
      break;
    case kRowBackground:
      if (media_.background_choice >= 0) value = shown_name(background_);
      break;
    case kRowMusic:
      if (media_.music_choice >= 0) value = shown_name(music_);
      break;
    case kRowPlay: break;
  }
  if (!value.empty()) draw_text(shift + kValueX, y + 4, value.c_str(), kFontValue);
}

std::string Scene_SelectSingle::shown_name(const char* path) {
  return fit_text(file_part(path), kFontValue, kValueEnd - kValueX);
}
