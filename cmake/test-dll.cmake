# The DLL the planted-DLL end-to-end test puts beside the program: uxtheme.dll
# in a folder of its own, so that it never sits beside the built programs.
add_library(planted_uxtheme SHARED ${PROJECT_SOURCE_DIR}/tests/e2e/planted_dll.cpp)
target_compile_options(planted_uxtheme PRIVATE -Os ${VORN_WARNINGS})
target_link_options(planted_uxtheme PRIVATE -static -s)
set_target_properties(planted_uxtheme PROPERTIES
  OUTPUT_NAME uxtheme PREFIX "" IMPORT_PREFIX "" IMPORT_SUFFIX ".dll.a"
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/planted
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/planted-lib)
