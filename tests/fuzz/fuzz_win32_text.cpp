// The kernel stand-in's readers of outside text: .ini files as a player may
// edit them, file-name wildcards, Windows paths and code page conversion.
// The input is split at its first two NULs into file contents, a pattern
// and a name.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/win32/cp932.h"
#include "platform/win32/path.h"
#include "platform/win32/win32.h"
#include "platform/win32/wildcard.h"

namespace {

std::string ProfilePath() {
  static std::string path = [] {
    char templ[] = "/tmp/vox-fuzz-ini-XXXXXX";
    int fd = mkstemp(templ);
    if (fd >= 0) close(fd);
    return std::string(templ);
  }();
  return path;
}

// Letters and digits only: names that any file content leaves readable.
bool Plain(const char* s) {
  if (!*s) return false;
  for (; *s; ++s)
    if (!((*s >= 'a' && *s <= 'z') || (*s >= 'A' && *s <= 'Z') || (*s >= '0' && *s <= '9'))) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view all(reinterpret_cast<const char*>(data), size);
  size_t a = all.find('\0');
  std::string_view contents = all.substr(0, a);
  std::string pattern, name;
  if (a != std::string_view::npos) {
    std::string_view rest = all.substr(a + 1);
    size_t b = rest.find('\0');
    pattern = std::string(rest.substr(0, b));
    if (b != std::string_view::npos) name = std::string(rest.substr(b + 1));
  }

  FILE* f = fopen(ProfilePath().c_str(), "wb");
  if (!f) return 0;
  fwrite(contents.data(), 1, contents.size(), f);
  fclose(f);
  std::string windows;
  if (!vox_win32::HostToWindowsPath(ProfilePath(), &windows)) return 0;
  const char* ini = windows.c_str();
  const char* section = pattern.empty() ? "Custom" : pattern.c_str();
  const char* key = name.empty() ? "FullScreen" : name.c_str();
  char out[64];
  for (DWORD n : {0u, 1u, 2u, 6u, (DWORD)sizeof out}) {
    if (GetPrivateProfileStringA(nullptr, nullptr, "", out, n, ini) > (n ? n - 1 : 0)) abort();
    if (GetPrivateProfileStringA(section, nullptr, "", out, n, ini) > (n ? n - 1 : 0)) abort();
    if (GetPrivateProfileStringA(section, key, "default", out, n, ini) > (n ? n - 1 : 0)) abort();
  }
  GetPrivateProfileIntA(section, key, 7, ini);
  // A key written under plain names reads back, whatever else the file holds.
  if (WritePrivateProfileStringA(section, key, "1", ini) && Plain(section) && Plain(key) &&
      GetPrivateProfileIntA(section, key, 7, ini) != 1)
    abort();

  vox_win32::MatchesWildcard(pattern, name);
  std::string text;
  vox_win32::Cp932ToUtf8(pattern, &text);
  vox_win32::Utf8ToCp932(name, &text);
  vox_win32::LastSeparator(pattern);
  return 0;
}
