// The options screen.
#include "game/scene_option.h"

#include <algorithm>
#include <cstdio>

#include "engine/core/window.h"
#include "engine/graphics/graphics.h"
#include "game/buttons.h"
#include "game/caches.h"
#include "game/globals.h"
#include "game/menu.h"
#include "game/midi.h"
#include "game/settings.h"

namespace {

// The keys are those of the engine's keyboard map: Z sets button 0x10, X
// 0x20 and C 0x40, so the first button is the C key.
struct ButtonLabel {
  int mask;
  const char* label;
};
constexpr ButtonLabel kButtonLabels[] = {
    {0x10, "ボタン3(Zキー)"},    {0x20, "ボタン2(Xキー)"},    {0x40, "ボタン1(Cキー)"},
    {0x80, "ボタン4(Aキー)"},    {0x100, "ボタン5(Sキー)"},   {0x200, "ボタン6(Dキー)"},
    {0x400, "ボタン7(Qキー)"},   {0x800, "ボタン8(Wキー)"},   {0x1000, "ボタン9(ESCキー)"},
    {0x2000, "ボタン10(Spaceキー)"},
};

struct LogicalButton {
  int* mask;
  const char* key;
};
LogicalButton logical_button(int row) {
  switch (row) {
    case 5: return {&C_Custom, "C_Custom"};
    case 6: return {&B_Custom, "B_Custom"};
    default: return {&START_Custom, "START_Custom"};
  }
}

// Writes a setting the moment it changes; a write that fails is reported
// and the screen goes on with the new value.
void store(const char* key, int value) {
  if (!write_setting(key, value)) report_failed_save(kSettingsName);
}

// Steps a volume by 5 within 0..100 and writes it; false when at the end.
bool step_volume(int* volume, int step, const char* key) {
  int next = std::clamp(*volume + step, 0, 100);
  if (next == *volume) return false;
  play_se(kSoundMove);
  *volume = next;
  store(key, next);
  return true;
}

}  // namespace

const char* button_label(int mask) {
  for (const ButtonLabel& b : kButtonLabels)
    if (b.mask == mask) return b.label;
  return nullptr;
}

void Scene_Option::toggle_fullscreen() {
  play_se(kSoundConfirm);
  FullScreen = !FullScreen;
  store("FullScreen", FullScreen ? 1 : 0);
  ChangeWindowMode(FullScreen ? 0 : 1);
  SelectDrawScreen(DRAW_SCREEN_BACK);
  // The mode change deleted every graph and font.
  clear_image_cache();
  create_fonts();
  create_colors();
}

void Scene_Option::toggle_widescreen() {
  play_se(kSoundConfirm);
  WideScreen = !WideScreen;
  store("WideScreen", WideScreen ? 1 : 0);
  SetWindowScale(WideScreen ? 1.5 : 1.0);
}

void Scene_Option::change_bgm_volume(int step) {
  if (!step_volume(&BGM_Volume, step, "BGM_Volume")) return;
  set_bgm_cache_volume(BGM_Volume);
  if (midi_state() == 1) midi_set_caps(9, BGM_Volume);
}

void Scene_Option::change_se_volume(int step) {
  if (step_volume(&SE_Volume, step, "SE_Volume")) set_se_cache_volume(SE_Volume);
}

void Scene_Option::change_sound_data_type(int step) {
  // 0, 2 and 3 in a ring; 1 (only from an edited file) stays.
  static constexpr int kRing[] = {0, 2, 3};
  int at = SoundData_Type == 0 ? 0 : SoundData_Type == 2 ? 1 : SoundData_Type == 3 ? 2 : -1;
  if (at < 0) return;
  play_se(kSoundMove);
  SoundData_Type = kRing[wrap(at, step, 3)];
  store("SoundData_Type", SoundData_Type);
}

