// Start-up and shutdown order, the teardown after a failing step, and the
// entry points' once-only behaviour, over subsystem records that record
// every call.
#include "engine/core/engine_start.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/engine_state.h"
#include "engine/core/engine_subsystem.h"
#include "engine/core/window.h"
#include "tests/support/engine_fixture.h"

namespace {

std::vector<std::string> g_calls;
std::map<std::string, int> g_results;      // a step's result when not 0
std::vector<std::pair<int, int>> g_modes;  // the display-mode list the fake offers
int g_desktop_bits = 32;
int g_requested_depth = 16;

int Record(const std::string& name) {
  g_calls.push_back(name);
  auto found = g_results.find(name);
  return found == g_results.end() ? 0 : found->second;
}

template <SubsystemId id>
int RecordStart() {
  return Record(std::string(SubsystemName(id)) + " start");
}
template <SubsystemId id>
int RecordEnd() {
  return Record(std::string(SubsystemName(id)) + " end");
}
// Every subsystem, the core's own among them, records its start and end.
template <size_t... I>
void RegisterRecorders(std::index_sequence<I...>) {
  (ReplaceEngineSubsystem(
       {.id = SubsystemId(I), .start = RecordStart<SubsystemId(I)>, .end = RecordEnd<SubsystemId(I)>}),
   ...);
}

int requested_size(int* w, int* h) {
  *w = 640;
  *h = 480;
  return 0;
}
int mode_count() { return (int)g_modes.size(); }
int mode_at(int i, int* w, int* h) {
  *w = g_modes[i].first;
  *h = g_modes[i].second;
  return 0;
}

void RegisterRecordingEngine() {
  RegisterRecorders(std::make_index_sequence<(size_t)SubsystemId::Count>());
  EngineSubsystem graphics = RegisteredSubsystem(SubsystemId::Graphics);
  graphics.screen_size = requested_size;
  graphics.requested_screen_depth = [] { return g_requested_depth; };
  graphics.display_mode_count = mode_count;
  graphics.display_mode = mode_at;
  graphics.clear_restore_handler = [] { return Record("graphics clear_restore_handler"); };
  graphics.swap_vsync_wait = [](int on) { return Record("graphics swap_vsync_wait(" + std::to_string(on) + ")"); };
  graphics.select_draw_screen = [](int screen) {
    return Record("graphics select_draw_screen(" + std::to_string(screen) + ")");
  };
  ReplaceEngineSubsystem(graphics);
  ReplaceEngineHook(SubsystemId::Window, &EngineSubsystem::desktop_bits_per_pixel, [] { return g_desktop_bits; });
  ReplaceEngineHook(SubsystemId::Window, &EngineSubsystem::force_foreground,
                    [] { return Record("window force_foreground"); });
}

const std::vector<std::string> kStartOrder = {"movies start",
                                              "archives start",
                                              "file layer start",
                                              "log start",
                                              "environment start",
                                              "streams start",
                                              "graphics clear_restore_handler",
                                              "COM start",
                                              "window start",
                                              "input start",
                                              "sound start",
                                              "graphics start",
                                              "text input start",
                                              "graphics swap_vsync_wait(1)",
                                              "screen log start",
                                              "graphics select_draw_screen(-2)",
                                              "graphics select_draw_screen(-4)",
                                              "model runtime start"};

const std::vector<std::string> kEndOrder = {"screen log end", "sockets end",     "music end", "model runtime end",
                                            "graphics end",   "input end",       "sound end", "window end",
                                            "COM end",        "soft images end", "log end",   "archives end",
                                            "allocator end"};

std::vector<std::string> StartUpTo(const std::string& last) {
  std::vector<std::string> calls;
  for (const std::string& step : kStartOrder) {
    calls.push_back(step);
    if (step == last) break;
  }
  return calls;
}

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class EngineStartTest : public EngineLogTest {
 protected:
  void SetUp() override {
    EngineLogTest::SetUp();
    g_calls.clear();
    g_results.clear();
    g_modes = {{640, 480}, {800, 600}};
    g_desktop_bits = 32;
    g_requested_depth = 16;
    g_engine.window_mode = 1;
    RegisterRecordingEngine();
  }
  void TearDown() override {
    ResetEngineSubsystems();
    EngineLogTest::TearDown();
  }
};

TEST_F(EngineStartTest, StartAndEndRunEveryStepInOrder) {
  ASSERT_EQ(InitEngine(), 0);
  EXPECT_EQ(g_calls, kStartOrder);
  EXPECT_EQ(g_engine.initialised, 1);
  EXPECT_EQ(g_engine.starting, 0);
  g_calls.clear();
  EXPECT_EQ(EndEngine(), 0);
  EXPECT_EQ(g_calls, kEndOrder);
  EXPECT_EQ(g_engine.initialised, 0);
  EXPECT_EQ(g_engine.ending, 1);
}

// A step that fails takes down everything in shutdown order (each service
// copes with never having started) and start-up reports -1.
TEST_F(EngineStartTest, FailingStepTearsEverythingDown) {
  const struct {
    const char* step;
    int result;
  } kCases[] = {{"window start", -1}, {"input start", -1}, {"graphics start", -1}, {"graphics start", -2}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.step);
    g_calls.clear();
    g_results = {{c.step, c.result}};
    EXPECT_EQ(InitEngine(), -1);
    EXPECT_EQ(g_calls, Join(StartUpTo(c.step), kEndOrder));
    EXPECT_EQ(g_engine.initialised, 0);
    EXPECT_EQ(g_engine.starting, 0);
  }
}

