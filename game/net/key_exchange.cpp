#include "game/net/key_exchange.h"

#include "game/net/socket_set.h"

Key_Exchange::Key_Exchange(socket_set* connection, int frame_offset)
    : connection_(connection), offset_(frame_offset) {}

void Key_Exchange::open() {
  unsent_.clear();
  local_.clear();
  peer_held_ = 0;
  peer_waits_ = false;
  acting_[0] = acting_[1] = 0;
  committed_ = false;
  alone_ = false;
  last_sent_ = frame_;
  heard_ = connection_->records_read.load();
  silent_frames_ = 0;
  start_tcp_receive(connection_);
}

bool Key_Exchange::exchange(int local_bits) {
  ++frame_;
  bool sent = true;
  if (local_bits) unsent_.push_back(local_bits);
  // Keys pressed once this side has committed wait until it takes keys
  // again, or goes on alone. A key acts here even when it could not be sent.
  if (!unsent_.empty() && (!committed_ || alone_)) {
    const int bits = unsent_.front();
    unsent_.pop_front();
    if (!alone_) sent = send_record_tcp(connection_, {0, (uint16_t)bits, 0});
    local_.push_back({frame_ + (uint32_t)offset_, bits});
    last_sent_ = frame_;
  } else if (!alone_ && !committed_ && frame_ - last_sent_ >= (uint32_t)kKeepAliveFrames) {
    sent = send_record_tcp(connection_, {0, 0, 0});
    last_sent_ = frame_;
  }
  acting_[0] = 0;
  if (!local_.empty() && local_.front().due <= frame_) {
    acting_[0] = local_.front().bits;
    local_.pop_front();
  }
  acting_[1] = 0;
  if (!alone_) {
    // Silence counts while the peer has not committed: once it has, it
    // sends nothing more until the menu opens again.
    const uint64_t heard = connection_->records_read.load();
    if (heard != heard_ || peer_committed())
      silent_frames_ = 0;
    else
      ++silent_frames_;
    heard_ = heard;
  }
  if (peer_waits_) {
    acting_[1] = peer_held_;
    peer_waits_ = false;
  } else {
    replay_command record;
    if (front_record(connection_, &record)) {
      acting_[1] = record.bits;
      pop_record(connection_);
    }
  }
  return sent;
}

void Key_Exchange::defer(int side) {
  if (!acting_[side]) return;
  if (side == 0) {
    local_.push_front({frame_ + 1, acting_[0]});
  } else {
    peer_held_ = acting_[1];
    peer_waits_ = true;
  }
  acting_[side] = 0;
}

void Key_Exchange::commit() {
  if (committed_) return;
  committed_ = true;
  send_end_tcp(connection_);
}

bool Key_Exchange::peer_committed() const { return connection_->receive_thread.result() == Net_Thread::kEnded; }

bool Key_Exchange::settled() const {
  return committed_ && peer_committed() && local_.empty() && !peer_waits_ && !has_record(connection_);
}

void Key_Exchange::reopen() {
  committed_ = false;
  start_tcp_receive(connection_);
}

bool Key_Exchange::link_lost() const {
  if (alone_) return false;
  return connection_->receive_thread.result() == Net_Thread::kFailed || silent_frames_ > kStallLimitFrames;
}

void Key_Exchange::go_alone() {
  alone_ = true;
  stop_receive(connection_);
}
