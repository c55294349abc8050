// Small boards for the opponent tests, written as text: the last row given is
// row 13 (the floor), rows above the given ones are empty.
//   '.' empty   '0'-'5' a colour   'G' garbage   'V' vanishing
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "opponents/opponent.h"
#include "opponents/rival1/variant.h"
#include "opponents/rival2/variant.h"
#include "opponents/rival3/variant.h"
#include "opponents/rival4/variant.h"

struct NamedVariant {
  const char* name;
  const OpponentVariant* variant;
};
inline const NamedVariant kAllVariants[4] = {
    {"rival1", &kRival1Variant}, {"rival2", &kRival2Variant}, {"rival3", &kRival3Variant}, {"rival4", &kRival4Variant}};

// An opponent as a think leaves it after taking its copies: search depth 0,
// the given clear count and pending garbage, pairs {a, b} then {next_a, next_b}.
std::unique_ptr<Opponent> MakeOpponent(const OpponentVariant& variant, int clear_count = 4, int pending = 0);
void SetPairs(Opponent& o, int a, int b, int next_a = 0, int next_b = 1);

// Loads rows into `level`; `counters` (same shape, digits) gives chain counters.
void LoadLevel(Opponent& o, int level, const std::vector<std::string>& rows,
               const std::vector<std::string>& counters = {});
// The level's cells as text, all 14 rows (group bits shown as 'm' member, 'v'
// visited, 'b' both, on top of the colour: used where bits matter).
std::string LevelText(const Opponent& o, int level);
// The 22 placement scores of pair 0 on the board in level 0 (each evaluated
// on a fresh copy in level 1).
std::vector<int> PlacementScores(Opponent& o);
