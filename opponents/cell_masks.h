// A level as masks of its cells, one bit per cell, and what the group tests
// and the chain estimates make of them: a group grows a mask at a time
// instead of a cell at a time, a chain simulation comes down to a few
// operations per group, and the placements of one depth share what they can
// of the level they all copy. Only for levels whose cells carry no group
// bits; the byte-by-byte operations of evaluation.cpp serve the rest, and
// Opponent::plain_chain_estimates forces them everywhere.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "opponents/opponent.h"

namespace opponent_masks {

using CellMask = unsigned __int128;  // bit i: cell i of a level, row-major
inline constexpr CellMask kAllCells = ((CellMask)1 << kOpponentBoardCells) - 1;
inline constexpr CellMask kColumn0 = [] {
  CellMask m = 0;
  for (int r = 0; r < kOpponentBoardRows; ++r) m |= (CellMask)1 << (r * kOpponentBoardColumns);
  return m;
}();
inline constexpr CellMask kColumn5 = kColumn0 << (kOpponentBoardColumns - 1);

// Per cell: the cell alone, and the cells of its column at or below it. (A
// shift of 128 bits by a count known only at run time costs several
// instructions; a table costs one load.)
struct CellTables {
  CellMask cell[kOpponentBoardCells];
  CellMask at_or_below[kOpponentBoardCells];
  CellMask column[kOpponentBoardColumns];
  constexpr CellTables() : cell{}, at_or_below{}, column{} {
    for (int k = 0; k < kOpponentBoardCells; ++k) {
      cell[k] = (CellMask)1 << k;
      for (int below = k; below < kOpponentBoardCells; below += kOpponentBoardColumns)
        at_or_below[k] |= (CellMask)1 << below;
    }
    for (int c = 0; c < kOpponentBoardColumns; ++c) column[c] = kColumn0 << c;
  }
};
inline constexpr CellTables kCells;

// Chain values saturate here so that a board of absurd chain counters can
// never overflow the 32-bit scores (4 x term + two group sizes).
inline constexpr int64_t kChainValueCap = INT32_MAX / 8;
inline int32_t Saturate(int64_t v) { return v > kChainValueCap ? (int32_t)kChainValueCap : (int32_t)v; }

inline int LowestCell(CellMask m) {
  const uint64_t low = (uint64_t)m;
  return low ? __builtin_ctzll(low) : 64 + __builtin_ctzll((uint64_t)(m >> 64));
}

inline int HighestCell(CellMask m) {
  const uint64_t high = (uint64_t)(m >> 64);
  return high ? 127 - __builtin_clzll(high) : 63 - __builtin_clzll((uint64_t)m);
}

inline int CountCells(CellMask m) {
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

#if defined(__SSE2__)
// A mask of a level's bytes, `bits` turning each 16 of them into 16 bits.
template <class Bits>
inline CellMask MaskOfBytes(const uint8_t* bytes, Bits bits) {
  static_assert(kOpponentBoardCells == 84, "five vectors and an overlapping sixth");
  auto at = [&](int i) { return (CellMask)bits(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i))); };
  CellMask m = 0;
  for (int i = 0; i < 80; i += 16) m |= at(i) << i;
  return m | (at(68) >> 12) << 80;
}
#endif

// The cells whose code is at least `threshold`.
inline CellMask CodesAtLeast(const uint8_t* cells, uint8_t threshold) {
#if defined(__SSE2__)
  const __m128i t = _mm_set1_epi8((char)threshold);
  return MaskOfBytes(cells, [&](__m128i v) {
    return (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, t), v));
  });
#else
  CellMask m = 0;
  for (int i = 0; i < kOpponentBoardCells; ++i) m |= (CellMask)(cells[i] >= threshold) << i;
  return m;
#endif
}

// The cells beside and above and below each cell of `m`, and `m` itself.
inline CellMask Dilate(CellMask m) {
  return m | m << kOpponentBoardColumns | m >> kOpponentBoardColumns | ((m << 1) & ~kColumn0) | ((m >> 1) & ~kColumn5);
}

// The cells of `plane` connected to `seed` through `plane`.
inline CellMask Flood(CellMask seed, CellMask plane) {
  for (;;) {
    const CellMask grown = Dilate(seed) & plane;
    if (grown == seed) return seed;
    seed = grown;
  }
}

