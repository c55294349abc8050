// What a think takes from the game: the stored init arguments, the board
// snapshot into level 0 and the copies of pairs, pending garbage and hold flag.
// The game may change the counters and the flag while a think runs, so they
// are read with relaxed atomic loads; the board views are stable during a
// think (the field refreshes them before starting the thread).
#include "opponents/opponent.h"

namespace {

template <typename T>
T LoadRelaxed(const T* p) {
  return __atomic_load_n(p, __ATOMIC_RELAXED);
}

}  // namespace

void Opponent::init(int32_t level, int32_t clear, const BlockView* const* board_cells,
                    const int32_t (*pair_queue)[2], const uint8_t* hold, const int32_t* pending) {
  // The level indexes the three-entry tables, so it is taken as the nearest
  // valid level; a clear count below 2 would let every empty cell "clear"
  // and the chain simulation never settle.
  com_level = level < 0 ? 0 : level >= kOpponentComLevels ? kOpponentComLevels - 1 : level;
  clear_count = clear < 2 ? 2 : clear;
  board = board_cells;
  queue = pair_queue;
  hold_flag = hold;
  pending_garbage = pending;
  search_depth = com_level == 2 ? 1 : 0;
}

void Opponent::take_snapshot() {
  for (int i = 0; i < kOpponentBoardCells; ++i) {
    const BlockView* block = board[i];
    uint8_t code = kCellEmpty;
    uint8_t chain = 0;
    if (block) {
      chain = (uint8_t)block->chain;
      code = block->vanish > 0 ? kCellVanishing : (uint8_t)block->colour;
    }
    cell_levels[kSnapshotLevel][i] = code;
    counter_levels[kSnapshotLevel][i] = chain;
  }
  for (int k = 0; k < kOpponentQueuePairs; ++k) {
    pairs[k][0] = LoadRelaxed(&queue[k][0]);
    pairs[k][1] = LoadRelaxed(&queue[k][1]);
  }
  pending_copy = pending_garbage ? LoadRelaxed(pending_garbage) : 0;
  hold_copy = hold_flag ? LoadRelaxed(hold_flag) : 0;
}

bool Opponent::hold_flag_set() const {
  if (!variant->hold_flag_live) return hold_copy != 0;
  return hold_flag && LoadRelaxed(hold_flag) != 0;
}

void Opponent::think(int32_t* decision) {
  if (!decision) return;
  if (!board || !queue) {
    // Nothing to look at before init: answer as when every placement is
    // refused (column 0, partner above).
    *decision = 0;
    return;
  }
  take_snapshot();
  *decision = start_search();
}
