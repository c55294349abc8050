// The game's two sound outputs as the speaker hears them, each pulled a frame
// of the game at a time in step with the scenes: the effects, loaded and
// played as the game plays them (its effect cache at the default volume) and
// mixed by the sound stand-in's own mixer, and the music of the MIDI library,
// rendered by the library itself. What the game sounds at once stays under
// the mixer's ceiling while every effect heard alone keeps its level;
// recorded games (a single play and a battle) watched through their replay
// scenes with their music have no sample of the effects at full scale and no
// sum of the two outputs beyond 16 bits, and the effects heard over the music
// where they sound; and the buzzer of a settings save that fails is heard
// over the menu music.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/sound_levels.h"
#include "engine/sound/sound.h"
#include "game/buttons.h"
#include "game/caches.h"
#include "game/menu.h"
#include "game/midi.h"
#include "game/scene_option.h"
#include "game/scene_replay_double.h"
#include "game/scene_replay_single.h"
#include "game/settings.h"
#include "platform/dsound/dsound_control.h"
#include "platform/dsound/dsound_mix.h"
#include "platform/win32/win32.h"
#include "tests/game/headless_engine.h"
#include "tests/game/run_folder.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/assetgen/decoded_sound.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFullScale = 32767;
constexpr int kFrameSamples = 44100 / 60;  // each output's frames in one frame of the game
constexpr int kWindowFrames = 6;            // 100 ms of output (6 x 735 = 4410 frames)

double Db(double level) { return 20 * std::log10(std::max(level, 1e-3) / 32768.0); }

std::string Dbfs(double level) {
  char text[32];
  std::snprintf(text, sizeof text, "%+.1f dBFS", Db(level));
  return text;
}

// The MIDI library's own rendering, which the test pulls in step with the
// effects: the library the game binds, in its manual mode.
int (*g_render_music)(int16_t*, int) = nullptr;

// What the two outputs played, one frame of the game after another, and
// in which frames an effect sounds.
struct Recording {
  std::vector<int16_t> effects, music;  // stereo, interleaved
  std::vector<char> sounding;

  void Frame(bool effect_sounds) {
    const size_t at = effects.size();
    effects.resize(at + 2 * kFrameSamples);
    music.resize(at + 2 * kFrameSamples);
    DsMixOutput(&effects[at], kFrameSamples);
    g_render_music(&music[at], kFrameSamples);
    sounding.push_back(effect_sounds);
  }
};

struct Levels {
  int effects_peak = 0, music_peak = 0, sum_peak = 0;
  int effects_at_full_scale = 0;  // samples
  int sum_beyond_16_bits = 0;     // samples of the two outputs added
  double effects_rms = 0, music_rms = 0;
  // The 100 ms windows in which an effect sounds while the music plays, and
  // the median of the effects' level against the music's in them (dB).
  int windows = 0;
  double median = 0;
};

double Rms(const std::vector<int16_t>& s, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += (double)s[i] * s[i];
  return std::sqrt(sum / std::max<size_t>(to - from, 1));
}

Levels Measure(const Recording& r) {
  Levels l;
  for (size_t i = 0; i < r.effects.size(); ++i) {
    const int e = std::abs((int)r.effects[i]), m = std::abs((int)r.music[i]);
    const int sum = std::abs((int)r.effects[i] + r.music[i]);
    l.effects_peak = std::max(l.effects_peak, e);
    l.music_peak = std::max(l.music_peak, m);
    l.sum_peak = std::max(l.sum_peak, sum);
    l.effects_at_full_scale += e >= kFullScale;
    l.sum_beyond_16_bits += sum > kFullScale;
  }
  l.effects_rms = Rms(r.effects, 0, r.effects.size());
  l.music_rms = Rms(r.music, 0, r.music.size());
  std::vector<double> differences;
  const size_t window = 2 * kFrameSamples * kWindowFrames;
  for (size_t w = 0; (w + 1) * kWindowFrames <= r.sounding.size(); ++w) {
    const auto first = r.sounding.begin() + w * kWindowFrames;
    if (std::none_of(first, first + kWindowFrames, [](char s) { return s; })) continue;
    const double music = Rms(r.music, w * window, (w + 1) * window);
    if (music == 0) continue;  // no music to be heard over
    differences.push_back(20 * std::log10(std::max(Rms(r.effects, w * window, (w + 1) * window), 1e-3) / music));
  }
  l.windows = (int)differences.size();
  if (!differences.empty()) {
    std::nth_element(differences.begin(), differences.begin() + differences.size() / 2, differences.end());
    l.median = differences[differences.size() / 2];
  }
  return l;
}

