// The LZ decoder over arbitrary blocks, and the packer's encoder checked
// against it: whatever the encoder writes must decode to its input.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/core/lz.h"
#include "tools/packer/lz_pack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exact-size copies, so any read past the block is caught.
  std::vector<uint8_t> block(data, data + size);
  uint32_t decoded = UnpackLzData(block.data(), nullptr, block.size());
  if (decoded != LZ_DAMAGED && decoded <= (1u << 22)) {
    std::unique_ptr<uint8_t[]> out(new uint8_t[decoded ? decoded : 1]);  // exact size, not cleared
    UnpackLzData(block.data(), out.get(), block.size());
  }

  std::vector<uint8_t> packed = PackLzData(data, size);
  std::vector<uint8_t> back(size);
  if (UnpackLzData(packed.data(), back.data(), packed.size()) != size ||
      (size && std::memcmp(back.data(), data, size) != 0))
    std::abort();
  return 0;
}
