// Measuring operations on one board level: group size with its group bits,
// gravity, landing rows, danger, and the two chain estimates. Each works in
// place on the level it is given and touches no other level.
#include <cstring>

#include "opponents/cell_masks.h"
#include "opponents/opponent.h"

namespace {

using opponent_masks::CellMask;
using opponent_masks::CodesAtLeast;
using opponent_masks::ExposedCells;
using opponent_masks::kAllCells;
using opponent_masks::LowestCell;
using opponent_masks::Saturate;

// Bits 0-5: the columns in which some block stands above a hole.
unsigned UnsettledColumns(const uint8_t* cells, uint8_t threshold) {
  const CellMask holes = CodesAtLeast(cells, threshold);
  // Every cell below a block of its column, then those of them that are holes.
  const CellMask below = opponent_masks::AtOrBelow((~holes & kAllCells) << kOpponentBoardColumns);
  return opponent_masks::ColumnsOf(below & holes & kAllCells);
}

}  // namespace

int Opponent::group_size(int column, int row, int level) {
  return flood_group<true>(level, row * kOpponentBoardColumns + column, nullptr);
}

namespace {

// The neighbours of each cell in the order a flood examines them (up, left,
// down, right), -1 past the board's edge.
struct NeighbourTable {
  int8_t at[kOpponentBoardCells][4];
  constexpr NeighbourTable() : at{} {
    constexpr int kSteps[4][2] = {{-1, 0}, {0, -1}, {1, 0}, {0, 1}};
    for (int i = 0; i < kOpponentBoardCells; ++i)
      for (int s = 0; s < 4; ++s) {
        const int r = i / kOpponentBoardColumns + kSteps[s][0], c = i % kOpponentBoardColumns + kSteps[s][1];
        const bool inside = r >= 0 && r < kOpponentBoardRows && c >= 0 && c < kOpponentBoardColumns;
        at[i][s] = (int8_t)(inside ? r * kOpponentBoardColumns + c : -1);
      }
  }
};
constexpr NeighbourTable kNeighbours;

}  // namespace

// The start cell takes both bits; from a colour cell the flood examines the
// neighbours that carry neither bit, marks each visited, and takes in (member
// bit, counted) those of the same colour, which it spreads from, and garbage,
// which it does not. The cells it reaches do not depend on the order it
// examines them in, so a stack serves in place of recursion. A neighbour it
// does not take keeps its visited bit only with kMarkRejected: inside one
// flood that bit changes nothing, and the chain estimates take every visited
// bit off again after each test.
template <bool kMarkRejected>
[[gnu::always_inline]] inline int Opponent::flood_group(int level, int start, FloodTrace* trace) {
  uint8_t* cells = cell_levels[level];
  cells[start] |= kMemberBit | kVisitedBit;
  if (trace) trace->cell[trace->count++] = (uint8_t)start;
  const uint8_t colour = cells[start] & kColourMask;
  if (colour >= kCellGarbage) return 1;
  int count = 1;
  uint8_t stack[kOpponentBoardCells];
  int top = 0;
  stack[top++] = (uint8_t)start;
  while (top > 0) {
    const int at = stack[--top];
    for (const int8_t n : kNeighbours.at[at]) {
      if (n < 0) continue;
      uint8_t& code = cells[n];
      if (code & (kMemberBit | kVisitedBit)) continue;
      const uint8_t neighbour = code & kColourMask;
      const bool same = neighbour == colour;
      if (!same && neighbour != kCellGarbage) {
        if constexpr (kMarkRejected) {
          code |= kVisitedBit;
          if (trace) trace->cell[trace->count++] = (uint8_t)n;
        }
        continue;
      }
      ++count;
      code |= kMemberBit | kVisitedBit;
      if (trace) trace->cell[trace->count++] = (uint8_t)n;
      if (same) stack[top++] = (uint8_t)n;
    }
  }
  return count;
}

void Opponent::clear_group_bits(int level) {
  // An empty cell keeps its code; every other loses both bits.
  for (uint8_t& code : cell_levels[level]) code &= code == kCellEmpty ? 0xFF : kColourMask;
}

