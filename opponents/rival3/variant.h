// rival3: weighs the chain term first and lets a group vanish at once only
// once the running score (4 x chain term, then the first group) reaches 50.
#pragma once

#include "opponents/opponent.h"

inline constexpr OpponentVariant kRival3Variant = {
    .thinking_time = {10, 5, 0},
    .miss_percent = {10, 5, 0},
    .hold_flag_live = true,
    .chain_simulation = ChainSimulation::kSumOfGroups,
    .placement_scoring = PlacementScoring::kChainFirst,
    .danger_rule = DangerRule::kStandard,
    .refusal_danger_max = 0,
    .refusal_score_below = 50,
};
