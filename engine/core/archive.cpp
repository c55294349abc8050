// One archive: opening it from a file or an image, walking its folders,
// reading the files in it and listing it. The slot table and the path
// resolver that the file layer uses are in archive_table.cpp.
#include "engine/core/archive.h"

#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/log.h"
#include "engine/core/lz.h"
#include "engine/core/osfile.h"
#include "engine/core/util.h"
#include "platform/win32/wildcard.h"

namespace {

// ---- bounds-checked views into the header block

const uint8_t* DirRecord(const ArchiveRecord* r, uint32_t offset) {
  uint32_t available = r->header.block_size - r->header.directory_offset;
  if (offset > available || available - offset < ARCHIVE_DIR_RECORD_SIZE) return nullptr;
  return r->directory_table + offset;
}

// The entries of a folder, or false when its record points outside the table.
bool DirEntries(const ArchiveRecord* r, const uint8_t* dir, uint32_t* first, uint32_t* count) {
  uint32_t available = r->header.block_size - r->header.entry_offset;
  *first = ReadLe32(dir + 12);
  *count = ReadLe32(dir + 8);
  if (*first > available) return false;
  return *count <= (available - *first) / r->entry_size;
}

// A name record: its L (units) and the two names, or null when the record
// does not fit in the header block.
const uint8_t* NameRecord(const ArchiveRecord* r, const uint8_t* entry, uint32_t* units) {
  uint32_t offset = ReadLe32(entry);
  uint32_t size = r->header.block_size;
  if (offset > size || size - offset < 4) return nullptr;
  const uint8_t* record = r->name_table + offset;
  *units = ReadLe16(record);
  if (*units == 0 || (uint64_t)(size - offset - 4) < (uint64_t)*units * 8) return nullptr;
  return record;
}

bool IsDirectoryEntry(const uint8_t* entry) { return (ReadLe32(entry + 4) & ARCHIVE_ATTR_DIRECTORY) != 0; }

bool NameMatches(const ArchiveRecord* r, const uint8_t* entry, const ArchiveSearchName& name) {
  uint32_t units;
  const uint8_t* record = NameRecord(r, entry, &units);
  return record && units == name.units && ReadLe16(record + 2) == name.parity &&
         std::memcmp(record + 4, name.upper, (size_t)units * 4) == 0;
}

// The entry of folder `dir` named `name` that is a folder (or a file).
const uint8_t* ScanDir(const ArchiveRecord* r, uint32_t dir_offset, const ArchiveSearchName& name, bool folder) {
  const uint8_t* dir = DirRecord(r, dir_offset);
  uint32_t first, count;
  if (!dir || !DirEntries(r, dir, &first, &count)) return nullptr;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* entry = r->entry_table + first + i * r->entry_size;
    if (IsDirectoryEntry(entry) == folder && NameMatches(r, entry, name)) return entry;
  }
  return nullptr;
}

size_t CharLength(const uint8_t* s) { return vox_win32::Cp932CharBytes(reinterpret_cast<const char*>(s)); }
bool IsSeparator(uint8_t c) { return c == '\\' || c == '/'; }

// Offset just past the last separator of `path`, scanning two-byte
// characters whole; 0 when it has none.
size_t LastComponent(const char* path) {
  const uint8_t* s = reinterpret_cast<const uint8_t*>(path);
  size_t after = 0;
  for (size_t i = 0; s[i]; i += CharLength(s + i))
    if (IsSeparator(s[i])) after = i + 1;
  return after;
}

// Copies the NUL-padded name at `field` (4 x units bytes) into `out`.
void CopyRecordName(const uint8_t* field, uint32_t units, char* out, size_t size) {
  size_t n = 0;
  size_t limit = (size_t)units * 4;
  while (n < limit && n + 1 < size && field[n]) {
    out[n] = (char)field[n];
    ++n;
  }
  out[n] = 0;
}

// ---- reading the archive file

int WaitOsFileIdle(OsFile* file) {
  while (!OsFileIsIdle(file)) Sleep(0);
  return 0;
}

// Starts reading `n` bytes at `position` of the archive file; the caller
// waits for the back end and deciphers.
int StartArchiveRead(ArchiveRecord* r, uint32_t position, void* buffer, uint32_t n) {
  if (position > 0x7FFFFFFFu) return -1;
  if (OsFileSeek(r->file, (int32_t)position, 0) != 0) return -1;
  if (n) OsFileRead(buffer, 1, n, r->file);
  return 0;
}

