// Free-battle settings (scene 3): the rules of each side (level, score
// weights, block colours, group size and, against the computer, the
// computer's level) in two columns, plus the background and the music. One
// person sets both columns in turn against the computer; two people set
// theirs at once. Then on to the character screen. The net battle's shared
// settings screen derives from it and reuses its rows, lists and drawing.
#pragma once

#include <string>
#include <vector>

#include "game/media_lists.h"
#include "game/scene.h"

class Scene_SelectDouble : public Scene {
 public:
  // state: 0 fresh, 1 back from a battle, 2 back from the character screen.
  Scene_SelectDouble(int state, int two_players, const side_settings& left, const side_settings& right,
                     const char* background, const char* music);
  bool update() override;
  void draw() override;
  void hand_over(SceneValues& values) const override;

  enum State { kIntro, kIntroFromBlack, kIntroPlaying, kChoosing, kLeavingBack, kLeavingOn };
  enum RowKind {
    kRowLevel,
    kRowClearScore,
    kRowGarbageScore,
    kRowColours,
    kRowGroupSize,
    kRowComLevel,
    kRowBackground,
    kRowMusic,
    kRowPlay,
  };

  int state() const { return state_; }
  int cursor(int side) const { return cursor_[side]; }
  bool active(int side) const { return active_[side] != 0; }
  bool two_players() const { return two_players_ != 0; }
  const std::vector<RowKind>& rows() const { return rows_; }
  const side_settings& settings(int side) const { return settings_[side]; }
  const char* background() const { return background_; }
  const char* music() const { return music_; }

  // What a side's value column shows of a background or music path: its
  // file name, cut to end before the centre labels (left) or before the
  // screen's right edge (right).
  static std::string shown_media_name(const char* path, int side);

 protected:
  // The base part of a derived screen's constructor: empty lists, no rows;
  // the derived screen builds what it uses (build_rows, list_media,
  // restore_media).
  struct construct_base {};
  explicit Scene_SelectDouble(construct_base) {}
  // The rows, with or without the computer's level.
  void build_rows(bool com_level);
  // Lists "bgimages" and "musics".
  void list_media();
  // Selects the remembered background and music (else the first entries)
  // and shows that background behind the menu.
  void restore_media();
  // Right or Left (auto-repeat) on the side's device changes the side's
  // value of the row (the shared background and music for either side); C on
  // the play row confirms the side. True when the side has just confirmed.
  bool change_row(RowKind row, int side);
  // One step (+1 right, -1 left) of the side's value of a row other than
  // the play row, wrapping at its ends, with the move sound; the background
  // and music rows step the shared lists. False when nothing changed.
  bool step_row(RowKind row, int side, int step);
  // The row's label and both sides' values at row position `index`, shifted
  // right by `shift`.
  void draw_row(RowKind row, int index, int shift);
  // The side confirms the play row: it becomes inactive (against the
  // computer the right column then takes over); when neither side is active
  // the screen leaves for the character screen with one new seed for both.
  void confirm(int side);

  int state_ = kIntro;
  int timer_ = 45;
  int device_[2] = {0, 0};
  uint8_t active_[2] = {1, 0};
  int preview_ = -1;
  int music_preview_ = -1;
  std::vector<RowKind> rows_;
  MediaLists media_;
  int cursor_[2] = {0, 0};
  uint8_t two_players_ = 0;
  char background_[kMediaNameSize] = {};
  char music_[kMediaNameSize] = {};
  side_settings settings_[2];

 private:
  // B on a side's device: leave, or take back a confirm.
  void back(int side);
};
