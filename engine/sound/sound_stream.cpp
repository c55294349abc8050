// Stream sounds: up to three parts, each with its own decoder, decoded into a
// six-second looping ring a little ahead of the play cursor. The refill runs
// on the main thread from the engine's message processing; the ring may be
// shared by several stream sounds of one format, the last one to claim it
// playing.
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/file.h"
#include "engine/core/log.h"
#include "engine/sound/sound.h"
#include "engine/sound/sound_internal.h"

namespace {

// The locked region of the ring being written, in one or two spans.
struct RingSpans {
  uint8_t* data[2];
  uint32_t size[2];
  uint32_t lock_offset;
  uint32_t written;  // bytes placed so far (across both spans)
  uint32_t ring_size;

  uint32_t Left() const { return size[0] + size[1] - written; }
  uint32_t NextRingOffset() const { return (lock_offset + written) % ring_size; }
  // Where the next byte goes and how many fit before the span ends.
  uint8_t* Cursor(uint32_t* room) const {
    if (written < size[0]) {
      *room = size[0] - written;
      return data[0] + written;
    }
    *room = size[0] + size[1] - written;
    return data[1] ? data[1] + (written - size[0]) : nullptr;
  }
};

// Pulls PCM from the decoder into the spans until they are full or the
// decoder delivers nothing; returns the bytes delivered.
uint32_t FillSoundStreamFromDecoder(SoundDecoder* decoder, RingSpans* spans) {
  uint32_t total = 0;
  while (spans->Left() > 0) {
    uint32_t room = 0;
    uint8_t* at = spans->Cursor(&room);
    if (!at || room == 0) break;
    const int got = ReadSoundDecoder(decoder, at, room);
    if (got <= 0) break;
    spans->written += uint32_t(got);
    total += uint32_t(got);
  }
  return total;
}

// Silence: 8-bit PCM centres on 127 here (as the ring's readers expect), all
// other widths on 0.
void PadSoundStreamSilence(const SoundRecord* sound, RingSpans* spans, uint32_t count) {
  const int value = sound->format.wBitsPerSample == 8 ? 127 : 0;
  while (count > 0 && spans->Left() > 0) {
    uint32_t room = 0;
    uint8_t* at = spans->Cursor(&room);
    if (!at) break;
    const uint32_t n = room < count ? room : count;
    std::memset(at, value, n);
    spans->written += n;
    count -= n;
  }
}

uint32_t TailBytes(const SoundRecord* sound) {
  return uint32_t(AlignToSoundBlock(int(sound->format.nAvgBytesPerSec / 8), sound));
}

void RewindSoundStream(SoundRecord* sound) {
  sound->end_reached = 0;
  sound->part_position = 0;
  sound->played_bytes = 0;
  sound->wrap_pending = 0;
  sound->repeat_counter = 0;
  sound->current_part = 0;
  sound->loop_position = 0;
  sound->primed = 0;
}

// The decoder of the part being decoded, or null when there is none.
SoundDecoder* CurrentDecoder(SoundRecord* sound) {
  if (sound->current_part < 0 || sound->current_part >= sound->part_count) return nullptr;
  return &sound->parts[sound->current_part].decoder;
}

// The current part's data has ended: repeat it, go on to the next part, loop
// to the first or end with a short silent tail. -1 when the sound ends.
int NextSoundStreamPart(SoundRecord* sound, RingSpans* spans, uint32_t play_offset) {
  const uint32_t align = sound->format.nBlockAlign;
  sound->repeat_counter++;
  StreamPart* part = &sound->parts[sound->current_part];
  if (part->repeat_count == -1) {
    sound->part_position = int32_t(uint32_t(part->loop_start) * align);
    sound->loop_position = uint32_t(sound->part_position);
    sound->wrap_pending = 1;
    sound->wrap_offset = spans->NextRingOffset();
  } else {
    if (part->repeat_count < sound->repeat_counter) {
      sound->repeat_counter = 0;
      sound->current_part++;
    }
    if (sound->current_part >= sound->part_count) {
      sound->end_reached = 1;
      sound->part_position = 0;
      if (sound->play_type != SOUND_PLAY_LOOP) {
        sound->ending = 1;
        sound->end_offset = spans->NextRingOffset();
        sound->end_cursor = play_offset;
        PadSoundStreamSilence(sound, spans, TailBytes(sound));
        return -1;
      }
      sound->current_part = 0;
      sound->loop_position = 0;
      sound->wrap_pending = 1;
      sound->wrap_offset = spans->NextRingOffset();
    }
    sound->part_position = 0;
  }
  SeekSoundDecoder(&sound->parts[sound->current_part].decoder, uint32_t(sound->part_position) / align);
  return 0;
}

bool InWindow(const SoundRecord* sound, uint32_t p) {
  const uint32_t s = sound->window_start, o = uint32_t(sound->write_offset);
  if (s < o) return s <= p && p < o;
  if (s > o) return p >= s || p < o;
  return false;
}

void CloseStreamPart(StreamPart* part, int engine_opened) {
  const StreamData caller_source = part->decoder.source;
  CloseSoundDecoder(&part->decoder);
  if (engine_opened && part->storage_mode == 3 && caller_source.ops.close) caller_source.ops.close(caller_source.data);
  if (part->has_stream) part->stream.ops.close(part->stream.data);
  TrackedFree(part->data);
  std::memset(part, 0, sizeof *part);
}

}  // namespace