int ReadArchiveBytes(ArchiveRecord* r, uint32_t position, void* buffer, uint32_t n) {
  if (StartArchiveRead(r, position, buffer, n) != 0) return -1;
  WaitOsFileIdle(r->file);
  CipherArchiveData(buffer, n, position, r->key);
  return 0;
}

bool DecipherHeader(const uint8_t* raw, ArchiveHeader* h, uint8_t key[ARCHIVE_KEY_SIZE], const char* key_string) {
  uint8_t copy[ARCHIVE_HEADER_SIZE];
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt == 0)
      MakeArchiveKey(key_string, key);
    else
      MakeSecondArchiveKey(key);
    std::memcpy(copy, raw, sizeof copy);
    CipherArchiveData(copy, sizeof copy, 0, key);
    if (copy[0] == 'Q' && copy[1] == 'V') {
      h->magic[0] = 'Q';
      h->magic[1] = 'V';
      h->version = ReadLe16(copy + 2);
      h->block_size = ReadLe32(copy + 4);
      h->data_offset = ReadLe32(copy + 8);
      h->block_offset = ReadLe32(copy + 12);
      h->entry_offset = ReadLe32(copy + 16);
      h->directory_offset = ReadLe32(copy + 20);
      return true;
    }
  }
  return false;
}

// Checks the header against the archive's size and points the table bases
// into `block`.
bool SetTables(ArchiveRecord* r, uint8_t* block) {
  const ArchiveHeader& h = r->header;
  if (h.version >= ARCHIVE_FIRST_REJECTED_VERSION) return false;
  if ((uint64_t)h.block_offset + h.block_size > r->total_size || h.data_offset > r->total_size) return false;
  if (h.entry_offset > h.block_size || h.directory_offset > h.block_size) return false;
  r->entry_size = ArchiveEntrySize(h.version);
  r->header_block = block;
  r->name_table = block;
  r->entry_table = block + h.entry_offset;
  r->directory_table = block + h.directory_offset;
  r->current_directory = 0;
  return DirRecord(r, 0) != nullptr;
}

// Mode 1: the whole file arrives in the background; everything that touches
// the record first lets it finish.
void FinishArchiveLoad(ArchiveRecord* r) {
  if (!r->load_pending) return;
  WaitOsFileIdle(r->load_file);
  CipherArchiveData(r->image, r->total_size, 0, r->key);
  r->load_pending = 0;
  r->in_memory = 1;
  OsFileClose(r->load_file);
  r->load_file = nullptr;
  r->file = nullptr;
}

// ---- files inside the archive

// The entry's bytes in the archive: start offset and length, or false when
// they lie outside it.
bool EntrySpan(const ArchiveRecord* r, const uint8_t* entry, uint64_t* start, uint32_t* length, uint32_t* packed) {
  *packed = r->header.version >= 2 ? ReadLe32(entry + 40) : ARCHIVE_STORED;
  *length = *packed == ARCHIVE_STORED ? ReadLe32(entry + 36) : *packed;
  *start = (uint64_t)r->header.data_offset + ReadLe32(entry + 32);
  return *start + *length <= r->total_size;
}

// Decodes a compressed entry into file->unpacked. The packed bytes must
// declare exactly the entry's size, and are checked before anything is
// allocated for them.
bool UnpackEntry(ArchiveFile* file, const uint8_t* packed) {
  if (UnpackLzData(packed, nullptr, file->packed_size) == file->size) {
    file->unpacked = static_cast<uint8_t*>(VOX_ALLOC(file->size ? file->size : 1));
    if (file->unpacked && UnpackLzData(packed, file->unpacked, file->packed_size) == file->size) return true;
  }
  WriteLogText("ＱＶＡファイル内の圧縮データが壊れています\n");
  VOX_FREE(file->unpacked);
  file->unpacked = nullptr;
  file->damaged = 1;
  return false;
}

void CompletePending(ArchiveFile* file) {
  ArchiveRecord* r = file->archive;
  if (file->pending == 1) {
    CipherArchiveData(file->packed, file->packed_size, file->data_position, r->key);
    UnpackEntry(file, file->packed);
    VOX_FREE(file->packed);
    file->packed = nullptr;
  } else if (file->pending == 2) {
    CipherArchiveData(file->read_buffer, file->read_size, file->data_position, r->key);
  }
  file->pending = 0;
}

void WaitPending(ArchiveFile* file) {
  while (!PollArchiveFile(file)) Sleep(1);
}

