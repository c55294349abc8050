// The placement search: rejection codes, the tie rule, the look-ahead of the
// highest level, and where the four opponents part ways.
#include <gtest/gtest.h>

#include "tests/opponents/board_fixture.h"

namespace {

class EveryOpponent : public ::testing::TestWithParam<NamedVariant> {};

TEST_P(EveryOpponent, EmptyBoardAcceptsEveryPlacementAndTheTieRulePicksSix) {
  auto o = MakeOpponent(*GetParam().variant, 4);
  SetPairs(*o, 0, 1);
  for (int score : PlacementScores(*o)) EXPECT_EQ(score, 2);
  // All 22 score 2. Placement 0 records tie value 11 (landing row of its
  // column after the vertical pair); 6 is the first with a strictly greater
  // one (12, one block in its axis column); later 12s do not displace it.
  EXPECT_EQ(o->start_search(), 6);
  EXPECT_EQ(o->best_score, 2);
  EXPECT_EQ(o->best_tie, 12);
}

TEST_P(EveryOpponent, APairOfOneColourThatWouldVanishAtOnceIsRefusedEverywhere) {
  auto o = MakeOpponent(*GetParam().variant, 2);
  SetPairs(*o, 3, 3);
  // rival3 measures its chain term first, which hides the axis block's group
  // behind visited bits; the partner's test then refuses.
  const int expected = GetParam().variant->placement_scoring == PlacementScoring::kChainFirst ? -8 : -7;
  for (int score : PlacementScores(*o)) EXPECT_EQ(score, expected);
  o->result = 99;
  EXPECT_EQ(o->start_search(), 0);
}

TEST_P(EveryOpponent, ABlockInRowTwoBlocksTheAxisPathBeyondIt) {
  auto o = MakeOpponent(*GetParam().variant, 4);
  o->cell(0, 2, 3) = 1;
  const std::vector<int> scores = PlacementScores(*o);
  for (int p = 0; p < kOpponentPlacements; ++p) {
    if (PlacementAxisColumn(p) >= 3)
      EXPECT_EQ(scores[p], -1) << "placement " << p;
    else
      EXPECT_NE(scores[p], -1) << "placement " << p;
  }
  EXPECT_EQ(scores[19], -4);  // axis in column 2, partner slides into column 3 through row 2
}

TEST_P(EveryOpponent, AFullSpawnColumnRejectsItsOwnPlacementsAndBlocksAllOthers) {
  auto o = MakeOpponent(*GetParam().variant, 4);
  for (int r = 1; r < kOpponentBoardRows; ++r) o->cell(0, r, 2) = (uint8_t)(r % 3);
  const std::vector<int> scores = PlacementScores(*o);
  for (int p = 0; p < kOpponentPlacements; ++p)
    EXPECT_EQ(scores[p], PlacementAxisColumn(p) == 2 ? -2 : -3) << "placement " << p;
  EXPECT_EQ(o->start_search(), 0);
}

TEST_P(EveryOpponent, APairReachingTheSpawnCellIsRejected) {
  auto o = MakeOpponent(*GetParam().variant, 4);
  for (int r = 4; r < kOpponentBoardRows; ++r) o->cell(0, r, 2) = (uint8_t)(r % 3);
  const std::vector<int> scores = PlacementScores(*o);
  EXPECT_EQ(scores[2], -6);   // axis in row 3, partner above it in the spawn cell
  EXPECT_EQ(scores[13], -3);  // partner below: the axis itself lands in row 2
  EXPECT_GT(scores[7], 0);    // partner left lands in column 1
}

TEST_P(EveryOpponent, APartnerSlidingThroughABlockedRowIsRejected) {
  auto o = MakeOpponent(*GetParam().variant, 4);
  o->cell(0, 1, 1) = 2;  // row 1: the path of a partner above the axis
  const std::vector<int> scores = PlacementScores(*o);
  EXPECT_EQ(scores[0], -4);  // the partner passes column 1 in row 1
  EXPECT_EQ(scores[1], -2);  // column 1 itself is full up to row 1
  EXPECT_EQ(scores[2], 2);
  EXPECT_EQ(scores[11], 2);  // partner below slides through row 3
}

INSTANTIATE_TEST_SUITE_P(Opponents, EveryOpponent, ::testing::ValuesIn(kAllVariants),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OpponentEvaluatePlacement, BlocksTakeTheirColumnsLargestCounterAndTheLevelIsRestored) {
  auto o = MakeOpponent(kRival1Variant, 4);
  LoadLevel(*o, 0, {"1.....", "2....."}, {"5.....", "2....."});
  SetPairs(*o, 3, 4);
  o->copy_level(1, 0);
  ASSERT_GT(o->evaluate_placement(0, 1, 0), 0);
  // Axis in row 11 over the stack, partner above it: both take 5.
  EXPECT_EQ(o->cell(1, 11, 0), 3);
  EXPECT_EQ(o->counter(1, 11, 0), 5);
  EXPECT_EQ(o->cell(1, 10, 0), 4);
  EXPECT_EQ(o->counter(1, 10, 0), 5);
  o->copy_level(1, 0);
  ASSERT_GT(o->evaluate_placement(4, 1, 0), 0);
  EXPECT_EQ(o->counter(1, 13, 4), 0);
  EXPECT_EQ(o->counter(1, 12, 4), 0);
  // Placement 17: partner to the right lands on its own column's floor.
  o->copy_level(1, 0);
  ASSERT_GT(o->evaluate_placement(17, 1, 0), 0);
  EXPECT_EQ(o->cell(1, 11, 0), 3);
  EXPECT_EQ(o->cell(1, 13, 1), 4);
  EXPECT_EQ(o->counter(1, 13, 1), 0);
}

TEST(OpponentEvaluatePlacement, APlacementOverVanishingCellsIsMeasuredWhereItWasWritten) {
  auto o = MakeOpponent(kRival2Variant, 2);
  // Placement 9 (axis column 4, partner left in column 3): the partner lands
  // in row 13 of column 3; the axis lands above the vanishing cell in column 4.
  LoadLevel(*o, 0, {"....V."});
  SetPairs(*o, 1, 2);
  o->copy_level(1, 0);
  EXPECT_EQ(o->evaluate_placement(9, 1, 0), 2);
  EXPECT_EQ(o->cell(1, 12, 4), 1);  // restored: before gravity
  EXPECT_EQ(o->cell(1, 13, 4), kCellVanishing);
}

// A group test from a cell of code 63 gives it both group bits, which make
// the empty code: the colourless partner is gone when the chain term looks,
// and the block below it is exposed. The level also holds floating blocks,
// so the placement is measured as gravity leaves it.
TEST(OpponentEvaluatePlacement, APartnerOfCode63IsGoneAfterItsGroupTest) {
  static const uint8_t kCells[8][6] = {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}, {0xFF, 0xFF, 2, 0xFF, 0xFF, 2},
                                       {0xFF, 6, 1, 0xFF, 0xFF, 0xFF},       {0xFF, 2, 1, 0xFF, 1, 0xFF},
                                       {2, 2, 1, 2, 3, 2},                   {2, 2, 0, 2, 6, 3},
                                       {6, 1, 2, 0xFF, 6, 3},                {6, 3, 0, 0xFF, 8, 1}};
  int32_t scores[2];
  for (bool plain : {false, true}) {
    auto o = MakeOpponent(kRival1Variant, 3, 720);
    for (int r = 0; r < 8; ++r)
      for (int c = 0; c < kOpponentBoardColumns; ++c) o->cell(0, 6 + r, c) = kCells[r][c];
    o->counter(0, 13, 0) = 9;
    o->counter(0, 11, 4) = 9;
    SetPairs(*o, 3, 63);
    o->plain_chain_estimates = plain;
    o->copy_level(1, 0);
    scores[plain] = o->evaluate_placement(1, 1, 0);
  }
  // The axis (2 with the garbage below it) and the partner (1), and a chain
  // term of 4: the axis's group is exposed once the partner is gone.
  EXPECT_EQ(scores[1], 2 + 1 + 4 * 4);
  EXPECT_EQ(scores[0], scores[1]);
}

