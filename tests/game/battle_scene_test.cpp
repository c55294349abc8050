// The free battle scene with the real plug-ins and the misbehaving test
// plug-in: matches to a winner, the after-match menu, pause, the end of the
// scene while a side thinks or never answers, and the battle replay scene.
#include <gtest/gtest.h>

#include <filesystem>

#include "game/scene_double.h"
#include "game/scene_replay_double.h"
#include "tests/game/battle_fixture.h"

namespace {

class BattleScene : public BattleTest {
 protected:
  // A quick match: a high start level and heavy garbage.
  static side_settings Quick(side_settings s) {
    s.level_target = 20;
    s.garbage_score = 250;
    return s;
  }
  Scene_Double* Battle(const side_settings& left, const side_settings& right) {
    auto* battle = new Scene_Double(left, right, "", "");
    scene_ = battle;
    return battle;
  }
  // The sides whose searches a frame waits for.
  enum Paced { kNeitherSide = 0, kLeftSide = 1, kRightSide = 2, kBothSides = 3 };
  // Frames until the scene reaches a state (or ends); false when the limit
  // runs out first. Each frame gives the searches of the `paced` sides the
  // time a paced frame would, so a real plug-in plays the same however busy
  // the machine is. A side whose search never ends or is held on purpose is
  // left out: it would cost the wait's limit in every frame.
  bool RunTo(Scene_Double* battle, int state, int paced = kBothSides, int limit = 60000) {
    for (int i = 0; i < limit; ++i) {
      if (battle->state() == state) return true;
      Pads(0);
      if (!scene_->update()) return false;
      if ((paced & kLeftSide) && battle->left()) settle_search(*battle->left());
      if ((paced & kRightSide) && battle->right()) settle_search(*battle->right());
    }
    return false;
  }
  // The menu row under the cursor chosen.
  void Choose(int row) {
    for (int i = 0; i < row; ++i) Tap(kPadDown);
    Tap(C_Custom);
  }
  void EndScene() {
    delete scene_;
    scene_ = nullptr;
  }
};

TEST(BattleRules, TheWinnerOfAMatchFrame) {
  // Rows: left result 2-5; columns: right result 2-5.
  const int expected[4][4] = {
      {0, 0, 2, 1},  // left plays on: the right side's goal wins, its top-out loses
      {0, 0, 2, 1},
      {1, 1, 1, 1},  // left goal: left wins, even against a right goal
      {2, 2, 2, 1},  // left topped out: right wins, unless both topped out
  };
  for (int l = 2; l <= 5; ++l)
    for (int r = 2; r <= 5; ++r) EXPECT_EQ(Scene_Double::match_winner(l, r), expected[l - 2][r - 2]) << l << " " << r;
}

TEST(BattleRules, InputDevicesBySidesAndPads) {
  struct Case {
    int pads;
    bool computer;
    int left, right;
  };
  for (const Case& c : {Case{0, false, 1, 2}, Case{1, false, 1, 2}, Case{2, false, 0, 3}, Case{0, true, 0, 3},
                        Case{3, true, 0, 3}}) {
    int devices[2];
    Scene_Double::choose_devices(c.pads, c.computer, devices);
    EXPECT_EQ(devices[0], c.left) << c.pads << c.computer;
    EXPECT_EQ(devices[1], c.right) << c.pads << c.computer;
  }
}

// At the settings a fresh settings screen offers: level 1, the usual weights.
TEST_F(BattleScene, TwoComputersPlayToAWinnerAndAgainAndLeave) {
  Scene_Double* battle = Battle(Computer(Load("rival1.so")), Computer(Load("rival3.so")));
  ASSERT_TRUE(RunTo(battle, Scene_Double::kMatch));
  EXPECT_NE(battle->left()->computer.think_set, nullptr);
  EXPECT_NE(battle->right()->computer.think_set, nullptr);
  ASSERT_TRUE(RunTo(battle, Scene_Double::kMenu)) << battle->state();
  EXPECT_NE(battle->winner(), 0);
  EXPECT_GT(battle->left()->input.commands.size(), 10u);  // the computer's moves, recorded

  // Save the replay and play again: one new seed for both fields.
  Choose(1);
  EXPECT_EQ(battle->state(), Scene_Double::kCountIn);
  EXPECT_EQ(battle->cursor(), -1);
  const std::string file = ReadFile("replay/play0.vrs");
  ASSERT_GT(file.size(), 20u);
  EXPECT_EQ(file.substr(0, 5), std::string("VDRP\x02", 5));
  EXPECT_EQ(file[5], 3);  // the left field's section: battle mode
  EXPECT_EQ(battle->left()->settings.seed, battle->right()->settings.seed);
  EXPECT_EQ(battle->left()->rng->index(), battle->right()->rng->index());

  ASSERT_TRUE(RunTo(battle, Scene_Double::kMenu));
  Choose(2);
  EXPECT_EQ(battle->state(), Scene_Double::kFadeOut);
  EXPECT_FALSE(std::filesystem::exists(Path("replay/play1.vrs")));
  EXPECT_LE(Run(61), 60);
  EXPECT_EQ(requested_scene, kSceneSelectDouble);
  SceneValues values;
  battle->hand_over(values);
  EXPECT_NE(values.sides[1].module, nullptr);  // the table's "against the computer"
  EndScene();
  EXPECT_FALSE(Loaded("rival1.so"));
  EXPECT_FALSE(Loaded("rival3.so"));
}

TEST_F(BattleScene, PausedFromTheRightPadAndResumedFromTheKeyboard) {
  const int start = START_Custom;
  START_Custom = 0x80;
  Scene_Double* battle = Battle(Person(), Person());
  ASSERT_TRUE(RunTo(battle, Scene_Double::kMatch));
  Pads(0, START_Custom);  // the right side plays on pad 1 here
  battle->update();
  EXPECT_EQ(battle->state(), Scene_Double::kPaused);
  Pads(0);
  battle->update();
  EXPECT_EQ(battle->state(), Scene_Double::kPaused);
  Pads(START_Custom);
  battle->update();
  EXPECT_EQ(battle->state(), Scene_Double::kMatch);
  START_Custom = start;
}

// The scene ends while a computer side is still thinking: the search ends
// before its field and its plug-in go.
TEST_F(BattleScene, EndingWhileASideThinksWaitsForTheSearch) {
  TestOpponent op = LoadTestOpponent("gated.so");
  op.configure(TestOpponent::kGated, 2);
  Scene_Double* battle = Battle(Computer(Load("gated.so")), Person());
  ASSERT_TRUE(RunTo(battle, Scene_Double::kMatch, kNeitherSide));
  Run(20);
  ASSERT_TRUE(op.await_started(1));
  ASSERT_EQ(op.started(), 1);
  EXPECT_EQ(op.finished(), 0);
  op.release();
  EndScene();
  EXPECT_EQ(op.finished(), 1);
  EXPECT_FALSE(opponent_module_stuck(op.module));
}

// A plug-in whose search never returns: its side drops its pairs and loses;
// playing again and leaving give up on the search without waiting for
// ever, and the plug-in is neither called nor unloaded again.
TEST_F(BattleScene, APlugInThatNeverAnswersDoesNotHangTheGame) {
  TestOpponent op = LoadTestOpponent("mute.so");
  op.configure(TestOpponent::kSilent);
  Scene_Double* battle = Battle(Quick(Computer(Load("mute.so"))), Quick(Computer(Load("rival2.so"))));
  ASSERT_TRUE(RunTo(battle, Scene_Double::kMenu, kRightSide));
  EXPECT_EQ(battle->winner(), 2);
  // The real plug-in's search is let end, however slow the machine: only the
  // silent one is to be given up on.
  settle_search(*battle->right());
  ASSERT_TRUE(op.await_started(1));
  Choose(0);
  EXPECT_TRUE(opponent_module_stuck(op.module));
  ASSERT_TRUE(RunTo(battle, Scene_Double::kMenu, kRightSide));
  EXPECT_EQ(op.inits(), 1);
  EXPECT_EQ(op.started(), 1);
  settle_search(*battle->right());
  Choose(2);
  Run(61);
  settle_search(*battle->right());
  EndScene();
  EXPECT_TRUE(Loaded("mute.so"));
  EXPECT_FALSE(Loaded("rival2.so"));
}

// The window closed in the middle of a match: the program's end deletes the
// scene, which gives up on a search that never ends instead of waiting.
TEST_F(BattleScene, TheWindowClosedWhileASideNeverAnswers) {
  TestOpponent op = LoadTestOpponent("hush.so");
  op.configure(TestOpponent::kSilent);
  Scene_Double* battle = Battle(Computer(Load("hush.so")), Computer(Load("rival1.so")));
  ASSERT_TRUE(RunTo(battle, Scene_Double::kMatch, kRightSide));
  Run(10);
  ASSERT_TRUE(op.await_started(1));
  EXPECT_EQ(op.started(), 1);
  settle_search(*battle->right());  // only the silent side is to be given up on
  current_scene = scene_;
  scene_ = nullptr;
  delete_scene();
  EXPECT_EQ(current_scene, nullptr);
  EXPECT_TRUE(opponent_module_stuck(op.module));
  EXPECT_FALSE(Loaded("rival1.so"));
}

// Answers out of range and a plug-in without think_set: the matches end.
TEST_F(BattleScene, MisbehavingPlugInsPlayMatchesToTheirEnd) {
  TestOpponent wild = LoadTestOpponent("wild.so");
  wild.configure(TestOpponent::kWild);
  LoadTestOpponent("partial.so", true);
  struct Case {
    const char* left;
    const char* right;
  };
  for (const Case& c : {Case{"wild.so", "rival4.so"}, Case{"rival2.so", "partial.so"}}) {
    SCOPED_TRACE(c.left);
    Scene_Double* battle = Battle(Quick(Computer(Load(c.left))), Quick(Computer(Load(c.right))));
    ASSERT_TRUE(RunTo(battle, Scene_Double::kMenu));
    EXPECT_NE(battle->winner(), 0);
    EndScene();
  }
  EXPECT_GT(wild.finished(), 2);
}

TEST_F(BattleScene, ABattleReplayPlaysToTheSameWinner) {
  ScriptedMatch match = random_match(77, 3);
  match.side[0].module = Load("rival2.so");
  match.side[0].com_level = 2;
  match.side[1].module = Load("rival4.so");
  match.side[1].com_level = 1;
  Field* fields[2];
  MatchRun live = play_live(match, fields);
  ASSERT_EQ(save_replay(fields, 2), 0);
  delete fields[0];
  delete fields[1];
  FreeLibrary(match.side[0].module);
  FreeLibrary(match.side[1].module);
  ASSERT_TRUE(live.results[0] >= kFieldGoal || live.results[1] >= kFieldGoal);
  const int winner = Scene_Double::match_winner(live.results[0], live.results[1]);

  auto* replay = new Scene_ReplayDouble("replay\\play0.vrs", Person(), "", "");
  scene_ = replay;
  ASSERT_NE(replay->left(), nullptr);
  ASSERT_NE(replay->right(), nullptr);
  EXPECT_EQ(replay->left()->link.opponent, replay->right());
  ASSERT_TRUE(RunTo(replay, Scene_Double::kMatch, kNeitherSide, 300));
  for (int i = 0; i < 4; ++i) Tap(kPadRight);
  EXPECT_EQ(replay->speed(), 16);
  ASSERT_TRUE(RunTo(replay, Scene_ReplayDouble::kLeaving));
  EXPECT_EQ(replay->winner(), winner);
  EXPECT_LE(Run(400), 400);
  EXPECT_EQ(requested_scene, kSceneSelectSingle);
}

TEST_F(BattleScene, AReplayThatIsNoBattleIsRefused) {
  ScriptedMatch single = random_match(5, 0);
  single.max_frames = 300;
  Field* fields[2];
  play_live(single, fields);
  ASSERT_EQ(save_replay(fields, 1), 0);
  delete fields[0];
  for (const char* path : {"replay\\play0.vrs", "replay\\missing.vrs"}) {
    SCOPED_TRACE(path);
    auto* replay = new Scene_ReplayDouble(path, Person(), "", "");
    scene_ = replay;
    EXPECT_TRUE(Played("buzzer"));
    EXPECT_EQ(replay->state(), Scene_ReplayDouble::kLeaving);
    EXPECT_EQ(replay->left(), nullptr);
    EXPECT_EQ(Run(100), 60);
    EXPECT_EQ(requested_scene, kSceneSelectSingle);
    EndScene();
  }
}

}  // namespace
