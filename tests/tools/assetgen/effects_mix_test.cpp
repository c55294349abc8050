// The generated effects in the game's mixer: what the game has sounding at
// one moment stays below full scale, the worst case taken (every effect of
// the moment at its peak, the peaks together), and so does a recorded battle
// played through its replay scene. Each effect is loaded and played as the
// game plays it (its effect cache at the default volume) and mixed by the
// sound stand-in's own mixer, pulled a frame at a time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/sound/sound.h"
#include "game/buttons.h"
#include "game/caches.h"
#include "game/scene_replay_double.h"
#include "game/settings.h"
#include "platform/dsound/dsound_control.h"
#include "tests/game/headless_engine.h"
#include "tests/game/run_folder.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFullScale = 32767;
constexpr int kFrameSamples = 44100 / 60;  // the mixer's output in one frame of the game

std::string Dbfs(int level) {
  char text[32];
  std::snprintf(text, sizeof text, "%+.1f dBFS", 20 * std::log10(std::max(level, 1) / 32768.0));
  return text;
}

// The engine with its mixer pulled by the test, in a run folder of the
// build's assets at the game's default settings.
class EffectsMix : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    DsSetManualMixing(1);  // read when the engine's sound starts
    ASSERT_TRUE(StartHeadlessEngine());
    MakeRunFolder(dir() + "/run");
    ASSERT_EQ(chdir((dir() + "/run").c_str()), 0);
    read_settings();
    ASSERT_EQ(SE_Volume, 100);
  }
  void TearDown() override {
    DsMixOutput(nullptr, 44100 * 3);  // whatever still plays ends
    TempDirTest::TearDown();
  }

  // Mixes one frame's output; its largest sample.
  static int MixFrame() {
    int16_t out[2 * kFrameSamples];
    DsMixOutput(out, kFrameSamples);
    int peak = 0;
    for (int16_t v : out) peak = std::max(peak, std::abs((int)v));
    return peak;
  }

  // The largest sample the mixer makes of one effect played alone, at its
  // own rate (played faster, as a chain's break is, the mixer only
  // interpolates between its samples).
  static int MixedPeak(const std::string& name) {
    const int handle = load_se(("sounds\\" + name + ".wav").c_str());
    EXPECT_GE(handle, 0) << name;
    int peak = 0;
    SetSoundHandleFrequency(-1, handle);
    StartSoundHandle(handle, SOUND_PLAY_BACK, 1);
    for (int frame = 0; frame < 600 && QuerySoundHandlePlaying(handle) == 1; ++frame) peak = std::max(peak, MixFrame());
    EXPECT_EQ(QuerySoundHandlePlaying(handle), 0) << name << " does not end";
    return peak;
  }
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

TEST_F(EffectsMix, EveryMomentStaysBelowFullScaleWithItsPeaksTogether) {
  std::map<std::string, int> peaks;
  for (const Moment& m : kMoments)
    for (const std::string& e : m.effects)
      if (!peaks.count(e)) peaks[e] = MixedPeak(e);
  for (const auto& [name, peak] : peaks) EXPECT_GT(peak, 0) << name << " is silent";
  for (const Moment& m : kMoments) {
    // The mixer adds each voice's sample into one sum before it clips: with
    // the peaks together that sum is the sum of the peaks.
    int sum = 0;
    for (const std::string& e : m.effects) sum += peaks[e];
    EXPECT_LT(sum, kFullScale) << m.what << ": " << Dbfs(sum);
  }
}

// The busiest recorded game of the game's tests, a battle of two people (a
// minute of chains and garbage on both sides), watched through its replay
// scene at speed 1 with no music, the mixer pulled one frame's output after
// each frame of the scene.
TEST_F(EffectsMix, ARecordedBattleStaysBelowFullScale) {
  ASSERT_TRUE(fs::copy_file(SourceDir() + "/tests/game/data/recorded/battle_people.vrs", "replay/battle.vrs"));
  side_settings person{};
  person.com_level = -1;
  auto* replay = new Scene_ReplayDouble("replay\\battle.vrs", person, "", "");
  ASSERT_NE(replay->left(), nullptr);
  const int nothing_held[5] = {};
  int peak = 0, frames = 0;
  for (bool going = true; going && frames < 30000; ++frames) {
    feed_input(nothing_held, nullptr);
    going = replay->update();
    peak = std::max(peak, MixFrame());
  }
  delete replay;
  for (int ring = 0; ring < 120; ++ring) peak = std::max(peak, MixFrame());
  EXPECT_LT(frames, 30000) << "the replay does not end";
  EXPECT_GT(peak, kFullScale / 16) << "hardly a sound in " << frames << " frames";
  EXPECT_LT(peak, kFullScale) << Dbfs(peak);
}

}  // namespace
