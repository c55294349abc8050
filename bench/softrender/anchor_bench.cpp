// The software renderer beside two other blitters doing the same work on the
// same 640 x 480 images, in one run: SDL2's surface blitter and pixman. Each
// case is timed in wall time (megapixels per second) and, at the end, set in
// a table beside its anchors with the ratios.
//   per-pixel alpha: an A8R8G8B8 image of random alphas over a 32-bit and a
//     16-bit target (ours: mode 0 with transparency, so alpha 0 is skipped and
//     255 copied; SDL2: blend mode BLEND; pixman: OVER of the premultiplied
//     image)
//   add and subtract, unscaled (ours: p = 255; pixman: ADD, on a8r8g8b8 for
//     32 bits, its fast format; SDL2: blend mode ADD; neither has subtract,
//     which is set beside their add)
//   2x nearest stretch of a 320 x 240 image (SDL2: scaled blit, nearest)
//   opaque copy (and memcpy of the frame)
// Ours runs at the level the engine's start-up chooses (AVX2 where the
// processor has it) and, beside it, at the SSE2 level every x86-64 has.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/softrender/bench_frame.h"
#include "engine/softrender/blit.h"
#include "engine/softrender/fast_rows.h"

namespace {

using softbench::kH;
using softbench::kW;

uint32_t g_seed = 20261212;
uint32_t NextRandom() { return g_seed = g_seed * 1103515245u + 12345u, g_seed >> 8 ^ g_seed << 13; }

// One image in every form the three blitters read: our memory image, an SDL
// surface and a pixman image over the same pixels.
struct Image {
  MEMIMG view{};
  SDL_Surface* surface = nullptr;
  pixman_image_t* pix = nullptr;
  std::vector<uint32_t> premultiplied;  // pixman's copy of an alpha image

  // fmt 0 or 1; alpha: our store carries alpha (16-bit: 4 bytes a pixel).
  Image(int w, int h, int fmt, bool alpha) {
    SetupMEMIMG(&view, w, h, -1, 0, fmt, 0, alpha ? 1 : 0, 0, nullptr);
    const int pitch = view.store->pitch;
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        uint8_t* p = view.pixels + (size_t)y * pitch + (size_t)x * view.store->format->bytes_per_pixel;
        const uint32_t v = NextRandom();
        if (fmt == 1)
          StorePixel32(p, alpha ? v : v | 0xFF000000u);
        else if (alpha)
          StorePixel32(p, (v & 0x00FFFFFF));  // 565 colour in the low half, alpha in bits 16-23
        else
          StorePixel16(p, v);
      }
    if (alpha) {
      // The other blitters read 32-bit ARGB: the same colours and alphas.
      premultiplied.resize((size_t)w * h);
      std::vector<uint32_t> argb((size_t)w * h);
      for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
          uint32_t v = LoadPixel32(view.pixels + (size_t)y * pitch + (size_t)x * 4), a, r, g, b;
          if (fmt == 1) {
            a = v >> 24, r = v >> 16 & 0xFF, g = v >> 8 & 0xFF, b = v & 0xFF;
          } else {
            a = v >> 16 & 0xFF, r = (v >> 11 & 31) * 255 / 31, g = (v >> 5 & 63) * 255 / 63, b = (v & 31) * 255 / 31;
          }
          argb[(size_t)y * w + x] = a << 24 | r << 16 | g << 8 | b;
          premultiplied[(size_t)y * w + x] = a << 24 | (r * a / 255) << 16 | (g * a / 255) << 8 | (b * a / 255);
        }
      surface = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_ARGB8888);
      for (int y = 0; y < h; y++)
        std::memcpy((uint8_t*)surface->pixels + (size_t)y * surface->pitch, &argb[(size_t)y * w], (size_t)w * 4);
      SDL_SetSurfaceBlendMode(surface, SDL_BLENDMODE_BLEND);
      pix = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, premultiplied.data(), w * 4);
    } else {
      const uint32_t sdl_format = fmt == 1 ? SDL_PIXELFORMAT_XRGB8888 : SDL_PIXELFORMAT_RGB565;
      surface = SDL_CreateRGBSurfaceWithFormatFrom(view.pixels, w, h, fmt == 1 ? 32 : 16, pitch, sdl_format);
      SDL_SetSurfaceBlendMode(surface, SDL_BLENDMODE_NONE);
      // Every 32-bit pixel here has alpha 255, so pixman may read them as
      // a8r8g8b8, the format of its fastest paths.
      pix = pixman_image_create_bits(fmt == 1 ? PIXMAN_a8r8g8b8 : PIXMAN_r5g6b5, w, h, (uint32_t*)view.pixels, pitch);
    }
  }
  ~Image() {
    pixman_image_unref(pix);
    SDL_FreeSurface(surface);
    ReleaseMEMIMG(&view);
  }
};

