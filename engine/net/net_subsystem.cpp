// The socket module as the engine core sees it: its hidden window pumped by
// every message step, its notifications handed on by the main window, and
// its end with the engine.
#include "engine/core/engine_subsystem.h"
#include "engine/net/net.h"

namespace {

int PumpNetwork() { return PumpNetWindowMessages(1); }
intptr_t SocketMessage(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  return DispatchSocketEvent(static_cast<HWND>(window), message, wparam, lparam);
}

}  // namespace

constinit const EngineSubsystem kSocketsSubsystem{
    .id = SubsystemId::Sockets,
    .end = EndNetworkModule,
    .pump = PumpNetwork,
    .pump_parked = PumpNetwork,
    .message = SocketMessage,
};
