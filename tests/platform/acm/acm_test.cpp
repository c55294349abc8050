// Compression manager: G.711 tables, ADPCM round trips against reference
// encoders written from the formats' definitions, MPEG audio through whole
// files, the block and size rules, and the error results.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "platform/acm/acm.h"
#include "platform/acm/acm_testing.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

WAVEFORMATEX Format(WORD tag, WORD channels, DWORD rate, WORD align, WORD bits, WORD extra) {
  WAVEFORMATEX f{};
  f.wFormatTag = tag;
  f.nChannels = channels;
  f.nSamplesPerSec = rate;
  f.nBlockAlign = align;
  f.wBitsPerSample = bits;
  f.nAvgBytesPerSec = rate * align;
  f.cbSize = extra;
  return f;
}

WAVEFORMATEX Pcm16(WORD channels, DWORD rate) {
  return Format(WAVE_FORMAT_PCM, channels, rate, channels * 2, 16, 0);
}

// A whole format record (WAVEFORMATEX and its extension) as bytes.
struct FormatRecord {
  Bytes bytes;
  WAVEFORMATEX* wfx() { return reinterpret_cast<WAVEFORMATEX*>(bytes.data()); }
  template <typename T>
  void Put(const T& value) {
    const auto* p = reinterpret_cast<const uint8_t*>(&value);
    bytes.insert(bytes.end(), p, p + sizeof(T));
  }
};

// Opens a conversion to 16-bit PCM the way the sound decoder does: suggest,
// then open.
HACMSTREAM OpenToPcm(WAVEFORMATEX* src, WAVEFORMATEX* dst) {
  *dst = WAVEFORMATEX{};
  dst->wFormatTag = WAVE_FORMAT_PCM;
  EXPECT_EQ(acmFormatSuggest(nullptr, src, dst, sizeof(WAVEFORMATEX),
                             ACM_FORMATSUGGESTF_WFORMATTAG),
            MMSYSERR_NOERROR);
  HACMSTREAM has = nullptr;
  EXPECT_EQ(acmStreamOpen(&has, nullptr, src, dst, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME),
            MMSYSERR_NOERROR);
  return has;
}

struct Converted {
  DWORD used = 0;
  Bytes out;
};

