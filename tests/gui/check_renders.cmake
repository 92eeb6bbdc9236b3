# SPDX-License-Identifier: Apache-2.0
# Runs the window renderer into OUT and checks that every window's picture
# was written, is a PNG and has the window's size at SCALE.
#   cmake -DRENDERER=... -DOUT=... -DSCALE=1 -P check_renders.cmake
file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND "${RENDERER}" "${OUT}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the renderer failed: ${result}")
endif()

set(expected
  "frmmain 666 647" "frmEncode1 579 579" "frmencode2 570 569" "frmencode3 610 567"
  "frmloading 439 38" "frmAbout 407 307" "frmDecode1 595 515" "frmdecode2 585 505"
  "frmkey 480 316" "frmcheck 880 610")
foreach(entry IN LISTS expected)
  separate_arguments(entry)
  list(GET entry 0 name)
  list(GET entry 1 width)
  list(GET entry 2 height)
  set(png "${OUT}/${name}.png")
  if(NOT EXISTS "${png}")
    message(FATAL_ERROR "no picture of ${name}")
  endif()
  file(SIZE "${png}" size)
  if(size LESS 100)
    message(FATAL_ERROR "${name}.png is nearly empty: ${size} bytes")
  endif()
  # The PNG signature, then the IHDR chunk with width and height (big-endian).
  file(READ "${png}" head LIMIT 24 HEX)
  string(SUBSTRING "${head}" 0 16 signature)
  if(NOT signature STREQUAL "89504e470d0a1a0a")
    message(FATAL_ERROR "${name}.png is not a PNG")
  endif()
  string(SUBSTRING "${head}" 32 8 w)
  string(SUBSTRING "${head}" 40 8 h)
  math(EXPR w "0x${w}")
  math(EXPR h "0x${h}")
  math(EXPR want_w "${width} * ${SCALE}")
  math(EXPR want_h "${height} * ${SCALE}")
  if(NOT w EQUAL want_w OR NOT h EQUAL want_h)
    message(FATAL_ERROR "${name}.png is ${w} x ${h}, expected ${want_w} x ${want_h}")
  endif()
endforeach()
list(LENGTH expected count)
message(STATUS "${count} window pictures written")
