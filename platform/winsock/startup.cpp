// Start and end of the stand-in, the calling thread's error, injected
// failures and name lookup.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/winsock/socket_table.h"

namespace vox_winsock {
namespace {

int g_start_count = 0;
WORD g_highest_version = winsock::MakeVersion(2, 2);
int g_send_limit = 0;
thread_local int t_last_error = 0;

struct InjectedFailure {
  bool active = false;
  int error = 0;
  int after = 0;  // successful calls still to go
};
InjectedFailure g_failures[WS_CALL_KIND_COUNT];

// Versions compare by major, then minor (the low byte is the major).
int VersionOrder(WORD v) { return (v & 0xFF) << 8 | v >> 8; }

// Consumes one call of the kind; true when it is to fail.
bool TakeInjected(WsCall call, int* error) {
  InjectedFailure& f = g_failures[call];
  if (!f.active) return false;
  if (f.after > 0) {
    f.after--;
    return false;
  }
  *error = f.error;
  return true;
}

}  // namespace

std::mutex& SocketLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

std::condition_variable& SocketReleased() {
  static auto* released = new std::condition_variable;
  return *released;
}

int Fail(int error) {
  t_last_error = error;
  return winsock::SOCKET_ERROR;
}

int ErrorFromErrno(int e) {
  switch (e) {
    case EINTR: return winsock::WSAEINTR;
    case EACCES:
    case EPERM: return winsock::WSAEACCES;
    case EFAULT: return winsock::WSAEFAULT;
    case EINVAL: return winsock::WSAEINVAL;
    case EMFILE:
    case ENFILE: return winsock::WSAEMFILE;
    case EAGAIN:
    case EINPROGRESS: return winsock::WSAEWOULDBLOCK;
    case EALREADY: return winsock::WSAEALREADY;
    case EBADF:
    case ENOTSOCK: return winsock::WSAENOTSOCK;
    case EDESTADDRREQ: return winsock::WSAEDESTADDRREQ;
    case EMSGSIZE: return winsock::WSAEMSGSIZE;
    case ENOPROTOOPT: return winsock::WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return winsock::WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
    case EPROTOTYPE: return winsock::WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return winsock::WSAEOPNOTSUPP;
    case EAFNOSUPPORT: return winsock::WSAEAFNOSUPPORT;
    case EADDRINUSE: return winsock::WSAEADDRINUSE;
    case EADDRNOTAVAIL: return winsock::WSAEADDRNOTAVAIL;
    case ENETDOWN: return winsock::WSAENETDOWN;
    case ENETUNREACH: return winsock::WSAENETUNREACH;
    case ENETRESET: return winsock::WSAENETRESET;
    case ECONNABORTED: return winsock::WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE: return winsock::WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM: return winsock::WSAENOBUFS;
    case EISCONN: return winsock::WSAEISCONN;
    case ENOTCONN: return winsock::WSAENOTCONN;
    case ESHUTDOWN: return winsock::WSAESHUTDOWN;
    case ETIMEDOUT: return winsock::WSAETIMEDOUT;
    case ECONNREFUSED: return winsock::WSAECONNREFUSED;
    case EHOSTUNREACH:
    case EHOSTDOWN: return winsock::WSAEHOSTUNREACH;
  }
  return winsock::WSAEINVAL;
}

bool EnterCall(WsCall call) {
  std::lock_guard<std::mutex> hold(SocketLock());
  if (g_start_count == 0) {
    Fail(winsock::WSANOTINITIALISED);
    return false;
  }
  int error;
  if (TakeInjected(call, &error)) {
    Fail(error);
    return false;
  }
  return true;
}

SocketRef EnterSocket(WsCall call, SOCKET s) {
  std::lock_guard<std::mutex> hold(SocketLock());
  if (g_start_count == 0) {
    Fail(winsock::WSANOTINITIALISED);
    return SocketRef();
  }
  auto found = Sockets().find(s);
  if (found == Sockets().end() || found->second->closing) {
    Fail(winsock::WSAENOTSOCK);
    return SocketRef();
  }
  int error;
  if (TakeInjected(call, &error)) {
    // A failed call still re-enables its event, as the call itself would.
    long event = call == WS_CALL_ACCEPT                                ? winsock::FD_ACCEPT
                 : call == WS_CALL_RECV || call == WS_CALL_RECVFROM    ? winsock::FD_READ
                 : call == WS_CALL_SEND || call == WS_CALL_SENDTO      ? winsock::FD_WRITE
                                                                       : 0;
    if (event) Rearm(*found->second, event);
    Fail(error);
    return SocketRef();
  }
  return SocketRef(s, found->second);
}

int SendLimit() { return g_send_limit; }

}  // namespace vox_winsock

