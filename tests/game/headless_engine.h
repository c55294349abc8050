// The engine started headless (SDL's dummy drivers) for the tests that need
// real graphs and sounds, started once per test program and ended at exit.
#pragma once

// True when the engine runs; started on the first call.
bool StartHeadlessEngine();
