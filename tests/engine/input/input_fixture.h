// Engine input over the real keyboard and pad layer: virtual SDL joysticks,
// key presses pushed into SDL's event queue, the real clipboard, and a
// window-side host whose activation the test controls in place of the
// engine's main window.
#pragma once

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <string>

#include "engine/core/engine_state.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "engine/core/window.h"
#include "engine/input/input.h"
#include "engine/input/input_internal.h"
#include "platform/dinput/dinput_control.h"
#include "platform/ime/ime.h"
#include "tests/platform/dinput/virtual_pad.h"
#include "tests/platform/ime/editing_event.h"
#include "tests/support/key_press.h"

class InputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogOutput(0);
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    // The DirectInput keyboard: a pushed key signals the device, so the next
    // read sees it even within the same millisecond.
    g_environment.os_version = 0;
    current_ = this;
    // Time stands still unless the test moves it.
    now_ms_ = 1000;
    SetMillisecondClock([] { return now_ms_; });
    InputHost host{};
    host.wait_while_inactive = [] {};
    host.is_end_requested = [] { return current_->ending_; };
    host.is_app_active = [] { return current_->active_; };
    host.process_messages = [] { return 0; };
    host.main_window = []() -> void* { return &current_->window_tag_; };
    SetInputHost(&host);
    WriteClipboardText("");
    DInputClearFailures();
    DInputResetKeyboard();
    StartTextInputSystem();
  }
  void TearDown() override {
    FreeAllTextInputs();
    CloseInputDevices();
    g_input.joystick_mode = 0;
    for (VirtualPad& p : pads_) p.Detach();
    DInputClearFailures();
    DInputResetKeyboard();
    SetInputHost(nullptr);
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    SetMillisecondClock(nullptr);
    current_ = nullptr;
  }
  // The engine's millisecond clock moves on; it keeps 31 bits.
  static void Advance(int milliseconds) { now_ms_ = (int)(((uint32_t)now_ms_ + (uint32_t)milliseconds) & 0x7FFFFFFFu); }

  void AttachPads(int count) {
    for (int i = 0; i < count; ++i) ASSERT_TRUE(pads_[i].Attach(i == 0 ? "first" : "second"));
  }
  // An SDL text-editing event through the input-method stand-in to the
  // engine, as the window would hand its messages on.
  void DeliverEditing(const char* utf8, int start, int length) { DeliverEvent(EditingEvent(utf8, start, length)); }
  void DeliverEvent(const SDL_Event& e) {
    ImeMessage m[4];
    int n = ImeTranslateSdlEvent(&e, m, 4);
    for (int i = 0; i < n; ++i) ProcessImeMessage(&window_tag_, m[i].message, m[i].wparam, m[i].lparam);
  }
  // The clipboard's text ("" when it holds none).
  static std::string Clipboard() {
    int size = ReadClipboardText(nullptr, 0);
    if (size <= 0) return "";
    std::string text((size_t)size, '\0');
    EXPECT_EQ(ReadClipboardText(text.data(), (size_t)size), 0);
    text.resize((size_t)size - 1);
    return text;
  }
  static void PushKey(SDL_Scancode scancode, bool down) {
    ASSERT_EQ(PushKeyEvent(0, scancode, SDLK_UNKNOWN, down), 1) << SDL_GetError();
  }

  static InputTest* current_;
  static inline int now_ms_ = 0;
  int active_ = 1;
  int ending_ = 0;
  int window_tag_ = 0;
  VirtualPad pads_[2];
};
