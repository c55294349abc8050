// The field: construction, the frame update, recording, drawing and the
// end-of-match animations. The falling pair's movement is in field_pair.cpp,
// the rules that act on settled blocks in field_rules.cpp.
#include "game/field.h"

#include <algorithm>
#include <cstdio>

#include "engine/graphics/graphics.h"
#include "game/buttons.h"
#include "game/caches.h"
#include "game/level_table.h"
#include "game/settings.h"

namespace {

// Human pad mask and command press bit of each recorded button.
struct RecordedButton {
  int mask;
  uint16_t bit;
};
constexpr RecordedButton kRecorded[] = {
    {kPadLeft, kCommandLeft}, {kPadRight, kCommandRight}, {kPadDown, kCommandDown},
    {kPadRotateCcw, kCommandCcw}, {kPadRotateCw, kCommandCw},
};

}  // namespace

Delete_Tree::~Delete_Tree() {
  for (Delete_Tree* c : child) delete c;
}

int hud_x_for(int origin_x, bool replayed) {
  if (origin_x < 321) return origin_x + (replayed ? 196 : 200);
  return origin_x - (replayed ? 96 : 100);
}

const int32_t* Field::level_table_row(int level) { return level_table[std::clamp(level, 0, kLevelCount - 1)]; }

Field::Field(const side_settings& s, int origin, int dev) : origin_x(origin) {
  settings = s;
  construct(origin, dev, false);
}

void Field::construct(int origin, int dev, bool replayed_hud) {
  origin_x = origin;
  input.device = dev;
  mode = settings.mode;
  start_match((uint32_t)settings.seed);
  create_hud(hud_x_for(origin_x, replayed_hud));
}

Field::~Field() {
  // The search goes first: it may still be reading this field's view.
  end_thinking();
  for (Chein_Count*& label : hud.chain_popups) delete label;
  delete_blocks();
  delete rng;
  delete pair.piece;
}

void Field::start_match(uint32_t seed) {
  counters.score = counters.cleared = counters.max_chain = 0;
  link.pending_garbage = 0;
  link.hold_flag = 1;
  counters.time = mode == 1 ? kTimeTrialFrames : 0;
  counters.break_target = mode == 2 ? (settings.level_target / 32) * 10 : 0;
  counters.level = settings.level_target % 32;
  counters.blocks_to_level = counters.level * 10 + 10;
  pair.fall_accumulator = pair.lock_timer = pair.spawn_timer = 0;
  pair.slide_resets = pair.rotate_resets = pair.repeat_timer = 0;
  std::fill(std::begin(input.buttons), std::end(input.buttons), 0);
  settings.seed = (int)seed;
  if (rng)
    rng->set_seed(seed);
  else
    rng = new Twistar(seed);
  input.commands.clear();
  input.next = 0;
  init_pieces();
}

void Field::create_hud(int hud_x) {
  hud.next_block = std::make_unique<Next_Block>(pair.queue, hud_x);
  hud.yokoku = std::make_unique<Yokoku_Count>(&link.pending_garbage, origin_x);
  hud.break_count = std::make_unique<Break_Count>(&counters.cleared, counters.break_target, hud_x);
  hud.level_count = std::make_unique<Level_Count>(&counters.level, hud_x);
  hud.score_count = std::make_unique<Score_Count>(&counters.score, hud_x);
  hud.time_count = std::make_unique<Time_Count>(&counters.time, hud_x);
}

void Field::delete_blocks() {
  for (auto& row : board)
    for (Block*& b : row) {
      delete b;
      b = nullptr;
    }
}

void Field::reset(int seed) {
  end_thinking();
  computer.target_offset = computer.target_rotation = computer.think_countdown = 0;
  if (mode != 3) settings.colours = (settings.level_target % 32) / 8 + 3;
  delete_blocks();
  delete pair.piece;
  pair.piece = nullptr;
  for (Chein_Count*& label : hud.chain_popups) {
    delete label;
    label = nullptr;
  }
  start_match((uint32_t)seed);
}

