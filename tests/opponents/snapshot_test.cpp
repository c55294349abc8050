// What a think takes from the game (board snapshot, pairs, counters, hold
// flag), what init stores, and the answers before init.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/opponents/board_fixture.h"

namespace {

struct GameSide {
  BlockView views[kOpponentBoardCells] = {};
  const BlockView* board[kOpponentBoardCells] = {};
  int32_t queue[kOpponentQueuePairs][2] = {{0, 1}, {2, 3}, {1, 1}, {0, 0}, {2, 2}};
  uint8_t hold_flag = 0;
  int32_t pending = 0;

  void Put(int row, int column, int32_t colour, int32_t chain = 0, int32_t vanish = 0) {
    const int i = row * kOpponentBoardColumns + column;
    views[i] = {chain, colour, vanish};
    board[i] = &views[i];
  }
};

TEST(OpponentSnapshot, EmptyBoardGivesEmptyCellsAndZeroCounters) {
  GameSide game;
  Opponent o(&kRival1Variant);
  o.init(0, 4, game.board, game.queue, &game.hold_flag, &game.pending);
  for (int i = 0; i < kOpponentBoardCells; ++i) o.cell_levels[0][i] = 7, o.counter_levels[0][i] = 9;
  o.take_snapshot();
  for (int i = 0; i < kOpponentBoardCells; ++i) {
    EXPECT_EQ(o.cell_levels[0][i], kCellEmpty);
    EXPECT_EQ(o.counter_levels[0][i], 0);
  }
}

TEST(OpponentSnapshot, VanishingBlocksLowBytesAndCopies) {
  GameSide game;
  game.Put(13, 0, 3, 2, 1);      // vanishing: 0xFE with its chain number
  game.Put(13, 1, 3, 4, 0);      // live
  game.Put(13, 2, 5, 1, -3);     // a negative counter is live too
  game.Put(13, 3, 0x104, 0x302); // only the low bytes are kept
  game.Put(12, 0, 6, 0, 20);
  game.pending = 1440;
  game.hold_flag = 1;
  Opponent o(&kRival2Variant);
  o.init(1, 4, game.board, game.queue, &game.hold_flag, &game.pending);
  o.take_snapshot();
  EXPECT_EQ(o.cell(0, 13, 0), kCellVanishing);
  EXPECT_EQ(o.counter(0, 13, 0), 2);
  EXPECT_EQ(o.cell(0, 13, 1), 3);
  EXPECT_EQ(o.counter(0, 13, 1), 4);
  EXPECT_EQ(o.cell(0, 13, 2), 5);
  EXPECT_EQ(o.cell(0, 13, 3), 4);
  EXPECT_EQ(o.counter(0, 13, 3), 2);
  EXPECT_EQ(o.cell(0, 12, 0), kCellVanishing);
  EXPECT_EQ(o.pairs[1][0], 2);
  EXPECT_EQ(o.pairs[1][1], 3);
  EXPECT_EQ(o.pairs[4][1], 2);
  EXPECT_EQ(o.pending_copy, 1440);
  EXPECT_EQ(o.hold_copy, 1);
}

TEST(OpponentSnapshot, OnlyRival1KeepsTheHoldFlagOfTheThinksStart) {
  for (const NamedVariant& v : kAllVariants) {
    GameSide game;
    game.hold_flag = 1;
    Opponent o(v.variant);
    o.init(0, 4, game.board, game.queue, &game.hold_flag, &game.pending);
    o.take_snapshot();
    game.hold_flag = 0;
    EXPECT_EQ(o.hold_flag_set(), v.variant == &kRival1Variant) << v.name;
  }
}

struct LevelCase {
  int32_t given;
  int32_t stored;
  int32_t depth;
};

TEST(OpponentInit, StoresTheLevelInRangeAndFixesTheDepth) {
  // Thinking time and miss percentage happen to be equal at every level.
  const int kTable[kOpponentComLevels] = {10, 5, 0};
  const LevelCase cases[] = {{0, 0, 0}, {1, 1, 0}, {2, 2, 1}, {3, 2, 1}, {1000, 2, 1}, {-1, 0, 0}, {INT32_MIN, 0, 0}};
  for (const LevelCase& c : cases) {
    for (const NamedVariant& v : kAllVariants) {
      Opponent o(v.variant);
      o.init(c.given, 4, nullptr, nullptr, nullptr, nullptr);
      EXPECT_EQ(o.com_level, c.stored) << c.given;
      EXPECT_EQ(o.search_depth, c.depth) << c.given;
      EXPECT_EQ(o.thinking_time(), kTable[c.stored]) << v.name;
      EXPECT_EQ(o.miss_percent(), kTable[c.stored]) << v.name;
    }
  }
}

TEST(OpponentInit, BeforeInitTheTablesAnswerForLevelZero) {
  for (const NamedVariant& v : kAllVariants) {
    Opponent o(v.variant);
    EXPECT_EQ(o.thinking_time(), 10) << v.name;
    EXPECT_EQ(o.miss_percent(), 10) << v.name;
  }
}

TEST(OpponentThink, BeforeInitWritesTheAllRejectedAnswerAndTouchesNothingElse) {
  Opponent o(&kRival1Variant);
  int32_t decision = 17;
  o.think(&decision);
  EXPECT_EQ(decision, 0);
  o.think(nullptr);  // no slot: nothing to write
}

TEST(OpponentThink, AClearCountBelowTwoStillEnds) {
  // Every empty cell would be a "group" of one that clears.
  GameSide game;
  game.Put(13, 0, 1);
  Opponent o(&kRival2Variant);
  o.init(2, 0, game.board, game.queue, &game.hold_flag, &game.pending);
  EXPECT_EQ(o.clear_count, 2);
  int32_t decision = -1;
  o.think(&decision);
  EXPECT_GE(decision, 0);
  EXPECT_LT(decision, kOpponentPlacements);
}

TEST(OpponentThink, RunsOnItsOwnThreadWhileTheGameFlipsTheHoldFlag) {
  // rival2-4 re-read the flag during the search; the game writes it with
  // atomic stores, so this is no data race (checked under the sanitizers).
  GameSide game;
  for (int c = 0; c < kOpponentBoardColumns; ++c)
    for (int r = 13; r > 13 - (c % 3) * 2 - 4; --r) game.Put(r, c, (r + c) % 4, r % 2);
  game.pending = 2000;
  for (const NamedVariant& v : kAllVariants) {
    Opponent o(v.variant);
    o.init(2, 4, game.board, game.queue, &game.hold_flag, &game.pending);
    int32_t decision = -1;
    std::atomic<bool> done{false};
    std::thread think([&] {
      o.think(&decision);
      done.store(true, std::memory_order_release);
    });
    std::atomic_ref<uint8_t> flag(game.hold_flag);
    while (!done.load(std::memory_order_acquire)) flag.store(flag.load() ^ 1);
    think.join();
    EXPECT_GE(decision, 0) << v.name;
    EXPECT_LT(decision, kOpponentPlacements) << v.name;
  }
}

}  // namespace