TEST(OpponentSearchDepth, AChildBeatingEveryFirstPlacementChoosesItsParent) {
  auto o = MakeOpponent(kRival1Variant, 4);
  LoadLevel(*o, 0, {".0..20"});
  SetPairs(*o, 1, 2, 0, 2);
  const std::vector<int> scores = PlacementScores(*o);
  EXPECT_EQ(o->start_search(), 9);
  EXPECT_EQ(o->best_score, 7);
  o->search_depth = 1;
  const int decision = o->start_search();
  EXPECT_EQ(decision, 3);
  // Placement 3 alone scores below placement 9; the next pair's placement on
  // its board is what made it the choice.
  EXPECT_LT(scores[3], scores[9]);
  EXPECT_GT(o->best_score, 7);
}

TEST(Opponents, Rival1AndRival2PartWhereTheirChainValuesDiffer) {
  const std::vector<std::string> board = {"...0..", "...1..", "0.12.1"};
  auto r1 = MakeOpponent(kRival1Variant, 4);
  auto r2 = MakeOpponent(kRival2Variant, 4);
  for (Opponent* o : {r1.get(), r2.get()}) {
    LoadLevel(*o, 0, board);
    SetPairs(*o, 2, 1, 2, 0);
  }
  EXPECT_EQ(r1->start_search(), 21);
  EXPECT_EQ(r2->start_search(), 18);
}

