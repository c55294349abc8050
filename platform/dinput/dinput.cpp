// The DirectInput-shaped object and its devices over SDL2's keyboard events
// and joysticks; the Win32 keyboard state; test controls.

#include "platform/dinput/dinput.h"

#include <SDL2/SDL.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dinput/dinput_control.h"
#include "platform/win32/cp932.h"

const DIGUID GUID_SysKeyboard = {1, 0};
const DIGUID GUID_SysMouse = {2, 0};
const DIGUID GUID_Joystick = {3, 0};
const DIGUID GUID_ConstantForce = {16, 0};
const DIGUID GUID_Sine = {17, 0};

const DIDATAFORMAT c_dfDIKeyboard = {sizeof(DIDATAFORMAT), 256};
const DIDATAFORMAT c_dfDIMouse2 = {sizeof(DIDATAFORMAT), 20};
const DIDATAFORMAT c_dfDIJoystick = {sizeof(DIDATAFORMAT), sizeof(DIJOYSTATE)};

namespace {

int g_fail[DIFAIL_POINT_COUNT];

bool Fail(DInputFailPoint point) {
  if (point < 0 || point >= DIFAIL_POINT_COUNT) return false;
  int& count = g_fail[point];
  if (count == 0) return false;
  if (count > 0) --count;
  return true;
}

// ---- keyboard state shared by every keyboard device and GetKeyboardState

// Events may be pushed from any thread; the state is read on the main one.
std::mutex g_key_lock;
bool g_scancode_down[SDL_NUM_SCANCODES];
BYTE g_key_state[256];      // by key code
BYTE g_virtual_state[256];  // by virtual key

void RebuildKeyState() {
  std::memset(g_key_state, 0, sizeof g_key_state);
  std::memset(g_virtual_state, 0, sizeof g_virtual_state);
  for (int s = 0; s < SDL_NUM_SCANCODES; ++s) {
    if (!g_scancode_down[s]) continue;
    if (int k = ScancodeToKeyCode(s)) g_key_state[k] = 0x80;
    if (int v = ScancodeToVirtualKey(s)) g_virtual_state[v] = 0x80;
  }
  g_virtual_state[0x10] = g_virtual_state[0xA0] | g_virtual_state[0xA1];  // shift
  g_virtual_state[0x11] = g_virtual_state[0xA2] | g_virtual_state[0xA3];  // control
  g_virtual_state[0x12] = g_virtual_state[0xA4] | g_virtual_state[0xA5];  // alt
}

class Device;
std::vector<Device*> g_devices;  // live devices, for change notification

int WatchEvents(void*, SDL_Event* event) {
  DInputHandleSdlEvent(event);
  return 1;
}

// Every user of SDL here holds the joystick subsystem, which holds SDL's event
// loop; the event watch lives as long as that loop does, so it is installed
// afresh with every open (removing first keeps it single).
void OpenJoystickSubsystem() {
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  SDL_InitSubSystem(SDL_INIT_JOYSTICK);
  SDL_DelEventWatch(WatchEvents, nullptr);
  SDL_AddEventWatch(WatchEvents, nullptr);
}

int g_running_effects = 0;

class Effect;

class Device final : public IDirectInputDevice {
 public:
  Device(const DIGUID& guid, SDL_Joystick* joystick) : guid_(guid), joystick_(joystick) {
    if (joystick_) OpenJoystickSubsystem();
    std::lock_guard<std::mutex> hold(g_key_lock);
    g_devices.push_back(this);
  }
  void AddRef() { ++refs_; }
  DWORD Release() override {
    if (--refs_ > 0) return refs_;
    delete this;
    return 0;
  }
  const DIGUID& guid() const { return guid_; }
  SDL_JoystickID instance() const { return joystick_ ? SDL_JoystickInstanceID(joystick_) : -1; }
  void Notify() {
    if (event_) SetEvent(event_);
  }

