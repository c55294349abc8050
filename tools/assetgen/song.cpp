#include "tools/assetgen/song.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "base/sound_levels.h"

namespace {

// The music's level beside the effects (base/sound_levels.h), in either form.
// Rendered, the loop is scaled to peak a little under kMusicPeak: the Vorbis
// encoder's rounding lifts a peak by a few percent. As MIDI, every part's
// channel volume is scaled by kMidiVolume (-7.5 dB: the MIDI library's
// synthesiser takes a channel volume v as 40 log10(v / 127) dB), at which the
// loudest of the tunes peaks near 0.3 of full scale, under kMusicPeak with
// room for the synthesiser's chorus and reverb, which do not sound alike
// from one playing to the next; the rendered tracks come out a dB or two
// louder.
constexpr double kRenderedPeak = kMusicPeak * 0.95;
constexpr double kMidiVolume = 0.65;

int PitchClass(const std::string& text, size_t* at) {
  static const int kLetters[7] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
  int pc = kLetters[text[*at] - 'a'];
  ++*at;
  if (*at < text.size() && text[*at] == '#') {
    ++pc;
    ++*at;
  } else if (*at + 1 < text.size() && text[*at] == 'b' &&
             (std::isdigit((unsigned char)text[*at + 1]) || text[*at + 1] == '-')) {
    --pc;
    ++*at;
  } else if (*at < text.size() && text[*at] == 'b' && *at + 1 == text.size()) {
    --pc;  // a chord root such as "Bb"
    ++*at;
  }
  return (pc + 12) % 12;
}

// The lowest pitch of class `pc` at or above `low`.
int AtOrAbove(int pc, int low) { return low + ((pc - low) % 12 + 12) % 12; }

}  // namespace

double AddPhrase(Part* part, double start_beat, const std::string& text, int velocity, double legato) {
  std::istringstream in(text);
  std::string token;
  double beat = start_beat, length = 1;
  while (in >> token) {
    const size_t colon = token.find(':');
    if (colon != std::string::npos) length = std::stod(token.substr(colon + 1)) / 4.0;
    const std::string notes = token.substr(0, colon);
    if (notes != "r") {
      size_t at = 0;
      while (at < notes.size()) {
        const int pc = PitchClass(notes, &at);
        size_t end = notes.find('+', at);
        if (end == std::string::npos) end = notes.size();
        const int octave = std::stoi(notes.substr(at, end - at));
        part->notes.push_back({beat, length * legato, 12 * (octave + 1) + pc, velocity});
        at = end + (end < notes.size());
      }
    }
    beat += length;
  }
  return beat;
}

std::vector<int> ChordTones(const std::string& name, int low) {
  std::string text = name.substr(0, name.find('/'));
  std::transform(text.begin(), text.begin() + 1, text.begin(), ::tolower);
  size_t at = 0;
  const int root = PitchClass(text, &at);
  const std::string quality = text.substr(at);
  std::vector<int> intervals = {0, 4, 7};
  if (quality == "m")
    intervals = {0, 3, 7};
  else if (quality == "7")
    intervals = {0, 4, 7, 10};
  else if (quality == "maj7")
    intervals = {0, 4, 7, 11};
  else if (quality == "m7")
    intervals = {0, 3, 7, 10};
  else if (quality == "sus4")
    intervals = {0, 5, 7};
  else if (quality == "dim")
    intervals = {0, 3, 6};
  else if (quality == "add9")
    intervals = {0, 2, 4, 7};
  std::vector<int> tones;
  for (int i : intervals) tones.push_back(AtOrAbove((root + i) % 12, low));
  std::sort(tones.begin(), tones.end());
  return tones;
}

int ChordBass(const std::string& name, int low) {
  const size_t slash = name.find('/');
  std::string text = slash == std::string::npos ? name : name.substr(slash + 1);
  text[0] = (char)std::tolower((unsigned char)text[0]);
  size_t at = 0;
  return AtOrAbove(PitchClass(text, &at), low);
}

void ForEachChord(const Progression& chords,
                  const std::function<void(const std::string& chord, double start, double length)>& each) {
  for (size_t bar = 0; bar < chords.size(); ++bar) {
    std::istringstream in(chords[bar]);
    std::vector<std::string> names;
    for (std::string name; in >> name;) names.push_back(name);
    const double length = 4.0 / names.size();
    for (size_t i = 0; i < names.size(); ++i) each(names[i], bar * 4.0 + i * length, length);
  }
}

