// rival1: takes the hold flag once per think, scores chains by the square of
// the last chain counter, and refuses an immediate vanish unless in danger.
#pragma once

#include "opponents/opponent.h"

inline constexpr OpponentVariant kRival1Variant = {
    .thinking_time = {10, 5, 0},
    .miss_percent = {10, 5, 0},
    .hold_flag_live = false,
    .chain_simulation = ChainSimulation::kSquaredCounter,
    .placement_scoring = PlacementScoring::kGroupsFirst,
    .danger_rule = DangerRule::kStandard,
    .refusal_danger_max = 0,
    .refusal_score_below = 0,
};
