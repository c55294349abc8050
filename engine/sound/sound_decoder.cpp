// The decoder front: kind detection by content, the refill-buffer read and
// seek shared by all kinds, PCM WAVE itself, and the whole-file helpers.
#include <cstdlib>
#include <cstring>
#include <span>

#include "base/byte_order.h"
#include "engine/core/alloc.h"
#include "engine/core/file.h"
#include "engine/core/log.h"
#include "engine/sound/sound.h"
#include "engine/sound/sound_decoder.h"
#include "engine/sound/sound_decoder_kinds.h"

namespace {

int g_movie_flag = 0;  // set while a movie loads its sound

int SeekStream(const StreamData* s, int32_t offset, int origin) { return s->ops.seek(s->data, offset, origin); }

// PCM WAVE: the output format is the "fmt " body itself.
int OpenPcmWave(SoundDecoder* d) {
  uint8_t* body = ParseWaveChunks(d);
  if (!body) return -1;
  WAVEFORMATEX f{};
  std::memcpy(&f, body, d->format_size < 18 ? d->format_size : 18);
  TrackedFree(body);
  if (f.wFormatTag != WAVE_FORMAT_PCM) return -1;
  if (d->format_size < 18) {  // the old 16-byte form carries no extra size
    if (f.nChannels) f.wBitsPerSample = WORD(f.nBlockAlign / f.nChannels * 8);
    f.cbSize = 0;
  }
  if (!NormalisePlayablePcm(&f)) return -1;
  d->kind = SOUND_DECODER_PCM;
  d->format = f;
  d->refill_size = f.nAvgBytesPerSec;
  return 0;
}

// One second of PCM straight from the source; a data chunk that claims more
// than the source delivers ends where the source does.
int RefillPcm(SoundDecoder* d) {
  const int64_t at = d->source.ops.tell(d->source.data) - d->data_start;
  if (at < 0 || at >= d->data_size) return 0;
  uint32_t n = d->data_size - uint32_t(at);
  if (n > d->refill_size) n = d->refill_size;
  return int(d->source.ops.read(d->refill, 1, n, d->source.data));
}

int Refill(SoundDecoder* d) {
  switch (d->kind) {
    case SOUND_DECODER_PCM: return RefillPcm(d);
    case SOUND_DECODER_ACM: return RefillAcm(d);
    default: return RefillOgg(d);
  }
}

void CloseKind(SoundDecoder* d) {
  if (d->kind == SOUND_DECODER_ACM) CloseAcm(d);
  if (d->kind == SOUND_DECODER_OGG) CloseOgg(d);
}

}  // namespace

int64_t SoundStreamSize(const StreamData* s) {
  const int64_t here = s->ops.tell(s->data);
  if (SeekStream(s, 0, 2) != 0) return -1;
  const int64_t size = s->ops.tell(s->data);
  SeekStream(s, int32_t(here), 0);
  return size;
}

bool ReadSoundStreamExact(const StreamData* s, void* buffer, uint32_t bytes) {
  return bytes == 0 || s->ops.read(buffer, 1, bytes, s->data) == bytes;
}

bool NormalisePlayablePcm(WAVEFORMATEX* f) {
  if (f->wFormatTag != WAVE_FORMAT_PCM || f->nChannels < 1 || f->nChannels > 8) return false;
  if (f->wBitsPerSample != 8 && f->wBitsPerSample != 16 && f->wBitsPerSample != 24 && f->wBitsPerSample != 32)
    return false;
  if (f->nBlockAlign != f->nChannels * f->wBitsPerSample / 8) return false;
  if (f->nSamplesPerSec < 100 || f->nSamplesPerSec > 200000) return false;
  // Rings and refills are sized from this rate: trust the block and sample
  // rate, not a stale figure in the header.
  f->nAvgBytesPerSec = f->nBlockAlign * f->nSamplesPerSec;
  return true;
}

