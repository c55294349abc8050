// Binding of the MIDI library through the platform's module loader.
#include "game/midi.h"

#include "platform/win32/win32.h"
#include "tunehall/tunehall.h"

namespace {

struct MidiPlayer {
  int (*open_device)(int, int);
  int (*close_device)();
  int (*load_music)(const char*);
  int (*play_music)();
  int (*stop_music)();
  int (*get_status)(THStatus*);
  int (*set_caps)(int, int);
  int (*get_error_string)(int, const char**);
};

HMODULE midi_module = nullptr;
MidiPlayer player{};
THStatus status_block{};
// Whether the library took the last file it was given. It keeps its
// previous music when it refuses one, and playing then would start that
// music again in a scene that has its own: such a scene goes on without
// music instead, as it does when its file is missing.
bool music_taken = false;

template <typename Fn>
bool bind(Fn* slot, const char* name) {
  *slot = reinterpret_cast<Fn>(GetProcAddress(midi_module, name));
  return *slot != nullptr;
}

}  // namespace

bool load_midi_player() {
  if (midi_module) return true;
  midi_module = LoadLibraryA("Tunehall.dll");
  if (!midi_module) return false;
  status_block.size = sizeof status_block;
  // A library without one of the functions would be called through a null
  // pointer later: it is refused here instead.
  bool bound = bind(&player.open_device, "THOpenDevice") && bind(&player.close_device, "THCloseDevice") &&
               bind(&player.load_music, "THLoadMusic") && bind(&player.play_music, "THPlayMusic") &&
               bind(&player.stop_music, "THStopMusic") && bind(&player.get_status, "THGetStatus") &&
               bind(&player.set_caps, "THSetCaps") && bind(&player.get_error_string, "THGetErrorString");
  if (!bound) {
    FreeLibrary(midi_module);
    midi_module = nullptr;
    player = {};
    return false;
  }
  player.open_device(-1, 0);
  return true;
}

void unload_midi_player() {
  if (!midi_module) return;
  player.close_device();
  FreeLibrary(midi_module);
  midi_module = nullptr;
  player = {};
  music_taken = false;
}

bool is_midi_player_loaded() { return midi_module != nullptr; }

void midi_load_music(const char* path) {
  if (midi_module) music_taken = player.load_music(path) == TH_OK;
}
void midi_play_music() {
  if (midi_module && music_taken) player.play_music();
}
void midi_stop_music() {
  if (midi_module) player.stop_music();
}
void midi_set_caps(int capability, int value) {
  if (midi_module) player.set_caps(capability, value);
}

int midi_state() {
  if (!midi_module) return 0;
  status_block.size = sizeof status_block;
  player.get_status(&status_block);
  return status_block.state;
}
