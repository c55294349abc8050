// Start-up and shutdown order, the teardown after a failing step, and the
// entry points' once-only behaviour, over a services table that records
// every call.
#include "engine/core/engine_start.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/core/engine_state.h"
#include "engine/core/window.h"
#include "tests/support/engine_fixture.h"

namespace {

std::vector<std::string> g_calls;
std::map<std::string, int> g_results;  // a step's result when not 0
std::vector<std::pair<int, int>> g_modes;  // the display-mode list the fake offers
int g_desktop_bits = 32;
int g_requested_depth = 16;

int Record(const char* name) {
  g_calls.push_back(name);
  auto found = g_results.find(name);
  return found == g_results.end() ? 0 : found->second;
}

#define RECORDER(name) \
  int name() { return Record(#name); }
RECORDER(build_movie_tables)
RECORDER(init_archive_table)
RECORDER(install_file_layer)
RECORDER(start_log)
RECORDER(check_environment)
RECORDER(fill_stream_tables)
RECORDER(clear_restore_handler)
RECORDER(start_com)
RECORDER(create_main_window)
RECORDER(open_input)
RECORDER(start_sound)
RECORDER(start_graphics)
RECORDER(start_text_input)
RECORDER(force_foreground)
RECORDER(start_screen_log)
RECORDER(start_model_runtime)
RECORDER(end_screen_log)
RECORDER(end_network)
RECORDER(end_music)
RECORDER(end_model_runtime)
RECORDER(end_graphics)
RECORDER(close_input)
RECORDER(end_sound)
RECORDER(destroy_main_window)
RECORDER(end_com)
RECORDER(end_soft_images)
RECORDER(end_log)
RECORDER(close_unused_archives)
RECORDER(dump_tracked_blocks)
#undef RECORDER

int set_vsync_wait(int on) { return Record(on ? "set_vsync_wait(1)" : "set_vsync_wait(0)"); }
int select_draw_screen(int screen) { return Record(screen == -2 ? "select_draw_screen(-2)" : "select_draw_screen(-4)"); }
int desktop_bits() { return g_desktop_bits; }
int requested_depth() { return g_requested_depth; }
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

EngineServices RecordingServices() {
  EngineServices s{};
  s.requested_screen_size = requested_size;
  s.requested_screen_depth = requested_depth;
  s.display_mode_count = mode_count;
  s.display_mode = mode_at;
  s.build_movie_tables = build_movie_tables;
  s.init_archive_table = init_archive_table;
  s.install_file_layer = install_file_layer;
  s.start_log = start_log;
  s.desktop_bits_per_pixel = desktop_bits;
  s.check_environment = check_environment;
  s.fill_stream_tables = fill_stream_tables;
  s.clear_restore_handler = clear_restore_handler;
  s.start_com = start_com;
  s.create_main_window = create_main_window;
  s.open_input = open_input;
  s.start_sound = start_sound;
  s.start_graphics = start_graphics;
  s.start_text_input = start_text_input;
  s.set_vsync_wait = set_vsync_wait;
  s.force_foreground = force_foreground;
  s.start_screen_log = start_screen_log;
  s.select_draw_screen = select_draw_screen;
  s.start_model_runtime = start_model_runtime;
  s.end_screen_log = end_screen_log;
  s.end_network = end_network;
  s.end_music = end_music;
  s.end_model_runtime = end_model_runtime;
  s.end_graphics = end_graphics;
  s.close_input = close_input;
  s.end_sound = end_sound;
  s.destroy_main_window = destroy_main_window;
  s.end_com = end_com;
  s.end_soft_images = end_soft_images;
  s.end_log = end_log;
  s.close_unused_archives = close_unused_archives;
  s.dump_tracked_blocks = dump_tracked_blocks;
  return s;
}

const std::vector<std::string> kStartOrder = {
    "build_movie_tables", "init_archive_table", "install_file_layer", "start_log",
    "check_environment", "fill_stream_tables", "clear_restore_handler", "start_com",
    "create_main_window", "open_input", "start_sound", "start_graphics",
    "start_text_input", "set_vsync_wait(1)", "start_screen_log", "select_draw_screen(-2)",
    "select_draw_screen(-4)", "start_model_runtime"};

const std::vector<std::string> kEndOrder = {
    "end_screen_log", "end_network", "end_music", "end_model_runtime", "end_graphics",
    "close_input", "end_sound", "destroy_main_window", "end_com", "end_soft_images",
    "end_log", "close_unused_archives", "dump_tracked_blocks"};

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
    EngineServices s = RecordingServices();
    SetEngineServices(&s);
  }
  void TearDown() override {
    SetEngineServices(nullptr);
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
  } kCases[] = {{"create_main_window", -1}, {"open_input", -1}, {"start_graphics", -1}, {"start_graphics", -2}};
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
  g_results = {{"start_sound", -1}};
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
      EXPECT_EQ(g_calls, StartUpTo("start_log"));
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
  expected.insert(expected.begin() + 14, "force_foreground");
  EXPECT_EQ(g_calls, expected);
  EndEngine();
}

TEST_F(EngineStartTest, ComStartsOnceAndEndsOnce) {
  SetEngineServices(nullptr);
  g_engine.com_started = 0;
  EXPECT_EQ(StartComLibrary(), 0);
  EXPECT_EQ(StartComLibrary(), -1);
  EXPECT_EQ(EndComLibrary(), 0);
  EXPECT_EQ(EndComLibrary(), -1);
  EXPECT_NE(Log().find("ＣＯＭの初期化... 成功しました"), std::string::npos);
  EXPECT_NE(Log().find("ＣＯＭを終了... 完了"), std::string::npos);
}

}  // namespace
