// Text assets: converted from UTF-8 to code page 932 with iconv, because the
// game reads every text of its own in that code page.
#pragma once

#include <string>

// Returns false (with a message) when the text has a character code page 932
// lacks, or when the file cannot be written.
bool WriteCp932Text(const std::string& path, const std::string& utf8);
bool Utf8ToCp932(const std::string& utf8, std::string* out);