// One prepare / convert / unprepare round on a header of our own.
Converted ConvertOnce(HACMSTREAM has, const uint8_t* src, DWORD src_len, DWORD dst_room,
                      DWORD flags) {
  Bytes source(src, src + src_len);
  Converted result;
  result.out.assign(dst_room, 0xEE);
  ACMSTREAMHEADER h{};
  h.cbStruct = sizeof h;
  h.pbSrc = source.data();
  h.cbSrcLength = src_len;
  h.pbDst = result.out.data();
  h.cbDstLength = dst_room;
  EXPECT_EQ(acmStreamPrepareHeader(has, &h, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(acmStreamConvert(has, &h, flags), MMSYSERR_NOERROR);
  EXPECT_TRUE(h.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE);
  EXPECT_EQ(acmStreamUnprepareHeader(has, &h, 0), MMSYSERR_NOERROR);
  EXPECT_LE(h.cbSrcLengthUsed, src_len);
  EXPECT_LE(h.cbDstLengthUsed, dst_room);
  result.used = h.cbSrcLengthUsed;
  result.out.resize(h.cbDstLengthUsed);
  return result;
}

// Converts everything the way the sound decoder reads: at most 2048 source
// bytes per step into a refill buffer, block-aligned, until a step makes
// nothing.
Bytes ConvertAll(HACMSTREAM has, const Bytes& src, DWORD refill) {
  Bytes pcm;
  size_t at = 0;
  bool first = true;
  while (at < src.size()) {
    const DWORD n = static_cast<DWORD>(std::min<size_t>(2048, src.size() - at));
    Converted c = ConvertOnce(has, src.data() + at, n, refill,
                              ACM_STREAMCONVERTF_BLOCKALIGN | (first ? ACM_STREAMCONVERTF_START : 0));
    first = false;
    pcm.insert(pcm.end(), c.out.begin(), c.out.end());
    if (c.out.empty()) break;
    at += c.used;
  }
  return pcm;
}

std::vector<int16_t> Samples(const Bytes& pcm) {
  std::vector<int16_t> s(pcm.size() / 2);
  std::memcpy(s.data(), pcm.data(), s.size() * 2);
  return s;
}

std::vector<int16_t> Sine(size_t frames, unsigned channels, double freq, double rate, double amp) {
  std::vector<int16_t> s(frames * channels);
  for (size_t i = 0; i < frames; ++i)
    for (unsigned c = 0; c < channels; ++c)
      s[i * channels + c] = static_cast<int16_t>(amp * std::sin(2 * M_PI * freq * i / rate + c));
  return s;
}

double Rms(const int16_t* s, size_t n) {
  double sum = 0;
  for (size_t i = 0; i < n; ++i) sum += double(s[i]) * s[i];
  return n ? std::sqrt(sum / n) : 0;
}

// Signal-to-noise ratio of a decoded signal against the original, in dB.
double Snr(const std::vector<int16_t>& original, const std::vector<int16_t>& decoded) {
  double signal = 0, noise = 0;
  for (size_t i = 0; i < original.size(); ++i) {
    signal += double(original[i]) * original[i];
    const double d = double(original[i]) - decoded[i];
    noise += d * d;
  }
  return 10 * std::log10(signal / std::max(noise, 1.0));
}

// ---- G.711 -----------------------------------------------------------------
// Decoded values straight from the segment/mantissa definitions.
int ALawValue(uint8_t code) {
  const int v = code ^ 0x55;
  const int e = (v >> 4) & 7, m = v & 15;
  const int magnitude = e == 0 ? (2 * m + 1) * 8 : (2 * m + 33) * 8 * (1 << (e - 1));
  return (v & 0x80) ? magnitude : -magnitude;
}
int MuLawValue(uint8_t code) {
  const int v = ~code & 0xFF;
  const int e = (v >> 4) & 7, m = v & 15;
  const int magnitude = (((2 * m + 33) << e) - 33) * 4;
  return (v & 0x80) ? -magnitude : magnitude;
}

// Encoders the other way round: a decoded value must encode to its code.
uint8_t ALawEncode(int sample) {
  int magnitude = std::min(std::abs(sample), 32767) >> 3;  // 13-bit range
  const uint8_t sign = sample >= 0 ? 0x80 : 0x00;
  int e = 0;
  if (magnitude >= 32) {
    e = 1;
    while (magnitude >= (64 << (e - 1)) && e < 7) ++e;
  }
  const int m = e == 0 ? (magnitude >> 1) & 15 : (magnitude >> e) & 15;
  return static_cast<uint8_t>((sign | (e << 4) | m) ^ 0x55);
}
uint8_t MuLawEncode(int sample) {
  const uint8_t sign = sample < 0 ? 0x80 : 0x00;
  int magnitude = std::min(std::abs(sample) / 4 + 33, 8191);
  int e = 0;
  while (magnitude >= (64 << e) && e < 7) ++e;
  const int m = (magnitude >> (e + 1)) & 15;
  return static_cast<uint8_t>(~(sign | (e << 4) | m));
}

TEST(AcmLaw, FullTablesMatchTheDefinitions) {
  struct Case {
    WORD tag;
    int (*value)(uint8_t);
    uint8_t (*encode)(int);
  } cases[] = {{WAVE_FORMAT_ALAW, ALawValue, ALawEncode},
               {WAVE_FORMAT_MULAW, MuLawValue, MuLawEncode}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    WAVEFORMATEX src = Format(c.tag, 1, 8000, 1, 8, 0), dst;
    HACMSTREAM has = OpenToPcm(&src, &dst);
    EXPECT_EQ(dst.wBitsPerSample, 16);
    EXPECT_EQ(dst.nSamplesPerSec, 8000u);
    Bytes codes(256);
    for (int i = 0; i < 256; ++i) codes[i] = static_cast<uint8_t>(i);
    Converted r = ConvertOnce(has, codes.data(), 256, 512, 0);
    EXPECT_EQ(r.used, 256u);
    ASSERT_EQ(r.out.size(), 512u);
    std::vector<int16_t> s = Samples(r.out);
    for (int i = 0; i < 256; ++i) {
      EXPECT_EQ(s[i], c.value(static_cast<uint8_t>(i))) << "code " << i;
      if (c.tag == WAVE_FORMAT_MULAW && i == 0x7F) continue;  // the second zero
      EXPECT_EQ(c.encode(s[i]), i) << "code " << i;
    }
    EXPECT_EQ(acmStreamClose(has, 0), MMSYSERR_NOERROR);
  }
  // Known points: silence and the extremes.
  EXPECT_EQ(ALawValue(0xD5), 8);
  EXPECT_EQ(ALawValue(0x2A), -32256);
  EXPECT_EQ(MuLawValue(0xFF), 0);
  EXPECT_EQ(MuLawValue(0x00), -32124);
}

TEST(AcmLaw, StereoConvertsWholeFramesOnly) {
  WAVEFORMATEX src = Format(WAVE_FORMAT_MULAW, 2, 8000, 2, 8, 0), dst;
  HACMSTREAM has = OpenToPcm(&src, &dst);
  const uint8_t codes[5] = {0xFF, 0x80, 0x00, 0x7F, 0x12};
  Converted r = ConvertOnce(has, codes, 5, 64, 0);
  EXPECT_EQ(r.used, 4u);  // the odd byte is half a frame
  ASSERT_EQ(r.out.size(), 8u);
  EXPECT_EQ(Samples(r.out), (std::vector<int16_t>{0, 32124, -32124, 0}));
  // The destination bounds the work too: room for one frame takes one frame.
  r = ConvertOnce(has, codes, 4, 5, 0);
  EXPECT_EQ(r.used, 2u);
  EXPECT_EQ(r.out.size(), 4u);
  acmStreamClose(has, 0);
}

// ---- IMA ADPCM -------------------------------------------------------------
constexpr int kImaStep[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int kImaIndex[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

struct ImaEncoder {
  int predicted = 0, index = 0;
  // Quantises one sample and tracks what the decoder will reconstruct.
  uint8_t Encode(int x, int16_t* reconstructed) {
    const int step = kImaStep[index];
    int diff = x - predicted;
    uint8_t nibble = 0;
    if (diff < 0) {
      nibble = 8;
      diff = -diff;
    }
    int delta = step >> 3;
    if (diff >= step) { nibble |= 4; diff -= step; delta += step; }
    if (diff >= step / 2) { nibble |= 2; diff -= step / 2; delta += step >> 1; }
    if (diff >= step / 4) { nibble |= 1; delta += step >> 2; }
    predicted = std::clamp(nibble & 8 ? predicted - delta : predicted + delta, -32768, 32767);
    index = std::clamp(index + kImaIndex[nibble], 0, 88);
    *reconstructed = static_cast<int16_t>(predicted);
    return nibble;
  }
};

// Encodes interleaved samples into IMA blocks; `expected` receives what a
// decoder must give back.
Bytes EncodeIma(const std::vector<int16_t>& s, unsigned ch, unsigned align,
                std::vector<int16_t>* expected) {
  const unsigned spb = ch == 1 ? (align - 4) * 2 + 1 : (align - 4 * ch) / (4 * ch) * 8 + 1;
  const size_t frames = s.size() / ch;
  ImaEncoder enc[2];
  Bytes out;
  expected->clear();
  for (size_t start = 0; start + spb <= frames; start += spb) {
    Bytes block(align, 0);
    std::vector<int16_t> rec(spb * ch);
    for (unsigned c = 0; c < ch; ++c) {
      enc[c].predicted = s[start * ch + c];
      const int16_t first = s[start * ch + c];
      std::memcpy(&block[4 * c], &first, 2);
      block[4 * c + 2] = static_cast<uint8_t>(enc[c].index);
      rec[c] = first;
    }
    for (unsigned i = 1; i < spb; ++i) {
      for (unsigned c = 0; c < ch; ++c) {
        const uint8_t nib = enc[c].Encode(s[(start + i) * ch + c], &rec[i * ch + c]);
        const unsigned k = i - 1;
        const unsigned at = ch == 1 ? 4 + k / 2 : 4 * ch + (k / 8) * 4 * ch + c * 4 + (k % 8) / 2;
        block[at] |= (k % 2 == 0) ? nib : static_cast<uint8_t>(nib << 4);
      }
    }
    out.insert(out.end(), block.begin(), block.end());
    expected->insert(expected->end(), rec.begin(), rec.end());
  }
  return out;
}

FormatRecord ImaFormat(WORD ch, DWORD rate, WORD align) {
  FormatRecord r;
  WAVEFORMATEX f = Format(WAVE_FORMAT_IMA_ADPCM, ch, rate, align, 4, 2);
  WORD spb = static_cast<WORD>(ch == 1 ? (align - 4) * 2 + 1 : (align - 4 * ch) / (4 * ch) * 8 + 1);
  f.nAvgBytesPerSec = rate * align / spb;
  r.Put(f);
  r.Put(spb);
  return r;
}

TEST(AcmImaAdpcm, RoundTripMatchesTheReferenceEncoder) {
  for (WORD ch : {1, 2}) {
    SCOPED_TRACE(ch);
    const WORD align = 256 * ch;
    FormatRecord fmt = ImaFormat(ch, 22050, align);
    const unsigned spb = ch == 1 ? 505 : 505;
    std::vector<int16_t> pcm = Sine(spb * 6, ch, 440, 22050, 12000);
    std::vector<int16_t> expected;
    Bytes coded = EncodeIma(pcm, ch, align, &expected);
    ASSERT_EQ(coded.size(), 6u * align);
    WAVEFORMATEX dst;
    HACMSTREAM has = OpenToPcm(fmt.wfx(), &dst);
    EXPECT_EQ(dst.nChannels, ch);
    Bytes out = ConvertAll(has, coded, 22050 * 2 * ch);
    EXPECT_EQ(Samples(out), expected);
    EXPECT_GT(Snr(pcm, Samples(out)), 25.0);
    DWORD size = 0;
    EXPECT_EQ(acmStreamSize(has, static_cast<DWORD>(coded.size()), &size, ACM_STREAMSIZEF_SOURCE),
              MMSYSERR_NOERROR);
    EXPECT_EQ(size, out.size());
    EXPECT_EQ(acmStreamClose(has, 0), MMSYSERR_NOERROR);
  }
}

TEST(AcmImaAdpcm, PartBlockOnlyAtTheEndWithoutBlockAlign) {
  const WORD align = 256;
  FormatRecord fmt = ImaFormat(1, 8000, align);
  std::vector<int16_t> pcm = Sine(505 * 2, 1, 300, 8000, 9000);
  std::vector<int16_t> expected;
  Bytes coded = EncodeIma(pcm, 1, align, &expected);
  WAVEFORMATEX dst;
  HACMSTREAM has = OpenToPcm(fmt.wfx(), &dst);
  const DWORD cut = align + 100;  // one block and 100 bytes of the next
  Converted aligned = ConvertOnce(has, coded.data(), cut, 8192,
                                  ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_END);
  EXPECT_EQ(aligned.used, align);
  EXPECT_EQ(aligned.out.size(), 505u * 2);
  Converted plain = ConvertOnce(has, coded.data(), cut, 8192, 0);
  EXPECT_EQ(plain.used, align);  // more source may follow: the part waits
  Converted end = ConvertOnce(has, coded.data(), cut, 8192, ACM_STREAMCONVERTF_END);
  EXPECT_EQ(end.used, cut);
  const size_t tail = (100 - 4) * 2 + 1;
  ASSERT_EQ(end.out.size(), (505 + tail) * 2);
  std::vector<int16_t> got = Samples(end.out);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin()));
  acmStreamClose(has, 0);
}

// ---- Microsoft ADPCM -------------------------------------------------------
constexpr int kMsCoef[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64},
                               {240, 0}, {460, -208}, {392, -232}};
constexpr int kMsAdapt[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                              768, 614, 512, 409, 307, 230, 230, 230};

struct MsChannel {
  int c1, c2, delta, s1, s2;
  uint8_t Encode(int x, int16_t* reconstructed) {
    const int predicted = (s1 * c1 + s2 * c2) >> 8;
    const int err = x - predicted;
    int nib = static_cast<int>(std::lround(double(err) / delta));
    nib = std::clamp(nib, -8, 7);
    const int value = std::clamp(predicted + nib * delta, -32768, 32767);
    s2 = s1;
    s1 = value;
    const uint8_t code = static_cast<uint8_t>(nib & 15);
    delta = std::max(16, (kMsAdapt[code] * delta) >> 8);
    *reconstructed = static_cast<int16_t>(value);
    return code;
  }
};

// Encodes one channel's run through a block with the given predictor;
// returns the squared error.
double TryMsPredictor(const std::vector<int16_t>& s, unsigned ch, unsigned c, size_t start,
                      unsigned spb, int predictor, int delta) {
  MsChannel m{kMsCoef[predictor][0], kMsCoef[predictor][1], delta, s[(start + 1) * ch + c],
              s[start * ch + c]};
  double err = 0;
  for (unsigned i = 2; i < spb; ++i) {
    int16_t rec;
    m.Encode(s[(start + i) * ch + c], &rec);
    const double d = double(rec) - s[(start + i) * ch + c];
    err += d * d;
  }
  return err;
}

Bytes EncodeMsAdpcm(const std::vector<int16_t>& s, unsigned ch, unsigned align,
                    std::vector<int16_t>* expected) {
  const unsigned spb = (align - 7 * ch) * 2 / ch + 2;
  const size_t frames = s.size() / ch;
  Bytes out;
  expected->clear();
  for (size_t start = 0; start + spb <= frames; start += spb) {
    Bytes block(align, 0);
    std::vector<int16_t> rec(spb * ch);
    MsChannel m[2];
    for (unsigned c = 0; c < ch; ++c) {
      const int delta = std::max(16, std::abs(s[(start + 1) * ch + c] - s[start * ch + c]) / 2);
      int best = 0;
      for (int p = 1; p < 7; ++p)
        if (TryMsPredictor(s, ch, c, start, spb, p, delta) <
            TryMsPredictor(s, ch, c, start, spb, best, delta))
          best = p;
      m[c] = {kMsCoef[best][0], kMsCoef[best][1], delta, s[(start + 1) * ch + c], s[start * ch + c]};
      block[c] = static_cast<uint8_t>(best);
      const int16_t d16 = static_cast<int16_t>(delta);
      std::memcpy(&block[ch + 2 * c], &d16, 2);
      std::memcpy(&block[3 * ch + 2 * c], &s[(start + 1) * ch + c], 2);
      std::memcpy(&block[5 * ch + 2 * c], &s[start * ch + c], 2);
      rec[c] = s[start * ch + c];
      rec[ch + c] = s[(start + 1) * ch + c];
    }
    unsigned n = 0;
    for (unsigned i = 2; i < spb; ++i)
      for (unsigned c = 0; c < ch; ++c, ++n) {
        const uint8_t code = m[c].Encode(s[(start + i) * ch + c], &rec[i * ch + c]);
        block[7 * ch + n / 2] |= n % 2 == 0 ? static_cast<uint8_t>(code << 4) : code;
      }
    out.insert(out.end(), block.begin(), block.end());
    expected->insert(expected->end(), rec.begin(), rec.end());
  }
  return out;
}

FormatRecord MsAdpcmFormat(WORD ch, DWORD rate, WORD align) {
  FormatRecord r;
  const WORD spb = static_cast<WORD>((align - 7 * ch) * 2 / ch + 2);
  WAVEFORMATEX f = Format(WAVE_FORMAT_ADPCM, ch, rate, align, 4, 32);
  f.nAvgBytesPerSec = rate * align / spb;
  r.Put(f);
  r.Put(spb);
  r.Put(WORD{7});
  for (const auto& c : kMsCoef) {
    r.Put(static_cast<int16_t>(c[0]));
    r.Put(static_cast<int16_t>(c[1]));
  }
  return r;
}

TEST(AcmMsAdpcm, RoundTripMatchesTheReferenceEncoder) {
  std::mt19937 rng(1234);
  std::printf("seed 1234\n");
  for (WORD ch : {1, 2}) {
    SCOPED_TRACE(ch);
    const WORD align = 256 * ch;
    const unsigned spb = (align - 7 * ch) * 2 / ch + 2;
    std::vector<int16_t> pcm = Sine(spb * 5, ch, 523, 22050, 10000);
    std::uniform_int_distribution<int> noise(-300, 300);
    for (auto& v : pcm) v = static_cast<int16_t>(v + noise(rng));
    std::vector<int16_t> expected;
    Bytes coded = EncodeMsAdpcm(pcm, ch, align, &expected);
    FormatRecord fmt = MsAdpcmFormat(ch, 22050, align);
    WAVEFORMATEX dst;
    HACMSTREAM has = OpenToPcm(fmt.wfx(), &dst);
    Bytes out = ConvertAll(has, coded, 22050 * 2 * ch);
    EXPECT_EQ(Samples(out), expected);
    EXPECT_GT(Snr(pcm, Samples(out)), 20.0);

    // A part-block at the end decodes to the samples its bytes hold.
    const DWORD cut = align * 2 + 7 * ch + 10;
    Converted end = ConvertOnce(has, coded.data(), cut, 65536, ACM_STREAMCONVERTF_END);
    EXPECT_EQ(end.used, cut);
    const size_t tail = 2 + 10 * 2 / ch;
    ASSERT_EQ(end.out.size(), (2 * spb + tail) * ch * 2);
    std::vector<int16_t> got = Samples(end.out);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin()));
    EXPECT_EQ(acmStreamClose(has, 0), MMSYSERR_NOERROR);
  }
}

