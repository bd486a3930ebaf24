# Windows build: the shipped Vorn.exe, variants with short timings for the
# end-to-end tests, the Windows test programs and the Wine helpers.
enable_language(RC)

target_compile_options(vorn_logic PRIVATE -Os -ffunction-sections -fdata-sections)
# The program names only these system DLLs (msvcrt comes from the C runtime).
set(VORN_SYSTEM_LIBS wininet rasapi32 shell32 advapi32 gdi32 user32 kernel32)
target_link_libraries(vorn_logic PUBLIC ${VORN_SYSTEM_LIBS})

set(VORN_RESOURCES ${PROJECT_SOURCE_DIR}/resources/vorn.rc)
set_source_files_properties(${VORN_RESOURCES} PROPERTIES
  OBJECT_DEPENDS "${PROJECT_SOURCE_DIR}/resources/vorn.ico;${PROJECT_SOURCE_DIR}/resources/vorn.manifest")

# Static (no libstdc++, libgcc or winpthread DLLs), stripped, GUI subsystem.
function(vorn_exe name interval watchdog)
  add_executable(${name} WIN32 ${VORN_WINMAIN_SOURCE} ${VORN_RESOURCES})
  vorn_flags(${name})
  target_compile_options(${name} PRIVATE -Os)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/resources)
  vorn_timing(${name} ${interval} ${watchdog})
  target_link_libraries(${name} PRIVATE vorn_logic)
  target_link_options(${name} PRIVATE -static -s -Wl,--gc-sections)
endfunction()

vorn_exe(Vorn ${VORN_CHECK_INTERVAL_MS} ${VORN_WATCHDOG_MS})
# Many ticks in little time, the real watchdog.
vorn_exe(VornFast 1500 10000)
# Soak: a tick every 200 ms and a short watchdog.
vorn_exe(VornSoak 200 400)

if(EXISTS ${PROJECT_SOURCE_DIR}/tests/e2e/winhelper.cpp)
add_executable(winhelper ${PROJECT_SOURCE_DIR}/tests/e2e/winhelper.cpp)
target_compile_options(winhelper PRIVATE -Os ${VORN_WARNINGS})
target_link_libraries(winhelper PRIVATE psapi user32)
target_link_options(winhelper PRIVATE -static -s)
endif()

# GoogleTest from source, built with the same cross compiler.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB VORN_WIN_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/win/*.cpp)
if(VORN_WIN_TEST_SOURCES)
  add_executable(vorn_win_tests ${VORN_WIN_TEST_SOURCES})
  vorn_flags(vorn_win_tests)
  target_include_directories(vorn_win_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  vorn_timing(vorn_win_tests ${VORN_CHECK_INTERVAL_MS} ${VORN_WATCHDOG_MS})
  target_link_libraries(vorn_win_tests PRIVATE vorn_logic gtest gtest_main)
  target_link_options(vorn_win_tests PRIVATE -static)
  add_test(NAME win_tests COMMAND vorn_win_tests)
  set_tests_properties(win_tests PROPERTIES LABELS wine TIMEOUT 300)
endif()

# End-to-end tests of the real executables under Wine, each in network and
# mount namespaces of its own.
find_program(VORN_PYTHON python3 REQUIRED)
file(GLOB VORN_E2E_TESTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/e2e/test_*.py)
foreach(script IN LISTS VORN_E2E_TESTS)
  get_filename_component(name ${script} NAME_WE)
  string(REGEX REPLACE "^test_" "" name ${name})
  add_test(NAME e2e_${name}
    COMMAND ${PROJECT_SOURCE_DIR}/tests/e2e/in-netns.sh ${VORN_PYTHON} ${script} -v)
  set(labels e2e)
  set(timeout 600)
  if(name MATCHES "soak")
    set(labels e2e soak)
  elseif(name MATCHES "shipped")
    # Waits for the shipped two-minute interval.
    set(labels e2e slow)
  endif()
  set_tests_properties(e2e_${name} PROPERTIES LABELS "${labels}" TIMEOUT ${timeout}
    ENVIRONMENT "VORN_BIN_DIR=${CMAKE_BINARY_DIR};PYTHONDONTWRITEBYTECODE=1")
endforeach()
