// Battles with computer sides, recorded, saved, and played back from the file
// with the plug-ins unloaded: the state of every frame must match the live
// run's, because a computer's moves are recorded as its commands.
#include <gtest/gtest.h>

#include <cstdio>

#include "game/field_replay.h"
#include "tests/game/battle_fixture.h"

namespace {

struct Side {
  const char* plug_in;  // null for a scripted person
  int level;
};

struct BattleCase {
  uint32_t seed;
  Side left, right;
};

class BattleDeterminism : public BattleTest, public ::testing::WithParamInterface<BattleCase> {};

TEST_P(BattleDeterminism, TheReplayPlaysWithoutThePlugInsFrameForFrame) {
  const BattleCase c = GetParam();
  if (c.left.plug_in && std::string(c.left.plug_in) == "wild.so") LoadTestOpponent("wild.so").configure(TestOpponent::kWild);
  ScriptedMatch match = random_match(c.seed, 3);
  const Side sides[2] = {c.left, c.right};
  for (int i = 0; i < 2; ++i)
    if (sides[i].plug_in) {
      match.side[i].module = Load(sides[i].plug_in);
      ASSERT_NE(match.side[i].module, nullptr) << sides[i].plug_in;
      match.side[i].com_level = sides[i].level;
    }
  Field* fields[2];
  MatchRun live = play_live(match, fields);
  // Ended by the match, not by the harness's limit.
  EXPECT_LT(live.hashes.size(), (size_t)match.max_frames);
  EXPECT_TRUE(live.results[0] >= kFieldGoal || live.results[1] >= kFieldGoal);
  ASSERT_EQ(save_replay(fields, 2), 0);
  delete fields[0];
  delete fields[1];
  for (int i = 0; i < 2; ++i)
    if (sides[i].plug_in) {
      FreeLibrary(match.side[i].module);
      if (std::string(sides[i].plug_in) != "wild.so") {
        EXPECT_FALSE(Loaded(sides[i].plug_in));
      }
    }

  MatchRun replayed;
  ASSERT_TRUE(play_replay_file("replay\\play0.vrs", match.max_frames, &replayed));
  ASSERT_EQ(replayed.hashes.size(), live.hashes.size());
  for (size_t i = 0; i < live.hashes.size(); ++i)
    ASSERT_EQ(replayed.hashes[i], live.hashes[i]) << "frame " << i << " of " << live.hashes.size();
  EXPECT_EQ(replayed.results[0], live.results[0]);
  EXPECT_EQ(replayed.results[1], live.results[1]);
}

const BattleCase kCases[] = {
    {11, {"rival1.so", 2}, {"rival2.so", 2}}, {12, {"rival2.so", 2}, {"rival3.so", 2}},
    {13, {"rival3.so", 2}, {"rival4.so", 2}}, {14, {"rival4.so", 2}, {"rival1.so", 2}},
    {15, {"rival1.so", 0}, {"rival3.so", 1}}, {16, {nullptr, -1}, {"rival3.so", 0}},
    {17, {nullptr, -1}, {"rival2.so", 1}},    {18, {"rival4.so", 1}, {nullptr, -1}},
    {19, {"wild.so", 0}, {"rival2.so", 2}},
};

INSTANTIATE_TEST_SUITE_P(Seeded, BattleDeterminism, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<BattleCase>& info) {
                           auto name = [](const Side& s) {
                             std::string n = s.plug_in ? s.plug_in : "person";
                             n = n.substr(0, n.find('.'));
                             return s.plug_in ? n + "_level" + std::to_string(s.level) : n;
                           };
                           return name(info.param.left) + "_vs_" + name(info.param.right) + "_seed" +
                                  std::to_string(info.param.seed);
                         });

}  // namespace
