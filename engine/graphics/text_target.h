// What the font library needs of graphics beyond its public drawing
// functions: the software images text is written into, and the crossfade a
// glyph paint suspends while it draws. Nothing else of graphics' records is
// reachable from the fonts.
#pragma once

#include <cstdint>

struct MEMIMG;

// The software image the current draw screen (or the active mask) selects;
// null while graphics has no software screen.
MEMIMG* GetSoftDrawTarget();
// The single-channel blend image of the crossfade graph, or null.
MEMIMG* GetCrossfadeImage();
// The crossfade graph (-1 for none) with its parameter and range, as
// SetCrossfadeGraph takes them.
void GetCrossfadeGraph(int* graph, int* param, int* range);
// A screen-sized work image of the screen's format, with an alpha channel
// or without; null until the software screen exists.
MEMIMG* GetTextWorkImage(int with_alpha);
// Blend mode 3 on a device without a blend-operation capability: text is
// drawn between two inversions of its rectangle, and in the add mode between
// them (the three-pass subtract). 1 while that applies.
int TextNeedsInvertPasses();
int InvertTextAreaBefore(const int32_t* rect);
int InvertTextAreaAfter(const int32_t* rect);
