// The menu after a game or a match: play again or leave, each with or
// without saving the replay first. Single play and free battle share it.
#pragma once

class Field;

inline constexpr int kAfterMatchRows = 4;

// Rows: 0 go on, 1 save the replay and go on, 2 leave, 3 save and leave.
inline bool after_match_saves(int row) { return row % 2 == 1; }
inline bool after_match_leaves(int row) { return row >= 2; }

// One frame of the menu on the combined device: C or the Enter key confirms
// the row under the cursor ("sounds\pause.wav"); otherwise Down and then Up
// (with auto-repeat) move the cursor, wrapping, with "sounds\rotate.wav".
// The confirmed row, or -1.
int after_match_menu_step(int* cursor);
// The step over the fields of the game or match that ended: a confirmed
// row that says so saves their replay first (when nothing can be saved that
// is reported, and the row's action still happens). -1 while no row is confirmed, else 1 for a
// row that leaves and 0 for one that goes on.
int after_match_menu_choice(int* cursor, Field* const* fields, int count);
// The four labels at (160, 128 + 32 x row) and the cursor picture beside the
// cursor's row, at a brightness.
void draw_after_match_menu(int cursor, int brightness);
// The four labels alone, at a brightness.
void draw_after_match_labels(int brightness);
