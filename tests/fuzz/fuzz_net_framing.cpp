// The socket module's message framing over bytes in memory. Receiving: the
// input is a byte stream that arrives in pieces the input also chooses; what
// the record holds must match a plain reading of the stream, and a length
// over the limit must turn the record bad. Sending: the input's bytes, queued
// in pieces and sent through a connection that takes few bytes at a time,
// must read back as messages holding exactly those bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/byte_order.h"
#include "engine/core/log.h"
#include "engine/net/net.h"

namespace {

// A connection in memory: `arrived` bytes of `stream` have come so far.
struct Incoming {
  const uint8_t* stream;
  size_t size;
  size_t arrived;
  size_t taken;
};

int Receive(void* context, char* data, int length, int peek) {
  auto* in = static_cast<Incoming*>(context);
  size_t ready = in->arrived - in->taken;
  if (ready == 0) return in->arrived == in->size ? 0 : -1;
  size_t n = std::min(ready, (size_t)length);
  memcpy(data, in->stream + in->taken, n);
  if (!peek) in->taken += n;
  return (int)n;
}

struct Outgoing {
  std::string wire;
  const uint8_t* limits;  // bytes per send, cycled
  size_t limit_count;
  size_t calls;
};

int Send(void* context, const char* data, int length) {
  auto* out = static_cast<Outgoing*>(context);
  size_t call = out->calls++;
  int limit = out->limit_count ? out->limits[call % out->limit_count] % 9 : length;
  if (limit == 0) {
    if (call % 4) return -1;  // nothing fits now (but now and then a byte does)
    limit = 1;
  }
  int n = std::min(limit, length);
  out->wire.append(data, (size_t)n);
  return n;
}

void NoPump(void*) {}

// The payloads of the whole messages at the start of `bytes`; `hostile` when
// a length over the limit comes before the stream ends.
std::string WholePayloads(const uint8_t* bytes, size_t size, bool* hostile) {
  std::string out;
  size_t at = 0;
  *hostile = false;
  while (size - at >= 4) {
    uint32_t length = ReadLe32(bytes + at);
    if (length > (uint32_t)NET_MESSAGE_LIMIT) {
      *hostile = true;
      break;
    }
    if (size - at - 4 < length) break;
    out.append(reinterpret_cast<const char*>(bytes + at + 4), length);
    at += 4 + length;
  }
  return out;
}

void CheckReceive(const uint8_t* pieces, size_t piece_count, const uint8_t* stream, size_t size) {
  SocketRecord r{};
  Incoming in{stream, size, 0, 0};
  NetTransport t{Receive, nullptr, NoPump, &in};
  for (size_t i = 0; in.arrived < size; i++) {
    size_t piece = piece_count ? 1 + pieces[i % piece_count] % 64 : size;
    in.arrived = std::min(size, in.arrived + piece);
    if (ReceiveFramed(&r, t) != 0) break;
  }
  if (!r.error) ReceiveFramed(&r, t);  // the peer's close
  bool hostile;
  std::string whole = WholePayloads(stream, size, &hostile);
  if (r.error != hostile) abort();
  if (r.completed != (int64_t)whole.size()) abort();
  std::string held((size_t)r.completed, '\0');
  if (ByteRingTake(&r.recv_ring, held.data(), (int32_t)held.size(), 0) != 0 || held != whole) abort();
  ByteRingRelease(&r.recv_ring);
}

void CheckSend(const uint8_t* limits, size_t limit_count, const uint8_t* bytes, size_t size) {
  SocketRecord r{};
  Outgoing out{std::string(), limits, limit_count, 0};
  NetTransport t{nullptr, Send, NoPump, &out};
  size_t queued = 0;
  size_t rounds = 16 * (size + 16);
  for (size_t round = 0; round < rounds && (queued < size || ByteRingUsed(&r.send_ring) > 0); round++) {
    if (queued < size) {
      size_t piece = std::min(size - queued, (size_t)(1 + bytes[queued] % 37));
      if (ByteRingPut(&r.send_ring, bytes + queued, (int32_t)piece) != 0) abort();
      queued += piece;
    }
    SendFramed(&r, t);
  }
  bool hostile;
  std::string payloads =
      WholePayloads(reinterpret_cast<const uint8_t*>(out.wire.data()), out.wire.size(), &hostile);
  if (hostile || payloads != std::string(reinterpret_cast<const char*>(bytes), size)) abort();
  ByteRingRelease(&r.send_ring);
}

}  // namespace

// Input: one byte n, then n bytes of piece sizes, then the stream.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = (SetLogOutput(0), true);
  (void)quiet;
  if (size == 0) return 0;
  size_t piece_count = std::min((size_t)data[0], size - 1);
  const uint8_t* pieces = data + 1;
  const uint8_t* stream = pieces + piece_count;
  size_t stream_size = size - 1 - piece_count;
  CheckReceive(pieces, piece_count, stream, stream_size);
  CheckSend(pieces, piece_count, stream, stream_size);
  return 0;
}
