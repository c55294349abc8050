// Two copies of the real program, each in a run folder of its own under
// SDL's offscreen video driver, play a net battle on the loopback address:
// one waits on 127.0.0.1, the other connects from 127.0.0.2; through the
// title, the mode menu and the lobby, the shared settings (both at the top
// level, so the match is short), one match with down held, and the menu,
// where both save the replay and go on (both programs close in the next
// count-in), once on each drawing path (VOX_HARDWARE=0: software, 1: the Direct3D device). Screenshots of
// both lobbies and both battles go to <build>/test-output/<path>/net-*.png,
// the connecting side's from its 1.5 times window. Both replays must be the
// same file, and play.
//
// And a player leaves while the other does nothing: back on the settings
// screen, where both programs return to the lobby, the idle one while the
// other still lingers there; and "quit" in the after-match menu, where the
// other player still saves the replay and quits, a while later or after the
// quitter's program was killed.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/game/harness/match_driver.h"
#include "tests/game/net/harness/net_pair.h"
#include "tests/game/program_run.h"
#include "tests/game/run_folder.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Up to the lobby: the title's first entry, then the mode menu's net battle.
std::string ToTheLobby(uint32_t seed) {
  return "seed " + std::to_string(seed) +
         "\n"
         "limit 5000\n"
         "scene 0\nframes 125\ntap C\n"
         "scene 1\nframes 50\ntap Down\ntap Down\ntap Down\ntap Down\ntap C\n"
         "scene 11\nframes 50\n";
}

// In the lobby: wait on the port (the second row), or connect (the first).
constexpr const char* kListen = "tap Down\ntap C\nframes 2\ntap C\nstate 4\n";
constexpr const char* kConnect = "tap C\nframes 10\ntap C\n";

// On the settings screen: this side's level down from 1 to 31, then the
// play row and ready.
constexpr const char* kReady = "scene 12\nframes 50\ntap Left\nframes 10\ntap Up\nframes 10\ntap C\n";

// From the settings screen to the next match: this side's level down from 1
// to 31, then the play row and ready; a look at the match 40 frames into
// play, the pairs pushed to one side (each player to another); down held
// until the match is over (let go before the menu opens, where a held key
// would move the cursor); in the menu, "save the replay and go on", which
// takes both players (one who quits leaves at once). Each
// step waits for the state it acts in: a frame this program spent waiting
// for the other counts for nothing, so a loaded machine only makes the run
// slower.
std::string FromTheSettings(const std::string& battle_shot, const std::string& sideways) {
  return std::string(kReady) +
         "scene 13\nstate 2\nhold " + sideways + "\nframes 40\n"
         "shot " + battle_shot + "\n"
         "hold Down\nstate 4 5\nrelease Down\nrelease " + sideways + "\nstate 6\n"
         "tap Down\ntap C\n"
         "state 1\nframes 10\nclose\n";
}

// The lobby's shot is taken while it listens (state 4).
std::string Waiting(const std::string& shots) {
  return ToTheLobby(1) + kListen + "shot " + shots +
         "/net-lobby-waiting.png\n" + FromTheSettings(shots + "/net-battle-waiting.png", "Left");
}

std::string Connecting(const std::string& shots) {
  return ToTheLobby(2) + "tap C\nframes 10\nshot " + shots + "/net-lobby-connecting.png\ntap C\n" +
         FromTheSettings(shots + "/net-battle-connecting.png", "Right");
}

// Whether a socket listens on the TCP port, read from the kernel's table
// without touching the port: a probe that bound the port itself could take
// it from under the program at the moment the program binds it.
bool Listening(int port) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // the heading
  while (std::getline(table, line)) {
    unsigned local_address = 0, local_port = 0, remote_address = 0, remote_port = 0, state = 0;
    if (std::sscanf(line.c_str(), " %*u: %x:%x %x:%x %x", &local_address, &local_port, &remote_address,
                    &remote_port, &state) == 5 &&
        (int)local_port == port && state == 0x0A)
      return true;
  }
  return false;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs the two programs, each in a run folder of its own under the test's
