// The character screen: the plug-ins it loads and refuses, the grid and the
// cursor at any number of characters, the picks of one and two people, what
// it hands on and what it frees, and the reading of plug-in resources.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "engine/graphics/graphics.h"
#include "game/scene_select_chara.h"
#include "tests/game/battle_fixture.h"

namespace fs = std::filesystem;

namespace {

class CharaScreen : public BattleTest {
 protected:
  void SetUp() override {
    BattleTest::SetUp();
    // Buttons apart from the directions (the defaults share Left and Right).
    B_Custom = 0x100;
    C_Custom = 0x200;
  }
  // A person on the left and a computer on the right.
  Scene_SelectChara* Open(int kind) {
    auto* chara = new Scene_SelectChara(kind, Person(), Computer(nullptr, 0), "", "");
    scene_ = chara;
    Run(45);
    return chara;
  }
  void Frame2(int keyboard, int pad1 = 0) {
    Pads(keyboard, pad1);
    scene_->update();
    Pads(0);
    scene_->update();
  }
  void Close() {
    delete scene_;
    scene_ = nullptr;
  }
  void EmptyFolder() {
    fs::remove_all(Path("characters"));
    fs::create_directories(Path("characters"));
  }
};

TEST(CharaGrid, ShapeAndCursorMovesStayOnCharacters) {
  struct Shape {
    int count, columns, rows;
  };
  for (const Shape& s : {Shape{0, 0, 2}, Shape{1, 1, 2}, Shape{3, 2, 2}, Shape{16, 8, 2}, Shape{17, 8, 3},
                         Shape{24, 8, 3}, Shape{25, 8, 4}, Shape{40, 8, 5}}) {
    int columns, rows;
    Scene_SelectChara::grid_shape(s.count, &columns, &rows);
    EXPECT_EQ(columns, s.columns) << s.count;
    EXPECT_EQ(rows, s.rows) << s.count;
  }
  const int steps[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
  for (int count = 0; count <= Scene_SelectChara::kMaxCharacters; ++count)
    for (int cursor = 0; cursor < std::max(count, 1); ++cursor)
      for (const auto& step : steps) {
        int to = Scene_SelectChara::move_cursor(cursor, step[0], step[1], count);
        EXPECT_GE(to, 0);
        EXPECT_LT(to, std::max(count, 1)) << count << " " << cursor << " " << step[0] << "," << step[1];
      }
  struct Move {
    int count, cursor, dx, dy, to;
  };
  for (const Move& m : {Move{3, 0, -1, 0, 2}, Move{3, 2, 1, 0, 0}, Move{3, 1, 0, -1, 1}, Move{3, 0, 0, -1, 2},
                        Move{3, 1, 0, 1, 1}, Move{4, 1, 0, -1, 3}, Move{17, 0, 0, -1, 16}, Move{17, 1, 0, -1, 9},
                        Move{17, 9, 0, 1, 1}, Move{17, 16, 0, 1, 0}, Move{1, 0, 0, -1, 0}}) {
    EXPECT_EQ(Scene_SelectChara::move_cursor(m.cursor, m.dx, m.dy, m.count), m.to)
        << m.count << " " << m.cursor << " " << m.dx << "," << m.dy;
  }
}

TEST_F(CharaScreen, LoadsThePlugInsOfTheFolderAndRefusesTheRest) {
  WriteFile("characters/readme.txt", "not a plug-in");
  WriteFile("characters/broken.so", std::string(4096, '\x7f'));
  fs::copy_file(std::string(VOX_CHARACTERS_DIR) + "/rival1.so", Path("characters/rival1.so.txt"));
  CopyTestOpponent("partial.so", true);
  LinkRival(2, "twin.so");  // the same library a second time
  const std::string long_name = std::string(120, 'a') + ".so";
  CopyTestOpponent(long_name);
  Scene_SelectChara* chara = Open(1);
  ASSERT_EQ(chara->count(), 5);
  const Scene_SelectChara::Character& test = chara->character(0);
  // 40 bytes cut to 31, before the two-byte character across bytes 31 and 32.
  EXPECT_STREQ(test.name, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcd");
  EXPECT_STREQ(test.description, "line one\rline two\nline three\r\nline four");
  EXPECT_EQ(test.picture, -1);
  EXPECT_EQ(test.face, -1);
  for (int i = 1; i <= 4; ++i) {
    const Scene_SelectChara::Character& c = chara->character(i);
    EXPECT_GT(std::strlen(c.name), 0u) << i;
    EXPECT_GT(std::strlen(c.description), 0u) << i;
    int w = 0, h = 0;
    EXPECT_EQ(QueryGraphSize(c.picture, &w, &h), 0) << i;
    EXPECT_EQ(w, kOpponentImageWidth);
    EXPECT_EQ(QueryGraphSize(c.face, &w, &h), 0) << i;
    EXPECT_EQ(w, kOpponentFaceSize);
  }
  EXPECT_FALSE(Loaded("partial.so"));
  Run(10);  // drawn with a picture missing
  Close();
  for (const char* file : {"rival1.so", "rival2.so", "twin.so"}) EXPECT_FALSE(Loaded(file)) << file;
  EXPECT_FALSE(Loaded(long_name));
}

TEST_F(CharaScreen, AnEmptyFolderOnlyLetsThePlayerGoBack) {
  EmptyFolder();
  Scene_SelectChara* chara = Open(1);
  EXPECT_EQ(chara->count(), 0);
  for (int key : {kPadLeft, kPadRight, kPadUp, kPadDown}) Tap(key);
  EXPECT_EQ(chara->cursor(0), 0);
  Tap(C_Custom);
  EXPECT_TRUE(Played("buzzer"));
  EXPECT_EQ(chara->state(), Scene_SelectChara::kChoosing);
  Tap(B_Custom);
  EXPECT_EQ(chara->state(), Scene_SelectChara::kLeavingBack);
  EXPECT_LE(Run(50), 45);
  EXPECT_EQ(requested_scene, kSceneSelectDouble);
}

TEST_F(CharaScreen, SeventeenCharactersMakeAThirdRowTheCursorReaches) {
  EmptyFolder();
  for (int i = 0; i < 17; ++i) CopyTestOpponent("s" + std::to_string(100 + i) + ".so");
  Scene_SelectChara* chara = Open(0);
  ASSERT_EQ(chara->count(), 17);
  EXPECT_EQ(chara->columns(), 8);
  EXPECT_EQ(chara->rows(), 3);
  Tap(kPadUp);
  EXPECT_EQ(chara->cursor(0), 16);
  Tap(kPadDown);
  EXPECT_EQ(chara->cursor(0), 0);
  Run(5);
}

TEST_F(CharaScreen, TwoPeoplePickAtOnceButNeverTheSameCharacter) {
  Scene_SelectChara* chara = new Scene_SelectChara(2, Person(), Person(), "", "");
  scene_ = chara;
  Run(45);
  // Without two pads: the keyboard plays left, pad 1 right.
  Frame2(0, C_Custom);  // right picks the first character first
  EXPECT_TRUE(Played("pause"));
  EXPECT_FALSE(chara->choosing(1));
  Frame2(C_Custom);  // left on the same one: refused
  EXPECT_TRUE(Played("buzzer"));
  EXPECT_TRUE(chara->choosing(0));
  Frame2(kPadRight);
  Frame2(C_Custom);
  EXPECT_EQ(chara->state(), Scene_SelectChara::kLeavingOn);
  EXPECT_EQ(chara->settings(0).chara_image, chara->character(1).picture);
  EXPECT_EQ(chara->settings(1).chara_image, chara->character(0).picture);
  EXPECT_EQ(chara->settings(0).module, nullptr);
  EXPECT_EQ(chara->settings(1).module, nullptr);
  EXPECT_LE(Run(70), 60);
  EXPECT_EQ(requested_scene, kSceneDouble);
  Close();
  for (int n = 1; n <= 4; ++n) EXPECT_FALSE(Loaded("rival" + std::to_string(n) + ".so")) << n;
}

TEST_F(CharaScreen, OnePersonPicksTheirOwnThenTheComputersCharacter) {
  Scene_SelectChara* chara = Open(1);
  Tap(C_Custom);
  EXPECT_FALSE(chara->choosing(0));
  EXPECT_TRUE(chara->choosing(1));
  Tap(B_Custom);  // back to one's own pick
  EXPECT_TRUE(chara->choosing(0));
  EXPECT_FALSE(chara->choosing(1));
  Tap(kPadRight);
  Tap(C_Custom);  // the second character
  Tap(kPadRight);
  Tap(C_Custom);  // the computer's cursor starts at 0: moved onto the same one, refused
  EXPECT_TRUE(Played("buzzer"));
  Tap(kPadRight);
  Tap(kPadRight);
  Tap(C_Custom);  // the fourth
  ASSERT_EQ(chara->state(), Scene_SelectChara::kLeavingOn);
  EXPECT_EQ(chara->settings(0).module, nullptr);  // a person keeps no plug-in
  ASSERT_NE(chara->settings(1).module, nullptr);
  HMODULE handed = chara->settings(1).module;
  SceneValues values;
  chara->hand_over(values);
  EXPECT_EQ(values.kind, 1);
  EXPECT_EQ(values.sides[1].module, handed);
  Close();
  EXPECT_TRUE(Loaded("rival4.so"));
  for (int n = 1; n <= 3; ++n) EXPECT_FALSE(Loaded("rival" + std::to_string(n) + ".so")) << n;
  FreeLibrary(handed);
  EXPECT_FALSE(Loaded("rival4.so"));
}

// Faces and the pictures not picked go with the screen; the pictures handed
// on go when the next character screen opens, their play scene having ended.
TEST_F(CharaScreen, PicturesAreFreedWhenTheyAreNoLongerShown) {
  Open(1);
  Tap(B_Custom);
  Run(45);
  Close();
  const int baseline = GraphLiveCount();
  Scene_SelectChara* chara = Open(1);
  EXPECT_EQ(GraphLiveCount(), baseline + 8);
  Tap(B_Custom);
  Run(45);
  Close();
  EXPECT_EQ(GraphLiveCount(), baseline);

  chara = Open(1);
  Tap(C_Custom);
  Tap(kPadRight);
  Tap(C_Custom);
  ASSERT_EQ(chara->state(), Scene_SelectChara::kLeavingOn);
  release_opponent_module(chara->settings(1).module);
  Close();
  EXPECT_EQ(GraphLiveCount(), baseline + 2);
  chara = Open(1);
  EXPECT_EQ(chara->settings(0).chara_image, -1);
  Close();
  EXPECT_EQ(GraphLiveCount(), baseline);
}

TEST_F(CharaScreen, ModuleResourcesAsTextsPicturesAndSounds) {
  TestOpponent op = LoadTestOpponent("voice.so");
  const void* bytes = nullptr;
  uint32_t size = 0;
  EXPECT_EQ(load_module_text(op.module, "NAME", kOpponentTextType, &bytes, &size), 0);
  EXPECT_EQ(size, 40u);
  EXPECT_EQ(load_module_text(op.module, "NAME", kOpponentTextType, nullptr, nullptr), 0);
  EXPECT_EQ(load_module_text(op.module, "NAME", kOpponentPictureType, &bytes, &size), -1);
  EXPECT_EQ(load_module_text(op.module, "NOTHING", kOpponentTextType, &bytes, &size), -1);
  EXPECT_EQ(load_module_text(nullptr, "NAME", kOpponentTextType, &bytes, &size), -1);
  EXPECT_EQ(load_module_image(op.module, "NAME", kOpponentTextType), -1);  // no picture
  const int sound = load_module_sound(op.module, "VOICE", 26, 2);
  EXPECT_GE(sound, 0);
  EXPECT_GT(GetSoundHandleSampleCount(sound), 0);
  DisposeSoundHandle(sound);
  EXPECT_EQ(load_module_sound(op.module, "VOICE", kOpponentTextType, 2), -1);
}

}  // namespace
