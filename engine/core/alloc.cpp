// Tracking allocator. Each block is one raw heap allocation: a header, then
// the caller's data. The header's first part is copied into a guard right
// behind it; a difference between the two shows an overwritten header.
#include "engine/core/alloc.h"

#include <cstddef>
#include <cstring>

#include "engine/core/log.h"
#include "engine/core/util.h"
#include "platform/win32/win32.h"

namespace {

struct BlockHeader {
  char tag[16];  // last 15 characters of the caller's tag
  uint16_t id;
  int16_t line;
  uint32_t size;
  BlockHeader* older;
  BlockHeader* newer;
};
constexpr size_t kFieldBytes = sizeof(BlockHeader);            // 40 on 64-bit
constexpr size_t kGuardOffset = kFieldBytes;                   // guard copy follows
constexpr size_t kHeaderBytes = (kFieldBytes * 2 + 15) / 16 * 16;  // data stays 16-aligned
static_assert(kHeaderBytes >= kGuardOffset + kFieldBytes);

struct Allocator {
  alignas(16) unsigned char sentinel_bytes[kHeaderBytes];
  BlockHeader* newest;
  int total_size;
  int block_count;
  uint16_t next_id;
  int trace_size;
};
Allocator g_alloc;

BlockHeader* Sentinel() { return reinterpret_cast<BlockHeader*>(g_alloc.sentinel_bytes); }
BlockHeader* Newest() { return g_alloc.newest ? g_alloc.newest : Sentinel(); }
BlockHeader* HeaderOf(void* data) { return reinterpret_cast<BlockHeader*>(static_cast<unsigned char*>(data) - kHeaderBytes); }
void* DataOf(BlockHeader* h) { return reinterpret_cast<unsigned char*>(h) + kHeaderBytes; }
unsigned char* Guard(BlockHeader* h) { return reinterpret_cast<unsigned char*>(h) + kGuardOffset; }

void Seal(BlockHeader* h) {
  if (h) std::memcpy(Guard(h), h, kFieldBytes);
}

void SetTag(BlockHeader* h, const char* tag) {
  std::memset(h->tag, 0, sizeof h->tag);
  if (!tag) return;
  size_t n = std::strlen(tag);
  const char* from = n > 15 ? tag + (n - 15) : tag;
  std::memcpy(h->tag, from, n > 15 ? 15 : n);
}

// "\tsize:...  data:<AB.> [41 42 01]\n"
void LogBlockLine(BlockHeader* h) {
  char line[256];
  int n = FormatString(line, sizeof line, "\tsize:%d(%.3fkb)  file:%s  line:%d  ID:%d  addr:%08x  data:<",
                       (int)h->size, h->size / 1024.0, h->tag, (int)h->line, (int)h->id,
                       (unsigned)(uintptr_t)DataOf(h));
  const unsigned char* data = static_cast<const unsigned char*>(DataOf(h));
  uint32_t shown = h->size < 16 ? h->size : 16;
  for (uint32_t i = 0; i < shown; ++i) line[n++] = (data[i] < 0x20 || data[i] > 0x7F) ? '.' : (char)data[i];
  line[n++] = '>';
  line[n++] = ' ';
  line[n++] = '[';
  for (uint32_t i = 0; i < shown; ++i) n += FormatString(line + n, sizeof line - n, "%02x ", data[i]);
  line[n - 1] = ']';
  line[n++] = '\n';
  line[n] = 0;
  WriteLogText(line);
}

void Trace(const char* what, BlockHeader* h) {
  if ((int)h->size != g_alloc.trace_size) return;
  WriteLogText(what);
  LogBlockLine(h);
}

bool SizeFits(uint32_t size) { return size <= UINT32_MAX - kHeaderBytes; }

}  // namespace

void* HeapAllocRaw(uint32_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }
void* HeapReallocRaw(void* p, uint32_t size) { return HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, p, size); }
void HeapFreeRaw(void* p) { HeapFree(GetProcessHeap(), 0, p); }

