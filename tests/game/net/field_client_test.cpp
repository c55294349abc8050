// The net fields alone: what the local field sends frame by frame, and how
// the peer's field takes records that come twice, late or out of order.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "game/buttons.h"
#include "game/net/field_network.h"
#include "game/net/socket_set.h"
#include "platform/winsock/winsock_control.h"
#include "tests/game/harness/field_hash.h"
#include "tests/game/net/harness/net_pair.h"
#include "tests/platform/winsock/loopback.h"

namespace {

using winsock::SOCKET;

side_settings Battle(int frame_offset) {
  side_settings s;
  s.mode = 3;
  s.colours = 4;
  s.clear_count = 4;
  s.frame_offset = frame_offset;
  s.seed = 4321;
  return s;
}

// Pad 1's buttons this frame.
void Hold(int mask) {
  int bits[5] = {0, mask, 0, 0, 0};
  feed_input(bits, nullptr);
}

class FieldNetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winsock::WSADATA data;
    ASSERT_EQ(winsock::WSAStartup(winsock::MakeVersion(2, 0), &data), 0);
    set_.udp_socket = loopback::Bound(SOCK_DGRAM);
    peer_ = loopback::Bound(SOCK_DGRAM);
    set_.udp_peer_address = loopback::Address(loopback::PortOf(peer_));
    Hold(0);
    Hold(0);
  }
  void TearDown() override {
    winsock::closesocket(peer_);
    close_connection_sockets(&set_);
    EXPECT_EQ(winsock::WSACleanup(), 0);
  }
  // Every datagram the peer has been sent so far.
  std::vector<replay_command> Sent() {
    std::vector<replay_command> out;
    for (;;) {
      winsock::fd_set r{1, {peer_}};
      timeval wait{0, 20000};
      if (winsock::select(0, &r, nullptr, nullptr, &wait) != 1) return out;
      uint8_t bytes[16];
      EXPECT_EQ(winsock::recvfrom(peer_, reinterpret_cast<char*>(bytes), sizeof bytes, 0, nullptr, nullptr), 8);
      out.push_back(decode_record(bytes));
    }
  }
  socket_set set_;
  SOCKET peer_ = winsock::INVALID_SOCKET;
};

TEST_F(FieldNetworkTest, EveryFrameSendsItsRecordTwiceStampedAheadAndTheListKeepsOnlyChanges) {
  Field_Network field(Battle(3), 24, &set_, 2);
  // Left held through the count-in counts as pressed in the first frame;
  // a quiet frame; down pressed and released in consecutive frames.
  const int held[] = {kPadLeft, kPadLeft, kPadLeft | kPadDown, kPadLeft};
  for (int mask : held) {
    Hold(mask);
    EXPECT_EQ(field.update(), kFieldPlaying);
  }
  const std::vector<replay_command> sent = Sent();
  ASSERT_EQ(sent.size(), 8u);
  const uint16_t bits[] = {kCommandLeft, 0, kCommandDown, (uint16_t)(kCommandDown << 8)};
  for (int i = 0; i < 4; ++i)
    for (int copy = 0; copy < 2; ++copy) {
      EXPECT_EQ(sent[2 * i + copy].frame, (uint32_t)(i + 3)) << i;
      EXPECT_EQ(sent[2 * i + copy].bits, bits[i]) << i;
    }
  ASSERT_EQ(field.input.commands.size(), 3u);
  EXPECT_EQ(field.input.commands[0].frame, 3u);
  EXPECT_EQ(field.input.commands[1].frame, 5u);
  EXPECT_EQ(field.input.commands[2].frame, 6u);
  // Its own left press takes effect at frame 3, as on the peer.
  EXPECT_EQ(field.counters.time, 4);
  EXPECT_EQ(field.input.buttons[kButtonLeft], 2);
}

