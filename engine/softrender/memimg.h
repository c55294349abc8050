// Memory images of the software renderer: a MEMIMG is a small view into a
// reference-counted PIXELSTORE that owns the pixel memory and what is derived
// from it (palettes, premultiplied alpha plane, transparency run table).
// Every software drawer reads and writes pixels only through these records.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/image/base_image.h"

struct DDPIXELFORMAT;

constexpr uint32_t MEMIMG_MAGIC = 0x12345678;

// MEMIMGFormat: the store's format code.
enum MEMIMGFormat : int32_t {
  MEMIMG_R5G6B5 = 0,    // 16-bit colour; 4 bytes with alpha (alpha in bits 16-23)
  MEMIMG_X8R8G8B8 = 1,  // 32-bit colour; A8R8G8B8 with alpha
  MEMIMG_GRAY8 = 2,     // 8-bit single channel (blend images)
  MEMIMG_GRAY16 = 3,    // 16-bit single channel (depth buffer)
};

// Bytes per pixel of a plain store, by format code.
constexpr int kMemImgBytesPerPixel[4] = {2, 4, 1, 2};

// Kinds of the transparency run codes (bits 6-7 of each code).
enum PixelRunKind : uint8_t {
  PIXEL_RUN_SKIP = 0,
  PIXEL_RUN_OPAQUE = 1,
  PIXEL_RUN_TRANSLUCENT = 2,
  PIXEL_RUN_END = 3,
};
constexpr uint8_t PIXEL_RUN_END_CODE = 0xC0;
constexpr int PIXEL_RUN_MAX = 64;

struct PIXELSTORE {
  int32_t ref_count;          // views on the store; 1 at creation
  int32_t width;              // full width in pixels
  int32_t height;             // full height in pixels
  int32_t pitch;              // bytes from one row to the next
  int32_t pitch_exponent;     // log2 of the pitch when it is the power of two of the row, else -1
  const PIXELFORMAT* format;  // shared, read-only (GetMEMIMGPixelFormat)
  uint32_t transparent_color; // raw pixel value of the store's format, or a palette index
  int32_t format_code;        // MEMIMGFormat
  int32_t palette_flag;       // 1: every pixel is an 8-bit palette index
  int32_t palette_count;      // palette entries in use (set by a base-image write)
  int32_t alpha_flag;         // 1: pixels carry an 8-bit alpha
  int32_t premul_valid;       // 1 once the premultiplied plane is built
  int32_t run_table_valid;    // 1 once the run table is built
  int32_t user_memory;        // 1: pixel memory belongs to the caller
  uint8_t* palette;           // 2048 bytes (two palettes of 256 entries), or null
  uint8_t* palette2;          // palette + 1024, or null
  uint8_t* pixel_memory;      // height x pitch bytes
  uint8_t* premul_plane;      // height x pitch bytes, or null
  uint8_t* run_table;         // (width + 5) x height bytes, or null
  uint8_t* pixel_block;       // the allocations the pixel memory and the plane
  uint8_t* premul_block;      // start on a cache line in (null for user memory)
};

struct MEMIMG {
  uint32_t magic;        // MEMIMG_MAGIC while set up; 0 after release
  int32_t width;
  int32_t height;
  uint8_t* pixels;       // the view's first pixel inside the store
  uint8_t* alpha_pixels; // the view's first pixel in the premultiplied plane, or null
  PIXELSTORE* store;
};

// ---- set-up and release ------------------------------------------------------
// 0, or -1 for a view that is already set up (left untouched) or when memory
// runs out (nothing stays allocated then). pitch -1: the row rounded up to 16.
int SetupMEMIMG(MEMIMG* view, int width, int height, int pitch, uint32_t transparent_color, int format_code,
                int palette_flag, int alpha_flag, int make_work_tables, void* user_pixels);
// format_code -1 takes the screen's (GetSoftScreenBitDepth).
int CreateScreenFormatMEMIMG(MEMIMG* view, int width, int height, int format_code);
int CreateDepthMEMIMG(MEMIMG* view, int width, int height);
// View of a rectangle of source; writes nothing for a rectangle outside the
// source, a source that is not valid or a view that is already set up.
void CreateMEMIMGView(MEMIMG* view, const MEMIMG* source, int x, int y, int width, int height);
bool IsMEMIMGValid(const MEMIMG* view);
void ReleaseMEMIMG(MEMIMG* view);  // harmless on a view that is not set up

// Shared records, built on first use; null for any other format code.
const PIXELFORMAT* GetMEMIMGPixelFormat(int format_code, int alpha_flag, int palette_flag);
const DDPIXELFORMAT* GetMEMIMGSurfaceFormat(int format_code, int alpha_flag, int palette_flag);

// The screen bit depth that format -1 follows; the graphics start sets it.
void SetSoftScreenBitDepth(int bits);
int GetSoftScreenBitDepth();

// ---- fills, transfers and base-image writes -----------------------------------
// Rectangles are x1, y1, x2, y2 with x2 and y2 exclusive; null is the whole view.
void FillMEMIMGRect(MEMIMG* view, const int32_t* rect, uint32_t value);
int TransferMEMIMGRect(MEMIMG* dst, const MEMIMG* src, const int32_t* src_rect, int dst_x, int dst_y);
// Rectangles must lie inside both images (-1 otherwise). A block-compressed
// image is expanded in place first. A write of the whole store also builds the
// premultiplied alpha plane and the transparency run table.
int WriteBaseImageToMEMIMG(BASEIMAGE* image, BASEIMAGE* alpha_image, MEMIMG* view, int src_x, int src_y, int width,
                           int height, int dst_x, int dst_y, int conversion_option);

// ---- small helpers shared by every drawer -------------------------------------
inline int MEMIMGBytesPerPixel(const PIXELSTORE* store) { return store->format->bytes_per_pixel; }

// The run path and the kernels must not assume alignment: views start anywhere.
inline uint32_t LoadPixel16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline uint32_t LoadPixel32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void StorePixel16(uint8_t* p, uint32_t v) {
  uint16_t w = (uint16_t)v;
  std::memcpy(p, &w, 2);
}
inline void StorePixel32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
