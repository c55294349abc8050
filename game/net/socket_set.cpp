#include "game/net/socket_set.h"

#include <cstring>

#include "base/byte_order.h"
#include "engine/core/util.h"

using winsock::INVALID_SOCKET;
using winsock::SOCKET;
using winsock::SOCKET_ERROR;
using winsock::bind;
using winsock::closesocket;
using winsock::connect;
using winsock::ioctlsocket;
using winsock::listen;
using winsock::recv;
using winsock::recvfrom;
using winsock::send;
using winsock::sendto;
using winsock::setsockopt;

namespace {

// Datagrams longer than a record are read and dropped; one longer than this
// fails its receive (the rest is lost), which is dropped the same way.
constexpr int kDatagramBuffer = 64;
// Datagrams dropped at most when a UDP thread starts (what came while no
// thread read is stale).
constexpr int kStaleDatagramLimit = 4096;

// 1 when the socket has something to read (or was closed), 0 after the
// wait, -1 when it cannot be waited on any more.
int wait_readable(SOCKET s, int wait_us) {
  winsock::fd_set read{1, {s}};
  timeval timeout{0, wait_us};
  int r = winsock::select(0, &read, nullptr, nullptr, &timeout);
  if (r == SOCKET_ERROR) return winsock::WSAGetLastError() == winsock::WSAEINTR ? 0 : -1;
  return r > 0 ? 1 : 0;
}

sockaddr_in ipv4(uint32_t address, uint16_t port_network_order) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = port_network_order;
  a.sin_addr.s_addr = address;
  return a;
}

void close_socket(SOCKET* s) {
  if (*s != INVALID_SOCKET) closesocket(*s);
  *s = INVALID_SOCKET;
}

// Reads exactly n bytes on the thread's socket, looking at the stop signal
// between waits; false when the time since `start` (the millisecond clock)
// passes the handshake's limit, the peer closes, a receive fails or the
// thread is stopped.
bool receive_exact(socket_set* set, Net_Thread& thread, SOCKET s, uint8_t* out, int n, int start) {
  int got = 0;
  while (got < n) {
    if (thread.stop_requested() || elapsed_milliseconds(start, GetMillisecondCount()) >= (uint32_t)set->time_limit_ms)
      return false;
    int ready = wait_readable(s, kPollMs * 1000);
    if (ready < 0) return false;
    if (ready == 0) continue;
    int r = recv(s, reinterpret_cast<char*>(out + got), n - got, 0);
    if (r <= 0) return false;
    got += r;
  }
  return true;
}

bool send_exact(SOCKET s, const uint8_t* data, int n) {
  int sent = 0;
  while (sent < n) {
    int r = send(s, reinterpret_cast<const char*>(data + sent), n - sent, 0);
    if (r <= 0) return false;
    sent += r;
  }
  return true;
}

// The end of both handshakes: the pair queued; or kFailed.
int finish_handshake(socket_set* set, uint32_t seed, uint16_t delay) {
  if (!delay_is_playable(delay)) return Net_Thread::kFailed;
  if (!append_record(set, {seed, delay, 0})) return Net_Thread::kFailed;
  return Net_Thread::kEnded;
}

}  // namespace

void Net_Thread::stop() {
  stop_flag_.store(true);
  if (thread_.joinable()) thread_.join();
  // A thread stopped from here ends as stopped, whatever it was doing.
  int running = kRunning;
  result_.compare_exchange_strong(running, kStopped);
}

socket_set::~socket_set() {
  close_connection_sockets(this);
  receive_thread.stop();
  handshake_thread.stop();
}

// ---- queue -------------------------------------------------------------------------

bool append_record(socket_set* set, const replay_command& record) {
  std::lock_guard<std::mutex> hold(set->record_lock);
  if (set->received.size() >= kReceivedLimit) return false;
  set->received.push_back(record);
  return true;
}

bool has_record(socket_set* set) {
  std::lock_guard<std::mutex> hold(set->record_lock);
  return !set->received.empty();
}

bool front_record(socket_set* set, replay_command* record) {
  std::lock_guard<std::mutex> hold(set->record_lock);
  if (set->received.empty()) return false;
  *record = set->received.front();
  return true;
}

void pop_record(socket_set* set) {
  std::lock_guard<std::mutex> hold(set->record_lock);
  if (!set->received.empty()) set->received.pop_front();
}

void clear_records(socket_set* set) {
  std::lock_guard<std::mutex> hold(set->record_lock);
  set->received.clear();
}

void take_records(socket_set* set, std::vector<replay_command>* out) {
  std::lock_guard<std::mutex> hold(set->record_lock);
  out->insert(out->end(), set->received.begin(), set->received.end());
  set->received.clear();
}