TEST(AcmMsAdpcm, BadPredictorIndexDecodesSilence) {
  const WORD align = 64;
  FormatRecord fmt = MsAdpcmFormat(1, 8000, align);
  Bytes block(align, 0x77);
  block[0] = 9;  // only seven coefficient pairs exist
  WAVEFORMATEX dst;
  HACMSTREAM has = OpenToPcm(fmt.wfx(), &dst);
  Converted r = ConvertOnce(has, block.data(), align, 4096, 0);
  EXPECT_EQ(r.used, align);
  std::vector<int16_t> s = Samples(r.out);
  ASSERT_EQ(s.size(), (align - 7u) * 2 + 2);
  EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](int16_t v) { return v == 0; }));
  acmStreamClose(has, 0);
}

// ---- sizes -----------------------------------------------------------------
TEST(AcmSize, WholeBlocksBothWays) {
  FormatRecord ima = ImaFormat(1, 22050, 512);  // 1017 samples per block
  WAVEFORMATEX alaw = Format(WAVE_FORMAT_ALAW, 2, 8000, 2, 8, 0);
  WAVEFORMATEX pcm8 = Format(WAVE_FORMAT_PCM, 1, 11025, 1, 8, 0);
  struct Case {
    WAVEFORMATEX* src;
    DWORD input;
    DWORD query;
    MMRESULT result;
    DWORD output;
  } cases[] = {
      {ima.wfx(), 512 * 3, ACM_STREAMSIZEF_SOURCE, MMSYSERR_NOERROR, 1017 * 2 * 3},
      {ima.wfx(), 512 * 3 + 511, ACM_STREAMSIZEF_SOURCE, MMSYSERR_NOERROR, 1017 * 2 * 3},
      {ima.wfx(), 511, ACM_STREAMSIZEF_SOURCE, ACMERR_NOTPOSSIBLE, 0},
      {ima.wfx(), 1017 * 2 * 2 + 5, ACM_STREAMSIZEF_DESTINATION, MMSYSERR_NOERROR, 1024},
      {ima.wfx(), 1017 * 2 - 1, ACM_STREAMSIZEF_DESTINATION, ACMERR_NOTPOSSIBLE, 0},
      {&alaw, 101, ACM_STREAMSIZEF_SOURCE, MMSYSERR_NOERROR, 200},
      {&alaw, 203, ACM_STREAMSIZEF_DESTINATION, MMSYSERR_NOERROR, 100},
      {&pcm8, 10, ACM_STREAMSIZEF_SOURCE, MMSYSERR_NOERROR, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    WAVEFORMATEX dst;
    HACMSTREAM has = OpenToPcm(c.src, &dst);
    DWORD out = 0;
    EXPECT_EQ(acmStreamSize(has, c.input, &out, c.query), c.result);
    if (c.result == MMSYSERR_NOERROR) {
      EXPECT_EQ(out, c.output);
    }
    acmStreamClose(has, 0);
  }
}

TEST(AcmPcm, EightBitWidensToSixteen) {
  WAVEFORMATEX src = Format(WAVE_FORMAT_PCM, 1, 11025, 1, 8, 0), dst;
  HACMSTREAM has = OpenToPcm(&src, &dst);
  const uint8_t in[3] = {0, 128, 255};
  Converted r = ConvertOnce(has, in, 3, 6, 0);
  EXPECT_EQ(Samples(r.out), (std::vector<int16_t>{-32768, 0, 32512}));
  acmStreamClose(has, 0);
}

// Less than one frame of 16-bit data converts nothing, and copies nothing:
// the sanitizer build stops on a copy through the empty run's null pointer.
TEST(AcmPcm, SixteenBitBelowOneFrameMakesNothing) {
  WAVEFORMATEX src = Pcm16(2, 22050), dst;
  HACMSTREAM has = OpenToPcm(&src, &dst);
  const uint8_t in[3] = {1, 2, 3};
  Converted r = ConvertOnce(has, in, 3, 64, ACM_STREAMCONVERTF_BLOCKALIGN);
  EXPECT_EQ(r.used, 0u);
  EXPECT_TRUE(r.out.empty());
  r = ConvertOnce(has, in, 3, 3, 0);  // nor when the room is below a frame
  EXPECT_TRUE(r.out.empty());
  acmStreamClose(has, 0);
}

// ---- MPEG audio ------------------------------------------------------------
Bytes ReadFixture(const char* name) {
  std::ifstream f(SourceDir() + "/tests/platform/acm/data/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

// The record the sound decoder builds from a stream's first frame.
MPEGLAYER3WAVEFORMAT Layer3Format(WORD ch, DWORD rate, DWORD kbps, WORD frame_size) {
  MPEGLAYER3WAVEFORMAT f{};
  f.wfx = Format(WAVE_FORMAT_MPEGLAYER3, ch, rate, 1, 0, MPEGLAYER3_WFX_EXTRA_BYTES);
  f.wfx.nAvgBytesPerSec = kbps * 1000 / 8;
  f.wID = MPEGLAYER3_ID_MPEG;
  f.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
  f.nBlockSize = frame_size;
  f.nFramesPerBlock = 1;
  f.nCodecDelay = 700;
  return f;
}

// Sample frames per frame summed over a stream of fixed-rate MPEG-1/2
// layer III frames, walked by the header formula.
size_t Layer3Samples(const Bytes& data) {
  static const int kRates[2][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}};
  static const int kKbps[2][16] = {
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}};
  size_t at = 0, total = 0;
  while (at + 4 <= data.size() && data[at] == 0xFF) {
    const bool mpeg1 = data[at + 1] & 8;
    const int rate = kRates[mpeg1 ? 0 : 1][(data[at + 2] >> 2) & 3];
    const int kbps = kKbps[mpeg1 ? 0 : 1][data[at + 2] >> 4];
    const int pad = (data[at + 2] >> 1) & 1;
    at += (mpeg1 ? 144000 : 72000) * kbps / rate + pad;
    total += mpeg1 ? 1152 : 576;
  }
  EXPECT_EQ(at, data.size());
  return total;
}

TEST(AcmMpeg, WholeFilesDecodeEveryFrameAtTheirLevel) {
  struct Case {
    const char* file;
    WORD ch;
    DWORD rate;
    DWORD kbps;
    WORD frame;
  } cases[] = {{"tone16k_mono.mp3", 1, 16000, 32, 144},
               {"tone44k_stereo.mp3", 2, 44100, 96, 313}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Bytes mp3 = ReadFixture(c.file);
    ASSERT_FALSE(mp3.empty());
    const size_t frames = Layer3Samples(mp3);
    MPEGLAYER3WAVEFORMAT fmt = Layer3Format(c.ch, c.rate, c.kbps, c.frame);
    WAVEFORMATEX dst;
    HACMSTREAM has = OpenToPcm(&fmt.wfx, &dst);
    EXPECT_EQ(dst.nChannels, c.ch);
    EXPECT_EQ(dst.nSamplesPerSec, c.rate);
    // A roomy refill (4/3 s) and a tight one (room for one frame and a bit)
    // both deliver every frame.
    for (DWORD refill : {dst.nAvgBytesPerSec * 4 / 3, 1152u * dst.nBlockAlign + 7}) {
      SCOPED_TRACE(refill);
      Bytes out = ConvertAll(has, mp3, refill);
      EXPECT_EQ(out.size(), frames * dst.nBlockAlign);
      std::vector<int16_t> s = Samples(out);
      // The tone was encoded at amplitude 12000: RMS about 8485, away from
      // the edges where the codec fades in and out.
      const size_t skip = s.size() / 4;
      const double rms = Rms(s.data() + skip, s.size() - 2 * skip);
      EXPECT_NEAR(rms, 8485, 8485 * 0.15);
    }
    EXPECT_EQ(acmStreamClose(has, 0), MMSYSERR_NOERROR);
  }
}

TEST(AcmMpeg, RestartGivesTheSameBytes) {
  Bytes mp3 = ReadFixture("tone44k_stereo.mp3");
  ASSERT_GT(mp3.size(), 2048u);
  MPEGLAYER3WAVEFORMAT fmt = Layer3Format(2, 44100, 96, 313);
  WAVEFORMATEX dst;
  HACMSTREAM has = OpenToPcm(&fmt.wfx, &dst);
  // Read part way, then start again from the first frame.
  Converted part = ConvertOnce(has, mp3.data(), 2048, 40000, ACM_STREAMCONVERTF_BLOCKALIGN);
  EXPECT_GT(part.used, 0u);
  EXPECT_LE(part.used, 2048u);
  Bytes first = ConvertAll(has, mp3, 40000);
  Bytes again = ConvertAll(has, mp3, 40000);
  EXPECT_EQ(first, again);
  EXPECT_TRUE(std::equal(part.out.begin(), part.out.end(), first.begin()));
  acmStreamClose(has, 0);
}

TEST(AcmMpeg, CutFrameIsLeftForTheNextCall) {
  Bytes mp3 = ReadFixture("tone16k_mono.mp3");
  ASSERT_GT(mp3.size(), 144u * 4);
  MPEGLAYER3WAVEFORMAT fmt = Layer3Format(1, 16000, 32, 144);
  WAVEFORMATEX dst;
  HACMSTREAM has = OpenToPcm(&fmt.wfx, &dst);
  Converted r = ConvertOnce(has, mp3.data(), 144 * 3 + 50, 65536, ACM_STREAMCONVERTF_START);
  EXPECT_EQ(r.used, 144u * 3);
  EXPECT_EQ(r.out.size(), 576u * 3 * 2);
  // Junk that holds no header is used up and makes nothing.
  const uint8_t junk[40] = {1, 2, 3};
  r = ConvertOnce(has, junk, sizeof junk, 65536, 0);
  EXPECT_EQ(r.used, sizeof junk);
  EXPECT_TRUE(r.out.empty());
  acmStreamClose(has, 0);
}

// Layer I and II frames whose bit allocations are all zero: valid silence.
Bytes SilentFrames(uint8_t b1, uint8_t b2, uint8_t b3, size_t size, int count) {
  Bytes out;
  for (int i = 0; i < count; ++i) {
    Bytes frame(size, 0);
    frame[0] = 0xFF;
    frame[1] = b1;
    frame[2] = b2;
    frame[3] = b3;
    out.insert(out.end(), frame.begin(), frame.end());
  }
  return out;
}

TEST(AcmMpeg, LayersOneAndTwoDecodeToTheirFrameLengths) {
  struct Case {
    const char* name;
    uint8_t b1, b2;
    size_t frame_size;
    size_t samples;
    DWORD rate;
    DWORD kbps;
  } cases[] = {
      // MPEG-1 layer I, 128 kbit/s (index 4), 44100 Hz: (12000*128/44100)*4 = 136.
      {"layer I", 0xFF, 0x40, 136, 384, 44100, 128},
      // MPEG-1 layer II, 192 kbit/s (index 10), 48000 Hz: 144000*192/48000 = 576.
      {"layer II", 0xFD, 0xA4, 576, 1152, 48000, 192},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes data = SilentFrames(c.b1, c.b2, 0xC0, c.frame_size, 10);  // mono
    MPEGLAYER3WAVEFORMAT fmt =
        Layer3Format(1, c.rate, c.kbps, static_cast<WORD>(c.frame_size));
    WAVEFORMATEX dst;
    HACMSTREAM has = OpenToPcm(&fmt.wfx, &dst);
    Bytes out = ConvertAll(has, data, dst.nAvgBytesPerSec);
    EXPECT_EQ(out.size(), 10 * c.samples * 2);
    std::vector<int16_t> s = Samples(out);
    EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](int16_t v) { return v == 0; }));
    acmStreamClose(has, 0);
  }
}

