// Test controls of the WinSock stand-in: failures the real interface can
// report, injected call by call, short sends, the highest version offered,
// and the count of sockets still open.
#pragma once

#include "platform/winsock/winsock.h"

enum WsCall {
  WS_CALL_STARTUP,  // WSAStartup answers the error code
  WS_CALL_SOCKET,
  WS_CALL_CLOSE,
  WS_CALL_BIND,
  WS_CALL_LISTEN,
  WS_CALL_ACCEPT,
  WS_CALL_CONNECT,
  WS_CALL_SEND,
  WS_CALL_RECV,
  WS_CALL_SENDTO,
  WS_CALL_RECVFROM,
  WS_CALL_SETSOCKOPT,
  WS_CALL_GETSOCKOPT,
  WS_CALL_GETSOCKNAME,
  WS_CALL_IOCTL,
  WS_CALL_SELECT,
  WS_CALL_GETHOSTNAME,
  WS_CALL_GETHOSTBYNAME,
  WS_CALL_ASYNC_SELECT,
  WS_CALL_KIND_COUNT
};

// After `after` more successful calls of that kind, every call fails with
// `error` (a WinSock error code) until cleared; the socket is left as it was.
void WsFailCall(WsCall call, int error, int after = 0);
void WsClearFailures();

// Each send takes at most this many bytes (0: no limit), as a send on a
// nearly full connection does.
void WsSetSendLimit(int bytes);

// The highest version WSAStartup offers (default 2.2).
void WsSetHighestVersion(WORD version);

// Sockets made and not yet closed.
int WsOpenSocketCount();

// Calls running on the socket now (a call blocked in recv counts), or -1 for
// a socket that is not open.
int WsCallsInFlight(winsock::SOCKET s);
