// The exports every opponent plug-in carries (beside its resource lookup,
// generated with its resources). The module's whole state is one
// Opponent in its globals (no allocation at load), bound to the module's
// variant; all else in the module is hidden.
#include <cstdint>
#include <type_traits>

#include "opponents/module.h"

#define VOX_EXPORT __attribute__((visibility("default")))

namespace {

constinit Opponent g_opponent{&kModuleVariant};

}  // namespace

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

}  // extern "C"

static_assert(std::is_same_v<decltype(&init), OpponentInitFn>);
static_assert(std::is_same_v<decltype(&think_set), OpponentThinkFn>);
static_assert(std::is_same_v<decltype(&get_thinking_time), OpponentLevelValueFn>);
static_assert(std::is_same_v<decltype(&get_graphic_name), OpponentResourceNameFn>);
