// Sound for the game: sample buffers, the building blocks the effects and
// the synthesised music are made of (oscillators, envelopes, filters, a
// plucked string, noise, a room), and the writers for 16-bit PCM WAVE and
// Ogg Vorbis files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int kSampleRate = 44100;

// Interleaved samples, full scale +-1.
struct Sound {
  Sound() = default;
  Sound(int channel_count, double seconds)
      : channels(channel_count), samples((size_t)(seconds * kSampleRate) * channel_count, 0.0f) {}
  size_t frames() const { return channels ? samples.size() / channels : 0; }
  int channels = 1;
  std::vector<float> samples;
};

double Peak(const Sound& sound);
// Scales the sound so that its peak is `peak` (full scale 1).
void Normalise(Sound* sound, double peak);

// The bytes as the whole file at `path`; false, said on stderr, when they
// cannot all be written.
bool WriteAll(const std::string& path, const void* data, size_t size);
// 16 bits, the sound's own channels, 44100 Hz; dithered.
bool WriteWave(const std::string& path, const Sound& sound);
// Vorbis at `quality` (-0.1..1); the stream holds exactly the sound's frames,
// so a sound made to loop still loops without a gap.
bool WriteOggVorbis(const std::string& path, const Sound& sound, float quality);

double NoteFrequency(double midi_note);

// White noise, repeatable.
class Noise {
 public:
  explicit Noise(uint32_t seed) : state_(seed * 2654435761u + 1) {}
  float Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return (float)((int32_t)state_ / 2147483648.0);
  }

 private:
  uint32_t state_;
};

// Band-limited oscillators with a running phase (cycles).
class Oscillator {
 public:
  enum class Shape { kSine, kTriangle, kSaw, kSquare, kPulse25 };
  explicit Oscillator(Shape shape, double phase = 0) : shape_(shape), phase_(phase) {}
  float Next(double frequency);

 private:
  Shape shape_;
  double phase_;
};

// A state-variable filter (trapezoidal), stable under fast cutoff changes.
// The cutoff is taken every 16 samples (a control rate well above hearing's
// sense of a sweep).
class Filter {
 public:
  enum class Kind { kLow, kBand, kHigh };
  explicit Filter(Kind kind, double q = 0.707) : kind_(kind), q_(q) {}
  float Next(float in, double cutoff);

 private:
  Kind kind_;
  double q_;
  double ic1_ = 0, ic2_ = 0;
  double a1_ = 0, a2_ = 0, a3_ = 0;
  unsigned count_ = 0;
};

// Attack, decay to a sustain level, release after `gate` seconds; linear
// attack, exponential decay and release.
struct Envelope {
  double attack = 0.005, decay = 0.1, sustain = 0.7, release = 0.1;
  double At(double t, double gate) const;
  double Length(double gate) const { return gate + release * 6; }
};

// A plucked string (Karplus-Strong): bright at the start, dying away.
class Pluck {
 public:
  Pluck(double frequency, double brightness, uint32_t seed);
  float Next();

 private:
  std::vector<float> line_;
  size_t at_ = 0;
  float last_ = 0;
  float damping_;
};

// A small stereo room: combs and all-passes after a pre-delay. Feed it once
// per frame.
class Room {
 public:
  Room(double size, double damping);
  void Process(float in, float* left, float* right);

 private:
  struct Comb {
    std::vector<float> line;
    size_t at = 0;
    float store = 0;
  };
  struct AllPass {
    std::vector<float> line;
    size_t at = 0;
  };
  std::vector<Comb> combs_[2];
  std::vector<AllPass> passes_[2];
  float feedback_, damping_;
};
