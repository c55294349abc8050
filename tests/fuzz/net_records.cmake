# The net battle's parsers: TCP records in pieces, datagrams, pasted
# addresses, and records for the peer's field (seed corpus in
# corpus/net_records).
vox_add_fuzzer(NAME fuzz_net_records SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_net_records.cpp LIBS vox_game)