int AddSreamSound(const StreamData* source, int repeat_count, int handle, int storage_mode, int* may_close,
                  int share_handle) {
  SoundRecord* sound = LookupSound(handle);
  if (!sound) return -1;
  if (may_close) *may_close = 0;
  if (sound->part_count > 0) {
    if (sound->kind != SOUND_KIND_STREAM)
      return WriteLogText("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\n");
    SoundBuffer* ring = nullptr;
    DWORD status = 0;
    if (ClaimSoundStreamBuffer(handle, sound, &ring, 0) == 0 && SoundBufferGetStatus(ring, &status) == 0 &&
        (status & DSBSTATUS_PLAYING))
      return WriteLogText("既に再生中のストリームサウンドデータにデータを追加しようとしました\n");
    if (sound->part_count >= MAX_STREAM_PARTS) return WriteLogText("ストリーム風サウンドの制御データ領域がいっぱいです\n");
  } else if (sound->kind == SOUND_KIND_STATIC && sound->buffer_count > 0) {
    return WriteLogText("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\n");
  }
  const int index = sound->part_count;
  StreamPart* part = &sound->parts[index];
  std::memset(part, 0, sizeof *part);
  part->storage_mode = storage_mode;
  source->ops.seek(source->data, 0, 0);
  int caller_may_close = 0;
  switch (storage_mode) {
    case 0: {
      uint8_t* encoded = nullptr;
      uint32_t encoded_size = 0;
      if (ReadStreamWhole(source, &encoded, &encoded_size) < 0) return WriteLogText("音声データの読み込みに失敗しました");
      StreamData memory{};
      SoundDecoder temp;
      WAVEFORMATEX format{};
      uint8_t* pcm = nullptr;
      uint32_t pcm_size = 0;
      int ok = OpenMemStream(&memory, encoded, encoded_size);
      if (ok == 0) {
        ok = OpenSoundDecoder(&memory, &temp);
        if (ok == 0) {
          ok = DecodeSoundWhole(&temp, &format, &pcm, &pcm_size);
          CloseSoundDecoder(&temp);
        }
        memory.ops.close(memory.data);
      }
      TrackedFree(encoded);
      if (ok < 0) return WriteLogText("音声データの変換に失敗しました");
      ok = MakeWaveImage(&part->data, &part->data_size, &format, 18, pcm, pcm_size);
      TrackedFree(pcm);
      if (ok < 0) return WriteLogText("音声データの変換に失敗しました");
      if (OpenMemStream(&part->stream, part->data, part->data_size) < 0) {
        CloseStreamPart(part, 0);
        return WriteLogText("音声データの変換に失敗しました");
      }
      part->has_stream = 1;
      if (OpenSoundDecoder(&part->stream, &part->decoder) < 0) {
        CloseStreamPart(part, 0);
        return WriteLogText("音声データの変換に失敗しました");
      }
      caller_may_close = 1;
      break;
    }
    case 2:
      if (ReadStreamWhole(source, &part->data, &part->data_size) < 0) return WriteLogText("音声データの読み込みに失敗しました");
      if (OpenMemStream(&part->stream, part->data, part->data_size) < 0) {
        CloseStreamPart(part, 0);
        return WriteLogText("音声データのオープンに失敗しました");
      }
      part->has_stream = 1;
      if (OpenSoundDecoder(&part->stream, &part->decoder) < 0) {
        CloseStreamPart(part, 0);
        return WriteLogText("音声データのオープンに失敗しました");
      }
      caller_may_close = 1;
      break;
    case 3:
      if (OpenSoundDecoder(source, &part->decoder) < 0) {
        std::memset(part, 0, sizeof *part);
        return WriteLogText("音声データのオープンに失敗しました");
      }
      break;
    default:  // mode 1 names no source to decode
      std::memset(part, 0, sizeof *part);
      return WriteLogText("音声データのオープンに失敗しました");
  }

  WAVEFORMATEX format{};
  GetSoundDecoderFormat(&part->decoder, &format);
  if (index > 0) {
    if (std::memcmp(&format, &sound->format, sizeof format) != 0) {
      CloseStreamPart(part, 0);
      return WriteLogText("フォーマットの違う音声データは同時に使うことは出来ません");
    }
  } else {
    sound->format = format;
    SoundRecord* owner = share_handle != handle ? LookupSound(share_handle) : nullptr;
    if (owner && owner->kind == SOUND_KIND_STREAM && owner->ring_owner == -1 &&
        std::memcmp(&owner->format, &format, sizeof format) == 0) {
      sound->kind = SOUND_KIND_STREAM;
      sound->buffer_count = 1;
      AppendListNode(&g_sound.streams, &sound->node, handle, sound);
      sound->in_stream_list = 1;
      sound->ring_owner = share_handle;
      owner->sharer_count++;
    } else {
      MakeSoundBuffers(&format, format.nAvgBytesPerSec * 6, SOUND_KIND_STREAM, 1, handle);
      sound->ring_owner = -1;
    }
    sound->ring_size = format.nAvgBytesPerSec * 6;
    sound->sharer_count = 0;
    sound->current_user = -1;
    sound->delete_pending = 0;
  }
  part->repeat_count = int8_t(repeat_count);
  sound->part_count++;
  int64_t total = 0;
  for (int i = 0; i < sound->part_count; ++i)
    total += GetSoundDecoderBytes(&sound->parts[i].decoder) / sound->format.nBlockAlign;
  sound->total_length = int32_t(total > 0x7FFFFFFF ? 0x7FFFFFFF : total);
  if (may_close) *may_close = caller_may_close;
  return 0;
}

