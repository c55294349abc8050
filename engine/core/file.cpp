// The file layer: the installed table of twelve operations, the archive-aware
// default layer with its 512 open-file slots and its find records, and the
// rule that turns relative paths into full ones.
#include "engine/core/file.h"

#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/archive.h"
#include "engine/core/log.h"
#include "engine/core/osfile.h"
#include "platform/win32/cp932.h"

namespace {

struct OpenFileRecord {
  int in_archive;
  OsFile* os_file;
  int archive_index;
  ArchiveFile archive_file;
};

struct FindRecord {
  int in_archive;
  int archive_index;
  intptr_t handle;  // of the archive search or of the operating system
};

OpenFileRecord* g_files[MAX_OPEN_FILES];
int g_open_count;

// Handles are FILE_HANDLE_TAG | slot; anything else (a stale, foreign or
// made-up value) is refused before it can index the table.
OpenFileRecord* LookupFile(intptr_t handle) {
  uint64_t h = (uint64_t)handle;
  if ((h & ~(uint64_t)0x0FFFFFFF) != FILE_HANDLE_TAG) return nullptr;
  uint64_t slot = h & 0x0FFFFFFF;
  if (slot >= (uint64_t)MAX_OPEN_FILES) return nullptr;
  return g_files[slot];
}

intptr_t LayerOpen(const char* path, int use_cache, int, int async) {
  if (!path) return 0;
  if (g_open_count >= MAX_OPEN_FILES) {
    WriteLogText("同時に開けるファイルの数が限界を超えました\n");
    return 0;
  }
  int slot = 0;
  while (g_files[slot]) ++slot;
  OpenFileRecord* file = static_cast<OpenFileRecord*>(VOX_CALLOC(sizeof(OpenFileRecord)));
  if (!file) {
    WriteLogText("ファイルの情報を格納するメモリの確保に失敗しました\n");
    return 0;
  }
  char inner[FILE_PATH_SIZE];
  bool opened;
  if (LocateArchivePath(path, &file->archive_index, nullptr, inner) == 0) {
    file->in_archive = 1;
    opened = OpenArchiveFile(&file->archive_file, GetArchiveSlotRecord(file->archive_index), inner, async) == 0;
    if (!opened) {
      WriteLogText("ＱＶＡファイルの中に指定のファイルは見つかりませんでした\n");
      ReleaseArchiveSlot(file->archive_index);
    }
  } else {
    file->os_file = OsFileOpen(path, use_cache, 1, async);
    opened = file->os_file != nullptr;
  }
  if (!opened) {
    VOX_FREE(file);
    return 0;
  }
  g_files[slot] = file;
  ++g_open_count;
  return (intptr_t)(FILE_HANDLE_TAG | (uint32_t)slot);
}

int LayerClose(intptr_t handle) {
  OpenFileRecord* file = LookupFile(handle);
  if (!file) return -1;
  if (file->in_archive) {
    CloseArchiveFile(&file->archive_file);
    ReleaseArchiveSlot(file->archive_index);
  } else {
    OsFileClose(file->os_file);
  }
  VOX_FREE(file);
  g_files[handle & 0x0FFFFFFF] = nullptr;
  --g_open_count;
  return 0;
}

int64_t LayerTell(intptr_t handle) {
  OpenFileRecord* file = LookupFile(handle);
  if (!file) return -1;
  return file->in_archive ? TellArchiveFile(&file->archive_file) : OsFileTell(file->os_file);
}

int LayerSeek(intptr_t handle, int32_t offset, int origin) {
  OpenFileRecord* file = LookupFile(handle);
  if (!file) return -1;
  return file->in_archive ? SeekArchiveFile(&file->archive_file, offset, origin)
                          : OsFileSeek(file->os_file, offset, origin);
}

// Archived files count whole elements exactly as operating-system files do:
// only complete elements are read, and a request that finds none sets the
// end flag.
size_t LayerRead(void* buffer, size_t size, size_t count, intptr_t handle) {
  OpenFileRecord* file = LookupFile(handle);
  if (!file) return 0;
  if (!file->in_archive) return OsFileRead(buffer, size, count, file->os_file);
  if (size == 0) return 0;
  ArchiveFile* af = &file->archive_file;
  uint32_t position = (uint32_t)TellArchiveFile(af);
  size_t whole = position < af->size ? (af->size - position) / size : 0;
  size_t n = count < whole ? count : whole;
  if (n == 0) {
    af->at_end = 1;
    return 0;
  }
  return ReadArchiveFile(af, buffer, (uint32_t)(n * size)) / size;
}

int LayerEof(intptr_t handle) {
  OpenFileRecord* file = LookupFile(handle);
  if (!file) return -1;
  return file->in_archive ? ArchiveFileEof(&file->archive_file) : OsFileEof(file->os_file);
}

int LayerIdle(intptr_t handle) {
  OpenFileRecord* file = LookupFile(handle);
  if (!file) return -1;
  return file->in_archive ? PollArchiveFile(&file->archive_file) : OsFileIsIdle(file->os_file);
}

int LayerSetDir(const char* path) { return OsFileSetDir(path) ? 0 : -1; }

int LayerGetDir(char* buffer) { return OsFileGetDir(buffer) ? 0 : -1; }

intptr_t LayerFindFirst(const char* pattern, FileInfo* out) {
  if (!pattern) return -1;
  FindRecord* find = static_cast<FindRecord*>(VOX_CALLOC(sizeof(FindRecord)));
  if (!find) return -1;
  char inner[FILE_PATH_SIZE];
  if (LocateArchivePath(pattern, &find->archive_index, nullptr, inner) == 0) {
    find->in_archive = 1;
    find->handle = ArchiveFindFirst(GetArchiveSlotRecord(find->archive_index), inner, out);
    if (find->handle == -1) ReleaseArchiveSlot(find->archive_index);
  } else {
    find->handle = OsFileFindFirst(pattern, out);
  }
  if (find->handle == -1) {
    VOX_FREE(find);
    return -1;
  }
  return reinterpret_cast<intptr_t>(find);
}

int LayerFindNext(intptr_t handle, FileInfo* out) {
  if (handle == -1 || handle == 0) return -1;
  FindRecord* find = reinterpret_cast<FindRecord*>(handle);
  return find->in_archive ? ArchiveFindNext(find->handle, out) : OsFileFindNext(find->handle, out);
}

int LayerFindClose(intptr_t handle) {
  if (handle == -1 || handle == 0) return -1;
  FindRecord* find = reinterpret_cast<FindRecord*>(handle);
  if (find->in_archive) {
    ArchiveFindClose(find->handle);
    ReleaseArchiveSlot(find->archive_index);
  } else {
    OsFileFindClose(find->handle);
  }
  VOX_FREE(find);
  return 0;
}

const FileLayer kArchiveLayer = {LayerOpen,  LayerClose,  LayerTell,   LayerSeek,      LayerRead,     LayerEof,
                                 LayerIdle,  LayerSetDir, LayerGetDir, LayerFindFirst, LayerFindNext, LayerFindClose};

FileLayer g_layer = kArchiveLayer;

}  // namespace

