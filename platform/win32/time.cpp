// Clocks and calendar times: the performance counter and the multimedia
// timer over CLOCK_MONOTONIC, file times and local time.
#include <errno.h>
#include <time.h>

#include <cstdint>

#include "platform/win32/kernel_object.h"
#include "platform/win32/win32.h"

namespace {

constexpr int64_t kFileTimeUnixEpoch = 116444736000000000LL;  // 1970-01-01 in 100 ns since 1601

int64_t MonotonicNanoseconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (int64_t)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

uint64_t ToUint64(const FILETIME& t) { return ((uint64_t)t.dwHighDateTime << 32) | t.dwLowDateTime; }

void FillSystemTime(const tm& parts, WORD milliseconds, SYSTEMTIME* out) {
  out->wYear = (WORD)(parts.tm_year + 1900);
  out->wMonth = (WORD)(parts.tm_mon + 1);
  out->wDayOfWeek = (WORD)parts.tm_wday;
  out->wDay = (WORD)parts.tm_mday;
  out->wHour = (WORD)parts.tm_hour;
  out->wMinute = (WORD)parts.tm_min;
  out->wSecond = (WORD)parts.tm_sec;
  out->wMilliseconds = milliseconds;
}

}  // namespace

FILETIME vox_win32::FileTimeFromUnix(int64_t seconds, long nanoseconds) {
  uint64_t t = (uint64_t)(seconds * 10000000LL + nanoseconds / 100 + kFileTimeUnixEpoch);
  return FILETIME{(DWORD)t, (DWORD)(t >> 32)};
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  if (!frequency) return FALSE;
  // 10 MHz, as the platform's counter usually runs: callers that scale
  // counts with 64-bit products then overflow no sooner than they did there.
  frequency->QuadPart = 10000000LL;
  return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* counter) {
  if (!counter) return FALSE;
  counter->QuadPart = MonotonicNanoseconds() / 100;
  return TRUE;
}

void SleepUntilPerformanceCount(LONGLONG count) {
  // The counter is CLOCK_MONOTONIC in units of 100 ns.
  timespec at{(time_t)(count / 10000000), (long)(count % 10000000) * 100};
  if (count <= 0) return;
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
  }
}

// Milliseconds since the machine started, wrapping like the platform's
// 32-bit count.
DWORD timeGetTime() { return (DWORD)(uint64_t)(MonotonicNanoseconds() / 1000000); }

MMRESULT timeGetDevCaps(TIMECAPS* caps, UINT size) {
  if (!caps || size < sizeof(TIMECAPS)) return TIMERR_NOCANDO;
  caps->wPeriodMin = 1;
  caps->wPeriodMax = 1000000;
  return TIMERR_NOERROR;
}

// The monotonic clock already has millisecond resolution; periods are only
// checked.
MMRESULT timeBeginPeriod(UINT period) { return period >= 1 && period <= 1000000 ? TIMERR_NOERROR : TIMERR_NOCANDO; }
MMRESULT timeEndPeriod(UINT period) { return period >= 1 && period <= 1000000 ? TIMERR_NOERROR : TIMERR_NOCANDO; }

BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) {
  // Times at or above 2^63 are not valid file times, as on Windows; the
  // shift below then cannot overflow either.
  if (!utc || !local || (int64_t)ToUint64(*utc) < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int64_t t = (int64_t)ToUint64(*utc);
  time_t seconds = (time_t)((t - kFileTimeUnixEpoch) / 10000000LL);
  tm parts;
  if (!localtime_r(&seconds, &parts)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int64_t offset = (int64_t)parts.tm_gmtoff * 10000000LL;
  if ((offset < 0 && t < -offset) || (offset > 0 && t > INT64_MAX - offset)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint64_t shifted = (uint64_t)(t + offset);
  local->dwLowDateTime = (DWORD)shifted;
  local->dwHighDateTime = (DWORD)(shifted >> 32);
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* out) {
  if (!time || !out || (int64_t)ToUint64(*time) < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int64_t t = (int64_t)ToUint64(*time);
  int64_t seconds = (t - kFileTimeUnixEpoch) / 10000000LL;
  int64_t rest = (t - kFileTimeUnixEpoch) % 10000000LL;
  if (rest < 0) {
    rest += 10000000LL;
    --seconds;
  }
  time_t s = (time_t)seconds;
  tm parts;
  if (!gmtime_r(&s, &parts)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  FillSystemTime(parts, (WORD)(rest / 10000), out);
  return TRUE;
}

void GetLocalTime(SYSTEMTIME* out) {
  if (!out) return;
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  tm parts;
  localtime_r(&ts.tv_sec, &parts);
  FillSystemTime(parts, (WORD)(ts.tv_nsec / 1000000), out);
}