// A play record on the wire, byte for byte as laid out by hand: frame and
// bits most significant byte first, then two bytes of 0. This side's field
// sends its buttons so (twice), and the peer's field plays what comes so.
TEST_F(FieldNetworkTest, APlayRecordOnTheWireIsLaidOutByteForByte) {
  Field_Network field(Battle(300), 24, &set_, 2);
  Hold(kPadLeft | kPadRotateCcw);
  field.update();
  const uint8_t sent[8] = {0x00, 0x00, 0x01, 0x2C, 0x00, 0x11, 0x00, 0x00};  // frame 300: left and ccw pressed
  for (int copy = 0; copy < 2; ++copy) {
    winsock::fd_set r{1, {peer_}};
    timeval wait{5, 0};
    ASSERT_EQ(winsock::select(0, &r, nullptr, nullptr, &wait), 1) << copy;
    uint8_t bytes[16] = {};
    ASSERT_EQ(winsock::recvfrom(peer_, reinterpret_cast<char*>(bytes), sizeof bytes, 0, nullptr, nullptr), 8);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 8), std::vector<uint8_t>(sent, sent + 8)) << copy;
  }

  // The peer's records of frames 2 and 3: left and ccw pressed, then ccw
  // released and down pressed. A datagram that came while the receive
  // thread was still dropping stale ones is sent again.
  Field_Client client(Battle(2), 420, &set_);
  start_udp_receive(&set_);
  const sockaddr_in to = loopback::Address(loopback::PortOf(set_.udp_socket));
  const uint8_t records[2][8] = {{0x00, 0x00, 0x00, 0x02, 0x00, 0x11, 0x00, 0x00},
                                 {0x00, 0x00, 0x00, 0x03, 0x10, 0x08, 0x00, 0x00}};
  for (const uint8_t* record : records) {
    bool queued = false;
    for (int attempt = 0; attempt < 100 && !queued; ++attempt) {
      const uint64_t read = set_.datagrams_read.load(), dropped = set_.datagrams_dropped.load();
      ASSERT_EQ(winsock::sendto(peer_, reinterpret_cast<const char*>(record), 8, 0,
                                reinterpret_cast<const sockaddr*>(&to), sizeof to),
                8);
      ASSERT_TRUE(wait_until([&] { return set_.datagrams_read.load() > read; }));
      queued = set_.datagrams_dropped.load() == dropped;
    }
    ASSERT_TRUE(queued);
  }
  stop_receive(&set_);
  for (int frame = 0; frame < 4; ++frame) {
    client.take_received();
    ASSERT_TRUE(client.inputs_ready()) << frame;
    client.update();
    if (frame == 2) {
      EXPECT_EQ(client.input.buttons[kButtonLeft], 2);
      EXPECT_EQ(client.input.buttons[kButtonCcw], 2);
    }
  }
  EXPECT_EQ(client.input.buttons[kButtonLeft], 1);
  EXPECT_EQ(client.input.buttons[kButtonCcw], 0);
  EXPECT_EQ(client.input.buttons[kButtonDown], 2);
}

TEST_F(FieldNetworkTest, RecordsThePeerHasNotUsedGoAgainUntilItHas) {
  Field_Network field(Battle(2), 24, &set_, 2);
  for (int i = 0; i < 3; ++i) field.update();  // frames 2, 3, 4
  Sent();
  field.resend(0, 3);  // nothing confirmed, too soon to send again
  EXPECT_TRUE(Sent().empty());
  field.resend(0, 10);
  std::vector<replay_command> again = Sent();
  ASSERT_EQ(again.size(), 3u);
  EXPECT_EQ(again[0].frame, 2u);
  field.resend(3, 20);  // the peer has used frames up to 3
  again = Sent();
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].frame, 4u);
  field.resend(4, 30);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(FieldNetworkTest, AFailedSendEndsTheFrameWithALinkFailure) {
  Field_Network field(Battle(2), 24, &set_, 2);
  WsFailCall(WS_CALL_SENDTO, winsock::WSAENETUNREACH);
  EXPECT_EQ(field.update(), kFieldLinkFailed);
  WsClearFailures();
  EXPECT_EQ(field.update(), kFieldPlaying);
}

// The peer's field against the field the peer plays itself: the same
// commands, however their copies arrive, give the same field every frame.
class FieldClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Hold(0);
    Hold(0);
  }
  socket_set set_;
};

