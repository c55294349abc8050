// The on-screen log's grid: lines, wrapping by width and by bytes,
// scrolling, skipped bytes, and the first print switching it on.
#include "engine/core/screen_log.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/core/engine_state.h"
#include "engine/core/engine_subsystem.h"

namespace {

int g_char_width = 8;
int g_fonts_made = 0;
int g_drawn = 0;

int MakeFont(int, int) { return ++g_fonts_made; }
int Measure(const char*, int length, int) { return g_char_width * (length == 2 ? 2 : 1); }
int Draw(int, int, const char*, uint32_t, int, uint32_t) { return ++g_drawn, 0; }
int ScreenSize(int* w, int* h) {
  *w = 640;
  *h = 480;
  return 0;
}

class ScreenLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = g_engine;
    static int fake_window;
    g_engine.window = reinterpret_cast<WindowObject*>(&fake_window);
    ReplaceEngineSubsystem(
        {.id = SubsystemId::Fonts, .create_log_font = MakeFont, .measure_text = Measure, .draw_edged_text = Draw});
    ReplaceEngineSubsystem({.id = SubsystemId::Graphics, .screen_size = ScreenSize, .has_directdraw = [] { return 1; }});
    g_char_width = 8;
    g_drawn = 0;
    EndScreenLog();
    ASSERT_EQ(StartScreenLog(), 0);
  }
  void TearDown() override {
    EndScreenLog();
    ResetEngineSubsystems();
    g_engine = saved_;
  }
  EngineState saved_;
};

TEST_F(ScreenLogTest, LineFeedStartsANewLine) {
  EXPECT_EQ(IsScreenLogUsed(), 0);
  PrintScreenLog("ab\ncd");
  EXPECT_EQ(IsScreenLogUsed(), 1);
  EXPECT_STREQ(ScreenLogLine(0), "ab");
  EXPECT_STREQ(ScreenLogLine(1), "cd");
}

TEST_F(ScreenLogTest, ThirtyLinesFitAndTheThirtyFirstScrolls) {
  for (int i = 0; i < 30; i++) PrintScreenLog("%d\n", i);  // the last LF opens line 31
  EXPECT_EQ(ScreenLogCurrentLine(), 29);
  EXPECT_STREQ(ScreenLogLine(0), "1");
  EXPECT_STREQ(ScreenLogLine(28), "29");
  EXPECT_STREQ(ScreenLogLine(29), "");
}

TEST_F(ScreenLogTest, WrapsAtTheScreenWidthAndBeforeTheLastByte) {
  PrintScreenLog("%s", std::string(80, 'x').c_str());  // 8 pixels each on 640
  EXPECT_EQ(std::string(ScreenLogLine(0)).size(), 79u);
  EXPECT_STREQ(ScreenLogLine(1), "x");
  ClearScreenLog();
  g_char_width = 0;
  PrintScreenLog("%s", std::string(256, 'y').c_str());
  EXPECT_EQ(std::string(ScreenLogLine(0)).size(), 254u);
  EXPECT_EQ(std::string(ScreenLogLine(1)).size(), 2u);
}

TEST_F(ScreenLogTest, TwoByteCharactersStayWhole) {
  g_char_width = 0;
  PrintScreenLog("%s", (std::string(253, 'z') + "あ").c_str());
  EXPECT_EQ(std::string(ScreenLogLine(0)).size(), 253u);
  EXPECT_STREQ(ScreenLogLine(1), "あ");
}

TEST_F(ScreenLogTest, TabsBecomeSpacesAndSomeBytesAreSkipped) {
  PrintScreenLog("a\tb?\r\a!");
  EXPECT_STREQ(ScreenLogLine(0), "a    b!");
}

TEST_F(ScreenLogTest, DrawsEachUsedLineWithItsFont) {
  PrintScreenLog("one\ntwo");
  DrawScreenLog();
  EXPECT_EQ(g_drawn, 2);
}

TEST(ScreenLogStartTest, NeedsAMainWindow) {
  EngineState saved = g_engine;
  g_engine.window = nullptr;
  EndScreenLog();
  EXPECT_EQ(StartScreenLog(), -1);
  EXPECT_EQ(PrintScreenLog("x"), 0);
  EXPECT_EQ(StartScreenLog(), -1);  // printing did not start it either
  g_engine = saved;
}

}  // namespace
