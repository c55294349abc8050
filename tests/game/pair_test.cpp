// The falling pair: kicks, slides, gravity and the lock delay.
#include <gtest/gtest.h>

#include <cstdlib>

#include "game/buttons.h"
#include "game/level_table.h"
#include "tests/game/board_fixture.h"

namespace {

struct KickCase {
  const char* name;
  std::vector<std::string> rows;  // bottom-aligned
  int row, column, rotation;
  bool ccw;
  int column_after, rotation_after;
  int up, down, left, right;  // slide counters started by the kick
};

TEST(Kicks, EachRuleOfTheTable) {
  const KickCase cases[] = {
      {"plain turn", {}, 6, 2, 0, true, 2, 1, 0, 0, 0, 0},
      {"left wall pushes right", {}, 6, 0, 0, true, 1, 1, 0, 0, 0, 4},
      {"right wall pushes left", {}, 6, 5, 0, false, 4, 3, 0, 0, 4, 0},
      {"floor pushes up", {}, 13, 2, 1, true, 2, 2, 4, 0, 0, 0},
      {"blocked left, pushed right", {".1....", ".1...."}, 12, 2, 0, true, 3, 1, 0, 0, 0, 4},
      // A one-column shaft: from above to left, the blocks trade places.
      {"shaft swap", {".1.1..", ".1.1..", ".1.1..", ".1.1.."}, 11, 2, 0, true, 2, 2, 4, 0, 0, 0},
      {"shaft swap clockwise", {".1.1..", ".1.1..", ".1.1..", ".1.1.."}, 11, 2, 0, false, 2, 2, 4, 0, 0, 0},
      // Under a ceiling: turning up from the left is pushed down.
      {"ceiling pushes down", {"..1...", "......", "......"}, 12, 2, 1, false, 2, 0, 0, 4, 0, 0},
      // On the floor under a ceiling: toward the side the partner came from.
      {"floor and ceiling", {"..1...", "......"}, 13, 2, 1, false, 1, 0, 0, 0, 4, 0},
  };
  for (const KickCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto field = MakeField();
    SetBoard(*field, c.rows);
    PlacePair(*field, c.row, c.column, c.rotation);
    EXPECT_TRUE(c.ccw ? field->rotate_ccw() : field->rotate_cw());
    EXPECT_EQ(field->pair.piece->column, c.column_after);
    EXPECT_EQ(field->pair.piece->rotation, c.rotation_after);
    EXPECT_EQ(field->pair.piece->up, c.up);
    EXPECT_EQ(field->pair.piece->down, c.down);
    EXPECT_EQ(field->pair.piece->left, c.left);
    EXPECT_EQ(field->pair.piece->right, c.right);
    EXPECT_EQ(field->pair.piece->turn, c.ccw ? 4 : -4);
    // No second turn before the animation has run.
    EXPECT_FALSE(field->rotate_ccw());
  }
}

TEST(Slides, RefusedIntoBlocksWallsAndBetweenRows) {
  auto field = MakeField();
  SetBoard(*field, {"1.....", "1....."});
  PlacePair(*field, 11, 1, 0);
  EXPECT_FALSE(field->slide_left());  // a block beside the axis
  PlacePair(*field, 0, 0, 0);
  EXPECT_FALSE(field->slide_left());  // the wall
  // Between rows 11 and 12, above the block of row 12 in the target column.
  PlacePair(*field, 11, 1, 0);
  field->pair.piece->y += 10;
  EXPECT_FALSE(field->slide_left());
  PlacePair(*field, 10, 1, 0);
  EXPECT_TRUE(field->slide_left());
  EXPECT_EQ(field->pair.piece->column, 0);
  EXPECT_EQ(field->pair.piece->left, 4);
  field->pair.piece->column = 1;
  EXPECT_FALSE(field->slide_left());  // its slide animation still runs
}

TEST(Gravity, PixelsPerFrameFollowTheLevelAndSoftDrop) {
  auto field = MakeField();
  PlacePair(*field, 1, 2, 0);
  field->pair.fall_accumulator = 60;
  field->fall_step();
  EXPECT_EQ(field->pair.piece->y, kBoardTop + kCellSize + 1);  // 60: one pixel a frame
  field->input.buttons[kButtonDown] = 1;
  field->fall_step();
  EXPECT_EQ(field->pair.piece->y, kBoardTop + kCellSize + 1 + 16);  // soft drop: 16
  // From level 20 on the pair lands in its first frame of falling.
  field->input.buttons[kButtonDown] = 0;
  field->counters.level = 20;
  PlacePair(*field, 1, 2, 0);
  field->fall_step();
  EXPECT_TRUE(field->is_landed());
  EXPECT_EQ(field->pair.piece->row(), 13);
}

// Holding a sideways button, frame by frame through the field's update at
// level 0: one slide at the press; the next once the button has stayed held
// for the level's auto-repeat delay (30 frames); from then on a slide is
// tried in every frame and goes through whenever the 4-frame slide
// animation has run; at the wall every try is refused. The delay is loaded
// only in a frame in which no sideways button is held.
TEST(SidewaysRepeat, MovesAtThePressAfterTheDelayAndThenEveryFourFramesToTheWall) {
  struct Hold {
    int mask, frames;
  };
  struct RepeatCase {
    const char* name;
    int column;  // of the pair at the start, partner above
    std::vector<Hold> script;
    std::vector<int> moves;  // frames of the script in which the pair moves a column
    int column_after;
  };
  const RepeatCase cases[] = {
      {"left", 5, {{kPadLeft, 60}}, {0, 31, 35, 39, 43}, 0},
      {"right", 0, {{kPadRight, 60}}, {0, 31, 35, 39, 43}, 5},
      // Released for one frame: the next press waits the whole delay again.
      {"left again", 5, {{kPadLeft, 10}, {0, 1}, {kPadLeft, 50}}, {0, 11, 42, 46, 50}, 0},
      // Left straight to right: the delay ran out while left was held, and
      // no frame without either reloaded it.
      {"left then right", 5, {{kPadLeft, 40}, {kPadRight, 20}}, {0, 31, 35, 39, 40, 44, 48, 52}, 5},
  };
  for (const RepeatCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto field = MakeField();
    PlacePair(*field, 2, c.column, 0);
    Buttons(0);
    field->update();  // nothing held: the delay is loaded
    int frame = 0, column = c.column;
    std::vector<int> moves;
    for (const Hold& hold : c.script)
      for (int i = 0; i < hold.frames; ++i, ++frame) {
        field->sounds.pending = 0;
        Buttons(hold.mask);
        field->update();
        ASSERT_EQ(field->pair.spawn_timer, 0) << "frame " << frame;  // still falling, not locked
        const int now = field->pair.piece->column;
        EXPECT_EQ(field->sounds.has(kFieldSoundSlide), now != column) << "frame " << frame;
        if (now != column) {
          EXPECT_EQ(std::abs(now - column), 1) << "frame " << frame;
          moves.push_back(frame);
        }
        column = now;
      }
    EXPECT_EQ(moves, c.moves);
    EXPECT_EQ(column, c.column_after);
    EXPECT_EQ(field->pair.piece->x, field->origin_x + kCellSize * column);  // the slide animation has run out
  }
}

// Frames from a pair's landing to its lock.
int FramesToLock(Field& field, int hold_mask) {
  int blocks_before = 0;
  for (auto& row : field.board)
    for (Block* b : row) blocks_before += b != nullptr;
  int landed_at = -1;
  for (int frame = 0; frame < 2000; ++frame) {
    Buttons(hold_mask);
    field.update();
    if (landed_at < 0 && field.pair.spawn_timer == 0 && field.is_landed()) landed_at = frame;
    int blocks = 0;
    for (auto& row : field.board)
      for (Block* b : row) blocks += b != nullptr;
    if (blocks > blocks_before) return frame - landed_at;
  }
  return -1;
}

TEST(LockDelay, LandedPairWaitsTheLevelsDelayUnlessDownIsHeld) {
  auto field = MakeField();
  // A match's first pair enters with the count-in, not through the spawn
  // step, so it has no resets and locks as soon as it lands.
  EXPECT_EQ(FramesToLock(*field, 0), 1);
  EXPECT_EQ(FramesToLock(*field, 0), level_table[0][kLockDelay]);
  auto dropped = MakeField();
  FramesToLock(*dropped, 0);
  EXPECT_EQ(FramesToLock(*dropped, kPadDown), 1);  // locks in the next frame
  auto no_resets = MakeField();
  no_resets->pair.rotate_resets = 0;
  PlacePair(*no_resets, 13, 2, 1);
  Buttons(0);
  no_resets->update();
  EXPECT_GT(no_resets->pair.spawn_timer, 0);  // locked at once
}

TEST(LockDelay, TurnsSpendResetsByDirection) {
  auto field = MakeField();
  int resets = field->pair.rotate_resets = 8;
  PlacePair(*field, 5, 2, 0);
  field->rotate_ccw();
  EXPECT_EQ(field->pair.rotate_resets, resets);  // counter-clockwise in the air: free
  field->pair.piece->turn = 0;
  field->rotate_cw();
  EXPECT_EQ(field->pair.rotate_resets, resets - 1);  // clockwise always costs one
  // Landed with a running timer: a turn reloads it.
  PlacePair(*field, 13, 2, 1);
  field->pair.lock_timer = 3;
  field->rotate_ccw();
  EXPECT_EQ(field->pair.lock_timer, level_table[0][kLockDelay]);
  EXPECT_EQ(field->pair.rotate_resets, resets - 2);
  // With none left a clockwise turn stops the timer.
  field->pair.piece->turn = 0;
  field->pair.rotate_resets = 0;
  field->pair.lock_timer = 3;
  field->rotate_cw();
  EXPECT_EQ(field->pair.lock_timer, 0);
}

TEST(LockDelay, LandedSlidesReloadWhileResetsLast) {
  auto field = MakeField();
  PlacePair(*field, 13, 2, 1);
  field->pair.slide_resets = 1;
  field->pair.lock_timer = 5;
  EXPECT_TRUE(field->slide_right());
  EXPECT_EQ(field->pair.lock_timer, level_table[0][kLockDelay]);
  EXPECT_EQ(field->pair.slide_resets, 0);
  field->pair.piece->right = 0;
  EXPECT_TRUE(field->slide_right());
  EXPECT_EQ(field->pair.lock_timer, 0);
}

TEST(EnteringPair, HeldButtonsActOnItLeftBeforeRight) {
  auto field = MakeField();
  Buttons(kPadLeft | kPadRight);
  for (int i = 0; i < 3000 && field->pair.spawn_timer == 0; ++i) {
    Buttons(kPadLeft | kPadRight | kPadDown);
    field->update();
  }
  ASSERT_GT(field->pair.spawn_timer, 0);
  while (field->pair.spawn_timer > 0) {
    Buttons(kPadLeft | kPadRight);
    field->update();
  }
  EXPECT_EQ(field->pair.piece->column, 1);
}

}  // namespace
