// The DIB layout rules every DIB reader shares: row stride, the channel
// masks of each layout, and the shift and width of a bit-field mask.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32/dib.h"

using namespace vox_win32;

namespace {

TEST(DibLayout, RowsArePaddedToWholeWords) {
  struct Case {
    int64_t width;
    int bits;
    int64_t bytes;
  } cases[] = {{1, 1, 4}, {32, 1, 4}, {33, 1, 8}, {3, 8, 4}, {5, 8, 8}, {1, 24, 4}, {3, 24, 12},
               {5, 16, 12}, {640, 16, 1280}, {7, 32, 28}, {0, 32, 0}};
  for (const Case& c : cases) EXPECT_EQ(DibRowBytes(c.width, c.bits), c.bytes) << c.width << " x " << c.bits;
}

TEST(DibLayout, ChannelMasksOfEachLayout) {
  struct {
    BITMAPINFOHEADER header;
    uint32_t fields[3];
  } info{};
  const BITMAPINFO* as_info = reinterpret_cast<const BITMAPINFO*>(&info);
  struct Case {
    int bits;
    uint32_t compression;
    bool known;
    uint32_t red, green, blue;
  } cases[] = {
      {16, BI_RGB, true, 0x7C00, 0x03E0, 0x001F},        {24, BI_RGB, true, 0xFF0000, 0xFF00, 0xFF},
      {32, BI_RGB, true, 0xFF0000, 0xFF00, 0xFF},        {16, BI_BITFIELDS, true, 0xF800, 0x07E0, 0x001F},
      {32, BI_BITFIELDS, true, 0xF800, 0x07E0, 0x001F},  {24, BI_BITFIELDS, false, 0, 0, 0},
      {8, BI_RGB, false, 0, 0, 0},                       {8, BI_RLE8, false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    info.header.biBitCount = (WORD)c.bits;
    info.header.biCompression = c.compression;
    info.fields[0] = 0xF800, info.fields[1] = 0x07E0, info.fields[2] = 0x001F;
    uint32_t masks[3] = {};
    ASSERT_EQ(DibChannelMasks(as_info, masks), c.known) << c.bits << " bits, compression " << c.compression;
    if (!c.known) continue;
    EXPECT_EQ(masks[0], c.red);
    EXPECT_EQ(masks[1], c.green);
    EXPECT_EQ(masks[2], c.blue);
  }
}

TEST(DibLayout, BitFieldShiftAndWidth) {
  struct Case {
    uint32_t mask;
    int shift, width;
  } cases[] = {{0, 0, 0},          {0x1F, 0, 5},         {0x07E0, 5, 6},       {0xF800, 11, 5},
               {0xFF000000, 24, 8}, {0xFFFFFFFF, 0, 32}, {0x80000000, 31, 1}, {0x0F0F, 0, 4}};
  for (const Case& c : cases) {
    EXPECT_EQ(BitFieldShift(c.mask), c.shift) << std::hex << c.mask;
    EXPECT_EQ(BitFieldWidth(c.mask), c.width) << std::hex << c.mask;
  }
}

}  // namespace
