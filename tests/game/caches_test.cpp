// The name caches over real files in a temporary folder, with the engine
// started headless so graphs and sounds really load.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/graphics/graphics.h"
#include "game/caches.h"
#include "tests/game/headless_engine.h"
#include "tests/support/temp_dir.h"

namespace {

// A 2 x 2 24-bit bitmap.
std::string TinyBmp() {
  std::vector<uint8_t> b = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0,
                            1, 0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0,
                            0, 0, 0, 0};
  for (int row = 0; row < 2; ++row) {
    for (int i = 0; i < 6; ++i) b.push_back(0x80);
    b.push_back(0);
    b.push_back(0);
  }
  return std::string(b.begin(), b.end());
}

class CachesTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    ASSERT_TRUE(StartHeadlessEngine());
    std::filesystem::create_directory(Path("images"));
  }
};

TEST_F(CachesTest, ImageNamesAreTriedWithSuffixesAndKeptOnce) {
  WriteFile("images/a.bmp", TinyBmp());
  int a = load_image("images\\a");
  ASSERT_GE(a, 0);
  EXPECT_EQ(load_image("images\\a"), a);
  EXPECT_EQ(load_image("images\\a.bmp"), load_image("images\\a.bmp"));
  EXPECT_NE(load_image("images\\a.bmp"), a);  // another name, another load

  // The first existing name ends the search even when it does not decode.
  WriteFile("images/b.jpg", "not a picture");
  WriteFile("images/b.bmp", TinyBmp());
  EXPECT_EQ(load_image("images\\b"), -1);
  // A failure is remembered: the file appearing later changes nothing.
  EXPECT_EQ(load_image("images\\c"), -1);
  WriteFile("images/c.bmp", TinyBmp());
  EXPECT_EQ(load_image("images\\c"), -1);

  // After a window-mode change the cache is emptied and images load again.
  uint32_t generation = image_cache_generation();
  clear_image_cache();
  EXPECT_NE(image_cache_generation(), generation);
  EXPECT_GE(load_image("images\\c"), 0);
}

TEST_F(CachesTest, OverlongNamesAreRefused) {
  std::string name = "images\\" + std::string(60, 'x');
  WriteFile("images/" + std::string(60, 'x'), TinyBmp());
  EXPECT_EQ(load_image(name.c_str()), -1);
  EXPECT_EQ(load_se(name.c_str()), -1);
}

TEST(CacheVolume, PercentBecomesEngineVolume) {
  EXPECT_EQ(engine_volume(100), 255);
  EXPECT_EQ(engine_volume(50), 127);
  EXPECT_EQ(engine_volume(5), 12);
  EXPECT_EQ(engine_volume(0), 0);
}

}  // namespace
