// Measuring operations on one board level: group size with its group bits,
// gravity, landing rows, danger, and the two chain estimates. Each works in
// place on the level it is given and touches no other level.
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "opponents/opponent.h"

namespace {

using CellMask = unsigned __int128;  // bit i: cell i of a level, row-major
constexpr CellMask kAllCells = ((CellMask)1 << kOpponentBoardCells) - 1;

int LowestCell(CellMask m) {
  const uint64_t low = (uint64_t)m;
  return low ? __builtin_ctzll(low) : 64 + __builtin_ctzll((uint64_t)(m >> 64));
}

// The cells whose code is at least `threshold`.
CellMask CodesAtLeast(const uint8_t* cells, uint8_t threshold) {
  CellMask m = 0;
#if defined(__SSE2__)
  const __m128i t = _mm_set1_epi8((char)threshold);
  auto bits = [&](int at) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cells + at));
    return (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, t), v));
  };
  static_assert(kOpponentBoardCells == 84, "five vectors and an overlapping sixth");
  for (int at = 0; at < 80; at += 16) m |= (CellMask)bits(at) << at;
  m |= (CellMask)(bits(68) >> 12) << 80;
#else
  for (int i = 0; i < kOpponentBoardCells; ++i) m |= (CellMask)(cells[i] >= threshold) << i;
#endif
  return m;
}

constexpr CellMask kColumn0 = [] {
  CellMask m = 0;
  for (int r = 0; r < kOpponentBoardRows; ++r) m |= (CellMask)1 << (r * kOpponentBoardColumns);
  return m;
}();
constexpr CellMask kColumn5 = kColumn0 << (kOpponentBoardColumns - 1);

// The cells a chain-potential test starts from: below an empty cell, or
// beside one (left or right) whose own cell below is not empty (or that lies
// in one of the two bottom rows).
CellMask ExposedCells(const uint8_t* cells) {
  constexpr CellMask kBottomRows = kAllCells & ~(((CellMask)1 << (12 * kOpponentBoardColumns)) - 1);
  const CellMask empty = CodesAtLeast(cells, kCellEmpty);
  const CellMask filled = ~empty & kAllCells;
  const CellMask above = empty << kOpponentBoardColumns;
  const CellMask left = (empty << 1) & ~kColumn0 & ((filled >> (kOpponentBoardColumns - 1)) | kBottomRows);
  const CellMask right = (empty >> 1) & ~kColumn5 & ((filled >> (kOpponentBoardColumns + 1)) | kBottomRows);
  return (above | left | right) & kAllCells;
}

// Bits 0-5: the columns in which some block stands above a hole.
unsigned UnsettledColumns(const uint8_t* cells, uint8_t threshold) {
  const CellMask holes = CodesAtLeast(cells, threshold);
  // Every cell below a block of its column, then those of them that are holes.
  CellMask below = (~holes & kAllCells) << kOpponentBoardColumns;
  for (int rows = 1; rows < kOpponentBoardRows; rows *= 2) below |= below << (rows * kOpponentBoardColumns);
  CellMask lifted = below & holes;
  for (int rows = 8; rows >= 1; rows /= 2) lifted |= lifted >> (rows * kOpponentBoardColumns);
  return (unsigned)lifted & ((1u << kOpponentBoardColumns) - 1);
}

// Chain values saturate here so that a board of absurd chain counters can
// never overflow the 32-bit scores (4 x term + two group sizes).
constexpr int64_t kChainValueCap = INT32_MAX / 8;

int32_t Saturate(int64_t v) { return v > kChainValueCap ? (int32_t)kChainValueCap : (int32_t)v; }

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

