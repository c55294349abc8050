// The engine's process-wide random generator (MT19937 with the 1998 seeding).
#pragma once

#include <cstdint>

void SeedRandom(uint32_t seed);
uint32_t NextRandomWord();
int GetRandomUpTo(int max);  // 0..max inclusive; max -1 gives 0
