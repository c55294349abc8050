// Load-sound-from-memory fuzzer: the first byte picks the storage mode (whole
// decode into a static sound, or a stream decoding from memory), the rest is
// the file image. A loaded sound is played through the mixer for a moment,
// with the stream refill running, and deleted.
#include <cstddef>
#include <cstdint>

#include "engine/core/log.h"
#include "engine/sound/sound.h"
#include "platform/dsound/dsound_control.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = [] {
    SetLogOutput(0);
    DsSetManualMixing(1);
    return StartSoundSystem() == 0;
  }();
  if (!started || size < 1 || size > (1u << 24)) return 0;
  SetSoundStorageMode((data[0] & 1) ? 2 : 0);
  const int handle = LoadSoundImage(data + 1, int(size - 1), 2, -1);
  if (handle < 0) return 0;
  StartSoundHandle(handle, (data[0] & 2) ? SOUND_PLAY_LOOP : SOUND_PLAY_BACK, 1);
  for (int step = 0; step < 4; ++step) {
    DsMixOutput(nullptr, 4096);
    RefillAllSoundStreams();
  }
  GetSoundHandlePositionMs(handle);
  DisposeSoundHandle(handle);
  return 0;
}
