// What a net battle puts on the wire, and the checks on everything that comes
// back: 8-byte records (frame and bits in network byte order, two bytes of
// padding), the end record, the handshake's words and delay, the next match's
// seed (least significant byte first), dotted IPv4 addresses and the text a
// player pastes into the lobby. Nothing here touches a socket, so every
// parser can be fed any bytes.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

#include "game/replay.h"

inline constexpr int kRecordBytes = 8;
inline constexpr uint32_t kEndFrame = 0xFFFFFFFFu;
inline constexpr uint16_t kEndBits = 0xFFFF;

// The handshake's seed lies in 0..kSeedLimit (the bound included).
inline constexpr int kSeedLimit = 0x1000000;

// The longest round trip, in frames of 16 ms, a battle is played over: its
// frame offset (delay + 2) stays within what the menus' key countdowns hold,
// and a match start on one machine reaches the other well within the
// count-in. A handshake that measures more is refused on both sides.
inline constexpr int kMaxInputDelay = 60;

// The lowest port a battle is played on.
inline constexpr int kLowestPort = 1024;

// ---- records
void encode_record(const replay_command& record, uint8_t out[kRecordBytes]);
// Frame and bits in host order; the padding is ignored.
replay_command decode_record(const uint8_t bytes[kRecordBytes]);
// Tested on the raw bytes: frame 0xFFFFFFFF and bits 0xFFFF read the same in
// either byte order.
bool is_end_record(const uint8_t bytes[kRecordBytes]);
void encode_end_record(uint8_t out[kRecordBytes]);

// A byte stream cut into records, for TCP, which delivers bytes and not
// messages: a record that arrives in pieces comes out once and whole.
class Record_Stream {
 public:
  enum Piece { kNone, kRecord, kEnd };
  // Takes bytes from data until a record is whole or the bytes run out;
  // *used tells how many were taken. kRecord fills *record (host order).
  Piece feed(const uint8_t* data, size_t length, size_t* used, replay_command* record);
  // Bytes of a record begun and not yet whole.
  int partial() const { return have_; }
  // How many more bytes the record being read needs.
  int missing() const { return kRecordBytes - have_; }

 private:
  uint8_t bytes_[kRecordBytes] = {};
  int have_ = 0;
};

// A datagram is a record only when it holds exactly one record and comes
// from the peer's address and port; anything else is dropped unread.
bool datagram_from_peer(const sockaddr_in& from, const sockaddr_in& peer);
bool datagram_is_record(int length);

// ---- handshake
// The seed and the delay travel in network order (WriteBe32 and WriteBe16 of
// base/byte_order.h), the address words as a socket address holds them.

// Milliseconds between two readings of the engine's 31-bit millisecond
// clock, correct across its wrap.
uint32_t elapsed_milliseconds(int from, int to);
// The round trip in frames of 16 ms, rounded up, as the 16-bit number the
// handshake sends.
uint16_t handshake_delay(uint32_t elapsed_ms);
// Whether a battle is played at that delay.
bool delay_is_playable(uint32_t delay);

// The next match's seed: least significant byte first.
void encode_next_seed(uint32_t seed, uint8_t out[4]);
uint32_t decode_next_seed(const uint8_t bytes[4]);

// ---- addresses
inline constexpr uint32_t kInvalidAddress = 0xFFFFFFFFu;
// A dotted IPv4 address ("127.0.0.1", "127.000.000.001") in network order,
// or kInvalidAddress: exactly three dots, each part one to three decimal
// digits of at most 255, white space allowed around a part. 255.255.255.255
// reads as kInvalidAddress, and so is refused too. At most 15 characters are
// read.
uint32_t parse_ipv4(const char* text);

// Pasted text: "address" or "address:port", at most 31 bytes of it read.
struct Pasted_Address {
  uint32_t address = kInvalidAddress;  // network order
  int port = -1;                       // -1 when none was given
};
// False when the address is invalid or the port is above 65535 (or not a
// number); a port below 1024 is taken here and refused when connecting.
bool parse_pasted_address(const char* text, Pasted_Address* out);
