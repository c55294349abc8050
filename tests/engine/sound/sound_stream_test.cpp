// Stream sounds: decoded into a six-second ring while they play, refilled
// between mixes as the message processing would, with the play cursor moved
// by the mixer (or by the test) across the ring's wrap.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/core/alloc.h"
#include "engine/core/file.h"
#include "engine/core/log.h"
#include "engine/sound/sound_internal.h"
#include "tests/engine/sound/sound_fixtures.h"

namespace {

constexpr int kRate = 44100;  // mono 16-bit at the output rate: samples come out unchanged
constexpr uint32_t kB = kRate * 2;

class SoundStreamTest : public SoundSystemTest {
 protected:
  // Mixes `frames` output frames in slices of 1/20 s, refilling every stream
  // after each slice; returns the left side.
  static std::vector<int16_t> Play(int frames, int slice = kRate / 20) {
    std::vector<int16_t> left;
    left.reserve(size_t(frames));
    for (int done = 0; done < frames; done += slice) {
      auto out = Left(Mix(std::min(slice, frames - done)));
      left.insert(left.end(), out.begin(), out.end());
      RefillAllSoundStreams();
    }
    return left;
  }
  static IDirectSoundBuffer* Ring(int handle) {
    SoundRecord* s = LookupSound(handle);
    if (s->ring_owner != -1) s = LookupSound(s->ring_owner);
    return s->buffers[0].buffer;
  }
  static DWORD Cursor(int handle) {
    DWORD p = 0;
    Ring(handle)->GetCurrentPosition(&p, nullptr);
    return p;
  }
  static Bytes Mono(const std::vector<int16_t>& s) { return PcmWave(PcmFormat(1, kRate, 16), Le16(s)); }
};

TEST_F(SoundStreamTest, LongSoundComesOutWholeAcrossRingWrapsInEveryMode) {
  const auto samples = Ramp(size_t(kRate) * 10);  // 10 s through a 6 s ring
  const Bytes file = Mono(samples);
  WriteFile("music.wav", std::string(file.begin(), file.end()));
  for (int mode : {3, 2, 0}) {
    SetSoundStorageMode(mode);
    const int h = LoadSoundFile("music.wav", 1);
    ASSERT_GE(h, 0) << mode;
    SoundRecord* s = LookupSound(h);
    // Mode 0 decodes the whole file into a static sound.
    EXPECT_EQ(s->kind, mode == 0 ? SOUND_KIND_STATIC : SOUND_KIND_STREAM);
    if (mode != 0) {
      EXPECT_EQ(s->ring_size, 6 * kB);
      EXPECT_EQ(s->write_offset, int32_t(4 * kB));  // primed at load
    }
    EXPECT_EQ(GetSoundHandleSampleCount(h), kRate * 10);
    ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_BACK, 1), 0);
    auto out = Play(kRate * 11);
    for (size_t i = 0; i < samples.size(); ++i) ASSERT_EQ(out[i], samples[i]) << "mode " << mode << " at " << i;
    for (size_t i = samples.size(); i < samples.size() + kRate / 8; ++i) ASSERT_EQ(out[i], 0) << i;
    EXPECT_EQ(QuerySoundHandlePlaying(h), 0);
    if (mode != 0) {
      EXPECT_EQ(GetSoundHandlePositionMs(h), 10000);
    }
    EXPECT_EQ(DisposeSoundHandle(h), 0);
  }
}

TEST_F(SoundStreamTest, ShortSoundIsWrittenWholeByTheFirstFillAndStopsAfterItsEnd) {
  SetSoundStorageMode(2);
  const auto samples = Ramp(size_t(kRate));  // 1 s
  const int h = LoadImage(Mono(samples));
  ASSERT_GE(h, 0);
  SoundRecord* s = LookupSound(h);
  EXPECT_EQ(s->ending, 1);
  EXPECT_EQ(s->end_reached, 1);
  EXPECT_EQ(s->end_offset, kB);
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_BACK, 0), 0);
  // No refill at all: the first fill already holds the sound and its tail.
  auto out = Left(Mix(kRate + kRate / 8));
  for (int i = 0; i < kRate; ++i) ASSERT_EQ(out[size_t(i)], samples[size_t(i)]) << i;
  for (int i = kRate; i < kRate + kRate / 8; ++i) ASSERT_EQ(out[size_t(i)], 0) << i;
  EXPECT_EQ(QuerySoundHandlePlaying(h), 1);
  RefillAllSoundStreams();  // the cursor has passed the end
  EXPECT_EQ(QuerySoundHandlePlaying(h), 0);
  EXPECT_EQ(s->ending, 0);
}

