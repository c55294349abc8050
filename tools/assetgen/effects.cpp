// The game's sound effects, synthesised: each starts at once (a ramp of a
// millisecond or two keeps the start from clicking), is short and ends in
// silence. 44100 Hz mono, 16 bits; "break.wav" is also played faster (up to
// 66150 Hz) for long chains.
//
// The levels below set the effects' loudness to one another. The loudest
// (the garbage's) peaks just under the ceiling of the game's sound mixer
// (base/sound_levels.h), less the reach of the dither, so that no effect
// heard alone is turned down there. What several effects make together, as
// in a busy moment of a battle (a lock that clears and takes garbage on one
// side, the other side's chain link under a pair slid and turned, the break
// of the link before still ringing), the mixer's limiter takes down to its
// ceiling while it lasts.
#include <cmath>
#include <functional>
#include <string>

#include "base/sound_levels.h"
#include "tools/assetgen/audio.h"
#include "tools/assetgen/game_assets.h"

namespace {

constexpr double kLoudestLevel = 0.75;  // the garbage's
// The share of full scale an effect of level 1 peaks at.
constexpr double kMixShare = (kEffectsCeiling - 2.0 / 32768) / kLoudestLevel;

// A mono sound of `seconds`, each sample from `voice` at time t; shaped by a
// short fade in and out, its peak at `level` x kMixShare.
Sound Effect(double seconds, double level, const std::function<double(double t)>& voice) {
  Sound sound(1, seconds);
  const size_t n = sound.frames();
  for (size_t i = 0; i < n; ++i) {
    const double t = (double)i / kSampleRate;
    const double fade_in = std::min(1.0, t / 0.0015), fade_out = std::min(1.0, (seconds - t) / 0.012);
    sound.samples[i] = (float)(voice(t) * fade_in * fade_out);
  }
  Normalise(&sound, level * kMixShare);
  return sound;
}

double Decay(double t, double tau) { return t < 0 ? 0 : std::exp(-t / tau); }

// A sine whose frequency moves from f0 to f1 with time constant `glide`; the
// phase is integrated so the sweep stays smooth.
class Sweep {
 public:
  Sweep(double f0, double f1, double glide) : f0_(f0), f1_(f1), glide_(glide) {}
  double Next(double t, double harmonic2 = 0) {
    const double f = f1_ + (f0_ - f1_) * std::exp(-t / glide_);
    phase_ += f / kSampleRate;
    return std::sin(2 * M_PI * phase_) + harmonic2 * std::sin(4 * M_PI * phase_);
  }

 private:
  double f0_, f1_, glide_, phase_ = 0;
};

// A two-operator FM bell at `frequency`, struck at t0.
class Bell {
 public:
  Bell(double frequency, double t0, double tau, double ratio = 3.5)
      : f_(frequency), t0_(t0), tau_(tau), ratio_(ratio) {}
  double At(double t) const {
    const double u = t - t0_;
    if (u < 0) return 0;
    const double index = 2.2 * std::exp(-u / (tau_ * 0.4));
    return std::sin(2 * M_PI * f_ * u + index * std::sin(2 * M_PI * f_ * ratio_ * u)) * std::exp(-u / tau_) *
           std::min(1.0, u / 0.001);
  }

