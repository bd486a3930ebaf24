# The moment the shipped files are dated (seconds since 1970): SOURCE_DATE_EPOCH
# when set, else the time of the checked-out commit, else 0.
#
#   cmake -DSOURCE_DIR=... -DOUT=FILE -P source-date.cmake   (at every build)
#     writes it to FILE, rewritten only when the value changes, so the
#     executables that depend on it are linked again exactly when their date
#     changes;
#   cmake -DSOURCE_DIR=... -DOUT=FILE -DHEADER=1 -P source-date.cmake
#     the same as a C++ header defining kBuildTime, for the program;
#   include(source-date.cmake) + vorn_source_date_note(SOURCE_DIR)   (configure)
#     says in one line when the build cannot be dated, and so can never match
#     a release build of its commit.

# vorn_source_date(SOURCE_DIR EPOCH_VAR WHY_VAR): the date, and why it is 0
# (empty when it is not a fallback).
function(vorn_source_date source_dir epoch_var why_var)
  set(why "")
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(epoch "$ENV{SOURCE_DATE_EPOCH}")
    if(NOT epoch MATCHES "^[0-9]+$")
      message(FATAL_ERROR "SOURCE_DATE_EPOCH is not a number of seconds: '${epoch}'")
    endif()
  else()
    execute_process(COMMAND git -C "${source_dir}" log -1 --format=%ct
      OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
      ERROR_VARIABLE err RESULT_VARIABLE failed)
    if(failed OR NOT epoch MATCHES "^[0-9]+$")
      # git's first line says why: no repository, one it will not read
      # (another user's), or no git at all.
      string(REGEX REPLACE "\n.*" "" err "${err}")
      if(err STREQUAL "")
        set(err "git: ${failed}")
      endif()
      set(why "git cannot tell the commit's time (${err})")
      set(epoch 0)
    endif()
  endif()
  set(${epoch_var} "${epoch}" PARENT_SCOPE)
  set(${why_var} "${why}" PARENT_SCOPE)
endfunction()

function(vorn_source_date_note source_dir)
  vorn_source_date("${source_dir}" epoch why)
  if(why)
    message(NOTICE "Vorn: ${why}: the executables are dated 0 (1 January 1970) and will not match a release build; set SOURCE_DATE_EPOCH to the commit's time in seconds (git log -1 --format=%ct where git can read it) to date them")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE AND DEFINED OUT)
  vorn_source_date("${SOURCE_DIR}" epoch why)
  if(DEFINED HEADER)
    # For the program itself: the clock reads wrong when it reads earlier.
    file(WRITE "${OUT}.new" "// Made by cmake/source-date.cmake at every build.\n#pragma once\n#include <cstdint>\n// When this build's sources were committed, in seconds since 1970.\nconstexpr int64_t kBuildTime = ${epoch};\n")
  else()
    file(WRITE "${OUT}.new" "${epoch}\n")
  endif()
  file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
  file(REMOVE "${OUT}.new")
endif()
