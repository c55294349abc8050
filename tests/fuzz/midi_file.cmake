# The MIDI library's file reader, and the synthesiser's player over every
# song it reads (seed corpus in corpus/midi_file).
pkg_check_modules(FUZZ_FLUIDSYNTH REQUIRED IMPORTED_TARGET fluidsynth)
vox_add_fuzzer(NAME fuzz_midi_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_midi_file.cpp
  LIBS tunehall_midi_file PkgConfig::FUZZ_FLUIDSYNTH)
