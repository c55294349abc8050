// Keyboard and game-pad interfaces in the shape the engine's input module
// calls: a DirectInput-style object that lists pads and creates keyboard,
// mouse and pad devices with force-feedback effects, the Win32 keyboard state
// and the multimedia joystick functions. Keys and pads come from SDL2:
//
// - Keyboard: this layer never pumps SDL events (the window layer alone does,
//   on the main thread). It watches SDL's event queue instead (an SDL event
//   watch, installed whenever it opens SDL's joystick subsystem): every key-
//   down and key-up event that enters the queue, whether the window layer's
//   pump produced it or a program pushed it, updates one 256-byte table of
//   key codes (SDL scancodes mapped by position) and the matching virtual-key
//   table that GetKeyboardState copies out. SDL's own release events on focus
//   loss clear held keys. Nothing needs forwarding by the window layer.
// - Pads: SDL joysticks, read from SDL's joystick state as the window layer's
//   last pump left it (this layer never pumps). Axes are scaled into the range
//   and dead zone set on the device; hats become point-of-view values.
// - Vibration: the constant-force and sine effects drive SDL's rumble.
//
// Tests control failures and time through dinput_control.h.
#pragma once

#include <cstdint>

#include "platform/win32/win32.h"

typedef int32_t HRESULT;
#ifndef FAILED
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#endif

#define DI_OK ((HRESULT)0)
#define DI_NOEFFECT ((HRESULT)1)
#define DI_POLLEDDEVICE ((HRESULT)2)
#define DIERR_GENERIC ((HRESULT)0x80004005u)
#define DIERR_UNSUPPORTED ((HRESULT)0x80004001u)
#define DIERR_NOINTERFACE ((HRESULT)0x80004002u)
#define DIERR_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define DIERR_INVALIDPARAM ((HRESULT)0x80070057u)
#define DIERR_NOTACQUIRED ((HRESULT)0x8007000Cu)
#define DIERR_NOTINITIALIZED ((HRESULT)0x80070015u)
#define DIERR_INPUTLOST ((HRESULT)0x8007001Eu)
#define DIERR_DEVICENOTREG ((HRESULT)0x80040154u)
#define DIERR_NOTFOUND ((HRESULT)0x80070002u)

// Identifies a device class, a device instance or an effect kind.
struct DIGUID {
  uint32_t kind;
  uint32_t instance;  // joysticks: SDL instance id
  bool operator==(const DIGUID& o) const { return kind == o.kind && instance == o.instance; }
};
typedef const DIGUID& REFDIGUID;
extern const DIGUID GUID_SysKeyboard;
extern const DIGUID GUID_SysMouse;
extern const DIGUID GUID_Joystick;  // kind of every pad instance
extern const DIGUID GUID_ConstantForce;
extern const DIGUID GUID_Sine;

// Data formats: the size of the state record GetDeviceState fills.
struct DIDATAFORMAT {
  DWORD dwSize;
  DWORD dwDataSize;
};
extern const DIDATAFORMAT c_dfDIKeyboard;  // 256 bytes
extern const DIDATAFORMAT c_dfDIMouse2;    // 20 bytes
extern const DIDATAFORMAT c_dfDIJoystick;  // DIJOYSTATE

struct DIJOYSTATE {
  LONG lX, lY, lZ;
  LONG lRx, lRy, lRz;
  LONG rglSlider[2];
  DWORD rgdwPOV[4];  // hundredths of a degree clockwise from up; 0xFFFFFFFF centred
  BYTE rgbButtons[32];  // bit 7 while pressed
};

#define DIJOFS_X 0u
#define DIJOFS_Y 4u
#define DIJOFS_Z 8u
#define DIJOFS_RX 12u
#define DIJOFS_RY 16u
#define DIJOFS_RZ 20u

