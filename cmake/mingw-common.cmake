# Shared by the MinGW-w64 toolchain files: VORN_MINGW_CPU (i686, x86_64) and
# VORN_MINGW_THREADS (win32, posix) pick the compilers.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VORN_MINGW_CPU})
if(NOT VORN_MINGW_THREADS)
  set(VORN_MINGW_THREADS win32)
endif()
set(triplet ${VORN_MINGW_CPU}-w64-mingw32)
set(CMAKE_C_COMPILER ${triplet}-gcc-${VORN_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${triplet}-g++-${VORN_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Windows test programs run under Wine, each in a fresh prefix; the runner
# picks 32-bit Wine or wine64 from the program.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/wine/wine-run.sh)