 private:
  double f_, t0_, tau_, ratio_;
};

Sound Rotate() {
  Sweep blip(1350, 2100, 0.02);
  return Effect(0.085, 0.42, [&](double t) { return blip.Next(t, 0.25) * Decay(t, 0.016); });
}

Sound Slide() {
  Noise noise(3);
  Filter band(Filter::Kind::kBand, 2.5);
  Sweep tick(1100, 800, 0.01);
  return Effect(0.05, 0.34, [&](double t) {
    return band.Next(noise.Next(), 3200) * 2.0 * Decay(t, 0.006) + 0.5 * tick.Next(t) * Decay(t, 0.01);
  });
}

Sound Set() {
  Noise noise(5);
  Filter low(Filter::Kind::kLow);
  Sweep thock(230, 120, 0.03);
  return Effect(0.16, 0.6, [&](double t) {
    return thock.Next(t, 0.2) * Decay(t, 0.045) + low.Next(noise.Next(), 1800) * 1.5 * Decay(t, 0.008);
  });
}

Sound Break() {
  Noise noise(7);
  Filter high(Filter::Kind::kHigh);
  Sweep pop(500, 1300, 0.015);
  const Bell a(NoteFrequency(88), 0.0, 0.12), b(NoteFrequency(95), 0.035, 0.14), c(NoteFrequency(100), 0.07, 0.16);
  return Effect(0.75, 0.7, [&](double t) {
    return 0.7 * pop.Next(t) * Decay(t, 0.03) + 0.45 * (a.At(t) + b.At(t) + 0.8 * c.At(t)) +
           0.5 * high.Next(noise.Next(), 6000) * Decay(t, 0.05);
  });
}

Sound LevelUp() {
  Oscillator voices[4] = {Oscillator(Oscillator::Shape::kPulse25), Oscillator(Oscillator::Shape::kPulse25),
                          Oscillator(Oscillator::Shape::kPulse25), Oscillator(Oscillator::Shape::kPulse25)};
  const int notes[4] = {72, 76, 79, 84};
  Filter soften(Filter::Kind::kLow);
  const Bell shine(NoteFrequency(96), 0.18, 0.25, 2.0);
  return Effect(1.2, 0.62, [&](double t) {
    double v = 0;
    for (int k = 0; k < 4; ++k) {
      const double u = t - 0.06 * k;
      const double level = u < 0 ? 0 : (k == 3 ? Decay(u, 0.2) : Decay(u, 0.05));
      v += voices[k].Next(NoteFrequency(notes[k])) * level * (k == 0 ? 1.25 : 1.0);
    }
    return soften.Next((float)(0.5 * v), 5000) + 0.2 * shine.At(t);
  });
}

Sound Pause() {
  const Bell low(NoteFrequency(79), 0.0, 0.12, 1.0), high(NoteFrequency(86), 0.07, 0.2, 1.0);
  return Effect(0.9, 0.55, [&](double t) { return low.At(t) + high.At(t); });
}

Sound Buzzer() {
  Oscillator a(Oscillator::Shape::kSaw), b(Oscillator::Shape::kSaw, 0.3);
  Filter low(Filter::Kind::kLow, 1.2);
  return Effect(0.3, 0.55, [&](double t) {
    const double gate = (t < 0.11 || (t > 0.15 && t < 0.26)) ? 1.0 : 0.0;
    return low.Next((float)((a.Next(110) + b.Next(117)) * 0.5 * gate), 1400);
  });
}

Sound CountTick() {
  Sweep pip(880, 880, 1);
  return Effect(0.16, 0.55, [&](double t) { return pip.Next(t, 0.3) * Decay(t, 0.05); });
}

// Glass breaking and tones falling away: the end of a game, and the title's
// opening picture bursting.
Sound GameOver() {
  Noise noise(11);
  Filter high(Filter::Kind::kHigh);
  Filter shards[4] = {Filter(Filter::Kind::kBand, 12), Filter(Filter::Kind::kBand, 12), Filter(Filter::Kind::kBand, 12),
                      Filter(Filter::Kind::kBand, 12)};
  const double shard_hz[4] = {2350, 3170, 4260, 5480};
  Oscillator fall(Oscillator::Shape::kSquare), fall2(Oscillator::Shape::kTriangle);
  Filter soft(Filter::Kind::kLow);
  return Effect(1.5, 0.7, [&](double t) {
    const float n = noise.Next();
    double glass = high.Next(n, 3000) * (Decay(t, 0.06) + 1.5 * Decay(t, 0.02));
    for (int k = 0; k < 4; ++k) glass += shards[k].Next(n, shard_hz[k]) * 2.0 * Decay(t, 0.12 + 0.04 * k);
    const double f = 520 * std::pow(0.25, std::min(1.0, t / 1.1));
    const double vib = 1 + 0.02 * std::sin(2 * M_PI * 6 * t);
    const double tone = (soft.Next(fall.Next(f * vib), 2200) * 0.6 + fall2.Next(f * 0.5 * vib) * 0.5) *
                        std::min(1.0, t / 0.02) * Decay(t, 0.6);
    return 0.8 * glass + 0.45 * tone;
  });
}

// Garbage landing: a heavy thud with a clatter of stone.
Sound Garbage() {
  Noise noise(13);
  Filter rumble(Filter::Kind::kLow, 1.0), clack(Filter::Kind::kBand, 3.0);
  Sweep thud(95, 42, 0.08);
  return Effect(0.55, kLoudestLevel, [&](double t) {
    const float n = noise.Next();
    double clatter = 0;
    for (double hit : {0.0, 0.05, 0.11}) clatter += Decay(t - hit, 0.012) * (t >= hit);
    return thud.Next(t, 0.15) * Decay(t, 0.16) + 1.2 * rumble.Next(n, 400) * Decay(t, 0.12) +
           0.5 * clack.Next(n, 1800) * clatter;
  });
}

struct EffectFile {
  const char* name;
  Sound (*make)();
};

const EffectFile kEffects[] = {
    {"321", CountTick},   {"break", Break}, {"buzzer", Buzzer}, {"gameover", GameOver}, {"jama", Garbage},
    {"levelup", LevelUp}, {"pause", Pause}, {"rotate", Rotate}, {"set", Set},           {"slide", Slide},
};

}  // namespace

bool WriteSoundEffects(const std::string& run_dir) {
  bool ok = true;
  for (const EffectFile& e : kEffects) ok &= WriteWave(run_dir + "/sounds/" + e.name + ".wav", e.make());
  return ok;
}
