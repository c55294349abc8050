// PNG decoder through libpng: the library reads through the engine's stream
// and its errors come back through its jump buffer.
#include <png.h>

#include <csetjmp>
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/log.h"
#include "engine/image/image_internal.h"
#include "engine/image/image_load.h"

namespace {

constexpr uint32_t kMaxPngSide = 1u << 16;

void PngReadFromStream(png_structp png, png_bytep data, png_size_t length) {
  StreamSpan* in = static_cast<StreamSpan*>(png_get_io_ptr(png));
  if ((int64_t)length > in->Left() || !StreamReadExact(in->stream, data, length)) png_error(png, "Read Error");
}

// The library's messages go to the engine log.
void PngErrorMessage(png_structp png, png_const_charp message) {
  WriteLogFormat("libpng error: %s", message);
  png_longjmp(png, 1);
}
void PngWarningMessage(png_structp, png_const_charp message) { WriteLogFormat("libpng warning: %s", message); }

void PngUseStream(png_structp png, StreamSpan* in, StreamRecord* stream) {
  *in = SpanFromHere(stream);
  png_set_read_fn(png, in, PngReadFromStream);
}

// What a failed decode must release; reached from the jump buffer, so it
// lives outside the frame that calls setjmp.
struct PngWork {
  png_structp png = nullptr;
  png_infop info = nullptr;
  png_bytep* rows = nullptr;
  uint8_t* pixels = nullptr;
  void Release() {
    TrackedFree(rows);
    TrackedFree(pixels);
    rows = nullptr;
    pixels = nullptr;
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
};

int ReadPng(PngWork* w, StreamSpan* in, StreamRecord* stream, BASEIMAGE* image) {
  if (setjmp(png_jmpbuf(w->png))) {
    w->Release();
    return -1;
  }
  PngUseStream(w->png, in, stream);
  png_set_sig_bytes(w->png, 0);
  png_set_user_limits(w->png, kMaxPngSide, kMaxPngSide);
  png_read_info(w->png, w->info);
  png_uint_32 width = 0, height = 0;
  int bit_depth = 0, colour_type = 0, interlace = 0;
  png_get_IHDR(w->png, w->info, &width, &height, &bit_depth, &colour_type, &interlace, nullptr, nullptr);

  png_set_strip_16(w->png);
  png_set_packing(w->png);
  png_set_packswap(w->png);
  const bool transparency = png_get_valid(w->png, w->info, PNG_INFO_tRNS) != 0;
  if ((colour_type == PNG_COLOR_TYPE_GRAY && bit_depth <= 8) || transparency) png_set_expand(w->png);
  png_set_bgr(w->png);
  png_set_interlace_handling(w->png);
  png_read_update_info(w->png, w->info);
  const png_size_t row_bytes = png_get_rowbytes(w->png, w->info);
  const int channels = png_get_channels(w->png, w->info);

  if (!CheckedImageBytes((int64_t)row_bytes, height, 1, 1, nullptr)) png_error(w->png, "Image too large");
  w->rows = (png_bytep*)TrackedAlloc((uint32_t)(sizeof(png_bytep) * height), "", 0);
  w->pixels = (uint8_t*)TrackedAlloc((uint32_t)(row_bytes * height), "", 0);
  if (!w->rows || !w->pixels) png_error(w->png, "Out of memory");
  for (png_uint_32 y = 0; y < height; ++y) w->rows[y] = w->pixels + (size_t)y * row_bytes;
  png_read_image(w->png, w->rows);
  TrackedFree(w->rows);
  w->rows = nullptr;
  png_read_end(w->png, nullptr);

  PIXELFORMAT* f = &image->format;
  if (colour_type == PNG_COLOR_TYPE_PALETTE && !transparency) {
    InitPalettedPixelFormat(f);
    png_colorp palette = nullptr;
    int entries = 0;
    png_get_PLTE(w->png, w->info, &palette, &entries);
    for (int i = 0; i < 256; ++i) {
      f->palette[i] = i < entries ? PaletteEntry{palette[i].blue, palette[i].green, palette[i].red, 0}
                                  : PaletteEntry{0, 0, 0, 0};
    }
  } else if (colour_type == PNG_COLOR_TYPE_GRAY || colour_type == PNG_COLOR_TYPE_GRAY_ALPHA) {
    if (row_bytes >= (png_size_t)width * 2) {
      // Grey then alpha: every colour channel reads the grey byte; the alpha
      // byte is spare.
      InitPixelFormatFromMasks(f, 16, 0, 0, 0, 0);
      f->red_width = f->green_width = f->blue_width = 8;
      f->red_mask = f->green_mask = f->blue_mask = 0xFF;
      f->spare_mask = 0xFF00;
      f->spare_shift = 8;
      f->spare_width = 8;
    } else {
      InitGreyPixelFormat(f);
    }
  } else if (channels == 4) {
    InitArgbPixelFormat(f);
  } else {
    InitRgb24PixelFormat(f);
  }
  SetDecodedImage(image, width, height, (int64_t)row_bytes, w->pixels);
  w->pixels = nullptr;
  w->Release();
  return 0;
}

}  // namespace

int DecodePngImage(StreamRecord* stream, BASEIMAGE* image) {
  // Data without the PNG signature is not ours: refused before the library
  // would report it as an error.
  uint8_t signature[8];
  if (!PeekImageSignature(stream, signature, sizeof(signature)) || png_sig_cmp(signature, 0, sizeof(signature)) != 0)
    return -1;
  PngWork work;
  work.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngErrorMessage, PngWarningMessage);
  if (!work.png) return -1;
  work.info = png_create_info_struct(work.png);
  if (!work.info) {
    png_destroy_read_struct(&work.png, nullptr, nullptr);
    return -1;
  }
  StreamSpan input{};
  return ReadPng(&work, &input, stream, image);
}
