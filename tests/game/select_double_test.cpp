// The free-battle settings: both columns' rows with their wrapping, the two
// forms' ways back, the confirm that hands on one seed, and the media lists.
#include <gtest/gtest.h>

#include "game/scene_select_double.h"
#include "tests/game/battle_fixture.h"

namespace {

class SelectDouble : public BattleTest {
 protected:
  void SetUp() override {
    BattleTest::SetUp();
    B_Custom = 0x100;
    C_Custom = 0x200;
  }
  Scene_SelectDouble* Open(int two_players) {
    auto* select = new Scene_SelectDouble(0, two_players, Person(), two_players ? Person() : Computer(nullptr, 0),
                                          "", "");
    scene_ = select;
    Run(45);
    return select;
  }
  // Moves a column's cursor onto a row, against the computer (where one
  // person sets both columns from the keyboard).
  void CursorTo(Scene_SelectDouble* select, int side, Scene_SelectDouble::RowKind row) {
    const auto& rows = select->rows();
    while (rows[select->cursor(side)] != row) Press(kPadDown);
  }
  // A press on the keyboard, or on pad 1 (the right column of two people).
  void Press(int mask, bool pad = false) {
    if (pad)
      Pads(0, mask);
    else
      Pads(mask);
    scene_->update();
    Pads(0);
    scene_->update();
  }
};

TEST_F(SelectDouble, RowsChangeAndWrapPerColumn) {
  Scene_SelectDouble* select = Open(0);
  ASSERT_EQ(select->state(), Scene_SelectDouble::kChoosing);
  ASSERT_EQ(select->rows().size(), 9u);
  struct Case {
    Scene_SelectDouble::RowKind row;
    int presses;  // Right when positive, Left when negative
    int side0, side1;  // the value after the presses
  };
  using R = Scene_SelectDouble;
  const Case cases[] = {
      {R::kRowLevel, -1, 30, 30},        {R::kRowLevel, 1, 0, 0},
      {R::kRowClearScore, 21, 250, 250}, {R::kRowClearScore, 1, 10, 10},  {R::kRowClearScore, -1, 250, 250},
      {R::kRowGarbageScore, -4, 0, 0},   {R::kRowGarbageScore, -1, 250, 250}, {R::kRowGarbageScore, 1, 0, 0},
      {R::kRowColours, 2, 6, 6},         {R::kRowColours, 1, 3, 3},
      {R::kRowGroupSize, -3, 12, 12},    {R::kRowGroupSize, 1, 2, 2},
      // The left column may become a computer; the right one stays one.
      {R::kRowComLevel, 2, 1, 2},        {R::kRowComLevel, 1, 2, 0},       {R::kRowComLevel, 1, -1, 1},
      {R::kRowComLevel, -1, 2, 0},       {R::kRowComLevel, -1, 1, 2},
  };
  auto value = [&](int side, R::RowKind row) {
    const side_settings& s = select->settings(side);
    switch (row) {
      case R::kRowLevel: return s.level_target;
      case R::kRowClearScore: return s.clear_score;
      case R::kRowGarbageScore: return s.garbage_score;
      case R::kRowColours: return s.colours;
      case R::kRowGroupSize: return s.clear_count;
      default: return s.com_level;
    }
  };
  // The left column first, then (after its confirm) the right one.
  for (int side = 0; side < 2; ++side) {
    for (const Case& c : cases) {
      CursorTo(select, side, c.row);
      for (int i = 0; i < (c.presses > 0 ? c.presses : -c.presses); ++i) Press(c.presses > 0 ? kPadRight : kPadLeft);
      EXPECT_EQ(value(side, c.row), side ? c.side1 : c.side0) << side << " row " << c.row;
    }
    if (side == 0) {
      CursorTo(select, 0, R::kRowPlay);
      Press(C_Custom);
      EXPECT_FALSE(select->active(0));
      EXPECT_TRUE(select->active(1));
    }
  }
}

TEST_F(SelectDouble, AgainstTheComputerBackGoesFromTheRightColumnToTheLeftThenOut) {
  Scene_SelectDouble* select = Open(0);
  Press(kPadUp);  // wraps onto the play row
  EXPECT_EQ(select->rows()[select->cursor(0)], Scene_SelectDouble::kRowPlay);
  Press(C_Custom);
  EXPECT_TRUE(select->active(1));
  Press(B_Custom);
  EXPECT_TRUE(select->active(0));
  EXPECT_FALSE(select->active(1));
  EXPECT_EQ(select->state(), Scene_SelectDouble::kChoosing);
  Press(B_Custom);
  EXPECT_EQ(select->state(), Scene_SelectDouble::kLeavingBack);
  EXPECT_LE(Run(50), 46);
  EXPECT_EQ(requested_scene, kSceneSelectMode);
}

TEST_F(SelectDouble, TwoPeopleLeaveOnlyWhileBothColumnsAreActive) {
  Scene_SelectDouble* select = Open(1);
  ASSERT_EQ(select->rows().size(), 8u);
  Press(kPadUp);
  Press(C_Custom);  // the keyboard's column confirms
  EXPECT_FALSE(select->active(0));
  Press(B_Custom, true);  // pad 1's B: its column is active, the other not: stays
  EXPECT_EQ(select->state(), Scene_SelectDouble::kChoosing);
  Press(B_Custom);  // the keyboard takes its confirm back
  EXPECT_TRUE(select->active(0));
  Press(B_Custom, true);
  EXPECT_EQ(select->state(), Scene_SelectDouble::kLeavingBack);
  EXPECT_LE(Run(50), 46);
  EXPECT_EQ(requested_scene, kSceneTitle);
}

TEST_F(SelectDouble, BothConfirmedLeaveForTheCharacterScreenWithOneSeed) {
  Scene_SelectDouble* select = Open(0);
  Press(kPadUp);
  Press(C_Custom);
  Press(kPadUp);
  Press(C_Custom);
  ASSERT_EQ(select->state(), Scene_SelectDouble::kLeavingOn);
  EXPECT_EQ(select->settings(0).seed, select->settings(1).seed);
  EXPECT_LE(Run(50), 46);
  EXPECT_EQ(requested_scene, kSceneSelectChara);
  SceneValues values;
  select->hand_over(values);
  EXPECT_EQ(values.two_players, 0);
  EXPECT_EQ(values.sides[0].mode, 3);
  EXPECT_EQ(values.sides[1].com_level, 0);
  EXPECT_EQ(values.sides[0].com_level, -1);
}

TEST_F(SelectDouble, BackgroundsAndMusicAreListedAndRestored) {
  WriteFile("bgimages/b.jpg", "x");
  WriteFile("bgimages/a.png", "x");
  WriteFile("bgimages/notes.txt", "x");
  WriteFile("musics/tune.ogg", "x");
  auto* select = new Scene_SelectDouble(0, 0, Person(), Computer(nullptr, 0), "b.jpg", "");
  scene_ = select;
  EXPECT_STREQ(select->background(), "b.jpg");  // found in an entry, kept as remembered
  EXPECT_STREQ(select->music(), "musics\\tune.ogg");
  Run(45);
  CursorTo(select, 0, Scene_SelectDouble::kRowBackground);
  Press(kPadRight);
  EXPECT_STREQ(select->background(), "bgimages\\a.png");
  Run(3);
}

TEST_F(SelectDouble, EmptyMediaFoldersLeaveTheirRowsAlone) {
  Scene_SelectDouble* select = Open(0);
  for (auto row : {Scene_SelectDouble::kRowBackground, Scene_SelectDouble::kRowMusic}) {
    CursorTo(select, 0, row);
    Press(kPadRight);
    Press(kPadLeft);
  }
  EXPECT_STREQ(select->background(), "");
  EXPECT_STREQ(select->music(), "");
}

}  // namespace
