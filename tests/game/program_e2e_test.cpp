// The real program, end to end, in a copy of its run folder under SDL's
// offscreen video driver: a script of key presses (the program's test hook)
// sets buttons in the options, plays a short endless game with a fixed seed,
// types a name into the high-score table, watches a replay and quits from
// the title. Screenshots go to <build>/test-output/game-*.png. And start-up
// failures: the program ends non-zero with one line naming the step.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "game/hiscore.h"
#include "game/field_replay.h"
#include "game/scene.h"
#include "game/settings.h"
#include "tests/game/harness/match_driver.h"
#include "tests/game/program_run.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// The script: set the buttons in the options (decide on the C key, back on
// X, pause on Space), play an endless game at the top level with down held
// when this build has the character screen, look at the high scores, watch
// the first replay, quit from the title. Each step waits for its scene and
// for the scene's intro before it presses anything.
// replay_frames: how far into the replay its picture is taken.
std::string Script(const std::string& shots, bool play, int replay_frames) {
  std::string s =
      "seed 20261210\n"
      "unpaced\n"
      "limit 20000\n"
      "scene 0\n"
      "frames 125\n"
      "shot " + shots + "/game-title.png\n"
      // Options: decide, back and pause.
      "tap Down\ntap Down\ntap Down\ntap Down\n"
      "tap Right\n"
      "scene 9\nframes 50\n"
      "tap Down\ntap Down\ntap Down\ntap Down\ntap Down\n"
      "tap C\n"
      "tap Down\ntap X\n"
      "tap Down\ntap Space\n"
      "tap Down\ntap C\n"
      "scene 0\nframes 50\n";
  if (play) {
    s +=
        // Endless, level 31 (Left wraps level 1 to 31), then the first character.
        "tap Up\ntap Up\ntap Up\ntap Up\n"
        "tap C\n"
        "scene 1\nframes 50\ntap C\n"
        "scene 2\nframes 50\n"
        "tap Left\n"
        "tap Down\ntap Down\ntap Down\ntap C\n"
        "scene 10\nframes 50\ntap C\n"
        "scene 4\nframes 240\n"
        "hold Down\n"
        "frames 40\n"
        "shot " + shots + "/game-play.png\n"
        "frames 560\n"
        "release Down\n"
        "type AKI\n"
        "frames 2\n"
        "tap Return\n"
        "frames 2\n"
        // Save the replay and leave, back to the title.
        "tap Down\ntap Down\ntap Down\ntap C\n"
        "scene 2\nframes 65\ntap X\n"
        "scene 1\nframes 50\ntap X\n"
        "scene 0\nframes 50\n"
        "tap Down\ntap Down\ntap Down\n";
  } else {
    s += "tap Up\n";
  }
  s +=
      // The high scores, from the title's cursor on that entry.
      "tap C\n"
      "scene 8\nframes 65\n"
      "shot " + shots + "/game-hiscore.png\n"
      "tap X\n"
      "scene 0\nframes 50\n"
      // The replay list and its first replay.
      "tap Up\ntap C\n"
      "scene 2\nframes 50\n"
      "tap Down\ntap Down\ntap Down\ntap C\n"
      "scene 6\nframes " + std::to_string(60 + 180 + replay_frames) + "\n"
      "shot " + shots + "/game-replay.png\n"
      "tap X\n"
      "scene 2\nframes 65\ntap X\n"
      "scene 0\nframes 50\n"
      "tap X\n";
  return s;
}

class ProgramEndToEnd : public TempDirTest {};

