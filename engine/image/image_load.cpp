// The loader: offers a file or memory block to each format decoder in turn
// and hands the first result out as a base image or in DIB form; also the
// loading of an image together with its "_a" alpha image.
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/file.h"
#include "engine/image/image_internal.h"
#include "engine/image/image_load.h"

const ImageDecoder ImageDecoderTable[] = {DecodeBmpImage,     DecodeJpegImage, DecodePngImage,
                                          DecodeRawBgraImage, DecodeTgaImage,  DecodeDdsImage,
                                          nullptr};

int RunImageDecoders(StreamRecord* stream, BASEIMAGE* image) {
  for (const ImageDecoder* decoder = ImageDecoderTable; *decoder; ++decoder) {
    stream->ops.seek(stream->data, 0, 0);
    std::memset(image, 0, sizeof(*image));
    if ((*decoder)(stream, image) == 0) return 0;
  }
  std::memset(image, 0, sizeof(*image));
  return -1;
}

// Replaces the pixels by a left-right mirrored copy. The copy writes pixels
// only; the padding at the end of each row is cleared, since the buffer may
// be handed out as a bitmap's bits.
static int MirrorIntoNewBuffer(BASEIMAGE* image) {
  if (ExpandCompressedBaseImage(image) < 0) return -1;
  if (image->width <= 0 || image->height <= 0) return 0;
  const uint64_t bytes = (uint64_t)image->pitch * (uint64_t)image->height;
  uint8_t* mirrored = (uint8_t*)TrackedCalloc((uint32_t)bytes, "", 0);
  if (!mirrored) return -1;
  PixelRect rect{0, 0, image->width, image->height};
  ConvertPixelRect(mirrored, image->pitch, &image->format, image->pixels, image->pitch, &image->format, nullptr, 0,
                   nullptr, 0, 0, &rect, 1, 0, 0, 0, 0, 0, 0, 0);
  TrackedFree(image->pixels);
  image->pixels = mirrored;
  image->mip_count = 0;  // only the top level was copied
  return 0;
}

int LoadImageToBaseImageOrDib(const char* path, const void* memory, int memory_size, int memory_flag, int dib_flag,
                              int mirror_flag, BASEIMAGE* image, BITMAPINFO** info_out, void** bits_out) {
  StreamRecord stream{};
  intptr_t file = 0;
  if (memory_flag == 0) {
    if (!path) return -1;
    file = FsOpen(path, 0, 1, 0);
    if (!file) return -1;
    stream.ops = *GetFileStreamOps();
    stream.data = file;
  } else {
    if (!memory || memory_size < 0) return -1;
    MemSrc* src = OpenMemSrc(memory, (uint32_t)memory_size);
    if (!src) return -1;
    stream.ops = *GetMemSrcStreamOps();
    stream.data = reinterpret_cast<intptr_t>(src);
  }
  BASEIMAGE decoded;
  const int found = RunImageDecoders(&stream, &decoded);
  if (memory_flag != 0) stream.ops.close(stream.data);
  auto fail = [&](BITMAPINFO* info) {
    TrackedFree(info);
    DisposeBaseImage(&decoded);
    if (file) FsClose(file);
    return -1;
  };
  if (found != 0) return fail(nullptr);
  if (mirror_flag == 1 && MirrorIntoNewBuffer(&decoded) < 0) return fail(nullptr);
  if (dib_flag) {
    if (ExpandCompressedBaseImage(&decoded) < 0) return fail(nullptr);
    BITMAPINFO* info = (BITMAPINFO*)TrackedCalloc(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD) + 4, "", 0);
    if (!info) return fail(nullptr);
    void* bits = nullptr;
    const int made = BaseImageToDib(&decoded, info, &bits, 0, 0);
    if (made < 0) return fail(info);
    if (made == 1) {
      DisposeBaseImage(&decoded);
    } else {
      decoded.pixels = nullptr;  // handed to the caller as the bits
    }
    *info_out = info;
    *bits_out = bits;
  } else {
    *image = decoded;
  }
  if (file) FsClose(file);
  return 0;
}

int ImportBaseImage(const char* path, const void* memory, int memory_size, int memory_flag, BASEIMAGE* image,
                    int mirror_flag) {
  return LoadImageToBaseImageOrDib(path, memory, memory_size, memory_flag, 0, mirror_flag, image, nullptr, nullptr);
}

int ImportBaseImageForGraph(const char* path, const void* memory, int memory_size, int memory_flag,
                            BASEIMAGE* image, int mirror_flag) {
  return ImportBaseImage(path, memory, memory_size, memory_flag, image, mirror_flag);
}

int MakeAlphaImagePath(const char* path, char* out, int size) {
  const size_t length = std::strlen(path);
  const char* dot = std::strrchr(path, '.');
  const size_t stem = dot ? (size_t)(dot - path) : length;
  if (length + 3 > (size_t)size) return -1;
  std::memcpy(out, path, stem);
  std::memcpy(out + stem, "_a", 2);
  std::memcpy(out + stem + 2, path + stem, length - stem + 1);
  return 0;
}

int LoadImageAndAlphaImage(const char* path, const void* memory, int memory_size, int memory_flag,
                           const void* alpha_memory, int alpha_memory_size, int alpha_memory_flag, BASEIMAGE* image,
                           BASEIMAGE* alpha_image, int mirror_flag) {
  if (ImportBaseImageForGraph(path, memory, memory_size, memory_flag, image, mirror_flag) < 0) return -1;
  const bool from_file = alpha_memory_flag == 0;
  const bool from_memory = alpha_memory_flag == 1 && alpha_memory != nullptr;
  if (!from_file && !from_memory) return 1;
  char alpha_path[MAX_PATH];
  const char* alpha_name = nullptr;
  if (from_file) {
    // A path too long for the alpha name means there is no alpha image.
    if (!path || MakeAlphaImagePath(path, alpha_path, sizeof(alpha_path)) < 0) return 1;
    alpha_name = alpha_path;
  }
  if (ImportBaseImageForGraph(alpha_name, alpha_memory, alpha_memory_size, alpha_memory_flag, alpha_image,
                              mirror_flag) < 0)
    return 1;
  return 0;
}

HBITMAP LoadImageAsDib(const char* path, const void* memory, int memory_size, int memory_flag, int mirror_flag,
                       PIXELFORMAT* wanted_format) {
  BITMAPINFO* info = nullptr;
  void* bits = nullptr;
  if (LoadImageToBaseImageOrDib(path, memory, memory_size, memory_flag, 1, 0, nullptr, &info, &bits) < 0)
    return nullptr;
  HBITMAP bitmap = CreateDIBGraph(info, bits, mirror_flag, wanted_format);
  TrackedFree(bits);
  TrackedFree(info);
  return bitmap;
}

HBITMAP LoadImageFileAsDib(const char* path, int mirror_flag, PIXELFORMAT* wanted_format) {
  return LoadImageAsDib(path, nullptr, 0, 0, mirror_flag, wanted_format);
}