TEST_F(FieldClientTest, CopiesLateAndOutOfOrderRecordsPressEachButtonOnceInFrameOrder) {
  const int offset = 3;
  // The peer's records: one per frame, with changes now and then (a left
  // tap repeated within the input delay, a turn, a drop).
  std::vector<replay_command> records;
  for (uint32_t frame = offset; frame < 400; ++frame) {
    uint16_t bits = 0;
    if (frame % 40 == 10) bits = kCommandLeft;
    if (frame % 40 == 11) bits = kCommandLeft << 8;
    if (frame % 40 == 12) bits = kCommandLeft;  // pressed again before the first press acted on the peer
    if (frame % 40 == 13) bits = kCommandLeft << 8;
    if (frame % 40 == 20) bits = kCommandCw;
    if (frame % 40 == 21) bits = kCommandCw << 8;
    if (frame % 40 == 30) bits = kCommandDown;
    if (frame % 40 == 38) bits = kCommandDown << 8;
    records.push_back({frame, bits, 0});
  }
  // The peer's own field: its list, applied at their frames.
  Field reference(Battle(offset), 420, 5);
  for (const replay_command& r : records)
    if (r.bits) reference.append_command(r);
  Field_Client client(Battle(offset), 420, &set_);

  // Two copies of each, shuffled within windows of 6 records; a few stray
  // copies of played frames and one record too far ahead.
  std::mt19937 mix(7);
  std::vector<replay_command> arrivals;
  for (size_t start = 0; start < records.size(); start += 6) {
    std::vector<replay_command> window;
    for (size_t i = start; i < std::min(records.size(), start + 6); ++i) window.insert(window.end(), 2, records[i]);
    std::shuffle(window.begin(), window.end(), mix);
    arrivals.insert(arrivals.end(), window.begin(), window.end());
  }
  size_t next = 0;
  int played = 0;
  for (int frame = 0; frame < 420 && played < 390; ++frame) {
    for (int i = 0; i < 3 && next < arrivals.size(); ++i) append_record(&set_, arrivals[next++]);
    if (frame == 200) {
      append_record(&set_, {50, kCommandCw, 0});  // long played
      append_record(&set_, {(uint32_t)client.counters.time + kRecordLeadLimit + 1, kCommandLeft, 0});
    }
    client.take_received();
    if (!client.inputs_ready()) continue;
    client.update();
    reference.update();
    ++played;
    ASSERT_EQ(field_state_hash(client), field_state_hash(reference)) << "frame " << client.counters.time - 1;
  }
  EXPECT_EQ(played, 390);
  const std::vector<replay_command>& theirs = reference.input.commands;
  EXPECT_EQ(client.input.commands.size(),
            theirs.size() - std::count_if(theirs.begin(), theirs.end(),
                                          [&](const replay_command& r) { return r.frame >= 390; }));
  for (size_t i = 0; i < client.input.commands.size(); ++i) {
    EXPECT_EQ(client.input.commands[i].frame, reference.input.commands[i].frame);
    EXPECT_EQ(client.input.commands[i].bits, reference.input.commands[i].bits);
  }
  EXPECT_GE(client.dropped(), 390u + 2u);  // a copy of each frame, and the two strays
}

TEST_F(FieldClientTest, AFrameWithoutItsRecordIsNotPlayedAndTheUsedFramesAreConfirmed) {
  Field_Client client(Battle(2), 420, &set_);
  EXPECT_TRUE(client.inputs_ready());  // frames 0 and 1 carry no input
  client.update();
  client.update();
  EXPECT_FALSE(client.inputs_ready());
  EXPECT_EQ(client.confirmed_through(), 0u);
  append_record(&set_, {3, 0, 0});  // frame 2's record is missing
  client.take_received();
  EXPECT_FALSE(client.inputs_ready());
  append_record(&set_, {2, 0, 0});
  client.take_received();
  EXPECT_TRUE(client.inputs_ready());
  // The peer stamped frame 3 at its frame 1: it had this side's records up
  // to frame 1.
  EXPECT_EQ(client.confirmed_through(), 1u);
  client.reset(99);
  EXPECT_EQ(client.counters.time, 0);
  EXPECT_EQ(client.confirmed_through(), 0u);
  EXPECT_TRUE(client.input.commands.empty());
}

}  // namespace
