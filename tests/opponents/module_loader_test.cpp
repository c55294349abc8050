// The plug-ins through the kernel stand-in, the road the character screen
// takes: LoadLibraryA("characters\<name>"), GetProcAddress, and the four
// resources through FindResourceA / SizeofResource / LoadResource /
// LockResource.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "opponents/plugin_api.h"
#include "platform/win32/win32.h"

namespace {

class OpponentThroughTheKernel : public ::testing::TestWithParam<const char*> {
 protected:
  // The game runs with the run folder as its current folder.
  void SetUp() override {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    previous_ = cwd;
    ASSERT_EQ(chdir(VOX_RUN_DIR), 0);
  }
  void TearDown() override { ASSERT_EQ(chdir(previous_.c_str()), 0); }
  std::string previous_;
};

TEST_P(OpponentThroughTheKernel, LoadsBindsAndReadsTheResources) {
  const std::string path = std::string("characters\\") + GetParam() + ".so";
  HMODULE module = LoadLibraryA(path.c_str());
  ASSERT_NE(module, nullptr) << path;
  for (const char* name : kOpponentExportNames) EXPECT_NE(GetProcAddress(module, name), nullptr) << name;

  auto resource_name = [&](const char* getter) {
    return reinterpret_cast<OpponentResourceNameFn>(GetProcAddress(module, getter))();
  };
  struct Wanted {
    const char* getter;
    uint16_t type;
    DWORD limit;
  };
  for (const Wanted& w : {Wanted{VOX_OPPONENT_GET_GRAPHIC_NAME, kOpponentPictureType, 0},
                          Wanted{VOX_OPPONENT_GET_FACE_NAME, kOpponentPictureType, 0},
                          Wanted{VOX_OPPONENT_GET_CHARA_NAME, kOpponentTextType, kOpponentNameLimit},
                          Wanted{VOX_OPPONENT_GET_CHARA_DESCRIPT, kOpponentTextType, kOpponentDescriptLimit}}) {
    HRSRC found = FindResourceA(module, resource_name(w.getter), MAKEINTRESOURCEA(w.type));
    ASSERT_NE(found, nullptr) << w.getter;
    const DWORD size = SizeofResource(module, found);
    EXPECT_GT(size, 0u);
    if (w.limit) {
      EXPECT_LT(size, w.limit) << w.getter;
    }
    const void* bytes = LockResource(LoadResource(module, found));
    ASSERT_NE(bytes, nullptr);
    if (w.type == kOpponentPictureType) {
      EXPECT_EQ(std::memcmp(bytes, "\x89PNG", 4), 0) << w.getter;
    }
  }
  // A picture asked for as a text is not there.
  EXPECT_EQ(FindResourceA(module, "IMAGE", MAKEINTRESOURCEA(kOpponentTextType)), nullptr);
  EXPECT_TRUE(FreeLibrary(module));
}

INSTANTIATE_TEST_SUITE_P(Opponents, OpponentThroughTheKernel, ::testing::Values("rival1", "rival2", "rival3", "rival4"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
