// Sound handles played through the software mixer without an audio device:
// the sound system's start and end, static sounds with their volume, rate,
// looping and buffer turns checked on the mixed output, loads from files and
// memory, and the failures that must not end the program.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cmath>

#include "engine/core/log.h"
#include "engine/sound/sound_internal.h"
#include "tests/engine/sound/sound_fixtures.h"

namespace {

// A mono 16-bit sound at the output rate: its samples come out unchanged on
// both sides.
Bytes MonoRamp(int frames, int start = 0) { return PcmWave(PcmFormat(1, 44100, 16), Le16(Ramp(size_t(frames), start))); }

using SoundHandleTest = SoundSystemTest;

TEST_F(SoundHandleTest, StaticSoundPlaysItsSamplesOnBothSides) {
  auto samples = Ramp(1000);
  const int h = LoadImage(PcmWave(PcmFormat(1, 44100, 16), Le16(samples)));
  ASSERT_GE(h, 0);
  EXPECT_EQ(uint32_t(h) & 0x78000000u, 0x10000000u);
  EXPECT_EQ(GetSoundHandleSampleCount(h), 1000);
  EXPECT_EQ(GetSoundHandleLengthMs(h), 22);
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_BACK, 1), 0);
  EXPECT_EQ(QuerySoundHandlePlaying(h), 1);
  auto out = Mix(1200);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(out[2 * i], samples[i]) << i;
    ASSERT_EQ(out[2 * i + 1], samples[i]) << i;
  }
  for (int i = 1000; i < 1200; ++i) ASSERT_EQ(out[2 * i], 0);
  EXPECT_EQ(QuerySoundHandlePlaying(h), 0);
}

TEST_F(SoundHandleTest, VolumeFollowsTheLogarithmicScale) {
  struct Case {
    int volume;
    LONG attenuation;
  } cases[] = {{255, 0}, {256, 0}, {1, -2406}, {0, -10000}, {-5, -10000}, {128, -299}};
  const int16_t level = 16000;  // within the mixer's ceiling, where it passes sums unchanged
  const std::vector<int16_t> flat(400, level);
  for (const Case& c : cases) {
    const int h = LoadImage(PcmWave(PcmFormat(1, 44100, 16), Le16(flat)), 1);
    ASSERT_EQ(SetSoundHandleVolume(c.volume, h), 0);
    LONG got = 1;
    LookupSound(h)->buffers[0].buffer->GetVolume(&got);
    EXPECT_EQ(got, c.attenuation) << c.volume;
    StartSoundHandle(h, SOUND_PLAY_BACK, 1);
    auto out = Mix(10);
    EXPECT_NEAR(out[10], level * std::pow(10.0, c.attenuation / 2000.0), 3) << c.volume;
    DisposeSoundHandle(h);
  }
  EXPECT_EQ(SetSoundHandleVolume(100, 0x10000000 | 77), -1);
}

TEST_F(SoundHandleTest, FrequencyChangesTheLengthAndMinusOneRestoresIt) {
  const int h = LoadImage(MonoRamp(441), 1);
  auto played_frames = [&] {
    StartSoundHandle(h, SOUND_PLAY_BACK, 1);
    int frames = 0;
    while (QuerySoundHandlePlaying(h) == 1 && frames < 5000) {
      Mix(1);
      ++frames;
    }
    return frames;
  };
  ASSERT_EQ(SetSoundHandleFrequency(22050, h), 0);
  EXPECT_EQ(played_frames(), 882);
  ASSERT_EQ(SetSoundHandleFrequency(66150, h), 0);
  EXPECT_EQ(played_frames(), 294);
  ASSERT_EQ(SetSoundHandleFrequency(-1, h), 0);
  EXPECT_EQ(played_frames(), 441);
}

TEST_F(SoundHandleTest, PlayTypeThreeLoopsUntilHalted) {
  auto samples = Ramp(100);
  const int h = LoadImage(PcmWave(PcmFormat(1, 44100, 16), Le16(samples)));
  StartSoundHandle(h, SOUND_PLAY_LOOP, 1);
  auto out = Mix(350);
  for (int i = 0; i < 350; ++i) ASSERT_EQ(out[2 * i], samples[i % 100]) << i;
  EXPECT_EQ(QuerySoundHandlePlaying(h), 1);
  ASSERT_EQ(HaltSoundHandle(h), 0);
  EXPECT_EQ(QuerySoundHandlePlaying(h), 0);
  EXPECT_EQ(Mix(10), std::vector<int16_t>(20, 0));
}

