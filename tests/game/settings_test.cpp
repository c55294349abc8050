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
  EXPECT_EQ(B_Custom, 2);  // back: left
  EXPECT_EQ(C_Custom, 4);  // decide: right
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
      // A button mask must be one button (or none): else its default.
      {"C_Custom=64", &C_Custom, 64}, {"C_Custom=3", &C_Custom, 4},     {"C_Custom=-1", &C_Custom, 4},
      {"B_Custom=16384", &B_Custom, 2}, {"B_Custom=8192", &B_Custom, 8192}, {"START_Custom=0", &START_Custom, 0},
      {"START_Custom=96", &START_Custom, 0},
  };
  for (const Case& c : cases) {
    Read(std::string(c.line) + "\r\n");
    EXPECT_EQ(*c.value, c.expected) << c.line;
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
