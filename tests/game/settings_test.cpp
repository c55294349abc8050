// The settings file: defaults without a file, values out of range clamped on
// reading, values written as decimal text.
#include <gtest/gtest.h>

#include <string>

#include "game/settings.h"
#include "tests/support/temp_dir.h"

namespace {

class SettingsTest : public TempDirTest {
 protected:
  void Read(const std::string& ini) {
    if (!ini.empty()) WriteFile("Voxaldrift.ini", "[Custom]\r\n" + ini);
    read_settings();
  }
  void TearDown() override {
    Read("");  // back to the defaults for the next test
    TempDirTest::TearDown();
  }
};

TEST_F(SettingsTest, NoFileGivesTheDefaults) {
  Read("");
  EXPECT_EQ(A_Custom, 1);
  EXPECT_EQ(C_Custom, 0x40);  // decide: pad button 1, the C key
  EXPECT_EQ(B_Custom, 0x20);  // back: pad button 2, the X key
  EXPECT_EQ(START_Custom, 0);
  EXPECT_EQ(BGM_Volume, 100);
  EXPECT_EQ(SE_Volume, 100);
  EXPECT_EQ(SoundData_Type, 0);
  EXPECT_EQ(read_setting("FullScreen", 0), 0);
  EXPECT_EQ(read_setting("WideScreen", 0), 0);
}

TEST_F(SettingsTest, ValuesAreClampedToTheirRanges) {
  struct Case {
    const char* line;
    int* value;
    int expected;
  };
  const Case cases[] = {
      {"BGM_Volume=150", &BGM_Volume, 100}, {"BGM_Volume=-20", &BGM_Volume, 0}, {"BGM_Volume=37", &BGM_Volume, 37},
      {"SE_Volume=101", &SE_Volume, 100},   {"SE_Volume=x", &SE_Volume, 0},     {"SoundData_Type=9", &SoundData_Type, 3},
      {"SoundData_Type=-1", &SoundData_Type, 0},
  };
  for (const Case& c : cases) {
    Read(std::string(c.line) + "\r\n");
    EXPECT_EQ(*c.value, c.expected) << c.line;
  }
}

TEST_F(SettingsTest, AButtonTheOptionsScreenNeverWritesFallsBackToItsDefault) {
  struct Case {
    const char* lines;
    int decide, back, pause;
  };
  const Case cases[] = {
      // What the options screen writes is kept.
      {"C_Custom=256\r\nB_Custom=8192\r\nSTART_Custom=16\r\n", 0x100, 0x2000, 0x10},
      {"C_Custom=32\r\nB_Custom=64\r\nSTART_Custom=0\r\n", 0x20, 0x40, 0},
      // No number, no button, a direction (the old defaults), several
      // buttons, a button the screen does not offer: the default.
      {"C_Custom=abc\r\nB_Custom=x1\r\n", 0x40, 0x20, 0},
      {"C_Custom=\r\nB_Custom=  \r\nSTART_Custom=\r\n", 0x40, 0x20, 0},
      {"C_Custom=0\r\nB_Custom=0\r\n", 0x40, 0x20, 0},
      {"C_Custom=4\r\nB_Custom=2\r\nSTART_Custom=8\r\n", 0x40, 0x20, 0},
      {"C_Custom=-1\r\nB_Custom=96\r\nSTART_Custom=3\r\n", 0x40, 0x20, 0},
      {"C_Custom=16384\r\nB_Custom=99999999999\r\nSTART_Custom=-64\r\n", 0x40, 0x20, 0},
      // A button another already holds: the default, else the first free
      // (the player's own choices stay where they are).
      {"C_Custom=32\r\n", 0x20, 0x40, 0},
      {"B_Custom=64\r\n", 0x20, 0x40, 0},
      {"START_Custom=64\r\n", 0x10, 0x20, 0x40},
      {"C_Custom=128\r\nB_Custom=128\r\nSTART_Custom=128\r\n", 0x80, 0x20, 0},
  };
  for (const Case& c : cases) {
    Read(c.lines);
    EXPECT_EQ(C_Custom, c.decide) << c.lines;
    EXPECT_EQ(B_Custom, c.back) << c.lines;
    EXPECT_EQ(START_Custom, c.pause) << c.lines;
  }
}

TEST_F(SettingsTest, ChangesAreWrittenAsDecimalText) {
  ASSERT_TRUE(write_setting("BGM_Volume", 35));
  ASSERT_TRUE(write_setting("C_Custom", 0x40));
  std::string ini = ReadFile("Voxaldrift.ini");
  EXPECT_NE(ini.find("[Custom]"), std::string::npos);
  EXPECT_NE(ini.find("BGM_Volume=35"), std::string::npos);
  EXPECT_NE(ini.find("C_Custom=64"), std::string::npos);
  read_settings();
  EXPECT_EQ(BGM_Volume, 35);
  EXPECT_EQ(C_Custom, 0x40);
}

}  // namespace
