// Shared state of the WinSock stand-in (startup.cpp, sockets.cpp,
// select.cpp, async_select.cpp): the table of sockets, the calling thread's
// error and the injected failures. The table and every SocketEntry field are
// guarded by SocketLock().
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/winsock/winsock_control.h"

namespace vox_winsock {

using winsock::SOCKET;

struct SocketEntry {
  int fd = -1;
  int type = 0;            // SOCK_STREAM or SOCK_DGRAM
  bool closing = false;    // closesocket ran: calls still in flight fail
  int in_flight = 0;       // calls (and the poll thread) using fd right now
  bool nonblocking = false;
  bool listening = false;
  bool connected = false;   // a stream that was accepted or finished connecting
  bool connecting = false;  // a non-blocking connect is under way
  // The asynchronous selection: where events go, which, and which of them
  // may be posted now (an event waits for its re-enabling call).
  HWND window = nullptr;
  UINT message = 0;
  long events = 0;
  bool read_armed = false;
  bool write_armed = false;
  bool accept_armed = false;
  bool closed_seen = false;  // the peer's close or a reset has been seen

  SocketEntry() = default;
  SocketEntry(const SocketEntry&) = delete;
  SocketEntry& operator=(const SocketEntry&) = delete;
  ~SocketEntry();  // closes the descriptor
};

using SocketTable = std::unordered_map<SOCKET, std::shared_ptr<SocketEntry>>;

std::mutex& SocketLock();
// Signalled whenever a call stops using a socket.
std::condition_variable& SocketReleased();
SocketTable& Sockets();  // lock held

// A socket held by one call: its descriptor stays open until the call is
// done, even when another thread closes the socket meanwhile.
class SocketRef {
 public:
  SocketRef() = default;
  SocketRef(SOCKET id, std::shared_ptr<SocketEntry> entry);  // lock held
  SocketRef(SocketRef&& other) noexcept;
  SocketRef& operator=(SocketRef&& other) noexcept;
  ~SocketRef();  // takes the lock
  explicit operator bool() const { return entry_ != nullptr; }
  SocketEntry* operator->() const { return entry_.get(); }
  SocketEntry& operator*() const { return *entry_; }
  SOCKET id() const { return id_; }

 private:
  void Release();
  SOCKET id_ = winsock::INVALID_SOCKET;
  std::shared_ptr<SocketEntry> entry_;
};

// Sets the calling thread's error and answers SOCKET_ERROR.
int Fail(int error);
int ErrorFromErrno(int e);
// The checks every call makes first: started, then an injected failure. On
// false the error is set.
bool EnterCall(WsCall call);
// EnterCall, then the socket; empty (error set) when it is unknown or closed.
SocketRef EnterSocket(WsCall call, SOCKET s);
int SendLimit();  // lock held

// sockets.cpp
SOCKET AddSocket(std::shared_ptr<SocketEntry> entry);  // lock held
// Removes the socket, wakes every call blocked on it and waits (briefly) for
// them to let go, so the descriptor is closed when this returns.
int CloseSocketEntry(SOCKET s);
void CloseAllSockets();

// async_select.cpp (lock held unless said otherwise)
// The call that re-enables an event ran: post it again when it happens.
void Rearm(SocketEntry& e, long event);
void StartPoller();
void WakePoller();
void StopPoller();  // lock not held; joins the poll thread

}  // namespace vox_winsock
