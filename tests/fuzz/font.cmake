# Font layout and software string drawing over any bytes and glyph shapes.
vox_add_fuzzer(NAME fuzz_font SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_font.cpp LIBS vox_font)
