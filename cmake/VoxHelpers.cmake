# Small helpers shared by every folder's CMakeLists.

# ---- layers ------------------------------------------------------------------
# Each target sees only the layers it may use: its include path names its own
# folder, the folders of the libraries it uses and nothing else, so an
# #include that reaches a layer above or beside fails to compile, and a cycle
# between libraries cannot be written. Sources keep including by the path
# from the top of the tree ("engine/core/log.h"); each folder is put on an
# include path through a root of its own under <build>/layers/ that holds
# only a link to that folder.
#
# A new library of a folder says what it stands on, in its CMakeLists:
#   vox_library(vox_sound USES vox_core vox_dsound vox_acm PkgConfig::VORBISFILE)
# USES names libraries (ours or outside ones); they are linked, and what they
# use is seen in turn. HEADERS names a folder or a single header that is
# seen but not linked: records and declarations another layer owns.

# The include root that shows `path` (a folder or one header, relative to the
# top of the tree) and nothing else.
function(vox_layer_root path out)
  string(REPLACE "/" "_" key "${path}")
  set(root ${CMAKE_BINARY_DIR}/layers/${key})
  if(NOT IS_SYMLINK ${root}/${path})
    get_filename_component(parent ${root}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${path} ${root}/${path} SYMBOLIC)
  endif()
  set(${out} ${root} PARENT_SCOPE)
endfunction()

# vox_layer(<target> [USES libraries...] [HEADERS paths...])
# Makes an existing target a layer of the current folder.
function(vox_layer target)
  cmake_parse_arguments(L "" "" "USES;HEADERS" ${ARGN})
  file(RELATIVE_PATH own ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  # A library of headers only hands on what it sees without using it itself.
  get_target_property(type ${target} TYPE)
  set(scope PUBLIC)
  if(type STREQUAL "INTERFACE_LIBRARY")
    set(scope INTERFACE)
  endif()
  foreach(path ${own} ${L_HEADERS})
    vox_layer_root(${path} root)
    target_include_directories(${target} ${scope} ${root})
  endforeach()
  if(L_USES)
    target_link_libraries(${target} ${scope} ${L_USES})
  endif()
endfunction()

# vox_library(<name> [SOURCES files...] [USES libraries...] [HEADERS paths...])
# The static library of the current folder (every .cpp file in it unless
# SOURCES are given), as a layer; a folder of headers only makes an
# interface library.
function(vox_library name)
  cmake_parse_arguments(L "" "" "SOURCES;USES;HEADERS" ${ARGN})
  if(NOT L_SOURCES)
    file(GLOB L_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  if(L_SOURCES)
    add_library(${name} STATIC ${L_SOURCES})
  else()
    add_library(${name} INTERFACE)
  endif()
  vox_layer(${name} USES ${L_USES} HEADERS ${L_HEADERS})
endfunction()

# vox_add_test(NAME name SOURCES a.cpp b.cpp LIBS lib1 lib2 [HEADERS paths...] [LONG])
# One GoogleTest program; each of its tests becomes a CTest test. Tests run in
# a fresh temporary folder of their own when they use tests/support's fixtures.
# A test sees the libraries it links, the whole tests/ tree (fixtures) and the
# HEADERS named (a loaded module's interface, say). LONG marks a program whose
# tests each take many seconds (whole programs run end to end): a parallel run
# starts them first, so that they are not left to the end of a run that has
# no timings of its own yet.
function(vox_add_test)
  cmake_parse_arguments(T "LONG" "NAME" "SOURCES;LIBS;HEADERS" ${ARGN})
  if(NOT T_SOURCES)
    message(FATAL_ERROR "test ${T_NAME} has no sources")
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  vox_layer(${T_NAME} USES ${T_LIBS} HEADERS tests ${T_HEADERS})
  target_link_libraries(${T_NAME} PRIVATE vox_test_support GTest::gtest_main GTest::gmock Threads::Threads)
  # tests/support sets the headless SDL drivers and knows the source folder.
  # A CTest name is the GoogleTest name: a parameterised test is named by its
  # suite's name generator (or its index), never by the printed parameter,
  # which for a record is its bytes, pointers among them, and so differs
  # from one build to the next.
  set(cost 0)
  if(T_LONG)
    set(cost 1000)
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES PROPERTIES COST ${cost})
endfunction()

# vox_add_fuzzer(NAME fuzz_x SOURCES a.cpp LIBS libs...)
# Seed corpus: tests/fuzz/corpus/<name without fuzz_>/ (test.sh runs each
# fuzzer briefly over it).
function(vox_add_fuzzer)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${F_NAME} ${F_SOURCES})
  vox_layer(${F_NAME} USES ${F_LIBS} HEADERS tests)
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${F_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
endfunction()

# vox_add_bench(NAME name SOURCES a.cpp LIBS libs...)
function(vox_add_bench)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${B_NAME} ${B_SOURCES})
  vox_layer(${B_NAME} USES ${B_LIBS} HEADERS tests)
  target_link_libraries(${B_NAME} PRIVATE benchmark::benchmark Threads::Threads)
  set_target_properties(${B_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()

# ---- embedded module resources -------------------------------------------------
# vox_embed_resources(<out.cpp> NAMES names... TYPES types... FILES files...)
# Generates <out.cpp>: the files as the module's resources (name "#127" is
# the integer id 127, other names are texts; types are integers) and the
# exported VoxModuleResource that FindResourceA calls. The target that
# compiles it needs platform/win32/module_resource.h on its include path.
set(VOX_EMBED_RESOURCES_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embed_resources.cmake)
function(vox_embed_resources out)
  cmake_parse_arguments(E "" "" "NAMES;TYPES;FILES" ${ARGN})
  string(JOIN "|" names ${E_NAMES})
  string(JOIN "|" types ${E_TYPES})
  string(JOIN "|" files ${E_FILES})
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DNAMES=${names} -DTYPES=${types} -DFILES=${files}
            -P ${VOX_EMBED_RESOURCES_SCRIPT}
    DEPENDS ${E_FILES} ${VOX_EMBED_RESOURCES_SCRIPT}
    COMMENT "Embedding resources into ${out}" VERBATIM)
endfunction()
