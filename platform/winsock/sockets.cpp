// The socket calls over POSIX sockets. Each call holds its socket while it
// runs, so closing a socket from another thread shuts it down (which wakes
// the blocked call) and closes the descriptor only once no call uses it.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/winsock/socket_table.h"

namespace vox_winsock {
namespace {

// Socket handles look like the platform's: small multiples of four, never
// handed out twice.
SOCKET g_next_handle = 0x100;

// How long closing waits for calls still using the socket to let go; they
// were woken by the shutdown, so this is only ever a short wait.
constexpr auto kFirstCloseWait = std::chrono::milliseconds(200);
constexpr auto kCloseWait = std::chrono::seconds(2);

bool SetNonblocking(int fd, bool on) {
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  return fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0;
}

// The result of a call that used the socket: a call woken because the socket
// was closed under it fails with WSAEINTR, whatever the system answered.
int Finish(const SocketRef& ref, int result, int error) {
  std::lock_guard<std::mutex> hold(SocketLock());
  if (ref->closing) return Fail(winsock::WSAEINTR);
  if (result < 0) return Fail(ErrorFromErrno(error));
  return result;
}

bool AddressLengthFits(const sockaddr* address, int length) {
  return address && length >= (int)sizeof(sockaddr_in);
}

// Wakes the calls that still use the sockets and waits until they let go.
// Only the receiving side is shut down at first, which wakes recv, recvfrom,
// accept, connect and select but sends nothing, so the close that follows
// is graceful or abortive as the socket's linger option says; a call that is
// still in (a send on a full connection) needs the sending side shut too.
void ShutDownAndWait(std::vector<std::shared_ptr<SocketEntry>>& closing) {
  std::unique_lock<std::mutex> hold(SocketLock());
  WakePoller();
  auto released = [&] {
    for (auto& e : closing)
      if (e->in_flight) return false;
    return true;
  };
  for (int how : {SHUT_RD, SHUT_RDWR}) {
    for (auto& e : closing)
      if (e->in_flight) shutdown(e->fd, how);
    auto wait = how == SHUT_RD ? kFirstCloseWait : kCloseWait;
    if (SocketReleased().wait_for(hold, wait, released)) return;
  }
}

// Takes a socket out of the table (lock held).
std::shared_ptr<SocketEntry> Detach(SocketTable::iterator it) {
  std::shared_ptr<SocketEntry> e = it->second;
  Sockets().erase(it);
  e->closing = true;
  e->events = 0;
  return e;
}

}  // namespace

SocketEntry::~SocketEntry() {
  if (fd >= 0) close(fd);
}

SocketTable& Sockets() {
  static auto* table = new SocketTable;
  return *table;
}

SocketRef::SocketRef(SOCKET id, std::shared_ptr<SocketEntry> entry) : id_(id), entry_(std::move(entry)) {
  entry_->in_flight++;
}

SocketRef::SocketRef(SocketRef&& other) noexcept : id_(other.id_), entry_(std::move(other.entry_)) {}

SocketRef& SocketRef::operator=(SocketRef&& other) noexcept {
  if (this != &other) {
    Release();
    id_ = other.id_;
    entry_ = std::move(other.entry_);
  }
  return *this;
}

SocketRef::~SocketRef() { Release(); }

void SocketRef::Release() {
  if (!entry_) return;
  {
    std::lock_guard<std::mutex> hold(SocketLock());
    entry_->in_flight--;
  }
  SocketReleased().notify_all();
  entry_.reset();
}

SOCKET AddSocket(std::shared_ptr<SocketEntry> entry) {
  SOCKET id = g_next_handle;
  g_next_handle += 4;
  Sockets().emplace(id, std::move(entry));
  return id;
}

int CloseSocketEntry(SOCKET s) {
  std::vector<std::shared_ptr<SocketEntry>> closing;
  {
    std::lock_guard<std::mutex> hold(SocketLock());
    auto found = Sockets().find(s);
    if (found == Sockets().end()) return Fail(winsock::WSAENOTSOCK);
    closing.push_back(Detach(found));
  }
  ShutDownAndWait(closing);
  return 0;
}

void CloseAllSockets() {
  std::vector<std::shared_ptr<SocketEntry>> closing;
  {
    std::lock_guard<std::mutex> hold(SocketLock());
    while (!Sockets().empty()) closing.push_back(Detach(Sockets().begin()));
  }
  ShutDownAndWait(closing);
}

}  // namespace vox_winsock

using namespace vox_winsock;