void AddDrumLine(Part* part, int bars, int drum, const std::string& steps, int velocity) {
  const double step = 4.0 / steps.size();  // the line covers one bar
  for (int bar = 0; bar < bars; ++bar)
    for (size_t i = 0; i < steps.size(); ++i)
      if (steps[i] == 'x' || steps[i] == 'o')
        part->notes.push_back({bar * 4.0 + i * step, 0.1, drum, steps[i] == 'x' ? velocity : velocity * 3 / 5});
}

// ---- Standard MIDI File ----

namespace {

constexpr int kTicksPerBeat = 480;

struct Event {
  uint32_t tick;
  int order;  // at one tick: note-offs before note-ons
  std::vector<uint8_t> bytes;
};

void PutVarLen(std::vector<uint8_t>* out, uint32_t value) {
  uint8_t bytes[5];
  int n = 0;
  do {
    bytes[n++] = value & 0x7F;
    value >>= 7;
  } while (value);
  while (n--) out->push_back((uint8_t)(bytes[n] | (n ? 0x80 : 0)));
}

void PutBe(std::vector<uint8_t>* out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out->push_back((uint8_t)(value >> (8 * i)));
}

std::vector<uint8_t> Meta(uint8_t type, const std::string& data) {
  std::vector<uint8_t> b = {0xFF, type};
  PutVarLen(&b, (uint32_t)data.size());
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

void PutTrack(std::vector<uint8_t>* file, std::vector<Event> events, uint32_t end_tick) {
  std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
  });
  std::vector<uint8_t> track;
  uint32_t now = 0;
  for (const Event& e : events) {
    PutVarLen(&track, e.tick - now);
    now = e.tick;
    track.insert(track.end(), e.bytes.begin(), e.bytes.end());
  }
  // The loop's length: the track ends exactly at the end of the last bar.
  PutVarLen(&track, end_tick - now);
  track.insert(track.end(), {0xFF, 0x2F, 0x00});
  file->insert(file->end(), {'M', 'T', 'r', 'k'});
  PutBe(file, (uint32_t)track.size(), 4);
  file->insert(file->end(), track.begin(), track.end());
}

}  // namespace

bool WriteMidi(const std::string& path, const Song& song) {
  const uint32_t end_tick = (uint32_t)std::lround(song.beats() * kTicksPerBeat);
  std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
  PutBe(&file, (uint32_t)song.parts.size() + 1, 2);
  PutBe(&file, kTicksPerBeat, 2);
  const uint32_t tempo = (uint32_t)std::lround(60000000.0 / song.tempo);
  std::vector<Event> conductor = {
      {0, 0, Meta(0x03, song.name)},
      {0, 0, {0xFF, 0x58, 0x04, 4, 2, 24, 8}},
      {0, 0, {0xFF, 0x51, 0x03, (uint8_t)(tempo >> 16), (uint8_t)(tempo >> 8), (uint8_t)tempo}}};
  PutTrack(&file, conductor, end_tick);
  int next_channel = 0;
  for (const Part& part : song.parts) {
    const bool drums = part.voice == Voice::kDrums;
    if (!drums && next_channel == 9) ++next_channel;  // the drum channel
    const uint8_t ch = drums ? 9 : (uint8_t)next_channel++;
    std::vector<Event> events = {{0, 0, Meta(0x03, part.name)}};
    if (!drums) events.push_back({0, 0, {(uint8_t)(0xC0 | ch), (uint8_t)part.program}});
    auto cc = [&](uint8_t number, double value) {
      events.push_back(
          {0, 0, {(uint8_t)(0xB0 | ch), number, (uint8_t)std::clamp((int)std::lround(value * 127), 0, 127)}});
    };
    cc(7, part.volume * kMidiVolume);
    cc(10, (part.pan + 1) / 2);
    cc(91, part.reverb);
    cc(93, 0);
    for (const Note& n : part.notes) {
      const uint32_t on = (uint32_t)std::lround(n.start * kTicksPerBeat);
      const uint32_t off =
          std::min(end_tick - 1, std::max(on + 1, (uint32_t)std::lround((n.start + n.length) * kTicksPerBeat)));
      if (on >= end_tick) continue;
      events.push_back({on, 2, {(uint8_t)(0x90 | ch), (uint8_t)n.pitch, (uint8_t)std::clamp(n.velocity, 1, 127)}});
      events.push_back({off, 1, {(uint8_t)(0x80 | ch), (uint8_t)n.pitch, 64}});
    }
    PutTrack(&file, events, end_tick);
  }
  return WriteAll(path, file.data(), file.size());
}