// The cells of `m` and every cell below one of them in its column (and past
// the board's end: the caller masks).
inline CellMask AtOrBelow(CellMask m) {
  m |= m << kOpponentBoardColumns;
  m |= m << 2 * kOpponentBoardColumns;
  m |= m << 4 * kOpponentBoardColumns;
  return m | m << 8 * kOpponentBoardColumns;
}

// The columns (bits 0-5) that hold a cell of `m`.
inline unsigned ColumnsOf(CellMask m) {
  m |= m >> 8 * kOpponentBoardColumns;
  m |= m >> 4 * kOpponentBoardColumns;
  m |= m >> 2 * kOpponentBoardColumns;
  m |= m >> kOpponentBoardColumns;
  return (unsigned)m & ((1u << kOpponentBoardColumns) - 1);
}

// The cells a chain-potential test starts from, given the empty cells: below
// an empty cell, or beside one (left or right) whose own cell below is not
// empty (or that lies in one of the two bottom rows).
inline CellMask ExposedCells(CellMask empty) {
  constexpr CellMask kBottomRows = kAllCells & ~(((CellMask)1 << (12 * kOpponentBoardColumns)) - 1);
  const CellMask filled = ~empty & kAllCells;
  const CellMask above = empty << kOpponentBoardColumns;
  const CellMask left = (empty << 1) & ~kColumn0 & ((filled >> (kOpponentBoardColumns - 1)) | kBottomRows);
  const CellMask right = (empty >> 1) & ~kColumn5 & ((filled >> (kOpponentBoardColumns + 1)) | kBottomRows);
  return (above | left | right) & kAllCells;
}

// A level as the chain potential's simulations see it: the blocks (every
// code below the vanishing one, which carries the member bit and so goes
// with every removed group), the class of each block in three bits (0-5 its
// colour, 6 garbage, 7 any other code) and the blocks whose chain counter
// could raise a chain's counter. A cell that is no block is 0 in every mask.
struct ClassPlanes {
  CellMask blocks;
  CellMask bit[3];
  CellMask high;  // chain counter 2 or more

  CellMask OfClass(int c) const {
    return blocks & (c & 1 ? bit[0] : ~bit[0]) & (c & 2 ? bit[1] : ~bit[1]) & (c & 4 ? bit[2] : ~bit[2]);
  }
  int ClassOf(CellMask cell) const {
    return ((bit[0] & cell) != 0 ? 1 : 0) | ((bit[1] & cell) != 0 ? 2 : 0) | ((bit[2] & cell) != 0 ? 4 : 0);
  }
  CellMask Colours() const { return blocks & ~(bit[1] & bit[2]); }
  CellMask Garbage() const { return blocks & bit[1] & bit[2] & ~bit[0]; }
  void Remove(CellMask cells) {
    blocks &= ~cells;
    for (CellMask& b : bit) b &= ~cells;
    high &= ~cells;
  }
  // Whether some block stands above a hole of its column.
  bool Unsettled() const { return (AtOrBelow(blocks) & ~blocks & kAllCells) != 0; }
};

// A level's planes with its empty and vanishing cells, and the same planes
// as they stand once the group bits are cleared, when the vanishing cells
// have become colourless blocks.
struct LevelMasks {
  ClassPlanes planes;
  CellMask empty;
  CellMask vanishing;
  CellMask vanishing_high;  // vanishing cells whose chain counter is 2 or more
  ClassPlanes Cleared() const {
    ClassPlanes p = planes;
    p.blocks |= vanishing;
    for (CellMask& b : p.bit) b |= vanishing;
    p.high |= vanishing_high;
    return p;
  }
};

// A group of one colour (and the garbage beside it) that a chain estimate
// looks at.
struct Group {
  int key;  // the cell that orders it among the others
  int size;
  CellMask cells;
  CellMask beside;       // garbage
  CellMask beside_late;  // the garbage beside it that lies after its first cell
};
inline constexpr int kMostGroups = kOpponentBoardCells / 2;
inline CellMask KeyCell(const Group& g) { return kCells.cell[g.key]; }

// What a chain simulation needs of a board's groups (at the clear count) at
// once: their cells; the groups without garbage after their first cell that
// reach the clear count (they count whatever the others do), their keys and
// cells summed; the other groups in key order; each group by its key.
struct GroupSummary {
  CellMask cells;
  CellMask plain_keys;
  int64_t plain_cells;
  int late_count;
  uint8_t late[kMostGroups];
  uint8_t index_of_key[kOpponentBoardCells];
};

