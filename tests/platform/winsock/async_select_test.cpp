// WSAAsyncSelect on the loopback address: which events reach the window, in
// what order, once each until their re-enabling call, and never for a socket
// that was closed or whose selection ended.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/win32/window.h"
#include "tests/platform/winsock/winsock_fixture.h"

namespace {

using namespace winsock;
using winsock::accept;
using winsock::connect;
using winsock::recv;
using winsock::send;
using winsock::setsockopt;

constexpr UINT kSocketMessage = WM_USER + 5;

struct Event {
  SOCKET socket;
  long event;
  int error;
};

class AsyncSelectTest : public WinsockTest {
 protected:
  void SetUp() override {
    WinsockTest::SetUp();
    window_ = loopback::EventWindow("WinsockAsyncTest", DefWindowProcA);
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    WinsockTest::TearDown();
    DestroyWindow(window_);
  }

  void Take() {
    MSG m;
    while (PeekMessageA(&m, window_, kSocketMessage, kSocketMessage, PM_REMOVE))
      events_.push_back(Event{(SOCKET)m.wParam, (long)LOWORD(m.lParam), (int)HIWORD(m.lParam)});
  }
  // Waits (at most 10 s) for the event on the socket and takes it out of the
  // events seen; its error code, or -1 when it did not come.
  int Expect(SOCKET s, long event) {
    for (int i = 0; i < 10000; i++) {
      Take();
      for (auto it = events_.begin(); it != events_.end(); ++it) {
        if (it->socket != s || it->event != event) continue;
        int error = it->error;
        events_.erase(it);
        return error;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ADD_FAILURE() << "no event " << event << " for socket " << s;
    return -1;
  }
  // The events of the socket that arrive within a short while.
  std::vector<long> Quiet(SOCKET s) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Take();
    std::vector<long> got;
    for (const Event& e : events_)
      if (e.socket == s) got.push_back(e.event);
    return got;
  }
  int Select(SOCKET s, long events) { return WSAAsyncSelect(s, window_, kSocketMessage, events); }

  HWND window_ = nullptr;
  std::vector<Event> events_;
};

TEST_F(AsyncSelectTest, AListenerPostsOneAcceptPerAcceptCall) {
  SOCKET listener = loopback::Listener();
  ASSERT_EQ(Select(listener, FD_ACCEPT), 0);
  SOCKET a = loopback::Connect(loopback::PortOf(listener));
  EXPECT_EQ(Expect(listener, FD_ACCEPT), 0);
  SOCKET b = loopback::Connect(loopback::PortOf(listener));
  EXPECT_TRUE(Quiet(listener).empty());  // not again before accept
  SOCKET first = accept(listener, nullptr, nullptr);
  ASSERT_NE(first, INVALID_SOCKET);
  EXPECT_EQ(Expect(listener, FD_ACCEPT), 0);  // the second one waits
  SOCKET second = accept(listener, nullptr, nullptr);
  ASSERT_NE(second, INVALID_SOCKET);
  EXPECT_TRUE(Quiet(listener).empty());
  // Accepted sockets are made like their listener: non-blocking.
  char byte;
  EXPECT_EQ(recv(second, &byte, 1, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  closesocket(a);
  closesocket(b);
}

TEST_F(AsyncSelectTest, AConnectionPostsWriteThenReadOncePerRecvThenCloseAfterTheLastByte) {
  SOCKET listener = loopback::Listener();
  SOCKET peer = loopback::Connect(loopback::PortOf(listener));
  SOCKET s = accept(listener, nullptr, nullptr);
  ASSERT_EQ(Select(s, FD_READ | FD_WRITE | FD_CLOSE), 0);
  EXPECT_EQ(Expect(s, FD_WRITE), 0);

  loopback::SendAll(peer, "abcd");
  EXPECT_EQ(Expect(s, FD_READ), 0);
  loopback::SendAll(peer, "efgh");
  EXPECT_TRUE(Quiet(s).empty());  // not again before recv
  char buffer[16];
  EXPECT_EQ(recv(s, buffer, 2, 0), 2);
  EXPECT_EQ(Expect(s, FD_READ), 0);  // bytes are left
  closesocket(peer);
  EXPECT_TRUE(Quiet(s).empty());  // the close waits for the bytes to be read
  EXPECT_EQ(recv(s, buffer, sizeof buffer, 0), 6);
  EXPECT_EQ(Expect(s, FD_CLOSE), 0);
  EXPECT_EQ(recv(s, buffer, sizeof buffer, 0), 0);
  EXPECT_TRUE(Quiet(s).empty());  // the close is posted once
  EXPECT_TRUE(Quiet(s).empty());
}

TEST_F(AsyncSelectTest, AResetPostsCloseWithItsError) {
  SOCKET listener = loopback::Listener();
  SOCKET peer = loopback::Connect(loopback::PortOf(listener));
  SOCKET s = accept(listener, nullptr, nullptr);
  ASSERT_EQ(Select(s, FD_READ | FD_CLOSE), 0);
  linger abort{1, 0};
  ASSERT_EQ(setsockopt(peer, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort), 0);
  closesocket(peer);
  EXPECT_EQ(Expect(s, FD_CLOSE), WSAECONNRESET);
}

TEST_F(AsyncSelectTest, ANonBlockingConnectPostsItsOutcome) {
  SOCKET listener = loopback::Listener();
  SOCKET closed = loopback::Bound(SOCK_STREAM);
  uint16_t closed_port = loopback::PortOf(closed);
  closesocket(closed);
  struct Case {
    uint16_t port;
    int error;
  } cases[] = {{loopback::PortOf(listener), 0}, {closed_port, WSAECONNREFUSED}};
  for (const Case& c : cases) {
    SOCKET s = winsock::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_EQ(Select(s, FD_CONNECT | FD_WRITE | FD_READ | FD_CLOSE), 0);
    sockaddr_in a = loopback::Address(c.port);
    EXPECT_EQ(connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    EXPECT_EQ(Expect(s, FD_CONNECT), c.error);
    if (c.error == 0) {
      EXPECT_EQ(Expect(s, FD_WRITE), 0);
    }
    EXPECT_TRUE(Quiet(s).empty());  // a failed connect posts nothing more
    closesocket(s);
  }
}

TEST_F(AsyncSelectTest, WriteComesBackOnceASendThatCouldNotTakeItAllHasRoom) {
  SOCKET listener = loopback::Listener();
  SOCKET peer = loopback::Connect(loopback::PortOf(listener));
  SOCKET s = accept(listener, nullptr, nullptr);
  ASSERT_EQ(Select(s, FD_WRITE), 0);
  EXPECT_EQ(Expect(s, FD_WRITE), 0);
  std::string block(65536, 'x');
  size_t sent = 0;
  for (;;) {
    int n = send(s, block.data(), (int)block.size(), 0);
    if (n == SOCKET_ERROR) break;
    sent += (size_t)n;
  }
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  EXPECT_TRUE(Quiet(s).empty());
  EXPECT_EQ(loopback::ReceiveExactly(peer, sent).size(), sent);
  EXPECT_EQ(Expect(s, FD_WRITE), 0);
}

TEST_F(AsyncSelectTest, NothingIsPostedAfterTheSelectionEndsOrTheSocketCloses) {
  SOCKET listener = loopback::Listener();
  SOCKET peer = loopback::Connect(loopback::PortOf(listener));
  SOCKET s = accept(listener, nullptr, nullptr);
  ASSERT_EQ(Select(s, FD_READ), 0);
  ASSERT_EQ(Select(s, 0), 0);
  loopback::SendAll(peer, "x");
  EXPECT_TRUE(Quiet(s).empty());
  unsigned long blocking = 0;
  EXPECT_EQ(ioctlsocket(s, FIONBIO, &blocking), 0);

  ASSERT_EQ(Select(listener, FD_ACCEPT), 0);
  uint16_t port = loopback::PortOf(listener);
  closesocket(listener);
  EXPECT_EQ(loopback::Connect(port), INVALID_SOCKET);
  EXPECT_TRUE(Quiet(listener).empty());
  EXPECT_EQ(Select(listener, FD_ACCEPT), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

TEST_F(AsyncSelectTest, ASelectionNeedsAWindow) {
  SOCKET s = loopback::Bound(SOCK_DGRAM);
  EXPECT_EQ(WSAAsyncSelect(s, nullptr, kSocketMessage, FD_READ), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
  WsFailCall(WS_CALL_ASYNC_SELECT, WSAENETDOWN);
  EXPECT_EQ(Select(s, FD_READ), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENETDOWN);
}

}  // namespace
