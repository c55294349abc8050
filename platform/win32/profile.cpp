// The .ini profile functions. Files are read afresh on every call and
// written back whole with CRLF line ends, saved as save_file.h saves (a
// synced temporary file renamed into place, the folder synced), so a failed
// or killed write loses nothing. A file that is there and cannot be read is
// never written over, nor is a read-only one (the write fails).
//
// Reading follows the platform: section and key names match ignoring case;
// blanks around names and values are dropped; a value enclosed in matching
// quotes loses them; the first of duplicate sections or keys counts. A file
// name without a folder is taken from the current folder as well (there is
// no system folder here).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/cp932.h"
#include "platform/win32/kernel_object.h"
#include "platform/win32/path.h"
#include "platform/win32/save_file.h"
#include "platform/win32/win32.h"

namespace {

using vox_win32::CompareNoCaseCp932;

std::mutex profile_lock;

std::string_view Trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

// A section header: "[name]" after optional blanks.
bool SectionName(std::string_view line, std::string_view* name) {
  std::string_view t = Trim(line);
  if (t.empty() || t[0] != '[') return false;
  // "]" is looked for character by character: it can be the second byte of
  // a two-byte character.
  size_t close = 1;
  while (close < t.size() && t[close] != ']') close += vox_win32::Cp932CharLength(t, close);
  *name = Trim(t.substr(1, close - 1));
  return true;
}

// A key line "key=value"; lines without "=" hold no value.
bool KeyValue(std::string_view line, std::string_view* key, std::string_view* value) {
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  *key = Trim(line.substr(0, eq));
  *value = Trim(line.substr(eq + 1));
  return true;
}

struct Profile {
  std::vector<std::string> lines;

  // [first, end) of a section's lines, header included; false when absent.
  bool FindSection(std::string_view section, size_t* first, size_t* end) const {
    for (size_t i = 0; i < lines.size(); ++i) {
      std::string_view name;
      if (!SectionName(lines[i], &name) || CompareNoCaseCp932(name, section) != 0) continue;
      size_t j = i + 1;
      while (j < lines.size() && !SectionName(lines[j], &name)) ++j;
      *first = i;
      *end = j;
      return true;
    }
    return false;
  }