bool Scene_Option::assign_button(int row) {
  // A fresh press, looked for in the order of the buttons' numbers.
  int b = 0;
  for (int mask : kPadButtons)
    if (is_pressed_on(mask, 0)) {
      b = mask;
      break;
    }
  if (!b) return false;
  LogicalButton mine = logical_button(row);
  int old = *mine.mask;
  // Pause without a button cannot give decide or back its own: they would
  // be left with none, and no menu could be confirmed or left.
  if (old == 0 && (b == C_Custom || b == B_Custom)) {
    play_se(kSoundRefuse);
    return true;
  }
  play_se(kSoundConfirm);
  *mine.mask = b;
  store(mine.key, b);
  // The three logical buttons keep distinct buttons: whichever held b takes
  // the row's old one.
  for (int other = 5; other <= 7; ++other) {
    LogicalButton o = logical_button(other);
    if (other == row || *o.mask != b) continue;
    *o.mask = old;
    store(o.key, old);
  }
  return true;
}

bool Scene_Option::update() {
  if (state_ == 0) {
    if (--timer_ == 0) state_ = 1;
  } else if (state_ == 1) {
    move_cursor(&cursor_, kRows);
    if (cursor_ >= 5 && cursor_ <= 7) {
      assign_button(cursor_);
    } else if (is_repeated(B_Custom)) {
      play_se(kSoundConfirm);
      state_ = 2;
      timer_ = 45;
    } else {
      int step = is_repeated(kPadRight) ? 5 : is_repeated(kPadLeft) ? -5 : 0;
      switch (cursor_) {
        case 0:
          if (is_pressed(C_Custom)) toggle_fullscreen();
          break;
        case 1:
          if (is_pressed(C_Custom)) toggle_widescreen();
          break;
        case 2:
          if (step) change_bgm_volume(step);
          break;
        case 3:
          if (step) change_se_volume(step);
          break;
        case 4:
          if (step) change_sound_data_type(step / 5);
          break;
        case 8:
          if (is_pressed(C_Custom)) {
            play_se(kSoundConfirm);
            state_ = 2;
            timer_ = 45;
          }
          break;
      }
    }
  } else if (--timer_ == 0) {
    requested_scene = kSceneTitle;
    return false;
  }
  draw();
  return true;
}

void Scene_Option::draw() {
  SetPaintBrightness(255, 255, 255);
  draw_title_background();
  draw_text(160, 64, "オプション", kFontMenu);
  int shift = 0;
  if (state_ == 0)
    shift = slide_in(timer_);
  else if (state_ == 2)
    shift = slide_out(timer_);
  PaintGraph(shift + 96, 96 + 32 * cursor_, load_image(kCursorImage), 1);
  static const char* const kStorage[4] = {"なし", nullptr, "変換のみ", "読込&変換"};
  for (int row = 0; row < kRows; ++row) {
    const char* label = nullptr;
    const char* value = nullptr;
    char number[8];
    switch (row) {
      case 0: label = FullScreen ? "ウィンドウモードにする" : "フルスクリーンにする"; break;
      case 1: label = WideScreen ? "画面を狭くする" : "画面を広くする"; break;
      case 2:
      case 3:
        label = row == 2 ? "BGM音量" : "SE音量";
        std::snprintf(number, sizeof number, "%02d", row == 2 ? BGM_Volume : SE_Volume);
        value = number;
        break;
      case 4:
        label = "ストリーム再生";
        value = SoundData_Type >= 0 && SoundData_Type < 4 ? kStorage[SoundData_Type] : nullptr;
        break;
      case 5: label = "決定"; value = button_label(C_Custom); break;
      case 6: label = "キャンセル"; value = button_label(B_Custom); break;
      case 7: label = "ポーズ"; value = button_label(START_Custom); break;
      case 8: label = "戻る"; break;
    }
    draw_text(shift + 120, 96 + 32 * row, label, kFontMenu);
    if (value) draw_text(shift + 320, 100 + 32 * row, value, kFontValue);
  }
  SelectBlendMode(0, 0);
}
