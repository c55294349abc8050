// The message step over scripted SDL events: close, activation, typed
// characters and navigation keys, passes of five, dropped files.
#include <gtest/gtest.h>

#include <vector>

#include "engine/core/util.h"
#include "tests/engine/core/window_test_support.h"

namespace {

std::vector<uintptr_t> g_chars;
std::vector<uintptr_t> g_edit_keys;
int QueueChar(uintptr_t code) {
  g_chars.push_back(code);
  return 0;
}
int QueueEditKey(uintptr_t key) {
  g_edit_keys.push_back(key);
  return 0;
}

class WindowMessageTest : public EngineWindowTest {
 protected:
  void SetUp() override {
    EngineWindowTest::SetUp();
    g_chars.clear();
    g_edit_keys.clear();
    ReplaceEngineHook(SubsystemId::Input, &EngineSubsystem::queue_char, QueueChar);
    ReplaceEngineHook(SubsystemId::Input, &EngineSubsystem::queue_edit_key, QueueEditKey);
  }
};

TEST_F(WindowMessageTest, CloseEndsTheMessageStep) {
  Start();
  EXPECT_EQ(ProcessEngineMessages(), 0);
  PushWindowEvent(SDL_WINDOWEVENT_CLOSE);
  EXPECT_EQ(ProcessEngineMessages(), -1);
  EXPECT_EQ(g_engine.quit, 1);
  EXPECT_EQ(g_engine.destroyed, 1);
  EXPECT_EQ(g_engine.ending, 4);  // closed by the user
  EXPECT_EQ(GetQuitFlag(), 1);
  EXPECT_EQ(ProcessEngineMessages(), -1);
  EXPECT_EQ(EndEngine(), 0);
  EXPECT_EQ(GetMainWindow(), nullptr);
  EXPECT_NE(Log().find("ウインドウが破棄されようとしています"), std::string::npos);
}

TEST_F(WindowMessageTest, CharactersAndNavigationKeysReachTheInputQueue) {
  Start();
  PushText("a");
  PushText(reinterpret_cast<const char*>(u8"あ"));
  PushKey(SDLK_LEFT);
  PushKey(SDLK_PAGEDOWN);
  PushKey(SDLK_v, KMOD_LCTRL);
  PushKey(SDLK_RETURN);
  PushKey(SDLK_BACKSPACE);
  while (ProcessEngineMessages() == 0 && g_chars.size() < 6) {
  }
  // "あ" is 0x82 0xA0 in code page 932, delivered byte by byte.
  EXPECT_EQ(g_chars, (std::vector<uintptr_t>{0x61, 0x82, 0xA0, 0x16, 0x0D, 0x08}));
  // Every key-down goes to the edit-key queue, which picks the ones it knows.
  EXPECT_EQ(g_edit_keys, (std::vector<uintptr_t>{VK_LEFT, VK_NEXT, 'V', VK_RETURN, VK_BACK}));
}

int g_refills = -1;  // counting once the window has lost its focus
uint32_t g_window_id = 0;
// The stream refill of the message step: the twentieth while the window is
// parked gives the window its focus back.
int RefillThenActivate() {
  if (g_refills >= 0 && ++g_refills == 20) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = g_window_id;
    e.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    SDL_PushEvent(&e);
  }
  return 0;
}

TEST_F(WindowMessageTest, InactiveWindowParksTheStepUntilActivated) {
  ReplaceEngineHook(SubsystemId::Sound, &EngineSubsystem::pump, RefillThenActivate);
  ReplaceEngineHook(SubsystemId::Sound, &EngineSubsystem::pump_parked, RefillThenActivate);
  g_refills = -1;
  Start();
  g_window_id = WindowId();
  g_refills = 0;
  PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
  // One call: it returns only once the window is active again, and feeds the
  // stream sounds meanwhile.
  EXPECT_EQ(ProcessEngineMessages(), 0);
  EXPECT_EQ(IsAppActive(), 1);
  EXPECT_GE(g_refills, 20);
  g_refills = -1;
}

