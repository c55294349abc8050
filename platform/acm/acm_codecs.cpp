#include "platform/acm/acm_codecs.h"

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"

namespace acm_codecs {
namespace {

int16_t Clamp16(int v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); }

int16_t Read16(const uint8_t* p) { return static_cast<int16_t>(ReadLe16(p)); }

constexpr int kImaSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int kImaIndexShift[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

struct ImaState {
  int sample;
  int index;
  int16_t Next(unsigned nibble) {
    const int step = kImaSteps[index];
    int diff = step >> 3;
    if (nibble & 4) diff += step;
    if (nibble & 2) diff += step >> 1;
    if (nibble & 1) diff += step >> 2;
    sample = Clamp16(nibble & 8 ? sample - diff : sample + diff);
    index = std::clamp(index + kImaIndexShift[nibble & 7], 0, 88);
    return static_cast<int16_t>(sample);
  }
};

constexpr int kMsAdapt[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                              768, 614, 512, 409, 307, 230, 230, 230};

struct MsState {
  int c1, c2, delta, s1, s2;
  int16_t Next(unsigned nibble) {
    // Coefficients come from the file: the products may pass 31 bits.
    const int predicted = static_cast<int>(
        std::clamp<int64_t>((int64_t{s1} * c1 + int64_t{s2} * c2) >> 8, -65536, 65535));
    const int signed_nibble = nibble >= 8 ? static_cast<int>(nibble) - 16 : static_cast<int>(nibble);
    const int16_t value = static_cast<int16_t>(
        std::clamp<int64_t>(predicted + int64_t{signed_nibble} * delta, -32768, 32767));
    s2 = s1;
    s1 = value;
    delta = static_cast<int>(std::clamp<int64_t>((int64_t{kMsAdapt[nibble]} * delta) >> 8, 16, 0x7FFFFFFF));
    return value;
  }
};

}  // namespace

int16_t Pcm8ToLinear(uint8_t v) { return static_cast<int16_t>((v - 128) * 256); }

int16_t ALawToLinear(uint8_t v) {
  v ^= 0x55;
  const int mantissa = v & 0x0F;
  const int segment = (v >> 4) & 7;
  int magnitude = (mantissa << 4) + 8;
  if (segment > 0) magnitude = ((mantissa << 4) + 0x108) << (segment - 1);
  return static_cast<int16_t>(v & 0x80 ? magnitude : -magnitude);
}

int16_t MuLawToLinear(uint8_t v) {
  v = static_cast<uint8_t>(~v);
  const int magnitude = (((v & 0x0F) << 3) + 0x84) << ((v >> 4) & 7);
  return static_cast<int16_t>(v & 0x80 ? 0x84 - magnitude : magnitude - 0x84);
}

unsigned ImaSamplesPerBlock(unsigned block_bytes, unsigned channels) {
  if (channels == 0 || block_bytes < 4 * channels) return 0;
  const unsigned data = block_bytes - 4 * channels;
  if (channels == 1) return data * 2 + 1;
  // Several channels interleave in runs of 4 bytes (8 samples) each.
  return data / (4 * channels) * 8 + 1;
}

unsigned MsAdpcmSamplesPerBlock(unsigned block_bytes, unsigned channels) {
  if (channels == 0 || block_bytes < 7 * channels) return 0;
  return (block_bytes - 7 * channels) * 2 / channels + 2;
}

void DecodeImaBlock(const uint8_t* block, unsigned block_bytes, unsigned channels, unsigned frames,
                    int16_t* out) {
  if (frames == 0) return;
  ImaState state[2];
  for (unsigned c = 0; c < channels; ++c) {
    state[c].sample = Read16(block + 4 * c);
    state[c].index = std::min<int>(block[4 * c + 2], 88);
    out[c] = static_cast<int16_t>(state[c].sample);
  }
  const uint8_t* data = block + 4 * channels;
  const unsigned data_bytes = block_bytes - 4 * channels;
  if (channels == 1) {
    for (unsigned i = 1; i < frames && (i - 1) / 2 < data_bytes; ++i) {
      const uint8_t byte = data[(i - 1) / 2];
      out[i] = state[0].Next((i - 1) % 2 == 0 ? byte & 0x0F : byte >> 4);
    }
    return;
  }
  // Runs of 4 bytes per channel, each holding 8 samples, low nibble first.
  for (unsigned i = 1; i < frames; ++i) {
    const unsigned k = i - 1;
    const unsigned group = k / 8, within = k % 8;
    for (unsigned c = 0; c < channels; ++c) {
      const unsigned at = group * 4 * channels + c * 4 + within / 2;
      if (at >= data_bytes) return;
      const uint8_t byte = data[at];
      out[i * channels + c] = state[c].Next(within % 2 == 0 ? byte & 0x0F : byte >> 4);
    }
  }
}

void DecodeMsAdpcmBlock(const uint8_t* block, unsigned block_bytes, unsigned channels,
                        unsigned frames, const std::vector<AdpcmCoef>& coefs, int16_t* out) {
  if (frames == 0) return;
  MsState state[2];
  for (unsigned c = 0; c < channels; ++c) {
    const unsigned predictor = block[c];
    if (predictor >= coefs.size()) {
      std::memset(out, 0, sizeof(int16_t) * frames * channels);
      return;
    }
    state[c].c1 = coefs[predictor].c1;
    state[c].c2 = coefs[predictor].c2;
    state[c].delta = Read16(block + channels + 2 * c);
    state[c].s1 = Read16(block + 3 * channels + 2 * c);
    state[c].s2 = Read16(block + 5 * channels + 2 * c);
    // The header's older sample plays first.
    out[c] = static_cast<int16_t>(state[c].s2);
    if (frames > 1) out[channels + c] = static_cast<int16_t>(state[c].s1);
  }
  const uint8_t* data = block + 7 * channels;
  const unsigned data_bytes = block_bytes - 7 * channels;
  // Nibbles run high first through the interleaved samples.
  const unsigned total = (frames > 2 ? frames - 2 : 0) * channels;
  for (unsigned n = 0; n < total && n / 2 < data_bytes; ++n) {
    const uint8_t byte = data[n / 2];
    const unsigned nibble = n % 2 == 0 ? byte >> 4 : byte & 0x0F;
    out[2 * channels + n] = state[n % channels].Next(nibble);
  }
}

bool MpegRateSupported(unsigned rate) {
  switch (rate) {
    case 44100: case 48000: case 32000:
    case 22050: case 24000: case 16000:
    case 11025: case 12000: case 8000:
      return true;
    default:
      return false;
  }
}

bool ParseMpegFrame(const uint8_t* p, MpegFrame* frame) {
  static constexpr unsigned kBitrates[2][3][16] = {
      {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
       {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
       {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
      {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
  static constexpr unsigned kRates[3] = {44100, 48000, 32000};
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  const unsigned version_bits = (p[1] >> 3) & 3;
  const unsigned layer_bits = (p[1] >> 1) & 3;
  const unsigned bitrate_index = p[2] >> 4;
  const unsigned rate_index = (p[2] >> 2) & 3;
  if (version_bits == 1 || layer_bits == 0 || bitrate_index == 0 || bitrate_index == 15 ||
      rate_index == 3)
    return false;
  MpegFrame f{};
  f.version = version_bits == 3 ? 1 : version_bits == 2 ? 2 : 25;
  f.layer = 4 - layer_bits;
  f.bitrate_kbps = kBitrates[f.version == 1 ? 0 : 1][f.layer - 1][bitrate_index];
  f.rate = kRates[rate_index] >> (f.version == 1 ? 0 : f.version == 2 ? 1 : 2);
  f.padding = (p[2] >> 1) & 1;
  f.channels = (p[3] >> 6) == 3 ? 1 : 2;
  if (f.layer == 1) {
    f.samples = 384;
    f.size = (12000 * f.bitrate_kbps / f.rate + f.padding) * 4;
  } else if (f.layer == 2 || f.version == 1) {
    f.samples = 1152;
    f.size = 144000 * f.bitrate_kbps / f.rate + f.padding;
  } else {
    f.samples = 576;
    f.size = 72000 * f.bitrate_kbps / f.rate + f.padding;
  }
  *frame = f;
  return true;
}

}  // namespace acm_codecs
