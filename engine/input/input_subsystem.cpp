// Input as the engine core sees it. Input: the devices opened after the
// main window and closed after graphics, pad vibration advanced by every
// message step and re-applied at each change of activation, the devices
// reacquired, closed while a restore of graphics has no device and opened
// again after it, and what the window procedure decodes for it (typed
// characters, editing keys, clicks and the two input flags). Text input:
// started after graphics, updated at the end of every message step, the
// input method's messages, its state re-applied when the window becomes
// active, and every text input deleted with the window.
#include "engine/core/engine_subsystem.h"
#include "engine/input/input.h"

namespace {

void SetInputFlag(int which, int on) {
  if (which == 0)
    on ? SetInputFlagA() : ClearInputFlagA();
  else
    on ? SetInputFlagB() : ClearInputFlagB();
}

}  // namespace

constinit const EngineSubsystem kInputSubsystem{
    .id = SubsystemId::Input,
    .start = OpenInputDevices,
    .end = CloseInputDevices,
    .pump = TickPadRumble,
    .queue_char = QueueCharMessage,
    .queue_edit_key = QueueEditKeyMessage,
    .log_mouse_click = LogMouseClick,
    .set_input_flag = SetInputFlag,
    .reacquire_input_devices = ReacquireInputDevices,
    .apply_pad_rumble = ApplyPadRumble,
    .device_lost = CloseInputDevices,
    .device_remade = ReopenInputDevices,
};

constinit const EngineSubsystem kTextInputSubsystem{
    .id = SubsystemId::TextInput,
    .start = StartTextInputSystem,
    .pump = UpdateTextInput,
    .message = ProcessImeMessage,
    .reapply_ime_state = ReapplyImeState,
    .delete_all_text_inputs = FreeAllTextInputs,
};
