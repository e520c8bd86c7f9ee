# Tests of the programs in tools/: one binary from every tests/tools/*.cpp.
# They start the built programs from VEXO_BIN_DIR, so each program they use
# is built first.
file(GLOB vexo_tools_test_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/tools/*.cpp)
if(vexo_tools_test_sources)
  add_executable(vexo_tools_tests ${vexo_tools_test_sources})
  target_link_libraries(vexo_tools_tests PRIVATE vexo_flash_host vexo_radio_sim GTest::gtest
                        GTest::gtest_main Threads::Threads)
  target_include_directories(vexo_tools_tests PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(vexo_tools_tests PRIVATE
                             VEXO_REPLAY_CAPTURES="${CMAKE_SOURCE_DIR}/tests/replay")
  foreach(program vexo-radio-sim vexo-flash)
    if(TARGET ${program})
      add_dependencies(vexo_tools_tests ${program})
    endif()
  endforeach()
  gtest_discover_tests(vexo_tools_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "VEXO_BIN_DIR=${CMAKE_BINARY_DIR}/bin;QT_QPA_PLATFORM=offscreen;VEXO_HISTORY=${VEXO_TEST_HISTORY}")
endif()
