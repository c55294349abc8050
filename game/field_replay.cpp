#include "game/field_replay.h"

#include <cstring>

#include "engine/graphics/graphics.h"
#include "game/buttons.h"
#include "game/caches.h"
#include "game/level_table.h"
#include "game/settings.h"

Field_Replay::Field_Replay() : Field(Unbuilt{}) {}

Field_Replay::~Field_Replay() = default;

Field_Replay* Field_Replay::create(ReplayReader& file, const side_settings& side, int origin_x) {
  Field_Replay* field = new Field_Replay();
  if (!field->construct_base(file, side, origin_x)) {
    delete field;
    return nullptr;
  }
  return field;
}

bool Field_Replay::construct_base(ReplayReader& file, const side_settings& side, int origin) {
  settings = side;
  origin_x = origin;
  input.device = 0;
  uint8_t mode_byte, clear_score, garbage_score, packed;
  uint16_t level_target;
  uint32_t seed;
  if (!file.read_u8(&mode_byte) || !file.read_u16(&level_target) || !file.read_u8(&clear_score) ||
      !file.read_u8(&garbage_score) || !file.read_u8(&packed) || !file.read_u32(&seed))
    return false;
  // Values no settings screen makes are refused: a colour count below 3
  // would leave the pair generator nothing to draw from (or divide by 0).
  const int colours = packed / 16, clear_count = packed % 16;
  if (mode_byte > 3 || clear_count < 2 || clear_count > 12 || clear_score < 10 || clear_score > 250 ||
      garbage_score > 250 || (mode_byte == 3 && (colours < 3 || colours > 6)))
    return false;
  mode = mode_byte;
  settings.mode = mode;
  settings.level_target = level_target;
  settings.clear_score = clear_score;
  settings.garbage_score = garbage_score;
  settings.clear_count = clear_count;
  settings.colours = mode == 3 ? colours : (level_target % 32) / 8 + 3;
  settings.frame_offset = 0;
  settings.module = nullptr;
  settings.com_level = -1;
  start_match(seed);
  if (read_commands(file) < 0) return false;
  pair.lock_timer = level_row()[kLockDelay];
  create_hud(hud_x_for(origin_x, true));
  return true;
}

int Field_Replay::read_commands(ReplayReader& file) {
  uint32_t length;
  if (!file.read_u32(&length)) return -1;
  const uint8_t* stream = file.take(length);
  if (!stream) return -1;
  input.commands.clear();
  input.next = 0;
  return inflate_commands(stream, length, &input.commands) ? 1 : 0;
}

int Field_Replay::update() {
  play_commands();
  // The same frame as the live field's, without recording: a landed pair
  // locks by the live rule, whatever stands in the spawn cell.
  advance();
  after_control();
  int result = kFieldPlaying;
  if (spawn_cell_blocked()) result = kFieldToppedOut;
  if (mode == 2 && counters.cleared >= counters.break_target) result = kFieldGoal;
  // The last seconds are not counted aloud in a replay.
  if (tick_clock(false)) result = kFieldGoal;
  // A viewer's pause or stop never hides the end of the match: resumed after
  // it, a time trial would run on below zero and never end.
  bool ended = result != kFieldPlaying;
  if (is_pressed_on(START_Custom, input.device)) {
    sounds.report(kFieldSoundPause);
    if (!ended) result = kFieldPaused;
  }
  if (is_pressed_on(B_Custom, input.device)) {
    sounds.report(kFieldSoundPause);
    if (!ended) result = kFieldStop;
  }
  return result;
}

void Field_Replay::draw() {
  PaintGraph(origin_x - 4, 76, load_image("images\\line.png"), 1);
  PaintGraph(origin_x, 80, settings.chara_image, 1);
  draw_hud();
}

int open_replay_fields(const char* path, const side_settings sides[2], const int origins[2], Field_Replay* fields[2]) {
  fields[0] = fields[1] = nullptr;
  std::vector<uint8_t> bytes;
  if (!read_replay_file(path, &bytes)) return 0;
  return make_replay_fields(bytes.data(), bytes.size(), sides, origins, fields);
}

int make_replay_fields(const uint8_t* data, size_t size, const side_settings sides[2], const int origins[2],
                       Field_Replay* fields[2]) {
  fields[0] = fields[1] = nullptr;
  ReplayReader file(data, size);
  const uint8_t* magic = file.take(4);
  if (!magic || std::memcmp(magic, kReplayMagic, 4) != 0) return 0;
  uint8_t count = 0;
  file.read_u8(&count);
  int made = count == 2 ? 2 : 1;
  for (int i = 0; i < made; ++i) {
    fields[i] = Field_Replay::create(file, sides[i], origins[i]);
    if (!fields[i]) {
      for (int j = 0; j < i; ++j) {
        delete fields[j];
        fields[j] = nullptr;
      }
      return 0;
    }
  }
  if (made == 2) link_opponents(fields[0], fields[1]);
  return made;
}

void play_replay_frame(Field* left, Field* right, int speed, int* left_result, int* right_result) {
  *left_result = *right_result = kFieldPlaying;
  for (int pass = 0; pass < speed; ++pass) {
    *left_result = left->update();
    if (right) *right_result = right->update();
    if (*left_result != kFieldPlaying || *right_result != kFieldPlaying) break;
  }
}

int replay_speed_after_keys(int speed) {
  if (is_pressed(kPadRight)) {
    play_se("sounds\\pause.wav");
    return speed * 2 > 16 ? 1 : speed * 2;
  }
  if (is_pressed(kPadLeft)) {
    play_se("sounds\\pause.wav");
    return speed / 2 < 1 ? 16 : speed / 2;
  }
  return speed;
}

bool build_replay_file(Field* const* fields, int count, std::vector<uint8_t>* bytes) {
  bytes->assign(kReplayMagic, kReplayMagic + 4);
  bytes->push_back((uint8_t)count);
  bool ok = true;
  for (int i = 0; i < count; ++i) ok = fields[i]->write_replay(bytes) == 1 && ok;
  return ok;
}

int save_replay(Field* const* fields, int count) {
  std::vector<uint8_t> bytes;
  if (!build_replay_file(fields, count, &bytes)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);  // only the compression can fail
    return -1;
  }
  return store_replay_file(bytes);
}
