// The pair generator of a field: the 32-bit Mersenne Twister (MT19937) seeded
// with the match seed, so both fields of a match and a replay of it draw the
// same pairs.
#pragma once

#include <cstdint>

class Twistar {
 public:
  explicit Twistar(uint32_t seed);
  ~Twistar();
  Twistar(const Twistar&) = delete;
  Twistar& operator=(const Twistar&) = delete;

  void set_seed(uint32_t seed);
  uint32_t next();
  // next() mod n; n must not be 0.
  uint32_t next_below(uint32_t n) { return next() % n; }
  uint32_t seed() const { return seed_; }
  int32_t index() const { return index_; }

 private:
  static constexpr int kWords = 624;
  uint32_t* state_;
  uint32_t seed_ = 0;
  int32_t index_ = kWords;
};