TEST_F(SoundStreamTest, EightBitSilenceIsByte127) {
  SetSoundStorageMode(2);
  const int h = LoadImage(PcmWave(PcmFormat(1, 8000, 8), Bytes(4000, 200)));  // 0.5 s
  ASSERT_GE(h, 0);
  SoundRecord* s = LookupSound(h);
  void *p1, *p2;
  DWORD n1, n2;
  ASSERT_EQ(Ring(h)->Lock(0, 5000, &p1, &n1, &p2, &n2, 0), DS_OK);
  auto* ring = static_cast<uint8_t*>(p1);
  EXPECT_EQ(ring[3999], 200);
  for (uint32_t i = 4000; i < 4000 + s->format.nAvgBytesPerSec / 8; ++i) ASSERT_EQ(ring[i], 127) << i;
  Ring(h)->Unlock(p1, n1, p2, n2);
}

TEST_F(SoundStreamTest, RefillTopsTheQueueUpToThreeSecondsAndRefusesACursorOutsideTheWindow) {
  SetSoundStorageMode(2);
  const int h = LoadImage(Mono(Ramp(size_t(kRate) * 20)));
  StartSoundHandle(h, SOUND_PLAY_BACK, 0);
  SoundRecord* s = LookupSound(h);
  Mix(kRate * 3 / 2);
  ASSERT_EQ(RefillSoundStream(h), 0);
  EXPECT_EQ(uint32_t(s->write_offset) - Cursor(h), 3 * kB);
  EXPECT_EQ(s->window_start, uint32_t(s->write_offset) - 4 * kB);
  // Within the window but with 3 s queued: one eighth of a second more.
  const int32_t before = s->write_offset;
  ASSERT_EQ(RefillSoundStream(h), 0);
  EXPECT_EQ(s->write_offset - before, int32_t(kB / 8 / 2 * 2));  // a whole number of blocks
  // A cursor at the write offset lies outside the window: nothing is written.
  Ring(h)->SetCurrentPosition(uint32_t(s->write_offset));
  const int32_t held = s->write_offset;
  EXPECT_EQ(RefillSoundStream(h), -1);
  EXPECT_EQ(s->write_offset, held);
}

TEST_F(SoundStreamTest, LoopingPositionRestartsWhenTheCursorPassesTheWrap) {
  SetSoundStorageMode(2);
  const auto samples = Ramp(size_t(kRate) * 5);
  const int h = LoadImage(Mono(samples));
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_LOOP, 1), 0);
  auto first = Play(kRate * 49 / 10);
  // The decoder has wrapped already (the queue runs 3 s ahead), the cursor not.
  EXPECT_EQ(LookupSound(h)->wrap_pending, 1);
  EXPECT_NEAR(GetSoundHandlePositionMs(h), 4900, 1);
  auto second = Play(kRate * 6 / 10);
  EXPECT_NEAR(GetSoundHandlePositionMs(h), 500, 1);
  first.insert(first.end(), second.begin(), second.end());
  for (size_t i = 0; i < first.size(); ++i) ASSERT_EQ(first[i], samples[i % samples.size()]) << i;
  // Passes later it still loops seamlessly.
  auto later = Play(kRate * 8);
  const size_t played = first.size();
  for (size_t i = 0; i < later.size(); ++i) ASSERT_EQ(later[i], samples[(played + i) % samples.size()]) << i;
  EXPECT_EQ(QuerySoundHandlePlaying(h), 1);
  EXPECT_NEAR(GetSoundHandlePositionMs(h), (5500 + 8000) % 5000, 1);
}

