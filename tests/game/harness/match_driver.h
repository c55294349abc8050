// Scripted whole matches: a seeded script holds and releases the buttons of
// each side, the live fields play the match and record it, the replay is
// saved as a file in the current folder, read back and played, and the
// per-frame state hashes of both runs are compared. The battle and net-battle
// harnesses build on the same pieces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "game/side_settings.h"

class Field;

struct ScriptedMatch {
  uint32_t script_seed = 0;  // drives the buttons
  int sides = 1;             // 1 single play, 2 battle
  // A side with a module (and com_level 0-2) is played by that plug-in: it
  // starts thinking at the end of the count-in.
  side_settings side[2];
  int max_frames = 20000;    // a match still running then is cut there
};

// A match of a mode (0 endless, 1 time trial, 2 break trial, 3 battle) with
// settings and seeds drawn from the seed.
ScriptedMatch random_match(uint32_t seed, int mode);

struct MatchRun {
  std::vector<uint64_t> hashes;  // one per frame after the count-in
  int results[2] = {2, 2};       // the last frame's results
  int scores[2] = {0, 0};
  int cleared[2] = {0, 0};
  int max_chain[2] = {0, 0};
  int garbage_blocks_seen = 0;   // most garbage blocks on a board in one frame
};

// The buttons a script holds in a frame on the device of each side.
class ButtonScript {
 public:
  explicit ButtonScript(uint32_t seed);
  int next();  // pad mask for the next frame

 private:
  uint64_t state_;
  int held_ = 0;
  uint32_t draw(uint32_t n);
};

// The scripts of a match's sides, both drawn from one seed, fed to the input
// a frame at a time: a single play's side on the keyboard, a battle's on
// pads 1 and 2.
class MatchScripts {
 public:
  MatchScripts(uint32_t seed, int sides);
  void feed_next();

 private:
  ButtonScript scripts_[2];
  int sides_;
};

// Two frames with nothing held, so the next frame's buttons are all fresh
// presses.
void quiet_input();

// Garbage blocks on a field's board.
int garbage_on(const Field& field);

// Plays the match live (count-in included) with scripted buttons; the fields
// are left for the caller in fields (delete them).
MatchRun play_live(const ScriptedMatch& match, Field* fields[2]);
// Waits for a computer side's search to end, as the length of a paced frame
// would let it: a headless match with computer sides then depends on its
// seeds alone. Only for plug-ins that answer: the wait is long.
void settle_search(const Field& field);
// Live play, then the replay saved, read back and played. On a mismatch the
// message says where.
bool replay_matches_live(const ScriptedMatch& match, std::string* message, MatchRun* live = nullptr);
// Plays a replay file as the replay scenes do, at speed 1.
bool play_replay_file(const char* path, int max_frames, MatchRun* run);
