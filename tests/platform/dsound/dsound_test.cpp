// The sound buffer stand-in: buffers, duplicates, locks and cursors, and the
// mixer's output for volume, pan, frequency, looping and its limiter, driven
// without a sound card; one test opens SDL's (dummy) audio device for real.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/dsound/dsound.h"
#include "platform/dsound/dsound_control.h"
#include "platform/dsound/dsound_mix.h"

namespace {

WAVEFORMATEX Pcm(int channels, int rate, int bits) {
  return MakePcmWaveFormat(channels, rate, bits);
}

class DsoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DsClearFailures();
    DsSetManualMixing(1);
    ASSERT_EQ(CreateDirectSoundInstance(&ds_), DS_OK);
    ASSERT_EQ(ds_->Initialize(nullptr), DS_OK);
    ASSERT_EQ(ds_->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
  }
  void TearDown() override {
    Release();
    DsClearFailures();
    DsSetManualMixing(0);
  }
  void Release() {
    for (auto* b : buffers_) b->Release();
    buffers_.clear();
    if (ds_) ds_->Release();
    ds_ = nullptr;
  }

  // A buffer filled with `bytes`.
  IDirectSoundBuffer* Make(WAVEFORMATEX f, const std::vector<uint8_t>& bytes,
                           DWORD flags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY | DSBCAPS_STATIC) {
    DSBUFFERDESC d{36, flags, DWORD(bytes.size()), 0, &f};
    IDirectSoundBuffer* b = nullptr;
    EXPECT_EQ(ds_->CreateSoundBuffer(&d, &b, nullptr), DS_OK);
    if (!b) return nullptr;
    void *p1, *p2;
    DWORD n1, n2;
    EXPECT_EQ(b->Lock(0, DWORD(bytes.size()), &p1, &n1, &p2, &n2, 0), DS_OK);
    std::memcpy(p1, bytes.data(), n1);
    EXPECT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
    buffers_.push_back(b);
    return b;
  }

  std::vector<int16_t> Mix(int frames) {
    std::vector<int16_t> out(size_t(frames) * 2);
    EXPECT_EQ(DsMixOutput(out.data(), frames), 0);
    return out;
  }

  static std::vector<uint8_t> Stereo16(const std::vector<int16_t>& lr) {
    std::vector<uint8_t> b(lr.size() * 2);
    std::memcpy(b.data(), lr.data(), b.size());
    return b;
  }

  IDirectSound* ds_ = nullptr;
  std::vector<IDirectSoundBuffer*> buffers_;
};

TEST_F(DsoundTest, OneShotPlaysItsSamplesExactlyThenStopsAtFrameZero) {
  std::vector<int16_t> lr;
  for (int i = 0; i < 100; ++i) lr.insert(lr.end(), {int16_t(i * 100), int16_t(-i * 50)});
  auto* b = Make(Pcm(2, 44100, 16), Stereo16(lr));
  ASSERT_EQ(b->Play(0, 0, 0), DS_OK);
  DWORD status = 0;
  ASSERT_EQ(b->GetStatus(&status), DS_OK);
  EXPECT_EQ(status, DSBSTATUS_PLAYING);
  auto out = Mix(150);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(out[i], lr[i]) << i;
  for (int i = 200; i < 300; ++i) ASSERT_EQ(out[i], 0) << i;
  ASSERT_EQ(b->GetStatus(&status), DS_OK);
  EXPECT_EQ(status, 0u);
  DWORD play = 1;
  ASSERT_EQ(b->GetCurrentPosition(&play, nullptr), DS_OK);
  EXPECT_EQ(play, 0u);
}

TEST_F(DsoundTest, EightBitMonoIsCentredAndSpreadToBothSides) {
  // Within the output's ceiling, where the mix passes samples unchanged.
  auto* b = Make(Pcm(1, 44100, 8), {128, 192, 64, 129});
  b->Play(0, 0, 0);
  auto out = Mix(4);
  std::vector<int16_t> want{0, 0, 64 << 8, 64 << 8, -64 << 8, -64 << 8, 1 << 8, 1 << 8};
  EXPECT_EQ(out, want);
}

