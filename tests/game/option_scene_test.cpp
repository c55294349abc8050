// The options screen: volumes held inside 0..100 and written as they change,
// the storage-mode ring, button assignment with its swap, and button labels
// that name the keys the engine really maps onto the buttons.
#include <gtest/gtest.h>
#include <SDL.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>

#include "engine/core/engine_start.h"
#include "engine/core/window.h"
#include "engine/graphics/graphics.h"
#include "engine/font/font.h"
#include "engine/input/input.h"
#include "game/globals.h"
#include "game/scene_option.h"
#include "platform/win32/save_file.h"
#include "tests/game/scene_fixture.h"
#include "tests/support/key_press.h"

namespace {

// A save step that fails, and how.
vox_win32::SaveStep g_fault_step;
int g_fault = 0;
int FailTheStep(vox_win32::SaveStep step) { return step == g_fault_step ? g_fault : 0; }

class OptionTest : public SceneTest {
 protected:
  Scene_Option* Options(int row) {
    auto* o = new Scene_Option();
    scene_ = o;
    Run(45);
    EXPECT_EQ(o->state(), 1);
    for (int i = 0; i < row; ++i) Tap(kPadDown);
    EXPECT_EQ(o->cursor(), row);
    return o;
  }
  std::string Ini() const { return ReadFile("Voxaldrift.ini"); }
  bool IniHas(const std::string& line) const { return Ini().find(line + "\r\n") != std::string::npos; }
};

TEST_F(OptionTest, VolumesStayInsideTheirRangeAndAreWritten) {
  // Values from an edited file that are not steps of 5.
  BGM_Volume = 3;
  SE_Volume = 98;
  // Back is the X key without settings: Left lowers the value and stays.
  Options(2);
  Tap(kPadLeft);
  EXPECT_EQ(BGM_Volume, 0);
  EXPECT_EQ(static_cast<Scene_Option*>(scene_)->state(), 1);
  EXPECT_TRUE(IniHas("BGM_Volume=0"));
  Played("rotate");
  Tap(kPadLeft);
  EXPECT_EQ(BGM_Volume, 0);
  EXPECT_FALSE(Played("rotate"));  // nothing moved
  Tap(kPadRight);
  EXPECT_EQ(BGM_Volume, 5);
  Tap(kPadDown);
  Tap(kPadRight);
  EXPECT_EQ(SE_Volume, 100);
  Tap(kPadRight);
  EXPECT_EQ(SE_Volume, 100);
  EXPECT_TRUE(IniHas("SE_Volume=100"));
  EXPECT_TRUE(IniHas("BGM_Volume=5"));
  // Held, the value steps with the repeat.
  Run(13, kPadLeft);
  EXPECT_EQ(SE_Volume, 90);
}

TEST_F(OptionTest, StorageModeTurnsInItsRing) {
  Options(4);
  const int right[] = {2, 3, 0, 2};
  for (int want : right) {
    Tap(kPadRight);
    EXPECT_EQ(SoundData_Type, want);
  }
  const int left[] = {0, 3, 2};
  for (int want : left) {
    Tap(kPadLeft);
    EXPECT_EQ(SoundData_Type, want);
  }
  EXPECT_TRUE(IniHas("SoundData_Type=2"));
  SoundData_Type = 1;  // only from an edited file: left as it is
  Tap(kPadRight);
  Tap(kPadLeft);
  EXPECT_EQ(SoundData_Type, 1);
}

TEST_F(OptionTest, AssigningAButtonTheOtherHoldsSwapsThem) {
  C_Custom = 0x40;
  B_Custom = 0x20;
  START_Custom = 0x2000;
  Options(5);  // decide
  Tap(0x20);   // B's button
  EXPECT_EQ(C_Custom, 0x20);
  EXPECT_EQ(B_Custom, 0x40);
  EXPECT_EQ(START_Custom, 0x2000);
  EXPECT_TRUE(IniHas("C_Custom=32"));
  EXPECT_TRUE(IniHas("B_Custom=64"));
  EXPECT_FALSE(Ini().find("START_Custom") != std::string::npos);
  // Its own button again: written again, nothing else changes.
  WriteFile("Voxaldrift.ini", "");
  Tap(0x20);
  EXPECT_EQ(C_Custom, 0x20);
  EXPECT_TRUE(IniHas("C_Custom=32"));
  EXPECT_EQ(Ini().find("B_Custom"), std::string::npos);
  // On the back row, the back button is assigned rather than leaving; the
  // first button in the test order wins when several are pressed.
  Tap(kPadDown);
  Tap(0x40 | 0x80);
  EXPECT_EQ(B_Custom, 0x40);
  EXPECT_EQ(static_cast<Scene_Option*>(scene_)->state(), 1);
  Tap(kPadDown);
  Tap(0x1000);
  EXPECT_EQ(START_Custom, 0x1000);
}

TEST_F(OptionTest, APauseWithoutAButtonDoesNotTakeDecidesOrBacks) {
  // Decide and back would be left with none, and no menu could be used.
  Options(7);
  ASSERT_EQ(START_Custom, 0);
  for (int taken : {C_Custom, B_Custom}) {
    Tap(taken);
    EXPECT_TRUE(Played("buzzer"));
    EXPECT_EQ(START_Custom, 0);
  }
  EXPECT_EQ(C_Custom, kDefaultDecide);
  EXPECT_EQ(B_Custom, kDefaultBack);
  EXPECT_FALSE(std::filesystem::exists(Path("Voxaldrift.ini")));
  // A free button is taken; from then on pause swaps like the others.
  Tap(0x2000);
  EXPECT_EQ(START_Custom, 0x2000);
  Tap(kDefaultDecide);
  EXPECT_EQ(START_Custom, kDefaultDecide);
  EXPECT_EQ(C_Custom, 0x2000);
  EXPECT_TRUE(IniHas("C_Custom=8192"));
}

TEST_F(OptionTest, ASettingThatCannotBeSavedIsReportedAndTheFileKept) {
  // What stands in the way: a step of the save that meets an error, or
  // what the file's name holds (a read-only file, a folder).
  enum Way { kFault, kReadOnlyFile, kFolder };
  struct Case {
    Way way;
    vox_win32::SaveStep step;
    int fault;
    const char* reason;
  };
  const Case cases[] = {
      {kFault, vox_win32::SaveStep::kWrite, ENOSPC, "the disk is full"},
      {kFault, vox_win32::SaveStep::kCreate, EROFS, "the file system is read-only"},
      {kFault, vox_win32::SaveStep::kCreate, EACCES, "access is denied (no permission to write it)"},
      {kReadOnlyFile, {}, 0, "the file is read-only"},
      {kFolder, {}, 0, "a folder stands in the file's place"},
  };
  const std::string old = "[Custom]\r\nBGM_Volume=50\r\n";
  auto mode_of = [this] {
    struct stat st;
    return stat(Path("Voxaldrift.ini").c_str(), &st) == 0 ? st.st_mode : 0;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    std::filesystem::remove_all(Path("Voxaldrift.ini"));
    if (c.way == kFolder) {
      std::filesystem::create_directory(Path("Voxaldrift.ini"));
    } else {
      WriteFile("Voxaldrift.ini", old);
      if (c.way == kReadOnlyFile) {
        ASSERT_EQ(chmod(Path("Voxaldrift.ini").c_str(), 0444), 0);
      }
      g_fault_step = c.step;
      g_fault = c.fault;
      vox_win32::SetSaveStepHook(FailTheStep);
    }
    const mode_t mode = mode_of();
    BGM_Volume = 50;
    Options(2);
    testing::internal::CaptureStderr();
    Tap(kPadLeft);
    const std::string err = testing::internal::GetCapturedStderr();
    vox_win32::SetSaveStepHook(nullptr);
    EXPECT_EQ(BGM_Volume, 45);  // the screen goes on with the new value
    EXPECT_TRUE(Played("buzzer"));
    EXPECT_EQ(err, std::string("voxaldrift: could not save \"Voxaldrift.ini\": ") + c.reason + "\n");
    EXPECT_EQ(mode_of(), mode);
    if (c.way == kFolder) {
      EXPECT_TRUE(std::filesystem::is_empty(Path("Voxaldrift.ini")));
    } else {
      chmod(Path("Voxaldrift.ini").c_str(), 0644);
      EXPECT_EQ(ReadFile("Voxaldrift.ini"), old);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 2);  // and sounds/
    delete scene_;
    scene_ = nullptr;
  }
}

TEST_F(OptionTest, BackLeavesFromTheOtherRows) {
  Options(2);
  Frame(B_Custom);
  EXPECT_TRUE(Played("pause"));
  EXPECT_EQ(Run(100), 45);
  EXPECT_EQ(requested_scene, kSceneTitle);
  delete scene_;
  Options(8);
  Tap(C_Custom);
  Run(100);
  EXPECT_EQ(requested_scene, kSceneTitle);
}

TEST_F(OptionTest, WideScreenToggleIsWrittenAndApplied) {
  Options(1);
  Tap(C_Custom);
  EXPECT_TRUE(WideScreen);
  EXPECT_TRUE(IniHas("WideScreen=1"));
  EXPECT_DOUBLE_EQ(GetWindowScale(), 1.5);
  Tap(C_Custom);
  EXPECT_FALSE(WideScreen);
  EXPECT_TRUE(IniHas("WideScreen=0"));
  EXPECT_DOUBLE_EQ(GetWindowScale(), 1.0);
}

TEST_F(OptionTest, FullScreenTwiceLeavesFontsAndImagesWorking) {
  // A 1 x 1 24-bit bitmap.
  std::string bmp = std::string("BM\x3a\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x01\0\0\0\x01\0\0\0\x01\0\x18\0", 30) +
                    std::string(24, '\0') + std::string("\x10\x20\x30\0", 4);
  WriteFile("images/dot.bmp", bmp);
  ASSERT_GE(load_image("images\\dot"), 0);
  Options(0);
  Tap(C_Custom);
  EXPECT_TRUE(FullScreen);
  EXPECT_TRUE(IniHas("FullScreen=1"));
  Tap(C_Custom);
  EXPECT_FALSE(FullScreen);
  EXPECT_TRUE(IniHas("FullScreen=0"));
  EXPECT_EQ(IsWindowMode(), 1);
  for (int font : font_table) EXPECT_EQ(IsFontHandleLive(font), 1);
  int graph = load_image("images\\dot");
  EXPECT_EQ(IsGraphHandleValid(graph), 1);
}

// Each label names a keyboard key ("ボタン1(Cキー)"); pressing that key in the
// engine's window sets exactly the labelled button.
TEST_F(OptionTest, ButtonLabelsNameTheKeysTheEngineMaps) {
  struct Key {
    const char* label_key;
    SDL_Scancode scancode;
  };
  const Key keys[] = {{"(Cキー)", SDL_SCANCODE_C}, {"(Xキー)", SDL_SCANCODE_X}, {"(Zキー)", SDL_SCANCODE_Z},
                      {"(Aキー)", SDL_SCANCODE_A}, {"(Sキー)", SDL_SCANCODE_S}, {"(Dキー)", SDL_SCANCODE_D},
                      {"(Qキー)", SDL_SCANCODE_Q}, {"(Wキー)", SDL_SCANCODE_W}, {"(ESCキー)", SDL_SCANCODE_ESCAPE},
                      {"(Spaceキー)", SDL_SCANCODE_SPACE}};
  const uint32_t window = SDL_GetWindowID(GetSdlWindow(GetMainWindow()));
  int seen = 0;
  for (int mask = 0x10; mask <= 0x2000; mask <<= 1) {
    const char* label = button_label(mask);
    ASSERT_NE(label, nullptr) << mask;
    const Key* key = nullptr;
    for (const Key& k : keys)
      if (std::string(label).find(k.label_key) != std::string::npos) key = &k;
    ASSERT_NE(key, nullptr) << label;
    for (bool down : {true, false}) {
      ASSERT_EQ(PushKeyEvent(window, key->scancode, SDL_GetKeyFromScancode(key->scancode), down), 1);
      ProcessEngineMessages();
      SDL_Delay(2);  // the keyboard is read at most once a millisecond
      EXPECT_EQ(ReadPadBits(0x1000), down ? mask : 0) << label;
    }
    ++seen;
  }
  EXPECT_EQ(seen, 10);
  // The first button is the one under C.
  EXPECT_NE(std::string(button_label(0x40)).find("ボタン1"), std::string::npos);
  EXPECT_EQ(button_label(0x4), nullptr);
  EXPECT_EQ(button_label(0), nullptr);
  // Without settings decide and back show their keys; pause shows none.
  EXPECT_STREQ(button_label(C_Custom), "ボタン1(Cキー)");
  EXPECT_STREQ(button_label(B_Custom), "ボタン2(Xキー)");
  EXPECT_EQ(button_label(START_Custom), nullptr);
}

}  // namespace