struct ArchiveFind {
  ArchiveRecord* archive;
  uint32_t dir;
  uint32_t position;  // 0 ".", 1 "..", then entry index + 2
  char pattern[FILE_PATH_SIZE];
};

}  // namespace

// ---- one archive

int OpenArchive(ArchiveRecord* r, const char* path, int mode, int wait) {
  std::memset(r, 0, sizeof *r);
  OsFile* file = OsFileOpen(path, 0, 1, 1);
  if (!file) return -1;
  r->file = file;
  r->total_size = OsFileSize(file);
  uint8_t raw[ARCHIVE_HEADER_SIZE];
  uint8_t* block = nullptr;
  if (r->total_size < ARCHIVE_HEADER_SIZE) goto fail;
  if (StartArchiveRead(r, 0, raw, sizeof raw) != 0) goto fail;
  WaitOsFileIdle(file);
  if (!DecipherHeader(raw, &r->header, r->key, nullptr)) goto fail;
  if (r->header.version >= ARCHIVE_FIRST_REJECTED_VERSION ||
      (uint64_t)r->header.block_offset + r->header.block_size > r->total_size)
    goto fail;
  block = static_cast<uint8_t*>(VOX_ALLOC(r->header.block_size ? r->header.block_size : 1));
  if (!block) goto fail;
  if (ReadArchiveBytes(r, r->header.block_offset, block, r->header.block_size) != 0 || !SetTables(r, block)) goto fail;
  if (mode == 1) {
    r->image = static_cast<uint8_t*>(VOX_ALLOC(r->total_size));
    if (!r->image || StartArchiveRead(r, 0, r->image, r->total_size) != 0) goto fail;
    r->image_size = r->total_size;
    r->load_file = file;
    r->load_pending = 1;
    if (wait) FinishArchiveLoad(r);
  }
  return 0;
fail:
  WaitOsFileIdle(file);
  OsFileClose(file);
  VOX_FREE(block);
  VOX_FREE(r->image);
  std::memset(r, 0, sizeof *r);
  return -1;
}

int OpenArchiveFromMemory(ArchiveRecord* r, void* image, uint32_t size, const char* key_string) {
  std::memset(r, 0, sizeof *r);
  if (!image || size < ARCHIVE_HEADER_SIZE) return -1;
  uint8_t* bytes = static_cast<uint8_t*>(image);
  if (!DecipherHeader(bytes, &r->header, r->key, key_string)) return -1;
  r->total_size = size;
  if (r->header.version >= ARCHIVE_FIRST_REJECTED_VERSION ||
      (uint64_t)r->header.block_offset + r->header.block_size > size) {
    std::memset(r, 0, sizeof *r);
    return -1;
  }
  CipherArchiveData(bytes, size, 0, r->key);
  if (!SetTables(r, bytes + r->header.block_offset)) {
    CipherArchiveData(bytes, size, 0, r->key);
    std::memset(r, 0, sizeof *r);
    return -1;
  }
  r->image = bytes;
  r->image_size = size;
  r->in_memory = 1;
  r->from_image = 1;
  return 0;
}

int CloseArchive(ArchiveRecord* r) {
  FinishArchiveLoad(r);
  if (r->file) {
    WaitOsFileIdle(r->file);
    OsFileClose(r->file);
  }
  if (!r->from_image) {
    VOX_FREE(r->header_block);
    VOX_FREE(r->image);
  }
  std::memset(r, 0, sizeof *r);
  return 0;
}

const uint8_t* GetArchiveImage(ArchiveRecord* r) {
  FinishArchiveLoad(r);
  return r->in_memory ? r->image : nullptr;
}

int ChangeArchiveDir(ArchiveRecord* r, const char* path, int restore, ArchiveSearchName* search_out) {
  FinishArchiveLoad(r);
  uint32_t start = r->current_directory;
  const char* p = path;
  if (IsSeparator((uint8_t)*p)) {
    r->current_directory = 0;
    while (IsSeparator((uint8_t)*p)) ++p;
  }
  while (*p) {
    ArchiveSearchName name;
    int n = MakeArchiveSearchName(p, &name);
    bool ok = n >= 0;
    if (ok && n == 0) {
      // Doubled separators name no folder of their own.
    } else if (ok && n == 1 && p[0] == '.') {
    } else if (ok && n == 2 && p[0] == '.' && p[1] == '.') {
      const uint8_t* dir = DirRecord(r, r->current_directory);
      uint32_t parent = dir ? ReadLe32(dir + 4) : ARCHIVE_NO_PARENT;
      ok = parent != ARCHIVE_NO_PARENT && DirRecord(r, parent) != nullptr;
      if (ok) r->current_directory = parent;
    } else if (ok) {
      const uint8_t* entry = ScanDir(r, r->current_directory, name, true);
      ok = entry && DirRecord(r, ReadLe32(entry + 32)) != nullptr;
      if (ok) r->current_directory = ReadLe32(entry + 32);
    }
    if (!ok) {
      if (search_out) {
        if (n >= 0)
          *search_out = name;
        else
          std::memset(search_out, 0, sizeof *search_out);
      }
      if (restore) r->current_directory = start;
      return -1;
    }
    p += n;
    if (*p) ++p;  // the separator
  }
  return 0;
}

