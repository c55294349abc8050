// The socket module on the loopback address: connections accepted as
// handles, messages both ways whole, in pieces and larger than the ring,
// many handles at once, a peer that leaves in the middle of a message, and
// lengths no message may have.
#include <algorithm>
#include <string>
#include <thread>

#include "tests/engine/net/net_fixture.h"

namespace {

using winsock::SOCKET;

TEST_F(NetModuleTest, AConnectionBecomesAHandleThatKnowsItsPeer) {
  EXPECT_EQ((uint32_t)listener_ & 0x78000000u, 0x48000000u);
  Connection c = Connect();
  SocketRecord* r = Record(c.handle);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ((uint32_t)c.handle & 0x78000000u, 0x48000000u);
  EXPECT_EQ(r->connected, 1);
  EXPECT_EQ(r->framing, 1);
  EXPECT_EQ(ntohl(r->peer_address), 0x7F000001u);
  EXPECT_EQ(ntohs(r->peer_port), loopback::PortOf(c.peer));
  EXPECT_EQ(LiveHandles(), (std::vector<int>{listener_, c.handle}));

  EXPECT_EQ(CloseSocketHandle(c.handle), 0);
  EXPECT_EQ(Record(c.handle), nullptr);
  EXPECT_EQ(CloseSocketHandle(c.handle), -1);
  EXPECT_EQ(loopback::ReceiveExactly(c.peer, 1), "");  // the peer sees the close
}

TEST_F(NetModuleTest, MessagesTravelWholeBothWays) {
  Connection c = Connect();
  ASSERT_TRUE(loopback::SendAll(c.peer, Framed("hello") + Framed("") + Framed("world!")));
  ASSERT_TRUE(PumpUntil([&] { return Record(c.handle)->completed == 11; }));
  EXPECT_EQ(Record(c.handle)->recv_remaining, 0);
  EXPECT_EQ(TakeCompleted(c.handle), "helloworld!");

  Queue(c.handle, "abcde");
  EXPECT_EQ(loopback::ReceiveExactly(c.peer, 9), Framed("abcde"));
  Queue(c.handle, "xy");
  Queue(c.handle, "z");
  EXPECT_EQ(loopback::ReceiveExactly(c.peer, 11), Framed("xy") + Framed("z"));
  EXPECT_EQ(ByteRingUsed(&Record(c.handle)->send_ring), 0);
}

TEST_F(NetModuleTest, AMessageInPiecesCompletesWithItsLastPiece) {
  Connection c = Connect();
  SocketRecord* r = Record(c.handle);
  ASSERT_TRUE(loopback::SendAll(c.peer, LengthBytes(6)));
  ASSERT_TRUE(PumpUntil([&] { return r->recv_remaining == 6; }));  // the length is taken off the stream
  ASSERT_TRUE(loopback::SendAll(c.peer, "abc"));
  ASSERT_TRUE(PumpUntil([&] { return r->recv_remaining == 3; }));
  EXPECT_EQ(r->completed, 0);
  ASSERT_TRUE(loopback::SendAll(c.peer, "def"));
  ASSERT_TRUE(PumpUntil([&] { return r->completed == 6; }));

  // A length that arrives in two pieces waits for its second.
  ASSERT_TRUE(loopback::SendAll(c.peer, LengthBytes(2).substr(0, 2)));
  PumpAWhile();
  EXPECT_EQ(r->recv_remaining, 0);
  ASSERT_TRUE(loopback::SendAll(c.peer, LengthBytes(2).substr(2) + "gh"));
  ASSERT_TRUE(PumpUntil([&] { return r->completed == 8; }));
  EXPECT_EQ(TakeCompleted(c.handle), "abcdefgh");
}

TEST_F(NetModuleTest, MessagesLargerThanTheRingAndTheConnectionGoThrough) {
  Connection c = Connect();
  const std::string in = Pattern(3 << 20, 1);
  const std::string out = Pattern((2 << 20) + 5, 2);
  std::string echoed;
  std::thread peer([&] {
    loopback::SendAll(c.peer, Framed(in));
    echoed = loopback::ReceiveExactly(c.peer, out.size() + 4);
  });
  ASSERT_TRUE(PumpUntil([&] { return Record(c.handle)->completed == (int64_t)in.size(); }));
  EXPECT_TRUE(TakeCompleted(c.handle) == in);
  Queue(c.handle, out);
  ASSERT_TRUE(PumpUntil([&] { return ByteRingUsed(&Record(c.handle)->send_ring) == 0; }));
  peer.join();
  EXPECT_TRUE(echoed == Framed(out));
}

// A length that leaves in pieces is finished before the bytes behind it.
TEST_F(NetModuleTest, ALengthSentInPiecesIsFinishedFirst) {
  Connection c = Connect();
  SocketRecord* r = Record(c.handle);
  WsSetSendLimit(2);
  Queue(c.handle, "12345");
  EXPECT_EQ(r->send_prefix_unsent, 2);
  EXPECT_EQ(loopback::ReceiveExactly(c.peer, 2), LengthBytes(5).substr(0, 2));
  while (ByteRingUsed(&r->send_ring) > 0) ASSERT_EQ(SendSocket(c.handle), 0);
  EXPECT_EQ(loopback::ReceiveExactly(c.peer, 7), LengthBytes(5).substr(2) + "12345");
}

TEST_F(NetModuleTest, ManyHandlesCarryTheirOwnMessagesAtOnce) {
  constexpr int kCount = 40;
  std::vector<Connection> all;
  for (int i = 0; i < kCount; i++) all.push_back(Connect());
  for (int i = 0; i < kCount; i++) {
    std::string message = Framed(Pattern(1000 + 97 * i, i));
    // Half of them in two pieces, the cut inside the length for some.
    size_t cut = i % 2 ? (size_t)(i % 7) : message.size();
    ASSERT_TRUE(loopback::SendAll(all[i].peer, message.substr(0, cut)));
    if (cut < message.size()) {
      ASSERT_TRUE(loopback::SendAll(all[i].peer, message.substr(cut)));
    }
  }
  ASSERT_TRUE(PumpUntil([&] {
    return std::all_of(all.begin(), all.end(), [&](const Connection& c) { return Record(c.handle)->completed > 0; });
  }));
  for (int i = 0; i < kCount; i++) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(TakeCompleted(all[i].handle) == Pattern(1000 + 97 * i, i));
    Queue(all[i].handle, "reply" + std::to_string(i));
  }
  for (int i = 0; i < kCount; i++) {
    std::string reply = "reply" + std::to_string(i);
    EXPECT_EQ(loopback::ReceiveExactly(all[i].peer, reply.size() + 4), Framed(reply));
  }
  EXPECT_EQ((int)LiveHandles().size(), kCount + 1);
}

