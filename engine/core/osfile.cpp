// Operating-system files for the file layer: plain files read on the
// caller's thread, and threaded files served by a file-access thread of
// their own so that a read can be started and polled.
//
// A threaded file's command fields are shared with its thread. The done
// event is the lock: the caller writes them only after waiting for it, the
// thread only between resetting it and signalling it again.
#include "engine/core/osfile.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "engine/core/alloc.h"
#include "engine/core/file.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "platform/win32/win32.h"

namespace {

constexpr uint32_t kCacheSize = 0x20000;    // read-ahead cache of a threaded file
constexpr DWORD kReadAheadWaitMs = 100;     // idle time before the cache is filled
constexpr size_t kPathSize = 260;

enum Command { kOpen = 0, kClose = 1, kRead = 2, kSeek = 3, kEnd = 4 };

}  // namespace

struct OsFile {
  HANDLE handle = nullptr;  // plain files: the open file
  int threaded = 0;
  int use_cache = 0;
  int async = 0;
  int at_end = 0;
  uint32_t position = 0;
  uint32_t size = 0;
  DWORD thread_id = 0;
  HANDLE thread = nullptr;
  HANDLE thread_handle = nullptr;  // the file as the thread opened it
  HANDLE command_event = nullptr;
  HANDLE done_event = nullptr;
  int command = kOpen;
  std::atomic<int> thread_ended{0};
  int open_failed = 0;
  char path[kPathSize] = {};
  uint8_t* read_buffer = nullptr;
  uint32_t read_position = 0;
  uint32_t read_size = 0;
  uint32_t read_done = 0;  // bytes the last read really delivered
  uint32_t seek_target = 0;
  uint8_t* cache = nullptr;
  uint32_t cache_position = 0;
  // Written by the file's thread alone; atomic so that the owner may watch.
  std::atomic<uint32_t> cache_fill{0};
  std::atomic<uint64_t> bytes_from_cache{0};
};

