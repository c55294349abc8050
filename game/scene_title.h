// The title (scene 0): on the first start a picture of 300 tiles bursts and
// falls away; then the menu of six entries, each with a coloured block that
// vanishes when its entry is chosen.
#pragma once

#include "game/block.h"
#include "game/scene.h"

// One 32 x 32 tile of the intro picture.
class Title_Block {
 public:
  Title_Block(int x, int y) : x(x), y(y), source_x(x), source_y(y) {}
  // Moves while falling, then draws its part of the picture.
  void update();

  double x, y;
  int source_x, source_y;
  double vx = 0, vy = 0;
  uint8_t falling = 0;
};

class Scene_Title : public Scene {
 public:
  // cursor: the entry highlighted first; entry: 0 first start, 1 return.
  Scene_Title(int cursor, int entry);
  ~Scene_Title() override;
  bool update() override;
  void draw() override;

  enum Entry { kOnePlayer, kTwoPlayers, kReplay, kHiscores, kOptions, kExit, kEntries };
  static constexpr int kTileRows = 15;
  static constexpr int kTileColumns = 20;

  int state() const { return state_; }
  int cursor() const { return cursor_; }
  int replay_count() const { return replay_count_; }
  bool has_tiles() const { return tiles_[0][0] != nullptr; }

 private:
  void delete_tiles();

  int timer_;
  Title_Block* tiles_[kTileRows][kTileColumns] = {};
  Block* menu_blocks_[kEntries] = {};
  int replay_count_;
  int state_;  // 0 intro, 1 fade-in, 2 menu, 3 entry chosen, 4 leaving the program
  int cursor_;
};
