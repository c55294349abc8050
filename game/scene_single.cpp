// Single play.
#include "game/scene_single.h"

#include <cstdio>

#include "engine/core/random.h"
#include "engine/graphics/graphics.h"
#include "engine/font/font.h"
#include "engine/input/input.h"
#include "game/after_match_menu.h"
#include "game/buttons.h"
#include "game/caches.h"
#include "game/menu.h"
#include "game/settings.h"

namespace {

constexpr int kNameFrames = 900;
constexpr int kNameBytes = 4;

}  // namespace

Scene_Single::Scene_Single(const side_settings& settings, const char* background, const char* music)
    : field_(new Field(settings, 160, 0)), settings_(settings) {
  copy_media_name(background_, background);
  copy_media_name(music_, music);
}

Scene_Single::~Scene_Single() {
  if (name_input_ >= 0) FreeTextInput(name_input_);
  delete field_;
}

void Scene_Single::hand_over(SceneValues& values) const {
  values.sides[0] = settings_;
  copy_media_name(values.background, background_);
  copy_media_name(values.music, music_);
}

void Scene_Single::read_hiscores() {
  table_ = read_hiscore_file();
  rank_ = hiscore_rank(table_, settings_.mode, field_->score);
}

void Scene_Single::write_hiscores() {
  char name[kNameBytes + 1] = "";
  if (name_input_ >= 0) CopyTextInputString(name, name_input_);
  insert_hiscore(&table_, settings_.mode, rank_, name, field_->score, field_->cleared, field_->max_chain);
  // A table that cannot be saved is reported; the file keeps what it held
  // and the game goes on to the menu.
  if (!write_hiscore_file(table_)) report_failed_save(kHiscoreFile);
}

bool Scene_Single::update() {
  draw();
  switch (state_) {
    case kFadeIn:
      if (--timer_ == 0) {
        state_ = kCountIn;
        timer_ = 180;
      }
      break;
    case kCountIn:
      count_in_step(field_);
      break;
    case kPlay:
      state_ = field_->update();
      if (state_ == kGoal || state_ == kToppedOut) {
        timer_ = 240;
        stop_music(music_);
      }
      break;
    case kPaused:
      state_ = field_->check_pause();
      break;
    case kGoal:
    case kToppedOut:
      end_animation_step(field_, kNameEntry, kNameFrames);
      break;
    case kNameEntry:
      name_entry_step();
      break;
    case kMenu:
      menu_step();
      break;
    case kFadeOut:
      if (--timer_ == 0) {
        requested_scene = kSceneSelectSingle;
        return false;
      }
      break;
  }
  return true;
}

void Scene_Single::count_in_step(Field* field) {
  field->draw_countdown(timer_);
  if (timer_ % 60 == 0) play_se("sounds\\321.wav");
  if (--timer_ == 0) {
    play_se("sounds\\levelup.wav");
    state_ = kPlay;
    play_music(music_);
  }
}

void Scene_Single::end_animation_step(Field* field, int next, int next_timer) {
  if (state_ == kGoal)
    field->win_animation(timer_);
  else
    field->lose_animation(timer_);
  if (--timer_ == 0) {
    state_ = next;
    timer_ = next_timer;
  }
}

void Scene_Single::name_entry_step() {
  if (timer_ == kNameFrames) {
    read_hiscores();
    if (rank_ < 0) {
      state_ = kMenu;
      cursor_ = 0;
      return;
    }
    name_input_ = NewTextInput(kNameBytes, 0, 1, 0);
    FocusTextInput(name_input_);
  }
  --timer_;
  if (PollTextInputState(name_input_) == 1 || timer_ <= 0) {
    play_se(kSoundConfirm);
    write_hiscores();
    FreeTextInput(name_input_);
    name_input_ = -1;
    state_ = kMenu;
    cursor_ = 0;
  } else if (timer_ % 60 == 0) {
    play_se(kSoundMove);
  }
}

void Scene_Single::menu_step() {
  Field* fields[1] = {field_};
  const int leaves = after_match_menu_choice(&cursor_, fields, 1);
  if (leaves < 0) return;
  if (leaves) {
    state_ = kFadeOut;
    timer_ = 60;
  } else {
    cursor_ = -1;
    field_->reset(GetRandomUpTo(16777216));
    state_ = kCountIn;
    timer_ = 180;
  }
}

int Scene_Single::fade_brightness(int state, int timer) {
  switch (state) {
    case kFadeIn: return (60 - timer) * 192 / 60;
    case kPaused:
    case kNameEntry:
    case kMenu: return 192;
    case kFadeOut: return timer * 192 / 60;
    default: return 255;
  }
}

void Scene_Single::draw() {
  int bright = fade_brightness(state_, timer_);
  SetPaintBrightness(bright, bright, bright);
  SelectBlendMode(0, 0);
  draw_fullscreen(background_);
  field_->draw();
  if (state_ == kPaused) {
    SetPaintBrightness(255, 255, 255);
    PaintGraph(224, 200, load_image("images\\pause.png"), 1);
  }
  if (state_ == kNameEntry && rank_ >= 0) {
    SetPaintBrightness(255, 255, 255);
    char text[64];
    std::snprintf(text, sizeof text, "今回のプレイはランク%d位です", rank_ + 1);
    draw_text(200, 80, text, kFontValue);
    char name[kNameBytes + 1] = "";
    if (name_input_ >= 0) CopyTextInputString(name, name_input_);
    RenderTextInput(320 - MeasureStringWidth(name, -1, 0) / 2, 128, name_input_);
    std::snprintf(text, sizeof text, "%2d", timer_ / 60);
    draw_text_centred(320, 160, text, kFontValue);
  }
  if (cursor_ >= 0) draw_after_match_menu(cursor_, state_ == kMenu ? 255 : timer_ * 192 / 60);
  SetPaintBrightness(255, 255, 255);
}
