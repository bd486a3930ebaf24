# The Windows GoogleTest program alone, built with the posix compilers
# (cmake/mingw-CPU-posix.cmake) as a sub-build of the win32 or win64 preset.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB VORN_WIN_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/win/*.cpp)
add_executable(vorn_win_tests ${VORN_WIN_TEST_SOURCES})
vorn_flags(vorn_win_tests)
target_include_directories(vorn_win_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
vorn_timing(vorn_win_tests ${VORN_CHECK_INTERVAL_MS} ${VORN_WATCHDOG_MS})
target_link_libraries(vorn_win_tests PRIVATE vorn_logic gtest gtest_main)
target_link_options(vorn_win_tests PRIVATE -static)
