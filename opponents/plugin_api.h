// The contract between the game and a computer-opponent plug-in: the eight
// exports (plus the resource lookup every module with resources carries),
// the view of one board cell the field hands over, and the resources the
// character screen reads. The game binds everything by name through
// dlopen/dlsym; nothing here is linked across the boundary.
#pragma once

#include <cstdint>

#include "platform/win32/module_resource.h"

// One board cell as a plug-in reads it. The field keeps an array of these
// (refreshed on the main thread before each thinking thread starts) and hands
// the plug-in 84 pointers into it, null for an empty cell. The three fields
// are the block's chain number, colour code (0-5, 6 garbage) and vanish
// counter (above 0 while the block disappears), in this order.
struct BlockView {
  int32_t chain;
  int32_t colour;
  int32_t vanish;
};

inline constexpr int kOpponentBoardRows = 14;
inline constexpr int kOpponentBoardColumns = 6;
inline constexpr int kOpponentBoardCells = 84;  // row-major, row 0 (top) first
inline constexpr int kOpponentQueuePairs = 5;   // {axis colour, partner colour}, next pair first
inline constexpr int kOpponentPlacements = 22;  // placement indices 0-21
inline constexpr int kOpponentComLevels = 3;    // computer levels 0, 1, 2
static_assert(kOpponentBoardCells == kOpponentBoardRows * kOpponentBoardColumns);

// ---- exports ---------------------------------------------------------------
// init(com_level, clear_count, board, queue, hold_flag, pending_garbage):
//   stores the pointers (they must stay valid while the field plays) and the
//   level; always returns 1. A level outside 0-2 is taken as the nearest one;
//   a clear count below 2 is taken as 2.
//   hold_flag: the field's byte that is non-zero while it must not receive
//   garbage. Some opponents re-read it during a think, so the game writes it
//   with atomic stores (std::atomic_ref<uint8_t> or std::atomic<uint8_t>);
//   the plug-in reads it with relaxed atomic loads.
//   pending_garbage: garbage owed to the field, in score units (720 = one row).
// think_set(decision): the thinking thread's routine; decision points to the
//   field's int32_t slot that receives the placement index 0-21. Returns 0.
//   Before init (no board or queue stored) it writes 0 without searching; with
//   a null decision it writes nothing.
// get_thinking_time / get_miss_percent: the stored level's table entries.
// get_graphic_name / get_face_name / get_chara_name / get_chara_descript:
//   the names of the four resources below.
typedef uint8_t (*OpponentInitFn)(int32_t com_level, int32_t clear_count, const BlockView* const* board,
                                  const int32_t (*queue)[2], const uint8_t* hold_flag, const int32_t* pending_garbage);
typedef uint32_t (*OpponentThinkFn)(void* decision);
typedef int32_t (*OpponentLevelValueFn)();
typedef const char* (*OpponentResourceNameFn)();

#define VOX_OPPONENT_INIT "init"
#define VOX_OPPONENT_THINK_SET "think_set"
#define VOX_OPPONENT_GET_THINKING_TIME "get_thinking_time"
#define VOX_OPPONENT_GET_MISS_PERCENT "get_miss_percent"
#define VOX_OPPONENT_GET_GRAPHIC_NAME "get_graphic_name"
#define VOX_OPPONENT_GET_FACE_NAME "get_face_name"
#define VOX_OPPONENT_GET_CHARA_NAME "get_chara_name"
#define VOX_OPPONENT_GET_CHARA_DESCRIPT "get_chara_descript"

// Every name a module must export to count as an opponent (the resource
// lookup VOX_MODULE_RESOURCE_SYMBOL comes on top).
inline constexpr const char* kOpponentExportNames[8] = {
    VOX_OPPONENT_INIT,           VOX_OPPONENT_THINK_SET,         VOX_OPPONENT_GET_THINKING_TIME,
    VOX_OPPONENT_GET_MISS_PERCENT, VOX_OPPONENT_GET_GRAPHIC_NAME, VOX_OPPONENT_GET_FACE_NAME,
    VOX_OPPONENT_GET_CHARA_NAME, VOX_OPPONENT_GET_CHARA_DESCRIPT,
};

// ---- resources ---------------------------------------------------------------
// Types are integer ids (MAKEINTRESOURCEA(25) / (27)); names are the texts the
// getters return.
inline constexpr uint16_t kOpponentPictureType = 25;  // PNG files
inline constexpr uint16_t kOpponentTextType = 27;     // code page 932 text, no terminator
inline constexpr const char* kOpponentImageName = "IMAGE";        // 192 x 384, 8-bit palette
inline constexpr const char* kOpponentFaceName = "FACE";          // 48 x 48, 16-colour palette, transparent entry
inline constexpr const char* kOpponentNameName = "NAME";          // one line, shorter than 32 bytes
inline constexpr const char* kOpponentDescriptName = "DESCRIPT";  // two lines (CR LF), shorter than 256 bytes
inline constexpr int kOpponentImageWidth = 192;
inline constexpr int kOpponentImageHeight = 384;
inline constexpr int kOpponentFaceSize = 48;
inline constexpr int kOpponentNameLimit = 32;       // bytes, exclusive
inline constexpr int kOpponentDescriptLimit = 256;  // bytes, exclusive
