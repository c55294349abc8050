#include "platform/win32/path.h"

#include <dirent.h>
#include <sys/stat.h>

#include <time.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/win32/cp932.h"
#include "platform/win32/win32.h"

namespace vox_win32 {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Next code point of UTF-8 text; a malformed byte stands for itself.
char32_t NextCodePoint(std::string_view s, size_t* i) {
  unsigned char c = (unsigned char)s[*i];
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
  if (extra && *i + extra >= s.size()) extra = 0;
  char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
  for (int k = 1; k <= extra; ++k) cp = (cp << 6) | ((unsigned char)s[*i + k] & 0x3F);
  *i += 1 + extra;
  return cp;
}

char32_t FoldCase(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;            // Latin-1
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;         // Greek
  if (c >= 0x430 && c <= 0x44F) return c - 32;                       // Cyrillic
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 32;                     // full-width Latin
  return c;
}

// Folder listings kept for the lookups below: a file opened by a name that
// is not there as written lists its folder, and the engine asks for a name
// that is not there (an archive beside each folder of a path, a mask beside
// each image) for every file it opens, so a large folder high in the path
// would be read again and again. A listing is used again while its folder is
// the same one with the same modification time, and only when that time lay
// well before the listing was taken: a change within the file system's
// timestamp granularity of the one before could leave the time as it was.
struct Listing {
  dev_t device;
  ino_t inode;
  timespec modified;
  std::vector<std::string> names;
};
constexpr int64_t kSettledNs = 2'000'000'000;
constexpr size_t kMostListings = 64;
std::mutex listing_lock;
std::unordered_map<std::string, Listing> listings;  // by the folder as given

int64_t Nanoseconds(const timespec& t) { return (int64_t)t.tv_sec * 1'000'000'000 + t.tv_nsec; }

// The listing of `folder` as it stands: a kept one, or one read into
// `scratch` when it is too recent to keep; null when it cannot be read.
const Listing* ListFolder(const std::string& folder, Listing* scratch) {
  struct stat st;
  if (stat(folder.c_str(), &st) != 0) return nullptr;
  auto it = listings.find(folder);
  if (it != listings.end() && it->second.device == st.st_dev && it->second.inode == st.st_ino &&
      Nanoseconds(it->second.modified) == Nanoseconds(st.st_mtim))
    return &it->second;
  DIR* d = opendir(folder.c_str());
  if (!d) return nullptr;
  Listing fresh{st.st_dev, st.st_ino, st.st_mtim, {}};
  while (dirent* e = readdir(d)) fresh.names.emplace_back(e->d_name);
  closedir(d);
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  if (Nanoseconds(now) - Nanoseconds(st.st_mtim) < kSettledNs) {
    // Too recent to be told apart from the next change: kept for this
    // lookup only.
    if (it != listings.end()) listings.erase(it);
    *scratch = std::move(fresh);
    return scratch;
  }
  if (it == listings.end() && listings.size() >= kMostListings) listings.clear();
  Listing& kept = listings[folder];
  kept = std::move(fresh);
  return &kept;
}

// The entry of `folder` whose name equals `name` ignoring case; the smallest
// by byte order when several do, so the choice does not depend on the order
// the file system lists them in.
bool FindNoCase(const std::string& folder, const std::string& name, std::string* found) {
  std::lock_guard<std::mutex> hold(listing_lock);
  Listing scratch;
  const Listing* listing = ListFolder(folder.empty() ? "." : folder, &scratch);
  if (!listing) return false;
  bool any = false;
  for (const std::string& entry : listing->names) {
    if (!SameNameNoCase(entry, name)) continue;
    if (!any || entry < *found) *found = entry;
    any = true;
  }
  return any;
}

}  // namespace

size_t LastSeparator(std::string_view path) {
  size_t last = std::string_view::npos;
  for (size_t i = 0; i < path.size(); i += Cp932CharLength(path, i))
    if (IsSeparator(path[i])) last = i;
  return last;
}

bool SameNameNoCase(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size())
    if (FoldCase(NextCodePoint(a, &i)) != FoldCase(NextCodePoint(b, &j))) return false;
  return i == a.size() && j == b.size();
}

bool MapWindowsPath(std::string_view path, std::string* host) {
  // Separators first, in code page 932, where a trail byte 0x5C is visible
  // as such; the UTF-8 form could not tell them apart.
  std::string scanned;
  bool absolute = false;
  size_t i = 0;
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
    i = 2;
    absolute = path.size() > 2 && IsSeparator(path[2]);
  } else {
    absolute = !path.empty() && IsSeparator(path[0]);
  }
  for (; i < path.size();) {
    size_t n = Cp932CharLength(path, i);
    if (n == 1 && IsSeparator(path[i]))
      scanned += '/';
    else
      scanned.append(path.substr(i, n));
    i += n;
  }
  if (scanned.empty() && !absolute && !path.empty()) scanned += '.';  // "C:" alone
  std::string utf8;
  if (scanned.empty() || !Cp932ToUtf8(scanned, &utf8)) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }

  std::string result = absolute ? "/" : "";
  bool searching = true;
  size_t pos = 0;
  while (pos < utf8.size()) {
    size_t end = utf8.find('/', pos);
    if (end == std::string::npos) end = utf8.size();
    std::string component = utf8.substr(pos, end - pos);
    pos = end + 1;
    if (component.empty()) continue;
    std::string candidate = result + component;
    if (searching && component != "." && component != "..") {
      struct stat st;
      if (lstat(candidate.c_str(), &st) != 0) {
        std::string found;
        if (errno == ENOENT && FindNoCase(result, component, &found))
          candidate = result + found;
        else
          searching = false;
      }
    }
    result = candidate + "/";
  }
  // Keep a trailing separator only when the caller wrote one.
  if (result.size() > 1 && LastSeparator(path) != path.size() - 1) result.pop_back();
  *host = std::move(result);
  return true;
}

bool HostToWindowsPath(std::string_view host, std::string* windows) {
  std::string text;
  if (!Utf8ToCp932(host, &text)) return false;
  std::string out = (!host.empty() && host[0] == '/') ? "C:" : "";
  for (size_t i = 0; i < text.size();) {
    size_t n = Cp932CharLength(text, i);
    if (n == 1 && text[i] == '/')
      out += '\\';
    else
      out.append(text, i, n);
    i += n;
  }
  *windows = std::move(out);
  return true;
}

}  // namespace vox_win32
