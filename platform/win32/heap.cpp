// Process heap and global memory over malloc. Each block carries its size in
// a header, so a grown block can be zero-filled exactly beyond the old end.
#include <sys/sysinfo.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/win32/win32.h"

namespace {

struct alignas(16) BlockHeader {
  size_t size;
  size_t magic;
};
constexpr size_t kHeapMagic = 0x5648454150424C4Bull;    // heap blocks
constexpr size_t kGlobalMagic = 0x56474C4F42414C21ull;  // GlobalAlloc blocks

BlockHeader* HeaderOf(void* p) { return static_cast<BlockHeader*>(p) - 1; }

void* NewBlock(size_t bytes, bool zero, size_t magic) {
  if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  auto* h = static_cast<BlockHeader*>(zero ? calloc(1, sizeof(BlockHeader) + bytes)
                                           : malloc(sizeof(BlockHeader) + bytes));
  if (!h) return nullptr;
  h->size = bytes;
  h->magic = magic;
  return h + 1;
}

int process_heap_tag;

}  // namespace

HANDLE GetProcessHeap() { return &process_heap_tag; }

LPVOID HeapAlloc(HANDLE, DWORD flags, size_t bytes) {
  void* p = NewBlock(bytes, flags & HEAP_ZERO_MEMORY, kHeapMagic);
  if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID mem, size_t bytes) {
  if (!mem) return HeapAlloc(heap, flags, bytes);
  BlockHeader* old = HeaderOf(mem);
  if (old->magic != kHeapMagic || bytes > SIZE_MAX - sizeof(BlockHeader)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  size_t old_size = old->size;
  auto* h = static_cast<BlockHeader*>(realloc(old, sizeof(BlockHeader) + bytes));
  if (!h) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;  // the old block stays valid
  }
  h->size = bytes;
  if ((flags & HEAP_ZERO_MEMORY) && bytes > old_size) memset((char*)(h + 1) + old_size, 0, bytes - old_size);
  return h + 1;
}

BOOL HeapFree(HANDLE, DWORD, LPVOID mem) {
  if (!mem) return TRUE;
  BlockHeader* h = HeaderOf(mem);
  if (h->magic != kHeapMagic) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  h->magic = 0;
  free(h);
  return TRUE;
}

// A global block's handle is its address, for fixed and moveable blocks
// alike: nothing here ever moves memory behind a lock.
HGLOBAL GlobalAlloc(UINT flags, size_t bytes) {
  void* p = NewBlock(bytes, flags & GMEM_ZEROINIT, kGlobalMagic);
  if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

static bool IsGlobal(HGLOBAL mem) { return mem && HeaderOf(mem)->magic == kGlobalMagic; }

LPVOID GlobalLock(HGLOBAL mem) {
  if (!IsGlobal(mem)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return mem;
}

BOOL GlobalUnlock(HGLOBAL mem) {
  if (!IsGlobal(mem)) SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;  // the platform answers FALSE once a block is no longer locked
}

size_t GlobalSize(HGLOBAL mem) {
  if (!IsGlobal(mem)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return HeaderOf(mem)->size;
}

HGLOBAL GlobalFree(HGLOBAL mem) {
  if (!mem) return nullptr;
  if (!IsGlobal(mem)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return mem;
  }
  HeaderOf(mem)->magic = 0;
  free(HeaderOf(mem));
  return nullptr;
}

// Memory the kernel could hand out without swapping ("MemAvailable"), which
// counts reclaimable caches; `fallback` when the kernel does not say.
static size_t AvailableMemory(size_t fallback) {
  FILE* f = fopen("/proc/meminfo", "r");
  if (!f) return fallback;
  char line[256];
  size_t kb = 0;
  bool found = false;
  while (!found && fgets(line, sizeof line, f)) found = sscanf(line, "MemAvailable: %zu kB", &kb) == 1;
  fclose(f);
  return found ? kb * 1024 : fallback;
}

void GlobalMemoryStatus(MEMORYSTATUS* status) {
  if (!status) return;
  struct sysinfo si {};
  sysinfo(&si);
  size_t unit = si.mem_unit ? si.mem_unit : 1;
  status->dwLength = sizeof(MEMORYSTATUS);
  status->dwTotalPhys = (size_t)si.totalram * unit;
  status->dwAvailPhys = AvailableMemory((size_t)(si.freeram + si.bufferram) * unit);
  status->dwMemoryLoad =
      status->dwTotalPhys ? (DWORD)(100 - status->dwAvailPhys * 100 / status->dwTotalPhys) : 0;
  status->dwTotalPageFile = status->dwTotalPhys + (size_t)si.totalswap * unit;
  status->dwAvailPageFile = status->dwAvailPhys + (size_t)si.freeswap * unit;
  // The address space a 64-bit process may use (47 bits of user space).
  status->dwTotalVirtual = (size_t)1 << 47;
  status->dwAvailVirtual = status->dwTotalVirtual;
}
