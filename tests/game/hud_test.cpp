// What the HUD counters show.
#include <gtest/gtest.h>

#include "game/field.h"
#include "game/hud.h"
#include "engine/graphics/graphics.h"
#include "tests/game/headless_engine.h"

namespace {

TEST(HudText, TimeClearedAndGauge) {
  EXPECT_EQ(Time_Count::text(7199), "01:59:98");
  EXPECT_EQ(Time_Count::text(0), "00:00:00");
  EXPECT_EQ(Break_Count::text(10123, 5000), "0123/5000");
  EXPECT_EQ(Break_Count::text(12, 0), "0012/----");
  struct Case {
    int pending, icons, bar;
    int first;
  };
  const Case cases[] = {
      {3600, 1, 0, 0},              // 30 blocks: one small icon, empty bar
      {3480, 0, 29, -1},            // 29 blocks: a full bar of 174 pixels
      {720 * 120 + 120, 1, 1, 3},   // one big icon and a block
      {(360 + 180 + 60) * 120, 4, 0, 2},
      {100000 * 120, 6, 10, 3},  // six icons at most, then the rest below 30
  };
  for (const Case& c : cases) {
    int icons[6], bar;
    EXPECT_EQ(Yokoku_Count::layout(c.pending, icons, &bar), c.icons) << c.pending;
    EXPECT_EQ(bar, c.bar) << c.pending;
    if (c.icons) {
      EXPECT_EQ(icons[0], c.first) << c.pending;
    }
  }
  EXPECT_EQ(hud_x_for(160, false), 360);
  EXPECT_EQ(hud_x_for(420, false), 320);
  EXPECT_EQ(hud_x_for(24, true), 220);
  EXPECT_EQ(hud_x_for(420, true), 324);
}

TEST(HudText, CountInAsksForFourInItsFirstFrame) {
  EXPECT_EQ(Field::countdown_digit(180), 4);
  EXPECT_EQ(Field::countdown_digit(179), 3);
  EXPECT_EQ(Field::countdown_digit(1), 1);
}

// A chain label that nothing deletes goes on counting below 0, faded out:
// it never marks the screen again, and no count overflows (the sanitizer
// build checks the arithmetic).
TEST(HudText, AForgottenChainLabelStaysFadedOut) {
  ASSERT_TRUE(StartHeadlessEngine());
  for (int32_t start : {0, -3000, -50000, INT32_MIN + 1}) {
    WipeDrawScreen();
    Chein_Count label(200, 200, 7);
    label.timer = start;
    label.update();
    label.update();
    EXPECT_EQ(label.timer, start == INT32_MIN + 1 ? INT32_MIN : start - 2);
    for (int y = 150; y < 250; y++)
      for (int x = 150; x < 250; x++) ASSERT_EQ(ScreenPixel(x, y), 0u) << start << " at " << x << "," << y;
  }
}

}  // namespace
