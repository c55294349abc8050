// Clipboard text through the window functions: the size query and the
// bounded copy that never splits a two-byte character.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/core/window.h"

namespace {

TEST(WindowClipboardTest, SizeQueryAndBoundedCopy) {
  ASSERT_EQ(WriteClipboardText("192.168.0.1 あい"), 0);
  EXPECT_EQ(ReadClipboardText(nullptr, 0), (int)strlen("192.168.0.1 あい") + 1);
  char full[64];
  EXPECT_EQ(ReadClipboardText(full, sizeof full), 0);
  EXPECT_STREQ(full, "192.168.0.1 あい");

  const struct {
    size_t size;
    const char* want;
  } kCases[] = {{1, ""}, {4, "192"}, {13, "192.168.0.1 "}, {14, "192.168.0.1 "}, {15, "192.168.0.1 あ"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.size);
    char buffer[64];
    memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(ReadClipboardText(buffer, c.size), 0);
    EXPECT_STREQ(buffer, c.want);
    EXPECT_EQ(buffer[c.size], 'X');  // nothing written past the bound
  }
}

TEST(WindowClipboardTest, EmptyClipboardHasNoText) {
  ASSERT_EQ(WriteClipboardText(""), 0);
  char buffer[8];
  EXPECT_EQ(ReadClipboardText(buffer, sizeof buffer), -1);
  EXPECT_EQ(ReadClipboardText(nullptr, 0), -1);
}

TEST(WindowClipboardTest, LinesTravelAsCrLf) {
  ASSERT_EQ(WriteClipboardText("a\r\nb"), 0);
  char buffer[16];
  EXPECT_EQ(ReadClipboardText(buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "a\r\nb");
}

}  // namespace
