// The connection of a net battle on the loopback address: socket making and
// its refusals, both handshakes against each other and against peers that
// misbehave, the TCP and UDP receive threads, and the end of a connection
// with its threads.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "engine/core/util.h"
#include "game/net/socket_set.h"
#include "platform/winsock/winsock_control.h"
#include "tests/game/net/harness/net_pair.h"
#include "tests/platform/winsock/winsock_fixture.h"

namespace {

using winsock::SOCKET;

// The handshakes' time limits read the engine's clock, which stands still
// here unless a wait lets it run: a handshake that should succeed never runs
// out of time on a busy machine, and one that should give up on a silent
// peer does so as soon as the test lets time pass.
std::atomic<int> g_now_ms{0};

class ConnectionTest : public WinsockTest {
 protected:
  void SetUp() override {
    WinsockTest::SetUp();
    SetMillisecondClock([] { return g_now_ms.load(); });
  }
  void TearDown() override {
    for (SOCKET s : sockets_) winsock::closesocket(s);
    for (socket_set* set : sets_) free_connection(set);
    SetMillisecondClock(nullptr);
    WinsockTest::TearDown();
  }
  // Waits until the handshake thread has ended; with `time_passes`, the
  // clock runs on while it waits (far faster than the wait itself).
  static bool HandshakeEnds(socket_set* set, bool time_passes) {
    return wait_until([&] {
      if (time_passes) g_now_ms += 50;
      return !set->handshake_thread.running();
    });
  }
  SOCKET Keep(SOCKET s) {
    sockets_.push_back(s);
    return s;
  }
  socket_set* NewSet() {
    sets_.push_back(new socket_set);
    return sets_.back();
  }
  // A connection whose data socket is connected to a peer socket the test
  // holds; UDP bound to 127.0.0.1 on a port of its own.
  socket_set* LinkedSet(SOCKET* peer) {
    SOCKET listener = Keep(loopback::Listener());
    socket_set* set = NewSet();
    set->tcp_socket = set->data_socket = loopback::Connect(loopback::PortOf(listener));
    *peer = Keep(winsock::accept(listener, nullptr, nullptr));
    set->udp_socket = loopback::Bound(SOCK_DGRAM);
    return set;
  }
  std::vector<replay_command> Queued(socket_set* set) {
    std::vector<replay_command> out;
    take_records(set, &out);
    return out;
  }

