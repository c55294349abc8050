// The real program as a player starts it, in a copy of its run folder under
// SDL's offscreen video driver, on the software path (VOX_HARDWARE=0),
// driven by its test script:
//  - StartToFirstFrame: from fork to the first frame presented (the moment
//    the script's screenshot of that frame is created), dynamic loading,
//    start-up waits and page faults included; one program per iteration;
//  - IdleTitleCpu: the processor time the program spends on 600 frames of
//    the title at 60 frames a second, as a share of one core: the CPU time of
//    a run of 660 frames less that of a run of 60, over 600 periods.
// VOX_PROGRAM names another build of the program to measure (its run folder
// beside it), so two builds can be compared in one sitting.
#include <benchmark/benchmark.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/game/run_folder.h"

namespace fs = std::filesystem;

namespace {

std::string ProgramDir() {
  const char* program = std::getenv("VOX_PROGRAM");
  return program && *program ? fs::path(program).parent_path().string() : std::string(VOX_RUN_DIR);
}

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + t.tv_nsec * 1e-9;
}

struct Run {
  bool ok = false;
  double seconds_to_shot = 0;  // fork to the screenshot's creation
  double cpu_seconds = 0;      // user and system time of the whole run
};

// Runs the program in a fresh run folder with `script`; with `watch_shot`,
// also times the creation of the file "first.png" there.
Run RunProgram(const std::string& script, bool watch_shot) {
  Run result;
  const std::string run = (fs::temp_directory_path() / ("voxrun-" + std::to_string(getpid()))).string();
  fs::remove_all(run);
  MakeRunFolder(run, ProgramDir());
  std::ofstream(run + "/script.txt") << script;
  int watch = inotify_init1(IN_CLOEXEC);
  if (watch < 0 || inotify_add_watch(watch, run.c_str(), IN_CREATE) < 0) return result;
  const double start = Now();
  pid_t child = fork();
  if (child == 0) {
    if (chdir(run.c_str()) != 0) _exit(127);
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("VOXALDRIFT_TEST_SCRIPT", "script.txt", 1);
    setenv("VOX_HARDWARE", "0", 1);  // the software path, also where OpenGL exists
    execl("./voxaldrift", "voxaldrift", (char*)nullptr);
    _exit(127);
  }
  if (watch_shot) {
    alignas(inotify_event) char buffer[4096];
    bool seen = false;
    while (!seen) {
      ssize_t n = read(watch, buffer, sizeof buffer);
      if (n <= 0) break;
      for (char* p = buffer; p < buffer + n;) {
        auto* e = reinterpret_cast<inotify_event*>(p);
        if (e->len && std::string(e->name) == "first.png") seen = true;
        p += sizeof(inotify_event) + e->len;
      }
    }
    result.seconds_to_shot = Now() - start;
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  close(watch);
  result.cpu_seconds = (double)usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + (double)usage.ru_stime.tv_sec +
                       usage.ru_stime.tv_usec * 1e-6;
  result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  fs::remove_all(run);
  return result;
}

void StartToFirstFrame(benchmark::State& state) {
  for (auto _ : state) {
    Run r = RunProgram("shot first.png\nclose\n", true);
    if (!r.ok) {
      state.SkipWithError("the program failed");
      return;
    }
    state.SetIterationTime(r.seconds_to_shot);
  }
}
// On a shared machine the fastest start is the one least disturbed by others.
double Fastest(const std::vector<double>& v) { return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end()); }
BENCHMARK(StartToFirstFrame)
    ->Iterations(1)
    ->Repetitions(5)
    ->ComputeStatistics("min", Fastest)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void IdleTitleCpu(benchmark::State& state) {
  for (auto _ : state) {
    Run shorter = RunProgram("frames 60\nclose\n", false);
    Run longer = RunProgram("frames 660\nclose\n", false);
    if (!shorter.ok || !longer.ok) {
      state.SkipWithError("the program failed");
      return;
    }
    const double cpu = longer.cpu_seconds - shorter.cpu_seconds;
    state.SetIterationTime(cpu);
    state.counters["core_percent"] = cpu / (600 * 16667e-6) * 100;
  }
}
BENCHMARK(IdleTitleCpu)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
