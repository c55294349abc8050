# The high-score file over any bytes: read, written back, read again, and a
# new entry placed in every mode (seed corpus in corpus/hiscore).
vox_add_fuzzer(NAME fuzz_hiscore SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_hiscore.cpp LIBS vox_game)
