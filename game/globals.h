// The shared fonts and colours every scene and field draws its text with, by
// index: fonts of sizes 32, 24, 14 and 16, and four screen colours. Made at
// start-up and made again after a window-mode change.
#pragma once

#include <cstdint>

inline constexpr int kFontCount = 4;
inline constexpr int kColourCount = 4;

extern int font_table[kFontCount];
extern uint32_t colour_table[kColourCount];

// Both always succeed; a font the engine cannot make is left as -1, which the
// text calls refuse harmlessly.
bool create_fonts();
bool create_colors();
