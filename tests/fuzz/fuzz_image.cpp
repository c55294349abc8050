// Hostile bytes through the image loader: every decoder in turn, then the
// mirrored and DIB results and a read of every corner pixel of what decoded.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/image/base_image.h"
#include "engine/image/image_internal.h"
#include "engine/image/image_load.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Small images keep each run fast; the size checks are the same.
  SetImageByteLimit(16u << 20);
  if (size > 1u << 20) return 0;
  const int flags = size ? data[0] & 3 : 0;
  BASEIMAGE image;
  std::memset(&image, 0, sizeof(image));
  if (ImportBaseImage(nullptr, data, (int)size, 1, &image, flags & 1) == 0) {
    uint32_t r, g, b, a;
    const int xs[2] = {0, image.width - 1}, ys[2] = {0, image.height - 1};
    for (int x : xs)
      for (int y : ys) {
        PeekBaseImagePixel(&image, x, y, &r, &g, &b, &a);
        ReadBaseImagePixelArgb(&image, x, y);
      }
    MirrorBaseImage(&image);
    DisposeBaseImage(&image);
  }
  if (flags & 2) {
    BITMAPINFO* info = nullptr;
    void* bits = nullptr;
    if (LoadImageToBaseImageOrDib(nullptr, data, (int)size, 1, 1, 0, nullptr, &info, &bits) == 0) {
      TrackedFree(bits);
      TrackedFree(info);
    }
  }
  return 0;
}
