# GUI tests of the Windows program: the real windows, created in process from
# the same resources, driven with messages under Wine.
tw_sources(TW_WIN32_TEST_SOURCES tests/win32/*.cpp tests/simulated_drive.cpp tests/temp_tree.cpp)
add_executable(tarnwickiso_gui_tests ${TW_WIN32_TEST_SOURCES} ${TW_RESOURCE_OBJECT})
add_dependencies(tarnwickiso_gui_tests tw_resources)
target_compile_options(tarnwickiso_gui_tests PRIVATE ${TW_WARNINGS})
target_link_libraries(tarnwickiso_gui_tests PRIVATE tw_shell_win32 gtest gtest_main)
target_compile_definitions(tarnwickiso_gui_tests PRIVATE
  TW_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}" TW_BINARY_DIR="${CMAKE_BINARY_DIR}")
