// Code page 932 <-> UTF-8, for the points where the program's text meets
// Linux (file names, terminal output). Conversion goes through iconv "CP932".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vox_win32 {

// False when the text holds a sequence the other side cannot represent;
// `out` is then unspecified. Safe on any thread: each thread converts with
// converters of its own.
bool Cp932ToUtf8(std::string_view text, std::string* out);
bool Utf8ToCp932(std::string_view text, std::string* out);
// For text that only has to be shown: what has no code page 932 form is
// left out.
std::string Utf8ToCp932Lossy(std::string_view text);
// The Unicode code point of one character: a single byte, or lead byte x 256
// + trail byte. 0 when the code is no character of code page 932.
uint32_t Cp932CodeToUnicode(uint32_t code);

// A lead byte of a two-byte code page 932 character.
inline bool IsCp932LeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
// Length in bytes of the character at text[i] (2 for a lead byte followed by
// a byte, else 1).
inline size_t Cp932CharLength(std::string_view text, size_t i) {
  return (IsCp932LeadByte((unsigned char)text[i]) && i + 1 < text.size()) ? 2 : 1;
}
// The same for the character a zero-terminated text starts with.
inline size_t Cp932CharBytes(const char* text) {
  return (IsCp932LeadByte((unsigned char)text[0]) && text[1]) ? 2 : 1;
}
// Compares two code page 932 texts ignoring ASCII letter case; trail bytes of
// two-byte characters are compared exactly. <0, 0, >0 like strcmp.
int CompareNoCaseCp932(std::string_view a, std::string_view b);

}  // namespace vox_win32
