// Small sound files made by the tests themselves: WAVE images of PCM or
// compressed data, Ogg Vorbis encoded with libvorbisenc, and MPEG audio
// frames whose zero side information decodes to silence; plus a fixture
// that starts the sound system without an audio device.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/engine_state.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "engine/sound/sound.h"
#include "platform/acm/mmreg.h"
#include "platform/dsound/dsound_control.h"
#include "tests/support/temp_dir.h"

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
inline void PutTag(Bytes& b, const char* tag) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(tag[i]));
}
inline void PutChunk(Bytes& b, const char* tag, const Bytes& body, int32_t claimed = -1) {
  PutTag(b, tag);
  Put32(b, claimed >= 0 ? uint32_t(claimed) : uint32_t(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  if (body.size() & 1) b.push_back(0);
}

inline WAVEFORMATEX PcmFormat(int channels, int rate, int bits) {
  return MakePcmWaveFormat(channels, rate, bits);
}

// "fmt " body of `fmt_size` bytes (16 drops cbSize; more pads with zeros).
inline Bytes FormatBody(const void* format, size_t record_size, size_t fmt_size) {
  Bytes body(fmt_size, 0);
  if (fmt_size) std::memcpy(body.data(), format, std::min(record_size, fmt_size));
  return body;
}

inline Bytes WaveFile(const Bytes& fmt_body, const Bytes& data, const Bytes& before_data = {},
                      int32_t claimed_data = -1) {
  Bytes riff;
  PutTag(riff, "WAVE");
  PutChunk(riff, "fmt ", fmt_body);
  riff.insert(riff.end(), before_data.begin(), before_data.end());
  PutChunk(riff, "data", data, claimed_data);
  Bytes file;
  PutTag(file, "RIFF");
  Put32(file, uint32_t(riff.size()));
  file.insert(file.end(), riff.begin(), riff.end());
  return file;
}

inline Bytes PcmWave(const WAVEFORMATEX& f, const Bytes& data, size_t fmt_size = 18) {
  return WaveFile(FormatBody(&f, sizeof f, fmt_size), data);
}

// 16-bit samples as little-endian bytes.
inline Bytes Le16(const std::vector<int16_t>& s) {
  Bytes b(s.size() * 2);
  if (!s.empty()) std::memcpy(b.data(), s.data(), b.size());
  return b;
}

// A sine of `frames` frames per channel (channel c at a slightly different
// pitch), amplitude `amp`.
inline std::vector<int16_t> Sine(int channels, int rate, int frames, double hz, double amp = 12000) {
  std::vector<int16_t> s(size_t(frames) * channels);
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      s[size_t(i) * channels + c] = int16_t(std::lround(amp * std::sin(2 * M_PI * hz * (1 + 0.25 * c) * i / rate)));
  return s;
}

// A scrambled sequence (a hash of the index): any misplaced byte shows.
inline std::vector<int16_t> Ramp(size_t count, int start = 0) {
  std::vector<int16_t> s(count);
  for (size_t i = 0; i < count; ++i) s[i] = int16_t(int16_t(uint16_t((uint32_t(start + i) * 2654435761u) >> 16)) / 2);
  return s;
}

inline double Rms(const int16_t* s, size_t n) {
  double sum = 0;
  for (size_t i = 0; i < n; ++i) sum += double(s[i]) * s[i];
  return n ? std::sqrt(sum / n) : 0;
}

// Ogg Vorbis of the given interleaved 16-bit samples; files of several
// serial numbers laid end to end make a chained file.
Bytes EncodeOggVorbis(const std::vector<int16_t>& samples, int channels, int rate, int serial = 12345);

// MPEG audio frames: `count` frames of the header's kind with zero bodies,
// which decode as silence.
Bytes MpegFrames(const uint8_t header[4], int frame_size, int count);

// A WAVE file of MPEG layer III frames with the format record the common
// tools write; `average_bytes` 0 is what they write for variable rates.
Bytes MpegWave(const Bytes& frames, int channels, int rate, uint32_t average_bytes);

// A temporary folder that holds the engine log.
class SoundLogTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    CopyStringBounded(g_engine.start_directory, dir().c_str(), sizeof g_engine.start_directory);
    StartLogFile();
  }
  void TearDown() override {
    g_engine.start_directory[0] = 0;
    TempDirTest::TearDown();
  }
};

// The sound system started over the mixer in manual mode (no audio device);
// the test drives the output with Mix().
class SoundSystemTest : public SoundLogTest {
 protected:
  void SetUp() override {
    SoundLogTest::SetUp();
    DsClearFailures();
    DsSetManualMixing(1);
    ASSERT_EQ(StartSoundSystem(), 0);
  }
  void TearDown() override {
    EndSoundSystem();
    SetSoundMessageStep(nullptr);
    SetSoundStorageMode(0);
    DsClearFailures();
    DsSetManualMixing(0);
    SoundLogTest::TearDown();
  }
  // Output frames (left, right interleaved).
  static std::vector<int16_t> Mix(int frames) {
    std::vector<int16_t> out(size_t(frames) * 2);
    DsMixOutput(out.data(), frames);
    return out;
  }
  static std::vector<int16_t> Left(const std::vector<int16_t>& lr) {
    std::vector<int16_t> l(lr.size() / 2);
    for (size_t i = 0; i < l.size(); ++i) l[i] = lr[2 * i];
    return l;
  }
  static int LoadImage(const Bytes& file, int buffers = 3, int share = -1) {
    return LoadSoundImage(file.data(), int(file.size()), buffers, share);
  }
};
