#include "tests/game/harness/match_driver.h"

#include <algorithm>
#include <cstdio>

#include "game/replay.h"

#include "game/buttons.h"
#include "game/field.h"
#include "game/field_replay.h"
#include "tests/game/harness/field_hash.h"

namespace {

constexpr int kCountIn = 180;
constexpr int kOrigins[2] = {24, 420};
constexpr int kSingleOrigin = 160;
// Devices of the sides: the keyboard for single play, pads 1 and 2 in a
// battle (feed_input's slots 0, 1 and 2).
constexpr int kSingleDevice = 1;
constexpr int kBattleDevices[2] = {2, 3};

void feed(const int masks[2], int sides) {
  int bits[5] = {};
  if (sides == 1) {
    bits[kSingleDevice - 1] = masks[0];
  } else {
    bits[kBattleDevices[0] - 1] = masks[0];
    bits[kBattleDevices[1] - 1] = masks[1];
  }
  feed_input(bits, nullptr);
}

void finish(MatchRun* run, Field* const* fields, int sides, const int* results) {
  for (int i = 0; i < sides; ++i) {
    run->results[i] = results[i];
    run->scores[i] = fields[i]->counters.score;
    run->cleared[i] = fields[i]->counters.cleared;
    run->max_chain[i] = fields[i]->counters.max_chain;
  }
}

bool match_over(const int* results, int sides) {
  for (int i = 0; i < sides; ++i)
    if (results[i] >= kFieldGoal) return true;
  return false;
}

void note_garbage(MatchRun* run, Field* const* fields, int sides) {
  for (int i = 0; i < sides; ++i) run->garbage_blocks_seen = std::max(run->garbage_blocks_seen, garbage_on(*fields[i]));
}

}  // namespace

int garbage_on(const Field& f) {
  int n = 0;
  for (auto& row : f.board)
    for (const Block* b : row)
      if (b && b->colour == kGarbageColour) ++n;
  return n;
}

void settle_search(const Field& field) {
  // Far beyond the game's own limit: a search that answers always ends in
  // time, however loaded the machine, so a test never sees a real plug-in
  // given up on.
  constexpr DWORD kSettleLimitMs = 60000;
  if (field.computer.think_thread) WaitForSingleObject(field.computer.think_thread, kSettleLimitMs);
}

void quiet_input() {
  int none[2] = {0, 0};
  feed(none, 2);
  feed(none, 2);
}

MatchScripts::MatchScripts(uint32_t seed, int sides)
    : scripts_{ButtonScript(seed), ButtonScript(seed * 31 + 7)}, sides_(sides) {}

void MatchScripts::feed_next() {
  int masks[2] = {0, 0};
  for (int i = 0; i < sides_; ++i) masks[i] = scripts_[i].next();
  feed(masks, sides_);
}

ButtonScript::ButtonScript(uint32_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}

uint32_t ButtonScript::draw(uint32_t n) {
  state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
  return (uint32_t)(state_ >> 33) % n;
}

int ButtonScript::next() {
  // Sideways buttons are held for a while, down for longer; turns are taps.
  int sideways = held_ & (kPadLeft | kPadRight);
  if (draw(100) < 8) {
    uint32_t pick = draw(5);
    sideways = pick == 0 ? kPadLeft : pick == 1 ? kPadRight : pick == 2 ? (kPadLeft | kPadRight) : 0;
  }
  int down = held_ & kPadDown;
  if (draw(100) < 6) down ^= kPadDown;
  int turns = 0;
  if (!(held_ & (kPadRotateCw | kPadRotateCcw))) {
    uint32_t t = draw(100);
    turns = t < 4 ? kPadRotateCw : t < 8 ? kPadRotateCcw : 0;
  }
  held_ = sideways | down | turns;
  return held_;
}

ScriptedMatch random_match(uint32_t seed, int mode) {
  ButtonScript dice(seed ^ 0xA5A5A5u);
  auto pick = [&](int lo, int hi) {
    int span = hi - lo + 1;
    int v = 0;
    for (int i = 0; i < 4; ++i) v = v * 7 + dice.next();
    return lo + (int)((uint32_t)v % (uint32_t)span);
  };
  ScriptedMatch m;
  m.script_seed = seed;
  m.sides = mode == 3 ? 2 : 1;
  int pair_seed = pick(0, 16777216);
  for (int i = 0; i < m.sides; ++i) {
    side_settings& s = m.side[i];
    s.mode = mode;
    s.seed = pair_seed;  // both fields of a match draw the same pairs
    if (mode == 3) {
      s.colours = pick(3, 5);
      s.clear_count = pick(2, 4);
      s.clear_score = pick(1, 25) * 10;
      s.garbage_score = pick(0, 25) * 10;
      s.level_target = pick(0, 12);
    } else {
      int level = pick(0, 20);
      s.colours = level / 8 + 3;
      s.clear_count = pick(3, 4);
      s.level_target = level + (mode == 2 ? 32 * pick(1, 5) : 0);
    }
  }
  return m;
}

