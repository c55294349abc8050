// The MIDI library as the game uses it: loaded by name, a small MIDI file
// written by the test played through it, its state word and its output
// watched while it plays, after a stop and after its end.
#include <algorithm>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tunehall/tunehall.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const char* Utf8(const char8_t* s) { return reinterpret_cast<const char*>(s); }

struct Api {
  void* module = nullptr;
  int (*open)(int, int);
  int (*close)();
  int (*load)(const char*);
  int (*play)();
  int (*stop)();
  int (*status)(THStatus*);
  int (*caps)(int, int);
  int (*error_string)(int, const char**);
  int (*take_peak)();
};

template <typename F>
void Bind(void* module, const char* name, F* fn) {
  *fn = reinterpret_cast<F>(dlsym(module, name));
  ASSERT_NE(*fn, nullptr) << name;
}

void Put32(std::string* s, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) s->push_back(static_cast<char>(v >> shift));
}

// A format-0 file: two piano notes of a quarter second each at 120 beats a
// minute, 480 ticks a beat: half a second of music.
std::string SmallMidi() {
  std::string track;
  auto add = [&](std::initializer_list<int> bytes) {
    for (int b : bytes) track.push_back(static_cast<char>(b));
  };
  add({0x00, 0xC0, 0x00});            // piano
  add({0x00, 0x90, 60, 110});         // C on
  add({0x81, 0x70, 0x80, 60, 0});     // 240 ticks: C off
  add({0x00, 0x90, 64, 110});         // E on
  add({0x81, 0x70, 0x80, 64, 0});     // 240 ticks: E off
  add({0x00, 0xFF, 0x2F, 0x00});      // end of track
  std::string file = "MThd";
  Put32(&file, 6);
  file += std::string("\x00\x00\x00\x01\x01\xE0", 6);  // format 0, 1 track, 480 ticks a beat
  file += "MTrk";
  Put32(&file, static_cast<uint32_t>(track.size()));
  return file + track;
}

class TunehallTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    api_.module = dlopen(TUNEHALL_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(api_.module, nullptr) << dlerror();
    Bind(api_.module, "THOpenDevice", &api_.open);
    Bind(api_.module, "THCloseDevice", &api_.close);
    Bind(api_.module, "THLoadMusic", &api_.load);
    Bind(api_.module, "THPlayMusic", &api_.play);
    Bind(api_.module, "THStopMusic", &api_.stop);
    Bind(api_.module, "THGetStatus", &api_.status);
    Bind(api_.module, "THSetCaps", &api_.caps);
    Bind(api_.module, "THGetErrorString", &api_.error_string);
    Bind(api_.module, "THTestTakePeak", &api_.take_peak);
    std::filesystem::create_directories(Path(Utf8(u8"音楽")));
    std::ofstream(Path(Utf8(u8"音楽/曲.mid")), std::ios::binary) << SmallMidi();
  }
  void TearDown() override {
    if (api_.module) dlclose(api_.module);
    TempDirTest::TearDown();
  }

  int State() {
    THStatus s{};
    s.size = 32;
    EXPECT_EQ(api_.status(&s), TH_OK);
    return s.state;
  }
  // Waits up to `limit` for the state word to read `want`.
  bool WaitForState(int want, milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      if (State() == want) return true;
      std::this_thread::sleep_for(milliseconds(10));
    }
    return State() == want;
  }
  // The loudest sample rendered over `span`.
  int PeakOver(milliseconds span) {
    api_.take_peak();
    std::this_thread::sleep_for(span);
    return api_.take_peak();
  }
  // Whether a sample louder than `level` is rendered within `limit`. The
  // music advances with the rendered samples, so a slow machine only makes
  // this take longer; the limit is there for a music that never sounds.
  bool HearsAbove(int level, milliseconds limit = milliseconds(60000)) {
    api_.take_peak();
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      if (api_.take_peak() > level) return true;
      std::this_thread::sleep_for(milliseconds(10));
    }
    return false;
  }

  Api api_;
};

// The game's path: code page 932, "\" separators, relative to the current
// folder (the narrow literal is code page 932 in the program).
const char* const kMusicPath = "音楽\\曲.mid";

TEST_F(TunehallTest, MusicLoopsAndTheStateStaysPlaying) {
  ASSERT_EQ(api_.open(-1, 0), TH_OK);
  ASSERT_EQ(api_.load(kMusicPath), TH_OK);
  EXPECT_EQ(State(), 0);  // loaded, not yet playing
  ASSERT_EQ(api_.play(), TH_OK);
  EXPECT_EQ(api_.caps(TH_CAP_VOLUME, 100), TH_OK);
  EXPECT_TRUE(HearsAbove(500));
  // The half-second tune runs past its last event and starts again from the
  // top: the tick falls back while the state never leaves 1.
  THStatus s{};
  s.size = 32;
  int highest = -1;
  bool wrapped = false;
  const auto end = Clock::now() + milliseconds(60000);  // a generous bound for a busy machine
  while (!wrapped && Clock::now() < end) {
    ASSERT_EQ(api_.status(&s), TH_OK);
    ASSERT_EQ(s.state, 1);
    EXPECT_EQ(s.total_ticks, 480);
    wrapped = s.tick < highest;
    highest = std::max(highest, s.tick);
    std::this_thread::sleep_for(milliseconds(10));
  }
  EXPECT_TRUE(wrapped);
  EXPECT_TRUE(HearsAbove(500));  // and it sounds on the second time round
  // Playing again starts from the top.
  ASSERT_EQ(api_.play(), TH_OK);
  EXPECT_EQ(State(), 1);
  EXPECT_EQ(api_.close(), TH_OK);
}

