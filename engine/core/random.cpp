// MT19937 with the 1998 seeding. The packed refill the engine once chose by
// processor feature computes the same words, so one portable refill serves.
#include "engine/core/random.h"

namespace {

constexpr int kN = 624;
constexpr int kM = 397;

struct RandomState {
  uint32_t state[kN];
  uint32_t output[kN];
  int index = kN;
  int seeded = 0;
};
RandomState g_random;

void Refill() {
  uint32_t* mt = g_random.state;
  for (int i = 0; i < kN; ++i) {
    uint32_t y = (mt[i] & 0x80000000u) | (mt[(i + 1) % kN] & 0x7FFFFFFFu);
    mt[i] = mt[(i + kM) % kN] ^ (y >> 1) ^ ((y & 1u) ? 0x9908B0DFu : 0u);
  }
  for (int i = 0; i < kN; ++i) {
    uint32_t y = mt[i];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    g_random.output[i] = y;
  }
  g_random.index = 0;
}

}  // namespace

void SeedRandom(uint32_t seed) {
  uint32_t x = seed;
  for (int i = 0; i < kN; ++i) {
    uint32_t word = x & 0xFFFF0000u;
    x = 69069u * x + 1u;
    word |= x >> 16;
    x = 69069u * x + 1u;
    g_random.state[i] = word;
  }
  g_random.seeded = 1;
  Refill();
}

uint32_t NextRandomWord() {
  if (g_random.index >= kN) {
    if (!g_random.seeded) {
      SeedRandom(4357);
    } else {
      Refill();
    }
  }
  return g_random.output[g_random.index++];
}

int GetRandomUpTo(int max) {
  uint64_t word = NextRandomWord();
  int64_t range = (int64_t)max + 1;
  return (int)(int64_t)(((__int128)word * range) >> 32);
}
