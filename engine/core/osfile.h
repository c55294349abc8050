// The lowest file layer: read-only operating-system files, plain (read on the
// caller's thread) or served by a file-access thread of their own so that a
// read can be started and polled. Also find, current folder and temp files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/core/file.h"

struct OsFile;  // defined in osfile.cpp

OsFile* OsFileOpen(const char* path, int use_cache, int flag, int async);  // null on failure
int OsFileClose(OsFile* file);
int64_t OsFileTell(OsFile* file);
int OsFileSeek(OsFile* file, int32_t offset, int origin);
size_t OsFileRead(void* buffer, size_t size, size_t count, OsFile* file);  // whole elements
int OsFileEof(OsFile* file);     // -1 at end, else 0
int OsFileIsIdle(OsFile* file);  // 1 when no command is running
// The read-ahead cache of a threaded file opened with use_cache: the bytes
// read ahead and not yet consumed, and all bytes reads took from it so far.
// Both 0 for a file without a cache.
uint32_t OsFileCachedBytes(OsFile* file);
uint64_t OsFileBytesFromCache(OsFile* file);
// Tests: a function every file-access thread calls before it executes a
// read, to hold the read in progress (null: none).
void SetOsFileReadHook(void (*hook)());
uint32_t OsFileSize(OsFile* file);
int OsFileSetDir(const char* path);
int OsFileGetDir(char* buffer);  // FILE_DIR_BUFFER bytes; the length, 0 (and "") when it does not fit
intptr_t OsFileFindFirst(const char* pattern, FileInfo* out);  // -1 when nothing matches
int OsFileFindNext(intptr_t find, FileInfo* out);
int OsFileFindClose(intptr_t find);
HANDLE CreateTempFile(char* path_out);  // path_out holds MAX_PATH bytes; null on failure
