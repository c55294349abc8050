#include <cstring>

#include "tests/engine/input/input_fixture.h"

InputTest* InputTest::current_ = nullptr;

namespace {

TEST_F(InputTest, PadBitsFromPadsAndKeyboard) {
  AttachPads(2);
  ASSERT_EQ(OpenInputDevices(), 0);
  EXPECT_EQ(CountPads(), 2);

  pads_[0].Axis(0, -32768);
  pads_[0].Axis(1, 32767);
  pads_[0].Button(0, true);
  pads_[0].Button(8, true);
  pads_[1].Axis(0, 20000);
  pads_[1].Axis(1, -20000);
  pads_[1].Button(11, true);
  pads_[1].Axis(2, 32767);  // other axes are not read
  VirtualPad::Update();
  EXPECT_EQ(ReadPadBits(1), 0x0002 | 0x0001 | 0x0010 | 0x1000);
  EXPECT_EQ(ReadPadBits(2), 0x0004 | 0x0008 | (0x10 << 11));
  EXPECT_EQ(ReadPadBits(3), 0);  // no third pad

  PushKey(SDL_SCANCODE_ESCAPE, true);
  PushKey(SDL_SCANCODE_LEFT, true);
  PushKey(SDL_SCANCODE_X, true);
  EXPECT_EQ(ReadPadBits(0x1000), 0x1000 | 0x0002 | 0x0020);
  // Pad 1 with the keyboard's row 0; pad 2 with row 1, which is empty.
  EXPECT_EQ(ReadPadBits(0x1001), 0x0002 | 0x0001 | 0x0010 | 0x1000 | 0x0020);
  EXPECT_EQ(ReadPadBits(0x1002), ReadPadBits(2));
  // Device numbers past the key map's 16 rows read no keyboard bits.
  EXPECT_EQ(ReadPadBits(0x1011), 0);
  EXPECT_EQ(ReadPadBits(0x3000), 0);
  EXPECT_EQ(ReadPadBits(0x1FFF), 0);
}

TEST_F(InputTest, WithoutPads) {
  ASSERT_EQ(OpenInputDevices(), 0);
  EXPECT_EQ(CountPads(), 0);
  EXPECT_EQ(ReadPadBits(1), 0);
  PushKey(SDL_SCANCODE_KP_8, true);
  PushKey(SDL_SCANCODE_SPACE, true);
  EXPECT_EQ(ReadPadBits(0x1000), 0x0008 | 0x2000);
  EXPECT_EQ(ReadPadBits(1), 0);
}

TEST_F(InputTest, KeyboardStateAndKeyQueries) {
  ASSERT_EQ(OpenInputDevices(), 0);
  PushKey(SDL_SCANCODE_RETURN, true);
  PushKey(SDL_SCANCODE_RSHIFT, true);
  uint8_t keys[256];
  ASSERT_EQ(ReadKeyboardState(keys), 0);
  EXPECT_EQ(keys[0x1C], 1);
  EXPECT_EQ(keys[0x36], 1);
  EXPECT_EQ(keys[0x2A], 0);
  EXPECT_EQ(IsKeyDown(0x1C), 1);
  PushKey(SDL_SCANCODE_RETURN, false);
  EXPECT_EQ(IsKeyDown(0x1C), 0);

  // The Win32 keyboard state path: either Return key sets both codes.
  g_environment.os_version = 0x108;
  PushKey(SDL_SCANCODE_KP_ENTER, true);
  Advance(1);
  ASSERT_EQ(ReadKeyboardState(keys), 0);
  EXPECT_EQ(keys[0x1C], 1);
  EXPECT_EQ(keys[0x9C], 1);
  EXPECT_EQ(keys[0x36], 1);
}

TEST_F(InputTest, KeyboardQueryWhileStoppedClearsTheCallersTable) {
  ASSERT_EQ(OpenInputDevices(), 0);
  PushKey(SDL_SCANCODE_Z, true);
  CloseInputDevices();
  EXPECT_EQ(IsInputStarted(), 0);
  uint8_t keys[256];
  std::memset(keys, 0xAA, sizeof keys);
  EXPECT_EQ(ReadKeyboardState(keys), 0);
  for (int k = 0; k < 256; ++k) ASSERT_EQ(keys[k], 0) << k;
  EXPECT_EQ(IsInputStarted(), 1);  // the query started input again
  // A fresh keyboard is read once its first millisecond has passed.
  Advance(1);
  EXPECT_EQ(ReadKeyboardState(keys), 0);
  EXPECT_EQ(keys[0x2C], 1);

  CloseInputDevices();
  EXPECT_EQ(IsKeyDown(0x2C), 0);  // starting reads nothing
  Advance(1);
  EXPECT_EQ(IsKeyDown(0x2C), 1);
}

TEST_F(InputTest, FirstQueryAfterTheDeviceRestoreStartsInput) {
  AttachPads(2);
  ASSERT_EQ(OpenInputDevices(), 0);
  CloseInputDevices();
  EXPECT_EQ(CountPads(), 0);
  EXPECT_EQ(CountPads(), 2);

  // The restore's own reopen brings the devices back before any query.
  CloseInputDevices();
  EXPECT_EQ(ReopenInputDevices(), 0);
  EXPECT_EQ(IsInputStarted(), 1);
  EXPECT_EQ(CountPads(), 2);
  // Not while the engine ends.
  CloseInputDevices();
  ending_ = 1;
  EXPECT_EQ(ReopenInputDevices(), 0);
  EXPECT_EQ(IsInputStarted(), 0);
}

TEST_F(InputTest, JoystickModeWhenNoDirectInputCanBeHad) {
  AttachPads(1);
  DInputInjectFailure(DIFAIL_CREATE_V7, -1);
  DInputInjectFailure(DIFAIL_CREATE_V8, -1);
  ASSERT_EQ(OpenInputDevices(), 0);
  EXPECT_EQ(g_input.joystick_mode, 1);
  EXPECT_EQ(CountPads(), 16);
  pads_[0].Axis(0, -32767);  // raw position 1
  pads_[0].Button(3, true);
  VirtualPad::Update();
  EXPECT_EQ(ReadPadBits(1), 0x0002 | (0x10 << 3));
  EXPECT_EQ(g_input.pads[0].state.lX, -999);
  EXPECT_EQ(ReadPadBits(3), 0);  // an absent joystick reads as a neutral pad
  PushKey(SDL_SCANCODE_Z, true);
  Advance(1);
  EXPECT_EQ(ReadPadBits(0x1000), 0x0010);
  // Joystick mode outlives the end of input.
  CloseInputDevices();
  DInputClearFailures();
  ASSERT_EQ(OpenInputDevices(), 0);
  EXPECT_EQ(g_input.directinput, JOYSTICK_MODE_OBJECT);
}

TEST_F(InputTest, KeyboardWithoutChangeNotificationStillWorks) {
  DInputInjectFailure(DIFAIL_KEYBOARD_EVENT, 1);
  ASSERT_EQ(OpenInputDevices(), 0);
  EXPECT_EQ(g_input.keyboard_event, nullptr);
  PushKey(SDL_SCANCODE_ESCAPE, true);
  Advance(1);
  EXPECT_EQ(ReadPadBits(0x1000), 0x1000);
  EXPECT_EQ(ReacquireInputDevices(), 0);
}

TEST_F(InputTest, OneFailedKeyboardAcquireIsTriedAgain) {
  DInputInjectFailure(DIFAIL_KEYBOARD_ACQUIRE, 1);
  ASSERT_EQ(OpenInputDevices(), 0);
  PushKey(SDL_SCANCODE_SPACE, true);
  EXPECT_EQ(ReadPadBits(0x1000), 0x2000);
}

TEST(JoystickScaling, RawPositionsToTheAxisRange) {
  struct Case {
    uint32_t raw;
    int expected;
  } cases[] = {
      {0, -1000},         {1, -999},         {0x6000 - 25, -1}, {0x6000 - 24, 0}, {0x6000, 0},
      {0x7FFF, 0},        {0x8000, 0},       {0xA000, 0},       {0xA000 + 24, 0}, {0xA000 + 25, 1},
      {0xFFFE, 999},      {0xFFFF, 1000},
  };
  for (const Case& c : cases) EXPECT_EQ(ScaleJoystickPosition(c.raw), c.expected) << std::hex << c.raw;
}

TEST_F(InputTest, PadVibration) {
  AttachPads(2);
  DInputInjectFailure(DIFAIL_CONSTANT_FORCE, 1);  // the first pad gets no constant force
  ASSERT_EQ(OpenInputDevices(), 0);
  ASSERT_EQ(CountPads(), 2);
  EXPECT_EQ(StartPadRumble(1, 8000, -1), -1);
  EXPECT_EQ(HaltPadRumble(1), 0);
  EXPECT_EQ(DInputRunningEffectCount(), 0);

  // Above half power the sine wave joins the constant force.
  ASSERT_EQ(StartPadRumble(2, 8000, -1), 0);
  EXPECT_EQ(DInputRunningEffectCount(), 2);
  ASSERT_FALSE(pads_[1].rumbles.empty());
  EXPECT_EQ(pads_[1].rumbles.back(), std::make_pair(Uint16(0xFFFF), Uint16(0xFFFF)));
  ASSERT_EQ(StartPadRumble(2, 5000, -1), 0);
  EXPECT_EQ(DInputRunningEffectCount(), 1);
  EXPECT_EQ(pads_[1].rumbles.back(), std::make_pair(Uint16(0xFFFF), Uint16(0)));

  // Leaving the application stops everything; coming back starts it again.
  active_ = 0;
  ApplyPadRumble();
  EXPECT_EQ(DInputRunningEffectCount(), 0);
  EXPECT_EQ(pads_[1].rumbles.back(), std::make_pair(Uint16(0), Uint16(0)));
  active_ = 1;
  ApplyPadRumble();
  EXPECT_EQ(DInputRunningEffectCount(), 1);

  // A negative duration never runs out; a positive one ends on a later tick.
  Advance(3);
  TickPadRumble();
  EXPECT_EQ(DInputRunningEffectCount(), 1);
  ASSERT_EQ(StartPadRumble(2, 9000, 1), 0);
  Advance(3);
  TickPadRumble();
  EXPECT_EQ(DInputRunningEffectCount(), 0);
  EXPECT_EQ(g_input.pads[1].rumble_on, 0);
  EXPECT_EQ(g_input.pads[1].rumble_power, 10000);

  ASSERT_EQ(StartPadRumble(2, 9000, -1), 0);
  EXPECT_EQ(HaltPadRumble(0x1002), 0);
  EXPECT_EQ(DInputRunningEffectCount(), 0);
  // Closing input releases the effects of a vibrating pad as well.
  ASSERT_EQ(StartPadRumble(2, 9000, -1), 0);
  CloseInputDevices();
  EXPECT_EQ(DInputRunningEffectCount(), 0);
}

// The millisecond counter wraps after 31 bits; the tick across the wrap adds
// no time, so a timed vibration neither ends early nor runs on for ever.
TEST_F(InputTest, TimedVibrationRidesOutTheClockWrapping) {
  AttachPads(1);
  ASSERT_EQ(OpenInputDevices(), 0);
  now_ms_ = 0x7FFFFFF0;
  ASSERT_EQ(StartPadRumble(1, 9000, 100), 0);
  Advance(10);
  TickPadRumble();
  EXPECT_EQ(g_input.pads[0].rumble_elapsed, 10);
  Advance(11);  // past the top: the clock reads 5
  ASSERT_EQ(GetMillisecondCount(), 5);
  TickPadRumble();
  EXPECT_EQ(g_input.pads[0].rumble_elapsed, 10);
  EXPECT_EQ(DInputRunningEffectCount(), 2);
  Advance(85);
  TickPadRumble();
  EXPECT_EQ(g_input.pads[0].rumble_on, 1);
  Advance(5);
  TickPadRumble();
  EXPECT_EQ(g_input.pads[0].rumble_on, 0);
  EXPECT_EQ(DInputRunningEffectCount(), 0);
}

}  // namespace
