// Net scenes driven headless (the engine started with SDL's dummy drivers,
// the buttons of the settings file set to C, X and START on the pad bits
// 0x40, 0x20 and 0x2000), and two machines of a net battle run in one
// process, each scene as the scene machine runs it.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "game/net/scene_network.h"
#include "game/net/scene_select_network.h"
#include "game/net/scene_select_network_menu.h"
#include "game/net/socket_set.h"
#include "tests/game/harness/field_hash.h"
#include "tests/game/net/harness/net_pair.h"
#include "tests/game/scene_fixture.h"

inline constexpr int kC = 0x40, kB = 0x20, kStart = 0x2000;

class NetSceneTest : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    port_ = free_port();
    ASSERT_NE(port_, 0);
    WriteFile("Voxaldrift.ini", "[Custom]\r\nC_Custom=64\r\nB_Custom=32\r\nSTART_Custom=8192\r\nDefaultPort=" +
                                    std::to_string(port_) + "\r\n");
    read_settings();
    unsetenv(Scene_SelectNetworkMenu::kBindAddressVariable);
  }
  void TearDown() override {
    unsetenv(Scene_SelectNetworkMenu::kBindAddressVariable);
    SceneTest::TearDown();
  }
  Scene_SelectNetworkMenu* Lobby() { return static_cast<Scene_SelectNetworkMenu*>(scene_); }
  // One frame with a key of the keyboard held (a scan code), then one with
  // it let go.
  bool KeyTap(int scan) {
    uint8_t keys[256] = {};
    keys[scan] = 0x80;
    Feed(0, keys);
    bool keep = scene_->update();
    return Frame(0) && keep;
  }
  int port_ = 0;
};

// A machine's scene as the scene machine runs it: when the scene asks for
// another, it is handed over, ended and the next one built.
struct Machine {
  Scene* scene = nullptr;
  int number = 0;
  ~Machine() { delete scene; }
  // One frame; the lobby reads the global buttons, the later scenes get
  // their keys given.
  void step(int keys) {
    bool keep;
    if (number == kSceneSelectNetwork)
      keep = static_cast<Scene_SelectNetwork*>(scene)->step(keys);
    else if (number == kSceneNetwork)
      keep = static_cast<Scene_Network*>(scene)->step(keys);
    else
      keep = scene->update();
    if (keep) return;
    SceneValues its, args;
    scene->hand_over(its);
    const int next = requested_scene;
    ASSERT_TRUE(scene_arguments(next, number, its, &args));
    delete scene;
    scene = build_scene(next, args);
    number = next;
  }
  Scene_SelectNetworkMenu* lobby() const { return static_cast<Scene_SelectNetworkMenu*>(scene); }
  Scene_SelectNetwork* settings() const { return static_cast<Scene_SelectNetwork*>(scene); }
  Scene_Network* battle() const { return static_cast<Scene_Network*>(scene); }
  socket_set* connection() const {
    if (number == kSceneSelectNetworkMenu) return lobby()->connection();
    if (number == kSceneSelectNetwork) return settings()->connection();
    if (number == kSceneNetwork) return battle()->connection();
    return nullptr;
  }
  // The frames a key pressed here waits before it acts here.
  int frame_offset() const {
    if (number == kSceneSelectNetwork) return settings()->settings(0).frame_offset;
    if (number == kSceneNetwork) return battle()->side(0).frame_offset;
    return 0;
  }
};

