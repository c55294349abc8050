// The file layer: full paths, the 512 open-file slots, refusal of handles it
// did not hand out, finds, and replacing the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/archive.h"
#include "engine/core/file.h"
#include "tests/support/engine_fixture.h"

namespace {

std::string Resolve(const char* relative, const char* base, bool plain = false) {
  char out[FILE_PATH_SIZE];
  int r = plain ? ResolveFullPathPlain(relative, out, sizeof out, base) : ResolveFullPath(relative, out, sizeof out, base);
  return r == 0 ? std::string(out) : "<failed>";
}

TEST(ResolveFullPathTest, WindowsRules) {
  struct Case {
    const char* relative;
    const char* base;
    const char* expected;
  } cases[] = {
      {"images\\a.png", "C:\\game", "C:\\game\\images\\a.png"},
      {"..\\x", "C:\\game", "C:\\x"},
      {"\\y", "C:\\game", "C:\\y"},
      {"/y", "C:\\game", "C:\\y"},
      {"D:z", "C:\\game", "D:\\z"},
      {"D:\\z\\..\\w", "C:\\game", "D:\\w"},
      {"a\\.\\b\\..\\c", "C:\\game", "C:\\game\\a\\c"},
      {"a//b/", "C:\\game\\", "C:\\game\\a\\b"},
      {"..\\..\\..\\x", "C:\\game", "C:\\x"},
      {"images\\a.png", "C:\\", "C:\\images\\a.png"},
      {"\\\\server\\share\\f", "C:\\game", "\\\\server\\share\\f"},
      {nullptr, "C:\\game", "C:\\game"},
      // A POSIX base: its root stands where a drive would.
      {"images\\a.png", "/home/game", "/home/game/images/a.png"},
      {"\\y", "/home/game", "/y"},
      {"..\\..\\..\\x", "/home/game", "/x"},
      {"a/./b", "/", "/a/b"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Resolve(c.relative, c.base), c.expected) << (c.relative ? c.relative : "(null)") << " on " << c.base;
}

TEST(ResolveFullPathTest, PlainHasNoNetworkPaths) {
  EXPECT_EQ(Resolve("\\\\server\\f", "C:\\game", true), "C:\\server\\f");
  EXPECT_EQ(Resolve("tmp\\f", "C:\\game", true), "C:\\game\\tmp\\f");
}

TEST(ResolveFullPathTest, TwoByteCharacterEndingInBackslashIsOneComponent) {
  // 0x83 0x5C is one character whose second byte is the backslash code.
  EXPECT_EQ(Resolve("\x83\x5C\\b", "C:\\game"), "C:\\game\\\x83\x5C\\b");
  EXPECT_EQ(Resolve("\x83\x5C\\..\\b", "C:\\game"), "C:\\game\\b");
  EXPECT_EQ(Resolve("x\\..", "C:\\\x83\x5C"), "C:\\\x83\x5C");
  EXPECT_EQ(Resolve("b", "C:\\\x83\x5C"), "C:\\\x83\x5C\\b");
}

TEST(ResolveFullPathTest, OutputIsBounded) {
  char out[12];
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(ResolveFullPath("images\\a.png", out, sizeof out, "C:\\game"), -1);
  EXPECT_LT(std::strlen(out), sizeof out);
  EXPECT_EQ(ResolveFullPath("a", out, sizeof out, "C:\\game"), 0);
  EXPECT_STREQ(out, "C:\\game\\a");
  EXPECT_EQ(ResolveFullPath("a", out, 0, "C:\\game"), -1);
}

using FileLayerTest = FileLayerTestBase;

TEST_F(FileLayerTest, RelativePathsResolveAgainstTheCurrentFolder) {
  char current[FILE_DIR_BUFFER];
  ASSERT_EQ(FsGetDir(current), 0);
  char out[FILE_PATH_SIZE];
  ASSERT_EQ(ResolveFullPath("a.txt", out, sizeof out, nullptr), 0);
  EXPECT_EQ(std::string(out), std::string(current) + "\\a.txt");
}

TEST_F(FileLayerTest, OpenReadsAPlainFile) {
  WriteFile("sub/data.txt", "hello");
  intptr_t f = FsOpen("sub\\data.txt");
  ASSERT_NE(f, 0);
  EXPECT_EQ((uint32_t)f & 0xF0000000u, FILE_HANDLE_TAG);
  char buffer[8] = {};
  EXPECT_EQ(FsRead(buffer, 1, 8, f), 5u);
  EXPECT_STREQ(buffer, "hello");
  EXPECT_EQ(FsRead(buffer, 1, 1, f), 0u);
  EXPECT_EQ(FsEof(f), -1);
  EXPECT_EQ(FsClose(f), 0);
  EXPECT_EQ(FsOpen("sub\\missing.txt"), 0);
}

TEST_F(FileLayerTest, The513thOpenFailsAndAClosedSlotIsReused) {
  WriteFile("f.txt", "x");
  std::vector<intptr_t> handles;
  for (int i = 0; i < MAX_OPEN_FILES; ++i) {
    intptr_t h = FsOpen("f.txt");
    ASSERT_NE(h, 0) << "open " << i;
    handles.push_back(h);
  }
  EXPECT_EQ(FsOpen("f.txt"), 0);
  intptr_t freed = handles[100];
  EXPECT_EQ(FsClose(freed), 0);
  intptr_t again = FsOpen("f.txt");
  EXPECT_EQ(again, freed);
  handles[100] = again;
  for (intptr_t h : handles) EXPECT_EQ(FsClose(h), 0);
}

TEST_F(FileLayerTest, HandlesNotHandedOutAreRefused) {
  WriteFile("f.txt", "x");
  intptr_t closed = FsOpen("f.txt");
  ASSERT_NE(closed, 0);
  ASSERT_EQ(FsClose(closed), 0);
  const intptr_t bad[] = {0, 1, -1, closed, (intptr_t)(FILE_HANDLE_TAG | 512u), (intptr_t)(FILE_HANDLE_TAG | 0x0FFFFFFFu),
                          (intptr_t)0xE0000001u, (intptr_t)0x1F0000000LL};
  char buffer[4];
  for (intptr_t h : bad) {
    EXPECT_EQ(FsClose(h), -1) << std::hex << h;
    EXPECT_EQ(FsTell(h), -1) << std::hex << h;
    EXPECT_EQ(FsSeek(h, 0, 0), -1) << std::hex << h;
    EXPECT_EQ(FsRead(buffer, 1, 4, h), 0u) << std::hex << h;
    EXPECT_EQ(FsEof(h), -1) << std::hex << h;
    EXPECT_EQ(FsIsIdle(h), -1) << std::hex << h;
  }
}

TEST_F(FileLayerTest, FindListsAFolderAndReportsNoMatch) {
  WriteFile("list/one.txt", "1");
  WriteFile("list/two.txt", "22");
  EXPECT_EQ(FsFindFirst("list\\*.bmp", nullptr), -1);
  FileInfo info;
  intptr_t find = FsFindFirst("list\\*.txt", &info);
  ASSERT_NE(find, -1);
  std::vector<std::string> names;
  do names.push_back(info.name);
  while (FsFindNext(find, &info) == 0);
  EXPECT_EQ(FsFindClose(find), 0);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"one.txt", "two.txt"}));
}

