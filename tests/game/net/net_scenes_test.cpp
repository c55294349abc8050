// The net battle's scenes headless: the lobby's entry, paste and refusals;
// two machines in one process from their lobbies through the shared
// settings screen and two matches back to the lobby; leaving the settings
// screen and the after-match menu while the peer does nothing; and the
// after-match menu when the players decide the two ways.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/core/window.h"
#include "game/after_match_menu.h"
#include "tests/game/harness/match_driver.h"
#include "tests/game/net/net_scene_fixture.h"

namespace {

TEST_F(NetSceneTest, TheLobbyEditsTheAddressAndThePortDigitByDigit) {
  scene_ = new Scene_SelectNetworkMenu(0, 0);
  Run(46);
  ASSERT_EQ(Lobby()->state(), Scene_SelectNetworkMenu::kRows);
  Tap(kC);
  ASSERT_EQ(Lobby()->state(), Scene_SelectNetworkMenu::kEntry);
  EXPECT_EQ(Lobby()->field(), 0);
  KeyTap(10);  // "9" on the first digit: 927 is above 255
  EXPECT_STREQ(Lobby()->address_text(), "255.000.000.001");
  EXPECT_EQ(Lobby()->cursor(), 1);
  KeyTap(11);  // "0"
  EXPECT_STREQ(Lobby()->address_text(), "205.000.000.001");
  Tap(kPadLeft);
  Tap(kPadLeft);
  Tap(kPadLeft);
  EXPECT_EQ(Lobby()->cursor(), 11);  // wraps
  KeyTap(8);  // "7" on the last digit, where the cursor stays
  EXPECT_STREQ(Lobby()->address_text(), "205.000.000.007");
  EXPECT_EQ(Lobby()->cursor(), 11);
  Tap(kPadDown);  // to the port; the cursor was past its digits
  EXPECT_EQ(Lobby()->field(), 1);
  EXPECT_EQ(Lobby()->cursor(), 0);
  KeyTap(10);  // 9xxxx is above 65535
  EXPECT_STREQ(Lobby()->port_text(), "65535");
  Tap(kB);
  EXPECT_EQ(Lobby()->state(), Scene_SelectNetworkMenu::kRows);
  // Waiting: the port alone, and up and down do not reach the address.
  Tap(kPadDown);
  Tap(kC);
  ASSERT_EQ(Lobby()->state(), Scene_SelectNetworkMenu::kEntry);
  EXPECT_EQ(Lobby()->field(), 1);
  Tap(kPadUp);
  Tap(kPadDown);
  EXPECT_EQ(Lobby()->field(), 1);
}

TEST_F(NetSceneTest, ThePastedAddressAndPortAreCheckedAndWrittenInFull) {
  scene_ = new Scene_SelectNetworkMenu(1, 0);
  Run(46);
  Tap(kC);
  ASSERT_EQ(WriteClipboardText("192.168.0.5:4649"), 0);
  Tap(kStart);
  EXPECT_TRUE(Played("pause"));
  EXPECT_STREQ(Lobby()->address_text(), "192.168.000.005");
  EXPECT_STREQ(Lobby()->port_text(), "04649");
  ASSERT_EQ(WriteClipboardText("10.1.2.3"), 0);
  Tap(kStart);
  EXPECT_STREQ(Lobby()->address_text(), "010.001.002.003");
  EXPECT_STREQ(Lobby()->port_text(), "04649");
  for (const char* refused : {"10.1.2.3:70000", "10.1.2", "hello"}) {
    ASSERT_EQ(WriteClipboardText(refused), 0);
    Tap(kStart);
    EXPECT_TRUE(Played("buzzer")) << refused;
    EXPECT_STREQ(Lobby()->address_text(), "010.001.002.003") << refused;
  }
}

TEST_F(NetSceneTest, ConnectingIsRefusedForALowPortAndAPeerThatIsNotThere) {
  scene_ = new Scene_SelectNetworkMenu(1, 0);
  Run(46);
  Tap(kC);
  // Port 01023.
  Tap(kPadDown);
  for (int scan : {11, 2, 11, 3, 4}) KeyTap(scan);
  EXPECT_STREQ(Lobby()->port_text(), "01023");
  Tap(kC);
  EXPECT_TRUE(Played("buzzer"));
  EXPECT_EQ(Lobby()->state(), Scene_SelectNetworkMenu::kEntry);
  EXPECT_EQ(Lobby()->connection(), nullptr);
  // A free port: nobody listens on it.
  Tap(kPadUp);
  Tap(kPadDown);  // cursor to 0 on the port again
  char digits[6];
  std::snprintf(digits, sizeof digits, "%05d", free_port());
  for (int i = 0; i < 5; ++i) KeyTap(digits[i] == '0' ? 11 : 1 + (digits[i] - '0'));
  Tap(kC);
  ASSERT_TRUE(wait_until([&] {
    Frame(0);
    return Lobby()->state() == Scene_SelectNetworkMenu::kEntry;
  }));
  EXPECT_TRUE(Played("buzzer"));
  EXPECT_EQ(Lobby()->connection(), nullptr);
}

TEST_F(NetSceneTest, WaitingOnAPortWhoseUdpIsTakenIsRefusedAtOnce) {
  // Another program holds the UDP port: the lobby refuses to wait, before
  // anyone could connect and be told that all is well.
  winsock::WSADATA data;
  winsock::WSAStartup(winsock::MakeVersion(2, 0), &data);
  winsock::SOCKET taken = winsock::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons((uint16_t)port_);
  ASSERT_EQ(winsock::bind(taken, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  scene_ = new Scene_SelectNetworkMenu(1, 1);  // on the waiting row
  Run(46);
  Tap(kC);
  ASSERT_EQ(Lobby()->state(), Scene_SelectNetworkMenu::kEntry);
  Played("pause");
  Tap(kC);
  EXPECT_TRUE(Played("buzzer"));
  EXPECT_EQ(Lobby()->state(), Scene_SelectNetworkMenu::kEntry);
  EXPECT_EQ(Lobby()->connection(), nullptr);
  // Nobody listens on the port.
  winsock::SOCKET peer = winsock::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  a.sin_addr.s_addr = htonl(0x7F000001);
  EXPECT_NE(winsock::connect(peer, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  winsock::closesocket(peer);
  // Once the port is free, waiting begins.
  winsock::closesocket(taken);
  Tap(kC);
  EXPECT_EQ(Lobby()->state(), Scene_SelectNetworkMenu::kWaiting);
  winsock::WSACleanup();
}

TEST_F(NetSceneTest, AHandshakeThatNeverEndsSendsTheLobbyBackToTheEntry) {
  // The peer accepts the connection and says nothing.
  winsock::WSADATA data;
  winsock::WSAStartup(winsock::MakeVersion(2, 0), &data);
  winsock::SOCKET listener = winsock::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons((uint16_t)port_);
  a.sin_addr.s_addr = htonl(0x7F000001);
  ASSERT_EQ(winsock::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(winsock::listen(listener, 4), 0);
  auto* lobby = new Scene_SelectNetworkMenu(1, 0);
  lobby->time_limit_ms = 300;
  scene_ = lobby;
  Run(46);
  Tap(kC);
  Tap(kC);
  EXPECT_EQ(Lobby()->state(), Scene_SelectNetworkMenu::kHandshake);
  ASSERT_TRUE(wait_until([&] {
    Frame(0);
    return Lobby()->state() == Scene_SelectNetworkMenu::kEntry;
  }));
  EXPECT_TRUE(Played("buzzer"));
  EXPECT_EQ(Lobby()->connection(), nullptr);
  winsock::closesocket(listener);
  winsock::WSACleanup();
}

TEST_F(TwoMachinesTest, FromTheLobbiesThroughTheSettingsAndTwoMatchesBackToTheLobbies) {
  for (int i = 0; i < 2; ++i) {
    setenv(Scene_SelectNetworkMenu::kBindAddressVariable, i == 0 ? "127.0.0.1" : "127.0.0.2", 1);
    m_[i].scene = new Scene_SelectNetworkMenu(0, 0);
    m_[i].number = kSceneSelectNetworkMenu;
  }
  unsetenv(Scene_SelectNetworkMenu::kBindAddressVariable);
  for (int i = 0; i < 46; ++i) Round(0, 0, 0);
  // The first machine waits on the port of the settings file, the second
  // connects to it on 127.0.0.1.
  Feed(kPadDown);
  m_[0].step(0);
  for (int k : {0, kC, 0, kC, 0}) {
    Feed(k);
    m_[0].step(0);
  }
  ASSERT_EQ(m_[0].lobby()->state(), Scene_SelectNetworkMenu::kWaiting);
  for (int k : {kC, 0, kC, 0}) {
    Feed(k);
    m_[1].step(0);
  }
  ASSERT_EQ(m_[1].lobby()->state(), Scene_SelectNetworkMenu::kHandshake);
  int frames = 0;
  ASSERT_TRUE(RunUntil([&] {
    ++frames;
    return m_[0].number == kSceneSelectNetwork && m_[1].number == kSceneSelectNetwork;
  }));
  EXPECT_GE(frames, 45);
  // The port was written when waiting began.
  EXPECT_NE(ReadFile("Voxaldrift.ini").find("DefaultPort=" + std::to_string(port_)), std::string::npos);

  // Settings: on the first machine, right pressed three frames running on
  // the garbage score (faster than the input delay); on the second, the
  // level wrapped below 0. Then both play.
  ASSERT_TRUE(RunUntil([&] { return m_[0].settings()->state() == 3 && m_[1].settings()->state() == 3; }));
  Press(0, {Scene_SelectNetwork::kKeyDown, Scene_SelectNetwork::kKeyDown});
  for (int i = 0; i < 3; ++i) Round(0, Scene_SelectNetwork::kKeyRight, 0);
  Press(1, {Scene_SelectNetwork::kKeyLeft});
  Settle(10);
  EXPECT_EQ(m_[0].settings()->settings(0).garbage_score, 70);
  EXPECT_EQ(m_[1].settings()->settings(1).garbage_score, 70);
  EXPECT_EQ(m_[0].settings()->settings(1).level_target, 30);
  EXPECT_EQ(m_[1].settings()->settings(0).level_target, 30);
  Press(0, {Scene_SelectNetwork::kKeyUp, Scene_SelectNetwork::kKeyUp, Scene_SelectNetwork::kKeyUp,
            Scene_SelectNetwork::kKeyDecide});
  Press(1, {Scene_SelectNetwork::kKeyUp, Scene_SelectNetwork::kKeyDecide});
  ASSERT_TRUE(RunUntil([&] { return m_[0].number == kSceneNetwork && m_[1].number == kSceneNetwork; }));
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(m_[i].battle()->side(0).garbage_score, i == 0 ? 70 : 40);
    EXPECT_EQ(m_[i].battle()->side(1).level_target, i == 0 ? 30 : 0);
    EXPECT_EQ(m_[i].battle()->side(0).seed, m_[1 - i].battle()->side(1).seed);
  }

  // First match; then go on, the second machine saving the replay.
  std::vector<uint64_t> first[2];
  PlayToTheMenu(first);
  EXPECT_GT(first[0].size(), 20u);  // the second player's field plays at level 31
  EXPECT_EQ(first[0], first[1]);
  Press(0, {Scene_Network::kMenuDecide});
  Press(1, {Scene_Network::kMenuDown, Scene_Network::kMenuDecide});
  ASSERT_TRUE(RunUntil([&] { return m_[0].battle()->state() == 1 && m_[1].battle()->state() == 1; }));
  // Both restart with the seed the waiting side drew at the end of the match.
  EXPECT_EQ(m_[0].battle()->side(0).seed, m_[1].battle()->side(0).seed);
  EXPECT_EQ(m_[0].battle()->local_field()->rng->seed(), m_[1].battle()->peer_field()->rng->seed());
  EXPECT_TRUE(std::filesystem::exists("replay/play0.vrs"));

  // Second match; then quit, the first machine saving its replay.
  std::vector<uint64_t> second[2];
  PlayToTheMenu(second);
  EXPECT_EQ(second[0], second[1]);
  Press(0, {Scene_Network::kMenuDown, Scene_Network::kMenuDown, Scene_Network::kMenuDown,
            Scene_Network::kMenuDecide});
  Press(1, {Scene_Network::kMenuDown, Scene_Network::kMenuDown, Scene_Network::kMenuDecide});
  // Each lobby starts at its fade-in with the title music, as seen in the
  // frame the machine arrives (the first to arrive goes on meanwhile, for as
  // long as the other takes to see the connection close).
  int arrived_at[2] = {-1, -1};
  ASSERT_TRUE(RunUntil([&] {
    for (int i = 0; i < 2; ++i)
      if (arrived_at[i] < 0 && m_[i].number == kSceneSelectNetworkMenu) arrived_at[i] = m_[i].lobby()->state();
    return arrived_at[0] >= 0 && arrived_at[1] >= 0;
  }));
  EXPECT_EQ(arrived_at[0], Scene_SelectNetworkMenu::kFadeInMusic);
  EXPECT_EQ(arrived_at[1], Scene_SelectNetworkMenu::kFadeInMusic);

  // Each replay plays as its match was played.
  const std::vector<uint64_t>* played[2] = {&first[0], &second[0]};
  for (int n = 0; n < 2; ++n) {
    char path[32];
    std::snprintf(path, sizeof path, "replay\\play%d.vrs", n);
    MatchRun replayed;
    ASSERT_TRUE(play_replay_file(path, (int)played[n]->size(), &replayed)) << path;
    EXPECT_EQ(replayed.hashes, *played[n]) << path;
  }
  EXPECT_FALSE(std::filesystem::exists("replay/play2.vrs"));
}

// Two settings screens over a connected pair.
class SettingsPairTest : public TwoMachinesTest {
 protected:
  void SetUp() override {
    TwoMachinesTest::SetUp();
    std::string message;
    ASSERT_TRUE(connect_pair(&pair_, &message, 777)) << message;
    socket_set* sets[2] = {pair_.waiting, pair_.connecting};
    for (int i = 0; i < 2; ++i) {
      m_[i].scene = new Scene_SelectNetwork(sets[i], 777, pair_.handshake[i].bits);
      m_[i].number = kSceneSelectNetwork;
    }
    pair_.waiting = pair_.connecting = nullptr;  // the scenes own them now
  }
  Connected_Pair pair_;
};

TEST_F(SettingsPairTest, PlayersWhoTakeTheirTimeAreWaitedForAndASilentPeerIsNot) {
  // Long past the time limit with no key pressed on either machine: each
  // still hears the other.
  IdleLongPastTheTimeLimit();
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(m_[i].number, kSceneSelectNetwork) << i;
    EXPECT_EQ(m_[i].settings()->state(), Scene_SelectNetwork::kChoosing) << i;
  }
  EXPECT_FALSE(Played("buzzer"));
  // The second machine stops: the first goes back to the lobby once it has
  // heard nothing for the time limit.
  const int frames = FramesAloneToTheLobby(0);
  EXPECT_EQ(m_[0].number, kSceneSelectNetworkMenu);
  EXPECT_GT(frames, kStallLimitFrames - kKeepAliveFrames);
  EXPECT_LE(frames, kStallLimitFrames + 2);
  EXPECT_TRUE(Played("buzzer"));
}

// Back on this machine's side: a ready side chooses again, on both
// machines; a side still choosing leaves for the lobby once the key acts,
// the connection closed, and the peer follows by its rule for a closed
// connection, whether it is choosing or ready.
struct BackCase {
  const char* what;
  int leaver;
  bool peer_ready;
};
void PrintTo(const BackCase& c, std::ostream* out) { *out << c.what; }

class SettingsBackTest : public SettingsPairTest, public ::testing::WithParamInterface<BackCase> {};

TEST_P(SettingsBackTest, BackOnASideStillChoosingLeavesForTheLobbyAndThePeerFollows) {
  const BackCase c = GetParam();
  SCOPED_TRACE(c.what);
  const int leaver = c.leaver, peer = 1 - leaver;
  ASSERT_TRUE(RunUntil([&] { return m_[0].settings()->state() == 3 && m_[1].settings()->state() == 3; }));
  // Up from the first row is the play row.
  if (c.peer_ready) {
    Press(peer, {Scene_SelectNetwork::kKeyUp, Scene_SelectNetwork::kKeyDecide});
    Settle(5);
    ASSERT_TRUE(m_[leaver].settings()->ready(1));
  } else {
    Press(leaver, {Scene_SelectNetwork::kKeyUp, Scene_SelectNetwork::kKeyDecide});
    Settle(5);
    ASSERT_TRUE(m_[peer].settings()->ready(1));
    Played("pause");
    Press(leaver, {Scene_SelectNetwork::kKeyCancel});
    Settle(5);
    EXPECT_TRUE(Played("pause"));
    EXPECT_FALSE(m_[leaver].settings()->ready(0));
    EXPECT_FALSE(m_[peer].settings()->ready(1));
    for (int i = 0; i < 2; ++i) EXPECT_EQ(m_[i].number, kSceneSelectNetwork) << i;
  }
  Played("pause");
  Played("buzzer");
  const int offset = m_[leaver].frame_offset();
  const int back = Scene_SelectNetwork::kKeyCancel;
  Round(0, leaver == 0 ? back : 0, leaver == 1 ? back : 0);
  int frames = 0;
  while (m_[leaver].number == kSceneSelectNetwork && frames < 100) {
    Feed(0);
    m_[leaver].step(0);
    ++frames;
  }
  EXPECT_EQ(m_[leaver].number, kSceneSelectNetworkMenu);
  EXPECT_EQ(frames, offset);
  EXPECT_TRUE(Played("pause"));
  EXPECT_FALSE(Played("buzzer"));
  EXPECT_EQ(FramesToTheLobbyAfterAClose(peer), 1);
  EXPECT_TRUE(Played("buzzer"));
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsBackTest,
                         ::testing::Values(BackCase{"the waiting side, after taking its ready back", 0, false},
                                           BackCase{"the connecting side, the peer ready", 1, true}));

// Two battle scenes over a connected pair, at their first menu.
class MenuTest : public TwoMachinesTest {
 protected:
  void SetUp() override {
    TwoMachinesTest::SetUp();
    OpenBattles(777);
    std::vector<uint64_t> hashes[2];
    PlayToTheMenu(hashes);
  }
  const Menu_Side& Side(int machine, int side) { return m_[machine].battle()->menu_side(side); }
  // A frame of one machine alone, with its menu keys.
  void Alone(int machine, int keys) {
    Feed(0);
    m_[machine].step(keys);
  }
  // A key pressed on one machine alone, and the frames until it has acted.
  void ActAlone(int machine, int keys) {
    Alone(machine, keys);
    for (int i = 0; i < m_[machine].frame_offset(); ++i) Alone(machine, 0);
  }
  // The machine's player, alone in the menu, moves to "save the replay and
  // quit" and decides: it leaves, no key refused.
  void SaveAndQuitAlone(int machine) {
    ASSERT_EQ(m_[machine].number, kSceneNetwork);
    for (int i = 0; i < kAfterMatchRows && Side(machine, 0).choice != 3; ++i) ActAlone(machine, Scene_Network::kMenuDown);
    ASSERT_EQ(Side(machine, 0).choice, 3);
    Played("buzzer");
    ActAlone(machine, Scene_Network::kMenuDecide);
    EXPECT_EQ(m_[machine].battle()->state(), Scene_Double::kFadeOut);
    EXPECT_FALSE(Played("buzzer"));
  }
};

TEST_F(MenuTest, BothFieldsToppingOutInOneFrameShowEachPlayerAsTheWinner) {
  // The same rules and the same buttons on both sides: both fields top out
  // in the same frame.
  EXPECT_EQ(m_[0].battle()->result(), 1);
  EXPECT_EQ(m_[1].battle()->result(), 1);
  EXPECT_EQ(Side(0, 0).choice, 0);
  EXPECT_EQ(Side(1, 1).choice, 0);
}

TEST_F(MenuTest, PlayersWhoTakeTheirTimeAreWaitedForAndASilentPeerIsNot) {
  Press(0, {Scene_Network::kMenuDecide});
  IdleLongPastTheTimeLimit();
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(m_[i].number, kSceneNetwork) << i;
    EXPECT_EQ(m_[i].battle()->state(), Scene_Double::kMenu) << i;
  }
  EXPECT_FALSE(Played("buzzer"));
  // The first machine stops after deciding: the second, still choosing,
  // gives up on it after the time limit, and its player still chooses how
  // to leave.
  int frames = 0;
  while (m_[1].number == kSceneNetwork && !m_[1].battle()->alone() && frames < 2 * kStallLimitFrames) {
    Alone(1, 0);
    ++frames;
  }
  ASSERT_EQ(m_[1].number, kSceneNetwork);
  EXPECT_GT(frames, kStallLimitFrames - kKeepAliveFrames);
  EXPECT_LE(frames, kStallLimitFrames + 2);
  EXPECT_TRUE(Played("buzzer"));
  EXPECT_EQ(m_[1].battle()->state(), Scene_Double::kMenu);
  SaveAndQuitAlone(1);
  EXPECT_TRUE(std::filesystem::exists("replay/play0.vrs"));
}

// A player who quits leaves at once, whatever the other does: the replay
// saved when asked, the end record, the connection closed. The other player,
// still choosing, stays in the menu until it chooses to leave, here with
// the replay, however long after the quit: before the quit has reached it,
// while it is on its way, and long after the connection has closed.
struct QuitCase {
  const char* what;
  int quitter;
  int choice;  // 2 quit, 3 save the replay and quit
  int later;   // frames from the quit to the other player's save and quit
};
void PrintTo(const QuitCase& c, std::ostream* out) { *out << c.what; }

class MenuQuitTest : public MenuTest, public ::testing::WithParamInterface<QuitCase> {};

TEST_P(MenuQuitTest, AQuitLeavesAtOnceAndTheOtherPlayerStillSavesTheReplay) {
  const QuitCase c = GetParam();
  SCOPED_TRACE(c.what);
  const int quitter = c.quitter, other = 1 - quitter;
  const int decide = Scene_Network::kMenuDecide;
  for (int i = 0; i < 3; ++i) Press(other, {Scene_Network::kMenuDown});
  for (int i = 0; i < c.choice; ++i) Press(quitter, {Scene_Network::kMenuDown});
  Settle(2);
  ASSERT_EQ(Side(quitter, 0).choice, c.choice);
  ASSERT_EQ(Side(other, 0).choice, 3);
  Played("pause");
  Played("buzzer");
  // Both machines run on. The quitter leaves when its key acts, the input
  // delay later.
  const int offset = m_[quitter].frame_offset();
  int left = -1;
  bool waited = false;
  for (int frame = 0; frame <= std::max(c.later, offset); ++frame) {
    const int keys[2] = {frame == 0 ? decide : 0, frame == c.later ? decide : 0};
    Round(0, keys[quitter == 0 ? 0 : 1], keys[quitter == 0 ? 1 : 0]);
    if (left < 0 && m_[quitter].number == kSceneNetwork && m_[quitter].battle()->state() == Scene_Double::kFadeOut)
      left = frame;
    if (frame >= c.later) continue;
    ASSERT_EQ(m_[other].number, kSceneNetwork) << frame;
    waited = waited || m_[other].battle()->alone();
    if (frame > offset) {
      ASSERT_EQ(m_[other].battle()->state(), Scene_Double::kMenu) << frame;
      ASSERT_TRUE(m_[other].battle()->alone()) << frame;
      ASSERT_TRUE(Side(other, 1).decided) << frame;
    }
  }
  EXPECT_EQ(left, offset);
  EXPECT_TRUE(waited || c.later <= 1);
  ASSERT_TRUE(RunUntil([&] { return m_[0].number == kSceneSelectNetworkMenu && m_[1].number == kSceneSelectNetworkMenu; },
                       0, Scene_Match::kFadeFrames + offset + 2));
  EXPECT_TRUE(Played("pause"));
  EXPECT_FALSE(Played("buzzer"));  // nobody was refused, no link was lost
  // The other player's replay, and the quitter's when it asked for it: the
  // same file.
  const int saved = 1 + (c.choice == 3);
  for (int n = 0; n < 3; ++n)
    EXPECT_EQ(std::filesystem::exists("replay/play" + std::to_string(n) + ".vrs"), n < saved) << n;
  if (saved == 2) {
    EXPECT_EQ(ReadFile("replay/play0.vrs"), ReadFile("replay/play1.vrs"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MenuQuitTest,
    ::testing::Values(QuitCase{"the waiting side quits, the other saves in the same frame", 0, 2, 0},
                      QuitCase{"the connecting side saves and quits, the other a frame later", 1, 3, 1},
                      QuitCase{"the waiting side saves and quits, the other as the quit arrives", 0, 3, 2},
                      QuitCase{"the connecting side quits, the other as the quitter leaves", 1, 2, 3},
                      QuitCase{"the waiting side quits, the other 0.1 s later", 0, 2, 6},
                      QuitCase{"the connecting side saves and quits, the other 1 s later", 1, 3, 60},
                      QuitCase{"the waiting side saves and quits, the other 5 s later", 0, 3, 300}));

// This machine runs behind the other: the peer's keys to quit, its end
// record and the closed connection have all come before the first of those
// keys acts here. No key this side's player presses meanwhile is lost, and
// no link counts as lost: the peer left by its choice.
TEST_F(MenuTest, AMachineBehindAQuitterLosesNoKeyOfItsPlayer) {
  const int offset = m_[1].frame_offset();
  for (int k : {Scene_Network::kMenuDown, Scene_Network::kMenuDown, Scene_Network::kMenuDecide}) Alone(1, k);
  for (int i = 0; i < offset; ++i) Alone(1, 0);
  ASSERT_EQ(m_[1].battle()->state(), Scene_Double::kFadeOut);
  socket_set* here = m_[0].connection();
  ASSERT_TRUE(wait_until([&] { return here->receive_thread.result() == Net_Thread::kEnded; }));
  Played("buzzer");
  // Here, a key a frame while the peer's keys act: down to "save the replay
  // and quit", and decide.
  for (int k : {Scene_Network::kMenuDown, Scene_Network::kMenuDown, Scene_Network::kMenuDown,
                Scene_Network::kMenuDecide})
    Alone(0, k);
  for (int i = 0; i < offset + 4 && m_[0].battle()->state() == Scene_Double::kMenu; ++i) Alone(0, 0);
  EXPECT_EQ(m_[0].battle()->state(), Scene_Double::kFadeOut);
  EXPECT_EQ(Side(0, 0).choice, 3);
  EXPECT_EQ(Side(0, 1).choice, 2);
  EXPECT_FALSE(Played("buzzer"));
  EXPECT_TRUE(std::filesystem::exists("replay/play0.vrs"));
}

TEST_F(MenuTest, APlayerWhoHadDecidedToGoOnLeavesWithItsReplayWhenThePeerQuits) {
  Press(1, {Scene_Network::kMenuDown, Scene_Network::kMenuDecide});
  ASSERT_TRUE(RunUntil([&] { return Side(0, 1).decided; }));
  Press(0, {Scene_Network::kMenuDown, Scene_Network::kMenuDown});
  Settle(2);
  Played("buzzer");
  Round(0, Scene_Network::kMenuDecide, 0);
  // The quit is refused to it, and it leaves as soon as it knows.
  ASSERT_TRUE(RunUntil([&] { return m_[1].battle()->state() == Scene_Double::kFadeOut; }, 0, 3));
  EXPECT_TRUE(Played("buzzer"));
  ASSERT_TRUE(RunUntil([&] { return m_[0].number == kSceneSelectNetworkMenu && m_[1].number == kSceneSelectNetworkMenu; }));
  EXPECT_TRUE(std::filesystem::exists("replay/play0.vrs"));
  EXPECT_FALSE(std::filesystem::exists("replay/play1.vrs"));
}

// The peer's program is killed in the menu: its connection closed by the
// system, no end record. The match is over, so its replay is this player's
// still: one who is choosing stays to choose how to leave, one who had
// decided to go on leaves with the replay it asked for.
struct LostCase {
  const char* what;
  bool decided;  // this side had decided to save the replay and go on
};
void PrintTo(const LostCase& c, std::ostream* out) { *out << c.what; }

class MenuLostTest : public MenuTest, public ::testing::WithParamInterface<LostCase> {};

TEST_P(MenuLostTest, APeerKilledInTheMenuStillLetsThisSideSaveTheReplay) {
  const LostCase c = GetParam();
  SCOPED_TRACE(c.what);
  if (c.decided) Press(0, {Scene_Network::kMenuDown, Scene_Network::kMenuDecide});
  Settle(2);
  ASSERT_EQ(Side(0, 0).decided, c.decided);
  Played("buzzer");
  socket_set* killed = m_[1].connection();
  stop_receive(killed);
  close_connection_sockets(killed);
  // Once the receive thread here has seen the connection closed, the next
  // frame knows.
  socket_set* here = m_[0].connection();
  ASSERT_TRUE(wait_until([&] { return here->receive_thread.result() == Net_Thread::kFailed; }));
  Alone(0, 0);
  ASSERT_EQ(m_[0].number, kSceneNetwork);
  EXPECT_TRUE(Played("buzzer"));
  if (c.decided) {
    EXPECT_EQ(m_[0].battle()->state(), Scene_Double::kFadeOut);
  } else {
    ASSERT_TRUE(m_[0].battle()->alone());
    ActAlone(0, Scene_Network::kMenuDecide);  // going on
    EXPECT_TRUE(Played("buzzer"));
    EXPECT_EQ(m_[0].battle()->state(), Scene_Double::kMenu);
    SaveAndQuitAlone(0);
  }
  EXPECT_TRUE(std::filesystem::exists("replay/play0.vrs"));
}

INSTANTIATE_TEST_SUITE_P(Cases, MenuLostTest,
                         ::testing::Values(LostCase{"this side choosing", false},
                                           LostCase{"this side decided to save and go on", true}));

TEST_F(MenuTest, OnceThePeerHasDecidedToQuitGoingOnIsRefusedAndTheMenuStays) {
  // The second machine decides to quit and then runs no frame: only its
  // keys have come, its connection is still open.
  Press(1, {Scene_Network::kMenuDown, Scene_Network::kMenuDown});
  Round(0, 0, Scene_Network::kMenuDecide);
  ASSERT_TRUE(wait_until([&] {
    Alone(0, 0);
    return Side(0, 1).decided;
  }));
  ASSERT_TRUE(m_[0].battle()->alone());
  EXPECT_EQ(m_[0].battle()->scripted_state(), Scene_Network::kMenuAlone);
  EXPECT_EQ(Side(0, 1).choice, 2);  // the peer's cursor, shown as decided
  Played("buzzer");
  // Neither way of going on is taken, and nothing more is sent.
  for (int row = 0; row < 2; ++row) {
    ActAlone(0, Scene_Network::kMenuDecide);
    EXPECT_TRUE(Played("buzzer")) << row;
    EXPECT_FALSE(Side(0, 0).decided) << row;
    EXPECT_EQ(m_[0].battle()->state(), Scene_Double::kMenu) << row;
    ActAlone(0, Scene_Network::kMenuDown);
  }
  socket_set* there = m_[1].connection();
  ASSERT_TRUE(wait_until([&] { return there->records_read.load() >= m_[0].connection()->records_sent.load(); }));
  EXPECT_EQ(queued_records(there), 0u);
  // Quitting is.
  ActAlone(0, Scene_Network::kMenuDecide);
  EXPECT_EQ(m_[0].battle()->state(), Scene_Double::kFadeOut);
  EXPECT_FALSE(Played("buzzer"));
  EXPECT_FALSE(std::filesystem::exists("replay/play0.vrs"));
}

}  // namespace