int AttachSoundFileStream(const char* file_name, int repeat_count, int handle, int storage_mode, int share_handle) {
  const intptr_t file = FsOpen(file_name, 0, 1, 0);
  if (!file) return WriteLogFormat("右記のＷＡＶファイルのロードに失敗しました：%s \n", file_name);
  StreamData source{*GetFileStreamOps(), file};
  int may_close = 0;
  if (AddSreamSound(&source, repeat_count, handle, storage_mode, &may_close, share_handle) < 0) {
    FsClose(file);
    return WriteLogFormat("右記のＷＡＶファイルのセットアップに失敗しました：%s \n", file_name);
  }
  if (may_close) FsClose(file);
  SoundRecord* sound = LookupSound(handle);
  sound->engine_opened[sound->part_count - 1] = 1;
  return 0;
}

int AttachSoundImageStream(const void* data, uint32_t size, int repeat_count, int handle, int storage_mode,
                           int share_handle) {
  if (storage_mode == 3) storage_mode = 2;  // an image has no file to keep open
  StreamData source{};
  if (OpenMemStream(&source, data, size) < 0)
    return WriteLogText("ＷＡＶファイルのストリームイメージハンドルの作成に失敗しました \n");
  int may_close = 0;
  if (AddSreamSound(&source, repeat_count, handle, storage_mode, &may_close, share_handle) < 0) {
    source.ops.close(source.data);
    return WriteLogText("ＷＡＶファイルのストリームイメージのセットアップに失敗しました \n");
  }
  if (may_close) source.ops.close(source.data);
  SoundRecord* sound = LookupSound(handle);
  sound->engine_opened[sound->part_count - 1] = 1;
  return 0;
}

