# The window's tests: one QtTest program per *_test.cpp, on the offscreen
# platform so that no display is needed.
find_package(Qt6 REQUIRED COMPONENTS Test)

file(GLOB ui_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*_test.cpp)
foreach(source ${ui_test_sources})
  get_filename_component(name ${source} NAME_WE)
  set(target vexo_ui_${name})
  add_executable(${target} ${source})
  set_target_properties(${target} PROPERTIES AUTOMOC ON)
  target_link_libraries(${target} PRIVATE vexo_ui Qt6::Test)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
  # The window's job tests read the simulated radio's report.
  if(TARGET vexo_radio_sim)
    target_link_libraries(${target} PRIVATE vexo_radio_sim)
    add_dependencies(${target} vexo-radio-sim)
  endif()
  add_test(NAME ui.${name} COMMAND ${target})
  set_tests_properties(ui.${name} PROPERTIES TIMEOUT 120
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VEXO_BIN_DIR=${CMAKE_BINARY_DIR}/bin;VEXO_HISTORY=${VEXO_TEST_HISTORY}")
endforeach()