namespace {

int CountCells(CellMask m) {
  auto count = [](uint64_t v) {
#if defined(__POPCNT__)
    return __builtin_popcountll(v);
#else
    // Without the instruction the builtin is a library call.
    v -= (v >> 1) & 0x5555555555555555ull;
    v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return (int)((v * 0x0101010101010101ull) >> 56);
#endif
  };
  return count((uint64_t)m) + count((uint64_t)(m >> 64));
}

int HighestCell(CellMask m) {
  const uint64_t high = (uint64_t)(m >> 64);
  return high ? 127 - __builtin_clzll(high) : 63 - __builtin_clzll((uint64_t)m);
}

// The cells beside and above and below each cell of `m`, and `m` itself.
CellMask Dilate(CellMask m) {
  return m | m << kOpponentBoardColumns | m >> kOpponentBoardColumns | ((m << 1) & ~kColumn0) | ((m >> 1) & ~kColumn5);
}

// The cells of `plane` connected to `seed` through `plane`.
CellMask Flood(CellMask seed, CellMask plane) {
  for (;;) {
    const CellMask grown = Dilate(seed) & plane;
    if (grown == seed) return seed;
    seed = grown;
  }
}

// Bit k: the cells above cell k in its column.
struct AboveTable {
  CellMask at[kOpponentBoardCells];
  constexpr AboveTable() : at{} {
    for (int k = 0; k < kOpponentBoardCells; ++k)
      for (int above = k - kOpponentBoardColumns; above >= 0; above -= kOpponentBoardColumns)
        at[k] |= (CellMask)1 << above;
  }
};
constexpr AboveTable kAbove;

// A level as masks of cells, as the chain potential's simulations see it: the
// blocks (every code below the vanishing one, which carries the member bit
// and so goes with every removed group), the class of each block in three
// bits (0-5 its colour, 6 garbage, 7 any other code) and the blocks whose
// chain counter could raise a chain's counter. A cell that is no block is 0
// in every mask.
struct ClassPlanes {
  CellMask blocks;
  CellMask bit[3];
  CellMask high;  // chain counter 2 or more

  CellMask OfClass(int c) const {
    return blocks & (c & 1 ? bit[0] : ~bit[0]) & (c & 2 ? bit[1] : ~bit[1]) & (c & 4 ? bit[2] : ~bit[2]);
  }
  int ClassAt(int k) const {
    return (int)(bit[0] >> k & 1) | (int)(bit[1] >> k & 1) << 1 | (int)(bit[2] >> k & 1) << 2;
  }
  CellMask Colours() const { return blocks & ~(bit[1] & bit[2]); }
  CellMask Garbage() const { return blocks & bit[1] & bit[2] & ~bit[0]; }
  void Remove(CellMask cells) {
    blocks &= ~cells;
    for (CellMask& b : bit) b &= ~cells;
    high &= ~cells;
  }
};

// Fills `out` from a level; false when some cell carries a group bit other
// than the empty and vanishing codes do (codes 0x40-0xFD), which the planes
// cannot express.
bool BuildClassPlanes(const uint8_t* cells, const uint8_t* counters, ClassPlanes* out) {
  CellMask flagged = 0;
#if defined(__SSE2__)
  const __m128i other = _mm_set1_epi8(7);
  const __m128i bits_base = _mm_set1_epi8((char)kMemberBit);
  const __m128i bits_span = _mm_set1_epi8((char)(kCellVanishing - 1 - kMemberBit));
  auto gather = [&](auto masks) {
    CellMask m = 0;
    for (int at = 0; at < 80; at += 16) m |= (CellMask)masks(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cells + at))) << at;
    return m | (CellMask)(masks(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cells + 68))) >> 12) << 80;
  };
  // Class 7 for every code from 7 up; the shift brings bit i of each byte to its top.
  out->bit[0] = gather([&](__m128i v) { return (uint32_t)_mm_movemask_epi8(_mm_slli_epi16(_mm_min_epu8(v, other), 7)); });
  out->bit[1] = gather([&](__m128i v) { return (uint32_t)_mm_movemask_epi8(_mm_slli_epi16(_mm_min_epu8(v, other), 6)); });
  out->bit[2] = gather([&](__m128i v) { return (uint32_t)_mm_movemask_epi8(_mm_slli_epi16(_mm_min_epu8(v, other), 5)); });
  flagged = gather([&](__m128i v) {
    const __m128i from_bits = _mm_sub_epi8(v, bits_base);
    return (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(from_bits, bits_span), from_bits));
  });
