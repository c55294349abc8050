// The message step: window messages in passes of at most five, parking
// while the window is inactive, and the background work the engine does
// once per step.
#include "engine/core/engine_state.h"
#include "engine/core/engine_subsystem.h"
#include "engine/core/util.h"
#include "engine/core/window.h"

namespace {

// What runs once a pass while the inactive window holds the step, and at
// the end of every step, in order. The text input's update comes last, on
// its own (the step does not run again inside it).
constexpr SubsystemId kParkedPumps[] = {SubsystemId::Sockets, SubsystemId::Sound, SubsystemId::Movies};
constexpr SubsystemId kStepPumps[] = {SubsystemId::Sound, SubsystemId::Music, SubsystemId::Input,
                                      SubsystemId::Sockets};

bool Parked() { return !g_engine.active && !g_engine.run_while_inactive; }

// Takes the next message for this thread: any window's first, else a thread
// message, else one of the main window. False when there is none.
bool TakeMessage(MSG* msg) {
  if (PeekMessageA(msg, nullptr, 0, 0, PM_NOREMOVE)) return PeekMessageA(msg, nullptr, 0, 0, PM_REMOVE) != 0;
  return PeekMessageA(msg, HWND_THREAD_ONLY, 0, 0, PM_REMOVE) || PeekMessageA(msg, g_engine.window, 0, 0, PM_REMOVE);
}

}  // namespace

int ProcessWindowMessages() {
  if (g_engine.in_text_input_update) return 0;
  if (g_engine.window) {
    bool window_thread = GetCurrentThreadId() == g_engine.window_thread;
    int handled = 0;  // counts over the whole call; every fifth message ends a pass
    bool first_pass = true;
    for (;;) {
      if (Parked()) {
        if (first_pass && !g_engine.inactive_since) g_engine.inactive_since = GetMillisecondCount();
        WaitForWindowEvent(1);
      }
      first_pass = false;
      bool idle = true;
      MSG msg;
      while (TakeMessage(&msg)) {
        if (msg.message == WM_ACTIVATEAPP && g_engine.window_mode) g_engine.active = LOWORD(msg.wParam) != 0;
        if (g_engine.quit) break;
        if (msg.message == WM_QUIT) g_engine.quit = 1;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        idle = false;
        if (++handled == 5) {
          handled = 0;
          break;
        }
      }
      if (Parked()) {
        for (SubsystemId id : kParkedPumps) Subsystem(id).pump_parked();
        WaitForWindowEvent(1);
      }
      if (g_engine.quit || !window_thread) break;
      if (Parked() && !g_engine.end_requested) continue;
      if (idle) break;
    }
  }
  for (SubsystemId id : kStepPumps) Subsystem(id).pump();
  g_engine.in_text_input_update = 1;
  Subsystem(SubsystemId::TextInput).pump();
  g_engine.in_text_input_update = 0;
  return g_engine.quit ? -1 : 0;
}

void WaitWhileWindowInactive() {
  if (g_engine.painting || g_engine.active) return;
  if (g_engine.run_while_inactive && g_engine.window_mode) return;
  if (!g_engine.inactive_since) g_engine.inactive_since = GetMillisecondCount();
  while (!g_engine.active && !g_engine.quit) {
    if (ProcessWindowMessages() != 0) break;
  }
}
