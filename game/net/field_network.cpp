#include "game/net/field_network.h"

#include "game/buttons.h"
#include "game/net/socket_set.h"

namespace {

struct SentButton {
  int mask;       // pad mask on the field's device
  uint16_t bit;   // press bit; the release bit is bit << 8
};
constexpr SentButton kSentButtons[] = {
    {kPadLeft, kCommandLeft}, {kPadRight, kCommandRight}, {kPadDown, kCommandDown},
    {kPadRotateCcw, kCommandCcw}, {kPadRotateCw, kCommandCw},
};

// A record unconfirmed this many frames after it was last sent goes again:
// about a round trip on a slow link, a few frames on a fast one.
constexpr uint32_t kResendAfter = 4;
// Records sent again in one frame at most.
constexpr int kResendsPerFrame = 4;

}  // namespace

// ---- Field_Network --------------------------------------------------------------

Field_Network::Field_Network(const side_settings& s, int origin, socket_set* link, int dev)
    : Field(s, origin, dev), connection(link) {
  counters.time = 0;
}

void Field_Network::reset(int seed) {
  Field::reset(seed);
  counters.time = 0;
  held_ = 0;
  unconfirmed_.clear();
}

bool Field_Network::record_input() {
  replay_command record{(uint32_t)(counters.time + settings.frame_offset), 0, 0};
  // Changes against the buttons held at the last update, not this frame's
  // presses: frames the battle waited through lose no release, and in the
  // first frame the buttons already held count as pressed.
  int held = 0;
  for (const SentButton& b : kSentButtons)
    if (is_held_on(b.mask, input.device)) held |= b.mask;
  for (const SentButton& b : kSentButtons) {
    if ((held & b.mask) && !(held_ & b.mask)) record.bits |= b.bit;
    if (!(held & b.mask) && (held_ & b.mask)) record.bits |= (uint16_t)(b.bit << 8);
  }
  held_ = held;
  if (record.bits) append_command(record);
  unconfirmed_.push_back({record, tick_});
  bool sent = send_record_udp(connection, record);
  sent = send_record_udp(connection, record) && sent;
  Field::play_commands();
  return sent;
}

int Field_Network::update() {
  if (!record_input()) return kFieldLinkFailed;
  advance();
  after_control();
  const int result = spawn_cell_blocked() ? kFieldToppedOut : kFieldPlaying;
  ++counters.time;
  return result;
}

void Field_Network::resend(uint32_t confirmed_through, uint32_t tick) {
  tick_ = tick;
  while (!unconfirmed_.empty() && unconfirmed_.front().record.frame <= confirmed_through) unconfirmed_.pop_front();
  int sent = 0;
  for (Sent& s : unconfirmed_) {
    if (sent == kResendsPerFrame) break;
    if (tick - s.last_sent < kResendAfter) continue;
    // A send that fails now is seen by the next record's send.
    send_record_udp(connection, s.record);
    s.last_sent = tick;
    ++sent;
  }
}

// ---- Field_Client ---------------------------------------------------------------

Field_Client::Field_Client(const side_settings& s, int origin, socket_set* link) : connection(link) {
  // As Field builds the peer's own field from the same settings, so both
  // machines start the match alike; drawn where replayed fields are.
  settings = s;
  construct(origin, 0, true);
  counters.time = 0;
}

void Field_Client::reset(int seed) {
  Field::reset(seed);
  counters.time = 0;
  pending_.clear();
  heard_ = false;
  latest_ = 0;
}

void Field_Client::take_received() {
  std::vector<replay_command> records;
  take_records(connection, &records);
  const uint32_t now = (uint32_t)counters.time;
  for (const replay_command& r : records) {
    // Played already (a late copy), or further ahead than any peer in this
    // match can be.
    if (r.frame < now || r.frame - now > kRecordLeadLimit || !pending_.emplace(r.frame, r.bits).second) {
      ++dropped_;
      continue;
    }
    if (!heard_ || r.frame > latest_) latest_ = r.frame;
    heard_ = true;
  }
}

bool Field_Client::inputs_ready() const {
  return counters.time < settings.frame_offset || pending_.count((uint32_t)counters.time) != 0;
}

uint32_t Field_Client::confirmed_through() const {
  if (!heard_ || latest_ < (uint32_t)settings.frame_offset) return 0;
  return latest_ - (uint32_t)settings.frame_offset;
}

void Field_Client::play_commands() {
  take_received();
  auto due = pending_.find((uint32_t)counters.time);
  if (due != pending_.end()) {
    // Through the command list, as the peer applies its own: the list
    // keeps each change once, at the frame it took effect.
    if (due->second) append_command({due->first, due->second, 0});
    pending_.erase(due);
  }
  Field::play_commands();
}

int Field_Client::update() {
  play_commands();
  advance();
  after_control();
  const int result = spawn_cell_blocked() ? kFieldToppedOut : kFieldPlaying;
  ++counters.time;
  return result;
}