#else
  *out = {};
  for (int k = 0; k < kOpponentBoardCells; ++k) {
    const uint8_t code = cells[k];
    const int c = code < 7 ? code : 7;
    for (int i = 0; i < 3; ++i) out->bit[i] |= (CellMask)(c >> i & 1) << k;
    if (code >= kMemberBit && code < kCellVanishing) flagged |= (CellMask)1 << k;
  }
#endif
  out->blocks = ~CodesAtLeast(cells, kCellVanishing) & kAllCells;
  for (CellMask& b : out->bit) b &= out->blocks;
  out->high = CodesAtLeast(counters, 2) & out->blocks;
  return flagged == 0;
}

// Gravity on the planes: each hole under a block of its column closes, the
// cells above it coming one row down. Holes are closed top first, so the
// rows below a hole still hold what they held when the holes were listed.
void Settle(ClassPlanes* p) {
  CellMask under = p->blocks;
  for (int rows = 1; rows < kOpponentBoardRows; rows *= 2) under |= under << (rows * kOpponentBoardColumns);
  for (CellMask holes = under & ~p->blocks & kAllCells; holes != 0; holes &= holes - 1) {
    const int k = LowestCell(holes);
    const CellMask above = kAbove.at[k];
    const CellMask keep = ~(above | (CellMask)1 << k);
    auto fall = [&](CellMask& m) { m = (m & keep) | (m & above) << kOpponentBoardColumns; };
    fall(p->blocks);
    for (CellMask& b : p->bit) fall(b);
    fall(p->high);
  }
}

// A group of one colour (and the garbage beside it) that a chain estimate
// looks at.
struct Group {
  int key;  // the cell that orders it among the others
  int size;
  CellMask cells;
  CellMask beside;  // garbage
};

// The cells of the groups of `size` blocks or more, for sizes up to 4; for
// larger sizes those of 4 or more. A group of three or more has a block with
// two neighbours of its colour, one of four or more a block with three, or
// two blocks with two side by side.
CellMask GroupsOfAtLeast(const ClassPlanes& p, CellMask colours, int size) {
  CellMask differs_below = 0, differs_right = 0;
  for (const CellMask& b : p.bit) {
    differs_below |= b ^ b >> kOpponentBoardColumns;
    differs_right |= b ^ b >> 1;
  }
  const CellMask down = colours & colours >> kOpponentBoardColumns & ~differs_below;
  const CellMask right = colours & colours >> 1 & ~differs_right & ~kColumn5;
  const CellMask up = down << kOpponentBoardColumns, left = right << 1;
  const CellMask vertical = up | down, horizontal = left | right;
  if (size <= 2) return vertical | horizontal;
  const CellMask two = (up & down) | (left & right) | (vertical & horizontal);
  if (size == 3) return two;
  const CellMask three = (up & down & horizontal) | (left & right & vertical);
  const CellMask two_beside_two = (down & two >> kOpponentBoardColumns) | (up & two << kOpponentBoardColumns) |
                                  (right & two >> 1) | (left & two << 1);
  return three | (two & two_beside_two);
}