size_t queued_records(socket_set* set) {
  std::lock_guard<std::mutex> hold(set->record_lock);
  return set->received.size();
}

// ---- sockets -----------------------------------------------------------------------

bool open_connection_sockets(socket_set* set, bool waiting, const char* address_text, int port) {
  set->tcp_socket = winsock::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (set->tcp_socket == INVALID_SOCKET) return false;
  set->udp_socket = winsock::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (set->udp_socket == INVALID_SOCKET) return false;
  if (port < kLowestPort || port > 65535) return false;
  uint32_t address = parse_ipv4(address_text);
  if (!waiting && address == kInvalidAddress) return false;
  set->tcp_address = ipv4(waiting ? 0 : address, htons((uint16_t)port));
  int on = 1;
  setsockopt(set->tcp_socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  // The UDP socket is bound here, before this side answers anything: a port
  // another program holds is refused in the lobby, not after the handshake
  // has told the peer that all is well.
  set->udp_bind_address = ipv4(set->local_address, set->tcp_address.sin_port);
  if (bind(set->udp_socket, reinterpret_cast<const sockaddr*>(&set->udp_bind_address),
           sizeof set->udp_bind_address) != 0)
    return false;
  if (!waiting) return true;
  const sockaddr_in local = set->udp_bind_address;
  if (bind(set->tcp_socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return false;
  return listen(set->tcp_socket, 16) == 0;
}

void close_connection_sockets(socket_set* set) {
  if (set->data_socket != set->tcp_socket) close_socket(&set->data_socket);
  set->data_socket = INVALID_SOCKET;
  close_socket(&set->tcp_socket);
  close_socket(&set->udp_socket);
}

void free_connection(socket_set* set) {
  if (!set) return;
  bool cleanup = set->holds_winsock;
  delete set;
  if (cleanup) winsock::WSACleanup();
}

bool begin_connect(socket_set* set) {
  if (set->local_address != 0) {
    sockaddr_in local = ipv4(set->local_address, 0);
    if (bind(set->tcp_socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return false;
  }
  unsigned long on = 1;
  if (ioctlsocket(set->tcp_socket, FIONBIO, &on) != 0) return false;
  if (connect(set->tcp_socket, reinterpret_cast<const sockaddr*>(&set->tcp_address), sizeof set->tcp_address) == 0)
    return true;
  return winsock::WSAGetLastError() == winsock::WSAEWOULDBLOCK;
}

int poll_connect(socket_set* set) {
  winsock::fd_set write{1, {set->tcp_socket}}, failed{1, {set->tcp_socket}};
  timeval none{0, 0};
  int r = winsock::select(0, nullptr, &write, &failed, &none);
  if (r == SOCKET_ERROR || winsock::WSAFDIsSet(set->tcp_socket, &failed)) return -1;
  if (!winsock::WSAFDIsSet(set->tcp_socket, &write)) return 0;
  int error = 0, length = sizeof error;
  if (winsock::getsockopt(set->tcp_socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 ||
      error != 0)
    return -1;
  unsigned long off = 0;
  return ioctlsocket(set->tcp_socket, FIONBIO, &off) == 0 ? 1 : -1;
}

void connected_as_connecting_side(socket_set* set) {
  set->data_socket = set->tcp_socket;
  set->udp_peer_address = set->tcp_address;
}

void accepted_as_waiting_side(socket_set* set, SOCKET data, const sockaddr_in& peer) {
  set->data_socket = data;
  set->udp_peer_address = peer;
  set->udp_peer_address.sin_port = set->tcp_address.sin_port;
  // The listener's option is not taken over by every system's accept.
  int on = 1;
  setsockopt(data, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

// ---- threads -----------------------------------------------------------------------

int accept_handshake_thread(socket_set* set) {
  Net_Thread& self = set->handshake_thread;
  const int t0 = GetMillisecondCount();
  const uint32_t seed = set->handshake_seed;
  uint8_t word[4];
  WriteBe32(word, seed);
  if (!send_exact(set->data_socket, word, 4)) return Net_Thread::kFailed;
  // The peer's address word has no further use: the UDP socket is bound to
  // this side's own address already.
  if (!receive_exact(set, self, set->data_socket, word, 4, t0)) return Net_Thread::kFailed;
  std::memcpy(word, &set->udp_peer_address.sin_addr.s_addr, 4);
  if (!send_exact(set->data_socket, word, 4)) return Net_Thread::kFailed;
  const uint16_t delay = handshake_delay(elapsed_milliseconds(t0, GetMillisecondCount()));
  uint8_t delay_bytes[2];
  WriteBe16(delay_bytes, delay);
  if (!send_exact(set->data_socket, delay_bytes, 2)) return Net_Thread::kFailed;
  return finish_handshake(set, seed, delay);
}

int connect_handshake_thread(socket_set* set) {
  Net_Thread& self = set->handshake_thread;
  const int start = GetMillisecondCount();
  uint8_t word[4], delay_bytes[2];
  if (!receive_exact(set, self, set->data_socket, word, 4, start)) return Net_Thread::kFailed;
  const uint32_t seed = ReadBe32(word);
  // A seed above the range no waiting side draws means the other program
  // is not this one.
  if (seed > (uint32_t)kSeedLimit) return Net_Thread::kFailed;
  std::memcpy(word, &set->udp_peer_address.sin_addr.s_addr, 4);
  if (!send_exact(set->data_socket, word, 4)) return Net_Thread::kFailed;
  // The waiting side's address word, of no further use.
  if (!receive_exact(set, self, set->data_socket, word, 4, start)) return Net_Thread::kFailed;
  if (!receive_exact(set, self, set->data_socket, delay_bytes, 2, start)) return Net_Thread::kFailed;
  return finish_handshake(set, seed, ReadBe16(delay_bytes));
}

int tcp_receive_thread(socket_set* set) {
  Net_Thread& self = set->receive_thread;
  Record_Stream stream;
  uint8_t bytes[kRecordBytes];
  while (!self.stop_requested()) {
    int ready = wait_readable(set->data_socket, kPollMs * 1000);
    if (ready < 0) return Net_Thread::kFailed;
    if (ready == 0) continue;
    // Never more than the record being read: what follows the end record
    // belongs to the next reader of the connection.
    int r = recv(set->data_socket, reinterpret_cast<char*>(bytes), stream.missing(), 0);
    if (r <= 0) return Net_Thread::kFailed;
    size_t used;
    replay_command record;
    Record_Stream::Piece piece = stream.feed(bytes, (size_t)r, &used, &record);
    if (piece == Record_Stream::kEnd) {
      set->records_read++;
      return Net_Thread::kEnded;
    }
    if (piece == Record_Stream::kRecord) {
      if (record.bits != 0 && !append_record(set, record)) return Net_Thread::kFailed;
      set->records_read++;
    }
  }
  return Net_Thread::kStopped;
}

namespace {

// What read_datagram found besides a datagram of that many bytes.
constexpr int kNothingToRead = -1;  // a non-blocking socket holds none
constexpr int kNotADatagram = -2;   // a port-unreachable report for an earlier send
constexpr int kOversized = -3;      // one longer than the buffer, read and lost
constexpr int kReadFailed = -4;

int read_datagram(socket_set* set, uint8_t (&bytes)[kDatagramBuffer], sockaddr_in* from) {
  int from_length = sizeof *from;
  int r = recvfrom(set->udp_socket, reinterpret_cast<char*>(bytes), sizeof bytes, 0, reinterpret_cast<sockaddr*>(from),
                   &from_length);
  if (r != SOCKET_ERROR) return r;
  switch (winsock::WSAGetLastError()) {
    case winsock::WSAEWOULDBLOCK: return kNothingToRead;
    case winsock::WSAECONNRESET:
    case winsock::WSAECONNREFUSED: return kNotADatagram;
    case winsock::WSAEMSGSIZE: return kOversized;
    default: return kReadFailed;
  }
}

// Drops the datagrams that came while no thread read, on the calling
// thread, before a UDP thread starts: so the thread drops none as stale,
// however late it first runs, and nothing sent after this returns is taken
// for stale. The socket is read without waiting (non-blocking meanwhile),
// and at most kStaleDatagramLimit datagrams: a flood may go on for ever,
// and the thread filters it.
void drop_stale_datagrams(socket_set* set) {
  unsigned long on = 1, off = 0;
  if (ioctlsocket(set->udp_socket, FIONBIO, &on) != 0) return;
  uint8_t bytes[kDatagramBuffer];
  for (int n = 0; n < kStaleDatagramLimit; n++) {
    sockaddr_in from{};
    const int r = read_datagram(set, bytes, &from);
    if (r == kNothingToRead || r == kReadFailed) break;
    if (r == kNotADatagram) continue;
    set->datagrams_dropped++;
    set->datagrams_read++;
  }
  ioctlsocket(set->udp_socket, FIONBIO, &off);
}

}  // namespace

int udp_receive_thread(socket_set* set) {
  Net_Thread& self = set->receive_thread;
  uint8_t bytes[kDatagramBuffer];
  while (!self.stop_requested()) {
    int ready = wait_readable(set->udp_socket, kPollMs * 1000);
    if (ready < 0) return Net_Thread::kFailed;
    if (ready == 0) continue;
    sockaddr_in from{};
    const int r = read_datagram(set, bytes, &from);
    if (r == kReadFailed) return Net_Thread::kFailed;
    // A port-unreachable report for an earlier send ends nothing; an
    // oversized datagram is dropped as any other that is not a record.
    if (r == kNothingToRead || r == kNotADatagram) continue;
    if (r == kOversized || !datagram_from_peer(from, set->udp_peer_address) || !datagram_is_record(r))
      set->datagrams_dropped++;
    else if (is_end_record(bytes))
      set->peer_ended_play.store(true);
    else if (!append_record(set, decode_record(bytes)))
      return Net_Thread::kFailed;
    set->datagrams_read++;
  }
  return Net_Thread::kStopped;
}

namespace {

// Waits on the handshake thread until the connect begun has completed: true
// once connected; false when it failed, took longer than the time limit, or
// the thread was stopped.
bool await_connect(socket_set* set) {
  Net_Thread& self = set->handshake_thread;
  const int start = GetMillisecondCount();
  for (;;) {
    const int connected = poll_connect(set);
    if (connected != 0) return connected == 1;
    if (self.stop_requested() || elapsed_milliseconds(start, GetMillisecondCount()) >= (uint32_t)set->time_limit_ms)
      return false;
    winsock::fd_set write{1, {set->tcp_socket}}, failed{1, {set->tcp_socket}};
    timeval wait{0, kPollMs * 1000};
    winsock::select(0, nullptr, &write, &failed, &wait);
  }
}

}  // namespace

bool start_connecting(socket_set* set) {
  if (!begin_connect(set)) return false;
  connected_as_connecting_side(set);
  set->handshake_thread.start([set] {
    if (!await_connect(set)) return (int)Net_Thread::kFailed;
    set->connected.store(true);
    return connect_handshake_thread(set);
  });
  return true;
}

void start_handshake(socket_set* set) {
  if (set->waiting_side())
    set->handshake_thread.start([set] { return accept_handshake_thread(set); });
  else
    set->handshake_thread.start([set] { return connect_handshake_thread(set); });
}

void start_tcp_receive(socket_set* set) {
  set->receive_thread.start([set] { return tcp_receive_thread(set); });
}

void start_udp_receive(socket_set* set) {
  stop_receive(set);
  set->peer_ended_play.store(false);
  drop_stale_datagrams(set);
  set->receive_thread.start([set] { return udp_receive_thread(set); });
}

void stop_receive(socket_set* set) { set->receive_thread.stop(); }

// ---- sends -------------------------------------------------------------------------

bool send_all(socket_set* set, const uint8_t* data, int length) { return send_exact(set->data_socket, data, length); }

bool send_record_tcp(socket_set* set, const replay_command& record) {
  uint8_t bytes[kRecordBytes];
  encode_record(record, bytes);
  set->records_sent++;
  return send_all(set, bytes, kRecordBytes);
}

bool send_end_tcp(socket_set* set) {
  uint8_t bytes[kRecordBytes];
  encode_end_record(bytes);
  set->records_sent++;
  return send_all(set, bytes, kRecordBytes);
}

namespace {

bool send_datagram(socket_set* set, const uint8_t bytes[kRecordBytes]) {
  set->datagrams_sent++;
  return sendto(set->udp_socket, reinterpret_cast<const char*>(bytes), kRecordBytes, 0,
                reinterpret_cast<const sockaddr*>(&set->udp_peer_address),
                sizeof set->udp_peer_address) == kRecordBytes;
}

}  // namespace

bool send_record_udp(socket_set* set, const replay_command& record) {
  uint8_t bytes[kRecordBytes];
  encode_record(record, bytes);
  return send_datagram(set, bytes);
}

bool send_end_udp(socket_set* set) {
  uint8_t bytes[kRecordBytes];
  encode_end_record(bytes);
  return send_datagram(set, bytes);
}

int receive_some(socket_set* set, uint8_t* buffer, int length, int* got) {
  while (*got < length) {
    int ready = wait_readable(set->data_socket, 0);
    if (ready < 0) return -1;
    if (ready == 0) return 0;
    int r = recv(set->data_socket, reinterpret_cast<char*>(buffer + *got), length - *got, 0);
    if (r <= 0) return -1;
    *got += r;
  }
  return 1;
}

bool peer_closed(socket_set* set) {
  if (wait_readable(set->data_socket, 0) != 1) return false;
  char byte;
  return recv(set->data_socket, &byte, 1, MSG_PEEK) <= 0;
}
