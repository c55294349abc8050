// What the font library needs of graphics beyond its public drawing
// functions: the software images text is written into, and the crossfade a
// glyph paint suspends while it draws. Nothing else of graphics' records is
// reachable from the fonts.
#pragma once

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
