// The engine's public entry points (start, end, one message step per frame)
// and the start-up and shutdown sequences, which run the subsystems'
// records (engine/core/engine_subsystem.h) in their order.
#pragma once

struct WindowObject;

// ---- public entry points (each takes the engine lock)
int InitEngine();              // 0, or -1 when start-up failed (then nothing is left running)
int EndEngine();               // 0
int ProcessEngineMessages();   // 0, or -1 once the window is gone or quit was posted

// ---- the sequences (the lock already held)
int InitEngineCore();
int EndEngineCore();
// Takes down whatever runs, in shutdown order; tolerates subsystems that
// never started. Used by EndEngineCore and by a failed start-up.
int TeardownEngine();

int StartComLibrary();  // there is no COM here: starting succeeds
int EndComLibrary();    // 0 when started, else -1
int ForceForeground(WindowObject* window, int topmost);
