// Each mode's end conditions, recording and the end animations.
#include <gtest/gtest.h>

#include <vector>

#include "game/buttons.h"
#include "game/settings.h"
#include "tests/game/board_fixture.h"

namespace {

// The trial ends in its 7200th frame, and its last five seconds are counted
// aloud as each begins (300, 240, 180, 120 and 60 frames left).
TEST(EndConditions, TimeTrialEndsAfter7200Frames) {
  side_settings s;
  s.mode = 1;
  auto field = MakeField(s);
  EXPECT_EQ(field->counters.time, kTimeTrialFrames);
  int frame = 0, result = kFieldPlaying;
  std::vector<int> counted, level_up;
  for (; frame < 8000 && result == kFieldPlaying; ++frame) {
    Buttons(0);
    // Keep the board low so the trial never tops out.
    if (field->pair.spawn_timer > 0) SetBoard(*field, {});
    field->sounds.pending = 0;
    result = field->update();
    if (field->sounds.has(kFieldSoundCount)) counted.push_back(frame + 1);
    if (field->sounds.has(kFieldSoundLevelUp)) level_up.push_back(frame + 1);
  }
  EXPECT_EQ(result, kFieldGoal);
  EXPECT_EQ(frame, kTimeTrialFrames);
  EXPECT_EQ(field->counters.time, 0);
  EXPECT_EQ(counted, (std::vector<int>{6900, 6960, 7020, 7080, 7140}));
  EXPECT_EQ(level_up, (std::vector<int>{7200}));
}

TEST(EndConditions, BreakTrialEndsInTheFrameTheTargetIsReached) {
  side_settings s;
  s.mode = 2;
  s.level_target = 32 * 1;  // target 10
  auto field = MakeField(s);
  EXPECT_EQ(field->counters.break_target, 10);
  field->counters.cleared = 6;
  Buttons(0);
  EXPECT_EQ(field->update(), kFieldPlaying);
  SetBoard(*field, {"0000.."});
  EXPECT_EQ(field->update(), kFieldGoal);
  EXPECT_EQ(field->counters.cleared, 10);
}

TEST(EndConditions, ASettledBlockInTheSpawnCellTopsOutEvenWithStart) {
  START_Custom = 0x10;
  auto field = MakeField();
  Buttons(0);
  SetBoard(*field, {"..0...", "..1...", "..0...", "..1...", "..0...", "..1...", "..0...", "..1...", "..0...",
                    "..1...", "..0...", "..1..."});
  Buttons(0x10);  // START in the same frame
  EXPECT_EQ(field->update(), kFieldToppedOut);
  Buttons(0);
  SetBoard(*field, {});
  Buttons(0x10);
  EXPECT_EQ(field->update(), kFieldPaused);
  START_Custom = 0;
}

TEST(EndConditions, VanishingOrFallingSpawnCellIsNoTopOut) {
  auto field = MakeField();
  SetBoard(*field, {"..0...", "..1...", "..0...", "..1...", "..0...", "..1...", "..0...", "..1...", "..0...",
                    "..1...", "..0...", "..1..."});
  field->board[2][2]->vanish = 5;
  Buttons(0);
  EXPECT_EQ(field->update(), kFieldPlaying);
}

TEST(Recording, ButtonChangesBecomeCommandsOfTheirFrame) {
  auto field = MakeField();
  Buttons(kPadLeft);  // held through the count-in
  field->update();
  Buttons(kPadLeft | kPadRotateCw);
  field->update();
  Buttons(kPadRotateCw);
  field->update();
  Buttons(kPadRotateCw);
  field->update();  // nothing changes: no command
  ASSERT_EQ(field->input.commands.size(), 3u);
  EXPECT_EQ(field->input.commands[0].frame, 0u);
  EXPECT_EQ(field->input.commands[0].bits, kCommandLeft);
  EXPECT_EQ(field->input.commands[1].frame, 1u);
  EXPECT_EQ(field->input.commands[1].bits, kCommandCw);
  EXPECT_EQ(field->input.commands[2].frame, 2u);
  EXPECT_EQ(field->input.commands[2].bits, kCommandLeft << 8);
  EXPECT_EQ(field->input.buttons[kButtonLeft], 0);
  EXPECT_EQ(field->input.buttons[kButtonCw], 1);
}

TEST(Animations, WinVanishesEverythingAndLoseThrowsIt) {
  auto win = MakeField();
  SetBoard(*win, {"012...", "345..."});
  EXPECT_EQ(win->win_animation(240), kFieldGoal);
  EXPECT_GT(win->board[13][0]->vanish, 0);
  win->win_animation(220);
  EXPECT_EQ(BoardPicture(*win).find_first_not_of(".\n"), std::string::npos);

  auto lose = MakeField();
  SetBoard(*lose, {"0....5"});
  EXPECT_EQ(lose->lose_animation(240), kFieldToppedOut);
  EXPECT_LT(lose->board[13][0]->vx, 0);
  EXPECT_GT(lose->board[13][5]->vx, 0);
  EXPECT_EQ(lose->board[13][0]->falling, 1);
}

TEST(Reset, ANewMatchOnTheSameField) {
  side_settings s;
  s.level_target = 12;
  s.colours = 6;
  auto field = MakeField(s);
  SetBoard(*field, {"0....."});
  field->counters.score = 500;
  field->link.pending_garbage = 720;
  field->input.commands.push_back({0, 1, 0});
  field->reset(4242);
  EXPECT_EQ(field->counters.score, 0);
  EXPECT_EQ(field->link.pending_garbage, 0);
  EXPECT_EQ(field->link.hold_flag, 1);
  EXPECT_EQ(field->counters.level, 12);
  EXPECT_EQ(field->settings.colours, 12 / 8 + 3);
  EXPECT_TRUE(field->input.commands.empty());
  EXPECT_EQ(field->rng->seed(), 4242u);
  EXPECT_EQ(field->board[13][0], nullptr);
}

}  // namespace