  std::vector<SOCKET> sockets_;
  std::vector<socket_set*> sets_;
};

std::string Record(uint32_t frame, uint16_t bits) {
  std::string r(8, '\0');
  encode_record({frame, bits, 0}, reinterpret_cast<uint8_t*>(r.data()));
  return r;
}

std::string EndRecord() {
  std::string r(8, '\0');
  encode_end_record(reinterpret_cast<uint8_t*>(r.data()));
  return r;
}

std::string Word(uint32_t v) {
  std::string w(4, '\0');
  WriteBe32(reinterpret_cast<uint8_t*>(w.data()), v);
  return w;
}

std::string Delay(uint16_t d) {
  std::string w(2, '\0');
  WriteBe16(reinterpret_cast<uint8_t*>(w.data()), d);
  return w;
}

TEST_F(ConnectionTest, SocketsAreRefusedForLowPortsAndBadAddresses) {
  struct Case {
    bool waiting;
    const char* address;
    int port;
    bool ok;
  } cases[] = {
      {false, "127.0.0.1", 1023, false}, {false, "127.0.0.1", 1024, true},  {false, "127.0.0.1", 65536, false},
      {false, "1.2.3", 4649, false},     {false, "255.255.255.255", 4649, false},
      // The waiting side listens on any address; its address text is not read.
      {true, "not an address", free_port(), true},
  };
  for (const Case& c : cases) {
    socket_set* set = NewSet();
    EXPECT_EQ(open_connection_sockets(set, c.waiting, c.address, c.port), c.ok) << c.address << ":" << c.port;
    if (c.ok) {
      EXPECT_EQ(set->tcp_address.sin_family, AF_INET);
      EXPECT_EQ(ntohs(set->tcp_address.sin_port), c.port);
      EXPECT_EQ(set->tcp_address.sin_addr.s_addr, c.waiting ? 0u : htonl(0x7F000001));
    }
  }
  socket_set* set = NewSet();
  WsFailCall(WS_CALL_SOCKET, winsock::WSAEMFILE, 1);  // the UDP socket cannot be made
  EXPECT_FALSE(open_connection_sockets(set, false, "127.0.0.1", 4649));
  EXPECT_NE(set->tcp_socket, winsock::INVALID_SOCKET);  // left for the caller to close
}

TEST_F(ConnectionTest, BothSidesQueueTheSameSeedAndDelayAndBindUdpOnThePort) {
  Connected_Pair pair;
  std::string message;
  ASSERT_TRUE(connect_pair(&pair, &message, 0x1000000)) << message;
  EXPECT_EQ(pair.handshake[0].frame, 0x1000000u);
  EXPECT_EQ(pair.handshake[0].frame, pair.handshake[1].frame);
  EXPECT_EQ(pair.handshake[0].bits, pair.handshake[1].bits);
  EXPECT_LE(pair.handshake[0].bits, kMaxInputDelay);
  // Each side sends to the other's address on the chosen port, and is bound
  // to its own.
  EXPECT_EQ(pair.waiting->udp_peer_address.sin_addr.s_addr, htonl(0x7F000002));
  EXPECT_EQ(pair.connecting->udp_peer_address.sin_addr.s_addr, htonl(0x7F000001));
  for (socket_set* set : {pair.waiting, pair.connecting}) {
    EXPECT_EQ(ntohs(set->udp_peer_address.sin_port), pair.port);
    EXPECT_EQ(loopback::PortOf(set->udp_socket), pair.port);
    EXPECT_FALSE(has_record(set));  // one record each, taken
  }
  EXPECT_TRUE(pair.waiting->waiting_side());
  EXPECT_FALSE(pair.connecting->waiting_side());
}

// The connecting side's thread connects and answers by itself: however long
// this side's frame runs before it looks at the connection (here the whole
// handshake, while the clock stands still), the delay the waiting side
// measures is the link's round trip alone.
TEST_F(ConnectionTest, TheDelayIsTheLinksRoundTripNotTheConnectingSidesFrame) {
  const int port = free_port();
  socket_set* waiting = NewSet();
  socket_set* connecting = NewSet();
  waiting->local_address = htonl(0x7F000001);
  connecting->local_address = htonl(0x7F000002);
  ASSERT_TRUE(open_connection_sockets(waiting, true, "", port));
  ASSERT_TRUE(open_connection_sockets(connecting, false, "127.0.0.1", port));
  ASSERT_TRUE(start_connecting(connecting));
  sockaddr_in from{};
  int length = sizeof from;
  SOCKET data = winsock::accept(waiting->tcp_socket, reinterpret_cast<sockaddr*>(&from), &length);
  ASSERT_NE(data, winsock::INVALID_SOCKET);
  accepted_as_waiting_side(waiting, data, from);
  waiting->handshake_seed = 4711;
  start_handshake(waiting);
  ASSERT_TRUE(HandshakeEnds(waiting, false));
  ASSERT_TRUE(HandshakeEnds(connecting, false));
  g_now_ms += 500;  // the connecting side's long frame ends only now
  EXPECT_TRUE(connecting->connected.load());
  for (socket_set* set : {waiting, connecting}) {
    EXPECT_EQ(set->handshake_thread.result(), Net_Thread::kEnded);
    std::vector<replay_command> queued = Queued(set);
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].frame, 4711u);
    EXPECT_EQ(queued[0].bits, 0);
  }
}

// The connecting side's handshake against a waiting side the test plays.
struct PeerScript {
  const char* what;
  std::string bytes;        // sent by the fake waiting side
  bool close;               // then closed
  int result;               // the thread's result
};

