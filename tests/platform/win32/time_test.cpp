#include <cstdlib>
#include <string>

#include "platform/win32/win32.h"
#include "tests/platform/win32/test_util.h"
#include <gtest/gtest.h>

namespace {

TEST(Win32Time, CountersAdvanceWithSleep) {
  LARGE_INTEGER freq, a, b;
  ASSERT_TRUE(QueryPerformanceFrequency(&freq));
  EXPECT_GT(freq.QuadPart, 0);
  ASSERT_TRUE(QueryPerformanceCounter(&a));
  DWORD t0 = timeGetTime();
  Sleep(30);
  ASSERT_TRUE(QueryPerformanceCounter(&b));
  DWORD elapsed = timeGetTime() - t0;  // unsigned difference survives a wrap
  EXPECT_GE(elapsed, 29u);
  EXPECT_GE((b.QuadPart - a.QuadPart) * 1000 / freq.QuadPart, 29);
  Sleep(0);
}

// A sleep to a count of the performance counter wakes once the counter
// reads it; a count already passed returns at once.
TEST(Win32Time, ASleepUntilACountWakesOnceTheCounterReadsIt) {
  LARGE_INTEGER frequency, now;
  ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
  for (int i = 0; i < 5; i++) {
    QueryPerformanceCounter(&now);
    const LONGLONG deadline = now.QuadPart + frequency.QuadPart / 500;  // 2 ms
    SleepUntilPerformanceCount(deadline);
    QueryPerformanceCounter(&now);
    EXPECT_GE(now.QuadPart, deadline);
  }
  QueryPerformanceCounter(&now);
  const LONGLONG before = now.QuadPart;
  SleepUntilPerformanceCount(before - frequency.QuadPart);  // in the past: at once
  QueryPerformanceCounter(&now);
  EXPECT_LT(now.QuadPart - before, frequency.QuadPart / 10);
}

TEST(Win32Time, TimerCapsAndPeriods) {
  TIMECAPS caps;
  ASSERT_EQ(timeGetDevCaps(&caps, sizeof caps), TIMERR_NOERROR);
  EXPECT_EQ(caps.wPeriodMin, 1u);
  EXPECT_EQ(timeBeginPeriod(caps.wPeriodMin), TIMERR_NOERROR);
  EXPECT_EQ(timeEndPeriod(caps.wPeriodMin), TIMERR_NOERROR);
  EXPECT_EQ(timeBeginPeriod(0), TIMERR_NOCANDO);
  EXPECT_EQ(timeGetDevCaps(&caps, 1), TIMERR_NOCANDO);
}

TEST(Win32Time, FileTimeToSystemTime) {
  // 2001-02-03 04:05:06.789 UTC, in 100 ns since 1601.
  uint64_t t = (981173106ull * 10000000ull + 7890000ull) + 116444736000000000ull;
  FILETIME ft{(DWORD)t, (DWORD)(t >> 32)};
  SYSTEMTIME st;
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
  EXPECT_EQ(st.wYear, 2001);
  EXPECT_EQ(st.wMonth, 2);
  EXPECT_EQ(st.wDay, 3);
  EXPECT_EQ(st.wDayOfWeek, 6);  // a Saturday
  EXPECT_EQ(st.wHour, 4);
  EXPECT_EQ(st.wMinute, 5);
  EXPECT_EQ(st.wSecond, 6);
  EXPECT_EQ(st.wMilliseconds, 789);
  FILETIME bad{0, 0x80000000u};
  EXPECT_FALSE(FileTimeToSystemTime(&bad, &st));
}

TEST(Win32Time, LocalFileTimeFollowsTheTimeZone) {
  const char* old = getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "JST-9", 1);
  tzset();
  uint64_t t = 116444736000000000ull;  // 1970-01-01 00:00 UTC
  FILETIME utc{(DWORD)t, (DWORD)(t >> 32)}, local;
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
  SYSTEMTIME st;
  ASSERT_TRUE(FileTimeToSystemTime(&local, &st));
  EXPECT_EQ(st.wHour, 9);
  SYSTEMTIME now;
  GetLocalTime(&now);
  EXPECT_GE(now.wYear, 2024);
  if (old) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
  tzset();
}

TEST(Win32System, VersionCodePageAndDebugOutput) {
  OSVERSIONINFOA info{};
  EXPECT_FALSE(GetVersionExA(&info));  // the size field must be filled in
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
  EXPECT_GE(info.dwMajorVersion, 5u);
  EXPECT_EQ(GetOEMCP(), 932u);

  unsetenv("VOX_DEBUG_OUTPUT");
  testing::internal::CaptureStderr();
  OutputDebugStringA("silent");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  setenv("VOX_DEBUG_OUTPUT", "1", 1);
  testing::internal::CaptureStderr();
  OutputDebugStringA("空き 12MB\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), U8(u8"空き 12MB\n"));
  unsetenv("VOX_DEBUG_OUTPUT");
}

}  // namespace

namespace {

TEST(Win32ProcessDeathTest, ExitProcessEndsWithItsCode) {
  EXPECT_EXIT(ExitProcess(3), testing::ExitedWithCode(3), "");
}

}  // namespace
