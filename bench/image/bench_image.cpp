// Decoding a 640 x 480 PNG and JPEG through the engine's loader next to the
// same decode through libpng and libjpeg alone; after the run the ratio of
// engine time to library time is printed for each format.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "engine/image/base_image.h"
#include "engine/image/image_load.h"
#include "tests/engine/image/image_fixtures.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// A picture with smooth areas and detail, so both codecs do real work.
const Bytes& Picture() {
  static Bytes rgb = [] {
    Bytes p;
    p.reserve((size_t)kWidth * kHeight * 3);
    uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        seed = seed * 1103515245u + 12345u;
        uint8_t noise = (uint8_t)(seed >> 27);
        p.push_back((uint8_t)(x * 255 / kWidth + noise));
        p.push_back((uint8_t)(y * 255 / kHeight));
        p.push_back((uint8_t)(((x / 40 + y / 40) & 1) ? 200 : 40));
      }
    return p;
  }();
  return rgb;
}

const Bytes& PngFile() {
  static Bytes file = [] {
    std::vector<Bytes> rows;
    for (int y = 0; y < kHeight; ++y)
      rows.emplace_back(Picture().begin() + (ptrdiff_t)y * kWidth * 3, Picture().begin() + (ptrdiff_t)(y + 1) * kWidth * 3);
    return MakePng(kWidth, kHeight, PNG_COLOR_TYPE_RGB, 8, rows);
  }();
  return file;
}

const Bytes& JpegFile() {
  static Bytes file = MakeJpeg(kWidth, kHeight, 3, Picture(), false, 85);
  return file;
}

void EngineDecode(benchmark::State& state, const Bytes& file) {
  for (auto _ : state) {
    BASEIMAGE image;
    if (ImportBaseImage(nullptr, file.data(), (int)file.size(), 1, &image, 0) != 0) {
      state.SkipWithError("decode failed");
      return;
    }
    benchmark::DoNotOptimize(image.pixels);
    DisposeBaseImage(&image);
  }
}

struct MemoryInput {
  const Bytes* file;
  size_t position;
};

void ReadMemory(png_structp png, png_bytep out, png_size_t length) {
  MemoryInput* in = static_cast<MemoryInput*>(png_get_io_ptr(png));
  if (in->position + length > in->file->size()) png_error(png, "short");
  std::memcpy(out, in->file->data() + in->position, length);
  in->position += length;
}

void LibpngDecode(benchmark::State& state) {
  const Bytes& file = PngFile();
  std::vector<uint8_t> pixels((size_t)kWidth * kHeight * 3);
  std::vector<png_bytep> rows(kHeight);
  for (int y = 0; y < kHeight; ++y) rows[y] = pixels.data() + (size_t)y * kWidth * 3;
  for (auto _ : state) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    MemoryInput in{&file, 0};
    if (setjmp(png_jmpbuf(png))) {
      png_destroy_read_struct(&png, &info, nullptr);
      state.SkipWithError("libpng failed");
      return;
    }
    png_set_read_fn(png, &in, ReadMemory);
    png_read_info(png, info);
    png_set_strip_16(png);
    png_set_packing(png);
    png_set_bgr(png);
    png_read_update_info(png, info);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(pixels.data());
  }
}

void LibjpegDecode(benchmark::State& state) {
  const Bytes& file = JpegFile();
  std::vector<uint8_t> pixels((size_t)kWidth * kHeight * 3);
  for (auto _ : state) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), (unsigned long)file.size());
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = pixels.data() + (size_t)cinfo.output_scanline * kWidth * 3;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(pixels.data());
  }
}

void EnginePng(benchmark::State& state) { EngineDecode(state, PngFile()); }
void EngineJpeg(benchmark::State& state) { EngineDecode(state, JpegFile()); }

BENCHMARK(EnginePng)->Unit(benchmark::kMillisecond);
BENCHMARK(LibpngDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(EngineJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(LibjpegDecode)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    Ratio("PNG", "EnginePng", "LibpngDecode");
    Ratio("JPEG", "EngineJpeg", "LibjpegDecode");
  }

 private:
  void Ratio(const char* what, const std::string& engine, const std::string& library) const {
    auto e = times_.find(engine), l = times_.find(library);
    if (e == times_.end() || l == times_.end() || l->second <= 0) return;
    std::printf("%s 640x480: engine / library = %.2f\n", what, e->second / l->second);
  }
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
