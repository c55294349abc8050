// Button snapshot: repeat timing, the combined device, masks and keys.
#include <gtest/gtest.h>

#include <vector>

#include "game/buttons.h"

namespace {

void Feed(int keyboard, int pad1 = 0, int pad2 = 0, const uint8_t* keys = nullptr) {
  int bits[5] = {keyboard, pad1, pad2, 0, 0};
  feed_input(bits, keys);
}

class ButtonsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Feed(0);
    Feed(0);
    reset_input();
  }
};

TEST_F(ButtonsTest, HeldButtonRepeatsAfterTwelveFramesThenEverySeven) {
  std::vector<int> repeats;
  for (int frame = 0; frame < 41; ++frame) {
    Feed(kPadDown);
    if (is_repeated(kPadDown)) repeats.push_back(frame);
  }
  EXPECT_EQ(repeats, (std::vector<int>{0, 12, 19, 26, 33, 40}));
  // Released and pressed again: the first repeat is 12 frames away again.
  Feed(0);
  EXPECT_TRUE(is_released_on(kPadDown, 0));
  Feed(kPadDown);
  EXPECT_TRUE(is_repeated(kPadDown));
  for (int i = 1; i < 12; ++i) {
    Feed(kPadDown);
    EXPECT_FALSE(is_repeated(kPadDown)) << i;
  }
}

TEST_F(ButtonsTest, DeviceZeroCombinesKeyboardAndFirstPadOnly) {
  struct Case {
    int keyboard, pad1, pad2;
    bool on0, on1, on2, on3;
  };
  const Case cases[] = {
      {0x10, 0, 0, true, true, false, false},
      {0, 0x10, 0, true, false, true, false},
      {0, 0, 0x10, false, false, false, true},
  };
  for (const Case& c : cases) {
    Feed(0);
    Feed(c.keyboard, c.pad1, c.pad2);
    EXPECT_EQ(is_pressed_on(0x10, 0), c.on0);
    EXPECT_EQ(is_pressed_on(0x10, 1), c.on1);
    EXPECT_EQ(is_pressed_on(0x10, 2), c.on2);
    EXPECT_EQ(is_held_on(0x10, 3), c.on3);
  }
}

TEST_F(ButtonsTest, MaskZeroIsNeverTrueAndHeldButtonsAreNotPressedAgain) {
  Feed(0xFFFF);
  EXPECT_FALSE(is_held(0));
  EXPECT_FALSE(is_pressed(0));
  EXPECT_FALSE(is_repeated(0));
  EXPECT_TRUE(is_pressed(kPadLeft));
  Feed(0xFFFF);  // still held, as across a scene change
  EXPECT_TRUE(is_held(kPadLeft));
  EXPECT_FALSE(is_pressed(kPadLeft));
  EXPECT_FALSE(is_held_on(kPadLeft, 6));
  EXPECT_FALSE(is_held_on(kPadLeft, -1));
}

TEST_F(ButtonsTest, KeysArePressedOnTheirFirstFrame) {
  uint8_t keys[256] = {};
  keys[kKeyEnter] = 1;
  Feed(0, 0, 0, keys);
  EXPECT_TRUE(is_key_pressed(kKeyEnter));
  Feed(0, 0, 0, keys);
  EXPECT_TRUE(is_key_held(kKeyEnter));
  EXPECT_FALSE(is_key_pressed(kKeyEnter));
  EXPECT_FALSE(is_key_held(256));
}

}  // namespace
