// The game's own files and folders, named the Windows way (code page 932,
// "\" separators, relative to the current folder): reads that always close
// their file, saves that never leave a half-written file behind (every save
// goes through platform/win32/save_file.h), and folder listings.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

// The first `limit` bytes of a file (all of it when shorter): 1 when read,
// 0 when there is no such file, -1 when it is there and cannot be read (a
// folder by that name, a read error; the last error set).
int read_file_head(const char* path, size_t limit, std::string* bytes);
// Replaces the file with the bytes: a failure leaves the old file (or none)
// in place and sets the last error. A file the player made read-only, or one
// this program may not write, is left as it is: the save fails.
bool replace_whole_file(const char* path, const void* data, size_t size);
// Whether replace_whole_file may replace what stands at the path (nothing,
// or a file this program may write); false with the last error set.
bool may_replace_file(const char* path);
// Gives an existing file a second name beside it, the first free one of
// "<path>.kept1", "<path>.kept2", ...; false (the last error set) when it
// cannot.
bool keep_file_beside(const char* path);
// The Linux path of a Windows-form path.
bool host_path(const char* path, std::string* host);

// Removes what saves cut short by a crash or a kill left beside a file:
// the temporary files of the saves named after it (save_file.h; "replay\play"
// names the replays' saves), nothing else.
void remove_unfinished_saves(const char* file);
// Words for the last error of a failed save, for the player.
std::string save_error_text();

// The names (without the folder) of the files in a folder whose names contain
// any of the given texts, in the platform's listing order; empty when the
// folder is missing.
std::vector<std::string> list_folder(const char* folder, std::initializer_list<const char*> contains);
