// The input method's messages reach a real window's procedure through SDL's
// event queue and the window layer's pump.

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/ime/ime.h"
#include "platform/win32/window.h"

namespace {

std::vector<UINT> g_messages;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message >= WM_IME_STARTCOMPOSITION && message <= WM_IME_COMPOSITION) g_messages.push_back(message);
  if (message == WM_IME_NOTIFY || message == WM_CHAR) g_messages.push_back(message);
  return DefWindowProcA(window, message, wparam, lparam);
}

TEST(ImeEvents, TextEventsReachTheWindowProcedure) {
  ImeResetForTesting();
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = RecordingProc;
  wc.lpszClassName = "ImeEventsTest";
  ASSERT_NE(RegisterClassExA(&wc), 0);
  HWND window = CreateWindowExA(0, "ImeEventsTest", "ime", WS_POPUP, 0, 0, 64, 48, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  ImeWatchSdlEvents();

  uint32_t id = SDL_GetWindowID(GetSdlWindow(window));
  SDL_Event e{};
  e.type = SDL_TEXTEDITING;
  e.edit.windowID = id;
  std::snprintf(e.edit.text, sizeof e.edit.text, "%s", (const char*)u8"か");
  ASSERT_EQ(SDL_PushEvent(&e), 1);
  SDL_Event t{};
  t.type = SDL_TEXTINPUT;
  t.text.windowID = id;
  std::snprintf(t.text.text, sizeof t.text.text, "%s", (const char*)u8"下");
  ASSERT_EQ(SDL_PushEvent(&t), 1);

  g_messages.clear();
  MSG msg;
  for (int pass = 0; pass < 10; ++pass) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  const std::vector<UINT> expected = {WM_IME_NOTIFY,      WM_IME_STARTCOMPOSITION, WM_IME_COMPOSITION,
                                      WM_IME_COMPOSITION, WM_IME_ENDCOMPOSITION,   WM_CHAR,
                                      WM_CHAR};
  EXPECT_EQ(g_messages, expected);
  DestroyWindow(window);
  UnregisterClassA("ImeEventsTest", nullptr);
}

}  // namespace
