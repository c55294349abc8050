// Saves through a synced temporary file that is renamed or linked into
// place.
#include "platform/win32/save_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <random>

#include "platform/win32/kernel_object.h"
#include "platform/win32/path.h"
#include "platform/win32/win32.h"

namespace vox_win32 {

namespace {

std::atomic<SaveStepHook> step_hook{nullptr};

constexpr char kTempSuffix[] = ".tmp";
constexpr int kRandomLetters = 6;
constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// 0 when the step may run, else the errno value it fails with.
int Enter(SaveStep step) {
  SaveStepHook hook = step_hook.load();
  return hook ? hook(step) : 0;
}

// Sets the last error for an errno value; always -1.
int Fail(int error) {
  SetLastError(SaveErrorFromErrno(error));
  return -1;
}

bool Refuse(DWORD code) {
  SetLastError(code);
  return false;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int WriteAll(int fd, const char* p, size_t left) {
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return ENOSPC;
    p += n;
    left -= (size_t)n;
  }
  return 0;
}

int SyncFolder(const std::string& folder) {
  if (int e = Enter(SaveStep::kSyncFolder)) return e;
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  int e = fsync(fd) == 0 ? 0 : errno;
  close(fd);
  // File systems that cannot sync a folder keep their names by other means.
  return e == EINVAL || e == ENOTSUP ? 0 : e;
}

// A save in progress: its temporary file, created, locked and filled.
class TempFile {
 public:
  ~TempFile() {
    if (fd_ >= 0) {
      if (!published_) unlink(path_.c_str());
      close(fd_);
    }
  }
  // 0, or the errno value of the step that failed.
  int Fill(const std::string& folder, std::string_view stem, const void* data, size_t size, mode_t mode) {
    if (int e = Enter(SaveStep::kCreate)) return e;
    std::random_device random;
    std::uniform_int_distribution<int> letter(0, (int)sizeof kLetters - 2);
    for (int attempt = 0; fd_ < 0; ++attempt) {
      std::string name = "~" + std::string(stem) + ".";
      for (int i = 0; i < kRandomLetters; ++i) name += kLetters[letter(random)];
      path_ = folder + "/" + name + kTempSuffix;
      // The umask applies to the mode, as for any new file.
      fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ < 0 && (errno != EEXIST || attempt >= 100)) return errno;
    }
    // The lock tells a clean-up at another program's start that this file
    // is in use; where locks are not to be had, the save goes on without.
    flock(fd_, LOCK_EX);
    if (mode != 0) fchmod(fd_, mode);
    if (int e = Enter(SaveStep::kWrite)) return e;
    if (int e = WriteAll(fd_, static_cast<const char*>(data), size)) return e;
    if (int e = Enter(SaveStep::kSync)) return e;
    return fsync(fd_) == 0 ? 0 : errno;
  }
  const std::string& path() const { return path_; }
  // Renamed into place, or unlinked once linked: the temporary name is
  // gone.
  void Published() { published_ = true; }

 private:
  std::string path_;
  int fd_ = -1;
  bool published_ = false;
};

}  // namespace

DWORD SaveErrorFromErrno(int error) {
  switch (error) {
    // What is missing when a save's file cannot be made is its folder, as
    // the platform says it.
    case ENOENT: return ERROR_PATH_NOT_FOUND;
    case EISDIR: return ERROR_DIRECTORY_NOT_SUPPORTED;
    default: return ErrorFromErrno(error);
  }
}

bool MayReplaceFile(const std::string& path) {
  struct stat st;
  // Nothing there, or nothing to be seen: the save itself finds out.
  if (stat(path.c_str(), &st) != 0) return true;
  if (S_ISDIR(st.st_mode)) return Refuse(ERROR_DIRECTORY_NOT_SUPPORTED);
  // No write bit at all is the read-only attribute, which a privileged
  // process must keep as well: the rename would go over it.
  if (!(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) return Refuse(ERROR_FILE_READ_ONLY);
  if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return Refuse(SaveErrorFromErrno(errno));
  return true;
}

bool SaveReplacingFile(const std::string& path, const void* data, size_t size) {
  if (!MayReplaceFile(path)) return false;
  struct stat old;
  mode_t mode = stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode) ? (old.st_mode & 07777) : 0;
  const std::string folder = FolderOf(path);
  TempFile temp;
  int e = temp.Fill(folder, NameOf(path), data, size, mode);
  if (!e) e = Enter(SaveStep::kPublish);
  if (!e && rename(temp.path().c_str(), path.c_str()) != 0) e = errno;
  if (!e) {
    temp.Published();
    e = SyncFolder(folder);
  }
  if (e) Fail(e);
  return e == 0;
}

