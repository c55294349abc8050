// A key going down or up, as SDL reports it to the engine's message loop
// and to the keyboard state.
#pragma once

#include <SDL.h>

#include <cstdint>

// window_id 0: the event belongs to no window (the keyboard state still
// sees it). Returns what SDL_PushEvent returns: 1 once the event is queued.
inline int PushKeyEvent(uint32_t window_id, SDL_Scancode scancode, SDL_Keycode key, bool down, uint16_t mod = 0) {
  SDL_Event e{};
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.windowID = window_id;
  e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.key.keysym.scancode = scancode;
  e.key.keysym.sym = key;
  e.key.keysym.mod = mod;
  return SDL_PushEvent(&e);
}

inline void PushKeyDown(SDL_Window* window, SDL_Scancode scancode, SDL_Keycode key) {
  PushKeyEvent(SDL_GetWindowID(window), scancode, key, true);
}
