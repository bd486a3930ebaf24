# The same program built for x86_64 Windows, to run the Windows tests under
# wine64 on hosts whose kernel runs no 32-bit x86 code. A test build only:
# what ships is the i686 Vorn.exe.
set(VORN_MINGW_CPU x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
