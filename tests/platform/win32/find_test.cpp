#include <string>
#include <vector>

#include "platform/win32/win32.h"
#include "platform/win32/wildcard.h"
#include "tests/platform/win32/test_util.h"
#include "tests/support/temp_dir.h"

using vox_win32::MatchesWildcard;

namespace {

TEST(Win32Wildcard, PlatformRules) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*", "readme", true},
      {"*", "a.b.c", true},
      {"*.*", "readme", true},  // also names without a dot
      {"*.*", "song.ogg", true},
      {"*.ogg", "Song.OGG", true},
      {"*.ogg", "song.ogg.bak", false},
      {"*.og", "song.ogg", false},
      {"s?ng.ogg", "song.ogg", true},
      {"song?.ogg", "song.ogg", true},  // "?" at a dot may match nothing
      {"s??ng.ogg", "song.ogg", false},  // but elsewhere exactly one character
      {"s?ng.ogg", "sng.ogg", false},
      {"a?", "a", true},
      {"a?", "ab", true},
      {"a?", "abc", false},
      {"?", "ab", false},
      {"data.*", "data", true},
      {"data.*", "data.qva", true},
      {"data.*", "database", false},
      {"*.", "README", true},
      {"*.", "readme.txt", false},
      {"bg*.png", "BG01.PNG", true},
      {"bg*.png", "xbg01.png", false},
      {"*.png", "a.png.png", true},
      {"*a*b*c", "xxaxxbxxc", true},
      {"*a*b*c", "xxaxxcxxb", false},
      {"\x82\x60*", "\x82\x60\x82\x61.txt", true},   // "Ａ*" on full-width names
      {"\x82\x81*", "\x82\x60.txt", false},          // two-byte letters keep their case
      {"?.txt", "\x95\x5c.txt", true},               // one two-byte character is one "?"
      {"\x95\x5c*", "\x95\x5c\x8e\xa6", true},       // a 0x5C trail byte is a plain byte here
  };
  for (const Case& c : cases) EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
}

class Win32Find : public TempDirTest {
 protected:
  std::vector<std::string> List(const char* pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(pattern, &data);
    if (h == INVALID_HANDLE_VALUE) return names;
    do names.push_back(data.cFileName);
    while (FindNextFileA(h, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(h));
    return names;
  }
};

TEST_F(Win32Find, ListsMatchingNamesInOrder) {
  WriteFile("musics/b.ogg", "bb");
  WriteFile("musics/A.OGG", "a");
  WriteFile("musics/c.mid", "c");
  WriteFile(U8(u8"musics/曲.ogg"), "k");
  WriteFile("musics/sub/x.ogg", "");
  using V = std::vector<std::string>;
  EXPECT_EQ(List("Musics\\*.ogg"), (V{"A.OGG", "b.ogg", "曲.ogg"}));
  EXPECT_EQ(List("musics\\*"), (V{".", "..", "A.OGG", "b.ogg", "c.mid", "sub", "曲.ogg"}));
  EXPECT_EQ(List("musics\\*.*"), List("musics\\*"));
  EXPECT_EQ(List("musics\\B.OGG"), (V{"b.ogg"}));
  EXPECT_EQ(List("musics/sub/*.ogg"), (V{"x.ogg"}));
}

TEST_F(Win32Find, FillsAttributesAndSizes) {
  WriteFile("replay/r1.rep", "12345");
  WriteFile("replay/dir/.keep", "");
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA("replay\\r1.rep", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  SYSTEMTIME st;
  ASSERT_TRUE(FileTimeToSystemTime(&data.ftLastWriteTime, &st));
  EXPECT_GE(st.wYear, 2024);
  EXPECT_FALSE(FindNextFileA(h, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FindClose(h));
  EXPECT_FALSE(FindClose(h));
  h = FindFirstFileA("replay\\d*", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, "dir");
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(CloseHandle(h));  // searches end through FindClose only
  EXPECT_TRUE(FindClose(h));
}

TEST_F(Win32Find, ReportsWhatIsMissing) {
  WIN32_FIND_DATAA data;
  WriteFile("bgimages/a.png", "");
  EXPECT_EQ(FindFirstFileA("bgimages\\*.jpg", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(FindFirstFileA("nowhere\\*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

}  // namespace
