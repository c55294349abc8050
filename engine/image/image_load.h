// Image loading: the table of format decoders, the load entry points (base
// image or DIB, optional left-right mirror) and the loading of an image with
// its "_a" alpha image.
#pragma once

#include <cstdint>

#include "engine/core/stream.h"
#include "engine/image/base_image.h"
#include "platform/gdi/gdi.h"

// The stream record every decoder reads through.
typedef StreamData StreamRecord;

// Decoder protocol: 0 = decoded (the image owns a tracked pixel buffer); any
// other result = not decoded, nothing left allocated. Decoders log nothing for
// data that is not theirs.
typedef int (*ImageDecoder)(StreamRecord* stream, BASEIMAGE* image);
extern const ImageDecoder ImageDecoderTable[];  // null-terminated

int DecodeBmpImage(StreamRecord* stream, BASEIMAGE* image);
int DecodeJpegImage(StreamRecord* stream, BASEIMAGE* image);
int DecodePngImage(StreamRecord* stream, BASEIMAGE* image);
int DecodeRawBgraImage(StreamRecord* stream, BASEIMAGE* image);
int DecodeTgaImage(StreamRecord* stream, BASEIMAGE* image);
int DecodeDdsImage(StreamRecord* stream, BASEIMAGE* image);

int RunImageDecoders(StreamRecord* stream, BASEIMAGE* image);  // 0, or -1 when none decoded

// memory_flag 0 reads the file `path`, otherwise the memory block. dib_flag 0
// fills `image`; otherwise *info_out and *bits_out receive a tracked
// BITMAPINFO and tracked pixel bits. mirror_flag 1 mirrors every row.
int LoadImageToBaseImageOrDib(const char* path, const void* memory, int memory_size, int memory_flag, int dib_flag,
                              int mirror_flag, BASEIMAGE* image, BITMAPINFO** info_out, void** bits_out);
int ImportBaseImage(const char* path, const void* memory, int memory_size, int memory_flag, BASEIMAGE* image,
                    int mirror_flag);
int ImportBaseImageForGraph(const char* path, const void* memory, int memory_size, int memory_flag,
                            BASEIMAGE* image, int mirror_flag);
// 0 = both loaded, 1 = main image only, -1 = the main image failed.
int LoadImageAndAlphaImage(const char* path, const void* memory, int memory_size, int memory_flag,
                           const void* alpha_memory, int alpha_memory_size, int alpha_memory_flag, BASEIMAGE* image,
                           BASEIMAGE* alpha_image, int mirror_flag);
// The alpha image's path: "_a" before the last "." (appended when there is
// none). -1 when it does not fit `size` bytes.
int MakeAlphaImagePath(const char* path, char* out, int size);

HBITMAP LoadImageAsDib(const char* path, const void* memory, int memory_size, int memory_flag, int mirror_flag,
                       PIXELFORMAT* wanted_format);
HBITMAP LoadImageFileAsDib(const char* path, int mirror_flag, PIXELFORMAT* wanted_format);

// ---- DIB form, mirroring and pixel reads ----------------------------------
// info has room for a header and 256 colours. 0: *bits_out is the image's
// own buffer; 1: a new tracked buffer; -1: out of memory.
int BaseImageToDib(const BASEIMAGE* image, BITMAPINFO* info, void** bits_out, int force_copy, int force_24bit);
// A new DIB section holding the picture, or 0. info and bits stay the caller's.
HBITMAP CreateDIBGraph(const BITMAPINFO* info, const void* bits, int mirror_flag, PIXELFORMAT* wanted_format);
int MirrorBaseImage(BASEIMAGE* image);  // -1 when the width or height is 0
uint32_t ReadBaseImagePixelArgb(const BASEIMAGE* image, int x, int y);  // 0xAARRGGBB