  HRESULT GetDeviceInfo(DIDEVICEINSTANCEA* info) override {
    if (!info) return DIERR_INVALIDPARAM;
    std::memset(info, 0, sizeof *info);
    info->dwSize = sizeof *info;
    info->guidInstance = guid_;
    info->guidProduct = guid_;
    if (joystick_) {
      info->dwDevType = DIDEVTYPE_JOYSTICK;
      std::string name;
      const char* utf8 = SDL_JoystickName(joystick_);
      if (!utf8 || !vox_win32::Utf8ToCp932(utf8, &name)) name = "Joystick";
      std::snprintf(info->tszInstanceName, sizeof info->tszInstanceName, "%s", name.c_str());
      std::snprintf(info->tszProductName, sizeof info->tszProductName, "%s", name.c_str());
    } else {
      std::snprintf(info->tszInstanceName, sizeof info->tszInstanceName, "%s",
                    guid_ == GUID_SysKeyboard ? "Keyboard" : "Mouse");
      std::snprintf(info->tszProductName, sizeof info->tszProductName, "%s", info->tszInstanceName);
    }
    return DI_OK;
  }

  HRESULT SetDataFormat(const DIDATAFORMAT* format) override {
    if (!format || acquired_) return DIERR_INVALIDPARAM;
    const DIDATAFORMAT* expected =
        joystick_ ? &c_dfDIJoystick : guid_ == GUID_SysKeyboard ? &c_dfDIKeyboard : &c_dfDIMouse2;
    if (Fail(joystick_ ? DIFAIL_PAD_FORMAT : guid_ == GUID_SysKeyboard ? DIFAIL_KEYBOARD_FORMAT : DIFAIL_POINT_COUNT) ||
        format->dwDataSize != expected->dwDataSize)
      return DIERR_INVALIDPARAM;
    format_size_ = format->dwDataSize;
    return DI_OK;
  }

  // Every level is granted: SDL reads keys and pads whatever the focus, and
  // the keyboard state already follows the window's focus.
  HRESULT SetCooperativeLevel(void*, DWORD flags) override {
    bool exclusive = flags & DISCL_EXCLUSIVE, shared = flags & DISCL_NONEXCLUSIVE;
    bool fore = flags & DISCL_FOREGROUND, back = flags & DISCL_BACKGROUND;
    if (exclusive == shared || fore == back) return DIERR_INVALIDPARAM;
    return DI_OK;
  }

  HRESULT SetProperty(DIPROPID property, const DIPROPHEADER* header) override {
    if (!header) return DIERR_INVALIDPARAM;
    if (property == DIPROP_BUFFERSIZE) return header->dwHow == DIPH_DEVICE ? DI_OK : DIERR_INVALIDPARAM;
    if (!joystick_ || (property != DIPROP_RANGE && property != DIPROP_DEADZONE)) return DIERR_UNSUPPORTED;
    int first = 0, last = kAxes - 1;
    if (header->dwHow == DIPH_BYOFFSET) {
      if (header->dwObj % 4 || header->dwObj / 4 >= kAxes) return DIERR_NOTFOUND;
      first = last = header->dwObj / 4;
      if (first >= SDL_JoystickNumAxes(joystick_)) return DIERR_NOTFOUND;
      if (first == 0 && property == DIPROP_RANGE && Fail(DIFAIL_PAD_RANGE_X)) return DIERR_GENERIC;
    } else if (header->dwHow != DIPH_DEVICE) {
      return DIERR_INVALIDPARAM;
    }
    if (property == DIPROP_RANGE) {
      const auto* range = reinterpret_cast<const DIPROPRANGE*>(header);
      if (range->lMin >= range->lMax) return DIERR_INVALIDPARAM;
      for (int a = first; a <= last; ++a) axes_[a].min = range->lMin, axes_[a].max = range->lMax;
    } else {
      DWORD zone = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
      if (zone > 10000) return DIERR_INVALIDPARAM;
      for (int a = first; a <= last; ++a) axes_[a].dead_zone = zone;
    }
    return DI_OK;
  }

  HRESULT SetEventNotification(HANDLE event) override {
    if (acquired_) return DIERR_INVALIDPARAM;
    if (event && Fail(joystick_ ? DIFAIL_PAD_EVENT : DIFAIL_KEYBOARD_EVENT)) return DIERR_GENERIC;
    event_ = event;
    return DI_OK;
  }

  HRESULT Acquire() override {
    if (!format_size_) return DIERR_INVALIDPARAM;
    if (guid_ == GUID_SysKeyboard && Fail(DIFAIL_KEYBOARD_ACQUIRE)) return DIERR_GENERIC;
    if (acquired_) return DI_NOEFFECT;
    acquired_ = true;
    return DI_OK;
  }
  HRESULT Unacquire() override {
    if (!acquired_) return DI_NOEFFECT;
    acquired_ = false;
    return DI_OK;
  }

