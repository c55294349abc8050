// Greedy LZ77 with one step of lazy evaluation: a match is taken unless the
// next position starts a longer one.
#include "tools/packer/lz_pack.h"

#include <stdexcept>

#include "base/byte_order.h"
#include "engine/core/archive_format.h"
#include "engine/core/lz.h"

namespace {

constexpr int kMaxHashBits = 16;
constexpr int kChainLimit = 128;
constexpr uint32_t kNone = 0xFFFFFFFFu;

struct Matcher {
  const uint8_t* data;
  size_t size;
  int hash_bits = 8;  // grows with the input up to kMaxHashBits, so small files stay cheap
  std::vector<uint32_t> head;
  std::vector<uint32_t> previous;

  Matcher(const uint8_t* d, size_t n) : data(d), size(n), previous(n, kNone) {
    while (hash_bits < kMaxHashBits && ((size_t)1 << hash_bits) < n) ++hash_bits;
    head.assign((size_t)1 << hash_bits, kNone);
  }

  uint32_t Hash4(const uint8_t* p) const {
    return (ReadLe32(p) * 2654435761u) >> (32 - hash_bits);
  }

  void Insert(size_t at) {
    if (at + LZ_MIN_MATCH > size) return;
    uint32_t h = Hash4(data + at);
    previous[at] = head[h];
    head[h] = (uint32_t)at;
  }

  // Longest earlier match at `at`; length 0 when none reaches LZ_MIN_MATCH.
  void Find(size_t at, uint32_t* length, uint32_t* distance) const {
    *length = 0;
    *distance = 0;
    if (at + LZ_MIN_MATCH > size) return;
    size_t limit = size - at;
    if (limit > LZ_MAX_MATCH) limit = LZ_MAX_MATCH;
    uint32_t candidate = head[Hash4(data + at)];
    for (int steps = 0; candidate != kNone && steps < kChainLimit; ++steps, candidate = previous[candidate]) {
      size_t d = at - candidate;
      if (d > LZ_MAX_DISTANCE) break;
      size_t n = 0;
      while (n < limit && data[candidate + n] == data[at + n]) ++n;
      if (n >= LZ_MIN_MATCH && n > *length) {
        *length = (uint32_t)n;
        *distance = (uint32_t)d;
        if (n == limit) break;
      }
    }
  }
};

void PutLiteral(std::vector<uint8_t>* out, uint8_t b, uint8_t escape) {
  out->push_back(b);
  if (b == escape) out->push_back(escape);
}

void PutReference(std::vector<uint8_t>* out, uint32_t length, uint32_t distance, uint8_t escape) {
  uint32_t code = length - LZ_MIN_MATCH;
  uint32_t field = distance - 1;
  uint32_t field_bytes = field < 0x100 ? 1 : field < 0x10000 ? 2 : 3;
  uint32_t c = ((code & 31) << 3) | (code > 31 ? 4 : 0) | (field_bytes - 1);
  // The decoder subtracts one from codes above E, so E itself is skipped.
  if (c >= escape) c += 1;
  out->push_back(escape);
  out->push_back((uint8_t)c);
  if (code > 31) out->push_back((uint8_t)(code >> 5));
  for (uint32_t i = 0; i < field_bytes; ++i) out->push_back((uint8_t)(field >> (8 * i)));
}

}  // namespace

std::vector<uint8_t> PackLzData(const uint8_t* data, size_t size) {
  if (size >= LZ_DAMAGED) throw std::length_error("input too large for one LZ block");
  size_t counts[256] = {};
  for (size_t i = 0; i < size; ++i) ++counts[data[i]];
  int escape = 0;
  for (int b = 1; b < 256; ++b)
    if (counts[b] < counts[escape]) escape = b;

  std::vector<uint8_t> out(LZ_HEADER_SIZE);
  out.reserve(LZ_HEADER_SIZE + size + size / 64 + 16);
  Matcher matcher(data, size);
  size_t at = 0;
  while (at < size) {
    uint32_t length, distance;
    matcher.Find(at, &length, &distance);
    if (length) {
      uint32_t next_length, next_distance;
      matcher.Insert(at);
      matcher.Find(at + 1, &next_length, &next_distance);
      if (next_length > length + 1) {
        PutLiteral(&out, data[at], (uint8_t)escape);
        ++at;
        continue;  // the longer match is found again from the next position
      }
      PutReference(&out, length, distance, (uint8_t)escape);
      for (size_t i = 1; i < length; ++i) matcher.Insert(at + i);
      at += length;
    } else {
      matcher.Insert(at);
      PutLiteral(&out, data[at], (uint8_t)escape);
      ++at;
    }
  }
  if (out.size() >= LZ_DAMAGED) throw std::length_error("packed block too large");
  WriteLe32(out.data(), (uint32_t)size);
  WriteLe32(out.data() + 4, (uint32_t)out.size());
  out[8] = (uint8_t)escape;
  return out;
}
