// vox-qva: the command-line archive packer (pack, list, extract, and lz for a
// single LZ block). Names on disk are UTF-8 and are stored in the archive as
// code page 932; listing and extracting go through the engine's own archive
// reader, so what this tool shows is what the game reads.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/core/archive.h"
#include "platform/win32/cp932.h"
#include "tools/packer/lz_pack.h"
#include "tools/packer/qva_writer.h"

namespace fs = std::filesystem;

namespace {

bool ReadWhole(const std::string& path, std::vector<uint8_t>* out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  out->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return !f.bad();
}

bool WriteWhole(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(data), (std::streamsize)size);
  return (bool)f;
}

bool AddFolder(const fs::path& folder, QvaNode* node, QvaPacking packing, std::string* error) {
  std::vector<fs::path> items;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) items.push_back(e.path());
  if (ec) {
    *error = "cannot read folder " + folder.string() + ": " + ec.message();
    return false;
  }
  std::sort(items.begin(), items.end());
  for (const fs::path& item : items) {
    struct stat st;
    if (stat(item.c_str(), &st) != 0) {
      *error = "cannot stat " + item.string();
      return false;
    }
    QvaNode child;
    if (!vox_win32::Utf8ToCp932(item.filename().string(), &child.name)) {
      *error = "name has no code page 932 form: " + item.string();
      return false;
    }
    child.written = FileTimeFromUnix(st.st_mtim.tv_sec, (uint32_t)st.st_mtim.tv_nsec);
    child.accessed = FileTimeFromUnix(st.st_atim.tv_sec, (uint32_t)st.st_atim.tv_nsec);
    child.created = child.written;  // Linux keeps no creation time in stat
    child.packing = packing;
    if (S_ISDIR(st.st_mode)) {
      child.is_directory = true;
      if (!AddFolder(item, &child, packing, error)) return false;
    } else if (S_ISREG(st.st_mode)) {
      if (!ReadWhole(item.string(), &child.data)) {
        *error = "cannot read " + item.string();
        return false;
      }
    } else {
      continue;
    }
    node->children.push_back(std::move(child));
  }
  return true;
}

int Pack(int argc, char** argv) {
  QvaOptions options;
  QvaPacking packing = QvaPacking::kSmaller;
  std::vector<std::string> paths;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--version" && i + 1 < argc) {
      options.version = std::atoi(argv[++i]);
      if (options.version != 1 && options.version != 2) {
        std::fprintf(stderr, "vox-qva: version must be 1 or 2\n");
        return 2;
      }
    } else if (a == "--store") {
      packing = QvaPacking::kStored;
    } else if (a == "--compress") {
      packing = QvaPacking::kLz;
    } else {
      paths.push_back(a);
    }
  }
  if (paths.size() != 2) {
    std::fprintf(stderr, "usage: vox-qva pack [--version 1|2] [--store|--compress] FOLDER ARCHIVE\n");
    return 2;
  }
  QvaNode root;
  root.is_directory = true;
  std::string error;
  std::vector<uint8_t> bytes;
  if (!AddFolder(paths[0], &root, packing, &error) || !BuildQvaArchive(root, options, &bytes, &error)) {
    std::fprintf(stderr, "vox-qva: %s\n", error.c_str());
    return 1;
  }
  if (!WriteWhole(paths[1], bytes.data(), bytes.size())) {
    std::fprintf(stderr, "vox-qva: cannot write %s\n", paths[1].c_str());
    return 1;
  }
  return 0;
}

std::string ToUtf8(const std::string& cp932) {
  std::string out;
  return vox_win32::Cp932ToUtf8(cp932, &out) ? out : cp932;
}

// Walks the archive folder `inner` (cp932, "" for the root), calling `visit`
// with the inner path of every entry below it. A damaged archive may loop
// its folders or carry names that climb out of the target: both are refused.
template <class Visit>
bool Walk(ArchiveRecord* archive, const std::string& inner, int depth, Visit&& visit) {
  if (depth > 64) {
    std::fprintf(stderr, "vox-qva: folders nest too deep at %s\n", ToUtf8(inner).c_str());
    return false;
  }
  FileInfo info;
  std::string pattern = inner.empty() ? "*" : inner + "\\*";
  intptr_t find = ArchiveFindFirst(archive, pattern.c_str(), &info);
  if (find == -1) return true;
  bool ok = true;
  do {
    std::string name = info.name;
    if (name == "." || name == "..") continue;
    std::string shown = ToUtf8(name);
    if (shown.empty() || shown.find_first_of("/\\") != std::string::npos) {
      std::fprintf(stderr, "vox-qva: bad name in archive: %s\n", shown.c_str());
      ok = false;
      break;
    }
    std::string path = inner.empty() ? name : inner + "\\" + name;
    if (!visit(path, info)) ok = false;
    if (info.is_directory && !Walk(archive, path, depth + 1, visit)) ok = false;
  } while (ok && ArchiveFindNext(find, &info) == 0);
  ArchiveFindClose(find);
  return ok;
}

