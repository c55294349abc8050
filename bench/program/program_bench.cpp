// The whole program on the software path, in a copy of its run folder under
// SDL's offscreen video driver:
//  - StartToFirstFrame: start-up (engine, fonts, settings, the MIDI library)
//    and the title's first frame presented, cold, once;
//  - PlayFrame: one frame of endless play (clear, input, messages, the scene
//    with its field, background and HUD, present), the pacing wait left out;
//  - TitlePacing: frames of the title at 60 a second with the frame loop's
//    own wait: how late each frame starts after its deadline (mean,
//    standard deviation, median, 99th percentile and worst, in microseconds;
//    the clear before the hook is part of it), how far the time from one
//    frame's start to the next strays from the period (its root mean square
//    and 99th percentile) and the processor time of the
//    process as a share of one core.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#include <cmath>
#include <algorithm>

#include "engine/core/util.h"
#include "engine/graphics/graphics.h"
#include "engine/runtime/engine_runtime.h"
#include "game/buttons.h"
#include "game/media_lists.h"
#include "game/midi.h"
#include "game/program.h"
#include "game/scene.h"
#include "game/scene_single.h"
#include "game/settings.h"
#include "tests/game/run_folder.h"

namespace fs = std::filesystem;

namespace {

// Frames back to back (the benchmark measures the work, not the wait), or
// paced, noting how late each frame begins after its deadline.
struct BenchHook : FrameHook {
  BenchHook() { unpaced = true; }
  void before_input() override {
    if (unpaced) return;
    const int64_t now = GetMicrosecondCount(0);
    lateness.push_back(now - frame_base);
    starts.push_back(now);
  }
  std::vector<int64_t> lateness, starts;
} bench_hook;

bool started = false;

double Seconds(const timespec& from, const timespec& to) {
  return (double)(to.tv_sec - from.tv_sec) + (to.tv_nsec - from.tv_nsec) * 1e-9;
}

// The steps of init_game timed one by one: the engine with the window,
// graphics and fonts; the settings and the MIDI library; the first frame.
void StartToFirstFrame(benchmark::State& state) {
  for (auto _ : state) {
    timespec begin, engine, midi, end;
    clock_gettime(CLOCK_MONOTONIC, &begin);
    bool ok = init_screen();
    clock_gettime(CLOCK_MONOTONIC, &engine);
    if (ok) {
      reset_input();
      read_settings();
      ok = load_midi_player();
    }
    clock_gettime(CLOCK_MONOTONIC, &midi);
    if (!ok) {
      state.SkipWithError("start-up failed");
      end_game();
      return;
    }
    requested_scene = current_scene_number = kSceneTitle;
    current_scene = build_scene(kSceneTitle, SceneValues{});
    frame_base = GetMicrosecondCount(0);
    run_frame();
    clock_gettime(CLOCK_MONOTONIC, &end);
    state.SetIterationTime(Seconds(begin, end));
    state.counters["engine_ms"] = Seconds(begin, engine) * 1e3;
    state.counters["settings_midi_ms"] = Seconds(engine, midi) * 1e3;
    state.counters["first_frame_ms"] = Seconds(midi, end) * 1e3;
    started = true;
  }
}
BENCHMARK(StartToFirstFrame)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// Endless play at level 1 with nothing pressed: pairs fall and pile up; a
// game that ends is started again outside the timing.
Scene_Single* NewGame() {
  delete_scene();
  side_settings s;
  s.mode = 0;
  s.colours = 3;
  s.seed = 1234;
  MediaLists media;
  media.list_media();
  const char* background = media.backgrounds.empty() ? "" : media.backgrounds[0].c_str();
  auto* single = new Scene_Single(s, background, "");
  current_scene = single;
  requested_scene = current_scene_number = kSceneSingle;
  while (single->state() != Scene_Single::kPlay) run_frame();
  return single;
}

void PlayFrame(benchmark::State& state) {
  if (!started) {
    state.SkipWithError("start-up failed");
    return;
  }
  Scene_Single* single = NewGame();
  for (auto _ : state) {
    run_frame();
    if (single->state() != Scene_Single::kPlay) {
      state.PauseTiming();
      single = NewGame();
      state.ResumeTiming();
    }
  }
}
BENCHMARK(PlayFrame)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void TitlePacing(benchmark::State& state) {
  if (!started) {
    state.SkipWithError("start-up failed");
    return;
  }
  delete_scene();
  requested_scene = current_scene_number = kSceneTitle;
  current_scene = build_scene(kSceneTitle, SceneValues{});
  for (auto _ : state) {
    bench_hook.unpaced = false;
    bench_hook.lateness.clear();
    bench_hook.starts.clear();
    frame_base = GetMicrosecondCount(0);
    timespec cpu0, cpu1, wall0, wall1;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
    clock_gettime(CLOCK_MONOTONIC, &wall0);
    for (int i = 0; i < 300; i++) run_frame();
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
    clock_gettime(CLOCK_MONOTONIC, &wall1);
    bench_hook.unpaced = true;
    // The first frame's start is the base itself.
    std::vector<int64_t>& late = bench_hook.lateness;
    late.erase(late.begin());
    double mean = 0, square = 0;
    for (int64_t l : late) mean += (double)l;
    mean /= (double)late.size();
    for (int64_t l : late) square += ((double)l - mean) * ((double)l - mean);
    std::sort(late.begin(), late.end());
    auto at = [&](double q) { return (double)late[(size_t)(q * (double)(late.size() - 1))]; };
    state.counters["late_mean_us"] = mean;
    state.counters["late_sd_us"] = std::sqrt(square / (double)late.size());
    state.counters["late_p50_us"] = at(0.5);
    state.counters["late_p99_us"] = at(0.99);
    state.counters["late_max_us"] = (double)late.back();
    // Jitter: how far the time from one frame's start to the next strays
    // from the period (the work before the hook, the clear, cancels out).
    const std::vector<int64_t>& t = bench_hook.starts;
    double stray = 0;
    std::vector<double> off;
    for (size_t i = 2; i < t.size(); i++) off.push_back(std::fabs((double)(t[i] - t[i - 1] - kFramePeriodUs)));
    for (double o : off) stray += o * o;
    std::sort(off.begin(), off.end());
    state.counters["period_sd_us"] = std::sqrt(stray / (double)off.size());
    state.counters["period_p99_us"] = off[(size_t)(0.99 * (double)(off.size() - 1))];
    state.counters["core_percent"] = Seconds(cpu0, cpu1) / Seconds(wall0, wall1) * 100;
  }
}
BENCHMARK(TitlePacing)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  std::string run = (fs::temp_directory_path() / ("voxbench-" + std::to_string(getpid()))).string();
  MakeRunFolder(run);
  if (chdir(run.c_str()) != 0) return 1;
  set_frame_hook(&bench_hook);
  // The software renderer, also where a hardware path would be had.
  InstallEngineServices();
  SetUseHardwareRenderer(0);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  end_game();
  fs::remove_all(run);
  return 0;
}
