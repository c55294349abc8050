#include "engine/core/log.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "engine/core/engine_state.h"
#include "engine/core/util.h"
#include "tests/support/engine_fixture.h"

namespace {

using LogTest = EngineLogTest;

TEST_F(LogTest, EveryLineIsStampedAndEndsWithCrLf) {
  EXPECT_EQ(WriteLogText("a\nb\n"), -1);
  EXPECT_TRUE(std::regex_match(Log(), std::regex("[0-9]+:a\r\n[0-9]+:b\r\n"))) << Log();
}

TEST_F(LogTest, OpenLineContinuesWithoutStamp) {
  WriteLogText("abc");
  WriteLogText("def\n");
  EXPECT_TRUE(std::regex_match(Log(), std::regex("[0-9]+:abcdef\r\n"))) << Log();
}

TEST_F(LogTest, IndentWritesTabsAfterTheStampAndNeverGoesNegative) {
  IndentLog();
  IndentLog();
  WriteLogText("x\n");
  UnindentLog();
  UnindentLog();
  UnindentLog();
  EXPECT_EQ(GetLogIndent(), 0);
  WriteLogText("y\n");
  EXPECT_TRUE(std::regex_match(Log(), std::regex("[0-9]+:\t\tx\r\n[0-9]+:y\r\n"))) << Log();
}

TEST_F(LogTest, ExistingCrLfIsKeptAndTwoByteCharactersAreNotSplit) {
  // 0x95 0x5C is one character whose second byte is a backslash code; the
  // text already ends in CR LF.
  WriteLogText("\x95\x5C\r\n");
  EXPECT_TRUE(std::regex_match(Log(), std::regex("[0-9]+:\x95\\\\\r\n"))) << Log();
}

TEST_F(LogTest, FormatIsBoundedAndAppendsLineFeed) {
  std::string long_arg(5000, 'z');
  EXPECT_EQ(WriteLogFormat("%s=%d", long_arg.c_str(), 5), -1);
  std::string log = Log();
  EXPECT_LT(log.size(), 1100u);
  EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
}

TEST_F(LogTest, LogOffWritesNothing) {
  std::remove("Log.txt");
  SetLogOutput(0);
  StartLogFile();
  WriteLogText("hidden\n");
  EXPECT_EQ(Log(), "");
  SetLogOutput(1);
}

TEST_F(LogTest, AbortLogsRunsShutdownAndExitsWithMinusOne) {
  static bool shutdown_ran;
  shutdown_ran = false;
  SetLogAbortHooks([] { shutdown_ran = true; }, [](int code) { throw code; });
  try {
    AbortWithLogFormat("fatal %d", 3);
    FAIL() << "returned";
  } catch (int code) {
    EXPECT_EQ(code, -1);
  }
  SetLogAbortHooks(nullptr, nullptr);
  EXPECT_TRUE(shutdown_ran);
  EXPECT_NE(Log().find("fatal 3\r\n"), std::string::npos);
}

TEST(LogDeath, AbortEndsTheProcessWithMinusOne) {
  EXPECT_EXIT(AbortWithLog("bye"), ::testing::ExitedWithCode(255), "");
}

}  // namespace
