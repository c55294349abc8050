// Sound handles: loading a file or a file image into a static sound (decoded
// whole into buffers that take turns) or a stream sound, playing, stopping,
// volume, rate, length and position, and deletion.
#include <cmath>
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/log.h"
#include "engine/sound/sound.h"
#include "engine/sound/sound_internal.h"

int AddSoundData(int recreate) {
  SoundRecord* record = nullptr;
  const int handle = SoundHandles().Allocate(&record, recreate);
  if (handle < 0) {
    if (SoundHandles().last_failure() == HandleTableBase::FAIL_MEMORY)
      return WriteLogText("メモリ領域の確保に失敗しました in AddSoundData");
    return WriteLogText("サウンドの数が許容量を越えました\n");
  }
  record->ring_owner = -1;
  record->current_user = -1;
  return handle;
}

int SetSoundStorageMode(int mode) {
  if (mode < 0 || mode > 3) return -1;
  g_sound.storage_mode = mode;
  return 0;
}

int GetSoundStorageMode() { return g_sound.storage_mode; }

namespace {

// Deletes a handle whose load failed part-way.
int FailLoad(int handle) {
  DisposeSoundHandle(handle);
  return -1;
}

int LoadStaticImage(int handle, const void* data, int size, int buffer_count) {
  SoundRecord* sound = LookupSound(handle);
  StreamData stream{};
  if (OpenMemStream(&stream, data, uint32_t(size)) < 0) {
    WriteLogText("音声ファイルのＰＣＭへの変換に失敗しました");
    return -1;
  }
  SoundDecoder decoder;
  if (OpenSoundDecoder(&stream, &decoder) < 0) {
    stream.ops.close(stream.data);
    WriteLogText("音声ファイルのＰＣＭへの変換に失敗しました");
    return -1;
  }
  WAVEFORMATEX format{};
  uint8_t* pcm = nullptr;
  uint32_t pcm_size = 0;
  const int decoded = DecodeSoundWhole(&decoder, &format, &pcm, &pcm_size);
  CloseSoundDecoder(&decoder);
  stream.ops.close(stream.data);
  if (decoded < 0) {
    WriteLogText("音声ファイルを格納するメモリ領域の確保に失敗しました");
    return -1;
  }
  // A buffer holds at least one block and at most what the platform takes;
  // a sound outside that cannot be played, which is no reason to end the
  // program.
  if (pcm_size < format.nBlockAlign || pcm_size < DSBSIZE_MIN || pcm_size > DSBSIZE_MAX) {
    TrackedFree(pcm);
    WriteLogText("音声ファイルのＰＣＭへの変換に失敗しました");
    return -1;
  }
  MakeSoundBuffers(&format, pcm_size, SOUND_KIND_STATIC, buffer_count, handle);
  sound->format = format;
  sound->pcm_size = int32_t(pcm_size);
  sound->pcm = pcm;
  for (int i = 0; i < sound->buffer_count; ++i) {
    void *p1 = nullptr, *p2 = nullptr;
    DWORD n1 = 0, n2 = 0;
    if (SoundBufferLock(&sound->buffers[i], 0, pcm_size, &p1, &n1, &p2, &n2) < 0)
      return WriteLogText("サウンドデータの転送に失敗しました_1");
    std::memcpy(p1, pcm, n1);
    if (p2) std::memcpy(p2, pcm + n1, n2);
    if (SoundBufferUnlock(&sound->buffers[i], p1, n1, p2, n2) < 0)
      return WriteLogText("サウンドデータの転送に失敗しました_2");
  }
  return 0;
}

}  // namespace

int LoadSoundImage(const void* data, int size, int buffer_count, int share_handle) {
  if (!g_sound.device || buffer_count >= 11 || !data || size < 0) return -1;
  const int handle = AddSoundData(-1);
  if (handle < 0) return -1;
  if (g_sound.storage_mode != 0) {
    if (AttachSoundImageStream(data, uint32_t(size), 0, handle, g_sound.storage_mode, share_handle) < 0)
      return FailLoad(handle);
    PrimeSoundStream(handle);
    return handle;
  }
  if (LoadStaticImage(handle, data, size, buffer_count) < 0) return FailLoad(handle);
  return handle;
}

int LoadSoundFile(const char* file_name, int buffer_count, int share_handle) {
  if (!g_sound.device || !file_name) return -1;
  if (g_sound.storage_mode != 0) {
    const int handle = AddSoundData(-1);
    if (handle < 0) return -1;
    if (AttachSoundFileStream(file_name, 0, handle, g_sound.storage_mode, share_handle) < 0) return FailLoad(handle);
    PrimeSoundStream(handle);
    return handle;
  }
  uint8_t* image = nullptr;
  uint32_t size = 0;
  if (ReadFileWhole(file_name, &image, &size) < 0)
    return WriteLogFormat("右記の音声ファイルのロードに失敗しました_1：%s", file_name);
  if (buffer_count > MAX_SOUND_BUFFERS) buffer_count = MAX_SOUND_BUFFERS;
  const int handle = LoadSoundImage(image, int(size), buffer_count, -1);
  TrackedFree(image);
  if (handle < 0) return WriteLogFormat("右記の音声ファイルのロードに失敗しました_2：%s", file_name);
  return handle;
}

