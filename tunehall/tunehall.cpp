// Tunehall over FluidSynth. The synthesiser renders from an SDL audio
// callback; the MIDI player advances on the synthesiser's sample clock, so
// the music moves exactly as fast as samples are rendered. When no audio
// device opens, a thread renders at the same pace and throws the samples
// away.
//
// The rendering thread holds the library's lock for one block at a time.
// The calls a program makes every frame or on its way out (status, stop,
// volume, close) never wait for that block: the state they read is published
// after each block, and a stop asked for meanwhile is heard at once (the
// block is muted) and carried out by whoever takes the lock next. A block is
// bounded because the player only ever gets songs it can read that last at
// least a tick (tunehall/midi_file.h).
#include "tunehall/tunehall.h"

#include <SDL.h>
#include <sys/resource.h>
#include <unistd.h>
#include <fluidsynth.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "platform/win32/path.h"
#include "tunehall/midi_file.h"

namespace {

constexpr int kRate = 44100;
constexpr int kBlockFrames = 1024;
constexpr float kFullGain = 0.6f;
constexpr int kLoaderNice = 10;  // the font loader's niceness over the program's

struct Library {
  // Serialises the synthesiser and player between the caller's thread and
  // the rendering thread.
  std::mutex mutex;
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  fluid_player_t* player = nullptr;
  vox_tunehall::MidiSong song;  // the current music; none while its file is empty
  SDL_AudioDeviceID device = 0;
  bool sdl_audio = false;
  std::thread discard_thread;
  std::mutex discard_mutex;  // guards discard_running; discard_wake ends the thread's wait
  std::condition_variable discard_wake;
  bool discard_running = false;
  std::atomic<int> peak{0};
  // Read without the lock. Written under it, except the volume and a stop
  // request, which the rendering thread takes up at its next block.
  std::atomic<bool> open{false};
  std::atomic<bool> manual{false};  // tests: rendered only by THTestRender
  std::atomic<int> volume{100};
  std::atomic<bool> stop_requested{false};
  std::atomic<int> state{0};  // 1 while the player plays
  std::atomic<int> tick{0};
  std::atomic<int> total_ticks{0};
  // The sound font loads on a thread of its own: reading and preparing its
  // samples is the longest step of a program's start-up, and no sound needs
  // it before the first music plays. Whatever uses the instruments waits.
  std::mutex loader_mutex;
  std::thread loader;
  std::atomic<bool> font_loaded{false};

