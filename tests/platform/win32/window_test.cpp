// The window-system stand-in: windows, the message pump over SDL events,
// posted and thread messages, timers, clipboard text and display modes.
#include "platform/win32/window.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/platform/win32/test_util.h"

namespace {

struct Seen {
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
};
std::vector<Seen> g_seen;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  g_seen.push_back({message, wparam, lparam});
  return DefWindowProcA(window, message, wparam, lparam);
}

class WindowSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_seen.clear();
    class_name_ = std::string("VoxWindowSystemTest-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = class_name_.c_str();
    ASSERT_NE(RegisterClassExA(&wc), 0);
    window_ = CreateWindowExA(0, class_name_.c_str(), "test", WS_POPUP | WS_CAPTION, 10, 20, 200, 150, nullptr,
                              nullptr, nullptr, nullptr);
    ASSERT_NE(window_, nullptr);
    ShowWindow(window_, SW_SHOW);
    Drain();
    g_seen.clear();
  }
  void TearDown() override {
    if (IsWindow(window_)) DestroyWindow(window_);
    Drain();
    UnregisterClassA(class_name_.c_str(), nullptr);
  }
  // Dispatches everything waiting; returns the messages taken.
  std::vector<MSG> Drain() {
    std::vector<MSG> taken;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      taken.push_back(msg);
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    return taken;
  }
  bool SawMessage(UINT message) {
    for (const Seen& s : g_seen)
      if (s.message == message) return true;
    return false;
  }
  void Push(SDL_Event e) { SDL_PushEvent(&e); }
  SDL_Event WindowEvent(uint8_t kind) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(GetSdlWindow(window_));
    e.window.event = kind;
    return e;
  }
  std::string class_name_;
  HWND window_ = nullptr;
};

TEST_F(WindowSystemTest, CreateSendsCreateAndDestroySendsDestroy) {
  g_seen.clear();
  HWND second = CreateWindowExA(0, class_name_.c_str(), "two", WS_POPUP, 0, 0, 50, 40, nullptr, nullptr, nullptr,
                                nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(SawMessage(WM_CREATE));
  EXPECT_EQ(FindWindowA(class_name_.c_str(), "two"), second);
  EXPECT_TRUE(DestroyWindow(second));
  EXPECT_TRUE(SawMessage(WM_DESTROY));
  EXPECT_FALSE(IsWindow(second));
  EXPECT_EQ(FindWindowA(class_name_.c_str(), "two"), nullptr);
  EXPECT_FALSE(UnregisterClassA(class_name_.c_str(), nullptr));  // window_ still uses it
}

TEST_F(WindowSystemTest, CloseEventBecomesCloseAndDefaultHandlingDestroys) {
  Push(WindowEvent(SDL_WINDOWEVENT_CLOSE));
  Drain();
  EXPECT_TRUE(SawMessage(WM_CLOSE));
  EXPECT_TRUE(SawMessage(WM_DESTROY));
  EXPECT_FALSE(IsWindow(window_));
}

TEST_F(WindowSystemTest, FocusEventsBecomeActivation) {
  Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST));
  Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED));
  Drain();
  std::vector<std::pair<UINT, WPARAM>> got;
  for (const Seen& s : g_seen)
    if (s.message == WM_ACTIVATE || s.message == WM_ACTIVATEAPP) got.push_back({s.message, s.wparam});
  std::vector<std::pair<UINT, WPARAM>> want = {
      {WM_ACTIVATE, WA_INACTIVE}, {WM_ACTIVATEAPP, 0}, {WM_ACTIVATEAPP, 1}, {WM_ACTIVATE, WA_ACTIVE}};
  EXPECT_EQ(got, want);
}