TEST_F(DsoundTest, LoopingWrapsAndReportsLoopingStatus) {
  std::vector<int16_t> lr;
  for (int i = 0; i < 10; ++i) lr.insert(lr.end(), {int16_t(i + 1), int16_t(i + 1)});
  auto* b = Make(Pcm(2, 44100, 16), Stereo16(lr));
  b->Play(0, 0, DSBPLAY_LOOPING);
  auto out = Mix(25);
  for (int f = 0; f < 25; ++f) ASSERT_EQ(out[2 * f], f % 10 + 1) << f;
  DWORD status = 0, play = 0;
  b->GetStatus(&status);
  EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
  b->GetCurrentPosition(&play, nullptr);
  EXPECT_EQ(play, 5u * 4);
}

TEST_F(DsoundTest, VolumeAndPanScaleEachSide) {
  std::vector<int16_t> lr(200, 16000);
  struct Case {
    LONG volume, pan;
    double left, right;
  } cases[] = {
      {0, 0, 1.0, 1.0},
      {-600, 0, std::pow(10.0, -0.3), std::pow(10.0, -0.3)},
      {-10000, 0, 0.0, 0.0},
      {0, 2000, 0.1, 1.0},   // pan right attenuates the left side
      {0, -10000, 1.0, 0.0},
  };
  for (const Case& c : cases) {
    auto* b = Make(Pcm(2, 44100, 16), Stereo16(lr));
    ASSERT_EQ(b->SetVolume(c.volume), DS_OK);
    ASSERT_EQ(b->SetPan(c.pan), DS_OK);
    b->Play(0, 0, 0);
    auto out = Mix(10);
    EXPECT_NEAR(out[10], 16000 * c.left, 2) << c.volume << " " << c.pan;
    EXPECT_NEAR(out[11], 16000 * c.right, 2) << c.volume << " " << c.pan;
    b->Stop();
  }
}

TEST_F(DsoundTest, FrequencySetsHowLongTheBufferLasts) {
  std::vector<int16_t> lr(2 * 441, 1000);  // 10 ms at 44.1 kHz
  struct Case {
    DWORD hz;
    int frames;  // output frames until it stops
  } cases[] = {{44100, 441}, {22050, 882}, {88200, 221}, {0, 441}};
  for (const Case& c : cases) {
    auto* b = Make(Pcm(2, 44100, 16), Stereo16(lr));
    ASSERT_EQ(b->SetFrequency(c.hz), DS_OK);
    DWORD got = 0;
    b->GetFrequency(&got);
    EXPECT_EQ(got, c.hz ? c.hz : 44100u);
    b->Play(0, 0, 0);
    auto out = Mix(1000);
    int last = -1;
    for (int f = 0; f < 1000; ++f)
      if (out[2 * f]) last = f;
    EXPECT_EQ(last + 1, c.frames) << c.hz;
  }
}

TEST_F(DsoundTest, HalfRateInterpolatesBetweenSamples) {
  auto* b = Make(Pcm(1, 22050, 16), Stereo16({0, 1000, 2000}));
  b->Play(0, 0, 0);
  auto out = Mix(6);
  std::vector<int16_t> left{out[0], out[2], out[4], out[6], out[8], out[10]};
  EXPECT_EQ(left, (std::vector<int16_t>{0, 500, 1000, 1500, 2000, 2000}));
}

// Voices that add up past the output's ceiling, in either direction and on
// either side, come out at the ceiling; what stays within it comes out as
// it was added, sample for sample.
TEST_F(DsoundTest, NoSampleOfTheMixPassesTheCeiling) {
  struct Case {
    int voices;
    int16_t left, right;
    int16_t want_left, want_right;
  } cases[] = {
      {1, DS_OUTPUT_CEILING, -DS_OUTPUT_CEILING, DS_OUTPUT_CEILING, -DS_OUTPUT_CEILING},
      {2, 9000, -9000, 18000, -18000},
      {3, 30000, 30000, DS_OUTPUT_CEILING, DS_OUTPUT_CEILING},
      {2, -30000, -30000, -DS_OUTPUT_CEILING, -DS_OUTPUT_CEILING},
      {8, 32767, -32768, DS_OUTPUT_CEILING, -DS_OUTPUT_CEILING},
      // The louder side sets the gain; the other keeps its share of it.
      {2, 20000, 10000, DS_OUTPUT_CEILING, DS_OUTPUT_CEILING / 2},
  };
  for (const Case& c : cases) {
    // A device of its own: nothing an earlier case turned down lingers.
    Release();
    SetUp();
    std::vector<int16_t> lr;
    for (int i = 0; i < 20; ++i) lr.insert(lr.end(), {c.left, c.right});
    for (int i = 0; i < c.voices; ++i) Make(Pcm(2, 44100, 16), Stereo16(lr))->Play(0, 0, 0);
    auto out = Mix(20);
    for (int f = 0; f < 20; ++f) {
      ASSERT_NEAR(out[2 * f], c.want_left, 1) << c.voices << " x " << c.left << ", frame " << f;
      ASSERT_NEAR(out[2 * f + 1], c.want_right, 1) << c.voices << " x " << c.right << ", frame " << f;
    }
  }
}