  // Index of a key's line within a section, or npos.
  size_t FindKey(size_t first, size_t end, std::string_view key) const {
    for (size_t i = first + 1; i < end; ++i) {
      std::string_view k, v;
      if (KeyValue(lines[i], &k, &v) && CompareNoCaseCp932(k, key) == 0) return i;
    }
    return std::string::npos;
  }
};

bool HostName(LPCSTR file, std::string* host) {
  return file && vox_win32::MapWindowsPath(file, host);
}

// Reads the file's lines. A missing file is an empty profile; a file that
// is there and cannot be read (a folder by that name, a read error) sets
// `error` to its errno value, so that a write never replaces what it could
// not read.
Profile Load(const std::string& host, int* error = nullptr) {
  Profile p;
  FILE* f = fopen(host.c_str(), "rb");
  if (!f) {
    if (error && errno != ENOENT) *error = errno;
    return p;
  }
  std::string text;
  char buf[8192];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  if (ferror(f) && error) *error = errno ? errno : EIO;
  fclose(f);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(pos, nl - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    p.lines.push_back(std::move(line));
    pos = nl + 1;
  }
  return p;
}

bool Save(const std::string& host, const Profile& p) {
  std::string text;
  for (const std::string& line : p.lines) text += line + "\r\n";
  return vox_win32::SaveReplacingFile(host, text.data(), text.size());
}

// Copies a list of names as "a\0b\0\0". When it does not fit, the list is cut,
// ends in two terminators and the result is size - 2, as on the platform.
DWORD CopyList(const std::vector<std::string_view>& names, LPSTR out, DWORD size) {
  std::string list;
  for (std::string_view n : names) {
    list.append(n);
    list += '\0';
  }
  if (size < 2) {
    out[0] = '\0';
    return 0;
  }
  if (list.size() + 1 <= size) {
    memcpy(out, list.data(), list.size());
    out[list.size()] = '\0';
    if (list.empty()) out[1] = '\0';
    return (DWORD)list.size();
  }
  memcpy(out, list.data(), size - 2);
  out[size - 2] = '\0';
  out[size - 1] = '\0';
  return size - 2;
}

// Copies a value cut to size - 1 bytes; returns the bytes copied.
DWORD CopyValue(std::string_view value, LPSTR out, DWORD size) {
  size_t n = value.size() < size - 1 ? value.size() : size - 1;
  if (n > 0) memcpy(out, value.data(), n);
  out[n] = '\0';
  return (DWORD)n;
}

// The value of a key, or false when the file, section or key is absent.
bool LookUp(const Profile& p, LPCSTR section, LPCSTR key, std::string* value) {
  size_t first, end;
  if (!p.FindSection(section, &first, &end)) return false;
  size_t i = p.FindKey(first, end, key);
  if (i == std::string::npos) return false;
  std::string_view k, v;
  KeyValue(p.lines[i], &k, &v);
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) v = v.substr(1, v.size() - 2);
  value->assign(v);
  return true;
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR default_value, LPSTR out, DWORD size,
                               LPCSTR file) {
  if (!out || size == 0) return 0;
  std::string host;
  Profile p;
  {
    std::lock_guard<std::mutex> g(profile_lock);
    if (HostName(file, &host)) p = Load(host);
  }
  if (!section) {
    std::vector<std::string_view> names;
    for (const std::string& line : p.lines) {
      std::string_view name;
      if (SectionName(line, &name)) names.push_back(name);
    }
    return CopyList(names, out, size);
  }
  if (!key) {
    std::vector<std::string_view> names;
    size_t first, end;
    if (p.FindSection(section, &first, &end)) {
      for (size_t i = first + 1; i < end; ++i) {
        std::string_view k, v;
        if (KeyValue(p.lines[i], &k, &v) && !k.empty() && k[0] != ';') names.push_back(k);
      }
    }
    return CopyList(names, out, size);
  }
  std::string value;
  if (LookUp(p, section, key, &value)) return CopyValue(value, out, size);
  // The default loses its trailing blanks.
  std::string_view def = default_value ? default_value : "";
  size_t e = def.find_last_not_of(" \t");
  def = e == std::string_view::npos ? std::string_view() : def.substr(0, e + 1);
  return CopyValue(def, out, size);
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, int default_value, LPCSTR file) {
  if (!section || !key) return (UINT)default_value;
  std::string host, value;
  Profile p;
  {
    std::lock_guard<std::mutex> g(profile_lock);
    if (HostName(file, &host)) p = Load(host);
  }
  if (!LookUp(p, section, key, &value) || value.empty()) return (UINT)default_value;
  // Leading digits only: an optional sign, then decimal, or hex after "0x";
  // text that starts with no digit reads as 0.
  const char* s = value.c_str();
  while (*s == ' ' || *s == '\t') ++s;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  UINT result = 0;
  if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    for (s += 2;; ++s) {
      int d = (*s >= '0' && *s <= '9') ? *s - '0' : (*s >= 'a' && *s <= 'f') ? *s - 'a' + 10
              : (*s >= 'A' && *s <= 'F') ? *s - 'A' + 10 : -1;
      if (d < 0) break;
      result = result * 16 + (UINT)d;
    }
  } else {
    for (; *s >= '0' && *s <= '9'; ++s) result = result * 10 + (UINT)(*s - '0');
  }
  return negative ? 0u - result : result;
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
  if (!section) {
    // All null asks to flush a cache; there is none.
    if (!key && !value) return TRUE;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string host;
  if (!HostName(file, &host)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  std::lock_guard<std::mutex> g(profile_lock);
  int unreadable = 0;
  Profile p = Load(host, &unreadable);
  if (unreadable) {
    SetLastError(vox_win32::SaveErrorFromErrno(unreadable));
    return FALSE;
  }
  size_t first = 0, end = 0;
  bool has_section = p.FindSection(section, &first, &end);
  if (!key) {
    // A null key removes the whole section.
    if (!has_section) return TRUE;
    p.lines.erase(p.lines.begin() + first, p.lines.begin() + end);
  } else if (!value) {
    // A null value removes the key.
    size_t i = has_section ? p.FindKey(first, end, key) : std::string::npos;
    if (i == std::string::npos) return TRUE;
    p.lines.erase(p.lines.begin() + i);
  } else if (!has_section) {
    p.lines.push_back(std::string("[") + section + "]");
    p.lines.push_back(std::string(key) + "=" + value);
  } else {
    size_t i = p.FindKey(first, end, key);
    if (i != std::string::npos) {
      std::string_view k, v;
      KeyValue(p.lines[i], &k, &v);
      p.lines[i] = std::string(k) + "=" + value;
    } else {
      // After the section's last non-blank line, before the blank lines
      // that separate it from the next.
      size_t at = end;
      while (at > first + 1 && Trim(p.lines[at - 1]).empty()) --at;
      p.lines.insert(p.lines.begin() + at, std::string(key) + "=" + value);
    }
  }
  return Save(host, p) ? TRUE : FALSE;
}
