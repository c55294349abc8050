// Compressed WAVE and raw MPEG audio, both converted to PCM through the audio
// compression manager from a copy of the whole compressed data held in
// memory. Each conversion step takes at most 2048 source bytes (at least one
// source block) and never more than the refill buffer can receive.
#include <cstring>

#include "base/byte_order.h"
#include "engine/core/alloc.h"
#include "engine/sound/sound_decoder_kinds.h"

namespace {

constexpr uint32_t kStepSourceBytes = 2048;

int OpenConversion(SoundDecoder* d, HACMSTREAM* out) {
  *out = nullptr;
  return acmStreamOpen(out, nullptr, d->source_format, &d->format, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) ==
                 MMSYSERR_NOERROR
             ? 0
             : -1;
}

void FreeAcmState(SoundDecoder* d) {
  if (d->acm_stream) acmStreamClose(d->acm_stream, 0);
  if (d->acm_spare) acmStreamClose(d->acm_spare, 0);
  d->acm_stream = d->acm_spare = nullptr;
  TrackedFree(d->packed_block);
  TrackedFree(d->source_format);
  d->packed = d->packed_block = nullptr;
  d->source_format = nullptr;
}

// Shared tail of both openers: output format, both conversions, refill size.
int FinishAcmOpen(SoundDecoder* d, uint32_t refill_seconds_num, uint32_t refill_seconds_den) {
  WAVEFORMATEX out{};
  out.wFormatTag = WAVE_FORMAT_PCM;
  if (acmFormatSuggest(nullptr, d->source_format, &out, sizeof out, ACM_FORMATSUGGESTF_WFORMATTAG) !=
          MMSYSERR_NOERROR ||
      !NormalisePlayablePcm(&out)) {
    return -1;
  }
  d->format = out;
  if (OpenConversion(d, &d->acm_stream) < 0 || OpenConversion(d, &d->acm_spare) < 0) return -1;
  d->refill_size = uint32_t(uint64_t(out.nAvgBytesPerSec) * refill_seconds_num / refill_seconds_den);
  d->refill_size -= d->refill_size % out.nBlockAlign;
  if (d->refill_size == 0) return -1;
  d->kind = SOUND_DECODER_ACM;
  return 0;
}

// ---- MPEG audio frame headers ----------------------------------------------

const int kBitRates[2][3][16] = {
    // MPEG-2 (lower sampling frequencies): layer I, layer II, layer III
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
    // MPEG-1
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
};
const int kSampleRates[2][3] = {{22050, 24000, 16000}, {44100, 48000, 32000}};

// A tag block ends the audio: an ID3v1 tag ("TAG"), an APEv2 tag
// ("APETAGEX") or an ID3v2 tag appended after the frames ("ID3").
bool TagStartsAt(const uint8_t* p, uint32_t left) {
  return (left >= 3 && (std::memcmp(p, "TAG", 3) == 0 || std::memcmp(p, "ID3", 3) == 0)) ||
         (left >= 8 && std::memcmp(p, "APETAGEX", 8) == 0);
}

struct MpegScan {
  int64_t first = -1;  // offset of the first frame
  int64_t end = 0;     // end of the last frame
  int64_t samples = 0;
  MpegFrameHeader head{};
};

// Walks the frames of `n` bytes of MPEG audio, passing over bytes between
// frames. A tag block ends the walk; a frame header that names no usable
// frame is damage inside the audio. False for damage or no frame at all.
bool ScanMpegFrames(const uint8_t* block, uint32_t n, MpegScan* scan) {
  MpegFrameHeader h{};
  for (uint32_t i = 0; i < n;) {
    if (TagStartsAt(block + i, n - i)) break;
    if (block[i] != 0xFF || i + 1 >= n) {
      ++i;
      continue;
    }
    if ((block[i + 1] & 0xF0) != 0xF0) {
      i += 2;
      continue;
    }
    if (i + 3 >= n) break;
    if (ParseMpegAudioHeader(block + i, &h) != 0) return false;
    if (scan->first < 0) {
      scan->first = i;
      scan->head = h;
    }
    scan->samples += h.samples;
    const int64_t end = int64_t(i) + h.frame_size;
    scan->end = end < n ? end : n;
    if (end >= n) break;
    i = uint32_t(end);
  }
  return scan->first >= 0;
}

// Where the audio of an MPEG file of `size` bytes ends: before an ID3v1 tag
// in its last 128 bytes and an APEv2 tag whose footer stands before that (or
// at the end); the footer gives the tag's length, header or not.
int64_t MpegAudioEnd(const StreamData* s, int64_t size) {
  int64_t end = size;
  uint8_t t[32];
  if (end > 128 && s->ops.seek(s->data, int32_t(end - 128), 0) == 0 && ReadSoundStreamExact(s, t, 3) &&
      std::memcmp(t, "TAG", 3) == 0)
    end -= 128;
  if (end >= 32 && s->ops.seek(s->data, int32_t(end - 32), 0) == 0 && ReadSoundStreamExact(s, t, 32) &&
      std::memcmp(t, "APETAGEX", 8) == 0) {
    const int64_t tag = int64_t(ReadLe32(t + 12)) + ((ReadLe32(t + 20) & 0x80000000u) ? 32 : 0);
    if (tag >= 32 && tag <= end) end -= tag;
  }
  return end;
}

}  // namespace