// A read event that a receive on another handle lets through while it runs
// cannot be served then; it is served once that receive has ended, or the
// handle would wait for ever (its next event needs a receive first).
TEST_F(NetModuleTest, AReadEventThatComesDuringAnotherReceiveIsServedAfterIt) {
  Connection a = Connect();
  Connection b = Connect();
  PumpAWhile();
  ASSERT_TRUE(loopback::SendAll(b.peer, Framed("late")));
  std::vector<MSG> taken;
  bool found = false;
  for (int i = 0; i < 10000 && !found; i++) {
    MSG m;
    while (PeekMessageA(&m, window_, NET_SOCKET_MESSAGE, NET_SOCKET_MESSAGE, PM_REMOVE)) {
      taken.push_back(m);
      found |= m.wParam == Record(b.handle)->socket && LOWORD(m.lParam) == winsock::FD_READ;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(found);
  for (const MSG& m : taken) PostMessageA(m.hwnd, m.message, m.wParam, m.lParam);
  EXPECT_EQ(RecvSocket(a.handle), 0);  // lets b's event through while it runs
  EXPECT_EQ(Record(b.handle)->completed, 0);
  EXPECT_TRUE(PumpUntil([&] { return Record(b.handle)->completed == 4; }));
}

TEST_F(NetModuleTest, APeerThatLeavesInTheMiddleOfAMessageLeavesOnlyItsWholeMessages) {
  Connection c = Connect();
  SocketRecord* r = Record(c.handle);
  ASSERT_TRUE(loopback::SendAll(c.peer, Framed("whole") + LengthBytes(10) + "part"));
  winsock::closesocket(c.peer);
  ASSERT_TRUE(PumpUntil([&] { return r->connected == 0; }));
  EXPECT_EQ(r->completed, 5);
  EXPECT_EQ(r->recv_remaining, 6);
  EXPECT_EQ(TakeCompleted(c.handle), "whole");
  EXPECT_EQ(RecvSocket(c.handle), 0);  // nothing more comes
  EXPECT_EQ(r->recv_remaining, 6);
  EXPECT_EQ(CloseSocketHandle(c.handle), 0);  // without waiting for the rest
}

TEST_F(NetModuleTest, LengthsNoMessageMayHaveCloseTheConnection) {
  const uint32_t hostile[] = {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, (uint32_t)NET_MESSAGE_LIMIT + 1};
  for (uint32_t length : hostile) {
    SCOPED_TRACE(length);
    Connection c = Connect();
    ASSERT_TRUE(loopback::SendAll(c.peer, Framed("fine") + LengthBytes(length) + "xxxxxxxx"));
    ASSERT_TRUE(PumpUntil([&] { return Record(c.handle) == nullptr; }));  // closed by the message step
    char byte;
    EXPECT_LE(winsock::recv(c.peer, &byte, 1, 0), 0);
  }
  EXPECT_NE(Log().find("受信データのサイズが不正です"), std::string::npos);
  EXPECT_EQ(LiveHandles().size(), 1u);  // the listener
}

TEST_F(NetModuleTest, AFailedAcceptOrSelectionLeavesNoHandle) {
  struct Case {
    WsCall call;
    const char* log;
  } cases[] = {{WS_CALL_ACCEPT, "acceptに失敗しました"},
               {WS_CALL_ASYNC_SELECT, "WSAAsyncSelectのエラー in AcceptNetWork"}};
  for (const Case& c : cases) {
    WsFailCall(c.call, winsock::WSAENOBUFS);
    SOCKET peer = loopback::Connect(port_);
    peers_.push_back(peer);
    ASSERT_TRUE(PumpUntil([&] { return Log().find(c.log) != std::string::npos; }));
    EXPECT_NE(Log().find("[10055]"), std::string::npos);
    EXPECT_EQ(LiveHandles().size(), 1u);
    WsClearFailures();
  }
}

TEST_F(NetModuleTest, AnEventForASocketNoHandleHoldsIsLogged) {
  EXPECT_EQ(DispatchSocketEvent(window_, NET_SOCKET_MESSAGE, 12345, winsock::FD_READ), 0);
  EXPECT_NE(Log().find("通信エラー No.1"), std::string::npos);
}

TEST_F(NetModuleTest, HandlesEndWithTheModule) {
  Connection c = Connect();
  EXPECT_EQ(EndNetworkModule(), 0);
  EXPECT_EQ(GetNetModuleState().running, 0);
  EXPECT_EQ(FindSocketRecord(c.handle), nullptr);
  EXPECT_EQ(FindSocketRecord(listener_), nullptr);
  EXPECT_EQ(loopback::ReceiveExactly(c.peer, 1), "");
  EXPECT_EQ(PumpNetWindowMessages(1), 0);
  EXPECT_EQ(RecvSocket(c.handle), -1);
  EXPECT_NE(Log().find("ネットワーク関連の終了処理は完了しました"), std::string::npos);
}

// ---- start-up without the fixture's module

class NetStartTest : public EngineLogTest {};

TEST_F(NetStartTest, EndAndPumpBeforeAnyStartDoNothing) {
  EXPECT_EQ(EndNetworkModule(), 0);
  EXPECT_EQ(PumpNetWindowMessages(1), 0);
  EXPECT_EQ(FindSocketRecord(0x48000000), nullptr);
  EXPECT_EQ(ListenNetWork(0), -1);
  EXPECT_EQ(Log(), "");
}

TEST_F(NetStartTest, AStartThatCannotHaveItsWinSockOrAWindowFails) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    const char* log;
  } cases[] = {
      {"WinSock does not start", [] { WsFailCall(WS_CALL_STARTUP, winsock::WSASYSNOTREADY); },
       "WinSock.DLLが導入されていません"},
      {"WinSock offers only 1.0", [] { WsSetHighestVersion(winsock::MakeVersion(1, 0)); },
       "Winsock.DLLのバージョンが違います"},
      {"no window for the events", [] {}, "ネットワーク処理用の子ウインドウの作成に失敗しました"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    EXPECT_EQ(StartNetworkModule(nullptr), -1);  // and no engine window either
    EXPECT_NE(Log().find(c.log), std::string::npos);
    EXPECT_EQ(GetNetModuleState().running, 0);
    EXPECT_EQ(winsock::WSACleanup(), winsock::SOCKET_ERROR);  // nothing was left started
    WsClearFailures();
    WsSetHighestVersion(winsock::MakeVersion(2, 2));
  }
}

}  // namespace
