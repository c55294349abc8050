// The computer side of a field with the test plug-in: answers decoded into
// targets and steered to as replay commands, the thinking time, answers out
// of range, a plug-in without think_set, searches that end late or never,
// and the stable view a search reads.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>

#include "tests/game/battle_fixture.h"
#include "tests/game/board_fixture.h"

namespace {

class ComputerSide : public BattleTest {
 protected:
  // A computer field at level 0 whose first pair has entered and whose
  // first search has been started.
  // With `settle`, the first search has also ended, as it has in the frame
  // after a paced count-in.
  std::unique_ptr<Field> Start(HMODULE module, bool settle = true) {
    auto f = std::make_unique<Field>(Computer(module), 24, 0);
    f->draw_countdown(1);
    f->start_thinking();
    if (settle) settle_search(*f);
    return f;
  }
  // One frame, the search waited for as a paced frame would.
  static int Step(Field& f) {
    int r = f.update();
    settle_search(f);
    return r;
  }
  // Frames until the pair in play locks; the frames run.
  static int UntilLock(Field& f, int limit = 2000) {
    for (int i = 0; i < limit; ++i) {
      Step(f);
      if (f.pair.spawn_timer > 0) return i + 1;
    }
    return limit;
  }
  // Frames until the next pair has entered; the frame it entered in.
  static uint32_t UntilEntry(Field& f) {
    while (f.pair.spawn_timer > 0) Step(f);
    return (uint32_t)f.counters.time - 1;
  }
  static bool Has(const std::vector<replay_command>& commands, uint32_t frame, uint16_t bits) {
    for (const replay_command& c : commands)
      if (c.frame == frame && (c.bits & bits) == bits) return true;
    return false;
  }
  static int FirstFrameWith(const std::vector<replay_command>& commands, uint16_t bits) {
    for (const replay_command& c : commands)
      if (c.bits & bits) return (int)c.frame;
    return -1;
  }
  static int Count(const std::vector<replay_command>& commands, uint16_t bits) {
    int n = 0;
    for (const replay_command& c : commands) n += (c.bits & bits) != 0;
    return n;
  }
};

TEST(PlacementDecoding, IndicesGiveColumnOffsetsAndTurns) {
  struct Case {
    int32_t index, offset, rotation;
  };
  const Case cases[] = {
      {0, -2, 0},  {5, 3, 0},   {6, -1, -1}, {10, 3, -1}, {11, -2, 2},  {14, 1, 2},
      {16, 3, 2},  {17, -2, 1}, {21, 2, 1},
      // Out of range: the nearest row of the table, offsets past a wall as the wall.
      {-1, -3, 0}, {-5, -6, 0}, {INT_MIN, -6, 0}, {22, 3, 1}, {99, 6, 1}, {INT_MAX, 6, 1},
  };
  for (const Case& c : cases) {
    int32_t offset = 99, rotation = 99;
    Field::decode_placement(c.index, &offset, &rotation);
    EXPECT_EQ(offset, c.offset) << c.index;
    EXPECT_EQ(rotation, c.rotation) << c.index;
  }
}

TEST_F(ComputerSide, IndexZeroSlidesTwiceLeftThenDrops) {
  TestOpponent op = LoadTestOpponent("scripted.so");
  op.configure(TestOpponent::kAnswer, 0, 0);
  auto f = Start(op.module);
  const int a = f->pair.piece->colour_a, b = f->pair.piece->colour_b;
  UntilLock(*f);
  EXPECT_TRUE(Has(f->input.commands, 0, kCommandLeft));
  EXPECT_EQ(Count(f->input.commands, kCommandLeft), 1);
  EXPECT_GT(FirstFrameWith(f->input.commands, kCommandDown), 0);
  ASSERT_NE(f->board[13][0], nullptr);
  ASSERT_NE(f->board[12][0], nullptr);
  EXPECT_EQ(f->board[13][0]->colour, a);
  EXPECT_EQ(f->board[12][0]->colour, b);
  EXPECT_EQ(f->computer.target_offset, 0);
  EXPECT_EQ(op.inits(), 1);
}

TEST_F(ComputerSide, IndexFourteenTurnsTwiceClockwiseAndSlidesOnceRight) {
  TestOpponent op = LoadTestOpponent("scripted.so");
  op.configure(TestOpponent::kAnswer, 14, 0);
  auto f = Start(op.module);
  const int a = f->pair.piece->colour_a, b = f->pair.piece->colour_b;
  UntilLock(*f);
  // One press per finished turn animation.
  EXPECT_EQ(Count(f->input.commands, kCommandCw), 2);
  EXPECT_EQ(Count(f->input.commands, kCommandCcw), 0);
  EXPECT_EQ(Count(f->input.commands, kCommandRight), 1);
  ASSERT_NE(f->board[12][3], nullptr);
  ASSERT_NE(f->board[13][3], nullptr);
  EXPECT_EQ(f->board[12][3]->colour, a);  // the axis, its partner below
  EXPECT_EQ(f->board[13][3]->colour, b);
}

TEST_F(ComputerSide, ThinkingTimeZeroSteersTheEnteringPairInItsFirstFrame) {
  TestOpponent op = LoadTestOpponent("scripted.so");
  op.configure(TestOpponent::kAnswer, 0, 0);
  auto f = Start(op.module);
  UntilLock(*f);
  const uint32_t entry = UntilEntry(*f);
  // The answer for the second pair is taken and acted on at its entry: the
  // held button slides it at once.
  EXPECT_TRUE(Has(f->input.commands, entry, kCommandLeft));
  EXPECT_EQ(f->pair.piece->column, 1);
  UntilLock(*f);
  EXPECT_NE(f->board[13][0], nullptr);
  EXPECT_NE(f->board[10][0], nullptr);  // on the first pair, column 0
}

TEST_F(ComputerSide, AThinkingTimeDropsThePairUntilTheAnswerIsTaken) {
  TestOpponent op = LoadTestOpponent("scripted.so");
  op.configure(TestOpponent::kAnswer, 0, 10);
  auto f = Start(op.module);
  EXPECT_EQ(f->computer.think_countdown, 10);
  UntilLock(*f);
  // Targets of nothing yet: down at once; the answer in the tenth frame.
  EXPECT_TRUE(Has(f->input.commands, 0, kCommandDown));
  EXPECT_EQ(FirstFrameWith(f->input.commands, kCommandLeft), 9);
  EXPECT_TRUE(Has(f->input.commands, 9, kCommandDown << 8));
  EXPECT_NE(f->board[13][0], nullptr);
  // Every pair waits the thinking time again.
  UntilEntry(*f);
  EXPECT_EQ(f->computer.think_countdown, 10);
}

// A pair that locks before reaching its target leaves its button held; the
// next pair's answer the other way must still win.
TEST_F(ComputerSide, AButtonTowardAnOldTargetIsLetGo) {
  TestOpponent op = LoadTestOpponent("scripted.so");
  op.configure(TestOpponent::kAnswer, 0, 0);  // two columns left, which are walled off
  auto f = std::make_unique<Field>(Computer(op.module), 24, 0);
  std::vector<std::string> wall;
  for (int r = 0; r < kBoardRows; ++r) wall.push_back(r % 2 ? ".1...." : ".2....");
  SetBoard(*f, wall);
  f->draw_countdown(1);
  f->start_thinking();
  settle_search(*f);
  Step(*f);
  ASSERT_TRUE(f->held(kButtonLeft));
  op.configure(TestOpponent::kAnswer, 5, 0);  // the next pair: three columns right
  UntilLock(*f);
  EXPECT_TRUE(f->held(kButtonLeft));
  EXPECT_NE(f->board[13][2], nullptr);
  UntilEntry(*f);
  UntilLock(*f);
  EXPECT_NE(f->board[13][5], nullptr);
  EXPECT_FALSE(f->held(kButtonLeft));
}

TEST_F(ComputerSide, AnswersOutOfRangeSteerIntoTheWalls) {
  TestOpponent op = LoadTestOpponent("wild.so");
  op.configure(TestOpponent::kWild);
  auto f = Start(op.module);
  int result = kFieldPlaying, frames = 0;
  for (; frames < 20000 && result == kFieldPlaying; ++frames) {
    result = Step(*f);
    ASSERT_GE(f->pair.piece->left_column(), 0);
    ASSERT_LE(f->pair.piece->right_column(), kBoardColumns - 1);
    ASSERT_GE(f->computer.target_offset, -kBoardColumns);
    ASSERT_LE(f->computer.target_offset, kBoardColumns);
  }
  EXPECT_EQ(result, kFieldToppedOut);
  EXPECT_GT(op.finished(), 10);
}

TEST_F(ComputerSide, APlugInWithoutThinkSetIsNeverCalledAndItsPairsDrop) {
  TestOpponent op = LoadTestOpponent("partial.so", true);
  OpponentExports exports;
  EXPECT_FALSE(bind_opponent_exports(op.module, &exports));
  EXPECT_EQ(exports.init, nullptr);
  auto f = Start(op.module);
  EXPECT_EQ(f->computer.think_set, nullptr);
  EXPECT_EQ(f->computer.think_thread, nullptr);
  int result = kFieldPlaying;
  for (int i = 0; i < 20000 && result == kFieldPlaying; ++i) result = Step(*f);
  EXPECT_EQ(result, kFieldToppedOut);
  EXPECT_EQ(op.inits(), 0);
}

// The search must have ended before its field goes or starts again: the
// field waits for it.
TEST_F(ComputerSide, DeletingOrResettingAFieldWaitsForItsSearch) {
  TestOpponent op = LoadTestOpponent("gated.so");
  op.configure(TestOpponent::kGated, 3);
  auto f = Start(op.module, false);
  ASSERT_TRUE(op.await_started(1));
  for (int i = 0; i < 30; ++i) f->update();  // polled, never waited for
  EXPECT_NE(f->computer.think_thread, nullptr);
  EXPECT_EQ(op.finished(), 0);
  op.release();
  f->reset(99);
  EXPECT_EQ(op.finished(), 1);
  EXPECT_EQ(f->computer.think_thread, nullptr);
  EXPECT_EQ(f->computer.target_offset, 0);

  f->draw_countdown(1);
  f->start_thinking();
  EXPECT_EQ(op.inits(), 2);
  ASSERT_TRUE(op.await_started(2));
  f.reset();
  EXPECT_EQ(op.finished(), 2);
  EXPECT_FALSE(opponent_module_stuck(op.module));
}

TEST_F(ComputerSide, AnEndedSearchNotYetPolledIsClosedByAReset) {
  TestOpponent op = LoadTestOpponent("slow.so");
  op.configure(TestOpponent::kAnswer, 3, 600);  // taken after 600 frames
  auto f = Start(op.module);
  settle_search(*f);
  ASSERT_EQ(op.finished(), 1);
  f->update();
  EXPECT_NE(f->computer.think_thread, nullptr);
  f->reset(5);
  EXPECT_EQ(f->computer.think_thread, nullptr);
  f->draw_countdown(1);
  f->start_thinking();
  settle_search(*f);
  EXPECT_EQ(op.finished(), 2);
}

// A search that never returns: the game goes on, gives up on it when the
// field goes, and never calls or unloads that plug-in again.
TEST_F(ComputerSide, ASearchThatNeverEndsIsGivenUpOn) {
  TestOpponent op = LoadTestOpponent("silent.so");
  op.configure(TestOpponent::kSilent);
  auto f = Start(op.module, false);
  int result = kFieldPlaying;
  for (int i = 0; i < 20000 && result == kFieldPlaying; ++i) result = f->update();
  EXPECT_EQ(result, kFieldToppedOut);
  EXPECT_TRUE(op.await_started(1));
  EXPECT_EQ(op.started(), 1);
  EXPECT_NE(f->computer.think_thread, nullptr);
  f.reset();
  EXPECT_TRUE(opponent_module_stuck(op.module));
  release_opponent_module(op.module);
  EXPECT_TRUE(Loaded("silent.so"));

  // A field given the stuck plug-in does not call it.
  auto again = Start(op.module);
  EXPECT_EQ(op.inits(), 1);
  EXPECT_EQ(again->computer.think_thread, nullptr);
  for (int i = 0; i < 100; ++i) again->update();
}

// The plug-in reads copies taken when its search started, never the blocks
// the main thread goes on moving, clearing and deleting.
TEST_F(ComputerSide, TheSearchReadsACopyTakenWhenItStarted) {
  TestOpponent op = LoadTestOpponent("gated.so");
  op.configure(TestOpponent::kGated, 0);
  auto f = std::make_unique<Field>(Computer(op.module), 24, 0);
  SetBoard(*f, {"1.....", "12..3.", "G2233."});
  f->draw_countdown(1);
  f->start_thinking();
  const BlockView* const* cells = f->opponent_board();
  for (int r = 0; r < kBoardRows; ++r)
    for (int c = 0; c < kBoardColumns; ++c) {
      const Block* b = f->board[r][c];
      const BlockView* v = cells[r * kBoardColumns + c];
      ASSERT_EQ(v != nullptr, b != nullptr) << r << "," << c;
      if (b) {
        EXPECT_EQ(v->colour, b->colour);
      }
    }
  EXPECT_EQ(std::memcmp(f->opponent_queue(), f->pair.queue, sizeof f->pair.queue), 0);
  BlockView before[kOpponentBoardCells];
  for (int i = 0; i < kOpponentBoardCells; ++i) before[i] = cells[i] ? *cells[i] : BlockView{-1, -1, -1};
  // Pairs land and lock on the board while the search runs.
  const std::string board_before = BoardPicture(*f);
  for (int i = 0; i < 300; ++i) f->update();
  EXPECT_NE(BoardPicture(*f), board_before);
  for (int i = 0; i < kOpponentBoardCells; ++i) {
    BlockView now = cells[i] ? *cells[i] : BlockView{-1, -1, -1};
    EXPECT_EQ(std::memcmp(&now, &before[i], sizeof now), 0) << i;
  }
  op.release();
}

}  // namespace
