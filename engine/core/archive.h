// ".QVA" archives: one archive file stands in for the folder of the same name
// beside it (images\a.png comes from images.QVA when that file exists). The
// file layer asks LocateArchivePath whether a path lies in an archive and then
// opens, reads and lists inside it. An archive can also be opened from an
// image in memory. The format is in archive_format.h.
//
// Every table offset, entry and name record is checked against the header
// block before it is used and every entry's data against the archive's size,
// so a damaged archive fails to open or to serve that entry, never reads
// outside its buffers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/core/archive_format.h"
#include "engine/core/file.h"

struct OsFile;

constexpr int MAX_ARCHIVES = 512;
constexpr int ARCHIVE_PATH_SIZE = 256;  // the upper-cased full path kept per slot

struct ArchiveHeader {
  char magic[2];
  uint16_t version;
  uint32_t block_size;
  uint32_t data_offset;
  uint32_t block_offset;
  uint32_t entry_offset;
  uint32_t directory_offset;
};

struct ArchiveRecord {
  ArchiveHeader header;
  OsFile* file;            // the archive file kept open (streamed archives)
  uint8_t* image;          // the whole archive, deciphered, when in memory
  uint32_t total_size;     // bytes of the file or image
  uint8_t* header_block;   // read from the file, or inside the image
  uint8_t* entry_table;
  uint8_t* directory_table;
  uint8_t* name_table;
  uint32_t entry_size;
  uint32_t current_directory;  // offset in the directory table; 0 is the root
  uint8_t key[ARCHIVE_KEY_SIZE];
  int in_memory;
  int from_image;  // the image is the caller's
  uint32_t image_size;
  int load_pending;  // the whole-file load of mode 1 is running
  OsFile* load_file;
};

// An open file inside an archive.
struct ArchiveFile {
  ArchiveRecord* archive;
  const uint8_t* entry;
  uint8_t* unpacked;  // decoded contents of a compressed entry
  uint8_t* packed;    // compressed contents while their asynchronous read runs
  int at_end;
  uint32_t position;
  int async;
  int pending;  // 0 none, 1 compressed contents being read, 2 a plain read being read
  uint32_t data_position;  // archive offset of the pending read
  void* read_buffer;
  uint32_t read_size;
  uint32_t data_start;   // archive offset of the entry's stored bytes
  uint32_t size;         // of the contents
  uint32_t packed_size;  // ARCHIVE_STORED for stored entries
  int damaged;           // compressed contents failed to decode
};

// ---- the archive table shared by the file layer
int InitArchiveTable();  // closes whatever is open and empties the tables
int EndArchiveTable();   // closes archives whose reference count is 0
// 0 when `path` lies in an archive: its slot (reference count raised), the
// archive's folder prefix (when `dir_out` is not null, FILE_PATH_SIZE bytes)
// and the path inside it (`inner_out`, FILE_PATH_SIZE bytes). -1 otherwise.
int LocateArchivePath(const char* path, int* slot, char* dir_out, char* inner_out);
// Opens `archive_path` (mode 0 streamed, 1 loaded whole in the background) or
// raises the count of the slot already holding it. Returns the slot or -1.
int OpenArchiveSlot(const char* archive_path, int hint, int mode, int async);
int ReleaseArchiveSlot(int slot);
ArchiveRecord* GetArchiveSlotRecord(int slot);  // null for an empty slot
void CloseUnusedArchives();

// ---- one archive
// Opens an archive over a caller's image, deciphering it in place (the
// image stays the caller's; on failure it is left as it was). 0 / -1.
int OpenArchiveFromMemory(ArchiveRecord* record, void* image, uint32_t size, const char* key_string);
// Opens an archive file (mode 0 streamed, 1 loaded whole in the background;
// with `wait` the load has finished on return).
int OpenArchive(ArchiveRecord* record, const char* path, int mode, int wait);
int CloseArchive(ArchiveRecord* record);  // closes the file, frees what the record owns
const uint8_t* GetArchiveImage(ArchiveRecord* record);  // null unless in memory
// Where a stored file's bytes lie: data area offset + entry data offset.
int GetArchiveFileSpan(ArchiveRecord* record, const char* name, uint32_t* position, uint32_t* size);
// The file entry at `path` (folders are walked); null when absent.
const uint8_t* FindArchiveEntry(ArchiveRecord* record, const char* path);
// Moves the archive's current folder along `path`. 0, or -1 with the failed
// component's search name in `search_out` (when not null).
int ChangeArchiveDir(ArchiveRecord* record, const char* path, int restore, ArchiveSearchName* search_out);

// ---- files inside an archive
int OpenArchiveFile(ArchiveFile* file, ArchiveRecord* record, const char* inner_path, int async);
int CloseArchiveFile(ArchiveFile* file);
uint32_t ReadArchiveFile(ArchiveFile* file, void* buffer, uint32_t n);  // bytes delivered
int SeekArchiveFile(ArchiveFile* file, int32_t offset, int origin);
int64_t TellArchiveFile(ArchiveFile* file);
int ArchiveFileEof(ArchiveFile* file);   // -1 at end, else 0
int PollArchiveFile(ArchiveFile* file);  // 1 when no read is pending

// ---- listing inside an archive
intptr_t ArchiveFindFirst(ArchiveRecord* record, const char* pattern, FileInfo* info);  // -1 when nothing matches
int ArchiveFindNext(intptr_t find, FileInfo* info);  // 0, -1 at the end
int ArchiveFindClose(intptr_t find);
