// The program's spine in-process: the frame pacing, and shutdown after the
// window was closed (the scene ends while the engine still runs).
#include <gtest/gtest.h>

#include <vector>

#include "engine/core/engine_state.h"
#include "engine/core/window.h"
#include "engine/graphics/graphics.h"
#include "game/program.h"
#include "game/scene.h"
#include "game/settings.h"
#include "tests/support/temp_dir.h"

namespace {

// A clock that moves by 100 us at each read and, when the pacer sleeps, to
// the time it sleeps until (plus an oversleep, as a real sleep may wake
// late); a frame's work takes time as well.
struct FakeClock {
  static constexpr int64_t kRead = 100;
  int64_t now = 0;
  int64_t oversleep = 0;
  int sleeps = 0;
  int64_t read() { return now += kRead; }
  void sleep_until(int64_t t) {
    ++sleeps;
    if (now < t) now = t + oversleep;
  }
  // A frame that takes `work` microseconds, then its wait; the time waited.
  int64_t frame(int64_t* base, int64_t work) {
    now += work;
    int64_t before = now;
    wait_for_frame_end(
        base, [this] { return read(); }, [this](int64_t t) { sleep_until(t); });
    return now - before;
  }
};

TEST(FramePacing, ALateFrameIsFollowedByShorterWaitsUntilTheRateIsKept) {
  FakeClock clock;
  int64_t base = 0;
  // An ordinary frame sleeps once, to the end of its period (no spin on the
  // clock), and the base moves on by 16667.
  clock.frame(&base, 1000);
  EXPECT_EQ(base, 16667);
  EXPECT_GE(clock.now, 16667);
  EXPECT_LT(clock.now, 16667 + 2 * FakeClock::kRead);
  EXPECT_EQ(clock.sleeps, 1);
  // A frame of 50 ms: the next frames do not wait until the base has caught
  // up with the clock; then the periods are whole again.
  int64_t start = clock.now;
  EXPECT_LE(clock.frame(&base, 50000), FakeClock::kRead);
  EXPECT_LE(clock.frame(&base, 1000), FakeClock::kRead);
  EXPECT_LE(clock.frame(&base, 1000), FakeClock::kRead);
  EXPECT_EQ(clock.sleeps, 1);
  EXPECT_GT(clock.frame(&base, 1000), 0);
  EXPECT_EQ(clock.sleeps, 2);
  EXPECT_EQ(base, 5 * 16667);
  EXPECT_GE(clock.now, 5 * 16667);
  EXPECT_LT(clock.now, 5 * 16667 + 2 * FakeClock::kRead);
  EXPECT_GT(clock.now - start, 50000 + 3000);
  // A sleep that wakes late makes that frame late, not the schedule: the
  // base still moves on by exactly one period.
  clock.oversleep = 400;
  clock.frame(&base, 1000);
  EXPECT_EQ(base, 6 * 16667);
  EXPECT_LT(clock.now, 6 * 16667 + 400 + 2 * FakeClock::kRead);
  clock.oversleep = 0;
  clock.frame(&base, 1000);
  EXPECT_EQ(base, 7 * 16667);
  EXPECT_LT(clock.now, 7 * 16667 + 2 * FakeClock::kRead);
  EXPECT_EQ(clock.sleeps, 4);
}

// A scene that notes whether the engine still ran when it ended.
struct Witness : Scene {
  explicit Witness(std::vector<int>* seen) : seen_(seen) {}
  ~Witness() override {
    seen_->push_back(g_engine.initialised);
    seen_->push_back(IsGraphicsStarted());
  }
  bool update() override { return true; }
  std::vector<int>* seen_;
};

class ProgramTest : public TempDirTest {};

TEST_F(ProgramTest, ClosingTheWindowEndsTheSceneBeforeTheEngine) {
  ASSERT_TRUE(init_screen());
  EXPECT_EQ(IsWindowMode(), 1);  // no settings file: a window
  std::vector<int> seen;
  current_scene = new Witness(&seen);
  current_scene_number = kSceneTitle;
  requested_scene = kSceneTitle;
  EXPECT_TRUE(run_frame());
  PostMessageA(GetMainWindow(), WM_CLOSE, 0, 0);
  int frames = 0;
  while (run_frame() && frames < 100) ++frames;
  EXPECT_EQ(frames, 0);
  EXPECT_TRUE(seen.empty());  // the loop ended without ending the scene
  EXPECT_TRUE(end_game());
  EXPECT_EQ(seen, (std::vector<int>{1, 1}));
  EXPECT_EQ(current_scene, nullptr);
  EXPECT_EQ(g_engine.initialised, 0);
}

TEST_F(ProgramTest, FullScreenFromTheSettingsFileIsLeftToTheEngine) {
  WriteFile("Voxaldrift.ini", "[Custom]\r\nFullScreen=1\r\nWideScreen=1\r\n");
  ChangeWindowMode(0);  // the engine's default, which an earlier test changed
  ASSERT_TRUE(init_screen());
  EXPECT_TRUE(FullScreen);
  EXPECT_TRUE(WideScreen);
  EXPECT_EQ(IsWindowMode(), 0);
  EXPECT_DOUBLE_EQ(g_engine.window_scale, 1.5);  // for when it goes back to a window
  EXPECT_TRUE(end_game());
}

}  // namespace
