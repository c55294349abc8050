// Music: a loop of bars written once as notes, then either saved as a
// Standard MIDI File (General MIDI instruments, played by the game's MIDI
// library) or rendered by the generator's own synthesiser and saved as Ogg
// Vorbis. Both forms loop without a seam: every note ends inside the loop,
// and the rendering carries the tails of the loop's last notes over its start.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/assetgen/audio.h"

struct Note {
  double start;   // beats from the loop's start
  double length;  // beats
  int pitch;      // MIDI note number (the drum sound on the drum part)
  int velocity;   // 1..127
};

// What plays a part when the generator renders it.
enum class Voice { kLead, kSoftLead, kBell, kPluck, kPad, kBass, kArp, kDrums };

struct Part {
  std::string name;
  int program = 0;  // General MIDI program, 0-based; ignored for drums
  Voice voice = Voice::kLead;
  double volume = 0.8;  // 0..1
  double pan = 0;       // -1 left .. 1 right
  double reverb = 0.2;  // 0..1
  std::vector<Note> notes;
};

struct Song {
  std::string name;
  double tempo = 120;  // beats per minute
  int bars = 8;        // of four beats
  std::vector<Part> parts;
  double beats() const { return bars * 4.0; }
  double seconds() const { return beats() * 60.0 / tempo; }
};

// Drum notes of the General MIDI drum channel.
enum Drum { kKick = 36, kRim = 37, kSnare = 38, kClap = 39, kClosedHat = 42, kOpenHat = 46, kCrash = 49, kRide = 51 };

// ---- writing notes ----
// A melody from text: "e5:4 g5:2 r:2 c6+e6:8 ..." - a note name with its
// octave (c4 is middle C; sharps '#', flats 'b'), "r" for a rest, notes joined
// by '+' sound together; ":n" is the length in sixteenths and carries on to
// the following notes until changed. Notes are held for `legato` of their
// length. Returns the beat after the last note.
double AddPhrase(Part* part, double start_beat, const std::string& text, int velocity, double legato = 0.92);
// Chord tones from a name such as "C", "Am", "G7", "Fmaj7", "Em7", "Bb", "E",
// "Dm/F" (the bass note after the slash), lowest tone at or above `low`.
std::vector<int> ChordTones(const std::string& name, int low);
int ChordBass(const std::string& name, int low);
// One chord name per bar; "C G" in one entry splits the bar in halves.
using Progression = std::vector<std::string>;
// Calls `each` for every chord with its start and length in beats.
void ForEachChord(const Progression& chords,
                  const std::function<void(const std::string& chord, double start, double length)>& each);
// Repeats a drum line over `bars` bars: one character per sixteenth, 'x' a
// hit, 'o' a soft hit, anything else a rest.
void AddDrumLine(Part* part, int bars, int drum, const std::string& steps, int velocity);

// ---- the two forms ----
bool WriteMidi(const std::string& path, const Song& song);
// Stereo; the loop exactly, its start already holding the end's tails.
Sound RenderSong(const Song& song);
