// Fullscreen on the software path with the services the assembled engine
// installs: losing the focus gives the desktop its own mode back, minimises
// the window and stops pad vibration; coming back vibrates again and has the
// input method's state restored by the next text-input update.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/core/engine_start.h"
#include "engine/core/engine_state.h"
#include "engine/core/window.h"
#include "engine/graphics/graphics.h"
#include "engine/input/input.h"
#include "engine/input/input_internal.h"
#include "engine/runtime/engine_runtime.h"
#include "platform/dinput/dinput_control.h"
#include "tests/engine/e2e/e2e_fixture.h"
#include "tests/platform/dinput/virtual_pad.h"

namespace {

constexpr VoxDesktopOverride kDesktop{1920, 1080, 32};

class FullscreenActivationTest : public EngineDisplayTest {
 protected:
  void SetUp() override {
    EngineDisplayTest::SetUp();
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    ASSERT_TRUE(pad_.Attach("vibrating pad"));
    SetDesktopOverrideForTesting(&kDesktop);
  }
  void TearDown() override {
    EndEngine();
    SetDesktopOverrideForTesting(nullptr);
    pad_.Detach();
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    EngineDisplayTest::TearDown();
  }
  static DEVMODEA CurrentMode() {
    DEVMODEA mode{};
    EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode);
    return mode;
  }
  VirtualPad pad_;
};

TEST_F(FullscreenActivationTest, SoftwarePathGivesBackTheDesktopMinimisesAndStopsVibration) {
  InstallEngineServices();
  ChangeWindowMode(0);
  SetAllowDoubleStart(1);
  SetRunWhileInactive(1);
  SetUseHardwareRenderer(0);  // the offscreen driver would give the device over OpenGL
  ASSERT_EQ(RequestScreenMode(640, 480, 16, 60), 0);
  ASSERT_EQ(InitEngine(), 0);
  ASSERT_EQ(IsHardwareRendererInUse(), 0);
  HWND window = GetMainWindow();
  EXPECT_EQ(CurrentMode().dmPelsWidth, 640u);
  EXPECT_EQ(CurrentMode().dmPelsHeight, 480u);

  ASSERT_EQ(CountPads(), 1);
  ASSERT_EQ(StartPadRumble(1, 8000, -1), 0);
  EXPECT_EQ(DInputRunningEffectCount(), 2);
  // An open input method with a composition under way.
  int input = NewTextInput(20, 0, 0, 0);
  FocusTextInput(input);
  SDL_Event editing{};
  editing.type = SDL_TEXTEDITING;
  editing.edit.windowID = SDL_GetWindowID(GetSdlWindow(window));
  SDL_strlcpy(editing.edit.text, (const char*)u8"かな", sizeof editing.edit.text);
  editing.edit.start = 2;
  SDL_PushEvent(&editing);
  ProcessEngineMessages();
  ASSERT_EQ(g_text.ime.open, 1);

  SendMessageA(window, WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_EQ(CurrentMode().dmPelsWidth, (DWORD)kDesktop.width);
  EXPECT_EQ(CurrentMode().dmPelsHeight, (DWORD)kDesktop.height);
  EXPECT_TRUE(IsIconic(window));
  EXPECT_EQ(DInputRunningEffectCount(), 0);
  EXPECT_EQ(g_text.ime.restore_step, 0);

  // Activated while still minimised: the device is left alone.
  SendMessageA(window, WM_ACTIVATE, WA_ACTIVE | 0x10000, 0);
  EXPECT_EQ(DInputRunningEffectCount(), 2);
  EXPECT_EQ(g_text.ime.restore_step, 1);
  ProcessEngineMessages();
  EXPECT_EQ(g_text.ime.restore_step, 0);
  EXPECT_STREQ(g_text.ime.spare, "かな");
}

}  // namespace
