#include "engine/core/handle.h"

#include <gtest/gtest.h>

namespace {

struct Rec {
  int value;
};

TEST(HandleTable, StaleHandleFailsUntilExactly2048AllocationsPass) {
  HandleTable<Rec> t(HANDLE_SOUND, 4);
  int h = t.Allocate();
  ASSERT_GE(h, 0);
  EXPECT_EQ(t.Release(h), 0);
  EXPECT_EQ(t.Lookup(h), nullptr);
  // Reuse slot 0 repeatedly; the check number walks through all 2048 values.
  for (int i = 1; i < HANDLE_CHECK_COUNT; ++i) {
    int n = t.Allocate();
    ASSERT_EQ(n & 0xFFFF, 0);
    EXPECT_EQ(t.Lookup(h), nullptr) << "allocation " << i;
    t.Release(n);
  }
  int again = t.Allocate();
  EXPECT_EQ(again, h);
  EXPECT_NE(t.Lookup(h), nullptr);
}

TEST(HandleTable, HighWaterFollowsReleasesAndScanReusesHoles) {
  HandleTable<Rec> t(HANDLE_GRAPH, 10);
  int h[10];
  for (int i = 0; i < 10; ++i) h[i] = t.Allocate();
  EXPECT_EQ(t.high_water(), 10);
  t.Release(h[9]);
  EXPECT_EQ(t.high_water(), 9);
  t.Release(h[3]);
  EXPECT_EQ(t.high_water(), 9);
  int next = t.Allocate();
  EXPECT_EQ(next & 0xFFFF, 9);  // taken at the high-water mark, not the hole
  EXPECT_EQ(t.high_water(), 10);
  int scanned = t.Allocate();  // high water is at the slot count: scan from 0
  EXPECT_EQ(scanned & 0xFFFF, 3);
  EXPECT_EQ(t.Allocate(), -1);
  EXPECT_EQ(t.last_failure(), HandleTableBase::FAIL_FULL);
  for (int s = 0; s < 10; ++s) t.Release(t.HandleAt(s));
  EXPECT_EQ(t.live_count(), 0);
  EXPECT_EQ(t.high_water(), 0);
}

TEST(HandleTable, RejectsForeignAndDamagedHandles) {
  HandleTable<Rec> sounds(HANDLE_SOUND, 8);
  HandleTable<Rec> graphs(HANDLE_GRAPH, 8);
  int s = sounds.Allocate();
  int g = graphs.Allocate();
  struct Case {
    const char* what;
    int handle;
  } cases[] = {
      {"negative", -1},
      {"graph handle to a sound table", g},
      {"slot beyond the table", (int)(HANDLE_SOUND | 8u)},
      {"empty slot", (int)(HANDLE_SOUND | 5u)},
      {"check mismatch", s ^ (1 << 16)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sounds.Lookup(c.handle), nullptr) << c.what;
    EXPECT_EQ(sounds.Release(c.handle), -1) << c.what;
  }
  EXPECT_EQ(sounds.live_count(), 1);
  EXPECT_NE(sounds.Lookup(s), nullptr);
}

TEST(HandleTable, RecreateKeepsTheHandle) {
  HandleTable<Rec> fonts(HANDLE_FONT, 40);
  Rec* r = nullptr;
  int h = fonts.Allocate(&r);
  r->value = 7;
  int other = fonts.Allocate();  // moves the check number on
  fonts.Release(h);
  int again = fonts.Allocate(&r, h);
  EXPECT_EQ(again, h);
  EXPECT_EQ(r->value, 0);  // a fresh, zeroed record
  EXPECT_EQ(fonts.Allocate(nullptr, h), -1);      // the slot is taken now
  EXPECT_EQ(fonts.Allocate(nullptr, other), -1);  // so is this one
}

}  // namespace
