// A hash of everything a field's future depends on: board blocks with their
// motion, the pair, the queue, counters, timers, virtual buttons, the pair
// generator's position and the chain labels. Positions count from the
// field's origin, so a field hashes alike on either side of the screen (a
// net battle shows each player's own field on the left). Two fields with
// equal hashes frame after frame played the same match.
#pragma once

#include <cstdint>

class Field;

uint64_t field_state_hash(const Field& field);
// Both fields of a battle, left then right (right may be null).
uint64_t match_state_hash(const Field& left, const Field* right);
