// Small helpers for the kernel stand-in tests.
#pragma once

#include <string>

// UTF-8 text written as u8"..." (the program's own literals are code page 932).
inline std::string U8(const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); }
