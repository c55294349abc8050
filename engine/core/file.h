// The file layer: one replaceable table of twelve file operations. The layer
// installed at start-up serves a path from an archive when its leading folder
// has a ".QVA" archive of the same name beside it, otherwise from the
// operating system. Handles are 0xF0000000 | slot (512 slots).
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/core/util.h"

constexpr uint32_t FILE_HANDLE_TAG = 0xF0000000u;
constexpr int MAX_OPEN_FILES = 512;
constexpr int FILE_DIR_BUFFER = 256;  // size of the get-directory buffer
constexpr int FILE_PATH_SIZE = 260;   // full paths the layer builds (MAX_PATH)

struct FileInfo {
  char name[260];
  int is_directory;
  uint32_t size_low;
  uint32_t size_high;
  DateRecord created;
  DateRecord modified;
};

struct FileLayer {
  intptr_t (*open)(const char* path, int use_cache, int flag, int async);  // 0 on failure
  int (*close)(intptr_t file);
  int64_t (*tell)(intptr_t file);
  int (*seek)(intptr_t file, int32_t offset, int origin);
  size_t (*read)(void* buffer, size_t size, size_t count, intptr_t file);  // whole elements
  int (*eof)(intptr_t file);   // -1 at end, else 0
  int (*idle)(intptr_t file);  // 1 when no asynchronous operation is pending
  int (*set_dir)(const char* path);
  int (*get_dir)(char* buffer);  // FILE_DIR_BUFFER bytes
  intptr_t (*find_first)(const char* pattern, FileInfo* out);  // -1 when nothing matches
  int (*find_next)(intptr_t find, FileInfo* out);              // 0, -1 at the end
  int (*find_close)(intptr_t find);
};

int SetFileLayer(const FileLayer* table);  // null installs the archive-aware layer
intptr_t FsOpen(const char* path, int use_cache = 0, int flag = 1, int async = 0);
int FsClose(intptr_t file);
int64_t FsTell(intptr_t file);
int FsSeek(intptr_t file, int32_t offset, int origin);
size_t FsRead(void* buffer, size_t size, size_t count, intptr_t file);
int FsEof(intptr_t file);
int FsIsIdle(intptr_t file);
int FsSetDir(const char* path);
int FsGetDir(char* buffer);
intptr_t FsFindFirst(const char* pattern, FileInfo* out);
int FsFindNext(intptr_t find, FileInfo* out);
int FsFindClose(intptr_t find);

// Full path of `relative` against `base` (null: the current folder through
// the layer); a null `relative` copies `base`. `out` holds `size` bytes; the
// result is cut to fit. Returns 0, or -1 when it did not fit.
int ResolveFullPath(const char* relative, char* out, size_t size, const char* base);
int ResolveFullPathPlain(const char* relative, char* out, size_t size, const char* base);

// Closes every file and search still open in the archive-aware layer (the
// archive table calls it when it is emptied).
void CloseAllLayerFiles();