TEST(Opponents, Rival4AcceptsAnImmediateVanishOnceOneAndAHalfRowsArePending) {
  // Placement 3: the red axis joins three reds at the floor.
  const std::vector<std::string> board = {"000..."};
  for (int pending : {0, 1079, 1080}) {
    auto r4 = MakeOpponent(kRival4Variant, 4, pending);
    auto r1 = MakeOpponent(kRival1Variant, 4, pending);
    for (Opponent* o : {r4.get(), r1.get()}) {
      LoadLevel(*o, 0, board);
      SetPairs(*o, 0, 1);
      o->copy_level(1, 0);
    }
    EXPECT_EQ(r4->evaluate_placement(3, 1, 0), pending >= 1080 ? 4 + 1 : -7) << pending;
    EXPECT_EQ(r1->evaluate_placement(3, 1, 0), -7) << pending;  // rival1 is not in danger here
  }
}

TEST(Opponents, Rival3AcceptsAnImmediateVanishOnceItsChainTermIsWorthFifty) {
  // Placement 14: blue axis in row 12 of column 3, red partner below it
  // joining the three reds at the floor.
  auto without = MakeOpponent(kRival3Variant, 4);
  auto with = MakeOpponent(kRival3Variant, 4);
  auto rival1 = MakeOpponent(kRival1Variant, 4);
  LoadLevel(*without, 0, {"000..."});
  // A tower of four greens, one with chain counter 3: removing the reds lets
  // the simulation clear it with b = 4, 4 x 16 = 64.
  const std::vector<std::string> tower = {".....2", ".....2", ".....2", "000..2"};
  const std::vector<std::string> counters = {"......", "......", ".....3", "......"};
  LoadLevel(*with, 0, tower, counters);
  LoadLevel(*rival1, 0, tower, counters);
  for (Opponent* o : {without.get(), with.get(), rival1.get()}) {
    SetPairs(*o, 1, 0);
    o->copy_level(1, 0);
  }
  EXPECT_EQ(without->evaluate_placement(14, 1, 0), -8);
  // Chain term 4 + 64 = 68, x 4 = 272, then the blue (1) and the reds (4).
  EXPECT_EQ(with->evaluate_placement(14, 1, 0), 272 + 1 + 4);
  EXPECT_EQ(rival1->evaluate_placement(14, 1, 0), -8);
}

TEST(Opponents, TheHoldFlagChoosesTheChainSimulationInDanger) {
  // Column 2 stacked up to row 4 with nothing pending: danger 4 - 3 = 1.
  auto o = MakeOpponent(kRival2Variant, 4);
  LoadLevel(*o, 0,
            {"..4...", "..3...", "..4...", "..3...", "..4...", "..3...", "..4...", "..3..1", "..4011",
             "003000"});
  SetPairs(*o, 0, 5);
  uint8_t hold = 0;
  o->hold_flag = &hold;
  ASSERT_EQ(o->danger_level(0), 1);
  // Placement 0: a red onto the two reds at the left (3), partner alone (1).
  // Without the hold flag the chain potential removes the yellow three and
  // the left reds in turn, each time clearing the four reds at the right
  // (4 + 4); with it the board is simulated once (4).
  o->copy_level(1, 0);
  EXPECT_EQ(o->evaluate_placement(0, 1, 0), 3 + 1 + 4 * 8);
  hold = 1;
  o->copy_level(1, 0);
  EXPECT_EQ(o->evaluate_placement(0, 1, 0), 3 + 1 + 4 * 4);
  // rival1 reads the copy taken at the think's start, not the live flag:
  // chain potential (three removals, b x b = 1 each) until its copy is set.
  auto r1 = MakeOpponent(kRival1Variant, 4);
  LoadLevel(*r1, 0,
            {"..4...", "..3...", "..4...", "..3...", "..4...", "..3...", "..4...", "..3..1", "..4011",
             "003000"});
  SetPairs(*r1, 0, 5);
  r1->hold_flag = &hold;
  r1->hold_copy = 0;
  r1->copy_level(1, 0);
  EXPECT_EQ(r1->evaluate_placement(0, 1, 0), 3 + 1 + 4 * 3);
  r1->hold_copy = 1;
  r1->copy_level(1, 0);
  EXPECT_EQ(r1->evaluate_placement(0, 1, 0), 3 + 1 + 4 * 1);
}

}  // namespace