MatchRun play_live(const ScriptedMatch& match, Field* fields[2]) {
  MatchRun run;
  fields[0] = fields[1] = nullptr;
  for (int i = 0; i < match.sides; ++i)
    fields[i] = new Field(match.side[i], match.sides == 1 ? kSingleOrigin : kOrigins[i],
                          match.sides == 1 ? kSingleDevice : kBattleDevices[i]);
  if (match.sides == 2) link_opponents(fields[0], fields[1]);
  quiet_input();
  MatchScripts scripts(match.script_seed, match.sides);
  for (int n = kCountIn; n >= 1; --n) {
    scripts.feed_next();
    for (int i = 0; i < match.sides; ++i) fields[i]->draw_countdown(n);
  }
  for (int i = 0; i < match.sides; ++i)
    if (fields[i]->settings.module) {
      fields[i]->start_thinking();
      settle_search(*fields[i]);
    }
  int results[2] = {kFieldPlaying, kFieldPlaying};
  for (int frame = 0; frame < match.max_frames && !match_over(results, match.sides); ++frame) {
    scripts.feed_next();
    // Left first: the right field's garbage depends on the hold flag the
    // left one has just written.
    for (int i = 0; i < match.sides; ++i) {
      results[i] = fields[i]->update();
      settle_search(*fields[i]);
    }
    run.hashes.push_back(match_state_hash(*fields[0], fields[1]));
    note_garbage(&run, fields, match.sides);
  }
  finish(&run, fields, match.sides, results);
  quiet_input();
  return run;
}

bool play_replay_file(const char* path, int max_frames, MatchRun* run) {
  std::vector<uint8_t> bytes;
  if (!read_replay_file(path, &bytes)) return false;
  const int single[2] = {kSingleOrigin, kSingleOrigin};
  side_settings sides[2];
  Field_Replay* replayed[2];
  int count = open_replay_fields(path, sides, bytes[4] == 2 ? kOrigins : single, replayed);
  if (count == 0) return false;
  Field* fields[2] = {replayed[0], replayed[1]};
  quiet_input();
  for (int n = kCountIn; n >= 1; --n)
    for (int i = 0; i < count; ++i) fields[i]->draw_countdown(n);
  const int none[5] = {0, 0, 0, 0, 0};
  int results[2] = {kFieldPlaying, kFieldPlaying};
  for (int frame = 0; frame < max_frames && !match_over(results, count); ++frame) {
    feed_input(none, nullptr);
    play_replay_frame(replayed[0], replayed[1], 1, &results[0], &results[1]);
    run->hashes.push_back(match_state_hash(*fields[0], fields[1]));
    note_garbage(run, fields, count);
  }
  finish(run, fields, count, results);
  for (int i = 0; i < count; ++i) delete replayed[i];
  return true;
}

bool replay_matches_live(const ScriptedMatch& match, std::string* message, MatchRun* live_out) {
  Field* fields[2];
  MatchRun live = play_live(match, fields);
  int number = save_replay(fields, match.sides);
  delete fields[0];
  delete fields[1];
  if (live_out) *live_out = live;
  if (number < 0) {
    *message = "the replay could not be saved";
    return false;
  }
  char path[64];
  std::snprintf(path, sizeof path, "replay\\play%d.vrs", number);
  MatchRun replayed;
  if (!play_replay_file(path, match.max_frames, &replayed)) {
    *message = std::string("the replay could not be opened: ") + path;
    return false;
  }
  size_t n = std::min(live.hashes.size(), replayed.hashes.size());
  for (size_t i = 0; i < n; ++i)
    if (live.hashes[i] != replayed.hashes[i]) {
      *message = "state differs from frame " + std::to_string(i) + " of " + std::to_string(live.hashes.size());
      return false;
    }
  if (live.hashes.size() != replayed.hashes.size()) {
    *message = "live ran " + std::to_string(live.hashes.size()) + " frames, the replay " +
               std::to_string(replayed.hashes.size());
    return false;
  }
  return true;
}
