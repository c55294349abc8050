#include "platform/dinput/dinput.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/dinput/dinput_control.h"
#include "tests/support/key_press.h"
#include "tests/platform/dinput/virtual_pad.h"

namespace {

TEST(KeyCodeTable, KeysMapByPositionToKeyCodesAndVirtualKeys) {
  struct Row {
    SDL_Scancode scancode;
    int key_code, virtual_key;
  };
  const Row rows[] = {
      {SDL_SCANCODE_ESCAPE, 0x01, 0x1B},   {SDL_SCANCODE_RETURN, 0x1C, 0x0D}, {SDL_SCANCODE_KP_ENTER, 0x9C, 0x0D},
      {SDL_SCANCODE_LSHIFT, 0x2A, 0xA0},   {SDL_SCANCODE_RSHIFT, 0x36, 0xA1}, {SDL_SCANCODE_SPACE, 0x39, 0x20},
      {SDL_SCANCODE_Z, 0x2C, 'Z'},         {SDL_SCANCODE_X, 0x2D, 'X'},       {SDL_SCANCODE_C, 0x2E, 'C'},
      {SDL_SCANCODE_A, 0x1E, 'A'},         {SDL_SCANCODE_S, 0x1F, 'S'},       {SDL_SCANCODE_D, 0x20, 'D'},
      {SDL_SCANCODE_Q, 0x10, 'Q'},         {SDL_SCANCODE_W, 0x11, 'W'},       {SDL_SCANCODE_0, 0x0B, '0'},
      {SDL_SCANCODE_UP, 0xC8, 0x26},       {SDL_SCANCODE_DOWN, 0xD0, 0x28},   {SDL_SCANCODE_LEFT, 0xCB, 0x25},
      {SDL_SCANCODE_RIGHT, 0xCD, 0x27},    {SDL_SCANCODE_KP_2, 0x50, 0x62},   {SDL_SCANCODE_KP_4, 0x4B, 0x64},
      {SDL_SCANCODE_KP_6, 0x4D, 0x66},     {SDL_SCANCODE_KP_8, 0x48, 0x68},   {SDL_SCANCODE_DELETE, 0xD3, 0x2E},
      {SDL_SCANCODE_HOME, 0xC7, 0x24},     {SDL_SCANCODE_END, 0xCF, 0x23},    {SDL_SCANCODE_F12, 0x58, 0x7B},
      {SDL_SCANCODE_INTERNATIONAL3, 0x7D, 0xDC},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ScancodeToKeyCode(r.scancode), r.key_code) << SDL_GetScancodeName(r.scancode);
    EXPECT_EQ(ScancodeToVirtualKey(r.scancode), r.virtual_key) << SDL_GetScancodeName(r.scancode);
  }
  EXPECT_EQ(ScancodeToKeyCode(SDL_SCANCODE_UNKNOWN), 0);
  EXPECT_EQ(ScancodeToKeyCode(-1), 0);
  EXPECT_EQ(ScancodeToKeyCode(SDL_NUM_SCANCODES), 0);
}

TEST(KeyCodeTable, DistinctKeysGiveDistinctCodes) {
  int owner[256] = {};
  for (int s = 1; s < SDL_NUM_SCANCODES; ++s) {
    int k = ScancodeToKeyCode(s);
    if (!k || s == SDL_SCANCODE_NONUSHASH) continue;  // the same key on another layout
    EXPECT_EQ(owner[k], 0) << "key code " << k << " of scancodes " << owner[k] << " and " << s;
    owner[k] = s;
  }
}

class DirectInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    ASSERT_EQ(CreateDirectInputInstance(8, &di_), DI_OK);
    ASSERT_EQ(di_->Initialize(nullptr, 0x0800), DI_OK);
    DInputResetKeyboard();
  }
  void TearDown() override {
    pad_.Detach();
    if (di_) di_->Release();
    DInputClearFailures();
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  }
  static void PushKey(SDL_Scancode scancode, bool down) {
    ASSERT_EQ(PushKeyEvent(0, scancode, SDLK_UNKNOWN, down), 1) << SDL_GetError();
  }
  IDirectInputDevice* OpenPad(int dead_zone) {
    struct Found {
      DIGUID guid;
      int count;
    } found{{}, 0};
    di_->EnumDevices(
        DIDEVTYPE_JOYSTICK,
        [](const DIDEVICEINSTANCEA* instance, LPVOID context) -> BOOL {
          auto* f = static_cast<Found*>(context);
          f->guid = instance->guidInstance;
          ++f->count;
          return DIENUM_CONTINUE;
        },
        &found, DIEDFL_ATTACHEDONLY);
    EXPECT_EQ(found.count, 1);
    IDirectInputDevice* pad = nullptr;
    EXPECT_EQ(di_->CreateDevice(found.guid, &pad, nullptr), DI_OK);
    if (!pad) return nullptr;
    EXPECT_EQ(pad->SetDataFormat(&c_dfDIJoystick), DI_OK);
    DIPROPRANGE range{{sizeof(DIPROPRANGE), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, -1000, 1000};
    EXPECT_EQ(pad->SetProperty(DIPROP_RANGE, &range.diph), DI_OK);
    DIPROPDWORD zone{{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), DIJOFS_X, DIPH_BYOFFSET}, (DWORD)dead_zone};
    EXPECT_EQ(pad->SetProperty(DIPROP_DEADZONE, &zone.diph), DI_OK);
    zone.diph.dwObj = DIJOFS_Y;
    EXPECT_EQ(pad->SetProperty(DIPROP_DEADZONE, &zone.diph), DI_OK);
    EXPECT_EQ(pad->Acquire(), DI_OK);
    return pad;
  }

  IDirectInput* di_ = nullptr;
  VirtualPad pad_;
};