// A level that many chain potentials start from a copy of (with a pair
// placed on it): its planes as the chain potential sees them and the groups
// it would look for on them.
struct SharedLevel {
  ClassPlanes planes;
  CellMask empty;
  bool settled;
  int clear_count;
  int threshold;  // smallest group size looked for
  int count;
  Group groups[kMostGroups];

  // The level less the cells (of a group a chain potential removed) that it
  // holds, fallen, with its groups at the clear count (in `pool`), for the
  // simulations of the copies that remove the same cells.
  struct Removal {
    CellMask removed;
    ClassPlanes planes;
    int first, count;
    GroupSummary summary;
    int32_t value;  // its simulation's value, -1 until known
  };
  // Room for the busiest levels met (some 200 groups in 17 removals); once
  // it is full, a simulation starts from its own level instead. A think
  // holds two of these on its stack, one per depth.
  static constexpr int kMostRemovals = 24;
  static constexpr int kPoolGroups = 256;
  int removal_count;
  int pool_used;
  Removal removals[kMostRemovals];
  Group pool[kPoolGroups];
};

// What the placements of one depth share: the masks of the level each of
// them copies, and that level as their chain potentials see it.
struct SharedDepth {
  LevelMasks masks;
  SharedLevel potential;
};

// Lets the blocks of a level's masks fall as apply_gravity does, through
// empty and vanishing cells.
void Fall(LevelMasks* m);

// Fills `out` for chain potentials of the given minimum on copies of a level.
void ShareLevel(const ClassPlanes& planes, CellMask empty, int minimum, int clear_count, SharedLevel* out);

// Fills `out` from a level; false when some cell carries a group bit other
// than the empty and vanishing codes do (codes 0x40-0xFD), which the planes
// cannot express.
bool BuildLevelMasks(const uint8_t* cells, const uint8_t* counters, LevelMasks* out);

// The groups through the two blocks of a placement (cells `first` and
// `second` of the level), as its group tests and its chain potential find
// them.
struct PlacedGroups {
  CellMask at[2];      // the cell
  CellMask cells[2];   // its group; 0 where the cell holds no colour
  CellMask beside[2];  // the garbage beside the group
  int size[2];
  // group_size at cell i of the level when the cells `visited` carry the
  // visited bit (and no cell another group bit).
  int Measure(int i, CellMask visited) const {
    if (cells[i] == 0 || (at[i] & visited)) return 1;
    return size[i] + CountCells(beside[i] & ~visited);
  }
};
void FindPlacedGroups(const ClassPlanes& p, int first, int second, PlacedGroups* out);

// chain_potential of a level (its planes, empty cells and counters) with a
// minimum of 2 or more and a clear count of 2 or more. It takes what it can
// from `shared` (may be null), the level it was copied from, leaving there
// what later copies can take, and from `placed` (may be null), the groups
// through the blocks written on the copy. Returns the total before it
// saturates; `removed` receives the cells of the groups removed, on which
// chain_potential leaves the visited bit.
int64_t ChainPotential(const ClassPlanes& planes, CellMask empty, const uint8_t* counters, int minimum, int clear_count,
                       ChainSimulation rule, SharedLevel* shared, const PlacedGroups* placed, CellMask* removed);

// Writes a code and its counter into the masks of a level, as a placement
// writes them into its bytes; false for a code with group bits.
inline bool PutCell(LevelMasks* m, int k, uint8_t code, uint8_t counter) {
  if (code >= kMemberBit && code < kCellVanishing) return false;
  const CellMask cell = kCells.cell[k];
  ClassPlanes& p = m->planes;
  p.Remove(cell);
  m->empty &= ~cell;
  m->vanishing &= ~cell;
  m->vanishing_high &= ~cell;
  if (code == kCellEmpty) {
    m->empty |= cell;
  } else if (code == kCellVanishing) {
    m->vanishing |= cell;
    if (counter >= 2) m->vanishing_high |= cell;
  } else {
    const int c = code < 7 ? code : 7;
    p.blocks |= cell;
    for (int i = 0; i < 3; ++i)
      if (c >> i & 1) p.bit[i] |= cell;
    if (counter >= 2) p.high |= cell;
  }
  return true;
}

}  // namespace opponent_masks
