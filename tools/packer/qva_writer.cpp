// The archive is laid out as header, data area, header block. Entries are
// placed breadth first: each folder's children are consecutive in the entry
// table, as the reader's directory records require, in the order given.
#include "tools/packer/qva_writer.h"

#include <deque>

#include "engine/core/archive_format.h"
#include "tools/packer/lz_pack.h"

namespace {

constexpr uint32_t kAttrArchive = 0x20;

struct Layout {
  std::vector<uint8_t> names, entries, directories, data;
  uint32_t entry_size = 0;
  bool compress = false;
  std::string error;

  bool Fail(const std::string& text) {
    if (error.empty()) error = text;
    return false;
  }

  // Appends a name record; returns its offset in the name table.
  bool AddName(const std::string& name, uint32_t* offset) {
    ArchiveSearchName search;
    // The scan stops at a separator but copies two-byte characters whole, so
    // a cp932 trail byte equal to "\" is part of the name.
    if (name.empty() || name.size() > (size_t)ARCHIVE_NAME_MAX || name.find('\0') != std::string::npos ||
        MakeArchiveSearchName(name.c_str(), &search) != (int)name.size())
      return Fail("name cannot be stored: \"" + name + "\"");
    *offset = (uint32_t)names.size();
    size_t at = names.size();
    size_t padded = (size_t)search.units * 4;
    names.resize(at + 4 + 2 * padded, 0);
    WriteLe16(&names[at], search.units);
    WriteLe16(&names[at + 2], search.parity);
    std::copy(search.upper, search.upper + search.length, names.begin() + at + 4);
    std::copy(name.begin(), name.end(), names.begin() + at + 4 + padded);
    return true;
  }

  bool AddData(const QvaNode& node, uint32_t* offset, uint32_t* packed_size) {
    if (node.data.size() >= 0xFFFFFFFFu) return Fail("file too large: \"" + node.name + "\"");
    *packed_size = ARCHIVE_STORED;
    std::vector<uint8_t> packed;
    if (compress && node.packing != QvaPacking::kStored) {
      packed = PackLzData(node.data.data(), node.data.size());
      if (node.packing == QvaPacking::kLz || packed.size() < node.data.size()) *packed_size = (uint32_t)packed.size();
    }
    const std::vector<uint8_t>& bytes = *packed_size == ARCHIVE_STORED ? node.data : packed;
    *offset = (uint32_t)data.size();
    data.insert(data.end(), bytes.begin(), bytes.end());
    if (data.size() >= 0xFFFFFFFFu) return Fail("archive too large");
    return true;
  }

  // Reserves the directory record of `node`; the caller fills it.
  uint32_t AddDirectory() {
    uint32_t offset = (uint32_t)directories.size();
    directories.resize(directories.size() + ARCHIVE_DIR_RECORD_SIZE, 0);
    return offset;
  }
};

}  // namespace

uint64_t FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds) {
  return (uint64_t)(seconds + 11644473600LL) * 10000000u + nanoseconds / 100;
}

bool BuildQvaArchive(const QvaNode& root, const QvaOptions& options, std::vector<uint8_t>* out, std::string* error) {
  Layout layout;
  layout.entry_size = ArchiveEntrySize(options.version);
  layout.compress = options.version >= 2;

  struct Pending {
    const QvaNode* node;
    uint32_t record;        // its directory record
    uint32_t parent;        // parent's record, ARCHIVE_NO_PARENT for the root
    uint32_t own_entry;     // its entry, ARCHIVE_NO_PARENT for the root
  };
  std::deque<Pending> queue;
  queue.push_back({&root, layout.AddDirectory(), ARCHIVE_NO_PARENT, ARCHIVE_NO_PARENT});
  while (!queue.empty()) {
    Pending folder = queue.front();
    queue.pop_front();
    uint32_t first = (uint32_t)layout.entries.size();
    uint8_t* record = &layout.directories[folder.record];
    WriteLe32(record, folder.own_entry);
    WriteLe32(record + 4, folder.parent);
    WriteLe32(record + 8, (uint32_t)folder.node->children.size());
    WriteLe32(record + 12, first);
    layout.entries.resize(first + folder.node->children.size() * layout.entry_size, 0);
    for (size_t i = 0; i < folder.node->children.size(); ++i) {
      const QvaNode& child = folder.node->children[i];
      uint32_t entry = first + (uint32_t)i * layout.entry_size;
      uint32_t name_offset, location = 0, size = 0, packed = ARCHIVE_STORED;
      if (!layout.AddName(child.name, &name_offset)) break;
      uint32_t attributes = child.attributes ? child.attributes : child.is_directory ? ARCHIVE_ATTR_DIRECTORY : kAttrArchive;
      if (child.is_directory) {
        attributes |= ARCHIVE_ATTR_DIRECTORY;
        location = layout.AddDirectory();
        queue.push_back({&child, location, folder.record, entry});
      } else {
        attributes &= ~ARCHIVE_ATTR_DIRECTORY;
        if (!layout.AddData(child, &location, &packed)) break;
        size = (uint32_t)child.data.size();
      }
      uint8_t* e = &layout.entries[entry];  // after AddDirectory, which may not move entries
      WriteLe32(e, name_offset);
      WriteLe32(e + 4, attributes);
      WriteLe64(e + 8, child.created);
      WriteLe64(e + 16, child.accessed);
      WriteLe64(e + 24, child.written);
      WriteLe32(e + 32, location);
      WriteLe32(e + 36, size);
      if (layout.entry_size > 40) WriteLe32(e + 40, packed);
    }
    if (!layout.error.empty()) break;
  }
  if (!layout.error.empty()) {
    if (error) *error = layout.error;
    return false;
  }

  uint64_t block_size = layout.names.size() + layout.entries.size() + layout.directories.size();
  uint64_t block_offset = ARCHIVE_HEADER_SIZE + layout.data.size();
  if (block_offset + block_size >= 0xFFFFFFFFu) {
    if (error) *error = "archive too large";
    return false;
  }
  out->assign(ARCHIVE_HEADER_SIZE, 0);
  uint8_t* h = out->data();
  h[0] = 'Q';
  h[1] = 'V';
  WriteLe16(h + 2, (uint16_t)options.version);
  WriteLe32(h + 4, (uint32_t)block_size);
  WriteLe32(h + 8, ARCHIVE_HEADER_SIZE);
  WriteLe32(h + 12, (uint32_t)block_offset);
  WriteLe32(h + 16, (uint32_t)layout.names.size());
  WriteLe32(h + 20, (uint32_t)(layout.names.size() + layout.entries.size()));
  out->insert(out->end(), layout.data.begin(), layout.data.end());
  out->insert(out->end(), layout.names.begin(), layout.names.end());
  out->insert(out->end(), layout.entries.begin(), layout.entries.end());
  out->insert(out->end(), layout.directories.begin(), layout.directories.end());

  uint8_t key[ARCHIVE_KEY_SIZE];
  if (options.key == QvaKey::kSecond)
    MakeSecondArchiveKey(key);
  else
    MakeArchiveKey(options.key_string, key);
  CipherArchiveData(out->data(), out->size(), 0, key);
  return true;
}
