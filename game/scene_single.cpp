// Single play.
#include "game/scene_single.h"

#include <cstdio>

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
    : Scene_Single() {
  settings_ = settings;
  set_fields(new Field(settings, 160, 0), nullptr);
  copy_media_name(background_, background);
  copy_media_name(music_, music);
}

Scene_Single::~Scene_Single() {
  if (name_input_ >= 0) FreeTextInput(name_input_);
}

void Scene_Single::hand_over(SceneValues& values) const {
  values.sides[0] = settings_;
  copy_media_name(values.background, background_);
  copy_media_name(values.music, music_);
}

void Scene_Single::read_hiscores() {
  table_ = read_hiscore_file();
  rank_ = hiscore_rank(table_, settings_.mode, field()->counters.score);
}

void Scene_Single::write_hiscores() {
  char name[kNameBytes + 1] = "";
  if (name_input_ >= 0) CopyTextInputString(name, name_input_);
  const Field* f = field();
  insert_hiscore(&table_, settings_.mode, rank_, name, f->counters.score, f->counters.cleared, f->counters.max_chain);
  // A table that cannot be saved is reported; the file keeps what it held
  // and the game goes on to the menu.
  if (!write_hiscore_file(table_)) report_failed_save(kHiscoreFile);
}

void Scene_Single::result_shown() {
  state_ = kNameEntry;
  timer_ = kNameFrames;
}

void Scene_Single::after_match_step() {
  if (state_ == kNameEntry)
    name_entry_step();
  else if (state_ == kMenu)
    after_match_menu_step();
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

void Scene_Single::draw() {
  int bright = fade_brightness();
  SetPaintBrightness(bright, bright, bright);
  SelectBlendMode(0, 0);
  draw_fullscreen(background_);
  field()->draw();
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