// ---- the synthesiser ----

namespace {

// One drum hit.
std::vector<float> RenderDrum(int drum, double level, uint32_t seed) {
  Noise noise(seed);
  const double seconds = drum == kCrash ? 1.6 : drum == kOpenHat || drum == kRide ? 0.5 : 0.35;
  std::vector<float> out((size_t)(seconds * kSampleRate));
  Filter a(Filter::Kind::kHigh), b(Filter::Kind::kBand, 1.5), c(Filter::Kind::kLow);
  double phase = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    const double t = (double)i / kSampleRate;
    const float n = noise.Next();
    double v = 0;
    switch (drum) {
      case kKick: {
        const double f = 48 + 110 * std::exp(-t / 0.035);
        phase += f / kSampleRate;
        v = std::sin(2 * M_PI * phase) * std::exp(-t / 0.2) * 1.1 + c.Next(n, 3000) * std::exp(-t / 0.004) * 0.5;
        break;
      }
      case kSnare:
      case kClap:
      case kRim: {
        if (drum == kClap) {
          double bursts = 0;
          for (double h : {0.0, 0.011, 0.022}) bursts += t >= h ? std::exp(-(t - h) / 0.008) : 0;
          v = b.Next(n, 1300) * (bursts + std::exp(-t / 0.09)) * 1.3;
        } else {
          phase += 190 / (double)kSampleRate;
          const double tone = std::sin(2 * M_PI * phase) * std::exp(-t / (drum == kRim ? 0.02 : 0.06));
          v = (drum == kRim ? 0.4 : 0.9) * b.Next(n, 2200) * std::exp(-t / (drum == kRim ? 0.015 : 0.11)) * 1.6 +
              tone * 0.6;
        }
        break;
      }
      case kOpenHat:
      case kRide:
        v = a.Next(n, 7500) * std::exp(-t / 0.16) * 0.6;
        break;
      case kCrash:
        v = a.Next(n, 5000) * std::exp(-t / 0.5) * 0.55;
        break;
      default:
        v = a.Next(n, 8000) * std::exp(-t / 0.03) * 0.55;
        break;  // closed hat
    }
    out[i] = (float)(v * level * std::min(1.0, t / 0.0007));
  }
  return out;
}

double Vibrato(double t) {
  return 1 + 0.004 * std::sin(2 * M_PI * 5.5 * t) * std::min(1.0, std::max(0.0, (t - 0.18) / 0.2));
}