uint8_t* ParseWaveChunks(SoundDecoder* d) {
  const StreamData* s = &d->source;
  const int64_t size = SoundStreamSize(s);
  uint8_t h[8];
  if (!ReadSoundStreamExact(s, h, 8) || std::memcmp(h, "RIFF", 4) != 0) return nullptr;
  if (!ReadSoundStreamExact(s, h, 4) || std::memcmp(h, "WAVE", 4) != 0) return nullptr;
  if (!ReadSoundStreamExact(s, h, 8) || std::memcmp(h, "fmt ", 4) != 0) return nullptr;
  const uint32_t format_size = ReadLe32(h + 4);
  // A real format record is 14 to a few dozen bytes; anything past 64 KiB is
  // damage.
  if (format_size < 14 || format_size > 0x10000) return nullptr;
  d->format_start = uint32_t(s->ops.tell(s->data));
  d->format_size = format_size;
  auto* body = static_cast<uint8_t*>(TrackedCalloc(format_size < 18 ? 18 : format_size, "", 0));
  if (!body) return nullptr;
  if (!ReadSoundStreamExact(s, body, format_size)) {
    TrackedFree(body);
    return nullptr;
  }
  if (format_size & 1) SeekStream(s, 1, 1);
  for (;;) {
    if (!ReadSoundStreamExact(s, h, 8)) {
      TrackedFree(body);
      return nullptr;
    }
    const uint32_t chunk = ReadLe32(h + 4);
    if (std::memcmp(h, "data", 4) == 0) {
      d->data_start = uint32_t(s->ops.tell(s->data));
      d->data_size = chunk;
      if (size >= 0 && int64_t(d->data_start) + chunk > size) d->data_size = uint32_t(size - d->data_start);
      return body;
    }
    const int64_t next = s->ops.tell(s->data) + chunk + (chunk & 1);
    if (next > 0x7FFFFFFF || (size >= 0 && next > size) || SeekStream(s, int32_t(next), 0) != 0) {
      TrackedFree(body);
      return nullptr;
    }
  }
}

int SetSoundMovieFlag(int on) {
  g_movie_flag = on ? 1 : 0;
  return 0;
}

int GetSoundMovieFlag() { return g_movie_flag; }

int OpenSoundDecoder(const StreamData* source, SoundDecoder* d) {
  std::memset(d, 0, sizeof *d);
  d->source = *source;
  d->mpeg_samples = -1;
  int (*const openers[])(SoundDecoder*) = {OpenPcmWave, OpenAcmWave, OpenOggVorbis, OpenMpegAudio};
  // A movie's sound is the Vorbis stream beside its pictures: the other kinds
  // would only misread picture data (the MPEG frame scan finds sync words
  // in anything, after reading the whole file).
  int (*const movie_openers[])(SoundDecoder*) = {OpenOggVorbis};
  bool found = false;
  using Openers = std::span<int (*const)(SoundDecoder*)>;
  for (auto open : g_movie_flag ? Openers(movie_openers) : Openers(openers)) {
    if (SeekStream(&d->source, 0, 0) != 0) break;
    if (open(d) == 0) {
      found = true;
      break;
    }
  }
  if (!found) return -1;
  d->refill = static_cast<uint8_t*>(TrackedAlloc(d->refill_size ? d->refill_size : 1, "", 0));
  if (!d->refill) {
    CloseKind(d);
    return -1;
  }
  d->at_end = 0;
  d->buffered = 0;
  d->read_offset = 0;
  d->position = 0;
  d->open = 1;
  return 0;
}

int ReadSoundDecoder(SoundDecoder* d, void* destination, uint32_t bytes) {
  if (!d->open) return -1;
  if (d->at_end || bytes == 0) return 0;
  auto* out = static_cast<uint8_t*>(destination);
  uint32_t copied = 0;
  while (copied < bytes) {
    if (d->buffered <= 0) {
      d->read_offset = 0;
      const int got = Refill(d);
      if (got <= 0) {
        d->buffered = 0;
        d->at_end = 1;
        break;
      }
      d->buffered = got;
    }
    uint32_t n = bytes - copied;
    if (n > uint32_t(d->buffered)) n = uint32_t(d->buffered);
    std::memcpy(out + copied, d->refill + d->read_offset, n);
    copied += n;
    d->read_offset += n;
    d->buffered -= int32_t(n);
    d->position += n;
  }
  return int(copied);
}

int SeekSoundDecoder(SoundDecoder* d, uint32_t sample) {
  if (!d->open) return -1;
  const int64_t target = int64_t(sample) * d->format.nBlockAlign;
  const int64_t distance = target - d->position;
  if (distance > -16 && distance < 16) return 0;
  int result = 0;
  switch (d->kind) {
    case SOUND_DECODER_PCM:
      SeekStream(&d->source, int32_t(d->data_start + uint32_t(target)), 0);
      d->buffered = 0;
      d->read_offset = 0;
      d->position = uint32_t(target);
      break;
    case SOUND_DECODER_ACM: result = SeekAcm(d, sample); break;
    default: result = SeekOgg(d, sample); break;
  }
  d->at_end = 0;
  return result;
}

