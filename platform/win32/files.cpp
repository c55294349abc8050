// Files and folders: CreateFileA and the operations on its handles, delete,
// move, folders and their attributes, the current folder and temporary files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/cp932.h"
#include "platform/win32/kernel_object.h"
#include "platform/win32/path.h"
#include "platform/win32/win32.h"

namespace vox_win32 {
namespace {

// Open files of this process by inode, with the access and sharing each
// handle asked for, so that CreateFileA and DeleteFileA can refuse what the
// platform refuses. (Other processes are not seen.)
struct ShareEntry {
  dev_t dev;
  ino_t ino;
  DWORD access;
  DWORD share;
  const void* owner;
};

std::mutex share_lock;
std::vector<ShareEntry>& share_entries() {
  static auto* v = new std::vector<ShareEntry>;
  return *v;
}

bool SharingConflicts(dev_t dev, ino_t ino, DWORD access, DWORD share) {
  DWORD rw = GENERIC_READ | GENERIC_WRITE;
  for (const ShareEntry& e : share_entries()) {
    if (e.dev != dev || e.ino != ino) continue;
    if (!(access & rw) && !(e.access & rw)) continue;
    if ((access & GENERIC_READ) && !(e.share & FILE_SHARE_READ)) return true;
    if ((access & GENERIC_WRITE) && !(e.share & FILE_SHARE_WRITE)) return true;
    if ((e.access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return true;
    if ((e.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return true;
  }
  return false;
}

// The descriptor is closed when the last user lets go: a read running on
// another thread when the handle is closed finishes on its own descriptor
// rather than on a number the system may already have handed out again.
struct File : KernelObject {
  File() : KernelObject(ObjectKind::kFile) {}
  ~File() override {
    if (fd < 0) return;
    {
      std::lock_guard<std::mutex> g(share_lock);
      auto& v = share_entries();
      for (size_t i = 0; i < v.size(); ++i)
        if (v[i].owner == this) {
          v.erase(v.begin() + i);
          break;
        }
    }
    close(fd);
  }
  int fd = -1;
  DWORD access = 0;
};

// ERROR_FILE_NOT_FOUND when the folder exists, else ERROR_PATH_NOT_FOUND.
DWORD MissingError(const std::string& host) {
  size_t slash = host.find_last_of('/');
  if (slash == std::string::npos) return ERROR_FILE_NOT_FOUND;
  std::string folder = slash == 0 ? "/" : host.substr(0, slash);
  struct stat st;
  return (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? ERROR_FILE_NOT_FOUND
                                                                 : ERROR_PATH_NOT_FOUND;
}

DWORD ErrorForPath(int error, const std::string& host) {
  return error == ENOENT ? MissingError(host) : ErrorFromErrno(error);
}

bool Fail(DWORD code) {
  SetLastError(code);
  return false;
}

std::shared_ptr<File> LookupFile(HANDLE h) { return LookupAs<File>(h, ObjectKind::kFile); }

// Writes a Windows-form path into a caller's buffer of `size` bytes the way
// the platform does: the length without the terminator when it fits, else
// the size needed (terminator included) and the buffer untouched.
DWORD CopyOut(const std::string& text, LPSTR buffer, DWORD size) {
  if (!buffer || size <= text.size()) return (DWORD)text.size() + 1;
  memcpy(buffer, text.c_str(), text.size() + 1);
  return (DWORD)text.size();
}

}  // namespace

}  // namespace vox_win32

using namespace vox_win32;

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, void*, DWORD creation, DWORD attributes,
                   HANDLE) {
  std::string host;
  if (!name || !MapWindowsPath(name, &host)) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  int flags = O_CLOEXEC;
  if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
    flags |= O_RDWR;
  else if (access & GENERIC_WRITE)
    flags |= O_WRONLY;
  else
    flags |= O_RDONLY;
  switch (creation) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING:
      if (!(access & GENERIC_WRITE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
      }
      flags |= O_TRUNC;
      break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }

  // Sharing is checked before the file is touched, so a refused
  // CREATE_ALWAYS does not truncate a file another handle holds.
  std::lock_guard<std::mutex> g(share_lock);
  struct stat st;
  bool existed = stat(host.c_str(), &st) == 0;
  if (existed) {
    if (S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    if (creation == CREATE_NEW) {
      SetLastError(ERROR_FILE_EXISTS);
      return INVALID_HANDLE_VALUE;
    }
    if (SharingConflicts(st.st_dev, st.st_ino, access, share)) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return INVALID_HANDLE_VALUE;
    }
  }
  mode_t mode = (attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  int fd = open(host.c_str(), flags, mode);
  if (fd < 0) {
    SetLastError(errno == EEXIST ? ERROR_FILE_EXISTS : ErrorForPath(errno, host));
    return INVALID_HANDLE_VALUE;
  }
  if (fstat(fd, &st) != 0) {
    int e = errno;
    close(fd);
    SetLastError(ErrorFromErrno(e));
    return INVALID_HANDLE_VALUE;
  }
  auto file = std::make_shared<File>();
  file->fd = fd;
  file->access = access;
  share_entries().push_back(ShareEntry{st.st_dev, st.st_ino, access, share, file.get()});
  HANDLE h = RegisterObject(file);
  bool reports_existing = existed && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS);
  SetLastError(reports_existing ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return h;
}

BOOL ReadFile(HANDLE h, LPVOID buffer, DWORD to_read, DWORD* read_out, void*) {
  if (read_out) *read_out = 0;
  std::shared_ptr<File> f = LookupFile(h);
  if (!f) return FALSE;
  if (!(f->access & GENERIC_READ)) return Fail(ERROR_ACCESS_DENIED);
  DWORD done = 0;
  while (done < to_read) {
    ssize_t n = read(f->fd, (char*)buffer + done, to_read - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (read_out) *read_out = done;
      return Fail(ErrorFromErrno(errno));
    }
    if (n == 0) break;  // end of file: success with fewer bytes
    done += (DWORD)n;
  }
  if (read_out) *read_out = done;
  return TRUE;
}

BOOL WriteFile(HANDLE h, LPCVOID buffer, DWORD to_write, DWORD* written, void*) {
  if (written) *written = 0;
  std::shared_ptr<File> f = LookupFile(h);
  if (!f) return FALSE;
  if (!(f->access & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED);
  DWORD done = 0;
  while (done < to_write) {
    ssize_t n = write(f->fd, (const char*)buffer + done, to_write - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (written) *written = done;
      return Fail(ErrorFromErrno(errno));
    }
    done += (DWORD)n;
  }
  if (written) *written = done;
  return TRUE;
}

DWORD SetFilePointer(HANDLE h, LONG distance, LONG* distance_high, DWORD method) {
  std::shared_ptr<File> f = LookupFile(h);
  if (!f) return INVALID_SET_FILE_POINTER;
  int64_t move = distance_high ? (int64_t)(((uint64_t)(uint32_t)*distance_high << 32) | (uint32_t)distance)
                               : (int64_t)distance;
  int64_t base;
  if (method == FILE_BEGIN) {
    base = 0;
  } else if (method == FILE_CURRENT) {
    base = lseek(f->fd, 0, SEEK_CUR);
  } else if (method == FILE_END) {
    struct stat st;
    base = fstat(f->fd, &st) == 0 ? st.st_size : -1;
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (base < 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_SET_FILE_POINTER;
  }
  int64_t target = base + move;
  if (target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  if (lseek(f->fd, target, SEEK_SET) < 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_SET_FILE_POINTER;
  }
  if (distance_high) *distance_high = (LONG)(target >> 32);
  // INVALID_SET_FILE_POINTER can be a real low part; callers tell by the error.
  SetLastError(ERROR_SUCCESS);
  return (DWORD)target;
}

DWORD GetFileSize(HANDLE h, DWORD* size_high) {
  std::shared_ptr<File> f = LookupFile(h);
  if (!f) return INVALID_FILE_SIZE;
  struct stat st;
  if (fstat(f->fd, &st) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_FILE_SIZE;
  }
  if (size_high) *size_high = (DWORD)((uint64_t)st.st_size >> 32);
  SetLastError(ERROR_SUCCESS);
  return (DWORD)st.st_size;
}

BOOL DeleteFileA(LPCSTR name) {
  std::string host;
  if (!name || !MapWindowsPath(name, &host)) return FALSE;
  std::lock_guard<std::mutex> g(share_lock);
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) return Fail(ErrorForPath(errno, host));
  if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  for (const ShareEntry& e : share_entries())
    if (e.dev == st.st_dev && e.ino == st.st_ino && !(e.share & FILE_SHARE_DELETE))
      return Fail(ERROR_SHARING_VIOLATION);
  if (unlink(host.c_str()) != 0) return Fail(ErrorForPath(errno, host));
  return TRUE;
}

BOOL CreateDirectoryA(LPCSTR name, void*) {
  std::string host;
  if (!name || !MapWindowsPath(name, &host)) return FALSE;
  if (mkdir(host.c_str(), 0777) != 0)
    return Fail(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
  return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR name) {
  std::string host;
  if (!name || !MapWindowsPath(name, &host)) return FALSE;
  if (rmdir(host.c_str()) != 0)
    return Fail(errno == ENOTDIR ? ERROR_DIRECTORY : ErrorForPath(errno, host));
  return TRUE;
}

BOOL MoveFileA(LPCSTR from, LPCSTR to) {
  std::string source, target;
  if (!from || !to || !MapWindowsPath(from, &source) || !MapWindowsPath(to, &target)) return FALSE;
  struct stat ss, ts;
  if (lstat(source.c_str(), &ss) != 0) return Fail(ErrorForPath(errno, source));
  if (lstat(target.c_str(), &ts) == 0) {
    if (ss.st_dev != ts.st_dev || ss.st_ino != ts.st_ino) return Fail(ERROR_ALREADY_EXISTS);
    // The target names the source itself (found ignoring case): a change of
    // letter case, made with the name as the caller wrote it.
    std::string_view written(to);
    size_t sep = LastSeparator(written);
    std::string name;
    if (!Cp932ToUtf8(sep == std::string_view::npos ? written : written.substr(sep + 1), &name))
      return Fail(ERROR_INVALID_NAME);
    size_t slash = target.find_last_of('/');
    target = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + name;
  }
  if (rename(source.c_str(), target.c_str()) != 0)
    return Fail(errno == EXDEV ? ERROR_NOT_SAME_DEVICE : ErrorForPath(errno, target));
  return TRUE;
}

DWORD GetFileAttributesA(LPCSTR name) {
  std::string host;
  if (!name || !MapWindowsPath(name, &host)) return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  if (stat(host.c_str(), &st) != 0) {
    SetLastError(ErrorForPath(errno, host));
    return INVALID_FILE_ATTRIBUTES;
  }
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  return access(host.c_str(), W_OK) == 0 ? FILE_ATTRIBUTE_ARCHIVE
                                         : FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY;
}

BOOL SetCurrentDirectoryA(LPCSTR path) {
  std::string host;
  if (!path || !MapWindowsPath(path, &host)) return FALSE;
  if (chdir(host.c_str()) != 0) return Fail(ErrorForPath(errno, host));
  return TRUE;
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
  char* cwd = getcwd(nullptr, 0);
  if (!cwd) {
    SetLastError(ErrorFromErrno(errno));
    return 0;
  }
  std::string windows;
  bool ok = HostToWindowsPath(cwd, &windows);
  free(cwd);
  if (!ok) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  return CopyOut(windows, buffer, size);
}

DWORD GetTempPathA(DWORD size, LPSTR buffer) {
  const char* dir = getenv("TMPDIR");
  std::string host = (dir && *dir) ? dir : "/tmp";
  std::string windows;
  if (!HostToWindowsPath(host, &windows)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (windows.empty() || LastSeparator(windows) != windows.size() - 1) windows += '\\';
  return CopyOut(windows, buffer, size);
}

UINT GetTempFileNameA(LPCSTR dir, LPCSTR prefix, UINT unique, LPSTR out) {
  if (!dir || !out) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string base = dir;
  if (base.empty() || LastSeparator(base) != base.size() - 1) base += '\\';
  // At most three characters of the prefix (a two-byte character is one).
  std::string pre;
  if (prefix) {
    std::string_view p(prefix);
    size_t end = 0;
    for (int k = 0; k < 3 && end < p.size(); ++k) end += Cp932CharLength(p, end);
    pre = std::string(p.substr(0, end));
  }
  auto make_name = [&](UINT number) {
    char hex[8];
    snprintf(hex, sizeof hex, "%X", number & 0xFFFF);
    return base + pre + hex + ".TMP";
  };
  if (unique != 0) {
    std::string name = make_name(unique);
    if (name.size() >= MAX_PATH) return Fail(ERROR_FILENAME_EXCED_RANGE), 0;
    memcpy(out, name.c_str(), name.size() + 1);
    return unique & 0xFFFF;
  }
  // Numbers start from the clock and are tried in turn until a new file can
  // be made, as the platform does.
  UINT start = (UINT)(getpid() ^ (UINT)time(nullptr)) & 0xFFFF;
  for (UINT k = 0; k < 0x10000; ++k) {
    UINT number = ((start + k) & 0xFFFF) ? (start + k) & 0xFFFF : 1;
    std::string name = make_name(number);
    if (name.size() >= MAX_PATH) return Fail(ERROR_FILENAME_EXCED_RANGE), 0;
    HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      memcpy(out, name.c_str(), name.size() + 1);
      SetLastError(ERROR_SUCCESS);
      return number;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return 0;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}
