// The software mixer: a plain function over the play state of the voices, so
// that it runs the same in the SDL audio callback, in tests and in benchmarks.
#pragma once

#include <cstdint>

#include "platform/acm/mmreg.h"

constexpr uint32_t DS_OUTPUT_RATE = 44100;  // the mixed output: 16-bit stereo at this rate
constexpr int DS_DEVICE_PERIOD = 512;       // output frames per audio callback

// One playing buffer as the mixer sees it. The samples belong to the buffer;
// the mixer reads them and advances `position`, a frame index with 32
// fraction bits.
struct DsVoice {
  const uint8_t* samples;
  uint32_t bytes;
  WAVEFORMATEX format;
  uint32_t frequency;  // playback rate in Hz
  int32_t gain_left;   // 1 << 15 is unity
  int32_t gain_right;
  uint64_t position;
  bool playing;
  bool looping;
};

// Adds every playing voice into `out` (frames x 2 interleaved samples, which
// the mixer overwrites) with saturation, and advances the voices. A voice that
// is not looping stops at its last frame and returns to frame 0.
void DsMixVoices(DsVoice* const* voices, int count, int16_t* out, int frames);

// Q15 gain of an attenuation in hundredths of a decibel (-10000 and below is
// silence).
int32_t DsGainFromAttenuation(int32_t hundredths_of_db);
