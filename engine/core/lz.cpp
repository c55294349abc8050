// Single forward pass over the codes; every read is held to the packed size
// and every write to the decoded size, so damaged data fails cleanly.
#include "engine/core/lz.h"

#include "engine/core/archive_format.h"

uint32_t UnpackLzData(const void* packed, void* dest, size_t available) {
  const uint8_t* in = static_cast<const uint8_t*>(packed);
  if (!in || available < LZ_HEADER_SIZE) return LZ_DAMAGED;
  uint32_t decoded = ReadLe32(in);
  uint32_t packed_size = ReadLe32(in + 4);
  if (decoded == LZ_DAMAGED || packed_size < LZ_HEADER_SIZE || packed_size > available) return LZ_DAMAGED;
  // The densest code, a longest back-reference, turns 4 bytes into 8195: a
  // header claiming more is damaged, and no caller allocates for it.
  if ((uint64_t)decoded * 4 > (uint64_t)(packed_size - LZ_HEADER_SIZE) * LZ_MAX_MATCH) return LZ_DAMAGED;
  if (!dest) return decoded;

  const uint8_t escape = in[8];
  uint8_t* out = static_cast<uint8_t*>(dest);
  uint32_t at = LZ_HEADER_SIZE;
  uint32_t written = 0;
  while (at < packed_size) {
    uint8_t b = in[at++];
    if (b != escape) {
      if (written == decoded) return LZ_DAMAGED;
      out[written++] = b;
      continue;
    }
    if (at == packed_size) return LZ_DAMAGED;
    uint8_t c = in[at++];
    if (c == escape) {
      if (written == decoded) return LZ_DAMAGED;
      out[written++] = escape;
      continue;
    }
    uint32_t code = c > escape ? c - 1u : c;
    uint32_t length = code >> 3;
    if (code & 4) {
      if (at == packed_size) return LZ_DAMAGED;
      length |= (uint32_t)in[at++] << 5;
    }
    length += LZ_MIN_MATCH;
    uint32_t field_bytes = (code & 3) + 1;
    if (field_bytes == 4 || packed_size - at < field_bytes) return LZ_DAMAGED;
    uint32_t distance = 0;
    for (uint32_t i = 0; i < field_bytes; ++i) distance |= (uint32_t)in[at++] << (8 * i);
    distance += 1;
    if (distance > written || length > decoded - written) return LZ_DAMAGED;
    // Forward byte copy: a distance shorter than the length repeats the tail.
    const uint8_t* from = out + written - distance;
    for (uint32_t i = 0; i < length; ++i) out[written + i] = from[i];
    written += length;
  }
  // Fewer bytes than the header promised would leave the caller's buffer
  // partly unwritten; treat that as damage too.
  if (written != decoded) return LZ_DAMAGED;
  return decoded;
}
