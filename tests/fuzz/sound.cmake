# Sound loader fuzzer: every decoder through the load-from-memory entry point,
# static and streamed (seed corpus of tiny files in corpus/sound; the first
# byte of each picks the storage mode).
vox_add_fuzzer(NAME fuzz_sound SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_sound.cpp LIBS vox_sound)
