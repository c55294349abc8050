// The net battle's parsers over any bytes. The input is read four ways:
// as a TCP stream arriving in pieces (the records that come out must be a
// plain reading of the stream up to its end record), as datagrams of the
// lengths its bytes give (only whole records are taken), as the text of an
// address a player pastes (an accepted address must read back the same once
// written out), and as records queued for the peer's field (whatever they
// hold, the field keeps a bounded store, plays each frame once and keeps its
// command list in frame order).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "game/net/field_network.h"
#include "game/net/net_wire.h"
#include "game/net/socket_set.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz_net_records: %s\n", what);
    std::abort();
  }
}

void CheckStream(const uint8_t* data, size_t size) {
  // The plain reading: whole records until the end record.
  std::vector<replay_command> plain;
  bool ended = false;
  size_t end_at = size;
  for (size_t at = 0; at + kRecordBytes <= size; at += kRecordBytes) {
    if (is_end_record(data + at)) {
      ended = true;
      end_at = at + kRecordBytes;
      break;
    }
    plain.push_back(decode_record(data + at));
  }
  Record_Stream stream;
  std::vector<replay_command> got;
  bool got_end = false;
  size_t at = 0;
  for (size_t piece = 0; at < size && !got_end; ++piece) {
    size_t left = std::min(size - at, (size_t)(data[piece % size] % 11) + 1);
    while (left > 0 && !got_end) {
      size_t used = 0;
      replay_command r;
      Record_Stream::Piece p = stream.feed(data + at, left, &used, &r);
      Check(used <= left, "a feed took more than it was given");
      at += used;
      left -= used;
      if (p == Record_Stream::kRecord) got.push_back(r);
      if (p == Record_Stream::kEnd) got_end = true;
    }
  }
  Check(got_end == ended, "the end record was seen differently");
  Check(!got_end || at == end_at, "bytes after the end record were taken");
  Check(got.size() == plain.size(), "a record was lost or made up");
  for (size_t i = 0; i < got.size(); ++i)
    Check(got[i].frame == plain[i].frame && got[i].bits == plain[i].bits, "a record came out changed");
}

void CheckDatagrams(const uint8_t* data, size_t size) {
  for (size_t at = 0; at < size;) {
    size_t length = std::min((size_t)data[at] % 16, size - at - 1);
    const uint8_t* datagram = data + at + 1;
    at += 1 + length;
    if (!datagram_is_record((int)length)) continue;
    Check(length == (size_t)kRecordBytes, "a datagram of another length was taken");
    uint8_t again[kRecordBytes];
    if (is_end_record(datagram)) {
      encode_end_record(again);
      Check(is_end_record(again), "the end record does not read back");
      continue;
    }
    encode_record(decode_record(datagram), again);
    Check(std::memcmp(again, datagram, 6) == 0 && again[6] == 0 && again[7] == 0, "a record does not read back");
  }
}

void CheckAddress(const uint8_t* data, size_t size) {
  char text[40] = {};
  std::memcpy(text, data, std::min(size, sizeof text - 1));
  const uint32_t address = parse_ipv4(text);
  char written[20];
  if (address != kInvalidAddress) {
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&address);
    std::snprintf(written, sizeof written, "%03d.%03d.%03d.%03d", b[0], b[1], b[2], b[3]);
    Check(parse_ipv4(written) == address, "an accepted address does not read back");
  }
  Pasted_Address pasted;
  if (parse_pasted_address(text, &pasted)) {
    Check(pasted.address != kInvalidAddress, "an invalid pasted address was taken");
    Check(pasted.port >= -1 && pasted.port <= 65535, "a pasted port out of range was taken");
  }
}

void CheckPeerField(const uint8_t* data, size_t size) {
  socket_set set;
  side_settings rules;
  rules.mode = 3;
  rules.frame_offset = data[0] % 8 + 2;
  rules.seed = (int)(size * 2654435761u % 0x1000000);
  Field_Client field(rules, 420, &set);
  size_t at = 1;
  for (int frame = 0; frame < 64 && at < size; ++frame) {
    // A few records per frame, as the receive thread would queue them.
    for (int n = data[at++] % 5; n > 0 && at + 6 <= size; --n, at += 6) {
      replay_command r{(uint32_t)data[at] | (uint32_t)data[at + 1] << 8 | (uint32_t)data[at + 2] << 16 |
                           (uint32_t)data[at + 3] << 24,
                       (uint16_t)(data[at + 4] | data[at + 5] << 8), 0};
      // Mostly near the field's time, as a peer's are.
      if (!(data[at + 3] & 0x80)) r.frame = (uint32_t)field.counters.time + r.frame % 40;
      append_record(&set, r);
    }
    field.take_received();
    Check(field.pending() <= (size_t)kRecordLeadLimit + 1, "the store of coming frames grew past its bound");
    if (field.inputs_ready()) field.update();
  }
  const std::vector<replay_command>& commands = field.input.commands;
  for (size_t i = 1; i < commands.size(); ++i)
    Check(commands[i].frame > commands[i - 1].frame, "the command list left frame order or repeats a frame");
  Check(field.input.next == commands.size(), "a command was kept but not applied");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  CheckStream(data, size);
  CheckDatagrams(data, size);
  CheckAddress(data, size);
  CheckPeerField(data, size);
  return 0;
}