TEST_F(SoundHandleTest, BuffersTakeTurnsAndFromTopDecidesOverAPlayingOne) {
  const int h = LoadImage(MonoRamp(4410), 2);
  ASSERT_EQ(LookupSound(h)->buffer_count, 2);
  const int silent = DsPlayingBufferCount();  // the silent buffer plays all along
  StartSoundHandle(h, SOUND_PLAY_BACK, 1);
  Mix(100);
  StartSoundHandle(h, SOUND_PLAY_BACK, 1);
  EXPECT_EQ(DsPlayingBufferCount(), silent + 2);  // the second overlaps the first
  Mix(100);
  SoundRecord* s = LookupSound(h);
  auto position = [&](int i) {
    DWORD p = 0;
    s->buffers[i].buffer->GetCurrentPosition(&p, nullptr);
    return p;
  };
  // The first play took buffer 1, the second buffer 0; from top 0 now finds
  // buffer 1 still playing and leaves it alone.
  EXPECT_EQ(position(1), 400u);
  EXPECT_EQ(StartSoundHandle(h, SOUND_PLAY_BACK, 0), 0);
  EXPECT_EQ(position(1), 400u);
  EXPECT_EQ(DsPlayingBufferCount(), silent + 2);
  // From top 1 stops buffer 0 and restarts it.
  EXPECT_EQ(position(0), 200u);
  StartSoundHandle(h, SOUND_PLAY_BACK, 1);
  EXPECT_EQ(position(0), 0u);
  // From top 0 on a stopped buffer starts at the offset of the one played before.
  HaltSoundHandle(h);
  StartSoundHandle(h, SOUND_PLAY_BACK, 1);  // buffer 1 from the top
  Mix(50);
  HaltSoundHandle(h);
  StartSoundHandle(h, SOUND_PLAY_BACK, 0);  // buffer 0 at buffer 1's offset
  EXPECT_EQ(position(0), 100u);
  EXPECT_EQ(QuerySoundHandlePlaying(h), 1);
}

TEST_F(SoundHandleTest, RefusedDuplicatesLeaveOneBufferThatStillPlays) {
  DsFailCall(DS_CALL_DUPLICATE, DSERR_OUTOFMEMORY);
  auto samples = Ramp(50);
  const int h = LoadImage(PcmWave(PcmFormat(1, 44100, 16), Le16(samples)), 3);
  ASSERT_GE(h, 0);
  EXPECT_EQ(LookupSound(h)->buffer_count, 1);
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_BACK, 1), 0);
    auto out = Mix(50);
    EXPECT_EQ(out[2 * 49], samples[49]);
  }
}

TEST_F(SoundHandleTest, BufferCountsOutsideOneToTenAreHandledWithoutOverrun) {
  const Bytes file = MonoRamp(100);
  EXPECT_EQ(LoadImage(file, 11), -1);
  EXPECT_EQ(LoadImage(file, 12), -1);
  WriteFile("effect.wav", std::string(file.begin(), file.end()));
  const int from_file = LoadSoundFile("effect.wav", 12);
  ASSERT_GE(from_file, 0);
  EXPECT_EQ(LookupSound(from_file)->buffer_count, 10);
  // No buffer at all: every play fails, however often.
  const int none = LoadImage(file, 0);
  ASSERT_GE(none, 0);
  for (int i = 0; i < 25; ++i) EXPECT_EQ(StartSoundHandle(none, SOUND_PLAY_BACK, 1), -1);
  EXPECT_EQ(QuerySoundHandlePlaying(none), 0);
  EXPECT_EQ(DisposeSoundHandle(none), 0);
}

TEST_F(SoundHandleTest, StorageModeSetter) {
  for (int mode : {0, 1, 2, 3}) EXPECT_EQ(SetSoundStorageMode(mode), 0);
  EXPECT_EQ(SetSoundStorageMode(4), -1);
  EXPECT_EQ(SetSoundStorageMode(-1), -1);
  EXPECT_EQ(GetSoundStorageMode(), 3);
  // A load in mode 1 is refused, not fatal.
  SetSoundStorageMode(1);
  EXPECT_EQ(LoadImage(MonoRamp(100)), -1);
  EXPECT_EQ(SoundHandles().live_count(), 0);
}

