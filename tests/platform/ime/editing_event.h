// An SDL text-editing event as the input method sends it while a text is
// being composed: the composition (UTF-8), its cursor and the length of the
// part being converted, in characters.
#pragma once

#include <SDL2/SDL.h>

#include <cstdio>

inline SDL_Event EditingEvent(const char* utf8, int start, int length) {
  SDL_Event e{};
  e.type = SDL_TEXTEDITING;
  std::snprintf(e.edit.text, sizeof e.edit.text, "%s", utf8);
  e.edit.start = start;
  e.edit.length = length;
  return e;
}