TEST_F(SoundStreamTest, PartsPlayInOrderWithTheirRepeatCounts) {
  const auto a = Ramp(kRate / 2, 0), b = Ramp(kRate / 4, 99999);
  const Bytes fa = Mono(a), fb = Mono(b);
  const int h = AddSoundData(-1);
  ASSERT_EQ(AttachSoundImageStream(fa.data(), uint32_t(fa.size()), 1, h, 2, -1), 0);  // twice
  ASSERT_EQ(AttachSoundImageStream(fb.data(), uint32_t(fb.size()), 0, h, 0, -1), 0);  // once
  EXPECT_EQ(GetSoundHandleSampleCount(h), kRate / 2 + kRate / 4);
  // Another rate does not fit; a fourth part does not either.
  const Bytes other = PcmWave(PcmFormat(1, 22050, 16), Le16(Ramp(1000)));
  EXPECT_EQ(AttachSoundImageStream(other.data(), uint32_t(other.size()), 0, h, 2, -1), -1);
  EXPECT_NE(ReadFile("Log.txt").find("フォーマットの違う音声データは同時に使うことは出来ません"), std::string::npos);
  ASSERT_EQ(AttachSoundImageStream(fb.data(), uint32_t(fb.size()), 0, h, 2, -1), 0);
  EXPECT_EQ(AttachSoundImageStream(fb.data(), uint32_t(fb.size()), 0, h, 2, -1), -1);
  EXPECT_NE(ReadFile("Log.txt").find("ストリーム風サウンドの制御データ領域がいっぱいです"), std::string::npos);
  PrimeSoundStream(h);
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_BACK, 1), 0);
  auto out = Play(kRate * 2);
  std::vector<int16_t> want = a;
  want.insert(want.end(), a.begin(), a.end());
  want.insert(want.end(), b.begin(), b.end());
  want.insert(want.end(), b.begin(), b.end());
  for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(out[i], want[i]) << i;
  EXPECT_EQ(out[want.size() + 10], 0);
  EXPECT_EQ(QuerySoundHandlePlaying(h), 0);
}

TEST_F(SoundStreamTest, PlayingAgainAfterTheEndStartsFromTheTop) {
  SetSoundStorageMode(2);
  const auto samples = Ramp(kRate / 2);
  const int h = LoadImage(Mono(samples));
  StartSoundHandle(h, SOUND_PLAY_BACK, 1);
  Play(kRate);
  ASSERT_EQ(QuerySoundHandlePlaying(h), 0);
  EXPECT_EQ(LookupSound(h)->current_part, 1);  // past the only part
  for (int from_top : {0, 1}) {
    ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_BACK, from_top), 0);
    auto out = Play(kRate);
    for (size_t i = 0; i < samples.size(); ++i) ASSERT_EQ(out[i], samples[i]) << from_top << " " << i;
    EXPECT_EQ(QuerySoundHandlePlaying(h), 0);
  }
}

TEST_F(SoundStreamTest, HaltKeepsThePositionAndFromTopZeroResumes) {
  SetSoundStorageMode(2);
  const auto samples = Ramp(size_t(kRate) * 3);
  const int h = LoadImage(Mono(samples));
  StartSoundHandle(h, SOUND_PLAY_BACK, 1);
  auto out = Play(kRate);
  ASSERT_EQ(HaltSoundHandle(h), 0);
  EXPECT_EQ(QuerySoundHandlePlaying(h), 0);
  EXPECT_EQ(GetSoundHandlePositionMs(h), 1000);
  StartSoundHandle(h, SOUND_PLAY_BACK, 0);
  auto rest = Play(kRate * 2);
  out.insert(out.end(), rest.begin(), rest.end());
  for (size_t i = 0; i < samples.size(); ++i) ASSERT_EQ(out[i], samples[i]) << i;
}

TEST_F(SoundStreamTest, SoundsSharingARingTakeItFromEachOther) {
  SetSoundStorageMode(2);
  const auto a = Ramp(size_t(kRate) * 2, 0), b = Ramp(size_t(kRate) * 2, 5555);
  const int ha = LoadImage(Mono(a));
  const int hb = LoadImage(Mono(b), 1, ha);
  ASSERT_GE(hb, 0);
  SoundRecord* sb = LookupSound(hb);
  EXPECT_EQ(sb->ring_owner, ha);
  EXPECT_EQ(LookupSound(ha)->sharer_count, 1);
  EXPECT_EQ(sb->buffers[0].in_use, 0u);
  StartSoundHandle(ha, SOUND_PLAY_LOOP, 1);
  Play(kRate / 2);
  EXPECT_EQ(QuerySoundHandlePlaying(ha), 1);
  // Playing the second stops the first; the first then reports not playing.
  ASSERT_EQ(StartSoundHandle(hb, SOUND_PLAY_BACK, 1), 0);
  EXPECT_EQ(QuerySoundHandlePlaying(ha), 0);
  EXPECT_EQ(QuerySoundHandlePlaying(hb), 1);
  auto out = Play(kRate);
  for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], b[i]) << i;
  // Volume and rate of the sharer change nothing: it has no buffer of its own.
  EXPECT_EQ(SetSoundHandleVolume(10, hb), 0);
  LONG volume = 1;
  Ring(ha)->GetVolume(&volume);
  EXPECT_EQ(volume, 0);
  // The first resumed takes the ring back and plays its own data again.
  ASSERT_EQ(StartSoundHandle(ha, SOUND_PLAY_LOOP, 0), 0);
  EXPECT_EQ(QuerySoundHandlePlaying(hb), 0);
  out = Play(kRate / 10);
  const size_t resumed = size_t(std::search(a.begin(), a.end(), out.begin(), out.begin() + 16) - a.begin());
  ASSERT_LT(resumed, a.size());
  for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], a[(resumed + i) % a.size()]) << i;
  ASSERT_EQ(StartSoundHandle(hb, SOUND_PLAY_BACK, 0), 0);
  Play(kRate / 10);
  // Deleting the owner while the sharer lives keeps it until the sharer goes.
  EXPECT_EQ(DisposeSoundHandle(ha), 0);
  ASSERT_NE(LookupSound(ha), nullptr);
  EXPECT_EQ(LookupSound(ha)->delete_pending, 1);
  EXPECT_EQ(QuerySoundHandlePlaying(hb), 1);
  EXPECT_EQ(DisposeSoundHandle(hb), 0);
  EXPECT_EQ(LookupSound(ha), nullptr);
  EXPECT_EQ(SoundHandles().live_count(), 0);
}