// ---- pairs ---------------------------------------------------------------------

void Field::new_pair_colours(int32_t* out) {
  uint32_t n = (uint32_t)settings.colours;
  // n x n - 1: the pair of two blocks of the last colour never comes.
  uint32_t v = rng->next_below(n * n - 1);
  out[0] = (int32_t)(v / n);
  out[1] = (int32_t)(v % n);
}

void Field::init_pieces() {
  int32_t first[2];
  new_pair_colours(first);
  if (pair.piece)
    pair.piece->reset(first[0], first[1]);
  else
    pair.piece = new Active_Block(first[0], first[1], origin_x);
  for (auto& q : pair.queue) new_pair_colours(q);
}

void Field::next_piece() {
  pair.piece->reset(pair.queue[0][0], pair.queue[0][1]);
  for (int i = 0; i < 4; ++i) {
    pair.queue[i][0] = pair.queue[i + 1][0];
    pair.queue[i][1] = pair.queue[i + 1][1];
  }
  new_pair_colours(pair.queue[4]);
}

void Field::spawn_piece() {
  next_piece();
  const int32_t* row = level_row();
  pair.slide_resets = row[kSlideResets];
  pair.rotate_resets = row[kRotateResets];
  pair.repeat_timer = row[kRepeatDelay];
  pair.lock_timer = 0;
  // Buttons held through the spawn delay act on the entering pair; left wins
  // over right. A computer counts this slide whether or not it succeeded.
  if (held(kButtonLeft)) {
    slide_left();
    pair.repeat_timer = 0;
    count_slide(-1);
  } else if (held(kButtonRight)) {
    slide_right();
    pair.repeat_timer = 0;
    count_slide(1);
  }
  if (held(kButtonCcw))
    rotate_ccw();
  else if (held(kButtonCw))
    rotate_cw();
  if (settings.module) computer.think_countdown = computer.thinking_time;
}

// ---- the frame -----------------------------------------------------------------

void Field::lock_piece() {
  sounds.report(kFieldSoundSet);
  const int r = pair.piece->row(), c = pair.piece->column;
  const int pr = pair.piece->partner_row(), pc = pair.piece->partner_column();
  auto place = [this](int row, int column, int colour) -> Block* {
    // A kick animation can leave the partner's row outside the board for a
    // frame; such a block has no cell to go to.
    if (row < 0 || row >= kBoardRows || column < 0 || column >= kBoardColumns || board[row][column]) return nullptr;
    Block* b = new Block(origin_x + kCellSize * column, origin_x, row_top(row), colour);
    board[row][column] = b;
    return b;
  };
  place(r, c, pair.piece->colour_a);
  Block* partner = place(pr, pc, pair.piece->colour_b);
  // Chain carry: a pair landing on blocks that carry a chain joins it.
  if (partner)
    for (int row = 0; row < kBoardRows; ++row)
      if (Block* b = board[row][pc]; b && b->chain > partner->chain) partner->chain = b->chain;
  if (pr >= 0 && pr < kBoardRows)
    if (Block* target = board[pr][c])
      for (int row = 0; row < kBoardRows; ++row)
        if (Block* b = board[row][c]; b && b->chain > target->chain) target->chain = b->chain;
  pair.spawn_timer = level_row()[kSpawnDelay];
  if (link.hold_flag == 0) drop_garbage();
}

void Field::control_step() {
  if (held(kButtonLeft)) {
    if (!pressed(kButtonLeft) && pair.repeat_timer > 0)
      --pair.repeat_timer;
    else if (slide_left())
      count_slide(-1);
  } else if (!held(kButtonRight)) {
    pair.repeat_timer = level_row()[kRepeatDelay];
  } else {
    if (!pressed(kButtonRight) && pair.repeat_timer > 0)
      --pair.repeat_timer;
    else if (slide_right())
      count_slide(1);
  }
  if (pressed(kButtonCcw))
    rotate_ccw();
  else if (pressed(kButtonCw))
    rotate_cw();
  fall_step();
  if (!is_landed()) {
    pair.lock_timer = 0;
  } else if (pair.lock_timer == 0) {
    pair.lock_timer = level_row()[kLockDelay];
    pair.piece->y = row_top(pair.piece->row());
  }
}