// The groups that could count: those of `size` blocks or more and those with
// garbage beside them (which they may take from a later group, or which may
// bring them to the size), leaving out those with a cell in `known`. Keyed
// by their first cell, in no particular order.
int CandidateGroups(const ClassPlanes& p, int size, CellMask known, Group* out) {
  const CellMask colours = p.Colours();
  const CellMask garbage = p.Garbage();
  CellMask seeds = GroupsOfAtLeast(p, colours, size);
  if (garbage != 0) seeds |= colours & Dilate(garbage);
  seeds &= ~known;
  int n = 0;
  while (seeds != 0) {
    const int seed = LowestCell(seeds);
    Group& g = out[n];
    g.cells = Flood((CellMask)1 << seed, p.OfClass(p.ClassAt(seed)));
    seeds &= ~g.cells;
    g.beside = garbage != 0 ? Dilate(g.cells) & garbage : 0;
    g.size = CountCells(g.cells);
    if (g.beside == 0 && g.size < size) continue;
    g.key = LowestCell(g.cells);
    ++n;
  }
  return n;
}

void SortByKey(Group* groups, int n) {
  for (int i = 1; i < n; ++i)
    for (int j = i; j > 0 && groups[j - 1].key > groups[j].key; --j) std::swap(groups[j - 1], groups[j]);
}

constexpr int kMostGroups = kOpponentBoardCells / 2;

// A level's candidate groups for its chain simulations, sorted by their first
// cell, kept so that each simulation of the level less a removed group only
// looks again at the groups near what changed. Only for a level whose blocks
// have all fallen.
struct SettledGroups {
  const Group* groups[kMostGroups];
  int count;
};

// The chain simulation's value for a level given as planes, with the cells
// `removed` taken out, when the level holds no group bits and the clear count
// is 2 or more. Its one pass then comes down to this: after gravity, the
// groups of one colour in the order of their first cell (row-major), each
// taking in the garbage beside it that no earlier group took and that lies
// after its first cell (garbage before it took itself, as a test of its own,
// before the group's test came), and each that reaches the clear count
// removed. The chain counter b is what the first removal makes of it, in
// column order from the bottom; later removals cannot raise it. `counters`
// are the level's, read where the blocks stood before they fell.
//
// With the level's own groups given, a group none of whose cells changed or
// lies beside a changed cell is the same group after the removal (the same
// cells, the same garbage beside it); only the others are looked for again.
int32_t ChainValueWithout(const ClassPlanes& level, const SettledGroups* settled, CellMask removed,
                          const uint8_t* counters, int clear_count, ChainSimulation rule) {
  ClassPlanes p = level;
  p.Remove(removed);
  Settle(&p);
  Group fresh[kMostGroups];
  const Group* order[kMostGroups];
  int n = 0;
  if (settled) {
    CellMask changed = p.blocks ^ level.blocks;
    for (int i = 0; i < 3; ++i) changed |= p.bit[i] ^ level.bit[i];
    const CellMask near = Dilate(changed);
    const Group* kept[kMostGroups];
    int kept_count = 0;
    CellMask known = 0;
    for (int i = 0; i < settled->count; ++i) {
      const Group* g = settled->groups[i];
      if (g->cells & near) continue;
      kept[kept_count++] = g;
      known |= g->cells;
    }
    const int fresh_count = CandidateGroups(p, clear_count, known, fresh);
    SortByKey(fresh, fresh_count);
    for (int i = 0, j = 0; i < kept_count || j < fresh_count;)
      order[n++] = j == fresh_count || (i < kept_count && kept[i]->key < fresh[j].key) ? kept[i++] : &fresh[j++];
  } else {
    n = CandidateGroups(p, clear_count, 0, fresh);
    SortByKey(fresh, n);
    for (int i = 0; i < n; ++i) order[i] = &fresh[i];
  }

  CellMask taken = 0;  // garbage taken into a group
  CellMask first = 0;  // the first removal's cells
  int64_t removed_cells = 0;
  for (int i = 0; i < n; ++i) {
    const Group& g = *order[i];
    const CellMask joined = g.beside & ~taken & ~(((CellMask)2 << g.key) - 1);
    taken |= joined;
    const int size = g.size + (joined != 0 ? CountCells(joined) : 0);
    if (size < clear_count) continue;
    removed_cells += size;
    if (first == 0) {
      first = g.cells | joined;
      if (rule == ChainSimulation::kSquaredCounter) break;
    }
  }

  int64_t b = 1;
  if (first & p.high) {
    // The counters stand where the blocks stood before they fell: the n-th
    // block from the bottom of a column came from the n-th one of the level.
    auto source = [&](int k) {
      const int column = k % kOpponentBoardColumns;
      int below = kOpponentBoardRows - 1 - k / kOpponentBoardColumns;
      for (int at = (kOpponentBoardRows - 1) * kOpponentBoardColumns + column; at >= 0; at -= kOpponentBoardColumns) {
        if (!(level.blocks >> at & 1) || (removed >> at & 1)) continue;
        if (below-- == 0) return at;
      }
      return k;  // not reached: the block came from somewhere
    };
    for (int column = 0; column < kOpponentBoardColumns; ++column)
      for (CellMask m = first & p.high & kColumn0 << column; m != 0;) {
        const int k = HighestCell(m);
        m &= ~((CellMask)1 << k);
        const int counter = counters[source(k)];
        if (counter > b) b = counter + 1;
      }
  }
  return Saturate(rule == ChainSimulation::kSquaredCounter ? b * b : removed_cells * b * b);
}

