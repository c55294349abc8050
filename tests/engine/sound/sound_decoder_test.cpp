// Sound decoders over memory streams: PCM WAVE sample for sample, compressed
// WAVE and MPEG audio through the compression manager, Ogg Vorbis made with
// libvorbisenc, the MPEG frame scan, and damaged input.
#include <gtest/gtest.h>
#include <ogg/ogg.h>

#include <cstdio>
#include <random>
#include <string>
#include <utility>

#include "engine/core/alloc.h"
#include "engine/sound/sound_decoder.h"
#include "engine/sound/sound_decoder_kinds.h"
#include "platform/acm/acm_testing.h"
#include "tests/engine/sound/sound_fixtures.h"

namespace {

// A decoder opened over a memory stream of `file`, closed at the end.
struct Decoded {
  explicit Decoded(const Bytes& f) : file(f) {
    EXPECT_EQ(OpenMemStream(&stream, file.data(), uint32_t(file.size())), 0);
    opened = OpenSoundDecoder(&stream, &decoder);
  }
  ~Decoded() {
    if (opened == 0) CloseSoundDecoder(&decoder);
    stream.ops.close(stream.data);
  }
  Bytes Whole() {
    WAVEFORMATEX f{};
    uint8_t* pcm = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(DecodeSoundWhole(&decoder, &f, &pcm, &size), 0);
    Bytes out(pcm, pcm + size);
    TrackedFree(pcm);
    return out;
  }
  Bytes Read(uint32_t n) {
    Bytes out(n);
    const int got = ReadSoundDecoder(&decoder, out.data(), n);
    out.resize(got > 0 ? size_t(got) : 0);
    return out;
  }
  Bytes file;
  StreamData stream{};
  SoundDecoder decoder{};
  int opened = -1;
};

TEST(SoundDecoderPcm, DecodesEveryLayoutSampleForSample) {
  struct Case {
    int channels, rate, bits;
    size_t fmt_size;
  } cases[] = {{1, 8000, 8, 18}, {2, 22050, 8, 16}, {1, 44100, 16, 16}, {2, 44100, 16, 18}, {2, 48000, 16, 40}};
  std::mt19937 rng(7);
  for (const Case& c : cases) {
    WAVEFORMATEX f = PcmFormat(c.channels, c.rate, c.bits);
    Bytes data(size_t(f.nBlockAlign) * 1000 + (c.bits == 8 ? 0 : 0));
    for (auto& b : data) b = uint8_t(rng());
    Decoded d(PcmWave(f, data, c.fmt_size));
    ASSERT_EQ(d.opened, 0) << c.bits << "/" << c.channels;
    EXPECT_EQ(d.decoder.kind, uint32_t(SOUND_DECODER_PCM));
    WAVEFORMATEX got{};
    GetSoundDecoderFormat(&d.decoder, &got);
    EXPECT_EQ(got.nChannels, c.channels);
    EXPECT_EQ(got.wBitsPerSample, c.bits);  // recomputed from block align for a 16-byte body
    EXPECT_EQ(got.cbSize, 0);
    EXPECT_EQ(GetSoundDecoderBytes(&d.decoder), data.size());
    EXPECT_EQ(d.Whole(), data);
  }
}

TEST(SoundDecoderPcm, SkipsChunksOfOddSizeBeforeTheData) {
  WAVEFORMATEX f = PcmFormat(1, 11025, 16);
  Bytes data = Le16(Ramp(500));
  Bytes extra;
  PutChunk(extra, "LIST", Bytes{'a', 'b', 'c'});  // padded to 4
  PutChunk(extra, "fact", Bytes{1, 0, 0, 0});
  Decoded d(WaveFile(FormatBody(&f, 18, 18), data, extra));
  ASSERT_EQ(d.opened, 0);
  EXPECT_EQ(d.Whole(), data);
}

TEST(SoundDecoderPcm, ReadsInPiecesAndSeeksToASample) {
  WAVEFORMATEX f = PcmFormat(2, 8000, 16);  // one second refills of 32000 bytes
  Bytes data = Le16(Ramp(2 * 20000));
  Decoded d(PcmWave(f, data));
  ASSERT_EQ(d.opened, 0);
  Bytes got;
  for (;;) {
    Bytes piece = d.Read(7777);
    if (piece.empty()) break;
    got.insert(got.end(), piece.begin(), piece.end());
  }
  EXPECT_EQ(got, data);
  EXPECT_EQ(d.Read(10).size(), 0u);  // at the end
  ASSERT_EQ(SeekSoundDecoder(&d.decoder, 12345), 0);
  EXPECT_EQ(d.Read(40), Bytes(data.begin() + 12345 * 4, data.begin() + 12345 * 4 + 40));
  // A seek closer than 16 bytes to the position does nothing.
  ASSERT_EQ(SeekSoundDecoder(&d.decoder, 12345 + 10 + 2), 0);
  EXPECT_EQ(d.Read(4), Bytes(data.begin() + (12345 + 10) * 4, data.begin() + (12345 + 10) * 4 + 4));
}

TEST(SoundDecoderPcm, DataChunkClaimingMoreThanTheFileEndsWhereTheFileDoes) {
  WAVEFORMATEX f = PcmFormat(1, 8000, 16);
  Bytes data = Le16(Ramp(300));
  Decoded d(WaveFile(FormatBody(&f, 18, 18), data, {}, 1000000));
  ASSERT_EQ(d.opened, 0);
  EXPECT_EQ(d.Whole(), data);
  ASSERT_EQ(SeekSoundDecoder(&d.decoder, 0), 0);
  Bytes all = d.Read(100000);
  EXPECT_EQ(all, data);
}

TEST(SoundDecoderPcm, RefusesWhatIsNoWaveOrNoPlayablePcm) {
  WAVEFORMATEX f = PcmFormat(1, 8000, 16);
  Bytes good = PcmWave(f, Le16(Ramp(100)));
  // "fmt " not first: neither WAVE kind takes it, nor Ogg, nor MPEG.
  Bytes list_first;
  PutTag(list_first, "RIFF");
  Put32(list_first, 0);
  PutTag(list_first, "WAVE");
  PutChunk(list_first, "LIST", Bytes(4, 0));
  PutChunk(list_first, "fmt ", FormatBody(&f, 18, 18));
  PutChunk(list_first, "data", Le16(Ramp(100)));
  WAVEFORMATEX twelve = PcmFormat(1, 8000, 16);
  twelve.wBitsPerSample = 12;
  WAVEFORMATEX no_channels = PcmFormat(1, 8000, 16);
  no_channels.nChannels = 0;
  Bytes no_data = good;
  no_data.resize(good.size() - 200 - 8);  // the data chunk's header is gone
  std::vector<Bytes> cases = {list_first,
                              PcmWave(twelve, Le16(Ramp(100))),
                              PcmWave(no_channels, Le16(Ramp(100)), 16),
                              no_data,
                              Bytes(good.begin(), good.begin() + 30),
                              Bytes{},
                              Bytes(5000, 0xFF)};
  for (size_t i = 0; i < cases.size(); ++i) {
    Decoded d(cases[i]);
    EXPECT_EQ(d.opened, -1) << i;
  }
}

TEST(SoundDecoderWave, MakeWaveImageLaysOutAnEighteenByteFormat) {
  WAVEFORMATEX f = PcmFormat(2, 22050, 16);
  Bytes pcm = Le16(Ramp(64));
  uint8_t* image = nullptr;
  uint32_t size = 0;
  ASSERT_EQ(MakeWaveImage(&image, &size, &f, 18, pcm.data(), uint32_t(pcm.size())), 0);
  Bytes got(image, image + size);
  TrackedFree(image);
  EXPECT_EQ(got, PcmWave(f, pcm));
}

// ---- compressed WAVE ---------------------------------------------------------

uint8_t MuLawEncode(int16_t sample) {
  const int bias = 0x84;
  int sign = sample < 0 ? 0x80 : 0;
  int v = std::min(std::abs(int(sample)), 32635) + bias;
  int exponent = 7;
  for (int mask = 0x4000; !(v & mask) && exponent > 0; mask >>= 1) --exponent;
  int mantissa = (v >> (exponent + 3)) & 0x0F;
  return uint8_t(~(sign | (exponent << 4) | mantissa));
}

TEST(SoundDecoderCompressed, MuLawWaveDecodesToSixteenBitOfTheSameLevel) {
  const int rate = 8000, frames = 4000;
  auto source = Sine(1, rate, frames, 440);
  Bytes coded;
  for (int16_t s : source) coded.push_back(MuLawEncode(s));
  WAVEFORMATEX f{WAVE_FORMAT_MULAW, 1, DWORD(rate), DWORD(rate), 1, 8, 0};
  Decoded d(WaveFile(FormatBody(&f, 18, 18), coded));
  ASSERT_EQ(d.opened, 0);
  EXPECT_EQ(d.decoder.kind, uint32_t(SOUND_DECODER_ACM));
  WAVEFORMATEX out{};
  GetSoundDecoderFormat(&d.decoder, &out);
  EXPECT_EQ(out.wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(out.wBitsPerSample, 16);
  EXPECT_EQ(GetSoundDecoderBytes(&d.decoder), uint32_t(frames * 2));
  Bytes pcm = d.Whole();
  ASSERT_EQ(pcm.size(), size_t(frames * 2));
  auto* s = reinterpret_cast<const int16_t*>(pcm.data());
  EXPECT_NEAR(Rms(s, frames), Rms(source.data(), frames), Rms(source.data(), frames) * 0.03);
  for (int i = 0; i < frames; i += 97) EXPECT_NEAR(s[i], source[i], 600) << i;
}

// IMA ADPCM blocks of arbitrary bytes are valid data: the decoder is
// stateful within a block, so a seek backwards must restart conversion.
TEST(SoundDecoderCompressed, SeekBackwardsLandsOnTheBytesASequentialReadGives) {
  const int channels = 1, block = 256, blocks = 40;
  const int per_block = (block - 4 * channels) * 8 / (4 * channels) + 1;  // 505
  std::mt19937 rng(11);
  Bytes coded(size_t(block) * blocks);
  for (auto& b : coded) b = uint8_t(rng());
  for (int k = 0; k < blocks; ++k) coded[size_t(k) * block + 2] = uint8_t(rng() % 89), coded[size_t(k) * block + 3] = 0;
  IMAADPCMWAVEFORMAT f{};
  f.wfx = {WAVE_FORMAT_IMA_ADPCM, WORD(channels), 22050, 0, WORD(block), 4, 2};
  f.wfx.nAvgBytesPerSec = 22050 * block / per_block;
  f.wSamplesPerBlock = WORD(per_block);
  Decoded d(WaveFile(FormatBody(&f, sizeof f, sizeof f), coded));
  ASSERT_EQ(d.opened, 0);
  EXPECT_EQ(GetSoundDecoderBytes(&d.decoder), uint32_t(blocks * per_block * 2));
  Bytes all = d.Whole();
  ASSERT_EQ(all.size(), size_t(blocks * per_block * 2));
  const uint32_t targets[] = {15000, 300, 9999, 0, 20000 - 1};
  for (uint32_t t : targets) {
    ASSERT_EQ(SeekSoundDecoder(&d.decoder, t), 0);
    EXPECT_EQ(d.Read(64), Bytes(all.begin() + t * 2, all.begin() + std::min<size_t>(all.size(), t * 2 + 64))) << t;
  }
}

// Blocks larger than one conversion step still convert, one block at a
// time, instead of ending the data at once.
TEST(SoundDecoderCompressed, BlocksLargerThanAStepDecodeWhole) {
  const int block = 4096, blocks = 3, per_block = (block - 4) * 2 + 1;
  Bytes coded(size_t(block) * blocks, 0x11);
  for (int k = 0; k < blocks; ++k) coded[size_t(k) * block + 2] = 30, coded[size_t(k) * block + 3] = 0;
  IMAADPCMWAVEFORMAT f{};
  f.wfx = {WAVE_FORMAT_IMA_ADPCM, 1, 44100, 0, WORD(block), 4, 2};
  f.wfx.nAvgBytesPerSec = 44100 * block / per_block;
  f.wSamplesPerBlock = WORD(per_block);
  Decoded d(WaveFile(FormatBody(&f, sizeof f, sizeof f), coded));
  ASSERT_EQ(d.opened, 0);
  Bytes pcm = d.Whole();
  ASSERT_EQ(pcm.size(), size_t(blocks * per_block * 2));
  EXPECT_GT(Rms(reinterpret_cast<const int16_t*>(pcm.data()), pcm.size() / 2), 0.0);
}

TEST(SoundDecoderCompressed, ConversionThatCannotOpenRefusesTheFile) {
  Bytes coded(800, 0x55);
  WAVEFORMATEX f{WAVE_FORMAT_ALAW, 1, 8000, 8000, 1, 8, 0};
  const Bytes file = WaveFile(FormatBody(&f, 18, 18), coded);
  AcmFailNextCall(AcmCall::StreamOpen, MMSYSERR_NOMEM);
  {
    Decoded d(file);
    EXPECT_EQ(d.opened, -1);
  }
  AcmClearInjectedFailures();
  Decoded d(file);
  EXPECT_EQ(d.opened, 0);
  EXPECT_EQ(d.Whole().size(), 1600u);
}

// ---- MPEG audio ------------------------------------------------------------------

TEST(SoundDecoderMpeg, FrameHeaders) {
  struct Case {
    uint8_t b[4];
    int result, mpeg1, layer, kbps, rate, channels, size, samples;
  } cases[] = {
      {{0xFF, 0xFB, 0x90, 0x00}, 0, 1, 3, 128, 44100, 2, 417, 1152},   // MPEG-1 layer III
      {{0xFF, 0xFB, 0x92, 0xC0}, 0, 1, 3, 128, 44100, 1, 418, 1152},   // padded, mono
      {{0xFF, 0xFD, 0x64, 0x00}, 0, 1, 2, 96, 48000, 2, 288, 1152},    // MPEG-1 layer II
      {{0xFF, 0xFF, 0x18, 0x00}, 0, 1, 1, 32, 32000, 2, 48, 384},      // MPEG-1 layer I
      {{0xFF, 0xF3, 0x80, 0x00}, 0, 0, 3, 64, 22050, 2, 208, 576},     // MPEG-2 layer III
      {{0xFF, 0xF5, 0x80, 0x00}, 0, 0, 2, 64, 22050, 2, 417, 1152},    // MPEG-2 layer II: 1152 samples
      {{0xFF, 0xF5, 0x88, 0x00}, 0, 0, 2, 64, 16000, 2, 576, 1152},
      {{0xFF, 0xFB, 0x00, 0x00}, -1, 0, 0, 0, 0, 0, 0, 0},                                // free format
      {{0xFF, 0xFB, 0xF0, 0x00}, -1, 0, 0, 0, 0, 0, 0, 0},                                // bit-rate index 15
      {{0xFF, 0xFB, 0x9C, 0x00}, -1, 0, 0, 0, 0, 0, 0, 0},                                // sample-rate index 3
      {{0xFF, 0xF9, 0x90, 0x00}, -1, 0, 0, 0, 0, 0, 0, 0},                                // layer bits 00
      {{0xFF, 0xE3, 0x90, 0x00}, -2, 0, 0, 0, 0, 0, 0, 0},                                // MPEG-2.5 sync
      {{0xFE, 0xFB, 0x90, 0x00}, -2, 0, 0, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    MpegFrameHeader h{};
    ASSERT_EQ(ParseMpegAudioHeader(c.b, &h), c.result) << std::hex << int(c.b[1]) << int(c.b[2]);
    if (c.result) continue;
    EXPECT_EQ(h.mpeg1, c.mpeg1);
    EXPECT_EQ(h.layer, c.layer);
    EXPECT_EQ(h.kbps, c.kbps);
    EXPECT_EQ(h.rate, c.rate);
    EXPECT_EQ(h.channels, c.channels);
    EXPECT_EQ(h.frame_size, c.size) << std::hex << int(c.b[1]) << int(c.b[2]);
    EXPECT_EQ(h.samples, c.samples);
  }
}

const uint8_t kLayer3[4] = {0xFF, 0xFB, 0x90, 0x00};  // 417-byte frames, 44.1 kHz stereo

TEST(SoundDecoderMpeg, DecodesOnlyTheFramesBetweenTheTagAndTheTrailer) {
  Bytes file = {'I', 'D', '3', 3, 0, 0, 0, 0, 1, 5};  // 133 bytes of tag
  file.resize(10 + 133, 0xFF);                          // sync-like bytes inside the tag are skipped
  Bytes frames = MpegFrames(kLayer3, 417, 20);
  file.insert(file.end(), frames.begin(), frames.end());
  Bytes trailer(128, 0xFF);
  std::memcpy(trailer.data(), "TAG", 3);
  file.insert(file.end(), trailer.begin(), trailer.end());
  Decoded d(file);
  ASSERT_EQ(d.opened, 0);
  EXPECT_EQ(d.decoder.kind, uint32_t(SOUND_DECODER_ACM));
  EXPECT_EQ(d.decoder.data_start, 143u);
  EXPECT_EQ(d.decoder.data_size, 20u * 417);
  EXPECT_EQ(d.decoder.mpeg_samples, 20 * 1152);
  EXPECT_EQ(GetSoundDecoderBytes(&d.decoder), 20u * 1152 * 4);
  WAVEFORMATEX out{};
  GetSoundDecoderFormat(&d.decoder, &out);
  EXPECT_EQ(out.nSamplesPerSec, 44100u);
  EXPECT_EQ(out.nChannels, 2);
  Bytes pcm = d.Whole();
  EXPECT_GT(pcm.size(), 15u * 1152 * 4);
  EXPECT_LE(pcm.size(), 20u * 1152 * 4);
  EXPECT_EQ(Rms(reinterpret_cast<const int16_t*>(pcm.data()), pcm.size() / 2), 0.0);
}

// Tag blocks after the frames end the audio, whatever bytes they hold (a
// cover picture reads as frame headers); damage between frames still
// refuses the file (FreeFormatAndDamagedFramesAreRefusedWithoutHanging).
TEST(SoundDecoderMpeg, TagBlocksAfterTheFramesEndTheAudio) {
  Bytes picture(300, 0xFF);  // sync bytes, then a header with bit-rate index 15
  picture[101] = 0xFB, picture[102] = 0xF0;
  auto ape = [&](bool with_header) {
    Bytes item;
    Put32(item, uint32_t(picture.size()));
    Put32(item, 2);  // binary
    for (char c : std::string("Cover Art (Front)")) item.push_back(uint8_t(c));
    item.push_back(0);
    item.insert(item.end(), picture.begin(), picture.end());
    auto frame = [&](uint32_t flags) {
      Bytes b;
      for (char c : std::string("APETAGEX")) b.push_back(uint8_t(c));
      Put32(b, 2000);
      Put32(b, uint32_t(item.size() + 32));
      Put32(b, 1);
      Put32(b, flags);
      b.resize(b.size() + 8, 0);
      return b;
    };
    Bytes tag = with_header ? frame(0xA0000000u) : Bytes();
    tag.insert(tag.end(), item.begin(), item.end());
    Bytes footer = frame(with_header ? 0x80000000u : 0);
    tag.insert(tag.end(), footer.begin(), footer.end());
    return tag;
  };
  Bytes id3_tail = {'I', 'D', '3', 4, 0, 0, 0, 0, 2, 0x2C};  // 300 bytes follow
  id3_tail.insert(id3_tail.end(), picture.begin(), picture.end());
  Bytes id3v1(128, 0);
  std::memcpy(id3v1.data(), "TAG", 3);
  Bytes with_v1 = ape(true);
  with_v1.insert(with_v1.end(), id3v1.begin(), id3v1.end());
  const Bytes frames = MpegFrames(kLayer3, 417, 30);
  for (const auto& [what, tail] : {std::pair<const char*, Bytes>{"APEv2 with header", ape(true)},
                                  {"APEv2 footer only", ape(false)},
                                  {"APEv2 before an ID3v1 tag", with_v1},
                                  {"ID3v2 appended", id3_tail}}) {
    Bytes file = frames;
    file.insert(file.end(), tail.begin(), tail.end());
    Decoded d(file);
    ASSERT_EQ(d.opened, 0) << what;
    EXPECT_EQ(d.decoder.data_size, 30u * 417) << what;
    EXPECT_EQ(d.decoder.mpeg_samples, 30 * 1152) << what;
  }
}

// A variable-rate MPEG stream in a WAVE file says 0 average bytes per
// second: its length comes from its frames.
TEST(SoundDecoderMpeg, WaveOfVariableRateFramesIsSizedFromTheFrames) {
  for (uint32_t average : {0u, 16000u}) {
    Decoded d(MpegWave(MpegFrames(kLayer3, 417, 20), 2, 44100, average));
    ASSERT_EQ(d.opened, 0) << average;
    EXPECT_EQ(d.decoder.kind, uint32_t(SOUND_DECODER_ACM));
    EXPECT_EQ(d.decoder.mpeg_samples, 20 * 1152);
    EXPECT_EQ(GetSoundDecoderBytes(&d.decoder), 20u * 1152 * 4) << average;
    Bytes pcm = d.Whole();
    EXPECT_GT(pcm.size(), 15u * 1152 * 4) << average;
    EXPECT_LE(pcm.size(), 20u * 1152 * 4) << average;
  }
  // Without a rate and without frames nothing tells the length.
  Decoded none(MpegWave(Bytes(2000, 0), 2, 44100, 0));
  EXPECT_EQ(none.opened, -1);
}

TEST(SoundDecoderMpeg, LowerRateLayerTwoFramesAreScannedAtTheirOwnSize) {
  const uint8_t layer2[4] = {0xFF, 0xF5, 0x80, 0x00};  // MPEG-2 layer II, 64 kbit/s, 22.05 kHz: 417 bytes
  Decoded d(MpegFrames(layer2, 417, 12));
  ASSERT_EQ(d.opened, 0);
  EXPECT_EQ(d.decoder.mpeg_samples, 12 * 1152);
  EXPECT_EQ(d.decoder.data_size, 12u * 417);
}

// 2048 bytes of these tiny frames decode to more than the refill buffer
// holds: each conversion must stop where the buffer does.
TEST(SoundDecoderMpeg, LowBitRateFramesNeverOverrunTheRefillBuffer) {
  const uint8_t tiny[4] = {0xFF, 0xF3, 0x10, 0x00};  // MPEG-2 layer III, 8 kbit/s, 22.05 kHz: 26 bytes
  Decoded d(MpegFrames(tiny, 26, 300));
  ASSERT_EQ(d.opened, 0);
  EXPECT_EQ(d.decoder.mpeg_samples, 300 * 576);
  EXPECT_LT(d.decoder.refill_size, 2048u / 26 * 576 * 4);
  Bytes pcm = d.Whole();
  EXPECT_GT(pcm.size(), 250u * 576 * 4);
  EXPECT_LE(pcm.size(), 300u * 576 * 4);
}

TEST(SoundDecoderMpeg, FreeFormatAndDamagedFramesAreRefusedWithoutHanging) {
  const uint8_t free_format[4] = {0xFF, 0xFB, 0x00, 0x00};
  Bytes bad_second = MpegFrames(kLayer3, 417, 3);
  bad_second[417 + 2] = 0xF0;  // bit-rate index 15 in the second frame
  std::vector<Bytes> cases = {MpegFrames(free_format, 417, 5), bad_second, Bytes(4000, 0), Bytes{0xFF, 0xFB, 0x90}};
  for (size_t i = 0; i < cases.size(); ++i) {
    Decoded d(cases[i]);
    EXPECT_EQ(d.opened, -1) << i;
  }
}

// ---- Ogg Vorbis --------------------------------------------------------------------

TEST(SoundDecoderOgg, WholeDecodeHoldsExactlyTheStreamsSamples) {
  const int rate = 22050, frames = 15000;
  auto source = Sine(2, rate, frames, 330);
  Bytes ogg = EncodeOggVorbis(source, 2, rate);
  ASSERT_FALSE(ogg.empty());
  Decoded d(ogg);
  ASSERT_EQ(d.opened, 0);
  EXPECT_EQ(d.decoder.kind, uint32_t(SOUND_DECODER_OGG));
  WAVEFORMATEX out{};
  GetSoundDecoderFormat(&d.decoder, &out);
  EXPECT_EQ(out.nChannels, 2);
  EXPECT_EQ(out.nSamplesPerSec, uint32_t(rate));
  EXPECT_EQ(out.nBlockAlign, 4);
  EXPECT_EQ(d.decoder.data_size, uint32_t(frames * 4));
  EXPECT_EQ(GetSoundDecoderBytes(&d.decoder), uint32_t((frames + 44100) * 4));  // one second of room
  Bytes pcm = d.Whole();
  ASSERT_EQ(pcm.size(), size_t(frames * 4));
  auto* s = reinterpret_cast<const int16_t*>(pcm.data());
  const double want = Rms(source.data(), source.size());
  EXPECT_NEAR(Rms(s, pcm.size() / 2), want, want * 0.05);
  // Seeking lands on the samples a sequential read gives.
  ASSERT_EQ(SeekSoundDecoder(&d.decoder, 10000), 0);
  Bytes at = d.Read(400);
  ASSERT_EQ(at.size(), 400u);
  EXPECT_EQ(at, Bytes(pcm.begin() + 40000, pcm.begin() + 40400));
}

// A chained file plays its sections while they keep the first one's format:
// a later section of another format (mono 22.05 kHz after stereo 44.1 kHz)
// ends the sound instead of playing at the wrong format.
TEST(SoundDecoderOgg, ChainedSectionsPlayWhileTheyKeepTheFirstFormat) {
  const Bytes stereo = EncodeOggVorbis(Sine(2, 44100, 20000, 440), 2, 44100, 1);
  const Bytes stereo_again = EncodeOggVorbis(Sine(2, 44100, 10000, 660), 2, 44100, 2);
  const Bytes mono = EncodeOggVorbis(Sine(1, 22050, 30000, 330), 1, 22050, 3);
  struct Case {
    const char* what;
    std::vector<const Bytes*> sections;
    uint32_t frames;
  } cases[] = {
      {"same format twice", {&stereo, &stereo_again}, 30000},
      {"the format changes", {&stereo, &mono}, 20000},
      {"a change between two of the first format", {&stereo, &mono, &stereo_again}, 20000},
  };
  for (const Case& c : cases) {
    Bytes file;
    for (const Bytes* s : c.sections) file.insert(file.end(), s->begin(), s->end());
    Decoded d(file);
    ASSERT_EQ(d.opened, 0) << c.what;
    EXPECT_EQ(d.decoder.format.nChannels, 2) << c.what;
    EXPECT_EQ(d.decoder.format.nSamplesPerSec, 44100u) << c.what;
    EXPECT_EQ(d.decoder.data_size, c.frames * 4) << c.what;
    EXPECT_EQ(d.Whole().size(), size_t(c.frames) * 4) << c.what;
  }
}

TEST(SoundDecoderOgg, DamagedStreamsEndOrFailButNeverOverrun) {
  auto source = Sine(1, 16000, 20000, 500);
  Bytes ogg = EncodeOggVorbis(source, 1, 16000);
  ASSERT_GT(ogg.size(), 600u);
  std::mt19937 rng(5);
  std::printf("seed 5\n");
  for (int round = 0; round < 12; ++round) {
    Bytes bad = ogg;
    if (round < 4) {
      bad.resize(bad.size() * (round + 1) / 5);  // cut short
    } else {
      for (int k = 0; k < 8; ++k) bad[rng() % bad.size()] ^= uint8_t(1 + rng() % 255);  // flipped bytes
    }
    Decoded d(bad);
    if (d.opened != 0) continue;
    const uint32_t room = GetSoundDecoderBytes(&d.decoder);
    Bytes pcm = d.Whole();
    EXPECT_LE(pcm.size(), room);
  }
}

// The last page's granule position is the stream's length in samples; a
// stream that claims one near 2^63 is refused before its size in bytes is
// worked out (that product cannot be represented).
TEST(SoundDecoderOgg, LengthsBeyondWhatFitsInBytesAreRefused) {
  // Noise, so that the audio takes more than one page: the length is the
  // last page's position less what the first audio page says came before.
  const Bytes ogg = EncodeOggVorbis(Ramp(2 * 20000), 2, 22050);
  ASSERT_FALSE(ogg.empty());
  {
    Decoded plain(ogg);
    ASSERT_EQ(plain.opened, 0);
    ASSERT_EQ(plain.decoder.data_size, 20000u * 4);
  }
  size_t last = ogg.size() - 4;
  while (last > 0 && std::memcmp(&ogg[last], "OggS", 4) != 0) --last;
  struct Claim {
    int64_t samples;
    bool refused;
  } claims[] = {{INT64_MAX - 15, true},
                {INT64_MAX / 4, true},
                {int64_t(MAX_DECODED_PCM_BYTES / 4), true},
                {int64_t(MAX_DECODED_PCM_BYTES / 4) - 44100, false}};
  for (const Claim& c : claims) {
    Bytes bad = ogg;
    ogg_page page;
    page.header = &bad[last];
    page.header_len = 27 + bad[last + 26];
    page.body = page.header + page.header_len;
    page.body_len = long(bad.size() - last) - page.header_len;
    uint64_t granule = uint64_t(c.samples);
    for (int i = 0; i < 8; ++i) bad[last + 6 + i] = uint8_t(granule >> (8 * i));
    ogg_page_checksum_set(&page);
    Decoded d(bad);
    EXPECT_EQ(d.opened != 0, c.refused) << c.samples;
    if (d.opened == 0) {
      EXPECT_GT(GetSoundDecoderBytes(&d.decoder), d.decoder.data_size) << c.samples;
    }
  }
}

}  // namespace