TEST_F(DirectInputTest, PushedKeyPressReachesTheKeyboardDeviceAndTheWin32State) {
  IDirectInputDevice* keyboard = nullptr;
  ASSERT_EQ(di_->CreateDevice(GUID_SysKeyboard, &keyboard, nullptr), DI_OK);
  ASSERT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_EQ(keyboard->SetEventNotification(event), DI_OK);
  BYTE keys[256];
  EXPECT_EQ(keyboard->GetDeviceState(256, keys), DIERR_NOTACQUIRED);
  ASSERT_EQ(keyboard->Acquire(), DI_OK);

  PushKey(SDL_SCANCODE_Z, true);
  PushKey(SDL_SCANCODE_RSHIFT, true);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  ASSERT_EQ(keyboard->GetDeviceState(256, keys), DI_OK);
  EXPECT_EQ(keys[0x2C], 0x80);
  EXPECT_EQ(keys[0x36], 0x80);
  EXPECT_EQ(keys[0x2D], 0);
  BYTE win32[256];
  ASSERT_TRUE(GetKeyboardState(win32));
  EXPECT_EQ(win32['Z'], 0x80);
  EXPECT_EQ(win32[0xA1], 0x80);
  EXPECT_EQ(win32[0x10], 0x80);  // the generic shift key follows

  ResetEvent(event);
  PushKey(SDL_SCANCODE_Z, false);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  ASSERT_EQ(keyboard->GetDeviceState(256, keys), DI_OK);
  EXPECT_EQ(keys[0x2C], 0);
  EXPECT_EQ(keys[0x36], 0x80);
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  keyboard->Release();
  CloseHandle(event);
}

TEST_F(DirectInputTest, PadStateFromAVirtualJoystick) {
  ASSERT_TRUE(pad_.Attach("pad"));
  IDirectInputDevice* pad = OpenPad(2500);
  ASSERT_NE(pad, nullptr);
  DIDEVICEINSTANCEA info{};
  ASSERT_EQ(pad->GetDeviceInfo(&info), DI_OK);
  EXPECT_STREQ(info.tszProductName, "pad");

  struct Case {
    Sint16 raw;
    LONG expected;
  };
  // Dead zone of a quarter: inside it the axis reads 0, outside it the rest of
  // the range is spread over the full output.
  const Case cases[] = {{0, 0},       {8000, 0},     {-8000, 0},      {16384, 333},
                        {-16384, -333}, {32767, 1000}, {-32768, -1000}};
  for (const Case& c : cases) {
    pad_.Axis(0, c.raw);
    pad_.Axis(1, c.raw);
    VirtualPad::Update();
    DIJOYSTATE state;
    ASSERT_EQ(pad->Poll(), DI_OK);
    ASSERT_EQ(pad->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, c.expected) << c.raw;
    EXPECT_EQ(state.lY, c.expected) << c.raw;
  }
  pad_.Button(0, true);
  pad_.Button(11, true);
  pad_.Hat(0, SDL_HAT_RIGHT);
  VirtualPad::Update();
  DIJOYSTATE state;
  ASSERT_EQ(pad->GetDeviceState(sizeof state, &state), DI_OK);
  EXPECT_EQ(state.rgbButtons[0], 0x80);
  EXPECT_EQ(state.rgbButtons[1], 0);
  EXPECT_EQ(state.rgbButtons[11], 0x80);
  EXPECT_EQ(state.rgbButtons[12], 0);  // beyond the pad's buttons
  EXPECT_EQ(state.rgdwPOV[0], 9000u);
  EXPECT_EQ(state.rgdwPOV[1], 0xFFFFFFFFu);
  pad_.Hat(0, SDL_HAT_LEFTUP);
  VirtualPad::Update();
  ASSERT_EQ(pad->GetDeviceState(sizeof state, &state), DI_OK);
  EXPECT_EQ(state.rgdwPOV[0], 31500u);

  EXPECT_EQ(pad->GetDeviceState(sizeof state - 1, &state), DIERR_INVALIDPARAM);
  pad->Unacquire();
  EXPECT_EQ(pad->GetDeviceState(sizeof state, &state), DIERR_NOTACQUIRED);
  pad->Release();
}

