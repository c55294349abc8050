// Full-screen 640 x 480 blits at 16 and 32 bits (copy, keyed copy, alpha,
// add, stretched 2x, rotated) in megapixels per second, beside the memcpy
// rate of the same frame measured in the same run as the reference.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/softrender/bench_frame.h"
#include "engine/softrender/blit.h"

namespace {

using softbench::kH;
using softbench::kW;
using softbench::SetPixelRate;
using softbench::UseFrameDrawState;

struct Images {
  MEMIMG dst{}, src{}, half{};
  explicit Images(int fmt) {
    SetupMEMIMG(&dst, kW, kH, -1, 0, fmt, 0, 0, 0, nullptr);
    SetupMEMIMG(&src, kW, kH, -1, 0x1234, fmt, 0, 0, 0, nullptr);
    SetupMEMIMG(&half, kW / 2, kH / 2, -1, 0x1234, fmt, 0, 0, 0, nullptr);
    uint32_t seed = 12345;
    for (MEMIMG* m : {&dst, &src, &half})
      for (int i = 0; i < m->store->pitch * m->height; i++) m->pixels[i] = (uint8_t)((seed = seed * 1103515245 + 12345) >> 16);
  }
  ~Images() {
    ReleaseMEMIMG(&dst);
    ReleaseMEMIMG(&src);
    ReleaseMEMIMG(&half);
  }
};

void BM_MemcpyFrame(benchmark::State& state) {
  const size_t bytes = (size_t)kW * kH * state.range(0) / 8;
  std::vector<uint8_t> a(bytes, 1), b(bytes, 2);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), bytes);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed((int64_t)bytes * state.iterations());
  SetPixelRate(state, (double)kW * kH);
}
BENCHMARK(BM_MemcpyFrame)->Arg(16)->Arg(32);

// Arguments: bits, blend mode, parameter, transparency.
void BM_Blit(benchmark::State& state) {
  Images img(state.range(0) == 16 ? 0 : 1);
  UseFrameDrawState((int)state.range(1), (int)state.range(2));
  for (auto _ : state) {
    BlitToMEMIMG(&img.dst, &img.src, 0, 0, (int)state.range(3), nullptr);
    benchmark::ClobberMemory();
  }
  SetPixelRate(state, (double)kW * kH);
}
BENCHMARK(BM_Blit)
    ->ArgNames({"bits", "mode", "p", "key"})
    ->Args({16, SOFT_BLEND_COPY, 255, 0})
    ->Args({32, SOFT_BLEND_COPY, 255, 0})
    ->Args({16, SOFT_BLEND_COPY, 255, 1})
    ->Args({32, SOFT_BLEND_COPY, 255, 1})
    ->Args({16, SOFT_BLEND_ALPHA, 100, 0})
    ->Args({32, SOFT_BLEND_ALPHA, 100, 0})
    ->Args({16, SOFT_BLEND_ADD, 200, 0})
    ->Args({32, SOFT_BLEND_ADD, 200, 0});

// A 32-bit image with alpha drawn with transparency, as sprites are: runs
// of 1 to 48 pixels, each wholly clear, wholly opaque or soft, in the
// proportions of the argument (percent clear, percent opaque); the rest are
// random alphas. The 16-pixel test of the vector rows meets every mix.
void BM_BlitSprite32(benchmark::State& state) {
  UseFrameDrawState(SOFT_BLEND_COPY, 255);
  MEMIMG dst{}, src{};
  SetupMEMIMG(&dst, kW, kH, -1, 0, 1, 0, 0, 0, nullptr);
  SetupMEMIMG(&src, kW, kH, -1, 0, 1, 0, 1, 0, nullptr);
  uint32_t seed = 777;
  auto next = [&seed] { return (seed = seed * 1103515245 + 12345) >> 8; };
  int run = 0;
  uint32_t kind = 0;
  for (int i = 0; i < kW * kH; i++) {
    if (run-- == 0) {
      run = (int)(next() % 48);
      const int pick = (int)(next() % 100);
      kind = pick < state.range(0) ? 0 : pick < state.range(0) + state.range(1) ? 1 : 2;
    }
    const uint32_t a = kind == 0 ? 0 : kind == 1 ? 255 : next() & 0xFF;
    StorePixel32(src.pixels + (size_t)i * 4, (next() & 0xFFFFFF) | a << 24);
    StorePixel32(dst.pixels + (size_t)i * 4, next());
  }
  for (auto _ : state) {
    BlitToMEMIMG(&dst, &src, 0, 0, 1, nullptr);
    benchmark::ClobberMemory();
  }
  SetPixelRate(state, (double)kW * kH);
  ReleaseMEMIMG(&src);
  ReleaseMEMIMG(&dst);
}
BENCHMARK(BM_BlitSprite32)->ArgNames({"clear", "opaque"})->Args({45, 45})->Args({20, 20})->Args({0, 0});

// A 320 x 240 image stretched over the whole frame.
void BM_Stretch2x(benchmark::State& state) {
  Images img(state.range(0) == 16 ? 0 : 1);
  UseFrameDrawState((int)state.range(1), (int)state.range(2));
  const int32_t rect[4] = {0, 0, kW, kH};
  for (auto _ : state) {
    StretchBlitToMEMIMG(&img.dst, &img.half, rect, 0, nullptr);
    benchmark::ClobberMemory();
  }
  SetPixelRate(state, (double)kW * kH);
}
BENCHMARK(BM_Stretch2x)
    ->ArgNames({"bits", "mode", "p"})
    ->Args({16, SOFT_BLEND_COPY, 255})
    ->Args({32, SOFT_BLEND_COPY, 255})
    ->Args({16, SOFT_BLEND_ALPHA, 100})
    ->Args({32, SOFT_BLEND_ALPHA, 100});

// The whole frame turned by 0.3 radians about its centre; the counter is of
// target pixels scanned (the turned image's box, clipped to the frame).
void BM_Rotate(benchmark::State& state) {
  Images img(state.range(0) == 16 ? 0 : 1);
  UseFrameDrawState((int)state.range(1), (int)state.range(2));
  for (auto _ : state) {
    RotateBlitToMEMIMG(&img.dst, &img.src, kW / 2, kH / 2, 0.3f, 1.0f, 0, 0, nullptr);
    benchmark::ClobberMemory();
  }
  SetPixelRate(state, (double)kW * kH);
}
BENCHMARK(BM_Rotate)
    ->ArgNames({"bits", "mode", "p"})
    ->Args({16, SOFT_BLEND_COPY, 255})
    ->Args({32, SOFT_BLEND_COPY, 255})
    ->Args({16, SOFT_BLEND_ALPHA, 100})
    ->Args({32, SOFT_BLEND_ALPHA, 100});

}  // namespace
