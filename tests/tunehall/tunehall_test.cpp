// The MIDI library as the game uses it: loaded by name, a small MIDI file
// written by the test played through it, its state word and its output
// watched while it plays, after a stop and after its end; files that are
// damaged, short or unusual, read, refused or played without a hang.
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
#include "tests/tunehall/midi_files.h"
#include "tests/tunehall/watchdog.h"
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

using namespace midi_files;

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
    std::ofstream(Path(Utf8(u8"音楽/曲.mid")), std::ios::binary) << SmallSong();
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

// Each short file through both outputs (an SDL audio device, and the thread
// that renders into nothing): loaded, played, and 300 ms later every call a
// program makes on its way to the next scene returns, the state word reads 0
// and nothing sounded.
class TunehallShortSongTest : public TunehallTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(TunehallShortSongTest, NeitherPlaysNorHangs) {
  setenv("SDL_AUDIODRIVER", GetParam(), 1);
  for (const NamedFile& file : ShortFiles()) {
    SCOPED_TRACE(file.name);
    WriteFile("short.mid", file.bytes);
    Watchdog dog(std::string("a song of ") + file.name);
    ASSERT_EQ(api_.open(-1, 0), TH_OK);
    dog.Step("THLoadMusic");
    const int loaded = api_.load("short.mid");
    EXPECT_TRUE(loaded == TH_OK || loaded == TH_ERR_NOT_MIDI) << loaded;
    dog.Step("THPlayMusic");
    EXPECT_EQ(api_.play(), loaded == TH_OK ? TH_OK : TH_ERR_NO_MUSIC);
    api_.take_peak();
    std::this_thread::sleep_for(milliseconds(300));
    dog.Step("THGetStatus");
    THStatus s{};
    s.size = 32;
    EXPECT_EQ(api_.status(&s), TH_OK);
    EXPECT_EQ(s.state, 0);
    EXPECT_EQ(s.total_ticks, 0);
    EXPECT_LT(api_.take_peak(), 5);
    dog.Step("THSetCaps");
    EXPECT_EQ(api_.caps(TH_CAP_VOLUME, 50), TH_OK);
    dog.Step("THStopMusic");
    EXPECT_EQ(api_.stop(), TH_OK);
    EXPECT_EQ(State(), 0);
    dog.Step("THCloseDevice");
    EXPECT_EQ(api_.close(), TH_OK);
  }
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}

INSTANTIATE_TEST_SUITE_P(Outputs, TunehallShortSongTest, ::testing::Values("dummy", "no-such-driver"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.index == 0 ? "AudioDevice" : "NoAudioDevice");
                         });

// Files that cannot be read as MIDI are refused, and the music loaded before
// stays the current music.
TEST_F(TunehallTest, FilesThatAreNotMidiAreRefused) {
  const std::string note = BeatNote() + EndOfTrack();
  const std::string header = Header(0, 1, 480);
  std::string longest;  // nine of the longest delta times: 2^31 + 2^28 - 9 ticks
  for (int i = 0; i < 8; ++i) longest += VarLen(0x0FFFFFFF) + Bytes({0xFF, 0x01, 0});
  longest += EndOfTrack(0x0FFFFFFF);
  const NamedFile cases[] = {
      {"no header", Track(note)},
      {"a header cut short", header.substr(0, 12)},
      {"a header of five bytes", Chunk("MThd", Be(0, 2) + Be(1, 2) + Be(480, 1)) + Track(note)},
      {"a header longer than the file", "MThd" + Be(40, 4) + header.substr(8) + Track(note)},
      {"format 3", Header(3, 1, 480) + Track(note)},
      {"a division of 0", Header(0, 1, 0) + Track(note)},
      {"time in frames of a second", Header(0, 1, 0xE728) + Track(note)},
      {"fewer tracks than the header counts", Header(1, 2, 480) + Track(note)},
      {"another chunk longer than the file", header + "XFIH" + Be(1000, 4) + Track(note)},
      {"a delta time of five bytes", header + Track(Bytes({0x81, 0x80, 0x80, 0x80, 0x00, 0xFF, 0x2F, 0}))},
      {"a delta time cut by the track's end", header + Track(BeatNote() + Bytes({0x81}))},
      {"an event cut by the track's end", header + Track(Bytes({0x00, 0x90, 60}))},
      {"a data byte with no status to run on", header + Track(Bytes({0x00, 60, 100}) + EndOfTrack())},
      {"a status running on past a meta event",
       header + Track(Bytes({0x00, 0x90, 60, 100, 0x00, 0xFF, 0x01, 1, 'x', 0x10, 60, 0}) + EndOfTrack())},
      {"a status byte in place of data", header + Track(Bytes({0x00, 0x90, 60, 0x90}) + EndOfTrack())},
      {"a meta event without its type", header + Track(Bytes({0x00, 0xFF}))},
      {"a meta event longer than its track",
       header + Track(Bytes({0x00, 0xFF, 0x01, 20, 'x'})) + Track(note)},
      {"a system-exclusive message longer than its track", header + Track(Bytes({0x00, 0xF0, 9, 0x7E, 0xF7}))},
      {"a system real-time message", header + Track(Bytes({0x00, 0xF8}) + EndOfTrack())},
      {"a song longer than the tick count holds", header + Track(longest)},
  };
  Watchdog dog("refused files");
  ASSERT_EQ(api_.open(-1, 0), TH_OK);
  ASSERT_EQ(api_.load(kMusicPath), TH_OK);
  dog.Step("THLoadMusic");
  for (const NamedFile& file : cases) {
    WriteFile("bad.mid", file.bytes);
    EXPECT_EQ(api_.load("bad.mid"), TH_ERR_NOT_MIDI) << file.name;
  }
  // The song loaded first plays.
  dog.Step("playing the song loaded first");
  ASSERT_EQ(api_.play(), TH_OK);
  THStatus s{};
  s.size = 32;
  ASSERT_EQ(api_.status(&s), TH_OK);
  EXPECT_EQ(s.state, 1);
  EXPECT_EQ(s.total_ticks, 480);
  EXPECT_TRUE(HearsAbove(500));
  EXPECT_EQ(api_.close(), TH_OK);
}

