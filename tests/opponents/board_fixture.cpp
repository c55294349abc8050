#include "tests/opponents/board_fixture.h"

#include <gtest/gtest.h>

std::unique_ptr<Opponent> MakeOpponent(const OpponentVariant& variant, int clear_count, int pending) {
  auto o = std::make_unique<Opponent>(&variant);
  o->clear_count = clear_count;
  o->pending_copy = pending;
  o->search_depth = 0;
  SetPairs(*o, 0, 1);
  for (int level = 0; level < Opponent::kLevels; ++level) LoadLevel(*o, level, {});
  return o;
}

void SetPairs(Opponent& o, int a, int b, int next_a, int next_b) {
  o.pairs[0][0] = a;
  o.pairs[0][1] = b;
  o.pairs[1][0] = next_a;
  o.pairs[1][1] = next_b;
}

void LoadLevel(Opponent& o, int level, const std::vector<std::string>& rows, const std::vector<std::string>& counters) {
  const int first = kOpponentBoardRows - (int)rows.size();
  for (int r = 0; r < kOpponentBoardRows; ++r) {
    for (int c = 0; c < kOpponentBoardColumns; ++c) {
      uint8_t code = kCellEmpty;
      if (r >= first) {
        const std::string& row = rows[r - first];
        EXPECT_EQ(row.size(), (size_t)kOpponentBoardColumns) << "fixture row " << r;
        const char ch = c < (int)row.size() ? row[c] : '.';
        if (ch >= '0' && ch <= '5') code = (uint8_t)(ch - '0');
        else if (ch == 'G') code = kCellGarbage;
        else if (ch == 'V') code = kCellVanishing;
      }
      o.cell(level, r, c) = code;
      o.counter(level, r, c) = 0;
    }
  }
  const int counter_first = kOpponentBoardRows - (int)counters.size();
  for (int r = counter_first; r < kOpponentBoardRows; ++r)
    for (int c = 0; c < kOpponentBoardColumns; ++c) {
      const char ch = counters[r - counter_first][c];
      o.counter(level, r, c) = ch >= '0' && ch <= '9' ? (uint8_t)(ch - '0') : 0;
    }
}

std::string LevelText(const Opponent& o, int level) {
  std::string text;
  for (int r = 0; r < kOpponentBoardRows; ++r) {
    for (int c = 0; c < kOpponentBoardColumns; ++c) {
      const uint8_t code = o.cell_levels[level][r * kOpponentBoardColumns + c];
      if (code == kCellEmpty) {
        text += "..";
        continue;
      }
      if (code == kCellVanishing) {
        text += "V ";
        continue;
      }
      const uint8_t colour = code & kColourMask;
      text += colour == kCellGarbage ? 'G' : colour < 6 ? (char)('0' + colour) : '?';
      const uint8_t bits = code & (kMemberBit | kVisitedBit);
      text += bits == 0 ? ' ' : bits == kMemberBit ? 'm' : bits == kVisitedBit ? 'v' : 'b';
    }
    text += '\n';
  }
  return text;
}

std::vector<int> PlacementScores(Opponent& o) {
  std::vector<int> scores;
  for (int p = 0; p < kOpponentPlacements; ++p) {
    o.copy_level(1, 0);
    scores.push_back(o.evaluate_placement(p, 1, 0));
  }
  return scores;
}
