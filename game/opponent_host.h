// The game's side of the opponent plug-ins: binding a module's exports, the
// view of a board a plug-in reads, the thinking thread (started, polled
// without waiting, and ended with a time limit), and releasing a module.
//
// A search that never ends must not hang the game nor make it read or run
// freed memory: the view it reads is shared with the thread, and a module
// whose search was given up on stays loaded for the rest of the run and is
// never called again.
#pragma once

#include <cstdint>
#include <memory>

#include "opponents/plugin_api.h"
#include "platform/win32/win32.h"

// The file name ending of a loadable module on this platform.
inline constexpr const char* kModuleSuffix = ".so";

// How long ending a field or a match waits for a search still running. A
// search takes well under a millisecond; one that takes this long has hung.
inline constexpr DWORD kThinkWaitLimitMs = 500;

// The eight exports an opponent module must have.
struct OpponentExports {
  OpponentInitFn init = nullptr;
  OpponentThinkFn think_set = nullptr;
  OpponentLevelValueFn get_thinking_time = nullptr;
  OpponentLevelValueFn get_miss_percent = nullptr;
  OpponentResourceNameFn get_graphic_name = nullptr;
  OpponentResourceNameFn get_face_name = nullptr;
  OpponentResourceNameFn get_chara_name = nullptr;
  OpponentResourceNameFn get_chara_descript = nullptr;
};

// Binds all eight by name; false when any is missing (the module is then no
// opponent and *exports is left empty).
bool bind_opponent_exports(HMODULE module, OpponentExports* exports);

// What a plug-in reads of its field: copies the field takes on the main
// thread before each search starts (the cells point into `records`, null for
// an empty cell), and the slot the search answers in. The field and its
// running search share it, so a search that outlives its field still reads
// memory that is alive.
struct OpponentView {
  BlockView records[kOpponentBoardCells] = {};
  const BlockView* cells[kOpponentBoardCells] = {};
  int32_t queue[kOpponentQueuePairs][2] = {};
  uint8_t hold_flag = 1;
  int32_t pending_garbage = 0;
  int32_t decision = 0;
};

// Runs think(&view->decision) on a new thread; null when no thread could be
// started.
HANDLE start_think_thread(OpponentThinkFn think, std::shared_ptr<OpponentView> view);
// Whether the thread has ended: a wait with a zero time-out.
bool think_thread_ended(HANDLE thread);
// Ends a thread: waits at most limit_ms for it and closes the handle. A
// thread still running then is given up on: its module is marked stuck.
// True when the thread ended.
bool finish_think_thread(HANDLE thread, HMODULE module, DWORD limit_ms = kThinkWaitLimitMs);

// Whether a search in the module was given up on. A stuck module is never
// called again and never unloaded.
bool opponent_module_stuck(HMODULE module);
// FreeLibrary, unless the module is stuck (or null).
void release_opponent_module(HMODULE module);
