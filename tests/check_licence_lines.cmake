# SPDX-License-Identifier: Apache-2.0
# Every source file says its licence in its first lines (after a #! line),
# so a file copied out of the tree still carries it.
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/src/* ${SOURCE_DIR}/tests/*.cpp ${SOURCE_DIR}/tests/*.h ${SOURCE_DIR}/tests/*.py
     ${SOURCE_DIR}/tests/*.cmake ${SOURCE_DIR}/bench/* ${SOURCE_DIR}/fuzz/* ${SOURCE_DIR}/examples/*
     ${SOURCE_DIR}/scripts/* ${SOURCE_DIR}/cmake/*)
set(missing "")
foreach(f IN LISTS sources)
  if(f MATCHES "__pycache__")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${f} head LIMIT_COUNT 2)
  if(NOT head MATCHES "SPDX-License-Identifier: Apache-2.0")
    list(APPEND missing ${f})
  endif()
endforeach()
list(LENGTH sources count)
if(missing)
  message(FATAL_ERROR "no SPDX-License-Identifier line at the head of: ${missing}")
endif()
message(STATUS "${count} source files name their licence")
