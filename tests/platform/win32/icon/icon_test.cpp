// Icons: LoadIconA decodes a module's icon group resource (a PNG picture),
// and a window shows its class's icon. The test program stands for a
// program with icon resources: it exports the resource lookup itself and
// serves what each test puts into `g_icons`.
#include <SDL.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <map>
#include <string>

#include "platform/win32/module_resource.h"
#include "platform/win32/window.h"

namespace {

// Windows here are made under SDL's offscreen driver, which keeps the icon
// SDL is given as a real desktop would.
struct OffscreenVideo {
  OffscreenVideo() { setenv("SDL_VIDEODRIVER", "offscreen", 1); }
} g_offscreen_video;

// Icon group resources (type 14) of this program, by id.
std::map<uint16_t, std::string> g_icons;

std::string Png(int width, int height, uint32_t rgba) {
  std::string pixels;
  for (int i = 0; i < width * height; ++i)
    for (int shift : {24, 16, 8, 0}) pixels.push_back((char)(rgba >> shift));
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = (png_uint_32)width;
  image.height = (png_uint_32)height;
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr));
  std::string png(size, '\0');
  EXPECT_TRUE(png_image_write_to_memory(&image, png.data(), &size, 0, pixels.data(), 0, nullptr));
  png.resize(size);
  return png;
}

const HICON kDefaultIcon = (HICON)(uintptr_t)IDI_APPLICATION_ID;

HMODULE Program() { return GetModuleHandleA(nullptr); }

LRESULT PlainProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const void* VoxModuleResource(const char* name, const char* type,
                                                                                 uint32_t* size) {
  if (!IS_INTRESOURCE(name) || type != RT_GROUP_ICON) return nullptr;
  auto found = g_icons.find((uint16_t)(uintptr_t)name);
  if (found == g_icons.end()) return nullptr;
  *size = (uint32_t)found->second.size();
  return found->second.data();
}

namespace {

class IconTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_icons.clear();
    g_icons[127] = Png(32, 32, 0xE84052FF);
    g_icons[128] = Png(64, 64, 0x3476EC80);
  }
  void TearDown() override { g_icons.clear(); }
};

TEST_F(IconTest, TheProgramsIconGroupResourceBecomesOneIcon) {
  HICON icon = LoadIconA(Program(), MAKEINTRESOURCEA(127));
  ASSERT_FALSE(IS_INTRESOURCE(icon));
  // Loaded again, under its "#id" name too, or the same picture from
  // elsewhere: the same icon, not another copy.
  EXPECT_EQ(LoadIconA(Program(), MAKEINTRESOURCEA(127)), icon);
  EXPECT_EQ(LoadIconA(Program(), "#127"), icon);
  g_icons[133] = std::string(g_icons[127].begin(), g_icons[127].end());
  EXPECT_EQ(LoadIconA(Program(), MAKEINTRESOURCEA(133)), icon);
  HICON other = LoadIconA(Program(), MAKEINTRESOURCEA(128));
  EXPECT_FALSE(IS_INTRESOURCE(other));
  EXPECT_NE(other, icon);
}

