// Decoding and converting a 640 x 480 Theora movie frame after frame on one
// decoding thread, as a movie graph of the software renderer asks for it;
// the frames per second reported is the figure to compare with the movie's
// own 25 (the goal is 5 times that).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "engine/core/file.h"
#include "engine/core/log.h"
#include "engine/movie/theora_stream.h"
#include "tests/engine/movie/movie_fixtures.h"

namespace {

void BM_DecodeAndConvert640x480(benchmark::State& state) {
  SetLogOutput(0);
  SetFileLayer(nullptr);
  BuildYuvToRgbTables();
  TheoraMovieSpec spec;
  spec.width = 640;
  spec.height = 480;
  spec.frames = 100;
  spec.key_interval = 25;
  const std::string path = "/tmp/vox_bench_movie_" + std::to_string(::getpid()) + ".ogv";
  WriteBytes(path, MakeTheoraMovie(spec));
  intptr_t file = FsOpen(path.c_str());
  TheoraStream* stream = OpenTheoraStream(InstalledFileLayer(), file, 10);
  if (!stream) {
    state.SkipWithError("movie did not open");
    return;
  }
  int64_t frames = 0;
  for (auto _ : state) {
    StepTheoraStream(stream, 1);
    benchmark::DoNotOptimize(ConvertTheoraFrame(stream, 1, 0));
    frames++;
  }
  state.counters["fps"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
  CloseTheoraStream(stream);
  FsClose(file);
  std::remove(path.c_str());
}
BENCHMARK(BM_DecodeAndConvert640x480)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
