// Memory streams (element counting, the partial last element, seek clamps)
// and a file stream reading the same bytes through the file layer.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/core/archive.h"
#include "engine/core/file.h"
#include "engine/core/stream.h"
#include "tests/support/engine_fixture.h"

namespace {

const uint8_t kTen[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};

TEST(StreamTest, MemoryReadCountsWholeElementsThenTheTail) {
  StreamData s;
  ASSERT_EQ(OpenMemStream(&s, kTen, sizeof kTen), 0);
  uint8_t buffer[12] = {};
  EXPECT_EQ(s.ops.read(buffer, 4, 3, s.data), 2u);
  EXPECT_EQ(s.ops.tell(s.data), 8);
  EXPECT_EQ(std::memcmp(buffer, kTen, 8), 0);
  EXPECT_EQ(s.ops.eof(s.data), 0);

  std::memset(buffer, 0xAA, sizeof buffer);
  EXPECT_EQ(s.ops.read(buffer, 4, 1, s.data), 1u);  // the last 2 bytes count as one element
  EXPECT_EQ(buffer[0], 8);
  EXPECT_EQ(buffer[1], 9);
  EXPECT_EQ(buffer[2], 0xAA);
  EXPECT_EQ(s.ops.tell(s.data), 10);
  EXPECT_EQ(s.ops.eof(s.data), 0);

  EXPECT_EQ(s.ops.read(buffer, 4, 1, s.data), 0u);
  EXPECT_NE(s.ops.eof(s.data), 0);
  EXPECT_EQ(s.ops.idle(s.data), 1);
  EXPECT_EQ(s.ops.close(s.data), 0);
}

TEST(StreamTest, MemorySeekClampsAndClearsTheEndFlag) {
  MemSrc* src = OpenMemSrc(kTen, sizeof kTen);
  ASSERT_NE(src, nullptr);
  intptr_t h = reinterpret_cast<intptr_t>(src);
  struct Case {
    int32_t offset;
    int origin;
    int64_t expected;
  } cases[] = {{-5, 0, 0}, {3, 0, 3}, {-3, 1, 7}, {-100, 1, 0}, {-1, 2, 9}, {5, 2, 10}, {100, 0, 10}};
  for (const Case& c : cases) {
    uint8_t b;
    MemSrcSeek(h, 10, 0);
    MemSrcRead(&b, 1, 1, h);  // sets the end flag; the position stays at 10
    ASSERT_NE(MemSrcEof(h), 0);
    EXPECT_EQ(MemSrcSeek(h, c.offset, c.origin), 0);
    EXPECT_EQ(MemSrcTell(h), c.expected) << c.offset << " from " << c.origin;
    EXPECT_EQ(MemSrcEof(h), 0);
  }
  CloseMemSrc(h);
}

TEST(StreamTest, MemoryWriteNeverWritesAPartialElement) {
  uint8_t block[10] = {};
  MemSrc* src = OpenMemSrc(block, sizeof block);
  intptr_t h = reinterpret_cast<intptr_t>(src);
  const uint8_t data[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  EXPECT_EQ(MemSrcWrite(data, 4, 3, h), 2u);
  EXPECT_EQ(MemSrcWrite(data, 4, 1, h), 0u);
  EXPECT_EQ(MemSrcTell(h), 8);
  EXPECT_EQ(block[7], 8);
  EXPECT_EQ(block[8], 0);
  CloseMemSrc(h);
}

using FileStreamTest = FileLayerTestBase;

TEST_F(FileStreamTest, FileStreamReadsThroughTheLayer) {
  WriteFile("data.bin", std::string(reinterpret_cast<const char*>(kTen), sizeof kTen));
  StreamData s;
  ASSERT_EQ(OpenFileStream(&s, "data.bin"), 0);
  EXPECT_EQ(s.ops.read, GetFileStreamOps()->read);
  uint8_t buffer[10];
  EXPECT_EQ(s.ops.read(buffer, 4, 3, s.data), 2u);
  EXPECT_EQ(std::memcmp(buffer, kTen, 8), 0);
  EXPECT_EQ(s.ops.seek(s.data, 1, 0), 0);
  EXPECT_EQ(s.ops.tell(s.data), 1);
  EXPECT_EQ(s.ops.idle(s.data), 1);
  EXPECT_EQ(s.ops.close(s.data), 0);
  EXPECT_EQ(OpenFileStream(&s, "missing.bin"), -1);
}

}  // namespace