TEST_F(SoundStreamTest, ClaimWithoutForceFailsAndChangesNothingAndAGoneOwnerFails) {
  SetSoundStorageMode(2);
  const int ha = LoadImage(Mono(Ramp(kRate)));
  const int hb = LoadImage(Mono(Ramp(kRate)), 1, ha);
  SoundRecord* sa = LookupSound(ha);
  SoundBuffer* ring = nullptr;
  ASSERT_EQ(ClaimSoundStreamBuffer(hb, LookupSound(hb), &ring, 1), 0);
  EXPECT_EQ(sa->current_user, hb);
  EXPECT_EQ(ClaimSoundStreamBuffer(ha, sa, &ring, 0), -1);
  EXPECT_EQ(sa->current_user, hb);
  EXPECT_EQ(ClaimSoundStreamBuffer(ha, sa, &ring, 1), 0);
  EXPECT_EQ(sa->current_user, ha);
  // The owner's handle gone: the sharer's claims fail.
  SoundRecord* sb = LookupSound(hb);
  sb->ring_owner = ha ^ 0x00010000;  // a stale check number
  EXPECT_EQ(ClaimSoundStreamBuffer(hb, sb, &ring, 1), -1);
  sb->ring_owner = ha;
}

TEST_F(SoundStreamTest, OggStreamHasTheSourcesLevelAndEnds) {
  const auto source = Sine(2, 22050, 22050 * 3 / 2, 440);
  const Bytes ogg = EncodeOggVorbis(source, 2, 22050);
  WriteFile("theme.ogg", std::string(ogg.begin(), ogg.end()));
  SetSoundStorageMode(3);
  const int h = LoadSoundFile("theme.ogg", 1);
  ASSERT_GE(h, 0);
  EXPECT_EQ(GetSoundHandleLengthMs(h), 1500 + 2000);  // the decoder's size holds 44100 spare samples
  StartSoundHandle(h, SOUND_PLAY_BACK, 1);
  auto out = Play(kRate * 2);
  EXPECT_EQ(QuerySoundHandlePlaying(h), 0);
  const double want = Rms(source.data(), source.size());
  EXPECT_NEAR(Rms(out.data() + kRate / 10, size_t(kRate)), want, want * 0.1);
  EXPECT_EQ(Rms(out.data() + kRate * 16 / 10, size_t(kRate / 10)), 0.0);
}

TEST_F(SoundStreamTest, EmptyStreamThatLoopsEndsInsteadOfSpinning) {
  SetSoundStorageMode(2);
  const int h = LoadImage(Mono({}));
  ASSERT_GE(h, 0);
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_LOOP, 1), 0);
  Play(kRate / 2);
  EXPECT_EQ(QuerySoundHandlePlaying(h), 0);
}

TEST_F(SoundStreamTest, PlayTypeZeroRunsTheMessageStepUntilTheEnd) {
  SetSoundStorageMode(2);
  const int h = LoadImage(Mono(Ramp(kRate / 2)));
  static int steps;
  steps = 0;
  SetSoundMessageStep([] {
    ++steps;
    DsMixOutput(nullptr, kRate / 100);
    RefillAllSoundStreams();
    return 0;
  });
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_WAIT, 1), 0);
  EXPECT_EQ(QuerySoundHandlePlaying(h), 0);
  EXPECT_GE(steps, 50);
}