// A loud overlap is turned down while it lasts, at once where it starts;
// after it the gain holds and then comes back smoothly, without a step,
// until the voice left plays as loud as it did alone, sample for sample.
TEST_F(DsoundTest, AnOverlapIsTurnedDownWhileItLastsAndTheGainComesBackSmoothly) {
  const int16_t level = 15000;  // below the ceiling alone, above it twice
  std::vector<int16_t> steady(2 * 3 * 44100, level), overlap(2 * 4410, level);  // 3 s, 100 ms
  auto* alone = Make(Pcm(2, 44100, 16), Stereo16(steady));
  auto* other = Make(Pcm(2, 44100, 16), Stereo16(overlap));
  alone->Play(0, 0, 0);
  auto before = Mix(1000);
  for (int16_t v : before) ASSERT_EQ(v, level);
  other->Play(0, 0, 0);
  auto during = Mix(4410);
  for (int16_t v : during) ASSERT_NEAR(v, DS_OUTPUT_CEILING, 1);
  auto after = Mix(2 * 44100);
  const int turned_down = DS_OUTPUT_CEILING / 2;  // the voice left, at the overlap's gain
  EXPECT_NEAR(after[0], turned_down, 1);
  int held = 0, back = -1, largest_step = 0;
  for (size_t f = 1; f < after.size() / 2; ++f) {
    const int step = after[2 * f] - after[2 * (f - 1)];
    ASSERT_GE(step, 0) << "frame " << f << " after the overlap";
    largest_step = std::max(largest_step, step);
    if (back < 0 && std::abs(after[2 * f] - turned_down) <= 1) held = int(f);
    if (back < 0 && after[2 * f] == level) back = int(f);
  }
  EXPECT_GE(held, 44100 / 50) << "the lowered gain is held for a while";
  ASSERT_GT(back, 0) << "the gain does not come back to 1";
  EXPECT_LT(back, 44100 * 3 / 2);
  EXPECT_LE(largest_step, 10) << "the gain comes back in a step";
  for (size_t i = 2 * back; i < after.size(); ++i) ASSERT_EQ(after[i], level) << i / 2;
}

TEST_F(DsoundTest, DuplicatesShareSamplesButNotPlayState) {
  std::vector<int16_t> lr(40, 100);
  auto* a = Make(Pcm(2, 44100, 16), Stereo16(lr));
  IDirectSoundBuffer* d = nullptr;
  ASSERT_EQ(ds_->DuplicateSoundBuffer(a, &d), DS_OK);
  buffers_.push_back(d);
  // New samples written through the original are heard from the duplicate.
  void *p1, *p2;
  DWORD n1, n2;
  ASSERT_EQ(a->Lock(0, 4, &p1, &n1, &p2, &n2, 0), DS_OK);
  int16_t v[2] = {7, 7};
  std::memcpy(p1, v, 4);
  a->Unlock(p1, n1, p2, n2);
  d->Play(0, 0, 0);
  DWORD sa = 9, sd = 0;
  a->GetStatus(&sa);
  d->GetStatus(&sd);
  EXPECT_EQ(sa, 0u);
  EXPECT_EQ(sd, DSBSTATUS_PLAYING);
  auto out = Mix(2);
  EXPECT_EQ(out[0], 7);
  EXPECT_EQ(out[2], 100);
  // The original lives on after the duplicate is gone, and the other way round.
  a->Release();
  buffers_.erase(buffers_.begin());
  out = Mix(2);
  EXPECT_EQ(out[0], 100);
}