TEST_F(WindowMessageTest, RunWhileInactiveNeverParks) {
  SetRunWhileInactive(1);
  Start();
  PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
  EXPECT_EQ(ProcessEngineMessages(), 0);
  EXPECT_EQ(IsAppActive(), 0);
}

TEST_F(WindowMessageTest, CloseWhileParkedEndsTheStep) {
  Start();
  PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
  PushWindowEvent(SDL_WINDOWEVENT_CLOSE);
  EXPECT_EQ(ProcessEngineMessages(), -1);
}

TEST_F(WindowMessageTest, ManyMessagesAreHandledAcrossPassesOfOneCall) {
  Start();
  for (int i = 0; i < 12; i++) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = WindowId();
    e.wheel.y = i < 9 ? 1 : -1;
    SDL_PushEvent(&e);
  }
  EXPECT_EQ(ProcessEngineMessages(), 0);
  EXPECT_EQ(g_engine.wheel, 9 - 3);
}

TEST_F(WindowMessageTest, DroppedFilesAreKeptUpToAThousand) {
  Start();
  SDL_Event e{};
  e.type = SDL_DROPBEGIN;
  e.drop.windowID = WindowId();
  SDL_PushEvent(&e);
  for (int i = 0; i < 1200; i++) {
    e.type = SDL_DROPFILE;
    std::string name = "/tmp/file" + std::to_string(i) + ".png";
    e.drop.file = SDL_strdup(name.c_str());
    SDL_PushEvent(&e);
  }
  e.type = SDL_DROPCOMPLETE;
  e.drop.file = nullptr;
  SDL_PushEvent(&e);
  EXPECT_EQ(ProcessEngineMessages(), 0);
  ASSERT_EQ(g_engine.dropped_count, MAX_DROPPED_FILES);
  EXPECT_STREQ(g_engine.dropped_files[0], "/tmp/file0.png");
  EXPECT_STREQ(g_engine.dropped_files[999], "/tmp/file999.png");
}

TEST_F(WindowMessageTest, SecondCopyIsRefusedUnlessAllowed) {
  Start();
  // The same class name again, as a second copy of the program would use.
  EngineState running = g_engine;
  g_engine.allow_double_start = 0;
  g_engine.window = nullptr;
  EXPECT_EQ(CreateMainWindow(), -1);
  EXPECT_EQ(g_engine.quit, 1);
  EXPECT_NE(Log().find("二重起動されています、ソフトを終了します"), std::string::npos);
  g_engine = running;
}

}  // namespace

namespace {

struct Click {
  int button, x, y;
};
std::vector<Click> g_clicks;
void LogClick(int button, int x, int y) { g_clicks.push_back({button, x, y}); }

TEST_F(WindowMessageTest, ClicksAreLoggedAtDrawingPositions) {
  g_clicks.clear();
  ReplaceEngineHook(SubsystemId::Input, &EngineSubsystem::log_mouse_click, LogClick);
  SetWindowScale(2.0);
  Start();
  const struct {
    uint8_t button;
    int want;
  } kButtons[] = {{SDL_BUTTON_LEFT, 1}, {SDL_BUTTON_RIGHT, 2}, {SDL_BUTTON_MIDDLE, 4}};
  for (const auto& b : kButtons) {
    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.windowID = WindowId();
    e.button.button = b.button;
    e.button.x = 100;
    e.button.y = 50;
    SDL_PushEvent(&e);
    e.type = SDL_MOUSEBUTTONUP;
    SDL_PushEvent(&e);
  }
  EXPECT_EQ(ProcessEngineMessages(), 0);
  ASSERT_EQ(g_clicks.size(), 3u);
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(g_clicks[i].button, kButtons[i].want);
    EXPECT_EQ(g_clicks[i].x, 50);
    EXPECT_EQ(g_clicks[i].y, 25);
  }
}

}  // namespace
