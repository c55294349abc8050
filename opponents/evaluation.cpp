// Measuring operations on one board level: group size with its group bits,
// gravity, landing rows, danger, and the two chain estimates. Each works in
// place on the level it is given and touches no other level.
#include <cstring>

#include "opponents/opponent.h"

namespace {

// Chain values saturate here so that a board of absurd chain counters can
// never overflow the 32-bit scores (4 x term + two group sizes).
constexpr int64_t kChainValueCap = INT32_MAX / 8;

int32_t Saturate(int64_t v) { return v > kChainValueCap ? (int32_t)kChainValueCap : (int32_t)v; }

}  // namespace

int Opponent::group_size(int column, int row, int level) {
  cell(level, row, column) |= kMemberBit | kVisitedBit;
  int count = 1;
  flood_group(column, row, level, &count);
  return count;
}

void Opponent::flood_group(int column, int row, int level, int* count) {
  const uint8_t colour = cell(level, row, column) & kColourMask;
  if (colour >= kCellGarbage) return;
  static constexpr int kSteps[4][2] = {{-1, 0}, {0, -1}, {1, 0}, {0, 1}};  // up, left, down, right
  for (const auto& step : kSteps) {
    const int r = row + step[0];
    const int c = column + step[1];
    if (r < 0 || r >= kOpponentBoardRows || c < 0 || c >= kOpponentBoardColumns) continue;
    uint8_t& code = cell(level, r, c);
    if (code & (kMemberBit | kVisitedBit)) continue;
    code |= kVisitedBit;
    const uint8_t neighbour = code & kColourMask;
    if (neighbour == colour) {
      ++*count;
      code |= kMemberBit;
      flood_group(c, r, level, count);
    } else if (neighbour == kCellGarbage) {
      ++*count;
      code |= kMemberBit;
    }
  }
}

void Opponent::clear_group_bits(int level) {
  for (uint8_t& code : cell_levels[level])
    if (code != kCellEmpty) code &= kColourMask;
}

void Opponent::apply_gravity(int level, uint8_t threshold) {
  for (int column = 0; column < kOpponentBoardColumns; ++column) {
    int hole = -1;
    for (int row = kOpponentBoardRows - 1; row >= 0; --row) {
      const uint8_t code = cell(level, row, column);
      if (hole < 0) {
        if (code >= threshold) hole = row;
      } else if (code < threshold) {
        cell(level, hole, column) = code;
        counter(level, hole, column) = counter(level, row, column);
        cell(level, row, column) = kCellEmpty;
        counter(level, row, column) = 0;
        --hole;
      }
    }
  }
}

int Opponent::landing_row(int level, int column) const {
  int row = 0;
  for (int r = 1; r < kOpponentBoardRows; ++r) {
    if (cell_levels[level][r * kOpponentBoardColumns + column] != kCellEmpty) break;
    row = r;
  }
  return row;
}

int Opponent::column_counter_max(int level, int column) const {
  int most = 0;
  for (int r = 0; r < kOpponentBoardRows; ++r) {
    const int v = counter_levels[level][r * kOpponentBoardColumns + column];
    if (v > most) most = v;
  }
  return most;
}

int32_t Opponent::danger_level(int level) const {
  const int32_t pending = pending_copy;
  if (variant->danger_rule == DangerRule::kCapped && pending >= 1080) return 8;
  int32_t t = pending / 720;
  if (t > 5) t = 5;
  const int32_t inner = variant->danger_rule == DangerRule::kCapped ? 3 : 4;
  const int32_t margins[4] = {t + 2, t + inner, t + inner, t + 2};
  int32_t danger = 0;
  for (int column = 1; column <= 4; ++column) {
    const int32_t v = margins[column - 1] - landing_row(level, column);
    if (v > danger) danger = v;
  }
  return danger;
}

