// The connection of a net battle: its TCP and UDP sockets and addresses, the
// threads that run on it (the handshake, and one receive thread at a time:
// TCP during the menus, UDP during play) and the queue of received records
// they fill for the main thread.
//
// Every thread started on a connection is tracked: starting a receive thread
// stops and joins the one before it, and freeing the connection closes its
// sockets (which wakes every call blocked on them) and joins them all. No
// call made for the main thread waits without a time limit.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "game/net/net_wire.h"
#include "game/replay.h"
#include "platform/winsock/winsock.h"

// A thread of the connection with its stop signal and its result.
class Net_Thread {
 public:
  enum Result {
    kRunning = -1,
    kEnded = 0,   // the peer's end record, or a handshake that completed
    kFailed = 1,  // a failed receive, a closed peer, a refused handshake, a flood
    kStopped = 2, // stopped from this side
    kIdle = 3,    // never started
  };
  Net_Thread() = default;
  Net_Thread(const Net_Thread&) = delete;
  Net_Thread& operator=(const Net_Thread&) = delete;
  ~Net_Thread() { stop(); }

  template <typename Routine>
  void start(Routine routine) {
    stop();
    stop_flag_.store(false);
    result_.store(kRunning);
    thread_ = std::thread([this, routine] { result_.store(routine()); });
  }
  // Asks the thread to stop and waits for it; the routines look at the
  // signal at least every kPollMs milliseconds.
  void stop();
  bool stop_requested() const { return stop_flag_.load(); }
  int result() const { return result_.load(); }
  bool running() const { return result() == kRunning; }

 private:
  std::thread thread_;
  std::atomic<bool> stop_flag_{false};
  std::atomic<int> result_{kIdle};
};

// The longest a receive thread or the handshake blocks between looks at its
// stop signal.
inline constexpr int kPollMs = 10;
// How long the handshake and a connect may take.
inline constexpr int kHandshakeLimitMs = 10000;
// How long a peer may stay silent before the link counts as lost: ten
// seconds of frames. The battle waits that long for a record of play, the
// shared menus for any record (a menu sends a sign of life every
// kKeepAliveFrames frames in which it sends no key).
inline constexpr int kStallLimitFrames = 600;
inline constexpr int kKeepAliveFrames = 60;
// Records the queue holds at most; a peer that sends faster than the main
// thread takes them is flooding, and the link counts as failed.
inline constexpr size_t kReceivedLimit = 4096;

struct socket_set {
  socket_set() = default;
  socket_set(const socket_set&) = delete;
  socket_set& operator=(const socket_set&) = delete;
  // Closes the sockets, then joins every thread.
  ~socket_set();

  winsock::SOCKET tcp_socket = winsock::INVALID_SOCKET;   // listener (waiting side) or connection
  winsock::SOCKET data_socket = winsock::INVALID_SOCKET;  // the connection; differs from tcp_socket on the waiting side only
  winsock::SOCKET udp_socket = winsock::INVALID_SOCKET;
  sockaddr_in tcp_address{};       // the chosen port; the peer's address, or any on the waiting side
  sockaddr_in udp_bind_address{};  // where the UDP socket is bound
  sockaddr_in udp_peer_address{};  // where records are sent, and the only sender taken
  Net_Thread receive_thread;
  std::deque<replay_command> received;
  std::mutex record_lock;

  // Where this side's sockets are bound (network order): any address unless
  // set, as when two programs share one machine.
  uint32_t local_address = 0;
  Net_Thread handshake_thread;
  // The connecting side's connect has completed (start_connecting).
  std::atomic<bool> connected{false};
  // The waiting side's seed, drawn on the main thread before the handshake.
  uint32_t handshake_seed = 0;
  // How long connecting and the handshake may take, in milliseconds.
  int time_limit_ms = kHandshakeLimitMs;
  // The connection carries one start of WinSock, ended when it is freed.
  bool holds_winsock = false;
  // Datagrams the UDP receive thread and its start have dealt with (each
  // counted once it is queued or dropped), and of those the ones dropped:
  // from another sender, of another length, or stale (dropped by the start);
  // and the datagrams sent.
  std::atomic<uint64_t> datagrams_read{0};
  std::atomic<uint64_t> datagrams_dropped{0};
  std::atomic<uint64_t> datagrams_sent{0};
  // The peer's UDP end record came: its match is over.
  std::atomic<bool> peer_ended_play{false};
  // TCP records (end records among them) sent, and read by the TCP receive
  // thread, so that one can tell when the keys sent have all arrived.
  std::atomic<uint64_t> records_sent{0};
  std::atomic<uint64_t> records_read{0};

