// The socket module: start and end, the handle table and list of live
// records, the socket events, accepting, receiving, sending and closing.
// Receive, send, accept and close let socket events through while they run;
// an event for a receive or send that cannot run then (one is already under
// way) is kept on its record and served once that one has ended.
#include <cstdarg>
#include <cstring>
#include <vector>

#include "engine/core/handle.h"
#include "engine/core/log.h"
#include "engine/core/window.h"
#include "engine/net/net.h"

namespace {

using winsock::SOCKET;

NetModuleState g_net{};

HandleTable<SocketRecord>& Records() {
  static auto* table = new HandleTable<SocketRecord>(HANDLE_NETWORK, MAX_NET_HANDLES);
  return *table;
}

constexpr int kCloseDrainMs = 1000;

// ---- the record's socket as the framing's transport
int SocketReceive(void* context, char* data, int length, int peek) {
  int n = winsock::recv(*static_cast<SOCKET*>(context), data, length, peek ? MSG_PEEK : 0);
  return n == winsock::SOCKET_ERROR ? -1 : n;
}
int SocketSend(void* context, const char* data, int length) {
  int n = winsock::send(*static_cast<SOCKET*>(context), data, length, 0);
  return n == winsock::SOCKET_ERROR ? -1 : n;
}
void PumpBetweenPasses(void*) { PumpNetWindowMessages(0); }

NetTransport SocketTransport(SocketRecord* r) {
  return NetTransport{SocketReceive, SocketSend, PumpBetweenPasses, &r->socket};
}

template <class Fn>  // fn(handle, record) over the live records
void ForEachLive(Fn&& fn) {
  for (ListNode* n = g_net.live.head.next; n != &g_net.live.tail; n = n->next)
    fn(n->value, static_cast<SocketRecord*>(n->data));
}

// A new record in a free slot, linked into the live list; null when there is
// no slot or no memory (Records().last_failure() says which).
SocketRecord* NewRecord(int* handle) {
  SocketRecord* r = nullptr;
  int h = Records().Allocate(&r);
  if (h < 0) return nullptr;
  r->in_use = 1;
  r->framing = !g_net.framing_off;
  r->auto_close = !g_net.auto_close_off;
  r->socket = winsock::INVALID_SOCKET;
  ByteRingInit(&r->recv_ring);
  ByteRingInit(&r->send_ring);
  AppendListNode(&g_net.live, &r->node, h, r);
  *handle = h;
  return r;
}

void FreeRecord(int handle, SocketRecord* r) {
  if (r->socket != winsock::INVALID_SOCKET) {
    winsock::WSAAsyncSelect(r->socket, g_net.window, 0, 0);
    winsock::closesocket(r->socket);
  }
  ByteRingRelease(&r->recv_ring);
  ByteRingRelease(&r->send_ring);
  RemoveListNode(&r->node);
  if (handle == g_net.listening) g_net.listening = -1;
  Records().Release(handle);
}

// Serves, once each, the events kept while another receive or send ran.
void ServeDeferred() {
  std::vector<int> reads, writes;
  ForEachLive([&](int h, SocketRecord* r) {
    if (r->read_deferred && !g_net.receiving) {
      r->read_deferred = 0;
      reads.push_back(h);
    }
    if (r->write_deferred && !g_net.sending) {
      r->write_deferred = 0;
      writes.push_back(h);
    }
  });
  for (int h : reads) RecvSocket(h);
  for (int h : writes) SendSocket(h);
}

bool DrainTimeLeft(int start) { return ((GetMillisecondCount() - start) & 0x7FFFFFFF) < kCloseDrainMs; }

}  // namespace

const NetModuleState& GetNetModuleState() { return g_net; }

int NetErrorLog(const char* format, ...) {
  int error = winsock::WSAGetLastError();
  char message[1024];
  va_list args;
  va_start(args, format);
  FormatStringV(message, sizeof message, format, args);
  va_end(args);
  return WriteLogFormat("ネットワークログ。%s[%d]", message, error);
}

SocketRecord* FindSocketRecord(int handle) { return g_net.running ? Records().Lookup(handle) : nullptr; }

