// An opponent plug-in that misbehaves on purpose, for the tests of the
// computer side and the character screen. Its behaviour is set through
// extra exports:
//   test_configure(mode, answer, thinking_time)
//     mode 0: answer `answer` at once
//     mode 1: answer out of range, a different wild value each think
//     mode 2: never answer (the search never returns)
//     mode 3: answer `answer` once test_release() has been called
//   test_started() / test_finished(): searches begun and ended so far;
//   test_inits(): calls of init.
// Its resources: a name of 40 bytes with a two-byte character across byte
// 31, a description of four lines ended in CR, LF and CR LF, and a sound
// (type 26); no pictures. Built a second time without think_set, as a
// module that lacks an export.
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>

#include "opponents/plugin_api.h"

#define TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::atomic<int32_t> mode{0}, answer{0}, thinking{0};
std::atomic<int32_t> started{0}, finished{0}, inits{0};
std::atomic<bool> released{false};

const int32_t kWild[] = {-5, 99, INT_MIN, INT_MAX, 22, -1, 1000000, 21, 6, 17};

// "ABCD...abcd" (30 bytes), then "あ" in code page 932 across bytes 30-31,
// then 8 more bytes.
const char kName[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcd\x82\xa0" "efghijkl";
const char kDescription[] = "line one\rline two\nline three\r\nline four";

// A short WAVE of silence: 16-bit mono at 8000 Hz.
struct Wave {
  unsigned char bytes[44 + 1600] = {};
  Wave() {
    auto put = [this](int at, uint32_t v, int n) {
      for (int i = 0; i < n; ++i) bytes[at + i] = (unsigned char)(v >> (8 * i));
    };
    std::memcpy(bytes, "RIFF", 4);
    put(4, sizeof bytes - 8, 4);
    std::memcpy(bytes + 8, "WAVEfmt ", 8);
    put(16, 16, 4);
    put(20, 1, 2);
    put(22, 1, 2);
    put(24, 8000, 4);
    put(28, 16000, 4);
    put(32, 2, 2);
    put(34, 16, 2);
    std::memcpy(bytes + 36, "data", 4);
    put(40, 1600, 4);
  }
};
const Wave kWave;

}  // namespace

TEST_EXPORT void test_configure(int32_t m, int32_t a, int32_t t) {
  mode = m;
  answer = a;
  thinking = t;
}
TEST_EXPORT void test_release() { released = true; }
TEST_EXPORT int32_t test_started() { return started; }
TEST_EXPORT int32_t test_finished() { return finished; }
TEST_EXPORT int32_t test_inits() { return inits; }

TEST_EXPORT uint8_t init(int32_t, int32_t, const BlockView* const*, const int32_t (*)[2], const uint8_t*,
                         const int32_t*) {
  ++inits;
  return 1;
}

#ifndef TEST_OPPONENT_WITHOUT_THINK_SET
TEST_EXPORT uint32_t think_set(void* decision) {
  const int n = started++;
  int32_t value = answer;
  switch (mode) {
    case 1: value = kWild[n % (int)(sizeof kWild / sizeof kWild[0])]; break;
    case 2:
      for (;;) pause();
    case 3:
      while (!released) usleep(1000);
      break;
  }
  *static_cast<int32_t*>(decision) = value;
  ++finished;
  return 0;
}
#endif

TEST_EXPORT int32_t get_thinking_time() { return thinking; }
TEST_EXPORT int32_t get_miss_percent() { return 0; }
TEST_EXPORT const char* get_graphic_name() { return "IMAGE"; }
TEST_EXPORT const char* get_face_name() { return "FACE"; }
TEST_EXPORT const char* get_chara_name() { return "NAME"; }
TEST_EXPORT const char* get_chara_descript() { return "DESCRIPT"; }

TEST_EXPORT const void* VoxModuleResource(const char* name, const char* type, uint32_t* size) {
  struct Entry {
    const char* name;
    uintptr_t type;
    const void* bytes;
    uint32_t size;
  };
  const Entry entries[] = {
      {"NAME", kOpponentTextType, kName, sizeof kName - 1},
      {"DESCRIPT", kOpponentTextType, kDescription, sizeof kDescription - 1},
      {"VOICE", 26, kWave.bytes, sizeof kWave.bytes},
  };
  *size = 0;
  if ((uintptr_t)name >> 16 == 0 || (uintptr_t)type >> 16 != 0) return nullptr;
  for (const Entry& e : entries)
    if ((uintptr_t)type == e.type && std::strcmp(name, e.name) == 0) {
      *size = e.size;
      return e.bytes;
    }
  return nullptr;
}