// A caller's table may leave slots empty: those keep the archive-aware
// operation, so no call through the layer ever meets a null slot.
int SetFileLayer(const FileLayer* table) {
  g_layer = kArchiveLayer;
  if (!table) return 0;
  auto take = [](auto& slot, auto given) {
    if (given) slot = given;
  };
  take(g_layer.open, table->open);
  take(g_layer.close, table->close);
  take(g_layer.tell, table->tell);
  take(g_layer.seek, table->seek);
  take(g_layer.read, table->read);
  take(g_layer.eof, table->eof);
  take(g_layer.idle, table->idle);
  take(g_layer.set_dir, table->set_dir);
  take(g_layer.get_dir, table->get_dir);
  take(g_layer.find_first, table->find_first);
  take(g_layer.find_next, table->find_next);
  take(g_layer.find_close, table->find_close);
  return 0;
}

void CloseAllLayerFiles() {
  for (int slot = 0; slot < MAX_OPEN_FILES; ++slot)
    if (g_files[slot]) LayerClose((intptr_t)(FILE_HANDLE_TAG | (uint32_t)slot));
  g_open_count = 0;
}

intptr_t FsOpen(const char* path, int use_cache, int flag, int async) {
  return g_layer.open(path, use_cache, flag, async);
}
int FsClose(intptr_t file) { return g_layer.close(file); }
int64_t FsTell(intptr_t file) { return g_layer.tell(file); }
int FsSeek(intptr_t file, int32_t offset, int origin) { return g_layer.seek(file, offset, origin); }
size_t FsRead(void* buffer, size_t size, size_t count, intptr_t file) {
  return g_layer.read(buffer, size, count, file);
}
int FsEof(intptr_t file) { return g_layer.eof(file); }
int FsIsIdle(intptr_t file) { return g_layer.idle(file); }
int FsSetDir(const char* path) { return g_layer.set_dir(path); }
int FsGetDir(char* buffer) { return g_layer.get_dir(buffer); }
intptr_t FsFindFirst(const char* pattern, FileInfo* out) { return g_layer.find_first(pattern, out); }
int FsFindNext(intptr_t find, FileInfo* out) { return g_layer.find_next(find, out); }
int FsFindClose(intptr_t find) { return g_layer.find_close(find); }

