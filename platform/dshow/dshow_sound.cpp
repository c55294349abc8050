// The default sound renderer of a multimedia stream: a DirectSound device of
// the stream's own with a looping ring of 44.1 kHz 16-bit stereo, which the
// decoding thread keeps written ahead of the play cursor; while it plays,
// the bytes it played are the stream's clock.
#include <algorithm>
#include <cstring>

#include "platform/dshow/dshow_internal.h"

namespace vox_dshow {

bool MultiMediaStream::OpenAudio() {
  if (!Host().audio_renderer_allowed()) return false;
  if (Host().create_direct_sound(&device_) != DS_OK) return false;
  WAVEFORMATEX format = MakePcmWaveFormat(2, kAudioRate, 16);
  DSBUFFERDESC desc{sizeof(DSBUFFERDESC), DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_CTRLVOLUME,
                    kAudioRing, 0, &format};
  if (device_->Initialize(nullptr) != DS_OK || device_->SetCooperativeLevel(nullptr, DSSCL_PRIORITY) != DS_OK ||
      device_->CreateSoundBuffer(&desc, &sound_, nullptr) != DS_OK) {
    CloseAudio();
    return false;
  }
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  if (swr_alloc_set_opts2(&resampler_, &stereo, AV_SAMPLE_FMT_S16, kAudioRate, &audio_.context->ch_layout,
                          audio_.context->sample_fmt, audio_.context->sample_rate, 0, nullptr) < 0 ||
      swr_init(resampler_) < 0) {
    swr_free(&resampler_);
    CloseAudio();
    return false;
  }
  // Silence in the whole ring until sound is written.
  void *first, *second;
  DWORD first_bytes, second_bytes;
  if (sound_->Lock(0, kAudioRing, &first, &first_bytes, &second, &second_bytes, 0) == DS_OK) {
    std::memset(first, 0, first_bytes);
    sound_->Unlock(first, first_bytes, second, second_bytes);
  }
  return true;
}

void MultiMediaStream::CloseAudio() {
  if (sound_) sound_->Release();
  if (device_) device_->Release();
  sound_ = nullptr;
  device_ = nullptr;
}

// Moves the count of played bytes on with the ring's play cursor.
void MultiMediaStream::TrackSoundCursor() {
  DWORD play = 0;
  if (sound_->GetCurrentPosition(&play, nullptr) != DS_OK) return;
  DWORD advanced = (play + kAudioRing - last_cursor_) % kAudioRing;
  last_cursor_ = play;
  std::lock_guard<std::mutex> lock(mutex_);
  // The cursor runs on over silence once all sound was played; the clock
  // runs on with it, so the pictures keep their pace.
  played_bytes_ += advanced;
}

// Keeps the ring written a quarter second ahead of the play cursor: sound
// while there is some, silence after it.
void MultiMediaStream::FeedSound() {
  if (!sound_) return;
  TrackSoundCursor();
  std::vector<uint8_t> pcm;
  for (;;) {
    uint64_t played;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      played = played_bytes_;
    }
    if (written_bytes_ < played) written_bytes_ = played;  // fell behind: skip ahead
    if (written_bytes_ - played >= kAudioAhead) {
      Host().count_sound_feed();
      return;
    }
    DWORD room = DWORD(kAudioAhead - (written_bytes_ - played));
    if (pcm.empty() && !DecodeAudio(&pcm)) pcm.assign(std::min<DWORD>(room, kAudioRate / 100 * kAudioBlock), 0);
    DWORD bytes = std::min<DWORD>(room, DWORD(pcm.size()));
    if (bytes == 0) {
      pcm.clear();
      continue;
    }
    void *first, *second;
    DWORD first_bytes, second_bytes;
    DWORD offset = DWORD(written_bytes_ % kAudioRing);
    if (sound_->Lock(offset, bytes, &first, &first_bytes, &second, &second_bytes, 0) != DS_OK) return;
    std::memcpy(first, pcm.data(), first_bytes);
    if (second) std::memcpy(second, pcm.data() + first_bytes, second_bytes);
    sound_->Unlock(first, first_bytes, second, second_bytes);
    written_bytes_ += bytes;
    pcm.erase(pcm.begin(), pcm.begin() + bytes);
  }
}

}  // namespace vox_dshow
