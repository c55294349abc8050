// rival2: like rival1, but re-reads the hold flag and scores chains by the
// sum of size x counter squared over every removed group.
#pragma once

#include "opponents/opponent.h"

inline constexpr OpponentVariant kRival2Variant = {
    .thinking_time = {10, 5, 0},
    .miss_percent = {10, 5, 0},
    .hold_flag_live = true,
    .chain_simulation = ChainSimulation::kSumOfGroups,
    .placement_scoring = PlacementScoring::kGroupsFirst,
    .danger_rule = DangerRule::kStandard,
    .refusal_danger_max = 0,
    .refusal_score_below = 0,
};
