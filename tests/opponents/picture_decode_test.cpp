// The character pictures decode with the engine's own image loader, as the
// character screen loads them from memory: sizes kept, and the face icon
// transparent around the head and opaque in its middle.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/image/base_image.h"
#include "engine/image/image_load.h"
#include "opponents/plugin_api.h"

namespace {

class OpponentPictures : public ::testing::TestWithParam<const char*> {};

TEST_P(OpponentPictures, DecodeWithTheEngineLoader) {
  const std::string path = std::string(VOX_CHARACTERS_DIR) + "/" + GetParam() + ".so";
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  auto lookup = reinterpret_cast<VoxModuleResourceFn>(dlsym(module, VOX_MODULE_RESOURCE_SYMBOL));
  ASSERT_NE(lookup, nullptr);
  struct Picture {
    const char* name;
    int width, height;
    bool transparent;
  };
  for (const Picture& p : {Picture{kOpponentImageName, kOpponentImageWidth, kOpponentImageHeight, false},
                           Picture{kOpponentFaceName, kOpponentFaceSize, kOpponentFaceSize, true}}) {
    uint32_t size = 0;
    const void* bytes = lookup(p.name, reinterpret_cast<const char*>(uintptr_t{kOpponentPictureType}), &size);
    ASSERT_NE(bytes, nullptr) << p.name;
    BASEIMAGE image;
    std::memset(&image, 0, sizeof image);
    ASSERT_EQ(ImportBaseImage(nullptr, bytes, (int)size, 1, &image, 0), 0) << p.name;
    EXPECT_EQ(image.width, p.width) << p.name;
    EXPECT_EQ(image.height, p.height) << p.name;
    if (p.transparent) {
      uint32_t r = 0, g = 0, b = 0, corner = 9, middle = 9;
      ASSERT_EQ(PeekBaseImagePixel(&image, 0, 0, &r, &g, &b, &corner), 0);
      ASSERT_EQ(PeekBaseImagePixel(&image, p.width / 2, p.height / 2, &r, &g, &b, &middle), 0);
      EXPECT_EQ(corner, 0u);
      EXPECT_EQ(middle, 255u);
    }
    DisposeLoadedImage(&image);
  }
  dlclose(module);
}

INSTANTIATE_TEST_SUITE_P(Opponents, OpponentPictures, ::testing::Values("rival1", "rival2", "rival3", "rival4"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
