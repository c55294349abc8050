# Small helpers shared by every folder's CMakeLists.

# Adds a sub-folder only when it has a CMakeLists.txt, so a folder is created
# only once it holds code.
function(vox_add_subdirectory_if_present dir)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endfunction()

# vox_add_test(NAME name SOURCES a.cpp b.cpp LIBS lib1 lib2)
# One GoogleTest program; each of its tests becomes a CTest test. Tests run in
# a fresh temporary folder of their own when they use tests/support's fixtures.
function(vox_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT T_SOURCES)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} vox_test_support GTest::gtest_main GTest::gmock Threads::Threads)
  # tests/support sets the headless SDL drivers and knows the source folder.
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60)
endfunction()

# vox_add_fuzzer(NAME fuzz_x SOURCES a.cpp LIBS libs...)
# Seed corpus: tests/fuzz/corpus/<name without fuzz_>/ (test.sh runs each
# fuzzer briefly over it).
function(vox_add_fuzzer)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${F_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
endfunction()

# vox_add_bench(NAME name SOURCES a.cpp LIBS libs...)
function(vox_add_bench)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${B_NAME} ${B_SOURCES})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
  set_target_properties(${B_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()
