// Helpers shared by the image code: size limits and pixel reads and writes
// of 1 to 4 bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "base/byte_order.h"
#include "engine/core/alloc.h"
#include "engine/image/base_image.h"

// Pixel memory above this many bytes is refused (MAX_IMAGE_BYTES unless a
// test lowers it).
uint64_t ImageByteLimit();
void SetImageByteLimit(uint64_t bytes);

// Bytes of width x height pixels of `bytes_per_pixel` with rows padded to
// `align`; 0 when a side is not positive or the total exceeds the limit.
uint64_t CheckedImageBytes(int64_t width, int64_t height, int64_t bytes_per_pixel, int align, int64_t* row_out);

// Reads exactly `bytes` bytes of a pixel (1..4), least significant first.
inline uint32_t LoadPixel(const uint8_t* p, int bytes) {
  switch (bytes) {
    case 1: return p[0];
    case 2: return ReadLe16(p);
    case 3: return ReadLe24(p);
    default: return ReadLe32(p);
  }
}
inline void StorePixel(uint8_t* p, int bytes, uint32_t v) {
  switch (bytes) {
    case 1: p[0] = (uint8_t)v; break;
    case 2: WriteLe16(p, (uint16_t)v); break;
    case 3: WriteLe24(p, v); break;
    default: WriteLe32(p, v); break;
  }
}

inline uint32_t PaletteWord(const PaletteEntry& e) {
  return (uint32_t)e.blue | ((uint32_t)e.green << 8) | ((uint32_t)e.red << 16) | ((uint32_t)e.alpha << 24);
}

// All bits of a channel of `width` bits (width 0..32).
inline uint32_t ChannelMax(int width) { return width >= 32 ? 0xFFFFFFFFu : ((1u << width) - 1u); }

// Rescales a channel value from `from` bits to `to` bits: truncation when
// narrowing, value x (2^to - 1) / (2^from - 1) when widening. A channel of
// width 0 has no value and gives 0.
inline uint32_t ScaleChannel(uint32_t c, int from, int to) {
  if (from == to) return c;
  if (from == 0) return 0;
  if (from > to) return c >> (from - to);
  return (uint32_t)((uint64_t)c * ChannelMax(to) / ChannelMax(from));
}

// Bytes of one DXT block of the kind (1-5).
int DxtBlockBytes(uint32_t kind);

#include "engine/core/stream.h"

// Bytes from the stream's current position to its end; the position is kept.
// -1 when the stream cannot seek.
int64_t StreamBytesLeft(StreamData* stream);
// Reads exactly `bytes` bytes (true), or fails (false).
bool StreamReadExact(StreamData* stream, void* buffer, size_t bytes);
bool StreamSeekTo(StreamData* stream, int64_t offset);

// ---- what the decoders share ------------------------------------------------
// The opening of a format that starts with a header of fixed size: the size
// of the whole stream, which must be at least `min_size` bytes, and its first
// `bytes` bytes read into `header`, the stream left just after them. -1 when
// the stream cannot be measured, is shorter, or cannot be read.
int64_t ReadImageHeader(StreamData* stream, void* header, size_t bytes, int64_t min_size);
// The opening of a format read through its library: the next `bytes` bytes,
// for the decoder to tell whether the data is its own, with the stream put
// back where it was. False when they cannot be read.
bool PeekImageSignature(StreamData* stream, void* signature, size_t bytes);
// The part of the stream a library reads through its callbacks: from where
// the decode began to the end.
struct StreamSpan {
  StreamData* stream;
  int64_t start;
  int64_t size;  // 0 when the stream cannot be measured
  // Bytes from the current position to the end.
  int64_t Left() const { return size - (stream->ops.tell(stream->data) - start); }
};
StreamSpan SpanFromHere(StreamData* stream);

// A tracked buffer a decoder makes: freed on every way out of the decode but
// the one that hands it to the image.
struct TrackedFreer {
  void operator()(uint8_t* p) const { TrackedFree(p); }
};
using TrackedBytes = std::unique_ptr<uint8_t, TrackedFreer>;
inline TrackedBytes NewTrackedBytes(uint32_t bytes) { return TrackedBytes((uint8_t*)TrackedAlloc(bytes, "", 0)); }
inline TrackedBytes NewZeroedBytes(uint32_t bytes) { return TrackedBytes((uint8_t*)TrackedCalloc(bytes, "", 0)); }

// The end of every decode: the image takes its size, pitch and pixels (which
// it owns from then on); its colour format is the decoder's to set. 0.
inline int SetDecodedImage(BASEIMAGE* image, int64_t width, int64_t height, int64_t pitch, uint8_t* pixels) {
  image->width = (int32_t)width;
  image->height = (int32_t)height;
  image->pitch = (int32_t)pitch;
  image->pixels = pixels;
  return 0;
}
