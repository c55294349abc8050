// The blocking WinSock calls on the loopback address: start and end,
// connections and datagrams, closing a socket under a blocked call, address
// reuse of listeners, select, errors, injected failures and name lookup.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "tests/platform/winsock/winsock_fixture.h"

namespace {

// The stand-in's calls share their names with the system's: these
// declarations make the unqualified names the stand-in's (socket stays
// qualified: its arguments are the system's enumerators, whose namespace
// brings the system's socket into the call).
using namespace winsock;
using winsock::accept;
using winsock::bind;
using winsock::connect;
using winsock::fd_set;
using winsock::getsockopt;
using winsock::recv;
using winsock::recvfrom;
using winsock::select;
using winsock::send;
using winsock::sendto;
using winsock::setsockopt;
using winsock::gethostname;
using winsock::gethostbyname;
using loopback::Address;
using loopback::PortOf;

sockaddr* Sa(sockaddr_in* a) { return reinterpret_cast<sockaddr*>(a); }

// Whether a call on a new, unconnected stream socket fails; its error stays
// the last error after the socket is closed.
bool FailsOnNewStream(const std::function<bool(SOCKET)>& call) {
  SOCKET s = winsock::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const bool failed = call(s);
  const int error = WSAGetLastError();
  closesocket(s);
  WSASetLastError(error);
  return failed;
}

// A port nothing listens on.
uint16_t ClosedPort() {
  SOCKET s = loopback::Bound(SOCK_STREAM);
  uint16_t port = PortOf(s);
  closesocket(s);
  return port;
}

TEST(WinsockStartTest, CallsBeforeStartFailWithNotInitialised) {
  EXPECT_EQ(winsock::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST(WinsockStartTest, AnswersTheLowerOfTheVersionAskedAndTheHighestOffered) {
  struct Case {
    WORD asked, highest;
    int result;
    WORD answer;
  } cases[] = {
      {MakeVersion(1, 1), MakeVersion(2, 2), 0, MakeVersion(1, 1)},
      {MakeVersion(2, 0), MakeVersion(2, 2), 0, MakeVersion(2, 0)},
      {MakeVersion(3, 0), MakeVersion(2, 2), 0, MakeVersion(2, 2)},
      {MakeVersion(1, 1), MakeVersion(1, 0), 0, MakeVersion(1, 0)},  // a caller that needs 1.1 must refuse this
      {MakeVersion(0, 9), MakeVersion(2, 2), WSAVERNOTSUPPORTED, 0},
  };
  for (const Case& c : cases) {
    WsSetHighestVersion(c.highest);
    WSADATA data{};
    EXPECT_EQ(WSAStartup(c.asked, &data), c.result);
    if (c.result != 0) continue;
    EXPECT_EQ(data.wVersion, c.answer);
    EXPECT_EQ(data.wHighVersion, c.highest);
    EXPECT_EQ(WSACleanup(), 0);
  }
  WsSetHighestVersion(MakeVersion(2, 2));
}

using WinsockBlockingTest = WinsockTest;

TEST_F(WinsockBlockingTest, ConnectsAcceptsAndCarriesBytesBothWays) {
  SOCKET listener = loopback::Listener();
  ASSERT_NE(listener, INVALID_SOCKET);
  SOCKET client = loopback::Connect(PortOf(listener));
  ASSERT_NE(client, INVALID_SOCKET);
  sockaddr_in peer{};
  int size = sizeof peer;
  SOCKET server = accept(listener, Sa(&peer), &size);
  ASSERT_NE(server, INVALID_SOCKET);
  EXPECT_EQ(size, (int)sizeof peer);
  EXPECT_EQ(peer.sin_family, AF_INET);
  EXPECT_EQ(ntohl(peer.sin_addr.s_addr), 0x7F000001u);
  EXPECT_EQ(ntohs(peer.sin_port), PortOf(client));

  int on = 1;
  EXPECT_EQ(setsockopt(server, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on), 0);
  EXPECT_TRUE(loopback::SendAll(client, "hello"));
  EXPECT_EQ(loopback::ReceiveExactly(server, 5), "hello");
  EXPECT_TRUE(loopback::SendAll(server, std::string("\0\1\2", 3)));
  EXPECT_EQ(loopback::ReceiveExactly(client, 3), std::string("\0\1\2", 3));

  EXPECT_EQ(closesocket(client), 0);
  char byte;
  EXPECT_EQ(recv(server, &byte, 1, 0), 0);  // the peer's close
  EXPECT_EQ(closesocket(server), 0);
  EXPECT_EQ(closesocket(listener), 0);
}

// Each case blocks a call on a socket in a thread, closes the socket once the
// call is in, and expects the call to fail with WSAEINTR.
TEST_F(WinsockBlockingTest, ClosingASocketWakesTheCallBlockedOnIt) {
  struct Case {
    const char* name;
    std::function<SOCKET()> make;
    std::function<int(SOCKET)> call;  // 0 or more: it returned data or a socket
  };
  SOCKET listener = loopback::Listener();
  SOCKET keep_open = INVALID_SOCKET;
  const Case cases[] = {
      {"recv on a connection",
       [&] {
         keep_open = loopback::Connect(PortOf(listener));
         return accept(listener, nullptr, nullptr);
       },
       [](SOCKET s) {
         char b[8];
         return recv(s, b, sizeof b, 0);
       }},
      {"recvfrom on a datagram socket", [] { return loopback::Bound(SOCK_DGRAM); },
       [](SOCKET s) {
         char b[8];
         sockaddr_in from{};
         int size = sizeof from;
         return recvfrom(s, b, sizeof b, 0, Sa(&from), &size);
       }},
      {"accept on a listener", [] { return loopback::Listener(); },
       [](SOCKET s) { return accept(s, nullptr, nullptr) == INVALID_SOCKET ? -1 : 0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SOCKET s = c.make();
    ASSERT_NE(s, INVALID_SOCKET);
    int result = 0, error = 0;
    std::thread blocked([&] {
      result = c.call(s);
      error = WSAGetLastError();
    });
    while (WsCallsInFlight(s) < 1) std::this_thread::yield();
    EXPECT_EQ(closesocket(s), 0);
    blocked.join();
    EXPECT_EQ(result, SOCKET_ERROR);
    EXPECT_EQ(error, WSAEINTR);
    EXPECT_EQ(WsCallsInFlight(s), -1);
    if (keep_open != INVALID_SOCKET) closesocket(keep_open);
    keep_open = INVALID_SOCKET;
  }
  closesocket(listener);
}

TEST_F(WinsockBlockingTest, TheLastCleanupClosesEverySocketAndWakesItsCalls) {
  SOCKET s = loopback::Bound(SOCK_DGRAM);
  int result = 0, error = 0;
  std::thread blocked([&] {
    char b[8];
    result = recv(s, b, sizeof b, 0);
    error = WSAGetLastError();
  });
  while (WsCallsInFlight(s) < 1) std::this_thread::yield();
  WSADATA data;
  ASSERT_EQ(WSAStartup(MakeVersion(2, 0), &data), 0);
  EXPECT_EQ(WSACleanup(), 0);  // still started once: nothing closes
  EXPECT_EQ(WsOpenSocketCount(), 1);
  EXPECT_EQ(WSACleanup(), 0);
  blocked.join();
  EXPECT_EQ(result, SOCKET_ERROR);
  EXPECT_EQ(error, WSAEINTR);
  EXPECT_EQ(WsOpenSocketCount(), 0);
  ASSERT_EQ(WSAStartup(MakeVersion(2, 0), &data), 0);  // for the fixture's end
}

// The side that closes first keeps the port waiting out its close; a new
// listener still gets the port at once.
TEST_F(WinsockBlockingTest, AListenerReusesItsPortWhileOldConnectionsWaitOutTheirClose) {
  SOCKET listener = loopback::Listener();
  uint16_t port = PortOf(listener);
  SOCKET client = loopback::Connect(port);
  SOCKET server = accept(listener, nullptr, nullptr);
  ASSERT_NE(server, INVALID_SOCKET);
  closesocket(server);
  char byte;
  EXPECT_EQ(recv(client, &byte, 1, 0), 0);
  closesocket(client);
  closesocket(listener);

  SOCKET again = loopback::Listener(port);
  EXPECT_NE(again, INVALID_SOCKET) << WSAGetLastError();
  closesocket(again);
}

TEST_F(WinsockBlockingTest, DatagramsCarryTheirSenderAndRefuseAShortBuffer) {
  SOCKET a = loopback::Bound(SOCK_DGRAM);
  SOCKET b = loopback::Bound(SOCK_DGRAM);
  sockaddr_in to = Address(PortOf(b));
  ASSERT_EQ(sendto(a, "12345678", 8, 0, Sa(&to), sizeof to), 8);
  ASSERT_EQ(sendto(a, "0123456789ABCDEF", 16, 0, Sa(&to), sizeof to), 16);
  ASSERT_EQ(sendto(a, "abcdefgh", 8, 0, Sa(&to), sizeof to), 8);

  char buffer[8];
  sockaddr_in from{};
  int size = sizeof from;
  EXPECT_EQ(recvfrom(b, buffer, 8, 0, Sa(&from), &size), 8);
  EXPECT_EQ(std::string(buffer, 8), "12345678");
  EXPECT_EQ(ntohs(from.sin_port), PortOf(a));
  EXPECT_EQ(recvfrom(b, buffer, 8, 0, Sa(&from), &size), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
  EXPECT_EQ(std::string(buffer, 8), "01234567");  // the rest of it is lost
  EXPECT_EQ(recvfrom(b, buffer, 8, 0, Sa(&from), &size), 8);
  EXPECT_EQ(std::string(buffer, 8), "abcdefgh");
}

TEST_F(WinsockBlockingTest, FailuresAreReadThroughTheErrorCall) {
  SOCKET udp = loopback::Bound(SOCK_DGRAM);
  SOCKET listener = loopback::Listener();
  struct Case {
    const char* name;
    std::function<bool()> fails;  // true when the call reported failure
    int error;
  } cases[] = {
      {"connect to a port nobody listens on",
       [] {
         sockaddr_in a = Address(ClosedPort());
         return FailsOnNewStream([&](SOCKET s) { return connect(s, Sa(&a), sizeof a) == SOCKET_ERROR; });
       },
       WSAECONNREFUSED},
      {"a second datagram socket on a taken port",
       [&] { return loopback::Bound(SOCK_DGRAM, PortOf(udp)) == INVALID_SOCKET; }, WSAEADDRINUSE},
      {"a call on a closed socket",
       [] {
         SOCKET s = loopback::Bound(SOCK_DGRAM);
         closesocket(s);
         char b;
         return recv(s, &b, 1, 0) == SOCKET_ERROR;
       },
       WSAENOTSOCK},
      {"send on a stream never connected",
       [] { return FailsOnNewStream([](SOCKET s) { return send(s, "x", 1, 0) == SOCKET_ERROR; }); },
       WSAENOTCONN},
      {"accept with an address too short",
       [&] {
         sockaddr_in a{};
         int size = 8;
         return accept(listener, Sa(&a), &size) == INVALID_SOCKET;
       },
       WSAEFAULT},
      {"select over empty lists",
       [] {
         fd_set none{};
         timeval t{0, 0};
         return select(0, &none, nullptr, nullptr, &t) == SOCKET_ERROR;
       },
       WSAEINVAL},
      {"recv on a non-blocking socket with nothing waiting",
       [&] {
         unsigned long on = 1;
         ioctlsocket(udp, FIONBIO, &on);
         char b;
         return recv(udp, &b, 1, 0) == SOCKET_ERROR;
       },
       WSAEWOULDBLOCK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WSASetLastError(0);
    EXPECT_TRUE(c.fails());
    EXPECT_EQ(WSAGetLastError(), c.error);
  }
}

TEST_F(WinsockBlockingTest, SelectListsTheReadySockets) {
  SOCKET listener = loopback::Listener();
  fd_set read{1, {listener}};
  timeval lobby_wait{0, 100};  // the lobby's poll of 100 microseconds
  EXPECT_EQ(select(0, &read, nullptr, nullptr, &lobby_wait), 0);
  EXPECT_EQ(read.fd_count, 0u);

  SOCKET client = loopback::Connect(PortOf(listener));
  read = fd_set{1, {listener}};
  EXPECT_EQ(select(0, &read, nullptr, nullptr, nullptr), 1);  // a connection to accept
  EXPECT_TRUE(WSAFDIsSet(listener, &read));
  SOCKET server = accept(listener, nullptr, nullptr);

  loopback::SendAll(client, "x");
  read = fd_set{2, {client, server}};
  fd_set write{1, {client}};
  EXPECT_EQ(select(0, &read, &write, nullptr, nullptr), 2);
  EXPECT_EQ(read.fd_count, 1u);
  EXPECT_TRUE(WSAFDIsSet(server, &read));
  EXPECT_FALSE(WSAFDIsSet(client, &read));
  EXPECT_TRUE(WSAFDIsSet(client, &write));
}

TEST_F(WinsockBlockingTest, ANonBlockingConnectEndsInTheWriteOrTheExceptList) {
  SOCKET listener = loopback::Listener();
  struct Case {
    uint16_t port;
    bool succeeds;
  } cases[] = {{PortOf(listener), true}, {ClosedPort(), false}};
  for (const Case& c : cases) {
    SOCKET s = winsock::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    unsigned long on = 1;
    ASSERT_EQ(ioctlsocket(s, FIONBIO, &on), 0);
    sockaddr_in a = Address(c.port);
    EXPECT_EQ(connect(s, Sa(&a), sizeof a), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    fd_set write{1, {s}}, except{1, {s}};
    timeval wait{10, 0};
    EXPECT_EQ(select(0, nullptr, &write, &except, &wait), 1);
    EXPECT_EQ(WSAFDIsSet(s, &write) != 0, c.succeeds);
    EXPECT_EQ(WSAFDIsSet(s, &except) != 0, !c.succeeds);
    int error = -1;
    int size = sizeof error;
    EXPECT_EQ(getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size), 0);
    EXPECT_EQ(error, c.succeeds ? 0 : WSAECONNREFUSED);
    closesocket(s);
  }
}

TEST_F(WinsockBlockingTest, InjectedFailuresComeAfterTheGivenNumberOfCallsAndLeaveTheSocketAlone) {
  SOCKET listener = loopback::Listener();
  SOCKET client = loopback::Connect(PortOf(listener));
  SOCKET server = accept(listener, nullptr, nullptr);
  WsFailCall(WS_CALL_SEND, WSAECONNRESET, 1);
  EXPECT_EQ(send(client, "a", 1, 0), 1);
  EXPECT_EQ(send(client, "b", 1, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
  EXPECT_EQ(send(client, "c", 1, 0), SOCKET_ERROR);
  WsClearFailures();
  EXPECT_EQ(send(client, "d", 1, 0), 1);
  EXPECT_EQ(loopback::ReceiveExactly(server, 2), "ad");

  struct Case {
    WsCall call;
    std::function<bool()> fails;
  } cases[] = {
      {WS_CALL_SOCKET, [] { return winsock::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP) == INVALID_SOCKET; }},
      {WS_CALL_BIND, [] { return loopback::Bound(SOCK_DGRAM) == INVALID_SOCKET; }},
      {WS_CALL_LISTEN, [] { return loopback::Listener() == INVALID_SOCKET; }},
      {WS_CALL_CONNECT, [&] { return loopback::Connect(PortOf(listener)) == INVALID_SOCKET; }},
      {WS_CALL_ACCEPT, [&] { return accept(listener, nullptr, nullptr) == INVALID_SOCKET; }},
      {WS_CALL_RECV,
       [&] {
         char b;
         return recv(server, &b, 1, 0) == SOCKET_ERROR;
       }},
      {WS_CALL_SELECT,
       [&] {
         fd_set r{1, {server}};
         return select(0, &r, nullptr, nullptr, nullptr) == SOCKET_ERROR;
       }},
      {WS_CALL_SETSOCKOPT,
       [&] {
         int on = 1;
         return setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&on), sizeof on) == SOCKET_ERROR;
       }},
      {WS_CALL_CLOSE, [&] { return closesocket(client) == SOCKET_ERROR && WsCallsInFlight(client) == 0; }},
      {WS_CALL_GETHOSTBYNAME, [] { return gethostbyname("127.0.0.1") == nullptr; }},
      {WS_CALL_STARTUP,
       [] {
         WSADATA d;
         return WSAStartup(MakeVersion(2, 0), &d) == WSAENETDOWN;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    WsFailCall(c.call, WSAENETDOWN);
    WSASetLastError(0);
    EXPECT_TRUE(c.fails());
    if (c.call != WS_CALL_STARTUP) {
      EXPECT_EQ(WSAGetLastError(), WSAENETDOWN);
    }
    WsClearFailures();
  }
}

TEST_F(WinsockBlockingTest, ASendLimitShortensSends) {
  SOCKET listener = loopback::Listener();
  SOCKET client = loopback::Connect(PortOf(listener));
  SOCKET server = accept(listener, nullptr, nullptr);
  WsSetSendLimit(2);
  EXPECT_EQ(send(client, "abcde", 5, 0), 2);
  WsSetSendLimit(0);
  EXPECT_EQ(send(client, "cde", 3, 0), 3);
  EXPECT_EQ(loopback::ReceiveExactly(server, 5), "abcde");
}

TEST_F(WinsockBlockingTest, NamesResolveToIpv4Addresses) {
  char name[256];
  ASSERT_EQ(gethostname(name, sizeof name), 0);
  EXPECT_GT(strlen(name), 0u);
  EXPECT_EQ(gethostname(name, 1), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);

  ASSERT_EQ(gethostname(name, sizeof name), 0);
  hostent* own = gethostbyname(name);
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->h_addrtype, AF_INET);
  EXPECT_EQ(own->h_length, 4);
  ASSERT_NE(own->h_addr_list[0], nullptr);

  hostent* dotted = gethostbyname("127.0.0.1");
  ASSERT_NE(dotted, nullptr);
  uint32_t address;
  memcpy(&address, dotted->h_addr_list[0], 4);
  EXPECT_EQ(ntohl(address), 0x7F000001u);
  EXPECT_EQ(dotted->h_addr_list[1], nullptr);
}

}  // namespace
