// Tracking allocator: every engine allocation carries a 64-byte header with
// its origin, size and serial id and sits in a list of live blocks, so leaks
// are dumped to the log at shutdown with where they came from.
#pragma once

#include <cstdint>

void* TrackedAlloc(uint32_t size, const char* tag = nullptr, int16_t line = 0);
void* TrackedCalloc(uint32_t size, const char* tag = nullptr, int16_t line = 0);
// On failure returns null and the old block stays valid. Growth is zeroed.
void* TrackedRealloc(void* data, uint32_t size, const char* tag = nullptr, int16_t line = 0);
void TrackedFree(void* data);  // null is ignored
int DumpTrackedBlocks();       // -1 (the log's result)
int CheckTrackedBlocks();      // 0, or -1 at the first damaged header

// Live totals, for tests and the dump.
int TrackedBlockCount();
int TrackedTotalSize();
// Blocks of exactly this size are traced in the log (0 traces empty blocks).
void SetTrackedTraceSize(int size);

void* HeapAllocRaw(uint32_t size);
void* HeapReallocRaw(void* p, uint32_t size);
void HeapFreeRaw(void* p);

// Tagged shorthands for engine code.
#define VOX_ALLOC(n) TrackedAlloc((n), __FILE__, (int16_t)__LINE__)
#define VOX_CALLOC(n) TrackedCalloc((n), __FILE__, (int16_t)__LINE__)
#define VOX_REALLOC(p, n) TrackedRealloc((p), (n), __FILE__, (int16_t)__LINE__)
#define VOX_FREE(p) TrackedFree(p)
