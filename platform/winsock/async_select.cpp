// WSAAsyncSelect: one poll thread watches every selected socket and posts its
// events to the socket's window through the window system's PostMessageA.
// An event is watched only while it may be posted: once posted it waits for
// its re-enabling call (recv re-enables FD_READ, accept FD_ACCEPT, a short
// send FD_WRITE), so the thread never spins on a socket nobody reads.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <vector>

#include "platform/winsock/socket_table.h"

namespace vox_winsock {
namespace {

struct Poller {
  std::thread thread;
  int wake_fd = -1;
  bool running = false;
  bool stop = false;
};

Poller& ThePoller() {
  static auto* poller = new Poller;
  return *poller;
}

void Post(SOCKET id, const SocketEntry& e, long event, int error) {
  if (e.events & event) PostMessageA(e.window, e.message, (WPARAM)id, MAKELPARAM(event, error));
}

// What to watch on a selected socket now (lock held).
short Watched(const SocketEntry& e) {
  using namespace winsock;
  if (!e.events || e.closing) return 0;
  if (e.listening) return (e.events & FD_ACCEPT) && e.accept_armed ? POLLIN : 0;
  bool stream = e.type == SOCK_STREAM;
  if (stream && e.connecting) return POLLOUT;  // its end is posted even when FD_CONNECT was not asked for
  if (stream && !e.connected) return 0;
  short watch = 0;
  if (!e.closed_seen) {
    if ((e.events & FD_READ) && e.read_armed) watch |= POLLIN;
    else if (stream && (e.events & FD_CLOSE) && !(e.events & FD_READ)) watch |= POLLRDHUP;
  }
  if ((e.events & FD_WRITE) && e.write_armed) watch |= POLLOUT;
  return watch;
}

// Turns what poll saw into events (lock held). Each branch clears what it
// watched, so the next round does not see the same thing again.
void Handle(SOCKET id, SocketEntry& e, short got) {
  using namespace winsock;
  if (!e.events || e.closing) return;
  if (e.listening) {
    if (got & POLLIN) {
      e.accept_armed = false;
      Post(id, e, FD_ACCEPT, 0);
    }
    return;
  }
  if (e.type == SOCK_STREAM && e.connecting) {
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(e.fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
    e.connecting = false;
    e.connected = error == 0;
    e.write_armed = e.connected;
    Post(id, e, FD_CONNECT, error ? ErrorFromErrno(error) : 0);
    return;
  }
  if ((got & POLLOUT) && e.write_armed) {
    e.write_armed = false;
    Post(id, e, FD_WRITE, 0);
  }
  if (!(got & (POLLIN | POLLRDHUP | POLLHUP | POLLERR)) || e.closed_seen) return;
  bool reading = (e.events & FD_READ) && e.read_armed;
  if (!reading && !(got & POLLRDHUP) && e.type == SOCK_STREAM && (e.events & FD_READ)) return;
  char byte;
  ssize_t n = ::recv(e.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
  if (e.type != SOCK_STREAM) {
    // A datagram, even an empty one; an error report was consumed by the peek.
    if (n >= 0 && reading) {
      e.read_armed = false;
      Post(id, e, FD_READ, 0);
    }
    return;
  }
  if (n > 0 && reading) {
    e.read_armed = false;
    Post(id, e, FD_READ, 0);
    return;
  }
  // The peer closed or reset the connection and nothing is left to read (or
  // reading was not asked for).
  int error = n < 0 ? ErrorFromErrno(errno) : 0;
  e.closed_seen = true;
  e.read_armed = false;
  Post(id, e, FD_CLOSE, error);
}

void PollLoop() {
  Poller& p = ThePoller();
  std::vector<SocketRef> refs;
  std::vector<pollfd> fds;
  for (;;) {
    {
      std::lock_guard<std::mutex> hold(SocketLock());
      if (p.stop) break;
      fds.clear();
      for (auto& [id, entry] : Sockets()) {
        short watch = Watched(*entry);
        if (!watch) continue;
        refs.emplace_back(id, entry);
        fds.push_back(pollfd{entry->fd, watch, 0});
      }
      fds.push_back(pollfd{p.wake_fd, POLLIN, 0});
    }
    if (poll(fds.data(), fds.size(), -1) > 0) {
      if (fds.back().revents & POLLIN) {
        uint64_t count;
        if (read(p.wake_fd, &count, sizeof count) < 0) {
          // Nothing to drain: another wake-up took it.
        }
      }
      std::lock_guard<std::mutex> hold(SocketLock());
      for (size_t i = 0; i + 1 < fds.size(); i++)
        if (fds[i].revents) Handle(refs[i].id(), *refs[i], fds[i].revents);
    }
    refs.clear();  // lets closing sockets go
  }
}

}  // namespace

void Rearm(SocketEntry& e, long event) {
  using namespace winsock;
  if (event == FD_READ) e.read_armed = true;
  else if (event == FD_WRITE) e.write_armed = true;
  else if (event == FD_ACCEPT) e.accept_armed = true;
  if (e.events & event) WakePoller();
}

void StartPoller() {
  Poller& p = ThePoller();
  if (p.running) return;
  p.wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  p.stop = false;
  p.running = true;
  p.thread = std::thread(PollLoop);
}

void WakePoller() {
  Poller& p = ThePoller();
  uint64_t one = 1;
  if (p.wake_fd >= 0 && write(p.wake_fd, &one, sizeof one) < 0) {
    // The counter is full: the thread is woken already.
  }
}

void StopPoller() {
  Poller& p = ThePoller();
  {
    std::lock_guard<std::mutex> hold(SocketLock());
    if (!p.running) return;
    p.stop = true;
    WakePoller();
  }
  p.thread.join();
  std::lock_guard<std::mutex> hold(SocketLock());
  close(p.wake_fd);
  p.wake_fd = -1;
  p.running = false;
}

}  // namespace vox_winsock

using namespace vox_winsock;

namespace winsock {

int WSAAsyncSelect(SOCKET s, HWND window, UINT message, long events) {
  SocketRef ref = EnterSocket(WS_CALL_ASYNC_SELECT, s);
  if (!ref) return SOCKET_ERROR;
  if (events && !IsWindow(window)) return Fail(WSAEINVAL);
  std::lock_guard<std::mutex> hold(SocketLock());
  int flags = fcntl(ref->fd, F_GETFL);
  if (flags < 0 || fcntl(ref->fd, F_SETFL, flags | O_NONBLOCK) != 0) return Fail(ErrorFromErrno(errno));
  ref->nonblocking = true;
  ref->window = window;
  ref->message = message;
  ref->events = events;
  ref->read_armed = ref->write_armed = ref->accept_armed = true;
  ref->closed_seen = false;
  if (events) StartPoller();
  WakePoller();
  return 0;
}

}  // namespace winsock
