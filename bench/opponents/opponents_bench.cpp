// One think (snapshot and search) of each opponent at each computer level on
// an empty, a half-full and a nearly full board, and the slowest think over
// many seeded half-full boards.
#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>
#include <vector>

#include "opponents/opponent.h"
#include "opponents/rival1/variant.h"
#include "opponents/rival2/variant.h"
#include "opponents/rival3/variant.h"
#include "opponents/rival4/variant.h"

namespace {

const OpponentVariant* const kVariants[4] = {&kRival1Variant, &kRival2Variant, &kRival3Variant, &kRival4Variant};
const char* const kFill[3] = {"empty", "half", "nearly_full"};

struct Board {
  BlockView views[kOpponentBoardCells] = {};
  const BlockView* cells[kOpponentBoardCells] = {};
  int32_t queue[kOpponentQueuePairs][2] = {{0, 1}, {2, 2}, {3, 0}, {1, 3}, {0, 2}};
  uint8_t hold = 0;
  int32_t pending = 0;

  // A ragged stack of four colours, `height` rows high (column 2 kept below
  // the spawn cell).
  explicit Board(int height) {
    for (int c = 0; c < kOpponentBoardColumns; ++c) {
      int h = height - (c % 2);
      if (c == 2 && h > 10) h = 10;
      for (int k = 0; k < h; ++k) {
        const int i = (13 - k) * kOpponentBoardColumns + c;
        views[i] = {k % 2, (c * 5 + k * 3 + k / 2) % 4, 0};
        cells[i] = &views[i];
      }
    }
  }
};

void BM_Think(benchmark::State& state) {
  const int variant = (int)state.range(0);
  const int level = (int)state.range(1);
  const int fill = (int)state.range(2);
  static const int kHeights[3] = {0, 6, 11};
  Board board(kHeights[fill]);
  static Opponent opponent(nullptr);
  opponent = Opponent(kVariants[variant]);
  opponent.init(level, 4, board.cells, board.queue, &board.hold, &board.pending);
  int32_t decision = 0;
  for (auto _ : state) {
    opponent.think(&decision);
    benchmark::DoNotOptimize(decision);
  }
  state.SetLabel(std::string("rival") + std::to_string(variant + 1) + " level " + std::to_string(level) + " " +
                 kFill[fill]);
}

BENCHMARK(BM_Think)->ArgsProduct({{0, 1, 2, 3}, {0, 1, 2}, {0, 1, 2}})->Unit(benchmark::kMicrosecond);

// A half-full board of its own seed: columns of five to eight rows in four
// colours with runs and a little garbage, some chain counters and some
// pending garbage. At rest, no four blocks of one colour touch, as a board
// the game hands over between moves; crowded, they may.
std::unique_ptr<Board> SeededHalfBoard(uint32_t seed, bool at_rest) {
  auto next = [&](uint32_t n) { return ((seed = seed * 1103515245u + 12345u) >> 8) % n; };
  auto b = std::make_unique<Board>(0);
  auto group = [&](int start) {
    bool seen[kOpponentBoardCells] = {};
    int stack[kOpponentBoardCells], top = 0, size = 0;
    stack[top++] = start;
    seen[start] = true;
    while (top > 0) {
      const int at = stack[--top];
      ++size;
      const int r = at / kOpponentBoardColumns, c = at % kOpponentBoardColumns;
      const int around[4][2] = {{r - 1, c}, {r + 1, c}, {r, c - 1}, {r, c + 1}};
      for (const auto& n : around) {
        if (n[0] < 0 || n[0] >= kOpponentBoardRows || n[1] < 0 || n[1] >= kOpponentBoardColumns) continue;
        const int j = n[0] * kOpponentBoardColumns + n[1];
        if (seen[j] || !b->cells[j] || b->views[j].colour != b->views[start].colour) continue;
        seen[j] = true;
        stack[top++] = j;
      }
    }
    return size;
  };
  for (int c = 0; c < kOpponentBoardColumns; ++c) {
    const int h = 5 + (int)next(4);
    for (int k = 0; k < h; ++k) {
      const int i = (13 - k) * kOpponentBoardColumns + c;
      int32_t colour = next(20) == 0 ? 6 : (int32_t)next(4);
      if (k > 0 && next(3) == 0) colour = b->views[i + kOpponentBoardColumns].colour;
      b->views[i] = {next(6) == 0 ? (int32_t)next(4) : 0, colour, 0};
      b->cells[i] = &b->views[i];
      for (int tries = 0; at_rest && colour < 6 && group(i) >= 4; ++tries) {
        colour = tries < 3 ? (colour + 1) % 4 : 6;
        b->views[i].colour = colour;
      }
    }
  }
  for (auto& pair : b->queue) pair[0] = (int32_t)next(4), pair[1] = (int32_t)next(4);
  b->pending = (int32_t)next(3) * 720;
  return b;
}

double NowMicroseconds() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec * 1e6 + (double)t.tv_nsec / 1e3;
}

// The slowest and the mean think over 200 seeded half-full boards, by
// opponent and level, in wall time (each board's fastest of five
// thinks).
void BM_ThinkWorstHalfFull(benchmark::State& state) {
  const int variant = (int)state.range(0);
  const int level = (int)state.range(1);
  const bool at_rest = state.range(2) == 0;
  std::vector<std::unique_ptr<Board>> boards;
  for (uint32_t seed = 1; seed <= 200; ++seed) boards.push_back(SeededHalfBoard(seed, at_rest));
  static Opponent opponent(nullptr);
  opponent = Opponent(kVariants[variant]);
  // Each board's fastest think over the iterations, so that a think the
  // scheduler interrupted does not count as the board's own.
  std::vector<double> fastest(boards.size(), 1e300);
  for (auto _ : state) {
    for (size_t i = 0; i < boards.size(); ++i) {
      const Board& b = *boards[i];
      opponent.init(level, 4, b.cells, b.queue, &b.hold, &b.pending);
      int32_t decision = 0;
      const double t0 = NowMicroseconds();
      opponent.think(&decision);
      const double us = NowMicroseconds() - t0;
      benchmark::DoNotOptimize(decision);
      if (us < fastest[i]) fastest[i] = us;
    }
  }
  double worst = 0, sum = 0;
  for (double us : fastest) {
    if (us > worst) worst = us;
    sum += us;
  }
  const double thinks = (double)fastest.size();
  state.counters["worst_us"] = worst;
  state.counters["mean_us"] = sum / thinks;
  state.SetLabel(std::string("rival") + std::to_string(variant + 1) + " level " + std::to_string(level) +
                 (at_rest ? " at rest" : " crowded"));
}
BENCHMARK(BM_ThinkWorstHalfFull)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1, 2}, {0, 1}})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
