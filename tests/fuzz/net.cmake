# Socket module framing fuzzer: received streams in pieces checked against a
# plain reading, and sent bytes read back (seed corpus in corpus/net_framing;
# the first byte of each input counts the piece sizes that follow it).
vox_add_fuzzer(NAME fuzz_net_framing SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_net_framing.cpp LIBS vox_net)