// The sound font loads behind THOpenDevice: a device closed while it loads
// waits for it and closes cleanly, and one opened again plays at once (its
// THPlayMusic waits for the font, so the first notes are not lost).
TEST_F(TunehallTest, ADeviceClosedWhileItsFontLoadsOpensAgainAndPlays) {
  ASSERT_EQ(api_.open(-1, 0), TH_OK);
  EXPECT_EQ(api_.close(), TH_OK);
  ASSERT_EQ(api_.open(-1, 0), TH_OK);
  ASSERT_EQ(api_.load(kMusicPath), TH_OK);
  ASSERT_EQ(api_.play(), TH_OK);
  EXPECT_EQ(State(), 1);
  EXPECT_TRUE(HearsAbove(500));
  EXPECT_EQ(api_.close(), TH_OK);
}

TEST_F(TunehallTest, StopSilencesAtOnce) {
  ASSERT_EQ(api_.open(-1, 0), TH_OK);
  ASSERT_EQ(api_.load(kMusicPath), TH_OK);
  ASSERT_EQ(api_.play(), TH_OK);
  EXPECT_TRUE(HearsAbove(500));
  EXPECT_EQ(api_.stop(), TH_OK);
  EXPECT_EQ(State(), 0);
  std::this_thread::sleep_for(milliseconds(100));  // what was already queued drains
  EXPECT_LT(PeakOver(milliseconds(150)), 50);
  EXPECT_EQ(State(), 0);
  EXPECT_EQ(api_.close(), TH_OK);
}

TEST_F(TunehallTest, VolumeCapabilityScalesTheOutput) {
  ASSERT_EQ(api_.open(-1, 0), TH_OK);
  ASSERT_EQ(api_.load(kMusicPath), TH_OK);
  ASSERT_EQ(api_.caps(TH_CAP_VOLUME, 0), TH_OK);
  ASSERT_EQ(api_.play(), TH_OK);
  EXPECT_EQ(State(), 1);  // silent, but playing
  EXPECT_LT(PeakOver(milliseconds(120)), 5);
  ASSERT_EQ(api_.caps(TH_CAP_VOLUME, 250), TH_OK);  // clamped to 100
  EXPECT_TRUE(HearsAbove(500));
  THStatus s{};
  s.size = 32;
  ASSERT_EQ(api_.status(&s), TH_OK);
  EXPECT_EQ(s.volume, 100);
  EXPECT_EQ(s.device_open, 1);
  EXPECT_EQ(s.size, 32);
  EXPECT_EQ(api_.caps(3, 50), TH_ERR_BAD_CAPABILITY);
  EXPECT_EQ(api_.close(), TH_OK);
}

TEST_F(TunehallTest, PlaysWithoutAnAudioDevice) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  ASSERT_EQ(api_.open(-1, 0), TH_OK);
  ASSERT_EQ(api_.load(kMusicPath), TH_OK);
  ASSERT_EQ(api_.play(), TH_OK);
  EXPECT_EQ(State(), 1);
  EXPECT_TRUE(HearsAbove(500));
  EXPECT_EQ(api_.stop(), TH_OK);
  EXPECT_EQ(State(), 0);
  EXPECT_EQ(api_.close(), TH_OK);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}

// A program may end with music playing and the device still open; the
// rendering thread must stop with it rather than abort the exit.
TEST_F(TunehallTest, ProgramEndsWhilePlaying) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
        if (api_.open(-1, 0) != TH_OK || api_.load(kMusicPath) != TH_OK || api_.play() != TH_OK)
          std::exit(2);
        if (!HearsAbove(500)) std::exit(3);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(TunehallTest, ErrorsAreReported) {
  EXPECT_EQ(api_.load(kMusicPath), TH_ERR_NOT_OPEN);
  EXPECT_EQ(api_.play(), TH_ERR_NOT_OPEN);
  EXPECT_EQ(api_.close(), TH_ERR_NOT_OPEN);
  ASSERT_EQ(api_.open(-1, 0), TH_OK);
  EXPECT_EQ(api_.open(-1, 0), TH_ERR_ALREADY_OPEN);
  EXPECT_EQ(api_.play(), TH_ERR_NO_MUSIC);
  EXPECT_EQ(api_.load("nothing\\here.mid"), TH_ERR_FILE);
  WriteFile("text.mid", "not a midi file at all");
  EXPECT_EQ(api_.load("text.mid"), TH_ERR_NOT_MIDI);
  EXPECT_EQ(api_.status(nullptr), TH_ERR_BAD_ARGUMENT);
  const char* text = nullptr;
  EXPECT_EQ(api_.error_string(TH_ERR_NOT_MIDI, &text), TH_OK);
  ASSERT_NE(text, nullptr);
  EXPECT_GT(std::string(text).size(), 0u);
  EXPECT_EQ(State(), 0);
  EXPECT_EQ(api_.stop(), TH_OK);  // stopping nothing is harmless
  EXPECT_EQ(api_.close(), TH_OK);
}

}  // namespace