std::string Describe(const Levels& l) {
  char text[400];
  std::snprintf(text, sizeof text,
                "effects peak %s RMS %s, %d samples at full scale; music peak %s RMS %s; sum peak %s, %d samples "
                "beyond 16 bits; %d windows with an effect over the music, effects against music median %+.1f dB",
                Dbfs(l.effects_peak).c_str(), Dbfs(l.effects_rms).c_str(), l.effects_at_full_scale,
                Dbfs(l.music_peak).c_str(), Dbfs(l.music_rms).c_str(), Dbfs(l.sum_peak).c_str(),
                l.sum_beyond_16_bits, l.windows, l.median);
  return text;
}

// The engine with its mixer pulled by the test, in a run folder of the
// build's assets at the game's default settings, and the MIDI library bound
// as the game binds it, rendering only when the test asks.
class EffectsMix : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    DsSetManualMixing(1);  // read when the engine's sound starts
    ASSERT_TRUE(StartHeadlessEngine());
    MakeRunFolder(dir() + "/run");
    ASSERT_EQ(chdir((dir() + "/run").c_str()), 0);
    if (!g_render_music) {
      // The module the game loads next; manual rendering is read when it
      // opens its device.
      HMODULE library = LoadLibraryA("Tunehall.dll");
      ASSERT_NE(library, nullptr);
      auto manually = reinterpret_cast<int (*)(int)>(GetProcAddress(library, "THTestRenderManually"));
      g_render_music = reinterpret_cast<int (*)(int16_t*, int)>(GetProcAddress(library, "THTestRender"));
      ASSERT_TRUE(manually && g_render_music);
      manually(1);
      ASSERT_TRUE(load_midi_player());
    }
    read_settings();
    ASSERT_EQ(SE_Volume, 100);
    ASSERT_EQ(BGM_Volume, 100);
    // The engine's own silent buffer loops all the while.
    idle_buffers_ = DsPlayingBufferCount();
  }
  void TearDown() override {
    midi_stop_music();
    DsMixOutput(nullptr, 44100 * 3);  // whatever still plays ends
    read_settings();
    TempDirTest::TearDown();
  }

  // Whether an effect sounds: a buffer beyond those playing at the start.
  bool EffectSounds() const { return DsPlayingBufferCount() > idle_buffers_; }

  static void Feed(int held) {
    const int bits[5] = {held, 0, 0, 0, 0};
    feed_input(bits, nullptr);
  }

  // The largest sample the mixer makes of one effect played alone at its own
  // rate, whatever an earlier test left the break at; and whether it came
  // out as the file holds it, sample for sample on both sides.
  static int MixedAlone(const std::string& name, bool* unchanged) {
    const std::string path = "sounds\\" + name + ".wav";
    const Pcm decoded = Decode(path);
    EXPECT_EQ(decoded.channels, 1) << name;
    const std::vector<int16_t>& file = decoded.samples;
    const int handle = load_se(path.c_str());
    EXPECT_GE(handle, 0) << name;
    SetSoundHandleFrequency(-1, handle);
    StartSoundHandle(handle, SOUND_PLAY_BACK, 1);
    std::vector<int16_t> out(2 * file.size());
    DsMixOutput(out.data(), (int)file.size());
    EXPECT_EQ(QuerySoundHandlePlaying(handle), 0) << name << " does not end";
    int peak = 0;
    *unchanged = !file.empty();
    for (size_t i = 0; i < file.size(); ++i) {
      peak = std::max({peak, std::abs((int)out[2 * i]), std::abs((int)out[2 * i + 1])});
      *unchanged = *unchanged && out[2 * i] == file[i] && out[2 * i + 1] == file[i];
    }
    return peak;
  }

  int idle_buffers_ = 0;
};

// What the game can have sounding at one moment. In a frame a field starts
// each of its effects at most once (its sounds are flags played once a
// frame) and a battle has two fields; the break of a chain's earlier link
// still rings when the next link clears (an effect has three buffers, so
// never more than three of one effect at once); garbage is owed to one side
// at a time, so only one side takes it in a frame; levels and the time
// trial's count belong to single play; the lose animation starts while the
// last frames' effects ring.
struct Moment {
  const char* what;
  std::vector<std::string> effects;
};