class TwoMachinesTest : public NetSceneTest {
 protected:
  // One frame of both: the pads held (for the fields) and each one's keys.
  void Round(int held, int keys_a, int keys_b) {
    Feed(held);
    m_[0].step(keys_a);
    Feed(held);
    m_[1].step(keys_b);
    sleep_us(200);  // the datagrams on their way
    Deliver();
  }
  // Waits until each machine's TCP receive thread has read every key the
  // other has sent (unless it reads nothing now, as between a menu's settle
  // and its reopening): a key sent in one round is queued at the peer for
  // the next, so the menus play alike however busy the machine is.
  void Deliver() {
    socket_set* c[2] = {m_[0].connection(), m_[1].connection()};
    if (!c[0] || !c[1] || undelivered_) return;
    auto arrived = [&](int to) {
      return !c[to]->receive_thread.running() || c[to]->records_read.load() >= c[1 - to]->records_sent.load();
    };
    if (!wait_until([&] { return arrived(0) && arrived(1); }, 10000)) {
      ADD_FAILURE() << "keys were sent and never read";
      undelivered_ = true;
    }
  }
  // Quiet rounds: `rounds` more than the input delay, so that every key
  // pressed before has acted on both machines.
  void Settle(int rounds) {
    const int delay = std::max(m_[0].frame_offset(), m_[1].frame_offset());
    for (int i = 0; i < delay + rounds; ++i) Round(0, 0, 0);
  }
  bool RunUntil(const std::function<bool()>& done, int held = 0, int frames = 20000) {
    for (int i = 0; i < frames; ++i) {
      if (done()) return true;
      Round(held, 0, 0);
    }
    return done();
  }
  // Quiet rounds long past the time limit a silent peer is given.
  void IdleLongPastTheTimeLimit() {
    for (int i = 0; i < 3 * kStallLimitFrames; ++i) Round(0, 0, 0);
  }
  // The other machine stops, its connection left open: the frames this one
  // runs alone until it has left its scene (at most twice the time limit).
  int FramesAloneToTheLobby(int machine) {
    const int number = m_[machine].number;
    int frames = 0;
    while (m_[machine].number == number && frames < 2 * kStallLimitFrames) {
      Feed(0);
      m_[machine].step(0);
      ++frames;
    }
    return frames;
  }
  // The other machine has closed the connection: the frames this one runs
  // alone until it is back in the lobby. Each frame waits first until its
  // receive thread has taken in what came before the close, and the close
  // (a few seconds at most), so the count is that of the rules for a closed
  // connection however busy the machine is; -1 when the thread is still
  // reading after that.
  int FramesToTheLobbyAfterAClose(int machine) {
    int frames = 0;
    while (m_[machine].number != kSceneSelectNetworkMenu && frames < 2 * kStallLimitFrames) {
      socket_set* c = m_[machine].connection();
      if (c && !wait_until([&] { return !c->receive_thread.running(); })) return -1;
      Feed(0);
      m_[machine].step(0);
      ++frames;
    }
    return frames;
  }
  // Keys pressed on one machine, a frame each with a quiet frame between.
  void Press(int machine, std::initializer_list<int> keys, int held = 0) {
    for (int k : keys) {
      Round(held, machine == 0 ? k : 0, machine == 1 ? k : 0);
      Round(held, 0, 0);
    }
  }
  // The battles' frames: both fields' state after every frame played.
  void Record(std::vector<uint64_t> hashes[2], int32_t last[2]) {
    for (int i = 0; i < 2; ++i) {
      if (m_[i].number != kSceneNetwork) continue;
      const Net_Play& play = m_[i].battle()->play();
      int32_t time = m_[i].battle()->local_field()->counters.time;
      if (time != last[i] && m_[i].battle()->state() == Scene_Double::kMatch) {
        hashes[i].push_back(match_state_hash(*play.first_field(), play.second_field()));
      }
      last[i] = time;
    }
  }
  // A match from the count-in to the menu with down held on both
  // machines; the hashes of every frame played on each.
  void PlayToTheMenu(std::vector<uint64_t> hashes[2]) {
    int32_t last[2] = {-1, -1};
    ASSERT_TRUE(RunUntil(
        [&] {
          Record(hashes, last);
          return m_[0].battle()->state() == Scene_Double::kMenu && m_[1].battle()->state() == Scene_Double::kMenu;
        },
        kPadDown));
  }
  // Two battle scenes over a connected pair, both sides with the same rules
  // and seed, at their first count-in.
  void OpenBattles(uint32_t seed) {
    std::string message;
    ASSERT_TRUE(connect_pair(&pair_, &message, seed)) << message;
    side_settings s;
    s.mode = 3;
    s.seed = (int)seed;
    s.frame_offset = pair_.handshake[0].bits + 2;
    socket_set* sets[2] = {pair_.waiting, pair_.connecting};
    pair_.waiting = pair_.connecting = nullptr;  // the scenes own them now
    for (int i = 0; i < 2; ++i) {
      m_[i].scene = new Scene_Network(s, s, "", "", sets[i]);
      m_[i].number = kSceneNetwork;
    }
  }
  Machine m_[2];
  bool undelivered_ = false;
  Connected_Pair pair_;
};
