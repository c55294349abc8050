// Writes ".QVA" archives (format in engine/core/archive_format.h) from a tree
// held in memory. Names are code page 932 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class QvaPacking { kStored, kLz, kSmaller };  // kSmaller: LZ only when it saves bytes
enum class QvaKey { kFirst, kSecond };

struct QvaNode {
  std::string name;  // as written; empty for the root
  bool is_directory = false;
  uint32_t attributes = 0;  // 0: FILE_ATTRIBUTE_ARCHIVE, or the directory bit for folders
  uint64_t created = 0, accessed = 0, written = 0;  // FILETIME (100 ns since 1601, UTC)
  std::vector<uint8_t> data;
  QvaPacking packing = QvaPacking::kSmaller;
  std::vector<QvaNode> children;
};

struct QvaOptions {
  // 0 and 1 write 40-byte entries and store every file; 2 and above add the
  // packed size and honour `packing`. The number itself is written as given.
  int version = 2;
  QvaKey key = QvaKey::kFirst;
  const char* key_string = nullptr;  // first key from this text instead of the fill
};

// Builds the archive of `root`'s children. Returns false with `error` set on
// a name that a record cannot hold (empty, longer than ARCHIVE_NAME_MAX, or
// holding a separator or a NUL) or an archive beyond 4 GiB.
bool BuildQvaArchive(const QvaNode& root, const QvaOptions& options, std::vector<uint8_t>* out, std::string* error);

// FILETIME of a POSIX time.
uint64_t FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds);
