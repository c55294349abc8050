// The video of an Ogg file that carries a Theora stream, decoded ahead on a
// thread of its own into a small stock of frames (raw Y, U and V planes),
// and the conversion of the current frame into a 32-bit image or into a YUV
// surface of the graphics device, which converts it when it copies it.
//
// The main thread only moves the current frame (step, seek) and asks for the
// current frame's picture; the decoding thread alone touches the file, the
// Ogg states and the decoder once the open has ended. Words the two threads
// share are atomics; the stock's slots are freed by the thread and read by
// the main thread only under the stream's stock lock.
#pragma once

#include <ogg/ogg.h>
#include <theora/theora.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "engine/core/file.h"
#include "engine/image/base_image.h"
#include "platform/d3d9/d3d9.h"

// States the decoding thread reports.
enum TheoraThreadState : int32_t {
  THEORA_THREAD_IDLE = 0,  // the stock is full
  THEORA_THREAD_FILLING = 1,
  THEORA_THREAD_SEEKING = 2,
  THEORA_THREAD_ENDED = 3,
  THEORA_THREAD_PAUSED = 4,
};

// Feeds read this many bytes of the file at a time.
constexpr int THEORA_FEED_SIZE = 4096;
// Index and key-frame tables grow by this many entries.
constexpr int THEORA_INDEX_STEP = 1000;

struct TheoraPageEntry {
  int64_t file_offset;  // of the page that completed the packets
  int32_t first_frame;
  int32_t key;     // 1 when one of its frames is a key frame
  int32_t frames;  // frames whose packets this page completed
};

// One decoded frame. Planes are stored top row first, `width` bytes a row,
// whatever the direction the decoder handed them over in.
struct TheoraStockFrame {
  std::atomic<int32_t> valid;
  int32_t frame;
  uint8_t* y;
  uint8_t* u;
  uint8_t* v;
  int32_t y_width, y_height, y_stride;
  int32_t uv_width, uv_height, uv_stride;
};

struct TheoraStreamInfo {
  double frames_per_second;
  int32_t frame_count;
  int32_t width, height;  // the coded frame
};

struct TheoraStream {
  // ---- shared with the decoding thread
  std::atomic<int32_t> thread_state;  // written by the thread only
  std::atomic<int32_t> pause_request;
  std::atomic<int32_t> stop_request;
  std::atomic<int32_t> seek_request;
  std::atomic<int32_t> seek_target;
  std::atomic<int32_t> end_of_data;  // written by the thread; cleared by a seek
  std::atomic<int32_t> current_frame;
  std::atomic<int32_t> held_frame;
  std::thread thread;
  bool thread_started;
  // Held by the thread while it frees slots that left the window, and by the
  // conversion while it reads the current frame's slot.
  std::mutex stock_lock;

  // ---- the file and the decoder (the thread's after the open)
  FileLayer file_functions;
  intptr_t file;
  ogg_sync_state sync;
  ogg_page page;
  ogg_stream_state theora_stream;
  bool theora_stream_set;
  ogg_packet packet;
  theora_info info;
  theora_comment comment;
  theora_state decoder;
  bool decoder_set;
  int32_t serial_number;
  TheoraPageEntry* page_index;
  int32_t page_count, page_capacity;
  uint8_t* key_frames;
  int32_t key_frame_capacity;
  int64_t frame_count;
  int32_t header_count;
  TheoraStockFrame* stock;
  int32_t stock_count;

  // ---- the picture the graph module copies from
  BASEIMAGE frame_image;  // X8R8G8B8, the coded size
  IDirect3DSurface9* yuv_surface;  // an off-screen plain surface of the engine's device, or null
  uint32_t yuv_surface_format;     // its FourCC, or 0
  std::atomic<int32_t> image_up_to_date;
  std::atomic<int32_t> surface_up_to_date;
};

// The file layer installed for FsOpen as a table (its slots call FsRead and
// the rest), the table movies open their files with.
const FileLayer* InstalledFileLayer();

// The file is read from its current position, expected at its start; the
// caller keeps the file and closes it after CloseTheoraStream. Null when the
// file is no Ogg Theora movie (no message), has no frame or no frame rate,
// or when a resource runs out (logged).
TheoraStream* OpenTheoraStream(const FileLayer* functions, intptr_t file, int stock_count);
int CloseTheoraStream(TheoraStream* stream);
int SeekTheoraStream(TheoraStream* stream, int frame);
int StepTheoraStream(TheoraStream* stream, int frames);
int GetTheoraFrameNumber(TheoraStream* stream);
int GetTheoraStreamInfo(TheoraStream* stream, TheoraStreamInfo* info);
// The first valid slot of the stock that holds `frame`, or null.
TheoraStockFrame* FindStocked(TheoraStream* stream, int frame);
BASEIMAGE* GetTheoraFrameImage(TheoraStream* stream);
IDirect3DSurface9* GetTheoraYuvSurface(TheoraStream* stream);
// Makes the stream's YUV surface on the engine's device while it draws
// through Direct3D, in the first layout the device makes of those that keep
// the stream's chroma: "YV12", "YUY2" or "UYVY" for 4:2:0, "YUY2" or "UYVY"
// for 4:2:2, none for 4:4:4; without one the movie is shown through its
// frame image. An earlier surface is released first.
void MakeTheoraYuvSurface(TheoraStream* stream);

// ---- conversion ----------------------------------------------------------------------
// Builds the fixed-point tables once; start-up calls it before any movie opens.
int BuildYuvToRgbTables();
// Brings the frame image and/or the YUV surface up to the current frame,
// waiting for the thread to stock it. 1 when the frame was there and the
// targets were served, 0 when nothing was to do or no frame is to be had.
int ConvertTheoraFrame(TheoraStream* stream, int want_image, int want_surface);

// One frame's planes (top row first, positive strides) into an X8R8G8B8 image
// of at least y_width x y_height. 4:2:0 frames take the table path, any other
// geometry the per-pixel one, its chroma read at the plane's own scale.
struct YuvPlanes {
  const uint8_t* y;
  const uint8_t* u;
  const uint8_t* v;
  int32_t y_width, y_height, y_stride;
  int32_t uv_width, uv_height, uv_stride;
};
void ConvertYuvPlanesToXrgb(const YuvPlanes& planes, uint8_t* out, int32_t out_pitch);
// A frame's planes in a surface layout (FourCC as a little-endian word), at
// `pitch` bytes a row of the Y plane: "YV12" takes 4:2:0 frames, "YUY2" and
// "UYVY" 4:2:0 and 4:2:2. Returns 0, or -1 for another layout or a frame
// whose chroma the layout cannot keep (nothing written).
int PackYuvPlanes(const YuvPlanes& planes, uint32_t fourcc, uint8_t* out, int32_t pitch);

constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}
