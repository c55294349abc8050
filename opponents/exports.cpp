// The exports every opponent plug-in carries. The module's whole state is one
// Opponent in its globals (no allocation at load), bound to the module's
// variant; all else in the module is hidden.
#include <cstdint>
#include <type_traits>

#include "opponents/module.h"

#define VOX_EXPORT __attribute__((visibility("default")))

namespace {

constinit Opponent g_opponent{&kModuleVariant};

bool IsIntResource(const char* p) { return ((uintptr_t)p >> 16) == 0; }

// "#25" names integer id 25; anything else that is not a number is a text.
bool ParseIdText(const char* text, uint32_t* id) {
  if (text[0] != '#' || text[1] == '\0') return false;
  uint32_t v = 0;
  for (const char* c = text + 1; *c; ++c) {
    if (*c < '0' || *c > '9' || v > 0xFFFF) return false;
    v = v * 10 + (uint32_t)(*c - '0');
  }
  if (v > 0xFFFF) return false;
  *id = v;
  return true;
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c; }

bool SameText(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (AsciiUpper(*a) != AsciiUpper(*b)) return false;
  return *a == *b;
}

bool IdMatches(const char* wanted, uint16_t id) {
  uint32_t v;
  if (IsIntResource(wanted)) return (uintptr_t)wanted == id;
  return ParseIdText(wanted, &v) && v == id;
}

bool NameMatches(const char* wanted, const char* name) {
  if (IsIntResource(wanted)) return false;
  uint32_t v;
  if (ParseIdText(wanted, &v)) return false;
  return SameText(wanted, name);
}

}  // namespace

const OpponentResource* FindModuleResource(const OpponentResource* table, int count, const char* name,
                                           const char* type) {
  if (!name || !type) return nullptr;
  for (int i = 0; i < count; ++i)
    if (IdMatches(type, table[i].type) && NameMatches(name, table[i].name)) return &table[i];
  return nullptr;
}

extern "C" {

VOX_EXPORT uint8_t init(int32_t com_level, int32_t clear_count, const BlockView* const* board,
                        const int32_t (*queue)[2], const uint8_t* hold_flag, const int32_t* pending_garbage) {
  g_opponent.init(com_level, clear_count, board, queue, hold_flag, pending_garbage);
  return 1;
}

VOX_EXPORT uint32_t think_set(void* decision) {
  g_opponent.think(static_cast<int32_t*>(decision));
  return 0;
}

VOX_EXPORT int32_t get_thinking_time() { return g_opponent.thinking_time(); }
VOX_EXPORT int32_t get_miss_percent() { return g_opponent.miss_percent(); }
VOX_EXPORT const char* get_graphic_name() { return kOpponentImageName; }
VOX_EXPORT const char* get_face_name() { return kOpponentFaceName; }
VOX_EXPORT const char* get_chara_name() { return kOpponentNameName; }
VOX_EXPORT const char* get_chara_descript() { return kOpponentDescriptName; }

VOX_EXPORT const void* VoxModuleResource(const char* name, const char* type, uint32_t* size) {
  const OpponentResource* found = FindModuleResource(kModuleResources, kModuleResourceCount, name, type);
  if (size) *size = found ? found->size : 0;
  return found ? found->bytes : nullptr;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&init), OpponentInitFn>);
static_assert(std::is_same_v<decltype(&think_set), OpponentThinkFn>);
static_assert(std::is_same_v<decltype(&get_thinking_time), OpponentLevelValueFn>);
static_assert(std::is_same_v<decltype(&get_graphic_name), OpponentResourceNameFn>);
static_assert(std::is_same_v<decltype(&VoxModuleResource), VoxModuleResourceFn>);
