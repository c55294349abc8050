// The engine started headless (SDL's dummy drivers) for the tests that need
// real graphs and sounds, started once per test program and ended at exit.
#pragma once

#include <cstdint>
#include <string>

// True when the engine runs; started on the first call.
bool StartHeadlessEngine();
// A pixel of the software screen as 0xRRGGBB (0 outside it or without one).
uint32_t ScreenPixel(int x, int y);
// The software screen written as a PNG file; false when there is none or
// the file cannot be written.
bool WriteScreenPng(const std::string& path);
