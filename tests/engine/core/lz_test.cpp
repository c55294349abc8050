// The LZ block decoder: the format's own small cases, round trips through the
// packer's encoder, and damaged blocks that must fail without touching memory
// outside the buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/core/archive_format.h"
#include "engine/core/lz.h"
#include "tools/packer/lz_pack.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Block(uint32_t decoded, uint8_t escape, const Bytes& codes) {
  Bytes b(9 + codes.size());
  WriteLe32(b.data(), decoded);
  WriteLe32(b.data() + 4, (uint32_t)b.size());
  b[8] = escape;
  std::copy(codes.begin(), codes.end(), b.begin() + 9);
  return b;
}

Bytes Unpack(const Bytes& block, uint32_t* result) {
  uint32_t size = UnpackLzData(block.data(), nullptr, block.size());
  Bytes out(size == LZ_DAMAGED ? 0 : size);
  *result = UnpackLzData(block.data(), out.data(), block.size());
  return out;
}

TEST(LzTest, SmallBlocksDecode) {
  struct Case {
    const char* what;
    uint32_t decoded;
    Bytes codes;
    Bytes expected;
  } cases[] = {
      {"no codes", 0, {}, {}},
      {"escaped escape", 3, {0x41, 0x10, 0x10, 0x42}, {0x41, 0x10, 0x42}},
      {"distance 1 repeats", 5, {0x61, 0x10, 0x00, 0x00}, {0x61, 0x61, 0x61, 0x61, 0x61}},
      // c' = (2 << 3) | 0: length code 2 (length 6), one distance byte 1 (distance 2)
      {"distance 2 overlap", 8, {0x61, 0x62, 0x10, 0x11, 0x01}, {0x61, 0x62, 0x61, 0x62, 0x61, 0x62, 0x61, 0x62}},
      // c = 0x1E > E: c' = 0x1D -> length code 3 | (length byte 1) << 5 = 35
      // (length 39), two distance bytes 3 (distance 4)
      {"length byte and 2-byte distance", 4 + 39, {1, 2, 3, 4, 0x10, 0x1E, 0x01, 0x03, 0x00}, {}},
  };
  for (auto& c : cases) {
    if (c.expected.empty() && c.decoded) {
      Bytes seed = {1, 2, 3, 4};
      for (uint32_t i = 0; i < 39; ++i) seed.push_back(seed[i]);
      c.expected = seed;
    }
    Bytes block = Block(c.decoded, 0x10, c.codes);
    EXPECT_EQ(UnpackLzData(block.data(), nullptr, block.size()), c.decoded) << c.what;
    uint32_t result;
    Bytes out = Unpack(block, &result);
    EXPECT_EQ(result, c.decoded) << c.what;
    EXPECT_EQ(out, c.expected) << c.what;
  }
}

void ExpectRoundTrip(const Bytes& data, const char* what) {
  Bytes packed = PackLzData(data.data(), data.size());
  ASSERT_GE(packed.size(), 9u);
  EXPECT_EQ(ReadLe32(packed.data() + 4), packed.size()) << what;
  uint32_t result;
  Bytes out = Unpack(packed, &result);
  EXPECT_EQ(result, data.size()) << what;
  EXPECT_TRUE(out == data) << what;
}

TEST(LzTest, EncoderRoundTrips) {
  const unsigned seed = 20261209;
  std::printf("LzTest seed %u\n", seed);
  std::mt19937 rng(seed);
  auto random_bytes = [&](size_t n, int alphabet) {
    Bytes b(n);
    for (auto& x : b) x = (uint8_t)(rng() % alphabet);
    return b;
  };
  ExpectRoundTrip({}, "empty");
  ExpectRoundTrip({7}, "one byte");
  ExpectRoundTrip(random_bytes(5000, 256), "random");
  ExpectRoundTrip(random_bytes(20000, 3), "small alphabet");
  ExpectRoundTrip(Bytes(100000, 0x00), "one value (longest matches)");

  // Every byte value present, the rarest (the escape) many times.
  Bytes all_values;
  for (int i = 0; i < 256 * 3; ++i) all_values.push_back((uint8_t)i);
  ExpectRoundTrip(all_values, "all byte values");
  Bytes escapes(3000, 0);
  for (size_t i = 0; i < escapes.size(); ++i) escapes[i] = (uint8_t)(i % 2 ? 0xE5 : i % 256);
  ExpectRoundTrip(escapes, "escape-heavy");

  // Matches of every interesting length: 4, 31/32/33 (the extra length
  // byte starts at 32), and the longest, 8195, plus one more.
  for (uint32_t length : {4u, 5u, 35u, 36u, 37u, 1000u, 8195u, 8196u, 20000u}) {
    Bytes head = random_bytes(300, 256);
    Bytes data = head;
    data.insert(data.end(), head.begin(), head.begin() + std::min<size_t>(length, head.size()));
    while (data.size() < 300 + length) data.push_back(data[data.size() - 300]);
    ExpectRoundTrip(data, "match length");
  }
  // Distances that need one, two and three bytes.
  for (size_t distance : {200u, 256u, 257u, 40000u, 65536u, 65537u, 300000u}) {
    Bytes data = random_bytes(distance, 256);
    Bytes repeat(data.begin(), data.begin() + std::min<size_t>(distance, 500));
    data.insert(data.end(), repeat.begin(), repeat.end());
    size_t unrepeated = PackLzData(data.data(), distance).size();
    size_t packed = PackLzData(data.data(), data.size()).size();
    EXPECT_LT(packed, unrepeated + 50) << "repeat at distance " << distance << " found";
    ExpectRoundTrip(data, "distance");
  }
}

