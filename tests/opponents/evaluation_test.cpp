// The measuring operations on one level: groups and their bits, gravity,
// landing rows, danger by opponent, and the two chain estimates.
#include <gtest/gtest.h>

#include "tests/opponents/board_fixture.h"

namespace {

TEST(OpponentGroupSize, CountsSameColourAndAdjacentGarbageOnce) {
  auto o = MakeOpponent(kRival1Variant);
  LoadLevel(*o, 0,
            {"000G..",
             "......"});
  // Row 12 holds the group: reds in columns 0-2, garbage in column 3.
  EXPECT_EQ(o->group_size(0, 12, 0), 4);
  // The garbage keeps its member bit; it is not traversed further.
  EXPECT_EQ(LevelText(*o, 0).substr(12 * 13, 12), "0b0b0bGb....");
}

TEST(OpponentGroupSize, GarbageBetweenTwoGroupsCountsInTheFirstTestOnlyWhileBitsStay) {
  auto o = MakeOpponent(kRival1Variant);
  LoadLevel(*o, 0, {"00G00."});
  EXPECT_EQ(o->group_size(0, 13, 0), 3);
  EXPECT_EQ(o->group_size(3, 13, 0), 2);
  o->clear_group_bits(0);
  EXPECT_EQ(o->group_size(3, 13, 0), 3);
}

TEST(OpponentGroupSize, EmptyGarbageAndVanishingCellsAreGroupsOfOne) {
  auto o = MakeOpponent(kRival1Variant);
  LoadLevel(*o, 0, {"GV00.."});
  EXPECT_EQ(o->group_size(0, 13, 0), 1);
  EXPECT_EQ(o->group_size(1, 13, 0), 1);
  EXPECT_EQ(o->group_size(5, 13, 0), 1);
  EXPECT_EQ(o->group_size(5, 0, 0), 1);
  // A flood never crosses a vanishing cell, so the garbage beyond it stays out.
  LoadLevel(*o, 0, {"GV00.."});
  EXPECT_EQ(o->group_size(2, 13, 0), 2);
}

TEST(OpponentGroupBits, ClearingTurnsAVanishingCellIntoAColourlessBlock) {
  auto o = MakeOpponent(kRival1Variant);
  LoadLevel(*o, 0, {"V....."});
  o->clear_group_bits(0);
  EXPECT_EQ(o->cell(0, 13, 0), 62);
  EXPECT_EQ(o->cell(0, 13, 1), kCellEmpty);
}

TEST(OpponentGravity, BlocksFallThroughHolesWithTheirCounters) {
  auto o = MakeOpponent(kRival1Variant);
  // From the bottom: block, empty, block, empty, block (rows 13 to 9).
  LoadLevel(*o, 0, {"3.....", "......", "2.....", "......", "1....."},
            {"7.....", "......", "5.....", "......", "3....."});
  o->apply_gravity(0, kCellVanishing);
  EXPECT_EQ(o->cell(0, 13, 0), 1);
  EXPECT_EQ(o->counter(0, 13, 0), 3);
  EXPECT_EQ(o->cell(0, 12, 0), 2);
  EXPECT_EQ(o->counter(0, 12, 0), 5);
  EXPECT_EQ(o->cell(0, 11, 0), 3);
  EXPECT_EQ(o->counter(0, 11, 0), 7);
  EXPECT_EQ(o->cell(0, 10, 0), kCellEmpty);
  EXPECT_EQ(o->cell(0, 9, 0), kCellEmpty);
  EXPECT_EQ(o->counter(0, 9, 0), 0);
}

TEST(OpponentGravity, VanishingCellsAreOverwrittenBelowAndKeptAbove) {
  auto o = MakeOpponent(kRival1Variant);
  LoadLevel(*o, 0, {"V.....", "4.....", "V....."});
  o->apply_gravity(0, kCellVanishing);
  EXPECT_EQ(o->cell(0, 13, 0), 4);
  EXPECT_EQ(o->cell(0, 12, 0), kCellEmpty);
  EXPECT_EQ(o->cell(0, 11, 0), kCellVanishing);
}

TEST(OpponentLandingRow, FindsTheLastFreeRowBelowRowOne) {
  auto o = MakeOpponent(kRival1Variant);
  EXPECT_EQ(o->landing_row(0, 0), 13);
  LoadLevel(*o, 0, {"V.0...", "1.0..."});
  EXPECT_EQ(o->landing_row(0, 0), 11);  // vanishing counts as occupied
  EXPECT_EQ(o->landing_row(0, 2), 11);
  // Row 0 is never examined: a block in row 1 gives 0, one in row 0 alone 13.
  o->cell(0, 1, 3) = 2;
  o->cell(0, 0, 4) = 2;
  EXPECT_EQ(o->landing_row(0, 3), 0);
  EXPECT_EQ(o->landing_row(0, 4), 13);
}

TEST(OpponentColumnCounterMax, ReadsTheLargestCounterOfTheColumn) {
  auto o = MakeOpponent(kRival1Variant);
  LoadLevel(*o, 0, {"0.....", "0.....", "0....."}, {"2.....", "9.....", "4....."});
  EXPECT_EQ(o->column_counter_max(0, 0), 9);
  EXPECT_EQ(o->column_counter_max(0, 1), 0);
  o->counter(0, 13, 1) = 200;
  EXPECT_EQ(o->column_counter_max(0, 1), 200);
}

struct DangerCase {
  const OpponentVariant* variant;
  int pending;
  int column2_height;  // blocks stacked in column 2 from the floor
  int expected;
};

class OpponentDanger : public ::testing::TestWithParam<DangerCase> {};

TEST_P(OpponentDanger, MarginsByOpponent) {
  const DangerCase& c = GetParam();
  auto o = MakeOpponent(*c.variant, 4, c.pending);
  for (int i = 0; i < c.column2_height; ++i) o->cell(0, 13 - i, 2) = (uint8_t)(i % 4);
  EXPECT_EQ(o->danger_level(0), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpponentDanger,
    ::testing::Values(
        // Empty board, nothing pending: never in danger.
        DangerCase{&kRival1Variant, 0, 0, 0}, DangerCase{&kRival4Variant, 0, 0, 0},
        // Five rows pending (t = 5), column 2 landing row 5: 9 - 5.
        DangerCase{&kRival1Variant, 3600, 8, 4}, DangerCase{&kRival2Variant, 3600, 8, 4},
        DangerCase{&kRival3Variant, 3600, 8, 4},
        // More than five rows is capped at t = 5.
        DangerCase{&kRival1Variant, 72000, 8, 4},
        // Column 2 landing row 1 with nothing pending: margin 4 (rival4: 3).
        DangerCase{&kRival1Variant, 0, 12, 3}, DangerCase{&kRival4Variant, 0, 12, 2},
        // rival4: one and a half rows pending is danger 8 whatever the board;
        // one unit less uses t = 1 and the margins 3, 4, 4, 3.
        DangerCase{&kRival4Variant, 1080, 0, 8}, DangerCase{&kRival4Variant, 1079, 12, 3},
        DangerCase{&kRival4Variant, 1079, 0, 0}, DangerCase{&kRival1Variant, 1080, 12, 4}),
    [](const ::testing::TestParamInfo<DangerCase>& info) {
      std::string name;
      for (const NamedVariant& v : kAllVariants)
        if (v.variant == info.param.variant) name = v.name;
      return name + "_pending" + std::to_string(info.param.pending) + "_height" +
             std::to_string(info.param.column2_height);
    });

TEST(OpponentSimulateChain, Rival1ReturnsTheSquaredCounterOthersTheSumOfGroups) {
  // Two groups of four; one block of the left group carries counter 3.
  const std::vector<std::string> rows = {"00.11.", "00.11."};
  const std::vector<std::string> counters = {"......", ".3...."};
  auto r1 = MakeOpponent(kRival1Variant);
  auto r2 = MakeOpponent(kRival2Variant);
  LoadLevel(*r1, 0, rows, counters);
  LoadLevel(*r2, 0, rows, counters);
  // Left group: counter 3 > b, so b = 4 (4 x 16); the right group keeps b.
  EXPECT_EQ(r1->simulate_chain(0), 16);
  EXPECT_EQ(r2->simulate_chain(0), 64 + 64);
  for (int i = 0; i < kOpponentBoardCells; ++i) EXPECT_EQ(r2->cell_levels[0][i], kCellEmpty);
}

TEST(OpponentSimulateChain, NoGroupOrLowCountersGiveOne) {
  auto o = MakeOpponent(kRival1Variant);
  LoadLevel(*o, 0, {"012345"});
  EXPECT_EQ(o->simulate_chain(0), 1);
  LoadLevel(*o, 0, {"0000..", "1111.."}, {"1010..", "0101.."});
  EXPECT_EQ(o->simulate_chain(0), 1);
  auto sum = MakeOpponent(kRival2Variant);
  LoadLevel(*sum, 0, {"012345"});
  EXPECT_EQ(sum->simulate_chain(0), 0);
}

TEST(OpponentSimulateChain, CountedBlocksAreNeverCountedAgainInALaterPass) {
  // Removing the reds lets the blue fall onto the other blues, but every
  // block already carries a member bit from the first pass.
  auto o = MakeOpponent(kRival2Variant, 3);
  LoadLevel(*o, 0, {"1.....", "000...", "112..."});
  EXPECT_EQ(o->simulate_chain(0), 3);
  EXPECT_EQ(o->cell(0, 12, 0) & kColourMask, 1);
  EXPECT_EQ(o->cell(0, 13, 0) & kColourMask, 1);
  EXPECT_NE(o->cell(0, 12, 0) & kMemberBit, 0);
}

TEST(OpponentSimulateChain, RemovedGarbageCountsInTheGroup) {
  auto o = MakeOpponent(kRival2Variant, 4);
  LoadLevel(*o, 0, {"000G.."});
  EXPECT_EQ(o->simulate_chain(0), 4);
  EXPECT_EQ(o->cell(0, 13, 3), kCellEmpty);
}

TEST(OpponentChainPotential, CountsEachExposedGroupOnceAndMarksItInTheLevel) {
  auto r1 = MakeOpponent(kRival1Variant, 2);
  auto r2 = MakeOpponent(kRival2Variant, 2);
  for (Opponent* o : {r1.get(), r2.get()}) LoadLevel(*o, 0, {"00...."});
  // rival1: one removed group, nothing further clears: b x b = 1.
  EXPECT_EQ(r1->chain_potential(0, 2), 1);
  EXPECT_EQ(r2->chain_potential(0, 2), 0);
  // The level keeps the visited bit on the removed group's cells.
  EXPECT_EQ(r1->cell(0, 13, 0), kVisitedBit | 0);
  EXPECT_EQ(r1->cell(0, 13, 1), kVisitedBit | 0);
}

TEST(OpponentChainPotential, RemovingAnExposedGroupSetsOffTheRest) {
  auto o = MakeOpponent(kRival2Variant, 4);
  // The blue pair on top is exposed; taking it away leaves the four reds,
  // one of which carries counter 2 (b = 3, 4 x 9 = 36). Taking the reds away
  // (exposed at column 2) leaves two blues, too few to clear.
  LoadLevel(*o, 0, {"11....", "0000.."}, {"......", "2....."});
  EXPECT_EQ(o->chain_potential(0, 2), 36);
  // Below the minimum nothing is removed.
  LoadLevel(*o, 0, {"11....", "0000.."}, {"......", "2....."});
  EXPECT_EQ(o->chain_potential(0, 5), 0);
}

}  // namespace