// Whether some block stands above a hole of its column.
bool Unsettled(const ClassPlanes& p) {
  CellMask under = p.blocks;
  for (int rows = 1; rows < kOpponentBoardRows; rows *= 2) under |= under << (rows * kOpponentBoardColumns);
  return (under & ~p.blocks & kAllCells) != 0;
}

}  // namespace

// On a level without group bits the chain potential works on planes: the
// tests come down to the groups of one colour with an exposed cell, in the
// order of their first exposed cell, each taking in the garbage beside it
// that no removed group took. Every test of a removed group afterwards finds
// a group of one, and so does every test of a group already measured, its
// size having only shrunk since.
int32_t Opponent::chain_potential(int level, int minimum) {
  uint8_t* cells = cell_levels[level];
  ClassPlanes planes;
  if (plain_chain_estimates || minimum < 2 || clear_count < 2 ||
      !BuildClassPlanes(cells, counter_levels[level], &planes))
    return chain_potential_plain(level, minimum);
  // One search for the groups serves both the tests here and, where the
  // level has settled, its simulations.
  Group found[kMostGroups];
  const int found_count = CandidateGroups(planes, minimum < clear_count ? minimum : clear_count, 0, found);
  SortByKey(found, found_count);
  SettledGroups settled;
  settled.count = 0;
  const bool reuse = !Unsettled(planes);
  Group tests[kMostGroups];
  int n = 0;
  const CellMask exposed = ExposedCells(cells);
  for (int i = 0; i < found_count; ++i) {
    const Group& g = found[i];
    if (g.beside != 0 || g.size >= clear_count) settled.groups[settled.count++] = &g;
    const CellMask open = g.cells & exposed;
    if (open == 0 || (g.beside == 0 && g.size < minimum)) continue;
    tests[n] = g;
    tests[n++].key = LowestCell(open);
  }
  SortByKey(tests, n);
  CellMask removed_groups = 0;
  int64_t total = 0;
  for (int i = 0; i < n; ++i) {
    const Group& g = tests[i];
    const CellMask beside = g.beside & ~removed_groups;
    if (g.size + (beside != 0 ? CountCells(beside) : 0) < minimum) continue;
    removed_groups |= g.cells | beside;
    total += ChainValueWithout(planes, reuse ? &settled : nullptr, g.cells | beside, counter_levels[level],
                               clear_count, variant->chain_simulation);
  }
  for (CellMask m = removed_groups; m != 0; m &= m - 1) cells[LowestCell(m)] |= kVisitedBit;
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
  CellMask exposed = ExposedCells(cells);
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
    exposed = ExposedCells(cells) & ~(((CellMask)2 << start) - 1);
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
