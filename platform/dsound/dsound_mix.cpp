// The software mixer: linear interpolation at the voice's own rate, Q15 gains
// per side, 32-bit accumulation and a peak limiter at the output's ceiling.
// Common formats (8 or 16 bits, mono or stereo) have their own loops; the
// rest go through a generic frame reader.
#include "platform/dsound/dsound_mix.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/byte_order.h"

namespace {

constexpr int kChunk = 256;  // output frames accumulated at a time

// The limiter holds a lowered gain for 25 ms, a period of the lowest tone the
// effects have (the garbage's thud, near 40 Hz), so that it does not rise and
// fall again with each wave; then it comes back with a time constant of
// 100 ms.
constexpr int kLimiterHold = int(DS_OUTPUT_RATE) / 40;
const double kLimiterRelease = std::exp(-1.0 / (0.1 * DS_OUTPUT_RATE));

struct Frame {
  int32_t left, right;
};

// Reads one frame as 16-bit left and right; channels past two fold into the
// side of their parity.
Frame ReadFrameGeneric(const uint8_t* p, int channels, int bytes_per_sample) {
  int32_t sum[2] = {0, 0};
  int count[2] = {0, 0};
  for (int c = 0; c < channels; ++c) {
    const uint8_t* s = p + c * bytes_per_sample;
    // The top 16 bits of a wider sample.
    int32_t v = bytes_per_sample == 1 ? (int32_t(s[0]) - 128) << 8 : int16_t(ReadLe16(s + bytes_per_sample - 2));
    sum[c & 1] += v;
    ++count[c & 1];
  }
  if (channels == 1) return {sum[0], sum[0]};
  return {sum[0] / count[0], sum[1] / count[1]};
}

template <int Bits, int Channels>
inline Frame ReadFrame(const uint8_t* p) {
  if constexpr (Bits == 8) {
    int32_t l = (int32_t(p[0]) - 128) << 8;
    if constexpr (Channels == 1) {
      return {l, l};
    } else {
      return {l, (int32_t(p[1]) - 128) << 8};
    }
  } else {
    int32_t l = int16_t(ReadLe16(p));
    if constexpr (Channels == 1) {
      return {l, l};
    } else {
      return {l, int16_t(ReadLe16(p + 2))};
    }
  }
}

struct GenericReader {
  int channels, bytes_per_sample;
  Frame operator()(const uint8_t* p) const { return ReadFrameGeneric(p, channels, bytes_per_sample); }
};
template <int Bits, int Channels>
struct FixedReader {
  Frame operator()(const uint8_t* p) const { return ReadFrame<Bits, Channels>(p); }
};

// Mixes up to `frames` frames of one voice into acc; stops the voice at the
// end of a one-shot buffer.
template <class Reader>
void MixVoice(DsVoice& v, const Reader& read, int32_t* acc, int frames) {
  const uint32_t align = v.format.nBlockAlign;
  const uint64_t total = v.bytes / align;
  const uint64_t step = (uint64_t(v.frequency) << 32) / DS_OUTPUT_RATE;
  const int32_t gl = v.gain_left, gr = v.gain_right;
  uint64_t pos = v.position;
  for (int f = 0; f < frames; ++f) {
    uint64_t idx = pos >> 32;
    if (idx >= total) {
      if (!v.looping) {
        v.playing = false;
        pos = 0;
        break;
      }
      idx %= total;
      pos = (idx << 32) | (pos & 0xFFFFFFFFu);
    }
    uint64_t next = idx + 1;
    if (next >= total) next = v.looping ? 0 : idx;
    const Frame a = read(v.samples + idx * align);
    int32_t l = a.left, r = a.right;
    const int32_t frac = int32_t((pos >> 16) & 0xFFFF);
    if (frac) {
      const Frame b = read(v.samples + next * align);
      l += int32_t((int64_t(b.left - a.left) * frac) >> 16);
      r += int32_t((int64_t(b.right - a.right) * frac) >> 16);
    }
    acc[2 * f] += (l * gl) >> 15;
    acc[2 * f + 1] += (r * gr) >> 15;
    pos += step;
  }
  if (v.playing && (pos >> 32) >= total) {
    if (v.looping) {
      pos = (((pos >> 32) % total) << 32) | (pos & 0xFFFFFFFFu);
    } else {
      v.playing = false;
      pos = 0;
    }
  }
  v.position = pos;
}

void MixOne(DsVoice& v, int32_t* acc, int frames) {
  const int bits = v.format.wBitsPerSample, ch = v.format.nChannels;
  if (bits == 16 && ch == 2) return MixVoice(v, FixedReader<16, 2>(), acc, frames);
  if (bits == 16 && ch == 1) return MixVoice(v, FixedReader<16, 1>(), acc, frames);
  if (bits == 8 && ch == 2) return MixVoice(v, FixedReader<8, 2>(), acc, frames);
  if (bits == 8 && ch == 1) return MixVoice(v, FixedReader<8, 1>(), acc, frames);
  MixVoice(v, GenericReader{ch, bits / 8}, acc, frames);
}

// One frame of the sum through the limiter; the frame's samples.
inline void Limit(DsLimiter& limiter, const int32_t* sum, int16_t* out) {
  const int32_t peak = std::max(std::abs(sum[0]), std::abs(sum[1]));
  if (limiter.gain == 1 && peak <= DS_OUTPUT_CEILING) {
    out[0] = int16_t(sum[0]);
    out[1] = int16_t(sum[1]);
    return;
  }
  // The gain this frame needs; while frames keep needing the gain the
  // limiter has, or less, it holds.
  const double needed = peak > DS_OUTPUT_CEILING ? double(DS_OUTPUT_CEILING) / peak : 1.0;
  if (needed <= limiter.gain) {
    limiter.gain = needed;
    limiter.hold = kLimiterHold;
  } else if (limiter.hold > 0) {
    --limiter.hold;
  } else {
    limiter.gain = std::min(needed, 1 - (1 - limiter.gain) * kLimiterRelease);
    if (limiter.gain > 1 - 1.0 / 65536) limiter.gain = 1;
  }
  for (int c = 0; c < 2; ++c) {
    const double v = sum[c] * limiter.gain;
    out[c] = int16_t(std::clamp(int32_t(v + (v < 0 ? -0.5 : 0.5)), -DS_OUTPUT_CEILING, DS_OUTPUT_CEILING));
  }
}

}  // namespace

void DsMixVoices(DsVoice* const* voices, int count, int16_t* out, int frames, DsLimiter* limiter) {
  int32_t acc[kChunk * 2];
  for (int done = 0; done < frames; done += kChunk) {
    const int n = std::min(kChunk, frames - done);
    std::memset(acc, 0, sizeof(int32_t) * 2 * n);
    for (int i = 0; i < count; ++i) {
      DsVoice& v = *voices[i];
      if (!v.playing || !v.samples || v.format.nBlockAlign == 0 || v.bytes < v.format.nBlockAlign) continue;
      MixOne(v, acc, n);
    }
    // Without an output the limiter still follows the sum, as time passes.
    int16_t scratch[2];
    for (int f = 0; f < n; ++f) Limit(*limiter, &acc[2 * f], out ? &out[2 * (done + f)] : scratch);
  }
}

int32_t DsGainFromAttenuation(int32_t hundredths_of_db) {
  if (hundredths_of_db <= -10000) return 0;
  if (hundredths_of_db >= 0) return 1 << 15;
  return int32_t(std::lround(std::pow(10.0, hundredths_of_db / 2000.0) * 32768.0));
}
