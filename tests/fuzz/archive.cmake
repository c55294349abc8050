# Archive reader and LZ decoder fuzzers (seed corpora in corpus/archive and
# corpus/lz, made with tools/packer).
vox_add_fuzzer(NAME fuzz_archive SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_archive.cpp LIBS vox_core)
vox_add_fuzzer(NAME fuzz_lz SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_lz.cpp LIBS vox_core vox_qva_pack)
