// The thinking of a computer opponent, shared by every plug-in: the board
// levels it works on, the measuring operations on one level (evaluation.cpp),
// the placement search (search.cpp) and the board snapshot a think takes
// (snapshot.cpp). The plug-ins differ only in the OpponentVariant they pass.
// Nothing here allocates; one Opponent lives in each module's globals.
#pragma once

#include <cstdint>

#include "opponents/plugin_api.h"

namespace opponent_masks {
struct LevelMasks;
struct SharedDepth;
struct SharedLevel;
}  // namespace opponent_masks

// Cell codes of a level.
inline constexpr uint8_t kCellGarbage = 6;
inline constexpr uint8_t kCellVanishing = 0xFE;  // free space for gravity, never part of a group
inline constexpr uint8_t kCellEmpty = 0xFF;
inline constexpr uint8_t kMemberBit = 0x40;
inline constexpr uint8_t kVisitedBit = 0x80;
inline constexpr uint8_t kColourMask = 0x3F;

enum class ChainSimulation : uint8_t {
  kSquaredCounter,  // b x b of the last chain counter
  kSumOfGroups,     // sum over removed groups of size x b x b
};
enum class PlacementScoring : uint8_t {
  kGroupsFirst,  // group tests, then the chain term
  kChainFirst,   // chain term first, then group tests refused below a score
};
enum class DangerRule : uint8_t {
  kStandard,  // margins t+2, t+4, t+4, t+2
  kCapped,    // 8 at 1.5 rows pending, else margins t+2, t+3, t+3, t+2
};

// What sets one opponent apart. The refusal fields apply to the scoring that
// names them; the clear count is the stored init value for every opponent
// (a copy per think would hold the same value).
struct OpponentVariant {
  int32_t thinking_time[kOpponentComLevels];  // frames, by computer level
  int32_t miss_percent[kOpponentComLevels];   // reported to the game, which ignores it
  bool hold_flag_live;  // re-read through the game's pointer at each use, else copied per think
  ChainSimulation chain_simulation;
  PlacementScoring placement_scoring;
  DangerRule danger_rule;
  int32_t refusal_danger_max;   // kGroupsFirst: an immediate vanish is refused while danger <= this
  int32_t refusal_score_below;  // kChainFirst: ... while the running score is below this
};

struct Opponent {
  static constexpr int kLevels = 25;
  static constexpr int kSnapshotLevel = 0;

  constexpr explicit Opponent(const OpponentVariant* v) : variant(v) {}

  const OpponentVariant* variant;

  // Level 0 is the snapshot; 1-23 are the search's scratch boards.
  uint8_t cell_levels[kLevels][kOpponentBoardCells]{};
  uint8_t counter_levels[kLevels][kOpponentBoardCells]{};

  // init arguments (com_level and clear_count already brought into range).
  int32_t com_level{};
  int32_t clear_count{};
  const BlockView* const* board{};
  const int32_t (*queue)[2]{};
  const uint8_t* hold_flag{};
  const int32_t* pending_garbage{};
  int32_t search_depth{};

  // Copies taken at the start of each think.
  int32_t pairs[kOpponentQueuePairs][2]{};
  int32_t pending_copy{};
  uint8_t hold_copy{};

  // Forces the byte-by-byte group tests and chain estimates everywhere, so
  // that a test can hold the ones on cell masks against them.
  bool plain_chain_estimates{};

  // Search state shared by the whole tree.
  int32_t best_score{};
  int32_t best_tie{};
  int32_t result{};

  // ---- interface (snapshot.cpp)
  void init(int32_t level, int32_t clear, const BlockView* const* board_cells, const int32_t (*pair_queue)[2],
            const uint8_t* hold, const int32_t* pending);
  int32_t thinking_time() const { return variant->thinking_time[com_level]; }
  int32_t miss_percent() const { return variant->miss_percent[com_level]; }
  // Snapshot, search and answer; see think_set in plugin_api.h.
  void think(int32_t* decision);
  void take_snapshot();
  bool hold_flag_set() const;

  // ---- search (search.cpp)
  int32_t start_search();
  void search_placements(int depth, int first);
  int32_t evaluate_placement(int p, int level, int k);
  // What a placement reads of the level it is made on, the same for every
  // placement on a copy of one level.
  struct LevelFacts {
    int32_t danger;
    int landing[kOpponentBoardColumns];
    int counter_max[kOpponentBoardColumns];
  };
  void level_facts(int level, LevelFacts* out) const;
  // The same with the facts of the level before the placement given, and
  // what the placements of the depth share (may be null).
  int32_t evaluate_placement(int p, int level, int k, const LevelFacts& facts, opponent_masks::SharedDepth* shared);
  // The group tests and chain term of the placement with its two blocks at
  // cells `axis` and `partner`, measured on the masks of its level as
  // gravity leaves it (search.cpp).
  bool score_on_masks(int level, int32_t danger, int minimum, int axis, int partner, opponent_masks::LevelMasks* masks,
                      opponent_masks::SharedLevel* shared, int* hold_read, int32_t* score);
  // The hold flag as hold_flag_set reads it, read once: *read is -1 until then.
  bool read_hold_once(int* read) const;

  // ---- measuring operations on one level (evaluation.cpp)
  uint8_t& cell(int level, int row, int column) { return cell_levels[level][row * kOpponentBoardColumns + column]; }
  uint8_t& counter(int level, int row, int column) { return counter_levels[level][row * kOpponentBoardColumns + column]; }
  // The cells a flood changed, so that its bits can be undone without a
  // sweep of the whole level.
  struct FloodTrace {
    uint8_t cell[kOpponentBoardCells];
    int count;
  };
  int group_size(int column, int row, int level);
  // Marks the group of cell `start` (row-major index) and returns its size;
  // appends every cell it changes to the trace when one is given.
  template <bool kMarkRejected>
  int flood_group(int level, int start, FloodTrace* trace);
  void remove_first_group(int level, const FloodTrace& trace, int64_t* b);
  void clear_group_bits(int level);
  void apply_gravity(int level, uint8_t threshold);
  int landing_row(int level, int column) const;
  int column_counter_max(int level, int column) const;
  int32_t danger_level(int level) const;  // by the variant's rule
  int32_t chain_potential(int level, int minimum);
  // The same on the level's bytes, test by test; what chain_potential does
  // where the level holds group bits, and always with plain_chain_estimates.
  int32_t chain_potential_plain(int level, int minimum);
  int32_t simulate_chain(int level);  // by the variant's rule
  void copy_level(int destination, int source);
};

// Placement geometry: the axis block's column and the partner's column.
int PlacementAxisColumn(int p);
int PlacementPartnerColumn(int p);
