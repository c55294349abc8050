// Records and steps shared by the files of the sound module: the playback
// buffer wrapper, the sound record with its stream state, the handle table
// and the sound-system globals.
#pragma once

#include <cstdint>

#include "engine/core/handle.h"
#include "engine/core/stream.h"
#include "engine/core/util.h"
#include "engine/sound/sound_decoder.h"
#include "platform/dsound/dsound.h"

constexpr int MAX_SOUND_HANDLES = 4096;
constexpr int MAX_SOUND_BUFFERS = 10;
constexpr int MAX_STREAM_PARTS = 3;
constexpr int32_t STREAM_NOT_FILLED = -800;  // write offset before the first fill

// Buffer description flags.
constexpr DWORD SOUND_STATIC_FLAGS =
    DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY | DSBCAPS_STATIC;  // 0x80E2
constexpr DWORD SOUND_STATIC_FALLBACK_FLAGS = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_STATIC;  // 0xC2
constexpr DWORD SOUND_RING_FLAGS = SOUND_STATIC_FLAGS | DSBCAPS_GETCURRENTPOSITION2;                   // 0x180E2
constexpr DWORD SOUND_DESC_SIZE = 36;

enum SoundKind { SOUND_KIND_STATIC = 0, SOUND_KIND_STREAM = 1 };

struct SoundBuffer {
  uint32_t in_use;
  IDirectSoundBuffer* buffer;
};

struct StreamPart {
  int8_t repeat_count;  // -1 forever, 0..127 plays count + 1 times, other negatives once
  int storage_mode;
  uint8_t* data;  // encoded file (mode 2) or WAVE image of the PCM (mode 0)
  uint32_t data_size;
  StreamData stream;  // memory stream over data (modes 0 and 2)
  int has_stream;
  int32_t loop_start;
  SoundDecoder decoder;
};

struct SoundRecord {
  SoundBuffer buffers[MAX_SOUND_BUFFERS];
  WAVEFORMATEX format;
  int kind;
  // ---- stream state
  int play_type;
  int ring_owner;  // -1: owns its ring
  int sharer_count;
  int current_user;  // -1: nobody
  int delete_pending;
  uint32_t ring_size;
  int32_t write_offset;
  uint32_t window_start;
  StreamPart parts[MAX_STREAM_PARTS + 1];
  uint8_t engine_opened[MAX_STREAM_PARTS + 1];
  int part_count;
  int current_part;
  int repeat_counter;
  int32_t part_position;
  int32_t total_length;  // samples
  uint32_t played_bytes;
  uint32_t last_cursor;
  uint8_t primed;
  uint8_t ending;
  uint8_t wrap_pending;
  uint8_t end_reached;
  uint32_t loop_position;
  uint32_t end_offset;
  uint32_t end_cursor;
  uint32_t wrap_offset;
  ListNode node;
  int in_stream_list;
  // ---- static sounds
  int32_t pcm_size;
  uint8_t* pcm;
  int buffer_count;
  int current_buffer;
};

struct SoundSystem {
  IDirectSound* device;  // non-null while the sound system is started
  IDirectSoundBuffer* primary;
  IDirectSoundBuffer* silent;
  int storage_mode;
  List streams;
  int (*message_step)();
};
extern SoundSystem g_sound;

HandleTable<SoundRecord>& SoundHandles();
// The record of a valid sound handle while the system is started, else null.
SoundRecord* LookupSound(int handle);
int AddSoundData(int recreate);
// One step of the engine's message processing (the installed one, or a
// stream refill when none is installed).
int RunSoundMessageStep();
// Writes a formatted text to the log without adding a line feed.
int LogSoundText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---- buffers
int SoundBufferCreate(SoundBuffer* buffer, const DSBUFFERDESC* desc);
int SoundBufferDuplicate(SoundBuffer* buffer, const SoundBuffer* source);
int SoundBufferRelease(SoundBuffer* buffer);
int SoundBufferPlay(SoundBuffer* buffer, int loop);
int SoundBufferStop(SoundBuffer* buffer);
int SoundBufferGetStatus(SoundBuffer* buffer, DWORD* status);
int SoundBufferLock(SoundBuffer* buffer, DWORD offset, DWORD bytes, void** first, DWORD* first_bytes, void** second,
                    DWORD* second_bytes);
int SoundBufferUnlock(SoundBuffer* buffer, void* first, DWORD first_bytes, void* second, DWORD second_bytes);
int SoundBufferSetFrequency(SoundBuffer* buffer, DWORD hz);
int SoundBufferSetVolume(SoundBuffer* buffer, LONG attenuation);
int SoundBufferGetPosition(SoundBuffer* buffer, DWORD* play, DWORD* write);
int SoundBufferSetPosition(SoundBuffer* buffer, DWORD offset);
int AlignToSoundBlock(int count, const SoundRecord* sound);
int MakeSoundBuffers(const WAVEFORMATEX* format, uint32_t bytes, int kind, int buffer_count, int handle);
int ClaimSoundStreamBuffer(int handle, SoundRecord* sound, SoundBuffer** out, int force);

// ---- stream sounds
int AddSreamSound(const StreamData* source, int repeat_count, int handle, int storage_mode, int* may_close,
                  int share_handle);
int AttachSoundFileStream(const char* file_name, int repeat_count, int handle, int storage_mode, int share_handle);
int AttachSoundImageStream(const void* data, uint32_t size, int repeat_count, int handle, int storage_mode,
                           int share_handle);
int PrimeSoundStream(int handle);
int StartSoundStream(int handle, int play_type, int from_top);
int HaltSoundStream(int handle);
int QuerySoundStreamPlaying(int handle);
int GetSoundStreamPositionMs(int handle);
int RefillSoundStream(int handle);
int TrackSoundStreamCursor(int handle, int play_offset);
// Part of deleting a stream sound: 1 when it must stay (others share its
// ring), 0 when its parts and ring are gone and the record may be freed.
int ReleaseSoundStream(int handle, SoundRecord* sound);