TEST_F(DsoundTest, LockSplitsAtTheEndAndRefusesBadRegions) {
  auto* b = Make(Pcm(2, 44100, 16), std::vector<uint8_t>(400, 0));
  void *p1, *p2;
  DWORD n1, n2;
  ASSERT_EQ(b->Lock(300, 200, &p1, &n1, &p2, &n2, 0), DS_OK);
  EXPECT_EQ(n1, 100u);
  EXPECT_EQ(n2, 100u);
  EXPECT_EQ(static_cast<uint8_t*>(p1) - static_cast<uint8_t*>(p2), 300);
  EXPECT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
  EXPECT_EQ(b->Unlock(p1, 200, nullptr, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->Lock(400, 4, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->Lock(0, 401, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->Lock(0, 0, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->Lock(300, 200, &p1, &n1, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->SetCurrentPosition(400), DSERR_INVALIDPARAM);
}

TEST_F(DsoundTest, RingWrittenWhilePlayingIsHeardOnTheNextPass) {
  std::vector<int16_t> zero(2 * 100, 0);
  auto* ring = Make(Pcm(2, 44100, 16), Stereo16(zero), DSBCAPS_CTRLVOLUME | DSBCAPS_GETCURRENTPOSITION2);
  ring->Play(0, 0, DSBPLAY_LOOPING);
  Mix(60);
  DWORD play = 0, write = 0;
  ring->GetCurrentPosition(&play, &write);
  EXPECT_EQ(play, 240u);
  EXPECT_NE(write, play);
  // Fill the 80 frames from the play cursor across the wrap.
  void *p1, *p2;
  DWORD n1, n2;
  ASSERT_EQ(ring->Lock(play, 320, &p1, &n1, &p2, &n2, 0), DS_OK);
  std::vector<int16_t> ones(160, 5);
  std::memcpy(p1, ones.data(), n1);
  std::memcpy(p2, ones.data(), n2);
  ring->Unlock(p1, n1, p2, n2);
  auto out = Mix(100);
  for (int f = 0; f < 80; ++f) ASSERT_EQ(out[2 * f], 5) << f;
  for (int f = 80; f < 100; ++f) ASSERT_EQ(out[2 * f], 0) << f;
  ring->SetCurrentPosition(0);
  ring->GetCurrentPosition(&play, nullptr);
  EXPECT_EQ(play, 0u);
}

TEST_F(DsoundTest, ControlsMissingFromTheDescriptionAreUnavailable) {
  auto* b = Make(Pcm(2, 44100, 16), std::vector<uint8_t>(64, 0), DSBCAPS_STATIC);
  EXPECT_EQ(b->SetVolume(-100), DSERR_CONTROLUNAVAIL);
  EXPECT_EQ(b->SetFrequency(22050), DSERR_CONTROLUNAVAIL);
  EXPECT_EQ(b->SetPan(0), DSERR_CONTROLUNAVAIL);
}

TEST_F(DsoundTest, BadFormatsAndSizesAreRefused) {
  struct Case {
    WAVEFORMATEX f;
    DWORD bytes;
    HRESULT want;
  } cases[] = {
      {Pcm(2, 44100, 16), 3, DSERR_INVALIDPARAM},
      {Pcm(2, 44100, 12), 64, DSERR_BADFORMAT},
      {Pcm(0, 44100, 16), 64, DSERR_BADFORMAT},
      {Pcm(2, 50, 16), 64, DSERR_BADFORMAT},
      {Pcm(2, 44100, 24), 60, DS_OK},
  };
  cases[2].f.nBlockAlign = 4;
  WAVEFORMATEX adpcm = Pcm(2, 44100, 16);
  adpcm.wFormatTag = 2;
  for (const Case& c : cases) {
    WAVEFORMATEX f = c.f;
    DSBUFFERDESC d{36, DSBCAPS_STATIC, c.bytes, 0, &f};
    IDirectSoundBuffer* b = nullptr;
    EXPECT_EQ(ds_->CreateSoundBuffer(&d, &b, nullptr), c.want) << c.f.wBitsPerSample << " " << c.bytes;
    if (b) b->Release();
  }
  DSBUFFERDESC d{36, DSBCAPS_STATIC, 64, 0, &adpcm};
  IDirectSoundBuffer* b = nullptr;
  EXPECT_EQ(ds_->CreateSoundBuffer(&d, &b, nullptr), DSERR_BADFORMAT);
  EXPECT_EQ(b, nullptr);
}

TEST_F(DsoundTest, InjectedFailuresHitTheNamedCallAfterTheGivenCount) {
  auto* a = Make(Pcm(2, 44100, 16), std::vector<uint8_t>(64, 0));
  DsFailCall(DS_CALL_DUPLICATE, DSERR_OUTOFMEMORY, 1);
  IDirectSoundBuffer *d1 = nullptr, *d2 = nullptr;
  EXPECT_EQ(ds_->DuplicateSoundBuffer(a, &d1), DS_OK);
  EXPECT_EQ(ds_->DuplicateSoundBuffer(a, &d2), DSERR_OUTOFMEMORY);
  EXPECT_EQ(d2, nullptr);
  d1->Release();
  DsFailCall(DS_CALL_GET_STATUS, DSERR_BUFFERLOST);
  DWORD s;
  EXPECT_EQ(a->GetStatus(&s), DSERR_BUFFERLOST);
  DsClearFailures();
  EXPECT_EQ(a->GetStatus(&s), DS_OK);
}

TEST_F(DsoundTest, PrimaryBufferTakesAFormatAndOnlyOneExists) {
  DSBUFFERDESC d{36, DSBCAPS_PRIMARYBUFFER, 0, 0, nullptr};
  IDirectSoundBuffer *p = nullptr, *q = nullptr;
  ASSERT_EQ(ds_->CreateSoundBuffer(&d, &p, nullptr), DS_OK);
  EXPECT_EQ(ds_->CreateSoundBuffer(&d, &q, nullptr), DSERR_ALLOCATED);
  WAVEFORMATEX f = Pcm(2, 44100, 16);
  EXPECT_EQ(p->SetFormat(&f), DS_OK);
  WAVEFORMATEX got{};
  ASSERT_EQ(DsGetPrimaryFormat(&got), 0);
  EXPECT_EQ(got.nSamplesPerSec, 44100u);
  DSCAPS caps{};
  caps.dwSize = 96;
  ASSERT_EQ(ds_->GetCaps(&caps), DS_OK);
  EXPECT_TRUE(caps.dwFlags & DSCAPS_PRIMARYSTEREO);
  EXPECT_EQ(caps.dwMaxSecondarySampleRate, DSBFREQUENCY_MAX);
  p->Release();
}

TEST(DsoundDevice, UninitialisedObjectRefusesAndInitFailureIsReported) {
  DsClearFailures();
  IDirectSound* ds = nullptr;
  ASSERT_EQ(CreateDirectSoundInstance(&ds), DS_OK);
  DSBUFFERDESC d{36, DSBCAPS_PRIMARYBUFFER, 0, 0, nullptr};
  IDirectSoundBuffer* b = nullptr;
  EXPECT_EQ(ds->CreateSoundBuffer(&d, &b, nullptr), DSERR_UNINITIALIZED);
  DsFailCall(DS_CALL_INITIALIZE, DSERR_NODRIVER);
  EXPECT_EQ(ds->Initialize(nullptr), DSERR_NODRIVER);
  DsClearFailures();
  ds->Release();
  DsFailCall(DS_CALL_CREATE_INSTANCE, DSERR_GENERIC);
  EXPECT_EQ(CreateDirectSoundInstance(&ds), DSERR_GENERIC);
  EXPECT_EQ(ds, nullptr);
  DsClearFailures();
}

// SDL's audio device (the dummy driver in tests) drives the play cursor.
TEST(DsoundDevice, AudioDeviceAdvancesAPlayingRing) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);  // no sound card needed
  DsClearFailures();
  DsSetManualMixing(0);
  IDirectSound* ds = nullptr;
  ASSERT_EQ(CreateDirectSoundInstance(&ds), DS_OK);
  if (ds->Initialize(nullptr) != DS_OK) {
    ds->Release();
    GTEST_SKIP() << "no audio driver";
  }
  WAVEFORMATEX f = Pcm(2, 44100, 16);
  DSBUFFERDESC d{36, DSBCAPS_GETCURRENTPOSITION2, 44100 * 4, 0, &f};
  IDirectSoundBuffer* b = nullptr;
  ASSERT_EQ(ds->CreateSoundBuffer(&d, &b, nullptr), DS_OK);
  b->Play(0, 0, DSBPLAY_LOOPING);
  DWORD play = 0;
  for (int tries = 0; play == 0 && tries < 12000; ++tries) {  // up to a minute on a busy machine
    usleep(5000);
    b->GetCurrentPosition(&play, nullptr);
  }
  EXPECT_GT(play, 0u);
  b->Release();
  ds->Release();
}

TEST(DsoundDevice, EnumerationListsTheDefaultDeviceFirst) {
  std::vector<std::string> names;
  auto cb = [](const void* guid, LPCSTR description, LPCSTR, LPVOID ctx) -> BOOL {
    static_cast<std::vector<std::string>*>(ctx)->push_back(guid ? description : "(default)");
    return TRUE;
  };
  EXPECT_EQ(DirectSoundEnumerateA(cb, &names), DS_OK);
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names[0], "(default)");
}

}  // namespace