void Field::draw_pair_and_blocks() {
  SetPaintClipRect(origin_x, 80, origin_x + 192, 464);
  if (pair.spawn_timer == 0) pair.piece->update();
  for (auto& row : board)
    for (Block* b : row)
      if (b) b->update();
}

void Field::draw_still() const {
  SetPaintClipRect(origin_x, 80, origin_x + 192, 464);
  if (pair.spawn_timer == 0) pair.piece->draw();
  for (const auto& row : board)
    for (const Block* b : row)
      if (b) b->draw();
  SetPaintClipRect(0, 0, 640, 480);
  for (const Chein_Count* label : hud.chain_popups)
    if (label) label->draw();
}

void Field::after_control() {
  draw_pair_and_blocks();
  if (link.opponent) {
    bool chaining = false;
    for (auto& row : board)
      for (Block* b : row)
        if (b && b->chain > 0) chaining = true;
    link.opponent->link.hold_flag = chaining ? 1 : 0;
  }
  SetPaintClipRect(0, 0, 640, 480);
  settle_blocks();
  for (Chein_Count* label : hud.chain_popups)
    if (label) label->update();
}

bool Field::spawn_cell_blocked() const {
  const Block* b = board[2][2];
  return b && !b->falling && b->vanish == 0;
}

void Field::advance() {
  if (pair.spawn_timer > 0) {
    if (--pair.spawn_timer == 0) spawn_piece();
  } else {
    if (is_landed()) {
      if (pair.rotate_resets == 0 || held(kButtonDown)) pair.lock_timer = 0;
      if (pair.lock_timer == 0) lock_piece();
    }
    if (pair.spawn_timer == 0) {
      control_step();
      if (pair.lock_timer > 0) --pair.lock_timer;
    }
  }
}

int Field::update() {
  if (settings.module)
    computer_input();
  else
    record_input();
  advance();
  after_control();
  if (settings.module) start_next_search();
  int result = kFieldPlaying;
  if (is_pressed_on(START_Custom, input.device)) {
    sounds.report(kFieldSoundPause);
    result = kFieldPaused;
  }
  if (mode == 2 && counters.cleared >= counters.break_target) result = kFieldGoal;
  if (spawn_cell_blocked()) result = kFieldToppedOut;
  if (tick_clock(true)) result = kFieldGoal;
  return result;
}

bool Field::tick_clock(bool count_aloud) {
  if (mode != 1) {
    ++counters.time;
    return false;
  }
  if (--counters.time == 0) {
    sounds.report(kFieldSoundLevelUp);
    return true;
  }
  if (count_aloud && counters.time <= 300 && counters.time % 60 == 0) sounds.report(kFieldSoundCount);
  return false;
}

// ---- commands ------------------------------------------------------------------

void link_opponents(Field* a, Field* b) {
  a->link.opponent = b;
  b->link.opponent = a;
}

bool Field::record_input() {
  replay_command command{(uint32_t)(counters.time + settings.frame_offset), 0, 0};
  bool first_frame = counters.time == (mode == 1 ? kTimeTrialFrames : 0);
  for (const RecordedButton& b : kRecorded) {
    // A button held through the count-in counts as pressed.
    if ((first_frame && is_held_on(b.mask, input.device)) || is_pressed_on(b.mask, input.device)) command.bits |= b.bit;
    if (is_released_on(b.mask, input.device)) command.bits |= (uint16_t)(b.bit << 8);
  }
  if (command.bits) input.commands.push_back(command);
  play_commands();
  return true;
}

