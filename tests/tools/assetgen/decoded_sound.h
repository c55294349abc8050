// A sound file of the run folder decoded whole by the engine's own decoder,
// for the tests of the generated sounds.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/core/alloc.h"
#include "engine/core/stream.h"
#include "engine/sound/sound_decoder.h"

struct Pcm {
  int channels = 0, rate = 0;
  std::vector<int16_t> samples;  // interleaved
  size_t frames() const { return channels ? samples.size() / channels : 0; }
};

inline Pcm Decode(const std::string& path) {
  Pcm pcm;
  StreamData stream{};
  if (OpenFileStream(&stream, path.c_str()) != 0) {
    ADD_FAILURE() << "cannot open " << path;
    return pcm;
  }
  SoundDecoder decoder{};
  if (OpenSoundDecoder(&stream, &decoder) == 0) {
    WAVEFORMATEX format{};
    uint8_t* data = nullptr;
    uint32_t size = 0;
    if (DecodeSoundWhole(&decoder, &format, &data, &size) == 0 && format.wBitsPerSample == 16) {
      pcm.channels = format.nChannels;
      pcm.rate = (int)format.nSamplesPerSec;
      pcm.samples.resize(size / 2);
      std::memcpy(pcm.samples.data(), data, pcm.samples.size() * 2);
    }
    TrackedFree(data);
    CloseSoundDecoder(&decoder);
  }
  stream.ops.close(stream.data);
  EXPECT_GT(pcm.frames(), 0u) << path << " does not decode to 16-bit sound";
  return pcm;
}
