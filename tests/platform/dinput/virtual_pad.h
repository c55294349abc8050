// A virtual SDL joystick for tests: axes, buttons and hats set from the test,
// and the rumble requests that reach it recorded.
#pragma once

#include <SDL2/SDL.h>

#include <utility>
#include <vector>

struct VirtualPad {
  SDL_Joystick* handle = nullptr;
  SDL_JoystickID id = -1;
  std::vector<std::pair<Uint16, Uint16>> rumbles;

  // SDL's joystick subsystem must be running.
  bool Attach(const char* name, int axes = 4, int buttons = 12, int hats = 1) {
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = (Uint16)axes;
    desc.nbuttons = (Uint16)buttons;
    desc.nhats = (Uint16)hats;
    desc.name = name;
    desc.userdata = this;
    desc.Rumble = [](void* self, Uint16 low, Uint16 high) {
      static_cast<VirtualPad*>(self)->rumbles.emplace_back(low, high);
      return 0;
    };
    int index = SDL_JoystickAttachVirtualEx(&desc);
    if (index < 0) return false;
    id = SDL_JoystickGetDeviceInstanceID(index);
    handle = SDL_JoystickOpen(index);
    return handle != nullptr;
  }
  void Detach() {
    if (handle) SDL_JoystickClose(handle);
    handle = nullptr;
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
      if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
    id = -1;
  }
  // Values reach SDL's joystick state with the next update (the window
  // layer's pump in the program; Update() in tests).
  void Axis(int axis, Sint16 value) { SDL_JoystickSetVirtualAxis(handle, axis, value); }
  void Button(int button, bool down) { SDL_JoystickSetVirtualButton(handle, button, down ? 1 : 0); }
  void Hat(int hat, Uint8 value) { SDL_JoystickSetVirtualHat(handle, hat, value); }
  static void Update() { SDL_JoystickUpdate(); }
};