void Field::play_commands() {
  for (int b = 0; b < 7; ++b)
    if (input.buttons[b] == 2) input.buttons[b] = 1;
  while (input.next < input.commands.size() && input.commands[input.next].frame == (uint32_t)counters.time) {
    uint16_t bits = input.commands[input.next].bits;
    for (int i = 0; i < 7; ++i)
      if (bits & (1 << i)) input.buttons[kCommandButton[i]] = 2;
    for (int i = 0; i < 7; ++i)
      if (bits & (0x100 << i)) input.buttons[kCommandButton[i]] = 0;
    ++input.next;
  }
}

int Field::write_replay(std::vector<uint8_t>* file) {
  file->push_back((uint8_t)mode);
  put_u16(file, (uint16_t)settings.level_target);
  file->push_back((uint8_t)settings.clear_score);
  file->push_back((uint8_t)settings.garbage_score);
  file->push_back((uint8_t)((settings.colours & 15) * 16 + (settings.clear_count & 15)));
  put_u32(file, rng->seed());
  size_t length_at = file->size();
  put_u32(file, 0);
  long length = deflate_commands(input.commands, file);
  input.commands.clear();
  input.next = 0;
  if (length < 0) {
    file->resize(length_at - 10);
    return 0;
  }
  patch_u32(file, length_at, (uint32_t)length);
  return 1;
}

void Field::refresh_opponent_view() {
  OpponentView& v = *view_;
  for (int r = 0; r < kBoardRows; ++r)
    for (int c = 0; c < kBoardColumns; ++c) {
      int i = r * kBoardColumns + c;
      const Block* b = board[r][c];
      if (b) v.records[i] = {b->chain, b->colour, b->vanish};
      v.cells[i] = b ? &v.records[i] : nullptr;
    }
  std::copy(&pair.queue[0][0], &pair.queue[0][0] + 10, &v.queue[0][0]);
  v.hold_flag = link.hold_flag;
  v.pending_garbage = link.pending_garbage;
}

// ---- drawing and the scenes' steps ---------------------------------------------------

void Field::draw_hud() {
  hud.next_block->draw();
  hud.yokoku->draw();
  hud.break_count->draw();
  hud.level_count->draw();
  hud.score_count->draw();
  hud.time_count->draw();
}

void Field::draw() {
  PaintGraph(origin_x - 4, 76, load_image("images\\line.png"), 1);
  SelectBlendMode(1, 192);
  if (origin_x >= 320)
    PaintGraphMirrored(origin_x, 80, settings.chara_image, 1);
  else
    PaintGraph(origin_x, 80, settings.chara_image, 1);
  SelectBlendMode(0, 255);
  draw_hud();
}

void Field::draw_countdown(int n) {
  char name[32];
  std::snprintf(name, sizeof name, "images\\%d.png", countdown_digit(n));
  int f = n % 60;
  int s = (60 - f) * 32 / 60;
  int side = f * 64 / 60;
  int x = origin_x + 72 + s, y = 240 + s;
  PaintGraphStretched(x, y, x + side, y + side, load_image(name), 1);
  if (n == 1) next_piece();
}

int Field::check_pause() {
  if (is_pressed_on(START_Custom, 0)) {
    sounds.report(kFieldSoundPause);
    return kFieldPlaying;
  }
  return kFieldPaused;
}

int Field::win_animation(int n) {
  if (n == 240)
    for (auto& row : board)
      for (Block* b : row)
        if (b) {
          b->falling = 0;
          if (b->vanish == 0) b->vanish = 1;
        }
  if (n == 220) delete_blocks();
  for (auto& row : board)
    for (Block* b : row)
      if (b) b->update();
  return kFieldGoal;
}

int Field::lose_animation(int n) {
  if (n == 240) {
    sounds.report(kFieldSoundGameOver);
    for (int r = 0; r < kBoardRows; ++r)
      for (int c = 0; c < kBoardColumns; ++c)
        if (Block* b = board[r][c]) {
          b->falling = 1;
          b->vx = (2 * c - 5) * 0.3;
          b->vy = (r - 13) * 0.3;
        }
  }
  for (auto& row : board)
    for (Block* b : row)
      if (b) b->update();
  return kFieldToppedOut;
}
