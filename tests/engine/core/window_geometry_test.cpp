// Window geometry: client size from screen size and scale, centring, the
// fullscreen popup, switching mode and scale while running, aspect sizing.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/engine/core/window_test_support.h"

namespace {

using WindowGeometryTest = EngineWindowTest;

RECT Client() {
  RECT r{};
  GetClientRect(GetMainWindow(), &r);
  return r;
}
RECT Outer() {
  RECT r{};
  GetWindowRect(GetMainWindow(), &r);
  return r;
}
void SdlSize(int* w, int* h) { SDL_GetWindowSize(GetSdlWindow(GetMainWindow()), w, h); }

TEST_F(WindowGeometryTest, WindowedClientIsTheScaledScreenCentredOnTheDesktop) {
  const struct {
    double scale;
    int width, height;
  } kCases[] = {{1.0, 640, 480}, {1.5, 960, 720}, {0.0, 640, 480}, {-2.0, 640, 480}, {NAN, 640, 480}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.scale);
    SetWindowScale(c.scale);
    Start();
    RECT client = Client(), outer = Outer();
    EXPECT_EQ(client.right, c.width);
    EXPECT_EQ(client.bottom, c.height);
    int w, h;
    SdlSize(&w, &h);
    EXPECT_EQ(w, c.width);
    EXPECT_EQ(h, c.height);
    // Centred: equal room left and right, above and below (to a pixel).
    EXPECT_LE(std::abs(outer.left - (kDesktop.width - outer.right)), 1);
    EXPECT_LE(std::abs(outer.top - (kDesktop.height - outer.bottom)), 1);
    RECT screen_rect;
    GetClientScreenRect(&screen_rect);
    EXPECT_EQ(screen_rect.right - screen_rect.left, c.width);
    EXPECT_GE(screen_rect.top, outer.top);
    EndEngine();
  }
}

TEST_F(WindowGeometryTest, FullscreenWindowIsATopmostPopupOfTheScreenSize) {
  g_engine.window_mode = 0;
  SetWindowScale(1.5);  // no effect in fullscreen
  Start();
  EXPECT_EQ(IsWindowMode(), 0);
  EXPECT_EQ(GetWindowScale(), 1.0);
  RECT outer = Outer(), client = Client();
  EXPECT_EQ(outer.left, 0);
  EXPECT_EQ(outer.top, 0);
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
  EXPECT_EQ((DWORD)GetWindowLongA(GetMainWindow(), GWL_STYLE), FULLSCREEN_STYLE);
  EXPECT_TRUE(SDL_GetWindowFlags(GetSdlWindow(GetMainWindow())) & SDL_WINDOW_FULLSCREEN_DESKTOP);
  EXPECT_EQ(GetCursorShowSetting(), 0);
}

TEST_F(WindowGeometryTest, ModeAndScaleChangeTheLiveWindow) {
  Start();
  SetWindowScale(2.0);
  EXPECT_EQ(Client().right, 1280);
  EXPECT_EQ(Client().bottom, 960);
  // To fullscreen and back; neither switch waits for a display change that
  // never comes.
  EXPECT_EQ(ChangeWindowMode(0), 0);
  EXPECT_EQ(Outer().left, 0);
  EXPECT_TRUE(SDL_GetWindowFlags(GetSdlWindow(GetMainWindow())) & SDL_WINDOW_FULLSCREEN_DESKTOP);
  EXPECT_EQ(ChangeWindowMode(1), 0);
  EXPECT_FALSE(SDL_GetWindowFlags(GetSdlWindow(GetMainWindow())) & SDL_WINDOW_FULLSCREEN_DESKTOP);
  EXPECT_EQ(Client().right, 1280);
  EXPECT_EQ(GetWindowScale(), 2.0);
  EXPECT_NE(Log().find("ウインドウモードフラグが倒されました"), std::string::npos);
}

TEST_F(WindowGeometryTest, SettingsBeforeStartOnlyStore) {
  EXPECT_EQ(ChangeWindowMode(0), 0);
  EXPECT_EQ(IsWindowMode(), 0);
  EXPECT_EQ(SetWindowStyleIndex(9), -1);
  EXPECT_EQ(SetWindowStyleIndex(-1), -1);
  EXPECT_EQ(SetWindowStyleIndex(8), 0);
  int w, h, bits;
  GetDesktopMode(&w, &h, &bits);
  EXPECT_EQ(w, 1920);
  EXPECT_EQ(bits, 32);
}

TEST(WindowSizingTest, DraggingKeepsTheScreenAspect) {
  const int frame_w = 10, frame_h = 30;
  const struct {
    int edge;
    int client_w, client_h;
    int want_w, want_h;
  } kCases[] = {
      {2, 800, 100, 800, 600},   // right edge: height follows width
      {6, 100, 720, 960, 720},   // bottom edge: width follows height
      {8, 1000, 600, 1000, 750}, // corner, wider than the aspect: by width
      {8, 700, 900, 1200, 900},  // corner, taller: by height
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.edge);
    RECT r{100, 100, 100 + c.client_w + frame_w, 100 + c.client_h + frame_h};
    KeepAspectWhileSizing(c.edge, &r, frame_w, frame_h, 640, 480);
    EXPECT_EQ(r.right - r.left - frame_w, c.want_w);
    EXPECT_EQ(r.bottom - r.top - frame_h, c.want_h);
    EXPECT_DOUBLE_EQ(g_engine.window_scale, c.want_w / 640.0);
  }
  g_engine.window_scale = 1.0;
}

}  // namespace
