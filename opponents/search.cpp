// The placement search: every placement of the current pair (and, at the
// highest level, of the next pair on each board it leaves), each scored by
// placing the pair on a scratch level and measuring the result.
#include <cstring>

#include "opponents/cell_masks.h"
#include "opponents/opponent.h"

namespace {

// Placement p: 0-5 partner above, 6-10 left, 11-16 below, 17-21 right.
struct Placement {
  int axis_column;
  int partner_column;
  int path_row;  // row the partner slides through from column 2
};

struct PlacementTable {
  Placement at[kOpponentPlacements];
  constexpr PlacementTable() : at{} {
    for (int p = 0; p < kOpponentPlacements; ++p) {
      if (p <= 5)
        at[p] = {p, p, 1};
      else if (p <= 10)
        at[p] = {p - 5, p - 6, 2};
      else if (p <= 16)
        at[p] = {p - 11, p - 11, 3};
      else
        at[p] = {p - 17, p - 16, 2};
    }
  }
};
constexpr PlacementTable kPlacements;

const Placement& Decode(int p) { return kPlacements.at[p]; }

}  // namespace

int PlacementAxisColumn(int p) { return Decode(p).axis_column; }
int PlacementPartnerColumn(int p) { return Decode(p).partner_column; }

int32_t Opponent::start_search() {
  best_score = 0;
  best_tie = 0;
  result = 0;
  search_placements(0, -1);
  return result;
}

void Opponent::search_placements(int depth, int first) {
  // Every placement of this depth starts from a copy of the same level.
  LevelFacts facts;
  level_facts(depth, &facts);
  const int32_t danger = facts.danger;
  opponent_masks::SharedDepth shared;
  const bool share = !plain_chain_estimates && clear_count >= 2 &&
                     opponent_masks::BuildLevelMasks(cell_levels[depth], counter_levels[depth], &shared.masks);
  if (share) {
    // Every placement's chain term looks at its level as gravity leaves it,
    // which is this one fallen with the pair on top.
    opponent_masks::LevelMasks fallen = shared.masks;
    opponent_masks::Fall(&fallen);
    opponent_masks::ShareLevel(
        variant->placement_scoring == PlacementScoring::kGroupsFirst ? fallen.Cleared() : fallen.planes, fallen.empty,
        danger > 0 ? depth + 3 : depth + 2, clear_count, &shared.potential);
  }
  for (int p = 0; p < kOpponentPlacements; ++p) {
    // A depth before the last places every pair on its one scratch level;
    // the last depth on a level of each placement's own.
    const int level = depth < search_depth ? depth + 1 : search_depth + p + 1;
    copy_level(level, depth);
    const int32_t s = evaluate_placement(p, level, depth, facts, share ? &shared : nullptr);
    const int root = first == -1 ? p : first;
    if (s >= best_score) {
      // Placements other than "partner above" measure the board before the
      // placement at a depth before the last; the last depth reads the
      // placed board.
      const int t = depth < search_depth && p > 5 ? facts.landing[PlacementAxisColumn(p)]
                                                  : landing_row(level, PlacementAxisColumn(p));
      if (s > best_score) {
        best_score = s;
        if (t > best_tie) best_tie = t;
        result = root;
      } else if (t > best_tie) {
        best_tie = t;
        result = root;
      }
    }
    if (depth < search_depth && s >= 0) search_placements(depth + 1, root);
  }
}

int32_t Opponent::evaluate_placement(int p, int level, int k) {
  LevelFacts facts;
  level_facts(level, &facts);
  return evaluate_placement(p, level, k, facts, nullptr);
}

void Opponent::level_facts(int level, LevelFacts* out) const {
  out->danger = danger_level(level);
  for (int c = 0; c < kOpponentBoardColumns; ++c) {
    out->landing[c] = landing_row(level, c);
    out->counter_max[c] = column_counter_max(level, c);
  }
}

