#include "tests/game/net/harness/net_pair.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "game/buttons.h"
#include "game/net/field_network.h"
#include "game/net/net_play.h"
#include "game/replay.h"
#include "tests/game/harness/field_hash.h"
#include "tests/game/harness/match_driver.h"

using winsock::SOCKET;

int64_t monotonic_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (int64_t)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

void sleep_us(int us) { usleep((useconds_t)us); }

namespace {

constexpr int kCountIn = 180;
constexpr int kWaitingDevice = 2;    // pad 1
constexpr int kConnectingDevice = 3; // pad 2
// Frames a match may take, waits for records included, per frame of play:
// a relay that holds datagrams longer than the input delay makes the
// machines wait in most frames.
constexpr int kFramesPerFramePlayed = 4;

uint32_t loopback(int last) { return htonl(0x7F000000u | (uint32_t)last); }

bool bindable(int type, int port) {
  int fd = ::socket(AF_INET, type, 0);
  if (fd < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons((uint16_t)port);
  bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

// A small seeded generator for the relay's choices.
struct Dice {
  uint64_t state;
  explicit Dice(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 0x1234567ull) {}
  uint32_t below(uint32_t n) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return (uint32_t)(state >> 33) % n;
  }
};

// Stands between the two machines' UDP sockets: the waiting side sends to
// 127.0.0.3, the connecting side to 127.0.0.4, both on the battle's port;
// the relay forwards from the other address, so each machine sees its
// datagrams come from the address it sends to.
class Relay {
 public:
  Relay(const Relay_Settings& s, int port) : settings_(s), port_(port), dice_{Dice(s.seed), Dice(s.seed * 7 + 3)} {
    for (int side = 0; side < 2; ++side) {
      socket_[side] = winsock::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons((uint16_t)port);
      a.sin_addr.s_addr = loopback(3 + side);
      unsigned long on = 1;
      ok_ = ok_ && socket_[side] != winsock::INVALID_SOCKET &&
            winsock::bind(socket_[side], reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            winsock::ioctlsocket(socket_[side], FIONBIO, &on) == 0;
    }
  }
  ~Relay() {
    for (SOCKET s : socket_)
      if (s != winsock::INVALID_SOCKET) winsock::closesocket(s);
  }
  bool ok() const { return ok_; }
  // The address a machine sends to: side 0 the waiting side.
  uint32_t address_for(int side) const { return loopback(3 + side); }

  // Takes what each side has sent so far (expected: its count of sends),
  // deciding each datagram's fate as it comes.
  bool collect(const uint64_t expected[2], uint32_t tick) {
    return wait_until([&] {
      for (int side = 0; side < 2; ++side) {
        uint8_t bytes[64];
        int r;
        while (received_[side] < expected[side] &&
               (r = winsock::recvfrom(socket_[side], reinterpret_cast<char*>(bytes), sizeof bytes, 0, nullptr,
                                      nullptr)) > 0) {
          ++received_[side];
          hold(side, bytes, r, tick);
        }
      }
      return received_[0] >= expected[0] && received_[1] >= expected[1];
    });
  }

  // Sends on what is due, in an order of its own.
  void release(uint32_t tick) {
    std::vector<Held> due;
    auto split = std::stable_partition(held_.begin(), held_.end(), [&](const Held& h) { return h.due > tick; });
    due.assign(split, held_.end());
    held_.erase(split, held_.end());
    for (size_t i = due.size(); i > 1; --i) std::swap(due[i - 1], due[mix_.below((uint32_t)i)]);
    for (const Held& h : due) {
      const int to = 1 - h.from;
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons((uint16_t)port_);
      a.sin_addr.s_addr = loopback(1 + to);
      // Out through the socket the receiver sends to.
      winsock::sendto(socket_[to], reinterpret_cast<const char*>(h.bytes), h.length, 0,
                      reinterpret_cast<sockaddr*>(&a), sizeof a);
      ++forwarded_[to];
    }
  }
  uint64_t forwarded(int to) const { return forwarded_[to]; }
  uint64_t lost = 0, copied = 0, late = 0;

 private:
  struct Held {
    uint32_t due;
    int from;
    uint8_t bytes[64];
    int length;
  };
  void hold(int from, const uint8_t* bytes, int length, uint32_t tick) {
    Dice& d = dice_[from];
    if ((int)d.below(100) < settings_.loss_percent) {
      ++lost;
      return;
    }
    int copies = (int)d.below(100) < settings_.duplicate_percent ? 2 : 1;
    copied += copies - 1;
    for (int c = 0; c < copies; ++c) {
      Held h{tick, from, {}, length};
      std::memcpy(h.bytes, bytes, (size_t)length);
      const uint32_t delay = d.below((uint32_t)settings_.max_delay_frames + 1);
      h.due += delay;
      late += delay > 0;
      held_.push_back(h);
    }
  }

  Relay_Settings settings_;
  int port_;
  SOCKET socket_[2] = {winsock::INVALID_SOCKET, winsock::INVALID_SOCKET};
  bool ok_ = true;
  Dice dice_[2];
  Dice mix_{99};
  std::vector<Held> held_;
  uint64_t received_[2] = {0, 0};
  uint64_t forwarded_[2] = {0, 0};
};

struct Machine {
  socket_set* set = nullptr;
  Field_Network* local = nullptr;
  Field_Client* peer = nullptr;
  Net_Play* play = nullptr;
  bool ended = false;
  ~Machine() {
    delete play;
    delete local;
    delete peer;
  }
};

}  // namespace

int free_port() {
  // Ports below the system's ephemeral range, which no bind to port 0 and
  // no connect hands out; a lock file per port, held until this program
  // ends, keeps the test programs that run at the same time from choosing
  // the same one between this choice and their own binds.
  int ephemeral_low = 32768, ephemeral_high = 60999;
  if (FILE* f = std::fopen("/proc/sys/net/ipv4/ip_local_port_range", "r")) {
    if (std::fscanf(f, "%d %d", &ephemeral_low, &ephemeral_high) != 2) ephemeral_low = 32768;
    std::fclose(f);
  }
  const int high = std::max(ephemeral_low - 1, kLowestPort + 1000);
  const int low = std::max(high - 12000, kLowestPort);
  const char* tmp = std::getenv("TMPDIR");
  const std::string dir = tmp && *tmp ? tmp : "/tmp";
  const int span = high - low + 1;
  const int start = (int)(((uint32_t)getpid() * 2654435761u) % (uint32_t)span);
  for (int k = 0; k < span; ++k) {
    const int port = low + (start + k) % span;
    const std::string lock = dir + "/voxtest-port-" + std::to_string(port) + ".lock";
    int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !bindable(SOCK_DGRAM, port) || !bindable(SOCK_STREAM, port)) {
      ::close(fd);
      continue;
    }
    return port;  // the lock stays held
  }
  return 0;
}

Connected_Pair::~Connected_Pair() {
  free_connection(waiting);
  free_connection(connecting);
}

bool connect_pair(Connected_Pair* pair, std::string* message, uint32_t seed) {
  pair->port = free_port();
  if (!pair->port) {
    *message = "no free port";
    return false;
  }
  for (socket_set** side : {&pair->waiting, &pair->connecting}) {
    winsock::WSADATA data;
    winsock::WSAStartup(winsock::MakeVersion(2, 0), &data);
    *side = new socket_set;
    (*side)->holds_winsock = true;
  }
  socket_set* a = pair->waiting;
  socket_set* b = pair->connecting;
  a->local_address = loopback(1);
  b->local_address = loopback(2);
  if (!open_connection_sockets(a, true, "", pair->port) ||
      !open_connection_sockets(b, false, "127.0.0.1", pair->port) || !start_connecting(b)) {
    *message = "the sockets could not be opened";
    return false;
  }
  SOCKET data = winsock::INVALID_SOCKET;
  sockaddr_in peer{};
  bool accepted = wait_until([&] {
    winsock::fd_set read{1, {a->tcp_socket}};
    timeval none{0, 0};
    if (winsock::select(0, &read, nullptr, nullptr, &none) > 0) {
      int length = sizeof peer;
      data = winsock::accept(a->tcp_socket, reinterpret_cast<sockaddr*>(&peer), &length);
    }
    return data != winsock::INVALID_SOCKET;
  });
  if (!accepted) {
    *message = "the connection was not made";
    return false;
  }
  accepted_as_waiting_side(a, data, peer);
  a->handshake_seed = seed;
  start_handshake(a);
  if (!wait_until([&] { return !a->handshake_thread.running() && !b->handshake_thread.running(); })) {
    *message = "the handshake did not end";
    return false;
  }
  if (a->handshake_thread.result() != Net_Thread::kEnded || b->handshake_thread.result() != Net_Thread::kEnded ||
      !front_record(a, &pair->handshake[0]) || !front_record(b, &pair->handshake[1])) {
    *message = "the handshake failed";
    return false;
  }
  pop_record(a);
  pop_record(b);
  return true;
}

Net_Match_Settings random_net_match(uint32_t seed) {
  ScriptedMatch m = random_match(seed, 3);
  Net_Match_Settings s;
  s.script_seed = seed;
  s.rules[0] = m.side[0];
  s.rules[1] = m.side[1];
  return s;
}

Net_Match_Run play_net_match(const Net_Match_Settings& settings) {
  Net_Match_Run run;
  Connected_Pair pair;
  if (!connect_pair(&pair, &run.failure, (uint32_t)settings.rules[0].seed)) return run;
  socket_set* sets[2] = {pair.waiting, pair.connecting};
  const int delay = pair.handshake[0].bits;
  std::unique_ptr<Relay> relay;
  if (settings.relay) {
    relay = std::make_unique<Relay>(settings.relay_settings, pair.port);
    if (!relay->ok()) {
      run.failure = "the relay could not bind its sockets";
      return run;
    }
    for (int side = 0; side < 2; ++side) sets[side]->udp_peer_address.sin_addr.s_addr = relay->address_for(side);
  }
  Machine machines[2];
  const int devices[2] = {kWaitingDevice, kConnectingDevice};
  for (int side = 0; side < 2; ++side) {
    side_settings own = settings.rules[side], other = settings.rules[1 - side];
    own.frame_offset = other.frame_offset = settings.frame_offset ? settings.frame_offset : delay + 2;
    own.seed = other.seed = (int)pair.handshake[side].frame;
    Machine& m = machines[side];
    m.set = sets[side];
    const Net_Fields fields = make_net_fields(own, other, m.set, devices[side]);
    m.local = fields.local;
    m.peer = fields.peer;
    m.play = new Net_Play(m.set, fields);
  }

  uint32_t tick = 0;
  // Everything sent reaches the relay and is sent on as it falls due, and
  // every receive thread has read what came.
  auto settle = [&]() -> bool {
    if (relay) {
      const uint64_t sent[2] = {sets[0]->datagrams_sent.load(), sets[1]->datagrams_sent.load()};
      if (!relay->collect(sent, tick)) return false;
      relay->release(tick);
      return wait_until([&] {
        return sets[0]->datagrams_read.load() >= relay->forwarded(0) &&
               sets[1]->datagrams_read.load() >= relay->forwarded(1);
      });
    }
    return wait_until([&] {
      return sets[0]->datagrams_read.load() >= sets[1]->datagrams_sent.load() &&
             sets[1]->datagrams_read.load() >= sets[0]->datagrams_sent.load();
    });
  };
  MatchScripts scripts(settings.script_seed, 2);
  quiet_input();

  for (Machine& m : machines) m.play->begin_count_in();
  for (int n = kCountIn; n >= 1; --n, ++tick) {
    scripts.feed_next();
    for (Machine& m : machines) {
      m.local->draw_countdown(n);
      m.peer->draw_countdown(n);
    }
  }
  for (Machine& m : machines) m.play->end_count_in();
  if (!settle()) run.failure = "the count-in's records did not arrive";

  const int tick_limit = (int)tick + settings.max_frames * kFramesPerFramePlayed;
  while (run.failure.empty() && !(machines[0].ended && machines[1].ended)) {
    if ((int)++tick > tick_limit) {
      run.failure = "the match did not end on both machines";
      break;
    }
    scripts.feed_next();
    for (int side = 0; side < 2; ++side) {
      Machine& m = machines[side];
      if (m.ended) {
        m.play->serve_after_match();
        continue;
      }
      int r0 = kFieldPlaying, r1 = kFieldPlaying;
      Net_Play::Step step = m.play->step(&r0, &r1);
      if (step == Net_Play::kLinkLost) {
        run.failure = "machine " + std::to_string(side) + " lost the link";
        break;
      }
      if (step == Net_Play::kWaiting) {
        ++run.waited_frames[side];
        continue;
      }
      run.hashes[side].push_back(match_state_hash(*m.play->first_field(), m.play->second_field()));
      run.garbage_seen = std::max({run.garbage_seen, garbage_on(*m.local), garbage_on(*m.peer)});
      run.results[side][0] = r0;
      run.results[side][1] = r1;
      const bool over = r0 >= kFieldGoal || r1 >= kFieldGoal ||
                        (int)run.hashes[side].size() >= settings.max_frames;
      if (over) {
        m.ended = true;
        m.play->end_match();
      }
    }
    if (run.failure.empty() && !settle()) run.failure = "datagrams were not read in time";
  }
  for (int side = 0; side < 2; ++side) {
    Machine& m = machines[side];
    m.play->stop();
    run.copies_dropped[side] = m.peer->dropped();
    if (!m.play->build_replay(&run.replay[side])) run.failure = "a replay could not be built";
  }
  if (relay) {
    run.relay_lost = relay->lost;
    run.relay_copied = relay->copied;
    run.relay_late = relay->late;
  }
  quiet_input();
  return run;
}

std::string compare_net_match(const Net_Match_Run& run) {
  if (!run.failure.empty()) return run.failure;
  const std::vector<uint64_t>& a = run.hashes[0];
  const std::vector<uint64_t>& b = run.hashes[1];
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    if (a[i] != b[i]) return "the machines differ from frame " + std::to_string(i) + " of " + std::to_string(a.size());
  if (a.size() != b.size())
    return "the waiting side played " + std::to_string(a.size()) + " frames, the connecting side " +
           std::to_string(b.size());
  if (run.replay[0] != run.replay[1]) return "the two machines saved different replays";
  for (int side = 0; side < 2; ++side) {
    int number = store_replay_file(run.replay[side]);
    if (number < 0) return "a replay could not be saved";
    char path[64];
    std::snprintf(path, sizeof path, "replay\\play%d.vrs", number);
    MatchRun replayed;
    if (!play_replay_file(path, (int)a.size(), &replayed)) return std::string("the replay did not open: ") + path;
    for (size_t i = 0; i < std::min(a.size(), replayed.hashes.size()); ++i)
      if (replayed.hashes[i] != a[i])
        return "machine " + std::to_string(side) + "'s replay differs from frame " + std::to_string(i);
    if (replayed.hashes.size() != a.size())
      return "machine " + std::to_string(side) + "'s replay ran " + std::to_string(replayed.hashes.size()) +
             " frames, the match " + std::to_string(a.size());
  }
  return "";
}
