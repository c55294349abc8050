// Sockets on the loopback address for tests, made through the WinSock
// stand-in: listeners on a free port, connections, and whole transfers.
#pragma once

#include <arpa/inet.h>

#include <string>

#include "platform/win32/window.h"
#include "platform/winsock/winsock.h"

namespace loopback {

using winsock::SOCKET;

inline sockaddr_in Address(uint16_t port, const char* dotted = "127.0.0.1") {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  inet_pton(AF_INET, dotted, &a.sin_addr);
  return a;
}

inline uint16_t PortOf(SOCKET s) {
  sockaddr_in a{};
  int size = sizeof a;
  if (winsock::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) != 0) return 0;
  return ntohs(a.sin_port);
}

// A socket of the type bound to 127.0.0.1 on a free port (or `port`).
inline SOCKET Bound(int type, uint16_t port = 0) {
  SOCKET s = winsock::socket(AF_INET, type, type == SOCK_STREAM ? IPPROTO_TCP : IPPROTO_UDP);
  if (s == winsock::INVALID_SOCKET) return s;
  sockaddr_in a = Address(port);
  if (winsock::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    winsock::closesocket(s);
    return winsock::INVALID_SOCKET;
  }
  return s;
}

inline SOCKET Listener(uint16_t port = 0) {
  SOCKET s = Bound(SOCK_STREAM, port);
  if (s != winsock::INVALID_SOCKET && winsock::listen(s, 16) != 0) {
    winsock::closesocket(s);
    return winsock::INVALID_SOCKET;
  }
  return s;
}

// A blocking connection to the port; INVALID_SOCKET when it fails.
inline SOCKET Connect(uint16_t port) {
  SOCKET s = winsock::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a = Address(port);
  if (s != winsock::INVALID_SOCKET && winsock::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    winsock::closesocket(s);
    return winsock::INVALID_SOCKET;
  }
  int on = 1;
  winsock::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  return s;
}

inline bool SendAll(SOCKET s, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    int n = winsock::send(s, bytes.data() + done, (int)(bytes.size() - done), 0);
    if (n <= 0) return false;
    done += (size_t)n;
  }
  return true;
}

// Exactly `count` bytes, or what came before the peer closed or failed.
inline std::string ReceiveExactly(SOCKET s, size_t count) {
  std::string out(count, '\0');
  size_t done = 0;
  while (done < count) {
    int n = winsock::recv(s, out.data() + done, (int)(count - done), 0);
    if (n <= 0) break;
    done += (size_t)n;
  }
  out.resize(done);
  return out;
}

// A window of the class (registered here) for socket events; null when the
// window system cannot make one.
inline HWND EventWindow(const char* class_name, WNDPROC procedure) {
  WNDCLASSEXA c{};
  c.cbSize = sizeof c;
  c.lpfnWndProc = procedure;
  c.lpszClassName = class_name;
  RegisterClassExA(&c);
  return CreateWindowExA(0, class_name, "", 0, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace loopback
