// The keys of the menus both players answer together (the shared settings
// screen and the after-match menu), exchanged as TCP records with frame 0.
// A key pressed here is sent at once and acts here frame_offset frames
// later; the peer's keys act as they arrive, one record per frame. Each side
// keeps its keys in order: a key pressed again before the first has acted
// acts twice, here as on the peer, and a key a menu cannot take in a frame
// waits for the next instead of being lost.
//
// A menu that sends no key sends a record with no bits every
// kKeepAliveFrames frames, until it commits, so a peer that is there is
// never silent for long; one that sends nothing at all for kStallLimitFrames
// frames (socket_set.h) counts as lost.
//
// The order in which one side's keys meet the other's differs between the
// machines, so a menu leaves only when both machines can see every key of
// both sides: the machine that finds both sides done sends the end record
// and sends no new key (commit: what is pressed meanwhile waits); once it
// has the peer's end record too, and every key sent before it has acted,
// both machines hold the same state and decide alike whether to go on or to
// take keys again (reopen).
#pragma once

#include <cstdint>
#include <deque>

struct socket_set;

class Key_Exchange {
 public:
  Key_Exchange(socket_set* connection, int frame_offset);

  // Starts the TCP receive thread and forgets the keys of a previous round.
  void open();
  // One frame of the menu. local_bits: the keys pressed here this frame
  // (once committed they wait, unsent, until keys are taken again or the
  // menu goes on alone). False when a key could not be sent.
  bool exchange(int local_bits);
  // The keys acting this frame on side 0 (here) and side 1 (the peer);
  // the peer's may hold bits no key uses.
  int keys(int side) const { return acting_[side]; }
  // The side's keys of this frame act in the next one instead.
  void defer(int side);

  // Sends the end record (its result is not looked at) and sends no new key.
  void commit();
  bool committed() const { return committed_; }
  // The peer's end record came: it has committed.
  bool peer_committed() const;
  // Committed on both sides, and every key of both has acted.
  bool settled() const;
  // Keys again after a settle that did not leave the menu.
  void reopen();
  // The peer closed the connection, sent more keys than any player presses,
  // or has sent nothing for kStallLimitFrames frames while it had not
  // committed.
  bool link_lost() const;
  // The peer has gone: the receive thread is stopped, and from now on
  // nothing is sent or received. The keys pressed here still act here, at
  // the same delay (so a player who quit first leaves first, and the peer's
  // leaving is never taken for a lost link); the peer's that came before act
  // as they would have.
  void go_alone();
  bool alone() const { return alone_; }

 private:
  struct Key {
    uint32_t due;  // frame of the exchange at which it acts
    int bits;
  };

  socket_set* connection_;
  int offset_;
  uint32_t frame_ = 0;
  std::deque<int> unsent_;  // keys pressed here and not yet sent, oldest first
  std::deque<Key> local_;   // this side's keys sent and not yet acted, oldest first
  int peer_held_ = 0;  // a peer key deferred from the last frame
  bool peer_waits_ = false;
  int acting_[2] = {0, 0};
  bool committed_ = false;
  bool alone_ = false;
  uint32_t last_sent_ = 0;  // frame of the last record sent
  uint64_t heard_ = 0;      // the peer's records read, as last seen
  int silent_frames_ = 0;
};
