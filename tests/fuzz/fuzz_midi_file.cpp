// The MIDI library's file reader over any bytes. A refused file leaves the
// song untouched; a song that is read is read again from what the
// synthesiser's player gets, to the same length and the same bytes; and a
// song of a tick or more is played by the player itself, looping as the
// library plays it, which must take it whole and not spin (a spin is a
// timeout of the run).
#include <fluidsynth.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tunehall/midi_file.h"

namespace {

fluid_synth_t* Synth() {
  static fluid_synth_t* const synth = [] {
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
      fluid_set_log_function(level, nullptr, nullptr);
    fluid_settings_t* settings = new_fluid_settings();
    fluid_settings_setnum(settings, "synth.sample-rate", 44100);
    return new_fluid_synth(settings);  // no sound font: the player runs, nothing sounds
  }();
  return synth;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);  // exact size: reads past it are caught
  vox_tunehall::MidiSong song;
  song.ticks = -1;
  if (!vox_tunehall::ReadMidiFile(bytes.data(), bytes.size(), &song)) {
    if (song.ticks != -1 || !song.smf.empty()) __builtin_trap();
    return 0;
  }
  if (song.ticks < 0 || song.smf.empty()) __builtin_trap();
  vox_tunehall::MidiSong again;
  if (!vox_tunehall::ReadMidiFile(song.smf.data(), song.smf.size(), &again) || again.ticks != song.ticks ||
      again.smf != song.smf)
    __builtin_trap();
  if (song.ticks == 0) return 0;  // the library never hands the player such a song

  fluid_synth_t* synth = Synth();
  if (!synth) return 0;
  fluid_player_t* player = new_fluid_player(synth);
  if (!player) return 0;
  fluid_player_set_loop(player, -1);
  if (fluid_player_add_mem(player, song.smf.data(), song.smf.size()) != FLUID_OK ||
      fluid_player_play(player) != FLUID_OK)
    __builtin_trap();
  float out[2 * 256];
  for (int block = 0; block < 4; ++block) fluid_synth_write_float(synth, 256, out, 0, 2, out, 1, 2);
  if (fluid_player_get_status(player) != FLUID_PLAYER_PLAYING || fluid_player_get_total_ticks(player) != song.ticks)
    __builtin_trap();
  fluid_player_stop(player);
  delete_fluid_player(player);
  fluid_synth_system_reset(synth);
  return 0;
}
