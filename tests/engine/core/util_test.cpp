#include "engine/core/util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/core/engine_state.h"

namespace {

TEST(Cp932Strings, ScansStepOverTwoByteCharacters) {
  const char text[] = "\x95\x5C\x5C";
  EXPECT_EQ(FindCharMb(text, 0x5C), text + 2);
  EXPECT_EQ(FindCharMb("abc", 'z'), nullptr);

  struct {
    const char* in;
    const char* out;
  } upper[] = {
      {"\x81" "a", "\x81" "a"},           // second byte left alone
      {"\x82\xA0" "a", "\x82\xA0" "A"},
      {"abc-xyz", "ABC-XYZ"},
  };
  for (auto& c : upper) {
    char buf[16];
    CopyString(buf, c.in);
    EXPECT_STREQ(UpperCaseMb(buf), c.out);
  }
}

TEST(Cp932Strings, IntToTextTable) {
  struct {
    int value, radix;
    const char* text;
  } cases[] = {{255, 16, "ff"}, {-10, 10, "-10"}, {0, 10, "0"}, {35, 36, "z"}, {-2147483647 - 1, 10, "-2147483648"}};
  for (auto& c : cases) {
    char buf[40];
    EXPECT_STREQ(IntToText(c.value, buf, c.radix), c.text);
  }
}

TEST(Cp932Strings, BoundedCopiesNeverSplitACharacter) {
  char buf[4];
  EXPECT_STREQ(CopyStringBounded(buf, "ab\x82\xA0", sizeof buf), "ab");
  EXPECT_EQ(FormatString(buf, sizeof buf, "%s", "abcdef"), 3);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(StringsDiffer("a", "a"), 0);
  EXPECT_EQ(StringsDiffer("a", "b"), 1);
  EXPECT_EQ(PrefixDiffers("abc", "abd", 2), 0);
}

TEST(Memory, MoveHandlesOverlapBothWays) {
  char a[] = "0123456789";
  MoveBytes(a + 2, a, 5);
  EXPECT_STREQ(a, "0101234789");
  char b[] = "0123456789";
  MoveBytes(b, b + 2, 5);
  EXPECT_STREQ(b, "2345656789");
  EXPECT_EQ(BytesDiffer("ab", "ab", 2), 0);
  EXPECT_EQ(BytesDiffer("ab", "ac", 2), 1);
}

TEST(Clocks, MicrosecondsKeepFullPrecisionForLongUptimes) {
  // A 10 MHz counter after 30 days: counter x 1000000 is far beyond 64 bits.
  int64_t counter = 10000000LL * 86400 * 30;
  EXPECT_EQ(MulDiv64(counter, 1000000, 10000000), 86400LL * 30 * 1000000);
  EXPECT_EQ(MulDiv64(1, 2, 0), 0);
}

TEST(Clocks, NeverNegativeNeverBackwards) {
  EXPECT_GE(GetMillisecondCount(), 0);
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  EngineState saved = g_engine;
  g_engine.performance_frequency = f.QuadPart;
  g_engine.performance_counter_usable = 1;
  int64_t last = GetMicrosecondCount(0);
  for (int i = 0; i < 1000; ++i) {
    int64_t now = GetMicrosecondCount(0);
    ASSERT_GE(now, last);
    last = now;
  }
  g_engine = saved;
}

TEST(Arithmetic, TruncationIsDefinedOutsideTheIntRange) {
  struct {
    double v;
    int expected;
  } cases[] = {{2.9, 2}, {-2.9, -2}, {2147483647.5, 2147483647}, {3e9, INT32_MIN}, {-3e9, INT32_MIN},
               {__builtin_nan(""), INT32_MIN}};
  for (auto& c : cases) EXPECT_EQ(DoubleToIntTrunc(c.v), c.expected) << c.v;
  EXPECT_EQ(FloatToIntTrunc(-2.5f), -2);
  EXPECT_EQ(FloatToIntTrunc(1e20f), INT32_MIN);
}

TEST(Clocks, FileTimesFromDataAreConvertedOrRefused) {
  DateRecord d{1, 1, 1, 1, 1, 1};
  FILETIME bad{0xFFFFFFFFu, 0x9F8C0000u};  // beyond 2^63: not a file time
  EXPECT_EQ(FileTimeToDateRecord(&bad, &d), -1);
  EXPECT_EQ(d.year, 0);
  EXPECT_EQ(d.second, 0);
  // 2000-06-15 12:00:00 UTC; local time may move the hour and day.
  uint64_t t = 126055440000000000ull;
  FILETIME good{(DWORD)t, (DWORD)(t >> 32)};
  EXPECT_EQ(FileTimeToDateRecord(&good, &d), 0);
  EXPECT_EQ(d.year, 2000);
}

TEST(List, AppendAndRemove) {
  List list;
  InitList(&list);
  ListNode a, b;
  AppendListNode(&list, &a, 1, nullptr);
  AppendListNode(&list, &b, 2, &a);
  EXPECT_EQ(list.head.next, &a);
  EXPECT_EQ(a.next, &b);
  EXPECT_EQ(b.data, &a);
  RemoveListNode(&a);
  EXPECT_EQ(list.head.next, &b);
  EXPECT_EQ(b.previous, &list.head);
}

}  // namespace