TEST(LzTest, EscapeIsTheRarestByte) {
  Bytes data(1000, 'a');
  for (int b = 0; b < 256; ++b)
    if (b != 0x42) data.push_back((uint8_t)b);
  Bytes packed = PackLzData(data.data(), data.size());
  EXPECT_EQ(packed[8], 0x42);
}

TEST(LzTest, DamagedBlocksFail) {
  Bytes good = Block(5, 0x10, {0x61, 0x10, 0x00, 0x00});
  struct Case {
    const char* what;
    Bytes block;
    size_t available;  // 0: the block's length
  } cases[] = {
      {"shorter than a header", Bytes(good.begin(), good.begin() + 8), 0},
      {"packed size below 9", [&] { Bytes b = good; WriteLe32(b.data() + 4, 8); return b; }(), 0},
      {"packed size beyond the buffer", good, good.size() - 1},
      {"escape at the end", Block(1, 0x10, {0x10}), 0},
      {"length byte missing", Block(40, 0x10, {0x61, 0x10, 0x04}), 0},
      {"distance bytes missing", Block(40, 0x10, {0x61, 0x62, 0x10, 0x01, 0x00}), 0},
      {"distance size 3", Block(40, 0x10, {0x61, 0x10, 0x03, 0, 0, 0, 0}), 0},
      {"distance before the start", Block(6, 0x10, {0x61, 0x62, 0x10, 0x00, 0x02}), 0},
      {"reference with no output", Block(4, 0x10, {0x10, 0x00, 0x00}), 0},
      {"copy past the decoded size", Block(4, 0x10, {0x61, 0x10, 0x00, 0x00}), 0},
      {"literal past the decoded size", Block(1, 0x10, {0x61, 0x62}), 0},
      {"escaped literal past the decoded size", Block(0, 0x10, {0x10, 0x10}), 0},
      {"fewer bytes than declared", Block(9, 0x10, {0x61}), 0},
      {"decoded size of the failure value", Block(0xFFFFFFFFu, 0x10, {}), 0},
  };
  for (const Case& c : cases) {
    size_t available = c.available ? c.available : c.block.size();
    // The exact-size heap copies let the sanitizers see any stray access.
    std::unique_ptr<uint8_t[]> in(new uint8_t[available]);
    std::memcpy(in.get(), c.block.data(), std::min(available, c.block.size()));
    uint32_t header = available >= 4 ? ReadLe32(c.block.data()) : 0;
    uint32_t room = header == 0xFFFFFFFFu ? 0 : header;
    std::unique_ptr<uint8_t[]> out(new uint8_t[room + 1]);
    EXPECT_EQ(UnpackLzData(in.get(), out.get(), available), LZ_DAMAGED) << c.what;
  }
  EXPECT_EQ(UnpackLzData(nullptr, nullptr, 100), LZ_DAMAGED);
}

// Every prefix of a real block is either refused or decodes within bounds.
TEST(LzTest, TruncatedBlocksNeverOverrun) {
  Bytes data;
  for (int i = 0; i < 3000; ++i) data.push_back((uint8_t)((i * 7) % 50 + (i % 13 == 0 ? 0xE0 : 0)));
  Bytes packed = PackLzData(data.data(), data.size());
  for (size_t cut = 0; cut < packed.size(); cut += 7) {
    Bytes block(packed.begin(), packed.begin() + cut);
    if (cut >= 8) WriteLe32(block.data() + 4, (uint32_t)cut);
    std::unique_ptr<uint8_t[]> in(new uint8_t[cut ? cut : 1]);
    if (cut) std::memcpy(in.get(), block.data(), cut);
    std::unique_ptr<uint8_t[]> out(new uint8_t[data.size()]);
    EXPECT_EQ(UnpackLzData(in.get(), out.get(), cut), LZ_DAMAGED) << "cut at " << cut;
  }
}

}  // namespace
