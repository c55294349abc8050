// The program's icon: the program carries it as its icon group resource 127
// (a PNG picture the asset generator draws), exports the lookup that finds
// it, and start-up gives the main window that icon. This test program links
// the program's resources the way the program does, so its module answers
// as the program's.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "engine/core/window.h"
#include "game/program.h"
#include "platform/win32/module_resource.h"
#include "platform/win32/window.h"
#include "tests/support/temp_dir.h"

namespace {

struct OffscreenVideo {
  OffscreenVideo() { setenv("SDL_VIDEODRIVER", "offscreen", 1); }
} g_offscreen_video;

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
  uint8_t alpha(int x, int y) const { return rgba[((size_t)y * width + x) * 4 + 3]; }
};

bool Decode(const void* bytes, size_t size, Picture* picture) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes, size)) return false;
  image.format = PNG_FORMAT_RGBA;
  picture->width = (int)image.width;
  picture->height = (int)image.height;
  picture->rgba.resize(PNG_IMAGE_SIZE(image));
  return png_image_finish_read(&image, nullptr, picture->rgba.data(), 0, nullptr) != 0;
}

TEST(ProgramIcon, IsGroupResource127OfTheProgramAndDecodesWithClearCorners) {
  HMODULE program = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(127), RT_GROUP_ICON);
  ASSERT_NE(found, nullptr);
  const void* bytes = LockResource(LoadResource(program, found));
  ASSERT_NE(bytes, nullptr);
  Picture icon;
  ASSERT_TRUE(Decode(bytes, SizeofResource(program, found), &icon));
  EXPECT_EQ(icon.width, 64);
  EXPECT_EQ(icon.height, 64);
  // Blocks with rounded corners on a clear ground: the picture's corners
  // (at most a trace of the shadow) and the free quarter at the top left
  // are clear, the blocks opaque.
  for (auto [x, y] : {std::pair{0, 0}, std::pair{63, 0}, std::pair{0, 63}, std::pair{63, 63}, std::pair{16, 16}})
    EXPECT_LT(icon.alpha(x, y), 8) << x << ", " << y;
  for (auto [x, y] : {std::pair{17, 46}, std::pair{46, 46}, std::pair{46, 17}}) EXPECT_EQ(icon.alpha(x, y), 255);
  // Only an icon group answers to 127.
  EXPECT_EQ(FindResourceA(program, MAKEINTRESOURCEA(127), MAKEINTRESOURCEA(3)), nullptr);
}

TEST(ProgramIcon, TheProgramExportsItsResourceLookup) {
  const std::string command = std::string(VOX_NM) + " -D --defined-only " + VOX_PROGRAM;
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  bool exported = false;
  char line[512];
  while (fgets(line, sizeof line, pipe)) {
    std::istringstream fields(line);
    std::string address, kind, name;
    if (fields >> address >> kind >> name && name == VOX_MODULE_RESOURCE_SYMBOL) exported = kind == "T";
  }
  ASSERT_EQ(pclose(pipe), 0) << command;
  EXPECT_TRUE(exported) << VOX_PROGRAM << " does not export " << VOX_MODULE_RESOURCE_SYMBOL;
}

class ProgramIconStartUp : public TempDirTest {};

TEST_F(ProgramIconStartUp, TheMainWindowShowsTheProgramsIcon) {
  HICON icon = LoadIconA((HINSTANCE)GetModuleHandleA(nullptr), MAKEINTRESOURCEA(127));
  ASSERT_FALSE(IS_INTRESOURCE(icon));
  ASSERT_TRUE(init_screen());
  EXPECT_EQ(GetShownWindowIcon(GetMainWindow()), icon);
  // Set again while the window exists: the class keeps the same icon.
  SetWindowIconResource(127);
  EXPECT_EQ(GetShownWindowIcon(GetMainWindow()), icon);
  EXPECT_TRUE(end_game());
}

}  // namespace
