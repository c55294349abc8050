// A peer that does not play by the protocol: garbage, records cut short,
// datagrams of every length, records for any frame, floods, silence, a
// stranger's datagrams, a seed that never comes. The scene on this side must
// not crash or hang, must keep what it holds bounded, and must go back to
// the lobby (or, against a stranger, play on unharmed).
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/winsock/winsock_control.h"
#include "tests/game/net/net_scene_fixture.h"
#include "tests/platform/winsock/loopback.h"

namespace {

using winsock::SOCKET;

std::string Random(size_t n, uint32_t seed) {
  std::mt19937 dice(seed);
  std::string out(n, '\0');
  for (char& c : out) c = (char)dice();
  return out;
}

std::string Wire(uint32_t frame, uint16_t bits) {
  std::string r(8, '\0');
  encode_record({frame, bits, 0}, reinterpret_cast<uint8_t*>(r.data()));
  return r;
}

// A scene of this machine on the connecting end of a pair; the test is the
// peer on the waiting end, with its raw sockets.
class HostilePeerTest : public TwoMachinesTest {
 protected:
  void SetUp() override {
    TwoMachinesTest::SetUp();
    std::string message;
    ASSERT_TRUE(connect_pair(&pair_, &message, 4242)) << message;
    peer_ = pair_.waiting;
    victim_set_ = pair_.connecting;
    pair_.connecting = nullptr;  // the scene owns it
  }
  void TearDown() override {
    WsClearFailures();
    TwoMachinesTest::TearDown();
  }
  side_settings Rules() const {
    side_settings s;
    s.mode = 3;
    s.seed = 4242;
    s.frame_offset = pair_.handshake[1].bits + 2;
    return s;
  }
  void Start(Scene* scene, int number) {
    m_[0].scene = scene;
    m_[0].number = number;
  }
  // A net battle on both ends, each scene owning its end of the pair.
  void StartBothEnds() {
    const side_settings rules = Rules();
    pair_.waiting = nullptr;
    m_[0].scene = new Scene_Network(rules, rules, "", "", peer_);
    m_[0].number = kSceneNetwork;
    m_[1].scene = new Scene_Network(rules, rules, "", "", victim_set_);
    m_[1].number = kSceneNetwork;
  }
  // Runs this side until it is back in the lobby, with the peer's doings
  // before each frame; false when it is not back within the frames. What
  // the scene holds stays bounded all along.
  bool RunToLobby(int frames, const std::function<void(int)>& peer) {
    for (int frame = 0; frame < frames; ++frame) {
      if (m_[0].number == kSceneSelectNetworkMenu) return true;
      peer(frame);
      Feed(0);
      m_[0].step(0);
      socket_set* set = nullptr;
      if (m_[0].number == kSceneSelectNetwork) set = m_[0].settings()->connection();
      if (m_[0].number == kSceneNetwork) {
        set = m_[0].battle()->connection();
        EXPECT_LE(m_[0].battle()->peer_field()->pending(), (size_t)kRecordLeadLimit + 1);
      }
      if (set) {
        EXPECT_LE(queued_records(set), kReceivedLimit);
      }
      sleep_us(100);
    }
    return m_[0].number == kSceneSelectNetworkMenu;
  }
  void SendTcp(const std::string& bytes) {
    loopback::SendAll(peer_->data_socket, bytes);
  }
  void SendUdp(SOCKET from, const std::string& bytes) {
    winsock::sendto(from, bytes.data(), (int)bytes.size(), 0,
                    reinterpret_cast<const sockaddr*>(&peer_->udp_peer_address), sizeof peer_->udp_peer_address);
  }
  void ClosePeer() { close_connection_sockets(peer_); }

