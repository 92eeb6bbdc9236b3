# SPDX-License-Identifier: Apache-2.0
# Fails when a layer reaches up or Qt leaks into the core:
# - the core (imaging, wavelet, stego) includes only itself: not the public
#   API, the words, the platform layer, the tool, the windows, Python or the
#   program's start; it speaks in codes, and the edges say them in words;
# - the API and the platform layer do not include the tool or the windows,
#   the API nothing of the platform layer (a library needs no Qt), and the
#   platform layer nothing of the stego layer;
# - of the core, only the picture-file units (FILES_UNITS) use Qt;
# - the words (text) lean on nothing else, and the Python module sees only
#   the public API and the words;
# - the tool (cli) knows nothing of the windows, the platform layer or the
#   public API, and only its chart drawing uses Qt's widgets;
# - the marking (what both front ends do with keys and checks) stands on the
#   core and the picture files alone: no tool, windows, platform layer, API,
#   Python or program start, and no Qt of its own;
# - the windows and the desktop program's start know nothing of the tool or
#   the public API;
# - the progress bar's maxima (k...ProgressMax) are the windows' own: no
#   other folder names one, as the pipelines only tick;
# - every folder under src/ is one of these, so a new one needs its rules.
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
    if(line MATCHES "[\"<](windows|cli|marking)/")
      list(APPEND bad "${unit}: ${line} (the tool, the windows and their marking sit above this layer)")
    endif()
    if(core AND line MATCHES "[\"<]api/")
      list(APPEND bad "${unit}: ${line} (the public API sits above the core)")
    endif()
    if(core AND line MATCHES "\"(text|platform|python|app)/")
      list(APPEND bad "${unit}: ${line} (the core speaks in codes: the words and the services belong to the edges)")
    endif()
    if(unit MATCHES "^api/" AND line MATCHES "[\"<]platform/")
      list(APPEND bad "${unit}: ${line} (the API is a library: the platform layer is the desktop program's)")
    endif()
    if(unit MATCHES "^platform/" AND line MATCHES "[\"<]stego/")
      list(APPEND bad "${unit}: ${line} (the platform layer knows nothing of the watermark)")
    endif()
    if(NOT qt_allowed AND line MATCHES "[\"<](Q[A-Za-z]*|Qt[A-Za-z]*/[^\">]*)[\">]")
      list(APPEND bad "${unit}: ${line} (Qt belongs to the picture-file units only)")
    endif()
  endforeach()
endforeach()
file(GLOB_RECURSE upper RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
list(FILTER upper INCLUDE REGEX "\\.(cpp|h|in)$")
foreach(unit IN LISTS upper)
  string(REGEX MATCH "^[^/]+" folder "${unit}")
  if(NOT folder MATCHES "^(platform|api|imaging|wavelet|stego|text|python|cli|windows|app|marking)$")
    list(APPEND bad "${unit}: the folder ${folder} has no include rules yet")
    continue()
  endif()
  if(NOT folder STREQUAL "windows")
    file(STRINGS ${SOURCE_DIR}/${unit} maxima REGEX "k[A-Za-z]*ProgressMax")
    foreach(line IN LISTS maxima)
      string(REGEX MATCH "k[A-Za-z]*ProgressMax" name "${line}")
      list(APPEND bad "${unit}: names ${name} (the progress bar's maxima belong to the windows)")
    endforeach()
  endif()
  file(STRINGS ${SOURCE_DIR}/${unit} includes REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS includes)
    if(folder STREQUAL "text" AND line MATCHES "\"[a-z_]+/" AND NOT line MATCHES "\"text/")
      list(APPEND bad "${unit}: ${line} (the words lean on nothing else)")
    endif()
    if(folder STREQUAL "python" AND line MATCHES "\"[a-z_]+/" AND NOT line MATCHES "\"(api|text)/")
      list(APPEND bad "${unit}: ${line} (the Python module sees the public API alone)")
    endif()
    if(folder STREQUAL "cli" AND line MATCHES "[\"<](windows|platform|api)/")
      list(APPEND bad "${unit}: ${line} (the tool stands beside the windows and the API, not on them)")
    endif()
    if(folder STREQUAL "cli" AND NOT unit STREQUAL "cli/chart_drawing.cpp"
       AND line MATCHES "[\"<](QApplication|QWidget|QtWidgets/[^\">]*|QtCharts/[^\">]*)[\">]")
      list(APPEND bad "${unit}: ${line} (the tool starts without Qt's widgets, which only its charts draw with)")
    endif()
    if(folder STREQUAL "marking" AND line MATCHES "[\"<](cli|windows|platform|api|python|app)/")
      list(APPEND bad "${unit}: ${line} (the marking serves both front ends and stands on neither)")
    endif()
    if(folder STREQUAL "marking" AND line MATCHES "[\"<](Q[A-Za-z]*|Qt[A-Za-z]*/[^\">]*)[\">]")
      list(APPEND bad "${unit}: ${line} (the marking is plain C++: Qt stays in the picture-file units)")
    endif()
    if(folder MATCHES "^(windows|app)$" AND line MATCHES "[\"<](cli|api)/")
      list(APPEND bad "${unit}: ${line} (the desktop program knows nothing of the tool or the API)")
    endif()
  endforeach()
endforeach()
if(bad)
  list(JOIN bad "\n  " report)
  message(FATAL_ERROR "include boundaries crossed:\n  ${report}")
endif()
list(LENGTH upper count)
message(STATUS "include boundaries hold in ${count} files")