TEST_F(ConnectionTest, TheConnectingSideQueuesThePairOnlyWhenTheHandshakeSucceeds) {
  const std::string good = Word(4242) + Word(0x7F000002) + Delay(3);
  std::string trickle;  // the same bytes, but sent one at a time
  const PeerScript scripts[] = {
      {"a complete handshake", good, false, Net_Thread::kEnded},
      {"bytes one at a time", good, false, Net_Thread::kEnded},
      {"the peer closes first", "", true, Net_Thread::kFailed},
      {"the peer closes after the seed", Word(4242), true, Net_Thread::kFailed},
      {"a silent peer", "", false, Net_Thread::kFailed},
      {"a delay too long to play at", Word(4242) + Word(1) + Delay(kMaxInputDelay + 1), false, Net_Thread::kFailed},
      {"a seed no waiting side draws", Word(0x1000001) + Word(1) + Delay(1), false, Net_Thread::kFailed},
  };
  for (const PeerScript& s : scripts) {
    SCOPED_TRACE(s.what);
    const int port = free_port();
    SOCKET listener = Keep(loopback::Listener((uint16_t)port));
    socket_set* set = NewSet();
    set->local_address = htonl(0x7F000001);
    set->time_limit_ms = 300;
    ASSERT_TRUE(open_connection_sockets(set, false, "127.0.0.1", port));
    ASSERT_TRUE(start_connecting(set));
    SOCKET peer = Keep(winsock::accept(listener, nullptr, nullptr));
    if (std::string(s.what) == "bytes one at a time") {
      for (char c : s.bytes) {
        loopback::SendAll(peer, std::string(1, c));
        sleep_us(2000);
      }
    } else {
      loopback::SendAll(peer, s.bytes);
    }
    if (s.close) winsock::closesocket(peer);
    const bool silent = s.bytes.empty() && !s.close;
    ASSERT_TRUE(HandshakeEnds(set, silent));
    EXPECT_EQ(set->handshake_thread.result(), s.result);
    std::vector<replay_command> queued = Queued(set);
    if (s.result == Net_Thread::kEnded) {
      ASSERT_EQ(queued.size(), 1u);
      EXPECT_EQ(queued[0].frame, 4242u);
      EXPECT_EQ(queued[0].bits, 3);
      // It sent the address it connected to.
      EXPECT_EQ(loopback::ReceiveExactly(peer, 4), Word(0x7F000001));
    } else {
      EXPECT_TRUE(queued.empty());
    }
  }
}

TEST_F(ConnectionTest, AUdpPortThatIsTakenIsRefusedBeforeEitherSideAnswers) {
  for (bool waiting : {true, false}) {
    SCOPED_TRACE(waiting ? "waiting" : "connecting");
    const int port = free_port();
    SOCKET taken = Keep(loopback::Bound(SOCK_DGRAM, (uint16_t)port));
    ASSERT_NE(taken, winsock::INVALID_SOCKET);
    socket_set* set = NewSet();
    set->local_address = htonl(0x7F000001);
    EXPECT_FALSE(open_connection_sockets(set, waiting, "127.0.0.1", port));
    // The waiting side does not listen, so nobody is let in to be told that
    // all is well.
    SOCKET in = loopback::Connect((uint16_t)port);
    EXPECT_EQ(in, winsock::INVALID_SOCKET);
    if (in != winsock::INVALID_SOCKET) Keep(in);
    // With the port free again both sides bind it at once.
    winsock::closesocket(taken);
    std::erase(sockets_, taken);
    socket_set* again = NewSet();
    again->local_address = htonl(0x7F000001);
    ASSERT_TRUE(open_connection_sockets(again, waiting, "127.0.0.1", port));
    EXPECT_EQ(loopback::PortOf(again->udp_socket), port);
  }
}

TEST_F(ConnectionTest, TheWaitingSideSendsItsSeedAndGivesUpOnAPeerThatDoesNotAnswer) {
  for (bool answer : {true, false}) {
    SCOPED_TRACE(answer ? "the peer answers" : "the peer says nothing");
    const int port = free_port();
    socket_set* set = NewSet();
    set->local_address = htonl(0x7F000001);
    set->time_limit_ms = 300;
    ASSERT_TRUE(open_connection_sockets(set, true, "", port));
    SOCKET peer = Keep(loopback::Connect((uint16_t)port));
    sockaddr_in from{};
    int length = sizeof from;
    SOCKET data = winsock::accept(set->tcp_socket, reinterpret_cast<sockaddr*>(&from), &length);
    accepted_as_waiting_side(set, data, from);
    set->handshake_seed = 777;
    start_handshake(set);
    EXPECT_EQ(loopback::ReceiveExactly(peer, 4), Word(777));
    if (answer) {
      loopback::SendAll(peer, Word(0x7F000001));
      EXPECT_EQ(loopback::ReceiveExactly(peer, 4), Word(0x7F000001));  // the address accept saw
      std::string delay = loopback::ReceiveExactly(peer, 2);
      ASSERT_EQ(delay.size(), 2u);
    }
    ASSERT_TRUE(HandshakeEnds(set, !answer));
    std::vector<replay_command> queued = Queued(set);
    if (answer) {
      EXPECT_EQ(set->handshake_thread.result(), Net_Thread::kEnded);
      ASSERT_EQ(queued.size(), 1u);
      EXPECT_EQ(queued[0].frame, 777u);
    } else {
      EXPECT_EQ(set->handshake_thread.result(), Net_Thread::kFailed);
      EXPECT_TRUE(queued.empty());
    }
  }
}

