// Images, music and sound effects by name: each is loaded on its first
// request and its engine handle (or -1 for a failure, which is not retried)
// kept for the whole run. Names are tried as given and then with each
// supported suffix; the music rule plays ".mid" files through the MIDI
// library and everything else through engine sound handles.
#pragma once

#include <cstdint>

// Longest name the caches take: name, a four-character suffix and the
// terminator fit the path buffer of 64 bytes.
inline constexpr int kCacheNameLimit = 59;

int load_image(const char* name);
int load_bgm(const char* name);
int load_se(const char* name);

// Forgets every image without deleting its graph: a window-mode change has
// deleted them all already.
void clear_image_cache();
// Changes whenever the image cache is emptied, so code that keeps image
// handles of its own knows when to ask again.
uint32_t image_cache_generation();

void set_bgm_cache_volume(int percent);
void set_se_cache_volume(int percent);
// Percent to the engine's 0..255 volume (integer, truncated).
int engine_volume(int percent);

// Plays an effect once in the background, from its start.
void play_se(const char* name);

void play_music(const char* name);
void stop_music(const char* name);

// True when a file (not a folder) of that Windows-form name exists.
bool file_exists(const char* path);
