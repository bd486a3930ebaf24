# Cross build for 32-bit Windows with MinGW-w64, win32 thread model: the
# -posix compilers link winpthread, which imports kernel32 functions that
# Windows 98, NT 4.0 and 2000 (GetTickCount64: nothing before Vista) lack.
set(VORN_MINGW_CPU i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
