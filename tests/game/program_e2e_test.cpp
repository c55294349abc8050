// The real program, end to end, in a copy of its run folder under SDL's
// offscreen video driver: a script of key presses (the program's test hook)
// sets buttons in the options, plays a short endless game with a fixed seed,
// types a name into the high-score table, watches a replay and quits from
// the title. Each runs once on each drawing path: the software renderer
// (VOX_HARDWARE=0) and the Direct3D device (VOX_HARDWARE=1, on Mesa's
// OpenGL here). Screenshots go to <build>/test-output/<path>/game-*.png.
// And start-up failures: the program ends non-zero with one line naming the
// step.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "game/hiscore.h"
#include "game/field_replay.h"
#include "game/scene.h"
#include "game/settings.h"
#include "tests/game/harness/match_driver.h"
#include "tests/game/headless_engine.h"
#include "tests/game/program_run.h"
#include "tests/game/run_folder.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// The run folder "run" in a folder.
std::string MakeRunFolderIn(const std::string& dir) {
  std::string run = dir + "/run";
  MakeRunFolder(run);
  return run;
}

// The script: set the buttons in the options (decide on the C key and back
// on X, as without settings, and pause on Space), play an endless game at the top level with down held
// when this build has the character screen, look at the high scores, watch
// the first replay, quit from the title. Each step waits for its scene and
// for the scene's intro before it presses anything.
// replay_frames: how far into the replay its picture is taken (the replay
// runs at 16 field frames a frame by then).
std::string Script(const std::string& shots, bool play, int replay_frames) {
  std::string s =
      "seed 20261210\n"
      "unpaced\n"
      "limit 20000\n"
      "scene 0\n"
      "frames 125\n"
      "shot " + shots + "/game-title.png\n"
      // Options: decide, back and pause. Decide is the C key from the start.
      "tap Down\ntap Down\ntap Down\ntap Down\n"
      "tap C\n"
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
      "scene 6\nframes 240\n"
      "tap Right\ntap Right\ntap Right\ntap Right\n"
      "frames " + std::to_string(std::max(1, replay_frames / 16 - 8)) + "\n"
      "shot " + shots + "/game-replay.png\n"
      "tap X\n"
      "scene 2\nframes 65\ntap X\n"
      "scene 0\nframes 50\n"
      "tap X\n";
  return s;
}

class ProgramEndToEnd : public TempDirTest, public ::testing::WithParamInterface<DrawingPath> {
 protected:
  // A replay to watch in the run folder, recorded beforehand: a seeded
  // endless game of 16 seconds. Its length in frames.
  int RecordReplay(const std::string& run) {
    EXPECT_TRUE(StartHeadlessEngine());  // the field draws as it plays
    EXPECT_EQ(chdir(run.c_str()), 0);
    ScriptedMatch match = random_match(7, 0);
    match.max_frames = 960;
    Field* fields[2] = {};
    MatchRun live = play_live(match, fields);
    EXPECT_EQ(save_replay(fields, 1), 0);
    delete fields[0];
    EXPECT_EQ(chdir(dir().c_str()), 0);
    return (int)live.hashes.size();
  }
  Outcome Run(const std::string& run, const std::string& script) {
    std::ofstream(run + "/script.txt") << script;
    return RunProgram(run + "/voxaldrift", run,
                      {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "VOXALDRIFT_TEST_SCRIPT=script.txt",
                       std::string("VOX_HARDWARE=") + GetParam().hardware});
  }
  // The screenshots of this run's drawing path.
  std::string Shots() const { return std::string(VOX_TEST_OUTPUT_DIR) + "/" + GetParam().name; }
};

TEST_P(ProgramEndToEnd, PlaysFromTheTitleToTheHighScoresAndQuits) {
  const std::string run = MakeRunFolderIn(dir());
  const bool play = scene_is_built(kSceneSelectChara);
  // The replay's picture is taken halfway through it.
  const int replay_frames = RecordReplay(run) / 2;
  const std::string shots = Shots();
  fs::create_directories(shots);
  for (const char* name : {"title", "play", "hiscore", "replay"}) fs::remove(shots + "/game-" + name + ".png");
  Outcome o = Run(run, Script(shots, play, replay_frames));
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

// Closing the window in the middle of a replay: the program ends cleanly,
// with exit code 0 and nothing reported.
TEST_P(ProgramEndToEnd, ClosingTheWindowMidGameEndsCleanly) {
  const std::string run = MakeRunFolderIn(dir());
  RecordReplay(run);
  Outcome o = Run(run,
                  "unpaced\nlimit 2000\n"
                  "scene 0\nframes 125\ntap Down\ntap Down\ntap C\n"
                  "scene 2\nframes 50\ntap Down\ntap Down\ntap Down\ntap C\n"
                  "scene 6\nframes 300\nclose\n");
  EXPECT_EQ(o.exit_code, 0) << o.err;
  EXPECT_EQ(o.err.find("LeakSanitizer"), std::string::npos) << o.err;
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
      folder = MakeRunFolderIn(folder);
      program = folder + "/voxaldrift";
    }
    // A sanitizer build would add its own report of suppressed leaks.
    const char* lsan = std::getenv("LSAN_OPTIONS");
    std::string quiet = std::string("LSAN_OPTIONS=") + (lsan ? lsan : "") + ":print_suppressions=0";
    Outcome o = RunProgram(program, folder, {c.video, "SDL_AUDIODRIVER=dummy", quiet});
    EXPECT_NE(o.exit_code, 0);
    EXPECT_NE(o.exit_code, -1);
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    EXPECT_EQ(o.err.rfind("voxaldrift: start-up failed: ", 0), 0u) << o.err;
    EXPECT_NE(o.err.find(c.step), std::string::npos) << o.err;
  }
}

