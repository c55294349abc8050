// The three name caches and the music rule.
#include "game/caches.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

#include "engine/graphics/graphics.h"
#include "engine/sound/sound.h"
#include "game/midi.h"
#include "game/settings.h"
#include "platform/win32/win32.h"

namespace {

// Heterogeneous lookup: asking for a cached name allocates nothing.
using Cache = std::map<std::string, int, std::less<>>;

Cache& image_cache() {
  static Cache cache;
  return cache;
}
Cache& music_cache() {
  static Cache cache;
  return cache;
}
Cache& effect_cache() {
  static Cache cache;
  return cache;
}
uint32_t image_generation = 1;

// The first of name and name + suffix that exists, or false.
bool find_with_suffixes(const char* name, const char* const* suffixes, int count, char* path) {
  for (int i = 0; i < count; ++i) {
    std::snprintf(path, 64, "%s%s", name, suffixes[i]);
    if (file_exists(path)) return true;
  }
  return false;
}

template <typename Load>
int cached(Cache& cache, const char* name, Load load) {
  if (!name) return -1;
  auto it = cache.find(std::string_view(name));
  if (it != cache.end()) return it->second;
  // Too long for the path buffer: refused, and not remembered.
  if (std::strlen(name) > (size_t)kCacheNameLimit) return -1;
  int handle = load(name);
  cache.emplace(name, handle);
  return handle;
}

const char* const kImageSuffixes[] = {"", ".jpg", ".png", ".bmp"};
const char* const kSoundSuffixes[] = {"", ".ogg", ".mp3", ".wav"};

int load_sound(const char* name, int storage_mode, int percent) {
  SetSoundStorageMode(storage_mode);
  char path[64];
  if (!find_with_suffixes(name, kSoundSuffixes, 4, path)) return -1;
  int handle = LoadSoundFile(path, 3, -1);
  if (handle >= 0) SetSoundHandleVolume(engine_volume(percent), handle);
  return handle;
}

void set_cache_volume(Cache& cache, int percent) {
  for (auto& [name, handle] : cache)
    if (handle >= 0) SetSoundHandleVolume(engine_volume(percent), handle);
}

}  // namespace

bool file_exists(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int engine_volume(int percent) { return percent * 255 / 100; }

int load_image(const char* name) {
  return cached(image_cache(), name, [](const char* n) {
    char path[64];
    // An existing file that fails to decode ends the search as well.
    return find_with_suffixes(n, kImageSuffixes, 4, path) ? LoadGraphFromFile(path, 0) : -1;
  });
}

int load_bgm(const char* name) {
  return cached(music_cache(), name, [](const char* n) { return load_sound(n, SoundData_Type, BGM_Volume); });
}

int load_se(const char* name) {
  return cached(effect_cache(), name, [](const char* n) { return load_sound(n, 0, SE_Volume); });
}

void clear_image_cache() {
  image_cache().clear();
  ++image_generation;
}

uint32_t image_cache_generation() { return image_generation; }

void set_bgm_cache_volume(int percent) { set_cache_volume(music_cache(), percent); }
void set_se_cache_volume(int percent) { set_cache_volume(effect_cache(), percent); }

void play_se(const char* name) { StartSoundHandle(load_se(name), SOUND_PLAY_BACK, 1); }

void play_music(const char* name) {
  char path[64];
  const char* midi = nullptr;
  if (std::strstr(name, ".mid")) {
    midi = name;
  } else if (std::strlen(name) <= (size_t)kCacheNameLimit) {
    std::snprintf(path, sizeof path, "%s.mid", name);
    if (file_exists(path)) midi = path;
  }
  if (midi) {
    midi_load_music(midi);
    midi_play_music();
    midi_set_caps(9, BGM_Volume);
    return;
  }
  StartSoundHandle(load_bgm(name), SOUND_PLAY_LOOP, 1);
}

void stop_music(const char* name) {
  if (midi_state() == 1)
    midi_stop_music();
  else
    HaltSoundHandle(load_bgm(name));
}
