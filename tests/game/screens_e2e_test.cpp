// Every screen of the real program as a player meets it, in a window of
// scale 1 and 1.5 on both drawing paths (the software renderer and the
// Direct3D stand-in over OpenGL): the title, the options, the mode menu, the
// single-play settings with the widest background and music names of the run
// folder, the character screen, a single game up to the name entry (the
// longest name) and the after-game menu, the battle settings, the character
// screen of a battle, a battle and its after-match menu, and the high scores
// filled with the widest values they can hold. And full screen on an X
// display without a window manager. Screenshots go to
// <build>/test-output/screens/<screen>-<scale>-<path>.png.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "game/hiscore.h"
#include "game/media_lists.h"
#include "tests/game/program_run.h"
#include "tests/game/run_folder.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_display.h"

namespace fs = std::filesystem;

namespace {

struct Look {
  const char* scale;  // "1x" or "1.5x"
  const char* path;   // "soft" or "gl"
};

void PrintTo(const Look& look, std::ostream* out) { *out << look.scale << " " << look.path; }

std::string Repeat(const std::string& line, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += line;
  return s;
}

// The position in a list of its entry with the longest shown name (the text
// after the last "\"): the widest, the font being of fixed pitch.
int Widest(const std::vector<std::string>& paths) {
  int best = 0;
  size_t longest = 0;
  for (size_t i = 0; i < paths.size(); ++i) {
    size_t n = std::string(file_part(paths[i].c_str())).size();
    if (n > longest) longest = n, best = (int)i;
  }
  return best;
}

// The shot command for a screen of this look.
std::string Shot(const std::string& shots, const std::string& screen, const Look& look) {
  return "shot " + shots + "/" + screen + "-" + look.scale + "-" + look.path + ".png\n";
}

// Two walks through the screens, each a program run of its own (so the two
// take half the time side by side): the menus and a single game, and a
// battle. background and music: how many steps right from the first entry
// the widest names are.
enum class Walk { kSingle, kBattle };

void PrintTo(Walk walk, std::ostream* out) { *out << (walk == Walk::kBattle ? "battle" : "single"); }

std::string WalkScript(Walk walk, const std::string& shots, const Look& look, int background, int music) {
  auto shot = [&](const char* screen) { return Shot(shots, screen, look); };
  const std::string to_widest_media =
      Repeat("tap Right\n", background) + "tap Down\n" + Repeat("tap Right\n", music) + "frames 2\n";
  const std::string start =
      "seed 20261212\n"
      "unpaced\n"
      "limit 8000\n"
      "scene 0\nframes 125\n";
  if (walk == Walk::kBattle) {
    // Free battle against the computer.
    return start +
           "tap C\n"
           "scene 1\nframes 50\ntap Down\ntap Down\ntap Down\ntap C\n"
           "scene 3\nframes 50\ntap Left\n" +
           Repeat("tap Down\n", 6) + to_widest_media + shot("battle-settings") +
           "tap Down\ntap C\ntap Up\ntap C\n"
           // The first player picks while the second cursor waits; then the
           // computer's side is picked.
           "scene 10\nframes 50\n" +
           shot("battle-chara-first") +
           "tap Right\ntap C\ntap Right\ntap Right\nframes 2\n" +
           shot("battle-chara-both") +
           "tap C\n"
           "scene 5\nframes 240\nhold Down\nframes 40\n" +
           shot("battle-match") +
           "frames 60\nrelease Down\nframes 250\n"
           // The longest entry of the after-match menu; the window closed.
           "tap Down\ntap Down\ntap Down\nframes 2\n" +
           shot("after-match-menu") + "close\n";
  }
  return start + shot("title") +
         // The options, left again with back.
         "tap Down\ntap Down\ntap Down\ntap Down\ntap C\n"
         "scene 9\nframes 50\n" +
         shot("options") +
         "tap X\n"
         "scene 0\nframes 50\n"
         // Endless: the top level, the widest names, the first character.
         "tap Up\ntap Up\ntap Up\ntap Up\ntap C\n"
         "scene 1\nframes 50\n" +
         shot("mode-menu") +
         "tap C\n"
         "scene 2\nframes 50\ntap Left\ntap Down\n" +
         to_widest_media + shot("single-settings") +
         "tap Down\ntap C\n"
         "scene 10\nframes 50\n" +
         shot("single-chara") +
         "tap C\n"
         "scene 4\nframes 240\nhold Down\nframes 600\nrelease Down\n"
         // The longest name the entry takes.
         "type WWWW\nframes 2\n" +
         shot("name-entry") +
         "tap Return\nframes 2\n"
         // The longest entry of the after-game menu: save and leave, back to
         // the title and the high scores.
         "tap Down\ntap Down\ntap Down\nframes 2\n" +
         shot("after-game-menu") +
         "tap C\n"
         "scene 2\nframes 65\ntap X\n"
         "scene 1\nframes 50\ntap X\n"
         "scene 0\nframes 50\ntap Down\ntap Down\ntap Down\ntap C\n"
         "scene 8\nframes 65\n" +
         shot("hiscore") +
         "tap X\n"
         "scene 0\nframes 50\ntap X\nframes 70\n";
}

// High scores as wide as they can be shown: four-letter names, eight-digit
// scores, the largest erased count and chain the file holds; the endless
// table's fifth place is free for the game the walk plays.
void WriteWidestScores(const std::string& run) {
  hiscore_table table = default_hiscores();
  const char* names[] = {"WWWW", "MMMM", "WAWA", "MWMW", "WMWM"};
  for (int i = 0; i < kHiscoreEntries; ++i) {
    hiscore_entry& e = table[i];
    std::snprintf(e.name, sizeof e.name, "%s", names[i % kHiscorePlaces]);
    e.score = 99999999 - i;
    e.erased = 65535;
    e.chain = 99;
  }
  table[kHiscorePlaces - 1] = default_hiscores()[0];
  ASSERT_TRUE(write_hiscore_file(table, (run + "/score.vsd").c_str()));
}

class ScreensEndToEnd : public TempDirTest, public ::testing::WithParamInterface<std::tuple<Look, Walk>> {};

TEST_P(ScreensEndToEnd, EveryScreenIsShown) {
  const auto [look, walk] = GetParam();
  const std::string run = dir() + "/run";
  MakeRunFolder(run);
  WriteWidestScores(run);
  {
    std::ofstream ini(run + "/Voxaldrift.ini");
    ini << "[Custom]\r\nC_Custom=64\r\nB_Custom=32\r\nSTART_Custom=8192\r\n"
        << "WideScreen=" << (std::string(look.scale) == "1x" ? 0 : 1) << "\r\n";
  }
  // The names as the game lists them, in its order.
  ASSERT_EQ(chdir(run.c_str()), 0);
  MediaLists media;
  media.list_media();
  ASSERT_EQ(chdir(dir().c_str()), 0);
  ASSERT_FALSE(media.backgrounds.empty());
  ASSERT_FALSE(media.musics.empty());

  const std::string shots = std::string(VOX_TEST_OUTPUT_DIR) + "/screens";
  fs::create_directories(shots);
  const std::string suffix = std::string("-") + look.scale + "-" + look.path + ".png";
  const std::vector<const char*> screens =
      walk == Walk::kBattle
          ? std::vector<const char*>{"battle-settings", "battle-chara-first", "battle-chara-both", "battle-match",
                                     "after-match-menu"}
          : std::vector<const char*>{"title",        "options",    "mode-menu",       "single-settings",
                                     "single-chara", "name-entry", "after-game-menu", "hiscore"};
  for (const char* screen : screens) fs::remove(shots + "/" + screen + suffix);
  std::ofstream(run + "/script.txt") << WalkScript(walk, shots, look, Widest(media.backgrounds), Widest(media.musics));
  Outcome o = RunProgram(run + "/voxaldrift", run,
                         {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "VOXALDRIFT_TEST_SCRIPT=script.txt",
                          std::string("VOX_HARDWARE=") + (std::string(look.path) == "gl" ? "1" : "0")});
  ASSERT_EQ(o.exit_code, 0) << o.err;

  const int width = std::string(look.scale) == "1x" ? 640 : 960;
  for (const char* screen : screens) {
    Picture p;
    ASSERT_TRUE(ReadPng(shots + "/" + screen + suffix, &p)) << screen;
    EXPECT_EQ(p.width, width) << screen;
    EXPECT_EQ(p.height, width * 3 / 4) << screen;
    EXPECT_GT(Colours(p, 0, 0, p.width, p.height), 64u) << screen;
  }
}

// Full screen where no window manager runs: the window covers the display
// and shows the picture scaled to fit, in the middle, with black bars where
// the shapes differ (640 x 480 on 1280 x 1024: scaled by 2, bars of 32 rows).
class FullScreenEndToEnd : public TempDirTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(FullScreenEndToEnd, TheTitleFillsTheDisplayLetterboxed) {
  const std::string path = GetParam();
  VirtualDisplay display;
  if (!display.start(1280, 1024)) GTEST_SKIP() << "no virtual X display (Xvfb) could be started";
  const std::string run = dir() + "/run";
  MakeRunFolder(run);
  std::ofstream(run + "/Voxaldrift.ini") << "[Custom]\r\nC_Custom=64\r\nB_Custom=32\r\nFullScreen=1\r\n";
  const std::string shots = std::string(VOX_TEST_OUTPUT_DIR) + "/screens";
  fs::create_directories(shots);
  const std::string shot = shots + "/fullscreen-nowm-" + path + ".png";
  fs::remove(shot);
  std::ofstream(run + "/script.txt") << "unpaced\nlimit 2000\nscene 0\nframes 125\nshot " + shot +
                                            "\ntap X\nframes 70\n";
  Outcome o = RunProgram(run + "/voxaldrift", run,
                         {"DISPLAY=" + display.name(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
                          "VOXALDRIFT_TEST_SCRIPT=script.txt", std::string("VOX_HARDWARE=") + (path == "gl" ? "1" : "0")});
  ASSERT_EQ(o.exit_code, 0) << o.err;
  Picture p;
  ASSERT_TRUE(ReadPng(shot, &p));
  EXPECT_EQ(p.width, 1280);
  EXPECT_EQ(p.height, 1024);
  EXPECT_EQ(Colours(p, 0, 0, 1280, 32), 1u);     // the bar above
  EXPECT_EQ(Colours(p, 0, 992, 1280, 1024), 1u);  // and below
  // The picture fills the rest, from its first row to its last, edge to edge.
  EXPECT_GT(Colours(p, 0, 32, 1280, 992), 256u);
  for (int y : {32, 991})
    for (int x = 0; x < 1280; ++x) {
      const uint8_t* c = &p.rgb[((size_t)y * p.width + x) * 3];
      ASSERT_NE(c[0] | c[1] | c[2], 0) << "black at " << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, FullScreenEndToEnd, ::testing::Values("soft", "gl"),
                         [](const auto& info) { return std::string(info.param); });

INSTANTIATE_TEST_SUITE_P(Looks, ScreensEndToEnd,
                         ::testing::Combine(::testing::Values(Look{"1x", "soft"}, Look{"1.5x", "soft"},
                                                              Look{"1x", "gl"}, Look{"1.5x", "gl"}),
                                            ::testing::Values(Walk::kSingle, Walk::kBattle)),
                         [](const auto& info) {
                           const Look& look = std::get<0>(info.param);
                           std::string name = std::string(look.scale) + "_" + look.path +
                                              (std::get<1>(info.param) == Walk::kBattle ? "_battle" : "_single");
                           for (char& c : name)
                             if (c == '.') c = '_';
                           return name;
                         });

}  // namespace
