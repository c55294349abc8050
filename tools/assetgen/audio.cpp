#include "tools/assetgen/audio.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/assetgen/ogg_vorbis.h"

double Peak(const Sound& sound) {
  double peak = 0;
  for (float s : sound.samples) peak = std::max(peak, (double)std::fabs(s));
  return peak;
}

void Normalise(Sound* sound, double peak) {
  const double now = Peak(*sound);
  if (now <= 0) return;
  const float scale = (float)(peak / now);
  for (float& s : sound->samples) s *= scale;
}

namespace {

void PutLe(std::vector<uint8_t>* out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back((uint8_t)(value >> (8 * i)));
}

}  // namespace

bool WriteAll(const std::string& path, const void* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    return false;
  }
  const bool ok = std::fwrite(data, 1, size, f) == size;
  if (std::fclose(f) != 0 || !ok) {
    std::fprintf(stderr, "assetgen: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

bool WriteWave(const std::string& path, const Sound& sound) {
  const uint32_t data_bytes = (uint32_t)(sound.samples.size() * 2);
  std::vector<uint8_t> out;
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  PutLe(&out, 36 + data_bytes, 4);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  PutLe(&out, 16, 4);
  PutLe(&out, 1, 2);  // PCM
  PutLe(&out, (uint32_t)sound.channels, 2);
  PutLe(&out, kSampleRate, 4);
  PutLe(&out, (uint32_t)(kSampleRate * sound.channels * 2), 4);
  PutLe(&out, (uint32_t)(sound.channels * 2), 2);
  PutLe(&out, 16, 2);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  PutLe(&out, data_bytes, 4);
  Noise dither(99);
  for (float s : sound.samples) {
    const double v = s * 32767.0 + (dither.Next() + dither.Next()) * 0.5;
    PutLe(&out, (uint32_t)(int16_t)std::clamp((int)std::lround(v), -32768, 32767), 2);
  }
  return WriteAll(path, out.data(), out.size());
}

bool WriteOggVorbis(const std::string& path, const Sound& sound, float quality) {
  const std::string title = path.substr(path.find_last_of('/') + 1);
  VorbisSettings settings;
  settings.channels = sound.channels;
  settings.rate = kSampleRate;
  settings.quality = quality;
  settings.title = title.c_str();
  VorbisPages pages;
  if (!EncodeVorbisPages(sound.samples.data(), sound.frames(), settings, &pages)) {
    std::fprintf(stderr, "assetgen: the Vorbis encoder refuses %s\n", path.c_str());
    return false;
  }
  const std::vector<uint8_t> file = pages.File();
  return WriteAll(path, file.data(), file.size());
}

double NoteFrequency(double midi_note) { return 440.0 * std::pow(2.0, (midi_note - 69) / 12.0); }

namespace {

// The correction that takes the step out of a jump at phase 0.
double PolyBlep(double t, double dt) {
  if (t < dt) {
    t /= dt;
    return t + t - t * t - 1;
  }
  if (t > 1 - dt) {
    t = (t - 1) / dt;
    return t * t + t + t + 1;
  }
  return 0;
}

}  // namespace

float Oscillator::Next(double frequency) {
  const double dt = std::min(0.49, frequency / kSampleRate);
  const double t = phase_;
  double v = 0;
  switch (shape_) {
    case Shape::kSine:
      v = std::sin(2 * M_PI * t);
      break;
    case Shape::kTriangle:
      v = 1 - 4 * std::fabs(t - 0.5);
      break;
    case Shape::kSaw:
      v = 2 * t - 1 - PolyBlep(t, dt);
      break;
    case Shape::kSquare:
      v = (t < 0.5 ? 1 : -1) + PolyBlep(t, dt) - PolyBlep(std::fmod(t + 0.5, 1.0), dt);
      break;
    case Shape::kPulse25:
      v = (t < 0.25 ? 1 : -1) + PolyBlep(t, dt) - PolyBlep(std::fmod(t + 0.75, 1.0), dt) - 0.5;
      break;
  }
  phase_ += dt;
  if (phase_ >= 1) phase_ -= 1;
  return (float)v;
}

float Filter::Next(float in, double cutoff) {
  const double k = 1 / q_;
  if (count_++ % 16 == 0) {
    const double g = std::tan(M_PI * std::clamp(cutoff, 10.0, kSampleRate * 0.45) / kSampleRate);
    a1_ = 1 / (1 + g * (g + k));
    a2_ = g * a1_;
    a3_ = g * a2_;
  }
  const double v3 = in - ic2_;
  const double v1 = a1_ * ic1_ + a2_ * v3;
  const double v2 = ic2_ + a2_ * ic1_ + a3_ * v3;
  ic1_ = 2 * v1 - ic1_;
  ic2_ = 2 * v2 - ic2_;
  switch (kind_) {
    case Kind::kLow:
      return (float)v2;
    case Kind::kBand:
      return (float)v1;
    case Kind::kHigh:
      return (float)(in - k * v1 - v2);
  }
  return 0;
}

double Envelope::At(double t, double gate) const {
  auto held = [&](double u) {
    if (u < attack) return u / attack;
    return sustain + (1 - sustain) * std::exp(-(u - attack) / std::max(decay, 1e-4));
  };
  if (t < 0) return 0;
  if (t < gate) return held(t);
  return held(gate) * std::exp(-(t - gate) / std::max(release, 1e-4));
}

Pluck::Pluck(double frequency, double brightness, uint32_t seed) {
  const size_t length = std::max<size_t>(2, (size_t)std::lround(kSampleRate / frequency));
  line_.resize(length);
  Noise noise(seed);
  Filter soften(Filter::Kind::kLow);
  for (float& s : line_) s = soften.Next(noise.Next(), 500 + brightness * 12000);
  damping_ = 0.4985f + 0.0013f * (float)std::min(1.0, 200.0 / frequency);
}

float Pluck::Next() {
  const float out = line_[at_];
  const size_t next = (at_ + 1) % line_.size();
  line_[at_] = damping_ * (out + line_[next]);
  last_ = out;
  at_ = next;
  return out;
}

Room::Room(double size, double damping) {
  static const int kCombs[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
  static const int kPasses[4] = {556, 441, 341, 225};
  for (int c = 0; c < 2; ++c) {
    for (int n : kCombs) combs_[c].push_back({std::vector<float>(n + 23 * c), 0, 0});
    for (int n : kPasses) passes_[c].push_back({std::vector<float>(n + 23 * c), 0});
  }
  feedback_ = (float)(0.7 + 0.28 * size);
  damping_ = (float)damping;
}

void Room::Process(float in, float* left, float* right) {
  float* outs[2] = {left, right};
  for (int c = 0; c < 2; ++c) {
    float sum = 0;
    for (Comb& comb : combs_[c]) {
      const float y = comb.line[comb.at];
      comb.store = y * (1 - damping_) + comb.store * damping_;
      comb.line[comb.at] = in * 0.015f + comb.store * feedback_;
      comb.at = (comb.at + 1) % comb.line.size();
      sum += y;
    }
    for (AllPass& pass : passes_[c]) {
      const float buffered = pass.line[pass.at];
      pass.line[pass.at] = sum + buffered * 0.5f;
      pass.at = (pass.at + 1) % pass.line.size();
      sum = buffered - sum;
    }
    *outs[c] = sum;
  }
}
