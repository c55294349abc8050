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
  target_offset = target_rotation = 0;
  think_set = nullptr;
  OpponentExports exports;
  if (!settings.module || opponent_module_stuck(settings.module) || !bind_opponent_exports(settings.module, &exports))
    return;
  refresh_opponent_view();
  exports.init(settings.com_level, settings.clear_count, view_->cells, view_->queue, &view_->hold_flag,
               &view_->pending_garbage);
  think_set = exports.think_set;
  thinking_time = std::max(0, exports.get_thinking_time());
  miss_percent = exports.get_miss_percent();
  think_thread = start_think_thread(think_set, view_);
  think_countdown = thinking_time;
}

void Field::take_answer() {
  if (!think_thread_ended(think_thread)) return;
  decision = view_->decision;
  decode_placement(decision, &target_offset, &target_rotation);
  CloseHandle(think_thread);
  think_thread = nullptr;
}

void Field::poll_thinking() {
  if (think_thread && thinking_time == 0) take_answer();
}

bool Field::lock_due() const {
  return is_landed() && (rotate_resets == 0 || held(kButtonDown) || lock_timer == 0);
}

void Field::computer_input() {
  if (spawn_timer == 0 && !lock_due()) {
    // The answer is taken once the countdown has run out, then looked for in
    // every frame.
    if (think_thread && (think_countdown <= 0 || --think_countdown == 0)) take_answer();
    ai_steer();
  } else if (spawn_timer == 1) {
    // The pair enters in this frame.
    poll_thinking();
    ai_steer();
  } else {
    play_commands();
  }
}

void Field::ai_steer() {
  uint16_t bits = 0;
  const bool reached = target_offset == 0 && target_rotation == 0;
  if (reached && !held(kButtonDown))
    bits |= kCommandDown;
  else if (!reached && held(kButtonDown))
    bits |= kCommandDown << 8;
  // A button toward the other side is let go as well: still held from a
  // pair that locked before reaching its target, it would win over the new
  // direction (left over right) and push every later pair the wrong way.
  if (target_offset < 0 && !held(kButtonLeft)) bits |= kCommandLeft;
  if (target_offset > 0 && !held(kButtonRight)) bits |= kCommandRight;
  if (target_offset >= 0 && held(kButtonLeft)) bits |= kCommandLeft << 8;
  if (target_offset <= 0 && held(kButtonRight)) bits |= kCommandRight << 8;
  // One press per finished turn.
  if (pair->turn == 0) {
    if (target_rotation < 0) {
      bits |= kCommandCcw;
      ++target_rotation;
    } else if (target_rotation > 0) {
      bits |= kCommandCw;
      --target_rotation;
    } else {
      if (held(kButtonCcw)) bits |= kCommandCcw << 8;
      if (held(kButtonCw)) bits |= kCommandCw << 8;
    }
  }
  if (bits) append_command({(uint32_t)(time + settings.frame_offset), bits, 0});
  play_commands();
}

void Field::start_next_search() {
  if (spawn_timer == 0 || think_thread || !think_set || board[2][2]) return;
  refresh_opponent_view();
  think_thread = start_think_thread(think_set, view_);
}

void Field::count_slide(int dir) {
  if (settings.module) target_offset -= dir;
}

void Field::end_thinking() {
  if (!think_thread) return;
  // A search that does not end in time is given up on, and so is its plug-in.
  if (!finish_think_thread(think_thread, settings.module)) think_set = nullptr;
  think_thread = nullptr;
}
