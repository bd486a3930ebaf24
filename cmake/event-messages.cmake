# The message table of the service's events: resources/vorn_messages.mc.in
# with a message for each line of src/monitor/event_kinds.inc, compiled by
# windmc into ${VORN_MESSAGES_BIN}, which resources/vorn.rc takes.
set(VORN_EVENT_KINDS ${PROJECT_SOURCE_DIR}/src/monitor/event_kinds.inc)
set(VORN_MESSAGES_IN ${PROJECT_SOURCE_DIR}/resources/vorn_messages.mc.in)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VORN_EVENT_KINDS} ${VORN_MESSAGES_IN})

file(STRINGS ${VORN_EVENT_KINDS} kinds REGEX "^VORN_EVENT_KIND")
set(VORN_LOG_LINE_MESSAGES "")
foreach(kind IN LISTS kinds)
  if(NOT kind MATCHES "^VORN_EVENT_KIND\\(([0-9]+), *[A-Z_]+, *\"[^\"]+\", *\"([^\"]+)\"\\)$")
    message(FATAL_ERROR "event_kinds.inc: not one kind of line as the others: ${kind}")
  endif()
  string(APPEND VORN_LOG_LINE_MESSAGES
    "MessageId=${CMAKE_MATCH_1}\nLanguage=English\n${CMAKE_MATCH_2}\n.\n\n")
endforeach()
set(VORN_MESSAGES_MC ${CMAKE_BINARY_DIR}/vorn_messages.mc)
configure_file(${VORN_MESSAGES_IN} ${VORN_MESSAGES_MC} @ONLY)

string(REGEX REPLACE "windres$" "windmc" VORN_WINDMC ${CMAKE_RC_COMPILER})
set(VORN_MESSAGES_BIN ${CMAKE_BINARY_DIR}/vorn_messages_MSG00409.bin)
add_custom_command(OUTPUT ${VORN_MESSAGES_BIN}
  COMMAND ${VORN_WINDMC} -b -h ${CMAKE_BINARY_DIR} -r ${CMAKE_BINARY_DIR} ${VORN_MESSAGES_MC}
  DEPENDS ${VORN_MESSAGES_MC}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Compiling the events' message table"
  VERBATIM)
add_custom_target(vorn_messages DEPENDS ${VORN_MESSAGES_BIN})
