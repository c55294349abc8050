// The chain estimates on masks of a level's cells (see cell_masks.h).
#include "opponents/cell_masks.h"

namespace opponent_masks {

namespace {

// The group searches are built twice: for any processor, and with the bit
// instructions (population count, trailing zeros, and-not) where the
// processor has them. The count is the one operation written differently.
template <bool kBitOps>
int Count(CellMask m) {
  if constexpr (kBitOps)
    return __builtin_popcountll((uint64_t)m) + __builtin_popcountll((uint64_t)(m >> 64));
  else
    return CountCells(m);
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

// Gravity on the planes: each hole under a block of its column closes, the
// cells above it coming one row down. Holes are closed top first, so the
// rows below a hole still hold what they held when the holes were listed.
void Settle(ClassPlanes* p) {
  for (CellMask holes = AtOrBelow(p->blocks) & ~p->blocks & kAllCells; holes != 0; holes &= holes - 1) {
    const int k = LowestCell(holes);
    const CellMask above = kAbove.at[k];
    const CellMask keep = ~(above | kCells.cell[k]);
    auto fall = [&](CellMask& m) { m = (m & keep) | (m & above) << kOpponentBoardColumns; };
    fall(p->blocks);
    for (CellMask& b : p->bit) fall(b);
    fall(p->high);
  }
}

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

// Fills `g` for the group `cells` of `count` blocks with the garbage
// `beside` it. True when it could count: `size` blocks or more, or garbage
// beside it.
bool Describe(Group* g, CellMask cells, int count, CellMask beside, int size) {
  if (beside == 0 && count < size) return false;
  g->cells = cells;
  g->beside = beside;
  g->size = count;
  g->key = LowestCell(cells);
  g->beside_late = beside != 0 ? beside & ~(((CellMask)2 << g->key) - 1) : 0;
  return true;
}

// The groups through the cells `seeds` that could count (see Describe), into
// `out`; `through` receives the cells of all the groups.
template <bool kBitOps>
int GroupsFrom(const ClassPlanes& p, CellMask seeds, int size, Group* out, CellMask* through = nullptr) {
  const CellMask garbage = p.Garbage();
  CellMask cells = 0;
  int n = 0;
  while (seeds != 0) {
    const CellMask seed = seeds & (~seeds + 1);
    const CellMask group = Flood(seed, p.OfClass(p.ClassOf(seed)));
    seeds &= ~group;
    cells |= group;
    n += Describe(&out[n], group, Count<kBitOps>(group), garbage != 0 ? Dilate(group) & garbage : 0, size);
  }
  if (through) *through = cells;
  return n;
}

// The groups that could count: those of `size` blocks or more and those with
// garbage beside them (which they may take from a later group, or which may
// bring them to the size), leaving out those with a cell in `known`. In no
// particular order.
template <bool kBitOps>
int CandidateGroups(const ClassPlanes& p, int size, CellMask known, Group* out) {
  const CellMask colours = p.Colours();
  CellMask seeds = GroupsOfAtLeast(p, colours, size);
  if (const CellMask garbage = p.Garbage(); garbage != 0) seeds |= colours & Dilate(garbage);
  return GroupsFrom<kBitOps>(p, seeds & ~known, size, out);
}

// The groups through the blocks `placed`, put on a board where it was free
// and none of them garbage: every other group of the board is as it was.
template <bool kBitOps>
int GroupsThrough(const ClassPlanes& p, CellMask placed, int size, Group* out, CellMask* through) {
  return GroupsFrom<kBitOps>(p, placed & p.Colours(), size, out, through);
}

// The groups through a placement's two blocks (see PlacedGroups).
template <bool kBitOps>
void PlacedGroupsOf(const ClassPlanes& p, int first, int second, PlacedGroups* out) {
  const CellMask garbage = p.Garbage();
  const int at[2] = {first, second};
  for (int i = 0; i < 2; ++i) {
    const CellMask cell = kCells.cell[at[i]];
    out->at[i] = cell;
    out->cells[i] = 0;
    if (!(p.blocks & cell)) continue;
    const int c = p.ClassOf(cell);
    if (c >= kCellGarbage) continue;
    out->cells[i] = i == 1 && (out->cells[0] & cell) ? out->cells[0] : Flood(cell, p.OfClass(c));
    out->beside[i] = Dilate(out->cells[i]) & garbage;
    out->size[i] = Count<kBitOps>(out->cells[i]);
  }
}

// The cells where two boards differ.
CellMask Differences(const ClassPlanes& a, const ClassPlanes& b) {
  CellMask changed = a.blocks ^ b.blocks;
  for (int i = 0; i < 3; ++i) changed |= a.bit[i] ^ b.bit[i];
  return changed;
}

void Summarise(const Group* groups, int count, int clear_count, GroupSummary* out) {
  out->cells = 0;
  out->plain_keys = 0;
  out->plain_cells = 0;
  out->late_count = 0;
  for (int i = 0; i < count; ++i) {
    const Group& g = groups[i];
    out->cells |= g.cells;
    out->index_of_key[g.key] = (uint8_t)i;
    if (g.beside_late != 0) {
      int at = out->late_count++;
      for (; at > 0 && groups[out->late[at - 1]].key > g.key; --at) out->late[at] = out->late[at - 1];
      out->late[at] = (uint8_t)i;
    } else if (g.size >= clear_count) {
      out->plain_keys |= KeyCell(g);
      out->plain_cells += g.size;
    }
  }
}

// The chain simulation's value for a level given as planes, with the cells
// `removed` taken out, when the level holds no group bits and the clear count
// is 2 or more. Its one pass then comes down to this: after gravity, the
// groups of one colour in the order of their first cell (row-major), each
// taking in the garbage beside it that no earlier group took and that lies
// after its first cell (garbage before it took itself, as a test of its own,
// before the group's test came), and each that reaches the clear count
// removed. The chain counter b is what the first removal makes of it, in
// column order from the bottom; later removals cannot raise it. `board` is
// the level less `removed`, fallen; `counters` are the level's, read where
// the blocks stood before they fell.
//
// A group with no such garbage counts whatever the others do; only the
// groups with garbage after their first cell need taking in order. With a
// board whose groups (at the clear count) are known and summed up, and that
// differs from this one in the cells `differs` (with `differs_placed`:
// blocks put where that board was free), a group none of whose cells
// changed or lies beside a changed cell is the same group here (the same
// cells, the same garbage beside it): the sums lose the groups near the
// changes and gain those found there again.
template <bool kBitOps>
int32_t SimulationValue(const ClassPlanes& level, CellMask removed, bool level_settled, const ClassPlanes& board,
                        bool from_base, CellMask differs, bool differs_placed, const Group* base_groups, int base_count,
                        const GroupSummary* summary, const uint8_t* counters, int clear_count, ChainSimulation rule) {
  CellMask plain_keys = 0;  // keys of the groups without late garbage that are removed
  int64_t removed_cells = 0;
  CellMask known = 0;
  const Group* late[kMostGroups];  // the groups with late garbage, in key order
  int late_count = 0;
  auto add_late = [&](const Group* g) {
    int at = late_count++;
    for (; at > 0 && late[at - 1]->key > g->key; --at) late[at] = late[at - 1];
    late[at] = g;
  };
  // Blocks put where the base was free, none of them garbage, change only
  // the groups through them.
  Group fresh[kMostGroups];
  int fresh_count = -1;
  CellMask near;
  if (from_base && differs_placed && (differs & board.Garbage()) == 0) {
    fresh_count = GroupsThrough<kBitOps>(board, differs, clear_count, fresh, &near);
  } else {
    near = Dilate(differs);
  }
  if (from_base) {
    plain_keys = summary->plain_keys;
    removed_cells = summary->plain_cells;
    CellMask dropped = 0;
    if (near & summary->cells) {
      for (int i = 0; i < base_count; ++i) {
        const Group& g = base_groups[i];
        if (!(g.cells & near)) continue;
        dropped |= g.cells;
        if (g.beside_late == 0 && g.size >= clear_count) {
          plain_keys &= ~KeyCell(g);
          removed_cells -= g.size;
        }
      }
    }
    known = summary->cells & ~dropped;
    for (int j = 0; j < summary->late_count; ++j) {
      const Group& g = base_groups[summary->late[j]];
      if (!(g.cells & dropped)) late[late_count++] = &g;
    }
  }
  if (fresh_count < 0) fresh_count = CandidateGroups<kBitOps>(board, clear_count, known, fresh);
  for (int i = 0; i < fresh_count; ++i) {
    const Group& g = fresh[i];
    if (g.beside_late != 0) {
      add_late(&g);
    } else if (g.size >= clear_count) {
      plain_keys |= KeyCell(g);
      removed_cells += g.size;
    }
  }

  CellMask taken = 0;  // garbage taken into a group
  CellMask late_keys = 0;
  CellMask joined[kMostGroups];
  for (int j = 0; j < late_count; ++j) {
    const Group& g = *late[j];
    joined[j] = g.beside_late & ~taken;
    taken |= joined[j];
    const int size = g.size + (joined[j] != 0 ? Count<kBitOps>(joined[j]) : 0);
    if (size < clear_count) continue;
    removed_cells += size;
    late_keys |= KeyCell(g);
  }

  // The first removal: the removed group with the smallest key. A key of a
  // group found again may be that of a group of the base left out.
  CellMask first = 0;
  if (const CellMask keys = plain_keys | late_keys; keys != 0) {
    const int key = LowestCell(keys);
    if (late_keys >> key & 1) {
      for (int j = 0; j < late_count; ++j)
        if (late[j]->key == key) first = late[j]->cells | joined[j];
    } else {
      for (int i = 0; i < fresh_count; ++i)
        if (fresh[i].key == key) first = fresh[i].cells;
      if (first == 0) first = base_groups[summary->index_of_key[key]].cells;
    }
  }

  int64_t b = 1;
  if (first & board.high) {
    // The counters stand where the blocks stood before they fell: the n-th
    // block from the bottom of a column came from the n-th one of the level.
    // A column of a settled level that lost nothing did not move.
    const CellMask stayed = level.blocks & ~removed;
    const CellMask raising = first & board.high;
    const unsigned columns = ColumnsOf(raising);
    for (int column = 0; column < kOpponentBoardColumns; ++column) {
      if (!(columns >> column & 1)) continue;
      const CellMask in_column = kCells.column[column];
      const bool moved = !level_settled || (removed & in_column) != 0;
      for (CellMask m = raising & in_column; m != 0;) {
        const int k = HighestCell(m);
        m &= ~kCells.cell[k];
        int source = k;
        if (moved) {
          int below = kOpponentBoardRows - 1 - k / kOpponentBoardColumns;
          for (source = (kOpponentBoardRows - 1) * kOpponentBoardColumns + column; source >= 0;
               source -= kOpponentBoardColumns)
            if ((stayed & kCells.cell[source]) && below-- == 0) break;
        }
        const int counter = counters[source];
        if (counter > b) b = counter + 1;
      }
    }
  }
  return Saturate(rule == ChainSimulation::kSquaredCounter ? b * b : removed_cells * b * b);
}

// The shared level less `removed`, fallen, with its groups: made on first
// use, null when the store is full.
template <bool kBitOps>
SharedLevel::Removal* RemovalFrom(SharedLevel* shared, CellMask removed, int clear_count) {
  for (int i = 0; i < shared->removal_count; ++i)
    if (shared->removals[i].removed == removed) return &shared->removals[i];
  if (shared->removal_count == SharedLevel::kMostRemovals || shared->pool_used + kMostGroups > SharedLevel::kPoolGroups)
    return nullptr;
  SharedLevel::Removal& r = shared->removals[shared->removal_count++];
  r.removed = removed;
  r.planes = shared->planes;
  r.planes.Remove(removed);
  Settle(&r.planes);
  r.first = shared->pool_used;
  r.count = CandidateGroups<kBitOps>(r.planes, clear_count, 0, shared->pool + r.first);
  Summarise(shared->pool + r.first, r.count, clear_count, &r.summary);
  r.value = -1;
  shared->pool_used += r.count;
  return &r;
}

}  // namespace

bool BuildLevelMasks(const uint8_t* cells, const uint8_t* counters, LevelMasks* out) {
  ClassPlanes& p = out->planes;
  CellMask flagged = 0;
#if defined(__SSE2__)
  const __m128i other = _mm_set1_epi8(7);
  const __m128i bits_base = _mm_set1_epi8((char)kMemberBit);
  const __m128i bits_span = _mm_set1_epi8((char)(kCellVanishing - 1 - kMemberBit));
  // Class 7 for every code from 7 up; the shift brings bit i of each byte to its top.
  p.bit[0] = MaskOfBytes(cells, [&](__m128i v) {
    return (uint32_t)_mm_movemask_epi8(_mm_slli_epi16(_mm_min_epu8(v, other), 7));
  });
  p.bit[1] = MaskOfBytes(cells, [&](__m128i v) {
    return (uint32_t)_mm_movemask_epi8(_mm_slli_epi16(_mm_min_epu8(v, other), 6));
  });
  p.bit[2] = MaskOfBytes(cells, [&](__m128i v) {
    return (uint32_t)_mm_movemask_epi8(_mm_slli_epi16(_mm_min_epu8(v, other), 5));
  });
  flagged = MaskOfBytes(cells, [&](__m128i v) {
    const __m128i from_bits = _mm_sub_epi8(v, bits_base);
    return (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(from_bits, bits_span), from_bits));
  });
#else
  p = {};
  for (int k = 0; k < kOpponentBoardCells; ++k) {
    const uint8_t code = cells[k];
    const int c = code < 7 ? code : 7;
    for (int i = 0; i < 3; ++i) p.bit[i] |= (CellMask)(c >> i & 1) << k;
    if (code >= kMemberBit && code < kCellVanishing) flagged |= (CellMask)1 << k;
  }
#endif
  out->empty = CodesAtLeast(cells, kCellEmpty);
  out->vanishing = CodesAtLeast(cells, kCellVanishing) & ~out->empty;
  p.blocks = ~(out->empty | out->vanishing) & kAllCells;
  for (CellMask& b : p.bit) b &= p.blocks;
  const CellMask high = CodesAtLeast(counters, 2);
  p.high = high & p.blocks;
  out->vanishing_high = high & out->vanishing;
  return flagged == 0;
}

void Fall(LevelMasks* m) {
  if (!m->planes.Unsettled()) return;
  Settle(&m->planes);
  // A block that came to rest on a vanishing cell took its place; the
  // others stay, and every other cell a block left is empty.
  m->vanishing &= ~m->planes.blocks;
  m->vanishing_high &= m->vanishing;
  m->empty = kAllCells & ~(m->planes.blocks | m->vanishing);
}

void ShareLevel(const ClassPlanes& planes, CellMask empty, int minimum, int clear_count, SharedLevel* out) {
  out->planes = planes;
  out->empty = empty;
  out->settled = !planes.Unsettled();
  out->clear_count = clear_count;
  out->removal_count = 0;
  out->pool_used = 0;
  out->threshold = minimum < clear_count ? minimum : clear_count;
  out->count = CandidateGroups<false>(planes, out->threshold, 0, out->groups);
}

namespace {

// The tests come down to the groups of one colour with an exposed cell, in
// the order of their first exposed cell, each taking in the garbage beside
// it that no removed group took. Every test of a removed group afterwards
// finds a group of one, and so does every test of a group already measured,
// its size having only shrunk since.
template <bool kBitOps>
int64_t ChainPotentialOf(const ClassPlanes& planes, CellMask empty, const uint8_t* counters, int minimum,
                         int clear_count, ChainSimulation rule, SharedLevel* shared, const PlacedGroups* placed,
                         CellMask* removed) {
  // One search for the groups serves both the tests here and, where the
  // level has settled, its simulations. The groups of the level this one
  // was copied from that lie away from the cells that differ are its own.
  const int threshold = minimum < clear_count ? minimum : clear_count;
  const bool settled = !planes.Unsettled();
  Group fresh[kMostGroups];
  const Group* found[kMostGroups];
  int found_count;
  CellMask changed = 0;  // from the shared level
  const bool from_shared = shared && shared->threshold == threshold && shared->clear_count == clear_count;
  if (from_shared) {
    changed = Differences(planes, shared->planes) | (empty ^ shared->empty) | (planes.high ^ shared->planes.high);
    // Blocks written where the shared level was free, none of them garbage,
    // change only the groups through them.
    const CellMask written = changed & planes.blocks;
    int fresh_count = -1;
    CellMask near;
    if ((changed & shared->planes.blocks) == 0 && (written & planes.Garbage()) == 0) {
      if (placed && (written & ~(placed->at[0] | placed->at[1])) == 0) {
        // The placement's own groups, found already.
        fresh_count = 0;
        near = 0;
        for (int i = 0; i < 2; ++i) {
          const CellMask cells = placed->cells[i];
          if (!(written & placed->at[i]) || cells == 0 || (near & cells)) continue;
          near |= cells;
          fresh_count += Describe(&fresh[fresh_count], cells, placed->size[i], placed->beside[i], threshold);
        }
      } else {
        fresh_count = GroupsThrough<kBitOps>(planes, written, threshold, fresh, &near);
      }
    } else {
      near = Dilate(changed);
    }
    const Group* kept[kMostGroups];
    int kept_count = 0;
    CellMask known = 0;
    for (int i = 0; i < shared->count; ++i) {
      if (shared->groups[i].cells & near) continue;
      kept[kept_count++] = &shared->groups[i];
      known |= shared->groups[i].cells;
    }
    if (fresh_count < 0) fresh_count = CandidateGroups<kBitOps>(planes, threshold, known, fresh);
    for (int i = 0; i < kept_count; ++i) found[i] = kept[i];
    for (int i = 0; i < fresh_count; ++i) found[kept_count + i] = &fresh[i];
    found_count = kept_count + fresh_count;
  } else {
    found_count = CandidateGroups<kBitOps>(planes, threshold, 0, fresh);
    for (int i = 0; i < found_count; ++i) found[i] = &fresh[i];
  }
  // A simulation starts from the shared level less the removed group's
  // cells that it holds, fallen, with the changed cells put back on top
  // (where each was written into a cell the shared level left free).
  const bool from_removals = from_shared && settled && shared->settled && (changed & shared->planes.blocks) == 0;

  struct Test {
    int key;  // its first exposed cell
    const Group* group;
  } tests[kMostGroups];
  int n = 0;
  const CellMask exposed = ExposedCells(empty);
  for (int i = 0; i < found_count; ++i) {
    const Group* g = found[i];
    const CellMask open = g->cells & exposed;
    if (open == 0 || (g->beside == 0 && g->size < minimum)) continue;
    int at = n++;
    const int key = LowestCell(open);
    for (; at > 0 && tests[at - 1].key > key; --at) tests[at] = tests[at - 1];
    tests[at] = {key, g};
  }
  // The groups a simulation of this level could count, gathered when a
  // simulation first starts from this level.
  Group at_count[kMostGroups];
  int at_count_size = -1;
  GroupSummary at_count_summary;
  // Cells at or below a changed one in its column: a removal that takes none
  // leaves the changed cells where they are.
  const CellMask under_changed = AtOrBelow(changed) & kAllCells;
  CellMask removed_groups = 0;
  int64_t total = 0;
  for (int i = 0; i < n; ++i) {
    const Group& g = *tests[i].group;
    const CellMask beside = g.beside & ~removed_groups;
    if (g.size + (beside != 0 ? Count<kBitOps>(beside) : 0) < minimum) continue;
    const CellMask gone = g.cells | beside;
    removed_groups |= gone;
    SharedLevel::Removal* from = from_removals ? RemovalFrom<kBitOps>(shared, gone & ~changed, clear_count) : nullptr;
    ClassPlanes board;
    if (from) {
      // With every changed cell gone along with the group, the board is the
      // removal's own, and so is its value (the cells that stay, and their
      // counters, are the shared level's).
      if ((changed & planes.blocks & ~gone) == 0) {
        if (from->value < 0)
          from->value =
              SimulationValue<kBitOps>(planes, gone, settled, from->planes, true, 0, true, shared->pool + from->first,
                                       from->count, &from->summary, counters, clear_count, rule);
        total += from->value;
        continue;
      }
      // The changed cells lie on top of their columns: each that stays comes
      // to rest on what is left below it, as many rows lower as cells below
      // it went, where the removal's level is free.
      board = from->planes;
      CellMask placed = planes.blocks & changed;
      if ((gone & under_changed) == 0) {
        board.blocks |= placed;
        for (int b = 0; b < 3; ++b) board.bit[b] |= planes.bit[b] & changed;
        board.high |= planes.high & changed;
      } else {
        placed = 0;
        for (CellMask stay = changed & ~gone & planes.blocks; stay != 0; stay &= stay - 1) {
          const CellMask cell = stay & (~stay + 1);
          const int fall = Count<kBitOps>(gone & kCells.at_or_below[LowestCell(cell)]);
          const CellMask rest = cell << (fall * kOpponentBoardColumns);
          placed |= rest;
          auto put = [&](CellMask& to, const CellMask& value) {
            if (value & cell) to |= rest;
          };
          put(board.blocks, planes.blocks);
          for (int b = 0; b < 3; ++b) put(board.bit[b], planes.bit[b]);
          put(board.high, planes.high);
        }
      }
      total += SimulationValue<kBitOps>(planes, gone, settled, board, true, placed, true, shared->pool + from->first,
                                        from->count, &from->summary, counters, clear_count, rule);
      continue;
    }
    board = planes;
    board.Remove(gone);
    Settle(&board);
    if (at_count_size < 0) {
      at_count_size = 0;
      for (int j = 0; j < found_count; ++j)
        if (found[j]->beside != 0 || found[j]->size >= clear_count) at_count[at_count_size++] = *found[j];
      Summarise(at_count, at_count_size, clear_count, &at_count_summary);
    }
    total += SimulationValue<kBitOps>(planes, gone, settled, board, settled, settled ? Differences(board, planes) : 0,
                                      false, at_count, at_count_size, &at_count_summary, counters, clear_count, rule);
  }
  *removed = removed_groups;
  return total;
}

[[gnu::flatten]] int64_t ChainPotentialPlain(const ClassPlanes& planes, CellMask empty, const uint8_t* counters,
                                             int minimum, int clear_count, ChainSimulation rule, SharedLevel* shared,
                                             const PlacedGroups* placed, CellMask* removed) {
  return ChainPotentialOf<false>(planes, empty, counters, minimum, clear_count, rule, shared, placed, removed);
}

#if defined(__x86_64__)
[[gnu::flatten, gnu::target("popcnt,bmi,bmi2")]] int64_t ChainPotentialBitOps(
    const ClassPlanes& planes, CellMask empty, const uint8_t* counters, int minimum, int clear_count,
    ChainSimulation rule, SharedLevel* shared, const PlacedGroups* placed, CellMask* removed) {
  return ChainPotentialOf<true>(planes, empty, counters, minimum, clear_count, rule, shared, placed, removed);
}
#endif

[[gnu::flatten]] void PlacedGroupsPlain(const ClassPlanes& p, int first, int second, PlacedGroups* out) {
  PlacedGroupsOf<false>(p, first, second, out);
}

#if defined(__x86_64__)
[[gnu::flatten, gnu::target("popcnt,bmi,bmi2")]] void PlacedGroupsBitOps(const ClassPlanes& p, int first, int second,
                                                                         PlacedGroups* out) {
  PlacedGroupsOf<true>(p, first, second, out);
}

bool HasBitOps() {
  return __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
}
#else
bool HasBitOps() { return false; }
#endif

}  // namespace

void FindPlacedGroups(const ClassPlanes& p, int first, int second, PlacedGroups* out) {
#if defined(__x86_64__)
  if (HasBitOps()) return PlacedGroupsBitOps(p, first, second, out);
#endif
  PlacedGroupsPlain(p, first, second, out);
}

int64_t ChainPotential(const ClassPlanes& planes, CellMask empty, const uint8_t* counters, int minimum, int clear_count,
                       ChainSimulation rule, SharedLevel* shared, const PlacedGroups* placed, CellMask* removed) {
#if defined(__x86_64__)
  if (HasBitOps())
    return ChainPotentialBitOps(planes, empty, counters, minimum, clear_count, rule, shared, placed, removed);
#endif
  return ChainPotentialPlain(planes, empty, counters, minimum, clear_count, rule, shared, placed, removed);
}

}  // namespace opponent_masks
