// Brings the input method's messages to the program's windows: an SDL event
// watch sees every text-editing and text-input event as it enters SDL's
// queue (during the window layer's pump) and posts the messages they give to
// the window the event belongs to, where they reach its window procedure like
// the window layer's own messages.

#include <SDL2/SDL.h>

#include "platform/ime/ime.h"
#include "platform/win32/window.h"

namespace {

int WatchTextEvents(void*, SDL_Event* event) {
  if (event->type != SDL_TEXTEDITING && event->type != SDL_TEXTINPUT) return 1;
  uint32_t id = event->type == SDL_TEXTEDITING ? event->edit.windowID : event->text.windowID;
  ImeMessage messages[4];
  int count = ImeTranslateSdlEvent(event, messages, 4);
  HWND window = WindowFromSdlWindowId(id);
  for (int i = 0; i < count && i < 4 && window; ++i)
    PostMessageA(window, messages[i].message, messages[i].wparam, messages[i].lparam);
  return 1;
}

}  // namespace

void ImeWatchSdlEvents() {
  // The watch lives as long as SDL's event loop; installing it again after a
  // restart of SDL is harmless (it is removed first).
  SDL_DelEventWatch(WatchTextEvents, nullptr);
  SDL_AddEventWatch(WatchTextEvents, nullptr);
}