  HRESULT Poll() override {
    if (!acquired_) return DIERR_NOTACQUIRED;
    if (!joystick_) return DI_NOEFFECT;
    if (!SDL_JoystickGetAttached(joystick_)) return DIERR_INPUTLOST;
    // SDL bounds one rumble request; a running effect has no end of its own.
    if ((low_ || high_) && SDL_GetTicks() - rumble_sent_ > 30000) SendRumble();
    return DI_OK;
  }

  HRESULT GetDeviceState(DWORD size, void* data) override {
    if (!data || size != format_size_) return DIERR_INVALIDPARAM;
    if (!acquired_) return DIERR_NOTACQUIRED;
    if (guid_ == GUID_SysKeyboard) {
      if (Fail(DIFAIL_KEYBOARD_STATE)) return DIERR_INPUTLOST;
      std::lock_guard<std::mutex> hold(g_key_lock);
      std::memcpy(data, g_key_state, 256);
      return DI_OK;
    }
    if (!joystick_) {
      std::memset(data, 0, size);
      return DI_OK;
    }
    if (Fail(DIFAIL_PAD_STATE) || !SDL_JoystickGetAttached(joystick_)) return DIERR_INPUTLOST;
    ReadJoystick(static_cast<DIJOYSTATE*>(data));
    return DI_OK;
  }

  HRESULT CreateEffect(REFDIGUID kind, const DIEFFECT* effect, IDirectInputEffect** out, void*) override;

  // Effects report their magnitudes here; the pad rumbles at their sums.
  void ChangeRumble(int low_delta, int high_delta) {
    low_ += low_delta, high_ += high_delta;
    SendRumble();
  }

 private:
  static constexpr int kAxes = 8;  // X, Y, Z, Rx, Ry, Rz, two sliders
  struct Axis {
    LONG min = 0, max = 65535;
    DWORD dead_zone = 0;  // 1/10000 of the half range
  };

  ~Device() override {
    {
      std::lock_guard<std::mutex> hold(g_key_lock);
      for (size_t i = 0; i < g_devices.size(); ++i)
        if (g_devices[i] == this) g_devices.erase(g_devices.begin() + i);
    }
    if (joystick_) {
      SDL_JoystickClose(joystick_);
      SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
  }

  LONG ScaleAxis(int raw, const Axis& a) const {
    double n = raw < 0 ? raw / 32768.0 : raw / 32767.0;
    double m = std::fabs(n), zone = a.dead_zone / 10000.0;
    m = m <= zone ? 0.0 : (m - zone) / (1.0 - zone);
    double half = (double(a.max) - a.min) / 2.0, centre = (double(a.max) + a.min) / 2.0;
    return (LONG)std::lround(centre + (n < 0 ? -m : m) * half);
  }

  void ReadJoystick(DIJOYSTATE* s) const {
    std::memset(s, 0, sizeof *s);
    LONG* fields[kAxes] = {&s->lX, &s->lY, &s->lZ, &s->lRx, &s->lRy, &s->lRz, &s->rglSlider[0], &s->rglSlider[1]};
    int axes = SDL_JoystickNumAxes(joystick_);
    for (int a = 0; a < kAxes; ++a) *fields[a] = ScaleAxis(a < axes ? SDL_JoystickGetAxis(joystick_, a) : 0, axes_[a]);
    int hats = SDL_JoystickNumHats(joystick_);
    for (int h = 0; h < 4; ++h) s->rgdwPOV[h] = h < hats ? HatToPov(SDL_JoystickGetHat(joystick_, h)) : 0xFFFFFFFFu;
    int buttons = SDL_JoystickNumButtons(joystick_);
    for (int b = 0; b < 32 && b < buttons; ++b) s->rgbButtons[b] = SDL_JoystickGetButton(joystick_, b) ? 0x80 : 0;
  }

 public:
  static DWORD HatToPov(Uint8 hat) {
    switch (hat) {
      case SDL_HAT_UP: return 0;
      case SDL_HAT_RIGHTUP: return 4500;
      case SDL_HAT_RIGHT: return 9000;
      case SDL_HAT_RIGHTDOWN: return 13500;
      case SDL_HAT_DOWN: return 18000;
      case SDL_HAT_LEFTDOWN: return 22500;
      case SDL_HAT_LEFT: return 27000;
      case SDL_HAT_LEFTUP: return 31500;
      default: return 0xFFFFFFFFu;
    }
  }

 private:
  void SendRumble() {
    auto scale = [](int magnitude) { return (Uint16)(SDL_clamp(magnitude, 0, 10000) * 0xFFFF / 10000); };
    SDL_JoystickRumble(joystick_, scale(low_), scale(high_), (low_ || high_) ? 0xFFFF : 0);
    rumble_sent_ = SDL_GetTicks();
  }

  DIGUID guid_;
  SDL_Joystick* joystick_;
  int refs_ = 1;
  DWORD format_size_ = 0;
  bool acquired_ = false;
  HANDLE event_ = nullptr;
  Axis axes_[kAxes];
  int low_ = 0, high_ = 0;
  Uint32 rumble_sent_ = 0;
};

class Effect final : public IDirectInputEffect {
 public:
  Effect(Device* device, bool periodic, int magnitude) : device_(device), periodic_(periodic), magnitude_(magnitude) {
    device_->AddRef();
  }
  DWORD Release() override {
    if (--refs_ > 0) return refs_;
    Stop();
    device_->Release();
    delete this;
    return 0;
  }
  HRESULT Start(DWORD, DWORD) override {
    if (running_) return DI_OK;
    running_ = true;
    ++g_running_effects;
    device_->ChangeRumble(periodic_ ? 0 : magnitude_, periodic_ ? magnitude_ : 0);
    return DI_OK;
  }
  HRESULT Stop() override {
    if (!running_) return DI_OK;
    running_ = false;
    --g_running_effects;
    device_->ChangeRumble(periodic_ ? 0 : -magnitude_, periodic_ ? -magnitude_ : 0);
    return DI_OK;
  }

