// The device object and its buffers over the software mixer and one SDL2
// audio device. Play state lives under the device's lock, which the audio
// callback holds while it mixes; sample memory is not locked, so the engine
// may write a ring ahead of its play cursor while it plays.
#include "platform/dsound/dsound.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dsound/dsound_control.h"
#include "platform/dsound/dsound_mix.h"
#include "platform/win32/com_object.h"
#include "platform/win32/cp932.h"

namespace {

// ---- failure injection --------------------------------------------------------

struct Injection {
  HRESULT result = DS_OK;
  int after = -1;  // -1: off
};
Injection g_injections[DS_CALL_KIND_COUNT];
std::mutex g_injection_mutex;

HRESULT Injected(DsCall call) {
  std::lock_guard<std::mutex> lock(g_injection_mutex);
  Injection& in = g_injections[call];
  if (in.after < 0) return DS_OK;
  if (in.after > 0) {
    --in.after;
    return DS_OK;
  }
  return in.result;
}

std::atomic<int> g_manual_mixing{0};
std::atomic<DWORD> g_max_rate_override{0};

// ---- device core: what buffers and the audio callback share ---------------------

class DsBuffer;

struct DsCore {
  std::mutex mutex;
  std::vector<DsBuffer*> voices;  // live secondary buffers
  SDL_AudioDeviceID device = 0;
  bool has_primary = false;
  WAVEFORMATEX primary_format{WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
  std::vector<DsVoice*> scratch;  // mixing list, reused under the lock
  DsLimiter limiter;              // the output's, from one callback to the next

  void Mix(int16_t* out, int frames);
};

std::mutex g_active_mutex;
std::weak_ptr<DsCore> g_active_core;

bool FormatUsable(const WAVEFORMATEX* f) {
  if (!f || f->wFormatTag != WAVE_FORMAT_PCM) return false;
  if (f->nChannels < 1 || f->nChannels > 8) return false;
  if (f->wBitsPerSample != 8 && f->wBitsPerSample != 16 && f->wBitsPerSample != 24 && f->wBitsPerSample != 32)
    return false;
  if (f->nBlockAlign != f->nChannels * f->wBitsPerSample / 8) return false;
  return f->nSamplesPerSec >= DSBFREQUENCY_MIN && f->nSamplesPerSec <= DSBFREQUENCY_MAX;
}

// Samples shared by a buffer and its duplicates.
struct SampleStore {
  explicit SampleStore(uint32_t n) : bytes(n), data(new uint8_t[n]()) {}
  uint32_t bytes;
  std::unique_ptr<uint8_t[]> data;
};

class DsBuffer final : public ComObject<IDirectSoundBuffer> {
 public:
  DsBuffer(std::shared_ptr<DsCore> core, DWORD flags, const WAVEFORMATEX& format,
           std::shared_ptr<SampleStore> store, bool primary)
      : core_(std::move(core)), flags_(flags), primary_(primary), store_(std::move(store)) {
    voice_.format = format;
    voice_.samples = store_ ? store_->data.get() : nullptr;
    voice_.bytes = store_ ? store_->bytes : 0;
    voice_.frequency = format.nSamplesPerSec;
    voice_.gain_left = voice_.gain_right = 1 << 15;
    if (!primary_) {
      std::lock_guard<std::mutex> lock(core_->mutex);
      core_->voices.push_back(this);
    }
  }

  // Duplicate: shares the samples, starts stopped at 0 with the original's
  // volume, pan and frequency.
  DsBuffer* Duplicate() {
    auto* d = new DsBuffer(core_, flags_, voice_.format, store_, false);
    std::lock_guard<std::mutex> lock(core_->mutex);
    d->volume_ = volume_;
    d->pan_ = pan_;
    d->voice_.frequency = voice_.frequency;
    d->frequency_set_ = frequency_set_;
    d->voice_.gain_left = voice_.gain_left;
    d->voice_.gain_right = voice_.gain_right;
    return d;
  }