// folder ("waiting", "connecting") with its script and the buttons C, X and
// Space: the waiting one first, the other once the first listens on the
// port. Both share one deadline, however slowly a loaded machine runs them.
struct Pair_Run {
  std::string run[2];
  Outcome outcome[2];
  bool listening = false;
  int first_to_end = -1;  // the one seen ended first (0 or 1); -1 when both, or neither by the deadline
};

// A program the test kills (SIGKILL) once its script has made a file.
struct Kill {
  int program = -1;  // 0 the waiting one, 1 the connecting one; -1 none
  std::string mark;  // the file's path
};

Pair_Run RunPrograms(const std::string& dir, int port, const std::string scripts[2], const char* hardware,
                     const Kill& kill = {}) {
  Pair_Run r;
  for (int i = 0; i < 2; ++i) {
    r.run[i] = dir + (i == 0 ? "/waiting" : "/connecting");
    MakeRunFolder(r.run[i]);
    // The connecting side plays in the 1.5 times window.
    std::ofstream(r.run[i] + "/Voxaldrift.ini")
        << "[Custom]\r\nC_Custom=64\r\nB_Custom=32\r\nSTART_Custom=8192\r\nDefaultPort=" << port
        << "\r\nWideScreen=" << i << "\r\n";
    std::ofstream(r.run[i] + "/script.txt") << scripts[i];
  }
  auto env = [hardware](const char* address) {
    return std::vector<std::string>{"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy",
                                    "VOXALDRIFT_TEST_SCRIPT=script.txt",
                                    std::string("VOXALDRIFT_NET_ADDRESS=") + address,
                                    std::string("VOX_HARDWARE=") + hardware};
  };
  const int64_t deadline = ProgramDeadline();
  const pid_t waiting = StartProgram(r.run[0] + "/voxaldrift", r.run[0], env("127.0.0.1"));
  r.listening = wait_until([&] { return Listening(port) || ProgramEnded(waiting); },
                           (int)(deadline - MonotonicMs())) &&
                Listening(port);
  const pid_t connecting = StartProgram(r.run[1] + "/voxaldrift", r.run[1], env("127.0.0.2"));
  const pid_t pids[2] = {waiting, connecting};
  bool killed = false;
  while (!ProgramEnded(waiting) && !ProgramEnded(connecting) && MonotonicMs() < deadline) {
    if (kill.program >= 0 && !killed && fs::exists(kill.mark)) killed = ::kill(pids[kill.program], SIGKILL) == 0;
    usleep(20 * 1000);
  }
  const bool ended[2] = {ProgramEnded(waiting), ProgramEnded(connecting)};
  if (ended[0] != ended[1]) r.first_to_end = ended[0] ? 0 : 1;
  r.outcome[0] = WaitProgram(waiting, r.run[0], deadline);
  r.outcome[1] = WaitProgram(connecting, r.run[1], deadline);
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(r.outcome[i].exit_code, i == kill.program ? 128 + SIGKILL : 0)
        << (i ? "connecting: " : "waiting: ") << r.outcome[i].err;
  EXPECT_TRUE(r.listening);
  return r;
}

class NetEndToEnd : public TempDirTest, public ::testing::WithParamInterface<DrawingPath> {};

