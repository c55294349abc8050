// High-score files as they come from disk: every record a file holds whole
// is read (the rest stay as they were), what is read survives being written
// and read again, and any score of any stored table finds its place without
// reaching outside the table. A name ends at its first NUL, as the table
// shows it.
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "game/hiscore.h"

namespace {

bool SameEntry(const hiscore_entry& a, const hiscore_entry& b) {
  return strncmp(a.name, b.name, sizeof a.name) == 0 && a.score == b.score && a.erased == b.erased &&
         a.chain == b.chain;
}

bool SameTable(const hiscore_table& a, const hiscore_table& b) {
  for (int i = 0; i < kHiscoreEntries; ++i)
    if (!SameEntry(a[i], b[i])) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);  // exact size: reads past it are caught
  hiscore_table table = default_hiscores();
  const hiscore_table untouched = table;
  const int read = decode_hiscores(bytes.data(), bytes.size(), &table);
  const size_t whole = size < 4 ? 0 : (size - 4) / 11;
  if (read != (int)(whole < (size_t)kHiscoreEntries ? whole : kHiscoreEntries)) __builtin_trap();
  for (int i = read; i < kHiscoreEntries; ++i) {
    if (!SameEntry(table[i], untouched[i])) __builtin_trap();  // not held: as it was
  }
  const auto written = encode_hiscores(table);
  hiscore_table again = default_hiscores();
  if (!is_hiscore_image(written.data(), written.size()) ||
      decode_hiscores(written.data(), written.size(), &again) != kHiscoreEntries || !SameTable(table, again))
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
