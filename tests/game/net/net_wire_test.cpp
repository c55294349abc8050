// The net battle's wire: records and the end record, records cut into
// pieces by TCP, the handshake's delay, the next match's seed, addresses and
// pasted text.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstring>
#include <string>

#include "base/byte_order.h"
#include "game/net/net_wire.h"

namespace {

TEST(NetWire, RecordsTravelInNetworkOrderWithZeroPadding) {
  uint8_t bytes[kRecordBytes];
  encode_record({0x01020304u, 0x0506, 0xBEEF}, bytes);
  const uint8_t expected[kRecordBytes] = {1, 2, 3, 4, 5, 6, 0, 0};
  EXPECT_EQ(std::memcmp(bytes, expected, kRecordBytes), 0);
  // Padding is ignored on the way in.
  bytes[6] = 0x77;
  replay_command r = decode_record(bytes);
  EXPECT_EQ(r.frame, 0x01020304u);
  EXPECT_EQ(r.bits, 0x0506);
  EXPECT_FALSE(is_end_record(bytes));
  encode_end_record(bytes);
  EXPECT_TRUE(is_end_record(bytes));
  bytes[7] = 0x12;  // the end record is told by its frame and bits alone
  EXPECT_TRUE(is_end_record(bytes));
  bytes[5] = 0xFE;
  EXPECT_FALSE(is_end_record(bytes));
}

// Feeds bytes in pieces of the given sizes; what came out.
std::string Stream(const std::string& bytes, const std::vector<size_t>& pieces) {
  Record_Stream stream;
  std::string out;
  size_t at = 0;
  for (size_t piece : pieces) {
    size_t left = piece;
    while (left > 0) {
      size_t used;
      replay_command r;
      Record_Stream::Piece p =
          stream.feed(reinterpret_cast<const uint8_t*>(bytes.data()) + at, left, &used, &r);
      at += used;
      left -= used;
      if (p == Record_Stream::kRecord) out += "[" + std::to_string(r.frame) + ":" + std::to_string(r.bits) + "]";
      if (p == Record_Stream::kEnd) out += "[end]";
    }
  }
  if (stream.partial()) out += "+" + std::to_string(stream.partial());
  return out;
}

TEST(NetWire, ARecordInPiecesComesOutOnceAndWhole) {
  std::string two(16, '\0');
  encode_record({10, 3, 0}, reinterpret_cast<uint8_t*>(two.data()));
  encode_end_record(reinterpret_cast<uint8_t*>(two.data()) + 8);
  EXPECT_EQ(Stream(two, {3, 5, 8}), "[10:3][end]");
  EXPECT_EQ(Stream(two, {1, 1, 1, 1, 1, 1, 1, 1, 16 - 8}), "[10:3][end]");
  EXPECT_EQ(Stream(two, {16}), "[10:3][end]");
  EXPECT_EQ(Stream(two, {11}), "[10:3]+3");  // a record cut short stays unread
}

TEST(NetWire, TheDelayIsTheRoundTripInUnitsOf16MillisecondsRoundedUp) {
  struct Case {
    uint32_t ms;
    uint16_t delay;
  } cases[] = {{0, 0}, {1, 1}, {16, 1}, {17, 2}, {32, 2}, {33, 3}, {0xFFFFFFFFu, 0xFFFF}};
  for (const Case& c : cases) EXPECT_EQ(handshake_delay(c.ms), c.delay) << c.ms;
  EXPECT_TRUE(delay_is_playable(kMaxInputDelay));
  EXPECT_FALSE(delay_is_playable(kMaxInputDelay + 1));
  // The frame offset of the slowest playable link still fits the menus'
  // signed-byte key countdowns.
  EXPECT_LE(kMaxInputDelay + 2 + 1, 127);
}

TEST(NetWire, ElapsedTimeIsRightAcrossTheClocksWrap) {
  EXPECT_EQ(elapsed_milliseconds(100, 150), 50u);
  EXPECT_EQ(elapsed_milliseconds(0x7FFFFFF0, 0x10), 0x20u);
}

TEST(NetWire, TheNextSeedTravelsLeastSignificantByteFirst) {
  uint8_t bytes[4];
  encode_next_seed(0x00ABCDEFu, bytes);
  const uint8_t expected[4] = {0xEF, 0xCD, 0xAB, 0x00};
  EXPECT_EQ(std::memcmp(bytes, expected, 4), 0);
  EXPECT_EQ(decode_next_seed(bytes), 0x00ABCDEFu);
  WriteBe32(bytes, 0x00ABCDEFu);  // the handshake's seed: network order
  EXPECT_EQ(bytes[0], 0x00);
  EXPECT_EQ(ReadBe32(bytes), 0x00ABCDEFu);
}

TEST(NetWire, DatagramsAreTakenOnlyWholeAndFromThePeer) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(4649);
  peer.sin_addr.s_addr = htonl(0x7F000001);
  sockaddr_in other_port = peer, other_host = peer;
  other_port.sin_port = htons(4650);
  other_host.sin_addr.s_addr = htonl(0x7F000002);
  EXPECT_TRUE(datagram_from_peer(peer, peer));
  EXPECT_FALSE(datagram_from_peer(other_port, peer));
  EXPECT_FALSE(datagram_from_peer(other_host, peer));
  for (int length : {0, 1, 7, 9, 16, 64}) EXPECT_FALSE(datagram_is_record(length)) << length;
  EXPECT_TRUE(datagram_is_record(8));
}