int StartNetworkModule(HWND parent) {
  if (g_net.running) return 0;
  WriteLogText("ネットワーク関連を初期化します\n");
  IndentLog();
  winsock::WSADATA data;
  if (winsock::WSAStartup(winsock::MakeVersion(1, 1), &data) != 0) {
    WriteLogText("WinSock.DLLが導入されていません\n");
    UnindentLog();
    return -1;
  }
  if (data.wVersion != winsock::MakeVersion(1, 1)) {
    winsock::WSACleanup();
    WriteLogText("Winsock.DLLのバージョンが違います\n");
    UnindentLog();
    return -1;
  }
  HWND window = parent ? parent : GetMainWindow();
  if (!IsWindow(window)) {
    winsock::WSACleanup();
    WriteLogText("ネットワーク処理用の子ウインドウの作成に失敗しました\n");
    UnindentLog();
    return -1;
  }
  g_net = NetModuleState{};
  char name[256];
  if (winsock::gethostname(name, sizeof name) == 0) {
    hostent* host = winsock::gethostbyname(name);
    if (host && host->h_addr_list[0]) memcpy(&g_net.local_address, host->h_addr_list[0], 4);
  }
  Records().ReleaseAll();
  InitList(&g_net.live);
  g_net.window = window;
  g_net.listening = -1;
  g_net.running = 1;
  UnindentLog();
  WriteLogText("初期化を完了しました \n");
  return 0;
}

int EndNetworkModule() {
  if (!g_net.running) return 0;
  WriteLogText("ネットワーク関連の終了処理を行います \n");
  std::vector<int> handles;
  Records().ForEach([&](int h, SocketRecord&) { handles.push_back(h); });
  for (int h : handles) CloseSocketHandle(h);
  // Events of the closed sockets that still wait in the window's queue go
  // with the module.
  MSG m;
  while (PeekMessageA(&m, g_net.window, NET_SOCKET_MESSAGE, NET_SOCKET_MESSAGE, PM_REMOVE)) {
  }
  g_net = NetModuleState{};
  winsock::WSACleanup();
  WriteLogText("ネットワーク関連の終了処理は完了しました\n");
  return 0;
}

int PumpNetWindowMessages(int close_ended) {
  if (!g_net.running) return 0;
  if (close_ended) {
    std::vector<int> ended;
    ForEachLive([&](int h, SocketRecord* r) {
      if (r->in_use && (r->error || (!r->connected && r->pending && r->auto_close))) ended.push_back(h);
    });
    for (int h : ended) CloseSocketHandle(h);
  }
  // Only the events waiting now: serving them re-enables events that would
  // otherwise keep this loop going while a peer trickles bytes.
  std::vector<MSG> waiting;
  MSG m;
  while (PeekMessageA(&m, g_net.window, NET_SOCKET_MESSAGE, NET_SOCKET_MESSAGE, PM_REMOVE)) waiting.push_back(m);
  for (const MSG& e : waiting) DispatchSocketEvent(e.hwnd, e.message, e.wParam, e.lParam);
  ServeDeferred();
  return 0;
}

int DispatchSocketEvent(HWND, UINT, WPARAM socket, LPARAM event) {
  if (!g_net.running) return 0;
  int handle = -1;
  SocketRecord* record = nullptr;
  ForEachLive([&](int h, SocketRecord* r) {
    if (!record && r->socket == (SOCKET)socket) {
      handle = h;
      record = r;
    }
  });
  if (!record) {
    WriteLogText("通信エラー No.1\n");
    return 0;
  }
  switch (LOWORD(event)) {
    case winsock::FD_ACCEPT:
      return AcceptNetWork();
    case winsock::FD_READ:
      if (g_net.receiving) record->read_deferred = 1;
      else RecvSocket(handle);
      break;
    case winsock::FD_WRITE:
      if (g_net.sending) record->write_deferred = 1;
      else SendSocket(handle);
      break;
    case winsock::FD_CONNECT:
      if (HIWORD(event) == 0) record->connected = 1;
      break;
    case winsock::FD_CLOSE:
      record->connected = 0;
      record->pending = 0;
      break;
  }
  return 1;
}

