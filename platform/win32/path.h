// Windows paths to Linux paths and back.
//
// The program names files the Windows way: code page 932 text, "\" or "/"
// separators, case-insensitive names, an optional drive. On the way to Linux:
//  - the text is scanned character by character, so the second byte of a
//    two-byte character (which may be 0x5C) is never taken for a separator;
//    "\" becomes "/";
//  - a drive "X:" followed by a separator names the root of the Linux file
//    system, whatever the letter ("C:\tmp\a" -> "/tmp/a"); a drive without a
//    separator ("C:a") is relative to the current folder, as for the current
//    drive on Windows;
//  - the text is converted to UTF-8, the encoding of names on disk;
//  - each component that does not exist under its exact name is looked up in
//    its folder ignoring letter case, as Windows would find it. Components
//    after the first missing one are kept as written (a file to be created).
// Paths handed back to the program (current folder, temporary folder, module
// file) take the form "C:\..." in code page 932.
#pragma once

#include <string>
#include <string_view>

namespace vox_win32 {

// False (last error ERROR_INVALID_NAME) when the text is not valid code page
// 932 or is empty.
bool MapWindowsPath(std::string_view path, std::string* host);
// A Linux path (UTF-8) in Windows form; absolute paths get the drive "C:".
// False when a name cannot be written in code page 932.
bool HostToWindowsPath(std::string_view host, std::string* windows);
// Position of the last separator ("\" or "/") found by a code-page-aware
// scan, or npos.
size_t LastSeparator(std::string_view path);
// Whether two UTF-8 names are equal ignoring letter case (Latin, full-width
// Latin, Greek and Cyrillic letters fold).
bool SameNameNoCase(std::string_view a, std::string_view b);

}  // namespace vox_win32
