# SPDX-License-Identifier: Apache-2.0
# The desktop program's man page: roff with no warning, and every caption it
# quotes is one the windows really show, so a renamed button leaves no stale
# page behind.
#   cmake -DSOURCE_DIR=... -P check_desktop_page.cmake
set(page ${SOURCE_DIR}/man/ombrel-watermark.1)
find_program(GROFF groff REQUIRED)
execute_process(COMMAND ${GROFF} -man -ww -z -Tutf8 ${page} RESULT_VARIABLE status ERROR_VARIABLE warnings)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "groff on ombrel-watermark.1 (${status}):\n${warnings}")
endif()

file(GLOB windows ${SOURCE_DIR}/src/windows/*.cpp)
set(captions "")
foreach(f IN LISTS windows)
  file(READ ${f} text)
  string(APPEND captions "${text}")
endforeach()
# A mnemonic's & is not shown.
string(REPLACE "&" "" captions "${captions}")

file(STRINGS ${page} lines)
set(quoted 0)
set(stale "")
foreach(line IN LISTS lines)
  if(line MATCHES "^\\.TH ")
    continue()
  endif()
  string(REGEX MATCHALL "\"[^\"]+\"" texts "${line}")
  foreach(t IN LISTS texts)
    math(EXPR quoted "${quoted} + 1")
    string(FIND "${captions}" "QStringLiteral(${t})" at)
    if(at EQUAL -1)
      list(APPEND stale ${t})
    endif()
  endforeach()
endforeach()
if(stale)
  message(FATAL_ERROR "ombrel-watermark.1 quotes captions no window shows: ${stale}")
endif()
if(quoted LESS 8)
  message(FATAL_ERROR "ombrel-watermark.1 quotes ${quoted} captions; the check expects the windows' buttons")
endif()
message(STATUS "ombrel-watermark.1: no roff warning, ${quoted} quoted captions all shown by the windows")