// ---- errors ----------------------------------------------------------------
TEST(AcmErrors, FormatsThatCannotConvert) {
  WAVEFORMATEX dst;
  WAVEFORMATEX gsm = Format(0x0031, 1, 8000, 65, 0, 2);
  EXPECT_EQ(acmFormatSuggest(nullptr, &gsm, &dst, sizeof dst, 0), ACMERR_NOTPOSSIBLE);
  WAVEFORMATEX alaw = Format(WAVE_FORMAT_ALAW, 1, 8000, 1, 8, 0);
  dst = Pcm16(1, 8000);
  dst.wFormatTag = WAVE_FORMAT_ALAW;
  EXPECT_EQ(acmFormatSuggest(nullptr, &alaw, &dst, sizeof dst, ACM_FORMATSUGGESTF_WFORMATTAG),
            ACMERR_NOTPOSSIBLE);
  EXPECT_EQ(acmFormatSuggest(nullptr, &alaw, &dst, sizeof dst, 0x1), MMSYSERR_INVALFLAG);
  EXPECT_EQ(acmFormatSuggest(nullptr, &alaw, &dst, 15, 0), MMSYSERR_INVALPARAM);
  EXPECT_EQ(acmFormatSuggest(nullptr, nullptr, &dst, sizeof dst, 0), MMSYSERR_INVALPARAM);

  HACMSTREAM has = reinterpret_cast<HACMSTREAM>(1);
  WAVEFORMATEX wrong_rate = Pcm16(1, 44100);
  EXPECT_EQ(acmStreamOpen(&has, nullptr, &alaw, &wrong_rate, nullptr, 0, 0, 0),
            ACMERR_NOTPOSSIBLE);
  EXPECT_EQ(has, nullptr);
  WAVEFORMATEX out = Pcm16(1, 8000);
  EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &alaw, &out, nullptr, 0, 0, ACM_STREAMOPENF_QUERY),
            MMSYSERR_NOERROR);
  EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &alaw, &out, nullptr, 0, 0, 0), MMSYSERR_INVALPARAM);
  EXPECT_EQ(acmStreamOpen(&has, nullptr, &alaw, &out, nullptr, 0, 0, ACM_STREAMOPENF_ASYNC),
            MMSYSERR_NOTSUPPORTED);
  EXPECT_EQ(acmStreamOpen(&has, nullptr, &alaw, &out, nullptr, 0, 0, 0x100), MMSYSERR_INVALFLAG);
  // An IMA record whose samples per block cannot fit its block.
  FormatRecord ima = ImaFormat(1, 8000, 256);
  WORD too_many = 600;
  std::memcpy(ima.bytes.data() + sizeof(WAVEFORMATEX), &too_many, 2);
  EXPECT_EQ(acmStreamOpen(&has, nullptr, ima.wfx(), &out, nullptr, 0, 0, 0), ACMERR_NOTPOSSIBLE);

  DWORD metric = 0;
  EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &metric), MMSYSERR_NOERROR);
  EXPECT_GE(metric, sizeof(MPEGLAYER3WAVEFORMAT));
  EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_COUNT_DRIVERS, &metric), MMSYSERR_NOTSUPPORTED);
}