int ListOrExtract(bool extract, int argc, char** argv) {
  if (argc != (extract ? 2 : 1)) {
    std::fprintf(stderr, extract ? "usage: vox-qva extract ARCHIVE FOLDER\n" : "usage: vox-qva list ARCHIVE\n");
    return 2;
  }
  std::vector<uint8_t> image;
  if (!ReadWhole(argv[0], &image) || image.size() >= 0xFFFFFFFFu) {
    std::fprintf(stderr, "vox-qva: cannot read %s\n", argv[0]);
    return 1;
  }
  ArchiveRecord archive;
  if (OpenArchiveFromMemory(&archive, image.data(), (uint32_t)image.size(), nullptr) != 0) {
    std::fprintf(stderr, "vox-qva: %s is not an archive this engine reads\n", argv[0]);
    return 1;
  }
  fs::path target = extract ? fs::path(argv[1]) : fs::path();
  bool ok = Walk(&archive, "", 0, [&](const std::string& path, const FileInfo& info) {
    std::string shown = ToUtf8(path);
    std::replace(shown.begin(), shown.end(), '\\', '/');
    if (!extract) {
      const DateRecord& m = info.modified;
      std::printf("%s %10u %04d-%02d-%02d %02d:%02d:%02d %s\n", info.is_directory ? "d" : "-", info.size_low, m.year,
                  m.month, m.day, m.hour, m.minute, m.second, shown.c_str());
      return true;
    }
    fs::path out = target / shown;
    std::error_code ec;
    if (info.is_directory) {
      fs::create_directories(out, ec);
      return !ec;
    }
    fs::create_directories(out.parent_path(), ec);
    ArchiveFile file;
    if (OpenArchiveFile(&file, &archive, path.c_str(), 0) != 0) {
      std::fprintf(stderr, "vox-qva: %s is damaged\n", shown.c_str());
      return false;
    }
    std::vector<uint8_t> data(file.size);
    uint32_t got = ReadArchiveFile(&file, data.data(), file.size);
    CloseArchiveFile(&file);
    if (got != data.size() || !WriteWhole(out.string(), data.data(), data.size())) {
      std::fprintf(stderr, "vox-qva: cannot extract %s\n", shown.c_str());
      return false;
    }
    return true;
  });
  CloseArchive(&archive);
  return ok ? 0 : 1;
}

// One file into one LZ block: how an archive image that a program carries in
// its own data is packed (the engine unpacks it with UnpackLzData).
int PackBlock(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vox-qva lz FILE BLOCK\n");
    return 2;
  }
  std::vector<uint8_t> data;
  if (!ReadWhole(argv[0], &data)) {
    std::fprintf(stderr, "vox-qva: cannot read %s\n", argv[0]);
    return 1;
  }
  if (data.size() >= 0xFFFFFFFFu) {
    std::fprintf(stderr, "vox-qva: %s is too large for one block\n", argv[0]);
    return 1;
  }
  std::vector<uint8_t> block = PackLzData(data.data(), data.size());
  if (!WriteWhole(argv[1], block.data(), block.size())) {
    std::fprintf(stderr, "vox-qva: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "pack") return Pack(argc - 2, argv + 2);
  if (command == "list") return ListOrExtract(false, argc - 2, argv + 2);
  if (command == "extract") return ListOrExtract(true, argc - 2, argv + 2);
  if (command == "lz") return PackBlock(argc - 2, argv + 2);
  std::fprintf(stderr,
               "usage: vox-qva pack [--version 1|2] [--store|--compress] FOLDER ARCHIVE\n"
               "       vox-qva list ARCHIVE\n"
               "       vox-qva extract ARCHIVE FOLDER\n"
               "       vox-qva lz FILE BLOCK\n");
  return 2;
}
