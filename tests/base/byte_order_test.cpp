// Numbers in bytes: each width in each order lands on the bytes the formats
// name, and reads back from them, whatever the machine's own order.
#include <gtest/gtest.h>

#include <cstring>

#include "base/byte_order.h"

namespace {

TEST(ByteOrder, LittleEndianPutsTheLeastSignificantByteFirst) {
  const uint8_t bytes[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0xF8};
  EXPECT_EQ(ReadLe16(bytes), 0x0201u);
  EXPECT_EQ(ReadLe24(bytes), 0x030201u);
  EXPECT_EQ(ReadLe32(bytes), 0x04030201u);
  EXPECT_EQ(ReadLe64(bytes), 0xF807060504030201ull);

  uint8_t out[8] = {};
  WriteLe16(out, 0x0201);
  EXPECT_EQ(std::memcmp(out, bytes, 2), 0);
  WriteLe24(out, 0xFF030201u);  // the top byte is not written
  EXPECT_EQ(std::memcmp(out, bytes, 3), 0);
  EXPECT_EQ(out[3], 0);
  WriteLe32(out, 0x04030201u);
  EXPECT_EQ(std::memcmp(out, bytes, 4), 0);
  WriteLe64(out, 0xF807060504030201ull);
  EXPECT_EQ(std::memcmp(out, bytes, 8), 0);
}

TEST(ByteOrder, BigEndianPutsTheMostSignificantByteFirst) {
  const uint8_t bytes[4] = {0xF1, 0x02, 0x03, 0x84};
  EXPECT_EQ(ReadBe16(bytes), 0xF102u);
  EXPECT_EQ(ReadBe32(bytes), 0xF1020384u);

  uint8_t out[4] = {};
  WriteBe16(out, 0xF102);
  EXPECT_EQ(std::memcmp(out, bytes, 2), 0);
  WriteBe32(out, 0xF1020384u);
  EXPECT_EQ(std::memcmp(out, bytes, 4), 0);
}

}  // namespace