namespace {

// A new block, linked in as the newest. With `zeroed` the heap hands out
// zero-filled memory, which comes from the system already zero (calloc
// clears only what it reuses), so pages the caller never reads or writes
// are never touched; only the header is written here.
void* NewTrackedBlock(uint32_t size, const char* tag, int16_t line, bool zeroed) {
  BlockHeader* h = nullptr;
  if (SizeFits(size))
    h = static_cast<BlockHeader*>(zeroed ? HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size + kHeaderBytes)
                                         : HeapAllocRaw(size + kHeaderBytes));
  if (!h) {
    DumpTrackedBlocks();
    CheckTrackedBlocks();
    return nullptr;
  }
  SetTag(h, tag);
  h->size = size;
  h->line = line;
  h->id = g_alloc.next_id++;
  BlockHeader* older = Newest();
  older->newer = h;
  h->older = older;
  h->newer = nullptr;
  g_alloc.newest = h;
  Seal(h);
  Seal(older);
  g_alloc.total_size += (int)size;
  g_alloc.block_count++;
  Trace("mem alloc  ", h);
  return DataOf(h);
}

}  // namespace

void* TrackedAlloc(uint32_t size, const char* tag, int16_t line) { return NewTrackedBlock(size, tag, line, false); }

void* TrackedCalloc(uint32_t size, const char* tag, int16_t line) { return NewTrackedBlock(size, tag, line, true); }

void* TrackedRealloc(void* data, uint32_t size, const char* tag, int16_t line) {
  if (!data) return TrackedAlloc(size, tag, line);
  BlockHeader* old = HeaderOf(data);
  uint32_t old_size = old->size;
  BlockHeader* h = SizeFits(size) ? static_cast<BlockHeader*>(HeapReallocRaw(old, size + kHeaderBytes)) : nullptr;
  if (!h) {
    DumpTrackedBlocks();
    return nullptr;
  }
  SetTag(h, tag);
  h->line = line;
  h->id = g_alloc.next_id++;
  h->size = size;
  h->older->newer = h;
  if (h->newer) h->newer->older = h;
  else g_alloc.newest = h;
  g_alloc.total_size += (int)size - (int)old_size;
  Seal(h);
  Seal(h->older);
  Seal(h->newer);
  Trace("mem realloc  ", h);
  return DataOf(h);
}

void TrackedFree(void* data) {
  if (!data) return;
  BlockHeader* h = HeaderOf(data);
  g_alloc.total_size -= (int)h->size;
  g_alloc.block_count--;
  h->older->newer = h->newer;
  if (h->newer) h->newer->older = h->older;
  else g_alloc.newest = h->older;
  Seal(h->older);
  Seal(h->newer);
  Trace("mem free  ", h);
  HeapFreeRaw(h);
}

int DumpTrackedBlocks() {
  WriteLogText("\n");
  WriteLogText("Alloc memory dump\n");
  for (BlockHeader* h = Newest(); h != Sentinel(); h = h->older) LogBlockLine(h);
  WriteLogFormat("\tTotal size:%d(%.3fkb)  Alloc num:%d", g_alloc.total_size, g_alloc.total_size / 1024.0,
                 g_alloc.block_count);
  return WriteLogText("\n");
}

int CheckTrackedBlocks() {
  for (BlockHeader* h = Newest(); h != Sentinel(); h = h->older) {
    if (std::memcmp(Guard(h), h, kFieldBytes) != 0) {
      WriteLogText("以下のメモリ確保情報が破損しました");
      LogBlockLine(h);
      return -1;
    }
  }
  return 0;
}

int TrackedBlockCount() { return g_alloc.block_count; }
int TrackedTotalSize() { return g_alloc.total_size; }
void SetTrackedTraceSize(int size) { g_alloc.trace_size = size; }
