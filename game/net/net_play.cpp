#include "game/net/net_play.h"

#include "game/field_replay.h"

namespace {

constexpr int kLocalOrigin = 24;
constexpr int kPeerOrigin = 420;

}  // namespace

Net_Fields make_net_fields(const side_settings& local, const side_settings& peer, socket_set* connection,
                           int device) {
  Net_Fields fields{new Field_Network(local, kLocalOrigin, connection, device),
                    new Field_Client(peer, kPeerOrigin, connection)};
  link_opponents(fields.local, fields.peer);
  return fields;
}

Net_Play::Net_Play(socket_set* connection, const Net_Fields& fields)
    : connection_(connection), local_(fields.local), peer_(fields.peer), waiting_(connection->waiting_side()) {}

void Net_Play::begin_count_in() {
  stop_receive(connection_);
  clear_records(connection_);
  waited_ = 0;
  start_udp_receive(connection_);
}

void Net_Play::end_count_in() {
  // Their results are not looked at: play records report a failed link.
  for (int i = 0; i < 3; ++i) send_record_udp(connection_, {0, 0, 0});
}

void Net_Play::resend() {
  local_->resend(peer_->confirmed_through(), tick_);
  ++tick_;
}

Net_Play::Step Net_Play::step(int* local_result, int* peer_result) {
  peer_->take_received();
  resend();
  if (connection_->receive_thread.result() == Net_Thread::kFailed) return kLinkLost;
  if (!peer_->inputs_ready()) {
    if (++waited_ > kStallLimitFrames || peer_closed(connection_)) return kLinkLost;
    return kWaiting;
  }
  waited_ = 0;
  if (waiting_) {
    *local_result = local_->update();
    *peer_result = peer_->update();
  } else {
    *peer_result = peer_->update();
    *local_result = local_->update();
  }
  return kPlayed;
}

void Net_Play::end_match() { send_end_udp(connection_); }

void Net_Play::serve_after_match() {
  peer_->take_received();
  if (!connection_->peer_ended_play.load()) resend();
}

void Net_Play::stop() {
  stop_receive(connection_);
  clear_records(connection_);
}

Field* Net_Play::first_field() const { return waiting_ ? (Field*)local_ : (Field*)peer_; }

Field* Net_Play::second_field() const { return waiting_ ? (Field*)peer_ : (Field*)local_; }

void Net_Play::replay_fields(Field* fields[2]) {
  // This machine's commands stamped for frames the match never reached
  // played no part in it; the peer's field never had them.
  local_->input.commands.resize(local_->input.next);
  fields[0] = first_field();
  fields[1] = second_field();
}

bool Net_Play::build_replay(std::vector<uint8_t>* bytes) {
  Field* fields[2];
  replay_fields(fields);
  return build_replay_file(fields, 2, bytes);
}

int Net_Play::save_replay() {
  Field* fields[2];
  replay_fields(fields);
  return ::save_replay(fields, 2);
}
