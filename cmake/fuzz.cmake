# Fuzz targets (fuzz/*_fuzz.cpp, one entry point LLVMFuzzerTestOneInput each)
# and the replay of their stored corpora (fuzz/corpus/<target>/).
#
# The replay is an ordinary program per target, built with every compiler and
# registered with ctest as fuzz_replay.<target>. The libFuzzer programs
# vexo_fuzz_<target> are built only with clang and -DVEXO_FUZZ=ON; they and
# the engine libraries are then instrumented for coverage, AddressSanitizer
# and UndefinedBehaviorSanitizer. scripts/fuzz.sh drives them.

option(VEXO_FUZZ "Build the libFuzzer programs (clang only)" OFF)

if(NOT TARGET vexo_download)
  return()
endif()

file(GLOB vexo_fuzz_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*_fuzz.cpp)

foreach(source ${vexo_fuzz_sources})
  get_filename_component(name ${source} NAME_WE)
  string(REGEX REPLACE "_fuzz$" "" name ${name})

  add_executable(vexo_fuzz_replay_${name} ${source} ${CMAKE_SOURCE_DIR}/fuzz/corpus_replay.cpp)
  target_include_directories(vexo_fuzz_replay_${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(vexo_fuzz_replay_${name} PRIVATE vexo_download)
  add_test(NAME fuzz_replay.${name}
           COMMAND vexo_fuzz_replay_${name} ${CMAKE_SOURCE_DIR}/fuzz/corpus/${name})
  set_tests_properties(fuzz_replay.${name} PROPERTIES
    ENVIRONMENT "VEXO_BIN_DIR=${CMAKE_BINARY_DIR}/bin" TIMEOUT 120)
endforeach()

if(NOT VEXO_FUZZ)
  return()
endif()
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "VEXO_FUZZ needs clang (libFuzzer); configure with CXX=clang++")
endif()

set(vexo_fuzz_instrument -fsanitize=fuzzer-no-link,address,undefined
    -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
foreach(library vexo_app vexo_link vexo_download)
  target_compile_options(${library} PRIVATE ${vexo_fuzz_instrument})
  # Whatever links an instrumented library needs the sanitizer runtimes.
  target_link_options(${library} INTERFACE -fsanitize=address,undefined)
endforeach()

foreach(source ${vexo_fuzz_sources})
  get_filename_component(name ${source} NAME_WE)
  string(REGEX REPLACE "_fuzz$" "" name ${name})
  add_executable(vexo_fuzz_${name} ${source})
  target_include_directories(vexo_fuzz_${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(vexo_fuzz_${name} PRIVATE ${vexo_fuzz_instrument})
  target_link_options(vexo_fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(vexo_fuzz_${name} PRIVATE vexo_download)
endforeach()
