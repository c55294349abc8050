// WinSock as the game's net battle and the engine's socket module call it,
// standing on POSIX sockets and poll. The blocking calls keep the behaviour
// the callers rely on: closing a socket wakes every call blocked on it, which
// then fails with WSAEINTR; stream sockets reuse their address when they
// bind; errors are read with WSAGetLastError. WSAAsyncSelect posts socket
// events to a window as messages, from a poll thread of the stand-in.
//
// The names live in namespace winsock because the socket calls share their
// names with the POSIX ones. The socket address, host entry and time-out
// records are the system's own (their fields are those a WinSock caller
// uses), and so are the constants both interfaces name alike (AF_INET,
// SOCK_STREAM, IPPROTO_TCP, SOL_SOCKET, SO_REUSEADDR, TCP_NODELAY, MSG_PEEK,
// FIONBIO, INADDR_ANY) and the byte-order calls htons, htonl, ntohs, ntohl.
#pragma once

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cstdint>

#include "platform/win32/window.h"

namespace winsock {

// A socket handle. Handles are never reused while the program runs, so a
// late event or call for a closed socket can never reach a newer one.
typedef uintptr_t SOCKET;
constexpr SOCKET INVALID_SOCKET = ~(SOCKET)0;
constexpr int SOCKET_ERROR = -1;

// WSAStartup's version word: major version in the low byte.
constexpr WORD MakeVersion(int major, int minor) { return (WORD)((major & 0xFF) | ((minor & 0xFF) << 8)); }

struct WSADATA {
  WORD wVersion;      // the version the caller is to use
  WORD wHighVersion;  // the highest version the stand-in offers
  char szDescription[257];
  char szSystemStatus[129];
};

// ---- error codes (WSAGetLastError, WSAStartup's result, the high word of an event)
constexpr int WSAEINTR = 10004;  // the socket was closed while the call waited
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;  // an address or buffer length too small
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;  // a datagram longer than the buffer; the rest is lost
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

// ---- start and end
// 0, or an error code (WSAVERNOTSUPPORTED below version 1.0). The answer's
// wVersion is the lower of the version asked for and the highest offered
// (2.2). Calls, starts and ends are counted; the last WSACleanup closes every
// socket still open.
int WSAStartup(WORD version, WSADATA* data);
int WSACleanup();  // 0, or SOCKET_ERROR with WSANOTINITIALISED
int WSAGetLastError();  // of the calling thread
void WSASetLastError(int error);

// ---- sockets (every call fails with WSANOTINITIALISED before WSAStartup)
SOCKET socket(int family, int type, int protocol);
// Shuts the connection down and closes; a call blocked on the socket in
// another thread (recv, recvfrom, accept, connect, select) returns at once,
// failing with WSAEINTR. Its asynchronous selection ends with it.
int closesocket(SOCKET s);
// Stream sockets reuse their address: a listener binds a port whose earlier
// connections still wait out their close.
int bind(SOCKET s, const sockaddr* address, int length);
int listen(SOCKET s, int backlog);
// The new socket takes over the listener's non-blocking mode and
// asynchronous selection.
SOCKET accept(SOCKET s, sockaddr* address, int* length);
// Blocking, or on a non-blocking socket WSAEWOULDBLOCK while the connection
// is made (FD_CONNECT or select's write set reports the outcome).
int connect(SOCKET s, const sockaddr* address, int length);
int send(SOCKET s, const char* data, int length, int flags);  // never raises SIGPIPE
int recv(SOCKET s, char* data, int length, int flags);  // 0 when the peer closed
int sendto(SOCKET s, const char* data, int length, int flags, const sockaddr* to, int to_length);
int recvfrom(SOCKET s, char* data, int length, int flags, sockaddr* from, int* from_length);
// SO_ERROR answers a WinSock error code.
int setsockopt(SOCKET s, int level, int name, const char* value, int length);
int getsockopt(SOCKET s, int level, int name, char* value, int* length);
int getsockname(SOCKET s, sockaddr* address, int* length);
// FIONBIO only: non-zero makes the socket non-blocking; a socket with an
// asynchronous selection cannot go back to blocking.
int ioctlsocket(SOCKET s, long command, unsigned long* argument);

// ---- select over lists of at most 64 sockets
constexpr unsigned FD_SET_CAPACITY = 64;
struct fd_set {
  unsigned fd_count;
  SOCKET fd_array[FD_SET_CAPACITY];
};
// Leaves in each list the sockets that are ready and answers their number
// (0 at the time-out), or SOCKET_ERROR. `count` is ignored; a null time-out
// waits for ever. Readable: data, a connection to accept, or the peer's
// close; writable: a finished connect or room to send; except: a failed
// connect.
int select(int count, fd_set* read, fd_set* write, fd_set* except, const timeval* timeout);
int WSAFDIsSet(SOCKET s, fd_set* set);  // non-zero when the list holds the socket

// ---- names
int gethostname(char* name, int length);
// IPv4 addresses of a host name or dotted address. The record belongs to the
// calling thread and lasts until its next call; null on failure.
hostent* gethostbyname(const char* name);

// ---- asynchronous selection
constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_ACCEPT = 0x08;
constexpr long FD_CONNECT = 0x10;
constexpr long FD_CLOSE = 0x20;
// Makes the socket non-blocking and posts `message` to `window` for each
// event asked for: wParam the socket, lParam the event in the low word and an
// error code in the high word. Each event is posted once and again only
// after the call that re-enables it: FD_READ after recv or recvfrom,
// FD_ACCEPT after accept, FD_WRITE after a send that could not take all its
// bytes; FD_CONNECT once when a connect ends, FD_CLOSE once when the peer
// closed and every byte before its close was read. Events 0 ends the
// selection.
int WSAAsyncSelect(SOCKET s, HWND window, UINT message, long events);

}  // namespace winsock
