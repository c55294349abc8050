// A key pressed in a window, as SDL reports it to the engine's message loop.
#pragma once

#include <SDL.h>

inline void PushKeyDown(SDL_Window* window, SDL_Scancode scancode, SDL_Keycode key) {
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.windowID = SDL_GetWindowID(window);
  e.key.state = SDL_PRESSED;
  e.key.keysym.scancode = scancode;
  e.key.keysym.sym = key;
  SDL_PushEvent(&e);
}
