// The engine's byte-oriented LZ77 format used for compressed archive entries
// and embedded archive images. A block is: u32 decoded size, u32 packed size
// (including this 9-byte header), escape byte E, then codes: a byte other than
// E is a literal; E E is a literal E; E c (c != E) starts a back-reference
// (see lz.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t LZ_HEADER_SIZE = 9;
constexpr uint32_t LZ_MIN_MATCH = 4;
constexpr uint32_t LZ_MAX_MATCH = 8195;
constexpr uint32_t LZ_MAX_DISTANCE = 1u << 24;
// Result of UnpackLzData for a damaged block. No block can decode to this
// many bytes: the decoder refuses such a header.
constexpr uint32_t LZ_DAMAGED = 0xFFFFFFFFu;

// Decodes the block at `packed`, of which `available` bytes may be read, into
// `dest`, which must hold the decoded size. With a null `dest` only the
// header is checked and the decoded size returned. Returns the decoded size,
// or LZ_DAMAGED when the header is impossible (packed size below 9 or beyond
// `available`, or a decoded size no codes of that length can make), a code is cut short by the packed size, a back-reference
// reaches before the start of the output or past the decoded size, or a
// distance field claims 4 bytes; `dest` may then hold part of the output.
uint32_t UnpackLzData(const void* packed, void* dest, size_t available);
