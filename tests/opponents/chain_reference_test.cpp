// The chain estimates against a plain model of them: every test a full flood
// with its visited bits swept off the whole level, every pass of the chain
// simulation run to the end, every chain-potential test followed by a copy
// back of the saved level. Over seeded random levels, with the bits, the
// vanishing cells, the odd colour codes and the chain counters a level can
// hold, the value and the whole level left behind (cells and counters) must
// be the same.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>

#include "tests/opponents/board_fixture.h"

namespace {

// ---- the model ---------------------------------------------------------------
struct Model {
  uint8_t cells[kOpponentBoardCells];
  uint8_t counters[kOpponentBoardCells];
  int clear_count;
  ChainSimulation rule;

  uint8_t& at(int r, int c) { return cells[r * kOpponentBoardColumns + c]; }

  void flood(int column, int row, int* count) {
    const uint8_t colour = at(row, column) & kColourMask;
    if (colour >= kCellGarbage) return;
    static constexpr int kSteps[4][2] = {{-1, 0}, {0, -1}, {1, 0}, {0, 1}};
    for (const auto& step : kSteps) {
      const int r = row + step[0], c = column + step[1];
      if (r < 0 || r >= kOpponentBoardRows || c < 0 || c >= kOpponentBoardColumns) continue;
      uint8_t& code = at(r, c);
      if (code & (kMemberBit | kVisitedBit)) continue;
      code |= kVisitedBit;
      const uint8_t neighbour = code & kColourMask;
      if (neighbour == colour) {
        ++*count;
        code |= kMemberBit;
        flood(c, r, count);
      } else if (neighbour == kCellGarbage) {
        ++*count;
        code |= kMemberBit;
      }
    }
  }
  int group(int column, int row) {
    at(row, column) |= kMemberBit | kVisitedBit;
    int count = 1;
    flood(column, row, &count);
    return count;
  }
  void gravity() {
    for (int column = 0; column < kOpponentBoardColumns; ++column) {
      int hole = -1;
      for (int row = kOpponentBoardRows - 1; row >= 0; --row) {
        const int k = row * kOpponentBoardColumns + column;
        if (hole < 0) {
          if (cells[k] >= kCellVanishing) hole = row;
        } else if (cells[k] < kCellVanishing) {
          const int h = hole * kOpponentBoardColumns + column;
          cells[h] = cells[k];
          counters[h] = counters[k];
          cells[k] = kCellEmpty;
          counters[k] = 0;
          --hole;
        }
      }
    }
  }
  int64_t simulate() {
    int64_t b = 1, total = 0, sum;
    int passes = 0;
    do {
      sum = 0;
      gravity();
      for (int i = 0; i < kOpponentBoardRows; ++i)
        for (int j = 0; j < kOpponentBoardColumns; ++j) {
          const int g = group(j, i);
          if (g >= clear_count) {
            const int start = i * kOpponentBoardColumns + j;
            for (int column = 0; column < kOpponentBoardColumns; ++column)
              for (int row = kOpponentBoardRows - 1; row >= 0; --row) {
                const int k = row * kOpponentBoardColumns + column;
                const bool counted = k == start || ((cells[k] & (kMemberBit | kVisitedBit)) == (kMemberBit | kVisitedBit) &&
                                                    (cells[k] & kColourMask) <= kCellGarbage);
                if (counted) {
                  cells[k] = kCellEmpty;
                  if (counters[k] > b) b = counters[k] + 1;
                }
                if (cells[k] != kCellEmpty && counters[k] > b) counters[k] = (uint8_t)b;
              }
            sum += (int64_t)g * b * b;
          }
          for (uint8_t& code : cells)
            if (code != kCellEmpty) code &= (uint8_t)~kVisitedBit;
        }
      total += sum;
    } while (sum > 0 && ++passes < kOpponentBoardCells);
    const int64_t value = rule == ChainSimulation::kSquaredCounter ? b * b : total;
    return value > INT32_MAX / 8 ? INT32_MAX / 8 : value;
  }
  int64_t potential(int minimum) {
    uint8_t saved_cells[kOpponentBoardCells], saved_counters[kOpponentBoardCells];
    std::memcpy(saved_cells, cells, sizeof cells);
    std::memcpy(saved_counters, counters, sizeof counters);
    int64_t total = 0;
    for (int i = 0; i < kOpponentBoardRows; ++i)
      for (int j = 0; j < kOpponentBoardColumns; ++j) {
        const bool exposed = (i >= 1 && at(i - 1, j) == kCellEmpty) ||
                             (j >= 1 && at(i, j - 1) == kCellEmpty && (i >= 12 || at(i + 1, j - 1) != kCellEmpty)) ||
                             (j <= 4 && at(i, j + 1) == kCellEmpty && (i >= 12 || at(i + 1, j + 1) != kCellEmpty));
        if (exposed && group(j, i) >= minimum) {
          for (int k = 0; k < kOpponentBoardCells; ++k) {
            if (cells[k] == kCellEmpty) continue;
            if (cells[k] & kMemberBit) {
              cells[k] = kCellEmpty;
              saved_cells[k] |= kVisitedBit;
            } else {
              cells[k] &= kColourMask;
            }
          }
          total += simulate();
        }
        std::memcpy(cells, saved_cells, sizeof cells);
        std::memcpy(counters, saved_counters, sizeof counters);
      }
    return total > INT32_MAX / 8 ? INT32_MAX / 8 : total;
  }
};

// ---- random levels --------------------------------------------------------------
// Columns of random heights with runs of a colour, some garbage, some
// vanishing cells, holes, chain counters; on some levels stray bits and odd
// colour codes as well.
void RandomLevel(std::mt19937& rng, uint8_t* cells, uint8_t* counters) {
  const bool odd = rng() % 4 == 0;
  const int colours = 3 + (int)(rng() % 3);
  for (int c = 0; c < kOpponentBoardColumns; ++c) {
    const int height = (int)(rng() % 13);
    for (int r = 0; r < kOpponentBoardRows; ++r) {
      const int k = r * kOpponentBoardColumns + c;
      counters[k] = rng() % 4 == 0 ? (uint8_t)(rng() % 10) : 0;
      if (r < kOpponentBoardRows - height || rng() % 15 == 0) {
        cells[k] = kCellEmpty;
        continue;
      }
      const int roll = (int)(rng() % 30);
      uint8_t code = roll == 0 ? kCellVanishing : roll < 3 ? kCellGarbage : (uint8_t)(rng() % colours);
      if (roll >= 3 && roll < 15 && r + 1 < kOpponentBoardRows && cells[k + kOpponentBoardColumns] < kCellGarbage)
        code = cells[k + kOpponentBoardColumns] & kColourMask;
      if (odd && rng() % 8 == 0) code = (uint8_t)(rng() % 8 == 0 ? 0x3F : (rng() & 0xFF));
      if (odd && code != kCellEmpty && rng() % 10 == 0) code |= rng() % 2 ? kMemberBit : kVisitedBit;
      cells[k] = code;
    }
  }
}

TEST(OpponentChainEstimates, MatchAPlainModelOverSeededLevels) {
  const uint32_t seed = 20261214;
  std::printf("chain estimates against the model, seed %u\n", seed);
  std::mt19937 rng(seed);
  for (int n = 0; n < 1500; ++n) {
    const NamedVariant& v = kAllVariants[n % 4];
    const int clear = 2 + (int)(rng() % 4);
    auto o = MakeOpponent(*v.variant, clear);
    Model m{};
    m.clear_count = clear;
    m.rule = v.variant->chain_simulation;
    RandomLevel(rng, m.cells, m.counters);
    std::memcpy(o->cell_levels[3], m.cells, kOpponentBoardCells);
    std::memcpy(o->counter_levels[3], m.counters, kOpponentBoardCells);
    const bool potential = n % 2 == 1;
    const int minimum = 2 + (int)(rng() % 3);
    SCOPED_TRACE(testing::Message() << "level " << n << ", " << v.name << ", clear count " << clear
                                    << (potential ? ", chain potential" : ", chain simulation"));
    const int64_t expected = potential ? m.potential(minimum) : m.simulate();
    const int32_t actual = potential ? o->chain_potential(3, minimum) : o->simulate_chain(3);
    ASSERT_EQ(actual, expected);
    ASSERT_EQ(0, std::memcmp(o->cell_levels[3], m.cells, kOpponentBoardCells)) << LevelText(*o, 3);
    ASSERT_EQ(0, std::memcmp(o->counter_levels[3], m.counters, kOpponentBoardCells));
  }
}

}  // namespace