TEST_F(WindowSystemTest, KeysAndTextBecomeKeyDownAndCharacters) {
  SDL_Event key{};
  key.type = SDL_KEYDOWN;
  key.key.windowID = SDL_GetWindowID(GetSdlWindow(window_));
  key.key.keysym.sym = SDLK_c;
  key.key.keysym.mod = KMOD_RCTRL;
  Push(key);
  key.key.keysym.sym = SDLK_ESCAPE;
  key.key.keysym.mod = 0;
  Push(key);
  SDL_Event text{};
  text.type = SDL_TEXTINPUT;
  text.text.windowID = key.key.windowID;
  strcpy(text.text.text, "\xEF\xBD\xB1z");  // halfwidth katakana A, then z
  Push(text);
  Drain();
  std::vector<std::pair<UINT, WPARAM>> got;
  for (const Seen& s : g_seen)
    if (s.message == WM_KEYDOWN || s.message == WM_CHAR) got.push_back({s.message, s.wparam});
  std::vector<std::pair<UINT, WPARAM>> want = {{WM_KEYDOWN, 'C'},     {WM_CHAR, 0x03}, {WM_KEYDOWN, VK_ESCAPE},
                                               {WM_CHAR, VK_ESCAPE}, {WM_CHAR, 0xB1}, {WM_CHAR, 'z'}};
  EXPECT_EQ(got, want);
}

TEST_F(WindowSystemTest, ThreadMessagesAndFiltersAndPostsFromOtherThreads) {
  std::thread poster([&] { PostMessageA(window_, WM_USER + 7, 1, 2); });
  poster.join();
  PostQuitMessage(3);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, HWND_THREAD_ONLY, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_QUIT);
  ASSERT_TRUE(PeekMessageA(&msg, window_, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, (UINT)WM_USER + 7);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(&msg), WM_USER, 0, 0));  // not a window
}

std::atomic<int> g_ticks{0};
void Tick(HWND, UINT, uintptr_t, DWORD) { g_ticks++; }

TEST_F(WindowSystemTest, TimersRepeatUntilKilled) {
  g_ticks = 0;
  ASSERT_EQ(SetTimer(window_, 32767, 5, Tick), 32767u);
  uint32_t start = SDL_GetTicks();
  while (g_ticks < 3 && SDL_GetTicks() - start < 3000) {
    Drain();
    SDL_Delay(1);
  }
  EXPECT_GE(g_ticks.load(), 3);
  EXPECT_TRUE(KillTimer(window_, 32767));
  SDL_Delay(20);
  int after = g_ticks;
  Drain();
  EXPECT_EQ(g_ticks.load(), after);
  EXPECT_FALSE(KillTimer(window_, 32767));
}

TEST_F(WindowSystemTest, GeometryFollowsTheFrameOfTheStyle) {
  RECT frame{0, 0, 640, 480};
  AdjustWindowRectEx(&frame, 0x80CA0000, FALSE, 0x300);
  EXPECT_LT(frame.left, 0);
  EXPECT_LT(frame.top, frame.left);  // the caption is above
  ASSERT_TRUE(SetWindowPos(window_, HWND_TOP, 100, 50, 400, 300, 0));
  RECT outer, client;
  GetWindowRect(window_, &outer);
  GetClientRect(window_, &client);
  EXPECT_EQ(outer.left, 100);
  EXPECT_EQ(outer.right - outer.left, 400);
  POINT origin{0, 0};
  ClientToScreen(window_, &origin);
  int w, h;
  SDL_GetWindowSize(GetSdlWindow(window_), &w, &h);
  EXPECT_EQ(w, client.right);
  EXPECT_EQ(h, client.bottom);
  EXPECT_GT(origin.y, outer.top);
  EXPECT_TRUE(SawMessage(WM_MOVE));
  EXPECT_TRUE(SawMessage(WM_SIZE));
}

TEST(WindowClipboardTest, CodePage932TextCrossesAsUtf8) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_TRUE(EmptyClipboard());
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 8);
  strcpy(static_cast<char*>(GlobalLock(block)), "\x82\xA0\r\nb");  // "あ", CRLF, "b"
  GlobalUnlock(block);
  EXPECT_NE(SetClipboardData(CF_TEXT, block), nullptr);
  EXPECT_TRUE(CloseClipboard());
  char* utf8 = SDL_GetClipboardText();
  EXPECT_STREQ(utf8, "\xE3\x81\x82\nb");
  SDL_free(utf8);

  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_TRUE(EmptyClipboard());
  block = GlobalAlloc(GMEM_MOVEABLE, 8);
  strcpy(static_cast<char*>(GlobalLock(block)), "\x82\xA0" "a\x81");  // "あ", "a", a lead byte cut off
  GlobalUnlock(block);
  EXPECT_NE(SetClipboardData(CF_TEXT, block), nullptr);
  EXPECT_TRUE(CloseClipboard());
  utf8 = SDL_GetClipboardText();
  EXPECT_STREQ(utf8, "\xE3\x81\x82" "a?");  // what converts is kept
  SDL_free(utf8);

  SDL_SetClipboardText("x\n\xF0\x9F\x98\x80");  // a character code page 932 lacks
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE data = GetClipboardData(CF_TEXT);
  ASSERT_NE(data, nullptr);
  EXPECT_STREQ(static_cast<const char*>(GlobalLock(data)), "x\r\n?");
  GlobalUnlock(data);
  EXPECT_EQ(GetClipboardData(2), nullptr);  // text only
  EXPECT_TRUE(CloseClipboard());
  EXPECT_FALSE(CloseClipboard());
}