int ParseMpegAudioHeader(const uint8_t b[4], MpegFrameHeader* h) {
  if (b[0] != 0xFF || (b[1] & 0xF0) != 0xF0) return -2;
  const int mpeg1 = (b[1] >> 3) & 1;
  const int layer_index = 3 - ((b[1] >> 1) & 3);
  const int rate_index = (b[2] >> 2) & 3;
  const int bit_rate_index = b[2] >> 4;
  if (layer_index == 3 || bit_rate_index == 15 || rate_index == 3) return -1;
  // Index 0 is the free format: no table size, so no frame length to step by.
  if (bit_rate_index == 0) return -1;
  h->mpeg1 = mpeg1;
  h->layer = layer_index + 1;
  h->kbps = kBitRates[mpeg1][layer_index][bit_rate_index];
  h->rate = kSampleRates[mpeg1][rate_index];
  h->padding = (b[2] >> 1) & 1;
  h->channels = (b[3] >> 6) == 3 ? 1 : 2;
  if (layer_index == 0) {
    h->frame_size = (12000 * h->kbps / h->rate + h->padding) * 4;
    h->samples = 384;
  } else if (mpeg1 || layer_index == 1) {
    // Layer II frames hold 1152 samples in every version.
    h->frame_size = 144000 * h->kbps / h->rate + h->padding;
    h->samples = 1152;
  } else {
    h->frame_size = 72000 * h->kbps / h->rate + h->padding;
    h->samples = 576;
  }
  return h->frame_size >= 4 ? 0 : -1;
}