namespace {

// The first number on whose name nothing stands now, or -1.
int FirstFreeNumber(const std::function<std::string(int)>& name, int limit) {
  for (int n = 0; n < limit; ++n) {
    const std::string to = name(n);
    struct stat st;
    if (!to.empty() && lstat(to.c_str(), &st) != 0) return n;
  }
  return -1;
}

// Links `from` under the first free name from `first` on; the number, or -1
// with errno set. `at` follows the number being tried (-1 once none is left).
int LinkUnderNewName(const std::string& from, const std::function<std::string(int)>& name, int first, int limit,
                     int* at) {
  for (int n = first; n < limit; ++n) {
    const std::string to = name(n);
    if (to.empty()) continue;
    *at = n;
    if (link(from.c_str(), to.c_str()) == 0) return n;
    if (errno != EEXIST) return -1;
  }
  *at = -1;
  errno = EEXIST;
  return -1;
}

}  // namespace

int SaveUnderNewName(const std::string& folder, std::string_view stem, const void* data, size_t size,
                     const std::function<std::string(int)>& name, int limit, int* tried) {
  int number_tried;
  if (!tried) tried = &number_tried;
  // The name the save is to take, known before it starts so that a failure
  // can name it; one taken meanwhile is passed over when publishing.
  const int first = *tried = FirstFreeNumber(name, limit);
  if (first < 0) return Fail(EEXIST);
  TempFile temp;
  if (int e = temp.Fill(folder, stem, data, size, 0)) return Fail(e);
  if (int e = Enter(SaveStep::kPublish)) return Fail(e);
  int number = LinkUnderNewName(temp.path(), name, first, limit, tried);
  if (number < 0) return Fail(errno);
  // The temporary name goes before the folder is synced, with the new one.
  unlink(temp.path().c_str());
  temp.Published();
  if (int e = SyncFolder(folder)) return Fail(e);
  return number;
}

int KeepUnderNewName(const std::string& path, const std::function<std::string(int)>& name, int limit) {
  int at;
  int number = LinkUnderNewName(path, name, 0, limit, &at);
  return number < 0 ? Fail(errno) : number;
}

bool IsSaveTemporaryName(std::string_view name, std::string_view stem) {
  const size_t head = 1 + stem.size() + 1, tail = sizeof kTempSuffix - 1;
  if (name.size() != head + kRandomLetters + tail) return false;
  // The stem in any letter case: the file it is named after may be found
  // so, as on Windows.
  if (name[0] != '~' || !SameNameNoCase(name.substr(1, stem.size()), stem) || name[head - 1] != '.') return false;
  if (name.substr(head + kRandomLetters) != kTempSuffix) return false;
  for (char c : name.substr(head, kRandomLetters))
    if (std::string_view(kLetters).find(c) == std::string_view::npos) return false;
  return true;
}

int RemoveStaleSaveFiles(const std::string& folder, std::string_view stem) {
  DIR* d = opendir(folder.c_str());
  if (!d) return 0;
  int removed = 0;
  while (dirent* e = readdir(d)) {
    if (!IsSaveTemporaryName(e->d_name, stem)) continue;
    const std::string path = folder + "/" + e->d_name;
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    // Only a plain file that no running save holds.
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        unlink(path.c_str()) == 0)
      ++removed;
    close(fd);
  }
  closedir(d);
  return removed;
}

void SetSaveStepHook(SaveStepHook hook) { step_hook.store(hook); }

}  // namespace vox_win32
