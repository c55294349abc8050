// Shape writers of the software renderer on a 640 x 480 target: triangle fill
// rate (flat and textured, 16 and 32 bits, copy and alpha), lines and filled
// circles, in megapixels per second.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "bench/softrender/bench_frame.h"
#include "engine/softrender/circle.h"
#include "engine/softrender/primitive.h"
#include "engine/softrender/triangle.h"

namespace {

using softbench::kH;
using softbench::kW;

struct Target {
  MEMIMG dst{}, tex{};
  explicit Target(int fmt) {
    SetupMEMIMG(&dst, kW, kH, -1, 0, fmt, 0, 0, 0, nullptr);
    SetupMEMIMG(&tex, kW, kH, -1, 0x1234, fmt, 0, 0, 0, nullptr);
    uint32_t seed = 777;
    for (MEMIMG* m : {&dst, &tex})
      for (int i = 0; i < m->store->pitch * m->height; i++) m->pixels[i] = (uint8_t)((seed = seed * 1103515245 + 12345) >> 16);
    softbench::UseFrameDrawState(SOFT_BLEND_COPY, 255);
  }
  ~Target() {
    ReleaseMEMIMG(&dst);
    ReleaseMEMIMG(&tex);
  }
};

// Arguments: bits (16 or 32), blend mode, textured (0 or 1), transparent flag.
void BM_TriangleQuad(benchmark::State& state) {
  Target t(state.range(0) == 16 ? MEMIMG_R5G6B5 : MEMIMG_X8R8G8B8);
  g_soft_draw.blend_mode = (int)state.range(1);
  g_soft_draw.blend_param = 160;
  bool textured = state.range(2) != 0;
  const TriangleVertex a[3] = {{0, 0, 0, 0}, {kW, 0, kW, 0}, {0, kH, 0, kH}};
  const TriangleVertex b[3] = {{kW, 0, kW, 0}, {0, kH, 0, kH}, {kW, kH, kW, kH}};
  for (auto _ : state) {
    RasterTriangleToMEMIMG(&t.dst, textured ? &t.tex : nullptr, a, (int)state.range(3), nullptr, 0x5A5A);
    RasterTriangleToMEMIMG(&t.dst, textured ? &t.tex : nullptr, b, (int)state.range(3), nullptr, 0x5A5A);
    benchmark::ClobberMemory();
  }
  softbench::SetPixelRate(state, (double)kW * kH);
}
BENCHMARK(BM_TriangleQuad)
    ->ArgNames({"bits", "mode", "textured", "trans"})
    ->Args({16, 0, 0, 0})
    ->Args({32, 0, 0, 0})
    ->Args({16, 1, 0, 0})
    ->Args({32, 1, 0, 0})
    ->Args({16, 0, 1, 0})
    ->Args({32, 0, 1, 0})
    ->Args({16, 0, 1, 1})
    ->Args({32, 0, 1, 1})
    ->Args({16, 1, 1, 0})
    ->Args({32, 1, 1, 0})
    ->Args({16, 2, 1, 0})
    ->Args({32, 2, 1, 0});

// 1000 lines between seeded random points, some crossing the edges.
void BM_Lines(benchmark::State& state) {
  Target t(state.range(0) == 16 ? MEMIMG_R5G6B5 : MEMIMG_X8R8G8B8);
  g_soft_draw.blend_mode = (int)state.range(1);
  g_soft_draw.blend_param = 160;
  std::vector<LineRecord> lines(1000);
  uint32_t seed = 99;
  auto next = [&](int range) { return (int)((seed = seed * 1103515245 + 12345) >> 8) % range - 40; };
  double pixels = 0;
  for (auto& l : lines) {
    l = {next(kW + 80), next(kH + 80), next(kW + 80), next(kH + 80), 0x7BEF, 0};
    pixels += std::max(std::abs(l.x2 - l.x1), std::abs(l.y2 - l.y1));
  }
  for (auto _ : state) {
    StrokeLineListToMEMIMG(&t.dst, lines.data(), (int32_t)lines.size());
    benchmark::ClobberMemory();
  }
  softbench::SetPixelRate(state, pixels);  // about: clipped parts are counted too
}
BENCHMARK(BM_Lines)->ArgNames({"bits", "mode"})->Args({16, 0})->Args({32, 0})->Args({16, 1})->Args({32, 1});

// Filled circles of radius 100 inside the target.
void BM_FilledCircle(benchmark::State& state) {
  Target t(state.range(0) == 16 ? MEMIMG_R5G6B5 : MEMIMG_X8R8G8B8);
  g_soft_draw.blend_mode = (int)state.range(1);
  g_soft_draw.blend_param = 160;
  for (auto _ : state) {
    RasterCircleToMEMIMG(&t.dst, 320, 240, 100, 0x7BEF, 1);
    benchmark::ClobberMemory();
  }
  softbench::SetPixelRate(state, 3.14159265 * 100 * 100);
}
BENCHMARK(BM_FilledCircle)->ArgNames({"bits", "mode"})->Args({16, 0})->Args({32, 0})->Args({16, 1})->Args({32, 1});

}  // namespace
