// Theora movie stream: header search, the index of pages and key frames made
// once at open, and the decoding thread that keeps the stock of frames from
// the current one onward, wrapping to the start of the movie.
#include "engine/movie/theora_stream.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <span>

#include "engine/core/alloc.h"
#include "engine/core/log.h"
#include "engine/graphics/graphics.h"

namespace {

// ---- file feeding ------------------------------------------------------------------------

int FeedTheoraSync(TheoraStream* s, int size) {
  char* buffer = ogg_sync_buffer(&s->sync, size);
  if (!buffer) return 0;
  size_t got = s->file_functions.read(buffer, 1, (size_t)size, s->file);
  ogg_sync_wrote(&s->sync, (long)got);
  return (int)got;
}

bool AtEndOfData(TheoraStream* s) { return s->file_functions.eof(s->file) != 0; }

// ---- header search -------------------------------------------------------------------------

int FindTheoraHeaders(TheoraStream* s) {
  // Phase 1: the beginning pages, each tried as the Theora stream.
  bool phase1_done = false;
  while (!phase1_done) {
    if (FeedTheoraSync(s, THEORA_FEED_SIZE) == 0) break;
    while (ogg_sync_pageout(&s->sync, &s->page) > 0) {
      if (!ogg_page_bos(&s->page)) {
        if (s->theora_stream_set) ogg_stream_pagein(&s->theora_stream, &s->page);
        phase1_done = true;
        break;
      }
      ogg_stream_state trial;
      ogg_stream_init(&trial, ogg_page_serialno(&s->page));
      ogg_stream_pagein(&trial, &s->page);
      ogg_packet packet;
      if (s->theora_stream_set || ogg_stream_packetout(&trial, &packet) != 1 ||
          theora_decode_header(&s->info, &s->comment, &packet) < 0) {
        ogg_stream_clear(&trial);
        continue;
      }
      s->serial_number = ogg_page_serialno(&s->page);
      s->theora_stream = trial;
      s->theora_stream_set = true;
      s->header_count = 1;
      phase1_done = true;
      break;
    }
  }
  // Phase 2: the two further header packets.
  while (s->header_count < 3) {
    if (!s->theora_stream_set) {
      if (ogg_sync_pageout(&s->sync, &s->page) > 0) continue;
      if (FeedTheoraSync(s, THEORA_FEED_SIZE) == 0) return -1;
      continue;
    }
    int got = ogg_stream_packetout(&s->theora_stream, &s->packet);
    if (got < 0) return -1;  // a gap among the headers
    if (got > 0) {
      if (theora_decode_header(&s->info, &s->comment, &s->packet) < 0) return -1;
      s->header_count++;
      continue;
    }
    if (ogg_sync_pageout(&s->sync, &s->page) > 0) {
      ogg_stream_pagein(&s->theora_stream, &s->page);
    } else if (FeedTheoraSync(s, THEORA_FEED_SIZE) == 0) {
      return -1;
    }
  }
  return 1;
}

// ---- index ----------------------------------------------------------------------------------

template <class T>
bool GrowTable(T** table, int32_t* capacity) {
  int64_t bigger = int64_t(*capacity) + THEORA_INDEX_STEP;
  if (bigger * (int64_t)sizeof(T) > 0x7FFFFFFF) return false;
  T* grown = static_cast<T*>(TrackedRealloc(*table, uint32_t(bigger * sizeof(T))));
  if (!grown) return false;
  *table = grown;
  *capacity = int32_t(bigger);
  return true;
}

// Reads the whole file once: a page entry for every page that completed a
// frame's packet, and a key flag for every frame. -1 when a table cannot grow.
int IndexTheoraPages(TheoraStream* s) {
  int64_t offset = 0, page_offset = 0;
  bool new_page = false;
  for (;;) {
    if (ogg_stream_packetout(&s->theora_stream, &s->packet) <= 0) {
      if (ogg_sync_pageout(&s->sync, &s->page) > 0) {
        page_offset = offset;
        offset += s->page.header_len + s->page.body_len;
        new_page = true;
        ogg_stream_pagein(&s->theora_stream, &s->page);
      } else if (FeedTheoraSync(s, THEORA_FEED_SIZE) == 0) {
        break;
      }
      continue;
    }
    int key = theora_packet_iskeyframe(&s->packet);
    if (key < 0) continue;  // a header packet
    if (s->frame_count >= 0x7FFFFFFF) break;
    if (new_page || s->page_count == 0) {
      if (s->page_count == s->page_capacity && !GrowTable(&s->page_index, &s->page_capacity)) {
        WriteLogText("Theora ページ情報格納用メモリの確保に失敗しました\n");
        return -1;
      }
      s->page_index[s->page_count++] = TheoraPageEntry{page_offset, int32_t(s->frame_count), 0, 0};
      new_page = false;
    }
    if (s->frame_count == s->key_frame_capacity && !GrowTable(&s->key_frames, &s->key_frame_capacity)) {
      WriteLogText("Theora キーフレーム情報格納用メモリの確保に失敗しました\n");
      return -1;
    }
    TheoraPageEntry& last = s->page_index[s->page_count - 1];
    if (key > 0) last.key = 1;
    s->key_frames[s->frame_count] = key > 0 ? 1 : 0;
    s->frame_count++;
    last.frames++;
  }
  if (s->page_count > 0) s->page_index[0].file_offset = 0;
  return 0;
}

// ---- decoding (the thread's) ------------------------------------------------------------------

// Resets the Ogg states and puts the file at `offset`.
void RestartAt(TheoraStream* s, int64_t offset) {
  ogg_sync_reset(&s->sync);
  ogg_stream_reset(&s->theora_stream);
  s->file_functions.seek(s->file, int32_t(offset), SEEK_SET);
}

// Decodes the next n frames after the held one, so that the decoder then
// holds frame held + n. Packets before the last key frame of that range are
// passed over. -1 when the data ends first.
int DecodeTheoraPackets(TheoraStream* s, int n) {
  int held = s->held_frame.load(std::memory_order_relaxed);
  int last_key = held + 1;
  for (int f = held + n; f > held; f--)
    if (f >= 0 && f < s->frame_count && s->key_frames[f]) {
      last_key = f;
      break;
    }
  int counted = 0, key = 0;
  while (counted < n) {
    if (ogg_stream_packetout(&s->theora_stream, &s->packet) <= 0) {
      if (ogg_sync_pageout(&s->sync, &s->page) > 0) {
        ogg_stream_pagein(&s->theora_stream, &s->page);
      } else if (AtEndOfData(s) || FeedTheoraSync(s, THEORA_FEED_SIZE) == 0) {
        return -1;
      }
      continue;
    }
    key = theora_packet_iskeyframe(&s->packet);
    if (key < 0) continue;  // a header packet met again after a restart
    int frame = held + 1;
    if (frame >= last_key) theora_decode_packetin(&s->decoder, &s->packet);
    held = frame;
    s->held_frame.store(held, std::memory_order_relaxed);
    counted++;
  }
  return key > 0 ? 1 : 0;
}

void FreeStock(TheoraStream* s) {
  std::lock_guard<std::mutex> lock(s->stock_lock);
  for (int i = 0; i < s->stock_count; i++) s->stock[i].valid.store(0, std::memory_order_release);
}

// Replaces a plane buffer whose size no longer fits; false when out of memory.
// The tracking allocator takes no lock and belongs to the main thread: the
// decoding thread takes its planes from the process heap.
bool FitPlane(uint8_t** plane, int32_t* width, int32_t* height, int new_width, int new_height) {
  if (*plane && *width == new_width && *height == new_height) return true;
  if (*plane) HeapFreeRaw(*plane);
  *plane = static_cast<uint8_t*>(HeapAllocRaw(uint32_t(new_width) * uint32_t(new_height)));
  *width = new_width;
  *height = new_height;
  return *plane != nullptr;
}

// Rows of a plane whose stride may be negative (the decoder hands frames
// over bottom-up), top row first, into a packed buffer.
void CopyPlane(uint8_t* out, const uint8_t* in, int width, int height, int stride) {
  for (int row = 0; row < height; row++)
    std::memcpy(out + (size_t)row * width, in + (ptrdiff_t)row * stride, (size_t)width);
}

// Stores the decoder's picture as `frame`; false when the slot's planes could
// not be allocated (the frame is then left out and decoded again later).
bool StoreFrame(TheoraStream* s, TheoraStockFrame* slot, int frame) {
  yuv_buffer yuv;
  if (theora_decode_YUVout(&s->decoder, &yuv) != 0) return false;
  if (yuv.y_width <= 0 || yuv.y_height <= 0 || yuv.uv_width <= 0 || yuv.uv_height <= 0) return false;
  int32_t yh = slot->y_height, uh = slot->uv_height, vh = slot->uv_height;
  int32_t yw = slot->y_width, uw = slot->uv_width, vw = slot->uv_width;
  if (!FitPlane(&slot->y, &yw, &yh, yuv.y_width, yuv.y_height) ||
      !FitPlane(&slot->u, &uw, &uh, yuv.uv_width, yuv.uv_height) ||
      !FitPlane(&slot->v, &vw, &vh, yuv.uv_width, yuv.uv_height)) {
    slot->y_width = slot->y_height = slot->uv_width = slot->uv_height = 0;
    return false;
  }
  slot->y_width = yuv.y_width;
  slot->y_height = yuv.y_height;
  slot->y_stride = yuv.y_width;
  slot->uv_width = yuv.uv_width;
  slot->uv_height = yuv.uv_height;
  slot->uv_stride = yuv.uv_width;
  CopyPlane(slot->y, yuv.y, yuv.y_width, yuv.y_height, yuv.y_stride);
  CopyPlane(slot->u, yuv.u, yuv.uv_width, yuv.uv_height, yuv.uv_stride);
  CopyPlane(slot->v, yuv.v, yuv.uv_width, yuv.uv_height, yuv.uv_stride);
  slot->frame = frame;
  slot->valid.store(1, std::memory_order_release);
  return true;
}

// A frame that cannot be stored (no picture, no memory for its planes) can
// never be shown: the stream then counts as out of data until the next seek,
// so nobody waits for it.
void StoreOrGiveUp(TheoraStream* s, TheoraStockFrame* slot, int frame) {
  if (!StoreFrame(s, slot, frame)) {
    s->end_of_data.store(1, std::memory_order_release);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::this_thread::yield();
}

// Repositions the decoder so that it holds the seek target.
void SeekInThread(TheoraStream* s) {
  int target = s->seek_target.load(std::memory_order_acquire);
  int entry = 0;
  while (entry < s->page_count && s->page_index[entry].first_frame + s->page_index[entry].frames <= target) entry++;
  if (entry >= s->page_count) entry = s->page_count - 1;
  // Packets may have begun on pages before the one that completed them.
  if (entry > 0) entry--;
  while (entry > 0 && !s->page_index[entry].key) entry--;
  if (entry > 0) entry--;
  const TheoraPageEntry& from = s->page_index[entry];
  RestartAt(s, from.file_offset);
  int counter = from.first_frame;
  bool ran_out = false;
  if (entry > 0) {
    for (;;) {
      if (ogg_sync_pageout(&s->sync, &s->page) > 0) break;
      if (FeedTheoraSync(s, THEORA_FEED_SIZE) == 0) {
        ran_out = true;  // the data ends before any page: no way to the target
        break;
      }
    }
    if (!ran_out) {
      if (ogg_page_continued(&s->page)) counter++;  // that packet's start is lost
      ogg_stream_pagein(&s->theora_stream, &s->page);
    }
  }
  s->held_frame.store(counter - 1, std::memory_order_relaxed);
  int result = ran_out ? -1 : DecodeTheoraPackets(s, target - (counter - 1));
  FreeStock(s);
  s->held_frame.store(target, std::memory_order_relaxed);
  s->end_of_data.store(result < 0 ? 1 : 0, std::memory_order_release);
  s->seek_request.store(0, std::memory_order_release);
}

// Whether frame f lies in the window of the S frames from c on, which wraps
// to the start of the movie. One frame more would let the S slots fill with
// the frames after c while c itself waits for a slot: after a step of all
// but one frame of the movie, the main thread would wait for it forever.
bool InWindow(const TheoraStream* s, int f, int c) {
  const int n = int(s->frame_count);
  return ((f - c) % n + n) % n < s->stock_count;
}

// Frees slots that left the window. A slot is judged by its distance ahead
// of the current frame through the wrap: after a jump forward through the
// end of the movie, the frames of the old window are behind as well.
void DropStaleSlots(TheoraStream* s, int c) {
  std::lock_guard<std::mutex> lock(s->stock_lock);
  for (int i = 0; i < s->stock_count; i++) {
    TheoraStockFrame& slot = s->stock[i];
    if (slot.valid.load(std::memory_order_relaxed) && !InWindow(s, slot.frame, c))
      slot.valid.store(0, std::memory_order_release);
  }
}

void FillStock(TheoraStream* s) {
  const int n = int(s->frame_count);
  const int c = s->current_frame.load(std::memory_order_acquire);
  int h = s->held_frame.load(std::memory_order_relaxed);
  if (!s->end_of_data.load(std::memory_order_acquire)) DropStaleSlots(s, c);
  TheoraStockFrame* slot = nullptr;
  for (int i = 0; i < s->stock_count && !slot; i++)
    if (!s->stock[i].valid.load(std::memory_order_acquire)) slot = &s->stock[i];
  // The frame after the held one, or the current frame when it is missing
  // (forward from the held frame, through the wrap when it lies behind).
  int k = FindStocked(s, c) ? 1 : ((c - h) % n + n) % n;
  if (k == 0) k = 1;
  const bool store_held = h >= 0 && InWindow(s, h, c) && !FindStocked(s, h);
  if (!slot || (!store_held && !InWindow(s, (h + k) % n, c))) {
    s->thread_state.store(THEORA_THREAD_IDLE, std::memory_order_release);
    std::this_thread::yield();
    return;
  }
  s->thread_state.store(THEORA_THREAD_FILLING, std::memory_order_release);
  if (store_held) {
    StoreOrGiveUp(s, slot, h);
    return;
  }
  int result;
  if (h + k < n) {
    result = DecodeTheoraPackets(s, k);
  } else {
    RestartAt(s, s->page_index[0].file_offset);
    s->held_frame.store(-1, std::memory_order_relaxed);
    result = DecodeTheoraPackets(s, h + k - n + 1);
  }
  if (result < 0) {
    s->end_of_data.store(1, std::memory_order_release);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return;
  }
  StoreOrGiveUp(s, slot, s->held_frame.load(std::memory_order_relaxed));
}

void TheoraWorkerThread(TheoraStream* s) {
  for (;;) {
    if (s->stop_request.load(std::memory_order_acquire)) {
      s->thread_state.store(THEORA_THREAD_ENDED, std::memory_order_release);
      return;
    }
    if (s->pause_request.load(std::memory_order_acquire)) {
      s->thread_state.store(THEORA_THREAD_PAUSED, std::memory_order_release);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    if (s->seek_request.load(std::memory_order_acquire)) {
      s->thread_state.store(THEORA_THREAD_SEEKING, std::memory_order_release);
      SeekInThread(s);
      continue;
    }
    if (s->end_of_data.load(std::memory_order_acquire) &&
        !FindStocked(s, s->current_frame.load(std::memory_order_acquire))) {
      // Nothing more can come before the next seek.
      s->thread_state.store(THEORA_THREAD_IDLE, std::memory_order_release);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    FillStock(s);
  }
}

TheoraStream* Fail(TheoraStream* s, const char* message) {
  if (message) WriteLogText(message);
  CloseTheoraStream(s);
  return nullptr;
}

}  // namespace

TheoraStream* OpenTheoraStream(const FileLayer* functions, intptr_t file, int stock_count) {
  if (!functions || !functions->read || !functions->seek || !functions->eof || file == 0 || stock_count < 1)
    return nullptr;
  char magic[4];
  if (functions->read(magic, 1, 4, file) != 4 || std::memcmp(magic, "OggS", 4) != 0) return nullptr;
  functions->seek(file, 0, SEEK_SET);

  void* memory = TrackedCalloc(sizeof(TheoraStream));
  if (!memory) {
    WriteLogText("Theora ムービーデコード処理用のメモリ確保に失敗しました\n");
    return nullptr;
  }
  TheoraStream* s = new (memory) TheoraStream();
  s->current_frame.store(-1);
  s->file_functions = *functions;
  s->file = file;
  ogg_sync_init(&s->sync);
  theora_info_init(&s->info);
  theora_comment_init(&s->comment);
  if (FindTheoraHeaders(s) < 0) return Fail(s, nullptr);
  // A movie without a frame rate cannot be timed.
  if (s->info.fps_numerator == 0 || s->info.fps_denominator == 0 || s->info.width == 0 || s->info.height == 0)
    return Fail(s, nullptr);

  s->pause_request.store(1);
  s->thread_state.store(THEORA_THREAD_IDLE);
  try {
    s->thread = std::thread(TheoraWorkerThread, s);
    s->thread_started = true;
  } catch (...) {
    return Fail(s, "Theora ムービーデコード用スレッドの作成に失敗しました\n");
  }
  if (theora_decode_init(&s->decoder, &s->info) != 0) return Fail(s, nullptr);
  s->decoder_set = true;
  ogg_sync_reset(&s->sync);
  ogg_stream_reset(&s->theora_stream);
  functions->seek(file, 0, SEEK_SET);

  s->page_index = static_cast<TheoraPageEntry*>(TrackedAlloc(THEORA_INDEX_STEP * sizeof(TheoraPageEntry)));
  if (!s->page_index) return Fail(s, "Theora ページ情報格納用メモリの確保に失敗しました\n");
  s->page_capacity = THEORA_INDEX_STEP;
  s->key_frames = static_cast<uint8_t*>(TrackedAlloc(THEORA_INDEX_STEP));
  if (!s->key_frames) return Fail(s, "Theora キーフレーム情報格納用メモリの確保に失敗しました\n");
  s->key_frame_capacity = THEORA_INDEX_STEP;
  if (IndexTheoraPages(s) < 0) return Fail(s, nullptr);
  // Headers without a single frame: nothing could ever be shown.
  if (s->frame_count == 0) return Fail(s, nullptr);

  MakeTheoraYuvSurface(s);
  if (MakeXrgbBaseImage(int(s->info.width), int(s->info.height), &s->frame_image) < 0)
    return Fail(s, "Theora ムービーデコードフレームストック用画像バッファの確保に失敗しました\n");
  s->stock = static_cast<TheoraStockFrame*>(TrackedCalloc(uint32_t(stock_count) * sizeof(TheoraStockFrame)));
  if (!s->stock) return Fail(s, "Theora ムービーデコードフレームストック用のメモリ確保に失敗しました\n");
  for (int i = 0; i < stock_count; i++) new (&s->stock[i]) TheoraStockFrame();
  s->stock_count = stock_count;

  SeekTheoraStream(s, 0);
  // The open answers only once frame 0 is there: a stream that cannot even
  // deliver it is no movie.
  if (ConvertTheoraFrame(s, 1, 1) != 1) return Fail(s, nullptr);
  return s;
}

int CloseTheoraStream(TheoraStream* s) {
  if (!s) return 0;
  if (s->thread_started) {
    s->stop_request.store(1, std::memory_order_release);
    s->thread.join();
    s->thread_started = false;
  }
  for (int i = 0; i < s->stock_count; i++)
    for (uint8_t* plane : {s->stock[i].y, s->stock[i].u, s->stock[i].v})
      if (plane) HeapFreeRaw(plane);
  TrackedFree(s->stock);
  TrackedFree(s->page_index);
  TrackedFree(s->key_frames);
  if (s->yuv_surface) s->yuv_surface->Release();
  DisposeBaseImage(&s->frame_image);
  if (s->theora_stream_set) ogg_stream_clear(&s->theora_stream);
  if (s->decoder_set) theora_clear(&s->decoder);
  theora_comment_clear(&s->comment);
  theora_info_clear(&s->info);
  ogg_sync_clear(&s->sync);
  s->~TheoraStream();
  TrackedFree(s);
  return 0;
}

int SeekTheoraStream(TheoraStream* s, int frame) {
  if (frame == s->current_frame.load(std::memory_order_relaxed)) return 0;
  s->image_up_to_date.store(0);
  s->surface_up_to_date.store(0);
  s->pause_request.store(1, std::memory_order_release);
  while (s->thread_state.load(std::memory_order_acquire) != THEORA_THREAD_PAUSED) std::this_thread::yield();
  const int last = int(s->frame_count) - 1;
  if (frame < 0) frame = 0;
  if (frame > last) frame = last;
  s->current_frame.store(frame, std::memory_order_release);
  s->seek_target.store(frame, std::memory_order_release);
  s->seek_request.store(1, std::memory_order_release);
  s->pause_request.store(0, std::memory_order_release);
  return 0;
}

int StepTheoraStream(TheoraStream* s, int frames) {
  if (frames < 1) return 0;
  const int64_t n = s->frame_count;
  // A step of a whole movie or more still lands inside it.
  int64_t next = (int64_t(s->current_frame.load(std::memory_order_relaxed)) + frames) % n;
  s->current_frame.store(int32_t(next), std::memory_order_release);
  s->image_up_to_date.store(0);
  s->surface_up_to_date.store(0);
  return 0;
}

int GetTheoraFrameNumber(TheoraStream* s) { return s->current_frame.load(std::memory_order_relaxed); }

int GetTheoraStreamInfo(TheoraStream* s, TheoraStreamInfo* info) {
  info->frames_per_second = double(s->info.fps_numerator) / double(s->info.fps_denominator);
  info->frame_count = int32_t(s->frame_count);
  info->width = int32_t(s->info.width);
  info->height = int32_t(s->info.height);
  return 0;
}

TheoraStockFrame* FindStocked(TheoraStream* s, int frame) {
  for (int i = 0; i < s->stock_count; i++) {
    TheoraStockFrame& slot = s->stock[i];
    if (slot.valid.load(std::memory_order_acquire) && slot.frame == frame) return &slot;
  }
  return nullptr;
}

BASEIMAGE* GetTheoraFrameImage(TheoraStream* s) { return &s->frame_image; }
IDirect3DSurface9* GetTheoraYuvSurface(TheoraStream* s) { return s->yuv_surface; }

void MakeTheoraYuvSurface(TheoraStream* s) {
  if (s->yuv_surface) s->yuv_surface->Release();
  s->yuv_surface = nullptr;
  s->yuv_surface_format = 0;
  IDirect3DDevice9* device = GetGraphicsDevice();
  if (!IsHardwareRendererInUse() || !device) return;
  // Only layouts that keep the stream's chroma: the packed ones keep a row
  // of its own for 4:2:2; none keeps every column's of 4:4:4.
  static const D3DFORMAT k420[] = {D3DFMT_YV12, D3DFMT_YUY2, D3DFMT_UYVY}, k422[] = {D3DFMT_YUY2, D3DFMT_UYVY};
  std::span<const D3DFORMAT> formats;
  if (s->info.pixelformat == OC_PF_420) formats = k420;
  if (s->info.pixelformat == OC_PF_422) formats = k422;
  for (D3DFORMAT format : formats) {
    if (device->CreateOffscreenPlainSurface(s->info.width, s->info.height, format, D3DPOOL_DEFAULT, &s->yuv_surface,
                                            nullptr) == D3D_OK &&
        s->yuv_surface) {
      s->yuv_surface_format = format;
      return;
    }
    s->yuv_surface = nullptr;
  }
}