int TrackSoundStreamCursor(int handle, int play_offset) {
  SoundRecord* sound = LookupSound(handle);
  if (!sound) return -1;
  SoundBuffer* ring = nullptr;
  if (ClaimSoundStreamBuffer(handle, sound, &ring, 0) < 0 || !sound->primed) return 0;
  uint32_t p = uint32_t(play_offset);
  if (play_offset < 0) {
    DWORD offset = 0;
    if (SoundBufferGetPosition(ring, &offset, nullptr) < 0) return -1;
    p = offset;
  }
  const uint32_t last = sound->last_cursor;
  if (p == last) return 0;
  bool reached = false;
  if (sound->wrap_pending) {
    const uint32_t x = sound->wrap_offset;
    if (last < p) {
      if (last < x && x <= p) {
        sound->played_bytes = p - x;
        reached = true;
      }
    } else if (x > last) {
      sound->played_bytes = sound->ring_size - x + p;
      reached = true;
    } else if (x <= p) {
      sound->played_bytes = p - x;
      reached = true;
    }
    if (reached) {
      sound->played_bytes += sound->loop_position;
      sound->wrap_pending = 0;
    }
  }
  if (!reached) sound->played_bytes += last < p ? p - last : sound->ring_size - last + p;
  sound->last_cursor = p;
  return 0;
}

int PrimeSoundStream(int handle) {
  SoundRecord* sound = LookupSound(handle);
  if (!sound) return -1;
  if (sound->kind != SOUND_KIND_STREAM) return 0;
  SoundBuffer* ring = nullptr;
  if (ClaimSoundStreamBuffer(handle, sound, &ring, 0) < 0) return 0;
  DWORD status = 0;
  if (SoundBufferGetStatus(ring, &status) < 0 || (status & DSBSTATUS_PLAYING) || sound->primed) return 0;
  if (sound->current_part >= sound->part_count) RewindSoundStream(sound);
  SoundBufferSetPosition(ring, 0);
  sound->write_offset = STREAM_NOT_FILLED;
  sound->window_start = 0xFFFFFFFFu;
  sound->last_cursor = 0;
  sound->ending = 0;
  if (SoundDecoder* decoder = CurrentDecoder(sound))
    SeekSoundDecoder(decoder, uint32_t(sound->part_position) / sound->format.nBlockAlign);
  sound->primed = 1;
  return RefillSoundStream(handle);
}

int StartSoundStream(int handle, int play_type, int from_top) {
  SoundRecord* sound = LookupSound(handle);
  if (!sound) return -1;
  SoundBuffer* ring = nullptr;
  if (ClaimSoundStreamBuffer(handle, sound, &ring, 1) < 0) return -1;
  DWORD status = 0;
  if (!from_top && SoundBufferGetStatus(ring, &status) == 0 && (status & DSBSTATUS_PLAYING)) return 0;
  HaltSoundStream(handle);
  if (((play_type ^ sound->play_type) & 2) && sound->end_reached) RewindSoundStream(sound);
  if (from_top) {
    sound->end_reached = 0;
    if (sound->played_bytes != 0) RewindSoundStream(sound);
  }
  // After a sound that did not loop has ended, the part index stands past
  // the last part: such a play starts again from the top. (While its silent
  // tail is still queued, a resume only lets it finish.)
  if (sound->current_part >= sound->part_count && !sound->ending) RewindSoundStream(sound);
  sound->play_type = play_type;
  PrimeSoundStream(handle);
  if (ClaimSoundStreamBuffer(handle, sound, &ring, 0) < 0 || SoundBufferPlay(ring, 1) < 0) return -1;
  if (play_type == SOUND_PLAY_WAIT) {
    while (RunSoundMessageStep() >= 0 && QuerySoundStreamPlaying(handle) == 1) {
    }
  }
  return 0;
}

