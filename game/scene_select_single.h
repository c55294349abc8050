// The single-play settings (scene 2): level, break-trial target, background
// and music for a single game, or in its replay form the replay to watch.
#pragma once

#include <string>
#include <vector>

#include "game/media_lists.h"
#include "game/scene.h"

class Scene_SelectSingle : public Scene {
 public:
  // mode: 0-2 a single mode, 3 the replay list. state: 0 fresh, 1 back from
  // a play or replay, 2 back from the character screen.
  Scene_SelectSingle(int mode, int state, const side_settings& settings, const char* background, const char* music);
  bool update() override;
  void draw() override;
  void hand_over(SceneValues& values) const override;

  // "replay\<chosen file>".
  std::string replay_path() const;

  static constexpr int kTargets[8] = {10, 50, 100, 200, 500, 1000, 2000, 5000};
  enum Row { kRowLevel, kRowTarget, kRowReplay, kRowBackground, kRowMusic, kRowPlay };

  const std::vector<Row>& rows() const { return rows_; }
  const std::vector<std::string>& replays() const { return replays_; }
  const side_settings& settings() const { return settings_; }
  int state() const { return state_; }
  int cursor() const { return cursor_; }

  // What the value column shows of a file name or a path (the text after
  // its last "\"): cut to end before the screen's right edge.
  static std::string shown_name(const char* path);

 private:
  void change_row(Row row);
  void draw_row(int index, int shift);
  void play();
  // The chosen replay's field count (byte 4), or -1 when it cannot be read.
  int replay_field_count() const;
  // The replay list read again after a replay could not be opened.
  void refuse_replay();

  int state_;
  int timer_;
  int preview_;
  int music_preview_ = -1;
  int level_;
  int target_ = 0;
  std::vector<Row> rows_;
  MediaLists media_;
  std::vector<std::string> replays_;
  int replay_choice_ = 0;
  int mode_;
  int cursor_ = 0;
  char background_[kMediaNameSize];
  char music_[kMediaNameSize];
  side_settings settings_;
};
