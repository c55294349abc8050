// The fast rows of the DIB present against the per-pixel conversion: the
// same bytes on the surface for every DIB layout, surface format, scale,
// clip and odd size, over seeded random pixels.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "platform/win32/dib_rows.h"

using namespace vox_win32;

namespace {

struct Layout {
  const char* name;
  int bpp;
  uint32_t masks[3];
};
const Layout kLayouts[] = {
    {"565", 16, {0xF800, 0x07E0, 0x001F}},         {"555", 16, {0x7C00, 0x03E0, 0x001F}},
    {"444", 16, {0x0F00, 0x00F0, 0x000F}},         {"8-bit channels in 16", 16, {0xFF00, 0x00F0, 0x000F}},
    {"RGB 24", 24, {0xFF0000, 0x00FF00, 0x0000FF}}, {"XRGB", 32, {0xFF0000, 0x00FF00, 0x0000FF}},
    {"XBGR", 32, {0x0000FF, 0x00FF00, 0xFF0000}},  {"RGBX", 32, {0xFF000000, 0x00FF0000, 0x0000FF00}},
    {"565 in 32", 32, {0xF800, 0x07E0, 0x001F}},   {"split mask", 32, {0x80000001, 0x00FF00, 0x0000FF}},
};
const uint32_t kSurfaceFormats[] = {SDL_PIXELFORMAT_XRGB8888, SDL_PIXELFORMAT_ARGB8888, SDL_PIXELFORMAT_XBGR8888,
                                    SDL_PIXELFORMAT_RGB565, SDL_PIXELFORMAT_RGB24};

// Source rectangle (x, y, w, h) and where it goes on a 1000 x 760 surface.
struct Scale {
  int sx, sy, sw, sh;
  SDL_Rect to;
};
const Scale kScales[] = {
    {0, 0, 640, 480, {0, 0, 640, 480}},      // the window at scale 1
    {0, 0, 640, 480, {0, 0, 960, 720}},      // scale 1.5
    {0, 240, 320, 240, {0, 0, 640, 480}},    // doubling
    {0, 0, 37, 11, {3, 5, 37, 11}},          // odd size, unscaled, offset
    {1, 2, 33, 9, {7, 1, 50, 14}},           // odd size, about 1.5
    {2, 1, 13, 5, {0, 0, 39, 17}},           // three times wide
    {0, 0, 640, 480, {20, 10, 400, 300}},    // shrunk (letterboxed full screen)
    {0, 0, 640, 480, {-30, -20, 960, 720}},  // clipped on the left and top
    {0, 0, 640, 480, {500, 400, 960, 720}},  // clipped on the right and bottom
    {5, 3, 1, 1, {0, 0, 17, 3}},             // one pixel spread over many
};

TEST(DibRows, FastRowsMatchThePerPixelConversion) {
  constexpr int kWidth = 641, kHeight = 483;  // odd, so the rows carry padding
  std::mt19937 random(20261210);
  std::printf("seed 20261210\n");
  // Both surfaces of a format are made once and start every case from the
  // same pattern, so whatever a draw leaves outside its area shows too.
  struct Pair {
    SDL_Surface* fast;
    SDL_Surface* reference;
    std::vector<uint8_t> pattern;
  };
  std::vector<Pair> pairs;
  for (uint32_t format : kSurfaceFormats) {
    Pair p{SDL_CreateRGBSurfaceWithFormat(0, 1000, 760, 32, format),
           SDL_CreateRGBSurfaceWithFormat(0, 1000, 760, 32, format), {}};
    ASSERT_TRUE(p.fast && p.reference) << SDL_GetError();
    p.pattern.resize((size_t)p.fast->pitch * p.fast->h);
    for (size_t i = 0; i < p.pattern.size(); i++) p.pattern[i] = (uint8_t)(i * 7);
    pairs.push_back(std::move(p));
  }
  for (const Layout& layout : kLayouts) {
    const size_t stride = (size_t)DibRowBytes(kWidth, layout.bpp);
    std::vector<uint8_t> bits(stride * kHeight);
    for (uint8_t& b : bits) b = (uint8_t)random();
    for (const Pair& pair : pairs) {
      SDL_Surface* fast = pair.fast;
      SDL_Surface* reference = pair.reference;
      const size_t bytes = pair.pattern.size();
      for (const Scale& s : kScales) {
        for (bool top_down : {true, false}) {
          std::memcpy(fast->pixels, pair.pattern.data(), bytes);
          std::memcpy(reference->pixels, pair.pattern.data(), bytes);
          SDL_Rect clip{0, 0, fast->w, fast->h}, visible;
          ASSERT_TRUE(SDL_IntersectRect(&s.to, &clip, &visible));
          const DibPlacement place{s.sx, s.sy, s.sw, s.sh, s.to, visible};
          DrawDibToSurface(fast, place, bits.data(), stride, kHeight, top_down, layout.bpp, layout.masks);
          DrawDibToSurface(reference, place, bits.data(), stride, kHeight, top_down, layout.bpp, layout.masks, true);
          EXPECT_EQ(std::memcmp(fast->pixels, reference->pixels, bytes), 0)
              << layout.name << " onto " << SDL_GetPixelFormatName(fast->format->format) << ", " << s.sw << " x "
              << s.sh << " onto " << s.to.w << " x " << s.to.h << " at " << s.to.x << ", " << s.to.y
              << (top_down ? ", top-down" : ", bottom-up");
        }
      }
    }
  }
  for (Pair& p : pairs) {
    SDL_FreeSurface(p.fast);
    SDL_FreeSurface(p.reference);
  }
}

// The rounding the vector rows use for 5- and 6-bit channels, against the
// rule itself at the corners of the 565 range.
TEST(DibRows, FiveAndSixBitChannelsRoundToTheNearest) {
  const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
  const uint16_t pixels[8] = {0x0000, 0xFFFF, 0x0821, 0xF7DE, 0x8410, 0x7BEF, 0xF800, 0x07E0};
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, 8, 1, 32, SDL_PIXELFORMAT_XRGB8888);
  ASSERT_NE(surface, nullptr);
  const DibPlacement place{0, 0, 8, 1, {0, 0, 8, 1}, {0, 0, 8, 1}};
  DrawDibToSurface(surface, place, reinterpret_cast<const uint8_t*>(pixels), 16, 1, true, 16, masks);
  const uint32_t expected[8] = {0x000000, 0xFFFFFF, 0x080408, 0xF7FBF7, 0x848284, 0x7B7D7B, 0xFF0000, 0x00FF00};
  for (int i = 0; i < 8; i++) EXPECT_EQ(static_cast<uint32_t*>(surface->pixels)[i], expected[i]) << i;
  SDL_FreeSurface(surface);
}

}  // namespace
