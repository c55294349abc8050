// A fullscreen window on an X display where no window manager runs: a
// virtual display started by the test (Xvfb), SDL's X11 driver. The window
// must really cover the display, with the size the stand-in and the OpenGL
// drawable report, and show its client area letterboxed in the middle; and
// come back to its own size when it leaves full screen.
#include <gtest/gtest.h>
// After the test framework, whose names the X headers' macros would take.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#undef None

#include <cstdlib>
#include <string>

#include "platform/win32/window.h"
#include "tests/platform/win32/test_util.h"
#include "tests/support/virtual_display.h"

namespace {

constexpr int kDisplayWidth = 800, kDisplayHeight = 600;

VirtualDisplay g_display;

class NoWindowManager : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!g_display.start(kDisplayWidth, kDisplayHeight)) return;
    setenv("DISPLAY", g_display.name().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
  }
  static void TearDownTestSuite() {
    SDL_Quit();
    g_display.stop();
  }
  void SetUp() override {
    if (g_display.name().empty()) GTEST_SKIP() << "no virtual X display (Xvfb) could be started";
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "VoxNoWindowManagerTest";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    window_ = CreateWindowExA(0, wc.lpszClassName, "test", WS_POPUP | WS_CAPTION, 10, 20, 640, 480, nullptr,
                              nullptr, nullptr, nullptr);
    ASSERT_NE(window_, nullptr);
    ShowWindow(window_, SW_SHOW);
    Settle();
  }
  void TearDown() override {
    if (window_) DestroyWindow(window_);
    Settle();
    UnregisterClassA("VoxNoWindowManagerTest", nullptr);
  }
  // The X server has done what was asked and the window system has taken
  // its events.
  void Settle() {
    for (int i = 0; i < 5; ++i) {
      if (Display* d = XDisplay()) XSync(d, False);
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
      SDL_Delay(10);
    }
  }
  Display* XDisplay() {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    SDL_Window* sdl = window_ ? GetSdlWindow(window_) : nullptr;
    if (!sdl || !SDL_GetWindowWMInfo(sdl, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
    x_window_ = info.info.x11.window;
    return info.info.x11.display;
  }
  // The window's size as the X server has it.
  void XSize(int* width, int* height) {
    Display* d = XDisplay();
    ASSERT_NE(d, nullptr);
    Window root;
    int x, y;
    unsigned w = 0, h = 0, border, depth;
    XGetGeometry(d, x_window_, &root, &x, &y, &w, &h, &border, &depth);
    *width = (int)w;
    *height = (int)h;
  }
  // A pixel of the display as shown, 0xRRGGBB.
  uint32_t Shown(int x, int y) {
    Display* d = XDisplay();
    XImage* image = XGetImage(d, DefaultRootWindow(d), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return 0xDEADBEEF;
    const uint32_t p = (uint32_t)XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return p;
  }
  HWND window_ = nullptr;
  Window x_window_ = 0;
};

TEST_F(NoWindowManager, AFullscreenPopupCoversTheDisplayAndComesBack) {
  SetWindowLongA(window_, GWL_STYLE, (LONG)WS_POPUP);
  SetWindowLongA(window_, GWL_EXSTYLE, (LONG)WS_EX_TOPMOST);
  ASSERT_TRUE(SetWindowPos(window_, HWND_TOPMOST, 0, 0, 640, 480, 0));
  Settle();
  int xw = 0, xh = 0;
  XSize(&xw, &xh);
  EXPECT_EQ(xw, kDisplayWidth);
  EXPECT_EQ(xh, kDisplayHeight);
  RECT client;
  GetClientRect(window_, &client);
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
  // What the stand-in draws into is the window the display shows.
  int sw = 0, sh = 0;
  SDL_GetWindowSizeInPixels(GetSdlWindow(window_), &sw, &sh);
  EXPECT_EQ(sw, xw);
  EXPECT_EQ(sh, xh);
  if (IsWindowGLCapable(window_)) {
    int dw = 0, dh = 0;
    ASSERT_TRUE(GetWindowGLDrawableSize(window_, &dw, &dh));
    EXPECT_EQ(dw, xw);
    EXPECT_EQ(dh, xh);
    // 640 x 480 scaled by 1.25 into 800 x 600: no bars.
    RECT shown;
    ASSERT_TRUE(MapClientRectToGLDrawable(window_, &client, &shown));
    EXPECT_EQ(shown.left, 0);
    EXPECT_EQ(shown.top, 0);
    EXPECT_EQ(shown.right, kDisplayWidth);
    EXPECT_EQ(shown.bottom, kDisplayHeight);
  }

  // The software present: a white client area fills the display.
  ASSERT_EQ(StretchWhiteToWindow(window_, 640, 480), 1);
  Settle();
  EXPECT_EQ(Shown(kDisplayWidth / 2, kDisplayHeight / 2), 0xFFFFFFu);
  EXPECT_EQ(Shown(kDisplayWidth - 2, kDisplayHeight - 2), 0xFFFFFFu);

  // Back to a window of its own size.
  SetWindowLongA(window_, GWL_STYLE, (LONG)(WS_POPUP | WS_CAPTION));
  SetWindowLongA(window_, GWL_EXSTYLE, 0);
  ASSERT_TRUE(SetWindowPos(window_, HWND_NOTOPMOST, 10, 20, 300, 200, 0));
  Settle();
  GetClientRect(window_, &client);
  XSize(&xw, &xh);
  EXPECT_EQ(xw, client.right);
  EXPECT_EQ(xh, client.bottom);
}

}  // namespace
