// Free-battle settings.
#include "game/scene_select_double.h"

#include <cstdio>

#include "engine/core/random.h"
#include "engine/graphics/graphics.h"
#include "engine/input/input.h"
#include "engine/sound/sound.h"
#include "game/buttons.h"
#include "game/caches.h"
#include "game/menu.h"
#include "game/midi.h"
#include "game/scene_double.h"
#include "game/settings.h"

namespace {

// A row of one number per side, changed in steps and wrapping at its ends.
struct NumberRow {
  const char* label;
  int side_settings::*member;
  int low;
  int high;
  int step;
  const char* format;
};

const NumberRow* number_row(Scene_SelectDouble::RowKind row) {
  static const NumberRow kRows[] = {
      {"レベル", &side_settings::level_target, 0, 30, 1, " %02d"},
      {"消去得点", &side_settings::clear_score, 10, 250, 10, "%3d"},
      {"おじゃま得点", &side_settings::garbage_score, 0, 250, 10, "%3d"},
      {"ブロック種類", &side_settings::colours, 3, 6, 1, " %2d"},
      {"消去必要数", &side_settings::clear_count, 2, 12, 1, " %2d"},
      // The left side may be a person (-1); the right one is a computer here.
      {"COMレベル", &side_settings::com_level, -1, 2, 1, " %2d"},
  };
  return row <= Scene_SelectDouble::kRowComLevel ? &kRows[row] : nullptr;
}

// The value columns: the left one ends a little before the labels, the
// right one a little before the screen's edge.
constexpr int kValueX[2] = {120, 440};
constexpr int kValueEnd[2] = {216 - 4, 640 - 8};

int lowest(const NumberRow& row, int side) {
  return row.member == &side_settings::com_level && side == 1 ? 0 : row.low;
}

}  // namespace

Scene_SelectDouble::Scene_SelectDouble(int state, int two_players, const side_settings& left,
                                       const side_settings& right, const char* background, const char* music)
    : state_(state), timer_(state == 0 ? 45 : 60), two_players_(two_players ? 1 : 0) {
  copy_media_name(background_, background);
  copy_media_name(music_, music);
  settings_[0] = left;
  settings_[1] = right;
  for (side_settings& s : settings_) {
    s.mode = 3;
    // The plug-ins of a battle left with it; the character screen hands out
    // new ones.
    s.module = nullptr;
  }
  if (two_players_) Scene_Double::choose_devices(CountPads(), false, device_);
  active_[0] = 1;
  active_[1] = two_players_;
  preview_ = load_image(kTitleImage);
  build_rows(!two_players_);
  list_media();
  restore_media();
}

void Scene_SelectDouble::build_rows(bool com_level) {
  rows_ = {kRowLevel, kRowClearScore, kRowGarbageScore, kRowColours, kRowGroupSize};
  if (com_level) rows_.push_back(kRowComLevel);
  rows_.insert(rows_.end(), {kRowBackground, kRowMusic, kRowPlay});
}

void Scene_SelectDouble::list_media() { media_.list_media(); }

void Scene_SelectDouble::restore_media() {
  media_.restore_media(background_, music_);
  if (media_.background_choice >= 0) preview_ = load_image(background_);
}

void Scene_SelectDouble::hand_over(SceneValues& values) const {
  values.two_players = two_players_;
  values.sides[0] = settings_[0];
  values.sides[1] = settings_[1];
  copy_media_name(values.background, background_);
  copy_media_name(values.music, music_);
}

bool Scene_SelectDouble::update() {
  switch (state_) {
    case kIntro:
    case kIntroFromBlack:
    case kIntroPlaying:
      if (--timer_ == 0) {
        if (state_ != kIntroPlaying) play_music(kMenuMusic);
        state_ = kChoosing;
      }
      break;
    case kChoosing:
      for (int side = 0; side < 2 && state_ == kChoosing; ++side) {
        const int device = device_[side];
        if (is_pressed_on(B_Custom, device)) {
          back(side);
          continue;
        }
        if (!active_[side]) continue;
        int step = is_repeated_on(kPadDown, device) ? 1 : is_repeated_on(kPadUp, device) ? -1 : 0;
        if (step) {
          play_se(kSoundMove);
          cursor_[side] = wrap(cursor_[side], step, (int)rows_.size());
        } else if (change_row(rows_[cursor_[side]], side)) {
          break;
        }
      }
      break;
    default:
      if (timer_ == 0) {
        if (state_ == kLeavingBack) {
          stop_menu_music(load_bgm(music_));
          requested_scene = two_players_ ? kSceneTitle : kSceneSelectMode;
        } else {
          requested_scene = kSceneSelectChara;
        }
        return false;
      }
      --timer_;
      break;
  }
  draw();
  return true;
}

