// A tiny module for the module tests: one function and a few embedded
// resources, reached through the resource hook as plug-ins are.
#include <strings.h>

#include <cstdint>
#include <cstring>

#include "platform/win32/module_resource.h"
#include "platform/win32/win32.h"

namespace {

struct Entry {
  const char* name;  // string name, or null for `id`
  uint16_t id;
  const char* type;  // string type, or null for `type_id`
  uint16_t type_id;
  const char* bytes;
  uint32_t size;
};

const char kScript[] = "台詞テキスト";
const char kWave[] = "RIFF....WAVE";
const Entry kEntries[] = {
    {"SCRIPT", 0, nullptr, 25, kScript, sizeof kScript - 1},
    {nullptr, 101, "WAVE", 0, kWave, sizeof kWave - 1},
};

bool Same(const char* want, uint16_t want_id, const char* got) {
  if (IS_INTRESOURCE(got)) return !want && want_id == (uint16_t)(uintptr_t)got;
  return want && strcasecmp(want, got) == 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const void* VoxModuleResource(const char* name,
                                                                                 const char* type,
                                                                                 uint32_t* size) {
  for (const Entry& e : kEntries) {
    if (Same(e.name, e.id, name) && Same(e.type, e.type_id, type)) {
      *size = e.size;
      return e.bytes;
    }
  }
  return nullptr;
}

extern "C" __attribute__((visibility("default"))) int TestModuleAdd(int a, int b) { return a + b; }
