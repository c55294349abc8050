// The mixer's cost per voice count. Each iteration mixes one device period
// (512 frames at 44.1 kHz, 11.6 ms of sound); "realtime_fraction" is the
// share of that period the mixing took (printed with SI prefixes: 4m is
// 0.004, i.e. 0.4% of one core). The voices mix a spread of formats and
// rates, as a game's effects and music do, loud enough that the output's
// limiter works on every frame.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/dsound/dsound.h"
#include "platform/dsound/dsound_control.h"
#include "platform/dsound/dsound_mix.h"

namespace {

WAVEFORMATEX Pcm(int channels, int rate, int bits) {
  return MakePcmWaveFormat(channels, rate, bits);
}

void BM_MixVoices(benchmark::State& state) {
  const int voices = int(state.range(0));
  DsClearFailures();
  DsSetManualMixing(1);
  IDirectSound* ds = nullptr;
  CreateDirectSoundInstance(&ds);
  ds->Initialize(nullptr);
  const WAVEFORMATEX formats[] = {Pcm(2, 44100, 16), Pcm(1, 22050, 16), Pcm(2, 48000, 16), Pcm(1, 11025, 8)};
  std::vector<IDirectSoundBuffer*> buffers;
  for (int v = 0; v < voices; ++v) {
    WAVEFORMATEX f = formats[v % 4];
    DSBUFFERDESC d{36, DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN, f.nAvgBytesPerSec * 2, 0, &f};
    IDirectSoundBuffer* b = nullptr;
    ds->CreateSoundBuffer(&d, &b, nullptr);
    void *p1, *p2;
    DWORD n1, n2;
    b->Lock(0, d.dwBufferBytes, &p1, &n1, &p2, &n2, 0);
    auto* bytes = static_cast<uint8_t*>(p1);
    for (DWORD i = 0; i < n1; ++i) bytes[i] = uint8_t(std::sin(i * 0.01) * 100 + 128);
    b->Unlock(p1, n1, p2, n2);
    b->SetVolume(-600 * (v % 3));
    if (v % 5 == 1) b->SetFrequency(f.nSamplesPerSec * 3 / 2);
    b->Play(0, 0, DSBPLAY_LOOPING);
    buffers.push_back(b);
  }
  std::vector<int16_t> out(DS_DEVICE_PERIOD * 2);
  for (auto _ : state) {
    DsMixOutput(out.data(), DS_DEVICE_PERIOD);
    benchmark::DoNotOptimize(out.data());
  }
  const double period_seconds = double(DS_DEVICE_PERIOD) / DS_OUTPUT_RATE;
  // Elapsed time over the sound time mixed.
  state.counters["realtime_fraction"] = benchmark::Counter(double(state.iterations()) * period_seconds,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  for (auto* b : buffers) b->Release();
  ds->Release();
  DsSetManualMixing(0);
}
BENCHMARK(BM_MixVoices)->Arg(1)->Arg(8)->Arg(32)->Unit(benchmark::kMicrosecond);

}  // namespace
