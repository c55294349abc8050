// Two copies of the real program, each in a run folder of its own under
// SDL's offscreen video driver, play a net battle on the loopback address:
// one waits on 127.0.0.1, the other connects from 127.0.0.2; through the
// title, the mode menu and the lobby, the shared settings (both at the top
// level, so the match is short), one match with down held, and the menu,
// where both save the replay and leave for the lobby, once on each drawing
// path (VOX_HARDWARE=0: software, 1: the Direct3D device). Screenshots of
// both lobbies and both battles go to <build>/test-output/<path>/net-*.png,
// the connecting side's from its 1.5 times window. Both replays must be the
// same file, and play.
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

// From the settings screen to the lobby again: this side's level down from 1
// to 31, then the play row and ready; a look at the match 40 frames into
// play, the pairs pushed to one side (each player to another); down held
// until the match is over (let go before the menu opens, where a held key
// would move the cursor); in the menu, "save the replay and leave". Each
// step waits for the state it acts in: a frame this program spent waiting
// for the other counts for nothing, so a loaded machine only makes the run
// slower.
std::string FromTheSettings(const std::string& battle_shot, const std::string& sideways) {
  return "scene 12\nframes 50\ntap Left\nframes 10\ntap Up\nframes 10\ntap C\n"
         "scene 13\nstate 2\nhold " + sideways + "\nframes 40\n"
         "shot " + battle_shot + "\n"
         "hold Down\nstate 4 5\nrelease Down\nrelease " + sideways + "\nstate 6\n"
         "tap Down\ntap Down\ntap Down\ntap C\n"
         "scene 11\nframes 30\nclose\n";
}

// The lobby's shot is taken while it listens (state 4).
std::string Waiting(const std::string& shots) {
  return ToTheLobby(1) + "tap Down\ntap C\nframes 2\ntap C\nstate 4\nshot " + shots +
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

class NetEndToEnd : public TempDirTest, public ::testing::WithParamInterface<DrawingPath> {};

TEST_P(NetEndToEnd, TwoProgramsPlayANetBattleFromTheLobbyAndBack) {
  const int port = free_port();
  ASSERT_NE(port, 0);
  const std::string shots = std::string(VOX_TEST_OUTPUT_DIR) + "/" + GetParam().name;
  fs::create_directories(shots);
  const char* names[] = {"lobby-waiting", "lobby-connecting", "battle-waiting", "battle-connecting"};
  for (const char* name : names) fs::remove(shots + "/net-" + name + ".png");
  std::string run[2];
  const std::string scripts[2] = {Waiting(shots), Connecting(shots)};
  for (int i = 0; i < 2; ++i) {
    run[i] = dir() + (i == 0 ? "/waiting" : "/connecting");
    MakeRunFolder(run[i]);
    // The connecting side plays in the 1.5 times window.
    std::ofstream(run[i] + "/Voxaldrift.ini")
        << "[Custom]\r\nC_Custom=64\r\nB_Custom=32\r\nSTART_Custom=8192\r\nDefaultPort=" << port
        << "\r\nWideScreen=" << i << "\r\n";
    std::ofstream(run[i] + "/script.txt") << scripts[i];
  }
  auto env = [](const char* address) {
    return std::vector<std::string>{"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy",
                                    "VOXALDRIFT_TEST_SCRIPT=script.txt",
                                    std::string("VOXALDRIFT_NET_ADDRESS=") + address,
                                    std::string("VOX_HARDWARE=") + GetParam().hardware};
  };
  // Both programs share one deadline, however slowly a loaded machine runs them.
  const int64_t deadline = ProgramDeadline();
  const pid_t waiting = StartProgram(run[0] + "/voxaldrift", run[0], env("127.0.0.1"));
  // The other program connects once the first listens.
  const bool listening = wait_until([&] { return Listening(port) || ProgramEnded(waiting); },
                                    (int)(deadline - MonotonicMs())) &&
                         Listening(port);
  const pid_t connecting = StartProgram(run[1] + "/voxaldrift", run[1], env("127.0.0.2"));
  Outcome outcome[2] = {WaitProgram(waiting, run[0], deadline), WaitProgram(connecting, run[1], deadline)};
  for (int i = 0; i < 2; ++i) EXPECT_EQ(outcome[i].exit_code, 0) << (i ? "connecting: " : "waiting: ") << outcome[i].err;
  ASSERT_TRUE(listening);
  ASSERT_FALSE(HasFailure());

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

}  // namespace