enum Blitter { kOurs, kSdl, kPixman, kMemcpy, kOursSse2 };
constexpr int kBlitters = 5;
const char* const kBlitterNames[] = {"ours", "SDL2", "pixman", "memcpy", "ours SSE2"};

// What each case does, given its images.
enum Work { kAlpha, kAdd, kSubtract, kStretch2x, kCopy };

struct Case {
  const char* name;
  Work work;
  int fmt;
};
const Case kCases[] = {
    {"per-pixel alpha, ARGB onto 32-bit", kAlpha, 1},  {"per-pixel alpha, ARGB onto 565", kAlpha, 0},
    {"add, unscaled, 32-bit", kAdd, 1},                {"add, unscaled, 565", kAdd, 0},
    {"subtract, unscaled, 32-bit", kSubtract, 1},      {"subtract, unscaled, 565", kSubtract, 0},
    {"2x nearest stretch, 32-bit", kStretch2x, 1},     {"2x nearest stretch, 565", kStretch2x, 0},
    {"opaque copy, 32-bit", kCopy, 1},                 {"opaque copy, 565", kCopy, 0},
};

// Which blitters can do the work of a case (subtract has no anchor of its
// own: it is set beside pixman's ADD).
bool Offers(Blitter b, Work w) {
  switch (b) {
    case kOurs:
    case kOursSse2: return true;
    case kSdl: return w != kSubtract;
    case kPixman: return w != kSubtract;
    case kMemcpy: return w == kCopy;
  }
  return false;
}

void RunCase(benchmark::State& state, const Case& c, Blitter who) {
  const bool half = c.work == kStretch2x;
  Image dst(kW, kH, c.fmt, false);
  Image src(half ? kW / 2 : kW, half ? kH / 2 : kH, c.fmt, c.work == kAlpha);
  const int mode = c.work == kAlpha || c.work == kCopy || c.work == kStretch2x ? SOFT_BLEND_COPY
                   : c.work == kAdd                                            ? SOFT_BLEND_ADD
                                                                               : SOFT_BLEND_SUBTRACT;
  softbench::UseFrameDrawState(mode, 255);
  const int32_t rect[4] = {0, 0, kW, kH};
  SDL_Rect whole{0, 0, kW, kH};
  if (who == kPixman && half) {
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(0.5), pixman_double_to_fixed(0.5));
    pixman_image_set_transform(src.pix, &t);
    pixman_image_set_filter(src.pix, PIXMAN_FILTER_NEAREST, nullptr, 0);
  }
  const pixman_op_t op = c.work == kAlpha ? PIXMAN_OP_OVER : c.work == kAdd ? PIXMAN_OP_ADD : PIXMAN_OP_SRC;
  if (c.work == kAdd) SDL_SetSurfaceBlendMode(src.surface, SDL_BLENDMODE_ADD);
  const size_t row_bytes = (size_t)kW * (c.fmt == 1 ? 4 : 2);
  SetSoftSimdLimit(who == kOursSse2 ? SoftSimd::Sse2 : SoftSimd::Avx2);
  for (auto _ : state) {
    switch (who) {
      case kOurs:
      case kOursSse2:
        if (half)
          StretchBlitToMEMIMG(&dst.view, &src.view, rect, 0, nullptr);
        else
          BlitToMEMIMG(&dst.view, &src.view, 0, 0, c.work == kAlpha ? 1 : 0, nullptr);
        break;
      case kSdl:
        if (half)
          SDL_BlitScaled(src.surface, nullptr, dst.surface, &whole);
        else
          SDL_BlitSurface(src.surface, nullptr, dst.surface, nullptr);
        break;
      case kPixman:
        pixman_image_composite32(op, src.pix, nullptr, dst.pix, 0, 0, 0, 0, 0, 0, kW, kH);
        break;
      case kMemcpy:
        for (int y = 0; y < kH; y++)
          std::memcpy(dst.view.pixels + (size_t)y * dst.view.store->pitch,
                      src.view.pixels + (size_t)y * src.view.store->pitch, row_bytes);
        break;
    }
    benchmark::ClobberMemory();
  }
  SetSoftSimdLimit(SoftSimd::Avx2);
  softbench::SetPixelRate(state, (double)kW * kH);
}

