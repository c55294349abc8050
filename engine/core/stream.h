// Streams: decoders read their input through six operations and a data
// handle, so one decoder reads a file of the file layer or a block of memory.
#pragma once

#include <cstddef>
#include <cstdint>

struct StreamOps {
  int64_t (*tell)(intptr_t data);
  int (*seek)(intptr_t data, int32_t offset, int origin);  // 0 set, 1 current, 2 end
  size_t (*read)(void* buffer, size_t size, size_t count, intptr_t data);  // whole elements
  int (*eof)(intptr_t data);   // non-zero at end
  int (*idle)(intptr_t data);  // 1 when no asynchronous read is pending
  int (*close)(intptr_t data);
};

struct StreamData {
  StreamOps ops;
  intptr_t data;  // a file-layer handle or a MemSrc pointer
};

// Memory stream over a block the caller keeps alive.
struct MemSrc {
  const uint8_t* data;
  uint32_t size;
  uint32_t position;
  int at_end;
};

MemSrc* OpenMemSrc(const void* data, uint32_t size);  // null when out of memory
int CloseMemSrc(intptr_t record);
int64_t MemSrcTell(intptr_t record);
int MemSrcSeek(intptr_t record, int32_t offset, int origin);
size_t MemSrcRead(void* buffer, size_t size, size_t count, intptr_t record);
size_t MemSrcWrite(const void* buffer, size_t size, size_t count, intptr_t record);
int MemSrcEof(intptr_t record);
int MemSrcIdle(intptr_t record);

// Filled by start-up (and on first use), never null.
const StreamOps* GetFileStreamOps();
const StreamOps* GetMemSrcStreamOps();
void InitStreamTables();

// Convenience for decoders and tests: a stream over a memory block, or over a
// file opened through the file layer. Both return 0, or -1 on failure.
int OpenMemStream(StreamData* out, const void* data, uint32_t size);
int OpenFileStream(StreamData* out, const char* path);
