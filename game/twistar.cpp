#include "game/twistar.h"

Twistar::Twistar(uint32_t seed) : state_(new uint32_t[kWords]) { set_seed(seed); }

Twistar::~Twistar() { delete[] state_; }

void Twistar::set_seed(uint32_t seed) {
  seed_ = seed;
  state_[0] = seed;
  for (int i = 1; i < kWords; ++i) state_[i] = 1812433253u * (state_[i - 1] ^ (state_[i - 1] >> 30)) + (uint32_t)i;
  index_ = kWords;
}

uint32_t Twistar::next() {
  if (index_ >= kWords) {
    constexpr int kShift = 397;
    for (int i = 0; i < kWords; ++i) {
      uint32_t y = (state_[i] & 0x80000000u) | (state_[(i + 1) % kWords] & 0x7FFFFFFFu);
      state_[i] = state_[(i + kShift) % kWords] ^ (y >> 1) ^ ((y & 1u) ? 0x9908B0DFu : 0u);
    }
    index_ = 0;
  }
  uint32_t y = state_[index_++];
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y;
}
