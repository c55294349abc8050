// Sound as the engine core sees it: the sound system started and ended with
// the engine and its stream sounds refilled by every message step; and the
// music, ended first of all sound, polled by every step and told by the main
// window when a piece ends.
#include "engine/core/engine_subsystem.h"
#include "engine/core/window.h"
#include "engine/sound/sound.h"

namespace {

// A sound played to its end waits on the engine's own message step.
int StartSound() {
  SetSoundMessageStep(ProcessWindowMessages);
  return StartSoundSystem();
}
intptr_t MusicNotify(void* window, uint32_t, uintptr_t wparam, intptr_t lparam) {
  return HandleMciNotify(window, wparam, lparam);
}

}  // namespace

constinit const EngineSubsystem kSoundSubsystem{
    .id = SubsystemId::Sound,
    .start = StartSound,
    .end = EndSoundSystem,
    .pump = RefillAllSoundStreams,
    .pump_parked = RefillAllSoundStreams,
};

constinit const EngineSubsystem kMusicSubsystem{
    .id = SubsystemId::Music,
    .end = EndFileMusic,
    .pump = PollMusicPlayback,
    .message = MusicNotify,
};
