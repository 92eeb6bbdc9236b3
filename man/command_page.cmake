# SPDX-License-Identifier: Apache-2.0
# Writes the man page of one command, ombrel-COMMAND(1), from the command's
# own --help, so the two cannot say different things.
#   cmake -DTOOL=... -DCOMMAND=embed -DSUMMARY="..." -DVERSION=1.0.0 -DOUT=... -P command_page.cmake
execute_process(COMMAND ${TOOL} ${COMMAND} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${TOOL} ${COMMAND} --help failed (${status})")
endif()
# roff reads a backslash as an escape, a line opening with . or ' as a
# request, and - as a hyphen where an option means a minus.
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REGEX REPLACE "\n([.'])" "\n\\\\&\\1" help "${help}")
string(REGEX REPLACE "^([.'])" "\\\\&\\1" help "${help}")
string(TOUPPER "${COMMAND}" upper)
file(WRITE ${OUT} ".TH OMBREL\\-${upper} 1 \"December 2026\" \"ombrel ${VERSION}\" \"User Commands\"
.SH NAME
ombrel\\-${COMMAND} \\- ${SUMMARY}
.SH SYNOPSIS
.nf
${help}.fi
.SH SEE ALSO
.BR ombrel (1),
the overview of every command, its formats, exit statuses and files.
")
