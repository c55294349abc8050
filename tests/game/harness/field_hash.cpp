#include "tests/game/harness/field_hash.h"

#include <cstring>

#include "game/field.h"

namespace {

struct Fnv {
  uint64_t h = 1469598103934665603ull;
  void bytes(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
  }
  template <typename T>
  void add(const T& v) {
    bytes(&v, sizeof v);
  }
};

void hash_field(Fnv& f, const Field& field) {
  f.bytes(field.input.buttons, sizeof field.input.buttons);
  const Match_Counters& n = field.counters;
  const Falling_Pair& pair = field.pair;
  for (int32_t v : {n.time, n.level, n.blocks_to_level, field.mode, n.break_target, n.score, n.cleared, n.max_chain,
                    field.link.pending_garbage, pair.fall_accumulator, pair.lock_timer, pair.slide_resets,
                    pair.rotate_resets, pair.repeat_timer, pair.spawn_timer, (int32_t)field.settings.colours})
    f.add(v);
  f.add(field.link.hold_flag);
  f.bytes(field.pair.queue, sizeof field.pair.queue);
  f.add(field.rng->index());
  f.add((uint64_t)field.input.next);
  if (const Active_Block* p = field.pair.piece) {
    for (int32_t v : {p->colour_a, p->colour_b, p->x - field.origin_x, p->y, p->column, p->rotation, p->up, p->left, p->down,
                      p->right, p->turn})
      f.add(v);
  }
  for (int r = 0; r < kBoardRows; ++r)
    for (int c = 0; c < kBoardColumns; ++c) {
      const Block* b = field.board[r][c];
      f.add((uint8_t)(b != nullptr));
      if (!b) continue;
      f.add(b->x - field.origin_x);
      f.add(b->y);
      f.add(b->vx);
      f.add(b->vy);
      for (int32_t v : {b->chain, b->colour, b->vanish}) f.add(v);
      f.add(b->falling);
    }
  for (const Chein_Count* label : field.hud.chain_popups) {
    f.add((uint8_t)(label != nullptr));
    if (label)
      for (int32_t v : {label->x - field.origin_x, label->y, label->chain, label->timer}) f.add(v);
  }
}

}  // namespace

uint64_t field_state_hash(const Field& field) {
  Fnv f;
  hash_field(f, field);
  return f.h;
}

uint64_t match_state_hash(const Field& left, const Field* right) {
  Fnv f;
  hash_field(f, left);
  if (right) hash_field(f, *right);
  return f.h;
}