int StartSoundHandle(int handle, int play_type, int from_top) {
  SoundRecord* sound = LookupSound(handle);
  if (!sound) return -1;
  if (sound->kind == SOUND_KIND_STREAM) return StartSoundStream(handle, play_type, from_top);
  // A sound with no buffer has nothing to play (and no index to advance).
  if (sound->buffer_count < 1) return -1;
  DWORD offset = 0;
  if (SoundBufferGetPosition(&sound->buffers[sound->current_buffer], &offset, nullptr) < 0) offset = 0;
  sound->current_buffer = (sound->current_buffer + 1) % sound->buffer_count;
  SoundBuffer* buffer = &sound->buffers[sound->current_buffer];
  DWORD status = 0;
  if (SoundBufferGetStatus(buffer, &status) < 0) return -1;
  if (status & DSBSTATUS_PLAYING) {
    if (!from_top) return 0;
    SoundBufferStop(buffer);
  }
  SoundBufferSetPosition(buffer, from_top ? 0 : offset);
  if (SoundBufferPlay(buffer, play_type == SOUND_PLAY_LOOP) < 0) return -1;
  if (play_type == SOUND_PLAY_WAIT) {
    while (RunSoundMessageStep() >= 0 && QuerySoundHandlePlaying(handle) == 1) Sleep(1);
  }
  return 0;
}

int HaltSoundHandle(int handle) {
  SoundRecord* sound = LookupSound(handle);
  if (!sound) return -1;
  if (sound->kind == SOUND_KIND_STREAM) return HaltSoundStream(handle);
  for (int i = 0; i < sound->buffer_count; ++i) {
    DWORD status = 0;
    if (SoundBufferGetStatus(&sound->buffers[i], &status) < 0) return -1;
    if (status & DSBSTATUS_PLAYING) SoundBufferStop(&sound->buffers[i]);
  }
  return 0;
}

int QuerySoundHandlePlaying(int handle) {
  SoundRecord* sound = LookupSound(handle);
  if (!sound) return -1;
  if (sound->kind == SOUND_KIND_STREAM) return QuerySoundStreamPlaying(handle);
  for (int i = 0; i < sound->buffer_count; ++i) {
    DWORD status = 0;
    if (SoundBufferGetStatus(&sound->buffers[i], &status) == 0 && (status & DSBSTATUS_PLAYING)) return 1;
  }
  return 0;
}

int SetSoundHandleVolume(int volume, int handle) {
  SoundRecord* sound = LookupSound(handle);
  if (!sound) return -1;
  if (volume > 255) volume = 255;
  if (volume < 0) volume = 0;
  LONG attenuation = -10000;
  if (volume > 0) {
    attenuation = LONG(1000.0 * std::log10(volume / 255.0));  // truncated toward zero
    if (attenuation < -10000) attenuation = -10000;
  }
  for (int i = 0; i < sound->buffer_count; ++i) SoundBufferSetVolume(&sound->buffers[i], attenuation);
  return 0;
}

int SetSoundHandleFrequency(int rate, int handle) {
  SoundRecord* sound = LookupSound(handle);
  if (!sound) return -1;
  if (rate == -1) rate = 0;
  for (int i = 0; i < sound->buffer_count; ++i) SoundBufferSetFrequency(&sound->buffers[i], DWORD(rate));
  return 0;
}

int GetSoundHandleSampleCount(int handle) {
  SoundRecord* sound = LookupSound(handle);
  if (!sound) return -1;
  if (sound->kind == SOUND_KIND_STREAM) return sound->total_length;
  return sound->format.nBlockAlign ? sound->pcm_size / sound->format.nBlockAlign : 0;
}

int GetSoundHandleLengthMs(int handle) {
  SoundRecord* sound = LookupSound(handle);
  if (!sound || !sound->format.nSamplesPerSec) return -1;
  return int(double(GetSoundHandleSampleCount(handle)) * 1000.0 / sound->format.nSamplesPerSec);
}

int GetSoundHandlePositionMs(int handle) {
  SoundRecord* sound = LookupSound(handle);
  if (!sound) return -1;
  if (sound->kind == SOUND_KIND_STREAM) return GetSoundStreamPositionMs(handle);
  DWORD offset = 0;
  if (SoundBufferGetPosition(&sound->buffers[sound->current_buffer], &offset, nullptr) < 0) return -1;
  const double per_ms = double(sound->format.nBlockAlign) * sound->format.nSamplesPerSec;
  return per_ms > 0 ? int(offset * 1000.0 / per_ms) : 0;
}

int DisposeSoundHandle(int handle) {
  SoundRecord* sound = LookupSound(handle);
  if (!sound) return -1;
  if (sound->kind == SOUND_KIND_STREAM || sound->part_count > 0) {
    HaltSoundStream(handle);
    if (ReleaseSoundStream(handle, sound)) return 0;  // others still play through its ring
  } else {
    if (sound->buffers[0].in_use) HaltSoundHandle(handle);
    for (int i = 0; i < sound->buffer_count; ++i) SoundBufferRelease(&sound->buffers[i]);
    TrackedFree(sound->pcm);
    sound->pcm = nullptr;
  }
  SoundHandles().Release(handle);
  return 0;
}

int DisposeAllSoundHandles() {
  if (!g_sound.device) return -1;
  for (int slot = 0; slot < MAX_SOUND_HANDLES; ++slot) {
    const int handle = SoundHandles().HandleAt(slot);
    if (handle >= 0) DisposeSoundHandle(handle);
  }
  return 0;
}