  Connected_Pair pair_;
  socket_set* peer_ = nullptr;
  socket_set* victim_set_ = nullptr;
};

struct TcpCase {
  const char* what;
  std::string bytes;
  bool close;
};

std::vector<TcpCase> TcpCases() {
  std::string flood;  // more records than the queue takes, all at once
  for (size_t i = 0; i < kReceivedLimit + 2000; ++i) flood += Wire((uint32_t)i, (uint16_t)(i * 7));
  std::string end(8, '\0');
  encode_end_record(reinterpret_cast<uint8_t*>(end.data()));
  return {
      {"random bytes, then a close", Random(1001, 1), true},
      {"a record cut short, then a close", Wire(0, 1).substr(0, 5), true},
      {"a flood of records", flood, false},
      {"an end record, garbage, then a close", end + Random(77, 2), true},
  };
}

class HostileTcpTest : public HostilePeerTest, public ::testing::WithParamInterface<int> {};

TEST_P(HostileTcpTest, TheSettingsScreenSurvivesItAndGoesBackToTheLobby) {
  const TcpCase c = TcpCases()[GetParam()];
  SCOPED_TRACE(c.what);
  Start(new Scene_SelectNetwork(victim_set_, 4242, pair_.handshake[1].bits), kSceneSelectNetwork);
  EXPECT_TRUE(RunToLobby(2000, [&](int frame) {
    if (frame == 50) {
      SendTcp(c.bytes);
      if (c.close) ClosePeer();
    }
  }));
  EXPECT_TRUE(Played("buzzer"));
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileTcpTest, ::testing::Range(0, 4));

TEST_F(HostilePeerTest, APeerSilentAfterTheHandshakeIsGivenUpOnTheSettingsScreen) {
  // It keeps the connection open and never sends a byte: ten seconds of
  // frames, then back to the lobby.
  Start(new Scene_SelectNetwork(victim_set_, 4242, pair_.handshake[1].bits), kSceneSelectNetwork);
  for (int frame = 0; frame < kStallLimitFrames; ++frame) {
    Feed(0);
    m_[0].step(0);
  }
  ASSERT_EQ(m_[0].number, kSceneSelectNetwork);
  EXPECT_EQ(m_[0].settings()->state(), Scene_SelectNetwork::kChoosing);
  EXPECT_FALSE(Played("buzzer"));
  EXPECT_TRUE(RunToLobby(10, [](int) {}));
  EXPECT_TRUE(Played("buzzer"));
}

struct UdpCase {
  const char* what;
  int datagrams_per_frame;
  std::function<std::string(std::mt19937&)> datagram;
  bool close_at_end;
};

std::vector<UdpCase> UdpCases() {
  return {
      {"datagrams of every length but a record's, then a close", 20,
       [](std::mt19937& d) {
         static const size_t lengths[] = {0, 1, 7, 9, 16, 64, 100, 1400, 2000};
         return Random(lengths[d() % 9], d());
       },
       true},
      {"records for any frame, then silence", 20, [](std::mt19937& d) { return Wire(d() % 3000, (uint16_t)d()); },
       false},
      {"a flood of records, then a close", 400, [](std::mt19937& d) { return Wire(d(), (uint16_t)d()); }, true},
  };
}

class HostileUdpTest : public HostilePeerTest, public ::testing::WithParamInterface<int> {};

TEST_P(HostileUdpTest, TheBattleSurvivesItAndGoesBackToTheLobby) {
  const UdpCase c = UdpCases()[GetParam()];
  SCOPED_TRACE(c.what);
  side_settings rules = Rules();
  Start(new Scene_Network(rules, rules, "", "", victim_set_), kSceneNetwork);
  std::mt19937 dice(5);
  EXPECT_TRUE(RunToLobby(60 + 180 + kStallLimitFrames + 300, [&](int frame) {
    if (frame >= 250 && frame < 400)
      for (int i = 0; i < c.datagrams_per_frame; ++i) SendUdp(peer_->udp_socket, c.datagram(dice));
    if (frame == 400 && c.close_at_end) ClosePeer();
  }));
  EXPECT_TRUE(Played("buzzer"));
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileUdpTest, ::testing::Range(0, 3));

TEST_F(HostilePeerTest, AStrangersDatagramsChangeNothingInAMatch) {
  // Both ends play here; a third program sends records to both.
  StartBothEnds();
  SOCKET stranger = loopback::Bound(SOCK_DGRAM);
  std::mt19937 dice(9);
  std::vector<uint64_t> hashes[2];
  int32_t last[2] = {-1, -1};
  ASSERT_TRUE(RunUntil(
      [&] {
        for (const char* address : {"127.0.0.1", "127.0.0.2"}) {
          const std::string r = Wire(dice() % 600, (uint16_t)dice());
          const sockaddr_in to = loopback::Address((uint16_t)pair_.port, address);
          winsock::sendto(stranger, r.data(), 8, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        }
        Record(hashes, last);
        return m_[0].battle()->state() == Scene_Double::kMenu && m_[1].battle()->state() == Scene_Double::kMenu;
      },
      kPadDown));
  winsock::closesocket(stranger);
  EXPECT_GT(hashes[0].size(), 20u);
  EXPECT_EQ(hashes[0], hashes[1]);
  EXPECT_GT(m_[0].battle()->connection()->datagrams_dropped.load(), 100u);
}

TEST_F(HostilePeerTest, ANextSeedThatNeverComesSendsTheConnectingSideBackToTheLobby) {
  StartBothEnds();
  // No TCP send gets through from here on: the waiting side's seed is lost.
  WsFailCall(WS_CALL_SEND, winsock::WSAENETRESET);
  int frames = 0;
  ASSERT_TRUE(RunUntil(
      [&] {
        ++frames;
        return m_[1].number == kSceneSelectNetworkMenu;
      },
      kPadDown, 3000));
  // The connecting side waited out its time limit frame by frame.
  EXPECT_GT(frames, Scene_Network::kSeedWaitFrames);
  // The waiting side, whose keys go nowhere, has its menu to itself: its
  // player may still save the match and leave.
  ASSERT_EQ(m_[0].number, kSceneNetwork);
  EXPECT_EQ(m_[0].battle()->state(), Scene_Double::kMenu);
  EXPECT_TRUE(m_[0].battle()->alone());
}

}  // namespace
