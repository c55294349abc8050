// A scripted key press and typed text travel the program's whole road: SDL's
// event queue, the window layer's pump and window procedure, the engine's
// keyboard and the active text input.

#include <cstring>

#include "platform/win32/window.h"
#include "tests/engine/input/input_fixture.h"

namespace {

LRESULT InputWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CHAR:
      QueueCharMessage(wparam);
      return 0;
    case WM_KEYDOWN:
      QueueEditKeyMessage(wparam);
      return 0;
    case WM_IME_STARTCOMPOSITION:
    case WM_IME_ENDCOMPOSITION:
    case WM_IME_COMPOSITION:
    case WM_IME_SETCONTEXT:
    case WM_IME_NOTIFY:
      return ProcessImeMessage(window, message, wparam, lparam);
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

class WindowPathTest : public InputTest {
 protected:
  void SetUp() override {
    InputTest::SetUp();
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = InputWindowProc;
    wc.lpszClassName = "InputWindowPath";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    window_ = CreateWindowExA(0, "InputWindowPath", "input", WS_POPUP, 0, 0, 64, 48, nullptr, nullptr, nullptr,
                              nullptr);
    ASSERT_NE(window_, nullptr);
    id_ = SDL_GetWindowID(GetSdlWindow(window_));
    StartTextInputSystem();
    ASSERT_EQ(OpenInputDevices(), 0);
  }
  void TearDown() override {
    FreeAllTextInputs();
    if (window_) DestroyWindow(window_);
    UnregisterClassA("InputWindowPath", nullptr);
    InputTest::TearDown();
  }
  void Pump() {
    MSG msg;
    for (int pass = 0; pass < 5; ++pass)
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
  }
  void Key(SDL_Scancode scancode, SDL_Keycode sym, bool down) { ASSERT_EQ(PushKeyEvent(id_, scancode, sym, down), 1); }
  void Text(const char* utf8) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    e.text.windowID = id_;
    std::snprintf(e.text.text, sizeof e.text.text, "%s", utf8);
    ASSERT_EQ(SDL_PushEvent(&e), 1);
  }
  HWND window_ = nullptr;
  uint32_t id_ = 0;
};

TEST_F(WindowPathTest, KeyPressReachesKeyboardAndTextInput) {
  int h = NewTextInput(10, 0, 0, 0);
  FocusTextInput(h);
  Text("ab");
  Key(SDL_SCANCODE_LEFT, SDLK_LEFT, true);
  Pump();
  EXPECT_EQ(IsKeyDown(0xCB), 1);
  EXPECT_EQ(ReadPadBits(0x1000), 0x0002);
  Key(SDL_SCANCODE_LEFT, SDLK_LEFT, false);
  Text((const char*)u8"ｘ");  // a full-width letter: two bytes in code page 932
  Key(SDL_SCANCODE_RETURN, SDLK_RETURN, true);
  Pump();
  EXPECT_EQ(IsKeyDown(0xCB), 0);
  EXPECT_EQ(IsKeyDown(0x1C), 1);
  ASSERT_EQ(UpdateTextInput(), 0);
  char text[11];
  ASSERT_EQ(CopyTextInputString(text, h), 0);
  EXPECT_STREQ(text, "aｘb");
  EXPECT_EQ(PollTextInputState(h), 1);  // Return ended it
}

}  // namespace
