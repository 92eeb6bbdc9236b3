# Fails when a lower layer reaches up: the core (api, imaging, wavelet, stego)
# and the platform layer never include the windows, and the core uses Qt
# only in the bitmap-file unit.
#   cmake -DSOURCE_DIR=<src> -P check_includes.cmake
set(bad "")
file(GLOB_RECURSE lower RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/platform/* ${SOURCE_DIR}/api/* ${SOURCE_DIR}/imaging/* ${SOURCE_DIR}/wavelet/* ${SOURCE_DIR}/stego/*)
foreach(unit IN LISTS lower)
  file(STRINGS ${SOURCE_DIR}/${unit} includes REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS includes)
    if(line MATCHES "[\"<]windows/")
      list(APPEND bad "${unit}: ${line} (the windows sit above this layer)")
    endif()
    if(NOT unit MATCHES "^platform/" AND NOT unit STREQUAL "imaging/bitmap_file.cpp"
       AND line MATCHES "[\"<](Q[A-Za-z]*|Qt[A-Za-z]*/[^\">]*)[\">]")
      list(APPEND bad "${unit}: ${line} (Qt belongs to the bitmap-file unit only)")
    endif()
  endforeach()
endforeach()
if(bad)
  list(JOIN bad "\n  " report)
  message(FATAL_ERROR "include boundaries crossed:\n  ${report}")
endif()
list(LENGTH lower count)
message(STATUS "include boundaries hold in ${count} files")
