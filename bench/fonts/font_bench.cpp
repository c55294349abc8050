// Text on the software path with the game's fonts on the installed Japanese
// fonts: a cached line measured and drawn (the per-frame case), drawn through
// the work image (blended), and a cache kept cold by evicting every glyph.
#include <benchmark/benchmark.h>

#include <string>

#include "engine/core/engine_subsystem.h"
#include "engine/core/log.h"
#include "engine/font/font.h"
#include "engine/graphics/graphics.h"

namespace {

// Started by the first benchmark and ended by main() once the benchmarks
// have run, while everything it uses still lives: ended by a static
// destructor it would outlive the fonts' tables and converters.
struct Engine {
  Engine() {
    SetLogOutput(0);
    ReplaceEngineSubsystem(kFontsSubsystem);  // the fonts start with graphics
    RequestScreenMode(640, 480, 16, 60);
    StartGraphics();
    for (int i = 0; i < 4; ++i) fonts[i] = CreateFontToHandle("ＭＳ 明朝", kSizes[i], kThickness[i], 1, -1, -1, 0);
  }
  static constexpr int kSizes[4] = {32, 24, 14, 16};
  static constexpr int kThickness[4] = {8, 7, 6, 6};
  int fonts[4];
};

Engine* g_engine = nullptr;

Engine& GetEngine() {
  if (!g_engine) g_engine = new Engine;
  return *g_engine;
}

const char* kLine = "ひとりで遊ぶ　スコア 0012345　れんさ 7";

void BM_MeasureCachedLine(benchmark::State& state) {
  int font = GetEngine().fonts[state.range(0)];
  for (auto _ : state) benchmark::DoNotOptimize(MeasureStringWidthByFont(kLine, -1, font, 0));
}
BENCHMARK(BM_MeasureCachedLine)->DenseRange(0, 3);

void BM_DrawCachedLine(benchmark::State& state) {
  int font = GetEngine().fonts[state.range(0)];
  SelectBlendMode(0, 255);
  for (auto _ : state) DrawTextWithFont(10, 100, kLine, PackScreenColor(255, 255, 255), font, 0, 0);
}
BENCHMARK(BM_DrawCachedLine)->DenseRange(0, 3);

void BM_DrawBlendedLine(benchmark::State& state) {
  int font = GetEngine().fonts[state.range(0)];
  SelectBlendMode(1, 128);
  for (auto _ : state) DrawTextWithFont(10, 100, kLine, PackScreenColor(255, 255, 255), font, 0, 0);
  SelectBlendMode(0, 255);
}
BENCHMARK(BM_DrawBlendedLine)->DenseRange(0, 3);

void BM_RasteriseColdLine(benchmark::State& state) {
  int font = GetEngine().fonts[state.range(0)];
  for (auto _ : state) {
    ClearFontCache(font);
    benchmark::DoNotOptimize(MeasureStringWidthByFont(kLine, -1, font, 0));
  }
}
BENCHMARK(BM_RasteriseColdLine)->DenseRange(0, 3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_engine) {
    EndGraphics();
    delete g_engine;
    g_engine = nullptr;
  }
  return 0;
}
