// The rules on settled blocks, on board fixtures: groups and garbage,
// chains and their score, garbage exchange and drop, level-up.
#include <gtest/gtest.h>

#include "tests/game/board_fixture.h"

namespace {

struct GroupCase {
  const char* name;
  std::vector<std::string> rows;
  int clear_count;
  int cleared;         // ordinary blocks cleared
  int garbage_left;    // garbage blocks not vanishing afterwards
};

TEST(GroupRules, GarbageClearsWithTheGroupItTouchesButLinksNothing) {
  const GroupCase cases[] = {
      {"three and two garbage", {"G.....", "000G.."}, 4, 0, 2},
      {"four clear the garbage they touch", {"G.....", "0000G.", "GGGGGG"}, 4, 4, 2},
      {"garbage between two pairs links nothing", {"00G00."}, 4, 0, 1},
      {"garbage touching two groups clears once", {"00002.", "G2323.", "11113."}, 4, 8, 0},
      {"clear count two", {"01.G..", "23.1G."}, 2, 0, 2},
      {"clear count two, a pair", {"00.G..", "23.1G."}, 2, 2, 2},
      {"falling blocks stay out", {"0.....", "......", "000..."}, 4, 0, 0},
  };
  for (const GroupCase& c : cases) {
    SCOPED_TRACE(c.name);
    side_settings s;
    s.clear_count = c.clear_count;
    auto field = MakeField(s);
    SetBoard(*field, c.rows);
    SettleFrames(*field, 1);
    EXPECT_EQ(field->cleared, c.cleared);
    EXPECT_EQ(CountColour(*field, kGarbageColour), c.garbage_left) << BoardPicture(*field);
  }
}

struct ChainCase {
  const char* name;
  std::vector<std::string> rows;
  int clear_score, garbage_score;
  int score, max_chain, cleared;
};

TEST(ChainRules, ChainsScoreByTheirLink) {
  const ChainCase cases[] = {
      {"plain clear", {"0000.."}, 10, 0, 40, 1, 4},
      {"two groups in one frame score alone", {"0000..", "1111.."}, 10, 0, 80, 1, 8},
      {"garbage weight", {"G.....", "0000G."}, 10, 30, 4 * 10 + 2 * 30, 1, 4},
      // The 0s clear; the 1s above fall onto the floor beside the fourth 1.
      {"two links", {"1.....", "011...", "0001.."}, 40, 40, 160 + 640, 2, 8},
      // Three links: the 0s drop 1s onto 1s, whose clear drops 2s onto a 2.
      {"three links", {"2.....", "1.....", "022...", "011...", "0012.."}, 10, 0, 40 + 160 + 360, 3, 12},
      // Links that land at different times clear one after the other.
      {"staggered landing", {"2.....", "12....", "122...", "0112..", "0001.."}, 10, 0, 40 + 160 + 200, 2, 13},
  };
  for (const ChainCase& c : cases) {
    SCOPED_TRACE(c.name);
    side_settings s;
    s.clear_score = c.clear_score;
    s.garbage_score = c.garbage_score;
    auto field = MakeField(s);
    SetBoard(*field, c.rows);
    SettleFrames(*field, 400);
    EXPECT_EQ(field->score, c.score) << BoardPicture(*field);
    EXPECT_EQ(field->max_chain, c.max_chain);
    EXPECT_EQ(field->cleared, c.cleared);
    for (auto& row : field->board)
      for (Block* b : row) {
        if (b) {
          EXPECT_EQ(b->chain, 0);  // a quiet stack carries no chain
        }
      }
  }
}

TEST(ChainRules, FifthLinkScoresByItsFormula) {
  side_settings s;
  s.clear_score = 10;
  s.garbage_score = 0;
  auto field = MakeField(s);
  SetBoard(*field, {"0000.."});
  field->board[13][1]->chain = 4;  // the group fell as the fourth link's blocks
  SettleFrames(*field, 1);
  EXPECT_EQ(field->score, 4 * 10 * 5 * 4);
  EXPECT_EQ(field->max_chain, 5);
  ASSERT_NE(field->chain_popups[0], nullptr);
  EXPECT_EQ(field->chain_popups[0]->chain, 5);
  EXPECT_EQ(field->chain_popups[0]->x, field->origin_x + 16);  // the start block: row 13, column 0
}

TEST(ChainRules, BreakSoundRisesPerLinkUpToTheSeventh) {
  const int expected[] = {44100, 47775, 51450, 55125, 58800, 62475, 66150, 66150, 66150};
  for (int c = 0; c < 9; ++c) EXPECT_EQ(break_sound_frequency(c), expected[c]) << c;
}

TEST(ChainRules, FourthLabelPushesTheOldestOut) {
  auto field = MakeField();
  SetBoard(*field, {"00....", "11....", "22....", "33....", "44....", "55...."});
  side_settings s;
  s.clear_count = 2;
  field->settings.clear_count = 2;
  SettleFrames(*field, 1);
  // Six groups in one frame: the labels of the first two were pushed out.
  for (int i = 0; i < 4; ++i) ASSERT_NE(field->chain_popups[i], nullptr);
  // Rows 8-13 in order: 12 and 13 came when all four slots were taken.
  const int rows[4] = {13, 12, 8, 9};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(field->chain_popups[i]->y, kBoardTop + kCellSize * rows[i]) << i;
}

struct ExchangeCase {
  int own_pending, opponent_pending;
  int own_after, opponent_after;
};

TEST(GarbageRules, OwnGarbageIsCancelledBeforeAnyIsSent) {
  const ExchangeCase cases[] = {
      {0, 0, 0, 160},      // gain 160 sent whole
      {100, 50, 0, 110},   // 100 cancelled, 60 sent
      {160, 0, 0, 0},      // equal: cancelled, nothing sent
      {500, 0, 340, 0},    // partly cancelled
  };
  for (const ExchangeCase& c : cases) {
    auto [left, right] = MakeBattleFields();
    SetBoard(*left, {"0000.."});
    left->pending_garbage = c.own_pending;
    right->pending_garbage = c.opponent_pending;
    SettleFrames(*left, 1);
    EXPECT_EQ(left->pending_garbage, c.own_after) << c.own_pending;
    EXPECT_EQ(right->pending_garbage, c.opponent_after) << c.own_pending;
  }
}

TEST(GarbageRules, PendingGarbageDropsInWholeRowsAtMostFive) {
  struct Case {
    int pending, rows, left;
  };
  const Case cases[] = {{3700, 5, 100}, {3600, 5, 0}, {700, 0, 700}, {1440, 2, 0}, {800, 1, 80}};
  for (const Case& c : cases) {
    auto field = MakeField();
    SetBoard(*field, {"123..."});
    field->pending_garbage = c.pending;
    field->drop_garbage();
    SettleFrames(*field, 1);
    EXPECT_EQ(CountColour(*field, kGarbageColour), 6 * c.rows) << c.pending;
    EXPECT_EQ(field->pending_garbage, c.left) << c.pending;
    // The old bottom row rose with them.
    EXPECT_NE(field->board[13 - c.rows][0], nullptr);
    EXPECT_EQ(field->board[13 - c.rows][0]->colour, 1);
  }
}

TEST(GarbageRules, HoldFlagFollowsTheOpponentsChainAndGarbageWaitsForIt) {
  auto [left, right] = MakeBattleFields();
  left->update();
  EXPECT_EQ(right->hold_flag, 0);
  SetBoard(*left, {"1.....", "011...", "0001.."});
  SettleFrames(*left, 1);  // the 0s clear; the 1s above carry the chain
  left->update();
  EXPECT_EQ(right->hold_flag, 1);
}

struct LevelCase {
  int level, mode, blocks_to_level;
  int level_after, blocks_after, colours_after;
};

TEST(LevelRules, OneLevelPerClearNeverInBattleOrPastTheLast) {
  const LevelCase cases[] = {
      {0, 0, 4, 1, 20, 3},     // exactly reached
      {0, 0, 2, 1, 18, 3},     // passed: the rest counts on
      {0, 0, 5, 0, 1, 3},      // not yet
      {7, 1, 1, 8, 87, 4},     // a new colour at level 8
      {3, 3, 1, 3, -3, 3},     // battle fields keep their level
      {31, 0, 1, 31, -3, 3},   // the last level
  };
  for (const LevelCase& c : cases) {
    side_settings s;
    s.mode = c.mode;
    s.colours = 3;
    auto field = MakeField(s);
    field->level = c.level;
    field->blocks_to_level = c.blocks_to_level;
    SetBoard(*field, {"0000.."});
    SettleFrames(*field, 1);
    EXPECT_EQ(field->level, c.level_after) << c.level << "/" << c.mode;
    EXPECT_EQ(field->blocks_to_level, c.blocks_after) << c.level << "/" << c.mode;
    EXPECT_EQ(field->settings.colours, c.colours_after) << c.level << "/" << c.mode;
  }
}

TEST(ClearCounter, StopsAt65535) {
  auto field = MakeField();
  field->cleared = 65533;
  SetBoard(*field, {"0000.."});
  SettleFrames(*field, 1);
  EXPECT_EQ(field->cleared, 65535);
}

TEST(Settling, VanishedBlocksLeaveAfterTheLevelsFramesAndTheStackFalls) {
  auto field = MakeField();
  SetBoard(*field, {"2.....", "0000.."});
  SettleFrames(*field, 1);
  SettleFrames(*field, 58);
  EXPECT_NE(field->board[13][0], nullptr);  // vanish 59 of 60
  SettleFrames(*field, 1);
  EXPECT_EQ(field->board[13][1], nullptr);
  SettleFrames(*field, 40);
  ASSERT_NE(field->board[13][0], nullptr);
  EXPECT_EQ(field->board[13][0]->colour, 2);
  EXPECT_EQ(field->board[13][0]->y, kBoardTop + kCellSize * 13);
  EXPECT_EQ(field->board[13][0]->falling, 0);
}

TEST(OpponentView, RecordsStayReadableAfterTheirBlocksAreGone) {
  auto field = MakeField();
  SetBoard(*field, {"3.....", "0000.."});
  field->board[12][0]->chain = 2;
  field->refresh_opponent_view();
  const BlockView* const* view = field->opponent_board();
  const BlockView* cell = view[12 * kBoardColumns + 0];
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->colour, 3);
  EXPECT_EQ(cell->chain, 2);
  EXPECT_EQ(view[0], nullptr);
  SettleFrames(*field, 100);  // the 0s vanish and are deleted
  EXPECT_EQ(view[13 * kBoardColumns + 1]->colour, 0);  // the snapshot, until the next refresh
  field->refresh_opponent_view();
  EXPECT_EQ(view[13 * kBoardColumns + 1], nullptr);
  EXPECT_EQ(field->opponent_queue()[0][0], field->queue[0][0]);
}

}  // namespace
