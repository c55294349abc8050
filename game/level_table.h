// Every timing of play by level (0-31): one constant row per level.
#pragma once

#include <cstdint>

enum LevelColumn {
  kFallSpeed = 0,     // gravity of the pair in 1/60 pixel per frame
  kLockDelay = 1,     // frames a landed pair waits before it locks
  kSpawnDelay = 2,    // frames between a lock and the next pair
  kVanishFrames = 3,  // a cleared block is removed when its vanish counter reaches this
  kRepeatDelay = 4,   // sideways auto-repeat delay
  kSlideResets = 5,   // lock-delay reloads allowed to the slides of one pair
  kRotateResets = 6,  // the same for rotations
};

inline constexpr int kLevelCount = 32;
extern const int32_t level_table[kLevelCount][7];
