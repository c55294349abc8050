// Encoder for the engine's LZ block format (engine/core/lz.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Packs `size` bytes into one block. The escape byte is the least frequent
// byte of the input; matches are found through a hash chain over the whole
// window the format can reach (16 MiB), longest match first.
std::vector<uint8_t> PackLzData(const uint8_t* data, size_t size);
