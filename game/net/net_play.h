// The matches of a net battle as one machine runs them, below the scene:
// the UDP receive thread from the start of each count-in, the frames of play
// in one order on both machines, the wait for the peer's records, the
// records sent again until the peer has used them, and the end of a match.
//
// Both machines update the waiting side's field first and then the
// connecting side's: each field's update writes its opponent's hold flag and
// garbage, so the order is part of the rules. A saved replay holds the two
// fields in that same order (the waiting side's first), so it plays as the
// match was played.
#pragma once

#include <cstdint>
#include <vector>

#include "game/net/field_network.h"
#include "game/net/socket_set.h"

// The two fields of a net battle on one machine: this machine's player's
// and the peer's, each built from its side's settings at its well (this
// side on the left), reading this side's buttons from `device`, and linked
// as opponents.
struct Net_Fields {
  Field_Network* local;
  Field_Client* peer;
};
Net_Fields make_net_fields(const side_settings& local, const side_settings& peer, socket_set* connection, int device);

class Net_Play {
 public:
  // The fields are not owned.
  Net_Play(socket_set* connection, const Net_Fields& fields);

  // The start of a count-in: the previous receive thread stopped, the queue
  // emptied, and a UDP receive thread started that drops what came while
  // none was reading. Records the peer sends from now on belong to this
  // match, also those that come before this machine's count-in ends.
  void begin_count_in();
  // The end of a count-in: three records with frame 0 and no bits.
  void end_count_in();

  enum Step { kPlayed, kWaiting, kLinkLost };
  // One frame of play. kPlayed: both fields were updated, results in
  // local_result and peer_result (kFieldLinkFailed from the local field when
  // a send failed). kWaiting: the peer's record of this frame is not here
  // yet, nothing was played. kLinkLost: no record came for too long, the
  // peer closed the connection, or it floods.
  Step step(int* local_result, int* peer_result);

  // The end of the match on this machine: the UDP end record. The receive
  // thread keeps running so the peer's confirmations still arrive.
  void end_match();
  // One frame after the end: takes the peer's records and sends again what
  // it has not confirmed, until it has ended too.
  void serve_after_match();
  // The end of the result display: the UDP receive thread stopped and the
  // queue emptied.
  void stop();

  Field_Network* local() const { return local_; }
  Field_Client* peer() const { return peer_; }
  // The fields in the order they are updated (the waiting side's first).
  Field* first_field() const;
  Field* second_field() const;
  // The replay file of the match, its sections in update order, each with
  // the commands that took effect; false when a section could not be
  // written. Empties both command lists.
  bool build_replay(std::vector<uint8_t>* bytes);
  // The same saved as a replay file (save_replay of field_replay.h): its
  // number, or -1.
  int save_replay();
  bool waiting_side() const { return waiting_; }
  int waited_frames() const { return waited_; }

 private:
  void resend();
  // The fields of a replay of the match, in update order.
  void replay_fields(Field* fields[2]);

  socket_set* connection_;
  Field_Network* local_;
  Field_Client* peer_;
  bool waiting_;
  uint32_t tick_ = 0;
  int waited_ = 0;
};
