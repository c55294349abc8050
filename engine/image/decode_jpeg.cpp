// JPEG decoder through libjpeg: a source manager over the engine's stream
// and an error manager that jumps back into the decoder.
#include <cstdio>
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <csetjmp>
#include <new>
#include <utility>
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/log.h"
#include "engine/image/image_internal.h"
#include "engine/image/image_load.h"

namespace {

constexpr size_t kSourceBufferBytes = 4096;
constexpr long kMaxJpegMemory = 512L * 1024 * 1024;

struct JpegSource {
  jpeg_source_mgr pub;
  JOCTET* buffer;
  bool start_of_file;
  StreamSpan span;
};

struct JpegError {
  jpeg_error_mgr pub;
  jmp_buf jump;
};

// The library's messages go to the engine log.
void JpegOutputMessage(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  WriteLogFormat("libjpeg: %s", text);
}

void JpegErrorExit(j_common_ptr cinfo) {
  (*cinfo->err->output_message)(cinfo);
  longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

void JpegSourceInit(j_decompress_ptr cinfo) { reinterpret_cast<JpegSource*>(cinfo->src)->start_of_file = true; }

boolean JpegSourceFill(j_decompress_ptr cinfo) {
  JpegSource* src = reinterpret_cast<JpegSource*>(cinfo->src);
  const int64_t left = src->span.Left();
  size_t n = left <= 0 ? 0 : left < (int64_t)kSourceBufferBytes ? (size_t)left : kSourceBufferBytes;
  if (n && !StreamReadExact(src->span.stream, src->buffer, n)) n = 0;
  if (n == 0) {
    if (src->start_of_file) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    n = 2;
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = n;
  src->start_of_file = false;
  return TRUE;
}

void JpegSourceSkip(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  JpegSource* src = reinterpret_cast<JpegSource*>(cinfo->src);
  while (count > (long)src->pub.bytes_in_buffer) {
    count -= (long)src->pub.bytes_in_buffer;
    // Past the end of the data there is nothing to step over: the next read
    // meets the end-of-image marker once instead of one per refill.
    if (src->span.Left() <= 0) {
      src->pub.next_input_byte += src->pub.bytes_in_buffer;
      src->pub.bytes_in_buffer = 0;
      return;
    }
    JpegSourceFill(cinfo);
  }
  src->pub.next_input_byte += count;
  src->pub.bytes_in_buffer -= (size_t)count;
}

void JpegSourceTerm(j_decompress_ptr) {}

void JpegUseStream(j_decompress_ptr cinfo, StreamRecord* stream) {
  if (!cinfo->src) {
    cinfo->src = static_cast<jpeg_source_mgr*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(JpegSource)));
    reinterpret_cast<JpegSource*>(cinfo->src)->buffer = static_cast<JOCTET*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kSourceBufferBytes));
  }
  JpegSource* src = reinterpret_cast<JpegSource*>(cinfo->src);
  src->pub.init_source = JpegSourceInit;
  src->pub.fill_input_buffer = JpegSourceFill;
  src->pub.skip_input_data = JpegSourceSkip;
  src->pub.resync_to_restart = jpeg_resync_to_restart;
  src->pub.term_source = JpegSourceTerm;
  src->span = SpanFromHere(stream);
  src->pub.bytes_in_buffer = 0;
  src->pub.next_input_byte = nullptr;
}

// State reached from the jump buffer lives outside the frame calling setjmp.
struct JpegWork {
  jpeg_decompress_struct cinfo;
  JpegError error;
  uint8_t* pixels = nullptr;
};

int ReadJpeg(JpegWork* w, StreamRecord* stream, BASEIMAGE* image) {
  if (setjmp(w->error.jump)) {
    jpeg_destroy_decompress(&w->cinfo);
    TrackedFree(w->pixels);
    w->pixels = nullptr;
    return -1;
  }
  jpeg_create_decompress(&w->cinfo);
  w->cinfo.mem->max_memory_to_use = kMaxJpegMemory;
  JpegUseStream(&w->cinfo, stream);
  jpeg_read_header(&w->cinfo, TRUE);
  // Four-component (CMYK, YCCK) pictures are not read.
  if (w->cinfo.num_components != 1 && w->cinfo.num_components != 3) {
    jpeg_destroy_decompress(&w->cinfo);
    return -1;
  }
  if (!CheckedImageBytes(w->cinfo.image_width, w->cinfo.image_height, w->cinfo.num_components, 1, nullptr)) {
    jpeg_destroy_decompress(&w->cinfo);
    return -1;
  }
#ifdef JCS_EXTENSIONS
  // The library writes blue, green, red itself, straight into the rows.
  if (w->cinfo.out_color_space == JCS_RGB) w->cinfo.out_color_space = JCS_EXT_BGR;
#endif
  jpeg_start_decompress(&w->cinfo);
  const int components = w->cinfo.output_components;
  if (components != 1 && components != 3) {
    jpeg_destroy_decompress(&w->cinfo);
    return -1;
  }
  const uint32_t width = w->cinfo.output_width, height = w->cinfo.output_height;
  const size_t row_size = (size_t)width * components;
  w->pixels = (uint8_t*)TrackedAlloc((uint32_t)(row_size * height), "", 0);
  if (!w->pixels) {
    jpeg_destroy_decompress(&w->cinfo);
    return -1;
  }
  while (w->cinfo.output_scanline < height) {
    JSAMPROW out = w->pixels + (size_t)w->cinfo.output_scanline * row_size;
    if (jpeg_read_scanlines(&w->cinfo, &out, 1) != 1) break;
#ifndef JCS_EXTENSIONS
    if (components == 3)
      for (uint32_t x = 0; x < width; ++x) std::swap(out[3 * x], out[3 * x + 2]);
#endif
  }
  jpeg_finish_decompress(&w->cinfo);
  if (components == 1)
    InitGreyPixelFormat(&image->format);
  else
    InitRgb24PixelFormat(&image->format);
  SetDecodedImage(image, width, height, (int64_t)row_size, w->pixels);
  w->pixels = nullptr;
  jpeg_destroy_decompress(&w->cinfo);
  return 0;
}

}  // namespace

int DecodeJpegImage(StreamRecord* stream, BASEIMAGE* image) {
  // Data that does not start with the start-of-image marker is not ours.
  uint8_t marker[2];
  if (!PeekImageSignature(stream, marker, sizeof(marker)) || marker[0] != 0xFF || marker[1] != 0xD8) return -1;
  void* memory = TrackedCalloc(sizeof(JpegWork), "", 0);
  if (!memory) return -1;
  JpegWork* w = new (memory) JpegWork();
  w->cinfo.err = jpeg_std_error(&w->error.pub);
  w->error.pub.error_exit = JpegErrorExit;
  w->error.pub.output_message = JpegOutputMessage;
  int result = ReadJpeg(w, stream, image);
  TrackedFree(w);
  return result;
}
