// The menus: cursor wrap, what each refuses (with the buzzer), what wins
// when decide and back come in one frame, and where each leads.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "game/media_lists.h"
#include "game/scene_hiscore.h"
#include "game/scene_select_mode.h"
#include "game/scene_select_single.h"
#include "game/scene_title.h"
#include "tests/game/scene_fixture.h"

namespace {

constexpr int kDown = kPadDown, kUp = kPadUp, kLeft = kPadLeft, kRight = kPadRight;

class TitleTest : public SceneTest {
 protected:
  Scene_Title* Title(int cursor) {
    auto* t = new Scene_Title(cursor, 1);
    scene_ = t;
    Run(46);  // the fade-in
    EXPECT_EQ(t->state(), 2);
    return t;
  }
};

TEST_F(TitleTest, CursorWrapsBothWays) {
  Scene_Title* t = Title(0);
  Tap(kUp);
  EXPECT_EQ(t->cursor(), 5);
  EXPECT_TRUE(Played("rotate"));
  Tap(kDown);
  EXPECT_EQ(t->cursor(), 0);
  // Held down it repeats after 12 frames, then every 7.
  Run(20, kDown);
  EXPECT_EQ(t->cursor(), 3);
}

TEST_F(TitleTest, EntriesWithoutPadsOrReplaysAreRefused) {
  // No pad is connected here, and "replay" holds no replay.
  for (int entry : {1, 2}) {
    delete scene_;
    Scene_Title* t = Title(entry);
    Tap(C_Custom);
    EXPECT_TRUE(Played("buzzer")) << entry;
    EXPECT_EQ(t->state(), 2);
  }
  WriteFile("replay/play0.vrs", "VDRP\x01");
  delete scene_;
  Scene_Title* t = Title(2);
  EXPECT_EQ(t->replay_count(), 1);
  Tap(C_Custom);
  EXPECT_FALSE(Played("buzzer"));
  EXPECT_TRUE(Played("break"));
  EXPECT_EQ(t->state(), 3);
  EXPECT_EQ(Run(100), 44);
  EXPECT_EQ(requested_scene, kSceneSelectSingle);
}

TEST_F(TitleTest, BackWinsOverDecideInTheSameFrame) {
  Scene_Title* t = Title(3);
  Frame(C_Custom | B_Custom);
  EXPECT_EQ(t->state(), 4);
  EXPECT_EQ(Run(100), 60);
  EXPECT_EQ(requested_scene, kSceneQuit);
}

TEST_F(TitleTest, EachEntryLeadsToItsScene) {
  const int wanted[][2] = {{Scene_Title::kOnePlayer, kSceneSelectMode},
                           {Scene_Title::kReplay, kSceneSelectSingle},
                           {Scene_Title::kHiscores, kSceneHiscore},
                           {Scene_Title::kOptions, kSceneOption},
                           {Scene_Title::kExit, kSceneQuit}};
  WriteFile("replay/play0.vrs", "VDRP\x01");
  for (const auto& w : wanted) {
    delete scene_;
    Title(w[0]);
    Tap(C_Custom);
    Run(100);
    EXPECT_EQ(requested_scene, w[1]) << w[0];
  }
}

TEST_F(TitleTest, MusicStartsOnReturnOnlyFromTheEntriesThatStoppedIt) {
  int music = load_bgm("sounds\\title");
  Title(4);
  EXPECT_FALSE(Playing(music));
  delete scene_;
  Title(1);
  EXPECT_TRUE(Playing(music));
  HaltSoundHandle(music);
}

TEST_F(TitleTest, FirstStartBurstsTheTilesAndStartsTheMusic) {
  auto* t = new Scene_Title(0, 0);
  scene_ = t;
  EXPECT_TRUE(t->has_tiles());
  Run(60);
  EXPECT_FALSE(Played("gameover"));
  Run(1);
  EXPECT_TRUE(Played("gameover"));
  Run(60);
  EXPECT_FALSE(t->has_tiles());
  EXPECT_EQ(t->state(), 2);
  EXPECT_TRUE(Playing(load_bgm("sounds\\title")));
  HaltSoundHandle(load_bgm("sounds\\title"));
}

class SelectModeTest : public SceneTest {
 protected:
  Scene_SelectMode* Menu(int cursor) {
    auto* m = new Scene_SelectMode(0, cursor);
    scene_ = m;
    Run(46);
    return m;
  }
};

TEST_F(SelectModeTest, DecideAndBackInOneFrameLeaveBack) {
  Menu(2);
  Frame(C_Custom | B_Custom);
  EXPECT_EQ(Run(100), 45);
  EXPECT_EQ(requested_scene, kSceneTitle);
}

TEST_F(SelectModeTest, RowsWrapAndLeadToTheirScenes) {
  Menu(0);
  Tap(kUp);
  Tap(C_Custom);
  Run(100);
  EXPECT_EQ(requested_scene, kSceneTitle);  // row 5: back to the menu
  delete scene_;
  Menu(5);
  Tap(kDown);
  Tap(kDown);
  Tap(kDown);
  Tap(C_Custom);
  Run(100);
  EXPECT_EQ(requested_scene, kSceneSelectSingle);
  SceneValues handed;
  scene_->hand_over(handed);
  EXPECT_EQ(handed.mode, 2);  // break trial
}

class SelectSingleTest : public SceneTest {
 protected:
  Scene_SelectSingle* Settings(int mode, int level_target = 0, const char* background = "", const char* music = "") {
    side_settings s;
    s.level_target = level_target;
    auto* m = new Scene_SelectSingle(mode, 0, s, background, music);
    scene_ = m;
    Run(45);
    EXPECT_EQ(m->state(), 3);
    return m;
  }
  // Moves the cursor to a row kind.
  void GoTo(Scene_SelectSingle* m, Scene_SelectSingle::Row row) {
    for (size_t i = 0; i < m->rows().size() && m->rows()[m->cursor()] != row; ++i) Tap(kDown);
  }
};

TEST_F(SelectSingleTest, LevelWrapsAndTheTargetIsPackedWithIt) {
  B_Custom = 0x20;  // so that Left changes values instead of leaving
  Scene_SelectSingle* m = Settings(2, 320);
  Tap(kLeft);  // level 0 -> 30
  Tap(kRight);  // -> 0
  Tap(kLeft);
  Tap(kLeft);  // -> 29
  for (int i = 0; i < 14; ++i) Tap(kRight);  // -> 12, wrapping past 30
  Tap(kDown);  // target: 100
  for (int i = 0; i < 4; ++i) Tap(kRight);  // 200, 500, 1000, 2000
  Tap(kRight);  // 5000
  GoTo(m, Scene_SelectSingle::kRowPlay);
  Tap(C_Custom);
  EXPECT_TRUE(Played("pause"));
  EXPECT_EQ(m->settings().level_target, 16012);
  EXPECT_EQ(m->settings().colours, 4);
  EXPECT_EQ(m->settings().com_level, -1);
  EXPECT_EQ(Run(100), 45);
  EXPECT_EQ(requested_scene, kSceneSelectChara);
}

TEST_F(SelectSingleTest, EmptyFoldersLeaveTheirRowsInert) {
  // No "bgimages", "musics" or "replay" folder at all.
  Scene_SelectSingle* m = Settings(0, 0, "bgimages\\gone.png", "");
  GoTo(m, Scene_SelectSingle::kRowBackground);
  Played("rotate");
  Tap(kRight);
  EXPECT_FALSE(Played("rotate"));
  Tap(kDown);
  Played("rotate");
  Tap(kRight);
  EXPECT_FALSE(Played("rotate"));
  SceneValues handed;
  m->hand_over(handed);
  EXPECT_STREQ(handed.background, "bgimages\\gone.png");
  EXPECT_STREQ(handed.music, "");
  delete scene_;
  // The replay list: nothing to choose and nothing to play.
  m = Settings(3);
  Tap(kRight);
  GoTo(m, Scene_SelectSingle::kRowPlay);
  Tap(C_Custom);
  EXPECT_TRUE(Played("buzzer"));
  EXPECT_EQ(m->state(), 3);
}

TEST_F(SelectSingleTest, RememberedMediaAreFoundAgain) {
  for (const char* f : {"bgimages/a.png", "bgimages/b.jpg", "bgimages/notes.txt", "musics/x.mid", "musics/y.ogg"})
    WriteFile(f, "x");
  struct Case {
    const char* background;
    const char* music;
    const char* want_background;
    const char* want_music;
  };
  const Case cases[] = {
      {"", "", "bgimages\\a.png", "musics\\x.mid"},
      {"b.jpg", "y.ogg", "b.jpg", "y.ogg"},  // kept as remembered, the entry containing it selected
      {"zzz", "", "bgimages\\a.png", "musics\\x.mid"},
  };
  for (const Case& c : cases) {
    MediaLists lists;
    lists.list_media();
    EXPECT_EQ(lists.backgrounds.size(), 2u);
    char background[kMediaNameSize], music[kMediaNameSize];
    copy_media_name(background, c.background);
    copy_media_name(music, c.music);
    lists.restore_media(background, music);
    EXPECT_STREQ(background, c.want_background);
    EXPECT_STREQ(music, c.want_music);
  }
  MediaLists lists;
  lists.list_media();
  char background[kMediaNameSize] = "b.jpg", music[kMediaNameSize] = "";
  lists.restore_media(background, music);
  EXPECT_EQ(lists.background_choice, 1);
  EXPECT_TRUE(lists.step_background(1, background));
  EXPECT_STREQ(background, "bgimages\\a.png");
  EXPECT_TRUE(lists.step_music(-1, music));
  EXPECT_STREQ(music, "musics\\y.ogg");
}

TEST_F(SelectSingleTest, AReplayGoneBeforeItOpensIsRefused) {
  WriteFile("replay/play0.vrs", std::string("VDRP\x01", 5));
  WriteFile("replay/play1.vrs", std::string("VDRP\x02", 5));
  Scene_SelectSingle* m = Settings(3);
  ASSERT_EQ(m->replays().size(), 2u);
  Tap(kRight);  // play1: two fields
  EXPECT_EQ(m->replay_path(), "replay\\play1.vrs");
  // Deleted while it is listed: refused at once, the list read again.
  std::filesystem::remove(Path("replay/play1.vrs"));
  GoTo(m, Scene_SelectSingle::kRowPlay);
  Tap(C_Custom);
  EXPECT_TRUE(Played("buzzer"));
  EXPECT_EQ(m->state(), 3);
  EXPECT_EQ(m->replays().size(), 1u);
  // Deleted during the fade that follows the choice: back to the list.
  Tap(C_Custom);
  EXPECT_EQ(m->state(), 6);
  std::filesystem::remove(Path("replay/play0.vrs"));
  Run(70);
  EXPECT_TRUE(Played("buzzer"));
  EXPECT_EQ(m->state(), 3);
  EXPECT_TRUE(m->replays().empty());
}

TEST_F(SelectSingleTest, TheCountByteChoosesTheReplayScene) {
  WriteFile("replay/play0.vrs", std::string("VDRP\x01", 5));
  WriteFile("replay/play1.vrs", std::string("VDRP\x02", 5));
  for (int choice : {0, 1}) {
    delete scene_;
    Scene_SelectSingle* m = Settings(3);
    if (choice) Tap(kRight);
    GoTo(m, Scene_SelectSingle::kRowPlay);
    Tap(C_Custom);
    EXPECT_EQ(Run(100), 60);
    EXPECT_EQ(requested_scene, choice ? kSceneReplayDouble : kSceneReplaySingle);
  }
  // Back from the replay list goes to the title, from a mode to the mode menu.
  for (int mode : {3, 1}) {
    delete scene_;
    Settings(mode);
    Tap(B_Custom);
    Run(100);
    EXPECT_EQ(requested_scene, mode == 3 ? kSceneTitle : kSceneSelectMode);
  }
}

class HiscoreSceneTest : public SceneTest {};

TEST_F(HiscoreSceneTest, PagesWrapAndBackLeads) {
  auto* h = new Scene_Hiscore();
  scene_ = h;
  Run(60);
  Tap(kUp);
  EXPECT_EQ(h->page(), 2);
  Run(60);
  Tap(kDown);
  EXPECT_EQ(h->page(), 0);
  // Held keys do not repeat here: a page turn needs a fresh press.
  Run(60);
  Run(80, kDown);
  EXPECT_EQ(h->page(), 1);
  Run(60);
  Frame(B_Custom);
  EXPECT_TRUE(Played("pause"));
  EXPECT_EQ(Run(100), 30);
  EXPECT_EQ(requested_scene, kSceneTitle);
}

}  // namespace
