// The real program, end to end, in a copy of its run folder under SDL's
// offscreen video driver: a script of key presses (the program's test hook)
// sets buttons in the options, plays a short endless game with a fixed seed,
// types a name into the high-score table, watches a replay and quits from
// the title. Screenshots go to <build>/test-output/game-*.png. And start-up
// failures: the program ends non-zero with one line naming the step.
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
#include "tests/game/run_folder.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
  int exit_code = -1;
  std::string err;
};

// Runs the program in a folder with extra environment; killed when it has
// not ended after two minutes (a hang fails the test, it never stalls it).
Outcome RunProgram(const std::string& program, const std::string& folder, const std::vector<std::string>& env) {
  Outcome out;
  std::string err_path = folder + "/stderr.txt";
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder.c_str()) != 0) _exit(126);
    FILE* err = freopen(err_path.c_str(), "w", stderr);
    (void)err;
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    execl(program.c_str(), program.c_str(), (char*)nullptr);
    _exit(127);
  }
  int status = 0;
  for (int waited = 0; waited < 1200; ++waited) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      out.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    usleep(100 * 1000);
  }
  if (out.exit_code < 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  std::ifstream in(err_path);
  std::stringstream s;
  s << in.rdbuf();
  out.err = s.str();
  return out;
}

// The run folder "run" in a folder.
std::string MakeRunFolderIn(const std::string& dir) {
  std::string run = dir + "/run";
  MakeRunFolder(run);
  return run;
}

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

bool ReadPng(const std::string& path, Picture* p) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  p->width = (int)image.width;
  p->height = (int)image.height;
  p->rgb.resize(PNG_IMAGE_SIZE(image));
  return png_image_finish_read(&image, nullptr, p->rgb.data(), 0, nullptr) != 0;
}

// Distinct colours in a rectangle: a drawn picture has many, an empty
// screen one.
size_t Colours(const Picture& p, int x0, int y0, int x1, int y1) {
  std::set<uint32_t> seen;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const uint8_t* c = &p.rgb[((size_t)y * p.width + x) * 3];
      seen.insert((uint32_t)c[0] << 16 | (uint32_t)c[1] << 8 | c[2]);
    }
  return seen.size();
}

// The script: set the buttons in the options (decide on the C key, back on
// X, pause on Space), play an endless game at the top level with down held
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

class ProgramEndToEnd : public TempDirTest {
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
                      {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "VOXALDRIFT_TEST_SCRIPT=script.txt"});
  }
};

TEST_F(ProgramEndToEnd, PlaysFromTheTitleToTheHighScoresAndQuits) {
  const std::string run = MakeRunFolderIn(dir());
  const bool play = scene_is_built(kSceneSelectChara);
  // The replay's picture is taken halfway through it.
  const int replay_frames = RecordReplay(run) / 2;
  const std::string shots = VOX_TEST_OUTPUT_DIR;
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
TEST_F(ProgramEndToEnd, ClosingTheWindowMidGameEndsCleanly) {
  const std::string run = MakeRunFolderIn(dir());
  RecordReplay(run);
  Outcome o = Run(run,
                  "unpaced\nlimit 2000\n"
                  "scene 0\nframes 125\ntap Down\ntap Down\ntap Right\n"
                  "scene 2\nframes 50\ntap Down\ntap Down\ntap Down\ntap Right\n"
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

}  // namespace