namespace {

OsFile* NewRecord() {
  void* p = VOX_CALLOC(sizeof(OsFile));
  return p ? new (p) OsFile() : nullptr;
}

void FreeRecord(OsFile* f) {
  f->~OsFile();
  VOX_FREE(f);
}

// Positions up to 4 GB - 1 (the high part keeps a position above 2 GB from
// reading as a negative distance).
bool SeekHandle(HANDLE h, uint32_t position) {
  LONG high = 0;
  SetLastError(ERROR_SUCCESS);
  DWORD r = SetFilePointer(h, (LONG)position, &high, FILE_BEGIN);
  return !(r == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS);
}

HANDLE OpenForReading(const char* path, DWORD share) {
  return CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void ReadAhead(OsFile* f) {
  if (!f->thread_handle || f->cache_fill >= kCacheSize) return;
  if (!SeekHandle(f->thread_handle, f->cache_position + f->cache_fill)) return;
  DWORD got = 0;
  ReadFile(f->thread_handle, f->cache + f->cache_fill, kCacheSize - f->cache_fill, &got, nullptr);
  f->cache_fill += got;
}

std::atomic<void (*)()> g_read_hook{nullptr};

void ExecuteRead(OsFile* f) {
  if (void (*hook)() = g_read_hook) hook();
  f->read_done = 0;
  if (f->cache && f->cache_fill > 0 && f->cache_position == f->read_position) {
    uint32_t n = std::min<uint32_t>(f->read_size, f->cache_fill);
    memcpy(f->read_buffer, f->cache, n);
    f->read_buffer += n;
    f->read_position += n;
    f->read_size -= n;
    f->read_done += n;
    f->cache_position += n;
    f->cache_fill -= n;
    memmove(f->cache, f->cache + n, f->cache_fill);
    f->bytes_from_cache += n;
  }
  if (f->read_size == 0) return;
  DWORD got = 0;
  if (SeekHandle(f->thread_handle, f->read_position) &&
      !ReadFile(f->thread_handle, f->read_buffer, f->read_size, &got, nullptr))
    got = 0;
  f->read_done += got;
  // Bytes that did not arrive are zeroed, so even an asynchronous reader,
  // which was promised the whole request, never sees stale memory as data.
  if (got < f->read_size) memset(f->read_buffer + got, 0, f->read_size - got);
  if (f->cache) {
    f->cache_position = f->read_position + got;
    f->cache_fill = 0;
  }
}

DWORD FileAccessThread(LPVOID arg) {
  OsFile* f = static_cast<OsFile*>(arg);
  for (;;) {
    if (!f->cache) {
      WaitForSingleObject(f->command_event, INFINITE);
    } else {
      while (WaitForSingleObject(f->command_event, kReadAheadWaitMs) == WAIT_TIMEOUT) ReadAhead(f);
    }
    ResetEvent(f->command_event);
    ResetEvent(f->done_event);
    switch (f->command) {
      case kOpen:
        f->thread_handle = OpenForReading(f->path, 0);
        if (f->thread_handle == INVALID_HANDLE_VALUE) {
          f->thread_handle = nullptr;
          f->open_failed = 1;
          SetEvent(f->done_event);
          f->thread_ended = 1;
          return 0;
        }
        break;
      case kClose:
        CloseHandle(f->thread_handle);
        f->thread_handle = nullptr;
        break;
      case kRead:
        ExecuteRead(f);
        break;
      case kSeek:
        SeekHandle(f->thread_handle, f->seek_target);
        if (f->cache) {
          f->cache_position = f->seek_target;
          f->cache_fill = 0;
        }
        break;
      case kEnd:
        if (f->thread_handle) CloseHandle(f->thread_handle);
        f->thread_handle = nullptr;
        SetEvent(f->done_event);
        f->thread_ended = 1;
        return 0;
    }
    SetEvent(f->done_event);
  }
}

// Waits until no command runs, then hands the thread the one filled in by
// `fill`.
template <class Fill>
void PostCommand(OsFile* f, int command, Fill fill) {
  WaitForSingleObject(f->done_event, INFINITE);
  f->command = command;
  fill();
  ResetEvent(f->done_event);
  SetEvent(f->command_event);
}

void PostCommand(OsFile* f, int command) {
  PostCommand(f, command, [] {});
}

void WaitForThreadEnd(OsFile* f) {
  DWORD code = STILL_ACTIVE;
  while (GetExitCodeThread(f->thread, &code) && code == STILL_ACTIVE) Sleep(0);
}

// Releases what a threaded file holds besides its record, once its thread
// is gone or was never started.
void ReleaseThreaded(OsFile* f) {
  if (f->cache) VOX_FREE(f->cache);
  f->cache = nullptr;
  if (f->thread) CloseHandle(f->thread);
  if (f->command_event) CloseHandle(f->command_event);
  if (f->done_event) CloseHandle(f->done_event);
  f->thread = f->command_event = f->done_event = nullptr;
}

OsFile* OpenThreaded(OsFile* f, const char* path, int use_cache) {
  HANDLE probe = OpenForReading(path, FILE_SHARE_READ);
  if (probe == INVALID_HANDLE_VALUE) {
    // Reported like a failed open in the thread, so a missing archive shows
    // in the log either way.
    FreeRecord(f);
    WriteLogText("ファイルのオープンに失敗しました\n");
    return nullptr;
  }
  f->size = GetFileSize(probe, nullptr);
  CloseHandle(probe);
  if (use_cache) {
    f->cache = static_cast<uint8_t*>(VOX_ALLOC(kCacheSize));
    if (!f->cache) {
      WriteLogText("ファイル読み込みキャッシュ用メモリの確保に失敗しました\n");
      FreeRecord(f);
      return nullptr;
    }
  }
  f->command_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  f->done_event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  if (f->command_event && f->done_event)
    f->thread = CreateThread(nullptr, 0, FileAccessThread, f, 0, &f->thread_id);
  if (!f->thread) {
    WriteLogText("ファイルアクセス専用スレッドの作成に失敗しました\n");
    ReleaseThreaded(f);
    FreeRecord(f);
    return nullptr;
  }
  PostCommand(f, kOpen);
  WaitForSingleObject(f->done_event, INFINITE);
  if (f->open_failed) {
    WaitForThreadEnd(f);
    ReleaseThreaded(f);
    FreeRecord(f);
    WriteLogText("ファイルのオープンに失敗しました\n");
    return nullptr;
  }
  return f;
}

// Whether a code page 932 path ends in "\" (a trail byte 0x5C does not count).
bool EndsWithSeparator(const char* path) {
  bool last_is_separator = false;
  for (const char* p = path; *p; ++p) {
    last_is_separator = *p == '\\';
    if (vox_win32::Cp932CharBytes(p) == 2) ++p;
  }
  return last_is_separator;
}

void FillInfo(const WIN32_FIND_DATAA& data, FileInfo* out) {
  if (!out) return;
  CopyStringBounded(out->name, data.cFileName, sizeof out->name);
  out->is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
  out->size_low = data.nFileSizeLow;
  out->size_high = data.nFileSizeHigh;
  FileTimeToDateRecord(&data.ftCreationTime, &out->created);
  FileTimeToDateRecord(&data.ftLastWriteTime, &out->modified);
}

}  // namespace

OsFile* OsFileOpen(const char* path, int use_cache, int /*flag*/, int async) {
  if (!path || strlen(path) >= kPathSize) return nullptr;  // a cut path would name another file
  OsFile* f = NewRecord();
  if (!f) return nullptr;
  f->use_cache = use_cache ? 1 : 0;
  f->async = async ? 1 : 0;
  f->threaded = (use_cache || async) ? 1 : 0;
  CopyStringBounded(f->path, path, sizeof f->path);
  if (f->threaded) {
    if (!OpenThreaded(f, path, use_cache)) return nullptr;
  } else {
    f->handle = OpenForReading(path, FILE_SHARE_READ);
    if (f->handle == INVALID_HANDLE_VALUE) {
      FreeRecord(f);
      return nullptr;
    }
    f->size = GetFileSize(f->handle, nullptr);
  }
  f->position = 0;
  f->at_end = 0;
  return f;
}

int OsFileClose(OsFile* f) {
  int result = 0;
  if (f->threaded) {
    PostCommand(f, kEnd);
    WaitForSingleObject(f->done_event, INFINITE);
    WaitForThreadEnd(f);
    ReleaseThreaded(f);
  } else if (!CloseHandle(f->handle)) {
    result = -1;
  }
  FreeRecord(f);
  return result;
}

int64_t OsFileTell(OsFile* f) { return f->position; }

int OsFileSeek(OsFile* f, int32_t offset, int origin) {
  int64_t base = origin == 0 ? 0 : origin == 1 ? (int64_t)f->position : (int64_t)f->size;
  int64_t target = base + offset;
  // Past the end is allowed (reads there find the end); before the start or
  // beyond what a position can hold is refused, as the platform refuses it.
  if (target < 0 || target > (int64_t)UINT32_MAX) return -1;
  if (f->threaded) {
    PostCommand(f, kSeek, [&] { f->seek_target = (uint32_t)target; });
  } else if (!SeekHandle(f->handle, (uint32_t)target)) {
    return -1;
  }
  f->position = (uint32_t)target;
  f->at_end = 0;
  return 0;
}

size_t OsFileRead(void* buffer, size_t size, size_t count, OsFile* f) {
  if (size == 0 || count == 0) return 0;
  // At or past the end (a seek may go beyond it) nothing is left to read.
  if (f->position >= f->size) {
    f->at_end = 1;
    return 0;
  }
  size_t left = f->size - f->position;
  if (count > left / size) {
    count = left / size;
    if (count == 0) {
      f->at_end = 1;
      return 0;
    }
  }
  uint32_t bytes = (uint32_t)(size * count);
  uint32_t done = 0;
  bool failed = false;
  if (!f->threaded) {
    DWORD got = 0;
    failed = !ReadFile(f->handle, buffer, bytes, &got, nullptr);
    done = got;
  } else {
    PostCommand(f, kRead, [&] {
      f->read_buffer = static_cast<uint8_t*>(buffer);
      f->read_position = f->position;
      f->read_size = bytes;
      f->read_done = 0;
    });
    if (f->async) {
      done = bytes;  // counted now; the bytes arrive while the caller polls
    } else {
      WaitForSingleObject(f->done_event, INFINITE);
      done = f->read_done;
    }
  }
  f->position += done;
  if (done < bytes) f->at_end = 1;
  return failed ? 0 : done / size;
}

int OsFileEof(OsFile* f) { return f->at_end ? -1 : 0; }

int OsFileIsIdle(OsFile* f) {
  if (!f->threaded) return 1;
  return WaitForSingleObject(f->done_event, 0) == WAIT_OBJECT_0 ? 1 : 0;
}

void SetOsFileReadHook(void (*hook)()) { g_read_hook = hook; }

uint32_t OsFileCachedBytes(OsFile* file) { return file->cache_fill; }

uint64_t OsFileBytesFromCache(OsFile* file) { return file->bytes_from_cache; }

uint32_t OsFileSize(OsFile* f) { return f->size; }

int OsFileSetDir(const char* path) { return SetCurrentDirectoryA(path); }

int OsFileGetDir(char* buffer) {
  DWORD n = GetCurrentDirectoryA(FILE_DIR_BUFFER, buffer);
  // A folder too long for the buffer leaves it untouched: hand back an empty
  // text and report the failure rather than whatever the buffer held.
  if (n == 0 || n >= (DWORD)FILE_DIR_BUFFER) {
    buffer[0] = '\0';
    return 0;
  }
  return (int)n;
}

intptr_t OsFileFindFirst(const char* pattern, FileInfo* out) {
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA(pattern, &data);
  if (h == INVALID_HANDLE_VALUE) return -1;
  FillInfo(data, out);
  return (intptr_t)h;
}

int OsFileFindNext(intptr_t find, FileInfo* out) {
  WIN32_FIND_DATAA data;
  if (!FindNextFileA((HANDLE)find, &data)) return -1;
  FillInfo(data, out);
  return 0;
}

int OsFileFindClose(intptr_t find) { return FindClose((HANDLE)find) ? 0 : -1; }

HANDLE CreateTempFile(char* path_out) {
  char dir[FILE_DIR_BUFFER + 1];
  DWORD n = GetTempPathA(FILE_DIR_BUFFER, dir);
  if (n == 0 || n >= (DWORD)FILE_DIR_BUFFER) return nullptr;
  if (!EndsWithSeparator(dir)) {
    if (n + 1 >= (DWORD)FILE_DIR_BUFFER) return nullptr;
    dir[n] = '\\';
    dir[n + 1] = '\0';
  }
  char name[MAX_PATH];
  if (GetTempFileNameA(dir, "tmp", 0, name) == 0) return nullptr;
  char full[MAX_PATH];
  if (ResolveFullPathPlain(name, full, sizeof full, nullptr) != 0) {
    DeleteFileA(name);
    return nullptr;
  }
  DeleteFileA(full);
  HANDLE h = CreateFileA(full, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  if (path_out) CopyStringBounded(path_out, full, MAX_PATH);
  return h;
}
