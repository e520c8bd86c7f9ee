# The window: library vexo_ui (everything but main.cpp, so the tests link the
# same dialog) and the program vexo.
find_package(Qt6 REQUIRED COMPONENTS Widgets)

file(GLOB vexo_ui_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
list(FILTER vexo_ui_sources EXCLUDE REGEX "/main\\.cpp$")
add_library(vexo_ui STATIC ${vexo_ui_sources})
set_target_properties(vexo_ui PROPERTIES AUTOMOC ON)
target_include_directories(vexo_ui PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vexo_ui PUBLIC vexo_download Qt6::Widgets Threads::Threads)

add_executable(vexo ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
target_link_libraries(vexo PRIVATE vexo_ui)