TEST_F(SoundStreamTest, AnImageLoadedInModeThreeIsCopiedSoTheCallerMayFreeIt) {
  SetSoundStorageMode(3);
  const auto samples = Ramp(size_t(kRate) * 5);
  auto* image = new Bytes(Mono(samples));
  const int h = LoadImage(*image);
  ASSERT_GE(h, 0);
  EXPECT_EQ(LookupSound(h)->parts[0].storage_mode, 2);
  std::fill(image->begin(), image->end(), 0);
  delete image;
  StartSoundHandle(h, SOUND_PLAY_BACK, 1);
  auto out = Play(kRate * 5);
  for (size_t i = 0; i < samples.size(); ++i) ASSERT_EQ(out[i], samples[i]) << i;
}

// Every load, play and delete gives back all it took: engine memory blocks
// and open files alike.
TEST_F(SoundStreamTest, LoadPlayAndDeleteLeaveNothingBehind) {
  WAVEFORMATEX mu{WAVE_FORMAT_MULAW, 1, 8000, 8000, 1, 8, 0};
  const uint8_t layer3[4] = {0xFF, 0xFB, 0x90, 0x00};
  const std::vector<std::pair<const char*, Bytes>> files = {
      {"a.wav", Mono(Ramp(kRate / 4))},
      {"b.wav", WaveFile(FormatBody(&mu, 18, 18), Bytes(4000, 0x33))},
      {"c.mp3", MpegFrames(layer3, 417, 10)},
      {"d.ogg", EncodeOggVorbis(Sine(1, 22050, 5000, 300), 1, 22050)},
  };
  for (const auto& [name, bytes] : files) WriteFile(name, std::string(bytes.begin(), bytes.end()));
  const int blocks = TrackedBlockCount();
  for (int round = 0; round < 3; ++round) {
    for (int mode : {0, 2, 3}) {
      SetSoundStorageMode(mode);
      for (const auto& [name, bytes] : files) {
        const int h = LoadSoundFile(name, 2);
        ASSERT_GE(h, 0) << name << " mode " << mode;
        StartSoundHandle(h, SOUND_PLAY_BACK, 1);
        Play(kRate / 10);
        ASSERT_EQ(DisposeSoundHandle(h), 0);
      }
    }
  }
  EXPECT_EQ(TrackedBlockCount(), blocks);
  // Mode 3 keeps its file open while the sound lives and closes it after:
  // far more loads than there are file slots all succeed.
  SetSoundStorageMode(3);
  for (int i = 0; i < MAX_OPEN_FILES + 20; ++i) {
    const int h = LoadSoundFile("a.wav", 1);
    ASSERT_GE(h, 0) << i;
    DisposeSoundHandle(h);
  }
}

TEST_F(SoundStreamTest, DamagedStreamsAreRefusedInEveryMode) {
  Bytes junk(3000, 0x5A);
  for (int mode : {2, 3}) {
    SetSoundStorageMode(mode);
    EXPECT_EQ(LoadImage(junk), -1);
    EXPECT_EQ(LoadSoundFile("absent.ogg"), -1);
  }
  EXPECT_EQ(SoundHandles().live_count(), 0);
}

// A variable-rate MPEG WAVE (0 average bytes per second) as a static sound
// and as a stream: its samples, length and position come from its frames.
TEST_F(SoundStreamTest, VariableRateMpegWaveHasItsLengthInEveryMode) {
  const uint8_t layer3[4] = {0xFF, 0xFB, 0x90, 0x00};  // 417-byte frames, 44.1 kHz stereo
  const Bytes file = MpegWave(MpegFrames(layer3, 417, 100), 2, 44100, 0);
  for (int mode : {0, 2}) {
    SetSoundStorageMode(mode);
    const int h = LoadImage(file);
    ASSERT_GE(h, 0) << mode;
    EXPECT_GT(GetSoundHandleSampleCount(h), 90 * 1152) << mode;
    EXPECT_LE(GetSoundHandleSampleCount(h), 100 * 1152) << mode;
    EXPECT_GT(GetSoundHandleLengthMs(h), 2300) << mode;
    if (mode == 2) {
      ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_BACK, 1), 0);
      Play(kRate);
      EXPECT_GT(GetSoundHandlePositionMs(h), 900);
    }
    EXPECT_EQ(DisposeSoundHandle(h), 0);
  }
}

}  // namespace