TEST_F(ConnectionTest, TcpRecordsArriveWholeAndTheEndRecordEndsTheThreadLeavingWhatFollows) {
  SOCKET peer;
  socket_set* set = LinkedSet(&peer);
  start_tcp_receive(set);
  const std::string one = Record(0, 5), two = Record(7, 16);
  loopback::SendAll(peer, one.substr(0, 3));
  sleep_us(5000);
  loopback::SendAll(peer, one.substr(3) + two + EndRecord() + "SEED");
  ASSERT_TRUE(wait_until([&] { return !set->receive_thread.running(); }));
  EXPECT_EQ(set->receive_thread.result(), Net_Thread::kEnded);
  std::vector<replay_command> queued = Queued(set);
  ASSERT_EQ(queued.size(), 2u);
  EXPECT_EQ(queued[0].bits, 5);
  EXPECT_EQ(queued[1].frame, 7u);
  EXPECT_EQ(queued[1].bits, 16);
  // The bytes after the end record are the next reader's.
  uint8_t seed[4];
  int got = 0;
  ASSERT_TRUE(wait_until([&] { return receive_some(set, seed, 4, &got) == 1; }));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(seed), 4), "SEED");
}

TEST_F(ConnectionTest, TcpThreadEndsFailedOnACloseOrAFloodAndTheQueueStaysBounded) {
  {
    SOCKET peer;
    socket_set* set = LinkedSet(&peer);
    start_tcp_receive(set);
    loopback::SendAll(peer, Record(1, 1) + Record(2, 2).substr(0, 5));  // cut short
    winsock::closesocket(peer);
    ASSERT_TRUE(wait_until([&] { return !set->receive_thread.running(); }));
    EXPECT_EQ(set->receive_thread.result(), Net_Thread::kFailed);
    EXPECT_EQ(Queued(set).size(), 1u);
  }
  {
    SOCKET peer;
    socket_set* set = LinkedSet(&peer);
    start_tcp_receive(set);
    std::string flood;
    for (size_t i = 0; i < kReceivedLimit + 100; ++i) flood += Record((uint32_t)i, 1);
    loopback::SendAll(peer, flood);
    ASSERT_TRUE(wait_until([&] { return !set->receive_thread.running(); }));
    EXPECT_EQ(set->receive_thread.result(), Net_Thread::kFailed);
    EXPECT_EQ(Queued(set).size(), kReceivedLimit);
  }
}

