#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/win32/save_file.h"
#include "platform/win32/win32.h"
#include "tests/support/temp_dir.h"

namespace {

class Win32Profile : public TempDirTest {
 protected:
  static constexpr const char* kIni = ".\\Voxaldrift.ini";
  std::string Get(const char* section, const char* key, const char* def, DWORD size = 64,
                  DWORD* result = nullptr) {
    char buf[256];
    memset(buf, '#', sizeof buf);
    DWORD n = GetPrivateProfileStringA(section, key, def, buf, size, kIni);
    if (result) *result = n;
    return std::string(buf, n);
  }
};

TEST_F(Win32Profile, ReadingRules) {
  WriteFile("Voxaldrift.ini",
            "; settings\r\n"
            "[Other]\r\n"
            "FullScreen=9\r\n"
            "  [ Custom ]  \r\n"
            "FullScreen=1\r\n"
            "  BGM_Volume  =  80  \r\n"
            "Name=\"  quoted  \"\r\n"
            "Single='x'\r\n"
            "Half=\"open\r\n"
            "Empty=\r\n"
            "Hex=0x1F\r\n"
            "Neg=-12abc\r\n"
            "Plus=+7\r\n"
            "Text=abc\r\n"
            "Port=04649\n"
            "名前=値\n"
            "fullscreen=5\r\n"
            "[Custom]\r\n"
            "Late=1\r\n");
  struct StringCase {
    const char* key;
    const char* def;
    std::string want;
  } strings[] = {
      {"FullScreen", "d", "1"},           // the section after [Other]; the first key counts
      {"FULLSCREEN", "d", "1"},           // keys ignore case
      {"BGM_Volume", "d", "80"},          // blanks trimmed around key and value
      {"Name", "d", "  quoted  "},        // matching quotes removed, inner blanks kept
      {"Single", "d", "x"},
      {"Half", "d", "\"open"},            // an unmatched quote stays
      {"Empty", "d", ""},                 // present but empty: not the default
      {"Missing", "dflt  ", "dflt"},      // the default loses trailing blanks
      {"Missing", nullptr, ""},
      {"名前", "d", "値"},
      {"Late", "d", "d"},                 // a second [Custom] is not read
  };
  for (const StringCase& c : strings) EXPECT_EQ(Get("custom", c.key, c.def), c.want) << c.key;
  EXPECT_EQ(Get("Nowhere", "FullScreen", "z"), "z");

  struct IntCase {
    const char* key;
    int def;
    UINT want;
  } ints[] = {
      {"FullScreen", 0, 1},  {"BGM_Volume", 100, 80}, {"Hex", 0, 31},      {"Neg", 0, (UINT)-12},
      {"Plus", 0, 7},        {"Text", 5, 0},          {"Empty", 5, 5},     {"Missing", 100, 100},
      {"Port", 0, 4649},     {"Missing", -1, (UINT)-1},
  };
  for (const IntCase& c : ints)
    EXPECT_EQ(GetPrivateProfileIntA("Custom", c.key, c.def, kIni), c.want) << c.key;
  EXPECT_EQ(GetPrivateProfileIntA("Custom", "FullScreen", 3, ".\\absent.ini"), 3u);
}

TEST_F(Win32Profile, BufferTruncationAndLists) {
  WriteFile("Voxaldrift.ini", "[Custom]\r\nDefaultPort=046491\r\nB=2\r\n[Net]\r\n");
  DWORD n = 0;
  EXPECT_EQ(Get("Custom", "DefaultPort", "04649", 6, &n), "04649");  // cut to size - 1
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(Get("Custom", "Missing", "04649xyz", 6, &n), "04649");
  EXPECT_EQ(n, 5u);
  char buf[64];
  EXPECT_EQ(GetPrivateProfileStringA("Custom", "B", "", buf, 0, kIni), 0u);

  std::string keys = Get("Custom", nullptr, "ignored", 64, &n);
  EXPECT_EQ(keys, std::string("DefaultPort\0B\0", 14));
  std::string sections = Get(nullptr, nullptr, "", 64, &n);
  EXPECT_EQ(sections, std::string("Custom\0Net\0", 11));
  // A list that does not fit ends in two terminators; the result is size - 2.
  memset(buf, '#', sizeof buf);
  EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", buf, 6, kIni), 4u);
  EXPECT_EQ(std::string(buf, 6), std::string("Cust\0\0", 6));
  EXPECT_EQ(Get("Nowhere", nullptr, "dflt", 64, &n), "");
  EXPECT_EQ(n, 0u);
}

TEST_F(Win32Profile, WritingCreatesReplacesAndKeepsOtherLines) {
  ASSERT_TRUE(WritePrivateProfileStringA("Custom", "FullScreen", "1", kIni));
  EXPECT_EQ(ReadFile("Voxaldrift.ini"), "[Custom]\r\nFullScreen=1\r\n");
  ASSERT_TRUE(WritePrivateProfileStringA("Custom", "SE_Volume", "80", kIni));
  ASSERT_TRUE(WritePrivateProfileStringA("custom", "fullscreen", "0", kIni));
  EXPECT_EQ(ReadFile("Voxaldrift.ini"), "[Custom]\r\nFullScreen=0\r\nSE_Volume=80\r\n");

  WriteFile("Voxaldrift.ini", "; keep me\n[Custom]\n  A = 1 \n\n[Other]\nX=y\n");
  ASSERT_TRUE(WritePrivateProfileStringA("Custom", "B", "2", kIni));
  ASSERT_TRUE(WritePrivateProfileStringA("Custom", "A", "3", kIni));
  ASSERT_TRUE(WritePrivateProfileStringA("New", "K", "値", kIni));
  EXPECT_EQ(ReadFile("Voxaldrift.ini"),
            "; keep me\r\n[Custom]\r\nA=3\r\nB=2\r\n\r\n[Other]\r\nX=y\r\n[New]\r\nK=値\r\n");
  EXPECT_EQ(GetPrivateProfileIntA("Custom", "A", 0, kIni), 3u);

  ASSERT_TRUE(WritePrivateProfileStringA("Custom", "A", nullptr, kIni));  // removes the key
  ASSERT_TRUE(WritePrivateProfileStringA("Other", nullptr, nullptr, kIni));  // removes the section
  EXPECT_EQ(ReadFile("Voxaldrift.ini"), "; keep me\r\n[Custom]\r\nB=2\r\n\r\n[New]\r\nK=値\r\n");

  // "ゾ" ends in the byte of "]"; the section name still reads whole.
  ASSERT_TRUE(WritePrivateProfileStringA("ゾーン", "K", "5", kIni));
  ASSERT_TRUE(WritePrivateProfileStringA("ゾ", "K", "6", kIni));
  EXPECT_EQ(GetPrivateProfileIntA("ゾーン", "K", 0, kIni), 5u);
  EXPECT_EQ(GetPrivateProfileIntA("ゾ", "K", 0, kIni), 6u);

  EXPECT_FALSE(WritePrivateProfileStringA("Custom", "A", "1", ".\\nofolder\\x.ini"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(Win32Profile, AFileThatCannotBeReadOrWrittenIsLeftAsItWas) {
  // A folder by the file's name: nothing read, nothing written over.
  std::filesystem::create_directory(Path("Voxaldrift.ini"));
  WriteFile("Voxaldrift.ini/mine", "x");
  EXPECT_EQ(GetPrivateProfileIntA("Custom", "SE_Volume", 7, kIni), 7u);
  EXPECT_FALSE(WritePrivateProfileStringA("Custom", "SE_Volume", "80", kIni));
  EXPECT_EQ(GetLastError(), ERROR_DIRECTORY_NOT_SUPPORTED);
  EXPECT_EQ(ReadFile("Voxaldrift.ini/mine"), "x");
  std::filesystem::rename(Path("Voxaldrift.ini"), Path("elsewhere"));
  // Links that lead to nothing readable (a folder, themselves): the write
  // is refused rather than replacing the link with a file of one key.
  for (const char* target : {"elsewhere", "Voxaldrift.ini"}) {
    std::filesystem::create_symlink(target, Path("Voxaldrift.ini"));
    EXPECT_FALSE(WritePrivateProfileStringA("Custom", "SE_Volume", "80", kIni)) << target;
    EXPECT_TRUE(std::filesystem::is_symlink(Path("Voxaldrift.ini"))) << target;
    std::filesystem::remove(Path("Voxaldrift.ini"));
  }
  std::filesystem::remove_all(Path("elsewhere"));
  // A full disk: the old file stays whole, and no temporary file is left.
  WriteFile("Voxaldrift.ini", "[Custom]\r\nSE_Volume=50\r\n");
  vox_win32::SetSaveStepHook([](vox_win32::SaveStep step) { return step == vox_win32::SaveStep::kWrite ? ENOSPC : 0; });
  EXPECT_FALSE(WritePrivateProfileStringA("Custom", "SE_Volume", "80", kIni));
  vox_win32::SetSaveStepHook(nullptr);
  EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
  EXPECT_EQ(ReadFile("Voxaldrift.ini"), "[Custom]\r\nSE_Volume=50\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 1);
}

}  // namespace