 private:
  ~Effect() override = default;
  Device* device_;
  bool periodic_;
  int magnitude_;
  int refs_ = 1;
  bool running_ = false;
};

HRESULT Device::CreateEffect(REFDIGUID kind, const DIEFFECT* effect, IDirectInputEffect** out, void*) {
  if (!out) return DIERR_INVALIDPARAM;
  *out = nullptr;
  if (!joystick_ || !effect || !effect->lpvTypeSpecificParams) return DIERR_INVALIDPARAM;
  bool periodic = kind == GUID_Sine;
  if (!periodic && !(kind == GUID_ConstantForce)) return DIERR_UNSUPPORTED;
  if (Fail(periodic ? DIFAIL_SINE : DIFAIL_CONSTANT_FORCE)) return DIERR_UNSUPPORTED;
  long magnitude = periodic ? (long)static_cast<const DIPERIODIC*>(effect->lpvTypeSpecificParams)->dwMagnitude
                            : std::labs(static_cast<const DICONSTANTFORCE*>(effect->lpvTypeSpecificParams)->lMagnitude);
  magnitude = magnitude * (long)SDL_min(effect->dwGain, 10000u) / 10000;
  *out = new Effect(this, periodic, (int)magnitude);
  return DI_OK;
}

class DirectInput final : public IDirectInput {
 public:
  explicit DirectInput(int version) : version_(version) {}
  DWORD Release() override {
    if (--refs_ > 0) return refs_;
    if (initialised_) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    delete this;
    return 0;
  }
  HRESULT Initialize(HINSTANCE, DWORD version) override {
    // Version 7 of the class cannot serve a later interface version.
    if (version_ == 7 && version > 0x0700) return DIERR_INVALIDPARAM;
    if (Fail(DIFAIL_INITIALIZE)) return DIERR_NOTINITIALIZED;
    if (!initialised_) OpenJoystickSubsystem();
    initialised_ = true;
    return DI_OK;
  }
  HRESULT CreateDevice(REFDIGUID guid, IDirectInputDevice** out, void*) override {
    if (!out) return DIERR_INVALIDPARAM;
    *out = nullptr;
    if (!initialised_) return DIERR_NOTINITIALIZED;
    if (guid == GUID_SysKeyboard || guid == GUID_SysMouse) {
      if (Fail(guid == GUID_SysKeyboard ? DIFAIL_CREATE_KEYBOARD : DIFAIL_CREATE_MOUSE)) return DIERR_GENERIC;
      *out = new Device(guid, nullptr);
      return DI_OK;
    }
    if (guid.kind != GUID_Joystick.kind) return DIERR_DEVICENOTREG;
    if (Fail(DIFAIL_CREATE_PAD)) return DIERR_GENERIC;
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
      if ((uint32_t)SDL_JoystickGetDeviceInstanceID(i) != guid.instance) continue;
      SDL_Joystick* joystick = SDL_JoystickOpen(i);
      if (!joystick) return DIERR_DEVICENOTREG;
      *out = new Device(guid, joystick);
      return DI_OK;
    }
    return DIERR_DEVICENOTREG;
  }
  HRESULT CreateDeviceEx(REFDIGUID guid, int, IDirectInputDevice** out, void* outer) override {
    return CreateDevice(guid, out, outer);
  }
  HRESULT EnumDevices(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID context, DWORD) override {
    if (!callback) return DIERR_INVALIDPARAM;
    if (!initialised_) return DIERR_NOTINITIALIZED;
    if (type != DIDEVTYPE_JOYSTICK) return DI_OK;
    int count = SDL_NumJoysticks();
    for (int i = 0; i < count; ++i) {
      DIDEVICEINSTANCEA info{};
      info.dwSize = sizeof info;
      info.guidInstance = {GUID_Joystick.kind, (uint32_t)SDL_JoystickGetDeviceInstanceID(i)};
      info.guidProduct = info.guidInstance;
      info.dwDevType = DIDEVTYPE_JOYSTICK;
      std::string name;
      const char* utf8 = SDL_JoystickNameForIndex(i);
      if (!utf8 || !vox_win32::Utf8ToCp932(utf8, &name)) name = "Joystick";
      std::snprintf(info.tszInstanceName, sizeof info.tszInstanceName, "%s", name.c_str());
      std::snprintf(info.tszProductName, sizeof info.tszProductName, "%s", name.c_str());
      if (callback(&info, context) == DIENUM_STOP) break;
    }
    return DI_OK;
  }

