// The engine started with only the core's own subsystems (and the hooks a
// test puts in with ReplaceEngineHook) and a real main window
// (SDL's dummy video driver in tests), and scripted SDL events for it.
#pragma once

#include <SDL.h>

#include <atomic>
#include <string>

#include "engine/core/engine_start.h"
#include "engine/core/engine_state.h"
#include "engine/core/engine_subsystem.h"
#include "engine/core/window.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/key_press.h"

class EngineWindowTest : public EngineLogTest {
 protected:
  void SetUp() override {
    EngineLogTest::SetUp();
    SetDesktopOverrideForTesting(&kDesktop);
    // Every reading of the engine's clock moves it on by 10 ms, so the
    // waits of start-up (the window's first 200 ms, the processor's clock
    // measure) pass without real time passing.
    SetMillisecondClock([] { return clock_ms_ += 10; });
    ResetEngineSubsystems();
    g_engine.window_mode = 1;
    g_engine.window_scale = 1.0;
    g_engine.allow_double_start = 1;
    std::string title = std::string("VoxTest-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    SetWindowTitle(title.c_str());
  }
  void TearDown() override {
    EndEngine();
    ResetEngineSubsystems();
    SetMillisecondClock(nullptr);
    SetDesktopOverrideForTesting(nullptr);
    EngineLogTest::TearDown();
  }
  void Start() {
    ASSERT_EQ(InitEngine(), 0);
    ASSERT_NE(GetMainWindow(), nullptr);
  }
  uint32_t WindowId() { return SDL_GetWindowID(GetSdlWindow(GetMainWindow())); }
  void PushWindowEvent(uint8_t kind) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = WindowId();
    e.window.event = kind;
    SDL_PushEvent(&e);
  }
  void PushKey(SDL_Keycode key, uint16_t mod = 0) {
    PushKeyEvent(WindowId(), SDL_GetScancodeFromKey(key), key, true, mod);
  }
  void PushText(const char* utf8) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    e.text.windowID = WindowId();
    SDL_strlcpy(e.text.text, utf8, sizeof e.text.text);
    SDL_PushEvent(&e);
  }

  static constexpr VoxDesktopOverride kDesktop{1920, 1080, 32};
  static inline std::atomic<int> clock_ms_{1000};
};
