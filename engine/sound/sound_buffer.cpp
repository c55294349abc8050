// Playback buffers: the thin wrapper around one platform buffer, the creation
// of a sound's buffers (a static buffer with duplicates, or one ring), and the
// claim of a ring that several stream sounds share.
#include <cstring>

#include "engine/core/log.h"
#include "engine/sound/sound_internal.h"

int SoundBufferCreate(SoundBuffer* buffer, const DSBUFFERDESC* desc) {
  if (buffer->in_use || !g_sound.device) return -1;
  IDirectSoundBuffer* b = nullptr;
  if (FAILED(g_sound.device->CreateSoundBuffer(desc, &b, nullptr)) || !b) return -1;
  buffer->buffer = b;
  buffer->in_use = 1;
  return 0;
}

int SoundBufferDuplicate(SoundBuffer* buffer, const SoundBuffer* source) {
  if (buffer->in_use || !source->in_use || !g_sound.device) return -1;
  IDirectSoundBuffer* b = nullptr;
  if (FAILED(g_sound.device->DuplicateSoundBuffer(source->buffer, &b)) || !b) return -1;
  buffer->buffer = b;
  buffer->in_use = 1;
  return 0;
}

int SoundBufferRelease(SoundBuffer* buffer) {
  if (!buffer->in_use) return -1;
  buffer->buffer->Release();
  buffer->buffer = nullptr;
  buffer->in_use = 0;
  return 0;
}

int SoundBufferPlay(SoundBuffer* buffer, int loop) {
  if (!buffer->in_use) return -1;
  buffer->buffer->Play(0, 0, loop ? DSBPLAY_LOOPING : 0);
  return 0;
}

int SoundBufferStop(SoundBuffer* buffer) {
  if (!buffer->in_use) return -1;
  buffer->buffer->Stop();
  return 0;
}

int SoundBufferGetStatus(SoundBuffer* buffer, DWORD* status) {
  if (!buffer->in_use) return -1;
  return FAILED(buffer->buffer->GetStatus(status)) ? -1 : 0;
}

int SoundBufferLock(SoundBuffer* buffer, DWORD offset, DWORD bytes, void** first, DWORD* first_bytes, void** second,
                    DWORD* second_bytes) {
  if (!buffer->in_use) return -1;
  return FAILED(buffer->buffer->Lock(offset, bytes, first, first_bytes, second, second_bytes, 0)) ? -1 : 0;
}

int SoundBufferUnlock(SoundBuffer* buffer, void* first, DWORD first_bytes, void* second, DWORD second_bytes) {
  if (!buffer->in_use) return -1;
  return FAILED(buffer->buffer->Unlock(first, first_bytes, second, second_bytes)) ? -1 : 0;
}

int SoundBufferSetFrequency(SoundBuffer* buffer, DWORD hz) {
  if (!buffer->in_use) return -1;
  buffer->buffer->SetFrequency(hz);
  return 0;
}

int SoundBufferSetVolume(SoundBuffer* buffer, LONG attenuation) {
  if (!buffer->in_use) return -1;
  buffer->buffer->SetVolume(attenuation);
  return 0;
}

int SoundBufferGetPosition(SoundBuffer* buffer, DWORD* play, DWORD* write) {
  if (!buffer->in_use) return -1;
  return FAILED(buffer->buffer->GetCurrentPosition(play, write)) ? -1 : 0;
}

int SoundBufferSetPosition(SoundBuffer* buffer, DWORD offset) {
  if (!buffer->in_use) return -1;
  return FAILED(buffer->buffer->SetCurrentPosition(offset)) ? -1 : 0;
}

int AlignToSoundBlock(int count, const SoundRecord* sound) {
  const int align = sound->format.nBlockAlign ? sound->format.nBlockAlign : 1;
  return count / align * align;
}

int MakeSoundBuffers(const WAVEFORMATEX* format, uint32_t bytes, int kind, int buffer_count, int handle) {
  SoundRecord* sound = LookupSound(handle);
  if (!sound) return -1;
  WAVEFORMATEX f = *format;
  DSBUFFERDESC desc{};
  desc.dwSize = SOUND_DESC_SIZE;
  desc.lpwfxFormat = &f;
  if (kind == SOUND_KIND_STATIC) {
    if (buffer_count > MAX_SOUND_BUFFERS) buffer_count = MAX_SOUND_BUFFERS;
    if (buffer_count < 0) buffer_count = 0;
    desc.dwBufferBytes = bytes;
    for (int i = 0; i < buffer_count; ++i) {
      if (i == 0) {
        desc.dwFlags = SOUND_STATIC_FLAGS;
        if (SoundBufferCreate(&sound->buffers[0], &desc) < 0) {
          desc.dwFlags = SOUND_STATIC_FALLBACK_FLAGS;
          if (SoundBufferCreate(&sound->buffers[0], &desc) < 0) AbortWithLog("DirectSoundBuffer の作成に失敗しました");
        }
      } else if (SoundBufferDuplicate(&sound->buffers[i], &sound->buffers[0]) < 0) {
        buffer_count = i;  // a sound may end up with fewer buffers than asked
        break;
      }
    }
    sound->buffer_count = buffer_count;
  } else if (kind == SOUND_KIND_STREAM) {
    desc.dwFlags = SOUND_RING_FLAGS;
    desc.dwBufferBytes = format->nAvgBytesPerSec * 6;
    if (SoundBufferCreate(&sound->buffers[0], &desc) < 0)
      AbortWithLog("ストリーム風サウンドバッファの作成に失敗しました");
    sound->buffer_count = 1;
    AppendListNode(&g_sound.streams, &sound->node, handle, sound);
    sound->in_stream_list = 1;
  }
  sound->kind = kind;
  return 0;
}

int ClaimSoundStreamBuffer(int handle, SoundRecord* sound, SoundBuffer** out, int force) {
  if (sound->kind == SOUND_KIND_STATIC) {
    *out = &sound->buffers[0];
    return 0;
  }
  SoundRecord* ring = sound;
  if (sound->ring_owner != -1) {
    ring = LookupSound(sound->ring_owner);
    if (!ring) return -1;
  }
  *out = &ring->buffers[0];
  // A user whose handle has gone holds nothing.
  if (ring->current_user != -1 && ring->current_user != handle && LookupSound(ring->current_user)) {
    if (!force) return -1;
    const int previous = ring->current_user;
    HaltSoundStream(previous);
    // The ring's contents are no longer that sound's: a later play of it
    // fills the ring afresh instead of playing the new user's data.
    if (SoundRecord* other = LookupSound(previous)) other->primed = 0;
  }
  ring->current_user = handle;
  return 0;
}
