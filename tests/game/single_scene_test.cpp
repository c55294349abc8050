// Single play from the count-in to the after-game menu, the high-score name
// entry, saving replays, and the replay scene playing a saved game back.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "engine/input/input.h"
#include "game/hiscore.h"
#include "game/scene_replay_single.h"
#include "game/scene_single.h"
#include "platform/win32/save_file.h"
#include "tests/game/scene_fixture.h"

namespace {

// A save step that fails, and how.
vox_win32::SaveStep g_fault_step;
int g_fault = 0;
int FailTheStep(vox_win32::SaveStep step) { return step == g_fault_step ? g_fault : 0; }

class SingleTest : public SceneTest {
 protected:
  // Endless play at the top level: down held, the well fills in a few
  // hundred frames.
  Scene_Single* Play(int level = 30) {
    side_settings s;
    s.mode = 0;
    s.level_target = level;
    s.colours = level / 8 + 3;
    s.seed = 4242;
    auto* single = new Scene_Single(s, "", "sounds\\title");
    scene_ = single;
    return single;
  }
  // Plays with down held until the name entry (or the menu) comes.
  int PlayToTheEnd(Scene_Single* single) {
    int frames = 0;
    while (single->state() < Scene_Single::kNameEntry && frames < 20000) {
      Frame(kPadDown);
      ++frames;
    }
    return frames;
  }
  // A table no score of this game reaches.
  void FillTable() {
    hiscore_table full = default_hiscores();
    for (auto& e : full) e.score = 99999999;
    ASSERT_TRUE(write_hiscore_file(full));
  }
  static void Type(const char* text) {
    for (const char* p = text; *p; ++p) QueueInputChar((unsigned char)*p);
    UpdateTextInput();
  }
  // Plays a game to its end and picks "save the replay and leave" in the
  // menu (the table full: no name entry); what the save printed.
  std::string SaveAndLeave() {
    Scene_Single* single = Play();
    PlayToTheEnd(single);
    Frame();
    Tap(kPadUp);
    Played("buzzer");
    testing::internal::CaptureStderr();
    Tap(C_Custom);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(single->state(), Scene_Single::kFadeOut);
    return err;
  }
  // Plays a game to the first place and types a name; what the table's save
  // printed.
  std::string EnterAName() {
    Scene_Single* single = Play();
    PlayToTheEnd(single);
    Frame();
    EXPECT_EQ(single->rank(), 0);
    Played("buzzer");
    testing::internal::CaptureStderr();
    Type("RYU\r");
    Frame();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(single->state(), Scene_Single::kMenu);
    return err;
  }
};

TEST_F(SingleTest, CountsInPlaysAndEndsInTheNameEntry) {
  Scene_Single* single = Play();
  Run(60);
  EXPECT_EQ(single->state(), Scene_Single::kCountIn);
  int ticks = 0;
  for (int i = 0; i < 180; ++i) {
    Frame();
    ticks += Played("321");
  }
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(Played("levelup"));
  EXPECT_EQ(single->state(), Scene_Single::kPlay);
  EXPECT_TRUE(Playing(load_bgm("sounds\\title")));
  // What the field's rules report is heard: each pair locks with a sound.
  int locks = 0;
  for (int i = 0; i < 100; ++i) {
    Frame(kPadDown);
    locks += Played("set");
  }
  EXPECT_GT(locks, 3);
  int frames = PlayToTheEnd(single);
  ASSERT_EQ(single->state(), Scene_Single::kNameEntry) << frames;
  EXPECT_FALSE(Playing(load_bgm("sounds\\title")));
  // An empty table: any score takes the first place.
  Frame();
  EXPECT_EQ(single->rank(), 0);
}

TEST_F(SingleTest, ATypedNameEntersTheTable) {
  Scene_Single* single = Play();
  PlayToTheEnd(single);
  Frame();
  ASSERT_EQ(single->rank(), 0);
  Type("RYU\r");
  Frame();
  EXPECT_TRUE(Played("pause"));
  EXPECT_EQ(single->state(), Scene_Single::kMenu);
  EXPECT_EQ(single->cursor(), 0);
  hiscore_table t = read_hiscore_file();
  EXPECT_STREQ(t[0].name, "RYU");
  EXPECT_EQ(t[0].score, single->field()->counters.score);
  EXPECT_EQ(t[0].erased, single->field()->counters.cleared);
  EXPECT_EQ(t[0].chain, single->field()->counters.max_chain);
}

TEST_F(SingleTest, TheNameEntryEndsAfter900Frames) {
  Scene_Single* single = Play();
  PlayToTheEnd(single);
  int ticks = 0, frames = 0;
  while (single->state() == Scene_Single::kNameEntry && frames < 2000) {
    Frame();
    ticks += Played("rotate");
    ++frames;
  }
  EXPECT_EQ(frames, 900);
  EXPECT_EQ(ticks, 14);  // a tick each second left, 14 .. 1
  EXPECT_EQ(single->state(), Scene_Single::kMenu);
  hiscore_table t = read_hiscore_file();
  EXPECT_STREQ(t[0].name, "");
  EXPECT_EQ(t[0].score, single->field()->counters.score);
}

TEST_F(SingleTest, AScoreBelowTheFifthPlaceGoesStraightToTheMenu) {
  FillTable();
  Scene_Single* single = Play();
  PlayToTheEnd(single);
  Frame();
  EXPECT_EQ(single->rank(), -1);
  EXPECT_EQ(single->state(), Scene_Single::kMenu);
  EXPECT_EQ(single->cursor(), 0);
}

TEST_F(SingleTest, MenuWrapsSavesAndPlaysAgain) {
  FillTable();
  Scene_Single* single = Play();
  PlayToTheEnd(single);
  Frame();
  ASSERT_EQ(single->state(), Scene_Single::kMenu);
  Tap(kPadUp);
  EXPECT_EQ(single->cursor(), 3);
  Tap(kPadDown);
  EXPECT_EQ(single->cursor(), 0);
  Tap(kPadDown);
  // Enter confirms as C does: save the replay and play again.
  uint8_t keys[256] = {};
  keys[kKeyEnter] = 1;
  Feed(0, keys);
  single->update();
  Frame();
  EXPECT_TRUE(std::filesystem::exists(Path("replay/play0.vrs")));
  EXPECT_EQ(single->state(), Scene_Single::kCountIn);
  EXPECT_EQ(single->cursor(), -1);
  EXPECT_EQ(single->field()->counters.score, 0);
  // The replay holds the game just played: it plays to the same end.
  PlayToTheEnd(single);
  Frame();
  Tap(kPadUp);
  Tap(C_Custom);  // save and leave
  EXPECT_TRUE(std::filesystem::exists(Path("replay/play1.vrs")));
  EXPECT_EQ(single->state(), Scene_Single::kFadeOut);
  EXPECT_EQ(Run(100), 59);
  EXPECT_EQ(requested_scene, kSceneSelectSingle);
}

TEST_F(SingleTest, AReplayThatCannotBeSavedIsReportedAndTheGameStillLeaves) {
  WriteFile("replay", "not a folder");
  FillTable();
  const std::string err = SaveAndLeave();
  EXPECT_EQ(ReadFile("replay"), "not a folder");
  EXPECT_TRUE(Played("buzzer"));
  EXPECT_EQ(err, "voxaldrift: could not save \"replay/play0.vrs\": a file stands where its folder should be\n");
}

TEST_F(SingleTest, AFailedReplaySaveNamesTheFileItTriedAndWhy) {
  struct Case {
    vox_win32::SaveStep step;
    int fault;
    const char* reason;
  };
  const Case cases[] = {
      {vox_win32::SaveStep::kCreate, EROFS, "the file system is read-only"},
      {vox_win32::SaveStep::kCreate, EACCES, "access is denied (no permission to write it)"},
      {vox_win32::SaveStep::kWrite, ENOSPC, "the disk is full"},
      {vox_win32::SaveStep::kPublish, EROFS, "the file system is read-only"},
  };
  FillTable();
  for (const char* name : {"play0.vrs", "play1.vrs", "play2.vrs"}) WriteFile(std::string("replay/") + name, "older");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    g_fault_step = c.step;
    g_fault = c.fault;
    vox_win32::SetSaveStepHook(FailTheStep);
    const std::string err = SaveAndLeave();
    vox_win32::SetSaveStepHook(nullptr);
    EXPECT_TRUE(Played("buzzer"));
    EXPECT_EQ(err, std::string("voxaldrift: could not save \"replay/play3.vrs\": ") + c.reason + "\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Path("replay")), {}), 3);
    delete scene_;
    scene_ = nullptr;
  }
}

TEST_F(SingleTest, AHighScoreThatCannotBeSavedIsReportedAndTheFolderInItsPlaceKept) {
  std::filesystem::create_directory(Path("score.vsd"));
  WriteFile("score.vsd/mine", "x");
  const std::string err = EnterAName();
  EXPECT_TRUE(Played("buzzer"));
  EXPECT_EQ(err, "voxaldrift: could not save \"score.vsd\": a folder stands in the file's place\n");
  EXPECT_EQ(ReadFile("score.vsd/mine"), "x");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Path("score.vsd")), {}), 1);
  EXPECT_FALSE(std::filesystem::exists(Path("score.vsd.kept1")));
}