TEST_F(SoundHandleTest, EmptyAndDamagedSoundsAreRefusedAndLeaveNoHandle) {
  WAVEFORMATEX f = PcmFormat(2, 44100, 16);
  std::vector<Bytes> cases = {PcmWave(f, {}), PcmWave(f, {1, 2}), Bytes(100, 'x'), Bytes{}};
  for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(LoadImage(cases[i]), -1) << i;
  EXPECT_EQ(LoadSoundFile("missing.wav"), -1);
  EXPECT_EQ(SoundHandles().live_count(), 0);
}

struct Aborted {};
[[noreturn]] void ThrowOnExit(int) { throw Aborted{}; }

TEST_F(SoundHandleTest, FirstBufferThatCannotBeMadeIsFatal) {
  SetLogAbortHooks(nullptr, ThrowOnExit);
  DsFailCall(DS_CALL_CREATE_BUFFER, DSERR_OUTOFMEMORY);
  EXPECT_THROW(LoadImage(MonoRamp(100)), Aborted);
  SetLogAbortHooks(nullptr, nullptr);
  DsClearFailures();
  EXPECT_NE(ReadFile("Log.txt").find("DirectSoundBuffer"), std::string::npos);
}

TEST_F(SoundHandleTest, PlayTypeZeroWaitsForTheEndOrForTheWindowToClose) {
  static int steps;
  steps = 0;
  SetSoundMessageStep([] {
    ++steps;
    DsMixOutput(nullptr, 441);
    return 0;
  });
  const int h = LoadImage(MonoRamp(44100));  // one second
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_WAIT, 1), 0);
  EXPECT_EQ(QuerySoundHandlePlaying(h), 0);
  EXPECT_GE(steps, 100);
  SetSoundMessageStep([] { return -1; });
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_WAIT, 1), 0);
  EXPECT_EQ(QuerySoundHandlePlaying(h), 1);
}

TEST_F(SoundHandleTest, PositionInMilliseconds) {
  const int h = LoadImage(PcmWave(PcmFormat(2, 22050, 16), Le16(Ramp(2 * 22050))));
  EXPECT_EQ(GetSoundHandleLengthMs(h), 1000);
  StartSoundHandle(h, SOUND_PLAY_BACK, 1);
  Mix(44100 / 4);
  EXPECT_NEAR(GetSoundHandlePositionMs(h), 250, 1);
}

TEST_F(SoundHandleTest, DisposeAllFreesEverything) {
  for (int i = 0; i < 5; ++i) ASSERT_GE(LoadImage(MonoRamp(100)), 0);
  EXPECT_EQ(SoundHandles().live_count(), 5);
  EXPECT_EQ(DisposeAllSoundHandles(), 0);
  EXPECT_EQ(SoundHandles().live_count(), 0);
  EXPECT_EQ(SoundHandles().high_water(), 0);
}

// ---- the system's start and end -------------------------------------------------

using SoundSystem = SoundLogTest;

TEST_F(SoundSystem, StartEndAndEverySoundFunctionWithoutIt) {
  DsClearFailures();
  DsSetManualMixing(1);
  ASSERT_EQ(StartSoundSystem(), 0);
  EXPECT_EQ(StartSoundSystem(), -1);
  const Bytes file = MonoRamp(100);
  const int h = LoadSoundImage(file.data(), int(file.size()), 1, -1);
  ASSERT_GE(h, 0);
  ASSERT_EQ(EndSoundSystem(), 0);
  EXPECT_EQ(EndSoundSystem(), -1);
  EXPECT_EQ(LoadSoundImage(file.data(), int(file.size()), 1, -1), -1);
  EXPECT_EQ(StartSoundHandle(h, 1, 1), -1);
  EXPECT_EQ(HaltSoundHandle(h), -1);
  EXPECT_EQ(QuerySoundHandlePlaying(h), -1);
  EXPECT_EQ(SetSoundHandleVolume(10, h), -1);
  EXPECT_EQ(DisposeSoundHandle(h), -1);
  EXPECT_EQ(DisposeAllSoundHandles(), -1);
  EXPECT_EQ(RefillAllSoundStreams(), -1);
  ASSERT_EQ(StartSoundSystem(), 0);
  EXPECT_GE(LoadSoundImage(file.data(), int(file.size()), 1, -1), 0);
  EXPECT_EQ(EndSoundSystem(), 0);
  DsSetManualMixing(0);
}

