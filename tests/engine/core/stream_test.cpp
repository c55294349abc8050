// Memory and file streams over the same bytes: whole elements, the short read
// at the end reported alike, seek clamps.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/core/archive.h"
#include "engine/core/file.h"
#include "engine/core/stream.h"
#include "tests/support/engine_fixture.h"

namespace {

const uint8_t kTen[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};

using FileStreamTest = FileLayerTestBase;

// A short read is a short read whichever stream serves it: the element the
// bytes left cannot fill is neither counted nor taken.
TEST_F(FileStreamTest, MemoryAndFileStreamsReportShortReadsAlike) {
  WriteFile("data.bin", std::string(reinterpret_cast<const char*>(kTen), sizeof kTen));
  StreamData memory, file;
  ASSERT_EQ(OpenMemStream(&memory, kTen, sizeof kTen), 0);
  ASSERT_EQ(OpenFileStream(&file, "data.bin"), 0);
  for (StreamData* s : {&memory, &file}) {
    SCOPED_TRACE(s == &memory ? "memory" : "file");
    uint8_t buffer[12] = {};
    EXPECT_EQ(s->ops.read(buffer, 4, 3, s->data), 2u);
    EXPECT_EQ(s->ops.tell(s->data), 8);
    EXPECT_EQ(std::memcmp(buffer, kTen, 8), 0);
    EXPECT_EQ(s->ops.eof(s->data), 0);
    // Two bytes left: not one element of four.
    EXPECT_EQ(s->ops.read(buffer, 4, 1, s->data), 0u);
    EXPECT_EQ(s->ops.tell(s->data), 8);
    EXPECT_NE(s->ops.eof(s->data), 0);
    // In bytes, the tail is there.
    EXPECT_EQ(s->ops.read(buffer, 1, 5, s->data), 2u);
    EXPECT_EQ(buffer[1], 9);
    EXPECT_EQ(s->ops.tell(s->data), 10);
    EXPECT_EQ(s->ops.read(buffer, 1, 1, s->data), 0u);
    EXPECT_NE(s->ops.eof(s->data), 0);
    EXPECT_EQ(s->ops.idle(s->data), 1);
    EXPECT_EQ(s->ops.close(s->data), 0);
  }
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