TEST_F(SingleTest, AReadOnlyHighScoreFileIsReportedAndKeptAsItIs) {
  ASSERT_TRUE(write_hiscore_file(default_hiscores()));
  const std::string old = ReadFile("score.vsd");
  ASSERT_EQ(chmod(Path("score.vsd").c_str(), 0444), 0);
  const std::string err = EnterAName();
  EXPECT_TRUE(Played("buzzer"));
  EXPECT_EQ(err, "voxaldrift: could not save \"score.vsd\": the file is read-only\n");
  struct stat st;
  ASSERT_EQ(stat(Path("score.vsd").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
  EXPECT_EQ(ReadFile("score.vsd"), old);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 2);  // and sounds/
}

class ReplaySingleTest : public SingleTest {
 protected:
  // Plays a game to its end and saves its replay as replay\play0.vrs; the
  // final score.
  int RecordGame(int level = 30) {
    FillTable();
    Scene_Single* single = Play(level);
    PlayToTheEnd(single);
    Frame();
    Tap(kPadDown);
    Tap(kPadDown);
    Tap(kPadDown);
    int score = single->field()->counters.score;
    Tap(C_Custom);
    EXPECT_TRUE(std::filesystem::exists(Path("replay/play0.vrs")));
    delete scene_;
    scene_ = nullptr;
    return score;
  }
  Scene_ReplaySingle* Replay(const char* path) {
    side_settings s;
    auto* r = new Scene_ReplaySingle(path, s, "", "sounds\\title");
    scene_ = r;
    return r;
  }
};

TEST_F(ReplaySingleTest, AReplayPlaysTheGameAsItWasPlayed) {
  int score = RecordGame();
  Scene_ReplaySingle* r = Replay("replay\\play0.vrs");
  ASSERT_NE(r->field(), nullptr);
  int frames = 0;
  while (r->state() != Scene_Single::kToppedOut && frames < 20000) {
    Frame();
    ++frames;
  }
  ASSERT_EQ(r->state(), Scene_Single::kToppedOut);
  EXPECT_EQ(r->field()->counters.score, score);
  EXPECT_EQ(Run(400), 240 + 60);
  EXPECT_EQ(requested_scene, kSceneSelectSingle);
}

TEST_F(ReplaySingleTest, RightAndLeftTurnTheSpeed) {
  RecordGame(0);  // a slow level: the game outlasts the speed changes
  Scene_ReplaySingle* r = Replay("replay\\play0.vrs");
  Run(60 + 180);
  ASSERT_EQ(r->state(), Scene_Single::kPlay);
  const int right[] = {2, 4, 8, 16, 1};
  for (int want : right) {
    Tap(kPadRight);
    EXPECT_EQ(r->speed(), want);
  }
  Tap(kPadLeft);
  EXPECT_EQ(r->speed(), 16);
  Tap(kPadLeft);
  EXPECT_EQ(r->speed(), 8);
}

TEST_F(ReplaySingleTest, AFileThatCannotBeReadIsRefused) {
  WriteFile("replay/play0.vrs", "VDRP\x01garbage");
  for (const char* path : {"replay\\gone.vrs", "replay\\play0.vrs"}) {
    Scene_ReplaySingle* r = Replay(path);
    EXPECT_EQ(r->field(), nullptr);
    EXPECT_TRUE(Played("buzzer")) << path;
    EXPECT_EQ(Run(100), 60);
    EXPECT_EQ(requested_scene, kSceneSelectSingle);
    delete scene_;
    scene_ = nullptr;
  }
}

}  // namespace
