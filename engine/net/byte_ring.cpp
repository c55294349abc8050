// The growable byte ring of the socket module. Sizes are checked in 64 bits
// before they become a buffer, so no length can wrap the arithmetic.
#include <algorithm>
#include <climits>
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/log.h"
#include "engine/net/net.h"

namespace {

constexpr int32_t kGrowthSlack = 1000;

// Copies n bytes out of the ring from `from`, wrapping at the capacity.
void CopyOut(const ByteRing* ring, int32_t from, uint8_t* to, int32_t n) {
  int32_t first = std::min(n, ring->capacity - from);
  memcpy(to, ring->buffer + from, (size_t)first);
  memcpy(to + first, ring->buffer, (size_t)(n - first));
}

}  // namespace

int ByteRingInit(ByteRing* ring) {
  *ring = ByteRing{};
  return 0;
}

int ByteRingRelease(ByteRing* ring) {
  TrackedFree(ring->buffer);
  return ByteRingInit(ring);
}

int ByteRingWrap(ByteRing* ring) {
  if (ring->read == ring->capacity) ring->read = 0;
  if (ring->write == ring->capacity) ring->write = 0;
  return 0;
}

int32_t ByteRingUsed(const ByteRing* ring) { return ring->held; }
int32_t ByteRingSpace(const ByteRing* ring) { return ring->capacity - ring->held; }

int ByteRingReserve(ByteRing* ring, int32_t n) {
  ByteRingWrap(ring);
  if (n < 0) return -1;
  if ((int64_t)ring->held + n <= ring->capacity) return 0;
  int64_t size = (int64_t)ring->held + n + kGrowthSlack;
  uint8_t* grown = size <= INT32_MAX ? static_cast<uint8_t*>(VOX_ALLOC((uint32_t)size)) : nullptr;
  if (!grown) {
    // The held bytes stay where they are: a ring that cannot grow loses nothing.
    WriteLogFormat("リングバッファの再確保に失敗しました(確保しようとしたサイズ %lld byte)", (long long)size);
    return -1;
  }
  if (ring->held) CopyOut(ring, ring->read, grown, ring->held);
  TrackedFree(ring->buffer);
  ring->buffer = grown;
  ring->read = 0;
  ring->write = ring->held;
  ring->capacity = (int32_t)size;
  return 0;
}

int ByteRingPut(ByteRing* ring, const void* data, int32_t n) {
  if (ByteRingReserve(ring, n) != 0) {
    WriteLogFormat("リングバッファへのデータの追加に失敗しました(追加する長さ %d byte)", n);
    return -1;
  }
  if (n == 0) return 0;
  const uint8_t* from = static_cast<const uint8_t*>(data);
  int32_t first = std::min(n, ring->capacity - ring->write);
  memcpy(ring->buffer + ring->write, from, (size_t)first);
  memcpy(ring->buffer, from + first, (size_t)(n - first));
  ring->write = n > first ? n - first : ring->write + n;
  ring->held += n;
  return 0;
}

int ByteRingTake(ByteRing* ring, void* destination, int32_t n, int peek) {
  ByteRingWrap(ring);
  if (n < 0 || n > ring->held) return -1;
  if (n == 0) return 0;
  CopyOut(ring, ring->read, static_cast<uint8_t*>(destination), n);
  if (!peek) {
    ring->read = (int32_t)(((int64_t)ring->read + n) % ring->capacity);
    ring->held -= n;
  }
  return 0;
}
