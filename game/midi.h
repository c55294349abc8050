// The outside MIDI library "Tunehall.dll", bound by name at the end of
// start-up: the game plays every ".mid" music through it. Until it is bound
// (or after it is unbound) the calls below do nothing and the music state
// reads 0.
#pragma once

// Loads the library, binds its eight functions and opens the default device.
// False when the library cannot be loaded or lacks one of the functions
// (nothing stays loaded then).
bool load_midi_player();
// Closes the device and frees the library; nothing when it is not loaded.
void unload_midi_player();
bool is_midi_player_loaded();

void midi_load_music(const char* path);
// Plays what the last midi_load_music loaded; nothing when the library
// refused that file (missing, or not one it can read).
void midi_play_music();
void midi_stop_music();
void midi_set_caps(int capability, int value);
// The status block's state word after a fresh status query: 1 while music
// plays.
int midi_state();