int HaltSoundStream(int handle) {
  SoundRecord* sound = LookupSound(handle);
  if (!sound) return -1;
  TrackSoundStreamCursor(handle, -1);
  SoundBuffer* ring = nullptr;
  if (ClaimSoundStreamBuffer(handle, sound, &ring, 0) < 0) return 0;
  if (sound->ring_owner != -1) LookupSound(sound->ring_owner)->current_user = -1;
  DWORD status = 0;
  if (SoundBufferGetStatus(ring, &status) < 0) return -1;
  if (status & DSBSTATUS_PLAYING) SoundBufferStop(ring);
  return 0;
}

int QuerySoundStreamPlaying(int handle) {
  SoundRecord* sound = LookupSound(handle);
  if (!sound) return -1;
  SoundBuffer* ring = nullptr;
  if (ClaimSoundStreamBuffer(handle, sound, &ring, 0) < 0) return 0;
  DWORD status = 0;
  if (SoundBufferGetStatus(ring, &status) < 0) return 0;
  return (status & DSBSTATUS_PLAYING) ? 1 : 0;
}

int GetSoundStreamPositionMs(int handle) {
  SoundRecord* sound = LookupSound(handle);
  if (!sound) return -1;
  TrackSoundStreamCursor(handle, -1);
  const uint32_t b = sound->format.nAvgBytesPerSec;
  if (!b) return 0;
  const int ms = int(double(sound->played_bytes) / b * 1000.0);
  const int length = GetSoundHandleLengthMs(handle);
  return length >= 0 && ms > length ? length : ms;
}