 private:
  int version_;
  int refs_ = 1;
  bool initialised_ = false;
};

}  // namespace

HRESULT CreateDirectInputInstance(int version, IDirectInput** out) {
  if (!out) return DIERR_INVALIDPARAM;
  *out = nullptr;
  if (version != 7 && version != 8) return DIERR_NOINTERFACE;
  if (Fail(version == 7 ? DIFAIL_CREATE_V7 : DIFAIL_CREATE_V8)) return DIERR_DEVICENOTREG;
  *out = new DirectInput(version);
  return DI_OK;
}

void DInputHandleSdlEvent(const SDL_Event* event) {
  if (!event) return;
  switch (event->type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      int s = event->key.keysym.scancode;
      if (s <= 0 || s >= SDL_NUM_SCANCODES) return;
      bool down = event->type == SDL_KEYDOWN;
      std::lock_guard<std::mutex> hold(g_key_lock);
      if (g_scancode_down[s] == down) return;
      g_scancode_down[s] = down;
      RebuildKeyState();
      for (Device* d : g_devices)
        if (d->guid() == GUID_SysKeyboard) d->Notify();
      return;
    }
    case SDL_JOYAXISMOTION:
    case SDL_JOYHATMOTION:
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
    case SDL_JOYDEVICEREMOVED: {
      std::lock_guard<std::mutex> hold(g_key_lock);
      // Every joystick event begins with its type, time stamp and instance id.
      for (Device* d : g_devices)
        if (d->instance() == event->jaxis.which) d->Notify();
      return;
    }
    default:
      return;
  }
}

BOOL GetKeyboardState(BYTE* state) {
  if (!state) return FALSE;
  std::lock_guard<std::mutex> hold(g_key_lock);
  std::memcpy(state, g_virtual_state, 256);
  return TRUE;
}

// ---- multimedia joystick functions ----------------------------------------------------------

