#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/cp932.h"
#include "platform/win32/path.h"
#include "platform/win32/win32.h"
#include "tests/platform/win32/test_util.h"
#include "tests/support/temp_dir.h"

using namespace vox_win32;

namespace {

class Win32Files : public TempDirTest {
 protected:
  std::string Map(const char* windows) {
    std::string host;
    EXPECT_TRUE(MapWindowsPath(windows, &host)) << windows;
    return host;
  }
  HANDLE Open(const char* name, DWORD access, DWORD share, DWORD creation) {
    return CreateFileA(name, access, share, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
};

TEST(Cp932, RoundTripsJapaneseText) {
  std::string utf8, back;
  ASSERT_TRUE(Cp932ToUtf8("表示テスト", &utf8));
  EXPECT_EQ(utf8, U8(u8"表示テスト"));
  ASSERT_TRUE(Utf8ToCp932(utf8, &back));
  EXPECT_EQ(back, "表示テスト");
  EXPECT_EQ(std::string("表"), "\x95\x5c");  // the trail byte is 0x5C
  EXPECT_FALSE(Cp932ToUtf8("\x81", &utf8));   // a lead byte with nothing after it
  EXPECT_FALSE(Utf8ToCp932(U8(u8"\U0001F600"), &back));
}

// The font stand-in asks for one character at a time, from whatever thread
// draws; every thread must get the same answers.
TEST(Cp932, CharacterCodesTurnIntoUnicodeOnEveryThread) {
  struct Case {
    uint32_t code, unicode;
  } cases[] = {
      {0x41, 0x41},     {0x82A0, 0x3042}, {0x8140, 0x3000}, {0xB1, 0xFF71},  // A, あ, ideographic space, ｱ
      {0x955C, 0x8868}, {0x81, 0},        {0x10000, 0},     {0x8200, 0},     // 表; a lead byte alone; no code
  };
  for (const Case& c : cases) EXPECT_EQ(Cp932CodeToUnicode(c.code), c.unicode) << std::hex << c.code;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int round = 0; round < 500; ++round)
        for (const Case& c : cases)
          if (Cp932CodeToUnicode(c.code) != c.unicode) wrong++;
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(Cp932, LossyConversionLeavesOutWhatHasNoForm) {
  EXPECT_EQ(Utf8ToCp932Lossy(U8(u8"スピーカー \U0001F600(\u00E9)")), "スピーカー ()");
  EXPECT_EQ(Utf8ToCp932Lossy("plain"), "plain");
  EXPECT_EQ(Utf8ToCp932Lossy("\xFF\xFE" "ab"), "ab");
}

TEST(Cp932, ComparesIgnoringAsciiCaseOnly) {
  EXPECT_EQ(CompareNoCaseCp932("Custom", "CUSTOM"), 0);
  EXPECT_NE(CompareNoCaseCp932("abc", "abd"), 0);
  // "\x82\x61" and "\x82\x41" differ only in a trail byte that looks like a
  // letter; they are different characters.
  EXPECT_NE(CompareNoCaseCp932("\x82\x61", "\x82\x41"), 0);
}

TEST_F(Win32Files, MapsSeparatorsDrivesAndTwoByteNames) {
  struct Case {
    const char* windows;
    std::string host;
  } cases[] = {
      {"a\\b.txt", "a/b.txt"},
      {"a/b.txt", "a/b.txt"},
      {"C:\\tmp\\x", "/tmp/x"},
      {"d:/tmp", "/tmp"},
      {"\\abs", "/abs"},
      {"C:rel", "rel"},
      {"dir\\", "dir/"},
      {"C:\\", "/"},
      {".\\x.ini", "./x.ini"},
      {"表\\x", U8(u8"表") + "/x"},
      {"a\\\\b", "a/b"},
  };
  for (const Case& c : cases) EXPECT_EQ(Map(c.windows), c.host) << c.windows;
  std::string host;
  EXPECT_FALSE(MapWindowsPath("", &host));
  EXPECT_FALSE(MapWindowsPath("bad\x81", &host));
}

TEST_F(Win32Files, LooksUpEachComponentIgnoringCase) {
  WriteFile("Data/Images/Bg.PNG", "png");
  EXPECT_EQ(Map("data\\IMAGES\\bg.png"), "Data/Images/Bg.PNG");
  EXPECT_EQ(Map("DATA\\new\\x"), "Data/new/x");  // missing parts stay as written
  EXPECT_EQ(Map(("C:" + std::string()).c_str()), ".");
  // An exact name wins over a name that differs only in case.
  WriteFile("Data/Images/bg.png", "other");
  EXPECT_EQ(Map("Data\\Images\\bg.png"), "Data/Images/bg.png");
  EXPECT_TRUE(SameNameNoCase(U8(u8"ＡＢＣ"), U8(u8"ａｂｃ")));
  EXPECT_FALSE(SameNameNoCase("abc", "abcd"));
}

std::string Lower(std::string s) {
  for (char& c : s) c = (char)tolower((unsigned char)c);
  return s;
}

// A folder's listing may be kept between lookups, but never past a change:
// a file made after a lookup missed it is found by the next one, whether the
// folder had been still for long (its listing kept) or had just changed.
TEST_F(Win32Files, ALookupAfterAFileIsMadeFindsIt) {
  for (bool settled : {true, false}) {
    const std::string folder = settled ? "Still" : "Busy";
    WriteFile(folder + "/Old.txt", "x");
    if (settled) {
      const timespec hour_ago[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
      ASSERT_EQ(utimensat(AT_FDCWD, (dir() + "/" + folder).c_str(), hour_ago, 0), 0);
    }
    for (const std::string name : {"NEW.txt", "Second.TXT"}) {
      const std::string lower = folder + "\\" + Lower(name);
      EXPECT_EQ(Map(lower.c_str()), folder + "/" + Lower(name)) << "before: " << name;
      WriteFile(folder + "/" + name, "y");
      EXPECT_EQ(Map(lower.c_str()), folder + "/" + name) << (settled ? "still: " : "busy: ") << name;
      // A name removed is no longer offered.
      ASSERT_EQ(unlink((dir() + "/" + folder + "/" + name).c_str()), 0);
      EXPECT_EQ(Map(lower.c_str()), folder + "/" + Lower(name)) << "removed: " << name;
      WriteFile(folder + "/" + name, "y");
    }
  }
}

TEST_F(Win32Files, OpensJapaneseNamesStoredAsUtf8) {
  WriteFile(U8(u8"表示/テスト.txt"), "hello");
  HANDLE h = Open("表示\\テスト.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buf[16] = {};
  DWORD got = 0;
  EXPECT_TRUE(::ReadFile(h, buf, sizeof buf, &got, nullptr));
  EXPECT_EQ(std::string(buf, got), "hello");
  EXPECT_TRUE(CloseHandle(h));
}

TEST_F(Win32Files, CreationDispositions) {
  struct Case {
    DWORD creation;
    bool exists;
    bool opens;
    DWORD error;
    const char* content_after;  // null: file absent
  } cases[] = {
      {CREATE_NEW, false, true, ERROR_SUCCESS, ""},
      {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
      {CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
      {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
      {OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
      {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "creation " << c.creation << " exists " << c.exists);
    DeleteFileA("f.bin");
    if (c.exists) WriteFile("f.bin", "old");
    SetLastError(12345);
    HANDLE h = Open("f.bin", GENERIC_READ | GENERIC_WRITE, 0, c.creation);
    EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens);
    EXPECT_EQ(GetLastError(), c.error);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    struct stat st;
    bool present = stat(Path("f.bin").c_str(), &st) == 0;
    EXPECT_EQ(present, c.content_after != nullptr);
    if (present && c.content_after) {
      EXPECT_EQ(ReadFile("f.bin"), c.content_after);
    }
  }
  EXPECT_EQ(Open("nofolder\\f.bin", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  ASSERT_TRUE(CreateDirectoryA("folder", nullptr));
  EXPECT_EQ(Open("folder", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(Win32Files, ReadWriteSeekAndSize) {
  HANDLE h = Open("data.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  EXPECT_TRUE(::WriteFile(h, "0123456789", 10, &n, nullptr));
  EXPECT_EQ(n, 10u);
  DWORD high = 99;
  EXPECT_EQ(GetFileSize(h, &high), 10u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(SetFilePointer(h, 4, nullptr, FILE_BEGIN), 4u);
  EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_CURRENT), 6u);
  EXPECT_EQ(SetFilePointer(h, -3, nullptr, FILE_END), 7u);
  char buf[8] = {};
  EXPECT_TRUE(::ReadFile(h, buf, 8, &n, nullptr));  // short read at the end is a success
  EXPECT_EQ(std::string(buf, n), "789");
  EXPECT_TRUE(::ReadFile(h, buf, 8, &n, nullptr));
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(SetFilePointer(h, -20, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  // Past the end is allowed; reading there gives nothing.
  EXPECT_EQ(SetFilePointer(h, 100, nullptr, FILE_BEGIN), 100u);
  EXPECT_TRUE(::ReadFile(h, buf, 8, &n, nullptr));
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(::ReadFile(h, buf, 8, &n, nullptr));

  HANDLE ro = Open("data.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_FALSE(::WriteFile(ro, "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(ro);
}

TEST_F(Win32Files, SharingModesAreEnforcedWithinTheProcess) {
  WriteFile("s.bin", "abc");
  HANDLE reader = Open("s.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  HANDLE second = Open("S.BIN", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_NE(second, INVALID_HANDLE_VALUE);
  CloseHandle(second);
  EXPECT_EQ(Open("s.bin", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);  // would deny the reader
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(Open("s.bin", GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadFile("s.bin"), "abc");  // the refused CREATE_ALWAYS truncated nothing
  EXPECT_FALSE(DeleteFileA("s.bin"));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(reader);
  EXPECT_TRUE(DeleteFileA("s.bin"));
  EXPECT_FALSE(DeleteFileA("s.bin"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(Win32Files, FoldersAttributesAndMoves) {
  ASSERT_TRUE(CreateDirectoryA("Saves", nullptr));
  EXPECT_FALSE(CreateDirectoryA("saves", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(GetFileAttributesA("SAVES"), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesA("missing"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  WriteFile("Saves/a.txt", "a");
  EXPECT_EQ(GetFileAttributesA("saves\\A.TXT") & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_FALSE(RemoveDirectoryA("saves"));
  EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
  WriteFile("Saves/b.txt", "b");
  EXPECT_FALSE(MoveFileA("saves\\a.txt", "saves\\B.txt"));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(MoveFileA("saves\\a.txt", "saves\\c.txt"));
  EXPECT_EQ(ReadFile("Saves/c.txt"), "a");
  EXPECT_TRUE(MoveFileA("saves\\c.txt", "saves\\C.TXT"));  // a change of case only
  EXPECT_EQ(ReadFile("Saves/C.TXT"), "a");
  EXPECT_TRUE(DeleteFileA("saves\\b.txt"));
  EXPECT_TRUE(DeleteFileA("saves\\c.txt"));
  EXPECT_TRUE(RemoveDirectoryA("SAVES"));
}

TEST_F(Win32Files, CurrentFolderInWindowsForm) {
  ASSERT_TRUE(CreateDirectoryA("Sub", nullptr));
  ASSERT_TRUE(SetCurrentDirectoryA("sub"));
  char buf[MAX_PATH];
  DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
  ASSERT_GT(n, 0u);
  std::string expected;
  ASSERT_TRUE(HostToWindowsPath(dir() + "/Sub", &expected));
  EXPECT_EQ(std::string(buf, n), expected);
  EXPECT_EQ(expected.substr(0, 3), "C:\\");
  char tiny[4] = "xyz";
  EXPECT_EQ(GetCurrentDirectoryA(sizeof tiny, tiny), n + 1);  // the size needed
  EXPECT_STREQ(tiny, "xyz");
  EXPECT_FALSE(SetCurrentDirectoryA("nowhere"));
  // The Windows form leads back to the same folder.
  ASSERT_TRUE(SetCurrentDirectoryA("..\\"));
  ASSERT_TRUE(SetCurrentDirectoryA(buf));
  EXPECT_EQ(GetCurrentDirectoryA(sizeof buf, buf), n);
}

TEST_F(Win32Files, TemporaryFileNames) {
  char temp[MAX_PATH];
  DWORD n = GetTempPathA(sizeof temp, temp);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(temp[n - 1], '\\');
  char name[MAX_PATH];
  UINT number = GetTempFileNameA(".", "tmpfile", 0, name);
  ASSERT_NE(number, 0u);
  char expected[32];
  snprintf(expected, sizeof expected, ".\\tmp%X.TMP", number);
  EXPECT_STREQ(name, expected);
  EXPECT_NE(GetFileAttributesA(name), INVALID_FILE_ATTRIBUTES);  // made, empty
  UINT second = GetTempFileNameA(".", "tmp", 0, name);
  EXPECT_NE(second, number);
  EXPECT_EQ(GetTempFileNameA("C:\\x", "ab", 0x1234, name), 0x1234u);  // a given number makes no file
  EXPECT_STREQ(name, "C:\\x\\ab1234.TMP");
  EXPECT_EQ(GetTempFileNameA("C:\\x", "表示テスト", 1, name), 1u);  // three characters, not bytes
  EXPECT_STREQ(name, "C:\\x\\表示テ1.TMP");
}

TEST(Win32Heap, ReAllocZeroesOnlyTheGrowth) {
  HANDLE heap = GetProcessHeap();
  auto* p = static_cast<unsigned char*>(HeapAlloc(heap, 0, 8));
  ASSERT_NE(p, nullptr);
  memset(p, 0xAB, 8);
  p = static_cast<unsigned char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, p, 4096));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(p[i], 0xAB);
  for (int i = 8; i < 4096; ++i) ASSERT_EQ(p[i], 0) << i;
  auto* z = static_cast<unsigned char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 100));
  for (int i = 0; i < 100; ++i) ASSERT_EQ(z[i], 0);
  EXPECT_TRUE(HeapFree(heap, 0, p));
  EXPECT_TRUE(HeapFree(heap, 0, z));
  EXPECT_TRUE(HeapFree(heap, 0, nullptr));
}

TEST(Win32Heap, GlobalBlocks) {
  HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 33);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(GlobalSize(g), 33u);
  auto* p = static_cast<char*>(GlobalLock(g));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[32], 0);
  GlobalUnlock(g);
  EXPECT_EQ(GlobalFree(g), nullptr);
  MEMORYSTATUS status{};
  GlobalMemoryStatus(&status);
  EXPECT_GT(status.dwTotalPhys, 0u);
  EXPECT_LE(status.dwAvailPhys, status.dwTotalPhys);
}

TEST(Win32Errors, LastErrorIsPerThread) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  DWORD other = 1;
  HANDLE t = CreateThread(
      nullptr, 0, [](LPVOID p) -> DWORD {
        *static_cast<DWORD*>(p) = GetLastError();
        return 0;
      },
      &other, 0, nullptr);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  CloseHandle(t);
  EXPECT_EQ(other, ERROR_SUCCESS);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

}  // namespace
