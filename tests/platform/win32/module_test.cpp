#include <cstring>
#include <string>

#include "platform/win32/path.h"
#include "platform/win32/win32.h"
#include "tests/support/temp_dir.h"

using namespace vox_win32;

namespace {

std::string ModuleFolder() {
  std::string windows;
  EXPECT_TRUE(HostToWindowsPath(VOX_TEST_MODULE_DIR, &windows));
  return windows;
}

TEST(Win32Module, LoadsADllNameAsSharedObject) {
  std::string name = ModuleFolder() + "\\testmodule.DLL";  // case differs from the file
  HMODULE m = LoadLibraryA(name.c_str());
  ASSERT_NE(m, nullptr);
  auto add = reinterpret_cast<int (*)(int, int)>(GetProcAddress(m, "TestModuleAdd"));
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(add(2, 3), 5);
  EXPECT_EQ(GetProcAddress(m, "Missing"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(GetModuleHandleA(name.c_str()), m);

  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(m, path, sizeof path);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(std::string(path, n), ModuleFolder() + "\\TestModule.so");
  char small[8];
  EXPECT_EQ(GetModuleFileNameA(m, small, sizeof small), sizeof small);  // cut and terminated
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(strlen(small), sizeof small - 1);
  EXPECT_TRUE(FreeLibrary(m));

  EXPECT_EQ(LoadLibraryA("C:\\nowhere\\Missing.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

class Win32ModuleDir : public TempDirTest {};

TEST_F(Win32ModuleDir, BareNamesAreFoundInTheCurrentFolder) {
  ASSERT_TRUE(SetCurrentDirectoryA(ModuleFolder().c_str()));
  HMODULE m = LoadLibraryA("TestModule.dll");
  ASSERT_NE(m, nullptr);
  EXPECT_NE(GetProcAddress(m, "TestModuleAdd"), nullptr);
  FreeLibrary(m);
  m = LoadLibraryA("TestModule");  // the default extension is added
  ASSERT_NE(m, nullptr);
  FreeLibrary(m);
}

TEST(Win32Module, ProgramModuleAndItsFileName) {
  HMODULE self = GetModuleHandleA(nullptr);
  ASSERT_NE(self, nullptr);
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(std::string(path, 3), "C:\\");
  EXPECT_NE(std::string(path, n).find("test_platform_win32"), std::string::npos);
  // The test program carries no resources.
  EXPECT_EQ(FindResourceA(nullptr, "SCRIPT", MAKEINTRESOURCEA(25)), nullptr);
}

TEST(Win32Module, ResourcesThroughTheModuleHook) {
  HMODULE m = LoadLibraryA((ModuleFolder() + "\\TestModule.dll").c_str());
  ASSERT_NE(m, nullptr);
  struct Case {
    LPCSTR name;
    LPCSTR type;
    std::string bytes;  // empty: not found
  } cases[] = {
      {"SCRIPT", MAKEINTRESOURCEA(25), "台詞テキスト"},
      {"script", MAKEINTRESOURCEA(25), "台詞テキスト"},
      {"SCRIPT", "#25", "台詞テキスト"},
      {MAKEINTRESOURCEA(101), "WAVE", "RIFF....WAVE"},
      {"#101", "wave", "RIFF....WAVE"},
      {"SCRIPT", MAKEINTRESOURCEA(27), ""},
      {MAKEINTRESOURCEA(102), "WAVE", ""},
  };
  for (const Case& c : cases) {
    HRSRC r = FindResourceA(m, c.name, c.type);
    if (c.bytes.empty()) {
      EXPECT_EQ(r, nullptr);
      continue;
    }
    ASSERT_NE(r, nullptr);
    DWORD size = SizeofResource(m, r);
    const char* data = static_cast<const char*>(LockResource(LoadResource(m, r)));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(data, size), c.bytes);
  }
  FreeLibrary(m);
}

}  // namespace