int32_t Opponent::chain_potential(int level, int minimum) {
  uint8_t saved_cells[kOpponentBoardCells];
  uint8_t saved_counters[kOpponentBoardCells];
  std::memcpy(saved_cells, cell_levels[level], kOpponentBoardCells);
  std::memcpy(saved_counters, counter_levels[level], kOpponentBoardCells);
  uint8_t* cells = cell_levels[level];
  int64_t total = 0;
  for (int i = 0; i < kOpponentBoardRows; ++i) {
    for (int j = 0; j < kOpponentBoardColumns; ++j) {
      auto at = [&](int r, int c) { return cells[r * kOpponentBoardColumns + c]; };
      const bool exposed =
          (i >= 1 && at(i - 1, j) == kCellEmpty) ||
          (j >= 1 && at(i, j - 1) == kCellEmpty && (i >= 12 || at(i + 1, j - 1) != kCellEmpty)) ||
          (j <= 4 && at(i, j + 1) == kCellEmpty && (i >= 12 || at(i + 1, j + 1) != kCellEmpty));
      if (exposed && group_size(j, i, level) >= minimum) {
        // Remove the group and remember it in the saved copy, so that no
        // later test reaches its cells again.
        for (int k = 0; k < kOpponentBoardCells; ++k) {
          if (cells[k] == kCellEmpty) continue;
          if (cells[k] & kMemberBit) {
            cells[k] = kCellEmpty;
            saved_cells[k] |= kVisitedBit;
          } else {
            cells[k] &= kColourMask;
          }
        }
        total += simulate_chain(level);
      }
      std::memcpy(cell_levels[level], saved_cells, kOpponentBoardCells);
      std::memcpy(counter_levels[level], saved_counters, kOpponentBoardCells);
    }
  }
  return Saturate(total);
}

int32_t Opponent::simulate_chain(int level) {
  uint8_t* cells = cell_levels[level];
  uint8_t* counters = counter_levels[level];
  int64_t b = 1;
  int64_t total = 0;
  int64_t sum;
  // Member bits are never cleared, so with a clear count of 2 or more the
  // second pass finds every block counted; the pass bound only guards that.
  int passes = 0;
  do {
    sum = 0;
    apply_gravity(level, kCellVanishing);
    for (int i = 0; i < kOpponentBoardRows; ++i) {
      for (int j = 0; j < kOpponentBoardColumns; ++j) {
        const int g = group_size(j, i, level);
        if (g >= clear_count) {
          const int start = i * kOpponentBoardColumns + j;
          for (int column = 0; column < kOpponentBoardColumns; ++column) {
            for (int row = kOpponentBoardRows - 1; row >= 0; --row) {
              const int k = row * kOpponentBoardColumns + column;
              // Counted by this test: the start cell, and the cells that
              // carry both bits (member bits of earlier tests stay, their
              // visited bits are gone).
              const bool counted = k == start || ((cells[k] & (kMemberBit | kVisitedBit)) == (kMemberBit | kVisitedBit) &&
                                                  (cells[k] & kColourMask) <= kCellGarbage);
              if (counted) {
                cells[k] = kCellEmpty;
                if (counters[k] > b) b = counters[k] + 1;
              }
              if (cells[k] != kCellEmpty && counters[k] > b) counters[k] = (uint8_t)b;
            }
          }
          sum += (int64_t)g * b * b;
        }
        for (uint8_t& code : cell_levels[level])
          if (code != kCellEmpty) code &= (uint8_t)~kVisitedBit;
      }
    }
    total += sum;
  } while (sum > 0 && ++passes < kOpponentBoardCells);
  if (variant->chain_simulation == ChainSimulation::kSquaredCounter) return Saturate(b * b);
  return Saturate(total);
}

void Opponent::copy_level(int destination, int source) {
  std::memcpy(cell_levels[destination], cell_levels[source], kOpponentBoardCells);
  std::memcpy(counter_levels[destination], counter_levels[source], kOpponentBoardCells);
}