namespace {

struct JoyId {
  SDL_Joystick* joystick = nullptr;
};
JoyId g_joy_ids[16];

// The joystick of an id, opened on first use and reopened when another
// device took the index.
SDL_Joystick* JoystickForId(UINT id, MMRESULT* error) {
  static bool started = false;
  if (!started) {
    OpenJoystickSubsystem();
    started = true;
  }
  if (id >= 16) return *error = JOYERR_PARMS, nullptr;
  if ((int)id >= SDL_NumJoysticks()) return *error = JOYERR_UNPLUGGED, nullptr;
  SDL_Joystick*& j = g_joy_ids[id].joystick;
  SDL_JoystickID wanted = SDL_JoystickGetDeviceInstanceID((int)id);
  if (j && (!SDL_JoystickGetAttached(j) || SDL_JoystickInstanceID(j) != wanted)) {
    SDL_JoystickClose(j);
    j = nullptr;
  }
  if (!j) j = SDL_JoystickOpen((int)id);
  if (!j) *error = JOYERR_UNPLUGGED;
  return j;
}

DWORD RawPosition(SDL_Joystick* j, int axis) {
  return axis < SDL_JoystickNumAxes(j) ? (DWORD)(SDL_JoystickGetAxis(j, axis) + 32768) : 0x8000u;
}

}  // namespace

MMRESULT joyGetDevCapsA(UINT id, JOYCAPSA* caps, UINT size) {
  if (!caps || size < sizeof(JOYCAPSA)) return JOYERR_PARMS;
  MMRESULT error = JOYERR_NOERROR;
  SDL_Joystick* j = JoystickForId(id, &error);
  if (!j) return error;
  std::memset(caps, 0, sizeof *caps);
  std::string name;
  const char* utf8 = SDL_JoystickName(j);
  if (!utf8 || !vox_win32::Utf8ToCp932(utf8, &name)) name = "Joystick";
  std::snprintf(caps->szPname, sizeof caps->szPname, "%s", name.c_str());
  int axes = SDL_JoystickNumAxes(j);
  caps->wXmax = caps->wYmax = caps->wZmax = caps->wRmax = caps->wUmax = caps->wVmax = 0xFFFF;
  caps->wNumButtons = (UINT)SDL_min(SDL_JoystickNumButtons(j), 32);
  caps->wMaxButtons = 32;
  caps->wPeriodMin = 10;
  caps->wPeriodMax = 1000;
  caps->wMaxAxes = 6;
  caps->wNumAxes = (UINT)SDL_min(axes, 6);
  if (axes > 2) caps->wCaps |= JOYCAPS_HASZ;
  if (axes > 3) caps->wCaps |= JOYCAPS_HASR;
  if (axes > 4) caps->wCaps |= JOYCAPS_HASU;
  if (axes > 5) caps->wCaps |= JOYCAPS_HASV;
  if (SDL_JoystickNumHats(j) > 0) caps->wCaps |= JOYCAPS_HASPOV;
  return JOYERR_NOERROR;
}

MMRESULT joyGetPosEx(UINT id, JOYINFOEX* info) {
  if (!info || info->dwSize < sizeof(JOYINFOEX)) return JOYERR_PARMS;
  MMRESULT error = JOYERR_NOERROR;
  SDL_Joystick* j = JoystickForId(id, &error);
  if (!j) return error;
  info->dwXpos = RawPosition(j, 0);
  info->dwYpos = RawPosition(j, 1);
  info->dwZpos = RawPosition(j, 2);
  info->dwRpos = RawPosition(j, 3);
  info->dwUpos = RawPosition(j, 4);
  info->dwVpos = RawPosition(j, 5);
  info->dwButtons = 0;
  info->dwButtonNumber = 0;
  int buttons = SDL_min(SDL_JoystickNumButtons(j), 32);
  for (int b = 0; b < buttons; ++b)
    if (SDL_JoystickGetButton(j, b)) info->dwButtons |= 1u << b, ++info->dwButtonNumber;
  DWORD pov = SDL_JoystickNumHats(j) > 0 ? Device::HatToPov(SDL_JoystickGetHat(j, 0)) : 0xFFFFFFFFu;
  info->dwPOV = pov == 0xFFFFFFFFu ? JOY_POVCENTERED : pov;
  return JOYERR_NOERROR;
}

// ---- test controls -----------------------------------------------------------------------------

void DInputInjectFailure(DInputFailPoint point, int count) {
  if (point >= 0 && point < DIFAIL_POINT_COUNT) g_fail[point] = count;
}

void DInputClearFailures() { std::memset(g_fail, 0, sizeof g_fail); }

void DInputResetKeyboard() {
  std::lock_guard<std::mutex> hold(g_key_lock);
  std::memset(g_scancode_down, 0, sizeof g_scancode_down);
  RebuildKeyState();
}

int DInputRunningEffectCount() { return g_running_effects; }
