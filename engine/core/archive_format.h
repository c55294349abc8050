// The ".QVA" archive format as both the engine's reader and the packer tool
// see it: layout constants, the two cipher keys, the cipher itself and the
// upper-cased search names that name records are compared by. Header-only
// and free of engine services, so the packer links none of the engine.
//
// File layout (little-endian, every byte XORed with key[offset % 12]):
//   header (24 bytes at 0): "QV", u16 version (< 4), u32 header block size,
//     u32 data area offset, u32 header block offset, u32 entry table offset
//     and u32 directory table offset (both relative to the header block)
//   header block: name table at its byte 0, entry table, directory table
//   entry (40 bytes, 44 from version 2): u32 name record offset, u32
//     attributes, 3 x u64 FILETIME (created, accessed, written), u32 data
//     offset (directories: directory record offset), u32 size, [u32 packed
//     size or ARCHIVE_STORED]
//   directory record (16 bytes): u32 own entry offset (ARCHIVE_NO_PARENT for
//     the root; the reader ignores it), u32 parent record offset, u32 entry
//     count, u32 first entry offset
//   name record: u16 L, u16 parity, 4L bytes upper-cased name, 4L bytes name
//     as written, both NUL-padded with at least one NUL
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/byte_order.h"
#include "platform/win32/cp932.h"

constexpr uint32_t ARCHIVE_HEADER_SIZE = 24;
constexpr uint32_t ARCHIVE_DIR_RECORD_SIZE = 16;
constexpr uint32_t ARCHIVE_STORED = 0xFFFFFFFFu;     // packed size of an uncompressed entry
constexpr uint32_t ARCHIVE_NO_PARENT = 0xFFFFFFFFu;  // parent offset of the root record
constexpr uint32_t ARCHIVE_ATTR_DIRECTORY = 0x10u;
constexpr int ARCHIVE_FIRST_REJECTED_VERSION = 4;
constexpr int ARCHIVE_KEY_SIZE = 12;
// Longest name a record may hold; a longer path component never matches.
constexpr int ARCHIVE_NAME_MAX = 255;

inline uint32_t ArchiveEntrySize(int version) { return version >= 2 ? 44u : 40u; }

// ---- keys
// The key bytes are never stored as such: a fill (or the caller's key string)
// passes one fixed step per position. Step kinds: 0 complement, 1 rotate
// right by `arg` pulling the low bits of the previous fill byte in from the
// top, 2 XOR with `arg`.
namespace archive_key_detail {
struct Step {
  uint8_t kind;
  uint8_t arg;
};
constexpr uint8_t kFill[ARCHIVE_KEY_SIZE] = {0x56, 0x6F, 0x78, 0x51, 0x76, 0x61, 0x2D, 0x4B, 0x65, 0x79, 0x31, 0x37};
constexpr Step kSteps[ARCHIVE_KEY_SIZE] = {{0, 0}, {1, 3}, {2, 0xA7}, {1, 5}, {0, 0}, {2, 0x3C},
                                           {1, 2}, {2, 0xD1}, {0, 0}, {1, 6}, {2, 0x5E}, {1, 1}};
constexpr uint8_t kSecondFill = 0xC9;
}  // namespace archive_key_detail

// The first key: from `key_string` (repeated and cut to 12 bytes) when given
// and not empty, else from the fixed fill.
inline void MakeArchiveKey(const char* key_string, uint8_t key[ARCHIVE_KEY_SIZE]) {
  using namespace archive_key_detail;
  uint8_t base[ARCHIVE_KEY_SIZE];
  size_t n = key_string ? std::strlen(key_string) : 0;
  for (int i = 0; i < ARCHIVE_KEY_SIZE; ++i) base[i] = n ? (uint8_t)key_string[i % n] : kFill[i];
  for (int i = 0; i < ARCHIVE_KEY_SIZE; ++i) {
    uint8_t b = base[i];
    uint8_t previous = base[(i + ARCHIVE_KEY_SIZE - 1) % ARCHIVE_KEY_SIZE];
    switch (kSteps[i].kind) {
      case 0: key[i] = (uint8_t)~b; break;
      case 1: key[i] = (uint8_t)((b >> kSteps[i].arg) | (previous << (8 - kSteps[i].arg))); break;
      default: key[i] = (uint8_t)(b ^ kSteps[i].arg); break;
    }
  }
}

// The second key, tried when the first does not reveal the magic: all twelve
// bytes one value, taken as it is (no steps).
inline void MakeSecondArchiveKey(uint8_t key[ARCHIVE_KEY_SIZE]) {
  std::memset(key, archive_key_detail::kSecondFill, ARCHIVE_KEY_SIZE);
}

// XORs `n` bytes that sit at file offset `position` with the key; the same
// call enciphers and deciphers.
inline void CipherArchiveData(void* buffer, size_t n, uint64_t position, const uint8_t key[ARCHIVE_KEY_SIZE]) {
  uint8_t* p = static_cast<uint8_t*>(buffer);
  size_t k = (size_t)(position % ARCHIVE_KEY_SIZE);
  for (size_t i = 0; i < n; ++i) {
    p[i] ^= key[k];
    if (++k == ARCHIVE_KEY_SIZE) k = 0;
  }
}

// ---- names

// A name as name records hold it: upper-cased (a-z only, two-byte cp932
// characters copied whole), NUL-padded to `units` x 4 bytes with at least one
// NUL, and the 16-bit sum of its bytes.
struct ArchiveSearchName {
  uint16_t units;
  uint16_t parity;
  uint32_t length;  // bytes before the padding
  uint8_t upper[(ARCHIVE_NAME_MAX / 4 + 1) * 4];
};

// Builds the search name of the path component at `text` (it ends at NUL,
// "\" or "/"). Returns the bytes of `text` consumed, or -1 when the component
// is longer than ARCHIVE_NAME_MAX (such a name cannot be in an archive).
inline int MakeArchiveSearchName(const char* text, ArchiveSearchName* out) {
  const uint8_t* s = reinterpret_cast<const uint8_t*>(text);
  uint32_t n = 0;
  uint16_t sum = 0;
  std::memset(out->upper, 0, sizeof out->upper);
  while (s[n] && s[n] != '\\' && s[n] != '/') {
    if (n >= (uint32_t)ARCHIVE_NAME_MAX) return -1;
    uint8_t c = s[n];
    if (vox_win32::IsCp932LeadByte(c) && s[n + 1]) {
      if (n + 1 >= (uint32_t)ARCHIVE_NAME_MAX) return -1;
      out->upper[n] = c;
      out->upper[n + 1] = s[n + 1];
      sum = (uint16_t)(sum + c + s[n + 1]);
      n += 2;
      continue;
    }
    if (c >= 'a' && c <= 'z') c = (uint8_t)(c - 'a' + 'A');
    out->upper[n++] = c;
    sum = (uint16_t)(sum + c);
  }
  out->length = n;
  out->units = (uint16_t)((n + 4) / 4);
  out->parity = sum;
  return (int)n;
}
