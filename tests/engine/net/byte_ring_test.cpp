// The socket module's byte ring: growth keeps the held bytes in order,
// puts and takes wrap at the end, peeks leave the ring alone, and a size that
// cannot be had leaves the ring as it was.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "engine/core/alloc.h"
#include "engine/net/net.h"

namespace {

class ByteRingTest : public ::testing::Test {
 protected:
  // A ring of capacity 16 whose `bytes` start at offset `read`.
  void Make(int32_t read, const std::string& bytes) {
    ring_ = ByteRing{static_cast<uint8_t*>(VOX_ALLOC(16)), read, 0, 0, 16};
    memset(ring_.buffer, '.', 16);
    for (size_t i = 0; i < bytes.size(); i++) ring_.buffer[(read + i) % 16] = (uint8_t)bytes[i];
    ring_.held = (int32_t)bytes.size();
    ring_.write = (int32_t)((read + bytes.size()) % 16);
  }
  std::string Take(int32_t n, int peek = 0) {
    std::string out((size_t)n, '\0');
    EXPECT_EQ(ByteRingTake(&ring_, out.data(), n, peek), 0);
    return out;
  }
  void TearDown() override { ByteRingRelease(&ring_); }
  ByteRing ring_{};
};

TEST_F(ByteRingTest, GrowingMovesTheWrappedBytesInOrderToTheStartOfABiggerBuffer) {
  Make(12, "ABCDEFGH");
  ASSERT_EQ(ByteRingReserve(&ring_, 20), 0);
  EXPECT_EQ(ring_.capacity, 1028);
  EXPECT_EQ(ring_.read, 0);
  EXPECT_EQ(ring_.write, 8);
  EXPECT_EQ(Take(8), "ABCDEFGH");
  ASSERT_EQ(ByteRingReserve(&ring_, 1028), 0);  // fits: nothing moves
  EXPECT_EQ(ring_.capacity, 1028);
}

TEST_F(ByteRingTest, PutsAndTakesWrapAtTheEndAndPeeksLeaveTheRingAlone) {
  Make(12, "");
  ASSERT_EQ(ByteRingPut(&ring_, "0123456789", 10), 0);
  EXPECT_EQ(ring_.capacity, 16);
  EXPECT_EQ(ring_.write, 6);
  EXPECT_EQ(Take(10, 1), "0123456789");
  EXPECT_EQ(ByteRingUsed(&ring_), 10);
  EXPECT_EQ(ByteRingSpace(&ring_), 6);
  EXPECT_EQ(Take(4), "0123");
  EXPECT_EQ(ring_.read, 0);
  EXPECT_EQ(Take(6), "456789");
  char byte;
  EXPECT_EQ(ByteRingTake(&ring_, &byte, 1, 0), -1);
  EXPECT_EQ(ByteRingTake(&ring_, &byte, -1, 0), -1);
}

TEST_F(ByteRingTest, ASizeThatCannotBeHadLeavesTheHeldBytes) {
  Make(12, "ABCDEFGH");
  EXPECT_EQ(ByteRingReserve(&ring_, -1), -1);
  EXPECT_EQ(ByteRingReserve(&ring_, INT32_MAX), -1);
  EXPECT_EQ(ByteRingPut(&ring_, "x", INT32_MAX - 4), -1);
  EXPECT_EQ(ring_.capacity, 16);
  EXPECT_EQ(Take(8), "ABCDEFGH");
}

}  // namespace
