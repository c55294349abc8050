// The game program. It runs with its run folder as the current folder: the
// settings file, "score.vsd", the replays and every picture and sound are
// found there.
#include "game/program.h"

int main() { return run_program(); }
