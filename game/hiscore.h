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
// Reads the records a file image holds into the table, as the game has
// always read its file: the first 4 bytes are passed over unlooked-at (the
// magic), bytes after the 15th record are ignored, and a record the image
// does not hold whole keeps the table's entry. Returns the records read.
int decode_hiscores(const uint8_t* bytes, size_t size, hiscore_table* table);
// Whether a file image is one the game writes: 169 bytes with the magic.
bool is_hiscore_image(const uint8_t* bytes, size_t size);
std::array<uint8_t, kHiscoreFileSize> encode_hiscores(const hiscore_table& table);

// The file's table (decode_hiscores over the default table); a missing or
// unreadable file reads as the default table.
hiscore_table read_hiscore_file(const char* path = kHiscoreFile);
// Writes the whole file as every save is written (a synced temporary file
// renamed into place), so a failed write leaves the old file as it was.
// A file there that is not one the game writes (another magic, another
// length, unreadable) is first kept beside it under the first free name of
// "score.vsd.kept1", "score.vsd.kept2", ...; when it cannot be kept,
// nothing is written. A read-only file (or one this program may not write,
// or a folder) is left as it is, with no copy. False (the last error set)
// when the table was not saved.
bool write_hiscore_file(const hiscore_table& table, const char* path = kHiscoreFile);

// The place 0-4 a score takes in a mode's table (a tie goes above the stored
// entry), or -1 for none.
int hiscore_rank(const hiscore_table& table, int mode, int score);
// Puts an entry at a place of a mode's table; the entries from that place on
// move one place down and the fifth drops out. The name keeps its first 4
// bytes.
void insert_hiscore(hiscore_table* table, int mode, int place, const char* name, int score, int erased, int chain);