uint32_t Address(int a, int b, int c, int d) { return htonl((uint32_t)(a << 24 | b << 16 | c << 8 | d)); }

TEST(NetWire, DottedAddresses) {
  struct Case {
    const char* text;
    uint32_t address;
  } cases[] = {
      {"127.0.0.1", Address(127, 0, 0, 1)},
      {"127.000.000.001", Address(127, 0, 0, 1)},
      {"192.168.1.20", Address(192, 168, 1, 20)},
      {" 10. 0 .0.7\r\n", Address(10, 0, 0, 7)},
      {"0.0.0.0", 0},
      {"255.255.255.255", kInvalidAddress},  // reads as the invalid value
      {"256.0.0.1", kInvalidAddress},
      {"1.2.3.256", kInvalidAddress},
      {"1.2.3", kInvalidAddress},
      {"1.2.3.4.5", kInvalidAddress},
      {"1..3.4", kInvalidAddress},
      {"-1.2.3.4", kInvalidAddress},
      {"a.b.c.d", kInvalidAddress},
      {"0001.2.3.4", kInvalidAddress},
      {"", kInvalidAddress},
      // Only the first 15 characters are read.
      {"127.000.000.0019", Address(127, 0, 0, 1)},
  };
  for (const Case& c : cases) EXPECT_EQ(parse_ipv4(c.text), c.address) << c.text;
}

TEST(NetWire, PastedAddressesWithAndWithoutAPort) {
  Pasted_Address p;
  ASSERT_TRUE(parse_pasted_address("192.168.0.5:4649", &p));
  EXPECT_EQ(p.address, Address(192, 168, 0, 5));
  EXPECT_EQ(p.port, 4649);
  ASSERT_TRUE(parse_pasted_address("10.0.0.1", &p));
  EXPECT_EQ(p.port, -1);
  ASSERT_TRUE(parse_pasted_address("10.0.0.1:80", &p));  // refused only when connecting
  EXPECT_EQ(p.port, 80);
  for (const char* refused : {"10.0.0.1:65536", "10.0.0.1:-5", "10.0.0.1:port", "10.0.0.1:", "300.0.0.1:4649",
                              "hello"})
    EXPECT_FALSE(parse_pasted_address(refused, &p)) << refused;
}

}  // namespace
