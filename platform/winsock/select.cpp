// select over the platform's lists of sockets, answered by ppoll, which
// keeps the time-out's microseconds.
#include <poll.h>

#include <cerrno>
#include <vector>

#include "platform/winsock/socket_table.h"

using namespace vox_winsock;

namespace winsock {

int select(int, fd_set* read, fd_set* write, fd_set* except, const timeval* timeout) {
  if (!EnterCall(WS_CALL_SELECT)) return SOCKET_ERROR;
  fd_set* lists[3] = {read, write, except};
  const short wanted[3] = {POLLIN, POLLOUT, POLLPRI};
  std::vector<SocketRef> refs;
  std::vector<pollfd> fds;
  std::vector<int> list_of;  // which list each pollfd stands for
  {
    std::lock_guard<std::mutex> hold(SocketLock());
    for (int l = 0; l < 3; l++) {
      if (!lists[l]) continue;
      if (lists[l]->fd_count > FD_SET_CAPACITY) return Fail(WSAEINVAL);
      for (unsigned i = 0; i < lists[l]->fd_count; i++) {
        auto found = Sockets().find(lists[l]->fd_array[i]);
        if (found == Sockets().end() || found->second->closing) return Fail(WSAENOTSOCK);
        refs.emplace_back(found->first, found->second);
        fds.push_back(pollfd{found->second->fd, wanted[l], 0});
        list_of.push_back(l);
      }
    }
  }
  if (fds.empty()) return Fail(WSAEINVAL);
  timespec wait{};
  if (timeout) {
    if (timeout->tv_sec < 0 || timeout->tv_usec < 0) return Fail(WSAEINVAL);
    wait.tv_sec = timeout->tv_sec + timeout->tv_usec / 1000000;
    wait.tv_nsec = (timeout->tv_usec % 1000000) * 1000;
  }
  int r = ppoll(fds.data(), fds.size(), timeout ? &wait : nullptr, nullptr);
  if (r < 0) return Fail(ErrorFromErrno(errno));
  for (fd_set* list : lists)
    if (list) list->fd_count = 0;
  int ready = 0;
  std::lock_guard<std::mutex> hold(SocketLock());
  for (size_t i = 0; i < fds.size(); i++) {
    short got = fds[i].revents;
    SocketEntry& e = *refs[i];
    bool failed = got & POLLERR;
    bool yes = false;
    switch (list_of[i]) {
      case 0: yes = !e.connecting && (got & (POLLIN | POLLHUP | POLLERR)); break;  // a close reads as readable
      case 1: yes = (got & POLLOUT) && !failed; break;
      case 2: yes = (got & POLLPRI) || (failed && e.connecting); break;
    }
    if (!yes) continue;
    fd_set* list = lists[list_of[i]];
    list->fd_array[list->fd_count++] = refs[i].id();
    ready++;
  }
  // A connect that ended has ended for every later call too.
  for (size_t i = 0; i < fds.size(); i++) {
    SocketEntry& e = *refs[i];
    if (list_of[i] == 0 || !e.connecting || !(fds[i].revents & (POLLOUT | POLLERR))) continue;
    e.connecting = false;
    e.connected = !(fds[i].revents & POLLERR);
  }
  return ready;
}

int WSAFDIsSet(SOCKET s, fd_set* set) {
  if (!set) return 0;
  for (unsigned i = 0; i < set->fd_count && i < FD_SET_CAPACITY; i++)
    if (set->fd_array[i] == s) return 1;
  return 0;
}

}  // namespace winsock
