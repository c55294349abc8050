// Sound decoders: PCM WAVE, compressed WAVE and MPEG audio through the audio
// compression manager, and Ogg Vorbis through its file layer, all read from
// an engine stream and delivered as little-endian PCM through a refill
// buffer. Also the whole-file helpers the loaders use.
#pragma once

#include <cstdint>

#include "engine/core/stream.h"
#include "platform/acm/acm.h"

enum SoundDecoderKind { SOUND_DECODER_PCM = 0, SOUND_DECODER_ACM = 1, SOUND_DECODER_OGG = 2 };

struct SoundDecoder {
  uint32_t open;
  uint32_t at_end;
  uint32_t kind;
  StreamData source;  // the decoder's own copy; the Ogg layer reads through it
  uint32_t format_start, format_size;
  uint32_t data_start, data_size;
  WAVEFORMATEX format;  // output: always PCM
  // compressed kinds
  WAVEFORMATEX* source_format;
  uint32_t source_format_size;
  HACMSTREAM acm_stream;  // in use
  HACMSTREAM acm_spare;   // fresh, for a restart from the top
  uint8_t* packed;        // the whole compressed data
  uint8_t* packed_block;  // the allocation `packed` lies in
  uint32_t packed_size;
  uint32_t packed_used;
  int64_t mpeg_samples;  // from the frame scan, else -1
  // Ogg Vorbis
  int ogg_open;
  void* ogg_file;  // the file layer's decoding state
  int ogg_sample_bytes;
  int ogg_links;  // leading sections of the chain in the first one's format
  // refill
  uint8_t* refill;
  uint32_t refill_size;
  int32_t buffered;
  uint32_t read_offset;
  uint32_t position;
};

// The decoder keeps pointers into itself: do not move it while open.
int OpenSoundDecoder(const StreamData* source, SoundDecoder* decoder);
int ReadSoundDecoder(SoundDecoder* decoder, void* destination, uint32_t bytes);
int SeekSoundDecoder(SoundDecoder* decoder, uint32_t sample);
int CloseSoundDecoder(SoundDecoder* decoder);
int GetSoundDecoderFormat(const SoundDecoder* decoder, WAVEFORMATEX* out);
uint32_t GetSoundDecoderBytes(const SoundDecoder* decoder);
// Decodes everything; the PCM block comes from the tracking allocator and
// belongs to the caller.
int DecodeSoundWhole(SoundDecoder* decoder, WAVEFORMATEX* format, uint8_t** pcm, uint32_t* pcm_size);

struct MpegFrameHeader {
  int mpeg1;  // 1 MPEG-1, 0 MPEG-2
  int layer;  // 1..3
  int kbps;
  int rate;
  int padding;
  int channels;
  int frame_size;
  int samples;
};
// 0, -1 for a header that names no usable frame, -2 without the sync bits.
int ParseMpegAudioHeader(const uint8_t bytes[4], MpegFrameHeader* out);

int ReadFileWhole(const char* file_name, uint8_t** data, uint32_t* size);
int ReadStreamWhole(const StreamData* stream, uint8_t** data, uint32_t* size);
int MakeWaveImage(uint8_t** image, uint32_t* image_size, const WAVEFORMATEX* format, uint32_t format_size,
                  const void* pcm, uint32_t pcm_size);
