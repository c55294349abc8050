// The field: construction, the frame update, the falling pair's movement,
// recording, drawing and the end-of-match animations. The rules that act on
// settled blocks are in field_rules.cpp.
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
  device = dev;
  mode = settings.mode;
  cleared_normal.reserve(256);
  cleared_garbage.reserve(256);
  visited.reserve(256);
  start_match((uint32_t)settings.seed);
  create_hud(hud_x_for(origin_x, replayed_hud));
}

Field::~Field() {
  // The search goes first: it may still be reading this field's view.
  end_thinking();
  for (Chein_Count*& label : chain_popups) delete label;
  delete_blocks();
  delete rng;
  delete pair;
  delete yokoku;
  delete next_block;
  delete break_count;
  delete score_count;
  delete level_count;
  delete time_count;
}

void Field::start_match(uint32_t seed) {
  score = cleared = max_chain = 0;
  pending_garbage = 0;
  hold_flag = 1;
  time = mode == 1 ? kTimeTrialFrames : 0;
  break_target = mode == 2 ? (settings.level_target / 32) * 10 : 0;
  level = settings.level_target % 32;
  blocks_to_level = level * 10 + 10;
  fall_accumulator = lock_timer = spawn_timer = slide_resets = rotate_resets = repeat_timer = 0;
  std::fill(std::begin(buttons), std::end(buttons), 0);
  settings.seed = (int)seed;
  if (rng)
    rng->set_seed(seed);
  else
    rng = new Twistar(seed);
  replay.clear();
  replay_next = 0;
  init_pieces();
}

