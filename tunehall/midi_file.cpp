// Standard MIDI Files: the header chunk, track chunks (other chunks skipped
// by their length), and the events of each track with their delta times,
// running status, meta and system-exclusive events. Tracks are merged by
// time into the one track the player gets.
#include "tunehall/midi_file.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace vox_tunehall {

namespace {

// Ticks are counted in 32-bit integers by the player and in the status block.
constexpr uint64_t kMaxTicks = std::numeric_limits<int32_t>::max();

constexpr uint8_t kMeta = 0xFF;
constexpr uint8_t kSysEx = 0xF0;
constexpr uint8_t kEscape = 0xF7;  // a system-exclusive continuation or raw bytes
constexpr uint8_t kEndOfTrack = 0x2F;
constexpr uint8_t kTempo = 0x51;

// An event the player gets: its status and the bytes that follow it in the
// file (for a tempo, its three bytes; for a system-exclusive message, its
// bytes after the length).
struct Event {
  uint32_t tick;
  uint8_t status;
  const uint8_t* data;
  uint32_t size;
};

uint32_t Be(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v = v << 8 | p[i];
  return v;
}

size_t Left(const uint8_t* at, const uint8_t* end) { return static_cast<size_t>(end - at); }

// A variable-length quantity: at most four bytes, all before `end`.
bool ReadVarLen(const uint8_t*& at, const uint8_t* end, uint32_t* value) {
  uint32_t v = 0;
  for (int i = 0; i < 4 && at < end; ++i) {
    const uint8_t c = *at++;
    v = v << 7 | (c & 0x7F);
    if (!(c & 0x80)) {
      *value = v;
      return true;
    }
  }
  return false;
}

// A length after which that many bytes follow before `end`.
bool ReadLength(const uint8_t*& at, const uint8_t* end, uint32_t* size) {
  return ReadVarLen(at, end, size) && *size <= Left(at, end);
}

void PutVarLen(std::vector<uint8_t>* out, uint32_t value) {
  uint8_t bytes[4];
  int n = 0;
  do {
    bytes[n++] = value & 0x7F;
    value >>= 7;
  } while (value);
  while (n--) out->push_back(static_cast<uint8_t>(bytes[n] | (n ? 0x80 : 0)));
}

void PutBe(std::vector<uint8_t>* out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// One track chunk's events, [at, end). The track ends at its end-of-track
// event, or with its chunk when that event is missing; *end_tick is then its
// length in ticks.
bool ReadTrack(const uint8_t* at, const uint8_t* end, std::vector<Event>* events, uint32_t* end_tick) {
  uint64_t tick = 0;
  uint8_t running = 0;  // the status a data byte in its place continues
  while (at < end) {
    uint32_t delta;
    if (!ReadVarLen(at, end, &delta)) return false;
    tick += delta;
    if (tick > kMaxTicks || at == end) return false;
    uint8_t status = *at;
    if (status & 0x80)
      ++at;
    else if (running)
      status = running;
    else
      return false;
    if (status < 0xF0) {
      // Program change and channel pressure carry one data byte, the others two.
      const uint32_t size = (status & 0xE0) == 0xC0 ? 1 : 2;
      if (Left(at, end) < size) return false;
      for (uint32_t i = 0; i < size; ++i)
        if (at[i] & 0x80) return false;
      running = status;
      events->push_back({static_cast<uint32_t>(tick), status, at, size});
      at += size;
      continue;
    }
    running = 0;  // meta and system-exclusive events end a running status
    uint32_t size;
    if (status == kMeta) {
      if (at == end) return false;
      const uint8_t type = *at++;
      if (!ReadLength(at, end, &size)) return false;
      if (type == kEndOfTrack) {
        *end_tick = static_cast<uint32_t>(tick);
        return true;
      }
      // Of the meta events only the tempo changes the music; a tempo of 0 is
      // none (time would stand still).
      if (type == kTempo && size == 3 && (at[0] | at[1] | at[2]))
        events->push_back({static_cast<uint32_t>(tick), kMeta, at, 3});
    } else if (status == kSysEx || status == kEscape) {
      if (!ReadLength(at, end, &size)) return false;
      if (status == kSysEx && size > 0) events->push_back({static_cast<uint32_t>(tick), kSysEx, at, size});
    } else {
      return false;  // system common and real-time messages have no place in a file
    }
    at += size;
  }
  *end_tick = static_cast<uint32_t>(tick);
  return true;
}

}  // namespace

bool ReadMidiFile(const uint8_t* data, size_t size, MidiSong* song) {
  const uint8_t* const end = data + size;
  if (size < 8 || std::memcmp(data, "MThd", 4) != 0) return false;
  const uint32_t header_size = Be(data + 4, 4);
  if (header_size < 6 || header_size > size - 8) return false;
  const uint32_t format = Be(data + 8, 2);
  const uint32_t tracks = Be(data + 10, 2);
  const uint32_t division = Be(data + 12, 2);
  // Format 0 is one track, 1 tracks played together, 2 tracks in sequence
  // of their own, which are played together too. A division with its top bit
  // set counts in frames of a second, which the player cannot.
  if (format > 2 || division == 0 || (division & 0x8000)) return false;

  std::vector<Event> events;
  uint32_t length = 0;
  const uint8_t* at = data + 8 + header_size;
  for (uint32_t read = 0; read < tracks;) {
    if (Left(at, end) < 8) return false;
    const uint32_t chunk_size = Be(at + 4, 4);
    const uint8_t* body = at + 8;
    if (chunk_size > Left(body, end)) return false;
    if (std::memcmp(at, "MTrk", 4) == 0) {
      uint32_t track_end = 0;
      if (!ReadTrack(body, body + chunk_size, &events, &track_end)) return false;
      length = std::max(length, track_end);
      ++read;
    }
    at = body + chunk_size;
  }

  // Tracks were read one after another: a stable sort by time keeps, at
  // one tick, the order of the tracks and of the events in each.
  std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.tick < b.tick; });
  std::vector<uint8_t> track;
  uint32_t now = 0;
  for (const Event& e : events) {
    PutVarLen(&track, e.tick - now);
    now = e.tick;
    track.push_back(e.status);
    if (e.status == kMeta) {
      track.push_back(kTempo);
      track.push_back(3);
    } else if (e.status == kSysEx) {
      PutVarLen(&track, e.size);
    }
    track.insert(track.end(), e.data, e.data + e.size);
  }
  PutVarLen(&track, length - now);
  track.insert(track.end(), {kMeta, kEndOfTrack, 0});
  if (track.size() > std::numeric_limits<uint32_t>::max()) return false;

  MidiSong out;
  out.ticks = static_cast<int32_t>(length);
  out.smf = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1};
  PutBe(&out.smf, division, 2);
  out.smf.insert(out.smf.end(), {'M', 'T', 'r', 'k'});
  PutBe(&out.smf, static_cast<uint32_t>(track.size()), 4);
  out.smf.insert(out.smf.end(), track.begin(), track.end());
  *song = std::move(out);
  return true;
}

}  // namespace vox_tunehall
