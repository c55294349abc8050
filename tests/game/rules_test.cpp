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
    EXPECT_EQ(field->counters.cleared, c.cleared);
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
    EXPECT_EQ(field->counters.score, c.score) << BoardPicture(*field);
    EXPECT_EQ(field->counters.max_chain, c.max_chain);
    EXPECT_EQ(field->counters.cleared, c.cleared);
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
  EXPECT_EQ(field->counters.score, 4 * 10 * 5 * 4);
  EXPECT_EQ(field->counters.max_chain, 5);
  ASSERT_NE(field->hud.chain_popups[0], nullptr);
  EXPECT_EQ(field->hud.chain_popups[0]->chain, 5);
  EXPECT_EQ(field->hud.chain_popups[0]->x, field->origin_x + 16);  // the start block: row 13, column 0
}

// Every link from the first to the tenth and beyond: a clear of 4 blocks of
// weight 10 whose blocks fell as the link before it. The gain is 40 x c x
// (c - c / 5): from the fifth link on a fifth is taken off, in integers. The
// break sound rises by 3675 Hz a link up to the seventh.
TEST(ChainRules, EveryLinkScoresByItsFormula) {
  const struct {
    int link, score, break_hz;
  } links[] = {{1, 40, 44100},     {2, 160, 47775},    {3, 360, 51450},    {4, 640, 55125},   {5, 800, 58800},
               {6, 1200, 62475},   {7, 1680, 66150},   {8, 2240, 66150},   {9, 2880, 66150},  {10, 3200, 66150},
               {11, 3960, 66150},  {12, 4800, 66150},  {14, 6720, 66150},  {15, 7200, 66150}, {19, 12160, 66150},
               {20, 12800, 66150}, {25, 20000, 66150}};
  for (const auto& l : links) {
    side_settings s;
    s.clear_score = 10;
    s.garbage_score = 0;
    auto field = MakeField(s);
    SetBoard(*field, {"0000.."});
    field->board[13][2]->chain = l.link - 1;
    SettleFrames(*field, 1);
    EXPECT_EQ(field->counters.score, l.score) << "link " << l.link;
    EXPECT_EQ(field->counters.max_chain, l.link);
    EXPECT_TRUE(field->sounds.has(kFieldSoundBreak));
    EXPECT_EQ(field->sounds.break_frequency, l.break_hz) << "link " << l.link;
  }
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
  for (int i = 0; i < 4; ++i) ASSERT_NE(field->hud.chain_popups[i], nullptr);
  // Rows 8-13 in order: 12 and 13 came when all four slots were taken.
  const int rows[4] = {13, 12, 8, 9};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(field->hud.chain_popups[i]->y, kBoardTop + kCellSize * rows[i]) << i;
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
    left->link.pending_garbage = c.own_pending;
    right->link.pending_garbage = c.opponent_pending;
    SettleFrames(*left, 1);
    EXPECT_EQ(left->link.pending_garbage, c.own_after) << c.own_pending;
    EXPECT_EQ(right->link.pending_garbage, c.opponent_after) << c.own_pending;
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
    field->link.pending_garbage = c.pending;
    field->drop_garbage();
    SettleFrames(*field, 1);
    EXPECT_EQ(CountColour(*field, kGarbageColour), 6 * c.rows) << c.pending;
    EXPECT_EQ(field->link.pending_garbage, c.left) << c.pending;
    // The old bottom row rose with them.
    EXPECT_NE(field->board[13 - c.rows][0], nullptr);
    EXPECT_EQ(field->board[13 - c.rows][0]->colour, 1);
  }
}

TEST(GarbageRules, HoldFlagFollowsTheOpponentsChainAndGarbageWaitsForIt) {
  auto [left, right] = MakeBattleFields();
  left->update();
  EXPECT_EQ(right->link.hold_flag, 0);
  SetBoard(*left, {"1.....", "011...", "0001.."});
  SettleFrames(*left, 1);  // the 0s clear; the 1s above carry the chain
  left->update();
  EXPECT_EQ(right->link.hold_flag, 1);
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
      {15, 0, 1, 16, 167, 5},  // and at 16
      {23, 2, 4, 24, 250, 6},  // and at 24
      {30, 0, 1, 31, 317, 6},  // up to the last level
      {3, 3, 1, 3, -3, 3},     // battle fields keep their level
      {31, 0, 1, 31, -3, 3},   // the last level
  };
  for (const LevelCase& c : cases) {
    side_settings s;
    s.mode = c.mode;
    s.colours = 3;
    auto field = MakeField(s);
    field->counters.level = c.level;
    field->counters.blocks_to_level = c.blocks_to_level;
    SetBoard(*field, {"0000.."});
    SettleFrames(*field, 1);
    EXPECT_EQ(field->counters.level, c.level_after) << c.level << "/" << c.mode;
    EXPECT_EQ(field->counters.blocks_to_level, c.blocks_after) << c.level << "/" << c.mode;
    EXPECT_EQ(field->settings.colours, c.colours_after) << c.level << "/" << c.mode;
  }
}

// The rows where the level table's values change, and past its ends.
TEST(LevelTable, RowsAtEachStepHoldTheirValues) {
  const struct {
    int level;
    int32_t row[7];  // fall speed, lock, spawn, vanish, repeat delay, slide and rotate resets
  } rows[] = {
      {0, {60, 60, 30, 60, 30, 8, 8}},         {4, {240, 60, 30, 60, 30, 8, 8}},
      {5, {300, 50, 30, 60, 25, 8, 8}},        {8, {780, 50, 30, 60, 25, 8, 8}},
      {9, {960, 50, 30, 60, 25, 8, 8}},        {10, {1140, 40, 25, 45, 20, 6, 6}},
      {14, {1920, 40, 25, 45, 20, 6, 6}},      {15, {3840, 30, 20, 35, 15, 6, 6}},
      {18, {8600, 30, 20, 35, 15, 6, 6}},      {19, {17200, 25, 20, 30, 10, 6, 6}},
      {20, {34400, 20, 15, 20, 6, 5, 5}},      {24, {34400, 12, 11, 20, 6, 5, 5}},
      {25, {34400, 10, 10, 20, 6, 4, 4}},      {29, {34400, 6, 6, 20, 6, 4, 4}},
      {30, {34400, 6, 6, 10, 6, 3, 3}},        {31, {34400, 6, 6, 5, 6, 3, 3}},
  };
  for (const auto& r : rows)
    for (int column = 0; column < 7; ++column)
      EXPECT_EQ(Field::level_table_row(r.level)[column], r.row[column]) << "level " << r.level << " column " << column;
  // A level outside the table reads its nearest row.
  EXPECT_EQ(Field::level_table_row(32), Field::level_table_row(31));
  EXPECT_EQ(Field::level_table_row(-1), Field::level_table_row(0));
}

TEST(ClearCounter, StopsAt65535) {
  auto field = MakeField();
  field->counters.cleared = 65533;
  SetBoard(*field, {"0000.."});
  SettleFrames(*field, 1);
  EXPECT_EQ(field->counters.cleared, 65535);
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
  EXPECT_EQ(field->opponent_queue()[0][0], field->pair.queue[0][0]);
}

}  // namespace
