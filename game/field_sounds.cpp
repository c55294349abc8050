// The one sink of the fields' sounds: what a field's rules reported, played
// through the effect cache once per frame by the scene that runs the field.
#include "engine/sound/sound.h"
#include "game/caches.h"
#include "game/field.h"

void play_field_sounds(Field_Sounds* sounds) {
  static constexpr struct {
    Field_Sound sound;
    const char* name;
  } kSounds[] = {
      {kFieldSoundSlide, "sounds\\slide.wav"},     {kFieldSoundRotate, "sounds\\rotate.wav"},
      {kFieldSoundSet, "sounds\\set.wav"},         {kFieldSoundBreak, "sounds\\break.wav"},
      {kFieldSoundLevelUp, "sounds\\levelup.wav"}, {kFieldSoundGarbage, "sounds\\jama.wav"},
      {kFieldSoundPause, "sounds\\pause.wav"},     {kFieldSoundCount, "sounds\\321.wav"},
      {kFieldSoundGameOver, "sounds\\gameover.wav"},
  };
  for (const auto& s : kSounds) {
    if (!sounds->has(s.sound)) continue;
    if (s.sound != kFieldSoundBreak) {
      play_se(s.name);
      continue;
    }
    // The break sound rises with the chain the cleared blocks carried.
    const int handle = load_se(s.name);
    SetSoundHandleFrequency(sounds->break_frequency, handle);
    StartSoundHandle(handle, SOUND_PLAY_BACK, 1);
  }
  sounds->pending = 0;
}