// Keeps every case's rate and prints the table with the ratios at the end.
class AnchorReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && r.counters.count("Mpx/s")) {
        // With --benchmark_repetitions the best run stands: on a shared
        // machine the others are what the neighbours took away.
        double& rate = rates_[r.run_name.function_name];
        rate = std::max(rate, (double)r.counters.at("Mpx/s"));
      }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n| work | ours Mpx/s | ours SSE2 | SDL2 | pixman | memcpy | ours / SDL2 | ours / pixman | SSE2 / pixman |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|\n");
    for (const Case& c : kCases) {
      double rate[kBlitters] = {};
      // Subtract has no anchor of its own: it is set beside the anchors' add
      // of the same format.
      const Case* anchor = &c;
      if (c.work == kSubtract)
        for (const Case& a : kCases)
          if (a.work == kAdd && a.fmt == c.fmt) anchor = &a;
      for (int b = 0; b < kBlitters; b++) {
        const bool own = b == kOurs || b == kOursSse2;
        auto it = rates_.find(Name(own ? c : *anchor, (Blitter)b));
        rate[b] = it == rates_.end() ? 0.0 : (double)it->second;
      }
      auto cell = [](double v) { return v > 0 ? std::to_string((int)(v + 0.5)) : std::string("-"); };
      auto ratio = [&](double ours, double other) {
        char text[32];
        if (other <= 0 || ours <= 0) return std::string("-");
        std::snprintf(text, sizeof text, "%.2f", ours / other);
        return std::string(text);
      };
      std::printf("| %s | %s | %s | %s | %s | %s | %s | %s | %s |\n", c.name, cell(rate[kOurs]).c_str(),
                  cell(rate[kOursSse2]).c_str(), cell(rate[kSdl]).c_str(), cell(rate[kPixman]).c_str(),
                  cell(rate[kMemcpy]).c_str(), ratio(rate[kOurs], rate[kSdl]).c_str(),
                  ratio(rate[kOurs], rate[kPixman]).c_str(), ratio(rate[kOursSse2], rate[kPixman]).c_str());
    }
  }
  static std::string Name(const Case& c, Blitter b) { return std::string(c.name) + " / " + kBlitterNames[b]; }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  softbench::UseFrameDrawState(SOFT_BLEND_COPY, 255);
  static const char* const kLevels[] = {"generic", "SSE2", "AVX2"};
  std::printf("software renderer level: %s\n", kLevels[(int)SoftSimdLevel()]);
  for (const Case& c : kCases)
    for (int b = 0; b < kBlitters; b++)
      if (Offers((Blitter)b, c.work))
        benchmark::RegisterBenchmark(AnchorReporter::Name(c, (Blitter)b).c_str(),
                                     [&c, b](benchmark::State& s) { RunCase(s, c, (Blitter)b); })
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
  benchmark::Initialize(&argc, argv);
  AnchorReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
