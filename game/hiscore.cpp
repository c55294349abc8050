// High-score tables: the file image, ranking and insertion.
#include "game/hiscore.h"

#include <cstring>
#include <string>

#include "base/byte_order.h"
#include "game/game_files.h"

namespace {

constexpr char kMagic[4] = {'V', 'D', 'S', 'C'};
constexpr size_t kRecordSize = 11;

}  // namespace

hiscore_table default_hiscores() {
  hiscore_table table{};
  for (hiscore_entry& e : table) std::memcpy(e.name, "    ", 5);
  return table;
}

int decode_hiscores(const uint8_t* bytes, size_t size, hiscore_table* table) {
  int read = 0;
  for (hiscore_entry& e : *table) {
    const size_t at = 4 + (size_t)read * kRecordSize;
    if (at + kRecordSize > size) break;
    const uint8_t* r = bytes + at;
    std::memcpy(e.name, r, 4);
    e.name[4] = '\0';
    e.score = (int32_t)ReadLe32(r + 4);
    e.erased = ReadLe16(r + 8);
    e.chain = r[10];
    ++read;
  }
  return read;
}

bool is_hiscore_image(const uint8_t* bytes, size_t size) {
  return size == kHiscoreFileSize && std::memcmp(bytes, kMagic, 4) == 0;
}

std::array<uint8_t, kHiscoreFileSize> encode_hiscores(const hiscore_table& table) {
  std::array<uint8_t, kHiscoreFileSize> bytes{};
  std::memcpy(bytes.data(), kMagic, 4);
  uint8_t* r = bytes.data() + 4;
  for (const hiscore_entry& e : table) {
    // Bytes after a short name's NUL stay zero, so equal tables give equal
    // files.
    std::memcpy(r, e.name, strnlen(e.name, 4));
    WriteLe32(r + 4, (uint32_t)e.score);
    WriteLe16(r + 8, (uint16_t)e.erased);
    r[10] = (uint8_t)e.chain;
    r += kRecordSize;
  }
  return bytes;
}

hiscore_table read_hiscore_file(const char* path) {
  hiscore_table table = default_hiscores();
  std::string bytes;
  if (read_file_head(path, kHiscoreFileSize, &bytes) == 1)
    decode_hiscores(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &table);
  return table;
}

bool write_hiscore_file(const hiscore_table& table, const char* path) {
  // A file that cannot be replaced is not kept beside either: it stays as
  // it is, under its one name.
  if (!may_replace_file(path)) return false;
  // One byte more than a table tells a longer file from one of the game's.
  std::string old;
  const int found = read_file_head(path, kHiscoreFileSize + 1, &old);
  if (found != 0 && (found < 0 || !is_hiscore_image(reinterpret_cast<const uint8_t*>(old.data()), old.size())) &&
      !keep_file_beside(path))
    return false;
  auto bytes = encode_hiscores(table);
  return replace_whole_file(path, bytes.data(), bytes.size());
}

int hiscore_rank(const hiscore_table& table, int mode, int score) {
  if (mode < 0 || mode >= kHiscoreModes) return -1;
  for (int r = 0; r < kHiscorePlaces; ++r)
    if (score >= table[mode * kHiscorePlaces + r].score) return r;
  return -1;
}

void insert_hiscore(hiscore_table* table, int mode, int place, const char* name, int score, int erased, int chain) {
  if (mode < 0 || mode >= kHiscoreModes || place < 0 || place >= kHiscorePlaces) return;
  hiscore_entry* block = table->data() + mode * kHiscorePlaces;
  for (int r = kHiscorePlaces - 1; r > place; --r) block[r] = block[r - 1];
  hiscore_entry& e = block[place];
  std::memset(e.name, 0, sizeof e.name);
  if (name) std::memcpy(e.name, name, strnlen(name, 4));
  e.score = score;
  e.erased = erased & 0xFFFF;
  e.chain = chain & 0xFF;
}
