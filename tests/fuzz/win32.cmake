# Kernel stand-in readers of outside text (.ini files, wildcards, code page).
vox_add_fuzzer(NAME fuzz_win32_text SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_win32_text.cpp LIBS vox_win32)