  bool primary() const { return primary_; }
  DsVoice* voice() { return &voice_; }

  HRESULT Play(DWORD, DWORD, DWORD flags) override {
    if (HRESULT hr = Injected(DS_CALL_PLAY)) return hr;
    if (primary_) return DS_OK;
    std::lock_guard<std::mutex> lock(core_->mutex);
    voice_.looping = (flags & DSBPLAY_LOOPING) != 0;
    voice_.playing = true;
    return DS_OK;
  }
  HRESULT Stop() override {
    if (HRESULT hr = Injected(DS_CALL_STOP)) return hr;
    std::lock_guard<std::mutex> lock(core_->mutex);
    voice_.playing = false;
    return DS_OK;
  }
  HRESULT GetStatus(DWORD* status) override {
    if (!status) return DSERR_INVALIDPARAM;
    if (HRESULT hr = Injected(DS_CALL_GET_STATUS)) return hr;
    std::lock_guard<std::mutex> lock(core_->mutex);
    *status = 0;
    if (voice_.playing) *status = DSBSTATUS_PLAYING | (voice_.looping ? DSBSTATUS_LOOPING : 0);
    return DS_OK;
  }
  HRESULT Lock(DWORD offset, DWORD bytes, void** first, DWORD* first_bytes, void** second, DWORD* second_bytes,
               DWORD flags) override {
    if (!first || !first_bytes) return DSERR_INVALIDPARAM;
    if (HRESULT hr = Injected(DS_CALL_LOCK)) return hr;
    if (primary_) return DSERR_INVALIDCALL;
    const uint32_t size = store_->bytes;
    if (flags & DSBLOCK_FROMWRITECURSOR) GetCurrentPositionUnchecked(nullptr, &offset);
    if (flags & DSBLOCK_ENTIREBUFFER) bytes = size;
    if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
    const uint32_t head = std::min<uint32_t>(bytes, size - offset);
    if (head < bytes && (!second || !second_bytes)) return DSERR_INVALIDPARAM;
    *first = store_->data.get() + offset;
    *first_bytes = head;
    if (second) *second = head < bytes ? store_->data.get() : nullptr;
    if (second_bytes) *second_bytes = bytes - head;
    return DS_OK;
  }
  HRESULT Unlock(void* first, DWORD first_bytes, void* second, DWORD second_bytes) override {
    if (HRESULT hr = Injected(DS_CALL_UNLOCK)) return hr;
    if (primary_) return DSERR_INVALIDCALL;
    if (!InStore(first, first_bytes) || (second && !InStore(second, second_bytes))) return DSERR_INVALIDPARAM;
    return DS_OK;
  }
  HRESULT GetCurrentPosition(DWORD* play, DWORD* write) override {
    if (HRESULT hr = Injected(DS_CALL_GET_POSITION)) return hr;
    if (primary_) {
      if (play) *play = 0;
      if (write) *write = 0;
      return DS_OK;
    }
    GetCurrentPositionUnchecked(play, write);
    return DS_OK;
  }
  HRESULT SetCurrentPosition(DWORD offset) override {
    if (HRESULT hr = Injected(DS_CALL_SET_POSITION)) return hr;
    if (primary_) return DSERR_INVALIDCALL;
    if (offset >= store_->bytes) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> lock(core_->mutex);
    voice_.position = uint64_t(offset / voice_.format.nBlockAlign) << 32;
    return DS_OK;
  }
  HRESULT SetVolume(LONG v) override {
    if (HRESULT hr = Injected(DS_CALL_SET_VOLUME)) return hr;
    if (!(flags_ & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    if (v < DSBVOLUME_MIN || v > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> lock(core_->mutex);
    volume_ = v;
    UpdateGains();
    return DS_OK;
  }
  HRESULT GetVolume(LONG* v) override {
    if (!v) return DSERR_INVALIDPARAM;
    if (!(flags_ & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    *v = volume_;
    return DS_OK;
  }
  HRESULT SetPan(LONG pan) override {
    if (!(flags_ & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
    if (pan < DSBPAN_LEFT || pan > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> lock(core_->mutex);
    pan_ = pan;
    UpdateGains();
    return DS_OK;
  }
  HRESULT GetPan(LONG* pan) override {
    if (!pan) return DSERR_INVALIDPARAM;
    if (!(flags_ & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
    *pan = pan_;
    return DS_OK;
  }
  HRESULT SetFrequency(DWORD hz) override {
    if (HRESULT hr = Injected(DS_CALL_SET_FREQUENCY)) return hr;
    if (!(flags_ & DSBCAPS_CTRLFREQUENCY) || primary_) return DSERR_CONTROLUNAVAIL;
    if (hz != DSBFREQUENCY_ORIGINAL && (hz < DSBFREQUENCY_MIN || hz > DSBFREQUENCY_MAX)) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> lock(core_->mutex);
    frequency_set_ = hz;
    voice_.frequency = hz ? hz : voice_.format.nSamplesPerSec;
    return DS_OK;
  }
  HRESULT GetFrequency(DWORD* hz) override {
    if (!hz) return DSERR_INVALIDPARAM;
    if (!(flags_ & DSBCAPS_CTRLFREQUENCY) || primary_) return DSERR_CONTROLUNAVAIL;
    std::lock_guard<std::mutex> lock(core_->mutex);
    *hz = voice_.frequency;
    return DS_OK;
  }
  HRESULT SetFormat(const WAVEFORMATEX* format) override {
    if (HRESULT hr = Injected(DS_CALL_SET_FORMAT)) return hr;
    if (!primary_) return DSERR_INVALIDCALL;
    if (!FormatUsable(format) || format->nChannels > 2 || format->wBitsPerSample > 16) return DSERR_BADFORMAT;
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->primary_format = *format;
    core_->primary_format.cbSize = 0;
    return DS_OK;
  }
  HRESULT GetFormat(WAVEFORMATEX* format) override {
    if (!format) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> lock(core_->mutex);
    *format = primary_ ? core_->primary_format : voice_.format;
    return DS_OK;
  }

 private:
  ~DsBuffer() override {
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (primary_) {
      core_->has_primary = false;
    } else {
      auto& v = core_->voices;
      v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
  }

  bool InStore(const void* p, DWORD n) const {
    if (!p) return n == 0;
    const uint8_t* b = store_->data.get();
    const uint8_t* q = static_cast<const uint8_t*>(p);
    return q >= b && q + n <= b + store_->bytes;
  }

  void GetCurrentPositionUnchecked(DWORD* play, DWORD* write) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    const uint32_t align = voice_.format.nBlockAlign;
    const uint32_t size = store_->bytes;
    const uint32_t p = uint32_t(voice_.position >> 32) * align % size;
    if (play) *play = p;
    if (write) {
      // The mixer has already taken what one device period consumes.
      uint64_t lead = (uint64_t(DS_DEVICE_PERIOD) * voice_.frequency / DS_OUTPUT_RATE + 1) * align;
      lead = std::min<uint64_t>(lead, size - align);
      *write = uint32_t((p + (voice_.playing ? lead : 0)) % size);
    }
  }

  void UpdateGains() {  // under the core lock
    const int32_t left = volume_ - std::max<LONG>(pan_, 0);
    const int32_t right = volume_ - std::max<LONG>(-pan_, 0);
    voice_.gain_left = DsGainFromAttenuation(left);
    voice_.gain_right = DsGainFromAttenuation(right);
  }

  std::shared_ptr<DsCore> core_;
  DWORD flags_;
  bool primary_;
  std::shared_ptr<SampleStore> store_;
  DsVoice voice_{};
  LONG volume_ = 0;
  LONG pan_ = 0;
  DWORD frequency_set_ = 0;
};

void DsCore::Mix(int16_t* out, int frames) {  // under the lock
  scratch.clear();
  for (DsBuffer* b : voices) scratch.push_back(b->voice());
  DsMixVoices(scratch.data(), int(scratch.size()), out, frames, &limiter);
}

void SDLCALL AudioCallback(void* user, Uint8* stream, int len) {
  auto* core = static_cast<DsCore*>(user);
  std::lock_guard<std::mutex> lock(core->mutex);
  core->Mix(reinterpret_cast<int16_t*>(stream), len / 4);
}

class DsDevice final : public ComObject<IDirectSound> {
 public:
  HRESULT Initialize(const void*) override {
    if (core_) return DSERR_ALREADYINITIALIZED;
    if (HRESULT hr = Injected(DS_CALL_INITIALIZE)) return hr;
    auto core = std::make_shared<DsCore>();
    if (!g_manual_mixing) {
      if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return DSERR_NODRIVER;
      SDL_AudioSpec want{}, have{};
      want.freq = DS_OUTPUT_RATE;
      want.format = AUDIO_S16SYS;
      want.channels = 2;
      want.samples = DS_DEVICE_PERIOD;
      want.callback = AudioCallback;
      want.userdata = core.get();
      core->device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
      if (core->device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return DSERR_NODRIVER;
      }
      SDL_PauseAudioDevice(core->device, 0);
    }
    core_ = core;
    std::lock_guard<std::mutex> lock(g_active_mutex);
    g_active_core = core_;
    return DS_OK;
  }
  HRESULT SetCooperativeLevel(void*, DWORD level) override {
    if (!core_) return DSERR_UNINITIALIZED;
    if (HRESULT hr = Injected(DS_CALL_SET_COOPERATIVE_LEVEL)) return hr;
    if (level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
    level_ = level;
    return DS_OK;
  }
  HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** out, void* outer) override {
    if (!out || !desc || desc->dwSize == 0 || outer) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (!core_) return DSERR_UNINITIALIZED;
    if (desc->dwFlags & DSBCAPS_PRIMARYBUFFER) {
      if (HRESULT hr = Injected(DS_CALL_CREATE_PRIMARY)) return hr;
      if (desc->dwBufferBytes != 0 || desc->lpwfxFormat) return DSERR_INVALIDPARAM;
      {
        std::lock_guard<std::mutex> lock(core_->mutex);
        if (core_->has_primary) return DSERR_ALLOCATED;
        core_->has_primary = true;
      }
      *out = new DsBuffer(core_, desc->dwFlags, core_->primary_format, nullptr, true);
      return DS_OK;
    }
    if (HRESULT hr = Injected(DS_CALL_CREATE_BUFFER)) return hr;
    if (!FormatUsable(desc->lpwfxFormat)) return DSERR_BADFORMAT;
    if (desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX) return DSERR_INVALIDPARAM;
    std::shared_ptr<SampleStore> store;
    try {
      store = std::make_shared<SampleStore>(desc->dwBufferBytes);
    } catch (const std::bad_alloc&) {
      return DSERR_OUTOFMEMORY;
    }
    WAVEFORMATEX format = *desc->lpwfxFormat;
    format.cbSize = 0;
    *out = new DsBuffer(core_, desc->dwFlags, format, std::move(store), false);
    return DS_OK;
  }
  HRESULT DuplicateSoundBuffer(IDirectSoundBuffer* original, IDirectSoundBuffer** out) override {
    if (!out || !original) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (!core_) return DSERR_UNINITIALIZED;
    if (HRESULT hr = Injected(DS_CALL_DUPLICATE)) return hr;
    auto* b = static_cast<DsBuffer*>(original);
    if (b->primary()) return DSERR_INVALIDCALL;
    *out = b->Duplicate();
    return DS_OK;
  }
  HRESULT GetCaps(DSCAPS* caps) override {
    if (!caps || caps->dwSize == 0) return DSERR_INVALIDPARAM;
    if (!core_) return DSERR_UNINITIALIZED;
    if (HRESULT hr = Injected(DS_CALL_GET_CAPS)) return hr;
    const DWORD size = caps->dwSize;
    std::memset(caps, 0, sizeof *caps);
    caps->dwSize = size;
    caps->dwFlags = DSCAPS_PRIMARYMONO | DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY8BIT | DSCAPS_PRIMARY16BIT |
                    DSCAPS_SECONDARYMONO | DSCAPS_SECONDARYSTEREO | DSCAPS_SECONDARY8BIT | DSCAPS_SECONDARY16BIT;
    caps->dwMinSecondarySampleRate = DSBFREQUENCY_MIN;
    DWORD max_rate = g_max_rate_override.load();
    caps->dwMaxSecondarySampleRate = max_rate ? max_rate : DSBFREQUENCY_MAX;
    caps->dwPrimaryBuffers = 1;
    return DS_OK;
  }

 private:
  ~DsDevice() override {
    {
      std::lock_guard<std::mutex> lock(g_active_mutex);
      if (core_ && g_active_core.lock() == core_) g_active_core.reset();
    }
    if (core_ && core_->device) {
      SDL_CloseAudioDevice(core_->device);  // waits for a running callback
      core_->device = 0;
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
  }

  std::shared_ptr<DsCore> core_;
  DWORD level_ = 0;
};

}  // namespace

HRESULT CreateDirectSoundInstance(IDirectSound** out) {
  if (!out) return DSERR_INVALIDPARAM;
  *out = nullptr;
  if (HRESULT hr = Injected(DS_CALL_CREATE_INSTANCE)) return hr;
  *out = new DsDevice();
  return DS_OK;
}

HRESULT DirectSoundEnumerateA(LPDSENUMCALLBACKA callback, LPVOID context) {
  if (!callback) return DSERR_INVALIDPARAM;
  if (HRESULT hr = Injected(DS_CALL_ENUMERATE)) return hr;
  if (!callback(nullptr, "Primary Sound Driver", "", context)) return DS_OK;
  if (g_manual_mixing) return DS_OK;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return DSERR_NODRIVER;
  const std::string driver = SDL_GetCurrentAudioDriver() ? SDL_GetCurrentAudioDriver() : "";
  const int n = SDL_GetNumAudioDevices(0);
  for (int i = 0; i < n; ++i) {
    const char* name = SDL_GetAudioDeviceName(i, 0);
    if (!name) continue;
    if (!callback(reinterpret_cast<const void*>(intptr_t(i + 1)), vox_win32::Utf8ToCp932Lossy(name).c_str(), driver.c_str(), context))
      break;
  }
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  return DS_OK;
}

// ---- controls ------------------------------------------------------------------

void DsFailCall(DsCall call, HRESULT result, int after) {
  std::lock_guard<std::mutex> lock(g_injection_mutex);
  g_injections[call] = {result, after};
}

void DsClearFailures() {
  std::lock_guard<std::mutex> lock(g_injection_mutex);
  for (auto& in : g_injections) in = Injection{};
}

void DsSetManualMixing(int on) { g_manual_mixing = on ? 1 : 0; }

static std::shared_ptr<DsCore> ActiveCore() {
  std::lock_guard<std::mutex> lock(g_active_mutex);
  return g_active_core.lock();
}

int DsMixOutput(int16_t* out, int frames) {
  auto core = ActiveCore();
  if (!core) return -1;
  std::lock_guard<std::mutex> lock(core->mutex);
  core->Mix(out, frames);
  return 0;
}

int DsPlayingBufferCount() {
  auto core = ActiveCore();
  if (!core) return -1;
  std::lock_guard<std::mutex> lock(core->mutex);
  int n = 0;
  for (DsBuffer* b : core->voices) n += b->voice()->playing ? 1 : 0;
  return n;
}

void DsSetMaxSecondaryRate(DWORD hz) { g_max_rate_override = hz; }

int DsGetPrimaryFormat(WAVEFORMATEX* out) {
  auto core = ActiveCore();
  if (!core || !out) return -1;
  std::lock_guard<std::mutex> lock(core->mutex);
  if (!core->has_primary) return -1;
  *out = core->primary_format;
  return 0;
}