// Properties.
typedef int DIPROPID;
#define DIPROP_BUFFERSIZE 1
#define DIPROP_RANGE 4
#define DIPROP_DEADZONE 5
#define DIPH_DEVICE 0u
#define DIPH_BYOFFSET 1u
struct DIPROPHEADER {
  DWORD dwSize;
  DWORD dwHeaderSize;
  DWORD dwObj;  // object offset (DIJOFS_*) with DIPH_BYOFFSET
  DWORD dwHow;
};
struct DIPROPDWORD {
  DIPROPHEADER diph;
  DWORD dwData;
};
struct DIPROPRANGE {
  DIPROPHEADER diph;
  LONG lMin, lMax;
};

// Cooperative levels.
#define DISCL_EXCLUSIVE 0x1u
#define DISCL_NONEXCLUSIVE 0x2u
#define DISCL_FOREGROUND 0x4u
#define DISCL_BACKGROUND 0x8u

// Device listing.
#define DIDEVTYPE_JOYSTICK 4u
#define DI8DEVCLASS_GAMECTRL 4u
#define DIEDFL_ATTACHEDONLY 0x1u
#define DIENUM_STOP 0
#define DIENUM_CONTINUE 1

struct DIDEVICEINSTANCEA {
  DWORD dwSize;
  DIGUID guidInstance;
  DIGUID guidProduct;
  DWORD dwDevType;
  char tszInstanceName[260];
  char tszProductName[260];
};
typedef BOOL (*LPDIENUMDEVICESCALLBACKA)(const DIDEVICEINSTANCEA* instance, LPVOID context);

// Effects.
#define INFINITE_EFFECT_DURATION 0xFFFFFFFFu
#define DI_FFNOMINALMAX 10000
#define DIEB_NOTRIGGER 0xFFFFFFFFu
#define DIEFF_OBJECTOFFSETS 0x2u
#define DIEFF_CARTESIAN 0x10u
#define DIEFF_POLAR 0x20u
struct DIENVELOPE {
  DWORD dwSize;
  DWORD dwAttackLevel;
  DWORD dwAttackTime;  // microseconds
  DWORD dwFadeLevel;
  DWORD dwFadeTime;
};
struct DICONSTANTFORCE {
  LONG lMagnitude;
};
struct DIPERIODIC {
  DWORD dwMagnitude;
  LONG lOffset;
  DWORD dwPhase;
  DWORD dwPeriod;  // microseconds
};
struct DIEFFECT {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwDuration;  // microseconds, INFINITE_EFFECT_DURATION for ever
  DWORD dwSamplePeriod;
  DWORD dwGain;
  DWORD dwTriggerButton;
  DWORD dwTriggerRepeatInterval;
  DWORD cAxes;
  DWORD* rgdwAxes;
  LONG* rglDirection;
  DIENVELOPE* lpEnvelope;
  DWORD cbTypeSpecificParams;
  void* lpvTypeSpecificParams;
  DWORD dwStartDelay;
};

// A running effect makes the pad rumble at its magnitude times its gain: the
// constant force on the low-frequency motor, a periodic effect on the high-
// frequency one.
class IDirectInputEffect {
 public:
  virtual DWORD Release() = 0;
  virtual HRESULT Start(DWORD iterations, DWORD flags) = 0;
  virtual HRESULT Stop() = 0;

 protected:
  virtual ~IDirectInputEffect() = default;
};

class IDirectInputDevice {
 public:
  virtual DWORD Release() = 0;
  virtual HRESULT GetDeviceInfo(DIDEVICEINSTANCEA* info) = 0;
  virtual HRESULT SetDataFormat(const DIDATAFORMAT* format) = 0;
  virtual HRESULT SetCooperativeLevel(void* window, DWORD flags) = 0;
  virtual HRESULT SetProperty(DIPROPID property, const DIPROPHEADER* header) = 0;
  // The event is set whenever the device's data change.
  virtual HRESULT SetEventNotification(HANDLE event) = 0;
  virtual HRESULT Acquire() = 0;
  virtual HRESULT Unacquire() = 0;
  virtual HRESULT Poll() = 0;
  // DIERR_NOTACQUIRED before Acquire; the size must match the data format.
  virtual HRESULT GetDeviceState(DWORD size, void* data) = 0;
  virtual HRESULT CreateEffect(REFDIGUID kind, const DIEFFECT* effect, IDirectInputEffect** out,
                               void* outer) = 0;