void Scene_SelectDouble::back(int side) {
  play_se(kSoundMove);
  if (!two_players_ && !active_[side]) return;
  if (active_[0] && (!two_players_ || active_[1])) {
    state_ = kLeavingBack;
    timer_ = 45;
    if (midi_state() == 1)
      midi_stop_music();
    else
      HaltSoundHandle(music_preview_);
    return;
  }
  play_se(kSoundConfirm);
  if (!two_players_ && side == 1) {
    active_[1] = 0;
    active_[0] = 1;
  } else {
    active_[side] = 1;
  }
}

bool Scene_SelectDouble::change_row(RowKind row, int side) {
  const int device = device_[side];
  if (row == kRowPlay) {
    if (!is_pressed_on(C_Custom, device)) return false;
    confirm(side);
    return true;
  }
  const int step = is_repeated_on(kPadRight, device) ? 1 : is_repeated_on(kPadLeft, device) ? -1 : 0;
  if (step) step_row(row, side, step);
  return false;
}

bool Scene_SelectDouble::step_row(RowKind row, int side, int step) {
  if (const NumberRow* number = number_row(row)) {
    int& v = settings_[side].*(number->member);
    const int low = lowest(*number, side);
    v += step * number->step;
    if (v > number->high) v = low;
    if (v < low) v = number->high;
  } else if (row == kRowBackground) {
    if (!media_.step_background(step, background_)) return false;
    preview_ = load_image(background_);
  } else {
    if (!media_.step_music(step, music_)) return false;
    stop_menu_music(music_preview_);
    music_preview_ = preview_music(music_);
  }
  play_se(kSoundMove);
  return true;
}

void Scene_SelectDouble::confirm(int side) {
  play_se(kSoundConfirm);
  active_[side] = 0;
  // One person sets the computer's column after their own.
  if (!two_players_ && side == 0) active_[1] = 1;
  if (active_[0] || active_[1]) return;
  state_ = kLeavingOn;
  timer_ = 45;
  const int seed = GetRandomUpTo(16777216);
  settings_[0].seed = settings_[1].seed = seed;
}

void Scene_SelectDouble::draw() {
  const int back = state_ == kIntroFromBlack ? (30 - timer_) * 192 / 30 : 192;
  SetPaintBrightness(back, back, back);
  SelectBlendMode(0, 0);
  PaintGraphStretched(0, 0, 640, 480, preview_, 0);
  int shift = 0, bright = 255;
  if (state_ == kIntro || state_ == kIntroPlaying)
    shift = slide_in(timer_);
  else if (state_ == kLeavingBack || state_ == kLeavingOn)
    shift = slide_out(timer_);
  else if (state_ == kIntroFromBlack)
    bright = (30 - timer_) * 255 / 30;
  const int cursor_x[2] = {shift + 96, shift + 480};
  for (int side = 0; side < 2; ++side) {
    const int b = active_[side] ? bright : bright / 2;
    SetPaintBrightness(b, b, b);
    const int graph = load_image(kCursorImage);
    const int y = 100 + 32 * cursor_[side];
    if (side == 0)
      PaintGraph(cursor_x[side], y, graph, 1);
    else
      PaintGraphMirrored(cursor_x[side], y, graph, 1);
  }
  SetPaintBrightness(bright, bright, bright);
  for (int i = 0; i < (int)rows_.size(); ++i) draw_row(rows_[i], i, shift);
  SelectBlendMode(0, 0);
  SetPaintBrightness(255, 255, 255);
}

std::string Scene_SelectDouble::shown_media_name(const char* path, int side) {
  return fit_text(file_part(path), kFontValue, kValueEnd[side] - kValueX[side]);
}

void Scene_SelectDouble::draw_row(RowKind row, int index, int shift) {
  static const char* const kOtherLabels[] = {"背景", "音楽", "この設定でプレイする"};
  const NumberRow* number = number_row(row);
  const int y = 96 + 32 * index;
  draw_text(shift + 216, y, number ? number->label : kOtherLabels[row - kRowBackground], kFontMenu);
  for (int side = 0; side < 2; ++side) {
    std::string value;
    if (number) {
      int v = settings_[side].*(number->member);
      if (row == kRowLevel) ++v;
      char text[16];
      if (row == kRowComLevel && v < 0)
        std::snprintf(text, sizeof text, " --");
      else
        std::snprintf(text, sizeof text, number->format, v);
      value = text;
    } else if (row == kRowBackground && media_.background_choice >= 0) {
      value = shown_media_name(background_, side);
    } else if (row == kRowMusic && media_.music_choice >= 0) {
      value = shown_media_name(music_, side);
    }
    if (!value.empty()) draw_text(shift + kValueX[side], y + 4, value.c_str(), kFontValue);
  }
}
