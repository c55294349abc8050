#include "engine/core/osfile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/core/alloc.h"
#include "engine/core/engine_state.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "tests/support/engine_fixture.h"

namespace {

struct Mode {
  const char* name;
  int use_cache;
  int async;
};
const Mode kPlain{"plain", 0, 0};
const Mode kThreaded{"threaded", 0, 1};
const Mode kCached{"cached", 1, 0};

class OsFileTest : public EngineLogTest {
 protected:
  void SetUp() override {
    EngineLogTest::SetUp();
    blocks_ = TrackedBlockCount();
  }
  void TearDown() override {
    EXPECT_EQ(TrackedBlockCount(), blocks_) << "a record, cache or buffer was not freed";
    EngineLogTest::TearDown();
  }
  static void WaitIdle(OsFile* f) {
    while (!OsFileIsIdle(f)) Sleep(0);
  }

  int blocks_ = 0;
};

const std::string kThirteen = "ABCDEFGHIJKLM";

// Reads with a fixed file size: whole elements only, then the end.
TEST_F(OsFileTest, ReadsWholeElementsThenReportsTheEnd) {
  WriteFile("data.bin", kThirteen);
  for (const Mode& m : {kPlain, kThreaded, kCached}) {
    SCOPED_TRACE(m.name);
    OsFile* f = OsFileOpen("data.bin", m.use_cache, 1, m.async);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(OsFileSize(f), 13u);
    ASSERT_EQ(OsFileSeek(f, 4, 0), 0);
    char buf[40] = {};
    EXPECT_EQ(OsFileRead(buf, 4, 10, f), 2u);  // 9 bytes left: two elements of 4
    WaitIdle(f);
    EXPECT_EQ(std::string(buf, 8), "EFGHIJKL");
    EXPECT_EQ(OsFileTell(f), 12);
    EXPECT_EQ(OsFileEof(f), 0);
    EXPECT_EQ(OsFileRead(buf, 4, 1, f), 0u);
    EXPECT_EQ(OsFileEof(f), -1);
    EXPECT_EQ(OsFileRead(buf, 1, 1, f), 1u);  // the last byte is still there
    WaitIdle(f);
    EXPECT_EQ(buf[0], 'M');
    EXPECT_EQ(OsFileRead(buf, 0, 5, f), 0u);
    // Seeks from the current position and from the end.
    ASSERT_EQ(OsFileSeek(f, -3, 2), 0);
    EXPECT_EQ(OsFileEof(f), 0);
    ASSERT_EQ(OsFileSeek(f, -2, 1), 0);
    EXPECT_EQ(OsFileTell(f), 8);
    EXPECT_EQ(OsFileRead(buf, 1, 3, f), 3u);
    WaitIdle(f);
    EXPECT_EQ(std::string(buf, 3), "IJK");
    EXPECT_EQ(OsFileSeek(f, -1, 0), -1);  // before the start
    EXPECT_EQ(OsFileTell(f), 11);
    EXPECT_EQ(OsFileClose(f), 0);
  }
}

TEST_F(OsFileTest, SeekPastTheEndThenReadGivesNothing) {
  WriteFile("data.bin", kThirteen);
  for (const Mode& m : {kPlain, kThreaded, kCached}) {
    SCOPED_TRACE(m.name);
    OsFile* f = OsFileOpen("data.bin", m.use_cache, 1, m.async);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(OsFileSeek(f, 100, 0), 0);  // allowed, not clamped
    EXPECT_EQ(OsFileTell(f), 100);
    char buf[16];
    memset(buf, '#', sizeof buf);
    EXPECT_EQ(OsFileRead(buf, 1, 16, f), 0u);
    EXPECT_EQ(OsFileEof(f), -1);
    EXPECT_EQ(OsFileTell(f), 100);
    WaitIdle(f);
    EXPECT_EQ(std::string(buf, 16), std::string(16, '#'));  // nothing handed back
    ASSERT_EQ(OsFileSeek(f, 5, 2), 0);
    EXPECT_EQ(OsFileRead(buf, 4, 1, f), 0u);
    EXPECT_EQ(OsFileEof(f), -1);
    EXPECT_EQ(OsFileClose(f), 0);
  }
}

std::atomic<bool> g_release_read{false};
// Holds the file-access thread's read until the test lets it go (or ten
// seconds have passed, so that a read that did not return at once fails the
// test instead of hanging it).
void HoldRead() {
  for (int i = 0; i < 10000 && !g_release_read; ++i) Sleep(1);
}

TEST_F(OsFileTest, AsyncReadReturnsAtOnceAndIsIdleAfterwards) {
  std::string data(100000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = (char)(i * 7 + (i >> 12));
  WriteFile("big.bin", data);
  OsFile* f = OsFileOpen("big.bin", 0, 1, 1);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(OsFileIsIdle(f), 1);
  std::vector<char> buf(data.size());
  g_release_read = false;
  SetOsFileReadHook(HoldRead);
  // The call returns with the whole count while its thread still reads.
  EXPECT_EQ(OsFileRead(buf.data(), 1000, 100, f), 100u);
  EXPECT_EQ(OsFileIsIdle(f), 0);
  EXPECT_FALSE(g_release_read);
  g_release_read = true;
  WaitIdle(f);
  SetOsFileReadHook(nullptr);
  EXPECT_EQ(OsFileIsIdle(f), 1);
  EXPECT_EQ(memcmp(buf.data(), data.data(), data.size()), 0);
  EXPECT_EQ(OsFileTell(f), (int64_t)data.size());
  EXPECT_EQ(OsFileClose(f), 0);
}

TEST_F(OsFileTest, ThreadedReadReportsTheBytesReallyRead) {
  WriteFile("shrinks.bin", std::string(100, 'x'));
  for (const Mode& m : {kPlain, kThreaded, kCached}) {
    SCOPED_TRACE(m.name);
    WriteFile("shrinks.bin", std::string(100, 'x'));
    OsFile* f = OsFileOpen("shrinks.bin", m.use_cache, 1, m.async);
    ASSERT_NE(f, nullptr);
    std::filesystem::resize_file(Path("shrinks.bin"), 30);  // cut after the size was taken
    char buf[100];
    memset(buf, '#', sizeof buf);
    size_t n = OsFileRead(buf, 10, 10, f);
    WaitIdle(f);
    if (m.async) {
      EXPECT_EQ(n, 10u);  // promised at once; what did not arrive is zeroed
      EXPECT_EQ(std::string(buf + 30, 70), std::string(70, '\0'));
    } else {
      EXPECT_EQ(n, 3u);
      EXPECT_EQ(OsFileTell(f), 30);
      EXPECT_EQ(OsFileEof(f), -1);
    }
    EXPECT_EQ(std::string(buf, 30), std::string(30, 'x'));
    EXPECT_EQ(OsFileClose(f), 0);
  }
}

// Waits until the file's thread, idle, has read `bytes` ahead; false when it
// has not after ten seconds.
bool WaitForReadAhead(OsFile* f, uint32_t bytes) {
  for (int i = 0; i < 10000 && OsFileCachedBytes(f) < bytes; ++i) Sleep(1);
  return OsFileCachedBytes(f) >= bytes;
}

TEST_F(OsFileTest, ReadAheadCacheServesReadsAndSeeks) {
  constexpr uint32_t kCache = 0x20000;
  std::string data(300000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = (char)(i % 251);
  WriteFile("cached.bin", data);
  OsFile* f = OsFileOpen("cached.bin", 1, 1, 0);
  ASSERT_NE(f, nullptr);
  // Idle, the thread fills its cache from the start of the file.
  ASSERT_TRUE(WaitForReadAhead(f, kCache));
  EXPECT_EQ(OsFileBytesFromCache(f), 0u);
  std::string got(data.size(), '\0');
  ASSERT_EQ(OsFileRead(&got[0], 1, 1000, f), 1000u);
  ASSERT_EQ(OsFileRead(&got[1000], 1, 70000, f), 70000u);
  // Both reads came from the cache alone: it held 128 KiB from offset 0.
  EXPECT_EQ(OsFileBytesFromCache(f), 71000u);
  // A read longer than what is cached takes the rest from the file.
  ASSERT_EQ(OsFileRead(&got[71000], 1, 229000, f), 229000u);
  EXPECT_GE(OsFileBytesFromCache(f), (uint64_t)kCache);
  EXPECT_LT(OsFileBytesFromCache(f), 300000u);
  EXPECT_EQ(got, data);

  // A seek drops the cache; what is read after it is the file's, and the
  // cache fills again from the new position.
  ASSERT_EQ(OsFileSeek(f, 5, 0), 0);
  char buf[10];
  ASSERT_EQ(OsFileRead(buf, 1, 10, f), 10u);
  EXPECT_EQ(std::string(buf, 10), data.substr(5, 10));
  ASSERT_TRUE(WaitForReadAhead(f, kCache));
  uint64_t before = OsFileBytesFromCache(f);
  ASSERT_EQ(OsFileRead(buf, 1, 10, f), 10u);
  EXPECT_EQ(std::string(buf, 10), data.substr(15, 10));
  EXPECT_EQ(OsFileBytesFromCache(f), before + 10);
  EXPECT_EQ(OsFileClose(f), 0);

  // Without a cache nothing is read ahead.
  f = OsFileOpen("cached.bin", 0, 1, 1);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(OsFileRead(buf, 1, 10, f), 10u);
  WaitIdle(f);
  EXPECT_EQ(OsFileCachedBytes(f), 0u);
  EXPECT_EQ(OsFileBytesFromCache(f), 0u);
  EXPECT_EQ(OsFileClose(f), 0);
}

TEST_F(OsFileTest, FailedOpensAreLoggedForThreadedFiles) {
  EXPECT_EQ(OsFileOpen("missing.bin", 0, 1, 0), nullptr);
  EXPECT_EQ(Log(), "");  // plain files fail quietly
  EXPECT_EQ(OsFileOpen("missing.qva", 0, 1, 1), nullptr);
  EXPECT_NE(Log().find("ファイルのオープンに失敗しました\r\n"), std::string::npos);

  // The thread opens its file without sharing; a reader holding the file
  // makes that fail after the size was read. The record comes back only
  // after the thread has ended, with everything freed (checked on teardown).
  WriteFile("held.qva", kThirteen);
  StartLogFile();
  HANDLE reader = CreateFileA("held.qva", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(OsFileOpen("held.qva", 0, 1, 1), nullptr);
  EXPECT_NE(Log().find("ファイルのオープンに失敗しました\r\n"), std::string::npos);
  CloseHandle(reader);
  OsFile* f = OsFileOpen("held.qva", 0, 1, 1);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(OsFileClose(f), 0);
}

TEST_F(OsFileTest, FindFillsFileInfo) {
  WriteFile("replay/a.rep", "12345");
  WriteFile("replay/b.rep", "1");
  WriteFile("replay/sub/x", "");
  FileInfo info;
  intptr_t h = OsFileFindFirst("replay\\*.rep", &info);
  ASSERT_NE(h, -1);
  EXPECT_STREQ(info.name, "a.rep");
  EXPECT_EQ(info.is_directory, 0);
  EXPECT_EQ(info.size_low, 5u);
  EXPECT_EQ(info.size_high, 0u);
  EXPECT_GE(info.modified.year, 2024);
  EXPECT_EQ(OsFileFindNext(h, &info), 0);
  EXPECT_STREQ(info.name, "b.rep");
  EXPECT_EQ(OsFileFindNext(h, nullptr), -1);
  EXPECT_EQ(OsFileFindClose(h), 0);
  h = OsFileFindFirst("replay\\s*", &info);
  ASSERT_NE(h, -1);
  EXPECT_EQ(info.is_directory, 1);
  EXPECT_EQ(OsFileFindClose(h), 0);
  EXPECT_EQ(OsFileFindFirst("replay\\*.none", &info), -1);
}

TEST_F(OsFileTest, CurrentFolderFitsTheDirectoryBuffer) {
  std::filesystem::create_directories(Path("Sub"));
  ASSERT_EQ(OsFileSetDir("sub"), 1);
  char buf[FILE_DIR_BUFFER + 8];
  memset(buf, '#', sizeof buf);
  int n = OsFileGetDir(buf);
  ASSERT_GT(n, 0);
  EXPECT_EQ((int)strlen(buf), n);
  EXPECT_EQ(std::string(buf + n - 4), "\\Sub");
  EXPECT_EQ(OsFileSetDir("nowhere"), 0);

  // A folder longer than the buffer is refused without writing past it.
  std::string deep = "Sub";
  while (dir().size() + deep.size() < FILE_DIR_BUFFER + 20) deep += "/" + std::string(40, 'd');
  std::filesystem::create_directories(Path(deep));
  ASSERT_EQ(chdir(Path(deep).c_str()), 0);
  memset(buf, '#', sizeof buf);
  EXPECT_EQ(OsFileGetDir(buf), 0);
  EXPECT_EQ(buf[0], '\0');
  for (size_t i = FILE_DIR_BUFFER; i < sizeof buf; ++i) EXPECT_EQ(buf[i], '#');
}

TEST_F(OsFileTest, CreateTempFileMakesANewWritableFile) {
  const char* old = getenv("TMPDIR");
  std::string saved = old ? old : "";
  setenv("TMPDIR", dir().c_str(), 1);
  char path[MAX_PATH];
  HANDLE h = CreateTempFile(path);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(std::string(path, 2), "C:");
  DWORD written = 0;
  EXPECT_TRUE(::WriteFile(h, "movie", 5, &written, nullptr));
  EXPECT_TRUE(CloseHandle(h));
  HANDLE again = CreateTempFile(nullptr);
  ASSERT_NE(again, nullptr);
  CloseHandle(again);
  OsFile* f = OsFileOpen(path, 0, 1, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(OsFileSize(f), 5u);
  OsFileClose(f);
  EXPECT_TRUE(DeleteFileA(path));
  if (old) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");
}

}  // namespace
