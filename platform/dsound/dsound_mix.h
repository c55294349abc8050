// The software mixer: a plain function over the play state of the voices, so
// that it runs the same in the SDL audio callback, in tests and in benchmarks.
#pragma once

#include <cstdint>

#include "base/sound_levels.h"
#include "platform/acm/mmreg.h"

constexpr uint32_t DS_OUTPUT_RATE = 44100;  // the mixed output: 16-bit stereo at this rate
constexpr int DS_DEVICE_PERIOD = 512;       // output frames per audio callback
// The largest sample the mixed output holds: the speaker shares its full
// scale with the MIDI library's output (base/sound_levels.h).
constexpr int32_t DS_OUTPUT_CEILING = int32_t(kEffectsCeiling * 32768);

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

// The output's limiter, carried from one mix to the next. Where the voices
// add up to more than the ceiling, the gain drops at once to what keeps that
// frame at the ceiling; it holds there for a while and then comes back
// smoothly to 1. Below the ceiling, at gain 1, the sum passes unchanged: a
// sound heard alone keeps its level, and only what several voices make
// together is turned down, where and while they make it.
struct DsLimiter {
  double gain = 1;
  int hold = 0;  // frames until the gain may rise again
};

// Adds every playing voice into `out` (frames x 2 interleaved samples, which
// the mixer overwrites; null only advances), limited to the ceiling, and
// advances the voices. A voice that is not looping stops at its last frame
// and returns to frame 0.
void DsMixVoices(DsVoice* const* voices, int count, int16_t* out, int frames, DsLimiter* limiter);

// Q15 gain of an attenuation in hundredths of a decibel (-10000 and below is
// silence).
int32_t DsGainFromAttenuation(int32_t hundredths_of_db);
