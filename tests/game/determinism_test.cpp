// Whole scripted matches recorded, saved, read back and replayed: the state
// of every frame must match the live run's.
#include <gtest/gtest.h>

#include "engine/graphics/graphics.h"
#include "game/buttons.h"
#include "game/field_replay.h"
#include "tests/game/board_fixture.h"
#include "tests/game/harness/field_hash.h"
#include "tests/game/harness/match_driver.h"
#include "tests/game/headless_engine.h"
#include "tests/support/temp_dir.h"

namespace {

struct MatchCase {
  int mode;
  uint32_t seed;
};

class ReplayDeterminism : public TempDirTest, public ::testing::WithParamInterface<MatchCase> {};

TEST_P(ReplayDeterminism, ReplayMatchesTheLiveRunFrameForFrame) {
  const MatchCase c = GetParam();
  ScriptedMatch match = random_match(c.seed, c.mode);
  std::string message;
  MatchRun live;
  EXPECT_TRUE(replay_matches_live(match, &message, &live)) << "seed " << c.seed << ": " << message;
  EXPECT_GT(live.hashes.size(), 100u);
}

std::vector<MatchCase> Cases() {
  std::vector<MatchCase> cases;
  const int per_mode[4] = {8, 4, 8, 16};
  for (int mode = 0; mode < 4; ++mode)
    for (int i = 0; i < per_mode[mode]; ++i) cases.push_back({mode, (uint32_t)(1000 * mode + 17 * i + 1)});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Seeded, ReplayDeterminism, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<MatchCase>& info) {
                           return "mode" + std::to_string(info.param.mode) + "_seed" + std::to_string(info.param.seed);
                         });

class MatchHarness : public TempDirTest {};

TEST_F(MatchHarness, BattlesSendGarbageAndChain) {
  int garbage = 0, chains = 0, ended = 0;
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    Field* fields[2];
    MatchRun run = play_live(random_match(seed * 17 + 1, 3), fields);
    delete fields[0];
    delete fields[1];
    garbage += run.garbage_blocks_seen > 0;
    chains += run.max_chain[0] >= 2 || run.max_chain[1] >= 2;
    ended += run.results[0] == kFieldToppedOut || run.results[1] == kFieldToppedOut;
  }
  EXPECT_GE(garbage, 6);
  EXPECT_GE(chains, 3);
  EXPECT_GE(ended, 6);
}

// A vanishing block in the spawn cell when the pair lands: the live field
// locks the pair, and so must its replay.
TEST_F(MatchHarness, PlaybackLocksOverAVanishingSpawnCell) {
  const std::vector<std::string> rows = [] {
    std::vector<std::string> r = {".000..", ".404.."};
    for (int row = 4; row < 14; ++row) {
      std::string line = "......";
      for (int c = 1; c <= 3; ++c) line[c] = (char)('1' + (row + c) % 3);
      r.push_back(line);
    }
    return r;
  }();
  side_settings s;
  s.colours = 3;  // what a replay of level 0 plays with
  auto live = MakeField(s);
  SetBoard(*live, rows);
  std::vector<uint64_t> live_hashes;
  for (int frame = 0; frame < 400; ++frame) {
    Buttons(frame % 50 < 20 ? kPadRight : 0);
    int result = live->update();
    live_hashes.push_back(field_state_hash(*live));
    if (result >= kFieldGoal) break;
  }
  EXPECT_GT(live->counters.cleared, 0);
  Field* fields[1] = {live.get()};
  ASSERT_EQ(save_replay(fields, 1), 0);
  side_settings sides[2];
  const int origins[2] = {160, 160};
  Field_Replay* replayed[2];
  ASSERT_EQ(open_replay_fields("replay\\play0.vrs", sides, origins, replayed), 1);
  replayed[0]->draw_countdown(1);
  SetBoard(*replayed[0], rows);
  int none[5] = {};
  for (size_t frame = 0; frame < live_hashes.size(); ++frame) {
    feed_input(none, nullptr);
    int left, right;
    play_replay_frame(replayed[0], nullptr, 1, &left, &right);
    ASSERT_EQ(field_state_hash(*replayed[0]), live_hashes[frame]) << "frame " << frame;
  }
  delete replayed[0];
}

// The rules run the same with the engine started (drawing and sound for
// real, headless) as without it.
TEST_F(MatchHarness, RulesRunTheSameWithAScreen) {
  ScriptedMatch match = random_match(4711, 3);
  Field* fields[2];
  MatchRun without = play_live(match, fields);
  delete fields[0];
  delete fields[1];
  ASSERT_TRUE(StartHeadlessEngine());
  ASSERT_EQ(IsGraphicsStarted(), 1);
  MatchRun with = play_live(match, fields);
  delete fields[0];
  delete fields[1];
  EXPECT_EQ(without.hashes, with.hashes);
}

}  // namespace
