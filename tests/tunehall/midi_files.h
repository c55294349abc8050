// MIDI files made by the tests byte by byte: the parts of a Standard MIDI
// File, a small song, a song in the manner of the game's tunes, and the
// short or damaged files that must neither play nor hang.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace midi_files {

inline std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

inline std::string Be(uint32_t v, int bytes) {
  std::string s;
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) s.push_back(static_cast<char>(v >> shift));
  return s;
}

inline std::string Chunk(const std::string& type, const std::string& body) {
  return type + Be(static_cast<uint32_t>(body.size()), 4) + body;
}

// The header chunk; `extra` bytes beyond the six that every header holds.
inline std::string Header(int format, int tracks, int division, const std::string& extra = "") {
  return Chunk("MThd", Be(format, 2) + Be(tracks, 2) + Be(division, 2) + extra);
}

inline std::string Track(const std::string& events) { return Chunk("MTrk", events); }

inline std::string VarLen(uint32_t v) {
  std::string s(1, static_cast<char>(v & 0x7F));
  while (v >>= 7) s.insert(s.begin(), static_cast<char>(0x80 | (v & 0x7F)));
  return s;
}

inline std::string EndOfTrack(uint32_t delta = 0) { return VarLen(delta) + Bytes({0xFF, 0x2F, 0x00}); }

// One note of a beat (480 ticks) on channel 0, from tick 0.
inline std::string BeatNote(int key = 60) { return Bytes({0x00, 0x90, key, 110, 0x83, 0x60, 0x80, key, 0}); }

// A format-0 file: two piano notes of a quarter second each at 120 beats a
// minute, 480 ticks a beat: half a second of music.
inline std::string SmallSong() {
  return Header(0, 1, 480) + Track(Bytes({0x00, 0xC0, 0x00,         // piano
                                          0x00, 0x90, 60, 110,      // C on
                                          0x81, 0x70, 0x80, 60, 0,  // 240 ticks: C off
                                          0x00, 0x90, 64, 110,      // E on
                                          0x81, 0x70, 0x80, 64, 0}) +  // 240 ticks: E off
                                   EndOfTrack());
}

// Two bars in the manner of the game's tunes: a conductor track (name, time
// signature, tempo) and two tracks of notes, every track ending on the last
// bar line (3840 ticks).
inline std::string TuneLikeSong() {
  const std::string conductor = Bytes({0x00, 0xFF, 0x03, 4, 'T', 'u', 'n', 'e',  // name
                                       0x00, 0xFF, 0x58, 4, 4, 2, 24, 8,         // 4/4
                                       0x00, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20});  // 120 beats a minute
  // Quarter notes, ended by notes on of velocity 0, the status running on.
  std::string melody = Bytes({0x00, 0xC0, 0x00, 0x00, 0xB0, 7, 100, 0x00, 0x90, 60, 100});
  for (int beat = 0; beat < 8; ++beat) {
    melody += VarLen(480) + Bytes({60 + beat, 0});
    if (beat < 7) melody += VarLen(0) + Bytes({61 + beat, 100});
  }
  std::string bass = Bytes({0x00, 0xC1, 33});
  for (int half = 0; half < 4; ++half) bass += Bytes({0x00, 0x91, 36, 90}) + VarLen(960) + Bytes({0x81, 36, 64});
  return Header(1, 3, 480) + Track(conductor + EndOfTrack(3840)) + Track(melody + EndOfTrack()) +
         Track(bass + EndOfTrack());
}

struct NamedFile {
  const char* name;
  std::string bytes;
};

// Songs of no length or files cut short: the library once froze on each,
// the rendering thread spinning in the synthesiser's player while holding
// the lock every other call waits for.
inline std::vector<NamedFile> ShortFiles() {
  const std::string tune = TuneLikeSong();
  return {
      {"an end of track only", Header(0, 1, 480) + Track(EndOfTrack())},
      {"a bare header", Header(0, 1, 480)},
      {"a track longer than the file", Header(0, 1, 480) + "MTrk" + Be(100, 4) + BeatNote()},
      {"a tune cut to its first third", tune.substr(0, tune.size() / 3)},
  };
}

}  // namespace midi_files