// Free battle against rival3, end to end: title, mode menu, the battle
// settings (the player's level at the top), the character screen, a short
// match lost with down held at the top level, the after-match menu saving
// the replay and leaving, and the window closed. Screenshots of the
// character screen, the battle and the menu go to test-output/<path>/battle-*.png.
std::string BattleScript(const std::string& shots) {
  return "seed 20261211\n"
         "unpaced\n"
         "limit 8000\n"
         "scene 0\nframes 125\n"
         "tap C\n"
         "scene 1\nframes 50\n"
         "tap Down\ntap Down\ntap Down\ntap C\n"
         // Battle settings against the computer: the left column's level
         // from 1 down to 31, its play row, then the computer's play row.
         "scene 3\nframes 50\n"
         "tap Left\ntap Up\ntap C\n"
         "tap Up\ntap C\n"
         // Own character first, then the computer's: the third, rival3.
         "scene 10\nframes 50\n"
         "tap C\n"
         "tap Right\ntap Right\n"
         "frames 2\n"
         "shot " + shots + "/battle-chara.png\n"
         "tap C\n"
         "scene 5\nframes 240\n"
         "hold Down\n"
         "frames 30\n"
         "shot " + shots + "/battle-match.png\n"
         "frames 70\n"
         "release Down\n"
         "frames 250\n"
         "shot " + shots + "/battle-menu.png\n"
         // Save the replay and leave; the window is closed on the settings.
         "tap Down\ntap Down\ntap Down\ntap C\n"
         "scene 3\nframes 5\nclose\n";
}

TEST_P(ProgramEndToEnd, AFreeBattleAgainstRival3) {
  // No settings file: decide is the C key, back the X key.
  const std::string run = MakeRunFolderIn(dir());
  const std::string shots = Shots();
  fs::create_directories(shots);
  for (const char* name : {"chara", "match", "menu"}) fs::remove(shots + "/battle-" + name + ".png");
  Outcome o = Run(run, BattleScript(shots));
  ASSERT_EQ(o.exit_code, 0) << o.err;

  Picture chara, match, menu;
  ASSERT_TRUE(ReadPng(shots + "/battle-chara.png", &chara));
  ASSERT_TRUE(ReadPng(shots + "/battle-match.png", &match));
  ASSERT_TRUE(ReadPng(shots + "/battle-menu.png", &menu));
  // Both characters' pictures, bottom left and bottom right, and the faces.
  EXPECT_GT(Colours(chara, 0, 96, 192, 480), 16u);
  EXPECT_GT(Colours(chara, 448, 96, 640, 480), 16u);
  EXPECT_GT(Colours(chara, 200, 216, 440, 320), 16u);
  // Both wells in play.
  EXPECT_GT(Colours(match, 24, 80, 216, 464), 16u);
  EXPECT_GT(Colours(match, 420, 80, 612, 464), 16u);
  EXPECT_GT(Colours(menu, 0, 0, 640, 480), 64u);

  // The saved battle: two fields, the computer's moves among the commands.
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(read_replay_file((run + "/replay/play0.vrs").c_str(), &bytes));
  EXPECT_EQ(bytes[4], 2);
  side_settings sides[2];
  const int origins[2] = {24, 420};
  Field_Replay* fields[2];
  ASSERT_EQ(make_replay_fields(bytes.data(), bytes.size(), sides, origins, fields), 2);
  EXPECT_GT(fields[1]->input.commands.size(), 0u);
  EXPECT_EQ(fields[0]->counters.level, 30);
  delete fields[0];
  delete fields[1];
}

INSTANTIATE_TEST_SUITE_P(Drawing, ProgramEndToEnd, ::testing::ValuesIn(kDrawingPaths), DrawingPathName);

}  // namespace