const Moment kMoments[] = {
    {"battle: both sides lock pairs that clear at once, one side takes garbage, a pause is pressed, the link "
     "before still rings",
     {"set", "set", "jama", "break", "break", "break", "pause"}},
    {"battle: a lock that clears and takes garbage on one side, a chain's link under a pair slid and turned on the "
     "other, the link before still rings",
     {"set", "jama", "break", "break", "break", "slide", "rotate"}},
    {"battle: the lose animation over the last lock's clear and garbage and the other side's chain",
     {"gameover", "set", "jama", "break", "break", "break"}},
    {"single play: a lock that clears and levels up in the time trial's count, a pause pressed, the link before "
     "still rings",
     {"set", "break", "break", "levelup", "321", "pause"}},
    {"single play: a chain's link that levels up under a pair slid and turned, in the time trial's count",
     {"slide", "rotate", "break", "break", "levelup", "321"}},
    {"single play: the lose animation over the last lock's clear", {"gameover", "set", "break", "break", "levelup"}},
    {"title: a move, a decide and a back in one frame", {"rotate", "break", "break"}},
    {"menus: a move, a back and a pick in one frame", {"rotate", "rotate", "pause"}},
    {"menus: a move, a back and a refused pick in one frame", {"rotate", "rotate", "buzzer"}},
};

// Each effect alone passes the mixer as its file holds it, the loudest at
// the ceiling; each moment, its effects started in one frame as the game
// starts them, is taken down to the ceiling where its effects add up past
// it, and never beyond.
TEST_F(EffectsMix, EveryEffectAloneKeepsItsLevelAndEveryMomentStaysUnderTheCeiling) {
  std::map<std::string, int> peaks;
  for (const Moment& m : kMoments)
    for (const std::string& e : m.effects) {
      if (peaks.count(e)) continue;
      bool unchanged = false;
      peaks[e] = MixedAlone(e, &unchanged);
      EXPECT_TRUE(unchanged) << e << " is not played as its file holds it";
      EXPECT_GT(peaks[e], 0) << e << " is silent";
    }
  int loudest = 0;
  for (const auto& [name, peak] : peaks) loudest = std::max(loudest, peak);
  EXPECT_GE(loudest, DS_OUTPUT_CEILING * 0.99) << "the loudest effect peaks at " << Dbfs(loudest);
  int limited = 0;
  for (const Moment& m : kMoments) {
    for (const std::string& e : m.effects) StartSoundHandle(load_se(("sounds\\" + e + ".wav").c_str()), SOUND_PLAY_BACK, 1);
    int peak = 0;
    std::vector<int16_t> out(2 * kFrameSamples);
    for (int frame = 0; frame < 600 && EffectSounds(); ++frame) {
      DsMixOutput(out.data(), kFrameSamples);
      for (int16_t v : out) peak = std::max(peak, std::abs((int)v));
    }
    EXPECT_FALSE(EffectSounds()) << m.what << " does not end";
    EXPECT_LE(peak, DS_OUTPUT_CEILING) << m.what << ": " << Dbfs(peak);
    limited += peak >= DS_OUTPUT_CEILING - 1;
    DsMixOutput(nullptr, 44100 * 2);  // the limiter's gain back at 1
  }
  EXPECT_GT(limited, 0) << "no moment adds up past the ceiling: the test no longer shows the limiter at work";
}

// A recorded game with many clears, watched through its replay scene at
// speed 1 with a match's music (MIDI: the library's output beside the
// effects), each output pulled one frame's worth after each frame of the
// scene.
struct RecordedGame {
  const char* file;  // in tests/game/data/recorded
  bool battle;
  const char* music;
};

void PrintTo(const RecordedGame& g, std::ostream* out) { *out << g.file; }

const RecordedGame kRecordedGames[] = {
    // Two minutes of single play: 215 blocks cleared, chains up to 7.
    {"time_trial", false, "musics\\行進.mid"},
    // The busiest battle of the game's tests, two people: a minute of chains
    // and garbage on both sides.
    {"battle_people", true, "musics\\水晶.mid"},
};

class RecordedGameMix : public EffectsMix, public ::testing::WithParamInterface<RecordedGame> {};

