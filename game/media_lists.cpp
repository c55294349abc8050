// Background and music lists of the settings screens.
#include "game/media_lists.h"

#include <cstring>

#include "engine/sound/sound.h"
#include "game/caches.h"
#include "game/game_files.h"
#include "game/menu.h"
#include "game/midi.h"
#include "game/settings.h"
#include "platform/win32/path.h"

namespace {

int restore(const std::vector<std::string>& list, char (&name)[kMediaNameSize]) {
  if (list.empty()) return -1;
  if (name[0])
    for (size_t i = 0; i < list.size(); ++i)
      if (list[i].find(name) != std::string::npos) return (int)i;
  copy_media_name(name, list[0].c_str());
  return 0;
}

bool step(const std::vector<std::string>& list, int* choice, int by, char (&name)[kMediaNameSize]) {
  if (list.empty()) return false;
  *choice = wrap(*choice, by, (int)list.size());
  copy_media_name(name, list[*choice].c_str());
  return true;
}

}  // namespace

std::vector<std::string> list_media_folder(const char* folder, std::initializer_list<const char*> contains) {
  std::vector<std::string> paths;
  for (const std::string& name : list_folder(folder, contains)) {
    std::string path = std::string(folder) + "\\" + name;
    char cut[kMediaNameSize];
    copy_media_name(cut, path.c_str());
    paths.emplace_back(cut);
  }
  return paths;
}

void MediaLists::list_media() {
  backgrounds = list_media_folder("bgimages", {".jpg", ".png", ".bmp"});
  musics = list_media_folder("musics", {".mid", ".ogg", ".mp3", ".wav"});
}

void MediaLists::restore_media(char (&background)[kMediaNameSize], char (&music)[kMediaNameSize]) {
  background_choice = restore(backgrounds, background);
  music_choice = restore(musics, music);
}

bool MediaLists::step_background(int by, char (&background)[kMediaNameSize]) {
  return step(backgrounds, &background_choice, by, background);
}

bool MediaLists::step_music(int by, char (&music)[kMediaNameSize]) { return step(musics, &music_choice, by, music); }

const char* file_part(const char* path) {
  size_t sep = vox_win32::LastSeparator(path);
  return sep == std::string_view::npos ? path : path + sep + 1;
}

void stop_menu_music(int other_music) {
  if (midi_state() == 1) {
    midi_stop_music();
    return;
  }
  int menu = load_bgm(kMenuMusic);
  if (QuerySoundHandlePlaying(menu) == 1)
    HaltSoundHandle(menu);
  else if (QuerySoundHandlePlaying(other_music) == 1)
    HaltSoundHandle(other_music);
}

int preview_music(const char* path) {
  if (std::strstr(path, ".mid")) {
    midi_load_music(path);
    midi_play_music();
    midi_set_caps(9, BGM_Volume);
    return -1;
  }
  int handle = load_bgm(path);
  StartSoundHandle(handle, SOUND_PLAY_LOOP, 1);
  return handle;
}