const uint8_t* FindArchiveEntry(ArchiveRecord* r, const char* path) {
  FinishArchiveLoad(r);
  size_t last = LastComponent(path);
  ArchiveSearchName name;
  if (MakeArchiveSearchName(path + last, &name) <= 0) return nullptr;
  uint32_t saved = r->current_directory;
  const uint8_t* entry = nullptr;
  bool walked = true;
  if (last) {
    char dir[FILE_PATH_SIZE];
    if (last >= sizeof dir) return nullptr;
    std::memcpy(dir, path, last);
    dir[last] = 0;
    walked = ChangeArchiveDir(r, dir, 1, nullptr) == 0;
  }
  if (walked) entry = ScanDir(r, r->current_directory, name, false);
  r->current_directory = saved;
  return entry;
}

int GetArchiveFileSpan(ArchiveRecord* r, const char* name, uint32_t* position, uint32_t* size) {
  const uint8_t* entry = FindArchiveEntry(r, name);
  uint64_t start;
  uint32_t length, packed;
  if (!entry || !EntrySpan(r, entry, &start, &length, &packed)) return -1;
  *position = (uint32_t)start;
  *size = ReadLe32(entry + 36);
  return 0;
}

// ---- files inside an archive

int OpenArchiveFile(ArchiveFile* file, ArchiveRecord* r, const char* inner_path, int async) {
  std::memset(file, 0, sizeof *file);
  const uint8_t* entry = FindArchiveEntry(r, inner_path);
  uint64_t start;
  uint32_t length, packed;
  if (!entry) return -1;
  if (!EntrySpan(r, entry, &start, &length, &packed)) {
    WriteLogText("ＱＶＡファイル内のファイルの位置が壊れています\n");
    return -1;
  }
  file->archive = r;
  file->entry = entry;
  file->async = async;
  file->size = ReadLe32(entry + 36);
  file->packed_size = packed;
  file->data_start = (uint32_t)start;
  if (packed == ARCHIVE_STORED) return 0;

  if (r->in_memory) {
    if (UnpackEntry(file, r->image + start)) return 0;
  } else {
    file->packed = static_cast<uint8_t*>(VOX_ALLOC(packed ? packed : 1));
    if (file->packed && StartArchiveRead(r, (uint32_t)start, file->packed, packed) == 0) {
      file->pending = 1;
      file->data_position = (uint32_t)start;
      if (async) return 0;
      WaitPending(file);
      if (!file->damaged) return 0;
    }
  }
  CloseArchiveFile(file);
  return -1;
}

int CloseArchiveFile(ArchiveFile* file) {
  if (file->pending) WaitOsFileIdle(file->archive->file);
  VOX_FREE(file->unpacked);
  VOX_FREE(file->packed);
  std::memset(file, 0, sizeof *file);
  return 0;
}

int PollArchiveFile(ArchiveFile* file) {
  if (!file->pending) return 1;
  if (!OsFileIsIdle(file->archive->file)) return 0;
  CompletePending(file);
  return 1;
}

uint32_t ReadArchiveFile(ArchiveFile* file, void* buffer, uint32_t n) {
  WaitPending(file);
  if (file->damaged || file->position >= file->size) {
    file->at_end = 1;
    return 0;
  }
  if (n > file->size - file->position) n = file->size - file->position;
  ArchiveRecord* r = file->archive;
  FinishArchiveLoad(r);
  uint32_t at = file->data_start + file->position;
  if (file->unpacked) {
    std::memcpy(buffer, file->unpacked + file->position, n);
  } else if (r->in_memory) {
    std::memcpy(buffer, r->image + at, n);
  } else {
    if (StartArchiveRead(r, at, buffer, n) != 0) return 0;
    file->pending = 2;
    file->data_position = at;
    file->read_buffer = buffer;
    file->read_size = n;
    if (!file->async) WaitPending(file);
  }
  file->position += n;
  file->at_end = 0;
  return n;
}