TEST_P(RecordedGameMix, EffectsNeverReachFullScaleAndAreHeardOverTheMusic) {
  const RecordedGame& g = GetParam();
  ASSERT_TRUE(fs::copy_file(SourceDir() + "/tests/game/data/recorded/" + g.file + ".vrs", "replay/recorded.vrs"));
  side_settings person{};
  person.com_level = -1;
  std::unique_ptr<Scene> replay;
  if (g.battle) {
    auto* scene = new Scene_ReplayDouble("replay\\recorded.vrs", person, "", g.music);
    replay.reset(scene);
    ASSERT_NE(scene->left(), nullptr);
  } else {
    auto* scene = new Scene_ReplaySingle("replay\\recorded.vrs", person, "", g.music);
    replay.reset(scene);
    ASSERT_NE(scene->field(), nullptr);
  }
  Recording r;
  int frames = 0;
  for (bool going = true; going && frames < 30000; ++frames) {
    Feed(0);
    going = replay->update();
    r.Frame(EffectSounds());
  }
  replay.reset();
  for (int ring = 0; ring < 120; ++ring) r.Frame(EffectSounds());
  EXPECT_LT(frames, 30000) << "the replay does not end";

  const Levels l = Measure(r);
  std::printf("%s: %s\n", g.file, Describe(l).c_str());
  EXPECT_GT(l.windows, 300) << "hardly an effect over the music";
  EXPECT_GT(Db(l.music_rms), -40) << "hardly any music";
  EXPECT_EQ(l.effects_at_full_scale, 0);
  EXPECT_LE(l.effects_peak, DS_OUTPUT_CEILING);
  EXPECT_LT(l.music_peak, kMusicPeak * 32768) << Dbfs(l.music_peak);
  EXPECT_EQ(l.sum_beyond_16_bits, 0) << "the sum peaks at " << Dbfs(l.sum_peak);
  EXPECT_GE(l.median, -6.0) << "the effects are buried under the music";
}

INSTANTIATE_TEST_SUITE_P(Games, RecordedGameMix, ::testing::ValuesIn(kRecordedGames),
                         [](const ::testing::TestParamInfo<RecordedGame>& info) { return info.param.file; });

// The options screen over the title's music, with a settings file the
// player made read-only: a volume changed and the screen left. The file
// stays as it was, the failure is told on stderr, and the buzzer sounds with
// the move, heard over the music: not more than 6 dB under it in the windows
// where it sounds.
TEST_F(EffectsMix, AFailedSettingsSaveSoundsTheBuzzerOverTheMenuMusic) {
  const std::string settings = "[Custom]\r\nBGM_Volume=100\r\nSE_Volume=100\r\n";
  WriteFile("run/Voxaldrift.ini", settings);
  ASSERT_EQ(chmod("Voxaldrift.ini", 0444), 0);
  read_settings();
  const int buzzer = load_se(kSoundRefuse);
  play_music(kTitleMusic);
  Recording r;
  auto frame = [&](Scene& scene, int held) {
    Feed(held);
    const bool going = scene.update();
    r.Frame(QuerySoundHandlePlaying(buzzer) == 1);
    return going;
  };
  Scene_Option options;
  for (int i = 0; i < 45; ++i) frame(options, 0);
  ASSERT_EQ(options.state(), 1);
  for (int step : {kPadDown, 0, kPadDown, 0}) frame(options, step);
  ASSERT_EQ(options.cursor(), 2);
  testing::internal::CaptureStderr();
  frame(options, kPadLeft);
  frame(options, 0);
  for (int i = 0; i < 30; ++i) frame(options, 0);
  frame(options, B_Custom);
  int left = 0;
  while (frame(options, 0) && left < 100) ++left;
  const std::string err = testing::internal::GetCapturedStderr();
  stop_music(kTitleMusic);

  EXPECT_LT(left, 100) << "the screen is not left";
  EXPECT_EQ(BGM_Volume, 95);
  EXPECT_EQ(err, "voxaldrift: could not save \"Voxaldrift.ini\": the file is read-only\n");
  EXPECT_EQ(ReadFile("run/Voxaldrift.ini"), settings);
  const Levels l = Measure(r);
  std::printf("buzzer: %s\n", Describe(l).c_str());
  EXPECT_GE(l.windows, 2) << "the buzzer does not sound";
  EXPECT_GE(l.median, -6.0) << "the buzzer is buried under the menu music";
  chmod("Voxaldrift.ini", 0644);
}

}  // namespace
