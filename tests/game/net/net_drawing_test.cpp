// What a net battle shows: every frame of play, also one in which the battle
// stands still waiting for the other machine's input, shows both fields with
// every block where it stands. Two battle scenes over a connected pair, the
// blocks drawn as plain colours, the screen read back after each frame.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/graphics/graphics.h"
#include "game/caches.h"
#include "game/field.h"
#include "game/hud.h"
#include "game/test_script.h"
#include "tests/game/net/net_scene_fixture.h"

namespace {

// Block colours 0-6 as the test draws them: far apart, so a block's pixel
// names its colour.
constexpr int kColours[7][3] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},    {255, 255, 0},
                                {255, 0, 255}, {0, 255, 255}, {128, 128, 128}};

class NetDrawingTest : public TwoMachinesTest {
 protected:
  void SetUp() override {
    TwoMachinesTest::SetUp();
    std::filesystem::create_directories("images");
    for (int c = 0; c < 7; ++c) {
      const uint32_t rgb = (uint32_t)kColours[c][0] << 16 | (uint32_t)kColours[c][1] << 8 | kColours[c][2];
      const std::string name = "images/block" + std::to_string(c) + ".png";
      ASSERT_TRUE(write_png_file(name.c_str(), std::vector<uint32_t>(32 * 32, rgb), 32, 32));
    }
    clear_image_cache();  // earlier tests may have asked for blocks there were no files for
    OpenBattles(4242);
  }
  void TearDown() override {
    clear_image_cache();
    TwoMachinesTest::TearDown();
  }

  // One frame of one machine as the frame loop runs it: the screen cleared,
  // then the scene's step.
  void Step(int machine, int held) {
    WipeDrawScreen();
    Feed(held);
    m_[machine].step(0);
  }

  // The blocks of a field that the screen does not show with their colour,
  // as "row,column" texts. Blocks partly outside the well, vanishing, or
  // under a chain label are not looked at.
  static std::vector<std::string> Missing(const Field& f) {
    std::vector<std::string> missing;
    if (!GetScreenMemImage()) return {"no screen"};
    for (int r = 0; r < kBoardRows; ++r)
      for (int c = 0; c < kBoardColumns; ++c) {
        const Block* b = f.board[r][c];
        if (!b || b->vanish != 0 || b->y < 80 || b->y + 32 > 464) continue;
        const int x = (int)b->x + 16, y = (int)b->y + 16;
        bool labelled = false;
        for (const Chein_Count* label : f.hud.chain_popups)
          if (label && std::abs(label->x - x) < 48 && label->y - 48 < y && y < label->y + 24) labelled = true;
        if (labelled) continue;
        const uint32_t rgb = ScreenPixel(x, y);
        bool same = true;
        for (int k = 0; k < 3; ++k) same &= std::abs((int)(rgb >> (16 - 8 * k) & 0xFF) - kColours[b->colour][k]) <= 8;
        if (!same) missing.push_back(std::to_string(r) + "," + std::to_string(c));
      }
    return missing;
  }
};

TEST_F(NetDrawingTest, EveryFrameOfPlayShowsBothFieldsAlsoWhileWaitingForThePeer) {
  // The first machine runs on alone now and then: from the input delay on it
  // waits for the second machine's records.
  int frames = 0, waited = 0, failures = 0, blocks_seen = 0;
  for (int round = 0; round < 6000 && failures < 5; ++round) {
    const bool alone = round % 40 >= 30;
    for (int machine = 0; machine < (alone ? 1 : 2); ++machine) {
      Step(machine, kPadDown);
      Scene_Network* battle = m_[machine].battle();
      if (battle->state() != Scene_Double::kMatch) continue;
      ++frames;
      waited += battle->waited_for_peer();
      for (const Field* f : {(const Field*)battle->local_field(), (const Field*)battle->peer_field()}) {
        const std::vector<std::string> missing = Missing(*f);
        for (const auto& row : f->board)
          for (const Block* b : row) blocks_seen += b && b->y >= 80;
        if (!missing.empty()) {
          ++failures;
          ADD_FAILURE() << "machine " << machine << (battle->waited_for_peer() ? ", waiting" : "") << ", field at x "
                        << f->origin_x << ": blocks not shown at " << ::testing::PrintToString(missing);
        }
      }
    }
    if (!alone) {
      sleep_us(200);
      Deliver();
    }
    if (m_[0].battle()->state() >= Scene_Double::kLeftWon && m_[1].battle()->state() >= Scene_Double::kLeftWon) break;
  }
  EXPECT_GT(frames, 100);
  EXPECT_GT(waited, 10);
  EXPECT_GT(blocks_seen, 100);
}

}  // namespace