TEST_P(NetEndToEnd, TwoProgramsPlayANetBattleFromTheLobbyAndSaveTheSameReplay) {
  const int port = free_port();
  ASSERT_NE(port, 0);
  const std::string shots = std::string(VOX_TEST_OUTPUT_DIR) + "/" + GetParam().name;
  fs::create_directories(shots);
  const char* names[] = {"lobby-waiting", "lobby-connecting", "battle-waiting", "battle-connecting"};
  for (const char* name : names) fs::remove(shots + "/net-" + name + ".png");
  const std::string scripts[2] = {Waiting(shots), Connecting(shots)};
  const Pair_Run pair = RunPrograms(dir(), port, scripts, GetParam().hardware);
  ASSERT_FALSE(HasFailure());
  const std::string* run = pair.run;

  // The waiting side wrote its port; the pictures show the panel, and both
  // wells with their blocks.
  EXPECT_NE(ReadAll(run[0] + "/Voxaldrift.ini").find("DefaultPort=" + std::to_string(port)), std::string::npos);
  for (const char* name : names) {
    Picture p;
    ASSERT_TRUE(ReadPng(shots + "/net-" + name + ".png", &p)) << name;
    // Screen coordinates in the picture: the connecting side's are 1.5 times.
    const bool wide = std::string(name).find("connecting") != std::string::npos;
    auto at = [wide](int v) { return wide ? v * 3 / 2 : v; };
    EXPECT_EQ(p.width, at(640));
    EXPECT_EQ(p.height, at(480));
    EXPECT_GT(Colours(p, 0, 0, p.width, p.height), 64u) << name;
    if (std::string(name).rfind("lobby", 0) == 0) {
      EXPECT_GT(Colours(p, at(160), at(120), at(480), at(300)), 16u) << name;  // the address and port panel
    } else {
      EXPECT_GT(Colours(p, at(24), at(80), at(216), at(464)), 8u) << name;
      EXPECT_GT(Colours(p, at(420), at(80), at(612), at(464)), 8u) << name;
    }
  }

  // Both machines saved the same replay, and it plays to the match's end.
  const std::string replays[2] = {ReadAll(run[0] + "/replay/play0.vrs"), ReadAll(run[1] + "/replay/play0.vrs")};
  ASSERT_FALSE(replays[0].empty());
  EXPECT_EQ(replays[0], replays[1]);
  ASSERT_EQ(chdir(run[0].c_str()), 0);
  MatchRun replayed;
  ASSERT_TRUE(play_replay_file("replay\\play0.vrs", 20000, &replayed));
  ASSERT_EQ(chdir(dir().c_str()), 0);
  EXPECT_GT(replayed.hashes.size(), 10u);
  EXPECT_TRUE(replayed.results[0] >= 4 || replayed.results[1] >= 4);
}

INSTANTIATE_TEST_SUITE_P(Drawing, NetEndToEnd, ::testing::ValuesIn(kDrawingPaths), DrawingPathName);

// One player leaves while the other does nothing on the screen they part
// on. The waiting side idles there and closes its program once it is back
// in the lobby; the connecting side leaves with its own keys and lingers in
// the lobby for kLingerFrames before it closes. So the idle side must have
// come back while the other still ran, by its rule for a closed connection,
// long before a silent peer would be given up on.
constexpr int kLingerFrames = 240;
static_assert(kLingerFrames < kStallLimitFrames / 2);

using NetLeavingEndToEnd = TempDirTest;

TEST_F(NetLeavingEndToEnd, APlayerLeavesTheSettingsAndTheIdleOneIsBackInTheLobbyWhileTheOtherStillRuns) {
  const int port = free_port();
  ASSERT_NE(port, 0);
  // Either script takes some 600 frames; a side held on the screen fails
  // at the limit.
  const std::string scripts[2] = {
      ToTheLobby(1) + kListen + "scene 12\nscene 11\nclose\nlimit 2500\n",
      ToTheLobby(2) + kConnect + "scene 12\nframes 60\ntap X\nscene 11\nframes " + std::to_string(kLingerFrames) +
          "\nclose\nlimit 2500\n"};
  const Pair_Run pair = RunPrograms(dir(), port, scripts, "0");
  EXPECT_EQ(pair.first_to_end, 0);
  EXPECT_TRUE(fs::is_empty(pair.run[1] + "/replay"));
}

// A player quits the after-match menu, and the other, left in it alone,
// saves the replay and quits 0.1 s, 1 s or 5 s later: a round after another
// in one run of the two programs, which meet again in the lobby in between
// (the waiting side listens and makes a mark; the other connects once it
// sees it). Or, in a last round, the test kills the quitter's program in the
// menu instead, and the other still saves.
struct MenuRound {
  int quit_row;  // the quitter's: 2 quit, 3 save the replay and quit; -1 killed in the menu
  int later;     // frames from the quit to the other's save and quit
};
struct MenuRun {
  const char* name;
  int quitter;  // 0 the waiting side, 1 the connecting side
  std::vector<MenuRound> rounds;
};
void PrintTo(const MenuRun& r, std::ostream* out) { *out << r.name; }