int ListenNetWork(int port) {
  if (!g_net.running || g_net.listening >= 0 || port < 0 || port > 65535) return -1;
  int h;
  SocketRecord* r = NewRecord(&h);
  if (!r) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons((uint16_t)port);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  r->socket = winsock::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (r->socket == winsock::INVALID_SOCKET ||
      winsock::bind(r->socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      winsock::listen(r->socket, 16) != 0 ||
      winsock::WSAAsyncSelect(r->socket, g_net.window, NET_SOCKET_MESSAGE, winsock::FD_ACCEPT) != 0) {
    NetErrorLog("接続待ちの開始に失敗しました");
    FreeRecord(h, r);
    return -1;
  }
  g_net.listening = h;
  return h;
}

int AcceptNetWork() {
  if (!g_net.running || g_net.listening < 0) return -1;
  PumpNetWindowMessages(0);
  SocketRecord* listener = Records().Lookup(g_net.listening);
  if (!listener) return -1;
  int h;
  SocketRecord* r = NewRecord(&h);
  if (!r) {  // the connection stays queued
    return WriteLogText(Records().last_failure() == HandleTableBase::FAIL_MEMORY
                            ? "ソケット用のメモリの確保に失敗しました\n"
                            : "空きソケットデータがなかったので accept を拒否しました \n");
  }
  r->connected = 1;
  sockaddr_in peer{};
  int size = sizeof peer;
  r->socket = winsock::accept(listener->socket, reinterpret_cast<sockaddr*>(&peer), &size);
  if (r->socket == winsock::INVALID_SOCKET) {
    NetErrorLog("acceptに失敗しました");
    FreeRecord(h, r);
    return -1;
  }
  r->peer_address = peer.sin_addr.s_addr;
  r->peer_port = peer.sin_port;
  if (winsock::WSAAsyncSelect(r->socket, g_net.window, NET_SOCKET_MESSAGE,
                              winsock::FD_READ | winsock::FD_WRITE | winsock::FD_CLOSE) != 0) {
    NetErrorLog("WSAAsyncSelectのエラー in AcceptNetWork");
    FreeRecord(h, r);
    return -1;
  }
  return 1;
}

namespace {

// A receive or send on a handle: one of each kind at a time in the module,
// socket events served first.
int Transfer(int handle, int* under_way, const char* name, int (*framing)(SocketRecord*, const NetTransport&)) {
  SocketRecord* r = FindSocketRecord(handle);
  if (!r || *under_way) return -1;
  *under_way = 1;
  PumpNetWindowMessages(0);
  int result;
  if (!r->in_use) result = WriteLogFormat("有効なネットワークハンドルではありません in %s", name);
  else if (r->error) result = WriteLogFormat("このネットワークハンドルにはエラーが発生しています in %s", name);
  else result = framing(r, SocketTransport(r));
  *under_way = 0;
  return result;
}

}  // namespace

int RecvSocket(int handle) { return Transfer(handle, &g_net.receiving, "RecvSocket", ReceiveFramed); }
int SendSocket(int handle) { return Transfer(handle, &g_net.sending, "SendSocket", SendFramed); }

int CloseSocketHandle(int handle) {
  SocketRecord* r = FindSocketRecord(handle);
  if (!r || !r->in_use) return -1;
  PumpNetWindowMessages(0);
  // Nothing more can arrive from a peer that closed, nor leave for it.
  auto draining = [&] { return r->connected && !r->error; };
  int start = GetMillisecondCount();
  while (r->recv_remaining > 0 && draining() && DrainTimeLeft(start)) {
    RecvSocket(handle);
    PumpNetWindowMessages(0);
    Sleep(1);
  }
  start = GetMillisecondCount();
  while (ByteRingUsed(&r->send_ring) > 0 && draining() && DrainTimeLeft(start)) {
    SendSocket(handle);
    PumpNetWindowMessages(0);
    if (ByteRingUsed(&r->send_ring) > 0) Sleep(1);
  }
  FreeRecord(handle, r);
  return 0;
}
