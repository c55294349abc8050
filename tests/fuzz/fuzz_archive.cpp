// An archive image as stored on disk: opened from memory, every folder listed
// and every file found, opened and read to its end.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/archive.h"

namespace {

int g_budget;  // entries visited per input; folders may loop back on themselves

void Walk(ArchiveRecord* archive, const std::string& folder, int depth) {
  if (depth > 6) return;
  FileInfo info;
  std::string pattern = folder.empty() ? "*" : folder + "\\*";
  intptr_t find = ArchiveFindFirst(archive, pattern.c_str(), &info);
  if (find == -1) return;
  do {
    if (--g_budget < 0) break;
    if (!std::strcmp(info.name, ".") || !std::strcmp(info.name, "..") || !info.name[0]) continue;
    std::string path = folder.empty() ? info.name : folder + "\\" + info.name;
    if (info.is_directory) {
      Walk(archive, path, depth + 1);
      continue;
    }
    ArchiveFile file;
    if (OpenArchiveFile(&file, archive, path.c_str(), 0) != 0) continue;
    uint8_t buffer[4096];
    while (ReadArchiveFile(&file, buffer, sizeof buffer) > 0) {
    }
    SeekArchiveFile(&file, -7, 2);
    ReadArchiveFile(&file, buffer, 3);
    CloseArchiveFile(&file);
    uint32_t position, size;
    GetArchiveFileSpan(archive, path.c_str(), &position, &size);
  } while (ArchiveFindNext(find, &info) == 0);
  ArchiveFindClose(find);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  std::vector<uint8_t> image(data, data + size);
  ArchiveRecord archive;
  if (OpenArchiveFromMemory(&archive, image.data(), (uint32_t)image.size(), nullptr) != 0) return 0;
  g_budget = 2000;
  Walk(&archive, "", 0);
  ArchiveFile file;
  if (OpenArchiveFile(&file, &archive, "a\\..\\b\\.\\c", 0) == 0) CloseArchiveFile(&file);
  CloseArchive(&archive);
  return 0;
}
