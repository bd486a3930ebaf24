# The x86_64 cross build with the posix thread model, for the GoogleTest
# program only (see mingw-i686-posix.cmake).
set(VORN_MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-x86_64.cmake)