// ---- full paths
//
// Windows rules over Windows and POSIX bases. The kernel stand-in reports the
// current folder in Windows form ("C:\home\game", its drive being the Linux
// root), but a caller may hand in a POSIX base such as "/home/game". Such a
// base (one leading "/") keeps its form: its root plays the part of a drive,
// so "\x" against it gives "/x", ".." stops at the root, and components are
// joined with "/". Every other base keeps the Windows form with "\". A path
// starting with one "/" is rooted like one starting with "\".

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

struct PathOut {
  char* out;
  size_t size;
  size_t length = 0;
  bool overflow = false;

  void Put(const char* text, size_t n) {
    if (size == 0) {
      overflow = true;
      return;
    }
    if (length + n >= size) {
      overflow = true;
      n = size - 1 - length;
    }
    std::memcpy(out + length, text, n);
    length += n;
    out[length] = 0;
  }

  // ".." : back to the previous separator or ":" (a ":" is kept).
  void Pop() {
    size_t cut = 0;
    bool found = false;
    for (size_t i = 0; i < length; i += vox_win32::Cp932CharBytes(out + i)) {
      if (IsSeparator(out[i]) || out[i] == ':') {
        cut = out[i] == ':' ? i + 1 : i;
        found = true;
      }
    }
    length = found ? cut : 0;
    if (size) out[length] = 0;
  }
};

int ResolvePath(const char* relative, char* out, size_t size, const char* base, bool network) {
  char current[FILE_DIR_BUFFER];
  if (!base) {
    if (FsGetDir(current) != 0) return -1;
    current[FILE_DIR_BUFFER - 1] = 0;
    base = current;
  }
  PathOut path{out, size};
  if (size) out[0] = 0;
  if (!relative) {
    path.Put(base, std::strlen(base));
    return path.overflow ? -1 : 0;
  }
  bool posix_base = base[0] == '/' && base[1] != '/';
  char separator = '\\';
  const char* p = relative;
  if (network && IsSeparator(p[0]) && IsSeparator(p[1])) {
    path.Put("\\", 1);
    p += 2;
  } else if (IsSeparator(p[0])) {
    if (base[0] && base[1] == ':')
      path.Put(base, 2);
    else if (posix_base)
      separator = '/';
    p += 1;
  } else if (p[0] && p[1] == ':') {
    path.Put(p, 2);
    p += 2;
    if (IsSeparator(*p)) ++p;
  } else {
    size_t n = std::strlen(base);
    size_t last = n;  // start of the last character, to spot a trailing separator
    for (size_t i = 0; i < n; i += vox_win32::Cp932CharBytes(base + i)) last = i;
    if (n && IsSeparator(base[last])) n = last;
    path.Put(base, n);
    if (posix_base) separator = '/';
  }

  while (*p) {
    const char* start = p;
    while (*p && !IsSeparator(*p)) p += vox_win32::Cp932CharBytes(p);
    size_t n = (size_t)(p - start);
    if (*p) ++p;
    if (n == 0 || (n == 1 && start[0] == '.')) continue;
    if (n == 2 && start[0] == '.' && start[1] == '.') {
      path.Pop();
      continue;
    }
    path.Put(&separator, 1);
    path.Put(start, n);
  }
  return path.overflow ? -1 : 0;
}

}  // namespace

int ResolveFullPath(const char* relative, char* out, size_t size, const char* base) {
  return ResolvePath(relative, out, size, base, true);
}

int ResolveFullPathPlain(const char* relative, char* out, size_t size, const char* base) {
  return ResolvePath(relative, out, size, base, false);
}