TEST_F(ProgramEndToEnd, PlaysFromTheTitleToTheHighScoresAndQuits) {
  const std::string run = MakeRunFolder(dir(), VOX_RUN_DIR);
  const bool play = scene_is_built(kSceneSelectChara);
  // A replay to watch, recorded beforehand: a seeded endless game; its
  // picture is taken halfway through, or 15 seconds in.
  int replay_frames = 0;
  {
    ASSERT_EQ(chdir(run.c_str()), 0);
    ScriptedMatch match = random_match(7, 0);
    match.max_frames = 1800;
    Field* fields[2] = {};
    MatchRun live = play_live(match, fields);
    replay_frames = std::min((int)live.hashes.size() / 2, 900);
    ASSERT_EQ(save_replay(fields, 1), 0);
    delete fields[0];
    ASSERT_EQ(chdir(dir().c_str()), 0);
  }
  const std::string shots = VOX_TEST_OUTPUT_DIR;
  fs::create_directories(shots);
  for (const char* name : {"title", "play", "hiscore", "replay"}) fs::remove(shots + "/game-" + name + ".png");
  {
    std::ofstream script(run + "/script.txt");
    script << Script(shots, play, replay_frames);
  }
  Outcome o = RunProgram(run + "/voxaldrift", run,
                         {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "VOXALDRIFT_TEST_SCRIPT=script.txt"});
  ASSERT_EQ(o.exit_code, 0) << o.err;

  // The buttons set in the options were written as they were set.
  std::ifstream ini(run + "/Voxaldrift.ini");
  std::stringstream text;
  text << ini.rdbuf();
  for (const char* line : {"C_Custom=64", "B_Custom=32", "START_Custom=8192"})
    EXPECT_NE(text.str().find(line), std::string::npos) << line << "\n" << text.str();

  // The pictures show the generated images and text, not an empty screen.
  const char* shown[] = {"title", "hiscore", "replay", "play"};
  for (const char* name : shown) {
    if (!play && std::string(name) == "play") continue;
    Picture p;
    ASSERT_TRUE(ReadPng(shots + "/game-" + name + ".png", &p)) << name;
    EXPECT_EQ(p.width, 640);
    EXPECT_EQ(p.height, 480);
    EXPECT_GT(Colours(p, 0, 0, 640, 480), 64u) << name;
  }
  Picture replay;
  ASSERT_TRUE(ReadPng(shots + "/game-replay.png", &replay));
  EXPECT_GT(Colours(replay, 160, 80, 352, 464), 16u);  // the well, with blocks

  if (!play) {
    GTEST_SKIP() << "this build has no character screen (scene 10), through which single play starts: "
                    "the endless game and the name entry were left out";
  }
  hiscore_table table = read_hiscore_file((run + "/score.vsd").c_str());
  EXPECT_TRUE(fs::exists(run + "/score.vsd"));
  EXPECT_STREQ(table[0].name, "AKI");
  EXPECT_TRUE(fs::exists(run + "/replay/play1.vrs"));
  Picture game;
  ASSERT_TRUE(ReadPng(shots + "/game-play.png", &game));
  EXPECT_GT(Colours(game, 160, 80, 352, 464), 16u);
}

TEST_F(ProgramEndToEnd, AFailedStartUpEndsNonZeroNamingTheStep) {
  struct Case {
    const char* why;
    bool copy_alone;  // the program without the MIDI library beside it
    const char* video;
    const char* step;
  };
  const Case cases[] = {
      {"no MIDI library", true, "SDL_VIDEODRIVER=offscreen", "\"Tunehall.dll\""},
      {"no display", false, "SDL_VIDEODRIVER=no-such-driver", "the engine did not start"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    std::string folder = dir() + "/" + (c.copy_alone ? "alone" : "linked");
    std::string program;
    if (c.copy_alone) {
      fs::create_directories(folder);
      program = folder + "/voxaldrift";
      fs::copy_file(std::string(VOX_RUN_DIR) + "/voxaldrift", program);
    } else {
      folder = MakeRunFolder(folder, VOX_RUN_DIR);
      program = folder + "/voxaldrift";
    }
    Outcome o = RunProgram(program, folder, {c.video, "SDL_AUDIODRIVER=dummy"});
    EXPECT_NE(o.exit_code, 0);
    EXPECT_NE(o.exit_code, -1);
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    EXPECT_EQ(o.err.rfind("voxaldrift: start-up failed: ", 0), 0u) << o.err;
    EXPECT_NE(o.err.find(c.step), std::string::npos) << o.err;
  }
}

}  // namespace
