// Cutting a byte stream into messages of a 4-byte little-endian length and
// that many bytes, and back. The loops take whatever the transport gives and
// keep their place in the record between calls, so a message may arrive or
// leave in any number of pieces.
#include <algorithm>

#include "base/byte_order.h"
#include "engine/core/log.h"
#include "engine/net/net.h"

namespace {

// Takes the next length off the stream and makes room for its message. 1
// when a message has begun, 0 when fewer than 4 bytes are there, -1 when
// the record turned bad.
int BeginMessage(SocketRecord* r, const NetTransport& t) {
  uint8_t prefix[4];
  if (t.receive(t.context, reinterpret_cast<char*>(prefix), 4, 1) < 4) return 0;
  uint32_t length = ReadLe32(prefix);
  if (length > (uint32_t)NET_MESSAGE_LIMIT) {
    WriteLogFormat("受信データのサイズが不正です(データサイズ %u byte)", length);
    r->error = 1;
    return -1;
  }
  if ((int64_t)ByteRingUsed(&r->recv_ring) + length > NET_RECEIVE_LIMIT ||
      ByteRingReserve(&r->recv_ring, (int32_t)length) != 0) {
    WriteLogFormat("受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %u byte)", length);
    r->error = 1;
    return -1;
  }
  // The length was only looked at; now it leaves the stream.
  int taken = t.receive(t.context, reinterpret_cast<char*>(prefix), 4, 0);
  if (taken < 0) return 0;
  if (taken != 4) {
    r->error = 1;
    return -1;
  }
  r->recv_remaining = r->recv_length = (int32_t)length;
  return 1;
}

}  // namespace

int ReceiveFramed(SocketRecord* r, const NetTransport& t) {
  ByteRing& ring = r->recv_ring;
  for (;;) {
    if (r->recv_remaining == 0) {
      int begun = BeginMessage(r, t);
      if (begun <= 0) return begun;
      if (r->recv_length == 0) continue;  // an empty message is whole at once
    }
    // The ring has room for the rest of the message: after the write offset
    // up to the end, then from the start up to the read offset.
    ByteRingWrap(&ring);
    int32_t first = std::min(r->recv_remaining, ring.capacity - ring.write);
    int n = t.receive(t.context, reinterpret_cast<char*>(ring.buffer + ring.write), first, 0);
    if (n <= 0) return 0;
    int32_t got = n;
    ring.write += n;
    if (n == first && first < r->recv_remaining) {
      int rest = t.receive(t.context, reinterpret_cast<char*>(ring.buffer), r->recv_remaining - first, 0);
      ring.write = rest > 0 ? rest : 0;
      if (rest > 0) got += rest;
    }
    ring.held += got;
    r->recv_remaining -= got;
    bool whole = r->recv_remaining == 0;
    if (whole) r->completed += r->recv_length;
    t.pump(t.context);
    if (!whole) return 0;  // the rest comes with a later read event
  }
}

int SendFramed(SocketRecord* r, const NetTransport& t) {
  ByteRing& ring = r->send_ring;
  if (ByteRingUsed(&ring) == 0) return 0;
  uint8_t prefix[4];
  for (;;) {
    if (r->send_prefix_unsent > 0) {
      WriteLe32(prefix, (uint32_t)r->send_length);
      int n = t.send(t.context, reinterpret_cast<char*>(prefix) + 4 - r->send_prefix_unsent, r->send_prefix_unsent);
      if (n <= 0) return 0;
      r->send_prefix_unsent -= n;
      if (r->send_prefix_unsent > 0) return 0;
    } else if (r->send_length == 0) {
      r->send_length = std::min(ByteRingUsed(&ring), NET_MESSAGE_LIMIT);
      WriteLe32(prefix, (uint32_t)r->send_length);
      int n = t.send(t.context, reinterpret_cast<char*>(prefix), 4);
      if (n <= 0) {
        r->send_length = 0;
        return 0;
      }
      if (n < 4) {
        r->send_prefix_unsent = 4 - n;
        return 0;
      }
    }
    ByteRingWrap(&ring);
    int32_t first = std::min(r->send_length, ring.capacity - ring.read);
    int n = t.send(t.context, reinterpret_cast<char*>(ring.buffer + ring.read), first);
    if (n <= 0) return 0;
    int32_t sent = n;
    ring.read += n;
    if (n == first && first < r->send_length) {
      int rest = t.send(t.context, reinterpret_cast<char*>(ring.buffer), r->send_length - first);
      if (rest > 0) {
        sent += rest;
        ring.read = rest;
      }
    }
    ring.held -= sent;
    r->send_length -= sent;
    t.pump(t.context);
    if (r->send_length > 0 || ByteRingUsed(&ring) == 0) return 0;
  }
}
