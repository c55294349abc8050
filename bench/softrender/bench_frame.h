// What the software renderer's benchmarks share: the 640 x 480 frame, its
// draw state, the pixel rate counter, and the level the engine's start-up
// would choose (the environment check finds AVX2).
#pragma once

#include <benchmark/benchmark.h>

#include "engine/core/engine_state.h"
#include "engine/softrender/blend.h"

namespace softbench {

constexpr int kW = 640, kH = 480;

// Blend mode and parameter at white bright, no blend image, the whole frame
// as the draw area; the blend tables built.
inline void UseFrameDrawState(int mode, int p) {
  static const bool ready = (BuildSoftBlendTables(), g_environment.avx2 = ProcessorHasAvx2(), true);
  (void)ready;
  g_soft_draw.blend_mode = mode;
  g_soft_draw.blend_param = p;
  g_soft_draw.draw_bright = SOFT_BRIGHT_WHITE;
  g_soft_draw.blend_graph = nullptr;
  g_soft_draw.draw_area[0] = g_soft_draw.draw_area[1] = 0;
  g_soft_draw.draw_area[2] = kW;
  g_soft_draw.draw_area[3] = kH;
}

// Megapixels per second over the benchmark's time.
inline void SetPixelRate(benchmark::State& state, double pixels_per_iteration) {
  state.counters["Mpx/s"] =
      benchmark::Counter(pixels_per_iteration * (double)state.iterations() / 1e6, benchmark::Counter::kIsRate);
}

}  // namespace softbench