TEST_F(ConnectionTest, UdpTakesWholeRecordsFromThePeerAloneAndDropsWhatCameBeforeIt) {
  SOCKET unused;
  socket_set* set = LinkedSet(&unused);
  SOCKET peer = Keep(loopback::Bound(SOCK_DGRAM));
  SOCKET stranger = Keep(loopback::Bound(SOCK_DGRAM));
  set->udp_peer_address = loopback::Address(loopback::PortOf(peer));
  const sockaddr_in to = loopback::Address(loopback::PortOf(set->udp_socket));
  auto send_from = [&](SOCKET s, const std::string& bytes) {
    winsock::sendto(s, bytes.data(), (int)bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  };
  // Sent while no thread reads: stale when the thread starts.
  send_from(peer, Record(99, 1));
  send_from(peer, Record(98, 1));
  ASSERT_TRUE(wait_until([&] {
    winsock::fd_set r{1, {set->udp_socket}};
    timeval none{0, 0};
    return winsock::select(0, &r, nullptr, nullptr, &none) == 1;
  }));
  start_udp_receive(set);
  // Dropped before the thread runs.
  EXPECT_EQ(set->datagrams_read.load(), 2u);
  EXPECT_EQ(set->datagrams_dropped.load(), 2u);
  send_from(stranger, Record(1, 1));          // another sender
  send_from(peer, Record(2, 2).substr(0, 7));  // too short
  send_from(peer, Record(3, 3) + "x");         // too long
  send_from(peer, std::string(100, 'z'));      // far too long
  send_from(peer, "");                         // empty
  send_from(peer, Record(4, 4));
  send_from(peer, EndRecord());
  send_from(peer, Record(5, 5));               // sent again after its end: still taken
  ASSERT_TRUE(wait_until([&] { return set->datagrams_read.load() >= 10; }));
  EXPECT_EQ(set->datagrams_dropped.load(), 7u);
  EXPECT_TRUE(set->peer_ended_play.load());
  EXPECT_TRUE(set->receive_thread.running());
  std::vector<replay_command> queued = Queued(set);
  ASSERT_EQ(queued.size(), 2u);
  EXPECT_EQ(queued[0].frame, 4u);
  EXPECT_EQ(queued[1].frame, 5u);
  // A flood from the peer ends the thread once the queue is full (sent in
  // bursts the socket's buffer holds).
  const uint64_t before = set->datagrams_read.load();
  for (size_t i = 0; i < kReceivedLimit + 10 && set->receive_thread.running(); ++i) {
    send_from(peer, Record((uint32_t)i, 1));
    if (i % 64 == 63) {
      ASSERT_TRUE(wait_until(
          [&] { return set->datagrams_read.load() >= before + i + 1 || !set->receive_thread.running(); }));
    }
  }
  ASSERT_TRUE(wait_until([&] { return !set->receive_thread.running(); }));
  EXPECT_EQ(set->receive_thread.result(), Net_Thread::kFailed);
  EXPECT_LE(Queued(set).size(), kReceivedLimit);
}

// Only what came before the thread started is stale: a record the peer
// sends the moment start_udp_receive returns is taken, however late the
// thread first looks at the socket, and so at every restart.
TEST_F(ConnectionTest, UdpTakesARecordSentTheMomentItsThreadStarts) {
  SOCKET unused;
  socket_set* set = LinkedSet(&unused);
  SOCKET peer = Keep(loopback::Bound(SOCK_DGRAM));
  set->udp_peer_address = loopback::Address(loopback::PortOf(peer));
  const sockaddr_in to = loopback::Address(loopback::PortOf(set->udp_socket));
  auto send = [&](const std::string& bytes) {
    winsock::sendto(peer, bytes.data(), (int)bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  };
  uint64_t stale_sent = 0;
  for (uint32_t round = 0; round < 8; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    stop_receive(set);
    const uint32_t stale = round % 3;  // none, one or two come while no thread reads
    for (uint32_t i = 0; i < stale; ++i) send(Record(900 + i, 1));
    stale_sent += stale;
    ASSERT_TRUE(wait_until([&] {
      winsock::fd_set r{1, {set->udp_socket}};
      timeval none{0, 0};
      return stale == 0 || winsock::select(0, &r, nullptr, nullptr, &none) == 1;
    }));
    start_udp_receive(set);
    send(Record(round, 7));
    ASSERT_TRUE(wait_until([&] { return has_record(set); }));
    std::vector<replay_command> queued = Queued(set);
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].frame, round);
    EXPECT_EQ(set->datagrams_dropped.load(), stale_sent);
    EXPECT_TRUE(set->receive_thread.running());
  }
}

TEST_F(ConnectionTest, OneReceiveThreadAtATimeAndFreeingJoinsThemAll) {
  SOCKET peer;
  socket_set* set = LinkedSet(&peer);
  start_tcp_receive(set);
  start_udp_receive(set);  // stops the TCP thread first
  EXPECT_TRUE(set->receive_thread.running());
  loopback::SendAll(peer, Record(1, 1));
  sleep_us(20000);
  EXPECT_FALSE(has_record(set));  // no TCP reader any more
  start_tcp_receive(set);
  ASSERT_TRUE(wait_until([&] { return has_record(set); }));
  // Freed while its thread waits on the socket: the thread is woken and
  // joined before the record goes (a sanitizer build sees any late touch).
  const int open = WsOpenSocketCount();
  sets_.clear();
  free_connection(set);
  EXPECT_EQ(WsOpenSocketCount(), open - 2);
}

}  // namespace
