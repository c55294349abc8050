// The decoder kinds behind sound_decoder.cpp: each opener fills the kind's
// fields, the output format and the refill size, or cleans up and fails.
#pragma once

#include "engine/sound/sound_decoder.h"

// Largest PCM a decoder will promise: a size read from a damaged file must
// not turn into a giant allocation.
constexpr uint64_t MAX_DECODED_PCM_BYTES = 0x40000000u;

int64_t SoundStreamSize(const StreamData* stream);  // -1 when it cannot be told
bool ReadSoundStreamExact(const StreamData* stream, void* buffer, uint32_t bytes);
// A PCM format the playback buffers take; fixes the average byte rate.
bool NormalisePlayablePcm(WAVEFORMATEX* format);

// WAVE container: "RIFF", "WAVE", "fmt " first, then chunks up to "data".
// Returns the "fmt " body (tracking allocator) or null; the stream stands at
// the data and data_size is cut to what the stream holds.
uint8_t* ParseWaveChunks(SoundDecoder* decoder);

int OpenAcmWave(SoundDecoder* decoder);
int OpenMpegAudio(SoundDecoder* decoder);
int RefillAcm(SoundDecoder* decoder);
int SeekAcm(SoundDecoder* decoder, uint32_t sample);
uint32_t AcmDecodedBytes(const SoundDecoder* decoder);
void CloseAcm(SoundDecoder* decoder);

int OpenOggVorbis(SoundDecoder* decoder);
int RefillOgg(SoundDecoder* decoder);
int SeekOgg(SoundDecoder* decoder, uint32_t sample);
uint32_t OggDecodedBytes(const SoundDecoder* decoder);
void CloseOgg(SoundDecoder* decoder);