std::vector<float> RenderNote(Voice voice, const Note& note, double gate, uint32_t seed) {
  const double level = note.velocity / 127.0;
  if (voice == Voice::kDrums) return RenderDrum(note.pitch, level, seed);
  const double f = NoteFrequency(note.pitch);
  Envelope env;
  double tail = 0;
  switch (voice) {
    case Voice::kLead:
      env = {0.008, 0.25, 0.7, 0.12};
      break;
    case Voice::kSoftLead:
      env = {0.03, 0.3, 0.65, 0.2};
      break;
    case Voice::kBell:
      env = {0.002, 0.6, 0.25, 0.35};
      break;
    case Voice::kPluck:
      env = {0.001, 10, 1.0, 0.12};
      tail = 0.1;
      break;
    case Voice::kPad:
      env = {0.25, 0.6, 0.8, 0.45};
      break;
    case Voice::kBass:
      env = {0.004, 0.2, 0.6, 0.05};
      break;
    case Voice::kArp:
      env = {0.002, 0.12, 0.15, 0.06};
      break;
    case Voice::kDrums:
      break;
  }
  std::vector<float> out((size_t)((env.Length(gate) + tail) * kSampleRate));
  Oscillator o1(Oscillator::Shape::kSaw, 0.1), o2(Oscillator::Shape::kSaw, 0.6), o3(Oscillator::Shape::kSquare, 0.3);
  Oscillator sine(Oscillator::Shape::kSine), tri(Oscillator::Shape::kTriangle), pulse(Oscillator::Shape::kPulse25);
  Filter low(Filter::Kind::kLow, voice == Voice::kBass ? 1.3 : 0.9);
  Pluck pluck(f, 0.55 + 0.4 * level, seed);
  const double detune = std::pow(2.0, 7 / 1200.0);
  for (size_t i = 0; i < out.size(); ++i) {
    const double t = (double)i / kSampleRate;
    const double e = env.At(t, gate);
    double v = 0;
    switch (voice) {
      case Voice::kLead: {
        const double fv = f * Vibrato(t);
        const double raw = 0.5 * (o1.Next(fv * detune) + o2.Next(fv / detune)) + 0.3 * o3.Next(fv * 0.5);
        v = low.Next((float)raw, 900 + 3200 * std::exp(-t / 0.3) + 600 * e) * 0.55;
        break;
      }
      case Voice::kSoftLead: {
        const double fv = f * Vibrato(t);
        v = 0.6 * tri.Next(fv) + 0.3 * sine.Next(fv * 2) * std::exp(-t / 0.5);
        break;
      }
      case Voice::kBell: {
        const double index = 1.6 * std::exp(-t / 0.25) + 0.2;
        v = std::sin(2 * M_PI * f * t + index * std::sin(2 * M_PI * f * 2 * t)) * 0.6 +
            0.15 * std::sin(2 * M_PI * f * 4.01 * t) * std::exp(-t / 0.08);
        break;
      }
      case Voice::kPluck:
        v = pluck.Next() * 1.4 * (t < gate ? 1.0 : std::exp(-(t - gate) / 0.05));
        break;
      case Voice::kPad: {
        const double raw = (o1.Next(f * detune) + o2.Next(f / detune) + o3.Next(f * 0.5) * 0.4) * 0.4;
        v = low.Next((float)raw, 1500 + 500 * std::sin(2 * M_PI * 0.3 * t)) * 0.6;
        break;
      }
      case Voice::kBass: {
        const double raw = 0.55 * o1.Next(f) + 0.6 * sine.Next(f);
        v = low.Next((float)raw, 160 + 1600 * std::exp(-t / 0.07) * level) * 0.9;
        break;
      }
      case Voice::kArp:
        v = low.Next(pulse.Next(f), 1800 + 3000 * std::exp(-t / 0.05)) * 0.45;
        break;
      case Voice::kDrums:
        break;
    }
    out[i] = (float)(v * e * level * std::min(1.0, t / 0.0015));
  }
  return out;
}

}  // namespace

Sound RenderSong(const Song& song) {
  const double frames_per_beat = 60.0 / song.tempo * kSampleRate;
  const size_t loop = (size_t)std::lround(song.beats() * frames_per_beat);
  // The loop is rendered after the last seconds of the one before it, whose
  // notes ring and echo on into it; that is what its start sounds like when
  // it plays on from its own end.
  const size_t lead_in = std::min(loop, (size_t)(4.0 * kSampleRate));
  std::vector<float> left(lead_in + loop), right(lead_in + loop), send(lead_in + loop);
  for (size_t p = 0; p < song.parts.size(); ++p) {
    const Part& part = song.parts[p];
    const double angle = (part.pan + 1) * M_PI / 4;
    const float gl = (float)(std::cos(angle) * part.volume), gr = (float)(std::sin(angle) * part.volume);
    for (size_t n = 0; n < part.notes.size(); ++n) {
      const Note& note = part.notes[n];
      const std::vector<float> sound =
          RenderNote(part.voice, note, note.length * 60.0 / song.tempo, (uint32_t)(p * 7919 + n * 104729 + 1));
      for (int copy = 0; copy < 2; ++copy) {
        const long start =
            (long)std::lround(note.start * frames_per_beat) + (copy ? (long)lead_in : (long)lead_in - (long)loop);
        for (size_t i = 0; i < sound.size(); ++i) {
          const long at = start + (long)i;
          if (at < 0) continue;
          if (at >= (long)left.size()) break;
          left[at] += sound[i] * gl;
          right[at] += sound[i] * gr;
          send[at] += sound[i] * (float)(part.reverb * part.volume);
        }
      }
    }
  }
  Room room(0.62, 0.4);
  Sound out(2, 0);
  out.samples.resize(loop * 2);
  for (size_t i = 0; i < left.size(); ++i) {
    float wl, wr;
    room.Process(send[i], &wl, &wr);
    if (i < lead_in) continue;
    out.samples[(i - lead_in) * 2] = left[i] + wl * 0.9f;
    out.samples[(i - lead_in) * 2 + 1] = right[i] + wr * 0.9f;
  }
  Normalise(&out, kRenderedPeak);
  return out;
}
