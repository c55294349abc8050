// The game's buttons: one snapshot of six input devices per frame, with held,
// pressed, released and auto-repeat queries on pad masks, and held and pressed
// queries on keyboard keys. Device 0 is the keyboard read as a pad combined
// with pad 1, device 1 the keyboard alone, devices 2-5 pads 1-4.
#pragma once

#include <cstdint>

inline constexpr int kInputDevices = 6;

// Pad mask bits the game reads (the engine's pad-bit layout).
inline constexpr int kPadDown = 0x1;
inline constexpr int kPadLeft = 0x2;
inline constexpr int kPadRight = 0x4;
inline constexpr int kPadUp = 0x8;
inline constexpr int kPadRotateCw = 0x20;
inline constexpr int kPadRotateCcw = 0x40;

inline constexpr int kKeyEnter = 0x1C;

// Repeat counters: a press sets its counter to kRepeatFirstDelay, and each
// frame the button stays held counts it down by one; a frame that leaves it
// at 0 repeats, and the frame after reloads it with kRepeatReload instead of
// counting. So the first repeat comes 12 frames after the press, then one
// every 7 (the reloading frame and 6 more).
inline constexpr int kRepeatFirstDelay = 12;
inline constexpr int kRepeatReload = 6;

void reset_input();
// Takes this frame's snapshot from the engine's keyboard and pads.
void poll_input();
// Takes this frame's snapshot from given device bits (keyboard-as-pad, then
// pads 1-4) and key states (256 bytes, null for none held). poll_input feeds
// the engine's readings through here; scripted play feeds its own.
void feed_input(const int device_bits[5], const uint8_t* keys);

bool is_held(int mask);
bool is_held_on(int mask, int device);
bool is_pressed(int mask);
bool is_pressed_on(int mask, int device);
bool is_released_on(int mask, int device);
bool is_repeated(int mask);
bool is_repeated_on(int mask, int device);
bool is_key_held(int key);
bool is_key_pressed(int key);
