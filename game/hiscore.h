// The high-score tables of the three single-play modes, five places each, and
// their file "score.vsd": the magic "VDSC" and 15 records of 11 bytes
// (name 4, score 4, erased blocks 2, longest chain 1), little-endian, 169
// bytes in all. Records 0-4 are endless, 5-9 time trial, 10-14 break trial,
// best place first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr int kHiscoreModes = 3;
inline constexpr int kHiscorePlaces = 5;
inline constexpr int kHiscoreEntries = kHiscoreModes * kHiscorePlaces;
inline constexpr size_t kHiscoreFileSize = 4 + kHiscoreEntries * 11;
inline constexpr const char* kHiscoreFile = "score.vsd";

struct hiscore_entry {
  char name[5];  // up to 4 single-byte characters and a NUL
  int score;
  int erased;
  int chain;
};
using hiscore_table = std::array<hiscore_entry, kHiscoreEntries>;

// Every entry named "    " (four blanks) with zero score, erased and chain.
hiscore_table default_hiscores();
// The table of a file image; false (and the table untouched) unless it is
// exactly 169 bytes starting with the magic.
bool decode_hiscores(const uint8_t* bytes, size_t size, hiscore_table* table);
std::array<uint8_t, kHiscoreFileSize> encode_hiscores(const hiscore_table& table);

// The file's table; a missing, unreadable, short or foreign file reads as the
// default table.
hiscore_table read_hiscore_file(const char* path = kHiscoreFile);
// Writes the whole file through a temporary file renamed into place, so a
// failed write leaves the old file as it was. False when it could not be
// written.
bool write_hiscore_file(const hiscore_table& table, const char* path = kHiscoreFile);

// The place 0-4 a score takes in a mode's table (a tie goes above the stored
// entry), or -1 for none.
int hiscore_rank(const hiscore_table& table, int mode, int score);
// Puts an entry at a place of a mode's table; the entries from that place on
// move one place down and the fifth drops out. The name keeps its first 4
// bytes.
void insert_hiscore(hiscore_table* table, int mode, int place, const char* name, int score, int erased, int chain);
