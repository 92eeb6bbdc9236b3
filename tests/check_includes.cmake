# SPDX-License-Identifier: Apache-2.0
# Fails when a layer reaches up or Qt leaks into the core:
# - the core (imaging, wavelet, stego) includes neither the public API, nor
#   the tool, nor the windows;
# - the API and the platform layer do not include the tool or the windows,
#   and the platform layer knows nothing of the stego layer;
# - of the core, only the picture-file units (FILES_UNITS) use Qt.
#   cmake -DSOURCE_DIR=<src> -DFILES_UNITS=<unit,unit...> -P check_includes.cmake
cmake_policy(SET CMP0057 NEW)
string(REPLACE "," ";" FILES_UNITS "${FILES_UNITS}")
set(bad "")
file(GLOB_RECURSE lower RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/platform/* ${SOURCE_DIR}/api/* ${SOURCE_DIR}/imaging/* ${SOURCE_DIR}/wavelet/* ${SOURCE_DIR}/stego/*)
foreach(unit IN LISTS lower)
  get_filename_component(name ${unit} NAME_WE)
  get_filename_component(dir ${unit} DIRECTORY)
  set(qt_allowed FALSE)
  if(unit MATCHES "^platform/" OR "${dir}/${name}.cpp" IN_LIST FILES_UNITS)
    set(qt_allowed TRUE)
  endif()
  set(core FALSE)
  if(unit MATCHES "^(imaging|wavelet|stego)/")
    set(core TRUE)
  endif()
  file(STRINGS ${SOURCE_DIR}/${unit} includes REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS includes)
    if(line MATCHES "[\"<](windows|cli)/")
      list(APPEND bad "${unit}: ${line} (the tool and the windows sit above this layer)")
    endif()
    if(core AND line MATCHES "[\"<]api/")
      list(APPEND bad "${unit}: ${line} (the public API sits above the core)")
    endif()
    if(unit MATCHES "^platform/" AND line MATCHES "[\"<]stego/")
      list(APPEND bad "${unit}: ${line} (the platform layer knows nothing of the watermark)")
    endif()
    if(NOT qt_allowed AND line MATCHES "[\"<](Q[A-Za-z]*|Qt[A-Za-z]*/[^\">]*)[\">]")
      list(APPEND bad "${unit}: ${line} (Qt belongs to the picture-file units only)")
    endif()
  endforeach()
endforeach()
if(bad)
  list(JOIN bad "\n  " report)
  message(FATAL_ERROR "include boundaries crossed:\n  ${report}")
endif()
list(LENGTH lower count)
message(STATUS "include boundaries hold in ${count} files")
