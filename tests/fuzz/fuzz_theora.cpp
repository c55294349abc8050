// Theora open-path fuzzer: the input is a movie file served through a file
// layer over memory; an accepted stream is sought, stepped through its wrap
// and converted, then closed (its decoding thread joined).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "engine/core/log.h"
#include "engine/movie/theora_stream.h"

namespace {

struct MemoryFile {
  const uint8_t* data;
  size_t size, position;
};
MemoryFile g_file;

size_t Read(void* buffer, size_t size, size_t count, intptr_t) {
  if (size == 0) return 0;
  size_t n = std::min(count, (g_file.size - g_file.position) / size);
  std::memcpy(buffer, g_file.data + g_file.position, n * size);
  g_file.position += n * size;
  return n;
}
int Seek(intptr_t, int32_t offset, int origin) {
  int64_t base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? int64_t(g_file.position) : int64_t(g_file.size);
  int64_t to = base + offset;
  if (to < 0 || to > int64_t(g_file.size)) return -1;
  g_file.position = size_t(to);
  return 0;
}
int Eof(intptr_t) { return g_file.position >= g_file.size ? -1 : 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    SetLogOutput(0);
    BuildYuvToRgbTables();
    return true;
  }();
  if (!ready || size > (1u << 20)) return 0;
  g_file = {data, size, 0};
  FileLayer layer{};
  layer.read = Read;
  layer.seek = Seek;
  layer.eof = Eof;
  TheoraStream* stream = OpenTheoraStream(&layer, 1, 4);
  if (!stream) return 0;
  TheoraStreamInfo info;
  GetTheoraStreamInfo(stream, &info);
  SeekTheoraStream(stream, info.frame_count - 1);
  ConvertTheoraFrame(stream, 1, 0);
  StepTheoraStream(stream, 2);
  ConvertTheoraFrame(stream, 1, 0);
  SeekTheoraStream(stream, info.frame_count / 2);
  ConvertTheoraFrame(stream, 1, 0);
  CloseTheoraStream(stream);
  return 0;
}
