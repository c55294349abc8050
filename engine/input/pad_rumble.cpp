// Pad vibration: two force-feedback effects per pad, a per-frame tick that
// ends timed vibrations, and the step that makes the effects match the state.

#include "engine/core/log.h"
#include "engine/core/util.h"
#include "engine/input/input_internal.h"

namespace {

bool RumbleIdle() { return (!InputStarted() && !HostIsEndRequested()) || g_input.joystick_mode; }

PadRecord* PadOfDevice(int device) {
  int index = (device & ~0x1000) - 1;
  if (index < 0 || index >= g_input.pad_count) return nullptr;
  return &g_input.pads[index];
}

void SetRunning(IDirectInputEffect* effect, int* running, int want) {
  if (!effect || *running == want) return;
  if (want) effect->Start(1, 0);
  else effect->Stop();
  *running = want;
}

}  // namespace

void CreatePadEffects(PadRecord* pad, IDirectInputDevice* device) {
  DWORD axes[2] = {DIJOFS_X, DIJOFS_Y};
  LONG directions[2] = {0, 0};
  DIEFFECT effect{};
  effect.dwSize = sizeof effect;
  effect.dwDuration = INFINITE_EFFECT_DURATION;
  effect.dwGain = DI_FFNOMINALMAX;
  effect.dwTriggerButton = DIEB_NOTRIGGER;
  effect.cAxes = 2;
  effect.rgdwAxes = axes;
  effect.rglDirection = directions;

  DIENVELOPE envelope{sizeof(DIENVELOPE), 0, 500000, 0, 1000000};
  DIPERIODIC periodic{10000, 0, 0, 1500000};
  effect.dwFlags = DIEFF_POLAR | DIEFF_OBJECTOFFSETS;
  effect.lpEnvelope = &envelope;
  effect.cbTypeSpecificParams = sizeof periodic;
  effect.lpvTypeSpecificParams = &periodic;
  pad->sine = nullptr;
  device->CreateEffect(GUID_Sine, &effect, &pad->sine, nullptr);

  DICONSTANTFORCE constant{10000};
  effect.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
  effect.lpEnvelope = nullptr;
  effect.cbTypeSpecificParams = sizeof constant;
  effect.lpvTypeSpecificParams = &constant;
  pad->constant_force = nullptr;
  if (FAILED(device->CreateEffect(GUID_ConstantForce, &effect, &pad->constant_force, nullptr))) {
    pad->constant_force = nullptr;
    WriteLogText("周期的エフェクトの作成に失敗しました。\n");
  }
  pad->rumble_on = 0;
  pad->rumble_power = 10000;
  pad->constant_running = 0;
  pad->sine_running = 0;
}

int StartPadRumble(int device, int power, int milliseconds) {
  int result;
  if (!BeginInputQuery(&result)) return result < 0 ? -1 : 0;
  PadRecord* pad = PadOfDevice(device);
  if (!pad || !pad->device || !pad->constant_force || g_input.joystick_mode) return -1;
  pad->rumble_on = 1;
  pad->rumble_power = power < 0 ? 0 : power > 10000 ? 10000 : power;
  pad->rumble_duration = milliseconds;
  pad->rumble_elapsed = 0;
  pad->rumble_last_tick = GetMillisecondCount();
  ApplyPadRumble();
  return 0;
}

int HaltPadRumble(int device) {
  int result;
  if (!BeginInputQuery(&result)) return result;
  PadRecord* pad = PadOfDevice(device);
  if (!pad || !pad->device || !pad->constant_force || !pad->rumble_on) return 0;
  pad->rumble_on = 0;
  pad->rumble_power = 10000;
  ApplyPadRumble();
  return 0;
}

int TickPadRumble() {
  if (RumbleIdle()) return 0;
  int now = GetMillisecondCount();
  for (int i = 0; i < g_input.pad_count; ++i) {
    PadRecord* pad = &g_input.pads[i];
    if (!pad->rumble_on || !pad->device || pad->rumble_duration < 0 || pad->rumble_last_tick == now) continue;
    // The counter holds 31 bits; after it wraps this step adds nothing.
    if (pad->rumble_last_tick > now) pad->rumble_last_tick = now;
    pad->rumble_elapsed += now - pad->rumble_last_tick;
    pad->rumble_last_tick = now;
    if (pad->rumble_elapsed >= pad->rumble_duration) HaltPadRumble(i + 1);
  }
  ApplyPadRumble();
  return 0;
}

int ApplyPadRumble() {
  if (RumbleIdle()) return 0;
  bool active = HostIsAppActive() == 1;
  for (int i = 0; i < g_input.pad_count; ++i) {
    PadRecord* pad = &g_input.pads[i];
    if (!pad->device) continue;
    if (active) {
      SetRunning(pad->constant_force, &pad->constant_running, pad->rumble_on);
      SetRunning(pad->sine, &pad->sine_running, pad->rumble_on == 1 && pad->rumble_power > 5000);
    } else {
      if (pad->constant_force && pad->constant_running) pad->constant_force->Stop();
      if (pad->sine && pad->sine_running) pad->sine->Stop();
      pad->constant_running = pad->sine_running = 0;
    }
  }
  return 0;
}
