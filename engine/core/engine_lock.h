// The engine lock: a recursive lock that serialises the engine's public entry
// points between threads and hands itself over in strict arrival order. It
// lives as long as the program, so no thread can find it half made or gone.
#pragma once

void EnterEngineLock();
void LeaveEngineLock();
// The owner's recursion count as seen by the calling thread (0 when it does
// not hold the lock); for tests and assertions.
int EngineLockDepth();
// Threads waiting for the lock.
int EngineLockWaiters();