// The placement reads the level before it as the facts give it: a block
// written into an empty cell changes neither the landing row of another
// column nor the largest counter of its own (the cell's counter is written
// after, with that largest counter).
int32_t Opponent::evaluate_placement(int p, int level, int k, const LevelFacts& facts,
                                     opponent_masks::SharedDepth* shared) {
  const int32_t danger = facts.danger;
  const Placement& where = Decode(p);
  const int c = where.axis_column;

  // Both blocks enter around the spawn cell and must slide through free cells.
  auto path_free = [&](int row, int to_column) {
    const int step = to_column > 2 ? 1 : -1;
    for (int column = 2; column != to_column;) {
      column += step;
      if (cell(level, row, column) != kCellEmpty) return false;
    }
    return true;
  };

  if (!path_free(2, c)) return -1;
  const int r = facts.landing[c] - (p >= 11 && p <= 16 ? 1 : 0);
  if (r < 1) return -2;
  cell(level, r, c) = (uint8_t)pairs[k][0];
  counter(level, r, c) = (uint8_t)facts.counter_max[c];
  if (cell(level, 2, 2) != kCellEmpty) return -3;

  const int c2 = where.partner_column;
  int r2;
  if (p <= 5)
    r2 = r - 1;
  else if (p >= 11 && p <= 16)
    r2 = r + 1;
  else
    r2 = facts.landing[c2];
  if (!path_free(where.path_row, c2)) return -4;
  if (r2 < 0) return -5;
  cell(level, r2, c2) = (uint8_t)pairs[k][1];
  counter(level, r2, c2) = (uint8_t)facts.counter_max[c2];
  if (cell(level, 2, 2) != kCellEmpty) return -6;

  // The hold flag is read once, where the chain term needs it.
  int hold_read = -1;
  auto hold = [&] { return read_hold_once(&hold_read); };
  const int minimum = danger > 0 ? k + 3 : k + 2;

  // Where the level holds no group bits, its masks measure the placement.
  // Where nothing falls they come from the masks of the level the depth
  // copies; where something falls, from the level as gravity leaves it
  // (its counters too are read there), which is put back afterwards.
  const int axis = r * kOpponentBoardColumns + c, partner = r2 * kOpponentBoardColumns + c2;
  opponent_masks::LevelMasks masks;
  bool clean;
  if (shared) {
    masks = shared->masks;
    clean = opponent_masks::PutCell(&masks, axis, cell_levels[level][axis], counter_levels[level][axis]) &&
            opponent_masks::PutCell(&masks, partner, cell_levels[level][partner], counter_levels[level][partner]);
  } else {
    clean = !plain_chain_estimates && clear_count >= 2 &&
            opponent_masks::BuildLevelMasks(cell_levels[level], counter_levels[level], &masks);
  }
  if (clean) {
    const bool falls = masks.planes.Unsettled();
    uint8_t before_cells[kOpponentBoardCells];
    uint8_t before_counters[kOpponentBoardCells];
    if (falls) {
      std::memcpy(before_cells, cell_levels[level], kOpponentBoardCells);
      std::memcpy(before_counters, counter_levels[level], kOpponentBoardCells);
      apply_gravity(level, kCellVanishing);
      opponent_masks::BuildLevelMasks(cell_levels[level], counter_levels[level], &masks);
    }
    int32_t score;
    const bool scored = score_on_masks(level, danger, minimum, axis, partner, &masks,
                                       shared ? &shared->potential : nullptr, &hold_read, &score);
    if (falls) {
      std::memcpy(cell_levels[level], before_cells, kOpponentBoardCells);
      std::memcpy(counter_levels[level], before_counters, kOpponentBoardCells);
    }
    if (scored) return score;
  }

  uint8_t saved_cells[kOpponentBoardCells];
  uint8_t saved_counters[kOpponentBoardCells];
  std::memcpy(saved_cells, cell_levels[level], kOpponentBoardCells);
  std::memcpy(saved_counters, counter_levels[level], kOpponentBoardCells);
  apply_gravity(level, kCellVanishing);

  auto chain_term = [&]() -> int32_t {
    if (danger > 0) return hold() ? simulate_chain(level) : chain_potential(level, minimum);
    return chain_potential(level, minimum);
  };

  int32_t score;
  if (variant->placement_scoring == PlacementScoring::kGroupsFirst) {
    const bool refuse = danger <= variant->refusal_danger_max;
    const int g1 = group_size(c, r, level);
    if (refuse && g1 >= clear_count) return -7;
    score = g1;
    clear_group_bits(level);
    const int g2 = group_size(c2, r2, level);
    if (refuse && g2 >= clear_count) return -8;
    score += g2;
    clear_group_bits(level);
    score += 4 * chain_term();
  } else {
    // The chain term runs first, so the group tests see the level as it left
    // it: removed groups marked, or gone with the blocks fallen.
    score = 4 * chain_term();
    const int g1 = group_size(c, r, level);
    if (score < variant->refusal_score_below && g1 >= clear_count) return -7;
    score += g1;
    clear_group_bits(level);
    const int g2 = group_size(c2, r2, level);
    if (score < variant->refusal_score_below && g2 >= clear_count) return -8;
    score += g2;
    clear_group_bits(level);
  }

  std::memcpy(cell_levels[level], saved_cells, kOpponentBoardCells);
  std::memcpy(counter_levels[level], saved_counters, kOpponentBoardCells);
  return score;
}

