// FindFirstFileA / FindNextFileA / FindClose over readdir, with the
// platform's wildcard rules applied to code page 932 names.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/cp932.h"
#include "platform/win32/kernel_object.h"
#include "platform/win32/path.h"
#include "platform/win32/win32.h"
#include "platform/win32/wildcard.h"

namespace vox_win32 {
namespace {

struct FoundEntry {
  std::string name;  // code page 932
  struct stat st;
};

struct Find : KernelObject {
  Find() : KernelObject(ObjectKind::kFind) {}
  std::mutex lock;
  std::vector<FoundEntry> entries;
  size_t next = 0;
};

void Fill(const FoundEntry& e, WIN32_FIND_DATAA* data) {
  memset(data, 0, sizeof *data);
  if (S_ISDIR(e.st.st_mode))
    data->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
  else
    data->dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE | ((e.st.st_mode & S_IWUSR) ? 0 : FILE_ATTRIBUTE_READONLY);
  // Linux keeps no creation time in stat; the last change of the contents
  // is the closest stand-in.
  data->ftCreationTime = FileTimeFromUnix(e.st.st_mtim.tv_sec, e.st.st_mtim.tv_nsec);
  data->ftLastAccessTime = FileTimeFromUnix(e.st.st_atim.tv_sec, e.st.st_atim.tv_nsec);
  data->ftLastWriteTime = data->ftCreationTime;
  if (!S_ISDIR(e.st.st_mode)) {
    data->nFileSizeHigh = (DWORD)((uint64_t)e.st.st_size >> 32);
    data->nFileSizeLow = (DWORD)e.st.st_size;
  }
  memcpy(data->cFileName, e.name.c_str(), e.name.size() + 1);
}

}  // namespace
}  // namespace vox_win32

using namespace vox_win32;

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data) {
  if (!pattern || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string_view text(pattern);
  size_t sep = LastSeparator(text);
  std::string folder_part, wildcard;
  if (sep != std::string_view::npos) {
    folder_part = std::string(text.substr(0, sep + 1));
    wildcard = std::string(text.substr(sep + 1));
  } else if (text.size() >= 2 && text[1] == ':') {
    folder_part = std::string(text.substr(0, 2));  // "C:*.txt": the current folder
    wildcard = std::string(text.substr(2));
  } else {
    wildcard = std::string(text);
  }
  std::string folder = ".";
  if (!folder_part.empty() && !MapWindowsPath(folder_part, &folder)) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  DIR* d = opendir(folder.c_str());
  if (!d) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (folder.back() != '/') folder += '/';
  auto find = std::make_shared<Find>();
  while (dirent* e = readdir(d)) {
    FoundEntry entry;
    // Names that code page 932 cannot spell do not exist for the program.
    if (!Utf8ToCp932(e->d_name, &entry.name) || entry.name.size() >= MAX_PATH) continue;
    if (!MatchesWildcard(wildcard, entry.name)) continue;
    std::string full = folder + e->d_name;
    if (stat(full.c_str(), &entry.st) != 0 && lstat(full.c_str(), &entry.st) != 0) continue;
    find->entries.push_back(std::move(entry));
  }
  closedir(d);
  if (find->entries.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  // Listed in name order ignoring case, as the platform's file system does,
  // so listings do not depend on the order of creation.
  std::sort(find->entries.begin(), find->entries.end(), [](const FoundEntry& a, const FoundEntry& b) {
    int c = CompareNoCaseCp932(a.name, b.name);
    return c != 0 ? c < 0 : a.name < b.name;
  });
  Fill(find->entries[0], data);
  find->next = 1;
  SetLastError(ERROR_SUCCESS);
  return RegisterObject(find);
}

BOOL FindNextFileA(HANDLE h, WIN32_FIND_DATAA* data) {
  std::shared_ptr<Find> find = LookupAs<Find>(h, ObjectKind::kFind);
  if (!find) return FALSE;
  if (!data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> g(find->lock);
  if (find->next >= find->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  Fill(find->entries[find->next++], data);
  return TRUE;
}

BOOL FindClose(HANDLE h) { return UnregisterObject(h, KindBit(ObjectKind::kFind)) ? TRUE : FALSE; }
