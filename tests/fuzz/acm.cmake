# Compression manager fuzzer: hostile format records and data through every
# conversion (seed corpus in corpus/acm).
vox_add_fuzzer(NAME fuzz_acm SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_acm.cpp LIBS vox_acm)