int OpenAcmWave(SoundDecoder* d) {
  uint8_t* body = ParseWaveChunks(d);
  if (!body) return -1;
  const uint32_t body_size = d->format_size < 18 ? 18 : d->format_size;
  auto* src = reinterpret_cast<WAVEFORMATEX*>(body);
  if (d->format_size < 18) {
    if (src->wFormatTag == WAVE_FORMAT_PCM && src->nChannels) src->wBitsPerSample = WORD(src->nBlockAlign / src->nChannels * 8);
    src->cbSize = 0;
  } else if (18u + src->cbSize > body_size) {
    src->cbSize = WORD(body_size - 18);  // never let the extension run past the chunk
  }
  d->source_format = src;
  d->source_format_size = body_size;
  d->packed_size = d->data_size;
  d->packed_block = static_cast<uint8_t*>(TrackedAlloc(d->packed_size ? d->packed_size : 1, "", 0));
  d->packed = d->packed_block;
  if (!d->packed || !ReadSoundStreamExact(&d->source, d->packed, d->packed_size) ||
      d->source.ops.seek(d->source.data, int32_t(d->data_start), 0) != 0) {
    FreeAcmState(d);
    return -1;
  }
  // MPEG audio has no fixed bytes per sample: its length is counted from its
  // frames. The header's average byte rate is only a hint (variable-rate
  // files carry 0); without it and without frames there is no length at all.
  if (src->wFormatTag == WAVE_FORMAT_MPEGLAYER3) {
    MpegScan scan;
    if (ScanMpegFrames(d->packed, d->packed_size, &scan)) {
      d->mpeg_samples = scan.samples;
    } else if (src->nAvgBytesPerSec == 0) {
      FreeAcmState(d);
      return -1;
    }
  }
  if (FinishAcmOpen(d, 1, 1) < 0) {
    FreeAcmState(d);
    d->mpeg_samples = -1;
    return -1;
  }
  return 0;
}

int OpenMpegAudio(SoundDecoder* d) {
  const StreamData* s = &d->source;
  const int64_t size = SoundStreamSize(s);
  if (size < 4 || size > 0x7FFFFFFF) return -1;
  uint8_t id3[10];
  int64_t audio_start = 0;
  if (ReadSoundStreamExact(s, id3, 10) && std::memcmp(id3, "ID3", 3) == 0) {
    const int64_t tag = (id3[6] & 0x7F) * 2097152 + (id3[7] & 0x7F) * 16384 + (id3[8] & 0x7F) * 128 + (id3[9] & 0x7F);
    audio_start = tag + ((id3[3] == 4 && (id3[5] & 0x10)) ? 20 : 10);
  }
  const int64_t limit = MpegAudioEnd(s, size);
  if (audio_start >= limit) return -1;
  // The frame scan runs over a copy of the audio, which the conversion keeps.
  const uint32_t n = uint32_t(limit - audio_start);
  auto* block = static_cast<uint8_t*>(TrackedAlloc(n, "", 0));
  if (!block) return -1;
  if (s->ops.seek(s->data, int32_t(audio_start), 0) != 0 || !ReadSoundStreamExact(s, block, n)) {
    TrackedFree(block);
    return -1;
  }
  MpegScan scan;
  if (!ScanMpegFrames(block, n, &scan)) {
    TrackedFree(block);
    return -1;
  }
  const MpegFrameHeader& head = scan.head;
  d->packed_block = block;
  d->packed = block + scan.first;
  d->packed_size = uint32_t(scan.end - scan.first);
  d->data_start = uint32_t(audio_start + scan.first);
  d->data_size = d->packed_size;
  d->mpeg_samples = scan.samples;

  DWORD format_bytes = 0;
  if (acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &format_bytes) != MMSYSERR_NOERROR || format_bytes == 0)
    format_bytes = 32;
  if (format_bytes < sizeof(MPEGLAYER3WAVEFORMAT)) format_bytes = sizeof(MPEGLAYER3WAVEFORMAT);
  auto* mp3 = static_cast<MPEGLAYER3WAVEFORMAT*>(TrackedCalloc(format_bytes, "", 0));
  if (!mp3) {
    FreeAcmState(d);
    return -1;
  }
  mp3->wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
  mp3->wfx.nChannels = WORD(head.channels);
  mp3->wfx.nSamplesPerSec = DWORD(head.rate);
  mp3->wfx.nAvgBytesPerSec = DWORD(head.kbps * 1000 / 8);
  mp3->wfx.nBlockAlign = 1;
  mp3->wfx.wBitsPerSample = 0;
  mp3->wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
  mp3->wID = MPEGLAYER3_ID_MPEG;
  mp3->fdwFlags = DWORD(head.padding);
  mp3->nBlockSize = WORD(head.frame_size);
  mp3->nFramesPerBlock = 1;
  mp3->nCodecDelay = 700;
  d->source_format = &mp3->wfx;
  d->source_format_size = format_bytes;
  if (FinishAcmOpen(d, 4, 3) < 0) {
    FreeAcmState(d);
    d->mpeg_samples = -1;
    return -1;
  }
  return 0;
}

