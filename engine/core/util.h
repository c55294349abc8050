// Clocks, code-page-932-aware string helpers, byte copies and fills, number
// formatting, arithmetic helpers and an intrusive list, shared by the engine.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "platform/win32/cp932.h"
#include "platform/win32/win32.h"

struct DateRecord {
  int year, month, day, hour, minute, second;
};

// ---- clocks
int GetMillisecondCount();                         // never negative; wraps after 31 bits
// The clock GetMillisecondCount reads: the system's, unless a test installs
// one of its own to step time by hand (null gives the system's back).
void SetMillisecondClock(int (*clock)());
int64_t GetMicrosecondCount(int use_cpu_counter);  // monotonic
// The clock GetMicrosecondCount reads, whichever counter is asked for: the
// system's, unless a test installs one of its own (null gives them back).
void SetMicrosecondClock(int64_t (*clock)());
int GetLocalDateTime(DateRecord* out);
int FileTimeToDateRecord(const FILETIME* time, DateRecord* out);

// ---- strings
char* CopyString(char* dst, const char* src);
char* AppendString(char* dst, const char* src);
const char* FindCharMb(const char* text, unsigned char byte);
int StringsDiffer(const char* a, const char* b);
int PrefixDiffers(const char* a, const char* b, size_t n);
char* UpperCaseMb(char* text);
char* IntToText(int value, char* buffer, int radix);
// printf-style into a buffer of `size` bytes; the text is cut to fit and
// always terminated. Returns the length written.
int FormatStringV(char* buffer, size_t size, const char* format, va_list args);
int FormatString(char* buffer, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
// Copies at most size - 1 bytes and terminates, never splitting a two-byte
// character. Returns dst.
char* CopyStringBounded(char* dst, const char* src, size_t size);

// ---- memory
void* FillBytes(void* dst, int byte, size_t n);
void* CopyBytes(void* dst, const void* src, size_t n);
void* MoveBytes(void* dst, const void* src, size_t n);
int BytesDiffer(const void* a, const void* b, size_t n);

// ---- arithmetic
void SinCosFloat(float angle, float* sin_out, float* cos_out);
int AbsInt(int v);
float AbsFloat(float v);
int FloatToIntTrunc(float v);
int DoubleToIntTrunc(double v);
float SqrtFloat(float v);
int64_t MulDiv64(int64_t a, int64_t b, int64_t c);  // a * b / c with a 128-bit product
int64_t Div64(int64_t a, int64_t b);

// ---- intrusive doubly linked list with head and tail sentinels
struct ListNode {
  ListNode* previous;
  ListNode* next;
  int value;
  void* data;
};
struct List {
  ListNode head;
  ListNode tail;
};
void InitList(List* list);
void AppendListNode(List* list, ListNode* node, int value, void* data);
void RemoveListNode(ListNode* node);

// ---- counted objects of the platform's interfaces
// Releases the object held, if any, and forgets it.
template <class T>
void ReleaseObject(T*& object) {
  if (object) object->Release();
  object = nullptr;
}