int SeekArchiveFile(ArchiveFile* file, int32_t offset, int origin) {
  WaitPending(file);
  int64_t target;
  switch (origin) {
    case 0: target = offset; break;
    case 1: target = (int64_t)file->position + offset; break;
    case 2: target = (int64_t)file->size + offset; break;
    default: return -1;
  }
  if (target < 0) target = 0;
  if (target > file->size) target = file->size;
  file->position = (uint32_t)target;
  file->at_end = 0;
  return 0;
}

int64_t TellArchiveFile(ArchiveFile* file) {
  WaitPending(file);
  return file->position;
}

int ArchiveFileEof(ArchiveFile* file) {
  WaitPending(file);
  return file->at_end ? -1 : 0;
}

// ---- listing

intptr_t ArchiveFindFirst(ArchiveRecord* r, const char* pattern, FileInfo* info) {
  FinishArchiveLoad(r);
  size_t last = LastComponent(pattern);
  uint32_t saved = r->current_directory;
  uint32_t dir = saved;
  if (last) {
    char path[FILE_PATH_SIZE];
    if (last >= sizeof path) return -1;
    std::memcpy(path, pattern, last);
    path[last] = 0;
    int result = ChangeArchiveDir(r, path, 1, nullptr);
    dir = r->current_directory;
    r->current_directory = saved;
    if (result != 0) return -1;
  }
  if (std::strlen(pattern + last) >= FILE_PATH_SIZE) return -1;
  ArchiveFind* find = static_cast<ArchiveFind*>(VOX_CALLOC(sizeof(ArchiveFind)));
  if (!find) return -1;
  find->archive = r;
  find->dir = dir;
  CopyString(find->pattern, pattern + last);
  UpperCaseMb(find->pattern);
  intptr_t handle = reinterpret_cast<intptr_t>(find);
  if (ArchiveFindNext(handle, info) != 0) {
    VOX_FREE(find);
    return -1;
  }
  return handle;
}

int ArchiveFindNext(intptr_t handle, FileInfo* info) {
  ArchiveFind* find = reinterpret_cast<ArchiveFind*>(handle);
  ArchiveRecord* r = find->archive;
  const uint8_t* dir = DirRecord(r, find->dir);
  uint32_t first = 0, count = 0;
  if (!dir || !DirEntries(r, dir, &first, &count)) return -1;
  bool below_root = ReadLe32(dir + 4) != ARCHIVE_NO_PARENT;
  for (; find->position < count + 2u; ++find->position) {
    uint32_t position = find->position;
    if (position < 2) {
      const char* dots = position == 0 ? "." : "..";
      if ((position == 1 && !below_root) || !vox_win32::MatchesWildcard(find->pattern, dots)) continue;
      if (info) {
        std::memset(info, 0, sizeof *info);
        CopyString(info->name, dots);
        info->is_directory = 1;
      }
      ++find->position;
      return 0;
    }
    const uint8_t* entry = r->entry_table + first + (position - 2) * r->entry_size;
    uint32_t units;
    const uint8_t* record = NameRecord(r, entry, &units);
    if (!record) continue;
    // Listing matches as the operating system's find does, so a folder
    // lists the same from an archive as from the disk ("*.*" is everything).
    char upper[ARCHIVE_NAME_MAX + 1];
    CopyRecordName(record + 4, units, upper, sizeof upper);
    if (!vox_win32::MatchesWildcard(find->pattern, upper)) continue;
    if (info) {
      std::memset(info, 0, sizeof *info);
      CopyRecordName(record + 4 + (size_t)units * 4, units, info->name, sizeof info->name);
      info->is_directory = IsDirectoryEntry(entry) ? 1 : 0;
      info->size_low = info->is_directory ? 0 : ReadLe32(entry + 36);
      FILETIME created = {ReadLe32(entry + 8), ReadLe32(entry + 12)};
      FILETIME written = {ReadLe32(entry + 24), ReadLe32(entry + 28)};
      FileTimeToDateRecord(&created, &info->created);
      FileTimeToDateRecord(&written, &info->modified);
    }
    ++find->position;
    return 0;
  }
  return -1;
}

int ArchiveFindClose(intptr_t handle) {
  VOX_FREE(reinterpret_cast<ArchiveFind*>(handle));
  return 0;
}