TEST_F(EngineStartTest, SoundFailingIsTolerated) {
  g_results = {{"sound start", -1}};
  EXPECT_EQ(InitEngine(), 0);
  EXPECT_EQ(g_calls, kStartOrder);
  EndEngine();
}

TEST_F(EngineStartTest, TwentyFourBitRefusalStartsNothingFurther) {
  const struct {
    int window_mode, desktop_bits, requested_depth;
    bool refused;
  } kCases[] = {{1, 24, 16, true}, {0, 24, 16, false}, {1, 32, 24, true}, {1, 32, 16, false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.window_mode << " " << c.desktop_bits << " " << c.requested_depth);
    g_calls.clear();
    g_engine.window_mode = c.window_mode;
    g_desktop_bits = c.desktop_bits;
    g_requested_depth = c.requested_depth;
    if (c.refused) {
      EXPECT_EQ(InitEngine(), -1);
      EXPECT_EQ(g_calls, StartUpTo("log start"));
      EXPECT_EQ(g_engine.starting, 0);
      EXPECT_NE(Log().find("ＱＶライブラリは２４ビットカラーモードに対応していません"), std::string::npos);
    } else {
      EXPECT_EQ(InitEngine(), 0);
      EndEngine();
    }
  }
}

TEST_F(EngineStartTest, EntryPointsRunOnce) {
  EXPECT_EQ(EndEngine(), 0);
  EXPECT_TRUE(g_calls.empty());
  ASSERT_EQ(InitEngine(), 0);
  g_calls.clear();
  EXPECT_EQ(InitEngine(), 0);
  EXPECT_TRUE(g_calls.empty());
  EXPECT_EQ(EndEngine(), 0);
  g_calls.clear();
  EXPECT_EQ(InitEngine(), 0);  // again after an end
  EXPECT_EQ(g_calls, kStartOrder);
  EndEngine();
}

TEST_F(EngineStartTest, FullscreenSizeMissingFromTheModeListStartsWindowed) {
  g_engine.window_mode = 0;
  g_modes = {{800, 600}};
  ASSERT_EQ(InitEngine(), 0);
  EXPECT_EQ(g_engine.window_mode, 1);
  EXPECT_EQ(g_calls, kStartOrder);  // windowed: no forced foreground
  EndEngine();
}

TEST_F(EngineStartTest, FullscreenStartBringsTheWindowForward) {
  g_engine.window_mode = 0;
  ASSERT_EQ(InitEngine(), 0);
  EXPECT_EQ(g_engine.window_mode, 0);
  std::vector<std::string> expected = kStartOrder;
  expected.insert(expected.begin() + 14, "window force_foreground");
  EXPECT_EQ(g_calls, expected);
  EndEngine();
}

TEST_F(EngineStartTest, ComStartsOnceAndEndsOnce) {
  ResetEngineSubsystems();
  g_engine.com_started = 0;
  EXPECT_EQ(StartComLibrary(), 0);
  EXPECT_EQ(StartComLibrary(), -1);
  EXPECT_EQ(EndComLibrary(), 0);
  EXPECT_EQ(EndComLibrary(), -1);
  EXPECT_NE(Log().find("ＣＯＭの初期化... 成功しました"), std::string::npos);
  EXPECT_NE(Log().find("ＣＯＭを終了... 完了"), std::string::npos);
}

}  // namespace
