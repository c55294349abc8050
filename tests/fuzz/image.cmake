# Image loader fuzzer: every decoder through the load-from-memory entry point
# (seed corpus of tiny files in corpus/image).
vox_add_fuzzer(NAME fuzz_image SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_image.cpp LIBS vox_image)