namespace replaced {
int opens;
intptr_t Open(const char*, int, int, int) { return ++opens, 77; }
int Close(intptr_t) { return 0; }
int64_t Tell(intptr_t) { return 5; }
int Seek(intptr_t, int32_t, int) { return 0; }
size_t Read(void*, size_t, size_t count, intptr_t) { return count; }
int Eof(intptr_t) { return 0; }
int Idle(intptr_t) { return 1; }
int SetDir(const char*) { return 0; }
int GetDir(char* buffer) { return std::strcpy(buffer, "Z:\\replaced"), 0; }
intptr_t FindFirst(const char*, FileInfo*) { return -1; }
int FindNext(intptr_t, FileInfo*) { return -1; }
int FindClose(intptr_t) { return 0; }
}  // namespace replaced

TEST_F(FileLayerTest, ACallersTableReplacesTheLayer) {
  using namespace replaced;
  const FileLayer table = {Open, Close, Tell, Seek, Read, Eof, Idle, SetDir, GetDir, FindFirst, FindNext, FindClose};
  SetFileLayer(&table);
  EXPECT_EQ(FsOpen("anything"), 77);
  EXPECT_EQ(opens, 1);
  EXPECT_EQ(FsTell(77), 5);
  char out[FILE_PATH_SIZE];
  ASSERT_EQ(ResolveFullPath("a", out, sizeof out, nullptr), 0);
  EXPECT_STREQ(out, "Z:\\replaced\\a");
  SetFileLayer(nullptr);
  EXPECT_EQ(FsOpen("anything"), 0);

  // Empty slots keep the default operations.
  const FileLayer partial = {Open, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  SetFileLayer(&partial);
  EXPECT_EQ(FsOpen("anything"), 77);
  EXPECT_EQ(FsClose(77), -1);
  EXPECT_EQ(FsFindFirst("nothing\\*", nullptr), -1);
}

}  // namespace
