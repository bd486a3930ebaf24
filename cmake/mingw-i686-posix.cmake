# The same cross build with the posix thread model, for the GoogleTest
# programs only: GoogleTest needs std::mutex, which the win32 model of this
# compiler does not have. Nothing built with it ships.
set(VORN_MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