int RefillSoundStream(int handle) {
  SoundRecord* sound = LookupSound(handle);
  if (!sound) return -1;
  if (sound->kind != SOUND_KIND_STREAM) return 0;
  SoundBuffer* ring = nullptr;
  if (ClaimSoundStreamBuffer(handle, sound, &ring, 0) < 0 || !sound->primed) return 0;
  TrackSoundStreamCursor(handle, -1);
  const uint32_t b = sound->format.nAvgBytesPerSec;
  const uint32_t ring_size = sound->ring_size;
  const uint32_t tail = TailBytes(sound);
  DWORD p = 0;

  if (sound->ending) {
    if (SoundBufferGetPosition(ring, &p, nullptr) < 0) return -1;
    const uint32_t e = sound->end_offset;
    // The end cursor standing on the end offset means the queue had run dry
    // when the data ended: any move of the cursor passes the end.
    if (e < p && (sound->end_cursor <= e || p < sound->end_cursor)) {
      SoundBufferStop(ring);
      sound->ending = 0;
      return 0;
    }
    if (!InWindow(sound, p) || tail == 0) return -1;
    RingSpans spans{};
    spans.lock_offset = uint32_t(sound->write_offset);
    spans.ring_size = ring_size;
    void *p1 = nullptr, *p2 = nullptr;
    DWORD n1 = 0, n2 = 0;
    if (SoundBufferLock(ring, spans.lock_offset, tail, &p1, &n1, &p2, &n2) < 0) return -1;
    spans.data[0] = static_cast<uint8_t*>(p1);
    spans.data[1] = static_cast<uint8_t*>(p2);
    spans.size[0] = n1;
    spans.size[1] = p2 ? n2 : 0;
    PadSoundStreamSilence(sound, &spans, tail);
    SoundBufferUnlock(ring, p1, n1, p2, n2);
    sound->write_offset = int32_t((uint32_t(sound->write_offset) + tail) % ring_size);
    return 0;
  }

  DWORD status = 0;
  if (SoundBufferGetStatus(ring, &status) < 0) return -1;
  uint32_t amount = 0, offset = 0;
  const bool first_fill = !(status & DSBSTATUS_PLAYING);
  if (!first_fill) {
    amount = tail;
    if (sound->write_offset < 0 || SoundBufferGetPosition(ring, &p, nullptr) < 0) return -1;
    if (!InWindow(sound, p)) return -1;
    uint64_t o = uint32_t(sound->write_offset), pp = p;
    if (sound->window_start > o) {
      if (pp < o) pp += ring_size;
      o += ring_size;
    }
    const uint64_t queued = (o - pp) * 128 / b;
    if (queued < 384) amount = uint32_t(AlignToSoundBlock(int((384 - queued) * b / 128), sound));
    offset = uint32_t(sound->write_offset);
  } else {
    if (sound->write_offset != STREAM_NOT_FILLED) return 0;
    amount = uint32_t(AlignToSoundBlock(int(4 * b), sound));
    offset = 0;
  }
  if (amount == 0 || amount > ring_size) return 0;

  RingSpans spans{};
  spans.lock_offset = offset;
  spans.ring_size = ring_size;
  void *p1 = nullptr, *p2 = nullptr;
  DWORD n1 = 0, n2 = 0;
  if (SoundBufferLock(ring, offset, amount, &p1, &n1, &p2, &n2) < 0) return -1;
  spans.data[0] = static_cast<uint8_t*>(p1);
  spans.data[1] = static_cast<uint8_t*>(p2);
  spans.size[0] = n1;
  spans.size[1] = p2 ? n2 : 0;
  // A part may deliver nothing at all; after a whole round of parts without
  // a byte the sound is treated as ended rather than spinning here.
  int empty_advances = 0;
  while (spans.Left() > 0 && !sound->ending) {
    SoundDecoder* decoder = CurrentDecoder(sound);
    const uint32_t got = decoder ? FillSoundStreamFromDecoder(decoder, &spans) : 0;
    if (got > 0) {
      sound->part_position += int32_t(got);
      empty_advances = 0;
      continue;
    }
    if (!decoder || ++empty_advances > 2 * sound->part_count + 2) {
      sound->end_reached = 1;
      sound->ending = 1;
      sound->end_offset = spans.NextRingOffset();
      sound->end_cursor = first_fill ? 0 : p;
      PadSoundStreamSilence(sound, &spans, tail);
      break;
    }
    if (NextSoundStreamPart(sound, &spans, first_fill ? 0 : p) < 0) break;
  }
  SoundBufferUnlock(ring, p1, n1, p2, n2);
  if (first_fill) {
    sound->write_offset = int32_t(amount);
    sound->window_start = 0;
    return 0;
  }
  uint32_t w = uint32_t(sound->write_offset) + amount;
  if (w >= ring_size) w -= ring_size;
  sound->write_offset = int32_t(w);
  const int64_t start = int64_t(w) - int64_t(4) * b;
  sound->window_start = uint32_t(start < 0 ? start + ring_size : start);
  return 0;
}

int RefillAllSoundStreams() {
  if (!g_sound.device) return -1;
  for (ListNode* node = g_sound.streams.head.next; node && node != &g_sound.streams.tail;) {
    ListNode* next = node->next;
    RefillSoundStream(node->value);
    node = next;
  }
  return 0;
}

int ReleaseSoundStream(int handle, SoundRecord* sound) {
  if (sound->ring_owner != -1) {
    SoundRecord* owner = LookupSound(sound->ring_owner);
    if (owner) {
      owner->sharer_count--;
      if (owner->current_user == handle) owner->current_user = -1;
      if (sound->ring_owner != handle && owner->delete_pending && owner->sharer_count <= 0)
        DisposeSoundHandle(sound->ring_owner);
    }
  }
  if (sound->sharer_count != 0) {
    sound->delete_pending = 1;
    return 1;
  }
  if (sound->in_stream_list) {
    RemoveListNode(&sound->node);
    sound->in_stream_list = 0;
  }
  for (int i = 0; i < sound->part_count; ++i) CloseStreamPart(&sound->parts[i], sound->engine_opened[i]);
  sound->part_count = 0;
  if (sound->ring_owner == -1 && sound->buffers[0].in_use) SoundBufferRelease(&sound->buffers[0]);
  return 0;
}
