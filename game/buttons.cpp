// Button snapshot and queries. Every query of a frame sees the snapshot that
// poll_input took at the frame's start.
#include "game/buttons.h"

#include <bit>
#include <cstring>

#include "engine/input/input.h"

namespace {

int pad_now[kInputDevices];
int pad_before[kInputDevices];
int pad_repeat[kInputDevices][32];
uint8_t keys_now[256];
uint8_t keys_before[256];

bool valid_device(int device) { return device >= 0 && device < kInputDevices; }

// The counter of a single-bit mask: the index of its highest bit, which is
// what floor(log2(mask)) gives for every mask the game passes.
int log2_of(int mask) { return 31 - std::countl_zero((uint32_t)mask); }

}  // namespace

void reset_input() { std::memset(pad_repeat, 0, sizeof pad_repeat); }

void feed_input(const int device_bits[5], const uint8_t* keys) {
  std::memcpy(pad_before, pad_now, sizeof pad_now);
  std::memcpy(keys_before, keys_now, sizeof keys_now);
  for (int d = 1; d < kInputDevices; ++d) pad_now[d] = device_bits[d - 1];
  pad_now[0] = pad_now[1] | pad_now[2];
  if (keys)
    for (int k = 0; k < 256; ++k) keys_now[k] = keys[k] ? 1 : 0;
  else
    std::memset(keys_now, 0, sizeof keys_now);
  for (int d = 0; d < kInputDevices; ++d) {
    for (int i = 0; i < 32; ++i) {
      uint32_t bit = 1u << i;
      if (!((uint32_t)pad_now[d] & bit)) continue;
      int& counter = pad_repeat[d][i];
      if (!((uint32_t)pad_before[d] & bit))
        counter = kRepeatFirstDelay;
      else if (counter == 0)
        counter = kRepeatReload;
      else
        counter -= 1;
    }
  }
}

void poll_input() {
  int bits[5];
  // A failed read (input not started) counts as nothing held.
  int keyboard = ReadPadBits(0x1000);
  bits[0] = keyboard < 0 ? 0 : keyboard;
  for (int pad = 1; pad <= 4; ++pad) {
    int v = ReadPadBits(pad);
    bits[pad] = v < 0 ? 0 : v;
  }
  uint8_t keys[256];
  if (ReadKeyboardState(keys) < 0) std::memset(keys, 0, sizeof keys);
  feed_input(bits, keys);
}

bool is_held_on(int mask, int device) { return valid_device(device) && (pad_now[device] & mask) != 0; }
bool is_held(int mask) { return is_held_on(mask, 0); }

bool is_pressed_on(int mask, int device) { return is_held_on(mask, device) && (pad_before[device] & mask) == 0; }
bool is_pressed(int mask) { return is_pressed_on(mask, 0); }

bool is_released_on(int mask, int device) {
  return valid_device(device) && (pad_now[device] & mask) == 0 && (pad_before[device] & mask) != 0;
}

bool is_repeated_on(int mask, int device) {
  if (!is_held_on(mask, device)) return false;
  return (pad_before[device] & mask) == 0 || pad_repeat[device][log2_of(mask)] == 0;
}
bool is_repeated(int mask) { return is_repeated_on(mask, 0); }

bool is_key_held(int key) { return key >= 0 && key < 256 && keys_now[key] != 0; }
bool is_key_pressed(int key) { return is_key_held(key) && keys_before[key] == 0; }
