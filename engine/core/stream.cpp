// Memory streams: a read position over a block the caller keeps alive, and
// the operation table that lets decoders read such a block like a file.
#include "engine/core/stream.h"

#include <cstring>

#include "engine/core/alloc.h"

MemSrc* OpenMemSrc(const void* data, uint32_t size) {
  MemSrc* src = static_cast<MemSrc*>(VOX_CALLOC(sizeof(MemSrc)));
  if (!src) return nullptr;
  src->data = static_cast<const uint8_t*>(data);
  src->size = size;
  return src;
}

int CloseMemSrc(intptr_t record) {
  VOX_FREE(reinterpret_cast<MemSrc*>(record));
  return 0;
}

int64_t MemSrcTell(intptr_t record) { return reinterpret_cast<MemSrc*>(record)->position; }

int MemSrcSeek(intptr_t record, int32_t offset, int origin) {
  MemSrc* src = reinterpret_cast<MemSrc*>(record);
  int64_t target;
  switch (origin) {
    case 0: target = offset; break;
    case 1: target = (int64_t)src->position + offset; break;
    case 2: target = (int64_t)src->size + offset; break;
    default: return -1;
  }
  if (target < 0) target = 0;
  if (target > src->size) target = src->size;
  src->position = (uint32_t)target;
  src->at_end = 0;
  return 0;
}

// Whole elements only, as a file stream reads them: a final element the
// block holds only part of is not transferred and reads as the end, so a
// short read is reported alike by memory and file streams (and a partial
// element written would be a torn value in the block).
static size_t TransferMemSrc(void* buffer, size_t size, size_t count, MemSrc* src, bool write) {
  if (size == 0 || count == 0) return 0;
  const size_t remaining = src->size - src->position;
  const size_t n = count > remaining / size ? remaining / size : count;
  if (n == 0) {
    src->at_end = 1;
    return 0;
  }
  uint8_t* at = const_cast<uint8_t*>(src->data) + src->position;
  if (write)
    std::memcpy(at, buffer, n * size);
  else
    std::memcpy(buffer, at, n * size);
  src->position += (uint32_t)(n * size);
  src->at_end = 0;
  return n;
}

size_t MemSrcRead(void* buffer, size_t size, size_t count, intptr_t record) {
  return TransferMemSrc(buffer, size, count, reinterpret_cast<MemSrc*>(record), false);
}

size_t MemSrcWrite(const void* buffer, size_t size, size_t count, intptr_t record) {
  return TransferMemSrc(const_cast<void*>(buffer), size, count, reinterpret_cast<MemSrc*>(record), true);
}

int MemSrcEof(intptr_t record) { return reinterpret_cast<MemSrc*>(record)->at_end; }

int MemSrcIdle(intptr_t) { return 1; }

static const StreamOps kMemSrcStreamOps = {MemSrcTell, MemSrcSeek, MemSrcRead, MemSrcEof, MemSrcIdle, CloseMemSrc};

const StreamOps* GetMemSrcStreamOps() { return &kMemSrcStreamOps; }

int OpenMemStream(StreamData* out, const void* data, uint32_t size) {
  MemSrc* src = OpenMemSrc(data, size);
  if (!src) return -1;
  out->ops = kMemSrcStreamOps;
  out->data = reinterpret_cast<intptr_t>(src);
  return 0;
}
