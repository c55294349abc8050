// High-score files as they come from disk: a file is taken whole or not at
// all, what is taken survives being written and read again, and any score of
// any stored table finds its place without reaching outside the table. A
// name ends at its first NUL, as the table shows it.
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "game/hiscore.h"

namespace {

bool SameTable(const hiscore_table& a, const hiscore_table& b) {
  for (int i = 0; i < kHiscoreEntries; ++i) {
    if (strncmp(a[i].name, b[i].name, sizeof a[i].name) != 0 || a[i].score != b[i].score ||
        a[i].erased != b[i].erased || a[i].chain != b[i].chain)
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);  // exact size: reads past it are caught
  hiscore_table table = default_hiscores();
  const hiscore_table untouched = table;
  if (!decode_hiscores(bytes.data(), bytes.size(), &table)) {
    if (!SameTable(table, untouched)) __builtin_trap();  // a refused file changes nothing
    return 0;
  }
  if (size != kHiscoreFileSize) __builtin_trap();
  const auto written = encode_hiscores(table);
  hiscore_table again = default_hiscores();
  if (!decode_hiscores(written.data(), written.size(), &again) || !SameTable(table, again))
    __builtin_trap();
  for (int mode = 0; mode < kHiscoreModes; ++mode) {
    const int last = table[mode * kHiscorePlaces + 4].score;
    for (int score : {table[0].score, last == INT_MAX ? last : last + 1, 0, -1}) {
      const int place = hiscore_rank(table, mode, score);
      if (place < -1 || place >= kHiscorePlaces) __builtin_trap();
      if (place >= 0) insert_hiscore(&again, mode, place, "ABCDEFG", score, 1, 2);
    }
  }
  return 0;
}
