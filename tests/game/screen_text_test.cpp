// Texts the screens draw from the game's files stay in their places, as the
// engine measures them in the shared fonts: the background and music names
// of the settings screens, over the names the run folder holds and the
// longest the game can show, and the characters' names and descriptions on
// the character screen. And a picture of a chain label in a battle, at the
// top of the right-hand well, where the rules place it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/font/font.h"
#include "engine/graphics/graphics.h"
#include "game/globals.h"
#include "game/media_lists.h"
#include "game/menu.h"
#include "game/scene_select_chara.h"
#include "game/scene_select_double.h"
#include "game/scene_select_single.h"
#include "tests/game/battle_fixture.h"
#include "tests/game/board_fixture.h"

namespace {

class ScreenText : public BattleTest {
 protected:
  void SetUp() override {
    BattleTest::SetUp();
    create_fonts();
  }
  static int Width(const std::string& text, int font) {
    return MeasureStringWidthByFont(text.c_str(), -1, font_table[font], 0);
  }
};

// The names the run folder holds, as the settings screens list them, and
// the longest the game can show: a path cut to 63 bytes, of the widest
// characters, half and full width.
std::vector<std::string> MediaPaths() {
  std::vector<std::string> paths;
  char previous[4096];
  if (!getcwd(previous, sizeof previous) || chdir(VOX_RUN_DIR) != 0) return paths;
  MediaLists lists;
  lists.list_media();
  EXPECT_EQ(chdir(previous), 0);
  paths = lists.backgrounds;
  paths.insert(paths.end(), lists.musics.begin(), lists.musics.end());
  for (const std::string& name : {std::string(60, 'W') + ".ogg", std::string(30, 'M') + "Ｗ漢字" + std::string(30, 'W'),
                                  std::string("夜") + std::string(40, 'W') + "あいうえお漢字.mid"}) {
    char cut[kMediaNameSize];
    copy_media_name(cut, ("musics\\" + name).c_str());
    paths.push_back(cut);
  }
  return paths;
}

TEST_F(ScreenText, MediaNamesEndBeforeTheNextColumn) {
  const std::vector<std::string> paths = MediaPaths();
  ASSERT_GT(paths.size(), 3u + 3u) << "the run folder lists no backgrounds or music";
  const size_t own = paths.size() - 3;
  // Single settings: values from x 240 to the screen's edge. Battle
  // settings: the left values from x 120 to the labels at x 216, the right
  // ones from x 440 to the screen's edge.
  for (size_t i = 0; i < paths.size(); ++i) {
    const char* path = paths[i].c_str();
    SCOPED_TRACE(path);
    const std::string single = Scene_SelectSingle::shown_name(path);
    const std::string left = Scene_SelectDouble::shown_media_name(path, 0);
    const std::string right = Scene_SelectDouble::shown_media_name(path, 1);
    EXPECT_LE(240 + Width(single, kFontValue), 640);
    EXPECT_LT(120 + Width(left, kFontValue), 216);
    EXPECT_LE(440 + Width(right, kFontValue), 640);
    if (i < own) {
      // The game's own names are shown whole, also in the narrow column.
      EXPECT_EQ(left, file_part(path));
      EXPECT_EQ(single, file_part(path));
    } else {
      EXPECT_NE(left, file_part(path));
      EXPECT_GT(Width(left, kFontValue), 60);  // cut to the column, not to nothing
    }
  }
}

TEST_F(ScreenText, FittingKeepsWholeCharactersAndMarksTheCut) {
  EXPECT_EQ(fit_text("abc", kFontValue, 1000), "abc");
  EXPECT_EQ(fit_text("", kFontValue, 0), "");
  const std::string cut = fit_text("あいうえおかきくけこ", kFontValue, 3 * Width("あ", kFontValue) + Width("…", kFontValue));
  EXPECT_EQ(cut, "あいう…");
  EXPECT_EQ(fit_text("WWWW", kFontValue, Width("W…", kFontValue) + Width("W", kFontValue) - 1), "W…");
  EXPECT_EQ(fit_text("WWWW", kFontValue, 1), "…");
}

// Each character's name and description lines, as the screen splits them.
std::vector<std::string> Lines(const char* text) {
  std::vector<std::string> lines(1);
  for (const char* p = text; *p; ++p) {
    if (*p == '\r' && p[1] == '\n') continue;
    if (*p == '\r' || *p == '\n')
      lines.emplace_back();
    else
      lines.back() += *p;
  }
  return lines;
}

TEST_F(ScreenText, NamesAndDescriptionsStayInTheirPanels) {
  auto* chara = new Scene_SelectChara(1, side_settings{}, side_settings{}, "", "");
  scene_ = chara;
  ASSERT_EQ(chara->count(), 4);
  for (int i = 0; i < chara->count(); ++i) {
    const Scene_SelectChara::Character& c = chara->character(i);
    SCOPED_TRACE(std::to_string(i));
    // The pictures stand at the screen's bottom corners, the left one from
    // x 0, the right one up to x 640; the texts are in font 2.
    int width = 0, height = 0;
    ASSERT_EQ(QueryGraphSize(c.picture, &width, &height), 0);
    const int name = Width(c.name, kFontSmall);
    EXPECT_GT(name, 0);
    EXPECT_LE(8 + name, width - 8);         // from x 8, inside the left picture
    EXPECT_GE(632 - name, 640 - width + 8);  // right-aligned to x 632, inside the right one
    const std::vector<std::string> lines = Lines(c.description);
    EXPECT_GE(lines.size(), 2u);
    // Line k at y 360 + 24 k, in a font 16 pixels high: all above the bottom.
    EXPECT_LE(360 + 24 * ((int)lines.size() - 1) + 16, 480);
    const int left = Scene_SelectChara::description_x(0, width), right = Scene_SelectChara::description_x(1, width);
    EXPECT_GE(right, 640 - width + 8);  // the right lines start inside the right picture
    for (const std::string& line : lines) {
      EXPECT_LE(left + Width(line, kFontSmall), width - 8) << line;  // inside the left picture
      EXPECT_LE(right + Width(line, kFontSmall), 640 - 8) << line;  // and the right one
    }
  }
}

// A clear at the top of the right column of the right-hand well: its label
// rises from the start block's centre, measured as the rules measure it, a
// few frames on. Written to test-output/screens/battle-chain-label.png.
TEST_F(ScreenText, AChainLabelAtTheTopOfTheRightWell) {
  std::filesystem::create_directory_symlink(std::string(VOX_RUN_DIR) + "/images", "images");
  std::filesystem::create_directory_symlink(std::string(VOX_RUN_DIR) + "/bgimages", "bgimages");
  clear_image_cache();
  BattleFields fields = MakeBattleFields();
  SetBoard(*fields.right, {".....0", ".....0", ".....0", ".....0", ".....G", ".....G", ".....G", "....GG", "...GGG",
                           "..GGGG", ".GGGGG", "GGGGGG"});
  SettleFrames(*fields.right, 1);
  const Chein_Count* label = fields.right->hud.chain_popups[0];
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->x, fields.right->origin_x + 5 * 32 + 16);
  EXPECT_EQ(label->y, row_top(2));
  for (int frame = 0; frame < 8; ++frame) {
    WipeDrawScreen();
    SetPaintBrightness(255, 255, 255);
    draw_fullscreen("bgimages\\" "花見.jpg");
    fields.left->draw();
    fields.right->draw();
    fields.left->draw_still();
    fields.right->draw_still();
    --fields.right->hud.chain_popups[0]->timer;
  }
  const std::string shots = std::string(VOX_TEST_OUTPUT_DIR) + "/screens";
  std::filesystem::create_directories(shots);
  EXPECT_TRUE(WriteScreenPng(shots + "/battle-chain-label.png"));
  clear_image_cache();
}

}  // namespace
