// Losing and regaining activation on the hardware path, and display changes:
// what ends the program and what it rides out. The software path, with the
// subsystems the assembled engine registers, is tests/engine/e2e's
// fullscreen_activation_test.
#include <gtest/gtest.h>

#include "engine/core/util.h"
#include "tests/engine/core/window_test_support.h"

namespace {

int g_restore_handler = 1;
int g_held = 0, g_resumed = 0, g_restored = 0;
int Hardware() { return 1; }
int HasDirectDraw() { return 1; }
int HasRestoreHandler() { return g_restore_handler; }
int Hold() { return ++g_held, 0; }
int Resume() { return ++g_resumed, 0; }
int Restore() { return ++g_restored, 0; }

class WindowActivationTest : public EngineWindowTest {
 protected:
  void SetUp() override {
    EngineWindowTest::SetUp();
    g_held = g_resumed = g_restored = 0;
    g_restore_handler = 1;
    EngineSubsystem graphics{.id = SubsystemId::Graphics};
    graphics.is_hardware_rendering = Hardware;
    graphics.has_directdraw = HasDirectDraw;
    graphics.has_restore_handler = HasRestoreHandler;
    graphics.restore_graphics_device = Restore;
    ReplaceEngineSubsystem(graphics);
    ReplaceEngineSubsystem({.id = SubsystemId::Movies, .resume_movies = Resume, .hold_movies = Hold});
    SetRunWhileInactive(1);
  }
};

// The engine's default reload of graphs counts as a restore handler, so
// switching away from a fullscreen game and back keeps it running.
TEST_F(WindowActivationTest, FullscreenRidesOutLosingTheScreenWithARestoreHandler) {
  g_engine.window_mode = 0;
  Start();
  PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
  EXPECT_EQ(ProcessEngineMessages(), 0);
  EXPECT_EQ(IsEndRequested(), 0);
  EXPECT_GE(g_held, 1);  // WM_ACTIVATE and WM_ACTIVATEAPP both report the loss
  PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
  EXPECT_EQ(ProcessEngineMessages(), 0);
  EXPECT_EQ(IsAppActive(), 1);
  EXPECT_EQ(g_restored, 1);
  EXPECT_EQ(g_resumed, 1);
}

TEST_F(WindowActivationTest, FullscreenWithoutAnyRestoreHandlerCloses) {
  g_restore_handler = 0;
  g_engine.window_mode = 0;
  Start();
  PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
  int result = 0;
  for (int i = 0; i < 10 && result == 0; i++) result = ProcessEngineMessages();
  EXPECT_EQ(result, -1);
  EXPECT_EQ(IsEndRequested(), 1);
  EXPECT_NE(Log().find("復元関数が登録されていないため終了します"), std::string::npos);
}

TEST_F(WindowActivationTest, DisplayChangesInAWindow) {
  Start();
  const struct {
    WPARAM bits;
    int width, height;
    bool ends;
  } kCases[] = {{32, 1280, 1024, false}, {16, 800, 600, false}, {24, 1280, 1024, true}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.bits);
    g_engine.mode_change_done = 0;
    SendMessageA(GetMainWindow(), WM_DISPLAYCHANGE, c.bits, MAKELPARAM(c.width, c.height));
    EXPECT_EQ(IsEndRequested(), c.ends ? 1 : 0);
    EXPECT_EQ(g_engine.mode_change_done, c.ends ? 0 : 1);
  }
  EXPECT_NE(Log().find("２４ビットカラーに変更されたため終了します"), std::string::npos);
}

TEST_F(WindowActivationTest, ADesktopSmallerThanTheScreenEnds) {
  Start();
  SendMessageA(GetMainWindow(), WM_DISPLAYCHANGE, 32, MAKELPARAM(600, 400));
  EXPECT_EQ(IsEndRequested(), 1);
}

TEST_F(WindowActivationTest, ModeSwitchesReturnPromptly) {
  Start();
  int start = GetMillisecondCount();
  EXPECT_EQ(ChangeWindowMode(0), 0);
  EXPECT_EQ(ChangeWindowMode(1), 0);
  // Neither switch changes a display mode, so neither may wait the 2000 ms
  // allowed for one. The test's clock moves only as the engine reads it, so
  // a wait would show as 2000 ms here whatever the machine's speed.
  EXPECT_LT(GetMillisecondCount() - start, 1000);
  EXPECT_EQ(IsEndRequested(), 0);
}

}  // namespace