  bool waiting_side() const { return data_socket != tcp_socket; }
};

// ---- queue (every operation holds record_lock)
// False when the queue is full (the record is not taken).
bool append_record(socket_set* set, const replay_command& record);
bool has_record(socket_set* set);
bool front_record(socket_set* set, replay_command* record);
void pop_record(socket_set* set);
void clear_records(socket_set* set);
// Moves every queued record to the end of out, in order.
void take_records(socket_set* set, std::vector<replay_command>* out);
size_t queued_records(socket_set* set);

// ---- sockets
// The lobby's socket making: the TCP and UDP sockets, the port (1024 or
// above), the address (parsed on the connecting side), TCP_NODELAY, the UDP
// socket bound on the port (local_address, or any), and on the waiting side
// the TCP socket bound and listening. So a port that is taken is refused
// before this side has answered anyone. False on any failure; sockets
// already made stay in the record for the caller to close.
bool open_connection_sockets(socket_set* set, bool waiting, const char* address_text, int port);
// Closes the three sockets (each once).
void close_connection_sockets(socket_set* set);
// Frees a connection (null is fine): sockets closed, threads joined, and its
// start of WinSock ended when it carries one.
void free_connection(socket_set* set);

// Starts connecting tcp_socket to tcp_address without waiting (bound first
// to local_address when that is set). False when it failed at once.
bool begin_connect(socket_set* set);
// 1 connected (the socket blocks again), 0 still connecting, -1 failed.
int poll_connect(socket_set* set);
// After connect or accept: data_socket and the UDP addresses as the
// handshake expects them.
void connected_as_connecting_side(socket_set* set);
void accepted_as_waiting_side(socket_set* set, winsock::SOCKET data, const sockaddr_in& peer);

// ---- threads (the routines return a Net_Thread::Result)
int accept_handshake_thread(socket_set* set);
int connect_handshake_thread(socket_set* set);
int tcp_receive_thread(socket_set* set);
int udp_receive_thread(socket_set* set);
// Starts the handshake of that side over a connected socket; the waiting
// side's seed must be drawn first. It queues {seed, delay} once it
// succeeded, and ends kFailed when a word does not come in time, the peer
// closes, or the delay is too long to play at.
void start_handshake(socket_set* set);
// The connecting side's connect and handshake, on the handshake thread from
// the moment the connect begins: the thread waits for the connect (within
// time_limit_ms; `connected` turns true then) and answers the seed the
// moment it comes, so the round trip the waiting side measures is the
// link's, never the time this side's frames take to notice the connect.
// False when the connect failed at once; a later failure ends the thread
// kFailed.
bool start_connecting(socket_set* set);
// Stops the receive thread that runs and starts a TCP or UDP one. The TCP
// thread ends with the peer's end record; a record with no bits (a menu's
// sign of life) is counted in records_read and not queued. Starting the UDP
// thread first drops the datagrams that came while none was reading, here on
// the calling thread and without waiting, so that whatever the peer sends
// once it returns is the thread's to take, however late the thread first
// runs; the peer's end record only marks the end of its match (records it
// sends again after it still count), and the thread runs until it is stopped.
void start_tcp_receive(socket_set* set);
void start_udp_receive(socket_set* set);
void stop_receive(socket_set* set);

// ---- sends (false when the socket failed)
bool send_all(socket_set* set, const uint8_t* data, int length);  // on data_socket
bool send_record_tcp(socket_set* set, const replay_command& record);
bool send_end_tcp(socket_set* set);
bool send_record_udp(socket_set* set, const replay_command& record);
bool send_end_udp(socket_set* set);
// Reads what has come of a message of `length` bytes on data_socket without
// waiting: 1 once `got` holds all of it, 0 while bytes are missing, -1 when
// the connection failed or closed.
int receive_some(socket_set* set, uint8_t* buffer, int length, int* got);
// Whether the peer has closed the TCP connection (looked at without taking
// any byte); false while it is open or unknown.
bool peer_closed(socket_set* set);
