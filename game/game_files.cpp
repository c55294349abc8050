// Files through the platform's path mapping, written by temporary file and
// rename.
#include "game/game_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/win32/path.h"
#include "platform/win32/win32.h"

namespace {

// Writes the bytes into a fresh temporary file beside `host` and returns its
// name; empty on failure (nothing left behind).
std::string write_temporary(const std::string& host, const void* data, size_t size) {
  std::string temp = host + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return {};
  const char* p = static_cast<const char*>(data);
  size_t left = size;
  bool ok = true;
  while (ok && left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) p += n, left -= (size_t)n;
  }
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok) {
    unlink(temp.c_str());
    return {};
  }
  // mkstemp makes the file private; a saved game is an ordinary file.
  mode_t mask = umask(0);
  umask(mask);
  chmod(temp.c_str(), 0666 & ~mask);
  return temp;
}

}  // namespace

bool read_whole_file(const char* path, std::string* bytes, size_t limit) {
  std::string host;
  if (!path || !vox_win32::MapWindowsPath(path, &host)) return false;
  FILE* f = fopen(host.c_str(), "rb");
  if (!f) return false;
  std::string data;
  char buffer[4096];
  size_t n;
  bool ok = true;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) {
    if (data.size() + n > limit) {
      ok = false;
      break;
    }
    data.append(buffer, n);
  }
  ok = ok && !ferror(f);
  fclose(f);
  if (ok) *bytes = std::move(data);
  return ok;
}

bool replace_whole_file(const char* path, const void* data, size_t size) {
  std::string host;
  if (!path || !vox_win32::MapWindowsPath(path, &host)) return false;
  std::string temp = write_temporary(host, data, size);
  if (temp.empty()) return false;
  if (rename(temp.c_str(), host.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  return true;
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