TEST_F(DirectInputTest, EffectsDriveTheRumbleMotors) {
  ASSERT_TRUE(pad_.Attach("pad"));
  IDirectInputDevice* pad = OpenPad(0);
  ASSERT_NE(pad, nullptr);
  DICONSTANTFORCE constant{10000};
  DIPERIODIC periodic{5000, 0, 0, 1500000};
  DIEFFECT effect{};
  effect.dwSize = sizeof effect;
  effect.dwGain = 10000;
  effect.lpvTypeSpecificParams = &constant;
  IDirectInputEffect* force = nullptr;
  IDirectInputEffect* sine = nullptr;
  ASSERT_EQ(pad->CreateEffect(GUID_ConstantForce, &effect, &force, nullptr), DI_OK);
  effect.lpvTypeSpecificParams = &periodic;
  ASSERT_EQ(pad->CreateEffect(GUID_Sine, &effect, &sine, nullptr), DI_OK);

  force->Start(1, 0);
  sine->Start(1, 0);
  EXPECT_EQ(DInputRunningEffectCount(), 2);
  force->Stop();
  sine->Stop();
  EXPECT_EQ(DInputRunningEffectCount(), 0);
  ASSERT_EQ(pad_.rumbles.size(), 4u);
  EXPECT_EQ(pad_.rumbles[0], std::make_pair(Uint16(0xFFFF), Uint16(0)));
  EXPECT_EQ(pad_.rumbles[1], std::make_pair(Uint16(0xFFFF), Uint16(0x7FFF)));
  EXPECT_EQ(pad_.rumbles[2], std::make_pair(Uint16(0), Uint16(0x7FFF)));
  EXPECT_EQ(pad_.rumbles[3], std::make_pair(Uint16(0), Uint16(0)));
  force->Release();
  sine->Release();
  pad->Release();
}

TEST_F(DirectInputTest, InjectedFailuresAreReported) {
  IDirectInput* other = nullptr;
  DInputInjectFailure(DIFAIL_CREATE_V7, 1);
  EXPECT_TRUE(FAILED(CreateDirectInputInstance(7, &other)));
  EXPECT_EQ(other, nullptr);
  ASSERT_EQ(CreateDirectInputInstance(7, &other), DI_OK);
  DInputInjectFailure(DIFAIL_INITIALIZE, 1);
  EXPECT_TRUE(FAILED(other->Initialize(nullptr, 0x0700)));
  EXPECT_EQ(other->Initialize(nullptr, 0x0700), DI_OK);
  EXPECT_TRUE(FAILED(other->Initialize(nullptr, 0x0800)));  // version 7 cannot serve 8
  other->Release();
}

TEST_F(DirectInputTest, MultimediaJoystickFunctionsReadTheSameJoysticks) {
  ASSERT_TRUE(pad_.Attach("pad", 4, 3, 1));
  JOYCAPSA caps{};
  ASSERT_EQ(joyGetDevCapsA(0, &caps, sizeof caps), JOYERR_NOERROR);
  EXPECT_EQ(caps.wCaps & (JOYCAPS_HASZ | JOYCAPS_HASR), JOYCAPS_HASZ | JOYCAPS_HASR);
  EXPECT_EQ(caps.wNumButtons, 3u);
  EXPECT_EQ(joyGetDevCapsA(1, &caps, sizeof caps), JOYERR_UNPLUGGED);
  EXPECT_EQ(joyGetDevCapsA(16, &caps, sizeof caps), JOYERR_PARMS);

  pad_.Axis(0, -32767);
  pad_.Axis(1, 32767);
  pad_.Button(2, true);
  pad_.Hat(0, SDL_HAT_DOWN);
  VirtualPad::Update();
  JOYINFOEX info{};
  info.dwSize = sizeof info;
  info.dwFlags = JOY_RETURNALL;
  ASSERT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);
  EXPECT_EQ(info.dwXpos, 1u);
  EXPECT_EQ(info.dwYpos, 0xFFFFu);
  EXPECT_EQ(info.dwZpos, 0x8000u);
  EXPECT_EQ(info.dwButtons, 4u);
  EXPECT_EQ(info.dwPOV, 18000u);
  EXPECT_EQ(joyGetPosEx(1, &info), JOYERR_UNPLUGGED);
}

}  // namespace
