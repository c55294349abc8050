// The rules that act on settled blocks: the settling pass of every frame
// (falling, groups, removal, chain reset), the group search with its score,
// garbage exchange and level-up, and the garbage drop.
#include <algorithm>

#include "game/field.h"
#include "game/level_table.h"

// The break sound's rate for the chain number the cleared blocks carried.
int break_sound_frequency(int carried_chain) {
  return carried_chain < 7 ? (carried_chain * 44100 + 529200) / 12 : 66150;
}

void Field::settle_blocks() {
  for (int i = 0; i < 3; ++i)
    if (hud.chain_popups[i] && hud.chain_popups[i]->timer == 0) {
      delete hud.chain_popups[i];
      hud.chain_popups[i] = nullptr;
    }

  // Which blocks fall: everything above the first gap of a column, except
  // that blocks may rest on the pair in play.
  for (int c = 0; c < kBoardColumns; ++c) {
    bool falls = false;
    for (int r = kBoardRows - 1; r >= 0; --r) {
      if (!falls) {
        if (r == kBoardRows - 1 || board[r + 1][c])
          falls = false;
        else if (pair.spawn_timer > 0)
          falls = true;
        else
          falls = !pair_holds(r + 1, c);
      }
      Block* b = board[r][c];
      if (!b) continue;
      b->falling = falls;
      if (!falls) {
        b->y = row_top(r);
      } else if (r < kBoardRows - 1) {
        // A falling column stays together.
        const Block* under = board[r + 1][c];
        if (under && under->falling && b->vy > under->vy) b->vy = under->vy;
      }
    }
  }

  for (int r = 0; r < kBoardRows; ++r)
    for (int c = 0; c < kBoardColumns; ++c) clear_groups(r, c);

  const int vanish_frames = level_row()[kVanishFrames];
  for (int r = kBoardRows - 1; r >= 0; --r)
    for (int c = 0; c < kBoardColumns; ++c) {
      Block* b = board[r][c];
      if (!b) continue;
      // At or past: a level-up in between may have shortened the count.
      if (b->vanish >= vanish_frames) {
        delete b;
        board[r][c] = nullptr;
        continue;
      }
      int to = b->row();
      if (to != r && to >= 0 && to < kBoardRows && !board[to][c] && !(pair.spawn_timer == 0 && pair_holds(to, c))) {
        board[to][c] = b;
        board[r][c] = nullptr;
      }
    }

  // Blocks on a quiet stack from the floor up lose their chain number.
  for (int c = 0; c < kBoardColumns; ++c) {
    bool loose = false;
    for (int r = kBoardRows - 1; r >= 0; --r) {
      Block* b = board[r][c];
      if (!b) continue;
      if (!loose && (b->vanish > 0 || b->falling || (r < kBoardRows - 1 && !board[r + 1][c]))) loose = true;
      if (!loose) b->chain = 0;
    }
  }
}

void Field::clear_groups(int row, int column) {
  Block* start = board[row][column];
  cleared_normal.clear();
  cleared_garbage.clear();
  visited.clear();
  if (!start || start->colour == kGarbageColour || start->falling || start->vanish) return;
  Delete_Tree root(start);
  visited.push_back(start);
  cleared_normal.push_back(start);
  find_group(&root);
  const int normal = (int)cleared_normal.size(), garbage = (int)cleared_garbage.size();
  if (normal < settings.clear_count) return;

  counters.cleared = std::min(counters.cleared + normal, 65535);
  int deepest[kBoardColumns] = {};
  int c = 0;
  auto mark = [&](Block* b) {
    b->vanish = 1;
    deepest[b->column()] = std::max(deepest[b->column()], b->row());
    c = std::max(c, (int)b->chain);
  };
  for (Block* b : cleared_normal) mark(b);
  for (Block* b : cleared_garbage) mark(b);

  sounds.break_frequency = break_sound_frequency(c);
  sounds.report(kFieldSoundBreak);

  c += 1;
  int32_t gain = (normal * settings.clear_score + garbage * settings.garbage_score) * c * (c - c / 5);
  counters.score += gain;
  if (link.opponent) {
    // Own garbage is cancelled first; only the rest is sent.
    if (gain <= link.pending_garbage) {
      link.pending_garbage -= gain;
    } else {
      link.opponent->link.pending_garbage += gain - link.pending_garbage;
      link.pending_garbage = 0;
    }
  }
  counters.blocks_to_level -= normal;
  if (counters.blocks_to_level <= 0 && counters.level < 31 && mode != 3) {
    sounds.report(kFieldSoundLevelUp);
    counters.level += 1;
    counters.blocks_to_level += counters.level * 10 + 10;
    settings.colours = counters.level / 8 + 3;
  }
  // The blocks that will fall into the gap carry this chain on.
  for (int r = 0; r < kBoardRows; ++r)
    for (int k = 0; k < kBoardColumns; ++k)
      if (Block* b = board[r][k]; b && r < deepest[k] && b->chain < c) b->chain = c;

  Chein_Count* label = new Chein_Count((int)start->x + 16, (int)start->y, c);
  int slot = 0;
  while (slot < 4 && hud.chain_popups[slot]) ++slot;
  if (slot == 4) {
    delete hud.chain_popups[3];
    for (int i = 3; i > 0; --i) hud.chain_popups[i] = hud.chain_popups[i - 1];
    slot = 0;
  }
  hud.chain_popups[slot] = label;
  counters.max_chain = std::max(counters.max_chain, c);
}

void Field::find_group(Delete_Tree* node) {
  static constexpr int kStep[4][2] = {{-1, 0}, {0, -1}, {1, 0}, {0, 1}};  // up, left, down, right
  const int r = node->block->row(), k = node->block->column();
  for (int d = 0; d < 4; ++d) {
    int nr = r + kStep[d][0], nk = k + kStep[d][1];
    if (nr < 0 || nr >= kBoardRows || nk < 0 || nk >= kBoardColumns) continue;
    Block* next = board[nr][nk];
    if (!next || next->falling || next->vanish) continue;
    if (std::find(visited.begin(), visited.end(), next) != visited.end()) continue;
    visited.push_back(next);
    if (next->colour == node->block->colour) {
      node->child[d] = new Delete_Tree(next);
      cleared_normal.push_back(next);
      find_group(node->child[d]);
    } else if (next->colour == kGarbageColour) {
      // Garbage clears with the group it touches but never links two groups.
      cleared_garbage.push_back(next);
    }
  }
}

void Field::drop_garbage() {
  int p = link.pending_garbage;
  int rows;
  if (p > 5 * kGarbageUnitsPerRow) {
    rows = 5;
    p -= 5 * kGarbageUnitsPerRow;
  } else {
    rows = p / kGarbageUnitsPerRow;
    p %= kGarbageUnitsPerRow;
  }
  link.pending_garbage = p;
  if (rows == 0) return;
  sounds.report(kFieldSoundGarbage);
  for (int n = 0; n < rows; ++n)
    for (int c = 0; c < kBoardColumns; ++c) {
      delete board[0][c];
      for (int r = 0; r < kBoardRows - 1; ++r) {
        board[r][c] = board[r + 1][c];
        if (board[r][c]) board[r][c]->y -= kCellSize;
      }
      // Placed a little high; this frame's settling pass snaps it.
      board[kBoardRows - 1][c] = new Block(origin_x + kCellSize * c, origin_x, 428, kGarbageColour);
    }
}