TEST(WindowDisplayTest, DesktopReadsAsThirtyTwoBitsAndTheListHas640x480) {
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);  // four bytes a pixel, whatever the depth
  EXPECT_EQ(GetDeviceCaps(screen, PLANES), 1);
  ReleaseDC(nullptr, screen);
  bool has16 = false, has32 = false;
  DEVMODEA mode;
  for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); i++) {
    if (mode.dmPelsWidth == 640 && mode.dmPelsHeight == 480 && mode.dmBitsPerPel == 16) has16 = true;
    if (mode.dmPelsWidth == 640 && mode.dmPelsHeight == 480 && mode.dmBitsPerPel == 32) has32 = true;
  }
  EXPECT_TRUE(has16);
  EXPECT_TRUE(has32);
}

TEST_F(WindowSystemTest, ModeChangeIsAnnouncedAndRestored) {
  VoxDesktopOverride desktop{1280, 1024, 32};
  SetDesktopOverrideForTesting(&desktop);
  DEVMODEA mode{};
  mode.dmPelsWidth = 640;
  mode.dmPelsHeight = 480;
  mode.dmBitsPerPel = 16;
  mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
  EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN_FLAG), 0);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 640);
  EXPECT_EQ(GetDeviceCaps(GetDC(nullptr), BITSPIXEL), 16);
  EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN_FLAG), 0);  // same mode: no second announcement
  EXPECT_EQ(ChangeDisplaySettingsA(nullptr, 0), 0);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280);
  mode.dmPelsWidth = 123;
  EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN_FLAG), -1);
  Drain();
  std::vector<std::pair<WPARAM, LPARAM>> got;
  for (const Seen& s : g_seen)
    if (s.message == WM_DISPLAYCHANGE) got.push_back({s.wparam, s.lparam});
  std::vector<std::pair<WPARAM, LPARAM>> want = {{16, MAKELPARAM(640, 480)}, {32, MAKELPARAM(1280, 1024)}};
  EXPECT_EQ(got, want);
  SetDesktopOverrideForTesting(nullptr);
}

TEST_F(WindowSystemTest, DibIsStretchedIntoTheClientArea) {
  ASSERT_TRUE(SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
  RECT client;
  GetClientRect(window_, &client);
  // A 4 x 2 picture in 5-6-5, bottom-up, shown at twice its size.
  struct {
    BITMAPINFOHEADER header;
    uint32_t masks[3];
  } info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = 4;
  info.header.biHeight = 2;
  info.header.biPlanes = 1;
  info.header.biBitCount = 16;
  info.header.biCompression = BI_BITFIELDS;
  info.masks[0] = 0xF800;
  info.masks[1] = 0x07E0;
  info.masks[2] = 0x001F;
  const uint16_t pixels[8] = {0x001F, 0x07E0, 0xF800, 0xFFFF,   // bottom row: blue green red white
                              0x0000, 0x8410, 0xF81F, 0x07FF};  // top row: black grey magenta cyan
  int rows = StretchDIBitsToWindow(window_, 0, 0, 8, 4, 0, 0, 4, 2, pixels, reinterpret_cast<BITMAPINFO*>(&info));
  EXPECT_EQ(rows, 2);
  std::vector<uint32_t> shown((size_t)client.right * client.bottom);
  ASSERT_EQ(ReadWindowPixels(window_, shown.data(), client.right, client.bottom, client.right * 4), 0);
  auto at = [&](int x, int y) { return shown[(size_t)y * client.right + x]; };
  EXPECT_EQ(at(0, 0), 0x000000u);
  EXPECT_EQ(at(3, 1), 0x848284u);
  EXPECT_EQ(at(5, 0), 0xFF00FFu);
  EXPECT_EQ(at(0, 2), 0x0000FFu);
  EXPECT_EQ(at(3, 3), 0x00FF00u);
  EXPECT_EQ(at(7, 3), 0xFFFFFFu);
  EXPECT_EQ(ReadWindowPixels(window_, shown.data(), 1, 1, 4), -1);  // wrong size
  // A source rectangle whose far edge lies beyond what an int holds is
  // refused, not wrapped round into the bitmap.
  EXPECT_EQ(StretchDIBitsToWindow(window_, 0, 0, 8, 4, INT32_MAX - 1, 0, 4, 2, pixels,
                                  reinterpret_cast<BITMAPINFO*>(&info)),
            0);
  EXPECT_EQ(StretchDIBitsToWindow(window_, 0, 0, 8, 4, 0, INT32_MAX, 4, 2, pixels, reinterpret_cast<BITMAPINFO*>(&info)),
            0);
  info.header.biBitCount = 8;
  EXPECT_EQ(StretchDIBitsToWindow(window_, 0, 0, 8, 4, 0, 0, 4, 2, pixels, reinterpret_cast<BITMAPINFO*>(&info)), 0);
}

}  // namespace