const MenuRun kMenuRuns[] = {
    {"waiting_quits", 0, {{2, 6}, {3, 60}}},
    {"waiting_quits_or_is_killed", 0, {{3, 300}, {-1, 6}}},
    {"connecting_quits", 1, {{3, 6}, {2, 60}}},
    {"connecting_quits_later", 1, {{3, 300}}},
};

class NetMenuEndToEnd : public TempDirTest, public ::testing::WithParamInterface<MenuRun> {};

TEST_P(NetMenuEndToEnd, APlayerQuitsTheMenuAndTheOtherStillSavesTheReplayAndQuits) {
  const int port = free_port();
  ASSERT_NE(port, 0);
  const MenuRun& run = GetParam();
  const int quitter = run.quitter, saver = 1 - quitter;
  const int rounds = (int)run.rounds.size();
  const std::string match = std::string(kReady) + "scene 13\nstate 2\nhold Down\nstate 4 5\nrelease Down\n";
  std::string scripts[2] = {ToTheLobby(1), ToTheLobby(2)};
  Kill kill;
  for (int round = 0; round < rounds; ++round) {
    const MenuRound& r = run.rounds[round];
    const std::string mark = "../listening" + std::to_string(round);
    if (round > 0)
      for (std::string& s : scripts) s += "scene 11\nframes 50\n";
    scripts[0] += kListen + ("mark " + mark + "\n") + match;
    scripts[1] += "await " + mark + "\n" + kConnect + match;
    if (r.quit_row < 0) {
      kill = {quitter, dir() + "/menu-open"};
      scripts[quitter] += "state 6\nmark ../menu-open\nframes 100000\n";
    } else {
      scripts[quitter] += "state 6\nframes 10\n";
      for (int i = 0; i < r.quit_row; ++i) scripts[quitter] += "tap Down\n";
      scripts[quitter] += "tap C\nscene 11\n";
    }
    // The other player's cursor on "save the replay and quit" before it
    // knows (or as it learns) that the quitter has left; its decision once
    // it has been alone for a while.
    scripts[saver] += "state 6 8\ntap Down\ntap Down\ntap Down\nstate 8\nframes " + std::to_string(r.later) +
                      "\ntap C\nscene 11\n";
  }
  for (std::string& s : scripts) s += "close\nlimit 6000\n";
  const Pair_Run pair = RunPrograms(dir(), port, scripts, "0", kill);
  ASSERT_FALSE(HasFailure());
  // A replay of every round on the saver's side; the quitter's, where it
  // saved one, the same file.
  const std::string kept = pair.run[saver] + "/replay/play";
  for (int n = 0; n <= rounds; ++n)
    EXPECT_EQ(fs::exists(kept + std::to_string(n) + ".vrs"), n < rounds) << n;
  int quitter_saved = 0;
  for (int round = 0; round < rounds; ++round) {
    if (run.rounds[round].quit_row != 3) continue;
    EXPECT_EQ(ReadAll(pair.run[quitter] + "/replay/play" + std::to_string(quitter_saved++) + ".vrs"),
              ReadAll(kept + std::to_string(round) + ".vrs"))
        << round;
  }
  EXPECT_FALSE(fs::exists(pair.run[quitter] + "/replay/play" + std::to_string(quitter_saved) + ".vrs"));
  ASSERT_EQ(chdir(pair.run[saver].c_str()), 0);
  for (int n = 0; n < rounds; ++n) {
    MatchRun replayed;
    EXPECT_TRUE(play_replay_file(("replay\\play" + std::to_string(n) + ".vrs").c_str(), 20000, &replayed)) << n;
    EXPECT_TRUE(replayed.results[0] >= 4 || replayed.results[1] >= 4) << n;
  }
  ASSERT_EQ(chdir(dir().c_str()), 0);
}

INSTANTIATE_TEST_SUITE_P(Runs, NetMenuEndToEnd, ::testing::ValuesIn(kMenuRuns),
                         [](const ::testing::TestParamInfo<MenuRun>& info) { return std::string(info.param.name); });

}  // namespace
