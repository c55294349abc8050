// One think of an opponent on whatever the game's side holds: every cell's
// chain, colour and vanish counter, the pair queue, the pending garbage, the
// hold flag, the level and the clear count come from the input. The answer
// must be a placement index 0-21, and the same (with the same best score and
// tie value) when the byte-by-byte chain estimates are forced.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "opponents/opponent.h"
#include "opponents/rival1/variant.h"
#include "opponents/rival2/variant.h"
#include "opponents/rival3/variant.h"
#include "opponents/rival4/variant.h"

namespace {

const OpponentVariant* const kVariants[4] = {&kRival1Variant, &kRival2Variant, &kRival3Variant, &kRival4Variant};

struct Reader {
  const uint8_t* data;
  size_t size;
  uint8_t Byte() {
    if (!size) return 0;
    --size;
    return *data++;
  }
  int32_t Int() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | Byte();
    return (int32_t)v;
  }
};

Opponent g_opponent(&kRival1Variant);
Opponent g_plain(&kRival1Variant);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  const uint8_t head = in.Byte();
  // Small clear counts and levels are the interesting ones; wide values
  // still reach init's range checks.
  const int32_t level = (int8_t)in.Byte();
  const int32_t clear = (int8_t)in.Byte();
  int32_t pending = in.Int();
  uint8_t hold = in.Byte();
  // Codes at the edges of the cell codes: no colour, the group bits, the
  // vanishing and empty codes (63 with both group bits is the empty code).
  static const int32_t kEdgeCodes[] = {7, 0x3E, 0x3F, 0x40, 0x7F, 0x80, 0xBF, 0xC0, 0xFE, 0xFF};
  auto colour_from = [&](uint8_t b) -> int32_t {
    if (!(b & 0x80)) return b % 7;
    if (b & 0x40) return kEdgeCodes[(b & 0x3F) % (sizeof kEdgeCodes / sizeof kEdgeCodes[0])];
    return in.Int();
  };
  int32_t queue[kOpponentQueuePairs][2];
  for (auto& pair : queue) {
    // Mostly colours 0-6, sometimes an edge code or any value.
    for (int32_t& colour : pair) colour = colour_from(in.Byte());
  }
  BlockView views[kOpponentBoardCells] = {};
  const BlockView* board[kOpponentBoardCells] = {};
  for (int i = 0; i < kOpponentBoardCells; ++i) {
    const uint8_t kind = in.Byte();
    if (!(kind & 1)) continue;
    views[i].colour = kind & 0x80 ? colour_from(in.Byte()) : (kind >> 1) % 7;
    views[i].chain = kind & 0x40 ? in.Int() : in.Byte() % 4;
    views[i].vanish = kind & 0x20 ? (int8_t)in.Byte() : 0;
    board[i] = &views[i];
  }
  g_opponent = Opponent(kVariants[head & 3]);
  g_opponent.init(level, clear, board, queue, &hold, &pending);
  int32_t decision = -1;
  g_opponent.think(&decision);
  if (decision < 0 || decision >= kOpponentPlacements) std::abort();
  g_plain = Opponent(kVariants[head & 3]);
  g_plain.plain_chain_estimates = true;
  g_plain.init(level, clear, board, queue, &hold, &pending);
  int32_t plain_decision = -1;
  g_plain.think(&plain_decision);
  if (plain_decision != decision || g_plain.best_score != g_opponent.best_score ||
      g_plain.best_tie != g_opponent.best_tie)
    std::abort();
  return 0;
}