// Files the format allows in more than one shape, or with parts the
// synthesiser's player cannot read, play: the state word reads 1, the ticks
// advance, and those with notes sound.
TEST_F(TunehallTest, UnusualFilesPlay) {
  std::string many_tracks = Header(1, 200, 480);
  for (int i = 0; i < 200; ++i) many_tracks += Track(BeatNote(40 + i % 40) + EndOfTrack());
  struct Case {
    const char* name;
    std::string bytes;
    int ticks;
    bool sounds;
  };
  const std::string note = BeatNote() + EndOfTrack();
  const Case cases[] = {
      {"a tune of three tracks", TuneLikeSong(), 3840, true},
      {"a header longer than six bytes", Header(0, 1, 480, "\x01\x02") + Track(note), 480, true},
      {"another chunk before the track", Header(0, 1, 480) + Chunk("XFIH", "abc") + Track(note), 480, true},
      {"a track that ends with its chunk", Header(0, 1, 480) + Track(BeatNote()), 480, true},
      {"bytes after the end of track", Header(0, 1, 480) + Track(note + "\x05\x05"), 480, true},
      {"meta events the player refuses",
       Header(0, 1, 480) + Track(Bytes({0x00, 0xFF, 0x51, 2, 7, 0xA1,            // a tempo of two bytes
                                        0x00, 0xFF, 0x51, 3, 0, 0, 0,            // a tempo of 0
                                        0x00, 0xFF, 0x58, 3, 4, 2, 24,           // a short time signature
                                        0x00, 0xFF, 0x7F, 0}) +                  // an empty sequencer event
                                 BeatNote() + Bytes({0x00, 0xFF, 0x2F, 1, 0})),  // an end of track of one byte
       480, true},
      {"system-exclusive messages and escaped bytes",
       Header(0, 1, 480) + Track(Bytes({0x00, 0xF0, 5, 0x7E, 0x7F, 0x09, 0x01, 0xF7,  // General MIDI on
                                        0x00, 0xF7, 2, 0x90, 60,                      // raw bytes
                                        0x00, 0xF0, 0}) +                             // an empty message
                                 note),
       480, true},
      {"more tracks than the player holds", many_tracks, 480, true},
      {"format 2", Header(2, 2, 96) + Track(BeatNote() + EndOfTrack()) + Track(EndOfTrack(960)), 960, true},
      {"a song of one tick", Header(0, 1, 480) + Track(EndOfTrack(1)), 1, false},
  };
  ASSERT_EQ(api_.open(-1, 0), TH_OK);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Watchdog dog(std::string("playing ") + c.name);
    WriteFile("odd.mid", c.bytes);
    ASSERT_EQ(api_.load("odd.mid"), TH_OK);
    ASSERT_EQ(api_.play(), TH_OK);
    THStatus s{};
    s.size = 32;
    ASSERT_EQ(api_.status(&s), TH_OK);
    EXPECT_EQ(s.state, 1);
    EXPECT_EQ(s.total_ticks, c.ticks);
    if (c.sounds) {
      EXPECT_TRUE(HearsAbove(500));
    }
    const auto end = Clock::now() + milliseconds(60000);
    while (c.ticks > 1 && s.tick == 0 && Clock::now() < end) {
      std::this_thread::sleep_for(milliseconds(10));
      ASSERT_EQ(api_.status(&s), TH_OK);
    }
    EXPECT_EQ(s.state, 1);
    if (c.ticks > 1) {
      EXPECT_GT(s.tick, 0);
    }
    EXPECT_EQ(api_.stop(), TH_OK);
  }
  EXPECT_EQ(api_.close(), TH_OK);
}

}  // namespace
