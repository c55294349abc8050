# An opponent's think over any board, queue and counters the game could hand
# it (seed corpus in corpus/opponent_think).
vox_add_fuzzer(NAME fuzz_opponent_think SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_opponent_think.cpp
  LIBS vox_opponent_core)
