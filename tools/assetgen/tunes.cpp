// The game's music: the title and menu tunes (MIDI, "sounds\title" and
// "sounds\select") and the tracks a player picks for a match (folder
// "musics": MIDI, and Ogg Vorbis rendered by the generator). Each is a loop:
// its last bar leads back into its first.
#include <string>

#include "tools/assetgen/audio.h"
#include "tools/assetgen/game_assets.h"
#include "tools/assetgen/song.h"
#include "tools/assetgen/text.h"

namespace {

// ---- accompaniment from a chord progression ----

// A bass line: per sixteenth of the bar, 'R' the chord's bass note, 'O' an
// octave above it, 'F' its fifth, '-' nothing; each note lasts to the next.
void AddBassLine(Part* part, const Progression& chords, const std::string& rhythm, int low, int velocity) {
  ForEachChord(chords, [&](const std::string& chord, double start, double length) {
    const int root = ChordBass(chord, low);
    const int fifth = ChordTones(chord, root + 1)[2] - (ChordTones(chord, root + 1)[2] - root > 12 ? 12 : 0);
    std::vector<std::pair<double, int>> hits;
    for (int step = 0; step < (int)(length * 4); ++step) {
      const char c = rhythm[((int)(start * 4) + step) % rhythm.size()];
      if (c == 'R' || c == 'O' || c == 'F')
        hits.push_back({start + step * 0.25, c == 'R' ? root : c == 'O' ? root + 12 : fifth});
    }
    for (size_t i = 0; i < hits.size(); ++i) {
      const double end = i + 1 < hits.size() ? hits[i + 1].first : start + length;
      part->notes.push_back({hits[i].first, (end - hits[i].first) * 0.85, hits[i].second, velocity});
    }
  });
}

// Chord stabs: per sixteenth, 'x' strikes the chord (held until the next
// strike or the chord's end), '-' nothing.
void AddChordHits(Part* part, const Progression& chords, const std::string& rhythm, int low, int velocity) {
  ForEachChord(chords, [&](const std::string& chord, double start, double length) {
    std::vector<double> hits;
    for (int step = 0; step < (int)(length * 4); ++step)
      if (rhythm[((int)(start * 4) + step) % rhythm.size()] == 'x') hits.push_back(start + step * 0.25);
    for (size_t i = 0; i < hits.size(); ++i) {
      const double end = i + 1 < hits.size() ? hits[i + 1] : start + length;
      for (int tone : ChordTones(chord, low)) part->notes.push_back({hits[i], (end - hits[i]) * 0.9, tone, velocity});
    }
  });
}

// A broken chord: the chord's tones (and their octaves) in the order of
// `order` ('0'-'7' index the tones upward), one every `step` beats.
void AddArpeggio(Part* part, const Progression& chords, const std::string& order, double step, int low, int velocity) {
  ForEachChord(chords, [&](const std::string& chord, double start, double length) {
    const std::vector<int> tones = ChordTones(chord, low);
    for (int k = 0; k < (int)(length / step + 0.5); ++k) {
      const int index = order[k % order.size()] - '0';
      const int tone = tones[index % tones.size()] + 12 * (int)(index / tones.size());
      part->notes.push_back({start + k * step, step * 0.8, tone, velocity - (k % 2) * 12});
    }
  });
}

// The progression played twice over.
Progression Twice(const Progression& chords) {
  Progression twice = chords;
  twice.insert(twice.end(), chords.begin(), chords.end());
  return twice;
}

void AddPad(Part* part, const Progression& chords, int low, int velocity) {
  ForEachChord(chords, [&](const std::string& chord, double start, double length) {
    for (int tone : ChordTones(chord, low)) part->notes.push_back({start, length * 0.98, tone, velocity});
  });
}

// ---- the tunes ----

// Bright and open: the title.
Song Title() {
  Song song{"Voxaldrift", 132, 16, {}};
  const Progression chords = {"C", "G/B", "Am", "Em/G", "F", "C/E", "Dm",  "G",
                              "C", "G/B", "Am", "Em/G", "F", "G",   "Dm7", "G7"};
  Part lead{"Lead", 80, Voice::kLead, 0.72, 0.1, 0.3, {}};
  const std::string melody =
      "e5:4 g5:4 c6:6 b5:2 a5:4 g5:4 d5:8 c5:4 e5:4 a5:6 g5:2 g5:4 e5:4 b4:8 "
      "a4:2 c5:2 f5:4 e5:2 f5:2 a5:4 g5:4 e5:4 c5:8 d5:2 e5:2 f5:4 a5:4 f5:4 g5:6 f5:2 e5:4 d5:4 "
      "e5:4 g5:4 c6:6 d6:2 b5:4 g5:4 d6:8 c6:4 b5:2 a5:2 e5:4 a5:4 g5:8 r:4 b4:4 "
      "c5:4 f5:4 a5:4 c6:4 b5:4 a5:4 g5:4 d5:4 f5:4 e5:2 d5:2 a5:4 f5:4 g5:4 b5:4 d6:4 b5:2 g5:2";
  AddPhrase(&lead, 0, melody, 100);
  Part keys{"Keys", 4, Voice::kBell, 0.6, -0.35, 0.25, {}};
  AddChordHits(&keys, chords, "x-----x---x-----", 60, 70);
  Part strings{"Strings", 48, Voice::kPad, 0.38, 0.3, 0.5, {}};
  AddPad(&strings, chords, 55, 60);
  Part bass{"Bass", 33, Voice::kBass, 0.85, 0, 0.05, {}};
  AddBassLine(&bass, chords, "R-R-O-R-R-R-O-F-", 36, 100);
  Part drums{"Drums", 0, Voice::kDrums, 0.85, 0, 0.12, {}};
  AddDrumLine(&drums, 16, kKick, "x-----x-x-------", 110);
  AddDrumLine(&drums, 16, kSnare, "----x-------x---", 96);
  AddDrumLine(&drums, 16, kClosedHat, "x-o-x-o-x-o-x-oo", 70);
  drums.notes.push_back({0, 0.5, kCrash, 90});
  song.parts = {lead, keys, strings, bass, drums};
  return song;
}

// Easy-going, for the menus.
Song Select() {
  Song song{"Select", 108, 16, {}};
  const Progression chords = {"Fmaj7", "Am7", "Bbmaj7", "C", "Fmaj7", "Am7", "Gm7", "C7",
                              "Fmaj7", "Am7", "Bbmaj7", "C", "Dm7",   "Am7", "Gm7", "C7"};
  const std::string melody =
      "a5:6 g5:2 f5:4 c5:4 e5:6 d5:2 c5:4 e5:4 d5:6 c5:2 bb4:4 f5:4 e5:8 g5:4 r:4 "
      "a5:4 c6:4 a5:4 g5:4 e5:4 g5:4 e5:4 c5:4 d5:4 f5:4 bb5:4 a5:4 g5:8 e5:4 c5:4";
  Part vibes{"Vibes", 11, Voice::kBell, 0.85, 0.2, 0.35, {}};
  AddPhrase(&vibes, 0, melody, 110);
  Part flute{"Flute", 73, Voice::kSoftLead, 0.8, 0.25, 0.35, {}};
  AddPhrase(&flute, 32, melody, 104);
  Part piano{"E.Piano", 4, Voice::kBell, 0.62, -0.3, 0.3, {}};
  AddChordHits(&piano, chords, "x-----x-----x---", 57, 76);
  Part bass{"Bass", 32, Voice::kBass, 0.85, 0, 0.05, {}};
  AddBassLine(&bass, chords, "R-----F---R---O-", 36, 104);
  Part drums{"Drums", 0, Voice::kDrums, 0.72, 0, 0.15, {}};
  AddDrumLine(&drums, 16, kKick, "x-------x-x-----", 90);
  AddDrumLine(&drums, 16, kRim, "----x-------x---", 80);
  AddDrumLine(&drums, 16, kClosedHat, "x-o-x-o-x-o-x-o-", 56);
  song.parts = {vibes, flute, piano, bass, drums};
  return song;
}

// Driving, in A minor: for matches.
Song DriftParade() {
  Song song{"Drift Parade", 150, 32, {}};
  const Progression chords =
      Twice({"Am", "F", "G", "Em", "Am", "F", "G", "E", "F", "G", "Em", "Am", "Dm", "E", "Am", "E"});
  const std::string melody =
      "a4:2 c5:2 e5:2 a5:4 g5:2 e5:2 c5:2 f5:2 e5:2 c5:2 a4:4 c5:2 f5:4 g5:4 d5:2 b4:2 d5:4 g5:4 e5:6 d5:2 b4:4 g4:4 "
      "a4:2 c5:2 e5:2 a5:4 b5:2 c6:4 a5:4 f5:2 c5:2 f5:4 a5:4 b5:4 g5:2 d5:2 g5:4 b5:4 g#5:8 e5:4 b4:4 "
      "c6:4 a5:4 f5:4 a5:4 b5:4 g5:4 d5:4 g5:4 e5:2 g5:2 b5:4 a5:2 g5:2 e5:4 a5:8 e5:4 c5:4 "
      "d5:2 f5:2 a5:4 d6:4 a5:4 g#5:4 b5:4 e6:4 d6:4 c6:4 b5:2 a5:2 e5:4 c5:4 b4:4 e5:4 g#5:4 b5:4";
  Part lead{"Lead", 80, Voice::kLead, 0.7, 0.1, 0.25, {}};
  AddPhrase(&lead, 0, melody, 100);
  Part brass{"Brass", 61, Voice::kSoftLead, 0.68, -0.15, 0.3, {}};
  AddPhrase(&brass, 64, melody, 96);
  Part guitar{"Guitar", 29, Voice::kPluck, 0.45, -0.4, 0.15, {}};
  AddChordHits(&guitar, chords, "x--x--x---x--x--", 52, 84);
  Part arp{"Arp", 81, Voice::kArp, 0.35, 0.45, 0.3, {}};
  AddArpeggio(&arp, Progression(chords.begin() + 16, chords.end()), "0123", 0.25, 64, 80);
  for (Note& n : arp.notes) n.start += 64;
  Part bass{"Bass", 38, Voice::kBass, 0.85, 0, 0.04, {}};
  AddBassLine(&bass, chords, "R-RO-RR-R-RO-RFR", 33, 100);
  Part drums{"Drums", 0, Voice::kDrums, 0.85, 0, 0.1, {}};
  AddDrumLine(&drums, 32, kKick, "x---x---x---x---", 115);
  AddDrumLine(&drums, 32, kSnare, "----x-------x--o", 100);
  AddDrumLine(&drums, 32, kClosedHat, "-ox-xox-xox-xoxx", 68);
  drums.notes.push_back({0, 0.5, kCrash, 96});
  drums.notes.push_back({64, 0.5, kCrash, 96});
  song.parts = {lead, brass, guitar, arp, bass, drums};
  return song;
}

// Sparkling, in D major: piano over plucked strings.
Song CrystalSteps() {
  Song song{"Crystal Steps", 136, 32, {}};
  const Progression chords =
      Twice({"D", "A/C#", "Bm", "G", "D", "A", "G", "A", "Bm", "F#m", "G", "D", "Em", "A", "D", "A"});
  const std::string melody =
      "f#5:4 a5:4 d6:4 a5:4 e5:4 a5:4 c#6:4 a5:4 d5:2 f#5:2 b5:4 a5:4 f#5:4 g5:6 f#5:2 e5:4 d5:4 "
      "f#5:4 a5:4 d6:6 c#6:2 b5:4 a5:4 e5:8 d5:2 e5:2 g5:4 b5:4 d6:4 c#6:8 a5:4 e5:4 "
      "d6:4 c#6:4 b5:4 f#5:4 a5:4 f#5:4 c#5:8 b4:2 d5:2 g5:4 f#5:4 g5:4 a5:8 f#5:4 d5:4 "
      "e5:4 g5:4 b5:4 e6:4 c#6:4 b5:4 a5:4 g5:4 f#5:4 a5:4 d6:4 f#6:4 e6:6 d6:2 c#6:4 a5:4";
  Part piano{"Piano", 0, Voice::kBell, 1.0, 0.1, 0.3, {}};
  AddPhrase(&piano, 0, melody, 112);
  Part lead{"Lead", 80, Voice::kLead, 0.72, -0.1, 0.3, {}};
  AddPhrase(&lead, 64, melody, 100);
  Part pizzicato{"Pizzicato", 45, Voice::kPluck, 0.78, -0.4, 0.25, {}};
  AddArpeggio(&pizzicato, chords, "0122", 0.5, 55, 90);
  Part strings{"Strings", 49, Voice::kPad, 0.4, 0.35, 0.5, {}};
  AddPad(&strings, chords, 57, 62);
  Part bass{"Bass", 34, Voice::kBass, 1.0, 0, 0.04, {}};
  AddBassLine(&bass, chords, "R---R-O-R---R-F-", 38, 108);
  Part drums{"Drums", 0, Voice::kDrums, 0.95, 0, 0.12, {}};
  AddDrumLine(&drums, 32, kKick, "x-----x-x-------", 112);
  AddDrumLine(&drums, 32, kSnare, "----x-------x---", 92);
  AddDrumLine(&drums, 32, kRide, "x-o-x-o-x-o-x-o-", 66);
  drums.notes.push_back({0, 0.5, kCrash, 90});
  drums.notes.push_back({64, 0.5, kCrash, 90});
  song.parts = {piano, lead, pizzicato, strings, bass, drums};
  return song;
}

// Light and airy, with plucked strings and bells (rendered).
Song SkyGarden() {
  Song song{"Sky Garden", 124, 32, {}};
  const Progression chords =
      Twice({"G", "D/F#", "Em", "C", "G", "D", "C", "D", "Em", "C", "G", "D", "C", "G/B", "Am7", "D"});
  const std::string melody =
      "b4:4 d5:4 g5:6 f#5:2 e5:4 d5:4 a4:8 g4:4 b4:4 e5:6 d5:2 c5:4 e5:4 g5:8 "
      "b5:4 a5:2 g5:2 d5:4 g5:4 f#5:4 e5:4 d5:8 e5:4 g5:4 c6:4 b5:4 a5:8 f#5:8 "
      "g5:4 e5:4 b4:4 e5:4 e5:4 c5:4 g5:4 e5:4 d5:4 g5:4 b5:4 d6:4 a5:8 f#5:4 d5:4 "
      "e5:4 c6:4 b5:4 a5:4 g5:4 d5:4 b4:4 d5:4 c5:4 e5:4 a5:4 g5:4 f#5:4 a5:4 d6:8";
  Part bells{"Bells", 14, Voice::kBell, 0.55, 0.2, 0.45, {}};
  AddPhrase(&bells, 0, melody, 100);
  Part lead{"Flute", 73, Voice::kSoftLead, 0.55, 0.15, 0.4, {}};
  AddPhrase(&lead, 64, melody, 96);
  Part harp{"Harp", 46, Voice::kPluck, 0.5, -0.35, 0.35, {}};
  AddArpeggio(&harp, chords, "01231234", 0.5, 55, 84);
  Part pad{"Pad", 89, Voice::kPad, 0.32, 0, 0.5, {}};
  AddPad(&pad, chords, 52, 64);
  Part bass{"Bass", 33, Voice::kBass, 0.7, 0, 0.05, {}};
  AddBassLine(&bass, chords, "R-----R-F-----O-", 36, 92);
  Part drums{"Drums", 0, Voice::kDrums, 0.6, 0, 0.12, {}};
  AddDrumLine(&drums, 32, kKick, "x-------x-x-----", 100);
  AddDrumLine(&drums, 32, kClap, "----x-------x---", 80);
  AddDrumLine(&drums, 32, kClosedHat, "o-x-o-x-o-x-o-xo", 62);
  song.parts = {bells, lead, harp, pad, bass, drums};
  return song;
}

// Night drive: synths over a steady beat (rendered).
Song NeonVoxel() {
  Song song{"Neon Voxel", 140, 32, {}};
  const Progression chords =
      Twice({"Em", "C", "G", "D", "Em", "C", "G", "B7", "C", "D", "Em", "Em", "C", "D", "B7", "B7"});
  const std::string melody =
      "e5:4 g5:2 b5:6 a5:2 g5:2 c6:4 b5:4 g5:4 e5:4 d5:4 g5:4 b5:4 d6:4 f#5:8 a5:8 "
      "e5:4 g5:2 b5:6 a5:2 g5:2 c6:4 e6:4 d6:4 b5:4 g5:4 b5:4 d6:4 g6:4 f#6:8 d#6:8 "
      "e6:6 d6:2 c6:4 g5:4 a5:4 f#5:4 d5:4 a5:4 b5:8 g5:4 e5:4 b5:16 "
      "c6:4 b5:4 a5:4 e5:4 d6:4 c6:4 a5:4 f#5:4 d#5:4 f#5:4 b5:4 d#6:4 f#6:8 d#6:8";
  Part lead{"Lead", 81, Voice::kLead, 0.5, 0.05, 0.3, {}};
  AddPhrase(&lead, 64, melody, 100);
  Part bells{"Bells", 11, Voice::kBell, 0.4, 0.3, 0.4, {}};
  AddPhrase(&bells, 0, melody, 84);
  Part arp{"Arp", 81, Voice::kArp, 0.42, -0.3, 0.3, {}};
  AddArpeggio(&arp, chords, "01210121", 0.25, 59, 92);
  Part pad{"Pad", 90, Voice::kPad, 0.36, 0, 0.5, {}};
  AddPad(&pad, chords, 52, 70);
  Part bass{"Bass", 38, Voice::kBass, 0.72, 0, 0.03, {}};
  AddBassLine(&bass, chords, "R-RRR-RRR-RRR-OR", 28, 100);
  Part drums{"Drums", 0, Voice::kDrums, 0.72, 0, 0.1, {}};
  AddDrumLine(&drums, 32, kKick, "x---x---x---x---", 118);
  AddDrumLine(&drums, 32, kClap, "----x-------x---", 96);
  AddDrumLine(&drums, 32, kClosedHat, "o-x-o-x-o-x-o-x-", 66);
  AddDrumLine(&drums, 32, kOpenHat, "--------------x-", 60);
  drums.notes.push_back({0, 0.5, kCrash, 96});
  song.parts = {lead, bells, arp, pad, bass, drums};
  return song;
}

bool WriteRendered(const std::string& path, const Song& song) { return WriteOggVorbis(path, RenderSong(song), 0.35f); }

}  // namespace

// The match tracks' file names are what the settings screens show: short
// words a player reads at a glance, narrow enough for the screens' columns.
const AssetTask kSoundTasks[] = {
    {"effects", WriteSoundEffects},
    {"title music", [](const std::string& run) { return WriteMidi(run + "/sounds/title.mid", Title()); }},
    {"menu music", [](const std::string& run) { return WriteMidi(run + "/sounds/select.mid", Select()); }},
    {"drift parade",
     [](const std::string& run) { return WriteMidi(run + "/musics/" + Utf8(u8"行進.mid"), DriftParade()); }},
    {"crystal steps",
     [](const std::string& run) { return WriteMidi(run + "/musics/" + Utf8(u8"水晶.mid"), CrystalSteps()); }},
    {"sky garden",
     [](const std::string& run) { return WriteRendered(run + "/musics/" + Utf8(u8"庭園.ogg"), SkyGarden()); }},
    {"neon voxel",
     [](const std::string& run) { return WriteRendered(run + "/musics/" + Utf8(u8"電飾.ogg"), NeonVoxel()); }},
};
const size_t kSoundTaskCount = sizeof kSoundTasks / sizeof kSoundTasks[0];