TEST_F(IconTest, WithoutADecodableIconTheDefaultIconStands) {
  const std::string good = g_icons[127];
  g_icons[129] = good.substr(0, good.size() / 2);  // cut short
  g_icons[130] = "not a picture at all";
  g_icons[131] = Png(257, 1, 0xFFFFFFFF);  // wider than any icon
  for (uint16_t id : {129, 130, 131, 132})  // 132: no such resource
    EXPECT_EQ(LoadIconA(Program(), MAKEINTRESOURCEA(id)), kDefaultIcon) << id;
  // The system's icons: a null instance names them by id.
  EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(IDI_APPLICATION_ID)), kDefaultIcon);
  EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(127)), (HICON)(uintptr_t)127);
  // A module with resources but no icon, and one with no resources at all.
  void* resources = dlopen(VOX_TEST_MODULE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(resources, nullptr) << dlerror();
  EXPECT_EQ(LoadIconA((HINSTANCE)resources, MAKEINTRESOURCEA(127)), kDefaultIcon);
  dlclose(resources);
  Dl_info png_library;
  ASSERT_NE(dladdr((void*)&png_image_free, &png_library), 0);
  void* plain = dlopen(png_library.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(plain, nullptr) << dlerror();
  EXPECT_EQ(LoadIconA((HINSTANCE)plain, MAKEINTRESOURCEA(127)), kDefaultIcon);
  dlclose(plain);
}

TEST_F(IconTest, AWindowShowsItsClassIconAndTheOneTheClassIsGivenLater) {
  HICON red = LoadIconA(Program(), MAKEINTRESOURCEA(127));
  HICON blue = LoadIconA(Program(), MAKEINTRESOURCEA(128));
  ASSERT_FALSE(IS_INTRESOURCE(red));
  ASSERT_FALSE(IS_INTRESOURCE(blue));
  WNDCLASSEXA with_icon{};
  with_icon.cbSize = sizeof with_icon;
  with_icon.lpfnWndProc = PlainProc;
  with_icon.hIcon = red;
  with_icon.lpszClassName = "VoxIconTest";
  WNDCLASSEXA without = with_icon;
  without.hIcon = LoadIconA(Program(), MAKEINTRESOURCEA(IDI_APPLICATION_ID));
  without.lpszClassName = "VoxIconTestDefault";
  ASSERT_NE(RegisterClassExA(&with_icon), 0);
  ASSERT_NE(RegisterClassExA(&without), 0);
  HWND first = CreateWindowExA(0, "VoxIconTest", "icon", WS_POPUP | WS_CAPTION, 0, 0, 64, 64, nullptr, nullptr,
                               (HINSTANCE)Program(), nullptr);
  HWND second = CreateWindowExA(0, "VoxIconTest", "icon", WS_POPUP | WS_CAPTION, 0, 0, 64, 64, nullptr, nullptr,
                                (HINSTANCE)Program(), nullptr);
  HWND plain = CreateWindowExA(0, "VoxIconTestDefault", "plain", WS_POPUP | WS_CAPTION, 0, 0, 64, 64, nullptr,
                               nullptr, (HINSTANCE)Program(), nullptr);
  ASSERT_TRUE(first && second && plain);
  ASSERT_STREQ(SDL_GetCurrentVideoDriver(), "offscreen");
  EXPECT_EQ(GetShownWindowIcon(first), red);
  EXPECT_EQ(GetShownWindowIcon(plain), nullptr);  // the desktop's own icon

  // A new class icon reaches every window of the class.
  EXPECT_EQ(SetClassLongA(first, GCL_HICON, (uintptr_t)blue), (uintptr_t)red);
  EXPECT_EQ(GetShownWindowIcon(first), blue);
  EXPECT_EQ(GetShownWindowIcon(second), blue);
  EXPECT_EQ(GetShownWindowIcon(plain), nullptr);
  SetClassLongA(plain, GCL_HICON, (uintptr_t)red);
  EXPECT_EQ(GetShownWindowIcon(plain), red);
  // SDL cannot take a picture back from a window: going back to the system
  // icon leaves the last picture shown, and the record says so.
  SetClassLongA(first, GCL_HICON, (uintptr_t)kDefaultIcon);
  EXPECT_EQ(GetShownWindowIcon(first), blue);

  for (HWND w : {first, second, plain}) EXPECT_TRUE(DestroyWindow(w));
  EXPECT_EQ(GetShownWindowIcon(first), nullptr);
  EXPECT_TRUE(UnregisterClassA("VoxIconTest", nullptr));
  EXPECT_TRUE(UnregisterClassA("VoxIconTestDefault", nullptr));
}

}  // namespace
