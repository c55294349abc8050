// The game's own files and folders, named the Windows way (code page 932,
// "\" separators, relative to the current folder): whole-file reads and
// writes that never leave a half-written file behind, and folder listings.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

// The whole file, when it exists, is readable and holds at most `limit`
// bytes.
bool read_whole_file(const char* path, std::string* bytes, size_t limit);
// Writes the file through a temporary file in the same folder that is
// renamed over it: a failure leaves the old file (or none) in place.
bool replace_whole_file(const char* path, const void* data, size_t size);

// The names (without the folder) of the files in a folder whose names contain
// any of the given texts, in the platform's listing order; empty when the
// folder is missing.
std::vector<std::string> list_folder(const char* folder, std::initializer_list<const char*> contains);
