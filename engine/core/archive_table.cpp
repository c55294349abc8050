// The table of open archives shared by every file of the file layer, and the
// resolver that decides whether a path lies in an archive: "X\Y\f" is looked
// for in "X.QVA", then "X\Y.QVA", the first archive that opens serving it.
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/archive.h"
#include "engine/core/util.h"

namespace {

struct ArchiveSlot {
  int references;
  ArchiveRecord record;
  char path[ARCHIVE_PATH_SIZE];  // full path, upper-cased
};

ArchiveSlot* g_slots[MAX_ARCHIVES];
int g_slot_count;

// The last folder prefix found to be an archive (normalised, upper-cased).
char g_cache_prefix[FILE_PATH_SIZE];
size_t g_cache_length;
int g_cache_slot = -1;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

void FreeSlot(int slot) {
  CloseArchive(&g_slots[slot]->record);
  VOX_FREE(g_slots[slot]);
  g_slots[slot] = nullptr;
  --g_slot_count;
}

// Upper-cased copy of `path` in `out` (ARCHIVE_PATH_SIZE bytes); false when
// it does not fit.
bool UpperPath(const char* path, char* out) {
  if (std::strlen(path) >= (size_t)ARCHIVE_PATH_SIZE) return false;
  CopyString(out, path);
  UpperCaseMb(out);
  return true;
}

}  // namespace

void CloseUnusedArchives() {
  for (int i = 0; i < MAX_ARCHIVES; ++i)
    if (g_slots[i] && g_slots[i]->references < 1) FreeSlot(i);
}

int InitArchiveTable() {
  CloseAllLayerFiles();
  for (int i = 0; i < MAX_ARCHIVES; ++i)
    if (g_slots[i]) FreeSlot(i);
  g_slot_count = 0;
  g_cache_prefix[0] = 0;
  g_cache_length = 0;
  g_cache_slot = -1;
  return 0;
}

int EndArchiveTable() {
  CloseUnusedArchives();
  return 0;
}

ArchiveRecord* GetArchiveSlotRecord(int slot) {
  if (slot < 0 || slot >= MAX_ARCHIVES || !g_slots[slot]) return nullptr;
  return &g_slots[slot]->record;
}

int OpenArchiveSlot(const char* archive_path, int hint, int mode, int async) {
  char upper[ARCHIVE_PATH_SIZE];
  if (!UpperPath(archive_path, upper)) return -1;
  if (hint >= 0 && hint < MAX_ARCHIVES && g_slots[hint] && std::strcmp(g_slots[hint]->path, upper) == 0) {
    ++g_slots[hint]->references;
    return hint;
  }
  for (int i = 0; i < MAX_ARCHIVES; ++i) {
    if (g_slots[i] && std::strcmp(g_slots[i]->path, upper) == 0) {
      ++g_slots[i]->references;
      return i;
    }
  }
  if (g_slot_count >= MAX_ARCHIVES) {
    CloseUnusedArchives();
    if (g_slot_count >= MAX_ARCHIVES) return -1;
  }
  int slot = 0;
  while (g_slots[slot]) ++slot;
  ArchiveSlot* s = static_cast<ArchiveSlot*>(VOX_CALLOC(sizeof(ArchiveSlot)));
  if (!s) return -1;
  if (OpenArchive(&s->record, archive_path, mode, !async) != 0) {
    VOX_FREE(s);
    return -1;
  }
  s->references = 1;
  CopyString(s->path, upper);
  g_slots[slot] = s;
  ++g_slot_count;
  return slot;
}

int ReleaseArchiveSlot(int slot) {
  if (slot < 0 || slot >= MAX_ARCHIVES || !g_slots[slot]) return -1;
  --g_slots[slot]->references;
  return 0;
}

// The path is made full and compared upper-cased, but archives are opened
// with the path's own spelling: on a case-sensitive file system "images.QVA"
// beside "images" is not "IMAGES.QVA" (the back end still finds a name that
// differs only in case, as Windows would).
int LocateArchivePath(const char* path, int* slot, char* dir_out, char* inner_out) {
  char full[FILE_PATH_SIZE];
  char upper[FILE_PATH_SIZE];
  if (!path || ResolveFullPath(path, full, sizeof full, nullptr) != 0) return -1;
  CopyString(upper, full);
  UpperCaseMb(upper);

  size_t found = 0;
  int found_slot = -1;
  char archive_path[FILE_PATH_SIZE + 4];
  if (g_cache_length && std::strncmp(upper, g_cache_prefix, g_cache_length) == 0 &&
      IsSeparator(upper[g_cache_length])) {
    std::memcpy(archive_path, full, g_cache_length);
    CopyString(archive_path + g_cache_length, ".QVA");
    found_slot = OpenArchiveSlot(archive_path, g_cache_slot, 0, 0);
    if (found_slot >= 0) found = g_cache_length;
  }
  if (found_slot < 0) {
    // Walk the folders from the left. The root is never an archive: skip a
    // network prefix "\\", a POSIX root "/" or the drive "X:" with its "\".
    size_t at = 0;
    if (IsSeparator(full[0]) && IsSeparator(full[1]))
      at = 2;
    else if (IsSeparator(full[0]))
      at = 1;
    else if (full[0] && full[1] == ':')
      at = IsSeparator(full[2]) ? 3 : 2;
    size_t component = at;
    for (size_t i = at; full[i];) {
      if (vox_win32::Cp932CharBytes(full + i) == 2) {
        i += 2;
        continue;
      }
      if (!IsSeparator(full[i])) {
        ++i;
        continue;
      }
      if (i == component) return -1;  // an empty component
      std::memcpy(archive_path, full, i);
      CopyString(archive_path + i, ".QVA");
      found_slot = OpenArchiveSlot(archive_path, -1, 0, 0);
      if (found_slot >= 0) {
        found = i;
        break;
      }
      component = ++i;
    }
    if (found_slot < 0) return -1;
    std::memcpy(g_cache_prefix, upper, found);
    g_cache_prefix[found] = 0;
    g_cache_length = found;
    g_cache_slot = found_slot;
  }
  *slot = found_slot;
  if (dir_out) {
    std::memcpy(dir_out, full, found);
    dir_out[found] = 0;
  }
  CopyString(inner_out, full + found + 1);
  return 0;
}