TEST_F(SoundSystem, StartAndEndReportToTheLog) {
  DsClearFailures();
  DsSetManualMixing(1);
  ASSERT_EQ(StartSoundSystem(), 0);
  ASSERT_EQ(EndSoundSystem(), 0);
  const std::string log = ReadFile("Log.txt");
  for (const char* line : {"DirectSound の初期化を行います", "DirectSound デバイスを列挙します", "モジュール名:",
                           "利用可能チャンネル", " セカンダリ MONO = OK  STEREO = OK ",
                           "DirectSound の初期化は正常に終了しました", "DirectSound の終了処理は正常に終了しました"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
  EXPECT_EQ(GetLogIndent(), 0);
  DsSetManualMixing(0);
}

TEST_F(SoundSystem, EachFailingStartStepLeavesTheSystemStopped) {
  DsSetManualMixing(1);
  for (DsCall call : {DS_CALL_CREATE_INSTANCE, DS_CALL_INITIALIZE, DS_CALL_SET_COOPERATIVE_LEVEL,
                      DS_CALL_CREATE_PRIMARY}) {
    DsClearFailures();
    DsFailCall(call, DSERR_NODRIVER);
    EXPECT_EQ(StartSoundSystem(), -1) << call;
    EXPECT_EQ(EndSoundSystem(), -1) << call;
  }
  // Later steps only log.
  for (DsCall call : {DS_CALL_SET_FORMAT, DS_CALL_CREATE_BUFFER, DS_CALL_LOCK, DS_CALL_ENUMERATE}) {
    DsClearFailures();
    DsFailCall(call, DSERR_GENERIC);
    EXPECT_EQ(StartSoundSystem(), 0) << call;
    EXPECT_EQ(EndSoundSystem(), 0) << call;
  }
  DsClearFailures();
  DsSetManualMixing(0);
}

TEST_F(SoundSystem, PrimaryRateIsTheDevicesHighestButAtMost44100) {
  DsClearFailures();
  DsSetManualMixing(1);
  for (auto [max_rate, want] : {std::pair<DWORD, DWORD>{48000, 44100}, {22050, 22050}}) {
    DsSetMaxSecondaryRate(max_rate);
    ASSERT_EQ(StartSoundSystem(), 0);
    WAVEFORMATEX f{};
    ASSERT_EQ(DsGetPrimaryFormat(&f), 0);
    EXPECT_EQ(f.nSamplesPerSec, want);
    EXPECT_EQ(f.nChannels, 2);
    EXPECT_EQ(f.wBitsPerSample, 16);
    EndSoundSystem();
  }
  DsSetMaxSecondaryRate(0);
  DsSetManualMixing(0);
}

// Through SDL's audio device (its dummy driver here) a sound plays to its end
// in real time while play type 0 waits.
TEST_F(SoundSystem, PlaysThroughTheAudioDevice) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  DsClearFailures();
  DsSetManualMixing(0);
  ASSERT_EQ(StartSoundSystem(), 0);
  const Bytes file = MonoRamp(4410);  // 0.1 s
  const int h = LoadSoundImage(file.data(), int(file.size()), 1, -1);
  EXPECT_EQ(StartSoundHandle(h, SOUND_PLAY_WAIT, 1), 0);
  EXPECT_EQ(QuerySoundHandlePlaying(h), 0);
  EXPECT_EQ(EndSoundSystem(), 0);
}

// The audio thread mixes while the main thread refills a stream sound, as in
// the game: it plays to its end and stops by itself.
TEST_F(SoundSystem, StreamPlaysThroughTheAudioDeviceWhileTheMainThreadRefills) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  DsClearFailures();
  DsSetManualMixing(0);
  ASSERT_EQ(StartSoundSystem(), 0);
  SetSoundStorageMode(2);
  const Bytes file = PcmWave(PcmFormat(2, 22050, 16), Le16(Ramp(2 * 22050 * 6 / 10)));  // 0.6 s
  const int h = LoadSoundImage(file.data(), int(file.size()), 1, -1);
  ASSERT_GE(h, 0);
  ASSERT_EQ(StartSoundHandle(h, SOUND_PLAY_BACK, 1), 0);
  // The device consumes the ring at its own pace; the bound only keeps a
  // broken stream from hanging the test.
  const int start = GetMillisecondCount();
  while (QuerySoundHandlePlaying(h) == 1 && GetMillisecondCount() - start < 20000) {
    RefillAllSoundStreams();
    Sleep(5);
  }
  EXPECT_EQ(QuerySoundHandlePlaying(h), 0);
  EXPECT_EQ(GetSoundHandlePositionMs(h), 600);
  SetSoundStorageMode(0);
  EXPECT_EQ(EndSoundSystem(), 0);
}

}  // namespace
