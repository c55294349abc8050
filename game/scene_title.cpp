// The title scene.
#include "game/scene_title.h"

#include <cmath>

#include "engine/graphics/graphics.h"
#include "engine/input/input.h"
#include "engine/sound/sound.h"
#include "game/buttons.h"
#include "game/caches.h"
#include "game/game_files.h"
#include "game/menu.h"
#include "game/settings.h"

namespace {

constexpr const char* kBreakSound = "sounds\\break.wav";

void play_break_sound() {
  SetSoundHandleFrequency(44100, load_se(kBreakSound));
  play_se(kBreakSound);
}

}  // namespace

void Title_Block::update() {
  if (falling) {
    vy += 0.5;
    if (vy > 128.0) vy = 128.0;
    x += vx;
    y += vy;
  }
  PaintGraphPart((int)x, (int)y, source_x, source_y, 32, 32, load_image("images\\parin.png"), 0);
}

Scene_Title::Scene_Title(int cursor, int entry)
    : timer_(entry == 0 ? 120 : 45),
      replay_count_((int)list_folder("replay", {".vrs"}).size()),
      state_(entry == 0 ? 0 : 1),
      cursor_(wrap(cursor, 0, kEntries)) {
  for (int i = 0; i < kEntries; ++i) menu_blocks_[i] = new Block(240, 0, 192 + 48 * i, i);
  if (entry == 0)
    for (int row = 0; row < kTileRows; ++row)
      for (int column = 0; column < kTileColumns; ++column)
        tiles_[row][column] = new Title_Block(32 * column, 32 * row);
}

Scene_Title::~Scene_Title() {
  delete_tiles();
  for (Block* b : menu_blocks_) delete b;
}

void Scene_Title::delete_tiles() {
  for (auto& row : tiles_)
    for (Title_Block*& tile : row) {
      delete tile;
      tile = nullptr;
    }
}

bool Scene_Title::update() {
  draw();
  for (int i = 0; i < kEntries; ++i) {
    Block* b = menu_blocks_[i];
    if (state_ == 1) {
      b->x = 240 + timer_ * timer_ / 15;
    } else if (state_ == 2) {
      b->y = 192 + 48 * i;
      if (i == cursor_) b->y += std::trunc(std::sin(deg_to_rad(timer_ * 9)) * 8.0);
    } else if (state_ == 3) {
      b->x = b->vanish == 0 ? 300 - (timer_ - 15) * (timer_ - 15) / 15 : 240.0;
    }
    b->update();
  }
  switch (state_) {
    case 0:
      if (timer_ == 60) {
        play_se("sounds\\gameover.wav");
        for (int row = 0; row < kTileRows; ++row)
          for (int column = 0; column < kTileColumns; ++column) {
            Title_Block* tile = tiles_[row][column];
            tile->falling = 1;
            tile->vx = (column - 7) * 0.3;
            tile->vy = (row - 14) * 0.3;
          }
      }
      if (timer_ == 0) {
        delete_tiles();
        play_music(kTitleMusic);
        state_ = 2;
      }
      for (auto& row : tiles_)
        for (Title_Block* tile : row)
          if (tile) tile->update();
      [[fallthrough]];
    case 1:
      if (timer_ != 0) {
        --timer_;
        return true;
      }
      // The two-player settings and the replay list stopped the music.
      if (state_ == 1 && (cursor_ == kTwoPlayers || cursor_ == kReplay)) play_music(kTitleMusic);
      state_ = 2;
      --timer_;
      return true;
    case 2:
      move_cursor(&cursor_, kEntries);
      if (is_pressed(C_Custom)) {
        if ((cursor_ == kTwoPlayers && CountPads() == 0) || (cursor_ == kReplay && replay_count_ == 0)) {
          play_se(kSoundRefuse);
        } else {
          play_break_sound();
          menu_blocks_[cursor_]->vanish = 1;
          state_ = 3;
          timer_ = 45;
        }
      }
      // Back wins over a decide in the same frame.
      if (is_pressed(B_Custom)) {
        play_break_sound();
        for (Block* b : menu_blocks_) b->falling = 1;
        state_ = 4;
        timer_ = 60;
      }
      --timer_;
      return true;
    default:
      if (timer_ != 0) {
        --timer_;
        return true;
      }
      if (state_ == 4) {
        requested_scene = kSceneQuit;
        return false;
      }
      switch (cursor_) {
        case kOnePlayer: requested_scene = kSceneSelectMode; break;
        case kTwoPlayers: stop_music(kTitleMusic); requested_scene = kSceneSelectDouble; break;
        case kReplay: stop_music(kTitleMusic); requested_scene = kSceneSelectSingle; break;
        case kHiscores: requested_scene = kSceneHiscore; break;
        case kOptions: requested_scene = kSceneOption; break;
        default: requested_scene = kSceneQuit; break;
      }
      return false;
  }
}

void Scene_Title::draw() {
  SelectBlendMode(0, 0);
  int bright = state_ == 4 && timer_ < 60 ? timer_ * 255 / 60 : 255;
  SetPaintBrightness(bright, bright, bright);
  draw_fullscreen(kTitleImage);
  int offset = 0;
  // The blending set here also holds for the blocks and tiles drawn later
  // in the frame.
  if (state_ == 1)
    offset = slide_in(timer_);
  else if (state_ == 3)
    offset = slide_out(timer_);
  bool no_pads = CountPads() == 0;
  const char* const images[kEntries] = {
      "images\\1play.png",
      no_pads ? "images\\cant2play.png" : "images\\2play.png",
      replay_count_ == 0 ? "images\\cantreplay.png" : "images\\replay.png",
      "images\\hiscore.png",
      "images\\config.png",
      "images\\exit.png",
  };
  for (int i = 0; i < kEntries; ++i) PaintGraph(280 + offset, 192 + 48 * i, load_image(images[i]), 1);
}
