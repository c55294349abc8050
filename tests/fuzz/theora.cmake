# Theora open-path fuzzer: header search, index pass, decoding thread, seek,
# wrap and conversion over a file in memory (seed corpus in corpus/theora).
vox_add_fuzzer(NAME fuzz_theora SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_theora.cpp LIBS vox_movie)
