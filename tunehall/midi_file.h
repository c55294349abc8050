// The MIDI library's reader of Standard MIDI Files. A file is read chunk by
// chunk and event by event, each length checked against what holds it, and
// the song's length in ticks is worked out from the events. What the
// synthesiser's player is handed is the song written out again in the
// plainest form it reads (one track, a status byte on every event, only the
// events that make the music), so that the player never meets a file it
// cannot read: it would try such a file again and again without end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vox_tunehall {

struct MidiSong {
  int32_t ticks = 0;         // the end of the longest track; 0: a song of no length
  std::vector<uint8_t> smf;  // the song for the player: format 0, one track
};

// False when the bytes cannot be read as a Standard MIDI File whose time is
// counted in beats (*song is then untouched).
bool ReadMidiFile(const uint8_t* data, size_t size, MidiSong* song);

}  // namespace vox_tunehall