int RefillAcm(SoundDecoder* d) {
  if (d->packed_used >= d->packed_size) return 0;
  uint32_t step = kStepSourceBytes;
  if (d->source_format->nBlockAlign > step) step = d->source_format->nBlockAlign;
  // Never hand in more source than the refill buffer can take decoded.
  DWORD room = 0;
  if (acmStreamSize(d->acm_stream, d->refill_size, &room, ACM_STREAMSIZEF_DESTINATION) == MMSYSERR_NOERROR &&
      room > 0 && room < step)
    step = room;
  if (step > d->packed_size - d->packed_used) step = d->packed_size - d->packed_used;
  ACMSTREAMHEADER hdr{};
  hdr.cbStruct = sizeof hdr;
  hdr.pbSrc = d->packed + d->packed_used;
  hdr.cbSrcLength = step;
  hdr.pbDst = d->refill;
  hdr.cbDstLength = d->refill_size;
  if (acmStreamPrepareHeader(d->acm_stream, &hdr, 0) != MMSYSERR_NOERROR) {
    d->packed_used = d->packed_size;
    return 0;
  }
  const MMRESULT converted = acmStreamConvert(d->acm_stream, &hdr, ACM_STREAMCONVERTF_BLOCKALIGN);
  uint32_t produced = converted == MMSYSERR_NOERROR ? hdr.cbDstLengthUsed : 0;
  uint32_t used = converted == MMSYSERR_NOERROR ? hdr.cbSrcLengthUsed : 0;
  acmStreamUnprepareHeader(d->acm_stream, &hdr, 0);
  if (produced > d->refill_size) produced = d->refill_size;
  if (used > step) used = step;
  d->packed_used += used;
  if (produced == 0) {
    d->packed_used = d->packed_size;
    return 0;
  }
  return int(produced);
}

int SeekAcm(SoundDecoder* d, uint32_t sample) {
  const uint64_t target = uint64_t(sample) * d->format.nBlockAlign;
  if (target < d->position) {
    // Conversion state cannot run backwards: start again on a fresh stream.
    HACMSTREAM used = d->acm_stream;
    d->acm_stream = d->acm_spare;
    acmStreamClose(used, 0);
    OpenConversion(d, &d->acm_spare);
    d->packed_used = 0;
    d->position = 0;
    d->buffered = 0;
    d->read_offset = 0;
  }
  while (target > d->position + uint32_t(d->buffered)) {
    d->position += uint32_t(d->buffered);
    d->buffered = 0;
    d->read_offset = 0;
    const int got = d->acm_stream ? RefillAcm(d) : 0;
    if (got <= 0) {
      d->at_end = 1;
      return 0;
    }
    d->buffered = got;
  }
  const uint32_t skip = uint32_t(target - d->position);
  d->read_offset += skip;
  d->buffered -= int32_t(skip);
  d->position = uint32_t(target);
  return 0;
}

uint32_t AcmDecodedBytes(const SoundDecoder* d) {
  if (d->mpeg_samples >= 0) {
    const uint64_t bytes = uint64_t(d->mpeg_samples) * d->format.nBlockAlign;
    return bytes > MAX_DECODED_PCM_BYTES ? uint32_t(MAX_DECODED_PCM_BYTES) : uint32_t(bytes);
  }
  DWORD out = 0;
  if (acmStreamSize(d->acm_stream, d->packed_size, &out, ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR) return 0;
  return out > MAX_DECODED_PCM_BYTES ? uint32_t(MAX_DECODED_PCM_BYTES) : out;
}

void CloseAcm(SoundDecoder* d) {
  FreeAcmState(d);
  d->mpeg_samples = -1;
}
