// Replay playback: a field rebuilt from one section of a replay file, driven
// by the recorded commands instead of a player or a computer, under the same
// rules as the live field (a replay plays exactly as it was recorded).
#pragma once

#include <cstdint>
#include <vector>

#include "game/field.h"
#include "game/replay.h"

class Field_Replay : public Field {
 public:
  // Reads one field section at the reader's position and builds the field;
  // null when the section is damaged or holds a value out of range (the
  // reader is then at an unspecified position). The settings give the
  // field's picture; everything the rules use comes from the file.
  static Field_Replay* create(ReplayReader& file, const side_settings& side, int origin_x);
  ~Field_Replay();

  // One frame: 2 playing, 3 pause asked for (START), 4 goal or time over, 5
  // topped out, 8 stop asked for (B).
  int update() override;
  void draw() override;

 protected:
  Field_Replay();
  // The base part of a derived field: reads the section and builds the
  // field from it. False when the section is refused.
  bool construct_base(ReplayReader& file, const side_settings& side, int origin_x);
  // Reads the length and the command stream. 1 when the stream was read to
  // its end, 0 when it was cut (the commands before the damage are kept) or
  // its length runs past the file (nothing is read then).
  int read_commands(ReplayReader& file);
};

// The fields of a replay file, made and linked as a battle's opponents when
// there are two. sides and origins have an entry per field of the file. The
// result is the number of fields made: 0 when the file cannot be opened or
// read, or a section is refused (then no field is made at all).
int open_replay_fields(const char* path, const side_settings sides[2], const int origins[2], Field_Replay* fields[2]);
// The same over the bytes of a replay file.
int make_replay_fields(const uint8_t* data, size_t size, const side_settings sides[2], const int origins[2],
                       Field_Replay* fields[2]);

// One screen frame of playback at a speed (1, 2, 4, 8 or 16 field updates):
// each pass updates the left field and then the right (right may be null).
// A pass that asks for anything but play ends the frame, so a pause or stop
// asked for in an early pass is not lost.
void play_replay_frame(Field* left, Field* right, int speed, int* left_result, int* right_result);
// The playback speed after this frame's keys: Right doubles it (16 goes
// back to 1), else Left halves it (1 goes to 16), each with a sound.
int replay_speed_after_keys(int speed);

// The replay file of fields: the magic, the count and each field's section;
// the fields' command lists are emptied. False when a section could not be
// written.
bool build_replay_file(Field* const* fields, int count, std::vector<uint8_t>* bytes);
// Builds and stores a replay of the fields; the file's number, or -1 when
// nothing was saved.
int save_replay(Field* const* fields, int count);