namespace winsock {

SOCKET socket(int family, int type, int protocol) {
  if (!EnterCall(WS_CALL_SOCKET)) return INVALID_SOCKET;
  int fd = ::socket(family, type | SOCK_CLOEXEC, protocol);
  if (fd < 0) {
    Fail(ErrorFromErrno(errno));
    return INVALID_SOCKET;
  }
  auto entry = std::make_shared<SocketEntry>();
  entry->fd = fd;
  entry->type = type;
  std::lock_guard<std::mutex> hold(SocketLock());
  return AddSocket(std::move(entry));
}

int closesocket(SOCKET s) {
  if (!EnterCall(WS_CALL_CLOSE)) return SOCKET_ERROR;
  return CloseSocketEntry(s);
}

int bind(SOCKET s, const sockaddr* address, int length) {
  SocketRef ref = EnterSocket(WS_CALL_BIND, s);
  if (!ref) return SOCKET_ERROR;
  if (!AddressLengthFits(address, length)) return Fail(WSAEFAULT);
  if (ref->type == SOCK_STREAM) {
    // A listener comes back on its port at once, as on the platform, where
    // connections waiting out their close do not hold the port.
    int on = 1;
    ::setsockopt(ref->fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  }
  int r = ::bind(ref->fd, address, (socklen_t)length);
  return Finish(ref, r, errno);
}

int listen(SOCKET s, int backlog) {
  SocketRef ref = EnterSocket(WS_CALL_LISTEN, s);
  if (!ref) return SOCKET_ERROR;
  int r = ::listen(ref->fd, backlog);
  int error = errno;
  if (r == 0) {
    std::lock_guard<std::mutex> hold(SocketLock());
    ref->listening = true;
  }
  return Finish(ref, r, error);
}

SOCKET accept(SOCKET s, sockaddr* address, int* length) {
  SocketRef ref = EnterSocket(WS_CALL_ACCEPT, s);
  if (!ref) return INVALID_SOCKET;
  if (address && (!length || *length < (int)sizeof(sockaddr_in))) {
    Fail(WSAEFAULT);
    return INVALID_SOCKET;
  }
  socklen_t size = length ? (socklen_t)*length : 0;
  int fd = accept4(ref->fd, address, address ? &size : nullptr, SOCK_CLOEXEC);
  int error = errno;
  std::lock_guard<std::mutex> hold(SocketLock());
  Rearm(*ref, FD_ACCEPT);
  if (ref->closing || fd < 0) {
    if (fd >= 0) close(fd);
    Fail(ref->closing ? WSAEINTR : ErrorFromErrno(error));
    return INVALID_SOCKET;
  }
  if (address && length) *length = (int)size;
  auto entry = std::make_shared<SocketEntry>();
  entry->fd = fd;
  entry->type = ref->type;
  entry->connected = true;
  // The accepted socket is made like its listener.
  if (ref->nonblocking) entry->nonblocking = SetNonblocking(fd, true);
  if (ref->events) {
    entry->window = ref->window;
    entry->message = ref->message;
    entry->events = ref->events;
    entry->read_armed = entry->write_armed = true;
  }
  SOCKET id = AddSocket(std::move(entry));
  if (ref->events) WakePoller();
  return id;
}

int connect(SOCKET s, const sockaddr* address, int length) {
  SocketRef ref = EnterSocket(WS_CALL_CONNECT, s);
  if (!ref) return SOCKET_ERROR;
  if (!AddressLengthFits(address, length)) return Fail(WSAEFAULT);
  int r = ::connect(ref->fd, address, (socklen_t)length);
  int error = errno;
  std::lock_guard<std::mutex> hold(SocketLock());
  if (ref->closing) return Fail(WSAEINTR);
  if (ref->type != SOCK_STREAM) return r == 0 ? 0 : Fail(ErrorFromErrno(error));
  if (ref->nonblocking && (r == 0 || error == EINPROGRESS)) {
    // A non-blocking connect always reports that it is under way; its end
    // arrives as FD_CONNECT or in select's lists.
    ref->connecting = true;
    if (ref->events) WakePoller();
    return Fail(WSAEWOULDBLOCK);
  }
  if (r != 0) return Fail(ErrorFromErrno(error));
  ref->connected = true;
  return 0;
}

int send(SOCKET s, const char* data, int length, int flags) {
  SocketRef ref = EnterSocket(WS_CALL_SEND, s);
  if (!ref) return SOCKET_ERROR;
  if (length < 0 || (!data && length > 0)) return Fail(WSAEFAULT);
  int limit;
  {
    std::lock_guard<std::mutex> hold(SocketLock());
    limit = SendLimit();
  }
  int want = limit ? std::min(length, limit) : length;
  ssize_t n = ::send(ref->fd, data, (size_t)want, flags | MSG_NOSIGNAL);
  int error = errno;
  {
    std::lock_guard<std::mutex> hold(SocketLock());
    // A send that could not take everything makes FD_WRITE due once there is
    // room again.
    if (n < want) Rearm(*ref, FD_WRITE);
    // The system says "broken pipe" also for a stream never connected.
    if (n < 0 && error == EPIPE && !ref->connected) error = ENOTCONN;
  }
  return Finish(ref, (int)n, error);
}

int recv(SOCKET s, char* data, int length, int flags) {
  SocketRef ref = EnterSocket(WS_CALL_RECV, s);
  if (!ref) return SOCKET_ERROR;
  if (length < 0 || (!data && length > 0)) return Fail(WSAEFAULT);
  ssize_t n = ::recv(ref->fd, data, (size_t)length, flags);
  int error = errno;
  {
    std::lock_guard<std::mutex> hold(SocketLock());
    Rearm(*ref, FD_READ);
  }
  return Finish(ref, (int)n, error);
}

int sendto(SOCKET s, const char* data, int length, int flags, const sockaddr* to, int to_length) {
  SocketRef ref = EnterSocket(WS_CALL_SENDTO, s);
  if (!ref) return SOCKET_ERROR;
  if (length < 0 || (!data && length > 0)) return Fail(WSAEFAULT);
  if (to && to_length < (int)sizeof(sockaddr_in)) return Fail(WSAEFAULT);
  ssize_t n = ::sendto(ref->fd, data, (size_t)length, flags | MSG_NOSIGNAL, to, to ? (socklen_t)to_length : 0);
  int error = errno;
  {
    std::lock_guard<std::mutex> hold(SocketLock());
    if (n < length) Rearm(*ref, FD_WRITE);
  }
  return Finish(ref, (int)n, error);
}

int recvfrom(SOCKET s, char* data, int length, int flags, sockaddr* from, int* from_length) {
  SocketRef ref = EnterSocket(WS_CALL_RECVFROM, s);
  if (!ref) return SOCKET_ERROR;
  if (length < 0 || (!data && length > 0)) return Fail(WSAEFAULT);
  if (from && (!from_length || *from_length < (int)sizeof(sockaddr_in))) return Fail(WSAEFAULT);
  socklen_t size = from ? (socklen_t)*from_length : 0;
  // MSG_TRUNC answers the datagram's whole length, so a datagram longer than
  // the buffer fails as it does on the platform.
  int trunc = ref->type == SOCK_DGRAM ? MSG_TRUNC : 0;
  ssize_t n = ::recvfrom(ref->fd, data, (size_t)length, flags | trunc, from, from ? &size : nullptr);
  int error = errno;
  {
    std::lock_guard<std::mutex> hold(SocketLock());
    Rearm(*ref, FD_READ);
  }
  if (n >= 0 && from) *from_length = (int)size;
  if (n > length) return Finish(ref, -1, EMSGSIZE);
  return Finish(ref, (int)n, error);
}

int setsockopt(SOCKET s, int level, int name, const char* value, int length) {
  SocketRef ref = EnterSocket(WS_CALL_SETSOCKOPT, s);
  if (!ref) return SOCKET_ERROR;
  if (!value || length <= 0) return Fail(WSAEFAULT);
  // Boolean options may come as a single byte.
  int widened = 0;
  if (length < (int)sizeof(int)) {
    widened = (unsigned char)value[0];
    value = reinterpret_cast<const char*>(&widened);
    length = sizeof widened;
  }
  int r = ::setsockopt(ref->fd, level, name, value, (socklen_t)length);
  return Finish(ref, r, errno);
}

int getsockopt(SOCKET s, int level, int name, char* value, int* length) {
  SocketRef ref = EnterSocket(WS_CALL_GETSOCKOPT, s);
  if (!ref) return SOCKET_ERROR;
  if (!value || !length || *length <= 0) return Fail(WSAEFAULT);
  socklen_t size = (socklen_t)*length;
  int r = ::getsockopt(ref->fd, level, name, value, &size);
  int error = errno;
  if (r == 0) {
    *length = (int)size;
    if (level == SOL_SOCKET && name == SO_ERROR && size >= sizeof(int)) {
      int e;
      memcpy(&e, value, sizeof e);
      e = e ? ErrorFromErrno(e) : 0;
      memcpy(value, &e, sizeof e);
    }
  }
  return Finish(ref, r, error);
}

int getsockname(SOCKET s, sockaddr* address, int* length) {
  SocketRef ref = EnterSocket(WS_CALL_GETSOCKNAME, s);
  if (!ref) return SOCKET_ERROR;
  if (!address || !length || *length < (int)sizeof(sockaddr_in)) return Fail(WSAEFAULT);
  socklen_t size = (socklen_t)*length;
  int r = ::getsockname(ref->fd, address, &size);
  if (r == 0) *length = (int)size;
  return Finish(ref, r, errno);
}

int ioctlsocket(SOCKET s, long command, unsigned long* argument) {
  SocketRef ref = EnterSocket(WS_CALL_IOCTL, s);
  if (!ref) return SOCKET_ERROR;
  if (!argument) return Fail(WSAEFAULT);
  if (command != (long)FIONBIO) return Fail(WSAEINVAL);
  std::lock_guard<std::mutex> hold(SocketLock());
  bool on = *argument != 0;
  if (!on && ref->events) return Fail(WSAEINVAL);
  if (!SetNonblocking(ref->fd, on)) return Fail(ErrorFromErrno(errno));
  ref->nonblocking = on;
  return 0;
}

}  // namespace winsock