void Field::create_hud(int hud_x) {
  next_block = new Next_Block(queue, hud_x);
  yokoku = new Yokoku_Count(&pending_garbage, origin_x);
  break_count = new Break_Count(&cleared, break_target, hud_x);
  level_count = new Level_Count(&level, hud_x);
  score_count = new Score_Count(&score, hud_x);
  time_count = new Time_Count(&time, hud_x);
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
  target_offset = target_rotation = think_countdown = 0;
  if (mode != 3) settings.colours = (settings.level_target % 32) / 8 + 3;
  delete_blocks();
  delete pair;
  pair = nullptr;
  for (Chein_Count*& label : chain_popups) {
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
  if (pair)
    pair->reset(first[0], first[1]);
  else
    pair = new Active_Block(first[0], first[1], origin_x);
  for (auto& q : queue) new_pair_colours(q);
}

void Field::next_piece() {
  pair->reset(queue[0][0], queue[0][1]);
  for (int i = 0; i < 4; ++i) {
    queue[i][0] = queue[i + 1][0];
    queue[i][1] = queue[i + 1][1];
  }
  new_pair_colours(queue[4]);
}

void Field::spawn_piece() {
  next_piece();
  const int32_t* row = level_row();
  slide_resets = row[kSlideResets];
  rotate_resets = row[kRotateResets];
  repeat_timer = row[kRepeatDelay];
  lock_timer = 0;
  // Buttons held through the spawn delay act on the entering pair; left wins
  // over right. A computer counts this slide whether or not it succeeded.
  if (held(kButtonLeft)) {
    slide_left();
    repeat_timer = 0;
    count_slide(-1);
  } else if (held(kButtonRight)) {
    slide_right();
    repeat_timer = 0;
    count_slide(1);
  }
  if (held(kButtonCcw))
    rotate_ccw();
  else if (held(kButtonCw))
    rotate_cw();
  if (settings.module) think_countdown = thinking_time;
}

bool Field::occupied(int row, int column) const {
  if (row < 0 || row >= kBoardRows || column < 0 || column >= kBoardColumns) return true;
  return board[row][column] != nullptr;
}

bool Field::cell_free(int row, int column) const { return !occupied(row, column); }

bool Field::pair_holds(int row, int column) const {
  return (row == pair->row() && column == pair->column) ||
         (row == pair->partner_row() && column == pair->partner_column());
}

bool Field::is_landed() const {
  int r = pair->row();
  return pair->bottom_row() == kBoardRows - 1 || occupied(pair->bottom_row() + 1, pair->column) ||
         occupied(r + 1, pair->left_column()) || occupied(r + 1, pair->right_column());
}

bool Field::piece_in_bounds() const {
  int bottom = pair->bottom_row();
  return pair->left_column() >= 0 && pair->right_column() <= kBoardColumns - 1 && bottom >= 0 &&
         bottom <= kBoardRows - 1;
}

bool Field::slide(int dir) {
  const int edge = dir < 0 ? pair->left_column() : pair->right_column();
  const int target = edge + dir;
  int32_t& counter = dir < 0 ? pair->left : pair->right;
  if (counter > 0 || target < 0 || target >= kBoardColumns) return false;
  if (occupied(pair->row(), target) || occupied(pair->top_row(), target) || occupied(pair->bottom_row(), target))
    return false;
  // Between two rows the pair overlaps the row under it as well.
  if (!is_landed() && occupied(pair->bottom_row() + 1, target)) return false;
  pair->column += dir;
  counter = 4;
  play_se("sounds\\slide.wav");
  if (is_landed()) {
    if (slide_resets >= 1) {
      --slide_resets;
      lock_timer = level_row()[kLockDelay];
    } else {
      lock_timer = 0;
    }
  }
  return true;
}

bool Field::slide_left() { return slide(-1); }
bool Field::slide_right() { return slide(1); }

bool Field::rotate_ccw() {
  if (pair->turn != 0) return false;
  int old = pair->rotation;
  pair->rotation = (old + 1) % 4;
  kick_rotation(old);
  pair->turn = 4;
  play_se("sounds\\rotate.wav");
  // In the air a counter-clockwise turn costs no reset.
  if (is_landed() && rotate_resets >= 1) {
    --rotate_resets;
    if (lock_timer > 0) lock_timer = level_row()[kLockDelay];
  }
  return true;
}

bool Field::rotate_cw() {
  if (pair->turn != 0) return false;
  int old = pair->rotation;
  pair->rotation = (old + 3) % 4;
  kick_rotation(old);
  pair->turn = -4;
  play_se("sounds\\rotate.wav");
  if (rotate_resets >= 1) {
    --rotate_resets;
    if (lock_timer > 0) lock_timer = level_row()[kLockDelay];
  } else {
    lock_timer = 0;
  }
  return true;
}

void Field::kick_rotation(int old) {
  const int R = pair->row(), c = pair->column;
  auto move_column = [this](int delta) {
    pair->column += delta;
    (delta < 0 ? pair->left : pair->right) = 4;
  };
  auto move_row = [this](int delta) { (delta < 0 ? pair->up : pair->down) = 4; };
  switch (pair->rotation) {
    case 0:
    case 2: {
      int dr = pair->rotation == 0 ? -1 : 1;  // where the partner goes
      if (piece_in_bounds() && cell_free(R + dr, c)) return;
      // Push away from the partner.
      if ((dr < 0 ? R < kBoardRows - 1 : R > 0) && cell_free(R - dr, c)) {
        move_row(-dr);
        return;
      }
      // Toward the side the partner came from.
      int dc = old == 1 ? -1 : 1;
      bool room = dr < 0 ? R > 0 : R < kBoardRows - 1;
      if (room && cell_free(R + dr, c + dc)) {
        move_column(dc);
        return;
      }
      // No room at all: the two blocks trade places.
      move_column(dc);
      pair->rotation = old == 1 ? 3 : 1;
      return;
    }
    default: {
      int dc = pair->rotation == 1 ? -1 : 1;
      if (piece_in_bounds() && cell_free(R, c + dc)) return;
      if ((dc < 0 ? c < kBoardColumns - 1 : c > 0) && cell_free(R, c - dc)) {
        move_column(-dc);
        return;
      }
      int dr = old == 0 ? -1 : 1;
      bool room = dc < 0 ? c > 0 : c < kBoardColumns - 1;
      if (room && cell_free(R + dr, c + dc)) {
        move_row(dr);
        return;
      }
      move_row(dr);
      pair->rotation = old == 0 ? 2 : 0;
      return;
    }
  }
}

void Field::fall_step() {
  if (is_landed()) return;
  int speed = level_row()[kFallSpeed];
  if (held(kButtonDown)) speed = std::max(speed, 960);
  fall_accumulator -= speed;
  while (fall_accumulator < 1 && !is_landed()) {
    fall_accumulator += 60;
    pair->y += 1;
  }
}

// ---- the frame -----------------------------------------------------------------

void Field::lock_piece() {
  play_se("sounds\\set.wav");
  const int r = pair->row(), c = pair->column;
  const int pr = pair->partner_row(), pc = pair->partner_column();
  auto place = [this](int row, int column, int colour) -> Block* {
    // A kick animation can leave the partner's row outside the board for a
    // frame; such a block has no cell to go to.
    if (row < 0 || row >= kBoardRows || column < 0 || column >= kBoardColumns || board[row][column]) return nullptr;
    Block* b = new Block(origin_x + kCellSize * column, origin_x, row_top(row), colour);
    board[row][column] = b;
    return b;
  };
  place(r, c, pair->colour_a);
  Block* partner = place(pr, pc, pair->colour_b);
  // Chain carry: a pair landing on blocks that carry a chain joins it.
  if (partner)
    for (int row = 0; row < kBoardRows; ++row)
      if (Block* b = board[row][pc]; b && b->chain > partner->chain) partner->chain = b->chain;
  if (pr >= 0 && pr < kBoardRows)
    if (Block* target = board[pr][c])
      for (int row = 0; row < kBoardRows; ++row)
        if (Block* b = board[row][c]; b && b->chain > target->chain) target->chain = b->chain;
  spawn_timer = level_row()[kSpawnDelay];
  if (hold_flag == 0) drop_garbage();
}

void Field::control_step() {
  if (held(kButtonLeft)) {
    if (!pressed(kButtonLeft) && repeat_timer > 0)
      --repeat_timer;
    else if (slide_left())
      count_slide(-1);
  } else if (!held(kButtonRight)) {
    repeat_timer = level_row()[kRepeatDelay];
  } else {
    if (!pressed(kButtonRight) && repeat_timer > 0)
      --repeat_timer;
    else if (slide_right())
      count_slide(1);
  }
  if (pressed(kButtonCcw))
    rotate_ccw();
  else if (pressed(kButtonCw))
    rotate_cw();
  fall_step();
  if (!is_landed()) {
    lock_timer = 0;
  } else if (lock_timer == 0) {
    lock_timer = level_row()[kLockDelay];
    pair->y = row_top(pair->row());
  }
}

void Field::draw_pair_and_blocks() {
  SetPaintClipRect(origin_x, 80, origin_x + 192, 464);
  if (spawn_timer == 0) pair->update();
  for (auto& row : board)
    for (Block* b : row)
      if (b) b->update();
}

void Field::draw_still() const {
  SetPaintClipRect(origin_x, 80, origin_x + 192, 464);
  if (spawn_timer == 0) pair->draw();
  for (const auto& row : board)
    for (const Block* b : row)
      if (b) b->draw();
  SetPaintClipRect(0, 0, 640, 480);
  for (const Chein_Count* label : chain_popups)
    if (label) label->draw();
}

void Field::after_control() {
  draw_pair_and_blocks();
  if (opponent) {
    bool chaining = false;
    for (auto& row : board)
      for (Block* b : row)
        if (b && b->chain > 0) chaining = true;
    opponent->hold_flag = chaining ? 1 : 0;
  }
  SetPaintClipRect(0, 0, 640, 480);
  settle_blocks();
  for (Chein_Count* label : chain_popups)
    if (label) label->update();
}

bool Field::spawn_cell_blocked() const {
  const Block* b = board[2][2];
  return b && !b->falling && b->vanish == 0;
}

void Field::advance() {
  if (spawn_timer > 0) {
    if (--spawn_timer == 0) spawn_piece();
  } else {
    if (is_landed()) {
      if (rotate_resets == 0 || held(kButtonDown)) lock_timer = 0;
      if (lock_timer == 0) lock_piece();
    }
    if (spawn_timer == 0) {
      control_step();
      if (lock_timer > 0) --lock_timer;
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
  if (is_pressed_on(START_Custom, device)) {
    play_se("sounds\\pause.wav");
    result = kFieldPaused;
  }
  if (mode == 2 && cleared >= break_target) result = kFieldGoal;
  if (spawn_cell_blocked()) result = kFieldToppedOut;
  if (mode == 1) {
    if (--time == 0) {
      play_se("sounds\\levelup.wav");
      result = kFieldGoal;
    } else if (time <= 300 && time % 60 == 0) {
      play_se("sounds\\321.wav");
    }
  } else {
    ++time;
  }
  return result;
}

// ---- commands ------------------------------------------------------------------

void link_opponents(Field* a, Field* b) {
  a->opponent = b;
  b->opponent = a;
}

bool Field::record_input() {
  replay_command command{(uint32_t)(time + settings.frame_offset), 0, 0};
  bool first_frame = time == (mode == 1 ? kTimeTrialFrames : 0);
  for (const RecordedButton& b : kRecorded) {
    // A button held through the count-in counts as pressed.
    if ((first_frame && is_held_on(b.mask, device)) || is_pressed_on(b.mask, device)) command.bits |= b.bit;
    if (is_released_on(b.mask, device)) command.bits |= (uint16_t)(b.bit << 8);
  }
  if (command.bits) replay.push_back(command);
  play_commands();
  return true;
}

void Field::play_commands() {
  for (int b = 0; b < 7; ++b)
    if (buttons[b] == 2) buttons[b] = 1;
  while (replay_next < replay.size() && replay[replay_next].frame == (uint32_t)time) {
    uint16_t bits = replay[replay_next].bits;
    for (int i = 0; i < 7; ++i)
      if (bits & (1 << i)) buttons[kCommandButton[i]] = 2;
    for (int i = 0; i < 7; ++i)
      if (bits & (0x100 << i)) buttons[kCommandButton[i]] = 0;
    ++replay_next;
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
  long length = deflate_commands(replay, file);
  replay.clear();
  replay_next = 0;
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
  std::copy(&queue[0][0], &queue[0][0] + 10, &v.queue[0][0]);
  v.hold_flag = hold_flag;
  v.pending_garbage = pending_garbage;
}

// ---- drawing and the scenes' steps ---------------------------------------------------

void Field::draw_hud() {
  next_block->draw();
  yokoku->draw();
  break_count->draw();
  level_count->draw();
  score_count->draw();
  time_count->draw();
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
    play_se("sounds\\pause.wav");
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
    play_se("sounds\\gameover.wav");
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
