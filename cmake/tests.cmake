# GoogleTest is built from Debian's source copy so that the native and the
# cross build use the same framework.
set(TW_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${TW_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

enable_testing()

# Portable tests: one translation unit per subject, all in one program.
tw_sources(TEST_SOURCES tests/*.cpp)
add_executable(tarnwickiso_tests ${TEST_SOURCES})
target_compile_options(tarnwickiso_tests PRIVATE ${TW_WARNINGS})
target_link_libraries(tarnwickiso_tests PRIVATE tw_cli gtest gmock gtest_main)
target_compile_definitions(tarnwickiso_tests PRIVATE
  TW_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}" TW_BINARY_DIR="${CMAKE_BINARY_DIR}")
add_test(NAME unit COMMAND tarnwickiso_tests)

if(WIN32)
  include(cmake/win32-tests.cmake)
endif()