  ~Library();
};

Library& Lib() {
  static Library lib;
  return lib;
}

// Callers hold lib.mutex.
void DropPlayerLocked(Library& lib) {
  if (lib.player) {
    fluid_player_stop(lib.player);
    delete_fluid_player(lib.player);
    lib.player = nullptr;
  }
  // Cuts sounding voices and the effects' tails too.
  if (lib.synth) fluid_synth_system_reset(lib.synth);
  lib.state.store(0);
  lib.tick.store(0);
  // Last: a status read in between still sees the request and reads 0.
  lib.stop_requested.store(false);
}

void TakeUpStopLocked(Library& lib) {
  if (lib.stop_requested.load()) DropPlayerLocked(lib);
}

void RenderLocked(Library& lib, int16_t* out, int frames) {
  TakeUpStopLocked(lib);
  if (!lib.synth) {
    std::memset(out, 0, sizeof(int16_t) * 2 * frames);
    return;
  }
  fluid_synth_write_s16(lib.synth, frames, out, 0, 2, out, 1, 2);
  // Stopped music goes quiet at once, also when the stop came while this
  // block rendered: the effects' tails are still rendered (so they have died
  // away by the next start) but not heard.
  if (!lib.player || lib.stop_requested.load()) {
    std::memset(out, 0, sizeof(int16_t) * 2 * frames);
    return;
  }
  lib.tick.store(fluid_player_get_current_tick(lib.player));
  lib.state.store(fluid_player_get_status(lib.player) == FLUID_PLAYER_PLAYING ? 1 : 0);
  // The volume scales the finished output, so a change is heard at once,
  // even on notes that began while the music was muted.
  const int volume = lib.volume.load();
  int peak = 0;
  for (int i = 0; i < frames * 2; ++i) {
    out[i] = static_cast<int16_t>(out[i] * volume / 100);
    peak = std::max(peak, std::abs(static_cast<int>(out[i])));
  }
  int seen = lib.peak.load();
  while (peak > seen && !lib.peak.compare_exchange_weak(seen, peak)) {
  }
}

void AudioCallback(void* user, Uint8* stream, int bytes) {
  auto& lib = *static_cast<Library*>(user);
  std::lock_guard<std::mutex> lock(lib.mutex);
  RenderLocked(lib, reinterpret_cast<int16_t*>(stream), bytes / 4);
}

void DiscardLoop(Library* lib) {
  std::vector<int16_t> block(kBlockFrames * 2);
  const auto period = std::chrono::microseconds(1000000LL * kBlockFrames / kRate);
  auto next = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> wake(lib->discard_mutex);
  while (lib->discard_running) {
    wake.unlock();
    {
      std::lock_guard<std::mutex> lock(lib->mutex);
      RenderLocked(*lib, block.data(), kBlockFrames);
    }
    next += period;
    wake.lock();
    // Closing wakes the wait: it then waits for no more than the block above.
    lib->discard_wake.wait_until(wake, next, [lib] { return !lib->discard_running; });
  }
}

void Quiet(int, const char*, void*) {}

// Waits until the sound font has loaded (or failed to); true when loaded.
bool FinishFontLoad(Library& lib) {
  std::lock_guard<std::mutex> lock(lib.loader_mutex);
  if (lib.loader.joinable()) lib.loader.join();
  return lib.font_loaded.load();
}

std::string FindSoundFont() {
  static const char* const kKnown[] = {
      "/usr/share/sounds/sf2/TimGM6mb.sf2",
      "/usr/share/sounds/sf2/default-GM.sf2",
      "/usr/share/sounds/sf2/FluidR3_GM.sf2",
      "/usr/share/soundfonts/default.sf2",
  };
  std::error_code ec;
  for (const char* path : kKnown)
    if (std::filesystem::is_regular_file(path, ec)) return path;
  for (const char* dir : {"/usr/share/sounds/sf2", "/usr/share/soundfonts"}) {
    for (auto it = std::filesystem::directory_iterator(dir, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
      std::string name = it->path().string();
      if (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".sf2") == 0 &&
          std::filesystem::is_regular_file(it->path(), ec))
        return name;
    }
  }
  return {};
}

void CloseLocked(Library& lib) {
  DropPlayerLocked(lib);
  if (lib.synth) delete_fluid_synth(lib.synth);
  if (lib.settings) delete_fluid_settings(lib.settings);
  lib.synth = nullptr;
  lib.settings = nullptr;
  lib.song = {};
  lib.total_ticks.store(0);
  lib.open.store(false);
}

// Stops output first so that nothing renders while the synthesiser goes.
// Each step waits for no more than the block being rendered: SDL's audio
// thread ends after its callback, the discard thread after its block.
void StopOutput(Library& lib) {
  if (lib.device) {
    SDL_CloseAudioDevice(lib.device);
    lib.device = 0;
  }
  if (lib.sdl_audio) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    lib.sdl_audio = false;
  }
  if (lib.discard_thread.joinable()) {
    {
      std::lock_guard<std::mutex> wake(lib.discard_mutex);
      lib.discard_running = false;
    }
    lib.discard_wake.notify_all();
    lib.discard_thread.join();
  }
}

// A program that unloads the library or ends without THCloseDevice must not
// leave the rendering thread running into freed memory.
Library::~Library() {
  FinishFontLoad(*this);
  StopOutput(*this);
  std::lock_guard<std::mutex> lock(mutex);
  CloseLocked(*this);
}

}  // namespace

