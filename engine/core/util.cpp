// Clocks, code page 932 string helpers, memory helpers, arithmetic and the
// intrusive list.
#include "engine/core/util.h"

#include <x86intrin.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "engine/core/engine_state.h"

// ---- clocks ------------------------------------------------------------------

namespace {
std::atomic<int (*)()> g_millisecond_clock{nullptr};
std::atomic<int64_t (*)()> g_microsecond_clock{nullptr};
}  // namespace

void SetMillisecondClock(int (*clock)()) { g_millisecond_clock = clock; }

int GetMillisecondCount() {
  int (*clock)() = g_millisecond_clock;
  return (int)((clock ? (uint32_t)clock() : timeGetTime()) & 0x7FFFFFFFu);
}

void SetMicrosecondClock(int64_t (*clock)()) { g_microsecond_clock = clock; }

int64_t GetMicrosecondCount(int use_cpu_counter) {
  if (int64_t (*clock)() = g_microsecond_clock) return clock();
  if (use_cpu_counter == 1 && g_environment.cpu_clock > 0 && g_engine.initialised)
    return MulDiv64((int64_t)__rdtsc(), 1000000, g_environment.cpu_clock);
  if (g_engine.performance_counter_usable && g_engine.performance_frequency > 0) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return MulDiv64(now.QuadPart, 1000000, g_engine.performance_frequency);
  }
  return (int64_t)timeGetTime() * 1000;
}

namespace {
void SystemTimeToDate(const SYSTEMTIME& st, DateRecord* out) {
  out->year = st.wYear;
  out->month = st.wMonth;
  out->day = st.wDay;
  out->hour = st.wHour;
  out->minute = st.wMinute;
  out->second = st.wSecond;
}
}  // namespace

int GetLocalDateTime(DateRecord* out) {
  SYSTEMTIME st;
  GetLocalTime(&st);
  SystemTimeToDate(st, out);
  return 0;
}

// A time the platform cannot convert (file data may hold anything) gives a
// zeroed record and -1.
int FileTimeToDateRecord(const FILETIME* time, DateRecord* out) {
  FILETIME local;
  SYSTEMTIME st{};
  int ok = FileTimeToLocalFileTime(time, &local) && FileTimeToSystemTime(&local, &st);
  if (!ok) st = SYSTEMTIME{};
  SystemTimeToDate(st, out);
  return ok ? 0 : -1;
}

// ---- strings -----------------------------------------------------------------

char* CopyString(char* dst, const char* src) {
  std::memcpy(dst, src, std::strlen(src) + 1);
  return dst;
}

char* AppendString(char* dst, const char* src) {
  CopyString(dst + std::strlen(dst), src);
  return dst;
}

const char* FindCharMb(const char* text, unsigned char byte) {
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    if (vox_win32::IsCp932LeadByte(*p)) {
      if (!p[1]) break;
      ++p;
      continue;
    }
    if (*p == byte) return reinterpret_cast<const char*>(p);
  }
  return nullptr;
}

int StringsDiffer(const char* a, const char* b) { return std::strcmp(a, b) != 0; }

int PrefixDiffers(const char* a, const char* b, size_t n) { return std::memcmp(a, b, n) != 0; }

char* UpperCaseMb(char* text) {
  for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p; ++p) {
    if (vox_win32::IsCp932LeadByte(*p)) {
      if (!p[1]) break;
      ++p;
    } else if (*p >= 'a' && *p <= 'z') {
      *p = (unsigned char)(*p - 'a' + 'A');
    }
  }
  return text;
}

char* IntToText(int value, char* buffer, int radix) {
  if (radix < 2 || radix > 36) radix = 10;
  char digits[40];
  int n = 0;
  // Work in unsigned so INT_MIN has a magnitude.
  unsigned magnitude = value < 0 ? 0u - (unsigned)value : (unsigned)value;
  do {
    unsigned d = magnitude % (unsigned)radix;
    digits[n++] = (char)(d < 10 ? '0' + d : 'a' + d - 10);
    magnitude /= (unsigned)radix;
  } while (magnitude);
  char* p = buffer;
  if (value < 0) *p++ = '-';
  while (n) *p++ = digits[--n];
  *p = 0;
  return buffer;
}

namespace {
// Length of the longest prefix of `text` (of `len` bytes) that is at most
// `limit` bytes and does not end inside a two-byte character.
size_t Cp932Cut(const char* text, size_t len, size_t limit) {
  if (len <= limit) return len;
  size_t i = 0;
  while (i < limit) {
    size_t step = vox_win32::IsCp932LeadByte((unsigned char)text[i]) ? 2 : 1;
    if (i + step > limit) break;
    i += step;
  }
  return i;
}
}  // namespace

int FormatStringV(char* buffer, size_t size, const char* format, va_list args) {
  if (size == 0) return 0;
  va_list copy;
  va_copy(copy, args);
  int full = std::vsnprintf(buffer, size, format, copy);
  va_end(copy);
  if (full < 0) {
    buffer[0] = 0;
    return 0;
  }
  size_t kept = Cp932Cut(buffer, std::strlen(buffer), size - 1);
  buffer[kept] = 0;
  return (int)kept;
}

int FormatString(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = FormatStringV(buffer, size, format, args);
  va_end(args);
  return n;
}

char* CopyStringBounded(char* dst, const char* src, size_t size) {
  if (size == 0) return dst;
  size_t n = Cp932Cut(src, std::strlen(src), size - 1);
  std::memcpy(dst, src, n);
  dst[n] = 0;
  return dst;
}

// ---- memory ------------------------------------------------------------------

void* FillBytes(void* dst, int byte, size_t n) { return std::memset(dst, byte, n); }
void* CopyBytes(void* dst, const void* src, size_t n) { return n ? std::memcpy(dst, src, n) : dst; }
void* MoveBytes(void* dst, const void* src, size_t n) { return n ? std::memmove(dst, src, n) : dst; }
int BytesDiffer(const void* a, const void* b, size_t n) { return n && std::memcmp(a, b, n) != 0; }

// ---- arithmetic --------------------------------------------------------------

void SinCosFloat(float angle, float* sin_out, float* cos_out) {
  *sin_out = std::sin(angle);
  *cos_out = std::cos(angle);
}
int AbsInt(int v) { return v < 0 ? -v : v; }
float AbsFloat(float v) { return std::fabs(v); }
// Toward zero; values outside the int range (and NaN) give INT_MIN, as the
// processor's own conversion does, instead of undefined behaviour.
int DoubleToIntTrunc(double v) {
  if (!(v > -2147483649.0 && v < 2147483648.0)) return INT32_MIN;
  return (int)v;
}
int FloatToIntTrunc(float v) { return DoubleToIntTrunc(v); }
float SqrtFloat(float v) { return std::sqrt(v); }

int64_t MulDiv64(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return 0;
  return (int64_t)((__int128)a * b / c);
}
int64_t Div64(int64_t a, int64_t b) { return b == 0 ? 0 : a / b; }

// ---- list --------------------------------------------------------------------

void InitList(List* list) {
  list->head.previous = nullptr;
  list->head.next = &list->tail;
  list->tail.previous = &list->head;
  list->tail.next = nullptr;
}

void AppendListNode(List* list, ListNode* node, int value, void* data) {
  node->value = value;
  node->data = data;
  node->previous = list->tail.previous;
  node->next = &list->tail;
  list->tail.previous->next = node;
  list->tail.previous = node;
}

void RemoveListNode(ListNode* node) {
  node->previous->next = node->next;
  node->next->previous = node->previous;
  node->previous = node->next = nullptr;
}