using namespace vox_winsock;

namespace winsock {

int WSAStartup(WORD version, WSADATA* data) {
  std::lock_guard<std::mutex> hold(SocketLock());
  int error;
  if (TakeInjected(WS_CALL_STARTUP, &error)) return error;
  if (!data) return WSAEFAULT;
  if ((version & 0xFF) < 1) return WSAVERNOTSUPPORTED;
  memset(data, 0, sizeof *data);
  data->wHighVersion = g_highest_version;
  data->wVersion = VersionOrder(version) < VersionOrder(g_highest_version) ? version : g_highest_version;
  strcpy(data->szDescription, "WinSock over POSIX sockets");
  strcpy(data->szSystemStatus, "Running");
  g_start_count++;
  return 0;
}

int WSACleanup() {
  {
    std::lock_guard<std::mutex> hold(SocketLock());
    if (g_start_count == 0) return Fail(WSANOTINITIALISED);
    if (--g_start_count > 0) return 0;
  }
  CloseAllSockets();
  StopPoller();
  return 0;
}

int WSAGetLastError() { return t_last_error; }
void WSASetLastError(int error) { t_last_error = error; }

int gethostname(char* name, int length) {
  if (!EnterCall(WS_CALL_GETHOSTNAME)) return SOCKET_ERROR;
  if (!name || length <= 0) return Fail(WSAEFAULT);
  char own[256];
  if (::gethostname(own, sizeof own) != 0) return Fail(ErrorFromErrno(errno));
  own[sizeof own - 1] = '\0';
  if (strlen(own) >= (size_t)length) return Fail(WSAEFAULT);
  strcpy(name, own);
  return 0;
}

hostent* gethostbyname(const char* name) {
  if (!EnterCall(WS_CALL_GETHOSTBYNAME)) return nullptr;
  if (!name) {
    Fail(WSAEFAULT);
    return nullptr;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int r = getaddrinfo(name, nullptr, &hints, &found);
  if (r != 0) {
    Fail(r == EAI_AGAIN ? WSATRY_AGAIN : r == EAI_FAIL ? WSANO_RECOVERY : r == EAI_NONAME ? WSAHOST_NOT_FOUND
                                                                                           : WSANO_DATA);
    return nullptr;
  }
  struct Answer {
    hostent entry;
    std::string name;
    std::vector<in_addr> addresses;
    std::vector<char*> list;
    char* no_aliases[1] = {nullptr};
  };
  thread_local Answer answer;
  answer.name = found->ai_canonname ? found->ai_canonname : name;
  answer.addresses.clear();
  for (addrinfo* a = found; a; a = a->ai_next) {
    in_addr address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr;
    bool seen = false;
    for (const in_addr& b : answer.addresses) seen |= b.s_addr == address.s_addr;
    if (!seen) answer.addresses.push_back(address);
  }
  freeaddrinfo(found);
  answer.list.clear();
  for (in_addr& a : answer.addresses) answer.list.push_back(reinterpret_cast<char*>(&a));
  answer.list.push_back(nullptr);
  answer.entry.h_name = answer.name.data();
  answer.entry.h_aliases = answer.no_aliases;
  answer.entry.h_addrtype = AF_INET;
  answer.entry.h_length = 4;
  answer.entry.h_addr_list = answer.list.data();
  return &answer.entry;
}

}  // namespace winsock

void WsFailCall(WsCall call, int error, int after) {
  std::lock_guard<std::mutex> hold(SocketLock());
  g_failures[call] = InjectedFailure{true, error, after};
}

void WsClearFailures() {
  std::lock_guard<std::mutex> hold(SocketLock());
  for (InjectedFailure& f : g_failures) f = InjectedFailure{};
}

void WsSetSendLimit(int bytes) {
  std::lock_guard<std::mutex> hold(SocketLock());
  g_send_limit = bytes > 0 ? bytes : 0;
}

void WsSetHighestVersion(WORD version) {
  std::lock_guard<std::mutex> hold(SocketLock());
  g_highest_version = version;
}

int WsOpenSocketCount() {
  std::lock_guard<std::mutex> hold(SocketLock());
  return (int)Sockets().size();
}

int WsCallsInFlight(winsock::SOCKET s) {
  std::lock_guard<std::mutex> hold(SocketLock());
  auto found = Sockets().find(s);
  return found == Sockets().end() ? -1 : found->second->in_flight;
}