namespace {

// A fullscreen popup covers the desktop; its client area keeps its own size
// and is shown scaled to fit, centred, with black bars where the shapes differ.
TEST_F(WindowSystemTest, FullscreenPopupLetterboxesItsClientArea) {
  SetWindowLongA(window_, GWL_STYLE, (LONG)WS_POPUP);
  SetWindowLongA(window_, GWL_EXSTYLE, (LONG)WS_EX_TOPMOST);
  ASSERT_TRUE(SetWindowPos(window_, HWND_TOPMOST, 0, 0, 400, 300, 0));
  RECT client;
  GetClientRect(window_, &client);
  EXPECT_EQ(client.right, 400);
  EXPECT_EQ(client.bottom, 300);
  ASSERT_TRUE(SDL_GetWindowFlags(GetSdlWindow(window_)) & SDL_WINDOW_FULLSCREEN_DESKTOP);
  SDL_Surface* surface = SDL_GetWindowSurface(GetSdlWindow(window_));
  ASSERT_NE(surface, nullptr);
  int sw = surface->w, sh = surface->h;
  const uint32_t white = 0xFFFFFF;
  ASSERT_EQ(StretchWhiteToWindow(window_, 400, 300), 1);
  std::vector<uint32_t> shown((size_t)sw * sh);
  ASSERT_EQ(ReadWindowPixels(window_, shown.data(), sw, sh, sw * 4), 0);
  double scale = std::min(sw / 400.0, sh / 300.0);
  int w = (int)(400 * scale), h = (int)(300 * scale);
  int x0 = (sw - w) / 2, y0 = (sh - h) / 2;
  EXPECT_EQ(shown[(size_t)(y0 + h / 2) * sw + x0 + w / 2], white);
  EXPECT_EQ(shown[(size_t)(y0 + 1) * sw + x0 + 1], white);
  if (x0 > 0) {
    EXPECT_EQ(shown[(size_t)(sh / 2) * sw + x0 - 1], 0u);
  }
  if (y0 > 0) {
    EXPECT_EQ(shown[(size_t)(y0 - 1) * sw + sw / 2], 0u);
  }
}

TEST_F(WindowSystemTest, ADriverWithoutOpenGLGivesWindowsNoContext) {
  // The dummy video driver of these tests offers no OpenGL: the window is
  // made all the same and draws through its surface.
  EXPECT_FALSE(IsWindowGLCapable(window_));
  EXPECT_TRUE(IsWindowSystemHeadless());
  EXPECT_EQ(CreateWindowGLContext(window_), nullptr);
  EXPECT_FALSE(SwapWindowGL(window_, 0));
  int w = -1;
  EXPECT_FALSE(GetWindowGLDrawableSize(window_, &w, nullptr));
  EXPECT_EQ(w, -1);
  EXPECT_FALSE(ProbeWindowSystemGL([](void*) { ADD_FAILURE() << "no context to probe"; }, nullptr));
}

}  // namespace
