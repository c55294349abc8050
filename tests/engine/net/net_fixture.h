// The socket module started on a window of the test's own, whose procedure
// hands socket events on as the engine's main window does, with a listening
// handle on the loopback address and peers that connect to it through the
// WinSock stand-in.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/net/net.h"
#include "platform/winsock/winsock_control.h"
#include "tests/platform/winsock/loopback.h"
#include "tests/support/engine_fixture.h"

inline std::string LengthBytes(uint32_t length) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; i++) out[i] = (char)(length >> (8 * i));
  return out;
}

// A message as it travels: its length, least significant byte first, then
// its bytes.
inline std::string Framed(const std::string& payload) { return LengthBytes((uint32_t)payload.size()) + payload; }

// Bytes that differ from one position to the next.
inline std::string Pattern(size_t size, int seed) {
  std::string out(size, '\0');
  for (size_t i = 0; i < size; i++) out[i] = (char)((i * 131 + (size_t)seed * 7) >> 3);
  return out;
}

class NetModuleTest : public EngineLogTest {
 protected:
  void SetUp() override {
    EngineLogTest::SetUp();
    WsClearFailures();
    window_ = loopback::EventWindow("NetModuleTest", [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
      if (m == NET_SOCKET_MESSAGE) return DispatchSocketEvent(w, m, wp, lp);
      return DefWindowProcA(w, m, wp, lp);
    });
    ASSERT_NE(window_, nullptr);
    winsock::WSADATA data;
    ASSERT_EQ(winsock::WSAStartup(winsock::MakeVersion(2, 0), &data), 0);  // the peers' own
    ASSERT_EQ(StartNetworkModule(window_), 0);
    listener_ = ListenNetWork(0);
    ASSERT_GE(listener_, 0);
    port_ = loopback::PortOf(FindSocketRecord(listener_)->socket);
  }
  void TearDown() override {
    WsClearFailures();
    WsSetSendLimit(0);
    EXPECT_EQ(EndNetworkModule(), 0);
    for (winsock::SOCKET p : peers_) winsock::closesocket(p);
    winsock::WSACleanup();
    DestroyWindow(window_);
    EngineLogTest::TearDown();
  }

  // Serves socket events until `done` holds (at most 10 s).
  bool PumpUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 10000; i++) {
      if (done()) return true;
      PumpNetWindowMessages(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
  }
  // Serves socket events for a short while.
  void PumpAWhile() {
    for (int i = 0; i < 50; i++) {
      PumpNetWindowMessages(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  std::vector<int> LiveHandles() const {
    std::vector<int> out;
    const List& live = GetNetModuleState().live;
    for (const ListNode* n = live.head.next; n != &live.tail; n = n->next) out.push_back(n->value);
    return out;
  }

  // A peer connected to the listening handle, and the handle it was accepted as.
  struct Connection {
    winsock::SOCKET peer;
    int handle;
  };
  Connection Connect() {
    std::vector<int> before = LiveHandles();
    winsock::SOCKET peer = loopback::Connect(port_);
    EXPECT_NE(peer, winsock::INVALID_SOCKET);
    peers_.push_back(peer);
    int handle = -1;
    PumpUntil([&] {
      for (int h : LiveHandles())
        if (std::find(before.begin(), before.end(), h) == before.end()) handle = h;
      return handle >= 0;
    });
    EXPECT_GE(handle, 0) << "the connection was not accepted";
    return Connection{peer, handle};
  }

  SocketRecord* Record(int handle) { return FindSocketRecord(handle); }

  // Takes the whole messages out of the handle's receive ring.
  std::string TakeCompleted(int handle) {
    SocketRecord* r = Record(handle);
    std::string out((size_t)r->completed, '\0');
    EXPECT_EQ(ByteRingTake(&r->recv_ring, out.data(), (int32_t)out.size(), 0), 0);
    r->completed = 0;
    return out;
  }

  // Queues bytes on the handle and lets the module send them.
  void Queue(int handle, const std::string& bytes) {
    ASSERT_EQ(ByteRingPut(&Record(handle)->send_ring, bytes.data(), (int32_t)bytes.size()), 0);
    SendSocket(handle);
  }

  HWND window_ = nullptr;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::vector<winsock::SOCKET> peers_;
};