 protected:
  virtual ~IDirectInputDevice() = default;
};

// Versions 7 and 8 behave alike here; version 7 creates its devices through
// CreateDeviceEx, version 8 through CreateDevice.
class IDirectInput {
 public:
  virtual DWORD Release() = 0;
  virtual HRESULT Initialize(HINSTANCE instance, DWORD version) = 0;
  virtual HRESULT CreateDevice(REFDIGUID guid, IDirectInputDevice** out, void* outer) = 0;
  virtual HRESULT CreateDeviceEx(REFDIGUID guid, int interface_version, IDirectInputDevice** out,
                                 void* outer) = 0;
  // Lists the attached pads in SDL's order (device type 4 only).
  virtual HRESULT EnumDevices(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID context, DWORD flags) = 0;

 protected:
  virtual ~IDirectInput() = default;
};

// What COM creation of the DirectInput class of a version (7 or 8) yields:
// an object that still needs Initialize.
HRESULT CreateDirectInputInstance(int version, IDirectInput** out);

// ---- SDL events --------------------------------------------------
union SDL_Event;
// What the event watch does with each event entering SDL's queue: keys update
// the keyboard, joystick events signal the pads' notification events.
void DInputHandleSdlEvent(const SDL_Event* event);
// Win32 virtual-key code of an SDL scancode (Japanese layout), 0 for none.
int ScancodeToVirtualKey(int scancode);
// DirectInput key code of an SDL scancode (by position), 0 for none.
int ScancodeToKeyCode(int scancode);

// ---- Win32 keyboard state -------------------------------------------------------
// 256 bytes indexed by virtual key, bit 7 while down; the generic shift,
// control and alt keys follow their left and right keys.
BOOL GetKeyboardState(BYTE* state);

// ---- multimedia joystick functions ------------------------------------------------
#define JOYERR_NOERROR 0u
#define MMSYSERR_NODRIVER 6u
#define JOYERR_PARMS 165u
#define JOYERR_UNPLUGGED 167u
#define JOYCAPS_HASZ 0x1u
#define JOYCAPS_HASR 0x2u
#define JOYCAPS_HASU 0x4u
#define JOYCAPS_HASV 0x8u
#define JOYCAPS_HASPOV 0x10u
#define JOY_RETURNX 0x1u
#define JOY_RETURNY 0x2u
#define JOY_RETURNZ 0x4u
#define JOY_RETURNR 0x8u
#define JOY_RETURNU 0x10u
#define JOY_RETURNV 0x20u
#define JOY_RETURNPOV 0x40u
#define JOY_RETURNBUTTONS 0x80u
#define JOY_RETURNALL 0xFFu
#define JOY_POVCENTERED 0xFFFFu

struct JOYCAPSA {
  WORD wMid, wPid;
  char szPname[32];
  UINT wXmin, wXmax, wYmin, wYmax, wZmin, wZmax;
  UINT wNumButtons;
  UINT wPeriodMin, wPeriodMax;
  UINT wRmin, wRmax, wUmin, wUmax, wVmin, wVmax;
  UINT wCaps;
  UINT wMaxAxes, wNumAxes, wMaxButtons;
};
struct JOYINFOEX {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwXpos, dwYpos, dwZpos, dwRpos, dwUpos, dwVpos;  // 0 to 0xFFFF, centre 0x8000
  DWORD dwButtons;
  DWORD dwButtonNumber;
  DWORD dwPOV;
  DWORD dwReserved1, dwReserved2;
};
// Joystick id n is SDL's joystick device index n.
MMRESULT joyGetDevCapsA(UINT id, JOYCAPSA* caps, UINT size);
MMRESULT joyGetPosEx(UINT id, JOYINFOEX* info);
