// One think (snapshot and search) of each opponent at each computer level on
// an empty, a half-full and a nearly full board.
#include <benchmark/benchmark.h>

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

}  // namespace

BENCHMARK_MAIN();