void Opponent::apply_gravity(int level, uint8_t threshold) {
  // A column whose blocks all lie below its holes stays as it is.
  const unsigned columns = UnsettledColumns(cell_levels[level], threshold);
  for (int column = 0; column < kOpponentBoardColumns; ++column) {
    if (!(columns >> column & 1)) continue;
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

// A level without group bits is measured on its masks (cell_masks.h).
int32_t Opponent::chain_potential(int level, int minimum) {
  uint8_t* cells = cell_levels[level];
  opponent_masks::LevelMasks masks;
  if (plain_chain_estimates || minimum < 2 || clear_count < 2 ||
      !opponent_masks::BuildLevelMasks(cells, counter_levels[level], &masks))
    return chain_potential_plain(level, minimum);
  CellMask removed;
  const int64_t total =
      opponent_masks::ChainPotential(masks.planes, masks.empty, counter_levels[level], minimum, clear_count,
                                     variant->chain_simulation, nullptr, nullptr, &removed);
  for (; removed != 0; removed &= removed - 1) cells[LowestCell(removed)] |= kVisitedBit;
  return Saturate(total);
}

int32_t Opponent::chain_potential_plain(int level, int minimum) {
  uint8_t saved_cells[kOpponentBoardCells];
  uint8_t saved_counters[kOpponentBoardCells];
  std::memcpy(saved_cells, cell_levels[level], kOpponentBoardCells);
  std::memcpy(saved_counters, counter_levels[level], kOpponentBoardCells);
  uint8_t* cells = cell_levels[level];
  int64_t total = 0;
  FloodTrace trace;
  // Each test starts from the saved level, and one that removes nothing
  // leaves it as it found it. So a test is left out where its outcome is
  // known: from a cell of no colour (a group of one), and from a free cell
  // of a group already measured below the minimum since the saved level
  // last changed (the same group, the same garbage beside it).
  CellMask measured = 0;
  CellMask exposed = ExposedCells(CodesAtLeast(cells, kCellEmpty));
  while (exposed != 0) {
    const int start = LowestCell(exposed);
    exposed &= exposed - 1;
    const uint8_t code = cells[start];
    if (minimum > 1 && ((code & kColourMask) >= kCellGarbage || (measured >> start & 1))) continue;
    trace.count = 0;
    if (flood_group<false>(level, start, &trace) < minimum) {
      const bool free = (code & (kMemberBit | kVisitedBit)) == 0;
      for (int t = 0; t < trace.count; ++t) {
        const int k = trace.cell[t];
        if (free && (cells[k] & kColourMask) == code) measured |= (CellMask)1 << k;
        cells[k] = saved_cells[k];
      }
      continue;
    }
    // Remove the group and remember it in the saved copy, so that no
    // later test reaches its cells again. (An empty cell carries the
    // member bit and stays as it is.)
    for (int k = 0; k < kOpponentBoardCells; ++k) {
      const uint8_t member = cells[k] & kMemberBit;
      saved_cells[k] |= (uint8_t)(member << 1);
      cells[k] = member ? kCellEmpty : cells[k] & kColourMask;
    }
    total += simulate_chain(level);
    std::memcpy(cell_levels[level], saved_cells, kOpponentBoardCells);
    std::memcpy(counter_levels[level], saved_counters, kOpponentBoardCells);
    measured = 0;
    // The saved level changed: the cells after this one, exposed on it.
    exposed = ExposedCells(CodesAtLeast(cells, kCellEmpty)) & ~(((CellMask)2 << start) - 1);
  }
  return Saturate(total);
}

// The first removal of a chain pass after its first test, as the pass's
// scan of the whole level would make it: the counted cells are the ones the
// test took (the start and its group, the only cells with both bits). In
// column order, bottom row first, each counted cell lifts b past a counter
// above it and is emptied, and every cell left standing gets no counter
// above the b reached before it. b is at least 1, so only the cells with a
// counter above 1 need a look.
void Opponent::remove_first_group(int level, const FloodTrace& trace, int64_t* b) {
  uint8_t* cells = cell_levels[level];
  uint8_t* counters = counter_levels[level];
  auto order = [](int k) {
    return (k % kOpponentBoardColumns) * kOpponentBoardRows + (kOpponentBoardRows - 1 - k / kOpponentBoardColumns);
  };
  int counted[kOpponentBoardCells], n = 0;
  CellMask counted_cells = 0;
  for (int t = 0; t < trace.count; ++t) {
    const int k = trace.cell[t];
    int at = n++;
    for (; at > 0 && order(counted[at - 1]) > order(k); --at) counted[at] = counted[at - 1];
    counted[at] = k;
    counted_cells |= (CellMask)1 << k;
  }
  const int64_t b_start = *b;
  int64_t reached[kOpponentBoardCells];  // b after each counted cell
  for (int i = 0; i < n; ++i) {
    if (counters[counted[i]] > *b) *b = counters[counted[i]] + 1;
    reached[i] = *b;
  }
  for (CellMask high = CodesAtLeast(counters, 2) & ~counted_cells; high != 0; high &= high - 1) {
    const int k = LowestCell(high);
    if (cells[k] == kCellEmpty) continue;
    int64_t cap = b_start;
    for (int i = 0; i < n && order(counted[i]) < order(k); ++i) cap = reached[i];
    if (counters[k] > cap) counters[k] = (uint8_t)cap;
  }
  for (int i = 0; i < n; ++i) cells[counted[i]] = kCellEmpty;
}

// One pass over the level after gravity: a test from every cell in row-major
// order, each removing its group when it reaches the clear count. Every test
// leaves its start cell with the member bit and no pass takes member bits
// off, so a second pass would find every block taken and remove nothing: all
// that is left of it is its gravity.
int32_t Opponent::simulate_chain(int level) {
  uint8_t* cells = cell_levels[level];
  uint8_t* counters = counter_levels[level];
  int64_t b = 1;
  int64_t total = 0;
  apply_gravity(level, kCellVanishing);
  // Cells taken into a group by a test after the first. Their neighbours of
  // their colour and the garbage beside them were taken with them, so a
  // test from such a cell would find a group of one and leave the level as
  // it was; an empty cell likewise. Only the first test can meet visited
  // bits the level came in with, so its groups are not skipped.
  bool taken[kOpponentBoardCells] = {};
  bool removed = false;
  FloodTrace trace;
  for (int start = 0; start < kOpponentBoardCells; ++start) {
    if (start > 0 && (taken[start] || cells[start] == kCellEmpty)) continue;
    trace.count = 0;
    const int g = flood_group<false>(level, start, &trace);
    if (g >= clear_count) {
      if (!removed && start > 0) {
        remove_first_group(level, trace, &b);
        removed = true;
      } else if (!removed) {
        for (int column = 0; column < kOpponentBoardColumns; ++column) {
          for (int row = kOpponentBoardRows - 1; row >= 0; --row) {
            const int k = row * kOpponentBoardColumns + column;
            // Counted by this test: the start cell, and the cells that carry
            // both bits (member bits of earlier tests stay, their visited
            // bits are gone).
            const bool counted = k == start || ((cells[k] & (kMemberBit | kVisitedBit)) == (kMemberBit | kVisitedBit) &&
                                                (cells[k] & kColourMask) <= kCellGarbage);
            if (counted) {
              cells[k] = kCellEmpty;
              if (counters[k] > b) b = counters[k] + 1;
            }
            if (cells[k] != kCellEmpty && counters[k] > b) counters[k] = (uint8_t)b;
          }
        }
        removed = true;
      } else {
        // The first removal left no counter above b, so b stays and no
        // counter changes: only the counted cells (the start and the cells
        // this test took in) go.
        for (int t = 0; t < trace.count; ++t)
          if ((cells[trace.cell[t]] & kMemberBit) && (cells[trace.cell[t]] & kColourMask) <= kCellGarbage)
            cells[trace.cell[t]] = kCellEmpty;
        cells[start] = kCellEmpty;
      }
      total += (int64_t)g * b * b;
    }
    // Visited bits go after every test. The first sweep takes them off the
    // whole level (and turns vanishing cells into colourless blocks); after
    // it only the cells this test reached carry one.
    if (start == 0) {
      for (uint8_t& code : cell_levels[level]) code &= code == kCellEmpty ? 0xFF : (uint8_t)~kVisitedBit;
      continue;
    }
    for (int t = 0; t < trace.count; ++t) {
      uint8_t& code = cells[trace.cell[t]];
      if (code == kCellEmpty) continue;
      code &= (uint8_t)~kVisitedBit;
      if (code & kMemberBit) taken[trace.cell[t]] = true;
    }
  }
  if (removed) apply_gravity(level, kCellVanishing);
  if (variant->chain_simulation == ChainSimulation::kSquaredCounter) return Saturate(b * b);
  return Saturate(total);
}

void Opponent::copy_level(int destination, int source) {
  std::memcpy(cell_levels[destination], cell_levels[source], kOpponentBoardCells);
  std::memcpy(counter_levels[destination], counter_levels[source], kOpponentBoardCells);
}
