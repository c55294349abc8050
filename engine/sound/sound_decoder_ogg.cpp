// Ogg Vorbis through the Vorbis file layer, reading the decoder's own copy of
// the stream record. Output is always 16-bit signed little-endian.
#include <vorbis/vorbisfile.h>

#include <cstring>

#include "engine/core/alloc.h"
#include "engine/sound/sound_decoder_kinds.h"

namespace {

constexpr uint32_t kOggRefill = 4096;
// A whole decode has one second more room than the stream claims, so that
// it holds all that the layer delivers.
constexpr uint64_t kRoomFrames = 44100;
constexpr int kMaxHolesPerRefill = 64;

size_t OggRead(void* buffer, size_t size, size_t count, void* source) {
  auto* s = static_cast<StreamData*>(source);
  if (!s) return size_t(-1);
  return s->ops.read(buffer, size, count, s->data);
}

int OggSeek(void* source, ogg_int64_t offset, int origin) {
  auto* s = static_cast<StreamData*>(source);
  if (!s) return -1;
  return s->ops.seek(s->data, int32_t(offset), origin);
}

int OggClose(void*) { return 0; }  // the stream's owner closes it

long OggTell(void* source) {
  auto* s = static_cast<StreamData*>(source);
  if (!s) return -1;
  return long(s->ops.tell(s->data));
}

OggVorbis_File* File(const SoundDecoder* d) { return static_cast<OggVorbis_File*>(d->ogg_file); }

}  // namespace

int OpenOggVorbis(SoundDecoder* d) {
  auto* vf = static_cast<OggVorbis_File*>(TrackedCalloc(sizeof(OggVorbis_File), "", 0));
  if (!vf) return -1;
  const ov_callbacks callbacks = {OggRead, OggSeek, OggClose, OggTell};
  if (ov_open_callbacks(&d->source, vf, nullptr, 0, callbacks) != 0) {
    TrackedFree(vf);
    return -1;
  }
  const vorbis_info* info = ov_info(vf, 0);
  WAVEFORMATEX f{};
  if (info) f = MakePcmWaveFormat(info->channels, (int)info->rate, 16);
  bool playable = info && info->channels >= 1 && info->channels <= 8 && info->rate > 0 && NormalisePlayablePcm(&f);
  // A chained file plays its sections while they keep the first one's
  // format; a section of another format ends the sound (played at this
  // format it would be noise at the wrong speed). Lengths are compared in
  // samples before any product with them: a stream may claim up to 2^63.
  const uint64_t limit = playable ? MAX_DECODED_PCM_BYTES / f.nBlockAlign - kRoomFrames : 0;
  uint64_t total = 0;
  int links = 0;
  for (const long count = ov_streams(vf); playable && links < count; ++links) {
    const vorbis_info* section = ov_info(vf, links);
    if (!section || section->channels != info->channels || section->rate != info->rate) break;
    const ogg_int64_t length = ov_pcm_total(vf, links);
    if (length < 0 || uint64_t(length) > limit - total) playable = false;
    else total += uint64_t(length);
  }
  // Opening a chained file leaves the layer in its last section: decoding
  // goes back to the top.
  if (playable && ov_streams(vf) > 1 && ov_pcm_seek(vf, 0) != 0) playable = false;
  if (!playable || links == 0) {
    ov_clear(vf);
    TrackedFree(vf);
    return -1;
  }
  d->kind = SOUND_DECODER_OGG;
  d->ogg_file = vf;
  d->ogg_open = 1;
  d->ogg_sample_bytes = 2;
  d->ogg_links = links;
  d->format = f;
  d->refill_size = kOggRefill;
  d->data_size = uint32_t(total * f.nBlockAlign);
  return 0;
}

int RefillOgg(SoundDecoder* d) {
  if (!d->ogg_open) return 0;
  // A hole (a lost page) is skipped; any other negative result is damage and
  // ends the data.
  for (int tries = 0; tries < kMaxHolesPerRefill; ++tries) {
    int section = 0;
    const long got = ov_read(File(d), reinterpret_cast<char*>(d->refill), int(d->refill_size), 0, 2, 1, &section);
    if (got == OV_HOLE) continue;
    if (section >= d->ogg_links) return 0;
    return got > 0 ? int(got) : 0;
  }
  return 0;
}

int SeekOgg(SoundDecoder* d, uint32_t sample) {
  if (!d->ogg_open) return -1;
  const int r = ov_pcm_seek(File(d), sample);
  d->buffered = 0;
  d->read_offset = 0;
  d->position = sample * d->format.nBlockAlign;
  return r == 0 ? 0 : -1;
}

uint32_t OggDecodedBytes(const SoundDecoder* d) {
  if (!d->ogg_open) return 0;
  return uint32_t(d->data_size + kRoomFrames * d->format.nBlockAlign);
}

void CloseOgg(SoundDecoder* d) {
  if (d->ogg_open) ov_clear(File(d));
  TrackedFree(d->ogg_file);
  d->ogg_file = nullptr;
  d->ogg_open = 0;
}