bool Opponent::read_hold_once(int* read) const {
  if (*read < 0) *read = hold_flag_set() ? 1 : 0;
  return *read == 1;
}

// The group tests and the chain term of a placement on the level's masks
// (the level settled), as evaluate_placement makes them; false where the
// chain term is the simulation of a chain-first opponent, left to the bytes.
bool Opponent::score_on_masks(int level, int32_t danger, int minimum, int axis, int partner,
                              opponent_masks::LevelMasks* masks, opponent_masks::SharedLevel* shared, int* hold_read,
                              int32_t* out) {
  opponent_masks::CellMask removed = 0;
  opponent_masks::PlacedGroups placed;
  opponent_masks::FindPlacedGroups(masks->planes, axis, partner, &placed);
  if (variant->placement_scoring == PlacementScoring::kGroupsFirst) {
    const bool refuse = danger <= variant->refusal_danger_max;
    const int g1 = placed.Measure(0, 0), g2 = placed.Measure(1, 0);
    if (refuse && g1 >= clear_count) return *out = -7, true;
    if (refuse && g2 >= clear_count) return *out = -8, true;
    // A test from a cell whose code with both group bits is the empty code
    // leaves it empty for what follows (its colour has no group, so that
    // changes neither test).
    const int starts[2] = {axis, partner};
    bool emptied[2];
    for (int i = 0; i < 2; ++i) {
      emptied[i] = (cell_levels[level][starts[i]] | kMemberBit | kVisitedBit) == kCellEmpty &&
                   cell_levels[level][starts[i]] != kCellEmpty;
      if (emptied[i]) opponent_masks::PutCell(masks, starts[i], kCellEmpty, 0);
    }
    int32_t term;
    if (danger > 0 && read_hold_once(hold_read)) {
      // The simulation runs on the level as the group tests leave it.
      uint8_t saved_cells[kOpponentBoardCells];
      uint8_t saved_counters[kOpponentBoardCells];
      std::memcpy(saved_cells, cell_levels[level], kOpponentBoardCells);
      std::memcpy(saved_counters, counter_levels[level], kOpponentBoardCells);
      for (int i = 0; i < 2; ++i)
        if (emptied[i]) cell_levels[level][starts[i]] = kCellEmpty;
      clear_group_bits(level);
      term = simulate_chain(level);
      std::memcpy(cell_levels[level], saved_cells, kOpponentBoardCells);
      std::memcpy(counter_levels[level], saved_counters, kOpponentBoardCells);
    } else {
      // The group tests cleared the bits, which made the vanishing cells
      // colourless blocks.
      term = opponent_masks::Saturate(
          opponent_masks::ChainPotential(masks->Cleared(), masks->empty, counter_levels[level], minimum, clear_count,
                                         variant->chain_simulation, shared, &placed, &removed));
    }
    int32_t score = g1;
    score += g2;
    score += 4 * term;
    *out = score;
    return true;
  }
  if (danger > 0 && read_hold_once(hold_read)) return false;
  int32_t score = 4 * opponent_masks::Saturate(opponent_masks::ChainPotential(
                          masks->planes, masks->empty, counter_levels[level], minimum, clear_count,
                          variant->chain_simulation, shared, &placed, &removed));
  // The first group test meets the visited bits the chain potential left on
  // the groups it removed; the second comes after a clear.
  const int g1 = placed.Measure(0, removed), g2 = placed.Measure(1, 0);
  if (score < variant->refusal_score_below && g1 >= clear_count) return *out = -7, true;
  score += g1;
  if (score < variant->refusal_score_below && g2 >= clear_count) return *out = -8, true;
  score += g2;
  *out = score;
  return true;
}