TH_API THOpenDevice(int device, int flags) {
  Library& lib = Lib();
  if (device != -1 || flags != 0) return TH_ERR_BAD_ARGUMENT;
  {
    std::lock_guard<std::mutex> lock(lib.mutex);
    if (lib.synth) return TH_ERR_ALREADY_OPEN;
    for (int level : {FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
      fluid_set_log_function(level, Quiet, nullptr);
    const std::string font = FindSoundFont();
    if (font.empty()) return TH_ERR_NO_SOUNDFONT;
    lib.settings = new_fluid_settings();
    if (!lib.settings) return TH_ERR_SYNTH;
    fluid_settings_setnum(lib.settings, "synth.sample-rate", kRate);
    lib.synth = new_fluid_synth(lib.settings);
    if (!lib.synth) {
      CloseLocked(lib);
      return TH_ERR_SYNTH;
    }
    fluid_synth_set_gain(lib.synth, kFullGain);
    lib.open.store(true);
    // The synthesiser's own lock lets the font load while it renders.
    lib.font_loaded.store(false);
    fluid_synth_t* synth = lib.synth;
    lib.loader = std::thread([&lib, synth, font] {
      // Nothing waits for the font but the music: where this thread shares
      // a core with the program's own, the program's frames come first.
      const id_t self = (id_t)gettid();
      setpriority(PRIO_PROCESS, self, getpriority(PRIO_PROCESS, self) + kLoaderNice);
      lib.font_loaded.store(fluid_synth_sfload(synth, font.c_str(), 1) != FLUID_FAILED);
    });
  }
  if (lib.manual.load()) return TH_OK;
  // Output: the default audio device, else real-time rendering into nothing.
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
    lib.sdl_audio = true;
    SDL_AudioSpec want{}, have{};
    want.freq = kRate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kBlockFrames;
    want.callback = AudioCallback;
    want.userdata = &lib;
    lib.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (lib.device) {
      SDL_PauseAudioDevice(lib.device, 0);
      return TH_OK;
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    lib.sdl_audio = false;
  }
  lib.discard_running = true;
  lib.discard_thread = std::thread(DiscardLoop, &lib);
  return TH_OK;
}

TH_API THCloseDevice() {
  Library& lib = Lib();
  FinishFontLoad(lib);
  if (!lib.open.load()) return TH_ERR_NOT_OPEN;
  // The block being rendered is the last one heard.
  lib.stop_requested.store(true);
  StopOutput(lib);
  std::lock_guard<std::mutex> lock(lib.mutex);  // nothing renders any more
  CloseLocked(lib);
  return TH_OK;
}

TH_API THLoadMusic(const char* path) {
  Library& lib = Lib();
  if (!path) return TH_ERR_BAD_ARGUMENT;
  std::string posix;
  if (!vox_win32::MapWindowsPath(path, &posix)) return TH_ERR_FILE;
  std::vector<uint8_t> bytes;
  if (FILE* f = std::fopen(posix.c_str(), "rb")) {
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    const bool failed = std::ferror(f);
    std::fclose(f);
    if (failed) return TH_ERR_FILE;
  } else {
    return TH_ERR_FILE;
  }
  // A file that is refused leaves the current music as it was.
  vox_tunehall::MidiSong song;
  if (!vox_tunehall::ReadMidiFile(bytes.data(), bytes.size(), &song)) return TH_ERR_NOT_MIDI;
  std::lock_guard<std::mutex> lock(lib.mutex);
  if (!lib.synth) return TH_ERR_NOT_OPEN;
  DropPlayerLocked(lib);
  lib.song = std::move(song);
  lib.total_ticks.store(lib.song.ticks);
  return TH_OK;
}

TH_API THPlayMusic() {
  Library& lib = Lib();
  const bool font = FinishFontLoad(lib);
  std::lock_guard<std::mutex> lock(lib.mutex);
  if (!lib.synth) return TH_ERR_NOT_OPEN;
  if (!font) return TH_ERR_SYNTH;  // the sound font could not be read
  if (lib.song.smf.empty()) return TH_ERR_NO_MUSIC;
  DropPlayerLocked(lib);
  // A song of no length has ended as it starts: it plays as silence. The
  // player would start it again and again within one block, for ever.
  if (lib.song.ticks == 0) return TH_OK;
  lib.player = new_fluid_player(lib.synth);
  if (!lib.player) return TH_ERR_SYNTH;
  // Game music loops until it is stopped, as the engine's own music does;
  // the state word therefore reads 1 for as long as the music sounds.
  fluid_player_set_loop(lib.player, -1);
  if (fluid_player_add_mem(lib.player, lib.song.smf.data(), lib.song.smf.size()) != FLUID_OK ||
      fluid_player_play(lib.player) != FLUID_OK) {
    DropPlayerLocked(lib);
    return TH_ERR_NOT_MIDI;
  }
  lib.state.store(1);
  return TH_OK;
}

TH_API THStopMusic() {
  Library& lib = Lib();
  if (!lib.open.load()) return TH_ERR_NOT_OPEN;
  lib.stop_requested.store(true);
  // Carried out at once when no block is being rendered, else by the
  // rendering thread before its next one.
  std::unique_lock<std::mutex> lock(lib.mutex, std::try_to_lock);
  if (lock.owns_lock()) TakeUpStopLocked(lib);
  return TH_OK;
}

TH_API THGetStatus(THStatus* status) {
  Library& lib = Lib();
  if (!status || status->size < static_cast<int32_t>(sizeof(int32_t) * 3))
    return TH_ERR_BAD_ARGUMENT;
  THStatus s{};
  s.size = static_cast<int32_t>(sizeof s);
  s.device_open = lib.open.load() ? 1 : 0;
  s.volume = lib.volume.load();
  // The request first: its clearing follows the state's return to 0.
  const bool stopping = lib.stop_requested.load();
  s.state = stopping ? 0 : lib.state.load();
  s.tick = s.state ? lib.tick.load() : 0;
  s.total_ticks = lib.total_ticks.load();
  // Only as much as the caller's block holds.
  const size_t room = std::min<size_t>(static_cast<size_t>(status->size), sizeof s);
  s.size = status->size;
  std::memcpy(status, &s, room);
  return TH_OK;
}

TH_API THSetCaps(int capability, int value) {
  Library& lib = Lib();
  if (capability != TH_CAP_VOLUME) return TH_ERR_BAD_CAPABILITY;
  lib.volume.store(std::clamp(value, 0, 100));  // the next block is rendered at it
  return TH_OK;
}

TH_API THGetErrorString(int error, const char** text) {
  if (!text) return TH_ERR_BAD_ARGUMENT;
  switch (error) {
    case TH_OK: *text = "正常に終了しました"; break;
    case TH_ERR_NOT_OPEN: *text = "デバイスが開かれていません"; break;
    case TH_ERR_ALREADY_OPEN: *text = "デバイスは既に開かれています"; break;
    case TH_ERR_NO_SOUNDFONT: *text = "音色ファイルが見つかりません"; break;
    case TH_ERR_SYNTH: *text = "シンセサイザの初期化に失敗しました"; break;
    case TH_ERR_FILE: *text = "ファイルを読み込めません"; break;
    case TH_ERR_NOT_MIDI: *text = "MIDIファイルではありません"; break;
    case TH_ERR_NO_MUSIC: *text = "曲が読み込まれていません"; break;
    case TH_ERR_BAD_ARGUMENT: *text = "引数が正しくありません"; break;
    case TH_ERR_BAD_CAPABILITY: *text = "この機能には対応していません"; break;
    default: *text = "不明なエラーです"; return TH_ERR_BAD_ARGUMENT;
  }
  return TH_OK;
}

TH_API THTestTakePeak() { return Lib().peak.exchange(0); }

TH_API THTestRenderManually(int on) {
  Lib().manual.store(on != 0);
  return TH_OK;
}

TH_API THTestRender(int16_t* out, int frames) {
  Library& lib = Lib();
  if (!out || frames < 0) return TH_ERR_BAD_ARGUMENT;
  FinishFontLoad(lib);
  std::lock_guard<std::mutex> lock(lib.mutex);
  if (!lib.synth) return TH_ERR_NOT_OPEN;
  RenderLocked(lib, out, frames);
  return TH_OK;
}
