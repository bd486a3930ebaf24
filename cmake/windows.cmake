# Windows build: the shipped Vorn.exe, variants with short timings for the
# end-to-end tests, the Windows test programs and the Wine helpers.
enable_language(RC)

# No C++ exceptions and no unwind tables: every error of the program ends in
# a report of its own (monitor/errors.h), and the unwinder with its tables
# would be a third of the file.
set(VORN_NO_UNWIND -fno-exceptions -fno-asynchronous-unwind-tables -fno-unwind-tables)
target_compile_options(vorn_logic PRIVATE -Os -ffunction-sections -fdata-sections ${VORN_NO_UNWIND})
# The SDK headers then offer nothing that Windows 98 and NT 4.0 lack.
target_compile_definitions(vorn_logic PUBLIC WINVER=0x0400 _WIN32_WINNT=0x0400)
file(GLOB VORN_WIN_PLATFORM_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/platform/win/*.cpp)
target_sources(vorn_logic PRIVATE ${VORN_WIN_PLATFORM_SOURCES})
# The load-time imports: system DLLs of every Windows from 98 and NT 4.0 on
# (msvcrt comes from the C runtime). wininet and rasapi32 are loaded on
# demand by src/platform/win/on_demand.cpp.
set(VORN_SYSTEM_LIBS shell32 advapi32 gdi32 user32 kernel32)
target_link_libraries(vorn_logic PUBLIC ${VORN_SYSTEM_LIBS})

if(VORN_WIN_TESTS_ONLY)
  include(${CMAKE_CURRENT_LIST_DIR}/windows-tests.cmake)
  return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/event-messages.cmake)
set(VORN_RESOURCES ${PROJECT_SOURCE_DIR}/resources/vorn.rc)
set_source_files_properties(${VORN_RESOURCES} PROPERTIES
  OBJECT_DEPENDS "${PROJECT_SOURCE_DIR}/resources/vorn.ico;${PROJECT_SOURCE_DIR}/resources/vorn.manifest;${VORN_MESSAGES_BIN}")

# The executables are dated by their sources, not by the build, so that every
# build of a commit gives the same bytes (the header's time stamp and with it
# its checksum). The date is looked up at every build: a new commit relinks.
set(VORN_SOURCE_DATE_FILE ${CMAKE_BINARY_DIR}/source-date-epoch)
include(${PROJECT_SOURCE_DIR}/cmake/source-date.cmake)
vorn_source_date_note(${PROJECT_SOURCE_DIR})
add_custom_target(vorn_source_date
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DOUT=${VORN_SOURCE_DATE_FILE}
    -P ${PROJECT_SOURCE_DIR}/cmake/source-date.cmake
  BYPRODUCTS ${VORN_SOURCE_DATE_FILE}
  COMMENT "Dating the executables by their sources"
  VERBATIM)

# Static (no libstdc++ or libgcc DLLs), stripped, GUI subsystem; operating
# system and subsystem version 4.0 in the header, as Windows 9x and NT 4.0
# refuse anything higher.
function(vorn_exe name interval watchdog)
  add_executable(${name} WIN32 ${VORN_WINMAIN_SOURCE} ${VORN_RESOURCES})
  vorn_flags(${name})
  target_compile_options(${name} PRIVATE -Os ${VORN_NO_UNWIND})
  # The message table is made in the build folder.
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR})
  add_dependencies(${name} vorn_messages)
  vorn_timing(${name} ${interval} ${watchdog})
  target_link_libraries(${name} PRIVATE vorn_logic)
  target_link_options(${name} PRIVATE -static -s -Wl,--gc-sections
    -Wl,--major-os-version,4,--minor-os-version,0
    -Wl,--major-subsystem-version,4,--minor-subsystem-version,0)
  add_dependencies(${name} vorn_source_date)
  set_target_properties(${name} PROPERTIES
    LINK_DEPENDS ${VORN_SOURCE_DATE_FILE}
    CXX_LINKER_LAUNCHER "${PROJECT_SOURCE_DIR}/cmake/with-source-date.sh;${VORN_SOURCE_DATE_FILE}")
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
include(${CMAKE_CURRENT_LIST_DIR}/test-dll.cmake)
# The service's events reported as the service reports them, for the test of
# what Wine shows of them.
add_executable(event_probe ${PROJECT_SOURCE_DIR}/tests/e2e/event_probe.cpp)
vorn_flags(event_probe)
target_compile_options(event_probe PRIVATE -Os ${VORN_NO_UNWIND})
vorn_timing(event_probe ${VORN_CHECK_INTERVAL_MS} ${VORN_WATCHDOG_MS})
target_link_libraries(event_probe PRIVATE vorn_logic)
target_link_options(event_probe PRIVATE -static -s)

# The GoogleTest program needs the posix thread model: a build of its own
# with the posix compilers, run here as a test.
include(ExternalProject)
set(VORN_WIN_TESTS_DIR ${CMAKE_BINARY_DIR}/gtest-posix)
ExternalProject_Add(vorn_win_tests_posix
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${VORN_WIN_TESTS_DIR}
  CMAKE_GENERATOR ${CMAKE_GENERATOR}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-${VORN_MINGW_CPU}-posix.cmake
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DVORN_WIN_TESTS_ONLY=ON
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${VORN_WIN_TESTS_DIR}/vorn_win_tests.exe)
add_test(NAME win_tests COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} ${VORN_WIN_TESTS_DIR}/vorn_win_tests.exe)
set_tests_properties(win_tests PROPERTIES LABELS wine TIMEOUT 300)

find_program(VORN_PYTHON python3 REQUIRED)
# The Wine that runs the tests: 32-bit for the i686 build, wine64 for x86_64.
if(VORN_MINGW_CPU STREQUAL "i686")
  set(VORN_WINE_ARCH win32)
else()
  set(VORN_WINE_ARCH win64)
endif()

if(VORN_WINE_ARCH STREQUAL "win32")
  # The shipped file, read without running it (so on every host): every
  # load-time import exists on Windows 98 SE and NT 4.0 SP6a by the researched
  # table (Wine cannot show it), and the PE header, size and resources.
  add_test(NAME imports COMMAND ${VORN_PYTHON} ${PROJECT_SOURCE_DIR}/tests/pe/check_imports.py
    --table ${PROJECT_SOURCE_DIR}/tests/data/win32_imports.tsv
    $<TARGET_FILE:Vorn> $<TARGET_FILE:VornFast> $<TARGET_FILE:VornSoak>)
  add_test(NAME shipped_file COMMAND ${VORN_PYTHON} ${PROJECT_SOURCE_DIR}/tests/pe/test_shipped_file.py -v)
  # The same bytes from another folder and day, and the release archive.
  add_test(NAME reproducible COMMAND ${VORN_PYTHON} ${PROJECT_SOURCE_DIR}/tests/pe/test_reproducible.py -v)
  set_tests_properties(imports shipped_file PROPERTIES LABELS imports
    ENVIRONMENT "VORN_BIN_DIR=${CMAKE_BINARY_DIR};PYTHONDONTWRITEBYTECODE=1")
  set_tests_properties(reproducible PROPERTIES LABELS release TIMEOUT 300
    ENVIRONMENT "VORN_BIN_DIR=${CMAKE_BINARY_DIR};PYTHONDONTWRITEBYTECODE=1")
endif()

# End-to-end tests of the real executables under Wine, each in network and
# mount namespaces of its own.
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
  elseif(name STREQUAL "windows_versions")
    # The whole story (install, a correction, removal) under each Windows
    # version: what a run on the other build checks once.
    set(labels e2e story)
  endif()
  set_tests_properties(e2e_${name} PROPERTIES LABELS "${labels}" TIMEOUT ${timeout}
    ENVIRONMENT "VORN_BIN_DIR=${CMAKE_BINARY_DIR};VORN_WINE_ARCH=${VORN_WINE_ARCH};PYTHONDONTWRITEBYTECODE=1")
endforeach()
