// What describes one side of a game: passed by value from the settings
// screens through the character screen into the play scenes and the fields.
#pragma once

#include "platform/win32/win32.h"

struct side_settings {
  int chara_image = -1;   // graph drawn behind the well
  int colours = 4;        // block colours, 3-6
  int clear_score = 40;   // score weight of an ordinary block, 10-250
  int garbage_score = 40; // score weight of a garbage block, 0-250
  int clear_count = 4;    // smallest group that clears, 2-12
  int level_target = 0;   // start level (low 5 bits) + 32 x (break target / 10)
  int mode = 0;           // 0 endless, 1 time trial, 2 break trial, 3 battle
  int frame_offset = 0;   // added to the time in recorded commands
  int seed = 0;           // of the pair generator, 0-16777216
  HMODULE module = nullptr;  // plug-in of a computer side; null for a person
  int com_level = -1;        // -1 a person, 0-2 a computer
};
