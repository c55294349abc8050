// The platform's file-name wildcards, on code page 932 names:
//  - "*" matches any run of characters; "*.*" and "*" match every name,
//    with or without a dot;
//  - "?" matches one character (a two-byte character counts as one), or
//    nothing at a dot or at the end of the name ("a?" matches "a");
//  - "." before "*" or "?" also matches the end of a name ("x.*" matches
//    "x"), and a "." ending the pattern matches the end of the name ("*."
//    matches names without an extension);
//  - "*" directly before "." stops at the last dot of the name;
//  - letters match ignoring ASCII case.
#pragma once

#include <string_view>

namespace vox_win32 {

bool MatchesWildcard(std::string_view pattern, std::string_view name);

}  // namespace vox_win32
