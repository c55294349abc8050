// Replay files as they come from disk: every section is refused, cut or read,
// and the fields made from it play a few hundred frames under their rules.
#include <cstdint>
#include <vector>

#include "game/buttons.h"
#include "game/field_replay.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);  // exact size: reads past it are caught
  side_settings sides[2];
  const int origins[2] = {24, 420};
  Field_Replay* fields[2];
  int count = make_replay_fields(bytes.data(), bytes.size(), sides, origins, fields);
  if (count == 0) return 0;
  const int none[5] = {0, 0, 0, 0, 0};
  feed_input(none, nullptr);
  for (int i = 0; i < count; ++i) fields[i]->draw_countdown(1);
  for (int frame = 0; frame < 600; ++frame) {
    int left, right;
    play_replay_frame(fields[0], fields[1], 1, &left, &right);
    if (left >= kFieldGoal || right >= kFieldGoal) break;
  }
  for (int i = 0; i < count; ++i) delete fields[i];
  return 0;
}
