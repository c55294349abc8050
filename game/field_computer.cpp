// The computer side of a field: the plug-in bound once per match, a search
// on a thread of its own for every pair, its answer decoded into a column
// offset and a rotation, and the pair steered there with replay commands, so
// a battle against the computer replays without the plug-in.
#include <algorithm>

#include "game/field.h"

void Field::decode_placement(int32_t index, int32_t* offset, int32_t* rotation) {
  int64_t o;
  if (index <= 5) {
    o = (int64_t)index - 2;
    *rotation = 0;
  } else if (index <= 10) {
    o = index - 7;
    *rotation = -1;
  } else if (index <= 16) {
    o = index - 13;
    *rotation = 2;
  } else {
    o = (int64_t)index - 19;
    *rotation = 1;
  }
  // A slide past the wall fails, so any offset beyond the board steers the
  // pair into that wall just as the largest one does.
  *offset = (int32_t)std::clamp<int64_t>(o, -kBoardColumns, kBoardColumns);
}

void Field::start_thinking() {
  end_thinking();
  computer.target_offset = computer.target_rotation = 0;
  computer.think_set = nullptr;
  OpponentExports exports;
  if (!settings.module || opponent_module_stuck(settings.module) || !bind_opponent_exports(settings.module, &exports))
    return;
  refresh_opponent_view();
  exports.init(settings.com_level, settings.clear_count, view_->cells, view_->queue, &view_->hold_flag,
               &view_->pending_garbage);
  computer.think_set = exports.think_set;
  computer.thinking_time = std::max(0, exports.get_thinking_time());
  computer.miss_percent = exports.get_miss_percent();
  computer.think_thread = start_think_thread(computer.think_set, view_);
  computer.think_countdown = computer.thinking_time;
}

void Field::take_answer() {
  if (!think_thread_ended(computer.think_thread)) return;
  computer.decision = view_->decision;
  decode_placement(computer.decision, &computer.target_offset, &computer.target_rotation);
  CloseHandle(computer.think_thread);
  computer.think_thread = nullptr;
}

void Field::poll_thinking() {
  if (computer.think_thread && computer.thinking_time == 0) take_answer();
}

bool Field::lock_due() const {
  return is_landed() && (pair.rotate_resets == 0 || held(kButtonDown) || pair.lock_timer == 0);
}

void Field::computer_input() {
  if (pair.spawn_timer == 0 && !lock_due()) {
    // The answer is taken once the countdown has run out, then looked for in
    // every frame.
    if (computer.think_thread && (computer.think_countdown <= 0 || --computer.think_countdown == 0)) take_answer();
    ai_steer();
  } else if (pair.spawn_timer == 1) {
    // The pair enters in this frame.
    poll_thinking();
    ai_steer();
  } else {
    play_commands();
  }
}

void Field::ai_steer() {
  uint16_t bits = 0;
  const bool reached = computer.target_offset == 0 && computer.target_rotation == 0;
  if (reached && !held(kButtonDown))
    bits |= kCommandDown;
  else if (!reached && held(kButtonDown))
    bits |= kCommandDown << 8;
  // A button toward the other side is let go as well: still held from a
  // pair that locked before reaching its target, it would win over the new
  // direction (left over right) and push every later pair the wrong way.
  if (computer.target_offset < 0 && !held(kButtonLeft)) bits |= kCommandLeft;
  if (computer.target_offset > 0 && !held(kButtonRight)) bits |= kCommandRight;
  if (computer.target_offset >= 0 && held(kButtonLeft)) bits |= kCommandLeft << 8;
  if (computer.target_offset <= 0 && held(kButtonRight)) bits |= kCommandRight << 8;
  // One press per finished turn.
  if (pair.piece->turn == 0) {
    if (computer.target_rotation < 0) {
      bits |= kCommandCcw;
      ++computer.target_rotation;
    } else if (computer.target_rotation > 0) {
      bits |= kCommandCw;
      --computer.target_rotation;
    } else {
      if (held(kButtonCcw)) bits |= kCommandCcw << 8;
      if (held(kButtonCw)) bits |= kCommandCw << 8;
    }
  }
  if (bits) append_command({(uint32_t)(counters.time + settings.frame_offset), bits, 0});
  play_commands();
}

void Field::start_next_search() {
  if (pair.spawn_timer == 0 || computer.think_thread || !computer.think_set || board[2][2]) return;
  refresh_opponent_view();
  computer.think_thread = start_think_thread(computer.think_set, view_);
}

void Field::count_slide(int dir) {
  if (settings.module) computer.target_offset -= dir;
}

void Field::end_thinking() {
  if (!computer.think_thread) return;
  // A search that does not end in time is given up on, and so is its plug-in.
  if (!finish_think_thread(computer.think_thread, settings.module)) computer.think_set = nullptr;
  computer.think_thread = nullptr;
}
