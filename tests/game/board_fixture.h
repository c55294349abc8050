// Fields on prepared boards for the rule tests: boards drawn as pictures of
// rows ('.' empty, '0'-'5' colours, 'G' garbage), bottom-aligned, and
// scripted buttons on the field's device.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "game/field.h"

inline constexpr int kFixtureDevice = 1;  // the keyboard as a pad

std::unique_ptr<Field> MakeField(side_settings settings = {}, int origin_x = 160);
// Two battle fields (mode 3) at the wells' origins, each the other's
// opponent.
struct BattleFields {
  std::unique_ptr<Field> left, right;
};
BattleFields MakeBattleFields();
// Replaces the board; the last row of the picture is row 13.
void SetBoard(Field& field, const std::vector<std::string>& rows);
// The board as a picture of all 14 rows ('v' marks a vanishing block).
std::string BoardPicture(const Field& field);
// Puts the pair at a cell and rotation, at rest.
void PlacePair(Field& field, int row, int column, int rotation);
// This frame's buttons on the fixture device (pad masks).
void Buttons(int mask);
// Runs frames in which no pair is in play: blocks fall, groups clear.
void SettleFrames(Field& field, int frames);
int CountColour(const Field& field, int colour);
