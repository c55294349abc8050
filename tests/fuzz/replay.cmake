# The replay reader over any file, and a short playback of what it accepts
# (seed corpus in corpus/replay: replays of scripted matches).
vox_add_fuzzer(NAME fuzz_replay SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_replay.cpp LIBS vox_game)
