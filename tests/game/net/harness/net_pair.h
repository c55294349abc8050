// Two machines of a net battle in one process, on the loopback address: the
// waiting side bound to 127.0.0.1 and the connecting side to 127.0.0.2, on a
// free port, connected through the real lobby calls and handshake. A match
// is played between them frame by frame (each with its own scripted
// buttons, on pads 1 and 2), directly or through a relay that loses,
// copies, delays and reorders datagrams. The relay keeps its own frame
// clock, and every step waits until what was sent has been read, so a match
// plays the same way however busy the machine is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "game/net/socket_set.h"
#include "game/side_settings.h"

// A port of 1024 or above that nothing on this machine uses for TCP or UDP
// right now, below the ephemeral range and reserved for this program against
// the other test programs; 0 when none was found.
int free_port();

// The two connections after the handshake (each null when it failed).
struct Connected_Pair {
  socket_set* waiting = nullptr;
  socket_set* connecting = nullptr;
  replay_command handshake[2] = {};  // {seed, delay} each side queued
  int port = 0;
  ~Connected_Pair();
  Connected_Pair() = default;
  Connected_Pair(const Connected_Pair&) = delete;
  Connected_Pair& operator=(const Connected_Pair&) = delete;
};
// Listens, connects and runs both handshakes, the waiting side drawing
// `seed`; false (with a message) when a step failed or did not end within a
// few seconds. Each connection carries a start of WinSock of its own.
bool connect_pair(Connected_Pair* pair, std::string* message, uint32_t seed = 12345);

// Waits (briefly sleeping) until the condition holds; false after `ms`.
template <typename Condition>
bool wait_until(Condition condition, int ms = 5000);

struct Relay_Settings {
  uint32_t seed = 1;
  int loss_percent = 0;       // each datagram
  int duplicate_percent = 0;  // each datagram that is not lost comes twice
  int max_delay_frames = 0;   // each copy is held 0..max frames
};

struct Net_Match_Settings {
  uint32_t script_seed = 1;
  side_settings rules[2];  // the waiting side's field, the connecting side's
  int max_frames = 6000;   // frames of play at most
  int frame_offset = 0;    // both fields'; 0: the handshake's delay + 2
  bool relay = false;
  Relay_Settings relay_settings;
};

struct Net_Match_Run {
  // Per machine (0 waiting, 1 connecting): the state hash of both fields
  // after every frame played, in update order.
  std::vector<uint64_t> hashes[2];
  int results[2][2] = {};      // last results per machine: local field, peer field
  int waited_frames[2] = {};   // frames a machine waited for records
  uint64_t relay_lost = 0, relay_copied = 0, relay_late = 0;
  uint64_t copies_dropped[2] = {};  // records the Field_Client dropped as copies
  int garbage_seen = 0;        // most garbage blocks on a board
  std::vector<uint8_t> replay[2];  // each machine's replay file
  std::string failure;         // set when the run itself went wrong
};

// A battle's rules drawn from a seed, as random_match does.
Net_Match_Settings random_net_match(uint32_t seed);
// Connects, plays one match to its end and builds both replays.
Net_Match_Run play_net_match(const Net_Match_Settings& settings);
// Compares the two machines and each replay with the live match; an empty
// text when all agree, else where they first differ.
std::string compare_net_match(const Net_Match_Run& run);

// ---------------------------------------------------------------------------

// Milliseconds of a monotonic clock.
int64_t monotonic_ms();
void sleep_us(int us);

template <typename Condition>
bool wait_until(Condition condition, int ms) {
  const int64_t end = monotonic_ms() + ms;
  while (!condition()) {
    if (monotonic_ms() > end) return false;
    sleep_us(50);
  }
  return true;
}
