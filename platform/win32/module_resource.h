// Module resources on Linux. Shared objects and programs carry no resource
// section, so a module that has resources embeds them at build time and
// exports this one function; FindResourceA/SizeofResource/LoadResource/
// LockResource look it up with dlsym and call it.
#pragma once

#include <cstdint>

// `name` and `type` are strings, or integer ids made with MAKEINTRESOURCEA
// (values below 0x10000), compared the way FindResourceA compares them.
// Returns the resource's bytes and size, or null when the module has none.
#define VOX_MODULE_RESOURCE_SYMBOL "VoxModuleResource"
extern "C" typedef const void* (*VoxModuleResourceFn)(const char* name, const char* type, uint32_t* size);

// ---- for the module side ------------------------------------------------------
// A module's embedded resources are a table that cmake/embed_resources.cmake
// writes at build time, together with the exported function that searches it
// (vox_embed_resources in cmake/VoxHelpers.cmake). Nothing here needs more
// than the C++ library, so a plug-in that links nothing of the program can
// use it.

// One resource: named by the text `name`, or by the integer `id` when `name`
// is null; its type is always an integer id.
struct VoxEmbeddedResource {
  const char* name;
  uint16_t id;
  uint16_t type;
  const unsigned char* bytes;
  uint32_t size;
};

namespace vox_module_resource {

inline bool IsIntResource(const char* p) { return ((uintptr_t)p >> 16) == 0; }

// "#25" names integer id 25, as on the platform.
inline bool ParseIdText(const char* text, uint16_t* id) {
  if (text[0] != '#' || text[1] == '\0') return false;
  uint32_t v = 0;
  for (const char* c = text + 1; *c; ++c) {
    if (*c < '0' || *c > '9') return false;
    v = v * 10 + (uint32_t)(*c - '0');
    if (v > 0xFFFF) return false;
  }
  *id = (uint16_t)v;
  return true;
}

inline char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c; }

// Whether a name or type the caller asks for (`wanted`) is the entry's text
// `name`, or its integer `id` when `name` is null: integers (or "#<decimal>"
// texts) match integers, other texts match texts without regard to ASCII
// case.
inline bool KeyMatches(const char* wanted, const char* name, uint16_t id) {
  uint16_t wanted_id;
  const bool wanted_is_id = IsIntResource(wanted) || ParseIdText(wanted, &wanted_id);
  if (wanted_is_id) {
    if (IsIntResource(wanted)) wanted_id = (uint16_t)(uintptr_t)wanted;
    return !name && wanted_id == id;
  }
  if (!name) return false;
  for (; *wanted && *name; ++wanted, ++name)
    if (AsciiUpper(*wanted) != AsciiUpper(*name)) return false;
  return *wanted == *name;
}

}  // namespace vox_module_resource

// The entry of `table` that `name` and `type` name, or null: the body of a
// module's exported VoxModuleResource.
inline const void* VoxFindEmbeddedResource(const VoxEmbeddedResource* table, int count, const char* name,
                                           const char* type, uint32_t* size) {
  using vox_module_resource::KeyMatches;
  const VoxEmbeddedResource* found = nullptr;
  for (int i = 0; name && type && i < count && !found; ++i)
    if (KeyMatches(type, nullptr, table[i].type) && KeyMatches(name, table[i].name, table[i].id)) found = &table[i];
  if (size) *size = found ? found->size : 0;
  return found ? found->bytes : nullptr;
}
