// The engine's socket module: socket handles (kind 0x48000000) over TCP
// connections whose byte streams are cut into messages of a 4-byte
// little-endian length and that many bytes, a growable byte ring per
// direction, and socket events that arrive as message 0x505 at the window
// given at start (the main window by default) and are served by the engine's
// message step. Everything runs on the thread that owns that window.
//
// A caller queues outgoing bytes with ByteRingPut on a handle's send ring and
// then calls SendSocket; received messages gather in the receive ring, whose
// first `completed` bytes are whole messages, taken with ByteRingTake.
#pragma once

#include <cstdint>

#include "engine/core/util.h"
#include "platform/winsock/winsock.h"

constexpr UINT NET_SOCKET_MESSAGE = 0x0505;
constexpr int MAX_NET_HANDLES = 4096;
// A length prefix above this is refused as hostile and closes the
// connection; a sender cuts what it holds into messages of at most this.
constexpr int32_t NET_MESSAGE_LIMIT = 16 << 20;
// A receive ring never holds more than this; a peer that sends faster than
// the messages are taken is closed rather than let run memory out.
constexpr int32_t NET_RECEIVE_LIMIT = 64 << 20;

// ---- byte ring: a growable circular buffer of tracked memory
struct ByteRing {
  uint8_t* buffer;
  int32_t read;   // offset of the first held byte
  int32_t write;  // offset where the next byte goes
  int32_t held;
  int32_t capacity;
};
int ByteRingInit(ByteRing* ring);
int ByteRingRelease(ByteRing* ring);
// Makes room for n more bytes: a ring that is too small moves into a buffer
// of held + n + 1000 bytes, its bytes in order at the start. -1 (the ring
// unchanged) when that buffer cannot be had.
int ByteRingReserve(ByteRing* ring, int32_t n);
int ByteRingPut(ByteRing* ring, const void* data, int32_t n);
// -1 when fewer than n bytes are held; a peek leaves them in the ring.
int ByteRingTake(ByteRing* ring, void* destination, int32_t n, int peek);
int32_t ByteRingUsed(const ByteRing* ring);
int32_t ByteRingSpace(const ByteRing* ring);
// An offset that reached the capacity goes back to 0.
int ByteRingWrap(ByteRing* ring);

// ---- socket records
struct SocketRecord {
  int in_use;
  int error;       // the receive ring could not take a message: receive and send refuse the handle
  int connected;
  int pending;     // cleared by the peer's close (nothing in this module sets it)
  int framing;     // 1 unless the module's framing-off option was set
  int auto_close;  // 1 unless the module's auto-close-off option was set
  winsock::SOCKET socket;
  // receive side
  int32_t recv_remaining;  // bytes of the current message still to come; 0: a length is next
  ByteRing recv_ring;
  int32_t recv_length;     // length of the current message
  int64_t completed;       // bytes of the messages received whole
  // send side
  ByteRing send_ring;
  int32_t send_length;         // bytes of the current message still to send; 0: a length is next
  int32_t send_prefix_unsent;  // bytes of its length not yet sent
  uint32_t peer_address;  // network byte order, as accept gives it
  uint16_t peer_port;     // network byte order
  // Socket events that came while a receive or send was under way, served
  // once it has ended.
  int read_deferred;
  int write_deferred;
  ListNode node;  // in the module's list of live records; value: the handle
};

// ---- the module
// Starts WinSock 1.1 and takes the window that socket events go to: the
// given one, else the engine's main window (whose procedure hands message
// 0x505 to DispatchSocketEvent; a parent window's procedure must do the
// same). 0, or -1 (logged). 0 at once when running.
int StartNetworkModule(HWND parent);
// Closes every handle, drops the socket events still waiting and ends
// WinSock. 0; at once when not running.
int EndNetworkModule();
// With close_ended 1, first closes the handles whose receive ring failed;
// then serves the socket events waiting for the module's window. 0.
int PumpNetWindowMessages(int close_ended);
// One socket event: FD_ACCEPT accepts, FD_READ receives, FD_WRITE sends,
// FD_CONNECT and FD_CLOSE update the connection's flags. 1, or for FD_ACCEPT
// its result; 0 (logged) for a socket no handle holds.
int DispatchSocketEvent(HWND window, UINT message, WPARAM socket, LPARAM event);
// Opens the listening handle on the port (0: any free port) of every local
// address; connections to it are accepted as new handles. The handle, or -1.
int ListenNetWork(int port);
int AcceptNetWork();          // 1 when a connection was accepted, else -1
int RecvSocket(int handle);   // 0, or -1
int SendSocket(int handle);   // 0, or -1
// Waits up to a second each for an incoming message to complete and for the
// send ring to empty (not for a peer that has gone), then closes. 0 or -1.
int CloseSocketHandle(int handle);
SocketRecord* FindSocketRecord(int handle);  // null for a handle that is not valid
// Logs "ネットワークログ。" with the message and the calling thread's WinSock
// error. -1.
int NetErrorLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

struct NetModuleState {
  int running;
  List live;                // the handles' records, oldest first
  uint32_t local_address;   // network byte order, from the host's own name
  HWND window;              // where socket events arrive
  int listening;            // handle of the listening record, or -1
  int framing_off;
  int auto_close_off;
  int receiving;  // a receive is under way
  int sending;    // a send is under way
};
const NetModuleState& GetNetModuleState();

// ---- framing, over any byte transport (the module's is the record's socket)
struct NetTransport {
  // Bytes moved, 0 at the peer's close, -1 on failure (or nothing to move).
  int (*receive)(void* context, char* data, int length, int peek);
  int (*send)(void* context, const char* data, int length);
  void (*pump)(void* context);  // between two passes
  void* context;
};
// Receives whole and partial messages into the record's receive ring while
// bytes come. -1 with the error flag set when a length is refused.
int ReceiveFramed(SocketRecord* record, const NetTransport& transport);
// Sends the send ring's bytes as messages while the transport takes them.
int SendFramed(SocketRecord* record, const NetTransport& transport);

// ---- the engine core's record of the socket module -------------------------------------
struct EngineSubsystem;
extern const EngineSubsystem kSocketsSubsystem;
