// rival4: counts danger with tighter margins (and as 8 once one and a half
// rows of garbage are pending); an immediate vanish only from danger 5 on.
#pragma once

#include "opponents/opponent.h"

inline constexpr OpponentVariant kRival4Variant = {
    .thinking_time = {10, 5, 0},
    .miss_percent = {10, 5, 0},
    .hold_flag_live = true,
    .chain_simulation = ChainSimulation::kSumOfGroups,
    .placement_scoring = PlacementScoring::kGroupsFirst,
    .danger_rule = DangerRule::kCapped,
    .refusal_danger_max = 4,
    .refusal_score_below = 0,
};
