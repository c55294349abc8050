// Files through the platform's path mapping; saves through save_file.h.
#include "game/game_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/win32/path.h"
#include "platform/win32/save_file.h"
#include "platform/win32/win32.h"

namespace {

// How many kept copies of one file are looked for a free name among.
constexpr int kKeptLimit = 1000;

}  // namespace

bool host_path(const char* path, std::string* host) { return path && vox_win32::MapWindowsPath(path, host); }

int read_file_head(const char* path, size_t limit, std::string* bytes) {
  bytes->clear();
  std::string host;
  if (!host_path(path, &host)) return -1;
  std::unique_ptr<FILE, int (*)(FILE*)> f(fopen(host.c_str(), "rb"), fclose);
  if (!f) {
    if (errno == ENOENT) return 0;
    SetLastError(ERROR_ACCESS_DENIED);
    return -1;
  }
  bytes->resize(limit);
  size_t n = fread(bytes->data(), 1, limit, f.get());
  bytes->resize(n);
  if (ferror(f.get())) {
    // A folder opens here and fails its read.
    SetLastError(ERROR_ACCESS_DENIED);
    return -1;
  }
  return 1;
}

bool replace_whole_file(const char* path, const void* data, size_t size) {
  std::string host;
  if (!host_path(path, &host)) return false;
  return vox_win32::SaveReplacingFile(host, data, size);
}

bool may_replace_file(const char* path) {
  std::string host;
  return host_path(path, &host) && vox_win32::MayReplaceFile(host);
}

bool keep_file_beside(const char* path) {
  std::string host;
  if (!host_path(path, &host)) return false;
  return vox_win32::KeepUnderNewName(
             host,
             [&](int n) {
               const std::string name = std::string(path) + ".kept" + std::to_string(n + 1);
               std::string kept;
               // A name the folder already holds in another letter case is
               // taken, as on Windows.
               if (!host_path(name.c_str(), &kept) || GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES)
                 return std::string();
               return kept;
             },
             kKeptLimit) >= 0;
}

void remove_unfinished_saves(const char* file) {
  std::string host;
  if (!host_path(file, &host)) return;
  const size_t slash = host.find_last_of('/');
  if (slash == std::string::npos)
    vox_win32::RemoveStaleSaveFiles(".", host);
  else
    vox_win32::RemoveStaleSaveFiles(host.substr(0, slash), host.substr(slash + 1));
}

std::string save_error_text() {
  switch (DWORD e = GetLastError()) {
    case ERROR_DISK_FULL: return "the disk is full";
    case ERROR_DISK_QUOTA_EXCEEDED: return "the disk quota is used up";
    case ERROR_WRITE_PROTECT: return "the file system is read-only";
    case ERROR_FILE_READ_ONLY: return "the file is read-only";
    case ERROR_ACCESS_DENIED: return "access is denied (no permission to write it)";
    case ERROR_DIRECTORY_NOT_SUPPORTED: return "a folder stands in the file's place";
    case ERROR_PATH_NOT_FOUND: return "its folder is missing";
    case ERROR_DIRECTORY: return "a file stands where its folder should be";
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return "no free name is left";
    case ERROR_TOO_MANY_OPEN_FILES: return "too many files are open";
    case ERROR_NOT_ENOUGH_MEMORY: return "memory ran out";
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE: return "the name is not valid here";
    default: return "error " + std::to_string(e);
  }
}

std::vector<std::string> list_folder(const char* folder, std::initializer_list<const char*> contains) {
  std::vector<std::string> names;
  std::string pattern = std::string(folder) + "\\*";
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(pattern.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    for (const char* text : contains) {
      if (std::strstr(found.cFileName, text)) {
        names.emplace_back(found.cFileName);
        break;
      }
    }
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return names;
}