int CloseSoundDecoder(SoundDecoder* d) {
  if (!d->open) return -1;
  CloseKind(d);
  TrackedFree(d->refill);
  d->refill = nullptr;
  d->open = 0;
  return 0;
}

int GetSoundDecoderFormat(const SoundDecoder* d, WAVEFORMATEX* out) {
  *out = d->format;
  return 0;
}

uint32_t GetSoundDecoderBytes(const SoundDecoder* d) {
  switch (d->kind) {
    case SOUND_DECODER_PCM: return d->data_size;
    case SOUND_DECODER_ACM: return AcmDecodedBytes(d);
    default: return OggDecodedBytes(d);
  }
}

int DecodeSoundWhole(SoundDecoder* d, WAVEFORMATEX* format, uint8_t** pcm, uint32_t* pcm_size) {
  if (!d->open) return -1;
  const uint32_t total = GetSoundDecoderBytes(d);
  auto* block = static_cast<uint8_t*>(TrackedAlloc(total ? total : 1, "", 0));
  if (!block) return -1;
  SeekSoundDecoder(d, 0);
  uint32_t got = 0;
  if (d->kind == SOUND_DECODER_PCM) {
    // Start from the data itself: a seek within 16 bytes may have been skipped.
    SeekStream(&d->source, int32_t(d->data_start), 0);
    d->buffered = 0;
    d->position = 0;
    got = uint32_t(d->source.ops.read(block, 1, total, d->source.data));
    d->position = got;
  } else {
    const int n = ReadSoundDecoder(d, block, total);
    got = n > 0 ? uint32_t(n) : 0;
  }
  *format = d->format;
  *pcm = block;
  *pcm_size = got;
  return 0;
}

int ReadFileWhole(const char* file_name, uint8_t** data, uint32_t* size) {
  const intptr_t file = FsOpen(file_name, 0, 1, 0);
  if (!file) return WriteLogFormat("右記のファイルのオープンに失敗しました：%s", file_name);
  FsSeek(file, 0, 2);
  const int64_t n = FsTell(file);
  FsSeek(file, 0, 0);
  uint8_t* block = n >= 0 && n < 0x7FFFFFFF ? static_cast<uint8_t*>(TrackedAlloc(uint32_t(n ? n : 1), "", 0)) : nullptr;
  if (!block) {
    WriteLogFormat("右記のファイルのロードに必要なメモリの確保に失敗しました：%s", file_name);
    FsClose(file);
    return -1;
  }
  const size_t got = FsRead(block, 1, size_t(n), file);
  FsClose(file);
  *data = block;
  *size = uint32_t(got);
  return 0;
}

int ReadStreamWhole(const StreamData* stream, uint8_t** data, uint32_t* size) {
  SeekStream(stream, 0, 2);
  const int64_t n = stream->ops.tell(stream->data);
  SeekStream(stream, 0, 0);
  uint8_t* block = n >= 0 && n < 0x7FFFFFFF ? static_cast<uint8_t*>(TrackedAlloc(uint32_t(n ? n : 1), "", 0)) : nullptr;
  if (!block) return WriteLogText("ストリームの読み込みに必要なメモリの確保に失敗しました");
  *data = block;
  *size = uint32_t(stream->ops.read(block, 1, size_t(n), stream->data));
  return 0;
}

int MakeWaveImage(uint8_t** image, uint32_t* image_size, const WAVEFORMATEX* format, uint32_t format_size,
                  const void* pcm, uint32_t pcm_size) {
  const uint32_t total = format_size + pcm_size + 28;
  auto* p = static_cast<uint8_t*>(TrackedAlloc(total, "", 0));
  if (!p) return -1;
  std::memcpy(p, "RIFF", 4);
  WriteLe32(p + 4, format_size + pcm_size + 20);
  std::memcpy(p + 8, "WAVEfmt ", 8);
  WriteLe32(p + 16, format_size);
  std::memset(p + 20, 0, format_size);
  std::memcpy(p + 20, format, format_size < 18 ? format_size : 18);
  std::memcpy(p + 20 + format_size, "data", 4);
  WriteLe32(p + 24 + format_size, pcm_size);
  if (pcm_size) std::memcpy(p + 28 + format_size, pcm, pcm_size);
  *image = p;
  *image_size = total;
  return 0;
}