TEST(AcmErrors, HeadersAndHandles) {
  WAVEFORMATEX src = Format(WAVE_FORMAT_MULAW, 1, 8000, 1, 8, 0), dst;
  HACMSTREAM has = OpenToPcm(&src, &dst);
  uint8_t in[16] = {}, out[32];
  ACMSTREAMHEADER h{};
  h.cbStruct = sizeof h;
  h.pbSrc = in;
  h.cbSrcLength = sizeof in;
  h.pbDst = out;
  h.cbDstLength = sizeof out;
  EXPECT_EQ(acmStreamConvert(has, &h, 0), ACMERR_UNPREPARED);
  EXPECT_EQ(acmStreamUnprepareHeader(has, &h, 0), ACMERR_UNPREPARED);
  ACMSTREAMHEADER small = h;
  small.cbStruct = sizeof h - 1;
  EXPECT_EQ(acmStreamPrepareHeader(has, &small, 0), MMSYSERR_INVALPARAM);
  EXPECT_EQ(acmStreamPrepareHeader(has, &h, 1), MMSYSERR_INVALFLAG);
  ASSERT_EQ(acmStreamPrepareHeader(has, &h, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(acmStreamClose(has, 0), ACMERR_BUSY);
  EXPECT_EQ(acmStreamConvert(has, &h, 0x1000), MMSYSERR_INVALFLAG);
  h.cbSrcLength = sizeof in + 1;
  EXPECT_EQ(acmStreamConvert(has, &h, 0), MMSYSERR_INVALPARAM);
  h.cbSrcLength = 4;  // shorter than prepared is fine for a conversion
  EXPECT_EQ(acmStreamConvert(has, &h, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(h.cbSrcLengthUsed, 4u);
  EXPECT_EQ(acmStreamUnprepareHeader(has, &h, 0), MMSYSERR_INVALPARAM);
  h.cbSrcLength = sizeof in;
  EXPECT_EQ(acmStreamUnprepareHeader(has, &h, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(acmStreamClose(has, 0), MMSYSERR_NOERROR);
  // The handle is gone now.
  DWORD size;
  EXPECT_EQ(acmStreamSize(has, 100, &size, 0), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(acmStreamPrepareHeader(has, &h, 0), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(acmStreamClose(has, 0), MMSYSERR_INVALHANDLE);
}

TEST(AcmErrors, InjectedFailuresHitOnlyTheNextCall) {
  WAVEFORMATEX src = Format(WAVE_FORMAT_ALAW, 1, 8000, 1, 8, 0);
  WAVEFORMATEX dst = Pcm16(1, 8000);
  HACMSTREAM has = nullptr;
  AcmFailNextCall(AcmCall::StreamOpen, MMSYSERR_NOMEM);
  EXPECT_EQ(acmStreamOpen(&has, nullptr, &src, &dst, nullptr, 0, 0, 0), MMSYSERR_NOMEM);
  EXPECT_EQ(acmStreamOpen(&has, nullptr, &src, &dst, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
  AcmFailNextCall(AcmCall::StreamConvert, MMSYSERR_ERROR);
  AcmFailNextCall(AcmCall::FormatSuggest, ACMERR_NOTPOSSIBLE);
  AcmClearInjectedFailures();
  EXPECT_EQ(acmFormatSuggest(nullptr, &src, &dst, sizeof dst, 0), MMSYSERR_NOERROR);
  acmStreamClose(has, 0);
}

}  // namespace
