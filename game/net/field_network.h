// The two fields of a net battle. Both machines simulate both fields from one
// seed and exchange nothing but button changes, stamped with the frame at
// which they take effect (the time counter plus the frame offset, the input
// delay): Field_Network is this machine's player, who records and sends
// them; Field_Client replays the peer's field from the records the UDP
// receive thread queues.
//
// Every frame of play sends one record, holding no bits when the buttons did
// not change, so the peer knows which frames it has the buttons of: a frame
// whose record has not come is not played until it comes (the battle waits,
// see Net_Play), and a record nobody confirmed is sent again. Copies that
// come twice or out of order are recognised by their frame and dropped, so
// a button is never pressed twice, and the command lists stay in frame
// order, the same on both machines.
#pragma once

#include <cstdint>
#include <deque>
#include <map>

#include "game/field.h"
#include "game/field_replay.h"

struct socket_set;

// The update's result when a record could not be sent.
inline constexpr int kFieldLinkFailed = 7;
// How far ahead of the field's time a record may be stamped and still be
// kept; a later frame comes from no peer playing this match.
inline constexpr uint32_t kRecordLeadLimit = 1024;

class Field_Network : public Field {
 public:
  // Reads its buttons from input device 0 unless told otherwise.
  Field_Network(const side_settings& settings, int origin_x, socket_set* connection, int device = 0);

  // One frame of play: 2 playing, 5 topped out, 7 a record could not be
  // sent. The field never pauses.
  int update() override;
  // Sends this frame's record (twice) and applies the commands due now;
  // false when a send failed.
  bool record_input() override;
  // A new match: also forgets the buttons held and the records sent.
  void reset(int seed) override;

  // The peer has used every record up to that frame: they are not sent
  // again. The oldest of the others that have waited long enough since
  // they were last sent go out once more. tick counts the frames of the
  // battle, waits included.
  void resend(uint32_t confirmed_through, uint32_t tick);

  socket_set* connection;

 private:
  struct Sent {
    replay_command record;
    uint32_t last_sent;  // tick
  };
  int held_ = 0;  // pad masks held at the last update
  uint32_t tick_ = 0;
  std::deque<Sent> unconfirmed_;
};

class Field_Client : public Field_Replay {
 public:
  // Built from the peer's settings as the peer builds its own field; it
  // reads no file.
  Field_Client(const side_settings& settings, int origin_x, socket_set* connection);

  // One frame: 2 playing, 5 topped out. Only when inputs_ready().
  int update() override;
  // Applies the record of this frame (appended to the command list when it
  // changes a button).
  void play_commands() override;
  void reset(int seed) override;

  // Moves the queued records into the field's own store: each frame once,
  // the first copy; copies of frames already played, and frames too far
  // ahead, are dropped.
  void take_received();
  // Whether the record of the frame about to be played is here (the first
  // frames of a match, before the input delay, have none).
  bool inputs_ready() const;
  // Every record of this machine's field up to this frame has been used by
  // the peer: it stamped a record of its own offset frames later.
  uint32_t confirmed_through() const;
  // Records dropped as copies or as out of range, and records kept for
  // frames to come.
  uint64_t dropped() const { return dropped_; }
  size_t pending() const { return pending_.size(); }

  socket_set* connection;

 private:
  std::map<uint32_t, uint16_t> pending_;  // frame -> bits, frames not yet played
  bool heard_ = false;
  uint32_t latest_ = 0;  // latest frame stamped by the peer
  uint64_t dropped_ = 0;
};
