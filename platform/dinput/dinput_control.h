// Test controls of the keyboard and pad layer: failures the real interface
// can report, injected at named points, and a reset of the keyboard state.
#pragma once

enum DInputFailPoint {
  DIFAIL_CREATE_V7,         // class creation of version 7
  DIFAIL_CREATE_V8,
  DIFAIL_INITIALIZE,        // Initialize of either version
  DIFAIL_CREATE_MOUSE,
  DIFAIL_CREATE_KEYBOARD,
  DIFAIL_KEYBOARD_FORMAT,
  DIFAIL_KEYBOARD_ACQUIRE,
  DIFAIL_KEYBOARD_EVENT,    // SetEventNotification of the keyboard
  DIFAIL_KEYBOARD_STATE,    // GetDeviceState of the keyboard
  DIFAIL_CREATE_PAD,
  DIFAIL_PAD_FORMAT,
  DIFAIL_PAD_RANGE_X,
  DIFAIL_PAD_EVENT,
  DIFAIL_PAD_STATE,         // GetDeviceState of a pad
  DIFAIL_CONSTANT_FORCE,    // CreateEffect of a constant force
  DIFAIL_SINE,
  DIFAIL_POINT_COUNT
};

// The next `count` calls at the point fail (count -1: every call until
// cleared; 0 clears).
void DInputInjectFailure(DInputFailPoint point, int count);
void DInputClearFailures();
// Releases every key of the keyboard state.
void DInputResetKeyboard();
// Number of effects started and not stopped, over all pads (for checks that
// rumble reached the pads even where SDL cannot rumble).
int DInputRunningEffectCount();
